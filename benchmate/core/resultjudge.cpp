#include "resultjudge.h"

#include "cyclevalues.h"
#include "deviceconfigfile.h"
#include "meantext.h"
#include "textnumber.h"

JudgeLimits JudgeLimits::fromConfig(const DeviceConfig &config)
{
    JudgeLimits limits;
    limits.txRssiMax = config.txRssiMax;
    limits.txRssiMin = config.txRssiMin;
    limits.rxRssiMax = config.rxRssiMax;
    limits.rxRssiMin = config.rxRssiMin;
    limits.freqMax = config.rxFreqMax;
    limits.freqMin = config.rxFreqMin;
    return limits;
}

const DeviceJudgement *CycleJudgement::device(int index) const
{
    return index >= 0 && index < devices.size() ? &devices.at(index) : nullptr;
}

int ResultJudge::parseOffset(const QString &text, bool *ok)
{
    bool parsed = false;
    const int value = textNumber::toInt(text, &parsed);
    if (ok)
        *ok = parsed;
    return parsed ? int(int8_t(uint8_t(value & 0xff))) : 0;
}

CycleJudgement ResultJudge::judge(const JudgeLimits &limits, int runState, int devicesGiven,
                                  const testRestlt_t &result, const QList<JudgeRow> &rows)
{
    CycleJudgement out;
    if (runState != CYCLE_ENDED)
        return out;
    out.ended = true;

    if (result.stationFault == STATION_FAULT_GOLDEN || result.cycleStatus == STATUS_FAIL)
        out.stationFault = StationFault::GoldenMachine;
    else if (result.stationFault == STATION_FAULT_RX_TIMEOUT)
        out.stationFault = StationFault::TimeOut;

    // A cycle that did not finish, or whose list does not match its devices,
    // cannot be matched to rows: nothing of it is judged.
    if (result.finished != 1 || result.results.size() != devicesGiven) {
        if (out.stationFault == StationFault::None)
            out.stationFault = StationFault::Incomplete;
        out.cycleError = true;
        out.incomplete = true;
        out.status = TEST_STATION_FAULT;
        return out;
    }
    const bool stationFault = out.stationFault != StationFault::None;
    out.cycleError = stationFault;

    bool cycleFailed = false;
    const int judged = qMin(rows.size(), result.results.size());
    for (int k = 0; k < judged; ++k) {
        const JudgeRow &row = rows.at(k);
        DeviceJudgement device;
        device.slot = row.slot;
        device.result = result.results.at(k);
        const deviceRestlt_t &r = device.result;

        if (stationFault) {
            device.verdict = DeviceVerdict::NotJudged;
            out.devices.append(device);
            continue;
        }
        // The TX step that ended the cycle was this DUT's own: its failure.
        const bool ownTxStep = r.fault == DUT_FAULT_TX_MODE || r.fault == DUT_FAULT_TX_RF_OFF;
        if (r.rxStatus == STATUS_FAIL || r.txStatus == STATUS_FAIL || ownTxStep) {
            device.verdict = DeviceVerdict::Error;
            ++out.failed;
            cycleFailed = true;
            out.devices.append(device);
            continue;
        }
        if (r.txStatus != STATUS_PASS) {
            device.verdict = DeviceVerdict::NotJudged;
            out.devices.append(device);
            continue;
        }

        bool ok = false;
        device.txOffset = parseOffset(row.txCal, &ok);
        if (!ok)
            out.messages << QStringLiteral("Dut") + QString::number(row.slot) +
                                QStringLiteral(" TX校准值不正确");
        device.rxOffset = parseOffset(row.rxCal, &ok);
        if (!ok)
            out.messages << QStringLiteral("Dut") + QString::number(row.slot) +
                                QStringLiteral(" RX校准值不正确");

        const float tx = r.txRssiMean;
        const float rx = r.rxRssiMean;
        const float freq = r.freqMean;
        const float txOffset = float(device.txOffset);
        const float rxOffset = float(device.rxOffset);
        const bool outside = tx > txOffset + limits.txRssiMax || tx < txOffset + limits.txRssiMin ||
                             rx > rxOffset + limits.rxRssiMax || rx < rxOffset + limits.rxRssiMin ||
                             freq > limits.freqMax || freq < limits.freqMin;

        if (outside) {
            const auto broke = [&device](BrokenLimit::Quantity quantity, const char *what,
                                         float value, bool above, float bound, int offset) {
                if (!(above ? value > bound : value < bound))
                    return;
                device.broken.append({quantity, value, above, bound, offset});
                device.reasons << QStringLiteral("%1 %2 %3 %4")
                                      .arg(QLatin1String(what),
                                           MeanText::against(double(value), double(bound)),
                                           above ? QStringLiteral(">") : QStringLiteral("<"),
                                           QString::number(double(bound), 'g', 6));
            };
            broke(BrokenLimit::TxRssi, "tx rssi", tx, true, txOffset + limits.txRssiMax,
                  device.txOffset);
            broke(BrokenLimit::TxRssi, "tx rssi", tx, false, txOffset + limits.txRssiMin,
                  device.txOffset);
            broke(BrokenLimit::RxRssi, "rx rssi", rx, true, rxOffset + limits.rxRssiMax,
                  device.rxOffset);
            broke(BrokenLimit::RxRssi, "rx rssi", rx, false, rxOffset + limits.rxRssiMin,
                  device.rxOffset);
            broke(BrokenLimit::FreqOffset, "freq", freq, true, limits.freqMax, 0);
            broke(BrokenLimit::FreqOffset, "freq", freq, false, limits.freqMin, 0);
            device.verdict = DeviceVerdict::Fail;
            ++out.failed;
            cycleFailed = true;
        } else {
            device.verdict = DeviceVerdict::Pass;
            ++out.passed;
            // The value this device accepted seeds the next calibration.
            out.calValChanged = true;
            out.newCalVal = r.calVal;
        }
        out.devices.append(device);
    }

    out.total = out.passed + out.failed;
    if (stationFault)
        out.status = TEST_STATION_FAULT;
    else
        out.status = cycleFailed ? TEST_FAIL : TEST_PASS;
    return out;
}

bool ResultJudge::rxMeasured(const deviceRestlt_t &result)
{
    return result.rxMeasured || result.rxStatus == STATUS_PASS;
}

bool ResultJudge::txMeasured(const deviceRestlt_t &result)
{
    return result.txStatus == STATUS_PASS;
}

void ResultJudge::count(const CycleJudgement &judgement, uint32_t *passNum, uint32_t *failNum,
                        uint32_t *allNum)
{
    *passNum += judgement.passed;
    *failNum += judgement.failed;
    *allNum += judgement.passed + judgement.failed;
}

void ResultJudge::carryCalVal(const CycleJudgement &judgement, CycleValues &values)
{
    if (!judgement.calValChanged)
        return;
    // Only the window or the runner writes it, between cycles.
    values.setCalStart(judgement.newCalVal);
}
