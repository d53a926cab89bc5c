#ifndef REPORTOPTIONS_H
#define REPORTOPTIONS_H

#include "factorysetup.h"
#include "reportwriter.h"
#include "yieldreport.h"

#include <QString>
#include <QStringList>

// benchreport's command line.
struct ReportOptions
{
    bool factory = false; // the factory database of the station's settings
    QString dbPath = QStringLiteral("./log/results.sqlite");
    QString configPath = QStringLiteral("./config/station.ini");
    ReportFilter filter;
    ReportWriter::Format format = ReportWriter::Text;
    bool html = false; // --format html: one page, written to `out`
    QString table;     // one table of the report (ReportWriter::tableKeys)
    QString out;       // a file, or for CSV a folder of one file per table
    QString unit;      // --unit: one module's tests instead of the report
    bool help = false;
    // The administrator's step instead of a report (FactorySetup).
    bool initFactory = false;
    QList<FactorySetup::StationLogin> stationLogins;
    QStringList reportLogins;
    QString error; // set when the command line is bad

    // `args` without the program name.
    static ReportOptions parse(const QStringList &args);
    static QString usage();

    // A time on the command line: "2026-12-07", "2026-12-07 14:30",
    // "2026-12-07T14:30:00", local time unless it names its zone ("Z",
    // "+08:00"). A bare date as an upper bound means the end of that day.
    static QDateTime parseTime(const QString &text, bool upperBound);
    // The last time a results database holds (its times are text of four
    // digits' years).
    static QDateTime lastTime();
};

#endif // REPORTOPTIONS_H
