#ifndef TXTESTTHREAD_H
#define TXTESTTHREAD_H

#include "testrecords.h"

#include <QThread>

#include <array>
#include <atomic>

// A worker for one DUT that loads the ramcode and gives the DUT its own and
// the golden machine's MAC, reporting each chip-tool command line and answer
// through showDebugInfo() instead of a log. The cycle measures TX itself;
// this class is offered for a cycle that wants the set-up in a separate
// thread.
class txTestThread : public QThread
{
    Q_OBJECT

public:
    explicit txTestThread(const txTestPara &para, QObject *parent = nullptr);
    ~txTestThread() override;

    // Sets the stop flag; the sequence is short and does not look at it.
    void stop();

    // Copies the four TX values (never measured by this class, so 0).
    // Returns the stage while the thread runs or once it reached 4 (set-up
    // done); otherwise the set-up failed and 5 is returned.
    int getResult(float *result);

signals:
    void showDebugInfo(const QString &text);

protected:
    void run() override;

private:
    void setUp();

    const txTestPara para;
    std::atomic<uint8_t> stopFlag{0};
    std::atomic<bool> m_runReturned{false};
    std::atomic<int> stage{0};
    std::array<float, 4> txResult{};
};

#endif // TXTESTTHREAD_H
