#include "answerwait.h"

#include "wiretrace.h"

#include <QDeadlineTimer>
#include <QThread>

namespace {

constexpr qint64 nsPerMs = 1000000;

// Whether a thread can sleep for less than a millisecond. Windows sleeps in
// whole milliseconds at best: there the settling waits for the timer.
#ifdef Q_OS_WIN
constexpr bool fineSleep = false;
#else
constexpr bool fineSleep = true;
#endif
// The shortest such sleep: while bytes stream in at a high rate the answer is
// looked at no more often than this.
constexpr qint64 shortestSleepNs = 200000;

bool verdict(const char *name, const char *outcome, bool result)
{
    if (WireTrace *trace = WireTrace::active())
        trace->verdict(name, outcome);
    return result;
}

int msLeft(const QDeadlineTimer &deadline)
{
    const qint64 ns = deadline.remainingTimeNSecs();
    return ns <= 0 ? 0 : int(qMin<qint64>((ns + nsPerMs - 1) / nsPerMs, INT32_MAX));
}

} // namespace

bool awaitAnswer(const AnswerBuffer &buffer, unsigned polls, int intervalMs, const char *name,
                 const AnswerRule &rule)
{
    const int interval = qMax(1, intervalMs);
    const QDeadlineTimer deadline(qint64(polls) * interval, Qt::PreciseTimer);
    // A window is `polls` intervals of wall time and also `polls` looks at
    // what arrived, each after a wait: a process that a busy PC left without
    // the CPU for part of its window has not watched the line for all of
    // it, and takes its missing looks before it calls the chip silent. And
    // an answer still coming in when the window ends is judged once it has
    // settled (within one more interval), not thrown away.
    unsigned looks = 0;
    QDeadlineTimer settleBy(QDeadlineTimer::Forever);
    // The size of the answer last found malformed: the trace says so once
    // for each answer as it stands, not at every look.
    int malformedAt = -1;
    for (;;) {
        const Answer answer = buffer.look();
        ++looks;
        if (buffer.overflowed()) {
            if (answer.complete)
                return verdict(name, "refused (too long)", false);
        } else if (answer.quiet) {
            switch (rule(answer)) {
            case AnswerState::Accepted:
                return verdict(name, "accepted", true);
            case AnswerState::Rejected:
                return verdict(name, "refused", false);
            case AnswerState::Malformed:
                if (answer.bytes.size() != malformedAt) {
                    malformedAt = answer.bytes.size();
                    verdict(name, "malformed", false);
                }
                break;
            case AnswerState::Pending:
                break;
            }
        }
        if (buffer.linkLost())
            return verdict(name, "link lost", false);
        const int left = msLeft(deadline);
        if (left <= 0 && looks > polls) {
            // An answer still coming in gets one more interval to settle.
            const bool arriving = !answer.quiet && !answer.bytes.isEmpty() && !buffer.overflowed();
            if (arriving && settleBy.isForever())
                settleBy = QDeadlineTimer(interval, Qt::PreciseTimer);
            if (!arriving || settleBy.hasExpired()) {
                // The rule's last look: a rule that takes an answer as it
                // stands once its bound has come says so now.
                Answer final = buffer.look();
                final.last = true;
                if (!buffer.overflowed() && rule(final) == AnswerState::Accepted)
                    return verdict(name, "accepted at its bound", true);
                return verdict(name, "timed out", false);
            }
        }
        // Until the next interval, the moment the answer goes quiet or its
        // pause grows long, or the deadline, whichever comes first; a
        // delivered event (above all received bytes) ends the sleep sooner.
        const qint64 change = buffer.nsUntilChange();
        if (fineSleep && change >= 0 && change < nsPerMs) {
            // A few byte times, shorter than any timer: slept without
            // events, and whatever arrived meanwhile is taken right after
            // (it makes the answer busy again).
            QThread::usleep(ulong((qMax(change, shortestSleepNs) + 999) / 1000));
            waitForEvent(0);
            continue;
        }
        // Past the deadline a missing look still waits a whole interval.
        int sleep = left > 0 ? qMin(interval, left) : interval;
        if (change > 0)
            sleep = qMin<qint64>(sleep, (change + nsPerMs - 1) / nsPerMs);
        waitForEvent(sleep);
    }
}
