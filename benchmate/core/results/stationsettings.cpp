#include "stationsettings.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QSysInfo>

QString FactoryDbSettings::target() const
{
    return QStringLiteral("%1:%2/%3").arg(host).arg(port).arg(name);
}

QString FactoryDbSettings::password(QString *error) const
{
    if (passwordFile.isEmpty())
        return QString();
    QFile file(passwordFile);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("cannot read the password file %1: %2")
                         .arg(passwordFile, file.errorString());
        return QString();
    }
    const QByteArray firstLine = file.readLine();
    return QString::fromUtf8(firstLine).remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
}

StationSettings StationSettings::load(const QString &path)
{
    StationSettings s;
    s.stationId = QSysInfo::machineHostName();
    if (!QFileInfo(path).isFile()) {
        if (s.stationId.isEmpty())
            s.stationId = QStringLiteral("station");
        return s;
    }
    QSettings ini(path, QSettings::IniFormat);
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // UTF-8, as Qt 6 always reads INI files: Qt 5 would take the bytes for
    // Latin-1, and a station id or a path in Chinese came out garbled.
    ini.setIniCodec("UTF-8");
#endif
    if (ini.status() != QSettings::NoError)
        s.problem = QStringLiteral("%1 cannot be read as an INI file").arg(path);

    const QString id = ini.value(QStringLiteral("station/id")).toString().trimmed();
    if (!id.isEmpty())
        s.stationId = id;
    if (s.stationId.isEmpty())
        s.stationId = QStringLiteral("station");

    if (ini.childGroups().contains(QStringLiteral("factory_db"))) {
        FactoryDbSettings &f = s.factory;
        ini.beginGroup(QStringLiteral("factory_db"));
        f.enabled = true;
        f.host = ini.value(QStringLiteral("host"), QStringLiteral("localhost")).toString();
        f.name = ini.value(QStringLiteral("name"), QStringLiteral("results")).toString();
        f.user = ini.value(QStringLiteral("user")).toString();
        f.passwordFile = ini.value(QStringLiteral("password_file")).toString();
        bool ok = true;
        const QString port = ini.value(QStringLiteral("port"), 5432).toString();
        f.port = port.toInt(&ok);
        if (!ok || f.port < 1 || f.port > 65535) {
            s.problem =
                QStringLiteral("%1: [factory_db] port=%2 is no port; 5432 is used").arg(path, port);
            f.port = 5432;
        }
        const int retry = ini.value(QStringLiteral("retry_seconds"), 10).toInt(&ok);
        if (ok && retry >= 1)
            f.retrySeconds = retry;
        ini.endGroup();
    }
    return s;
}
