#include "resultsforwarder.h"

#include "cycletables.h"
#include "databaseconnection.h"
#include "factorydb.h"
#include "forwardcheck.h"
#include "localresultsdb.h"
#include "sqlfailure.h"

#include <QDateTime>
#include <QDebug>
#include <QPair>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QTimer>
#include <QVariant>

#include <chrono>

namespace {

constexpr int firstRetryMs = 1000;
// How often a connection checks that the factory still holds what went
// over (and at once on each new connection).
constexpr qint64 checkEveryMs = 60000;

// Why PostgreSQL can never store the cycle as it is; empty when it can.
QString unstorable(const CycleRecord &r)
{
    const QChar nul(0);
    const QList<QPair<const char *, const QString *>> texts = {
        {"station id", &r.stationId},     {"cycle uid", &r.cycleUid},
        {"golden MAC", &r.goldenMac},     {"cycle error", &r.cycleError},
        {"image path", &r.imagePath},     {"image SHA-256", &r.imageSha256},
        {"tool version", &r.toolVersion},
    };
    for (const auto &text : texts) {
        if (text.second->contains(nul))
            return QStringLiteral("a NUL character in its %1").arg(QLatin1String(text.first));
    }
    for (const DutRecord &d : r.duts) {
        for (const QString *text :
             {&d.device, &d.port, &d.mac, &d.flashUid, &d.downloadStatus, &d.macStatus,
              &d.calibrationStatus, &d.txStatus, &d.verdict, &d.failedStep, &d.failureLog}) {
            if (text->contains(nul))
                return QStringLiteral("a NUL character in DUT %1's record").arg(d.position);
        }
    }
    return QString();
}

// PostgreSQL's class 22, data exception: a value of the cycle refused
// (out of range, not valid in the encoding), whatever the connection.
bool refusedAsData(const QString &sqlState)
{
    return sqlState.startsWith(QLatin1String("22"));
}

qint64 steadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

ResultsForwarder::ResultsForwarder(const QString &localPath, const FactoryDbSettings &settings,
                                   QObject *parent)
    : QObject(parent)
    , m_localPath(localPath)
    , m_settings(settings)
    , m_retry(new QTimer(this))
{
    qRegisterMetaType<ForwardStatus>();
    m_retry->setSingleShot(true);
    connect(m_retry, &QTimer::timeout, this, &ResultsForwarder::attempt);
    m_status.state = ForwardStatus::Starting;
    m_status.target = settings.target();
}

ResultsForwarder::~ResultsForwarder() = default;

ForwardStatus ResultsForwarder::status() const
{
    std::lock_guard<std::mutex> lock(m_statusLock);
    return m_status;
}

void ResultsForwarder::requestStop()
{
    m_stop.store(true);
}

qint64 ResultsForwarder::callWaitingMs() const
{
    const qint64 since = m_callSince.load();
    return since == 0 ? 0 : qMax<qint64>(1, steadyMs() - since);
}

void ResultsForwarder::breakStuckCall()
{
    std::lock_guard<std::mutex> lock(m_socketLock);
    if (m_socket < 0)
        return;
    m_broken.store(true);
    FactoryDb::breakSocket(m_socket);
}

void ResultsForwarder::callStarts()
{
    m_callSince.store(steadyMs());
}

void ResultsForwarder::callEnded()
{
    m_callSince.store(0);
}

void ResultsForwarder::noteRecorded()
{
    std::lock_guard<std::mutex> lock(m_statusLock);
    ++m_status.waiting;
}

void ResultsForwarder::dropFactory()
{
    m_checkedAt = 0;
    std::lock_guard<std::mutex> lock(m_socketLock);
    m_socket = -1;
    m_factoryTables.reset();
    m_factory.reset();
}

void ResultsForwarder::start()
{
    attempt();
}

void ResultsForwarder::poke()
{
    if (!m_busy)
        attempt();
}

void ResultsForwarder::shutdown()
{
    m_stop.store(true);
    m_retry->stop();
    dropFactory();
    m_localTables.reset();
    m_local.reset();
    m_shutDown.store(true, std::memory_order_release);
    thread()->quit();
}

QString ResultsForwarder::noAnswer()
{
    return QStringLiteral("the server did not answer within %1 s").arg(answerLimitMs / 1000);
}

void ResultsForwarder::setStatus(ForwardStatus::State state, const QString &detail)
{
    ForwardStatus copy;
    {
        std::lock_guard<std::mutex> lock(m_statusLock);
        m_status.state = state;
        m_status.detail = detail;
        copy = m_status;
    }
    emit statusChanged(copy);
}

void ResultsForwarder::refreshWaiting(qint64 mark)
{
    // Not counted (the file busy a moment): the count stands as it was, and
    // the next attempt counts again.
    qint64 waiting = 0;
    QString error;
    if (!m_localTables->countAfter(mark, &waiting, &error))
        return;
    std::lock_guard<std::mutex> lock(m_statusLock);
    m_status.waiting = waiting;
}

void ResultsForwarder::scheduleRetry()
{
    if (m_stop.load())
        return;
    const int maxMs = m_settings.retrySeconds * 1000;
    m_backoffMs = m_backoffMs == 0 ? firstRetryMs : qMin(m_backoffMs * 2, maxMs);
    m_retry->start(qMin(m_backoffMs, maxMs));
}

bool ResultsForwarder::openLocal()
{
    if (m_local)
        return true;
    m_local = std::make_unique<DatabaseConnection>(QStringLiteral("QSQLITE"));
    QString error;
    if (!LocalResultsDb::open(*m_local, m_localPath, LocalResultsDb::ForRecording, &error)) {
        m_local.reset();
        setStatus(ForwardStatus::LocalFailed, error);
        return false;
    }
    m_localTables = std::make_unique<CycleTables>(*m_local);
    return true;
}

bool ResultsForwarder::openFactory()
{
    if (m_factory)
        return true;
    m_factory = std::make_unique<DatabaseConnection>(QStringLiteral("QPSQL"));
    m_broken.store(false);
    // The connect is bounded by connect_timeout; the statements after it
    // (time-outs, schema) by the watch.
    callStarts();
    FactoryDb::Opened opened =
        FactoryDb::open(*m_factory, m_settings, FactoryDb::ForForwarding, [this](qintptr socket) {
            std::lock_guard<std::mutex> lock(m_socketLock);
            m_socket = socket;
        });
    callEnded();
    if (!opened.ok() || m_broken.load()) {
        dropFactory();
        if (m_broken.load()) {
            opened.state = ForwardStatus::Unreachable;
            opened.detail = noAnswer();
        }
        setStatus(opened.state, opened.detail);
        return false;
    }
    m_stationId = opened.stationId;
    m_factoryTables = std::make_unique<CycleTables>(*m_factory);
    return true;
}

bool ResultsForwarder::readMark(qint64 *mark, QString *error)
{
    QSqlQuery q(m_local->db());
    // Prepared apart: a table the file lacks is said as such.
    if (!q.prepare(QStringLiteral("SELECT last_cycle_id FROM forward_marks WHERE target = ?")))
        return SqlFailure::fail(QStringLiteral("cannot read the forwarding mark"), q.lastError(),
                                error);
    q.addBindValue(m_settings.target());
    if (!q.exec())
        return SqlFailure::fail(QStringLiteral("cannot read the forwarding mark"), q.lastError(),
                                error);
    *mark = q.next() ? q.value(0).toLongLong() : 0;
    return true;
}

bool ResultsForwarder::writeMark(qint64 lastId)
{
    QSqlQuery q(m_local->db());
    const bool prepared =
        q.prepare(QStringLiteral("INSERT INTO forward_marks (target, last_cycle_id) VALUES (?, ?) "
                                 "ON CONFLICT (target) DO UPDATE SET last_cycle_id = "
                                 "excluded.last_cycle_id"));
    q.addBindValue(m_settings.target());
    q.addBindValue(lastId);
    if (prepared && q.exec())
        return true;
    setStatus(
        ForwardStatus::LocalFailed,
        SqlFailure::reason(QStringLiteral("cannot write the forwarding mark"), q.lastError()));
    return false;
}

// What went wrong with the factory database: a connection that broke is
// told apart from an error of the database itself by connecting again.
void ResultsForwarder::factoryFailed(const QString &what)
{
    callEnded();
    dropFactory();
    if (m_broken.exchange(false)) {
        setStatus(ForwardStatus::Unreachable, noAnswer());
        return;
    }
    if (m_stop.load()) {
        setStatus(ForwardStatus::Failed, what);
        return;
    }
    if (openFactory())
        setStatus(ForwardStatus::Failed, what);
}

bool ResultsForwarder::sendBatch(qint64 *mark)
{
    QList<CycleRecord> records;
    QList<qint64> ids;
    QString error;
    if (!m_localTables->readAfter(*mark, batchCycles, &records, &ids, &error)) {
        setStatus(ForwardStatus::LocalFailed, error);
        m_localTables.reset();
        m_local.reset();
        return false;
    }
    if (records.isEmpty())
        return true;

    int refused = -1;
    QString why;
    if (!sendRecords(records, &refused, &why)) {
        if (refused < 0)
            return false;
        // The cycles ahead of the refused one go over without it.
        if (refused > 0) {
            int again = -1;
            if (!sendRecords(records.mid(0, refused), &again, &why))
                return false;
        }
        records = records.mid(0, refused + 1);
        ids = ids.mid(0, refused + 1);
        setAside(records.last(), why);
    }
    noteSetAside(refused >= 0 ? records.mid(0, refused) : records,
                 refused >= 0 ? &records.last() : nullptr, why);
    // Sent. Should the station stop before the mark is written, the batch
    // goes again and the factory database ignores what it has.
    if (!writeMark(ids.last()))
        return false;
    *mark = ids.last();
    std::lock_guard<std::mutex> lock(m_statusLock);
    m_status.forwarded += records.size() - (refused >= 0 ? 1 : 0);
    m_status.waiting = qMax<qint64>(0, m_status.waiting - records.size());
    return true;
}

bool ResultsForwarder::checkFactoryHolds(qint64 *mark)
{
    if (m_stationId.isEmpty())
        return true;
    if (m_checkedAt != 0 && steadyMs() - m_checkedAt < checkEveryMs)
        return true;
    // The station's own count, for the factory's reports. Not having it
    // there holds no cycle up: said at each check.
    QString countError;
    int otherFolders = 0;
    callStarts();
    const bool counted =
        ForwardCheck::reportCount(*m_local, *m_factory, m_stationId, &otherFolders, &countError);
    callEnded();
    if (m_broken.load()) {
        factoryFailed(countError);
        return false;
    }
    if (!counted)
        qWarning().noquote()
            << QStringLiteral("Factory database %1: %2").arg(m_settings.target(), countError);
    // Said once a run: each folder's cycles are its own, but the reports
    // take them as one station's.
    if (otherFolders > 0 && !m_otherFoldersSaid) {
        m_otherFoldersSaid = true;
        qWarning().noquote() << QStringLiteral("Factory database %1: %2 other station folder(s) "
                                               "report under station id %3 too; give each "
                                               "station its own id in config/station.ini.")
                                    .arg(m_settings.target())
                                    .arg(otherFolders)
                                    .arg(m_stationId);
    }
    if (*mark <= 0) {
        m_checkedAt = steadyMs();
        return true;
    }
    callStarts();
    ForwardCheck::Gap gap;
    QString gapError;
    bool inFactory = false;
    const bool checked = ForwardCheck::find(*m_local, *m_factory, m_stationId, *mark, m_passedOver,
                                            &gap, &gapError, &inFactory);
    callEnded();
    if (!checked) {
        if (inFactory)
            factoryFailed(gapError);
        else
            setStatus(ForwardStatus::LocalFailed, gapError);
        return false;
    }
    m_checkedAt = steadyMs();
    if (gap.resendAfter < 0)
        return true;
    // Cycles set aside by an earlier run are tried once more after each
    // start; the others were lost there.
    qint64 retried = 0;
    for (const QString &uid : earlierSetAside()) {
        if (gap.missingUids.contains(uid))
            ++retried;
    }
    if (gap.missing > retried)
        qWarning().noquote() << QStringLiteral("Factory database %1 lacks %2 cycle(s) of station "
                                               "%3 that went over before (made again, restored "
                                               "or deleted there); they go again.")
                                    .arg(m_settings.target())
                                    .arg(gap.missing - retried)
                                    .arg(m_stationId);
    if (retried > 0)
        qWarning().noquote() << QStringLiteral("Factory database %1: %2 cycle(s) of station %3 "
                                               "set aside before are tried once more.")
                                    .arg(m_settings.target())
                                    .arg(retried)
                                    .arg(m_stationId);
    if (!writeMark(gap.resendAfter))
        return false;
    *mark = gap.resendAfter;
    refreshWaiting(*mark);
    return true;
}

QSet<QString> ResultsForwarder::earlierSetAside()
{
    QSet<QString> uids;
    QSqlQuery q(m_local->db());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT cycle_uid FROM set_aside WHERE target = ?"));
    q.addBindValue(m_settings.target());
    if (!q.exec())
        return uids;
    while (q.next())
        uids.insert(q.value(0).toString());
    return uids;
}

void ResultsForwarder::noteSetAside(const QList<CycleRecord> &sent, const CycleRecord *refused,
                                    const QString &why)
{
    // The station's file remembers what the factory could not store, so
    // that the next start tries it once more and says so; a cycle that went
    // over on such a try is no longer set aside. A failure here loses no
    // cycle: the record is the station's own note.
    QSqlQuery q(m_local->db());
    // Only a file that notes some writes (each write is a commit on disk).
    q.prepare(QStringLiteral("SELECT 1 FROM set_aside WHERE target = ? LIMIT 1"));
    q.addBindValue(m_settings.target());
    const bool noted = q.exec() && q.next();
    q.finish();
    if (noted && !sent.isEmpty()) {
        QStringList marks;
        for (int i = 0; i < sent.size(); ++i)
            marks << QStringLiteral("?");
        q.prepare(QStringLiteral("DELETE FROM set_aside WHERE target = ? AND cycle_uid IN (%1)")
                      .arg(marks.join(QLatin1Char(','))));
        q.addBindValue(m_settings.target());
        for (const CycleRecord &r : sent)
            q.addBindValue(r.cycleUid);
        static_cast<void>(q.exec());
    }
    if (!refused)
        return;
    q.prepare(QStringLiteral("INSERT INTO set_aside (target, cycle_uid, reason, set_at) VALUES "
                             "(?, ?, ?, ?) ON CONFLICT (target, cycle_uid) DO UPDATE SET reason "
                             "= excluded.reason, set_at = excluded.set_at"));
    q.addBindValue(m_settings.target());
    q.addBindValue(refused->cycleUid);
    q.addBindValue(why);
    q.addBindValue(DatabaseConnection::timeValue(QDateTime::currentDateTimeUtc()));
    static_cast<void>(q.exec());
}

void ResultsForwarder::setAside(const CycleRecord &record, const QString &why)
{
    if (record.stationId == m_stationId)
        m_passedOver.insert(record.cycleUid);
    qWarning().noquote() << QStringLiteral("Factory database %1: cycle %2 of station %3 cannot be "
                                           "stored there (%4); set aside, it stays in the "
                                           "station's file.")
                                .arg(m_settings.target(), record.cycleUid,
                                     QString(record.stationId).replace(QChar(0), QChar(0xfffd)),
                                     why);
    std::lock_guard<std::mutex> lock(m_statusLock);
    ++m_status.setAside;
    m_status.setAsideReason = why;
}

// One transaction. False either with *refused the index of a cycle the
// database cannot store (nothing of the batch stored), or with the failure
// handled (factoryFailed).
bool ResultsForwarder::sendRecords(const QList<CycleRecord> &records, int *refused, QString *why)
{
    *refused = -1;
    for (int i = 0; i < records.size(); ++i) {
        QString reason = unstorable(records.at(i));
        // Recorded under another id (the station's id was changed): the
        // factory keeps this login to its own station's rows.
        if (reason.isEmpty() && records.at(i).stationId != m_stationId)
            reason = QStringLiteral("its station id is not %1, the one this login forwards for")
                         .arg(m_stationId);
        if (!reason.isEmpty()) {
            *refused = i;
            *why = reason;
            return false;
        }
    }
    QSqlDatabase &db = m_factory->db();
    QSqlQuery q(db);
    callStarts();
    if (!q.exec(QStringLiteral("BEGIN"))) {
        const QString error = SqlFailure::reason(QStringLiteral("cannot begin"), q.lastError());
        q.finish();
        factoryFailed(error);
        return false;
    }
    for (int i = 0; i < records.size(); ++i) {
        callStarts();
        QString error;
        QString sqlState;
        if (!m_factoryTables->insert(records.at(i), &error, nullptr, &sqlState)) {
            const bool asData = refusedAsData(sqlState);
            if (!m_broken.load())
                QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            q.finish();
            if (asData && !m_broken.load()) {
                callEnded();
                *refused = i;
                *why = error;
                return false;
            }
            factoryFailed(error);
            return false;
        }
    }
    callStarts();
    if (!q.exec(QStringLiteral("COMMIT"))) {
        const QString error = SqlFailure::reason(QStringLiteral("cannot commit"), q.lastError());
        q.finish();
        factoryFailed(error);
        return false;
    }
    callEnded();
    return true;
}

void ResultsForwarder::attempt()
{
    if (m_stop.load() || m_busy)
        return;
    m_busy = true;
    m_retry->stop();
    bool ok = openLocal();
    qint64 mark = -1;
    QString markError;
    if (ok && !readMark(&mark, &markError)) {
        setStatus(ForwardStatus::LocalFailed, markError);
        ok = false;
    }
    if (ok)
        refreshWaiting(mark);
    if (ok)
        ok = openFactory();
    if (ok)
        ok = checkFactoryHolds(&mark);
    while (ok && !m_stop.load()) {
        const qint64 before = mark;
        ok = sendBatch(&mark);
        if (!ok || mark == before)
            break;
        setStatus(ForwardStatus::Sending);
    }
    if (ok && m_local)
        refreshWaiting(mark);
    m_busy = false;
    {
        std::lock_guard<std::mutex> lock(m_statusLock);
        ++m_status.attempts;
    }
    if (m_stop.load())
        return;
    if (ok) {
        m_backoffMs = 0;
        setStatus(ForwardStatus::UpToDate);
        // Now and then, for cycles another program recorded in this file.
        m_retry->start(m_settings.retrySeconds * 1000);
        return;
    }
    emit statusChanged(status());
    scheduleRetry();
}
