#ifndef SLEEPMSEC_H
#define SLEEPMSEC_H

// Waits `ms` milliseconds on the monotonic clock while the calling thread's
// pending Qt events are processed. The thread blocks in its event dispatcher
// (or sleeps, when it has none) instead of spinning, and the wait never ends
// early, whatever the time of day does.
void sleepMsec(int ms);

#endif // SLEEPMSEC_H
