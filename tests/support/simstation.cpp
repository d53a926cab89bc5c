#include "simstation.h"

#include <QDeadlineTimer>
#include <QUrl>

SimStation::SimStation(const QString &program, QObject *parent)
    : QObject(parent)
    , binary(program.isEmpty() ? defaultProgram() : program)
{
    proc.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

SimStation::~SimStation()
{
    stop();
}

QString SimStation::defaultProgram()
{
    const QString fromEnvironment = qEnvironmentVariable("STATIONSIM_BIN");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
#ifdef STATIONSIM_BIN
    return QStringLiteral(STATIONSIM_BIN);
#else
    return QStringLiteral("stationsim");
#endif
}

bool SimStation::start(QStringList extraArgs)
{
    stop();
    error.clear();
    urls.clear();
    order.clear();
    ready.clear();
    state.clear();
    if (!extraArgs.contains(QStringLiteral("--base-port")))
        extraArgs << QStringLiteral("--base-port") << QStringLiteral("0");
    // A suite run once per delivery model names the model in the environment.
    const QString delivery = qEnvironmentVariable("STATIONSIM_DELIVERY");
    if (!delivery.isEmpty() && !extraArgs.contains(QStringLiteral("--delivery")))
        extraArgs << QStringLiteral("--delivery") << delivery;
    // And a suite run once more against slow chips names their pace.
    const QString pace = qEnvironmentVariable("STATIONSIM_CHIP_PACE");
    if (!pace.isEmpty() && !extraArgs.contains(QStringLiteral("--chip-pace")))
        extraArgs << QStringLiteral("--chip-pace") << pace;
    const int stateAt = extraArgs.indexOf(QStringLiteral("--state-dir"));
    if (stateAt >= 0 && stateAt + 1 < extraArgs.size()) {
        state = extraArgs.at(stateAt + 1);
    } else {
        tempState = std::make_unique<QTemporaryDir>();
        if (!tempState->isValid()) {
            error = QStringLiteral("cannot create a temporary state directory");
            return false;
        }
        state = tempState->path();
        extraArgs << QStringLiteral("--state-dir") << state;
    }

    proc.start(binary, extraArgs);
    if (!proc.waitForStarted(5000)) {
        error = QStringLiteral("cannot start %1: %2").arg(binary, proc.errorString());
        return false;
    }
    QDeadlineTimer deadline(10000);
    while (!proc.canReadLine()) {
        if (proc.state() != QProcess::Running || deadline.hasExpired() ||
            !proc.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))) {
            if (proc.canReadLine())
                break;
            error = proc.state() == QProcess::Running
                        ? QStringLiteral("no ready line from stationsim within 10 s")
                        : QStringLiteral("stationsim ended with status %1 before it was ready")
                              .arg(proc.exitCode());
            stop();
            return false;
        }
    }
    ready = QString::fromUtf8(proc.readLine()).trimmed();
    const QStringList words = ready.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.value(0) != QLatin1String("ready")) {
        error = QStringLiteral("unexpected first line from stationsim: %1").arg(ready);
        stop();
        return false;
    }
    for (int i = 1; i < words.size(); ++i) {
        const int eq = words.at(i).indexOf(QLatin1Char('='));
        if (eq <= 0) {
            error = QStringLiteral("malformed ready line: %1").arg(ready);
            stop();
            return false;
        }
        const QString name = words.at(i).left(eq);
        urls.insert(name, words.at(i).mid(eq + 1));
        order.append(name);
    }
    return true;
}

void SimStation::stop()
{
    if (proc.state() != QProcess::NotRunning) {
        proc.terminate();
        if (!proc.waitForFinished(3000)) {
            proc.kill();
            proc.waitForFinished(3000);
        }
    }
}

bool SimStation::isRunning() const
{
    return proc.state() == QProcess::Running;
}

QString SimStation::url(const QString &name) const
{
    return urls.value(name);
}

quint16 SimStation::port(const QString &name) const
{
    const QUrl parsed(urls.value(name));
    return parsed.isValid() ? quint16(parsed.port(0)) : 0;
}
