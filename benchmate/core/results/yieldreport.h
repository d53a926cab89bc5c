#ifndef YIELDREPORT_H
#define YIELDREPORT_H

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class DatabaseConnection;

// Which cycles a report looks at: those started in [from, to) (an invalid
// time leaves that end open) at the stations named (all when empty).
struct ReportFilter
{
    QDateTime from;
    QDateTime to;
    QStringList stations;
};

// Tests and passes of a group of DUT tests. A first test is a module's
// earliest test in the period (by its flash UID; a DUT that never answered
// its UID counts as a module of its own).
struct YieldCount
{
    qint64 tests = 0;
    qint64 passed = 0;
    qint64 firstTests = 0;
    qint64 firstPassed = 0;
};

struct StationYield
{
    QString station;
    qint64 cycles = 0;
    YieldCount count;
};

// A slot of a station. A slot that fails far more often than the station's
// other slots points at its fixture (cable, clamp, antenna) rather than at
// the modules: it is flagged.
struct SlotYield
{
    QString station;
    int slot = -1;
    YieldCount count;
    qint64 judgedTests = 0; // tests the slot can be blamed for (no cycle error)
    qint64 judgedFailed = 0;
    double othersFailRate = 0; // the station's other slots
    bool fixtureSuspect = false;
};

struct StepFailures
{
    QString step;
    qint64 failures = 0;
};

// A module tested more than once.
struct UnitHistory
{
    QString flashUid;
    qint64 tests = 0;
    qint64 failures = 0;
    QString firstVerdict;
    QString finalVerdict;
    QStringList stations;
};

struct RetestSummary
{
    qint64 units = 0;                 // distinct flash UIDs
    qint64 firstPassed = 0;           // units whose first test passed
    qint64 finalPassed = 0;           // units whose last test passed
    qint64 retested = 0;              // units tested more than once
    qint64 recovered = 0;             // first failed, last passed
    QList<UnitHistory> retestedUnits; // most failures first, then most tests
};

// One figure's spread against one set of limits (the RSSI figures less each
// DUT's calibration offset, as they are judged).
struct FigureStats
{
    QString figure;  // "freq offset", "rx rssi", "tx rssi"
    QString station; // empty: every station
    double lowerLimit = 0;
    double upperLimit = 0;
    qint64 n = 0;
    double mean = 0;
    double sd = 0; // sample standard deviation
    std::optional<double> cpk;
};

struct YieldFigures
{
    ReportFilter filter;
    QString source;
    QDateTime firstCycle;
    QDateTime lastCycle;
    qint64 cycles = 0;
    YieldCount total;
    QList<StationYield> stations;
    QList<SlotYield> slotYields;
    QList<StepFailures> steps;
    RetestSummary retests;
    QList<FigureStats> figures;
};

// The yield report over a results database (a station's own or the
// factory's): yields per station and slot with suspect fixtures flagged,
// failures by step, retests by flash UID and the spread and Cpk of each
// figure.
class YieldReport
{
public:
    // A slot is judged only with at least this many tests.
    static constexpr int minSlotTests = 3;
    // And flagged when its failures are this unlikely at the failure rate of
    // the station's other slots...
    static constexpr double suspectProbability = 0.01;
    // ...and at least this many times that rate.
    static constexpr double suspectFactor = 2.0;

    static bool compute(DatabaseConnection &connection, const ReportFilter &filter,
                        YieldFigures *figures, QString *error);

    // P(X >= k) for X binomial with n tries of probability p.
    static double binomialTail(qint64 n, qint64 k, double p);
    // min(USL - mean, mean - LSL) / 3 sd; none when sd is 0 or n < 2.
    static std::optional<double> cpk(qint64 n, double mean, double sd, double lower, double upper);
};

#endif // YIELDREPORT_H
