#ifndef STATUSBARNOTES_H
#define STATUSBARNOTES_H

#include <QCoreApplication>
#include <QString>

class DeviceConfigFile;
class StationResults;

// What the window's status bar tells the operator, in the window's
// language (its texts are the window's).
class StatusBarNotes
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    // How many cycles wait to be forwarded to the factory's database or to
    // be recorded, and why; empty while all is well.
    static QString results(const StationResults &results);
    // Why the settings file was not read, and where the set-up of this
    // session will be kept; empty when it was not refused.
    static QString settingsRefused(const DeviceConfigFile &file);
};

#endif // STATUSBARNOTES_H
