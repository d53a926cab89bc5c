#ifndef DAYYIELD_H
#define DAYYIELD_H

#include "figuretable.h"
#include "yieldtally.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QVector>

#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

// One DUT of one cycle, as the day's results file records it.
struct YieldEntry
{
    enum Verdict
    {
        Pass,
        Fail,
        Error,
        NotJudged,
    };

    QDateTime when;
    int slot = -1;    // 0..23
    QString flashUid; // empty when the DUT never told it
    Verdict verdict = NotJudged;
    // The means a judged DUT (Pass or Fail) was judged by, by figure
    // (FigureTable::Id; files of older stations hold them truncated to
    // whole numbers); none where the row has no figure (never measured, not
    // a number, or a file without the figure's column).
    std::vector<std::optional<double>> means =
        std::vector<std::optional<double>>(FigureTable::figures().size());
    // The crystal value the DUT accepted, when it did.
    bool hasCrystal = false;
    int crystal = 0;
};

// The day's yield of a station, per DUT slot: how many DUTs passed and
// failed, how many cycles in a row each slot has failed (a slot that keeps
// failing points at its fixture or cable far more often than at its
// modules), the figures today's judged DUTs were judged by, and the crystal
// values each slot accepted over the day. Fed from the day's results file
// and then cycle by cycle with the same rows.
class DayYield
{
public:
    static constexpr int slotCount = 24;

    // Passes and failures as the tally counts them.
    struct Slot
    {
        uint32_t passed = 0;
        uint32_t failed = 0; // failed or ended in an error
        int failStreak = 0;  // the slot's last cycles that failed, in a row
    };

    // The figures the window charts.
    enum Quantity
    {
        FreqOffset = FigureTable::FreqOffset,
        RxRssi = FigureTable::RxRssi,
        TxRssi = FigureTable::TxRssi,
    };

    // The rows of a results file read, and those that could not be read.
    struct Rows
    {
        QList<YieldEntry> entries;
        int unreadable = 0;
        QStringList problems; // ResultsCsvReader's
    };

    explicit DayYield(int failStreakWarning = 3);

    // A slot warns when it has failed this many cycles in a row (at least 1).
    void setFailStreakWarning(int cycles);
    int failStreakWarning() const { return m_warnAt; }

    // The rows of the results file, matched by its header's column names,
    // in the order they were written (header rows and blank lines are none).
    // A row with empty or unreadable figures still counts its verdict. A row
    // without a time, a slot or a verdict this station knows is unreadable:
    // counted and said, never passed over silently.
    static Rows read(const QByteArray &csv);
    // The entries of read(); a warning on the console says how many rows
    // could not be read, and which.
    static QList<YieldEntry> parse(const QByteArray &csv);
    // Reads a day's results file whole (for a thread of its own).
    static QList<YieldEntry> readFile(const QString &path);

    // Adds entries in the order they happened. An entry of a later day than
    // the one held starts that day afresh; one of an earlier day is left out.
    void add(const QList<YieldEntry> &entries);
    void clear();

    QDate day() const { return m_day; }
    const Slot &slot(int slot) const;
    bool warns(int slot) const;
    QList<int> warningSlots() const;
    uint32_t passed() const;
    uint32_t failed() const;
    // The day's yields, as the yield report computes them from the same
    // DUT tests (the first-pass yield of the modules tested today among
    // them).
    const YieldTally &tally() const { return m_tally; }

    // The means of today's judged DUTs of a figure (FigureTable::Id), in
    // the order they were tested.
    const QVector<double> &values(int figure) const;
    // The crystal values a slot accepted today, in order.
    QList<QPair<QDateTime, int>> crystals(int slot) const;

private:
    int m_warnAt = 3;
    QDate m_day;
    YieldTally m_tally;
    QVector<Slot> m_slots = QVector<Slot>(slotCount);
    std::vector<QVector<double>> m_values =
        std::vector<QVector<double>>(FigureTable::figures().size());
    QVector<QList<QPair<QDateTime, int>>> m_crystals =
        QVector<QList<QPair<QDateTime, int>>>(slotCount);
};

#endif // DAYYIELD_H
