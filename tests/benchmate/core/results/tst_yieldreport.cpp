// The yield report over a results database: yields per station and slot
// with a fixture fault flagged, failures by step, retests by flash UID,
// the figures' spread and Cpk, the filters, the three formats and
// benchreport's command line.
#include "cycletables.h"
#include "databaseconnection.h"
#include "localresultsdb.h"
#include "reportwriter.h"
#include "resultsrecorder.h"
#include "resultsschema.h"
#include "samplecycles.h"
#include "yieldreport.h"

#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QDateTime t0(QDate(2026, 12, 1), QTime(8, 0), Qt::UTC);

DutRecord dut(int slot, const QString &uid, const char *verdict, const char *step = "")
{
    DutRecord d;
    d.position = slot;
    d.slot = slot;
    d.device = QStringLiteral("DUT%1").arg(slot);
    d.port = QStringLiteral("D%1").arg(slot + 1);
    d.flashUid = uid;
    d.verdict = QLatin1String(verdict);
    d.failedStep = QLatin1String(step);
    const bool measured = QLatin1String(step) != QLatin1String("download") &&
                          QLatin1String(step) != QLatin1String("cycle");
    if (measured) {
        d.downloadStatus = d.macStatus = d.calibrationStatus = QLatin1String("pass");
        d.txStatus = QLatin1String(QLatin1String(step) == QLatin1String("tx") ? "fail" : "pass");
        d.freqAvg = 1;
        d.rxRssiAvg = -50;
        d.txRssiAvg = -48;
    }
    return d;
}

CycleRecord cycle(const QString &station, int n, const QDateTime &at, const QList<DutRecord> &duts)
{
    CycleRecord c;
    c.stationId = station;
    c.cycleUid = QStringLiteral("%1-%2").arg(station).arg(n);
    c.number = n;
    c.startedAt = at;
    c.endedAt = at.addSecs(30);
    c.rxRssiMin = -75;
    c.rxRssiMax = -20;
    c.freqMin = -10;
    c.freqMax = 10;
    c.txRssiMin = -75;
    c.txRssiMax = -20;
    c.duts = duts;
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
    // Times without a zone are local: the test's are UTC.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(BENCHREPORT_PATH), args);
    Run run;
    if (!process.waitForFinished(30000))
        return run;
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

} // namespace

class TestYieldReport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void yieldsPerStationAndSlotWithTheFixtureFlagged();
    void failuresByStepAndRetests();
    void filters();
    void stationFaultIsNoDutsYield();
    void figuresAgainstTheLimitsInForce();
    void olderStationsFile();
    void formats();
    void commandLine();
    void sourcesThatCannotBeReported();

private:
    YieldFigures report(const ReportFilter &filter = ReportFilter());

    QTemporaryDir m_dir;
    QString m_db;
};

// Station A: 10 cycles over slots 0..5, slot 2 outside its limits in
// cycles 1 to 7, slot 4's download failing once (no UID). Station B: three
// cycles of three slots: modules U2 and U3 fail and are tested again (U2
// passes then), and a cycle whose golden machine failed.
void TestYieldReport::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_db = m_dir.filePath(QStringLiteral("results.sqlite"));
    ResultsRecorder recorder(m_db);
    for (int c = 1; c <= 10; ++c) {
        QList<DutRecord> duts;
        for (int slot = 0; slot < 6; ++slot) {
            const QString uid = QStringLiteral("A-%1-%2").arg(c).arg(slot);
            if (slot == 2 && c <= 7)
                duts << dut(slot, uid, "fail", "limits");
            else if (slot == 4 && c == 5)
                duts << dut(slot, QString(), "error", "download");
            else
                duts << dut(slot, uid, "pass");
        }
        QVERIFY(recorder.recordCycle(cycle(QStringLiteral("A"), c, t0.addSecs(3600 * c), duts)));
    }
    const QDateTime b = t0.addDays(1);
    QVERIFY(recorder.recordCycle(cycle(
        QStringLiteral("B"), 1, b,
        {dut(0, "U1", "pass"), dut(1, "U2", "fail", "limits"), dut(2, "U3", "error", "tx")})));
    QVERIFY(recorder.recordCycle(
        cycle(QStringLiteral("B"), 2, b.addSecs(60),
              {dut(0, "U2", "pass"), dut(1, "U3", "error", "tx"), dut(2, "U4", "pass")})));
    QVERIFY(recorder.recordCycle(cycle(QStringLiteral("B"), 3, b.addSecs(120),
                                       {dut(0, "", "error", "cycle"), dut(1, "", "error", "cycle"),
                                        dut(2, "", "error", "cycle")})));
}

