#ifndef CYCLETABLE_H
#define CYCLETABLE_H

#include "cycleoutcome.h"
#include "resultjudge.h"
#include "testrecords.h"

#include <QList>
#include <QString>

// The console tables of benchrun: one per cycle, one DUT a line, and the
// yield summary at the end.
class CycleTable
{
public:
    // What the summary adds up.
    struct Totals
    {
        int cycles = 0;
        int stationErrors = 0; // cycles whose golden machine failed or that did not finish
        qint64 elapsedMs = 0;
        uint32_t passed = 0;
        uint32_t failed = 0;
    };

    // The table of one cycle: a heading, then per DUT its slot, name, port,
    // MAC, verdict and the TX RSSI, RX RSSI, frequency-offset means (as
    // measured, MeanText's decimals) and accepted crystal value.
    // A "note" column says why a DUT failed: the bounds it broke, or the
    // first error its log holds with the chip tool's failure text of that
    // step; a cycle error adds the golden machine's
    // first error to the heading. `dutLogs` and `goldenLog` are the
    // cycle's logs (CycleOutcome).
    static QString cycleTable(int cycle, int cycles, qint64 elapsedMs, const testPara_t &para,
                              const QList<deviceTrace_t> &traces, const testRestlt_t &result,
                              const CycleJudgement &judgement,
                              const QList<CycleOutcome::DutLog> &dutLogs, const QString &goldenLog);

    // The first error message of a log, without its level and time stamp;
    // empty when it holds none.
    static QString firstError(const QString &log);

    static QString summary(const Totals &totals);

    // The verdict of result entry `index` as the table shows it.
    static QString verdict(const CycleJudgement &judgement, const testRestlt_t &result, int index);
};

#endif // CYCLETABLE_H
