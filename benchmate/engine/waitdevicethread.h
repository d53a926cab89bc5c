#ifndef WAITDEVICETHREAD_H
#define WAITDEVICETHREAD_H

#include <QString>
#include <QThread>

#include <atomic>

class logRecord;

// Watches one port through the chip tool: waits until the tool reports a
// failure there (no unit answering), then keeps pulsing the unit's control
// lines and probing until it answers in boot mode. No time limit: only a
// stop request ends it earlier.
class waitDeviceThread : public QThread
{
    Q_OBJECT

public:
    enum WAIT_RESULT_T
    {
        WAIT_POLLING = 1,  // probing until the tool reports a failure
        WAIT_PULSING = 2,  // pulsing the control lines, probing for boot mode
        WAIT_BOOT_MODE = 3 // the unit answered in boot mode
    };

    // The log is kept for the caller and not written; the parent is not
    // used.
    waitDeviceThread(const QString &port, logRecord *log, QObject *parent = nullptr);
    ~waitDeviceThread() override;

    // Takes effect after the running chip-tool step.
    void stop();

    int getResult() const { return waitResult.load(); }

    // The log handed in at construction.
    logRecord *log() const { return waitLog; }

protected:
    void run() override;

private:
    void watch();
    bool stopRequested() const { return stopFlag.load() != 0; }

    std::atomic<uint8_t> stopFlag{0};
    std::atomic<bool> m_runReturned{false};
    std::atomic<int> waitResult{0};
    const QString waitPort;
    logRecord *const waitLog;
};

#endif // WAITDEVICETHREAD_H
