#ifndef RXTESTTHREAD_H
#define RXTESTTHREAD_H

#include "crystalsearch.h"
#include "testrecords.h"

#include <QThread>

#include <atomic>
#include <mutex>

class chipTool;

// The RX worker of one DUT: brings the DUT into boot mode, loads the ramcode,
// gives the DUT the golden machine's MAC and its own, then searches the
// crystal load-capacitance value (CrystalSearch) until the DUT's mean
// frequency offset against the transmitting golden machine is small, and
// writes the accepted value into the DUT's OTP area. Every chip operation is one chip-tool run;
// every log line goes to the DUT's own collector.
class rxTestThread : public QThread
{
    Q_OBJECT

public:
    // Search bounds.
    static constexpr int maxIterations = CrystalSearch::maxIterations;
    static constexpr int gmMacAttempts = 20;
    static constexpr int samplesPerTest = 20;

    // The parent is not used: the cycle owns and deletes its workers.
    explicit rxTestThread(const rxTestPara &para, QObject *parent = nullptr);
    ~rxTestThread() override;

    // Asks the worker to end at its next stop check; a running chip-tool step
    // is not interrupted.
    void stop();

    // Copies the seven result values; returns RX_RUNNING while the thread
    // runs, else the worker status (RX_STATUS_T).
    int getResult(rxTestResult *result) const;

    // The flash UID the DUT answered ("uid:" taken off), empty before.
    QString flashUid() const;

    // Waits until the thread has ended; afterwards everything the worker
    // wrote (its log, progress and results) is visible to the caller.
    void join();

protected:
    void run() override;

private:
    void body(chipTool &tool);
    bool stopRequested() const { return stopFlag.load() != 0; }
    void setProgress(uint8_t value);
    bool step(chipTool &tool, const QStringList &words, int finishWait, const char *failure);
    bool calibrate(chipTool &tool);

    const rxTestPara para;
    std::atomic<uint8_t> stopFlag{0};
    std::atomic<int> stage{RX_NOT_STARTED};
    std::atomic<bool> m_runReturned{false};

    mutable std::mutex m_lock; // guards the values below
    rxTestResult m_result;
    QString m_flashUid;
};

#endif // RXTESTTHREAD_H
