#ifndef SAMPLECYCLES_H
#define SAMPLECYCLES_H

#include "cyclerecord.h"

#include <QString>

class DatabaseConnection;

// Cycles for the results tests, the same for a given station and number:
// figures that vary from DUT to DUT, some failing DUTs with their logs, and
// texts that need care (commas, quotes, line breaks, Chinese).
CycleRecord sampleCycle(const QString &station, int number, int duts = 24);

// How a database looks: cycles, DUT rows, and cycles whose DUT rows do not
// number their dut_count (a cycle stored in part). -1 on an error.
struct DatabaseCounts
{
    qint64 cycles = -1;
    qint64 duts = -1;
    qint64 partialCycles = -1;
    qint64 duplicateUids = -1; // (station, uid) pairs stored more than once
};
DatabaseCounts countsOf(DatabaseConnection &connection);

// Overwrites the first 800 bytes of the middle page of an SQLite file (pages of
// 4096 bytes), as a bad sector or a stray write would. False when the file
// cannot be written or has no page past the first.
bool damagePage(const QString &path);

#endif // SAMPLECYCLES_H
