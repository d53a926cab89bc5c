#include "filesizelimit.h"
#include "mainwindow.h"
#include "stopsignals.h"
#include "uitranslation.h"

#include <QApplication>
#include <QLocale>
#include <QTranslator>

int main(int argc, char *argv[])
{
    ignoreFileSizeLimitSignal();
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication app(argc, argv);

    // SIGINT and SIGTERM close the window as the operator would: a running
    // cycle is stopped (its chip tools killed), the settings are saved.
    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &app,
                     [] { QApplication::closeAllWindows(); });

    QTranslator translator;
    if (!loadUiTranslation(translator, QLocale::system().uiLanguages()).isEmpty())
        app.installTranslator(&translator);

    // Destroying the window (when the event loop returns) writes the settings.
    MainWindow window;
    window.show();
    const int status = app.exec();
    return StopSignals::received() ? StopSignals::exitStatus(StopSignals::received()) : status;
}
