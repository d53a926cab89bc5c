#include "figuretable.h"

#include "meantext.h"

#include <algorithm>

QString FigureDefinition::header(const char *what) const
{
    return QLatin1String(name) + QLatin1Char(' ') + QLatin1String(what);
}

QString FigureDefinition::columnName(const char *what) const
{
    return QLatin1String(column) + QLatin1Char('_') + QLatin1String(what);
}

bool FigureDefinition::measuredIn(const deviceRestlt_t &result) const
{
    return measuredIn(phase, result);
}

bool FigureDefinition::measuredIn(Phase phase, const deviceRestlt_t &result)
{
    // A DUT that failed after a complete RX measurement still has its figures.
    if (phase == RxTest)
        return result.rxMeasured || result.rxStatus == STATUS_PASS;
    return result.txStatus == STATUS_PASS;
}

int FigureDefinition::offsetOf(int txOffset, int rxOffset) const
{
    switch (offset) {
    case TxOffset:
        return txOffset;
    case RxOffset:
        return rxOffset;
    case NoOffset:
        break;
    }
    return 0;
}

const std::vector<FigureDefinition> &FigureTable::figures()
{
    using F = FigureDefinition;
    // Each entry: name, short name, unit, label, database column; then as
    // the comments say (FigureDefinition's members, in order).
    static const std::vector<FigureDefinition> table = {
        {"rx rssi", "rx rssi", "dBm", QT_TRANSLATE_NOOP("YieldView", "RX RSSI (dBm，不含校准值)"),
         "rx_rssi",
         // phase, calibration offset, decimals, place in lists, broken limit
         F::RxTest, F::RxOffset, MeanText::decimals, 1, BrokenLimit::RxRssi,
         // as the engine measured it
         &deviceRestlt_t::rxRssiMin, &deviceRestlt_t::rxRssiMax, &deviceRestlt_t::rxRssiAve,
         &deviceRestlt_t::rxRssiMean,
         // limits: judged, in the settings file (number, text), in the cycle record
         &JudgeLimits::rxRssiMin, &JudgeLimits::rxRssiMax, &DeviceConfig::rxRssiMin,
         &DeviceConfig::rxRssiMax, &DeviceConfig::Texts::rxRssiMin, &DeviceConfig::Texts::rxRssiMax,
         &CycleRecord::rxRssiMin, &CycleRecord::rxRssiMax,
         // as the results database keeps it
         &DutRecord::rxRssiMin, &DutRecord::rxRssiMax, &DutRecord::rxRssiAvg,
         &DutRecord::rxRssiMean},
        {"freq offset", "freq", "kHz", QT_TRANSLATE_NOOP("YieldView", "频偏 (kHz)"), "freq",
         // phase, calibration offset, decimals, place in lists, broken limit
         F::RxTest, F::NoOffset, MeanText::decimals, 2, BrokenLimit::FreqOffset,
         // as the engine measured it
         &deviceRestlt_t::freqMin, &deviceRestlt_t::freqMax, &deviceRestlt_t::freqAve,
         &deviceRestlt_t::freqMean,
         // limits: judged, in the settings file (number, text), in the cycle record
         &JudgeLimits::freqMin, &JudgeLimits::freqMax, &DeviceConfig::rxFreqMin,
         &DeviceConfig::rxFreqMax, &DeviceConfig::Texts::rxFreqMin, &DeviceConfig::Texts::rxFreqMax,
         &CycleRecord::freqMin, &CycleRecord::freqMax,
         // as the results database keeps it
         &DutRecord::freqMin, &DutRecord::freqMax, &DutRecord::freqAvg, &DutRecord::freqMean},
        {"tx rssi", "tx rssi", "dBm", QT_TRANSLATE_NOOP("YieldView", "TX RSSI (dBm，不含校准值)"),
         "tx_rssi",
         // phase, calibration offset, decimals, place in lists, broken limit
         F::TxTest, F::TxOffset, MeanText::decimals, 0, BrokenLimit::TxRssi,
         // as the engine measured it
         &deviceRestlt_t::txRssiMin, &deviceRestlt_t::txRssiMax, &deviceRestlt_t::txRssiAve,
         &deviceRestlt_t::txRssiMean,
         // limits: judged, in the settings file (number, text), in the cycle record
         &JudgeLimits::txRssiMin, &JudgeLimits::txRssiMax, &DeviceConfig::txRssiMin,
         &DeviceConfig::txRssiMax, &DeviceConfig::Texts::txRssiMin, &DeviceConfig::Texts::txRssiMax,
         &CycleRecord::txRssiMin, &CycleRecord::txRssiMax,
         // as the results database keeps it
         &DutRecord::txRssiMin, &DutRecord::txRssiMax, &DutRecord::txRssiAvg,
         &DutRecord::txRssiMean},
    };
    return table;
}

std::vector<const FigureDefinition *> FigureTable::listed()
{
    std::vector<const FigureDefinition *> out;
    for (const FigureDefinition &f : figures())
        out.push_back(&f);
    std::stable_sort(
        out.begin(), out.end(),
        [](const FigureDefinition *a, const FigureDefinition *b) { return a->listed < b->listed; });
    return out;
}
