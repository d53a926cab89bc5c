#ifndef YIELDREPORT_H
#define YIELDREPORT_H

#include "yieldtally.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVector>

class QSqlRecord;
struct FigureDefinition;

#include <optional>

class DatabaseConnection;
class QSqlQuery;

// Which cycles a report looks at: those started in [from, to) (an invalid
// time leaves that end open) at the stations named (all when empty).
struct ReportFilter
{
    QDateTime from;
    QDateTime to;
    QStringList stations;
};

// One figure's spread against one set of limits (the RSSI figures less each
// DUT's calibration offset, as they are judged).
struct FigureStats
{
    QString figure;  // "freq offset", "rx rssi", "tx rssi"
    QString station; // empty: every station
    double lowerLimit = 0;
    double upperLimit = 0;
    qint64 n = 0;
    double mean = 0;
    double sd = 0; // sample standard deviation
    std::optional<double> cpk;
    // Histogram: histogramBins bins of equal width from binLow, over the
    // limits and a quarter of their span beyond each; values outside below
    // and above.
    double binLow = 0;
    double binWidth = 0;
    QVector<qint64> bins;
    qint64 below = 0;
    qint64 above = 0;
};

struct YieldFigures
{
    ReportFilter filter;
    QString source;
    QDateTime firstCycle;
    QDateTime lastCycle;
    qint64 cycles = 0;
    YieldCount total;
    QList<StationYield> stations;
    QList<SlotYield> slotYields;
    QList<StepFailures> steps;
    QList<DayCount> days;
    RetestSummary retests;
    QList<FigureStats> figures;
};

// The yield report over a results database (a station's own or the
// factory's): yields per station and slot with suspect fixtures flagged,
// failures by step, retests by flash UID and the spread and Cpk of each
// figure.
class YieldReport
{
public:
    static constexpr int histogramBins = 30;

    // The yields come from YieldTally, fed with the DUTs of the cycles
    // selected, in the order they were tested.
    static bool compute(DatabaseConnection &connection, const ReportFilter &filter,
                        YieldFigures *figures, QString *error);

    // The filter as SQL over the cycles table `c` (" WHERE ..." or empty),
    // with the values it binds in order.
    struct Where
    {
        QString sql;
        QVariantList values;
    };
    static Where where(const ReportFilter &filter);
    // Prepares `sql`, binds the filter's values and runs it forward only.
    static bool run(QSqlQuery &query, const QString &sql, const Where &where, QString *error);

    // A figure's mean as measured, as SQL over the DUTs table `d`: the mean
    // where the database keeps it; an older station's file (or a factory
    // database no station of this version has connected to yet) has the
    // truncated average only, and one older still not the figure at all
    // ("NULL").
    static QString measuredMean(const FigureDefinition &f, const QSqlRecord &duts);

    // min(USL - mean, mean - LSL) / 3 sd; none when sd is 0 or n < 2.
    static std::optional<double> cpk(qint64 n, double mean, double sd, double lower, double upper);
};

#endif // YIELDREPORT_H
