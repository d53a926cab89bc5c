#include "mainwindow.h"

#include <QApplication>
#include <QLocale>

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication app(argc, argv);

    // Destroying the window (when the event loop returns) writes the settings.
    MainWindow window;
    // The language the operator chose last, else the system's.
    window.startLanguage(QLocale::system().uiLanguages());
    window.show();
    return app.exec();
}
