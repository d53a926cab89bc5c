#include "resultsrecorder.h"

#include "cycletables.h"
#include "databaseconnection.h"
#include "localresultsdb.h"

#include <QDebug>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

ResultsRecorder::ResultsRecorder(const QString &path)
    : m_path(path)
{}

ResultsRecorder::~ResultsRecorder()
{
    if (!m_pending.isEmpty() && !flush())
        qWarning().noquote() << QStringLiteral("Results database: %1 cycle(s) could not be "
                                               "recorded in %2 (%3); they are in the results "
                                               "file only.")
                                    .arg(m_pending.size())
                                    .arg(m_path, m_lastError);
    closeDatabase();
}

void ResultsRecorder::closeDatabase()
{
    m_tables.reset();
    m_connection.reset();
}

bool ResultsRecorder::ensureOpen()
{
    if (m_connection && m_connection->db().isOpen())
        return true;
    closeDatabase();
    m_connection = std::make_unique<DatabaseConnection>(QStringLiteral("QSQLITE"));
    QString error;
    if (!LocalResultsDb::open(*m_connection, m_path, LocalResultsDb::ForRecording, &error)) {
        m_lastError = error;
        closeDatabase();
        return false;
    }
    m_folderUid = LocalResultsDb::folderUid(*m_connection, &error);
    if (m_folderUid.isEmpty()) {
        m_lastError = error;
        closeDatabase();
        return false;
    }
    m_tables = std::make_unique<CycleTables>(*m_connection);
    return true;
}

bool ResultsRecorder::writeOne(const CycleRecord &record)
{
    QSqlDatabase &db = m_connection->db();
    QSqlQuery begin(db);
    // The write lock at once: the forwarder's mark is the only other writer.
    if (!begin.exec(QStringLiteral("BEGIN IMMEDIATE"))) {
        m_lastError = QStringLiteral("cannot begin: ") + begin.lastError().text().trimmed();
        return false;
    }
    CycleRecord stamped = record;
    if (stamped.folderUid.isEmpty())
        stamped.folderUid = m_folderUid;
    if (!m_tables->insert(stamped)) {
        m_lastError = m_tables->error();
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return false;
    }
    QSqlQuery commit(db);
    if (!commit.exec(QStringLiteral("COMMIT"))) {
        m_lastError = QStringLiteral("cannot commit: ") + commit.lastError().text().trimmed();
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return false;
    }
    return true;
}

bool ResultsRecorder::flush()
{
    m_lastError.clear();
    while (!m_pending.isEmpty()) {
        if (!ensureOpen() || !writeOne(m_pending.first())) {
            // Opened afresh next time: a file replaced or repaired meanwhile
            // is taken as it is then.
            closeDatabase();
            return false;
        }
        m_pending.removeFirst();
    }
    return true;
}

bool ResultsRecorder::recordCycle(const CycleRecord &record)
{
    m_pending.append(record);
    const bool recorded = flush();
    if (!recorded)
        qWarning().noquote()
            << QStringLiteral("Results database: %1 cycle(s) not recorded yet in %2 (%3); kept, "
                              "and recorded ahead of the next cycle.")
                   .arg(m_pending.size())
                   .arg(m_path, m_lastError);
    return recorded;
}
