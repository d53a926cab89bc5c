#ifndef CYCLETABLES_H
#define CYCLETABLES_H

#include "cyclerecord.h"

#include <QList>
#include <QSqlQuery>
#include <QString>
#include <QStringList>

#include <map>
#include <memory>

class DatabaseConnection;

// The SQL of the cycles and duts tables, alike for SQLite and PostgreSQL:
// stores a cycle with its DUTs and reads cycles back. Call insert() inside a
// transaction of the caller's, so that a cycle is stored whole or not at all.
class CycleTables
{
public:
    explicit CycleTables(DatabaseConnection &connection);

    // Stores the cycle and its DUTs, unless the database holds a cycle of
    // that station with that uid already: then nothing changes and *stored
    // is false. Returns false on a database error (see error()).
    bool insert(const CycleRecord &record, bool *stored = nullptr);

    // Up to `limit` cycles whose id is above `afterId`, oldest first, with
    // their ids.
    bool readAfter(qint64 afterId, int limit, QList<CycleRecord> *records, QList<qint64> *ids);

    // How many cycles have an id above `afterId`; -1 on an error.
    qint64 countAfter(qint64 afterId);

    QString error() const { return m_error; }
    // The database's code of the last error (PostgreSQL's SQLSTATE).
    QString errorCode() const { return m_errorCode; }

private:
    bool fail(const QSqlQuery &query, const QString &what);
    QSqlQuery &dutInsert(int count);

    DatabaseConnection &m_connection;
    QSqlQuery m_cycleInsert;
    bool m_cycleInsertPrepared = false;
    // The cycle's columns the table has (a database of an older schema, as
    // a test makes one, lacks the newer ones).
    QStringList m_cycleColumns;
    // By number of DUTs. Queries cannot be copied under Qt 6: each is held
    // once, where its reference stays valid.
    std::map<int, std::unique_ptr<QSqlQuery>> m_dutInserts;
    QString m_error;
    QString m_errorCode;
};

#endif // CYCLETABLES_H
