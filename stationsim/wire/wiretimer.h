#ifndef STATIONSIM_WIRETIMER_H
#define STATIONSIM_WIRETIMER_H

#include <QObject>
#include <QTimer>

class QSocketNotifier;

namespace stationsim {

// A single-shot timer with a resolution far below a millisecond, for the
// wire times of the simulated serial lines: at 1,000,000 baud a byte takes
// 10 µs, and a whole command 0.2 ms, which QTimer's milliseconds would round
// up to 1 ms at every turn of a command and its answer. On Linux it waits on
// a timerfd in the event loop; elsewhere it falls back to a precise QTimer.
// It never fires before its time.
class WireTimer : public QObject
{
    Q_OBJECT
public:
    explicit WireTimer(QObject *parent = nullptr);
    ~WireTimer() override;

    // Fires once, `ns` nanoseconds from now; at the next turn of the event
    // loop when `ns` is not above 0. Restarting replaces the previous time.
    void start(qint64 ns);
    void stop();
    // Armed and not yet fired: an idle link has no timer running.
    bool isActive() const { return armed; }

signals:
    void timeout();

private:
    void onNotifier();

    bool armed = false;
    int fd = -1;
    QSocketNotifier *notifier = nullptr; // child of this object
    QTimer fallback;
};

} // namespace stationsim

#endif // STATIONSIM_WIRETIMER_H
