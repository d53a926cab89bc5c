#include "yieldreport.h"

#include "cyclerecord.h"
#include "databaseconnection.h"
#include "figuretable.h"

#include <QHash>
#include <QMap>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace {

struct Where
{
    QString sql;
    QVariantList values;
};

Where whereClause(const ReportFilter &filter)
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

bool run(QSqlQuery &query, const QString &sql, const Where &where, QString *error)
{
    query.setForwardOnly(true);
    if (!query.prepare(sql)) {
        *error = query.lastError().text().trimmed();
        return false;
    }
    for (const QVariant &value : where.values)
        query.addBindValue(value);
    if (!query.exec()) {
        *error = query.lastError().text().trimmed();
        return false;
    }
    return true;
}

void add(YieldCount &count, bool passed, bool first)
{
    ++count.tests;
    count.passed += passed ? 1 : 0;
    if (first) {
        ++count.firstTests;
        count.firstPassed += passed ? 1 : 0;
    }
}

struct Unit
{
    qint64 tests = 0;
    qint64 failures = 0;
    QString first;
    QString last;
    QStringList stations;
};

struct Moments
{
    qint64 n = 0;
    double sum = 0;
    double sumSquares = 0;
};

// figure (FigureTable::Id), station, lower, upper
using FigureKey = std::tuple<int, QString, double, double>;

