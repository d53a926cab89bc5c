#include "reportoptions.h"

#include <QDate>
#include <QFileInfo>

QDateTime ReportOptions::parseTime(const QString &text, bool upperBound)
{
    const QString t = text.trimmed();
    const QDate date = QDate::fromString(t, QStringLiteral("yyyy-MM-dd"));
    if (date.isValid())
        return QDateTime(upperBound ? date.addDays(1) : date, QTime(0, 0));
    QString iso = t;
    iso.replace(QLatin1Char(' '), QLatin1Char('T'));
    QDateTime when = QDateTime::fromString(iso, Qt::ISODateWithMs);
    if (!when.isValid())
        when = QDateTime::fromString(iso, Qt::ISODate);
    return when;
}

QDateTime ReportOptions::lastTime()
{
    return QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999), Qt::UTC);
}

ReportOptions ReportOptions::parse(const QStringList &args)
{
    ReportOptions o;
    bool dbGiven = false;
    for (int i = 0; i < args.size(); ++i) {
        QString arg = args.at(i);
        QString value;
        const int eq = arg.indexOf(QLatin1Char('='));
        const bool inlineValue = arg.startsWith(QLatin1String("--")) && eq > 0;
        if (inlineValue) {
            value = arg.mid(eq + 1);
            arg = arg.left(eq);
        }
        const auto takeValue = [&]() -> bool {
            if (inlineValue)
                return true;
            if (i + 1 >= args.size()) {
                o.error = arg + QStringLiteral(" needs a value");
                return false;
            }
            value = args.at(++i);
            return true;
        };
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            o.help = true;
        } else if (arg == QLatin1String("--factory")) {
            o.factory = true;
        } else if (arg == QLatin1String("--init-factory")) {
            o.initFactory = true;
        } else if (arg == QLatin1String("--station-login")) {
            if (!takeValue())
                return o;
            FactorySetup::StationLogin login;
            if (!FactorySetup::parseStationLogin(value, &login)) {
                o.error =
                    QStringLiteral("--station-login wants LOGIN=STATION_ID, not \"%1\"").arg(value);
                return o;
            }
            o.stationLogins << login;
        } else if (arg == QLatin1String("--report-login")) {
            if (!takeValue())
                return o;
            o.reportLogins << value;
        } else if (arg == QLatin1String("--db")) {
            if (!takeValue())
                return o;
            o.dbPath = value;
            dbGiven = true;
        } else if (arg == QLatin1String("--config")) {
            if (!takeValue())
                return o;
            o.configPath = value;
        } else if (arg == QLatin1String("--from") || arg == QLatin1String("--to")) {
            if (!takeValue())
                return o;
            const bool upper = arg == QLatin1String("--to");
            const QDateTime when = parseTime(value, upper);
            if (!when.isValid()) {
                o.error = QStringLiteral("bad time \"%1\" (2026-12-07, 2026-12-07 14:30 or "
                                         "2026-12-07T14:30:00Z)")
                              .arg(value);
                return o;
            }
            // The databases hold times up to the end of year 9999: an upper
            // bound past it leaves the period open (as text it would come
            // before every time held, and nothing would be reported).
            if (upper && when > lastTime())
                o.filter.to = QDateTime();
            else
                (upper ? o.filter.to : o.filter.from) = when;
        } else if (arg == QLatin1String("--station")) {
            if (!takeValue())
                return o;
            for (const QString &id : value.split(QLatin1Char(','), Qt::SkipEmptyParts))
                o.filter.stations << id.trimmed();
        } else if (arg == QLatin1String("--format")) {
            if (!takeValue())
                return o;
            if (value == QLatin1String("text")) {
                o.format = ReportWriter::Text;
            } else if (value == QLatin1String("csv")) {
                o.format = ReportWriter::Csv;
            } else if (value == QLatin1String("markdown") || value == QLatin1String("md")) {
                o.format = ReportWriter::Markdown;
            } else if (value == QLatin1String("html")) {
                o.html = true;
            } else {
                o.error = QStringLiteral("unknown format \"%1\" (text, csv, markdown or html)")
                              .arg(value);
                return o;
            }
        } else if (arg == QLatin1String("--table")) {
            if (!takeValue())
                return o;
            if (!ReportWriter::tableKeys().contains(value)) {
                o.error = QStringLiteral("unknown table \"%1\" (%2)")
                              .arg(value, ReportWriter::tableKeys().join(QStringLiteral(", ")));
                return o;
            }
            o.table = value;
        } else if (arg == QLatin1String("--out")) {
            if (!takeValue())
                return o;
            o.out = value;
        } else if (arg == QLatin1String("--unit")) {
            if (!takeValue())
                return o;
            o.unit = value.trimmed();
            if (o.unit.isEmpty()) {
                o.error = QStringLiteral("--unit wants a module's flash UID");
                return o;
            }
        } else {
            o.error = QStringLiteral("unknown argument \"%1\"").arg(args.at(i));
            return o;
        }
    }
    if (o.factory && dbGiven)
        o.error = QStringLiteral("--factory and --db exclude each other");
    else if (o.initFactory && dbGiven)
        o.error = QStringLiteral("--init-factory sets up the factory database, not a --db");
    else if (!o.initFactory && (!o.stationLogins.isEmpty() || !o.reportLogins.isEmpty()))
        o.error = QStringLiteral("--station-login and --report-login go with --init-factory");
    else if (o.filter.from.isValid() && o.filter.to.isValid() && o.filter.to <= o.filter.from)
        o.error = QStringLiteral("--to must come after --from");
    else if (o.html && o.out.isEmpty())
        o.error = QStringLiteral("--format html writes a page: give it --out FILE");
    else if (o.html && !o.table.isEmpty())
        o.error = QStringLiteral("--format html shows every table; --table goes with text, "
                                 "markdown or csv");
    else if (o.format == ReportWriter::Csv && o.unit.isEmpty() && o.table.isEmpty() &&
             o.out.isEmpty())
        o.error = QStringLiteral("--format csv writes one table a file: give --table NAME (to "
                                 "standard output) or --out FOLDER (a file NAME.csv per table)");
    else if (!o.factory && !o.out.isEmpty() && QFileInfo::exists(o.dbPath) &&
             QFileInfo(o.out).canonicalFilePath() == QFileInfo(o.dbPath).canonicalFilePath())
        // The report written over the results it was made of.
        o.error = QStringLiteral("--out names the results database the report reads");
    else if (!o.unit.isEmpty() && (o.html || !o.table.isEmpty()))
        o.error = QStringLiteral("--unit lists one module's tests as text, markdown or csv, "
                                 "without --table");
    return o;
}

