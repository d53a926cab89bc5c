#ifndef STATIONSIM_PROCESSPRIORITY_H
#define STATIONSIM_PROCESSPRIORITY_H

#include <QString>

namespace stationsim {

// How the simulator's process is scheduled beside the station it serves. A
// real chip keeps its own time whatever the PC does; the simulator's 25
// chips share one thread of the PC, and on a busy PC (a build beside the
// station, a CPU hog on every core) that thread would wait its turn behind
// everything else, and every answer would leave late. raise() lifts the
// process above ordinary work where the system permits it:
// - a real-time class (SCHED_FIFO at its lowest priority) for root, or a
//   user whose RLIMIT_RTPRIO allows it: the simulator runs the moment a
//   chip's time comes. It mostly sleeps on its timers and sockets, and the
//   kernel keeps a share of every second for ordinary processes anyway;
// - else the highest ordinary priority RLIMIT_NICE allows;
// - else it stays as it is (an ordinary user cannot raise a process), and
//   the chips keep time from their deadlines alone (docs/simulator.md).
class ProcessPriority
{
public:
    enum class Level
    {
        RealTime,
        Raised,
        Unchanged
    };
    struct Outcome
    {
        Level level = Level::Unchanged;
        int nice = 0; // the nice value the process ends with
    };

    static Outcome raise();
    // "real-time (SCHED_FIFO 1)", "nice -20", "unchanged (nice 0: not permitted)".
    static QString describe(const Outcome &outcome);
};

} // namespace stationsim

#endif // STATIONSIM_PROCESSPRIORITY_H
