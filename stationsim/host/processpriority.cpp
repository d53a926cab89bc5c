#include "host/processpriority.h"

#include <sched.h>
#include <sys/resource.h>

#include <cerrno>

namespace stationsim {

namespace {

constexpr int highestNice = -20;

int currentNice()
{
    errno = 0;
    const int value = ::getpriority(PRIO_PROCESS, 0);
    return errno == 0 ? value : 0;
}

bool realTime()
{
    sched_param param{};
    param.sched_priority = ::sched_get_priority_min(SCHED_FIFO);
    // Threads started later inherit the class; a child process would not.
    return param.sched_priority >= 0 &&
           ::sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &param) == 0;
}

// The lowest nice value this process may take: -20 with the capability,
// else what RLIMIT_NICE allows (its limit is 20 - nice).
bool raiseNice()
{
    const int start = currentNice();
    if (::setpriority(PRIO_PROCESS, 0, highestNice) == 0)
        return true;
    rlimit limit{};
    if (::getrlimit(RLIMIT_NICE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return false;
    const int allowed = 20 - int(limit.rlim_cur);
    return allowed < start && ::setpriority(PRIO_PROCESS, 0, allowed) == 0;
}

} // namespace

ProcessPriority::Outcome ProcessPriority::raise()
{
    Outcome outcome;
    if (realTime())
        outcome.level = Level::RealTime;
    else if (raiseNice())
        outcome.level = Level::Raised;
    outcome.nice = currentNice();
    return outcome;
}

QString ProcessPriority::describe(const Outcome &outcome)
{
    switch (outcome.level) {
    case Level::RealTime:
        return QStringLiteral("real-time (SCHED_FIFO %1)")
            .arg(::sched_get_priority_min(SCHED_FIFO));
    case Level::Raised:
        return QStringLiteral("nice %1").arg(outcome.nice);
    case Level::Unchanged:
        break;
    }
    return QStringLiteral("unchanged (nice %1: not permitted to raise it)").arg(outcome.nice);
}

} // namespace stationsim
