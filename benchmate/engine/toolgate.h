#ifndef TOOLGATE_H
#define TOOLGATE_H

#include <QSemaphore>

#include <atomic>
#include <cstdint>

// Turns for the chip-tool runs whose finish wait is short. Every DUT worker
// runs its own Chipctl, and the workers of a cycle reach their short steps
// (the flash UID and the DUT MAC, 1000 ms each) nearly together, after the
// same downloads and the same settling pause. A Chipctl run needs some 20 ms
// of CPU just to start; 24 of them starting at once on a two-core PC share
// the cores with each other and with whatever else the PC runs (a build, a
// virus scan), and on a busy PC the last of them then needs most of its
// second before it has even opened its port. A run takes its turn before it
// starts, so that its bound measures its own work; the turns go round in
// about the time the 24 runs at once would take anyway.
class ToolGate
{
public:
    // A finish wait up to this is a short step.
    static constexpr int shortWait = 1000;
    static bool isShort(int finishWait) { return finishWait <= shortWait; }
    // Short runs at once: two per core, at least four.
    static int capacity();

    // A turn, handed back when it goes out of scope.
    class Turn
    {
    public:
        Turn() = default;
        Turn(Turn &&other) noexcept;
        Turn &operator=(Turn &&other) noexcept;
        Turn(const Turn &) = delete;
        Turn &operator=(const Turn &) = delete;
        ~Turn();
        bool held() const { return m_gate != nullptr; }

    private:
        friend class ToolGate;
        explicit Turn(QSemaphore *gate)
            : m_gate(gate)
        {}
        QSemaphore *m_gate = nullptr; // the process's gate, not owned
    };

    // Waits for a turn; with `stop` set meanwhile, returns at once without
    // one (looked at every 50 ms). The wait is bounded by the runs holding
    // the turns, each bounded by its own finish wait.
    static Turn take(const std::atomic<uint8_t> *stop);
};

#endif // TOOLGATE_H
