#include "host/simhost.h"

#include "chip/simchip.h"
#include "host/ptyport.h"
#include "host/rfc2217port.h"
#include "wire/wiretrace.h"

#include <QDir>
#include <QRandomGenerator>

namespace stationsim {

SimHost::SimHost(const StationSetup &setup, const Paths &paths, QObject *parent)
    : QObject(parent)
    , setup(setup)
    , paths(paths)
{
    clock.start();
    for (const ChipSetup &chipSetup : setup.chips)
        chips.push_back(std::make_unique<SimChip>(chipSetup, setup.seed, &air));
}

SimHost::~SimHost()
{
    stop();
}

SimChip *SimHost::chip(int slot) const
{
    return slot >= 0 && size_t(slot) < chips.size() ? chips[size_t(slot)].get() : nullptr;
}

bool SimHost::start(QString *error)
{
    if (!openStorage(error) || !bindPorts(error) || !openPtys(error) || !openTraces(error)) {
        stop();
        return false;
    }
    for (const auto &c : chips)
        c->powerOn();
    return true;
}

void SimHost::stop()
{
    traces.clear();
    ptys.clear();
    closePorts();
}

void SimHost::closePorts()
{
    ports.clear();
}

bool SimHost::openStorage(QString *error)
{
    if (paths.stateDir.isEmpty()) {
        tempState = std::make_unique<QTemporaryDir>(QDir::tempPath() +
                                                    QStringLiteral("/stationsim-state-XXXXXX"));
        if (!tempState->isValid()) {
            *error = QStringLiteral("cannot create a temporary state directory: %1")
                         .arg(tempState->errorString());
            return false;
        }
        stateDirectory = tempState->path();
    } else {
        stateDirectory = QDir(paths.stateDir).absolutePath();
        if (!QDir().mkpath(stateDirectory)) {
            *error = QStringLiteral("cannot create the state directory %1").arg(stateDirectory);
            return false;
        }
    }
    for (const auto &c : chips) {
        if (!c->open(stateDirectory, error))
            return false;
    }
    return true;
}

bool SimHost::bindRange(int base, QString *error)
{
    closePorts();
    for (const auto &c : chips) {
        const int port = base + c->setup().slot;
        auto server = std::make_unique<Rfc2217Port>(c.get());
        QString why;
        if (!server->listen(quint16(port), &why)) {
            *error =
                QStringLiteral("port %1 (%2) cannot be used: %3").arg(port).arg(c->name(), why);
            closePorts();
            return false;
        }
        ports.push_back(std::move(server));
    }
    return true;
}

bool SimHost::bindPorts(QString *error)
{
    const int count = int(chips.size());
    if (setup.basePort != 0) {
        if (setup.basePort + count - 1 > 65535) {
            *error = QStringLiteral("base port %1 leaves no room for %2 ports")
                         .arg(setup.basePort)
                         .arg(count);
            return false;
        }
        return bindRange(setup.basePort, error);
    }
    // A free range of consecutive ports, away from the usual fixed ones.
    for (int attempt = 0; attempt < 200; ++attempt) {
        const int base = 20000 + int(QRandomGenerator::global()->bounded(40000 - count));
        QString ignored;
        if (bindRange(base, &ignored))
            return true;
    }
    *error = QStringLiteral("found no free range of %1 consecutive ports").arg(count);
    return false;
}

bool SimHost::openPtys(QString *error)
{
    if (paths.ptyDir.isEmpty())
        return true;
    if (!QDir().mkpath(paths.ptyDir)) {
        *error = QStringLiteral("cannot create the pty directory %1").arg(paths.ptyDir);
        return false;
    }
    for (const auto &c : chips) {
        auto pty = std::make_unique<PtyPort>(c.get());
        if (!pty->open(QDir(paths.ptyDir).absoluteFilePath(c->name()), error))
            return false;
        ptys.push_back(std::move(pty));
    }
    return true;
}

bool SimHost::openTraces(QString *error)
{
    if (paths.traceDir.isEmpty())
        return true;
    if (!QDir().mkpath(paths.traceDir)) {
        *error = QStringLiteral("cannot create the trace directory %1").arg(paths.traceDir);
        return false;
    }
    for (size_t i = 0; i < chips.size(); ++i) {
        SimChip *c = chips[i].get();
        auto trace = std::make_unique<WireTrace>(c, clock);
        if (!trace->open(
                QDir(paths.traceDir).absoluteFilePath(c->name() + QStringLiteral(".trace")), error))
            return false;
        WireTrace *t = trace.get();
        connect(ports[i].get(), &Rfc2217Port::note, t,
                [t](const QString &text) { t->noteLine(QStringLiteral("rfc2217: ") + text); });
        if (i < ptys.size())
            connect(ptys[i].get(), &PtyPort::note, t,
                    [t](const QString &text) { t->noteLine(QStringLiteral("pty: ") + text); });
        traces.push_back(std::move(trace));
    }
    return true;
}

QString SimHost::url(int slot) const
{
    if (slot < 0 || size_t(slot) >= ports.size())
        return QString();
    return QStringLiteral("rfc2217://127.0.0.1:%1").arg(ports[size_t(slot)]->port());
}

QStringList SimHost::dutUrls() const
{
    QStringList urls;
    for (size_t slot = 1; slot < ports.size(); ++slot)
        urls.append(url(int(slot)));
    return urls;
}

QString SimHost::readyLine() const
{
    QString line = QStringLiteral("ready");
    for (size_t slot = 0; slot < chips.size() && slot < ports.size(); ++slot)
        line += QLatin1Char(' ') + chips[slot]->name() + QLatin1Char('=') + url(int(slot));
    return line;
}

} // namespace stationsim
