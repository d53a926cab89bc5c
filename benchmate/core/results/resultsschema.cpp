#include "resultsschema.h"

#include "databaseconnection.h"
#include "sqlfailure.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

// Q_INIT_RESOURCE must be called outside any namespace.
static void initSchemaResources()
{
    Q_INIT_RESOURCE(results_schema);
}

namespace {

// Any number, the same in every station: the lock that makes two stations
// migrating one database at once take turns.
constexpr qint64 migrationLock = 716019;

const char *const historyTable = "CREATE TABLE IF NOT EXISTS schema_migrations ("
                                 "version INTEGER PRIMARY KEY, name TEXT NOT NULL, "
                                 "applied_at TEXT NOT NULL)";

struct Applied
{
    int version = 0;
    QString name;
};

QString errorText(const QSqlQuery &query)
{
    return SqlFailure::reason(query.lastError());
}

// The history of the database, or false with *error set.
bool readHistory(QSqlDatabase &db, QList<Applied> *applied, QString *error)
{
    QSqlQuery query(db);
    if (!query.exec(
            QStringLiteral("SELECT version, name FROM schema_migrations ORDER BY version"))) {
        *error = errorText(query);
        return false;
    }
    while (query.next())
        applied->append({query.value(0).toInt(), query.value(1).toString()});
    return true;
}

// Compares the database's history with the station's files.
ResultsSchema::Result judgeHistory(const QList<Applied> &applied, const QString &where)
{
    const QList<ResultsSchema::Migration> known = ResultsSchema::migrations();
    ResultsSchema::Result result;
    result.outcome = ResultsSchema::Ready;
    for (int i = 0; i < applied.size(); ++i) {
        const Applied &a = applied.at(i);
        result.version = qMax(result.version, a.version);
        if (a.version > ResultsSchema::latestVersion()) {
            result.outcome = ResultsSchema::Newer;
            continue;
        }
        if (result.outcome != ResultsSchema::Ready)
            continue;
        if (i >= known.size() || known.at(i).version != a.version || known.at(i).name != a.name)
            result.outcome = ResultsSchema::Mismatch;
    }
    if (result.outcome == ResultsSchema::Newer)
        result.message = QStringLiteral("%1 has results schema version %2, newer than this "
                                        "station knows (up to %3): update the station's "
                                        "software to use it")
                             .arg(where)
                             .arg(result.version)
                             .arg(ResultsSchema::latestVersion());
    else if (result.outcome == ResultsSchema::Mismatch)
        result.message = QStringLiteral("%1 has a results schema history this station does not "
                                        "know (version %2): it was made by other software")
                             .arg(where)
                             .arg(result.version);
    return result;
}

} // namespace

QList<ResultsSchema::Migration> ResultsSchema::migrations()
{
    initSchemaResources();
    static const QList<Migration> all = [] {
        QList<Migration> list;
        const QRegularExpression fileName(QStringLiteral("^(\\d{3})_(\\w+)\\.sql$"));
        const QDir dir(QStringLiteral(":/results/schema"));
        for (const QString &entry : dir.entryList(QDir::Files, QDir::Name)) {
            const QRegularExpressionMatch m = fileName.match(entry);
            if (!m.hasMatch())
                continue;
            QFile file(dir.filePath(entry));
            if (!file.open(QIODevice::ReadOnly))
                continue;
            list.append({m.captured(1).toInt(), m.captured(2), QString::fromUtf8(file.readAll())});
        }
        return list;
    }();
    return all;
}

int ResultsSchema::latestVersion()
{
    const QList<Migration> all = migrations();
    return all.isEmpty() ? 0 : all.last().version;
}

QStringList ResultsSchema::statements(const Migration &migration, bool postgres)
{
    QString sql = migration.sql;
    sql.remove(QRegularExpression(QStringLiteral("--[^\n]*")));
    sql.replace(QLatin1String("{{id}}"), postgres
                                             ? QLatin1String("BIGSERIAL PRIMARY KEY")
                                             : QLatin1String("INTEGER PRIMARY KEY AUTOINCREMENT"));
    sql.replace(QLatin1String("{{timestamp}}"),
                postgres ? QLatin1String("TIMESTAMPTZ") : QLatin1String("TEXT"));
    QStringList out;
    for (const QString &statement : sql.split(QLatin1Char(';'))) {
        const QString trimmed = statement.trimmed();
        if (!trimmed.isEmpty())
            out << trimmed;
    }
    return out;
}

ResultsSchema::Result ResultsSchema::check(DatabaseConnection &connection, const QString &where)
{
    QSqlDatabase &db = connection.db();
    Result result;
    if (!db.tables().contains(QStringLiteral("schema_migrations"))) {
        result.outcome = Empty;
        result.message = QStringLiteral("%1 holds no results yet").arg(where);
        return result;
    }
    QList<Applied> applied;
    QString error;
    if (!readHistory(db, &applied, &error)) {
        result.message = QStringLiteral("%1: %2").arg(where, error);
        return result;
    }
    return judgeHistory(applied, where);
}

ResultsSchema::Result ResultsSchema::apply(DatabaseConnection &connection, const QString &where,
                                           int upTo)
{
    if (upTo < 0)
        upTo = latestVersion();
    QSqlDatabase &db = connection.db();
    const bool postgres = connection.isPostgres();
    Result result;
    QSqlQuery query(db);
    // The reason is the server's, from the query that failed.
    const auto failWith = [&](const QString &what, const QString &reason) {
        result.outcome = Failed;
        result.message = QStringLiteral("%1: %2: %3").arg(where, what, reason);
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return result;
    };
    const auto fail = [&](const QString &what) { return failWith(what, errorText(query)); };

    // SQLite: take the write lock at once, so that the history read below
    // is still true when the changes are made.
    if (!query.exec(postgres ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE")))
        return fail(QStringLiteral("cannot begin"));
    if (postgres &&
        !query.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(migrationLock)))
        return fail(QStringLiteral("cannot lock the schema"));
    // The server's notice that the history is there already is no news.
    if (postgres && !query.exec(QStringLiteral("SET LOCAL client_min_messages = warning")))
        return fail(QStringLiteral("cannot set the message level"));
    if (!query.exec(QLatin1String(historyTable)))
        return fail(QStringLiteral("cannot make the schema history"));

    QList<Applied> applied;
    QString error;
    if (!readHistory(db, &applied, &error))
        return failWith(QStringLiteral("cannot read the schema history"), error);
    result = judgeHistory(applied, where);
    if (result.outcome != Ready) {
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return result;
    }

    for (const Migration &migration : migrations()) {
        if (migration.version <= result.version || migration.version > upTo)
            continue;
        for (const QString &statement : statements(migration, postgres)) {
            if (!query.exec(statement))
                return fail(
                    QStringLiteral("schema %1 (%2)").arg(migration.version).arg(migration.name));
        }
        query.prepare(QStringLiteral(
            "INSERT INTO schema_migrations (version, name, applied_at) VALUES (?, ?, ?)"));
        query.addBindValue(migration.version);
        query.addBindValue(migration.name);
        query.addBindValue(DatabaseConnection::timeValue(QDateTime::currentDateTimeUtc()));
        if (!query.exec())
            return fail(QStringLiteral("cannot note schema %1").arg(migration.version));
        result.version = migration.version;
    }
    if (!query.exec(QStringLiteral("COMMIT")))
        return fail(QStringLiteral("cannot commit the schema"));
    result.outcome = Ready;
    return result;
}
