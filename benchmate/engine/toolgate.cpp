#include "toolgate.h"

#include <QThread>

namespace {

constexpr int runsPerCore = 2;
constexpr int leastRuns = 4;
constexpr int stopPoll = 50;

QSemaphore &gate()
{
    static QSemaphore turns(ToolGate::capacity());
    return turns;
}

} // namespace

int ToolGate::capacity()
{
    return qMax(leastRuns, runsPerCore * QThread::idealThreadCount());
}

ToolGate::Turn::Turn(Turn &&other) noexcept
    : m_gate(other.m_gate)
{
    other.m_gate = nullptr;
}

ToolGate::Turn &ToolGate::Turn::operator=(Turn &&other) noexcept
{
    if (this != &other) {
        if (m_gate)
            m_gate->release();
        m_gate = other.m_gate;
        other.m_gate = nullptr;
    }
    return *this;
}

ToolGate::Turn::~Turn()
{
    if (m_gate)
        m_gate->release();
}

ToolGate::Turn ToolGate::take(const std::atomic<uint8_t> *stop)
{
    QSemaphore &turns = gate();
    for (;;) {
        if (stop && stop->load() != 0)
            return Turn();
        if (turns.tryAcquire(1, stop ? stopPoll : -1))
            return Turn(&turns);
    }
}
