#ifndef CYCLEOUTCOME_H
#define CYCLEOUTCOME_H

#include "cyclerecord.h"
#include "resultjudge.h"
#include "testrecords.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>

// A cycle that ended on its own, as the cycle controller handled it: what the
// engine reported, how it was judged, and what became of its log and its
// results rows. Both front ends show it; the results records are made of it.
struct CycleOutcome
{
    QDateTime startedAt;
    QDateTime endedAt;
    qint64 elapsedMs = 0;
    uint32_t number = 0; // the daily log's heading number: the total counter before the cycle
    testPara_t para;     // as the cycle was started with (MACs as handed in: empty)
    QString goldenMac;   // as the cycle read it; empty when it did not
    QList<deviceTrace_t> traces;
    testRestlt_t result;
    JudgeLimits limits;
    CycleJudgement judgement;
    QString cycleLog; // the cycle's getLog() text
    // The cycle's rows of the day's results file, as written (or pending).
    QByteArray resultRows;
    // The same text by participant, each log as its collector gave it (a
    // message may hold blank lines): each DUT's of this cycle, in device
    // order with its slot (none for DUTs whose worker never started), and
    // the golden machine's.
    struct DutLog
    {
        int slot = -1;
        QString text;
    };
    QList<DutLog> dutLogs;
    QString goldenLog;

    // The log of device `index`; empty when its worker never started.
    QString dutLog(int index) const { return dutLogs.value(index).text; }

    // The cycle's record, as the results database keeps it (recorded only
    // for a cycle that ended).
    CycleRecord record;

    // The daily log block, the results rows and the cycle's record in the
    // results database went out with everything pending before them (false:
    // kept, and written ahead of the next ones).
    bool logWritten = false;
    bool resultsWritten = false;
    bool recorded = false;
    QString recordError; // why the record is not in the database yet (not recorded)
};

#endif // CYCLEOUTCOME_H
