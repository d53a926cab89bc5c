#include "yieldreport.h"

#include "cyclerecord.h"
#include "databaseconnection.h"
#include "figuretable.h"
#include "sqlfailure.h"

#include <QHash>
#include <QMap>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

#include <algorithm>
#include <cmath>
#include <tuple>

YieldReport::Where YieldReport::where(const ReportFilter &filter)
{
    Where w;
    QStringList parts;
    if (filter.from.isValid()) {
        parts << QStringLiteral("c.started_at >= ?");
        w.values << DatabaseConnection::timeValue(filter.from);
    }
    if (filter.to.isValid()) {
        parts << QStringLiteral("c.started_at < ?");
        w.values << DatabaseConnection::timeValue(filter.to);
    }
    if (!filter.stations.isEmpty()) {
        QStringList marks;
        for (const QString &station : filter.stations) {
            marks << QStringLiteral("?");
            w.values << station;
        }
        parts << QStringLiteral("c.station_id IN (%1)").arg(marks.join(QLatin1Char(',')));
    }
    if (!parts.isEmpty())
        w.sql = QStringLiteral(" WHERE ") + parts.join(QStringLiteral(" AND "));
    return w;
}

bool YieldReport::run(QSqlQuery &query, const QString &sql, const Where &where, QString *error)
{
    query.setForwardOnly(true);
    if (!query.prepare(sql)) {
        *error = SqlFailure::reason(query.lastError());
        return false;
    }
    for (const QVariant &value : where.values)
        query.addBindValue(value);
    if (!query.exec()) {
        *error = SqlFailure::reason(query.lastError());
        return false;
    }
    return true;
}

namespace {

struct Moments
{
    qint64 n = 0;
    double sum = 0;
    double sumSquares = 0;
    double binLow = 0;
    double binWidth = 0;
    QVector<qint64> bins;
    qint64 below = 0;
    qint64 above = 0;

    void add(double x, double lower, double upper)
    {
        if (bins.isEmpty()) {
            const double span = upper > lower ? upper - lower : 1.0;
            binLow = lower - span / 4;
            binWidth = span * 1.5 / YieldReport::histogramBins;
            bins = QVector<qint64>(YieldReport::histogramBins);
        }
        ++n;
        sum += x;
        sumSquares += x * x;
        const double at = std::floor((x - binLow) / binWidth);
        if (at < 0)
            ++below;
        else if (at >= bins.size())
            ++above;
        else
            ++bins[int(at)];
    }
};

// figure (FigureTable::Id), station, lower, upper
using FigureKey = std::tuple<int, QString, double, double>;

// A figure as the report selects it: its value as judged, its limits and
// the DUT's offset of them, each under a name of its own.
QString figureColumns(const FigureDefinition &f, const QSqlRecord &duts, int index)
{
    const QString value = YieldReport::measuredMean(f, duts);
    QString offset = QStringLiteral("0");
    if (f.offset == FigureDefinition::TxOffset)
        offset = QStringLiteral("d.tx_cal");
    else if (f.offset == FigureDefinition::RxOffset)
        offset = QStringLiteral("d.rx_cal");
    const bool limits = f.recordLower && f.recordUpper;
    return QStringLiteral("%1 AS value%5, %2 AS offset%5, %3 AS lower%5, %4 AS upper%5")
        .arg(value, offset,
             limits ? QStringLiteral("c.") + f.columnName("min") : QStringLiteral("0"),
             limits ? QStringLiteral("c.") + f.columnName("max") : QStringLiteral("0"))
        .arg(index);
}

} // namespace

QString YieldReport::measuredMean(const FigureDefinition &f, const QSqlRecord &duts)
{
    QStringList kept;
    for (const char *what : {"mean", "avg"}) {
        if (duts.contains(f.columnName(what)))
            kept << QStringLiteral("d.") + f.columnName(what);
    }
    if (kept.isEmpty())
        return QStringLiteral("NULL");
    return kept.size() == 1 ? kept.first()
                            : QStringLiteral("COALESCE(%1)").arg(kept.join(QLatin1Char(',')));
}

