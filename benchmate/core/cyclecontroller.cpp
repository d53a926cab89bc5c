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

bool CycleController::start(const testPara_t &para, const JudgeSetup &setup)
{
    if (m_state != Idle || setup.rows.size() != para.devices.size())
        return false;
    for (int k = 0; k < para.devices.size(); ++k) {
        const int slot = para.devices.at(k).slot;
        if (!m_values.progressOf(slot) || setup.rows.at(k).slot != slot)
            return false;
    }
    m_cycle.reset();
    m_para = para;
    m_setup = setup;
    // Each device reports through the byte of its own slot.
    m_para.values = &m_values;
    for (deviceInfo_t &device : m_para.devices) {
        device.progressPtr = m_values.progressOf(device.slot);
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

bool CycleController::start(const CycleRequest &request)
{
    return start(request.para, {request.limits, request.rows});
}

int CycleController::deviceFault(int index, QString *toolFailure) const
{
    return m_cycle ? m_cycle->deviceFault(index, toolFailure) : DUT_OK;
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
    QStringList pieces;
    outcome.cycleLog = m_cycle->getLog(&pieces);
    outcome.goldenLog = pieces.takeLast();
    // One log for each DUT whose worker started, in device order.
    for (int k = 0; k < pieces.size() && k < m_para.devices.size(); ++k)
        outcome.dutLogs.append({m_para.devices.at(k).slot, pieces.at(k)});
    outcome.logWritten = m_dailyLog.write(outcome.number, outcome.cycleLog);

    const int runState = m_cycle->getResult(&outcome.result);
    outcome.limits = m_setup.limits;
    outcome.judgement = ResultJudge::judge(m_setup.limits, runState, m_para.devices.size(),
                                           outcome.result, m_setup.rows);
    ResultJudge::carryCalVal(outcome.judgement, m_values);
    ResultJudge::count(outcome.judgement, &m_counters.passed, &m_counters.failed,
                       &m_counters.total);
    outcome.traces = m_cycle->getTraceability();
    outcome.goldenMac = m_cycle->goldenMac();
    outcome.record = m_recordBuilder.build(outcome);
    if (outcome.judgement.ended) {
        outcome.resultRows =
            ResultsCsv::rows(QDateTime::currentDateTime(), outcome.number, outcome.para,
                             outcome.traces, outcome.result, outcome.judgement);
        recordCycle(outcome);
    }
    if (m_autoTest == 1)
        m_mode = 1;

    m_outcome = outcome;
    m_state = Idle;
    emit cycleFinished(m_outcome);
}

bool CycleController::recordCycle(CycleOutcome &outcome)
{
    outcome.resultsWritten = m_resultsCsv.write(outcome.resultRows);
    outcome.recorded = m_results.recordCycle(outcome.record, &outcome.recordError);
    return outcome.resultsWritten && outcome.recorded;
}
