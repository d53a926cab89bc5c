#ifndef REPORTWRITER_H
#define REPORTWRITER_H

#include "yieldreport.h"

#include <QList>
#include <QString>
#include <QStringList>

// A table of the yield report.
struct ReportTable
{
    QString key;   // names the table in CSV
    QString title; // heading in text and Markdown
    QStringList header;
    QList<QStringList> rows;
    QStringList notes; // lines under the table (text and Markdown)
};

// Turns the report's figures into tables and those into plain text (the
// default), Markdown or CSV. A CSV text is one table (its header row, then
// its rows), with numbers alone in its cells, for a spreadsheet or a
// program to read.
class ReportWriter
{
public:
    enum Format
    {
        Text,
        Csv,
        Markdown,
    };

    // How many retested modules text and Markdown list, of those that failed
    // at least once (CSV lists all).
    static constexpr int listedRetests = 20;

    static QList<ReportTable> tables(const YieldFigures &figures, Format format);
    // The tables' keys, in the report's order: "summary", "station", ...
    static QStringList tableKeys();
    // The table of that key alone, or every table (CSV: the summary).
    static QString write(const YieldFigures &figures, Format format,
                         const QString &table = QString());
    // One table of any kind (a module's history).
    static QString write(const ReportTable &table, Format format);

    static QString percent(qint64 part, qint64 whole);
};

#endif // REPORTWRITER_H
