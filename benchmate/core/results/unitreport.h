#ifndef UNITREPORT_H
#define UNITREPORT_H

#include "reportwriter.h"
#include "yieldreport.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>
#include <vector>

class DatabaseConnection;

// One test of a module, as the results database keeps it.
struct UnitTest
{
    QDateTime startedAt;
    QString station;
    qint64 cycle = 0; // the cycle's number at its station
    std::optional<int> slot;
    QString device;
    QString verdict;
    QString failedStep;
    QString reason; // the first line of its failure log
    std::optional<int> crystal;
    int txCal = 0;
    int rxCal = 0;
    // By figure (FigureTable order): the mean as measured (the truncated
    // average in cycles recorded before the means were kept); none when the
    // figure was not measured.
    std::vector<std::optional<double>> figures;
};

// A module's history by its flash UID: every test of it in the period, at
// every station the database holds, oldest first.
class UnitReport
{
public:
    static bool compute(DatabaseConnection &connection, const QString &flashUid,
                        const ReportFilter &filter, QList<UnitTest> *tests, QString *error);

    static ReportTable table(const QString &flashUid, const QList<UnitTest> &tests,
                             ReportWriter::Format format);
    static QString write(const QString &flashUid, const QList<UnitTest> &tests,
                         ReportWriter::Format format);
};

#endif // UNITREPORT_H