YieldFigures TestYieldReport::report(const ReportFilter &filter)
{
    DatabaseConnection c(QStringLiteral("QSQLITE"));
    QString error;
    YieldFigures figures;
    if (!LocalResultsDb::open(c, m_db, LocalResultsDb::ForReading, &error) ||
        !YieldReport::compute(c, filter, &figures, &error))
        qWarning() << error;
    return figures;
}

void TestYieldReport::yieldsPerStationAndSlotWithTheFixtureFlagged()
{
    const YieldFigures f = report();
    QCOMPARE(f.cycles, 13);
    QCOMPARE(f.total.tests, 69);
    QCOMPARE(f.total.passed, 55);
    // A's 60 tests are all first tests; B's: U1, U2, U3, U4 and the three
    // without a UID.
    QCOMPARE(f.total.firstTests, 67);
    QCOMPARE(f.total.firstPassed, 54);
    QCOMPARE(f.firstCycle, t0.addSecs(3600));
    QCOMPARE(f.lastCycle, t0.addDays(1).addSecs(120));

    QCOMPARE(f.stations.size(), 2);
    QCOMPARE(f.stations.at(0).station, QStringLiteral("A"));
    QCOMPARE(f.stations.at(0).cycles, 10);
    QCOMPARE(f.stations.at(0).count.passed, 52);
    QCOMPARE(f.stations.at(1).count.firstTests, 7);
    QCOMPARE(f.stations.at(1).count.firstPassed, 2);

    QStringList flagged;
    for (const SlotYield &s : f.slotYields) {
        if (s.fixtureSuspect)
            flagged << s.station + QLatin1Char('/') + QString::number(s.slot);
    }
    QCOMPARE(flagged, QStringList{QStringLiteral("A/2")});
    const SlotYield &slot2 = f.slotYields.at(2);
    QCOMPARE(slot2.slot, 2);
    QCOMPARE(slot2.judgedFailed, 7);
    QCOMPARE(slot2.othersFailRate, 1.0 / 50.0);
    // B's golden-machine cycle is no slot's fault.
    const SlotYield &b0 = f.slotYields.at(6);
    QCOMPARE(b0.station, QStringLiteral("B"));
    QCOMPARE(b0.count.tests, 3);
    QCOMPARE(b0.judgedTests, 2);
    QCOMPARE(b0.judgedFailed, 0);
}

void TestYieldReport::failuresByStepAndRetests()
{
    const YieldFigures f = report();
    QStringList steps;
    for (const StepFailures &s : f.steps)
        steps << s.step + QLatin1Char('=') + QString::number(s.failures);
    QCOMPARE(steps, (QStringList{"limits=8", "cycle=3", "tx=2", "download=1"}));

    const RetestSummary &r = f.retests;
    QCOMPARE(r.units, 59 + 4);
    QCOMPARE(r.firstPassed, 52 + 2);
    QCOMPARE(r.finalPassed, 52 + 3);
    QCOMPARE(r.retested, 2);
    QCOMPARE(r.recovered, 1);
    // The one that never passed first.
    QCOMPARE(r.retestedUnits.size(), 2);
    QCOMPARE(r.retestedUnits.at(0).flashUid, QStringLiteral("U3"));
    QCOMPARE(r.retestedUnits.at(0).failures, 2);
    QCOMPARE(r.retestedUnits.at(0).finalVerdict, QStringLiteral("error"));
    QCOMPARE(r.retestedUnits.at(1).flashUid, QStringLiteral("U2"));
    QCOMPARE(r.retestedUnits.at(1).firstVerdict, QStringLiteral("fail"));
    QCOMPARE(r.retestedUnits.at(1).finalVerdict, QStringLiteral("pass"));
}

void TestYieldReport::filters()
{
    ReportFilter early;
    early.from = t0.addSecs(3600);
    early.to = t0.addSecs(3600 * 6); // cycles 1..5 of A
    const YieldFigures e = report(early);
    QCOMPARE(e.cycles, 5);
    QCOMPARE(e.total.tests, 30);
    QCOMPARE(e.total.passed, 24);

    ReportFilter onlyB;
    onlyB.stations << QStringLiteral("B");
    const YieldFigures b = report(onlyB);
    QCOMPARE(b.cycles, 3);
    QCOMPARE(b.stations.size(), 1);
    QCOMPARE(b.total.tests, 9);
    // Of B alone nothing is flagged, and U2 is still a retest.
    for (const SlotYield &s : b.slotYields)
        QVERIFY(!s.fixtureSuspect);
    QCOMPARE(b.retests.retested, 2);
}

