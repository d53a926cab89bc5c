#ifndef YIELDTALLY_H
#define YIELDTALLY_H

#include <QDate>
#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <utility>

// One DUT test reduced to what its yield counts, as the day's results file
// and the results database both give it.
struct JudgedTest
{
    enum Verdict
    {
        Pass,
        Fail,
        Error,     // a step failed: nothing to judge, a failure all the same
        NotJudged, // the station let the DUT down: in no yield, no failure
    };

    QString station; // empty: the station's own (the window's day)
    int slot = -1;
    QString flashUid; // empty: the DUT never told it, a module of its own
    Verdict verdict = NotJudged;
    // The step it failed at (the database's words; the results file keeps
    // none). A failure at "cycle" is the station's, no slot's.
    QString failedStep;
    QDate day; // the day it was tested (local time), for the yield per day

    // The results' verdict words ("pass", "fail", "error", "not judged").
    static bool verdictOf(const QString &word, Verdict *verdict);
};

// Tests and passes of a group of DUT tests. A first test is a module's
// earliest test in the period (by its flash UID; a DUT that never told its
// UID counts as a module of its own), so first tests are the modules tested,
// and the first-pass yield is firstPassed / firstTests: the share of the
// modules tested whose first test passed.
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

struct DayCount
{
    QDate day;
    YieldCount count;
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

// The modules tested: each flash UID once, and each DUT without one.
struct RetestSummary
{
    qint64 units = 0;                 // modules (equals the first tests)
    qint64 withoutUid = 0;            // of them DUTs that never told their UID
    qint64 firstPassed = 0;           // modules whose first test passed
    qint64 finalPassed = 0;           // modules whose last test passed
    qint64 retested = 0;              // modules tested more than once
    qint64 recovered = 0;             // first failed, last passed
    QList<UnitHistory> retestedUnits; // most failures first, then most tests
};

// The one yield computation of the station: the window's day and the yield
// report both feed it their DUT tests, in the order they were tested, and
// read their yields from it, so that the same cycles give the same yields
// wherever they are shown.
class YieldTally
{
public:
    // A slot is judged only with at least this many tests.
    static constexpr int minSlotTests = 3;
    // And flagged when its failures are this unlikely at the failure rate of
    // the station's other slots...
    static constexpr double suspectProbability = 0.01;
    // ...and at least this many times that rate.
    static constexpr double suspectFactor = 2.0;

    // Returns whether the test counts (a DUT not judged does not).
    bool add(const JudgedTest &test);
    void clear();

    const YieldCount &total() const { return m_total; }
    // By station id (cycles left 0: the tally sees DUTs, not cycles).
    QList<StationYield> stations() const;
    YieldCount station(const QString &station) const { return m_stations.value(station); }
    // By station and slot, each with its fixture flag.
    QList<SlotYield> slotYields() const;
    YieldCount slot(const QString &station, int slot) const;
    // By day, oldest first (tests without a day left out).
    QList<DayCount> days() const;
    // Of the failures, most first.
    QList<StepFailures> steps() const;
    RetestSummary retests() const;

    // P(X >= k) for X binomial with n tries of probability p.
    static double binomialTail(qint64 n, qint64 k, double p);

private:
    struct Unit
    {
        qint64 tests = 0;
        qint64 failures = 0;
        QString first;
        QString last;
        QStringList stations;
    };

    YieldCount m_total;
    QMap<QString, YieldCount> m_stations;
    QMap<std::pair<QString, int>, SlotYield> m_slots;
    QMap<QString, qint64> m_steps;
    QMap<QDate, YieldCount> m_days;
    QHash<QString, Unit> m_units;
    qint64 m_anonymous = 0;
    qint64 m_anonymousPassed = 0;
};

#endif // YIELDTALLY_H