QString ReportOptions::usage()
{
    return QStringLiteral(
        "Usage: benchreport [--factory | --db FILE] [--from TIME] [--to TIME]\n"
        "                   [--station ID]... [--format text|markdown|csv|html]\n"
        "                   [--table NAME] [--out PATH] [--unit FLASH_UID]\n"
        "       benchreport --init-factory [--config FILE]\n"
        "                   [--station-login LOGIN=STATION_ID]... [--report-login LOGIN]...\n"
        "\n"
        "The yield report over the recorded test cycles: first-pass yield per\n"
        "station and per slot (a slot failing far more often than the station's\n"
        "other slots is flagged FIXTURE?), failures by step, retests by flash UID\n"
        "(first pass against final), and per figure (frequency offset, RX and TX\n"
        "RSSI) the mean, standard deviation and Cpk against the limits in force.\n"
        "Run it in the station directory.\n"
        "\n"
        "  --db FILE          a station's results database (default\n"
        "                     ./log/results.sqlite)\n"
        "  --factory          the factory's shared database named in\n"
        "                     [factory_db] of ./config/station.ini\n"
        "  --config FILE      another station.ini for --factory\n"
        "  --from TIME        cycles started at or after TIME\n"
        "  --to TIME          cycles started before TIME (a date: to its end)\n"
        "                     TIME: 2026-12-07, 2026-12-07 14:30, or ISO 8601\n"
        "                     with a zone (2026-12-07T06:30:00Z); local time else\n"
        "  --station ID       only these stations (repeat, or ID,ID)\n"
        "  --format F         text (default), markdown, csv (one table a file,\n"
        "                     numbers alone: --table or --out) or html (one\n"
        "                     page with its charts, self-contained: --out FILE)\n"
        "  --table NAME       one table: summary, station, slot, step, retest\n"
        "                     or figure\n"
        "  --out PATH         write to a file instead of standard output; for\n"
        "                     csv a folder, which gets NAME.csv for each table\n"
        "  --unit FLASH_UID   every test of one module, at every station, with\n"
        "                     its verdicts and figures\n"
        "  -h, --help         this text\n"
        "\n"
        "The administrator's step, with the database owner's login in [factory_db]:\n"
        "  --init-factory     bring the factory database's tables up to date and\n"
        "                     set up the roles results_station and results_report\n"
        "  --station-login LOGIN=STATION_ID\n"
        "                     a station's login (made without a password when\n"
        "                     new), which may add and read cycles of that\n"
        "                     station only\n"
        "  --report-login LOGIN\n"
        "                     a login that may read the results, nothing more\n"
        "\n"
        "Exit status: 0 report written or database set up; 1 the database\n"
        "cannot be used (no such file, not a results database, damaged, no\n"
        "results yet), the report cannot be written to --out, or a step of\n"
        "--init-factory failed; 2 a bad command line, a --station the database\n"
        "holds no cycle of, or a --unit it holds no test of.\n");
}
