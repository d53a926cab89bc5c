#include "stationsettings.h"

#include "inifile.h"

#include <QFile>
#include <QHostAddress>
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
#ifndef Q_OS_WIN
    // (Windows keeps a file's readers in its access list, which these bits
    // do not show.)
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                            QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                            QFileDevice::WriteOther | QFileDevice::ExeOther;
    if (file.permissions() & others) {
        if (error)
            *error = QStringLiteral("the password file %1 may be read or changed by others than "
                                    "its owner: make it the owner's alone (chmod 600 %1)")
                         .arg(passwordFile);
        return QString();
    }
#endif
    const QByteArray firstLine = file.readLine();
    return QString::fromUtf8(firstLine).remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
}

bool FactoryDbSettings::verifiesServer() const
{
    return sslMode == QLatin1String("verify-ca") || sslMode == QLatin1String("verify-full");
}

bool FactoryDbSettings::hostIsLocal() const
{
    if (host.startsWith(QLatin1Char('/')) || host == QLatin1String("localhost") ||
        host == QLatin1String("::1"))
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

QString FactoryDbSettings::passwordRisk(bool havePassword) const
{
    if (!havePassword || hostIsLocal() || verifiesServer())
        return QString();
    return QStringLiteral("a password goes to %1 only over TLS with the server's certificate "
                          "checked (a server that is not the factory's could ask for it in "
                          "clear): set sslmode=verify-full and sslrootcert= the factory's CA "
                          "certificate in [factory_db]")
        .arg(host);
}

namespace {

// Every key the station reads from station.ini ([yield] is read by the
// window's yield view).
const char *const knownKeys[] = {
    "station/id",
    "factory_db/host",
    "factory_db/port",
    "factory_db/name",
    "factory_db/user",
    "factory_db/password_file",
    "factory_db/retry_seconds",
    "factory_db/sslmode",
    "factory_db/sslrootcert",
    "factory_db/sslcert",
    "factory_db/sslkey",
    "yield/failStreakWarning",
};

bool known(const IniFile::Entry &entry)
{
    const QString name = entry.section + QLatin1Char('/') + entry.key;
    for (const char *key : knownKeys) {
        if (name == QLatin1String(key))
            return true;
    }
    return false;
}

// Why `id` cannot name a station in the tables and reports; empty when it
// can.
QString idProblem(const QString &id)
{
    if (id.isEmpty())
        return QStringLiteral("the station id is empty");
    if (id.size() > StationSettings::maxIdLength)
        return QStringLiteral("the station id is longer than %1 characters")
            .arg(StationSettings::maxIdLength);
    for (const QChar c : id) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format ||
            c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            return QStringLiteral("the station id holds a control character (U+%1)")
                .arg(c.unicode(), 4, 16, QLatin1Char('0'));
    }
    return QString();
}

// A whole number from `least` to `most`, written as such.
bool wholeNumber(const QString &text, int least, int most, int &value)
{
    bool ok = false;
    const qlonglong number = text.toLongLong(&ok, 10);
    if (!ok || number < least || number > most)
        return false;
    value = int(number);
    return true;
}

} // namespace

StationSettings StationSettings::load(const QString &path)
{
    StationSettings s;
    s.stationId = QSysInfo::machineHostName();
    if (s.stationId.isEmpty())
        s.stationId = QStringLiteral("station");
    const IniFile ini = IniFile::read(path);
    if (!ini.exists())
        return s;

    QStringList problems = ini.problems();
    bool refused = !problems.isEmpty();
    const auto refuse = [&](const IniFile::Entry &entry, const QString &why) {
        // The value as it stands, but for control characters, which a
        // console would act on.
        QString shown = entry.value;
        for (QChar &c : shown) {
            if (c.category() == QChar::Other_Control)
                c = QLatin1Char('?');
        }
        problems << QStringLiteral("%1: %2=%3: %4").arg(ini.where(entry), entry.key, shown, why);
        refused = true;
    };
    for (const IniFile::Entry &entry : ini.entries()) {
        if (!known(entry))
            problems << QStringLiteral("%1: [%2] %3 is no setting of the station; it is not used")
                            .arg(ini.where(entry), entry.section, entry.key);
    }

    if (const IniFile::Entry *id = ini.find(QStringLiteral("station"), QStringLiteral("id"))) {
        const QString why = idProblem(id->value);
        if (why.isEmpty())
            s.stationId = id->value;
        else
            refuse(*id, why);
    }

    if (ini.hasSection(QStringLiteral("factory_db"))) {
        FactoryDbSettings &f = s.factory;
        f.enabled = true;
        const QString group = QStringLiteral("factory_db");
        const auto text = [&](const char *key, const QString &byDefault) {
            const IniFile::Entry *entry = ini.find(group, QLatin1String(key));
            return entry ? entry->value : byDefault;
        };
        f.host = text("host", QStringLiteral("localhost"));
        f.name = text("name", QStringLiteral("results"));
        f.user = text("user", QString());
        f.passwordFile = text("password_file", QString());
        if (const IniFile::Entry *port = ini.find(group, QStringLiteral("port"))) {
            if (!wholeNumber(port->value, 1, 65535, f.port))
                refuse(*port, QStringLiteral("not a port number (1 to 65535)"));
        }
        if (const IniFile::Entry *retry = ini.find(group, QStringLiteral("retry_seconds"))) {
            if (!wholeNumber(retry->value, 1, 86400, f.retrySeconds))
                refuse(*retry, QStringLiteral("not a whole number of seconds from 1 to 86400"));
        }
        f.sslMode = text("sslmode", QString());
        f.sslRootCert = text("sslrootcert", QString());
        f.sslCert = text("sslcert", QString());
        f.sslKey = text("sslkey", QString());
        if (const IniFile::Entry *mode = ini.find(group, QStringLiteral("sslmode"))) {
            const QStringList modes = {QStringLiteral("disable"),   QStringLiteral("allow"),
                                       QStringLiteral("prefer"),    QStringLiteral("require"),
                                       QStringLiteral("verify-ca"), QStringLiteral("verify-full")};
            if (!modes.contains(mode->value))
                refuse(*mode,
                       QStringLiteral("not an sslmode (%1)").arg(modes.join(QStringLiteral(", "))));
        }
        // The driver hands the options on as one line split at ';'.
        for (const char *key : {"sslrootcert", "sslcert", "sslkey"}) {
            const IniFile::Entry *entry = ini.find(group, QLatin1String(key));
            if (entry && (entry->value.isEmpty() || entry->value.contains(QLatin1Char(';'))))
                refuse(*entry, QStringLiteral("empty or holds a ';'"));
        }
        for (const char *key : {"host", "name"}) {
            const IniFile::Entry *entry = ini.find(group, QLatin1String(key));
            if (entry && entry->value.isEmpty())
                refuse(*entry, QStringLiteral("empty"));
        }
    }
    s.problem = problems.join(QLatin1Char('\n'));
    s.refused = refused;
    return s;
}
