#ifndef CYCLEJSON_H
#define CYCLEJSON_H

#include "cycleoutcome.h"

#include <QByteArray>
#include <QJsonObject>

// benchrun --json: a cycle for the programs of a line integrator, one JSON
// object a line. For each DUT one object ("type": "dut"), then one for the
// cycle ("type": "cycle"), made of the cycle's record as the results
// database keeps it, so that its cycle_uid finds the cycle there. Absent
// figures and values are null, never 0.
class CycleJson
{
public:
    struct Counters
    {
        qint64 total = 0;
        qint64 passed = 0;
        qint64 failed = 0;
    };

    // Entry `index` of the outcome's record.
    static QJsonObject dut(const CycleOutcome &outcome, int run, int index);
    // `run`: the cycle's place in this run, from 1.
    static QJsonObject cycle(const CycleOutcome &outcome, int run, const Counters &counters);

    // Every DUT's line, then the cycle's; each ends with a line break.
    static QByteArray lines(const CycleOutcome &outcome, int run, const Counters &counters);
};

#endif // CYCLEJSON_H
