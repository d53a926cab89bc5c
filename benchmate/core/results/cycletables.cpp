#include "cycletables.h"

#include "databaseconnection.h"

#include <QHash>
#include <QSqlError>
#include <QStringList>
#include <QVariant>

namespace {

const QStringList cycleColumns = {
    QStringLiteral("station_id"),  QStringLiteral("cycle_uid"),    QStringLiteral("number"),
    QStringLiteral("started_at"),  QStringLiteral("ended_at"),     QStringLiteral("golden_mac"),
    QStringLiteral("cycle_error"), QStringLiteral("rx_rssi_min"),  QStringLiteral("rx_rssi_max"),
    QStringLiteral("freq_min"),    QStringLiteral("freq_max"),     QStringLiteral("tx_rssi_min"),
    QStringLiteral("tx_rssi_max"), QStringLiteral("image_path"),   QStringLiteral("image_sha256"),
    QStringLiteral("image_size"),  QStringLiteral("tool_version"), QStringLiteral("dut_count"),
};

const QStringList dutColumns = {
    QStringLiteral("cycle_id"),     QStringLiteral("position"),
    QStringLiteral("slot"),         QStringLiteral("device"),
    QStringLiteral("port"),         QStringLiteral("mac"),
    QStringLiteral("flash_uid"),    QStringLiteral("crystal"),
    QStringLiteral("tx_cal"),       QStringLiteral("rx_cal"),
    QStringLiteral("rx_rssi_min"),  QStringLiteral("rx_rssi_max"),
    QStringLiteral("rx_rssi_avg"),  QStringLiteral("freq_min"),
    QStringLiteral("freq_max"),     QStringLiteral("freq_avg"),
    QStringLiteral("tx_rssi_min"),  QStringLiteral("tx_rssi_max"),
    QStringLiteral("tx_rssi_avg"),  QStringLiteral("download_status"),
    QStringLiteral("mac_status"),   QStringLiteral("calibration_status"),
    QStringLiteral("tx_status"),    QStringLiteral("verdict"),
    QStringLiteral("failed_step"),  QStringLiteral("failure_log"),
    QStringLiteral("rx_rssi_mean"), QStringLiteral("freq_mean"),
    QStringLiteral("tx_rssi_mean"),
};

// No value: a null of type int, SQL NULL in an integer column.
QVariant optional(const std::optional<int> &value)
{
    if (value)
        return QVariant(*value);
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return QVariant(QMetaType::fromType<int>());
#else
    return QVariant(QVariant::Int);
#endif
}

// No value: SQL NULL in a column of fractions.
QVariant optional(const std::optional<double> &value)
{
    if (value)
        return QVariant(*value);
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    return QVariant(QMetaType::fromType<double>());
#else
    return QVariant(QVariant::Double);
#endif
}

std::optional<int> optionalOf(const QVariant &value)
{
    if (value.isNull())
        return std::nullopt;
    return value.toInt();
}

std::optional<double> optionalFraction(const QVariant &value)
{
    if (value.isNull())
        return std::nullopt;
    return value.toDouble();
}

// Qt binds a null text as SQL NULL; an empty one is kept as ''.
QString text(const QString &value)
{
    return value.isNull() ? QString(QLatin1String("")) : value;
}

QString placeholders(int count)
{
    QStringList marks;
    for (int i = 0; i < count; ++i)
        marks << QStringLiteral("?");
    return QLatin1Char('(') + marks.join(QLatin1Char(',')) + QLatin1Char(')');
}

} // namespace

CycleTables::CycleTables(DatabaseConnection &connection)
    : m_connection(connection)
    , m_cycleInsert(connection.db())
{}

bool CycleTables::fail(const QSqlQuery &query, const QString &what)
{
    m_error = what + QStringLiteral(": ") + query.lastError().text().trimmed();
    m_errorCode = query.lastError().nativeErrorCode();
    return false;
}

QSqlQuery &CycleTables::dutInsert(int count)
{
    std::unique_ptr<QSqlQuery> &query = m_dutInserts[count];
    if (query)
        return *query;
    QStringList rows;
    for (int i = 0; i < count; ++i)
        rows << placeholders(dutColumns.size());
    query = std::make_unique<QSqlQuery>(m_connection.db());
    query->prepare(QStringLiteral("INSERT INTO duts (%1) VALUES %2")
                       .arg(dutColumns.join(QLatin1Char(',')), rows.join(QLatin1Char(','))));
    return *query;
}

