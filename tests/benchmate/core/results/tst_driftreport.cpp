// The golden machine's drift: the control chart's alarms (a step, a run on
// one side, too few cycles for a baseline), the cycle's means as the record
// builder makes them, and benchreport's section over a station's file: the
// flagged cycle, a station id used by two station folders, an older file.
#include "cyclerecordbuilder.h"
#include "cycletables.h"
#include "databaseconnection.h"
#include "driftreport.h"
#include "figuretable.h"
#include "htmlreport.h"
#include "localresultsdb.h"
#include "resultsrecorder.h"
#include "resultsschema.h"
#include "samplecycles.h"
#include "yieldreport.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <cmath>

namespace {

constexpr double pi = 3.14159265358979323846;

// Normal values (Box-Muller) from a fixed seed: the same series every run.
QVector<double> noise(int count, quint32 seed)
{
    QRandomGenerator random(seed);
    QVector<double> values;
    while (values.size() < count) {
        const double u1 = 1.0 - random.generateDouble();
        const double u2 = random.generateDouble();
        values << std::sqrt(-2 * std::log(u1)) * std::cos(2 * pi * u2);
    }
    return values;
}

QList<int> alarmsOf(const ControlChart &chart, ControlChart::Rule rule)
{
    QList<int> at;
    for (const ControlChart::Alarm &a : chart.alarms) {
        if (a.rule == rule)
            at << a.index;
    }
    return at;
}

CycleRecord driftCycle(const QString &station, int number, std::optional<int> crystal)
{
    CycleRecord c = sampleCycle(station, number, 2);
    c.number = number;
    c.goldenCrystal = crystal;
    return c;
}

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

Run benchreport(const QStringList &args)
{
    QProcess process;
    process.start(QStringLiteral(BENCHREPORT_PATH), args);
    Run run;
    if (!process.waitForFinished(30000))
        return run;
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// The report's line of one station's value.
QString lineOf(const QString &report, const QString &station, const QString &quantity)
{
    const int at = report.indexOf(QStringLiteral("station %1,").arg(station));
    if (at < 0)
        return QString();
    const int line = report.indexOf(QStringLiteral("    %1: ").arg(quantity), at);
    if (line < 0)
        return QString();
    return report.mid(line, report.indexOf(QLatin1Char('\n'), line) - line);
}

// Station A's golden machine reads crystal 12 for 24 cycles, then 14,
// and reads nothing in cycle 31; B has 4 cycles, from two station folders
// recording at once.
bool recordTwoStations(const QString &db)
{
    ResultsRecorder recorder(db);
    QString error;
    bool ok = true;
    for (int n = 1; n <= 30; ++n)
        ok = ok &&
             recorder.recordCycle(driftCycle(QStringLiteral("A"), n, n <= 24 ? 12 : 14), &error);
    // A cycle whose golden machine read no value is no point.
    ok = ok && recorder.recordCycle(driftCycle(QStringLiteral("A"), 31, std::nullopt), &error);
    for (int n = 1; n <= 4; ++n) {
        CycleRecord c = driftCycle(QStringLiteral("B"), n, 3);
        if (n % 2 == 0)
            c.folderUid = QStringLiteral("another-folder");
        ok = ok && recorder.recordCycle(c, &error);
    }
    return ok;
}

// A point of a control chart on the page.
struct ChartPoint
{
    bool flagged = false;
    double y = 0;
    QString title;
};

// The points of the chart whose title starts with `title`, from the page.
QList<ChartPoint> chartPoints(const QString &page, const QString &title, QString *error)
{
    QList<ChartPoint> points;
    QXmlStreamReader xml(page);
    bool inChart = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("svg")) {
            xml.readNextStartElement();
            inChart =
                xml.name() == QLatin1String("title") && xml.readElementText().startsWith(title);
        } else if (inChart && xml.isStartElement() && xml.name() == QLatin1String("circle")) {
            ChartPoint p;
            p.flagged = xml.attributes().value(QStringLiteral("class")) == QLatin1String("flagged");
            p.y = xml.attributes().value(QStringLiteral("cy")).toString().toDouble();
            xml.readNextStartElement();
            p.title = xml.readElementText();
            points << p;
        } else if (xml.isEndElement() && xml.name() == QLatin1String("svg")) {
            inChart = false;
        }
    }
    if (xml.hasError())
        *error = xml.errorString();
    return points;
}

} // namespace

