#include "localresultsdb.h"

#include "cyclerecord.h"
#include "databaseconnection.h"
#include "resultsschema.h"
#include "sqlfailure.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <QVariant>

#include <mutex>

namespace {

// How long a statement waits for another connection's write (the
// forwarder's mark, the recorder's cycle: each a few milliseconds) to
// finish, ms. The recorder writes in the window's thread: a file another
// program holds locked for longer fails the write at once, and the recorder
// keeps the cycle for its next write, instead of freezing the window.
constexpr int busyTimeoutMs = 500;

// The station's recorder and its forwarder open the file for recording at
// the same moment when the station starts, and the first of them makes a new
// file's tables. SQLite does not wait for a lock it could deadlock on: the
// switch to WAL of one fails at once ("database is locked") while the other
// writes, and that cycle would wait for the next one to be recorded. Within
// the process the two take turns for what they write on opening (a few
// milliseconds); the file's check before it needs no turn.
std::mutex openingWrites;

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

// Where the file at `path` lives: the PC (its unique id where the system
// has one, else its host name) and the file's path.
QString placeOf(const QString &path)
{
    QString machine = QString::fromLatin1(QSysInfo::machineUniqueId());
    if (machine.isEmpty())
        machine = QSysInfo::machineHostName();
    const QFileInfo file(path);
    const QString where = file.canonicalFilePath();
    return machine + QLatin1Char(' ') +
           QDir::toNativeSeparators(where.isEmpty() ? file.absoluteFilePath() : where);
}

bool samePlace(const QString &a, const QString &b)
{
#ifdef Q_OS_WIN
    return a.compare(b, Qt::CaseInsensitive) == 0; // the paths' case means nothing there
#else
    return a == b;
#endif
}

bool run(QSqlQuery &q, const QString &path, const char *what, QString *error)
{
    return q.exec() ||
           SqlFailure::fail(QStringLiteral("%1: cannot %2").arg(path, QLatin1String(what)),
                            q.lastError(), error);
}

// The folder's uid and where it lives. The first recording process makes
// the uid. A file found elsewhere than noted is a folder copied or moved
// whole: it takes a new uid here (once: the new place is noted), so that a
// copy is told apart from its original. The cycles recorded before keep the
// uid they were recorded with (those of a file older than the uid get the
// old one), so that each uid's cycles are that folder's own.
bool noteFolder(QSqlDatabase &db, const QString &path, QString *error)
{
    const QString here = placeOf(path);
    // One transaction: the station's recorder and its forwarder open the
    // file at once, and must come to the same uid.
    QSqlQuery begin(db);
    begin.prepare(QStringLiteral("BEGIN IMMEDIATE"));
    if (!run(begin, path, "note where the folder lives", error))
        return false;
    QSqlQuery uid(db);
    uid.prepare(QStringLiteral("INSERT INTO station_folder (folder_uid, place) SELECT ?, ? WHERE "
                               "NOT EXISTS (SELECT 1 FROM station_folder)"));
    uid.addBindValue(CycleRecord::newUid());
    uid.addBindValue(here);
    QSqlQuery noted(db);
    noted.setForwardOnly(true);
    noted.prepare(QStringLiteral("SELECT rowid, folder_uid, place FROM station_folder ORDER BY "
                                 "rowid LIMIT 1"));
    const auto fail = [&db]() {
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return false;
    };
    if (!run(uid, path, "note the folder's uid", error) ||
        !run(noted, path, "read the folder's uid", error))
        return fail();
    if (!noted.next()) {
        *error = QStringLiteral("%1: the results file has no folder uid").arg(path);
        return fail();
    }
    const qint64 row = noted.value(0).toLongLong();
    const QString oldUid = noted.value(1).toString();
    const QVariant oldPlace = noted.value(2);
    noted.finish();
    // Noted elsewhere: a new uid. A file older than the place: noted here,
    // its uid kept.
    const bool elsewhere = !oldPlace.isNull() && !samePlace(oldPlace.toString(), here);
    const QString newUid = elsewhere ? CycleRecord::newUid() : oldUid;
    QSqlQuery keep(db);
    keep.prepare(QStringLiteral("UPDATE cycles SET folder_uid = ? WHERE folder_uid IS NULL"));
    keep.addBindValue(oldUid);
    QSqlQuery update(db);
    update.prepare(
        QStringLiteral("UPDATE station_folder SET folder_uid = ?, place = ? WHERE rowid = ?"));
    update.addBindValue(newUid);
    update.addBindValue(here);
    update.addBindValue(row);
    const bool change = elsewhere || oldPlace.isNull();
    if (change && (!run(keep, path, "keep the uid of the folder's cycles", error) ||
                   !run(update, path, "note where the folder lives", error)))
        return fail();
    QSqlQuery commit(db);
    commit.prepare(QStringLiteral("COMMIT"));
    if (!run(commit, path, "note where the folder lives", error))
        return fail();
    if (elsewhere)
        qWarning().noquote()
            << QStringLiteral("Results database %1: this station folder was recorded at %2 (a "
                              "copy, or the folder moved): it takes a new folder uid here, %3 "
                              "(it was %4), so that a copy is told apart from its original")
                   .arg(path, oldPlace.toString(), newUid, oldUid);
    return true;
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
        return QStringLiteral("cannot open %1: %2").arg(path, SqlFailure::reason(db.lastError()));
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
        *error = QStringLiteral("cannot open %1: %2").arg(path, SqlFailure::reason(db.lastError()));
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
    const std::lock_guard<std::mutex> turn(openingWrites);
    QSqlQuery pragma(db);
    for (const char *statement :
         {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL", "PRAGMA foreign_keys=ON"}) {
        if (!pragma.exec(QLatin1String(statement))) {
            *error =
                QStringLiteral("%1: %2: %3")
                    .arg(path, QLatin1String(statement), SqlFailure::reason(pragma.lastError()));
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
    if (!noteFolder(db, path, error)) {
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
        SqlFailure::fail(QStringLiteral("cannot read the folder's uid"), q.lastError(), error);
        return QString();
    }
    if (!q.next()) {
        *error = QStringLiteral("the results file has no folder uid");
        return QString();
    }
    return q.value(0).toString();
}
