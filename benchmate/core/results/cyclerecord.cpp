#include "cyclerecord.h"

#include <QUuid>

bool DutRecord::operator==(const DutRecord &o) const
{
    return position == o.position && slot == o.slot && device == o.device && port == o.port &&
           mac == o.mac && flashUid == o.flashUid && crystal == o.crystal && txCal == o.txCal &&
           rxCal == o.rxCal && rxRssiMin == o.rxRssiMin && rxRssiMax == o.rxRssiMax &&
           rxRssiAvg == o.rxRssiAvg && freqMin == o.freqMin && freqMax == o.freqMax &&
           freqAvg == o.freqAvg && txRssiMin == o.txRssiMin && txRssiMax == o.txRssiMax &&
           txRssiAvg == o.txRssiAvg && rxRssiMean == o.rxRssiMean && freqMean == o.freqMean &&
           txRssiMean == o.txRssiMean && downloadStatus == o.downloadStatus &&
           macStatus == o.macStatus && calibrationStatus == o.calibrationStatus &&
           txStatus == o.txStatus && verdict == o.verdict && failedStep == o.failedStep &&
           failureLog == o.failureLog;
}

QString CycleRecord::newUid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

bool CycleRecord::operator==(const CycleRecord &o) const
{
    return stationId == o.stationId && cycleUid == o.cycleUid && number == o.number &&
           startedAt == o.startedAt && endedAt == o.endedAt && goldenMac == o.goldenMac &&
           cycleError == o.cycleError && rxRssiMin == o.rxRssiMin && rxRssiMax == o.rxRssiMax &&
           freqMin == o.freqMin && freqMax == o.freqMax && txRssiMin == o.txRssiMin &&
           txRssiMax == o.txRssiMax && imagePath == o.imagePath && imageSha256 == o.imageSha256 &&
           imageSize == o.imageSize && toolVersion == o.toolVersion && duts == o.duts;
}
