#include "faultstation.h"

#include "stationsetup.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

namespace {

QString chipctlProgram()
{
    const QString fromEnvironment = qEnvironmentVariable("CHIPCTL_BIN");
    return fromEnvironment.isEmpty() ? QStringLiteral(CHIPCTL_PATH) : fromEnvironment;
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size();
}

} // namespace

FaultStation::~FaultStation()
{
    if (!m_previous.isEmpty())
        QDir::setCurrent(m_previous);
    waitForTools(15000);
    m_sim.stop();
}

bool FaultStation::fail(const QString &text)
{
    m_error = text;
    return false;
}

bool FaultStation::prepare(const QByteArray &scenario, const QString &hangChip,
                           const QString &hangCommand)
{
    if (!m_dir.isValid())
        return fail(QStringLiteral("no temporary directory"));
    const QString toolDir = m_dir.filePath(QStringLiteral("config/CHIPCTL"));
    const QString ramcode = toolDir + QStringLiteral("/Config/TK716A_RAM_BIN.bin");
    const QString binary = toolDir + QStringLiteral("/Chipctl.bin");
    const QFile::Permissions exe = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    if (!QDir().mkpath(toolDir + QStringLiteral("/Config")) ||
        !QDir().mkpath(m_dir.filePath(QStringLiteral("log"))) ||
        !QFile::copy(chipctlProgram(), binary) || !QFile::setPermissions(binary, exe) ||
        !QFile::copy(QStringLiteral(RAMCODE_PATH), ramcode))
        return fail(QStringLiteral("cannot set up the station directory"));
    const QString scenarioFile = m_dir.filePath(QStringLiteral("scenario.json"));
    if (!writeFile(scenarioFile, scenario))
        return fail(QStringLiteral("cannot write the scenario"));
    if (!m_sim.start({QStringLiteral("--scenario"), scenarioFile,
                      QStringLiteral("--write-device-config"),
                      m_dir.filePath(QStringLiteral("config/device_config.csv")),
                      QStringLiteral("--firmware-path"), ramcode}))
        return fail(m_sim.errorText());

    QByteArray wrapper = "#!/bin/sh\n";
    if (!hangChip.isEmpty()) {
        const QByteArray port = m_sim.url(hangChip).toUtf8();
        if (port.isEmpty())
            return fail(QStringLiteral("no chip ") + hangChip);
        wrapper += "if [ \"$1\" = '" + port + "' ] && [ \"$2\" = '" + hangCommand.toUtf8() +
                   "' ]; then\n    echo $$ > \"$(dirname \"$0\")/hung.pid\"\n"
                   "    exec sleep 600\nfi\n";
    }
    wrapper += "exec \"$(dirname \"$0\")/Chipctl.bin\" \"$@\"\n";
    const QString script = toolDir + QStringLiteral("/Chipctl");
    if (!writeFile(script, wrapper) || !QFile::setPermissions(script, exe))
        return fail(QStringLiteral("cannot write the chip tool's script"));
    m_previous = QDir::currentPath();
    return QDir::setCurrent(m_dir.path()) || fail(QStringLiteral("cannot change directory"));
}

void FaultStation::startBenchrun(QProcess &run, int cycles) const
{
    run.setProgram(QStringLiteral(BENCHRUN_PATH));
    run.setArguments({QStringLiteral("--cycles"), QString::number(cycles)});
    run.setWorkingDirectory(m_dir.path());
    run.start();
}

bool FaultStation::runBenchrun(int cycles, int limitMs, int *exitCode, QString *output) const
{
    QProcess run;
    run.setProcessChannelMode(QProcess::MergedChannels);
    startBenchrun(run, cycles);
    if (!run.waitForStarted(5000))
        return false;
    run.closeWriteChannel();
    const bool ended = run.waitForFinished(limitMs);
    if (!ended) {
        run.kill();
        run.waitForFinished(5000);
    }
    *output = QString::fromUtf8(run.readAll());
    *exitCode = run.exitStatus() == QProcess::NormalExit ? run.exitCode() : -1;
    return ended;
}

QList<qint64> FaultStation::runningTools() const
{
    // A tool is this station's when it runs the station's own copy.
    const QString binary =
        QDir(m_dir.path()).filePath(QStringLiteral("config/CHIPCTL/Chipctl.bin"));
    QList<qint64> pids;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number)
            continue;
        const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid));
        if (exe == binary)
            pids.append(pid);
    }
    return pids;
}

bool FaultStation::waitForTools(int ms) const
{
    const QDeadlineTimer deadline(ms);
    while (!runningTools().isEmpty()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(100);
    }
    return true;
}

QString FaultStation::lastDutLog(int slot)
{
    const QString log = QString::fromUtf8(todaysLog());
    const int start = log.lastIndexOf(QStringLiteral("Device DUT%1: Start test").arg(slot));
    if (start < 0)
        return QString();
    const int end = log.indexOf(QStringLiteral("\r\n\r\n"), start);
    return log.mid(start, end < 0 ? -1 : end - start);
}
