#include "unitreport.h"

#include "databaseconnection.h"
#include "figuretable.h"
#include "yieldreport.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

namespace {

std::optional<int> optionalInt(const QVariant &value)
{
    if (value.isNull())
        return std::nullopt;
    return value.toInt();
}

} // namespace

bool UnitReport::compute(DatabaseConnection &connection, const QString &flashUid,
                         const ReportFilter &filter, QList<UnitTest> *tests, QString *error)
{
    tests->clear();
    QSqlDatabase &db = connection.db();
    const QSqlRecord duts = db.record(QStringLiteral("duts"));
    // Each figure's value as the database keeps it: the mean where there is
    // one, the average of cycles recorded before the means were kept.
    QStringList figureSelect;
    for (int i = 0; i < FigureTable::count(); ++i) {
        const FigureDefinition &f = FigureTable::figures()[std::size_t(i)];
        figureSelect
            << QStringLiteral("%1 AS figure%2").arg(YieldReport::measuredMean(f, duts)).arg(i);
    }
    YieldReport::Where where = YieldReport::where(filter);
    where.sql += where.sql.isEmpty() ? QStringLiteral(" WHERE ") : QStringLiteral(" AND ");
    where.sql += QStringLiteral("d.flash_uid = ?");
    where.values << flashUid;
    QSqlQuery q(db);
    const QString sql =
        QStringLiteral("SELECT %1 AS started_at, c.station_id AS station_id, c.number AS number, "
                       "d.slot AS slot, d.device AS device, d.verdict AS verdict, "
                       "d.failed_step AS failed_step, d.failure_log AS failure_log, "
                       "d.crystal AS crystal, d.tx_cal AS tx_cal, d.rx_cal AS rx_cal, %2 "
                       "FROM duts d JOIN cycles c ON c.id = d.cycle_id%3 "
                       "ORDER BY c.started_at, c.id, d.position")
            .arg(connection.timeText(QStringLiteral("c.started_at")),
                 figureSelect.join(QStringLiteral(", ")), where.sql);
    if (!YieldReport::run(q, sql, where, error))
        return false;
    const QSqlRecord columns = q.record();
    const auto value = [&q, &columns](const QString &name) {
        return q.value(columns.indexOf(name));
    };
    const auto named = [&value](const char *name) { return value(QLatin1String(name)); };
    while (q.next()) {
        UnitTest t;
        t.startedAt = DatabaseConnection::parseTime(named("started_at").toString());
        t.station = named("station_id").toString();
        t.cycle = named("number").toLongLong();
        t.slot = optionalInt(named("slot"));
        t.device = named("device").toString();
        t.verdict = named("verdict").toString();
        t.failedStep = named("failed_step").toString();
        const QString log = named("failure_log").toString();
        t.reason = log.left(log.indexOf(QLatin1Char('\n'))).trimmed();
        t.crystal = optionalInt(named("crystal"));
        t.txCal = named("tx_cal").toInt();
        t.rxCal = named("rx_cal").toInt();
        for (int i = 0; i < FigureTable::count(); ++i) {
            const QVariant v = value(QStringLiteral("figure%1").arg(i));
            t.figures.push_back(v.isNull() ? std::nullopt : std::optional<double>(v.toDouble()));
        }
        tests->append(t);
    }
    return true;
}

ReportTable UnitReport::table(const QString &flashUid, const QList<UnitTest> &tests,
                              ReportWriter::Format format)
{
    const bool csv = format == ReportWriter::Csv;
    const QString none = csv ? QString() : QStringLiteral("-");
    ReportTable t;
    t.key = QStringLiteral("unit");
    t.title = QStringLiteral("Tests of module %1").arg(flashUid);
    t.header = QStringList{
        QStringLiteral("started"), QStringLiteral("station"), QStringLiteral("cycle"),
        QStringLiteral("slot"),    QStringLiteral("verdict"), QStringLiteral("failed step"),
        QStringLiteral("crystal"), QStringLiteral("tx cal"),  QStringLiteral("rx cal")};
    for (const FigureDefinition &f : FigureTable::figures())
        t.header << QStringLiteral("%1 (%2)").arg(QLatin1String(f.name), QLatin1String(f.unit));
    t.header << QStringLiteral("reason");
    if (csv) {
        for (QString &name : t.header) {
            name = name.toLower();
            name.remove(QLatin1Char('(')).remove(QLatin1Char(')'));
            name.replace(QLatin1Char(' '), QLatin1Char('_'));
        }
    }
    int passed = 0;
    for (const UnitTest &u : tests) {
        passed += u.verdict == QLatin1String(ResultWords::pass) ? 1 : 0;
        QStringList row{csv ? u.startedAt.toUTC().toString(Qt::ISODate)
                            : u.startedAt.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                        u.station,
                        QString::number(u.cycle),
                        u.slot ? QString::number(*u.slot) : none,
                        u.verdict,
                        u.failedStep.isEmpty() ? none : u.failedStep,
                        u.crystal ? QString::number(*u.crystal) : none,
                        QString::number(u.txCal),
                        QString::number(u.rxCal)};
        for (std::size_t i = 0; i < FigureTable::figures().size(); ++i) {
            const std::optional<double> &v = i < u.figures.size() ? u.figures[i] : std::nullopt;
            row << (v ? QString::number(*v, 'f', FigureTable::figures()[i].decimals) : none);
        }
        row << u.reason;
        t.rows << row;
    }
    t.notes << QStringLiteral("%1 test(s), %2 passed; times in UTC; figures as measured, "
                              "before the DUT's calibration offsets.")
                   .arg(tests.size())
                   .arg(passed);
    return t;
}

QString UnitReport::write(const QString &flashUid, const QList<UnitTest> &tests,
                          ReportWriter::Format format)
{
    return ReportWriter::write(table(flashUid, tests, format), format);
}
