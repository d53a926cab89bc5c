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

    // host:port/name, the target's name in messages and forwarding marks.
    QString target() const;
    // The password in password_file (its first line); empty when no file
    // is named. *error is set when the file is named but cannot be read.
    QString password(QString *error) const;
};

// ./config/station.ini (Qt's INI format), read once:
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
//
// A relative password_file is taken from the station directory. The file is
// UTF-8 text.
struct StationSettings
{
    QString stationId;
    FactoryDbSettings factory;
    QString problem; // a setting that could not be used, for the console

    static QString defaultPath() { return QStringLiteral("./config/station.ini"); }
    static StationSettings load(const QString &path = defaultPath());
};

#endif // STATIONSETTINGS_H