class TestDriftReport : public QObject
{
    Q_OBJECT

private slots:
    void stepFlaggedAtItsCycle();
    void runOnOneSide();
    void tooFewForABaseline();
    void cycleMeansLessEachSlotsOffset();
    void reportFromAStationsFile();
    void olderFileSaysNotRecorded();
    void pageDrawsTheChart();
    void copiedFolderToldApartMovedFolderNoWarning();
};

// A seeded series with a step of 7 sigma at point 30: the first alarm is a
// point beyond the limits, at the step, and nothing before it.
void TestDriftReport::stepFlaggedAtItsCycle()
{
    QVector<double> values = noise(45, 716);
    for (int i = 30; i < values.size(); ++i)
        values[i] += 7;
    const ControlChart chart = ControlChart::of(values, DriftReport::baselineCycles);
    QVERIFY(chart.enough);
    QVERIFY(chart.sigma > 0.5 && chart.sigma < 1.5);
    QVERIFY(!chart.alarms.isEmpty());
    QCOMPARE(chart.alarms.first().index, 30);
    QCOMPARE(chart.alarms.first().rule, ControlChart::BeyondLimits);
    // Every point of the step is beyond the limits.
    QCOMPARE(alarmsOf(chart, ControlChart::BeyondLimits).size(), 15);
}

// Points inside the limits but 8 in a row on one side: one alarm at the
// 8th, however long the run; a point on the other side or on the centre
// starts counting again.
void TestDriftReport::runOnOneSide()
{
    QVector<double> values;
    for (int i = 0; i < DriftReport::baselineCycles; ++i)
        values << (i % 2 ? 1.0 : -1.0);                              // centre 0
    values << 0.5 << 0.5 << 0.5 << 0.5 << 0.5 << 0.5 << 0.5 << -0.5; // 7, then the other side
    values << 0.0;                                                   // on the centre
    values << 0.5 << 0.5 << 0.5 << 0.5 << 0.5 << 0.5 << 0.5;         // 7 again
    values << 0.0;
    const int runStart = values.size();
    for (int i = 0; i < 12; ++i)
        values << -0.5;
    const ControlChart chart = ControlChart::of(values, DriftReport::baselineCycles);
    QVERIFY(chart.enough);
    QCOMPARE(chart.centre, 0.0);
    QVERIFY(alarmsOf(chart, ControlChart::BeyondLimits).isEmpty());
    QCOMPARE(alarmsOf(chart, ControlChart::RunOnOneSide), QList<int>{runStart + 7});
}

void TestDriftReport::tooFewForABaseline()
{
    const QVector<double> few = noise(DriftReport::baselineCycles - 1, 1);
    QVERIFY(!ControlChart::of(few, DriftReport::baselineCycles).enough);
    QVERIFY(ControlChart::of(few, DriftReport::baselineCycles).alarms.isEmpty());
    QVERIFY(ControlChart::of(noise(DriftReport::baselineCycles, 1), DriftReport::baselineCycles)
                .enough);
}

// Each DUT's mean less its slot's calibration offset (the limits move by
// it), over the DUTs that measured the figure; none where no DUT did.
void TestDriftReport::cycleMeansLessEachSlotsOffset()
{
    CycleRecord c;
    DutRecord a;
    a.rxRssiMean = -50.5;
    a.rxCal = 2;
    a.freqMean = 3;
    DutRecord b;
    b.rxRssiMean = -53.5;
    b.rxCal = -2;
    b.freqMean = 6;
    b.txCal = 5; // no TX measurement: its offset counts for nothing
    DutRecord unmeasured;
    unmeasured.rxCal = 40;
    c.duts = {a, b, unmeasured};
    CycleRecordBuilder::cycleMeans(&c);
    QCOMPARE(c.cycleMean(FigureTable::RxRssi), std::optional<double>(-52.0));
    QCOMPARE(c.cycleMean(FigureTable::FreqOffset), std::optional<double>(4.5));
    QCOMPARE(c.cycleMean(FigureTable::TxRssi), std::optional<double>());
}

