#include "wire/wiretimer.h"

#include <QSocketNotifier>

#ifdef Q_OS_LINUX
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#endif

namespace stationsim {

WireTimer::WireTimer(QObject *parent)
    : QObject(parent)
{
    fallback.setSingleShot(true);
    fallback.setTimerType(Qt::PreciseTimer);
    connect(&fallback, &QTimer::timeout, this, [this] {
        armed = false;
        emit timeout();
    });
#ifdef Q_OS_LINUX
    fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd >= 0) {
        notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, &WireTimer::onNotifier);
    }
#endif
}

WireTimer::~WireTimer()
{
#ifdef Q_OS_LINUX
    if (fd >= 0) {
        delete notifier;
        ::close(fd);
    }
#endif
}

void WireTimer::start(qint64 ns)
{
    armed = true;
#ifdef Q_OS_LINUX
    if (fd >= 0) {
        // A zero it_value would disarm the timer: 1 ns means "at once".
        const qint64 wait = ns > 0 ? ns : 1;
        itimerspec when{};
        when.it_value.tv_sec = time_t(wait / 1'000'000'000);
        when.it_value.tv_nsec = long(wait % 1'000'000'000);
        if (::timerfd_settime(fd, 0, &when, nullptr) == 0)
            return;
    }
#endif
    fallback.start(ns <= 0 ? 0 : int((ns + 999'999) / 1'000'000));
}

void WireTimer::stop()
{
    armed = false;
    fallback.stop();
#ifdef Q_OS_LINUX
    if (fd >= 0) {
        const itimerspec off{};
        ::timerfd_settime(fd, 0, &off, nullptr);
        // An expiry not yet read must not fire after the stop.
        uint64_t expiries = 0;
        while (::read(fd, &expiries, sizeof expiries) < 0 && errno == EINTR) {
        }
    }
#endif
}

void WireTimer::onNotifier()
{
#ifdef Q_OS_LINUX
    uint64_t expiries = 0;
    ssize_t n = 0;
    do {
        n = ::read(fd, &expiries, sizeof expiries);
    } while (n < 0 && errno == EINTR);
    // Nothing to read: the timer was re-armed or stopped after it expired.
    if (n != ssize_t(sizeof expiries))
        return;
    armed = false;
    emit timeout();
#endif
}

} // namespace stationsim