// A DUT not judged (its cycle ended in the station's own fault, or its TX
// test never ran) counts in no yield and is no failure: failures by step
// hold the judged DUTs' failures only, so no share passes 100 %.
void TestYieldReport::stationFaultIsNoDutsYield()
{
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("s.sqlite"));
    {
        ResultsRecorder recorder(db);
        QVERIFY(recorder.recordCycle(cycle(QStringLiteral("S"), 1, t0,
                                           {dut(0, "S1", "pass"), dut(1, "S2", "fail", "limits"),
                                            dut(2, "S3", "not judged", "tx")})));
        for (int n = 2; n <= 5; ++n)
            QVERIFY(recorder.recordCycle(
                cycle(QStringLiteral("S"), n, t0.addSecs(60 * n),
                      {dut(0, "", "not judged", "cycle"), dut(1, "S2", "not judged", "calibration"),
                       dut(2, "", "not judged", "cycle")})));
    }
    DatabaseConnection c(QStringLiteral("QSQLITE"));
    QString error;
    QVERIFY(LocalResultsDb::open(c, db, LocalResultsDb::ForReading, &error));
    YieldFigures f;
    QVERIFY2(YieldReport::compute(c, ReportFilter(), &f, &error), qPrintable(error));
    QCOMPARE(f.cycles, 5);
    QCOMPARE(f.total.tests, 2);
    QCOMPARE(f.total.passed, 1);
    QCOMPARE(f.stations.at(0).count.tests, 2);
    QCOMPARE(f.retests.retested, 0);
    QCOMPARE(f.steps.size(), 1);
    QCOMPARE(f.steps.at(0).step, QStringLiteral("limits"));
    QCOMPARE(f.steps.at(0).failures, 1);
    const QString text = ReportWriter::write(f, ReportWriter::Csv);
    QVERIFY2(text.contains(QStringLiteral("\r\nstep,limits,1,100.0 %\r\n")), qPrintable(text));
    QVERIFY2(!text.contains(QStringLiteral("step,cycle")), qPrintable(text));
}

// Four DUTs of known figures: the mean, sample standard deviation and Cpk
// come out as worked by hand; RSSI is taken less the DUT's offset; a DUT
// whose step failed adds nothing; new limits make a group of their own.
void TestYieldReport::figuresAgainstTheLimitsInForce()
{
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("f.sqlite"));
    {
        ResultsRecorder recorder(db);
        QList<DutRecord> duts;
        for (int k = 0; k < 5; ++k) {
            DutRecord d = dut(k, QStringLiteral("F%1").arg(k), "pass");
            d.freqAvg = k + 1;    // 1, 2, 3, 4 (and 5 below, not measured)
            d.freqMean = k + 1.5; // judged by these: 1.5 .. 4.5
            d.rxRssiAvg = k % 2 ? -50 : -52;
            d.rxCal = k % 2 ? 0 : -2; // judged as -50 all
            d.txRssiAvg = -40 - 2 * k;
            duts << d;
        }
        duts[4].calibrationStatus = QLatin1String("fail");
        duts[4].txStatus = QLatin1String("not run");
        duts[4].verdict = QLatin1String("error");
        QVERIFY(recorder.recordCycle(cycle(QStringLiteral("F"), 1, t0, duts)));
        CycleRecord other = cycle(QStringLiteral("F"), 2, t0.addSecs(60), {dut(0, "F9", "pass")});
        other.duts[0].txStatus = QLatin1String("not run");
        other.freqMin = -5;
        other.freqMax = 5;
        QVERIFY(recorder.recordCycle(other));
    }
    DatabaseConnection c(QStringLiteral("QSQLITE"));
    QString error;
    QVERIFY(LocalResultsDb::open(c, db, LocalResultsDb::ForReading, &error));
    YieldFigures f;
    QVERIFY2(YieldReport::compute(c, ReportFilter(), &f, &error), qPrintable(error));

    QCOMPARE(f.figures.size(), 4); // freq offset twice (two limit sets), rx, tx
    const FigureStats &freq = f.figures.at(0);
    QCOMPARE(freq.figure, QStringLiteral("freq offset"));
    QCOMPARE(freq.lowerLimit, -10.0);
    QCOMPARE(freq.n, 4);
    QCOMPARE(freq.mean, 3.0);
    QVERIFY(qAbs(freq.sd - std::sqrt(5.0 / 3.0)) < 1e-9);
    QVERIFY(freq.cpk && qAbs(*freq.cpk - 7.0 / (3 * std::sqrt(5.0 / 3.0))) < 1e-9);
    QCOMPARE(f.figures.at(1).lowerLimit, -5.0);
    QCOMPARE(f.figures.at(1).n, 1);
    // A DUT recorded without its mean (an older station's) counts its average.
    QCOMPARE(f.figures.at(1).mean, 1.0);
    QVERIFY(!f.figures.at(1).cpk); // one value: no spread to speak of

    const FigureStats &rx = f.figures.at(2);
    QCOMPARE(rx.figure, QStringLiteral("rx rssi"));
    QCOMPARE(rx.n, 5);
    QCOMPARE(rx.mean, -50.0);
    QCOMPARE(rx.sd, 0.0);
    QVERIFY(!rx.cpk);
    // -40, -42, -44, -46: nearer the upper limit.
    const FigureStats &tx = f.figures.at(3);
    QCOMPARE(tx.n, 4);
    QCOMPARE(tx.mean, -43.0);
    QVERIFY(tx.cpk && qAbs(*tx.cpk - 23.0 / (3 * std::sqrt(20.0 / 3.0))) < 1e-9);
}

