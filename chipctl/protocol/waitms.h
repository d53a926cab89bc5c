#ifndef WAITMS_H
#define WAITMS_H

#include <functional>

// Waiting in Chipctl. No event loop ever runs on its own: received serial
// bytes (like every other Qt event) are delivered only inside these waits.
// Every wait is bounded by a monotonic deadline and blocks in the thread's
// event dispatcher, so a waiting Chipctl uses no CPU.

// Waits `ms` milliseconds while processing the calling thread's events.
void waitMs(int ms);

// Processes the calling thread's events, blocking until at least one has
// been handled or `ms` milliseconds have passed, whichever comes first.
// With `ms` 0 or less it only handles what is already pending.
void waitForEvent(int ms);

// Outcome of one look at an answer.
enum class AnswerState
{
    Pending,
    Accepted,
    Rejected,
    // Whole, but what it carries is not in its form (a bit flipped on the
    // line, a 0x00 in a value, a dump whose CRC does not match): it is not
    // taken, and the wait goes on to its end as if nothing had come.
    Malformed
};

// Waits for an answer: `rule` is evaluated at once, whenever events have been
// processed (so as soon as new bytes arrive) and at least every `intervalMs`,
// for `polls` intervals in all. Returns true when the rule accepted the
// answer, false when it rejected it or the time ran out (a malformed answer
// counts as none).
bool pollAnswer(unsigned polls, int intervalMs, const std::function<AnswerState()> &rule);

#endif // WAITMS_H
