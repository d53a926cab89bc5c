#ifndef BENCHRUNNER_H
#define BENCHRUNNER_H

#include "benchoptions.h"
#include "deviceconfigfile.h"
#include "resultjudge.h"
#include "testparabuilder.h"

#include <QList>
#include <QString>
#include <QTextStream>

#include <cstdint>

class CycleValues;

// Runs test cycles without a window, through the same cycle controller as
// the station's window: the station's settings file gives the golden
// machine, the enabled DUTs, the firmware and the limits; every cycle is
// judged alike, counted, logged to the daily log and the results file, and
// the counters and the starting crystal value carry from cycle to cycle and
// into the settings file after every cycle.
//
// Runs in the station directory, with an event loop of its own while a cycle
// runs, for the controller's signals.
class BenchRunner
{
public:
    enum ExitStatus
    {
        ExitDone = 0,
        ExitBadSetup = 1,
        ExitBadUsage = 2,
        ExitStationError = 3,
        ExitLogsNotWritten = 4,
    };

    BenchRunner(const BenchOptions &options, QTextStream &out, QTextStream &err);

    int run();

private:
    bool loadSetup();
    bool runCycle(int cycle);
    void saveSetup(const CycleValues &values);
    // Where the tables, progress and summary go: standard output, or with
    // --json standard error (standard output is the JSON lines').
    QTextStream &text() { return m_options.json ? m_err : m_out; }

    const BenchOptions m_options;
    QTextStream &m_out;
    QTextStream &m_err;

    DeviceConfigFile m_configFile;
    DeviceConfig m_config;
    // The cycle every run starts, as the settings file sets it up.
    CycleRequest m_request;
    // Why the last save of the settings failed; empty once one went through.
    QString m_settingsNotSaved;
};

#endif // BENCHRUNNER_H
