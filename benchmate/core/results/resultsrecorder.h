#ifndef RESULTSRECORDER_H
#define RESULTSRECORDER_H

#include "cyclerecord.h"

#include <QList>
#include <QString>

#include <memory>

class CycleTables;
class DatabaseConnection;

// Records the station's cycles in its own results database. Each cycle goes
// in with one transaction, so a station killed at any moment leaves it there
// whole or not at all. A cycle that cannot be recorded (a full disk, a file
// that cannot be opened, a schema newer than the station) is kept and
// recorded ahead of the next cycle; the console says so each time.
//
// Lives in one thread: the one that records (the window's or benchrun's).
class ResultsRecorder
{
public:
    explicit ResultsRecorder(const QString &path);
    ~ResultsRecorder();
    ResultsRecorder(const ResultsRecorder &) = delete;
    ResultsRecorder &operator=(const ResultsRecorder &) = delete;

    // Records the cycle after what is pending. True when nothing is left
    // pending; false with *error set.
    bool recordCycle(const CycleRecord &record, QString *error);
    // Records what is pending. False with *error set.
    bool flush(QString *error);

    int pendingCount() const { return m_pending.size(); }
    QString path() const { return m_path; }

private:
    bool ensureOpen(QString *error);
    bool writeOne(const CycleRecord &record, QString *error);
    void closeDatabase();

    QString m_path;
    std::unique_ptr<DatabaseConnection> m_connection;
    std::unique_ptr<CycleTables> m_tables;
    QString m_folderUid; // of the open file
    QList<CycleRecord> m_pending;
};

#endif // RESULTSRECORDER_H
