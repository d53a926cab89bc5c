#ifndef CYCLECONTROLLER_H
#define CYCLECONTROLLER_H

#include "cycleoutcome.h"
#include "cyclerecordbuilder.h"
#include "cyclevalues.h"
#include "dailylog.h"
#include "resultjudge.h"
#include "resultscsv.h"
#include "stationresults.h"
#include "testparabuilder.h"
#include "testrecords.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>

#include <cstdint>
#include <memory>

class QTimer;
class testThread;

// Runs the station's test cycles for a front end (the window or benchrun):
// starts a cycle, reports its progress, stops it on request, and once a
// cycle has ended on its own runs the end-of-cycle sequence, the same for
// both front ends:
//
//   1. the cycle's log goes to the daily log, headed with the total counter;
//   2. its results are judged against the limits and calibration offsets
//      the cycle was started with, each result on the row of its own slot;
//   3. the crystal value of a passing DUT becomes the next cycle's start
//      value (calVal of values());
//   4. the counters grow;
//   5. the cycle is recorded: its rows go to the day's results file, its
//      record to the station's results database (which forwards it to the
//      factory's database when config/station.ini names one);
//   6. the auto-test flag turns the engine's mode byte to 1;
//
// then cycleFinished() hands the outcome over. A stopped cycle runs none of
// it: stopped() says the cycle thread has ended, and nothing was logged,
// judged, counted or recorded.
//
// Lives in the thread of the front end's event loop, which must run for the
// signals to come: the controller watches the cycle with a 100 ms poll (and
// the cycle thread's end), never by blocking, except in stopAndWait().
class CycleController : public QObject
{
    Q_OBJECT

public:
    enum State
    {
        Idle,     // no cycle, or the last one has been handled
        Running,  // a cycle runs
        Stopping, // a stop was asked for; the cycle thread has not ended yet
    };

    // The station's pass/fail counters.
    struct Counters
    {
        uint32_t passed = 0;
        uint32_t failed = 0;
        uint32_t total = 0;
    };

    // What the cycle's results are judged by, taken when it starts (an
    // operator's edit during the cycle changes nothing): the operator's
    // limits, and one row per device of the cycle, in device order, with
    // the device's slot and calibration offsets.
    struct JudgeSetup
    {
        JudgeLimits limits;
        QList<JudgeRow> rows;
    };

    // How often a running cycle is looked at, and a stopping one, ms.
    static constexpr int pollIntervalMs = 100;
    static constexpr int stopCheckMs = 10;

    // Reads the station's settings (./config/station.ini) for its results
    // database.
    explicit CycleController(QObject *parent = nullptr);
    // A cycle still running is stopped, and waited for.
    ~CycleController() override;

    const Counters &counters() const { return m_counters; }
    void setCounters(const Counters &counters) { m_counters = counters; }

    // The auto-test flag as the settings file holds it: when it is 1, every
    // cycle after the first one that ended on its own runs with mode byte 1.
    void setAutoTest(uint8_t flag) { m_autoTest = flag; }
    uint8_t mode() const { return m_mode; }

    // Starts a cycle over `para`, to be judged by `setup`, when none runs
    // and `setup` has the row of every device's slot in device order (false
    // otherwise). The cycle's DUT slots show 0 % until their workers report.
    bool start(const testPara_t &para, const JudgeSetup &setup);
    bool start(const CycleRequest &request);
    // Asks a running cycle to stop. The controller is Stopping until the
    // cycle thread has ended (no DUT worker starts meanwhile, the running
    // chip tools are killed and reaped, and the workers end at their next
    // check), then stopped().
    void stop();
    // Stops a running cycle and blocks until it has ended; signals nothing.
    // For an owner that is going away.
    void stopAndWait();

    State state() const { return m_state; }

    // The current or last cycle (nullptr before the first start), the
    // parameters it was started with and what it is judged by.
    const testThread *cycle() const { return m_cycle.get(); }
    const testPara_t &parameters() const { return m_para; }
    const JudgeSetup &judgeSetup() const { return m_setup; }
    // The last cycle that ended on its own.
    const CycleOutcome &lastOutcome() const { return m_outcome; }

    // The progress bytes of the DUT slots and calVal, shared with the
    // cycles this controller runs. A front end reads the progress bytes
    // while a cycle runs, and sets calVal from its settings between cycles.
    const CycleValues &values() const { return m_values; }
    CycleValues &values() { return m_values; }

    // How device `index` of the current cycle has failed so far, DUT_OK
    // while it has not (and with no cycle); `toolFailure` receives the chip
    // tool's text of the failed step.
    int deviceFault(int index, QString *toolFailure = nullptr) const;

    const DailyLog &dailyLog() const { return m_dailyLog; }
    const ResultsCsv &resultsFile() const { return m_resultsCsv; }
    // The results database; its forwardStatusChanged() says how forwarding
    // to the factory's database stands.
    const StationResults &results() const { return m_results; }
    StationResults &results() { return m_results; }

public slots:
    // Looks at the cycle now: progress while it runs, the end-of-cycle
    // sequence once it has ended, the end of a stop. The timer calls it; a
    // front end may call it to learn at once (as a close of the window does).
    void poll();

signals:
    // The cycle runs: the progress bytes of its DUT slots may have moved.
    void progressChanged();
    // A cycle ended on its own and its end-of-cycle sequence is done.
    void cycleFinished(const CycleOutcome &outcome);
    // A stopped cycle's thread has ended.
    void stopped();

private:
    void finishCycle();
    // Where a judged cycle is recorded: its results rows and its record in
    // the results database. True when everything went out.
    bool recordCycle(CycleOutcome &outcome);

    // Declared first: a running cycle writes into it until it is destroyed.
    CycleValues m_values;
    QTimer *m_poll = nullptr;
    State m_state = Idle;
    Counters m_counters;
    uint8_t m_autoTest = 0;
    uint8_t m_mode = 0;

    // Kept after it ended until the next start deletes it.
    std::unique_ptr<testThread> m_cycle;
    testPara_t m_para;
    JudgeSetup m_setup;
    QDateTime m_startedAt;
    QElapsedTimer m_clock;
    CycleOutcome m_outcome;

    DailyLog m_dailyLog;
    ResultsCsv m_resultsCsv;
    StationResults m_results;
    CycleRecordBuilder m_recordBuilder;
};

#endif // CYCLECONTROLLER_H
