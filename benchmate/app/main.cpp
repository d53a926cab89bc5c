#include "mainwindow.h"
#include "screenscaling.h"
#include "uitranslation.h"

#include <QApplication>
#include <QLocale>
#include <QTranslator>

int main(int argc, char *argv[])
{
    setUpScreenScaling();
    QApplication app(argc, argv);

    QTranslator translator;
    if (!loadUiTranslation(translator, QLocale::system().uiLanguages()).isEmpty())
        app.installTranslator(&translator);

    // Destroying the window (when the event loop returns) writes the settings.
    MainWindow window;
    window.show();
    return app.exec();
}
