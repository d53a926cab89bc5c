#include "driftreport.h"

#include "databaseconnection.h"
#include "figuretable.h"
#include "yieldreport.h"

#include <QMap>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

#include <cmath>

namespace {

// d2 for moving ranges of two points: the mean range of two normal values
// is 1.128 sigma.
constexpr double movingRangeD2 = 1.128;
// Alarms named one by one for a value; the rest are counted.
constexpr int alarmsNamed = 5;

QString crystalQuantity()
{
    return QStringLiteral("golden crystal");
}

QString figureQuantity(const FigureDefinition &f)
{
    return QStringLiteral("%1 mean (%2)").arg(QLatin1String(f.name), QLatin1String(f.unit));
}

QString number(double value)
{
    return QString::number(value, 'f', 2);
}

QString when(const QDateTime &time)
{
    return time.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

bool wanted(const ReportFilter &filter, const QString &station)
{
    return filter.stations.isEmpty() || filter.stations.contains(station);
}

bool readCounts(DatabaseConnection &connection, const ReportFilter &filter,
                DriftReport::Result *out, QString *error)
{
    QSqlQuery q(connection.db());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT s.station_id, COUNT(*), SUM(s.local_count), %1, "
                               "(SELECT COUNT(*) FROM cycles c WHERE c.station_id = s.station_id) "
                               "FROM station_counts s GROUP BY s.station_id ORDER BY s.station_id")
                    .arg(connection.timeText(QStringLiteral("MAX(s.reported_at)"))))) {
        *error =
            QStringLiteral("cannot read the stations' counts: ") + q.lastError().text().trimmed();
        return false;
    }
    while (q.next()) {
        DriftReport::CountDifference d;
        d.station = q.value(0).toString();
        d.folders = q.value(1).toInt();
        d.local = q.value(2).toLongLong();
        d.reportedAt = DatabaseConnection::parseTime(q.value(3).toString());
        d.factory = q.value(4).toLongLong();
        if (wanted(filter, d.station) && d.local != d.factory)
            out->countDifferences.append(d);
    }
    return true;
}

} // namespace

ControlChart ControlChart::of(const QVector<double> &values, int baseline)
{
    ControlChart chart;
    chart.baseline = baseline;
    if (baseline < 2 || values.size() < baseline)
        return chart;
    chart.enough = true;
    double sum = 0;
    double ranges = 0;
    for (int i = 0; i < baseline; ++i) {
        sum += values.at(i);
        if (i > 0)
            ranges += std::fabs(values.at(i) - values.at(i - 1));
    }
    chart.centre = sum / baseline;
    chart.sigma = ranges / (baseline - 1) / movingRangeD2;
    chart.lower = chart.centre - 3 * chart.sigma;
    chart.upper = chart.centre + 3 * chart.sigma;

    int run = 0;
    int side = 0; // +1 above the centre, -1 below, 0 on it
    for (int i = baseline; i < values.size(); ++i) {
        const double v = values.at(i);
        if (v < chart.lower || v > chart.upper)
            chart.alarms.append({i, BeyondLimits});
        const int now = v > chart.centre ? 1 : (v < chart.centre ? -1 : 0);
        run = now != 0 && now == side ? run + 1 : (now != 0 ? 1 : 0);
        side = now;
        if (run == runLength)
            chart.alarms.append({i, RunOnOneSide});
    }
    return chart;
}

bool DriftReport::compute(DatabaseConnection &connection, const ReportFilter &filter, Result *out,
                          QString *error)
{
    QSqlDatabase &db = connection.db();
    out->recorded = db.record(QStringLiteral("cycles")).contains(QStringLiteral("golden_crystal"));
    out->countsKept =
        connection.isPostgres() && db.tables().contains(QStringLiteral("station_counts"));
    if (out->countsKept && !readCounts(connection, filter, out, error))
        return false;
    if (!out->recorded)
        return true;

    const std::vector<FigureDefinition> &figures = FigureTable::figures();
    QStringList columns;
    columns << QStringLiteral("station_id") << QStringLiteral("number")
            << connection.timeText(QStringLiteral("started_at")) << QStringLiteral("folder_uid")
            << QStringLiteral("golden_crystal");
    for (const FigureDefinition &f : figures)
        columns << f.columnName("cycle_mean");
    // The report's own filter: the period and stations as the yield report
    // selects them (times compared as times).
    const YieldReport::Where where = YieldReport::where(filter);
    const QString sql =
        QStringLiteral("SELECT %1 FROM cycles c%2 ORDER BY station_id, started_at, id")
            .arg(columns.join(QLatin1Char(',')), where.sql);
    QSqlQuery q(db);
    if (!YieldReport::run(q, sql, where, error)) {
        *error = QStringLiteral("cannot read the cycles' golden machine values: ") + *error;
        return false;
    }
    // The values of each quantity: the crystal first, then the figures.
    const int quantities = 1 + int(figures.size());
    Station *station = nullptr;
    QString lastFolder; // of the station's latest cycle with one
    while (q.next()) {
        const QString id = q.value(0).toString();
        const QDateTime startedAt = DatabaseConnection::parseTime(q.value(2).toString());
        if (!station || station->station != id) {
            out->stations.append(Station());
            station = &out->stations.last();
            station->station = id;
            lastFolder.clear();
            station->series.append(Series{crystalQuantity(), {}, {}});
            for (const FigureDefinition &f : figures)
                station->series.append(Series{figureQuantity(f), {}, {}});
        }
        ++station->cycles;
        const QString folder = q.value(3).toString();
        if (!folder.isEmpty() && folder != lastFolder) {
            // Back to a folder seen before: the two record at once.
            if (station->folders.contains(folder))
                station->foldersAtOnce = true;
            else
                station->folders << folder;
            lastFolder = folder;
        }
        for (int k = 0; k < quantities; ++k) {
            const QVariant value = q.value(4 + k);
            if (value.isNull())
                continue;
            station->series[k].points.append(
                {q.value(1).toLongLong(), startedAt, value.toDouble()});
        }
    }
    for (Station &s : out->stations) {
        for (Series &series : s.series) {
            QVector<double> values;
            values.reserve(series.points.size());
            for (const Point &p : qAsConst(series.points))
                values << p.value;
            series.chart = ControlChart::of(values, baselineCycles);
        }
    }
    return true;
}

