#include "waitms.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

namespace {

constexpr qint64 nsPerMs = 1000000;

// What is left of `deadline` in whole milliseconds, rounded up, so that a
// wait never ends before it; 0 once it has passed.
int msLeft(const QDeadlineTimer &deadline)
{
    const qint64 ns = deadline.remainingTimeNSecs();
    if (ns <= 0)
        return 0;
    return int(qMin<qint64>((ns + nsPerMs - 1) / nsPerMs, INT32_MAX));
}

} // namespace

void waitForEvent(int ms)
{
    QEventLoop loop;
    if (ms <= 0) {
        loop.processEvents(QEventLoop::AllEvents);
        return;
    }
    // The single-shot timer guarantees the wake-up; any other event ends
    // the wait sooner.
    QTimer wake;
    wake.setTimerType(Qt::PreciseTimer);
    wake.setSingleShot(true);
    wake.start(ms);
    loop.processEvents(QEventLoop::WaitForMoreEvents);
}

void waitMs(int ms)
{
    if (ms <= 0) {
        waitForEvent(0);
        return;
    }
    // The wake-up timer is armed afresh on every pass: one pass may end
    // before the deadline, on an unrelated event or on a timer that fires
    // early (on Windows precise timers have whole-millisecond granularity),
    // and the next must still wake up in time.
    const QDeadlineTimer deadline(ms, Qt::PreciseTimer);
    for (int left = msLeft(deadline); left > 0; left = msLeft(deadline))
        waitForEvent(left);
}

bool pollAnswer(unsigned polls, int intervalMs, const std::function<AnswerState()> &rule)
{
    const qint64 total = qint64(polls) * qint64(intervalMs);
    const QDeadlineTimer deadline(total, Qt::PreciseTimer);
    for (;;) {
        switch (rule()) {
        case AnswerState::Accepted:
            return true;
        case AnswerState::Rejected:
            return false;
        case AnswerState::Pending:
        case AnswerState::Malformed:
            break;
        }
        const int left = msLeft(deadline);
        if (left <= 0)
            return false;
        // Sleep until the next interval at the latest; any delivered event
        // (above all received bytes) ends the sleep early.
        waitForEvent(qMax(1, qMin(intervalMs, left)));
    }
}
