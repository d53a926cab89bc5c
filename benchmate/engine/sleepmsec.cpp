#include "sleepmsec.h"

#include <QAbstractEventDispatcher>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

void sleepMsec(int ms)
{
    const QDeadlineTimer deadline(qMax(ms, 0), Qt::PreciseTimer);
    if (!QAbstractEventDispatcher::instance()) {
        // A thread without a dispatcher has no events to process.
        while (!deadline.hasExpired())
            QThread::msleep(quint32(qMax<qint64>(deadline.remainingTime(), 1)));
        return;
    }
    QEventLoop loop;
    loop.processEvents(QEventLoop::AllEvents);
    while (!deadline.hasExpired()) {
        // The timer guarantees the wake-up; any other event wakes the loop
        // earlier and is handled.
        QTimer wake;
        wake.setTimerType(Qt::PreciseTimer);
        wake.setSingleShot(true);
        wake.start(int(qMax<qint64>(deadline.remainingTime(), 0)));
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    }
}
