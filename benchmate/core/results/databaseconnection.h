#ifndef DATABASECONNECTION_H
#define DATABASECONNECTION_H

#include <QDateTime>
#include <QSqlDatabase>
#include <QString>

// One Qt SQL connection under a name of its own, removed again when the
// object goes. Qt SQL connections belong to the thread that made them: make,
// use and drop the object in one thread, and let every QSqlQuery on it go
// first.
class DatabaseConnection
{
public:
    // `driver` is a Qt SQL driver name: "QSQLITE" or "QPSQL".
    explicit DatabaseConnection(const QString &driver);
    ~DatabaseConnection();
    DatabaseConnection(const DatabaseConnection &) = delete;
    DatabaseConnection &operator=(const DatabaseConnection &) = delete;

    QSqlDatabase &db() { return m_db; }
    bool isPostgres() const;
    // False when the driver's plugin is missing.
    bool driverLoaded() const;

    // A time column as ISO 8601 UTC text ("2026-12-07T10:00:00.000Z") in a
    // query of this connection's dialect; times are written as that text.
    QString timeText(const QString &column) const;
    static QString timeValue(const QDateTime &when);
    static QDateTime parseTime(const QString &text);

private:
    QString m_name;
    QSqlDatabase m_db;
};

#endif // DATABASECONNECTION_H
