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

    // Asks the worker to end: a running chip-tool step is ended at once (its
    // tool killed and reaped), and the worker ends at its next stop check.
    void stop();

    // Copies the seven result values; returns RX_RUNNING while the thread
    // runs, else the worker status (RX_STATUS_T).
    int getResult(rxTestResult *result) const;

    // The flash UID the DUT answered ("uid:" taken off), empty before.
    QString flashUid() const;

    // The step the worker failed at (DUT_FAULT_T), DUT_OK while none did
    // (a stop is no failure). Set as the step fails; any thread may ask.
    int fault() const { return m_fault.load(); }
    // Whether an RX measurement was complete, and the untruncated means of
    // the last one: frequency offset and RSSI.
    bool measured(float *freqMean = nullptr, float *rssiMean = nullptr) const;

    // The chip tool's failure text of the step the worker failed at ("Could
    // not go in download mode."), empty while none failed or when the tool
    // printed none.
    QString toolFailure() const;

    // Waits until the thread has ended; afterwards everything the worker
    // wrote (its log, progress and results) is visible to the caller.
    void join();

protected:
    void run() override;

private:
    void body(chipTool &tool);
    bool stopRequested() const { return stopFlag.load() != 0; }
    void setProgress(uint8_t value);
    // Runs one chip-tool step; a failure logs `failure` and records `fault`.
    bool step(chipTool &tool, const QStringList &words, int finishWait, const char *failure,
              int fault);
    // Records the step the worker failed at, with what the chip tool said.
    void fail(int fault, const QString &output = QString());
    bool calibrate(chipTool &tool);

    const rxTestPara para;
    std::atomic<uint8_t> stopFlag{0};
    std::atomic<int> stage{RX_NOT_STARTED};
    std::atomic<int> m_fault{DUT_OK};
    std::atomic<bool> m_runReturned{false};

    mutable std::mutex m_lock; // guards the values below
    rxTestResult m_result;
    QString m_flashUid;
    bool m_measured = false;
    float m_freqMean = 0.0f;
    float m_rssiMean = 0.0f;
    QString m_toolFailure;
};

#endif // RXTESTTHREAD_H
