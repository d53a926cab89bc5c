#include "stationresults.h"

#include "resultsforwarder.h"

#include <QEventLoop>
#include <QTimer>

StationResults::StationResults(const StationSettings &settings, const QString &localPath,
                               QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_recorder(localPath)
{
    if (!m_settings.factory.enabled)
        return;
    m_forwarder = std::make_unique<ResultsForwarder>(localPath, m_settings.factory);
    m_forwarder->moveToThread(&m_thread);
    connect(m_forwarder.get(), &ResultsForwarder::statusChanged, this,
            &StationResults::forwardStatusChanged, Qt::QueuedConnection);
    m_thread.setObjectName(QStringLiteral("forwarder"));
    m_thread.start(QThread::LowPriority);
    QMetaObject::invokeMethod(m_forwarder.get(), &ResultsForwarder::start, Qt::QueuedConnection);
}

StationResults::~StationResults()
{
    if (!m_forwarder)
        return;
    m_forwarder->requestStop();
    // Waits for a batch under way (bounded by the connection's time-outs);
    // the connections go in the thread that made them.
    QMetaObject::invokeMethod(m_forwarder.get(), &ResultsForwarder::shutdown,
                              Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    // What the forwarder's thread wrote is seen here before it goes.
    if (!m_forwarder->isShutDown())
        qWarning("results forwarder: the thread ended without shutting down");
    m_forwarder.reset();
}

bool StationResults::recordCycle(const CycleRecord &record)
{
    const bool recorded = m_recorder.recordCycle(record);
    if (m_forwarder)
        QMetaObject::invokeMethod(m_forwarder.get(), &ResultsForwarder::poke, Qt::QueuedConnection);
    return recorded;
}

ForwardStatus StationResults::forwardStatus() const
{
    if (!m_forwarder)
        return ForwardStatus();
    return m_forwarder->status();
}

bool StationResults::waitForForwarding(int ms)
{
    if (!m_forwarder)
        return true;
    // An attempt that ends after this call has seen every cycle recorded
    // before it.
    const qint64 before = m_forwarder->status().attempts;
    QMetaObject::invokeMethod(m_forwarder.get(), &ResultsForwarder::poke, Qt::QueuedConnection);
    const auto settled = [this, before] {
        const ForwardStatus s = m_forwarder->status();
        return s.attempts > before &&
               ((s.state == ForwardStatus::UpToDate && s.waiting == 0) || s.isProblem());
    };
    if (!settled()) {
        QEventLoop loop;
        QTimer deadline;
        deadline.setSingleShot(true);
        connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
        connect(this, &StationResults::forwardStatusChanged, &loop, [&] {
            if (settled())
                loop.quit();
        });
        deadline.start(ms);
        loop.exec();
    }
    const ForwardStatus s = m_forwarder->status();
    return s.state == ForwardStatus::UpToDate && s.waiting == 0;
}
