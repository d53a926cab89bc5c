#include "cycletables.h"

#include "databaseconnection.h"
#include "figuretable.h"
#include "sqlfailure.h"

#include <QHash>
#include <QSqlError>
#include <QSqlRecord>
#include <QStringList>
#include <QVariant>

namespace {

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

// A row's columns and their values, in one order.
struct Row
{
    QStringList columns;
    QVariantList values;

    void add(const QString &column, const QVariant &value)
    {
        columns << column;
        values << value;
    }
};

// A cycle as the cycles table keeps it (its id aside).
Row cycleRow(const CycleRecord &r)
{
    Row row;
    row.add(QStringLiteral("station_id"), text(r.stationId));
    row.add(QStringLiteral("cycle_uid"), text(r.cycleUid));
    row.add(QStringLiteral("number"), r.number);
    row.add(QStringLiteral("started_at"), DatabaseConnection::timeValue(r.startedAt));
    row.add(QStringLiteral("ended_at"), DatabaseConnection::timeValue(r.endedAt));
    row.add(QStringLiteral("golden_mac"), text(r.goldenMac));
    row.add(QStringLiteral("cycle_error"), text(r.cycleError));
    // The limits in force, of each figure that has limits.
    for (const FigureDefinition &f : FigureTable::figures()) {
        if (!f.recordLower || !f.recordUpper)
            continue;
        row.add(f.columnName("min"), r.*f.recordLower);
        row.add(f.columnName("max"), r.*f.recordUpper);
    }
    row.add(QStringLiteral("image_path"), text(r.imagePath));
    row.add(QStringLiteral("image_sha256"), text(r.imageSha256));
    row.add(QStringLiteral("image_size"), r.imageSize);
    row.add(QStringLiteral("tool_version"), text(r.toolVersion));
    row.add(QStringLiteral("dut_count"), r.duts.size());
    // The golden machine's drift, and the folder that recorded the cycle.
    row.add(QStringLiteral("golden_crystal"), optional(r.goldenCrystal));
    for (int i = 0; i < FigureTable::count(); ++i)
        row.add(FigureTable::figures()[std::size_t(i)].columnName("cycle_mean"),
                optional(r.cycleMean(i)));
    row.add(QStringLiteral("folder_uid"), text(r.folderUid));
    return row;
}

// A DUT as the duts table keeps it (its id aside).
Row dutRow(qint64 cycleId, const DutRecord &dut)
{
    Row row;
    row.add(QStringLiteral("cycle_id"), cycleId);
    row.add(QStringLiteral("position"), dut.position);
    row.add(QStringLiteral("slot"), optional(dut.slot));
    row.add(QStringLiteral("device"), text(dut.device));
    row.add(QStringLiteral("port"), text(dut.port));
    row.add(QStringLiteral("mac"), text(dut.mac));
    row.add(QStringLiteral("flash_uid"), text(dut.flashUid));
    row.add(QStringLiteral("crystal"), optional(dut.crystal));
    row.add(QStringLiteral("tx_cal"), dut.txCal);
    row.add(QStringLiteral("rx_cal"), dut.rxCal);
    for (const FigureDefinition &f : FigureTable::figures()) {
        row.add(f.columnName("min"), optional(dut.*f.recordMin));
        row.add(f.columnName("max"), optional(dut.*f.recordMax));
        row.add(f.columnName("avg"), optional(dut.*f.recordAverage));
        row.add(f.columnName("mean"), optional(dut.*f.recordMean));
    }
    row.add(QStringLiteral("download_status"), text(dut.downloadStatus));
    row.add(QStringLiteral("mac_status"), text(dut.macStatus));
    row.add(QStringLiteral("calibration_status"), text(dut.calibrationStatus));
    row.add(QStringLiteral("tx_status"), text(dut.txStatus));
    row.add(QStringLiteral("verdict"), text(dut.verdict));
    row.add(QStringLiteral("failed_step"), text(dut.failedStep));
    row.add(QStringLiteral("failure_log"), text(dut.failureLog));
    return row;
}

// The row without the columns `table` lacks: a database of an older schema
// (which a station brings up to date before it records; a test's old file)
// keeps what it has columns for.
QStringList columnsOf(QSqlDatabase &db, const QString &table, const QStringList &columns)
{
    const QSqlRecord has = db.record(table);
    if (has.isEmpty())
        return columns;
    QStringList kept;
    for (const QString &column : columns) {
        if (has.contains(column))
            kept << column;
    }
    return kept;
}

// The position of each column of a query's result, by name.
class ColumnsOf
{
public:
    explicit ColumnsOf(const QSqlQuery &query)
        : m_record(query.record())
    {}
    int operator()(const QString &name) const { return m_record.indexOf(name); }

private:
    QSqlRecord m_record;
};

} // namespace

