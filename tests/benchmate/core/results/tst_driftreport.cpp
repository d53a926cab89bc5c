// The golden machine's drift: the control chart's alarms (a step, a run on
// one side, too few cycles for a baseline), the cycle's means as the record
// builder makes them, and benchreport's section over a station's file: the
// flagged cycle, a station id used by two station folders, an older file.
#include "cyclerecordbuilder.h"
#include "cycletables.h"
#include "databaseconnection.h"
#include "driftreport.h"
#include "figuretable.h"
#include "localresultsdb.h"
#include "resultsrecorder.h"
#include "resultsschema.h"
#include "samplecycles.h"
#include "yieldreport.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
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

// Station A's golden machine reads crystal 12 for 24 cycles, then 14; B
// has too few cycles, recorded by two station folders under its one id.
void TestDriftReport::reportFromAStationsFile()
{
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("results.sqlite"));
    {
        ResultsRecorder recorder(db);
        for (int n = 1; n <= 30; ++n)
            QVERIFY2(recorder.recordCycle(driftCycle(QStringLiteral("A"), n, n <= 24 ? 12 : 14)),
                     qPrintable(recorder.lastError()));
        // A cycle whose golden machine read no value is no point.
        QVERIFY(recorder.recordCycle(driftCycle(QStringLiteral("A"), 31, std::nullopt)));
        for (int n = 1; n <= 4; ++n) {
            CycleRecord c = driftCycle(QStringLiteral("B"), n, 3);
            if (n > 2)
                c.folderUid = QStringLiteral("another-folder");
            QVERIFY(recorder.recordCycle(c));
        }
    }
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
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("older.sqlite"));
    {
        DatabaseConnection c(QStringLiteral("QSQLITE"));
        c.db().setDatabaseName(db);
        QVERIFY(c.db().open());
        QCOMPARE(ResultsSchema::apply(c, db, 3).outcome, ResultsSchema::Ready);
        CycleTables tables(c);
        QVERIFY2(tables.insert(sampleCycle(QStringLiteral("O"), 1)), qPrintable(tables.error()));
    }
    const Run run = benchreport({QStringLiteral("--db"), db});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY2(run.out.contains(QStringLiteral("not recorded in this database")),
             qPrintable(run.out));
}

QTEST_GUILESS_MAIN(TestDriftReport)
#include "tst_driftreport.moc"
