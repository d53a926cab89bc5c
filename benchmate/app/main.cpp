#include "filesizelimit.h"
#include "mainwindow.h"
#include "screenscaling.h"
#include "stationlock.h"
#include "stopsignals.h"

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QLocale>
#include <QMessageBox>

namespace {

// One station program at a time in a station directory: a second one says
// who works there and goes, without reading or writing the settings.
bool lockStation(StationLock &lock)
{
    switch (lock.acquire()) {
    case StationLock::Locked:
        return true;
    case StationLock::NotPossible:
        qWarning().noquote() << lock.error();
        return true;
    case StationLock::HeldByOther:
        break;
    }
    const QString text =
        QCoreApplication::translate("main", "此工位目录 %1 正由 %2（进程 %3）使用，"
                                            "同一目录一次只能运行一个测试程序。")
            .arg(QDir::toNativeSeparators(QDir::currentPath()), lock.holderName())
            .arg(lock.holderPid());
    qWarning().noquote() << text;
    QMessageBox::critical(nullptr, QCoreApplication::translate("main", "错误"), text);
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    ignoreFileSizeLimitSignal();
    setUpScreenScaling();
    QApplication app(argc, argv);

    // SIGINT, SIGTERM and SIGHUP close the window as the operator would: a
    // running cycle is stopped (its chip tools killed), the settings are saved.
    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &app,
                     [] { QApplication::closeAllWindows(); });

    StationLock lock;
    if (!lockStation(lock))
        return StopSignals::received() ? StopSignals::exitStatus(StopSignals::received()) : 1;

    // Destroying the window (when the event loop returns) writes the settings.
    MainWindow window;
    // The language the operator chose last, else the system's.
    window.startLanguage(QLocale::system().uiLanguages());
    window.show();
    const int status = app.exec();
    return StopSignals::received() ? StopSignals::exitStatus(StopSignals::received()) : status;
}