// An older station's file (the second schema: no means) reads as it is,
// its figures the averages it kept.
void TestYieldReport::olderStationsFile()
{
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("older.sqlite"));
    {
        DatabaseConnection c(QStringLiteral("QSQLITE"));
        c.db().setDatabaseName(db);
        QVERIFY(c.db().open());
        QCOMPARE(ResultsSchema::apply(c, db, 2).outcome, ResultsSchema::Ready);
        CycleTables tables(c);
        QVERIFY2(tables.insert(cycle(QStringLiteral("O"), 1, t0, {})), qPrintable(tables.error()));
        QSqlQuery q(c.db());
        for (int k = 0; k < 2; ++k)
            QVERIFY2(q.exec(QStringLiteral(
                                "INSERT INTO duts (cycle_id, position, slot, device, port, mac, "
                                "flash_uid, tx_cal, rx_cal, freq_avg, rx_rssi_avg, tx_rssi_avg, "
                                "download_status, mac_status, calibration_status, tx_status, "
                                "verdict, failed_step, failure_log) SELECT id, %1, %1, 'D', 'P', "
                                "'', 'O%1', 0, 0, %2, -50, -48, 'pass', 'pass', 'pass', 'pass', "
                                "'pass', '', '' FROM cycles")
                                .arg(k)
                                .arg(k + 1)),
                     qPrintable(q.lastError().text()));
    }
    DatabaseConnection c(QStringLiteral("QSQLITE"));
    QString error;
    QVERIFY2(LocalResultsDb::open(c, db, LocalResultsDb::ForReading, &error), qPrintable(error));
    YieldFigures f;
    QVERIFY2(YieldReport::compute(c, ReportFilter(), &f, &error), qPrintable(error));
    QCOMPARE(f.total.passed, 2);
    QCOMPARE(f.figures.at(0).figure, QStringLiteral("freq offset"));
    QCOMPARE(f.figures.at(0).mean, 1.5);
}

