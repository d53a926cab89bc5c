#include "waitms.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

namespace {

// Blocks in the event dispatcher until some event has been handled or the
// deadline has passed. The single-shot timer guarantees the wake-up.
void processEventsUntil(const QDeadlineTimer &deadline)
{
    const qint64 left = deadline.remainingTime();
    if (left <= 0)
        return;
    QTimer wake;
    wake.setTimerType(Qt::PreciseTimer);
    wake.setSingleShot(true);
    wake.start(int(left));
    QEventLoop loop;
    loop.processEvents(QEventLoop::WaitForMoreEvents);
}

} // namespace

void waitMs(int ms)
{
    if (ms <= 0) {
        QEventLoop().processEvents(QEventLoop::AllEvents);
        return;
    }
    const QDeadlineTimer deadline(ms, Qt::PreciseTimer);
    QTimer wake;
    wake.setTimerType(Qt::PreciseTimer);
    wake.setSingleShot(true);
    wake.start(ms);
    QEventLoop loop;
    while (!deadline.hasExpired())
        loop.processEvents(QEventLoop::WaitForMoreEvents);
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
            break;
        }
        if (deadline.hasExpired())
            return false;
        // Sleep until the next interval at the latest; any delivered event
        // (above all received bytes) ends the sleep early.
        const qint64 step = qMin<qint64>(intervalMs, deadline.remainingTime());
        processEventsUntil(QDeadlineTimer(qMax<qint64>(step, 0), Qt::PreciseTimer));
    }
}
