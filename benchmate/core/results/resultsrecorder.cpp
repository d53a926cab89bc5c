#include "resultsrecorder.h"

#include "cycletables.h"
#include "databaseconnection.h"
#include "localresultsdb.h"
#include "sqlfailure.h"

#include <QDebug>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

ResultsRecorder::ResultsRecorder(const QString &path)
    : m_path(path)
{}

ResultsRecorder::~ResultsRecorder()
{
    QString error;
    if (!m_pending.isEmpty() && !flush(&error))
        qWarning().noquote() << QStringLiteral("Results database: %1 cycle(s) could not be "
                                               "recorded in %2 (%3); they are in the results "
                                               "file only.")
                                    .arg(m_pending.size())
                                    .arg(m_path, error);
    closeDatabase();
}

void ResultsRecorder::closeDatabase()
{
    m_tables.reset();
    m_connection.reset();
}

bool ResultsRecorder::ensureOpen(QString *error)
{
    if (m_connection && m_connection->db().isOpen())
        return true;
    closeDatabase();
    m_connection = std::make_unique<DatabaseConnection>(QStringLiteral("QSQLITE"));
    if (!LocalResultsDb::open(*m_connection, m_path, LocalResultsDb::ForRecording, error)) {
        closeDatabase();
        return false;
    }
    m_folderUid = LocalResultsDb::folderUid(*m_connection, error);
    if (m_folderUid.isEmpty()) {
        closeDatabase();
        return false;
    }
    m_tables = std::make_unique<CycleTables>(*m_connection);
    return true;
}

bool ResultsRecorder::writeOne(const CycleRecord &record, QString *error)
{
    QSqlDatabase &db = m_connection->db();
    QSqlQuery begin(db);
    // The write lock at once: the forwarder's mark is the only other writer.
    if (!begin.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return SqlFailure::fail(QStringLiteral("cannot begin"), begin.lastError(), error);
    CycleRecord stamped = record;
    if (stamped.folderUid.isEmpty())
        stamped.folderUid = m_folderUid;
    if (!m_tables->insert(stamped, error)) {
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return false;
    }
    QSqlQuery commit(db);
    if (!commit.exec(QStringLiteral("COMMIT"))) {
        SqlFailure::fail(QStringLiteral("cannot commit"), commit.lastError(), error);
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return false;
    }
    return true;
}

bool ResultsRecorder::flush(QString *error)
{
    while (!m_pending.isEmpty()) {
        if (!ensureOpen(error) || !writeOne(m_pending.first(), error)) {
            // Opened afresh next time: a file replaced or repaired meanwhile
            // is taken as it is then.
            closeDatabase();
            return false;
        }
        m_pending.removeFirst();
    }
    return true;
}

bool ResultsRecorder::recordCycle(const CycleRecord &record, QString *error)
{
    m_pending.append(record);
    const bool recorded = flush(error);
    if (!recorded)
        qWarning().noquote()
            << QStringLiteral("Results database: %1 cycle(s) not recorded yet in %2 (%3); kept, "
                              "and recorded ahead of the next cycle.")
                   .arg(m_pending.size())
                   .arg(m_path, *error);
    return recorded;
}