bool CycleTables::insert(const CycleRecord &r, bool *stored)
{
    if (stored)
        *stored = false;
    m_error.clear();
    m_errorCode.clear();
    if (!m_cycleInsertPrepared) {
        m_cycleInsertPrepared = true;
        // A cycle already there (sent before, its mark lost with a crash)
        // returns no row and is left alone.
        m_cycleInsert.prepare(
            QStringLiteral("INSERT INTO cycles (%1) VALUES %2 "
                           "ON CONFLICT (station_id, cycle_uid) DO NOTHING "
                           "RETURNING id")
                .arg(cycleColumns.join(QLatin1Char(',')), placeholders(cycleColumns.size())));
    }
    QSqlQuery &c = m_cycleInsert;
    c.addBindValue(text(r.stationId));
    c.addBindValue(text(r.cycleUid));
    c.addBindValue(r.number);
    c.addBindValue(DatabaseConnection::timeValue(r.startedAt));
    c.addBindValue(DatabaseConnection::timeValue(r.endedAt));
    c.addBindValue(text(r.goldenMac));
    c.addBindValue(text(r.cycleError));
    c.addBindValue(r.rxRssiMin);
    c.addBindValue(r.rxRssiMax);
    c.addBindValue(r.freqMin);
    c.addBindValue(r.freqMax);
    c.addBindValue(r.txRssiMin);
    c.addBindValue(r.txRssiMax);
    c.addBindValue(text(r.imagePath));
    c.addBindValue(text(r.imageSha256));
    c.addBindValue(r.imageSize);
    c.addBindValue(text(r.toolVersion));
    c.addBindValue(r.duts.size());
    if (!c.exec())
        return fail(c, QStringLiteral("cannot store the cycle"));
    if (!c.next()) {
        c.finish();
        return true; // there already
    }
    const qint64 cycleId = c.value(0).toLongLong();
    c.finish();
    if (stored)
        *stored = true;
    if (r.duts.isEmpty())
        return true;

    QSqlQuery &d = dutInsert(r.duts.size());
    for (const DutRecord &dut : r.duts) {
        d.addBindValue(cycleId);
        d.addBindValue(dut.position);
        d.addBindValue(optional(dut.slot));
        d.addBindValue(text(dut.device));
        d.addBindValue(text(dut.port));
        d.addBindValue(text(dut.mac));
        d.addBindValue(text(dut.flashUid));
        d.addBindValue(optional(dut.crystal));
        d.addBindValue(dut.txCal);
        d.addBindValue(dut.rxCal);
        d.addBindValue(optional(dut.rxRssiMin));
        d.addBindValue(optional(dut.rxRssiMax));
        d.addBindValue(optional(dut.rxRssiAvg));
        d.addBindValue(optional(dut.freqMin));
        d.addBindValue(optional(dut.freqMax));
        d.addBindValue(optional(dut.freqAvg));
        d.addBindValue(optional(dut.txRssiMin));
        d.addBindValue(optional(dut.txRssiMax));
        d.addBindValue(optional(dut.txRssiAvg));
        d.addBindValue(text(dut.downloadStatus));
        d.addBindValue(text(dut.macStatus));
        d.addBindValue(text(dut.calibrationStatus));
        d.addBindValue(text(dut.txStatus));
        d.addBindValue(text(dut.verdict));
        d.addBindValue(text(dut.failedStep));
        d.addBindValue(text(dut.failureLog));
        d.addBindValue(optional(dut.rxRssiMean));
        d.addBindValue(optional(dut.freqMean));
        d.addBindValue(optional(dut.txRssiMean));
    }
    if (!d.exec())
        return fail(d, QStringLiteral("cannot store the cycle's DUTs"));
    d.finish();
    return true;
}

