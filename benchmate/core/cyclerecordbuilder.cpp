#include "cyclerecordbuilder.h"

#include "chiptool.h"
#include "figuretable.h"
#include "resultscsv.h"

#include <QFileInfo>

#include <cmath>

namespace {

QString word(const char *text)
{
    return QLatin1String(text);
}

QString txStep(int32_t txStatus)
{
    switch (txStatus) {
    case STATUS_PASS:
        return word(ResultWords::pass);
    case STATUS_FAIL:
        return word(ResultWords::fail);
    default:
        return word(ResultWords::notRun);
    }
}

// The station fault that ended the cycle, as the judging found it: also one
// after the DUTs' RX phase (the golden machine's RF not stopped, its TX
// measurement not started), when every DUT has a result of its own.
QString cycleErrorOf(const testRestlt_t &result, const CycleJudgement &judgement)
{
    switch (judgement.stationFault) {
    case StationFault::None:
        return QString();
    case StationFault::GoldenMachine:
        return QStringLiteral("golden machine");
    case StationFault::TimeOut:
        return QStringLiteral("time-out");
    case StationFault::Incomplete:
        break;
    }
    return result.finished != 1 ? QStringLiteral("did not finish")
                                : QStringLiteral("results missing");
}

// A mean as the database keeps it: the float the engine computed, without
// its binary tail (means of printed samples have few decimals).
double meanValue(float mean)
{
    return std::round(double(mean) * 1e4) / 1e4;
}

} // namespace

CycleRecordBuilder::CycleRecordBuilder(const QString &stationId)
    : m_stationId(stationId)
{}

void CycleRecordBuilder::rxSteps(int rxStatus, DutRecord *dut)
{
    const QString pass = word(ResultWords::pass);
    const QString fail = word(ResultWords::fail);
    switch (rxStatus) {
    case RX_STAGE_DOWNLOAD:
        dut->downloadStatus = fail;
        break;
    case RX_STAGE_MAC:
        dut->downloadStatus = pass;
        dut->macStatus = fail;
        break;
    case RX_STAGE_CAL:
    case RX_NOT_CONVERGED:
        dut->downloadStatus = pass;
        dut->macStatus = pass;
        dut->calibrationStatus = fail;
        break;
    case RX_PASSED:
        dut->downloadStatus = pass;
        dut->macStatus = pass;
        dut->calibrationStatus = pass;
        break;
    default: // never started
        break;
    }
}

QString CycleRecordBuilder::toolVersion()
{
    // Asked once, and again only when the tool was replaced.
    const QFileInfo tool(chipTool::toolPath());
    if (!m_toolProbed || tool.lastModified() != m_toolModified) {
        m_toolProbed = true;
        m_toolModified = tool.lastModified();
        m_toolVersion = chipTool::toolVersion();
    }
    return m_toolVersion;
}

CycleRecord CycleRecordBuilder::build(const CycleOutcome &o)
{
    CycleRecord c;
    c.stationId = m_stationId;
    c.cycleUid = CycleRecord::newUid();
    c.number = o.number;
    c.startedAt = o.startedAt;
    c.endedAt = o.endedAt;
    c.goldenMac = o.goldenMac;
    c.cycleError = cycleErrorOf(o.result, o.judgement);
    for (const FigureDefinition &f : FigureTable::figures()) {
        if (f.lower && f.upper && f.recordLower && f.recordUpper) {
            c.*f.recordLower = double(o.limits.*f.lower);
            c.*f.recordUpper = double(o.limits.*f.upper);
        }
    }
    const ImageFingerprint::Print image = m_image.of(o.para.filePath);
    c.imagePath = image.path;
    c.imageSha256 = image.sha256;
    c.imageSize = image.size;
    c.toolVersion = toolVersion();

    const QString &goldenLog = o.goldenLog;
    for (int k = 0; k < o.para.devices.size(); ++k) {
        const deviceInfo_t &device = o.para.devices.at(k);
        DutRecord d;
        d.position = k;
        const int slot = ResultsCsv::slotOf(device);
        if (slot >= 0)
            d.slot = slot;
        d.device = device.name;
        d.port = device.port;
        const bool traced = k < o.traces.size();
        if (traced) {
            d.mac = o.traces.at(k).mac;
            d.flashUid = o.traces.at(k).flashUid;
            rxSteps(o.traces.at(k).rxStatus, &d);
        }
        const bool hasResult = k < o.result.results.size();
        if (hasResult) {
            const deviceRestlt_t &r = o.result.results.at(k);
            d.txStatus = txStep(r.txStatus);
            if (r.rxStatus == STATUS_PASS)
                d.crystal = int(r.calVal);
            // Figures only of measurements that were made.
            for (const FigureDefinition &f : FigureTable::figures()) {
                if (!f.measuredIn(r))
                    continue;
                d.*f.recordMin = r.*f.min;
                d.*f.recordMax = r.*f.max;
                d.*f.recordAverage = r.*f.average;
                d.*f.recordMean = meanValue(r.*f.mean);
            }
        }
        const DeviceJudgement *judged = o.judgement.device(k);
        if (judged) {
            d.txCal = judged->txOffset;
            d.rxCal = judged->rxOffset;
        }
        d.verdict = ResultsCsv::verdictText(o.judgement, k);
        if (d.verdict != word(ResultWords::pass)) {
            const QString log = o.dutLog(k);
            if (!c.cycleError.isEmpty()) {
                // The station's fault, not the DUT's, whatever step the DUT
                // was at when the station let it down: the golden machine's
                // log first, then the DUT's own.
                d.failedStep = word(ResultWords::stepCycle);
                d.failureLog = goldenLog + log;
            } else if (d.downloadStatus == word(ResultWords::fail)) {
                d.failedStep = word(ResultWords::stepDownload);
            } else if (d.macStatus == word(ResultWords::fail)) {
                d.failedStep = word(ResultWords::stepMac);
            } else if (d.calibrationStatus == word(ResultWords::fail) ||
                       (hasResult && o.result.results.at(k).rxStatus == STATUS_FAIL)) {
                d.failedStep = word(ResultWords::stepCalibration);
            } else if (d.txStatus != word(ResultWords::pass)) {
                // Failed, or never measured: the TX phase ended before it.
                d.failedStep = word(ResultWords::stepTx);
            } else {
                d.failedStep = word(ResultWords::stepLimits);
            }
            if (d.failureLog.isEmpty()) {
                d.failureLog = log;
                if (judged && !judged->reasons.isEmpty())
                    d.failureLog.prepend(judged->reasons.join(QStringLiteral("; ")) +
                                         QStringLiteral("\r\n"));
            }
        }
        c.duts.append(d);
    }
    c.goldenCrystal = o.result.goldenCrystal;
    cycleMeans(&c);
    return c;
}

void CycleRecordBuilder::cycleMeans(CycleRecord *cycle)
{
    const std::vector<FigureDefinition> &figures = FigureTable::figures();
    cycle->cycleMeans.assign(figures.size(), std::nullopt);
    for (std::size_t i = 0; i < figures.size(); ++i) {
        const FigureDefinition &f = figures[i];
        double sum = 0;
        int count = 0;
        for (const DutRecord &d : qAsConst(cycle->duts)) {
            if (!(d.*f.recordMean))
                continue;
            // Less the slot's offset: the same golden machine then gives the
            // same value whichever slots took part.
            sum += *(d.*f.recordMean) - f.offsetOf(d.txCal, d.rxCal);
            ++count;
        }
        if (count > 0)
            cycle->cycleMeans[i] = std::round(sum / count * 1e4) / 1e4;
    }
}
