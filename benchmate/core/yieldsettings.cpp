#include "yieldsettings.h"

#include <QFileInfo>
#include <QSettings>

YieldSettings YieldSettings::load(const QString &path)
{
    YieldSettings settings;
    if (!QFileInfo(path).isFile())
        return settings;
    const QSettings ini(path, QSettings::IniFormat);
    const QVariant value = ini.value(QStringLiteral("yield/failStreakWarning"));
    if (!value.isValid())
        return settings;
    bool ok = false;
    const int cycles = value.toString().trimmed().toInt(&ok);
    if (ok && cycles >= 1)
        settings.failStreakWarning = cycles;
    else
        settings.problem = QStringLiteral("%1: [yield] failStreakWarning=%2 is no whole number of "
                                          "at least 1; %3 is used")
                               .arg(path, value.toString())
                               .arg(defaultFailStreakWarning);
    return settings;
}
