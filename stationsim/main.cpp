#include "chip/ramcodeimage.h"
#include "host/deviceconfigwriter.h"
#include "host/processpriority.h"
#include "host/scenario.h"
#include "host/shutdownwatcher.h"
#include "host/simhost.h"
#include "host/simoptions.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <csignal>
#include <cstdio>

using namespace stationsim;

namespace {
int fail(const QString &message)
{
    std::fprintf(stderr, "stationsim: %s\n", message.toLocal8Bit().constData());
    return 2;
}

QString defaultFirmwarePath()
{
    // build/bin/stationsim -> build/station/config/CHIPCTL/Config/TK716A_RAM_BIN.bin
    return QDir::cleanPath(QCoreApplication::applicationDirPath() +
                           QStringLiteral("/../station/config/CHIPCTL/Config/TK716A_RAM_BIN.bin"));
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    std::signal(SIGPIPE, SIG_IGN);

    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    SimOptions options;
    QString error;
    if (!options.parse(arguments, &error))
        return fail(error);
    if (options.help) {
        std::fputs(SimOptions::helpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (!options.makeRamcode.isEmpty()) {
        if (!RamcodeImage::write(options.makeRamcode, &error)) {
            std::fprintf(stderr, "stationsim: %s\n", error.toLocal8Bit().constData());
            return 1;
        }
        return 0;
    }

    Scenario scenario;
    if (!options.scenario.isEmpty() && !scenario.load(options.scenario, &error))
        return fail(error);
    const StationSetup setup = scenario.build(options.duts, options.basePort, options.seed,
                                              options.delivery, options.chipPace);

    ShutdownWatcher watcher;
    SimHost::Paths paths;
    paths.stateDir = options.stateDir;
    paths.ptyDir = options.ptyDir;
    paths.traceDir = options.traceDir;
    SimHost host(setup, paths);
    if (!host.start(&error))
        return fail(error);

    if (!options.deviceConfig.isEmpty()) {
        const QString firmware = options.firmwarePath.isEmpty()
                                     ? defaultFirmwarePath()
                                     : QFileInfo(options.firmwarePath).absoluteFilePath();
        const QByteArray table =
            DeviceConfigWriter::contents(host.url(0), host.dutUrls(), firmware);
        if (!DeviceConfigWriter::write(options.deviceConfig, table, &error)) {
            host.stop();
            return fail(error);
        }
    }

    // Raised before the chips are busy, so that every answer keeps its time.
    const QString priority = options.normalPriority
                                 ? QStringLiteral("as started (--normal-priority)")
                                 : ProcessPriority::describe(ProcessPriority::raise());
    std::fprintf(stderr, "stationsim: golden machine and %d DUTs, state in %s, priority %s\n",
                 int(setup.chips.size()) - 1, host.stateDir().toLocal8Bit().constData(),
                 priority.toLocal8Bit().constData());
    std::fprintf(stdout, "%s\n", host.readyLine().toLatin1().constData());
    std::fflush(stdout);

    QObject::connect(&watcher, &ShutdownWatcher::shutdownRequested, &app,
                     [](const QString &reason) {
                         std::fprintf(stderr, "stationsim: shutting down (%s)\n",
                                      reason.toLocal8Bit().constData());
                         QCoreApplication::quit();
                     });
    app.exec();
    host.stop();
    return 0;
}