CycleTables::CycleTables(DatabaseConnection &connection)
    : m_connection(connection)
    , m_cycleInsert(connection.db())
{}

QSqlQuery *CycleTables::dutInsert(int count, QString *error, QString *sqlState)
{
    const auto held = m_dutInserts.find(count);
    if (held != m_dutInserts.end())
        return held->second.get();
    const QStringList columns = dutRow(0, DutRecord()).columns;
    QStringList rows;
    for (int i = 0; i < count; ++i)
        rows << placeholders(columns.size());
    auto query = std::make_unique<QSqlQuery>(m_connection.db());
    // A statement the database refuses keeps the database's reason (run
    // unprepared, it would only say its values do not fit).
    if (!query->prepare(QStringLiteral("INSERT INTO duts (%1) VALUES %2")
                            .arg(columns.join(QLatin1Char(',')), rows.join(QLatin1Char(','))))) {
        SqlFailure::fail(QStringLiteral("cannot store the cycle's DUTs"), query->lastError(), error,
                         sqlState);
        return nullptr;
    }
    return (m_dutInserts[count] = std::move(query)).get();
}

bool CycleTables::insert(const CycleRecord &r, QString *error, bool *stored, QString *sqlState)
{
    if (stored)
        *stored = false;
    const Row cycle = cycleRow(r);
    if (!m_cycleInsertPrepared) {
        m_cycleColumns = columnsOf(m_connection.db(), QStringLiteral("cycles"), cycle.columns);
        // A cycle already there (sent before, its mark lost with a crash)
        // returns no row and is left alone.
        if (!m_cycleInsert.prepare(QStringLiteral("INSERT INTO cycles (%1) VALUES %2 "
                                                  "ON CONFLICT (station_id, cycle_uid) DO NOTHING "
                                                  "RETURNING id")
                                       .arg(m_cycleColumns.join(QLatin1Char(',')),
                                            placeholders(m_cycleColumns.size()))))
            return SqlFailure::fail(QStringLiteral("cannot store the cycle"),
                                    m_cycleInsert.lastError(), error, sqlState);
        m_cycleInsertPrepared = true;
    }
    QSqlQuery &c = m_cycleInsert;
    for (int i = 0; i < cycle.columns.size(); ++i) {
        if (m_cycleColumns.contains(cycle.columns.at(i)))
            c.addBindValue(cycle.values.at(i));
    }
    if (!c.exec())
        return SqlFailure::fail(QStringLiteral("cannot store the cycle"), c.lastError(), error,
                                sqlState);
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

    QSqlQuery *d = dutInsert(r.duts.size(), error, sqlState);
    if (!d)
        return false;
    for (const DutRecord &dut : r.duts) {
        for (const QVariant &value : dutRow(cycleId, dut).values)
            d->addBindValue(value);
    }
    if (!d->exec())
        return SqlFailure::fail(QStringLiteral("cannot store the cycle's DUTs"), d->lastError(),
                                error, sqlState);
    d->finish();
    return true;
}