std::optional<double> YieldReport::cpk(qint64 n, double mean, double sd, double lower, double upper)
{
    if (n < 2 || !(sd > 0))
        return std::nullopt;
    return std::min(upper - mean, mean - lower) / (3.0 * sd);
}

bool YieldReport::compute(DatabaseConnection &connection, const ReportFilter &filter,
                          YieldFigures *out, QString *error)
{
    *out = YieldFigures();
    out->filter = filter;
    const Where where = YieldReport::where(filter);
    QSqlDatabase &db = connection.db();

    // Cycles per station and the period they cover.
    QMap<QString, StationYield> stations;
    {
        QSqlQuery q(db);
        const QString sql =
            QStringLiteral("SELECT c.station_id, COUNT(*), %1, %2 FROM cycles c%3 "
                           "GROUP BY c.station_id")
                .arg(connection.timeText(QStringLiteral("MIN(c.started_at)")),
                     connection.timeText(QStringLiteral("MAX(c.started_at)")), where.sql);
        if (!run(q, sql, where, error))
            return false;
        while (q.next()) {
            StationYield &s = stations[q.value(0).toString()];
            s.station = q.value(0).toString();
            s.cycles = q.value(1).toLongLong();
            out->cycles += s.cycles;
            const QDateTime first = DatabaseConnection::parseTime(q.value(2).toString());
            const QDateTime last = DatabaseConnection::parseTime(q.value(3).toString());
            if (!out->firstCycle.isValid() || first < out->firstCycle)
                out->firstCycle = first;
            if (!out->lastCycle.isValid() || last > out->lastCycle)
                out->lastCycle = last;
        }
    }

    const QSqlRecord duts = db.record(QStringLiteral("duts"));
    QStringList figureSelect;
    for (int i = 0; i < FigureTable::count(); ++i)
        figureSelect << figureColumns(FigureTable::figures()[std::size_t(i)], duts, i);
    QSqlQuery q(db);
    const QString sql =
        QStringLiteral(
            "SELECT %3 AS started_at, c.station_id AS station_id, d.slot AS slot, d.flash_uid AS "
            "flash_uid, d.verdict AS verdict, d.failed_step AS failed_step, "
            "d.calibration_status AS calibration_status, d.tx_status AS tx_status, "
            "%1 FROM duts d JOIN cycles c ON c.id = d.cycle_id%2 "
            "ORDER BY c.started_at, c.id, d.position")
            .arg(figureSelect.join(QStringLiteral(", ")), where.sql,
                 connection.timeText(QStringLiteral("c.started_at")));
    if (!run(q, sql, where, error))
        return false;
    const QSqlRecord columns = q.record();
    const auto at = [&columns](const QString &name) { return columns.indexOf(name); };
    const int startedAt = at(QStringLiteral("started_at"));
    const int stationAt = at(QStringLiteral("station_id"));
    const int slotAt = at(QStringLiteral("slot"));
    const int uidAt = at(QStringLiteral("flash_uid"));
    const int verdictAt = at(QStringLiteral("verdict"));
    const int stepAt = at(QStringLiteral("failed_step"));
    const int rxStepAt = at(QStringLiteral("calibration_status"));
    const int txStepAt = at(QStringLiteral("tx_status"));
    struct FigureAt
    {
        int value, offset, lower, upper;
    };
    QList<FigureAt> figureAt;
    for (int i = 0; i < FigureTable::count(); ++i)
        figureAt.append(
            {at(QStringLiteral("value%1").arg(i)), at(QStringLiteral("offset%1").arg(i)),
             at(QStringLiteral("lower%1").arg(i)), at(QStringLiteral("upper%1").arg(i))});

    YieldTally tally;
    QMap<FigureKey, Moments> moments;
    const QString pass = QLatin1String(ResultWords::pass);
    while (q.next()) {
        JudgedTest test;
        test.station = q.value(stationAt).toString();
        test.slot = q.value(slotAt).isNull() ? -1 : q.value(slotAt).toInt();
        test.flashUid = q.value(uidAt).toString();
        test.failedStep = q.value(stepAt).toString();
        test.day =
            DatabaseConnection::parseTime(q.value(startedAt).toString()).toLocalTime().date();
        // A verdict this station does not know counts as an error: it is no
        // pass, and dropping it would raise the yield.
        if (!JudgedTest::verdictOf(q.value(verdictAt).toString(), &test.verdict))
            test.verdict = JudgedTest::Error;
        // A DUT not judged (a station fault, or its TX test never ran) is in
        // no yield and no failure count.
        if (!tally.add(test))
            continue;
        const QString &station = test.station;

        // The figures as they are judged: the means as measured (cycles
        // recorded before the means were kept give their truncated
        // averages), RSSI less the DUT's offset.
        const bool rxMeasured = q.value(rxStepAt).toString() == pass;
        const bool txMeasured = q.value(txStepAt).toString() == pass;
        for (int i = 0; i < FigureTable::count(); ++i) {
            const FigureDefinition &f = FigureTable::figures()[std::size_t(i)];
            const FigureAt &c = figureAt.at(i);
            const QVariant value = q.value(c.value);
            if (!(f.phase == FigureDefinition::RxTest ? rxMeasured : txMeasured) || value.isNull())
                continue;
            const double x = value.toDouble() - q.value(c.offset).toDouble();
            const double lower = q.value(c.lower).toDouble();
            const double upper = q.value(c.upper).toDouble();
            for (const QString &who : {station, QString()})
                moments[FigureKey(i, who, lower, upper)].add(x, lower, upper);
        }
    }

    out->total = tally.total();
    for (const StationYield &s : tally.stations()) {
        StationYield &held = stations[s.station];
        held.station = s.station;
        held.count = s.count;
    }
    out->stations = stations.values();
    out->slotYields = tally.slotYields();
    out->steps = tally.steps();
    out->days = tally.days();
    out->retests = tally.retests();

    // Per figure, by name: each station, then every station together (when
    // there are several).
    const bool severalStations = out->stations.size() > 1;
    QList<int> byName;
    for (int i = 0; i < FigureTable::count(); ++i)
        byName << i;
    std::sort(byName.begin(), byName.end(), [](int a, int b) {
        return qstrcmp(FigureTable::figures()[std::size_t(a)].name,
                       FigureTable::figures()[std::size_t(b)].name) < 0;
    });
    for (const int figure : qAsConst(byName)) {
        for (const bool together : {false, true}) {
            for (auto it = moments.constBegin(); it != moments.constEnd(); ++it) {
                const QString &station = std::get<1>(it.key());
                if (std::get<0>(it.key()) != figure || station.isEmpty() != together)
                    continue;
                if (together && !severalStations)
                    continue;
                const Moments &m = it.value();
                FigureStats f;
                f.figure = QLatin1String(FigureTable::figures()[std::size_t(figure)].name);
                f.station = station;
                f.lowerLimit = std::get<2>(it.key());
                f.upperLimit = std::get<3>(it.key());
                f.n = m.n;
                f.mean = m.sum / double(m.n);
                const double variance =
                    m.n > 1 ? (m.sumSquares - m.sum * m.sum / double(m.n)) / double(m.n - 1) : 0;
                f.sd = variance > 0 ? std::sqrt(variance) : 0;
                f.cpk = cpk(f.n, f.mean, f.sd, f.lowerLimit, f.upperLimit);
                f.binLow = m.binLow;
                f.binWidth = m.binWidth;
                f.bins = m.bins;
                f.below = m.below;
                f.above = m.above;
                out->figures.append(f);
            }
        }
    }
    return true;
}
