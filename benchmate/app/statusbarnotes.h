#ifndef STATUSBARNOTES_H
#define STATUSBARNOTES_H

#include <QCoreApplication>
#include <QString>

class DeviceConfigFile;
class QLabel;
class QMainWindow;
class StationResults;

// What the window's status bar tells the operator, in the window's
// language (its texts are the window's): a note on the results databases
// while cycles wait ("labelResults"), and one on a settings file that was
// not read ("labelSettings"). Each label is made when it first has
// something to say.
class StatusBarNotes
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    // The labels go into the window's status bar, which is made with the
    // first of them (until then the window has none); the window, the
    // results and the file outlive this object.
    StatusBarNotes(QMainWindow *window, const StationResults &results,
                   const DeviceConfigFile &file);

    void showResults();
    void showSettingsRefused();
    // Both notes again, in the language now installed.
    void retranslate();

    // How many cycles wait to be forwarded to the factory's database or to
    // be recorded, and why; empty while all is well.
    static QString results(const StationResults &results);
    // Why the settings file was not read, and where the set-up of this
    // session will be kept; empty when it was not refused.
    static QString settingsRefused(const DeviceConfigFile &file);

private:
    QMainWindow *m_window = nullptr;
    const StationResults &m_results;
    const DeviceConfigFile &m_file;
    QLabel *m_resultsLabel = nullptr;
    QLabel *m_settingsLabel = nullptr;
};

#endif // STATUSBARNOTES_H
