#include "chipctlrun.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <memory>
#include <vector>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

ChipctlCopy::ChipctlCopy()
{
    program = tmp.path() + QStringLiteral("/Chipctl");
    valid = tmp.isValid() && QFile::copy(QStringLiteral(CHIPCTL_BIN), program) &&
            QDir().mkpath(configDir());
    // The ramcode image beside the station's program, when the build made one.
    const QString image = QStringLiteral(CHIPCTL_CONFIG_DIR "/TK716A_RAM_BIN.bin");
    if (QFile::exists(image))
        QFile::copy(image, configDir() + QStringLiteral("/TK716A_RAM_BIN.bin"));
}

ChipctlResult ChipctlCopy::run(const QStringList &args, PtyChip *chip, int timeoutMs)
{
    ChipctlResult r;
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(5000))
        return r;
    const QDeadlineTimer deadline(timeoutMs);
    // With a chip to serve the loop wakes every few milliseconds; without
    // one it only waits for the end.
    const int slice = chip ? 2 : 100;
    while (!p.waitForFinished(slice)) {
        if (chip)
            chip->serve();
        if (p.state() == QProcess::NotRunning)
            break;
        if (deadline.hasExpired()) {
            p.kill();
            p.waitForFinished(5000);
            break;
        }
    }
    if (chip) {
        chip->serve();
        r.sentToChip = chip->received;
    }
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return r;
}

QList<ChipctlResult> ChipctlCopy::runTogether(const QList<QStringList> &runs,
                                              const QList<PtyChip *> &chips, int timeoutMs)
{
    std::vector<std::unique_ptr<QProcess>> processes;
    for (const QStringList &args : runs) {
        processes.push_back(std::make_unique<QProcess>());
        processes.back()->start(program, args);
    }
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        bool running = false;
        for (size_t i = 0; i < processes.size(); ++i) {
            chips.at(int(i))->serve();
            if (processes[i]->state() != QProcess::NotRunning)
                running = !processes[i]->waitForFinished(1) || running;
        }
        if (!running || deadline.hasExpired())
            break;
    }
    QList<ChipctlResult> results;
    for (size_t i = 0; i < processes.size(); ++i) {
        QProcess &p = *processes[i];
        if (p.state() != QProcess::NotRunning) {
            p.kill();
            p.waitForFinished(5000);
        }
        PtyChip *chip = chips.at(int(i));
        chip->serve();
        ChipctlResult r;
        r.sentToChip = chip->received;
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        results.append(r);
    }
    return results;
}

PtyChip::PtyChip()
{
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        master = slave = -1;
        return;
    }
    termios tio{};
    tcgetattr(master, &tio);
    cfmakeraw(&tio);
    tcsetattr(master, TCSANOW, &tio);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    // Not inherited by the program under test: closing the master here must
    // close the pseudo-terminal.
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    slavePath = QString::fromLocal8Bit(name);
}

PtyChip::~PtyChip()
{
    if (slave >= 0)
        ::close(slave);
    if (master >= 0)
        ::close(master);
}

void PtyChip::serve()
{
    if (master < 0)
        return;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(master, buf, sizeof buf)) > 0) {
        received.append(buf, int(n));
        pending.append(buf, int(n));
    }
    int end;
    while ((end = pending.indexOf("\r\n")) >= 0) {
        const QByteArray line = pending.left(end + 2);
        pending.remove(0, end + 2);
        lines.append(line);
        if (pacedResponder) {
            sendPaced(pacedResponder(line));
        } else if (responder) {
            const QByteArray reply = responder(line);
            if (!reply.isEmpty() && ::write(master, reply.constData(), size_t(reply.size())) < 0)
                qWarning("pty write failed");
        }
        if (hangUpRequested) {
            ::close(master);
            master = -1;
            return;
        }
    }
}

void PtyChip::setPacedResponder(PacedResponder r, int byteUs, int pauseMs)
{
    pacedResponder = std::move(r);
    this->byteUs = byteUs;
    this->pauseMs = pauseMs;
}

// Each byte leaves at its own time on the monotonic clock, so the pace holds
// on average even when a sleep ends late.
void PtyChip::sendPaced(const QList<QByteArray> &pieces)
{
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    auto advance = [&next](long ns) {
        next.tv_nsec += ns;
        next.tv_sec += next.tv_nsec / 1000000000L;
        next.tv_nsec %= 1000000000L;
    };
    for (int p = 0; p < pieces.size(); ++p) {
        if (p > 0)
            advance(long(pauseMs) * 1000000L);
        for (const char c : pieces.at(p)) {
            clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
            if (::write(master, &c, 1) != 1)
                qWarning("pty write failed");
            advance(long(byteUs) * 1000L);
        }
    }
}
