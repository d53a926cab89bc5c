#include "stationsetup.h"

#include <QDate>
#include <QDir>
#include <QFile>

StationSetup StationSetup::withDuts(int n)
{
    StationSetup setup;
    for (int slot = 0; slot < setup.duts.size(); ++slot) {
        setup.duts[slot].enabled = slot < n;
        setup.duts[slot].port = slot < n ? QStringLiteral("D%1").arg(slot + 1) : QString();
    }
    return setup;
}

QByteArray StationSetup::bytes() const
{
    QStringList lines;
    lines << QStringLiteral("ENBALE,Device Name,Serial Num,TX CAL,RX CAL")
          << QStringLiteral("1,Gold Machine,%1,0").arg(gmPort);
    for (int slot = 0; slot < 24; ++slot) {
        const Dut &d = duts.at(slot);
        lines << QStringLiteral("%1,DUT%2,%3,%4,%5")
                     .arg(d.enabled ? 1 : 0)
                     .arg(slot)
                     .arg(d.port, d.txCal, d.rxCal);
    }
    lines << firmware << rxRssiMax << rxRssiMin << rxFreqMax << rxFreqMin << txRssiMax << txRssiMin
          << QStringLiteral("0") << channel << sendInterval << timeOut << QString::number(total)
          << QString::number(passed) << QString::number(failed) << QString::number(calVal)
          << QString::number(autoTest);
    QByteArray out;
    for (const QString &line : lines)
        out += line.toUtf8() + ",\n";
    return out;
}

bool StationSetup::write() const
{
    if (!QDir().mkpath(QStringLiteral("config")))
        return false;
    QFile file(QStringLiteral("config/device_config.csv"));
    const QByteArray content = bytes();
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size();
}

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString todays(const char *suffix)
{
    return QStringLiteral("log/") + QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) +
           QLatin1String(suffix);
}

} // namespace

QByteArray todaysLog()
{
    return readAll(todays(".txt"));
}

QByteArray todaysResults()
{
    return readAll(todays(".csv"));
}

QList<QStringList> todaysResultRows()
{
    QList<QStringList> rows;
    const QStringList lines =
        QString::fromUtf8(todaysResults()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    for (int i = 1; i < lines.size(); ++i)
        rows << lines.at(i).split(QLatin1Char(','));
    return rows;
}

QStringList settingsLines()
{
    QStringList lines = QString::fromUtf8(readAll(QStringLiteral("config/device_config.csv")))
                            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (QString &line : lines) {
        if (line.endsWith(QLatin1Char(',')))
            line.chop(1);
    }
    return lines;
}
