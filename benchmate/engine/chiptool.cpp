#include "chiptool.h"

#include "logrecord.h"
#include "toolcommand.h"
#include "toolgate.h"
#include "tooloutput.h"

#include <QDeadlineTimer>

namespace {

// How long a killed tool may take to be reaped.
constexpr int reapWait = 5000;
// "version" opens no port.
constexpr int versionWait = 3000;
// How often a running step with a stop flag looks at it, ms.
constexpr int stopPoll = 50;

} // namespace

chipTool::chipTool()
{
    // The tool reads nothing and what it says on standard error (warnings
    // about its files) is not looked at: neither gets a pipe, which saves
    // every run two pipes and their notifiers in the engine.
    m_process.setStandardInputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(QProcess::nullDevice());
}

chipTool::~chipTool()
{
    reap();
}

QString chipTool::toolPath()
{
#ifdef Q_OS_WIN
    return QStringLiteral("./config/CHIPCTL/Chipctl.exe");
#else
    return QStringLiteral("./config/CHIPCTL/Chipctl");
#endif
}

QString chipTool::toolVersion()
{
    chipTool tool;
    if (!tool.run(ToolCommand::toolVersion(), versionWait))
        return QString();
    for (const QString &line : tool.output().split(QLatin1Char('\n'))) {
        const QString text = line.trimmed();
        if (!text.isEmpty() && !text.startsWith(QLatin1String("Ok.")))
            return text;
    }
    return QString();
}

QString chipTool::logCommandLine(const QStringList &args)
{
    return QStringLiteral("cmd.exe ./config/CHIPCTL/Chipctl.exe ") + args.join(QLatin1Char(' '));
}

void chipTool::reap()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(reapWait);
}

void chipTool::waitForEnd(int finishWait)
{
    if (!m_stop) {
        if (m_process.state() != QProcess::NotRunning)
            m_process.waitForFinished(qMax(finishWait, 0));
        return;
    }
    const QDeadlineTimer deadline(qMax(finishWait, 0));
    while (m_process.state() != QProcess::NotRunning && !stopped()) {
        const qint64 left = deadline.remainingTime();
        if (left == 0)
            return;
        m_process.waitForFinished(int(qMin<qint64>(left, stopPoll)));
    }
}

bool chipTool::run(const QStringList &args, int finishWait)
{
    reap();
    // A short step waits for its turn before it starts (ToolGate).
    ToolGate::Turn turn;
    if (ToolGate::isShort(finishWait))
        turn = ToolGate::take(m_stop);
    if (stopped()) {
        m_output.clear();
        return false;
    }
    m_process.start(toolPath(), args, QIODevice::ReadOnly);
    // Neither wait's outcome decides anything: a tool that is slow to start
    // on a busy station still has the whole finish wait, and is judged by
    // its output alone.
    m_process.waitForStarted(startWait);
    waitForEnd(finishWait);
    // Whatever it printed before a kill is still in the pipe and read here.
    reap();
    m_output = toolOutput::decode(m_process.readAllStandardOutput());
    return toolOutput::isOk(m_output);
}

bool chipTool::runTool(const QStringList &args, int finishWait, logRecord *log)
{
    const bool ok = run(args, finishWait);
    if (log) {
        log->debug(logCommandLine(args));
        log->debug(m_output);
    }
    return ok;
}
