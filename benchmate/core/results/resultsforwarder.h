#ifndef RESULTSFORWARDER_H
#define RESULTSFORWARDER_H

#include "cyclerecord.h"
#include "forwardstatus.h"
#include "stationsettings.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>

class CycleTables;
class DatabaseConnection;
class QTimer;

// Takes the cycles of the station's own database over to the factory's
// shared database, oldest first, in batches. Lives in a thread of its own
// with its own connections, so a cycle never waits for it and never fails
// because of it.
//
// Each batch goes in with one transaction there; then the station's
// database notes how far it got (its forwarding mark). A station that dies
// between the two sends the batch again: the factory database keeps one
// copy of a cycle (unique per station and cycle), so every cycle arrives
// exactly once. While the factory database cannot be used, the cycles wait
// and the attempts repeat, at growing intervals up to retry_seconds.
//
// Every wait on the factory's server is bounded: the connection's time-outs
// (FactoryDb), and for a server that accepts but never answers (stopped,
// hung: its kernel still acknowledges), a watch from the owner's thread:
// a call that has waited answerLimitMs is broken off (breakStuckCall), and
// the cycles wait as for a server out of reach.
//
// On each new connection, and then once a minute, an attempt first checks
// that the factory database still holds what the mark says went over
// (ForwardCheck): one made again or restored from an
// older dump gets those cycles again.
//
// A cycle the factory database cannot store (a NUL character in a text,
// which PostgreSQL's text cannot hold, or a value it refuses as data) is set
// aside: said, counted in the status and passed over, so that it never
// holds up the cycles behind it. It stays in the station's file, which notes
// it (set_aside); after each start of the station it is tried once more (a
// factory whose server was mended may take it then).
class ResultsForwarder : public QObject
{
    Q_OBJECT

public:
    // Cycles per transaction in the factory database.
    static constexpr int batchCycles = 50;
    // How long one call may wait for the server's answer, ms: longer than
    // the server's own statement time-out (FactoryDb).
    static constexpr int answerLimitMs = 10000;

    ResultsForwarder(const QString &localPath, const FactoryDbSettings &settings,
                     QObject *parent = nullptr);
    ~ResultsForwarder() override;

    // Any thread.
    ForwardStatus status() const;
    // Any thread: ends the work at the next batch.
    void requestStop();
    // Any thread: shutdown() has run. Once it returns true, everything the
    // forwarder's thread wrote is visible to the caller (the object may go).
    bool isShutDown() const { return m_shutDown.load(std::memory_order_acquire); }

    // Any thread: a cycle was recorded; it counts as waiting at once, also
    // while an attempt is held up by the server (the next attempt counts
    // again).
    void noteRecorded();

    // Any thread: how long the call to the factory's server under way has
    // waited, ms; 0 when none is under way.
    qint64 callWaitingMs() const;
    // Any thread: breaks the factory connection off, so that the call
    // waiting on it returns with an error at once.
    void breakStuckCall();

public slots:
    // In the forwarder's thread: the first attempt.
    void start();
    // A cycle was recorded: try now.
    void poke();
    // In the forwarder's thread, before it ends: drops the connections and
    // ends the thread's event loop.
    void shutdown();

signals:
    void statusChanged(const ForwardStatus &status);

private:
    void attempt();
    bool openLocal();
    bool openFactory();
    bool readMark(qint64 *mark, QString *error);
    bool writeMark(qint64 lastId);
    // Goes back with the mark when the factory lacks cycles it passed.
    bool checkFactoryHolds(qint64 *mark);
    bool sendBatch(qint64 *mark);
    bool sendRecords(const QList<CycleRecord> &records, int *refused, QString *why);
    void setAside(const CycleRecord &record, const QString &why);
    // The station's file's note of the cycles set aside: `sent` went over,
    // `refused` (when not null) did not.
    void noteSetAside(const QList<CycleRecord> &sent, const CycleRecord *refused,
                      const QString &why);
    // The uids of cycles set aside by this station's runs, as its file notes them.
    QSet<QString> earlierSetAside();
    void factoryFailed(const QString &what);
    void dropFactory();
    static QString noAnswer();
    void callStarts();
    void callEnded();
    void setStatus(ForwardStatus::State state, const QString &detail = QString());
    void scheduleRetry();
    void refreshWaiting(qint64 mark);

    const QString m_localPath;
    const FactoryDbSettings m_settings;
    std::unique_ptr<DatabaseConnection> m_local;
    std::unique_ptr<CycleTables> m_localTables;
    std::unique_ptr<DatabaseConnection> m_factory;
    std::unique_ptr<CycleTables> m_factoryTables;
    // The station id the factory login forwards for (its row security).
    QString m_stationId;
    // The station's cycles set aside by this process: never in the factory.
    QSet<QString> m_passedOver;
    // Another station folder reporting under this id was said.
    bool m_otherFoldersSaid = false;
    // When the factory connection last checked it (steady clock, ms); 0:
    // not yet on this connection.
    qint64 m_checkedAt = 0;
    QTimer *m_retry = nullptr;
    int m_backoffMs = 0;
    bool m_busy = false;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_shutDown{false};
    // Start of the call under way on the steady clock, ms; 0: none.
    std::atomic<qint64> m_callSince{0};
    std::atomic<bool> m_broken{false};
    // The factory connection's socket, for breakStuckCall(); -1: none. Set
    // and cleared (before the connection is dropped) under the lock, so that
    // a socket closed and its number reused is never shut.
    std::mutex m_socketLock;
    qintptr m_socket = -1;

    mutable std::mutex m_statusLock;
    ForwardStatus m_status;
};

#endif // RESULTSFORWARDER_H
