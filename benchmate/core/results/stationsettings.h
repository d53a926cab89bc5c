#ifndef STATIONSETTINGS_H
#define STATIONSETTINGS_H

#include <QString>

// Where the factory's shared results database is and how to log in. The
// password comes from password_file, else from what libpq reads itself
// (PGPASSWORD, ~/.pgpass); it is never kept in the settings nor logged.
struct FactoryDbSettings
{
    bool enabled = false; // a [factory_db] section exists
    QString host;
    int port = 5432;
    QString name;
    QString user;
    QString passwordFile;
    // Longest pause between attempts while the database cannot be used, s.
    int retrySeconds = 10;
    // TLS, as libpq names it: sslmode (disable, allow, prefer, require,
    // verify-ca, verify-full; empty: libpq's default), the factory's CA
    // certificate, and the station's own certificate and key when the
    // server wants one.
    QString sslMode;
    QString sslRootCert;
    QString sslCert;
    QString sslKey;

    // host:port/name, the target's name in messages and forwarding marks.
    QString target() const;
    // The password in password_file (its first line); empty when no file
    // is named. *error is set when the file is named but cannot be read, or
    // when others than its owner may read or write it (as libpq refuses
    // such a .pgpass).
    QString password(QString *error) const;
    // Whether the connection checks the server's certificate (verify-ca,
    // verify-full): only then does a password go to the server it was
    // meant for.
    bool verifiesServer() const;
    // Whether the host is this PC (a local socket folder, localhost or a
    // loopback address).
    bool hostIsLocal() const;
    // Why the password may not be sent as set up; empty when it may. A
    // server may ask for the password in clear (libpq 15 cannot refuse
    // that), so a password goes over the network only to a server whose
    // certificate is checked.
    QString passwordRisk(bool havePassword) const;
};

// ./config/station.ini (read as inifile.h says), once:
//
//   [station]
//   id=line2-st07          (default: the host name)
//
//   [factory_db]           (no section: no factory database)
//   host=db.factory.lan
//   port=5432
//   name=results
//   user=station
//   password_file=config/factory.pass
//   retry_seconds=10
//   sslmode=verify-full
//   sslrootcert=config/factory-ca.crt
//   sslcert=, sslkey=      (a certificate of the station's, when wanted)
//
// A relative password_file is taken from the station directory. The file is
// UTF-8 text.
// Every value is read as written (inifile.h): "id=line2;st07" is the id
// "line2;st07". A value that cannot be used as written is refused, never
// replaced by a default: the problem names its line and why, and `refused`
// keeps the station from running cycles under settings it was not given.
// A key the station does not know is named too (a misspelt key would
// otherwise be a setting silently not made).
struct StationSettings
{
    // The longest station id: it heads reports and fills a column.
    static constexpr int maxIdLength = 64;

    QString stationId;
    FactoryDbSettings factory;
    QString problem;      // what could not be used, a line each, for the console
    bool refused = false; // a value or a line was refused: run no cycle

    static QString defaultPath() { return QStringLiteral("./config/station.ini"); }
    static StationSettings load(const QString &path = defaultPath());
};

#endif // STATIONSETTINGS_H
