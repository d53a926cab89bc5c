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
    // is false. False on a database error, with *error set and *sqlState
    // (when given) the database's code of it (PostgreSQL's SQLSTATE).
    bool insert(const CycleRecord &record, QString *error, bool *stored = nullptr,
                QString *sqlState = nullptr);

    // Up to `limit` cycles whose id is above `afterId`, oldest first, with
    // their ids. False with *error set.
    bool readAfter(qint64 afterId, int limit, QList<CycleRecord> *records, QList<qint64> *ids,
                   QString *error);

    // How many cycles have an id above `afterId`. False with *error set.
    bool countAfter(qint64 afterId, qint64 *count, QString *error);

private:
    // The prepared insert of `count` DUTs; null with *error set.
    QSqlQuery *dutInsert(int count, QString *error, QString *sqlState);

    DatabaseConnection &m_connection;
    QSqlQuery m_cycleInsert;
    bool m_cycleInsertPrepared = false;
    // The cycle's columns the table has (a database of an older schema, as
    // a test makes one, lacks the newer ones).
    QStringList m_cycleColumns;
    // By number of DUTs. Queries cannot be copied under Qt 6: each is held
    // once, where its reference stays valid.
    std::map<int, std::unique_ptr<QSqlQuery>> m_dutInserts;
};

#endif // CYCLETABLES_H
