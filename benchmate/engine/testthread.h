#ifndef TESTTHREAD_H
#define TESTTHREAD_H

#include "logrecord.h"
#include "testrecords.h"

#include <QHash>
#include <QThread>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

class chipTool;
class rxTestThread;
class txTestThread;
class waitDeviceThread;

// One test cycle: prepares the golden machine (its MAC and its calibrated
// crystal value), derives a MAC for every DUT, lets the golden machine
// transmit while one RX worker per DUT calibrates that DUT in parallel, then
// tests each DUT's transmitter in turn with the golden machine as receiver.
// The cycle judges no limits; the window does that from getResult().
//
// The window creates one object per start and deletes it before the next.
// Everything the window needs comes through getResult(), getLog(),
// getTraceability() and the progress bytes of its devices.
class testThread : public QThread
{
    Q_OBJECT

public:
    // Poll of the DUT workers during the RX phase, ms.
    static constexpr int rxPoll = 50;

    // `autoFlag` is stored only; the parent is not used (the window deletes
    // the object itself).
    testThread(const testPara_t &para, unsigned char autoFlag, QObject *parent = nullptr);
    ~testThread() override;

    // Asks the cycle to stop: no DUT worker starts after this call, the
    // running ones are asked to stop, and the call returns when all of them
    // have ended (a running chip-tool step is ended at once, its tool killed
    // and reaped, and each worker ends at its next check).
    // The cycle thread itself ends at its next stop check, never before its
    // workers.
    void stop();

    // The same request without waiting: for a caller that keeps its own
    // events running until isFinished().
    void requestStop();

    // Copies results, cycleStatus and finished; returns CYCLE_RUNNING while
    // the thread runs, CYCLE_ENDED when it does not.
    int getResult(testRestlt_t *result) const;

    // Every DUT log, then the cycle's own, each at information level and
    // above and followed by "\r\n". Empties the logs. Also written to the
    // debug console. `pieces`, when given, receives each log's own text (the
    // DUTs' in device order, then the cycle's), without the "\r\n" after it.
    QString getLog(QStringList *pieces = nullptr);

    // The step device `index` (in device order) failed at, DUT_FAULT_T, as
    // soon as it failed: DUT_OK while it has not (or its worker has not
    // started). Any thread may ask while the cycle runs. `toolFailure`, when
    // given, receives the chip tool's failure text of that step.
    int deviceFault(int index, QString *toolFailure = nullptr) const;

    // Per DUT whose RX worker was started, in device order: name, port, the
    // MAC the cycle gave it and the flash UID its worker read. Empty when the
    // cycle never reached the RX phase. Read it after the thread finished.
    QList<deviceTrace_t> getTraceability() const;

    // The golden machine's MAC as the cycle read it; empty when it did not.
    // Read it after the thread finished.
    QString goldenMac() const;

    unsigned char mode() const { return autoFlag; }

protected:
    void run() override;

private:
    void cycle(chipTool &tool);
    bool goldenStep(chipTool &tool, const QStringList &words, int finishWait);
    void failCycle(const QString &message);
    void setStationFault(int fault);
    void setDeviceFault(int index, int fault, const QString &output = QString());
    void endCycle();
    bool startWorkers();
    bool waitForWorkers();
    void collectResults();
    void txPhase(chipTool &tool);
    void waitAllWorkers();
    bool stopRequested() const { return stopFlag.load() != 0; }

    // Never filled by this cycle: the separate TX and boot-mode workers are
    // not part of its sequence.
    QList<txTestPara> txParas;
    std::vector<std::unique_ptr<txTestThread>> txThreads;
    std::vector<std::unique_ptr<waitDeviceThread>> waitThreads;
    QList<rxTestResult> rxResults;

    // The DUT workers and their logs, in device order. Guarded by m_workers:
    // stop() and the window's accessors read them while run() fills them.
    mutable std::mutex m_workers;
    QList<rxTestPara> rxParas;
    std::vector<std::unique_ptr<logRecord>> devLogs;
    std::vector<std::shared_ptr<rxTestThread>> rxThreads;

    logRecord mainLog;
    testPara_t para;
    const unsigned char autoFlag;
    std::atomic<uint8_t> stopFlag{0};
    std::atomic<bool> m_runReturned{false};

    mutable std::mutex m_results; // guards the values below
    QList<deviceRestlt_t> results;
    int32_t cycleStatus = 0;
    int32_t finished = 0;
    int32_t stationFault = STATION_OK;
    std::optional<int> goldenCrystal;
    // The TX phase's failures by device index, before and after results.
    QHash<int, int> m_txFaults;
    QHash<int, QString> m_txToolFailures; // their chip tool's failure texts
};

#endif // TESTTHREAD_H
