#ifndef RESULTSSCHEMA_H
#define RESULTSSCHEMA_H

#include <QList>
#include <QString>

class DatabaseConnection;

// The results tables as numbered SQL files (schema/NNN_name.sql, compiled
// in), applied in order. A database records what it got in the table
// schema_migrations; a new station brings an older database up to date on
// its first connection, and refuses one whose schema is newer than it knows.
class ResultsSchema
{
public:
    struct Migration
    {
        int version = 0;
        QString name; // the file name without number and ".sql"
        QString sql;  // with {{id}} and {{timestamp}} still in
    };

    enum Outcome
    {
        Ready,    // at the wanted version
        Newer,    // the database is newer than this station knows
        Mismatch, // the database's history differs from this station's files
        Failed,   // a database error
        Empty,    // (check only) no results tables yet
    };

    struct Result
    {
        Outcome outcome = Failed;
        int version = 0; // the database's version afterwards (or as found)
        QString message;
    };

    static QList<Migration> migrations();
    static int latestVersion();

    // The statements of a migration for the connection's dialect.
    static QStringList statements(const Migration &migration, bool postgres);

    // Brings the database to version `upTo` (the latest by default), all in
    // one transaction that also keeps a second station doing the same at the
    // same moment waiting. `where` names the database in messages.
    static Result apply(DatabaseConnection &connection, const QString &where, int upTo = -1);

    // Reads the version without changing anything.
    static Result check(DatabaseConnection &connection, const QString &where);
};

#endif // RESULTSSCHEMA_H
