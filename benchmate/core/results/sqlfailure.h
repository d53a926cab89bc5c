#ifndef SQLFAILURE_H
#define SQLFAILURE_H

#include <QSqlError>
#include <QString>

// How the results code says that a statement failed, the one way for every
// class here: a call that can fail returns false (or a value with a bool ok)
// and fills `QString *error` with the whole reason, what it was doing and the
// driver's words (the server's, for PostgreSQL), never empty. A caller that
// must tell one failure from another (a value the server refuses, a lock
// time-out, a permission) passes `QString *sqlState` as well.
class SqlFailure
{
public:
    // The driver's words for `error`; never empty, also when the driver gives
    // none.
    static QString reason(const QSqlError &error);
    // "what: reason".
    static QString reason(const QString &what, const QSqlError &error);

    // Sets *error to "what: reason" and, when asked for, *sqlState to the
    // error's code (PostgreSQL's SQLSTATE, SQLite's result code). Returns
    // false, for `return SqlFailure::fail(...)`.
    static bool fail(const QString &what, const QSqlError &error, QString *errorOut,
                     QString *sqlState = nullptr);
};

#endif // SQLFAILURE_H