// The text section over recordTwoStations(): A's step flagged at its
// cycle, B too few for a baseline and from two folders.
void TestDriftReport::reportFromAStationsFile()
{
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("results.sqlite"));
    QVERIFY(recordTwoStations(db));
    const Run run = benchreport({QStringLiteral("--db"), db});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY2(run.out.contains(QStringLiteral("station A, 31 cycle(s)")), qPrintable(run.out));
    const QString crystal = lineOf(run.out, QStringLiteral("A"), QStringLiteral("golden crystal"));
    QVERIFY2(crystal.contains(QStringLiteral("centre 12.00, sigma 0.00")), qPrintable(run.out));
    QVERIFY2(crystal.contains(QStringLiteral("FLAGGED: cycle 25 (2026-12-07 08:25) beyond 3 "
                                             "sigma at 14.00")),
             qPrintable(crystal));
    // The sample cycles' RX means repeat every three cycles: in control.
    QVERIFY2(lineOf(run.out, QStringLiteral("A"), QStringLiteral("rx rssi mean (dBm)"))
                 .endsWith(QStringLiteral("in control")),
             qPrintable(run.out));
    QVERIFY2(lineOf(run.out, QStringLiteral("B"), QStringLiteral("golden crystal"))
                 .contains(QStringLiteral("4 cycle(s) with the value, too few for a baseline of "
                                          "20")),
             qPrintable(run.out));
    QVERIFY2(run.out.contains(QStringLiteral("WARNING: cycles from 2 station folders under this "
                                             "one id")),
             qPrintable(run.out));
    // A is one folder's: no warning for it; the file keeps no counts.
    const QString stationA = run.out.mid(run.out.indexOf(QStringLiteral("station A,")));
    QVERIFY(!stationA.left(stationA.indexOf(QStringLiteral("station B,"))).contains("WARNING"));
    QVERIFY(!run.out.contains(QStringLiteral("own count")));

    // The same through the class, with a station filter.
    DatabaseConnection c(QStringLiteral("QSQLITE"));
    QString error;
    QVERIFY2(LocalResultsDb::open(c, db, LocalResultsDb::ForReading, &error), qPrintable(error));
    ReportFilter filter;
    filter.stations = QStringList{QStringLiteral("B")};
    DriftReport::Result result;
    QVERIFY2(DriftReport::compute(c, filter, &result, &error), qPrintable(error));
    QCOMPARE(result.stations.size(), 1);
    QCOMPARE(result.stations.first().folders.size(), 2);
    QVERIFY(result.stations.first().folders.contains(QStringLiteral("another-folder")));
}

// A file of an older schema reports its yield; the drift says it was not
// recorded there instead of failing the report.
void TestDriftReport::olderFileSaysNotRecorded()
{
    QString dbError;
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("older.sqlite"));
    {
        DatabaseConnection c(QStringLiteral("QSQLITE"));
        c.db().setDatabaseName(db);
        QVERIFY(c.db().open());
        QCOMPARE(ResultsSchema::apply(c, db, 3).outcome, ResultsSchema::Ready);
        CycleTables tables(c);
        QVERIFY2(tables.insert(sampleCycle(QStringLiteral("O"), 1), &dbError), qPrintable(dbError));
    }
    const Run run = benchreport({QStringLiteral("--db"), db});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY2(run.out.contains(QStringLiteral("not recorded in this database")),
             qPrintable(run.out));
}

