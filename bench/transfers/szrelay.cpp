#include "szrelay.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <utility>

SzRelay::SzRelay(QObject *parent)
    : QObject(parent)
{
    connect(&pty, &QSerialPort::readyRead, this, &SzRelay::fromChip);
    connect(&sz, &QProcess::readyReadStandardOutput, this, &SzRelay::fromSz);
    sz.setProcessChannelMode(QProcess::SeparateChannels);
    sz.setStandardErrorFile(QProcess::nullDevice());
}

SzRelay::~SzRelay()
{
    if (sz.state() != QProcess::NotRunning) {
        sz.kill();
        sz.waitForFinished(2000);
    }
}

bool SzRelay::openPty(const QString &path)
{
    pty.setPortName(path);
    pty.setBaudRate(115200);
    if (!pty.open(QIODevice::ReadWrite)) {
        error = QStringLiteral("cannot open %1: %2").arg(path, pty.errorString());
        return false;
    }
    return true;
}

void SzRelay::fromChip()
{
    const QByteArray data = pty.readAll();
    received += data.size();
    answered += awaiting && !data.isEmpty() ? 1 : 0;
    awaiting = awaiting && data.isEmpty();
    if (sz.state() == QProcess::Running)
        sz.write(data);
    else
        pending += data;
}

void SzRelay::fromSz()
{
    const QByteArray data = sz.readAllStandardOutput();
    sent += data.size();
    awaiting = awaiting || !data.isEmpty();
    pty.write(data);
}

bool SzRelay::send(const QByteArray &command, const QString &program, const QStringList &arguments,
                   const QString &workDir, int timeoutMs)
{
    sent = received = answered = 0;
    pending.clear();
    pty.readAll();
    pty.write(command);
    sent += command.size();
    awaiting = true;
    sz.setWorkingDirectory(workDir);
    sz.start(program, arguments);
    if (!sz.waitForStarted(5000)) {
        error = QStringLiteral("cannot start %1: %2").arg(program, sz.errorString());
        return false;
    }
    if (!pending.isEmpty())
        sz.write(std::exchange(pending, QByteArray()));

    QEventLoop loop;
    QTimer expiry;
    expiry.setSingleShot(true);
    connect(&expiry, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(&sz, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop,
            &QEventLoop::quit);
    expiry.start(timeoutMs);
    if (sz.state() != QProcess::NotRunning)
        loop.exec();
    if (sz.state() != QProcess::NotRunning) {
        error = QStringLiteral("sz did not finish within %1 ms").arg(timeoutMs);
        sz.kill();
        sz.waitForFinished(2000);
        return false;
    }
    // Whatever sz wrote last is still to be passed on.
    fromSz();
    pty.flush();
    if (sz.exitStatus() != QProcess::NormalExit || sz.exitCode() != 0) {
        error = QStringLiteral("sz exited with status %1").arg(sz.exitCode());
        return false;
    }
    return true;
}
