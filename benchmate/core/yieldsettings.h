#ifndef YIELDSETTINGS_H
#define YIELDSETTINGS_H

#include <QString>

// The yield view's settings in the station's settings, ./config/station.ini
// (read as inifile.h says), once:
//
//   [yield]
//   failStreakWarning=3    a slot that failed this many cycles in a row warns
//
// A missing file or key gives the default; a value that is no whole number
// of at least 1 gives the default too, and `problem` says so.
struct YieldSettings
{
    static constexpr int defaultFailStreakWarning = 3;

    int failStreakWarning = defaultFailStreakWarning;
    QString problem;

    static QString defaultPath() { return QStringLiteral("./config/station.ini"); }
    static YieldSettings load(const QString &path = defaultPath());
};

#endif // YIELDSETTINGS_H