// benchreport's page over recordTwoStations(): A's crystal chart has a
// point per cycle with the value, the six after the step flagged, drawn
// above the others (a higher value higher up); B's chart says it has too
// few; the two-folder warning is there.
void TestDriftReport::pageDrawsTheChart()
{
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("results.sqlite"));
    QVERIFY(recordTwoStations(db));
    const QString file = dir.filePath(QStringLiteral("report.html"));
    const Run run = benchreport({QStringLiteral("--db"), db, QStringLiteral("--format"),
                                 QStringLiteral("html"), QStringLiteral("--out"), file});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString page = QString::fromUtf8(f.readAll());

    QString error;
    const QList<ChartPoint> crystal =
        chartPoints(page, QStringLiteral("A, golden crystal: centre 12.00"), &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(crystal.size(), 30);
    double steady = -1;
    for (int i = 0; i < crystal.size(); ++i) {
        const ChartPoint &p = crystal.at(i);
        QCOMPARE(p.flagged, i >= 24);
        QVERIFY2(p.title.startsWith(QStringLiteral("cycle %1,").arg(i + 1)), qPrintable(p.title));
        if (!p.flagged) {
            QVERIFY(steady < 0 || qFuzzyCompare(p.y, steady));
            steady = p.y;
        } else {
            QVERIFY2(p.title.endsWith(QStringLiteral(": 14.00, beyond 3 sigma")),
                     qPrintable(p.title));
            QVERIFY(p.y < steady);
        }
    }
    const QList<ChartPoint> few = chartPoints(
        page, QStringLiteral("B, golden crystal: 4 cycle(s) with the value, too few"), &error);
    QCOMPARE(few.size(), 4);
    for (const ChartPoint &p : few)
        QVERIFY(!p.flagged);
    QVERIFY(page.contains(QStringLiteral("Cycles from 2 station folders under this one id")));
}

namespace {

// The uid of the station folder whose file is at `path`.
QString folderUidAt(const QString &path)
{
    DatabaseConnection c(QStringLiteral("QSQLITE"));
    QString error;
    if (!LocalResultsDb::open(c, path, LocalResultsDb::ForReading, &error))
        return error;
    return LocalResultsDb::folderUid(c, &error);
}

bool record(const QString &path, int from, int to)
{
    ResultsRecorder recorder(path);
    QString error;
    bool ok = true;
    for (int n = from; n <= to; ++n)
        ok = ok && recorder.recordCycle(driftCycle(QStringLiteral("S"), n, 5), &error);
    return ok;
}

} // namespace

// A station folder copied whole takes a new uid where the copy first
// records (and says so), the original keeps its own: the two are told
// apart. A folder moved takes a new uid too, and its file's cycles, one
// uid's after the other's, give a note, not the two-station warning.
void TestDriftReport::copiedFolderToldApartMovedFolderNoWarning()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("one")));
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("copy")));
    const QString original = dir.filePath(QStringLiteral("one/results.sqlite"));
    const QString copy = dir.filePath(QStringLiteral("copy/results.sqlite"));
    QVERIFY(record(original, 1, 3));
    const QString first = folderUidAt(original);
    QVERIFY(!first.isEmpty());
    QVERIFY(QFile::copy(original, copy));
    QCOMPARE(folderUidAt(copy), first); // a copy carries the uid along

    const QRegularExpression says(QStringLiteral("was recorded at .* it takes a new folder uid"));
    QTest::ignoreMessage(QtWarningMsg, says);
    QVERIFY(record(copy, 4, 5));
    const QString copied = folderUidAt(copy);
    QVERIFY(!copied.isEmpty() && copied != first);
    QVERIFY(record(original, 4, 5));
    QCOMPARE(folderUidAt(original), first);
    QVERIFY(record(copy, 6, 6));
    QCOMPARE(folderUidAt(copy), copied); // once, not at each start

    const QString moved = dir.filePath(QStringLiteral("moved"));
    QVERIFY(QDir().rename(dir.filePath(QStringLiteral("one")), moved));
    const QString movedFile = moved + QStringLiteral("/results.sqlite");
    QTest::ignoreMessage(QtWarningMsg, says);
    QVERIFY(record(movedFile, 6, 8));
    const QString after = folderUidAt(movedFile);
    QVERIFY(after != first && after != copied);
    const Run run = benchreport({QStringLiteral("--db"), movedFile});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY2(run.out.contains(QStringLiteral("note: cycles from 2 station folders one after the "
                                             "other (folder uids %1, %2)")
                                  .arg(first, after)),
             qPrintable(run.out));
    QVERIFY(!run.out.contains(QStringLiteral("WARNING")));
}

QTEST_GUILESS_MAIN(TestDriftReport)
#include "tst_driftreport.moc"
