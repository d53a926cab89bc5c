#include "cyclerecord.h"

#include "figuretable.h"

#include <QUuid>

bool DutRecord::operator==(const DutRecord &o) const
{
    for (const FigureDefinition &f : FigureTable::figures()) {
        if (this->*f.recordMin != o.*f.recordMin || this->*f.recordMax != o.*f.recordMax ||
            this->*f.recordAverage != o.*f.recordAverage || this->*f.recordMean != o.*f.recordMean)
            return false;
    }
    return position == o.position && slot == o.slot && device == o.device && port == o.port &&
           mac == o.mac && flashUid == o.flashUid && crystal == o.crystal && txCal == o.txCal &&
           rxCal == o.rxCal && downloadStatus == o.downloadStatus && macStatus == o.macStatus &&
           calibrationStatus == o.calibrationStatus && txStatus == o.txStatus &&
           verdict == o.verdict && failedStep == o.failedStep && failureLog == o.failureLog;
}

QString CycleRecord::newUid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

std::optional<double> CycleRecord::cycleMean(int index) const
{
    if (index < 0 || std::size_t(index) >= cycleMeans.size())
        return std::nullopt;
    return cycleMeans[std::size_t(index)];
}

void CycleRecord::setCycleMean(int index, std::optional<double> value)
{
    if (index < 0)
        return;
    if (std::size_t(index) >= cycleMeans.size())
        cycleMeans.resize(std::size_t(index) + 1);
    cycleMeans[std::size_t(index)] = value;
}

bool CycleRecord::operator==(const CycleRecord &o) const
{
    for (int i = 0; i < FigureTable::count(); ++i) {
        if (cycleMean(i) != o.cycleMean(i))
            return false;
    }
    for (const FigureDefinition &f : FigureTable::figures()) {
        if (f.recordLower && f.recordUpper &&
            (this->*f.recordLower != o.*f.recordLower || this->*f.recordUpper != o.*f.recordUpper))
            return false;
    }
    return stationId == o.stationId && cycleUid == o.cycleUid && number == o.number &&
           startedAt == o.startedAt && endedAt == o.endedAt && goldenMac == o.goldenMac &&
           cycleError == o.cycleError && imagePath == o.imagePath && imageSha256 == o.imageSha256 &&
           imageSize == o.imageSize && toolVersion == o.toolVersion &&
           goldenCrystal == o.goldenCrystal && duts == o.duts;
}
