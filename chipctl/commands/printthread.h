#ifndef PRINTTHREAD_H
#define PRINTTHREAD_H

#include <QThread>

#include <atomic>
#include <cstdint>

// The progress printer of a multi-image flash download: about once a second
// it prints "Download progress: P%." from the running protocol's progress
// values, until it is asked to stop (noticed within about 10 ms). The main
// thread prints nothing between starting it and seeing it finished.
class printThread : public QThread
{
    Q_OBJECT
public:
    printThread();

    // The share of the download done, in whole percent cut toward zero: the
    // ramcode counts as one step and each of `fileCount` images as one.
    static int percent(float senderProgress, float doneSteps, int32_t fileCount);

    // Waits until the thread has ended, polling every millisecond for at
    // most `ms`; afterwards everything the printer wrote (the console stream
    // above all) is the caller's again. False when it has not ended in time
    // (a write to standard output that blocks): the thread still runs and
    // must not be destroyed.
    bool join(int ms);

public slots:
    void stop();

protected:
    void run() override;

private:
    void printUntilStopped();

    std::atomic<bool> stopRequested{false};
    std::atomic<bool> returned{false};
};

#endif // PRINTTHREAD_H