bool CycleTables::readAfter(qint64 afterId, int limit, QList<CycleRecord> *records,
                            QList<qint64> *ids)
{
    m_error.clear();
    QStringList columns = cycleColumns;
    columns[3] = m_connection.timeText(QStringLiteral("started_at"));
    columns[4] = m_connection.timeText(QStringLiteral("ended_at"));
    QSqlQuery c(m_connection.db());
    c.setForwardOnly(true);
    c.prepare(QStringLiteral("SELECT id, %1 FROM cycles WHERE id > ? ORDER BY id LIMIT ?")
                  .arg(columns.join(QLatin1Char(','))));
    c.addBindValue(afterId);
    c.addBindValue(limit);
    if (!c.exec())
        return fail(c, QStringLiteral("cannot read cycles"));
    QHash<qint64, int> index; // cycle id -> position in *records
    const int first = records->size();
    while (c.next()) {
        CycleRecord r;
        const qint64 id = c.value(0).toLongLong();
        r.stationId = c.value(1).toString();
        r.cycleUid = c.value(2).toString();
        r.number = c.value(3).toLongLong();
        r.startedAt = DatabaseConnection::parseTime(c.value(4).toString());
        r.endedAt = DatabaseConnection::parseTime(c.value(5).toString());
        r.goldenMac = c.value(6).toString();
        r.cycleError = c.value(7).toString();
        r.rxRssiMin = c.value(8).toDouble();
        r.rxRssiMax = c.value(9).toDouble();
        r.freqMin = c.value(10).toDouble();
        r.freqMax = c.value(11).toDouble();
        r.txRssiMin = c.value(12).toDouble();
        r.txRssiMax = c.value(13).toDouble();
        r.imagePath = c.value(14).toString();
        r.imageSha256 = c.value(15).toString();
        r.imageSize = c.value(16).toLongLong();
        r.toolVersion = c.value(17).toString();
        index.insert(id, records->size());
        records->append(r);
        ids->append(id);
    }
    c.finish();
    if (records->size() == first)
        return true;

    QStringList dutSelect = dutColumns;
    dutSelect.removeFirst();
    QSqlQuery d(m_connection.db());
    d.setForwardOnly(true);
    d.prepare(QStringLiteral("SELECT cycle_id, %1 FROM duts WHERE cycle_id >= ? AND cycle_id <= ? "
                             "ORDER BY cycle_id, position")
                  .arg(dutSelect.join(QLatin1Char(','))));
    d.addBindValue(ids->at(first));
    d.addBindValue(ids->last());
    if (!d.exec())
        return fail(d, QStringLiteral("cannot read the cycles' DUTs"));
    while (d.next()) {
        const auto it = index.constFind(d.value(0).toLongLong());
        if (it == index.constEnd())
            continue;
        DutRecord dut;
        dut.position = d.value(1).toInt();
        dut.slot = optionalOf(d.value(2));
        dut.device = d.value(3).toString();
        dut.port = d.value(4).toString();
        dut.mac = d.value(5).toString();
        dut.flashUid = d.value(6).toString();
        dut.crystal = optionalOf(d.value(7));
        dut.txCal = d.value(8).toInt();
        dut.rxCal = d.value(9).toInt();
        dut.rxRssiMin = optionalOf(d.value(10));
        dut.rxRssiMax = optionalOf(d.value(11));
        dut.rxRssiAvg = optionalOf(d.value(12));
        dut.freqMin = optionalOf(d.value(13));
        dut.freqMax = optionalOf(d.value(14));
        dut.freqAvg = optionalOf(d.value(15));
        dut.txRssiMin = optionalOf(d.value(16));
        dut.txRssiMax = optionalOf(d.value(17));
        dut.txRssiAvg = optionalOf(d.value(18));
        dut.downloadStatus = d.value(19).toString();
        dut.macStatus = d.value(20).toString();
        dut.calibrationStatus = d.value(21).toString();
        dut.txStatus = d.value(22).toString();
        dut.verdict = d.value(23).toString();
        dut.failedStep = d.value(24).toString();
        dut.failureLog = d.value(25).toString();
        dut.rxRssiMean = optionalFraction(d.value(26));
        dut.freqMean = optionalFraction(d.value(27));
        dut.txRssiMean = optionalFraction(d.value(28));
        (*records)[*it].duts.append(dut);
    }
    return true;
}

qint64 CycleTables::countAfter(qint64 afterId)
{
    QSqlQuery q(m_connection.db());
    q.prepare(QStringLiteral("SELECT COUNT(*) FROM cycles WHERE id > ?"));
    q.addBindValue(afterId);
    if (!q.exec() || !q.next()) {
        fail(q, QStringLiteral("cannot count cycles"));
        return -1;
    }
    return q.value(0).toLongLong();
}
