#ifndef DRIFTREPORT_H
#define DRIFTREPORT_H

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

class DatabaseConnection;
struct ReportFilter;

// An individuals control chart of one value, cycle after cycle.
//
// The centre and the limits come from a baseline: the first `baseline`
// points. The spread is estimated from the baseline's mean moving range
// (the mean difference between neighbours, divided by 1.128), as an
// individuals chart does, so that a slow drift within the baseline does not
// widen the limits as a standard deviation would. The points after the
// baseline are judged against it: one beyond centre +- 3 sigma, or `runLength`
// in a row on one side of the centre (a point on the centre ends a run), is
// an alarm. A run raises one alarm, at its `runLength`th point.
struct ControlChart
{
    enum Rule
    {
        BeyondLimits,
        RunOnOneSide,
    };
    struct Alarm
    {
        int index = 0; // in the points given
        Rule rule = BeyondLimits;
    };

    static constexpr int runLength = 8;

    bool enough = false; // the points hold a baseline; nothing else is set otherwise
    int baseline = 0;
    double centre = 0;
    double sigma = 0;
    double lower = 0;
    double upper = 0;
    QList<Alarm> alarms;

    static ControlChart of(const QVector<double> &values, int baseline);
};

// The golden machine's drift: per station, a control chart of each value
// its cycles recorded for it (the crystal value the golden machine read
// from its OTP, and each figure's mean over the cycle's DUTs), and a word
// when one station id's cycles come from more than one station folder: a
// warning when the folders recorded at once (two folders reporting under
// one id make one chart of two machines), a note when one's cycles follow
// the other's (a folder moved, or copied and the original no longer used).
// When the database holds the stations' own counts (the factory's), the
// stations whose count differs from what the factory holds are listed too.
class DriftReport
{
public:
    // Cycles of a station's baseline (with the value recorded).
    static constexpr int baselineCycles = 20;

    struct Point
    {
        qint64 number = 0; // the cycle's heading number
        QDateTime startedAt;
        double value = 0;
    };

    struct Series
    {
        QString quantity; // "golden crystal", "rx rssi mean (dBm)"
        QList<Point> points;
        ControlChart chart;
    };

    struct Station
    {
        QString station;
        qint64 cycles = 0;
        QList<Series> series;
        QStringList folders; // the folder uids its cycles were recorded in
        // The folders' cycles alternate in time: two folders recording at
        // once under one id. Otherwise one folder's cycles follow the
        // other's (a folder moved or copied takes a new uid).
        bool foldersAtOnce = false;
    };

    // A station whose own count of its cycles differs from the factory's.
    struct CountDifference
    {
        QString station;
        int folders = 0;
        qint64 local = 0; // the station folders' counts, summed
        qint64 factory = 0;
        QDateTime reportedAt; // the latest of the folders' reports
    };

    struct Result
    {
        bool recorded = true; // the database has the drift columns
        QList<Station> stations;
        bool countsKept = false; // the database keeps the stations' counts
        QList<CountDifference> countDifferences;
    };

    // The cycles of `filter` (their time and station). False with *error
    // set on a database error.
    static bool compute(DatabaseConnection &connection, const ReportFilter &filter, Result *out,
                        QString *error);

    static QString text(const Result &result);

    // What a station's folders say, for the text report and the page: empty
    // for one folder; else a sentence (lower case, no full stop), a warning
    // when `s.foldersAtOnce`, a note otherwise.
    static QString foldersNote(const Station &s);
    // Why a cycle is flagged: "beyond 3 sigma", "8 in a row on one side".
    static QString alarmReason(const ControlChart::Alarm &alarm);
};

#endif // DRIFTREPORT_H