void TestYieldReport::formats()
{
    const YieldFigures f = report();
    const QString csv = ReportWriter::write(f, ReportWriter::Csv);
    QVERIFY2(csv.contains(QStringLiteral("\r\nslot,A,2,10,30.0 %,7,70.0 %,2.0 %,FIXTURE?\r\n")),
             qPrintable(csv));
    QVERIFY(csv.contains(QStringLiteral("\r\nstation,B,3,9,3,33.3 %,7,2,28.6 %\r\n")));
    QVERIFY(csv.contains(QStringLiteral("\r\nretest,U2,2,1,fail,pass,B\r\n")));
    // Every line of a table has its header's number of fields.
    int fields = 0;
    for (const QString &line : csv.split(QStringLiteral("\r\n"))) {
        if (line.isEmpty()) {
            fields = 0;
            continue;
        }
        const int count = line.count(QLatin1Char(',')) + 1;
        if (line.startsWith(QLatin1String("table,")))
            fields = count;
        else if (!line.contains(QLatin1Char('"')))
            QCOMPARE(count, fields);
    }

    const QString md = ReportWriter::write(f, ReportWriter::Markdown);
    QVERIFY(md.contains(QStringLiteral("### Yield per slot\n\n| station | slot | tests |")));
    QVERIFY(md.contains(QStringLiteral("| A | 2 | 10 | 30.0 % | 7 | 70.0 % | 2.0 % | FIXTURE? |")));

    const QString text = ReportWriter::write(f, ReportWriter::Text);
    QVERIFY(text.contains(QStringLiteral("  first-pass yield: 80.6 % (54 of 67 first tests)")));
    QVERIFY(text.contains(QStringLiteral("1 slot(s) flagged.")));
}

void TestYieldReport::commandLine()
{
    Run run = benchreport({QStringLiteral("--format"), QStringLiteral("pdf")});
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(QStringLiteral("unknown format \"pdf\"")), qPrintable(run.err));
    QVERIFY(run.err.contains(QStringLiteral("Usage: benchreport")));
    run = benchreport({QStringLiteral("--from"), QStringLiteral("yesterday")});
    QCOMPARE(run.exitCode, 2);
    run = benchreport({QStringLiteral("--from"), QStringLiteral("2026-12-08"),
                       QStringLiteral("--to"), QStringLiteral("2026-12-07")});
    QCOMPARE(run.exitCode, 2);

    run = benchreport({QStringLiteral("--db"), m_dir.filePath(QStringLiteral("none.sqlite"))});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("no results database at")), qPrintable(run.err));
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("none.sqlite"))));

    // A date as the upper bound takes in its whole day: B's cycles of the
    // 2nd of December, none of A's on the 1st.
    run = benchreport({QStringLiteral("--db"), m_db, QStringLiteral("--from"),
                       QStringLiteral("2026-12-02"), QStringLiteral("--to"),
                       QStringLiteral("2026-12-02"), QStringLiteral("--station"),
                       QStringLiteral("A,B")});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.contains(QStringLiteral("  cycles: 3, started 2026-12-02 08:00:00 UTC to "
                                             "2026-12-02 08:02:00 UTC\n")),
             qPrintable(run.out));
    QVERIFY(run.out.contains(QStringLiteral("filter: from 2026-12-02 00:00:00 UTC, before "
                                            "2026-12-03 00:00:00 UTC, stations A B")));
}

// The report stands on a database it checked, and says what is wrong with
// any other; a period open to the end of time reports every cycle.
void TestYieldReport::sourcesThatCannotBeReported()
{
    // The bound as text ("10000-01-01...") came before every time held.
    Run run = benchreport(
        {QStringLiteral("--db"), m_db, QStringLiteral("--to"), QStringLiteral("9999-12-31")});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.contains(QStringLiteral("  cycles: 13, ")), qPrintable(run.out));

    run = benchreport(
        {QStringLiteral("--db"), m_db, QStringLiteral("--station"), QStringLiteral("A,Bx")});
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(QStringLiteral("holds no cycle of station \"Bx\"")),
             qPrintable(run.err));
    QVERIFY(run.out.isEmpty());

    run = benchreport({QStringLiteral("--factory"), QStringLiteral("--db"), m_db});
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(QStringLiteral("--factory and --db exclude each other")),
             qPrintable(run.err));

    run = benchreport({QStringLiteral("--factory"), QStringLiteral("--config"),
                       m_dir.filePath(QStringLiteral("nosuch.ini"))});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("nosuch.ini: no such file")), qPrintable(run.err));

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString text = dir.filePath(QStringLiteral("results.sqlite"));
    QFile file(text);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("station,cycle,slot\n").repeated(400));
    file.close();
    run = benchreport({QStringLiteral("--db"), text});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("is not an SQLite database")), qPrintable(run.err));

    // A page of the file overwritten: the rest gave a plausible report.
    const QString damaged = dir.filePath(QStringLiteral("damaged.sqlite"));
    QVERIFY(QFile::copy(m_db, damaged));
    QVERIFY(damagePage(damaged));
    run = benchreport({QStringLiteral("--db"), damaged});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("is damaged (")), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
}

QTEST_GUILESS_MAIN(TestYieldReport)
#include "tst_yieldreport.moc"
