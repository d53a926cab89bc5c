#include "cyclecontroller.h"

#include "testthread.h"

#include <QTimer>

CycleController::CycleController(QObject *parent)
    : QObject(parent)
    , m_poll(new QTimer(this))
    , m_results(StationSettings::load())
    , m_recordBuilder(m_results.stationId())
{
    m_poll->setObjectName(QStringLiteral("pollTimer"));
    connect(m_poll, &QTimer::timeout, this, &CycleController::poll);
}

CycleController::~CycleController()
{
    stopAndWait();
}

void CycleController::setJudgeSetupSource(JudgeSetupSource source)
{
    m_judgeSetupSource = std::move(source);
}

bool CycleController::start(const testPara_t &para)
{
    if (m_state != Idle)
        return false;
    m_cycle.reset();
    m_para = para;
    for (const deviceInfo_t &device : qAsConst(m_para.devices)) {
        if (device.progressPtr)
            device.progressPtr->store(0);
    }

    m_cycle = std::make_unique<testThread>(m_para, m_mode);
    // The thread's end is seen at once, not only at the next look. A late
    // signal of an earlier cycle only makes poll() look again.
    connect(m_cycle.get(), &QThread::finished, this, &CycleController::poll);
    m_startedAt = QDateTime::currentDateTime();
    m_clock.start();
    m_cycle->start(QThread::InheritPriority);
    m_state = Running;
    m_poll->start(pollIntervalMs);
    return true;
}

void CycleController::stop()
{
    if (m_state != Running)
        return;
    m_state = Stopping;
    m_cycle->requestStop();
    // Each tick only looks whether the cycle thread has ended.
    m_poll->start(stopCheckMs);
}

void CycleController::stopAndWait()
{
    if (m_cycle) {
        m_cycle->stop();
        m_cycle->wait();
    }
    m_poll->stop();
    m_state = Idle;
}

void CycleController::poll()
{
    if (!m_cycle)
        return;
    switch (m_state) {
    case Idle:
        return;
    case Running:
        if (m_cycle->isRunning()) {
            emit progressChanged();
            return;
        }
        finishCycle();
        return;
    case Stopping:
        if (m_cycle->isRunning())
            return;
        m_poll->stop();
        m_cycle->wait();
        m_state = Idle;
        emit stopped();
        return;
    }
}

void CycleController::finishCycle()
{
    m_poll->stop();
    m_cycle->wait();

    CycleOutcome outcome;
    outcome.startedAt = m_startedAt;
    outcome.endedAt = QDateTime::currentDateTime();
    outcome.elapsedMs = m_clock.elapsed();
    outcome.para = m_para;
    outcome.number = m_counters.total;
    outcome.cycleLog = m_cycle->getLog();
    outcome.logWritten = m_dailyLog.write(outcome.number, outcome.cycleLog);

    const int runState = m_cycle->getResult(&outcome.result);
    const JudgeSetup setup = m_judgeSetupSource ? m_judgeSetupSource() : JudgeSetup();
    outcome.limits = setup.limits;
    outcome.judgement = ResultJudge::judge(setup.limits, runState, m_para.devices.size(),
                                           outcome.result, setup.rows);
    ResultJudge::carryCalVal(outcome.judgement);
    ResultJudge::count(outcome.judgement, &m_counters.passed, &m_counters.failed,
                       &m_counters.total);
    outcome.traces = m_cycle->getTraceability();
    outcome.goldenMac = m_cycle->goldenMac();
    if (outcome.judgement.ended)
        recordCycle(outcome);
    if (m_autoTest == 1)
        m_mode = 1;

    m_outcome = outcome;
    m_state = Idle;
    emit cycleFinished(m_outcome);
}

bool CycleController::recordCycle(CycleOutcome &outcome)
{
    outcome.resultsWritten = m_resultsCsv.write(
        ResultsCsv::rows(QDateTime::currentDateTime(), outcome.number, outcome.para, outcome.traces,
                         outcome.result, outcome.judgement));
    outcome.recorded = m_results.recordCycle(m_recordBuilder.build(outcome));
    return outcome.resultsWritten && outcome.recorded;
}
