#ifndef FIGURETABLE_H
#define FIGURETABLE_H

#include "cyclerecord.h"
#include "deviceconfigfile.h"
#include "resultjudge.h"
#include "testrecords.h"

#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <optional>
#include <vector>

// One figure a DUT is measured by (an RSSI, the frequency offset), declared
// once: where the engine leaves it, how the station judges, shows, writes
// and records it. Every part that handles a DUT's figures loops over the
// figure table instead of naming the figures itself.
struct FigureDefinition
{
    // The part of the cycle that measures it: the DUT's RX test (with the
    // crystal search) or its TX test.
    enum Phase
    {
        RxTest,
        TxTest,
    };
    // The DUT's calibration offset the figure's limits move by (the cable
    // and fixture of the slot), and the report takes off before it compares.
    enum Offset
    {
        NoOffset,
        TxOffset,
        RxOffset,
    };

    // The results file's headers ("rx rssi min", "rx rssi max", "rx rssi
    // avg") and the yield report's figure.
    const char *name;
    // The judge's reasons ("freq 12.40 > 10") and benchrun's column.
    const char *shortName;
    const char *unit;
    // The figure as the operator's window shows it; translated in the
    // context "YieldView".
    const char *label;
    // The results database's columns: the DUT's <column>_min, _max, _avg
    // and _mean, the cycle's limits <column>_min and _max.
    const char *column;
    Phase phase;
    Offset offset;
    // Decimals of the mean where it is shown (MeanText).
    int decimals;
    // Where it stands where figures are listed for the operator: benchrun's
    // table and the judge's reasons.
    int listed;
    BrokenLimit::Quantity quantity;

    // As the engine measured it: the samples' minimum, maximum and mean
    // truncated toward zero, and the mean as measured, which it is judged by.
    int32_t deviceRestlt_t::*min;
    int32_t deviceRestlt_t::*max;
    int32_t deviceRestlt_t::*average;
    float deviceRestlt_t::*mean;

    // Its limits: as judged, as the settings file keeps them (numbers and
    // the texts the operator wrote) and as the cycle's record keeps them.
    float JudgeLimits::*lower;
    float JudgeLimits::*upper;
    float DeviceConfig::*configLower;
    float DeviceConfig::*configUpper;
    QString DeviceConfig::Texts::*lowerText;
    QString DeviceConfig::Texts::*upperText;
    double CycleRecord::*recordLower;
    double CycleRecord::*recordUpper;

    // As the results database keeps it for a DUT.
    std::optional<int> DutRecord::*recordMin;
    std::optional<int> DutRecord::*recordMax;
    std::optional<int> DutRecord::*recordAverage;
    std::optional<double> DutRecord::*recordMean;

    // The results file's header of one of its columns: "min", "max", "avg".
    QString header(const char *what) const;
    // The database column of one of its values: "min", "max", "avg", "mean".
    QString columnName(const char *what) const;
    // Whether a result entry holds this figure: a complete RX measurement,
    // or a TX test that passed. A figure never measured is none, not 0.
    bool measuredIn(const deviceRestlt_t &result) const;
    static bool measuredIn(Phase phase, const deviceRestlt_t &result);
    // The calibration offset of its limits for a DUT with these offsets.
    int offsetOf(int txOffset, int rxOffset) const;
};

class FigureTable
{
public:
    // The figures named elsewhere (the yield view's charts), by their place
    // in the table.
    enum Id
    {
        RxRssi,
        FreqOffset,
        TxRssi,
    };

    // In the order of the results file's and the database's columns.
    static const std::vector<FigureDefinition> &figures();
    static int count() { return int(figures().size()); }
    static const FigureDefinition &figure(Id id) { return figures()[std::size_t(id)]; }
    // The figures in the order they are listed for the operator.
    static std::vector<const FigureDefinition *> listed();
};

#endif // FIGURETABLE_H
