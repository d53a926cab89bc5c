#include "stationresults.h"

#include "localresultsdb.h"
#include "resultsforwarder.h"

#include <QEventLoop>
#include <QTimer>

StationResults::StationResults(const StationSettings &settings, const QString &localPath,
                               QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_startProblem(LocalResultsDb::checkFile(localPath))
    , m_recorder(localPath)
{
    if (!m_settings.factory.enabled)
        return;
    m_thread = std::make_unique<QThread>();
    m_forwarder = std::make_unique<ResultsForwarder>(localPath, m_settings.factory);
    m_forwarder->moveToThread(m_thread.get());
    connect(m_forwarder.get(), &ResultsForwarder::statusChanged, this,
            &StationResults::forwardStatusChanged, Qt::QueuedConnection);
    m_thread->setObjectName(QStringLiteral("forwarder"));
    m_thread->start(QThread::LowPriority);
    QMetaObject::invokeMethod(m_forwarder.get(), &ResultsForwarder::start, Qt::QueuedConnection);
    m_watch = new QTimer(this);
    connect(m_watch, &QTimer::timeout, this, &StationResults::watchForwarder);
    m_watch->start(1000);
}

// A server that took the connection and then went silent (stopped, hung)
// would keep the forwarder's call waiting for good.
void StationResults::watchForwarder()
{
    if (m_forwarder->callWaitingMs() > ResultsForwarder::answerLimitMs)
        m_forwarder->breakStuckCall();
}

StationResults::~StationResults()
{
    if (!m_forwarder)
        return;
    m_forwarder->requestStop();
    // The connections go in the thread that made them; then the thread ends.
    QMetaObject::invokeMethod(m_forwarder.get(), &ResultsForwarder::shutdown, Qt::QueuedConnection);
    bool ended = m_thread->wait(handOverMs);
    if (!ended) {
        // A call the server does not answer: broken off, the thread ends.
        m_forwarder->breakStuckCall();
        ended = m_thread->wait(afterBreakMs);
    }
    if (!ended) {
        // Never seen: the program ends without the thread rather than hang
        // (destroying a running thread would abort it).
        qWarning("results forwarder: its thread did not end; left to the program's exit");
        static_cast<void>(m_forwarder.release());
        static_cast<void>(m_thread.release());
        return;
    }
    // What the forwarder's thread wrote is seen here before it goes.
    if (!m_forwarder->isShutDown())
        qWarning("results forwarder: the thread ended without shutting down");
    m_forwarder.reset();
}

bool StationResults::recordCycle(const CycleRecord &record, QString *error)
{
    const bool recorded = m_recorder.recordCycle(record, error);
    if (m_forwarder && recorded)
        m_forwarder->noteRecorded();
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
        m_waitLoop = &loop;
        loop.exec();
        m_waitLoop = nullptr;
    }
    const ForwardStatus s = m_forwarder->status();
    return s.state == ForwardStatus::UpToDate && s.waiting == 0;
}

void StationResults::stopWaiting()
{
    if (m_waitLoop)
        m_waitLoop->quit();
}
