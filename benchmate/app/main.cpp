#include "mainwindow.h"
#include "uitranslation.h"

#include <QApplication>
#include <QLocale>
#include <QTranslator>

int main(int argc, char *argv[])
{
    // The window follows the screen's scale (Qt 6 always does, Qt 5 when
    // asked), in whole steps as Qt 5 does: 150 % draws at 2, not 1.5. The
    // variable QT_SCALE_FACTOR_ROUNDING_POLICY still overrides it.
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
#endif
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::Round);
    QApplication app(argc, argv);

    QTranslator translator;
    if (!loadUiTranslation(translator, QLocale::system().uiLanguages()).isEmpty())
        app.installTranslator(&translator);

    // Destroying the window (when the event loop returns) writes the settings.
    MainWindow window;
    window.show();
    return app.exec();
}
