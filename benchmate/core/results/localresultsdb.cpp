#include "localresultsdb.h"

#include "databaseconnection.h"
#include "resultsschema.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

// How long a write waits for the other connection's (the forwarder's mark,
// a report) to finish, ms.
constexpr int busyTimeoutMs = 10000;

} // namespace

bool LocalResultsDb::open(DatabaseConnection &connection, const QString &path, Mode mode,
                          QString *error)
{
    if (!connection.driverLoaded()) {
        *error = QStringLiteral("Qt's SQLite driver (QSQLITE) is not installed");
        return false;
    }
    const bool create = mode == ForRecording;
    const QFileInfo file(path);
    if (!create && !file.isFile()) {
        *error = QStringLiteral("no results database at %1").arg(path);
        return false;
    }
    if (create && !QDir().mkpath(file.absolutePath())) {
        *error = QStringLiteral("cannot make the folder %1").arg(file.absolutePath());
        return false;
    }
    QSqlDatabase &db = connection.db();
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1%2")
                             .arg(busyTimeoutMs)
                             .arg(create ? QString() : QStringLiteral(";QSQLITE_OPEN_READONLY")));
    if (!db.open()) {
        *error = QStringLiteral("cannot open %1: %2").arg(path, db.lastError().text().trimmed());
        return false;
    }
    if (!create) {
        const ResultsSchema::Result schema = ResultsSchema::check(connection, path);
        if (schema.outcome == ResultsSchema::Ready)
            return true;
        *error = schema.message;
        db.close();
        return false;
    }
    QSqlQuery pragma(db);
    for (const char *statement :
         {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL", "PRAGMA foreign_keys=ON"}) {
        if (!pragma.exec(QLatin1String(statement))) {
            *error = QStringLiteral("%1: %2: %3")
                         .arg(path, QLatin1String(statement), pragma.lastError().text().trimmed());
            db.close();
            return false;
        }
        pragma.finish();
    }
    const ResultsSchema::Result schema = ResultsSchema::apply(connection, path);
    if (schema.outcome != ResultsSchema::Ready) {
        *error = schema.message;
        db.close();
        return false;
    }
    return true;
}