QString DriftReport::text(const Result &result)
{
    QString out;
    if (result.countsKept) {
        out += QStringLiteral("\nStations whose own count of cycles differs from the factory's "
                              "(cycles waiting to be forwarded, set aside, or lost here)\n");
        if (result.countDifferences.isEmpty())
            out += QStringLiteral("  none\n");
        for (const CountDifference &d : result.countDifferences) {
            out +=
                QStringLiteral("  %1: station %2, factory %3 (%4%5), said %6 UTC%7\n")
                    .arg(d.station)
                    .arg(d.local)
                    .arg(d.factory)
                    .arg(d.factory > d.local ? QStringLiteral("+") : QString())
                    .arg(d.factory - d.local)
                    .arg(when(d.reportedAt))
                    .arg(d.folders > 1 ? QStringLiteral(", from %1 station folders").arg(d.folders)
                                       : QString());
        }
    }
    out += QStringLiteral("\nGolden machine drift (per station and value: centre and 3-sigma "
                          "limits from its first %1 cycles with the value; flagged: a cycle "
                          "beyond the limits, or %2 in a row on one side of the centre)\n")
               .arg(baselineCycles)
               .arg(ControlChart::runLength);
    if (!result.recorded) {
        out += QStringLiteral("  not recorded in this database (its results schema is older)\n");
        return out;
    }
    if (result.stations.isEmpty())
        out += QStringLiteral("  no cycles\n");
    for (const Station &s : result.stations) {
        out += QStringLiteral("  station %1, %2 cycle(s)\n").arg(s.station).arg(s.cycles);
        const QString folders = foldersNote(s);
        if (!folders.isEmpty())
            out += QStringLiteral("    %1: %2\n")
                       .arg(s.foldersAtOnce ? QStringLiteral("WARNING") : QStringLiteral("note"),
                            folders);
        for (const Series &series : s.series) {
            const ControlChart &c = series.chart;
            out += QStringLiteral("    %1: ").arg(series.quantity);
            if (series.points.isEmpty()) {
                out += QStringLiteral("no cycle recorded it\n");
                continue;
            }
            if (!c.enough) {
                out += QStringLiteral("%1 cycle(s) with the value, too few for a baseline of "
                                      "%2\n")
                           .arg(series.points.size())
                           .arg(baselineCycles);
                continue;
            }
            out += QStringLiteral("centre %1, sigma %2, limits %3 .. %4, last %5; ")
                       .arg(number(c.centre), number(c.sigma), number(c.lower), number(c.upper),
                            number(series.points.last().value));
            if (c.alarms.isEmpty()) {
                out += QStringLiteral("in control\n");
                continue;
            }
            QStringList named;
            for (int i = 0; i < c.alarms.size() && i < alarmsNamed; ++i) {
                const ControlChart::Alarm &a = c.alarms.at(i);
                const Point &p = series.points.at(a.index);
                named << QStringLiteral("cycle %1 (%2) %3 at %4")
                             .arg(p.number)
                             .arg(when(p.startedAt))
                             .arg(alarmReason(a))
                             .arg(number(p.value));
            }
            out += QStringLiteral("FLAGGED: %1").arg(named.join(QStringLiteral("; ")));
            if (c.alarms.size() > alarmsNamed)
                out += QStringLiteral("; %1 more").arg(c.alarms.size() - alarmsNamed);
            out += QLatin1Char('\n');
        }
    }
    return out;
}

QString DriftReport::foldersNote(const Station &s)
{
    if (s.folders.size() < 2)
        return QString();
    const QString uids = s.folders.join(QStringLiteral(", "));
    if (s.foldersAtOnce)
        return QStringLiteral("cycles from %1 station folders under this one id (folder uids %2): "
                              "two stations report as one, and their charts mix two golden "
                              "machines; give each its own id")
            .arg(s.folders.size())
            .arg(uids);
    return QStringLiteral("cycles from %1 station folders one after the other (folder uids %2): "
                          "the folder was moved or copied; if the golden machine changed with "
                          "it, the charts span both")
        .arg(s.folders.size())
        .arg(uids);
}

QString DriftReport::alarmReason(const ControlChart::Alarm &alarm)
{
    return alarm.rule == ControlChart::BeyondLimits
               ? QStringLiteral("beyond 3 sigma")
               : QStringLiteral("%1 in a row on one side").arg(ControlChart::runLength);
}
