#include "yieldsettings.h"

#include "inifile.h"

YieldSettings YieldSettings::load(const QString &path)
{
    YieldSettings settings;
    const IniFile ini = IniFile::read(path);
    const IniFile::Entry *entry =
        ini.find(QStringLiteral("yield"), QStringLiteral("failStreakWarning"));
    if (!entry)
        return settings;
    bool ok = false;
    const int cycles = entry->value.toInt(&ok);
    if (ok && cycles >= 1)
        settings.failStreakWarning = cycles;
    else
        settings.problem = QStringLiteral("%1: failStreakWarning=%2 is no whole number of at "
                                          "least 1; %3 is used")
                               .arg(ini.where(*entry), entry->value)
                               .arg(defaultFailStreakWarning);
    return settings;
}
