#include "resultjudge.h"

#include "cyclevalues.h"
#include "deviceconfigfile.h"
#include "figuretable.h"
#include "meantext.h"
#include "textnumber.h"

JudgeLimits JudgeLimits::fromConfig(const DeviceConfig &config)
{
    JudgeLimits limits;
    for (const FigureDefinition &f : FigureTable::figures()) {
        if (f.lower && f.upper) {
            limits.*f.lower = config.*f.configLower;
            limits.*f.upper = config.*f.configUpper;
        }
    }
    return limits;
}

namespace {

// A bound the DUT's mean broke, as the judgement keeps it and as console
// text ("rx rssi -60.45 < -60").
void broke(DeviceJudgement &device, const FigureDefinition &figure, float value, bool above,
           float bound, int offset)
{
    device.broken.append({figure.quantity, value, above, bound, offset});
    device.reasons << QStringLiteral("%1 %2 %3 %4")
                          .arg(QLatin1String(figure.shortName),
                               MeanText::against(double(value), double(bound)),
                               above ? QStringLiteral(">") : QStringLiteral("<"),
                               QString::number(double(bound), 'g', 6));
}

} // namespace

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

        // Each figure against its limits, moved by the DUT's calibration
        // offset where it has one; a figure without limits is not judged.
        for (const FigureDefinition *f : FigureTable::listed()) {
            if (!f->lower || !f->upper)
                continue;
            const int offset = f->offsetOf(device.txOffset, device.rxOffset);
            const float value = r.*f->mean;
            const bool moved = f->offset != FigureDefinition::NoOffset;
            const float upper = moved ? float(offset) + limits.*f->upper : limits.*f->upper;
            const float lower = moved ? float(offset) + limits.*f->lower : limits.*f->lower;
            if (value > upper)
                broke(device, *f, value, true, upper, offset);
            if (value < lower)
                broke(device, *f, value, false, lower, offset);
        }

        if (!device.broken.isEmpty()) {
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
    return FigureDefinition::measuredIn(FigureDefinition::RxTest, result);
}

bool ResultJudge::txMeasured(const deviceRestlt_t &result)
{
    return FigureDefinition::measuredIn(FigureDefinition::TxTest, result);
}

const char *ResultJudge::verdictWord(DeviceVerdict verdict)
{
    switch (verdict) {
    case DeviceVerdict::Pass:
        return ResultWords::pass;
    case DeviceVerdict::Fail:
        return ResultWords::fail;
    case DeviceVerdict::Error:
        return ResultWords::error;
    case DeviceVerdict::NotJudged:
        break;
    }
    return ResultWords::notJudged;
}

bool ResultJudge::verdictOf(const QString &word, DeviceVerdict *verdict)
{
    for (const DeviceVerdict v : {DeviceVerdict::Pass, DeviceVerdict::Fail, DeviceVerdict::Error,
                                  DeviceVerdict::NotJudged}) {
        if (word == QLatin1String(verdictWord(v))) {
            *verdict = v;
            return true;
        }
    }
    return false;
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
