#include "printthread.h"

#include "cmdparse.h"
#include "console.h"
#include "protocol/tranprotocol.h"
#include "waitms.h"

#include <QDeadlineTimer>

#include <cmath>

namespace {

constexpr int pollsPerLine = 100;
constexpr int pollMs = 10;

} // namespace

printThread::printThread()
    : QThread(nullptr)
{}

void printThread::stop()
{
    stopRequested = true;
}

bool printThread::join(int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!isFinished()) {
        if (deadline.hasExpired())
            return false;
        waitMs(1);
    }
    wait();
    // Pairs with the store at the end of run(): the end of a thread as seen
    // by wait() carries no ordering a race checker can see without an
    // instrumented Qt.
    returned.load(std::memory_order_acquire);
    return true;
}

int printThread::percent(float senderProgress, float doneSteps, int32_t fileCount)
{
    const double p =
        (double(senderProgress) + double(doneSteps)) / (double(fileCount) + 1.0) * 100.0;
    if (!std::isfinite(p))
        return 0;
    // A whole download never goes past 100; the bounds only keep the cut
    // defined whatever the values hold.
    return int(std::trunc(qBound(-1e9, p, 1e9)));
}

void printThread::run()
{
    printUntilStopped();
    returned.store(true, std::memory_order_release);
}

void printThread::printUntilStopped()
{
    for (;;) {
        for (int i = 0; i < pollsPerLine; ++i) {
            waitMs(pollMs);
            if (stopRequested)
                return;
        }
        const tranProtocol *protocol = activeProtocol.load();
        if (!protocol)
            continue;
        const int p = percent(protocol->ymodem().progress, protocol->doneSteps, downloadFileCount);
        // Each line reaches the operator at once, not only at the end.
        Console::out() << "Download progress: " << p << "%."
                       << "\n";
        Console::flush();
    }
}
