#include "localresultsdb.h"

#include "cyclerecord.h"
#include "databaseconnection.h"
#include "resultsschema.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

// How long a statement waits for another connection's write (the
// forwarder's mark, the recorder's cycle: each a few milliseconds) to
// finish, ms. The recorder writes in the window's thread: a file another
// program holds locked for longer fails the write at once, and the recorder
// keeps the cycle for its next write, instead of freezing the window.
constexpr int busyTimeoutMs = 500;

const QString moveAside = QStringLiteral(
    "; move the file aside (rename it, keep it for a repair): the station then starts a new "
    "one. Until then each cycle still goes to the daily log and the results file");

// Whether an SQLite file is whole. PRAGMA quick_check reads every page and
// checks the b-trees (not the indexes against their tables), about a
// second for each few hundred MB.
enum class Check
{
    Intact,
    Locked, // another program's lock: nothing known about the file
    Damaged,
};

Check checkIntact(QSqlDatabase &db, const QString &path, QString *error)
{
    QSqlQuery check(db);
    check.setForwardOnly(true);
    if (!check.exec(QStringLiteral("PRAGMA quick_check"))) {
        const QSqlError failure = check.lastError();
        const QString why = failure.databaseText().trimmed().isEmpty()
                                ? failure.text().trimmed()
                                : failure.databaseText().trimmed();
        if (why.contains(QLatin1String("locked"))) {
            *error = QStringLiteral("%1 is locked by another program (%2)").arg(path, why);
            return Check::Locked;
        }
        *error = why.contains(QLatin1String("not a database"))
                     ? QStringLiteral("%1 is not an SQLite database (%2)").arg(path, why)
                     : QStringLiteral("%1 is damaged (%2)").arg(path, why);
        return Check::Damaged;
    }
    QStringList rows;
    while (check.next())
        rows << check.value(0).toString();
    if (rows == QStringList{QStringLiteral("ok")})
        return Check::Intact;
    // A report of several lines starts "*** in database main ***".
    QStringList problems;
    for (const QString &row : qAsConst(rows)) {
        for (const QString &line : row.split(QLatin1Char('\n'))) {
            const QString text = line.trimmed();
            if (!text.isEmpty() && !text.startsWith(QLatin1String("***")))
                problems << text;
        }
    }
    if (problems.isEmpty())
        problems << (rows.isEmpty() ? QStringLiteral("no answer") : rows.first().simplified());
    *error = QStringLiteral("%1 is damaged (quick_check: %2%3)")
                 .arg(path, problems.first(),
                      problems.size() > 1 ? QStringLiteral(" and %1 more").arg(problems.size() - 1)
                                          : QString());
    return Check::Damaged;
}

} // namespace

QString LocalResultsDb::checkFile(const QString &path)
{
    const QFileInfo file(path);
    if (!file.isFile() || file.size() == 0)
        return QString();
    DatabaseConnection connection(QStringLiteral("QSQLITE"));
    QString error;
    if (!connection.driverLoaded())
        return QString();
    QSqlDatabase &db = connection.db();
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs));
    if (!db.open())
        return QStringLiteral("cannot open %1: %2").arg(path, db.lastError().text().trimmed());
    switch (checkIntact(db, path, &error)) {
    case Check::Intact:
        return QString();
    case Check::Locked:
        return error;
    case Check::Damaged:
        break;
    }
    return error + moveAside;
}

bool LocalResultsDb::open(DatabaseConnection &connection, const QString &path, Mode mode,
                          QString *error)
{
    if (!connection.driverLoaded()) {
        *error = QStringLiteral("Qt's SQLite driver (QSQLITE) is not installed");
        return false;
    }
    const bool create = mode == ForRecording;
    const QFileInfo file(path);
    const bool existed = file.isFile() && file.size() > 0;
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
    // Nothing is read from, or added to, a file that is not whole: a damaged
    // page would make a report of what is left look plausible.
    const Check check = existed ? checkIntact(db, path, error) : Check::Intact;
    if (check != Check::Intact) {
        if (create && check == Check::Damaged)
            *error += moveAside;
        db.close();
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
    // The folder's uid, once: the first recording process makes it.
    QSqlQuery uid(db);
    uid.prepare(QStringLiteral("INSERT INTO station_folder (folder_uid) SELECT ? WHERE NOT EXISTS "
                               "(SELECT 1 FROM station_folder)"));
    uid.addBindValue(CycleRecord::newUid());
    if (!uid.exec()) {
        *error = QStringLiteral("%1: cannot note the folder's uid: %2")
                     .arg(path, uid.lastError().text().trimmed());
        db.close();
        return false;
    }
    return true;
}

QString LocalResultsDb::folderUid(DatabaseConnection &connection, QString *error)
{
    QSqlQuery q(connection.db());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT folder_uid FROM station_folder ORDER BY rowid LIMIT 1"))) {
        *error = QStringLiteral("cannot read the folder's uid: ") + q.lastError().text().trimmed();
        return QString();
    }
    if (!q.next()) {
        *error = QStringLiteral("the results file has no folder uid");
        return QString();
    }
    return q.value(0).toString();
}