// A figure as the report selects it: its value as judged, its limits and
// the DUT's offset of them, each under a name of its own.
QString figureColumns(const FigureDefinition &f, const QSqlRecord &duts, int index)
{
    // The means as measured where the database keeps them; an older
    // station's file (or a factory database no station of this version has
    // connected to yet) has the truncated averages only, and one older still
    // not the figure at all.
    QStringList kept;
    for (const char *what : {"mean", "avg"}) {
        if (duts.contains(f.columnName(what)))
            kept << QStringLiteral("d.") + f.columnName(what);
    }
    const QString value = kept.isEmpty() ? QStringLiteral("NULL")
                          : kept.size() == 1
                              ? kept.first()
                              : QStringLiteral("COALESCE(%1)").arg(kept.join(QLatin1Char(',')));
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

double YieldReport::binomialTail(qint64 n, qint64 k, double p)
{
    if (k <= 0)
        return 1.0;
    if (k > n)
        return 0.0;
    if (p <= 0)
        return 0.0;
    if (p >= 1)
        return 1.0;
    double tail = 0;
    const double logP = std::log(p);
    const double logQ = std::log1p(-p);
    const double logNFact = std::lgamma(double(n) + 1);
    for (qint64 i = k; i <= n; ++i) {
        const double logTerm = logNFact - std::lgamma(double(i) + 1) -
                               std::lgamma(double(n - i) + 1) + double(i) * logP +
                               double(n - i) * logQ;
        tail += std::exp(logTerm);
    }
    return std::min(1.0, tail);
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
    const Where where = whereClause(filter);
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
        QStringLiteral("SELECT c.station_id AS station_id, d.slot AS slot, d.flash_uid AS "
                       "flash_uid, d.verdict AS verdict, d.failed_step AS failed_step, "
                       "d.calibration_status AS calibration_status, d.tx_status AS tx_status, "
                       "%1 FROM duts d JOIN cycles c ON c.id = d.cycle_id%2 "
                       "ORDER BY c.started_at, c.id, d.position")
            .arg(figureSelect.join(QStringLiteral(", ")), where.sql);
    if (!run(q, sql, where, error))
        return false;
    const QSqlRecord columns = q.record();
    const auto at = [&columns](const QString &name) { return columns.indexOf(name); };
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

    QMap<std::pair<QString, int>, SlotYield> slotYields;
    QMap<QString, qint64> stepFailures;
    QHash<QString, Unit> units;
    QMap<FigureKey, Moments> moments;
    const QString pass = QLatin1String(ResultWords::pass);
    while (q.next()) {
        const QString station = q.value(stationAt).toString();
        const int slot = q.value(slotAt).isNull() ? -1 : q.value(slotAt).toInt();
        const QString uid = q.value(uidAt).toString();
        const QString verdict = q.value(verdictAt).toString();
        const QString failedStep = q.value(stepAt).toString();
        const bool passed = verdict == pass;
        // A DUT not judged (a station fault, or its TX test never ran) is in
        // no yield and no failure count.
        if (verdict == QLatin1String(ResultWords::notJudged))
            continue;

        bool first = true;
        if (!uid.isEmpty()) {
            Unit &unit = units[uid];
            first = unit.tests == 0;
            if (first)
                unit.first = verdict;
            unit.last = verdict;
            ++unit.tests;
            unit.failures += passed ? 0 : 1;
            if (!unit.stations.contains(station))
                unit.stations << station;
        }

        add(out->total, passed, first);
        StationYield &s = stations[station];
        s.station = station;
        add(s.count, passed, first);
        SlotYield &sl = slotYields[{station, slot}];
        sl.station = station;
        sl.slot = slot;
        add(sl.count, passed, first);
        if (failedStep != QLatin1String(ResultWords::stepCycle)) {
            ++sl.judgedTests;
            sl.judgedFailed += passed ? 0 : 1;
        }
        if (!passed)
            ++stepFailures[failedStep.isEmpty() ? QStringLiteral("(none)") : failedStep];

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
            for (const QString &who : {station, QString()}) {
                Moments &m = moments[FigureKey(i, who, lower, upper)];
                ++m.n;
                m.sum += x;
                m.sumSquares += x * x;
            }
        }
    }

    out->stations = stations.values();

    // Each slot against the station's other slots.
    QMap<QString, std::pair<qint64, qint64>> stationJudged; // tests, failed
    for (const SlotYield &sl : qAsConst(slotYields)) {
        auto &t = stationJudged[sl.station];
        t.first += sl.judgedTests;
        t.second += sl.judgedFailed;
    }
    for (SlotYield sl : qAsConst(slotYields)) {
        const auto &t = stationJudged.value(sl.station);
        const qint64 otherTests = t.first - sl.judgedTests;
        const qint64 otherFailed = t.second - sl.judgedFailed;
        // One failure and one pass added, so that a station whose other
        // slots never failed still gives a rate above zero.
        const double others = double(otherFailed + 1) / double(otherTests + 2);
        sl.othersFailRate = otherTests > 0 ? double(otherFailed) / double(otherTests) : 0;
        if (otherTests > 0 && sl.judgedTests >= minSlotTests) {
            const double rate = double(sl.judgedFailed) / double(sl.judgedTests);
            sl.fixtureSuspect =
                rate >= suspectFactor * others &&
                binomialTail(sl.judgedTests, sl.judgedFailed, others) < suspectProbability;
        }
        out->slotYields.append(sl);
    }

    for (auto it = stepFailures.constBegin(); it != stepFailures.constEnd(); ++it)
        out->steps.append({it.key(), it.value()});
    std::stable_sort(
        out->steps.begin(), out->steps.end(),
        [](const StepFailures &a, const StepFailures &b) { return a.failures > b.failures; });

    RetestSummary &r = out->retests;
    for (auto it = units.constBegin(); it != units.constEnd(); ++it) {
        const Unit &u = it.value();
        ++r.units;
        r.firstPassed += u.first == pass ? 1 : 0;
        r.finalPassed += u.last == pass ? 1 : 0;
        if (u.tests < 2)
            continue;
        ++r.retested;
        r.recovered += u.first != pass && u.last == pass ? 1 : 0;
        r.retestedUnits.append({it.key(), u.tests, u.failures, u.first, u.last, u.stations});
    }
    std::sort(r.retestedUnits.begin(), r.retestedUnits.end(),
              [](const UnitHistory &a, const UnitHistory &b) {
                  if (a.failures != b.failures)
                      return a.failures > b.failures;
                  return a.tests != b.tests ? a.tests > b.tests : a.flashUid < b.flashUid;
              });

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
                out->figures.append(f);
            }
        }
    }
    return true;
}
