#include "resultjudge.h"

#include "deviceconfigfile.h"
#include "stationglobals.h"
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
    out.total = uint32_t(result.results.size());

    // A cycle that did not finish, or whose list does not match its devices,
    // cannot be matched to rows: every device it was given counts as failed.
    if (result.finished != 1 || result.results.size() != devicesGiven) {
        out.cycleError = true;
        out.incomplete = true;
        out.failed = uint32_t(devicesGiven < 0 ? 0 : devicesGiven);
        out.status = TEST_FAIL;
        return out;
    }

    bool cycleFailed = false;
    if (result.cycleStatus == STATUS_FAIL) {
        out.cycleError = true;
        cycleFailed = true;
    }

    const int judged = qMin(rows.size(), result.results.size());
    for (int k = 0; k < judged; ++k) {
        const JudgeRow &row = rows.at(k);
        DeviceJudgement device;
        device.slot = row.slot;
        device.result = result.results.at(k);
        const deviceRestlt_t &r = device.result;

        if (r.rxStatus == STATUS_FAIL || r.txStatus == STATUS_FAIL) {
            device.verdict = DeviceVerdict::Error;
            ++out.failed;
            cycleFailed = true;
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

        const float tx = float(r.txRssiAve);
        const float rx = float(r.rxRssiAve);
        const float freq = float(r.freqAve);
        const float txOffset = float(device.txOffset);
        const float rxOffset = float(device.rxOffset);
        const bool outside = tx > txOffset + limits.txRssiMax || tx < txOffset + limits.txRssiMin ||
                             rx > rxOffset + limits.rxRssiMax || rx < rxOffset + limits.rxRssiMin ||
                             freq > limits.freqMax || freq < limits.freqMin;

        if (outside) {
            const auto broke = [&device](const char *what, float value, bool above, float bound) {
                if (above ? value > bound : value < bound)
                    device.reasons << QStringLiteral("%1 %2 %3 %4")
                                          .arg(QLatin1String(what))
                                          .arg(double(value))
                                          .arg(above ? QLatin1Char('>') : QLatin1Char('<'))
                                          .arg(double(bound));
            };
            broke("tx rssi", tx, true, txOffset + limits.txRssiMax);
            broke("tx rssi", tx, false, txOffset + limits.txRssiMin);
            broke("rx rssi", rx, true, rxOffset + limits.rxRssiMax);
            broke("rx rssi", rx, false, rxOffset + limits.rxRssiMin);
            broke("freq", freq, true, limits.freqMax);
            broke("freq", freq, false, limits.freqMin);
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

    out.status = cycleFailed ? TEST_FAIL : TEST_PASS;
    return out;
}

void ResultJudge::count(const CycleJudgement &judgement, uint32_t *passNum, uint32_t *failNum,
                        uint32_t *allNum)
{
    *passNum += judgement.passed;
    *failNum += judgement.failed;
    *allNum += judgement.total;
}

void ResultJudge::carryCalVal(const CycleJudgement &judgement)
{
    if (!judgement.calValChanged)
        return;
    // Only the window or the runner writes it, between cycles.
    calVal.store((calVal.load() & ~0xff) | int(uint8_t(judgement.newCalVal)));
}