bool CycleTables::readAfter(qint64 afterId, int limit, QList<CycleRecord> *records,
                            QList<qint64> *ids, QString *error)
{
    QStringList columns = cycleRow(CycleRecord()).columns;
    for (QString &column : columns) {
        if (column == QLatin1String("started_at") || column == QLatin1String("ended_at"))
            column = m_connection.timeText(column) + QStringLiteral(" AS ") + column;
    }
    QSqlQuery c(m_connection.db());
    c.setForwardOnly(true);
    if (!c.prepare(QStringLiteral("SELECT id, %1 FROM cycles WHERE id > ? ORDER BY id LIMIT ?")
                       .arg(columns.join(QLatin1Char(',')))))
        return SqlFailure::fail(QStringLiteral("cannot read cycles"), c.lastError(), error);
    c.addBindValue(afterId);
    c.addBindValue(limit);
    if (!c.exec())
        return SqlFailure::fail(QStringLiteral("cannot read cycles"), c.lastError(), error);
    const ColumnsOf cc(c);
    const auto cycleValue = [&c, &cc](const char *name) {
        return c.value(cc(QLatin1String(name)));
    };
    QHash<qint64, int> index; // cycle id -> position in *records
    const int first = records->size();
    while (c.next()) {
        CycleRecord r;
        const qint64 id = cycleValue("id").toLongLong();
        r.stationId = cycleValue("station_id").toString();
        r.cycleUid = cycleValue("cycle_uid").toString();
        r.number = cycleValue("number").toLongLong();
        r.startedAt = DatabaseConnection::parseTime(cycleValue("started_at").toString());
        r.endedAt = DatabaseConnection::parseTime(cycleValue("ended_at").toString());
        r.goldenMac = cycleValue("golden_mac").toString();
        r.cycleError = cycleValue("cycle_error").toString();
        for (const FigureDefinition &f : FigureTable::figures()) {
            if (!f.recordLower || !f.recordUpper)
                continue;
            r.*f.recordLower = c.value(cc(f.columnName("min"))).toDouble();
            r.*f.recordUpper = c.value(cc(f.columnName("max"))).toDouble();
        }
        r.imagePath = cycleValue("image_path").toString();
        r.imageSha256 = cycleValue("image_sha256").toString();
        r.imageSize = cycleValue("image_size").toLongLong();
        r.toolVersion = cycleValue("tool_version").toString();
        r.goldenCrystal = optionalOf(cycleValue("golden_crystal"));
        for (int i = 0; i < FigureTable::count(); ++i)
            r.setCycleMean(
                i, optionalFraction(c.value(
                       cc(FigureTable::figures()[std::size_t(i)].columnName("cycle_mean")))));
        r.folderUid = cycleValue("folder_uid").toString();
        index.insert(id, records->size());
        records->append(r);
        ids->append(id);
    }
    c.finish();
    if (records->size() == first)
        return true;

    QSqlQuery d(m_connection.db());
    d.setForwardOnly(true);
    if (!d.prepare(QStringLiteral("SELECT %1 FROM duts WHERE cycle_id >= ? AND cycle_id <= ? "
                                  "ORDER BY cycle_id, position")
                       .arg(dutRow(0, DutRecord()).columns.join(QLatin1Char(',')))))
        return SqlFailure::fail(QStringLiteral("cannot read the cycles' DUTs"), d.lastError(),
                                error);
    d.addBindValue(ids->at(first));
    d.addBindValue(ids->last());
    if (!d.exec())
        return SqlFailure::fail(QStringLiteral("cannot read the cycles' DUTs"), d.lastError(),
                                error);
    const ColumnsOf dc(d);
    const auto dutValue = [&d, &dc](const QString &name) { return d.value(dc(name)); };
    const auto value = [&dutValue](const char *name) { return dutValue(QLatin1String(name)); };
    while (d.next()) {
        const auto it = index.constFind(value("cycle_id").toLongLong());
        if (it == index.constEnd())
            continue;
        DutRecord dut;
        dut.position = value("position").toInt();
        dut.slot = optionalOf(value("slot"));
        dut.device = value("device").toString();
        dut.port = value("port").toString();
        dut.mac = value("mac").toString();
        dut.flashUid = value("flash_uid").toString();
        dut.crystal = optionalOf(value("crystal"));
        dut.txCal = value("tx_cal").toInt();
        dut.rxCal = value("rx_cal").toInt();
        for (const FigureDefinition &f : FigureTable::figures()) {
            dut.*f.recordMin = optionalOf(dutValue(f.columnName("min")));
            dut.*f.recordMax = optionalOf(dutValue(f.columnName("max")));
            dut.*f.recordAverage = optionalOf(dutValue(f.columnName("avg")));
            dut.*f.recordMean = optionalFraction(dutValue(f.columnName("mean")));
        }
        dut.downloadStatus = value("download_status").toString();
        dut.macStatus = value("mac_status").toString();
        dut.calibrationStatus = value("calibration_status").toString();
        dut.txStatus = value("tx_status").toString();
        dut.verdict = value("verdict").toString();
        dut.failedStep = value("failed_step").toString();
        dut.failureLog = value("failure_log").toString();
        (*records)[*it].duts.append(dut);
    }
    return true;
}

bool CycleTables::countAfter(qint64 afterId, qint64 *count, QString *error)
{
    QSqlQuery q(m_connection.db());
    if (!q.prepare(QStringLiteral("SELECT COUNT(*) FROM cycles WHERE id > ?")))
        return SqlFailure::fail(QStringLiteral("cannot count cycles"), q.lastError(), error);
    q.addBindValue(afterId);
    if (!q.exec() || !q.next())
        return SqlFailure::fail(QStringLiteral("cannot count cycles"), q.lastError(), error);
    *count = q.value(0).toLongLong();
    return true;
}
