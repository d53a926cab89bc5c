// The yield report over a results database: yields per station and slot
// with a fixture fault flagged, failures by step, retests by flash UID,
// the figures' spread and Cpk, the filters, the three formats and
// benchreport's command line.
#include "cycleoutcome.h"
#include "cyclerecordbuilder.h"
#include "cycletables.h"
#include "databaseconnection.h"
#include "dayyield.h"
#include "driftreport.h"
#include "htmlreport.h"
#include "localresultsdb.h"
#include "reportwriter.h"
#include "resultjudge.h"
#include "resultscsv.h"
#include "resultsrecorder.h"
#include "resultsschema.h"
#include "samplecycles.h"
#include "yieldreport.h"

#include <QProcess>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>
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

// What a browser would take from a page parsed as XML: its element names,
// its text, and whether it parsed whole.
struct PageContent
{
    QSet<QString> elements;
    QStringList attributes;
    QString text;
    QString error;
};

PageContent parsePage(const QString &page)
{
    PageContent content;
    QXmlStreamReader xml(page);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            content.elements.insert(xml.name().toString());
            for (const QXmlStreamAttribute &a : xml.attributes())
                content.attributes << a.name().toString();
        } else if (xml.isCharacters() && !xml.isWhitespace()) {
            content.text += xml.text().toString().simplified() + QLatin1Char('\n');
        }
    }
    if (xml.hasError())
        content.error = xml.errorString();
    return content;
}

deviceInfo_t device(int slot)
{
    deviceInfo_t d;
    d.name = QStringLiteral("DUT%1").arg(slot);
    d.port = QStringLiteral("D%1").arg(slot);
    d.slot = slot;
    return d;
}

deviceRestlt_t measured(int32_t rxStatus, int32_t txStatus, int tx)
{
    deviceRestlt_t r;
    r.rxStatus = rxStatus;
    r.txStatus = txStatus;
    r.rxMeasured = rxStatus == STATUS_PASS;
    r.rxRssiAve = r.rxRssiMin = r.rxRssiMax = -50;
    r.freqAve = r.freqMin = r.freqMax = 1;
    r.txRssiAve = r.txRssiMin = r.txRssiMax = tx;
    r.rxRssiMean = -50.25f;
    r.freqMean = 1.5f;
    r.txRssiMean = float(tx) - 0.5f;
    return r;
}

// Cycle n of four DUTs, judged by the real judge: slot 0 a new module that
// passes; slot 1 one module tested in every cycle, outside its TX limits in
// the first; slot 2 a download that fails before the DUT tells its UID;
// slot 3 a new module, whose TX test never runs in cycle 2 (not judged).
CycleOutcome judgedCycle(int n, const QDateTime &at)
{
    CycleOutcome o;
    o.startedAt = at;
    o.endedAt = at.addSecs(30);
    o.number = uint32_t(4 * n);
    o.limits.rxRssiMin = -75;
    o.limits.rxRssiMax = -20;
    o.limits.txRssiMin = -75;
    o.limits.txRssiMax = -20;
    o.limits.freqMin = -10;
    o.limits.freqMax = 10;
    QList<JudgeRow> rows;
    const QStringList uids{QStringLiteral("N0-%1").arg(n), QStringLiteral("R1"), QString(),
                           QStringLiteral("N3-%1").arg(n)};
    for (int slot = 0; slot < 4; ++slot) {
        o.para.devices << device(slot);
        deviceTrace_t t;
        t.name = o.para.devices.last().name;
        t.port = o.para.devices.last().port;
        t.flashUid = uids.at(slot);
        t.rxStatus = slot == 2 ? RX_STAGE_DOWNLOAD : RX_PASSED;
        o.traces << t;
        rows << JudgeRow{slot, QStringLiteral("0"), QStringLiteral("0")};
        o.dutLogs << CycleOutcome::DutLog{slot, QStringLiteral("log %1\r\n").arg(slot)};
    }
    o.result.finished = 1;
    o.result.cycleStatus = STATUS_PASS;
    o.result.results << measured(STATUS_PASS, STATUS_PASS, -48)
                     << measured(STATUS_PASS, STATUS_PASS, n == 1 ? -80 : -47)
                     << measured(STATUS_FAIL, TX_NOT_RUN, 0)
                     << measured(STATUS_PASS, n == 2 ? TX_NOT_RUN : STATUS_PASS, -46);
    o.judgement = ResultJudge::judge(o.limits, CYCLE_ENDED, 4, o.result, rows);
    return o;
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
    void windowAndReportAgree();
    void csvOneTableAFile();
    void unitHistory();
    void htmlPage();
    void htmlPageEscapesTheData();
    void htmlPageInABrowser();

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
    QString dbError;
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
        QVERIFY(recorder.recordCycle(cycle(QStringLiteral("A"), c, t0.addSecs(3600 * c), duts),
                                     &dbError));
    }
    const QDateTime b = t0.addDays(1);
    QVERIFY(recorder.recordCycle(
        cycle(QStringLiteral("B"), 1, b,
              {dut(0, "U1", "pass"), dut(1, "U2", "fail", "limits"), dut(2, "U3", "error", "tx")}),
        &dbError));
    QVERIFY(recorder.recordCycle(
        cycle(QStringLiteral("B"), 2, b.addSecs(60),
              {dut(0, "U2", "pass"), dut(1, "U3", "error", "tx"), dut(2, "U4", "pass")}),
        &dbError));
    QVERIFY(recorder.recordCycle(cycle(QStringLiteral("B"), 3, b.addSecs(120),
                                       {dut(0, "", "error", "cycle"), dut(1, "", "error", "cycle"),
                                        dut(2, "", "error", "cycle")}),
                                 &dbError));
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

    // One first-pass yield: the modules are the first tests, a DUT without a
    // UID (A's failed download, B's golden-machine cycle) a module of its
    // own, so the modules' first pass is the first-pass yield.
    const RetestSummary &r = f.retests;
    QCOMPARE(r.units, 59 + 1 + 4 + 3);
    QCOMPARE(r.withoutUid, 4);
    QCOMPARE(r.units, f.total.firstTests);
    QCOMPARE(r.firstPassed, f.total.firstPassed);
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
    QString dbError;
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("s.sqlite"));
    {
        ResultsRecorder recorder(db);
        QVERIFY(recorder.recordCycle(cycle(QStringLiteral("S"), 1, t0,
                                           {dut(0, "S1", "pass"), dut(1, "S2", "fail", "limits"),
                                            dut(2, "S3", "not judged", "tx")}),
                                     &dbError));
        for (int n = 2; n <= 5; ++n)
            QVERIFY(recorder.recordCycle(
                cycle(QStringLiteral("S"), n, t0.addSecs(60 * n),
                      {dut(0, "", "not judged", "cycle"), dut(1, "S2", "not judged", "calibration"),
                       dut(2, "", "not judged", "cycle")}),
                &dbError));
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
    const QString text = ReportWriter::write(f, ReportWriter::Csv, QStringLiteral("step"));
    QCOMPARE(text, QStringLiteral("step,failures,share_percent\r\nlimits,1,100.0\r\n"));
}

// Four DUTs of known figures: the mean, sample standard deviation and Cpk
// come out as worked by hand; RSSI is taken less the DUT's offset; a DUT
// whose step failed adds nothing; new limits make a group of their own.
void TestYieldReport::figuresAgainstTheLimitsInForce()
{
    QString dbError;
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
        QVERIFY(recorder.recordCycle(cycle(QStringLiteral("F"), 1, t0, duts), &dbError));
        CycleRecord other = cycle(QStringLiteral("F"), 2, t0.addSecs(60), {dut(0, "F9", "pass")});
        other.duts[0].txStatus = QLatin1String("not run");
        other.freqMin = -5;
        other.freqMax = 5;
        QVERIFY(recorder.recordCycle(other, &dbError));
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
    QString dbError;
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("older.sqlite"));
    {
        DatabaseConnection c(QStringLiteral("QSQLITE"));
        c.db().setDatabaseName(db);
        QVERIFY(c.db().open());
        QCOMPARE(ResultsSchema::apply(c, db, 2).outcome, ResultsSchema::Ready);
        CycleTables tables(c);
        QVERIFY2(tables.insert(cycle(QStringLiteral("O"), 1, t0, {}), &dbError),
                 qPrintable(dbError));
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
    // CSV: one table a text, its header first, numbers alone.
    const QString slotCsv = ReportWriter::write(f, ReportWriter::Csv, QStringLiteral("slot"));
    QVERIFY2(slotCsv.startsWith(QStringLiteral(
                 "station,slot,tests,first_pass_yield_percent,fails,fail_rate_percent,"
                 "other_slots_percent,flag\r\n")),
             qPrintable(slotCsv));
    QVERIFY2(slotCsv.contains(QStringLiteral("\r\nA,2,10,30.0,7,70.0,2.0,FIXTURE?\r\n")),
             qPrintable(slotCsv));
    const QString stations = ReportWriter::write(f, ReportWriter::Csv, QStringLiteral("station"));
    QVERIFY2(stations.contains(QStringLiteral("\r\nB,3,9,3,33.3,7,2,28.6\r\n")),
             qPrintable(stations));
    QVERIFY(!stations.contains(QLatin1Char('%')));
    QVERIFY(ReportWriter::write(f, ReportWriter::Csv, QStringLiteral("retest"))
                .contains(QStringLiteral("\r\nU2,2,1,fail,pass,B\r\n")));
    // The summary: one row of numbers under its names.
    const QStringList summary = ReportWriter::write(f, ReportWriter::Csv, QStringLiteral("summary"))
                                    .split(QStringLiteral("\r\n"));
    const QStringList names = summary.at(0).split(QLatin1Char(','));
    QStringList values = summary.at(1).split(QLatin1Char(','));
    const auto field = [&](const char *name) { return values.value(names.indexOf(name)); };
    QCOMPARE(field("first_pass_yield_percent"), QStringLiteral("80.6"));
    QCOMPARE(field("modules"), QStringLiteral("67"));
    QCOMPARE(field("dut_tests"), QStringLiteral("69"));

    const QString md = ReportWriter::write(f, ReportWriter::Markdown);
    QVERIFY(md.contains(QStringLiteral("### Yield per slot\n\n| station | slot | tests |")));
    QVERIFY(md.contains(QStringLiteral("| A | 2 | 10 | 30.0 % | 7 | 70.0 % | 2.0 % | FIXTURE? |")));

    // One first-pass yield in the summary; the modules' line gives the
    // final yield, not a first pass of its own.
    const QString text = ReportWriter::write(f, ReportWriter::Text);
    QVERIFY2(text.contains(QStringLiteral(
                 "  first-pass yield: 80.6 % (54 of 67 modules passed their first test)\n")),
             qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("  modules: 67 (by flash UID; 4 DUT(s) without one "
                                         "count as a module each): final yield 82.1 %")));
    QVERIFY(!text.contains(QStringLiteral("first pass ")));
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

// The same judged cycles through the window's path (the day's results file
// as written, read back by DayYield) and the report's (the cycle records in
// the station's database, read by YieldReport) give the same yields.
void TestYieldReport::windowAndReportAgree()
{
    QString dbError;
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("agree.sqlite"));
    QByteArray csv = ResultsCsv::header();
    {
        ResultsRecorder recorder(db);
        CycleRecordBuilder builder(QStringLiteral("st"));
        const QDateTime morning(QDate::currentDate(), QTime(9, 0));
        for (int n = 1; n <= 3; ++n) {
            const CycleOutcome o = judgedCycle(n, morning.addSecs(60 * n));
            csv += ResultsCsv::rows(o.startedAt, o.number, o.para, o.traces, o.result, o.judgement);
            QVERIFY(recorder.recordCycle(builder.build(o), &dbError));
        }
    }
    const DayYield::Rows rows = DayYield::read(csv);
    QCOMPARE(rows.unreadable, 0);
    DayYield day;
    day.add(rows.entries);

    DatabaseConnection c(QStringLiteral("QSQLITE"));
    QString error;
    QVERIFY(LocalResultsDb::open(c, db, LocalResultsDb::ForReading, &error));
    YieldFigures f;
    QVERIFY2(YieldReport::compute(c, ReportFilter(), &f, &error), qPrintable(error));

    // 11 judged tests (cycle 2's slot 3 not judged), 7 passed; modules: three
    // of slot 0, R1, three without a UID and two of slot 3; R1 failed first.
    const YieldCount &window = day.tally().total();
    QCOMPARE(f.total.tests, 11);
    QCOMPARE(f.total.passed, 7);
    QCOMPARE(f.total.firstTests, 9);
    QCOMPARE(f.total.firstPassed, 5);
    QCOMPARE(window.tests, f.total.tests);
    QCOMPARE(window.passed, f.total.passed);
    QCOMPARE(window.firstTests, f.total.firstTests);
    QCOMPARE(window.firstPassed, f.total.firstPassed);
    QCOMPARE(qint64(day.passed()), f.total.passed);
    QCOMPARE(qint64(day.failed()), f.total.tests - f.total.passed);
    QCOMPARE(f.slotYields.size(), 4);
    for (const SlotYield &s : f.slotYields) {
        QCOMPARE(qint64(day.slot(s.slot).passed), s.count.passed);
        QCOMPARE(qint64(day.slot(s.slot).failed), s.count.tests - s.count.passed);
        const YieldCount w = day.tally().slot(QString(), s.slot);
        QCOMPARE(w.firstTests, s.count.firstTests);
        QCOMPARE(w.firstPassed, s.count.firstPassed);
    }
    QCOMPARE(day.tally().retests().finalPassed, f.retests.finalPassed);
}

// --format csv: one table a file (or --table to standard output), each a
// header row and rows of the same number of fields, percentages as numbers.
void TestYieldReport::csvOneTableAFile()
{
    Run run = benchreport(
        {QStringLiteral("--db"), m_db, QStringLiteral("--format"), QStringLiteral("csv")});
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(QStringLiteral("--table NAME")), qPrintable(run.err));

    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("report"));
    run = benchreport({QStringLiteral("--db"), m_db, QStringLiteral("--format"),
                       QStringLiteral("csv"), QStringLiteral("--out"), folder});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.out.isEmpty());
    for (const QString &key : ReportWriter::tableKeys()) {
        QFile file(QDir(folder).filePath(key + QStringLiteral(".csv")));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
        const QStringList lines =
            QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        QVERIFY(lines.size() >= 2);
        const QStringList header = lines.first().split(QLatin1Char(','));
        for (const QString &line : lines) {
            if (!line.contains(QLatin1Char('"')))
                QCOMPARE(line.split(QLatin1Char(',')).size(), header.size());
        }
        // Every percentage column holds numbers, or nothing for none.
        for (int c = 0; c < header.size(); ++c) {
            if (!header.at(c).endsWith(QLatin1String("_percent")))
                continue;
            for (int r = 1; r < lines.size(); ++r) {
                const QString cell = lines.at(r).split(QLatin1Char(',')).value(c);
                bool ok = cell.isEmpty();
                if (!ok)
                    cell.toDouble(&ok);
                QVERIFY2(ok, qPrintable(key + QStringLiteral(": ") + lines.at(r)));
            }
        }
    }
    run =
        benchreport({QStringLiteral("--db"), m_db, QStringLiteral("--format"),
                     QStringLiteral("csv"), QStringLiteral("--table"), QStringLiteral("station")});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.startsWith(QStringLiteral("station,cycles,tests,passed,yield_percent,")),
             qPrintable(run.out));
    QVERIFY(run.out.contains(QStringLiteral("\r\nA,10,60,52,86.7,")));
    // A page written over the database it was made of would lose it.
    const qint64 size = QFileInfo(m_db).size();
    run = benchreport({QStringLiteral("--db"), m_db, QStringLiteral("--format"),
                       QStringLiteral("html"), QStringLiteral("--out"), m_db});
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(QStringLiteral("--out names the results database")),
             qPrintable(run.err));
    QCOMPARE(QFileInfo(m_db).size(), size);
    run = benchreport(
        {QStringLiteral("--db"), m_db, QStringLiteral("--table"), QStringLiteral("slots")});
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(QStringLiteral("unknown table \"slots\"")), qPrintable(run.err));
}

// --unit: every test of one module with its verdicts and figures; a UID
// the database never saw is said, with a status that is no success.
void TestYieldReport::unitHistory()
{
    Run run =
        benchreport({QStringLiteral("--db"), m_db, QStringLiteral("--unit"), QStringLiteral("U2")});
    QCOMPARE(run.exitCode, 0);
    const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(lines.size() == 5, qPrintable(run.out)); // title, header, 2 tests, note
    QVERIFY2(lines.at(2).contains(QStringLiteral("2026-12-02 08:00:00  B")) &&
                 lines.at(2).contains(QStringLiteral("fail")) &&
                 lines.at(2).contains(QStringLiteral("limits")),
             qPrintable(run.out));
    QVERIFY2(lines.at(3).contains(QStringLiteral("2026-12-02 08:01:00  B")) &&
                 lines.at(3).contains(QStringLiteral("pass")),
             qPrintable(run.out));
    // Its figures: the averages kept (the test's cycles keep no means).
    QVERIFY2(lines.at(3).contains(QStringLiteral("-48")), qPrintable(run.out));
    QVERIFY(run.out.contains(QStringLiteral("2 test(s), 1 passed")));

    run = benchreport({QStringLiteral("--db"), m_db, QStringLiteral("--unit"), QStringLiteral("U2"),
                       QStringLiteral("--format"), QStringLiteral("csv")});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.startsWith(QStringLiteral("started,station,cycle,slot,verdict,")),
             qPrintable(run.out));
    QVERIFY(run.out.contains(QStringLiteral("\r\n2026-12-02T08:00:00Z,B,1,1,fail,limits,")));

    run = benchreport(
        {QStringLiteral("--db"), m_db, QStringLiteral("--unit"), QStringLiteral("U99")});
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(QStringLiteral("holds no test of module \"U99\"")),
             qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
}

// The page for the manager: parsed whole, it holds the yields, the flagged
// fixture, a histogram per figure line, the days, and refers to nothing
// outside itself.
void TestYieldReport::htmlPage()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("report.html"));
    Run run = benchreport(
        {QStringLiteral("--db"), m_db, QStringLiteral("--format"), QStringLiteral("html")});
    QCOMPARE(run.exitCode, 2);
    run = benchreport({QStringLiteral("--db"), m_db, QStringLiteral("--format"),
                       QStringLiteral("html"), QStringLiteral("--out"), file});
    QCOMPARE(run.exitCode, 0);
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString page = QString::fromUtf8(f.readAll());
    QVERIFY2(page.startsWith(QStringLiteral("<!DOCTYPE html>")), qPrintable(page.left(200)));
    const PageContent content = parsePage(page);
    QVERIFY2(content.error.isEmpty(), qPrintable(content.error));
    QVERIFY(content.elements.contains(QStringLiteral("svg")));
    QVERIFY(!content.elements.contains(QStringLiteral("script")));
    QVERIFY(!content.attributes.contains(QStringLiteral("src")));
    QVERIFY(!content.attributes.contains(QStringLiteral("href")));
    const QString &text = content.text;
    QVERIFY2(text.contains(QStringLiteral("first-pass yield: 80.6 %")), qPrintable(text));
    // B's first-pass yield beside its bar, slot A/2 marked.
    QVERIFY(text.contains(QStringLiteral("\n28.6 %\n")));
    QVERIFY(text.contains(QStringLiteral("\nA slot 2\n70.0 % FIXTURE?\n")));
    QVERIFY(text.contains(QStringLiteral("\nlimits\n8 (57.1 %)\n")));
    // A histogram titled by each figure line of the report, and each day.
    const YieldFigures figures = report();
    QVERIFY(!figures.figures.isEmpty());
    for (const FigureStats &s : figures.figures)
        QVERIFY2(
            text.contains(
                QStringLiteral("%1, %2: n %3, mean")
                    .arg(s.figure, s.station.isEmpty() ? QStringLiteral("all stations") : s.station)
                    .arg(s.n)),
            qPrintable(s.figure + s.station));
    QCOMPARE(page.count(QStringLiteral("<svg")), 4 + figures.figures.size());
    QVERIFY(text.contains(QStringLiteral("\n2026-12-01\n60\n52\n")));
    QVERIFY(text.contains(QStringLiteral("\n2026-12-02\n9\n3\n")));
}

// A station id holding markup is shown as text: no element of it reaches
// the page.
void TestYieldReport::htmlPageEscapesTheData()
{
    const QString evil = QStringLiteral("<script>alert(\"st\")</script><b>&amp;");
    YieldFigures f;
    f.source = QStringLiteral("</title><img src=x>");
    StationYield s;
    s.station = evil;
    s.cycles = 1;
    s.count.tests = 2;
    s.count.passed = 1;
    s.count.firstTests = 2;
    s.count.firstPassed = 1;
    f.stations << s;
    f.slotYields << SlotYield{evil, 3, s.count, 2, 1, 0.0, true};
    f.steps << StepFailures{QStringLiteral("<i>limits</i>"), 1};
    f.total = s.count;
    const PageContent content = parsePage(HtmlReport::page(f));
    QVERIFY2(content.error.isEmpty(), qPrintable(content.error));
    for (const char *name : {"script", "b", "img", "i"})
        QVERIFY2(!content.elements.contains(QLatin1String(name)), name);
    QVERIFY(content.text.contains(QStringLiteral("\n") + evil + QStringLiteral("\n")));
    QVERIFY(content.text.contains(QStringLiteral("\n<i>limits</i>\n")));
    QVERIFY(content.text.contains(QStringLiteral("source: </title><img src=x>")));
}

// The page as a browser reads it (HTML, not XML): headless Chromium's DOM
// of it holds every chart and table, the station id with markup as text and
// no script; its screenshot is an image. Skipped where Chromium is not
// installed.
void TestYieldReport::htmlPageInABrowser()
{
    QString dbError;
    const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    if (chromium.isEmpty())
        QSKIP("chromium is not installed");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // The test's two stations, and a third whose id holds a script.
    const QString db = dir.filePath(QStringLiteral("browser.sqlite"));
    QVERIFY(QFile::copy(m_db, db));
    const QString evil = QStringLiteral("<script>document.title='owned'</script>st1");
    {
        ResultsRecorder recorder(db);
        for (int n = 1; n <= 4; ++n)
            QVERIFY(recorder.recordCycle(
                cycle(evil, n, t0.addDays(1).addSecs(600 + 60 * n),
                      {dut(0, "", "pass"),
                       dut(1, "", n > 1 ? "fail" : "pass", n > 1 ? "limits" : ""),
                       dut(2, "", "pass")}),
                &dbError));
        // A fourth whose golden machine reads crystal 5 for a baseline,
        // then 9 once: one flagged cycle on its drift chart.
        for (int n = 1; n <= DriftReport::baselineCycles + 2; ++n) {
            CycleRecord c = cycle(QStringLiteral("drifting"), n, t0.addDays(2).addSecs(60 * n),
                                  {dut(0, "", "pass")});
            c.goldenCrystal = n == DriftReport::baselineCycles + 1 ? 9 : 5;
            QVERIFY2(recorder.recordCycle(c, &dbError), qPrintable(dbError));
        }
    }
    YieldFigures figures;
    DriftReport::Result drift;
    {
        DatabaseConnection c(QStringLiteral("QSQLITE"));
        QString error;
        QVERIFY(LocalResultsDb::open(c, db, LocalResultsDb::ForReading, &error));
        QVERIFY2(YieldReport::compute(c, ReportFilter(), &figures, &error), qPrintable(error));
        QVERIFY2(DriftReport::compute(c, ReportFilter(), &drift, &error), qPrintable(error));
    }
    int driftCharts = 0;
    for (const DriftReport::Station &s : qAsConst(drift.stations)) {
        for (const DriftReport::Series &series : s.series)
            driftCharts += series.points.isEmpty() ? 0 : 1;
    }
    QCOMPARE(driftCharts, 1);
    const QString page = dir.filePath(QStringLiteral("report.html"));
    const Run run = benchreport({QStringLiteral("--db"), db, QStringLiteral("--format"),
                                 QStringLiteral("html"), QStringLiteral("--out"), page});
    QCOMPARE(run.exitCode, 0);

    const auto browse = [&](const QStringList &what, QByteArray *out) {
        QProcess p;
        p.start(chromium, QStringList{QStringLiteral("--headless"), QStringLiteral("--no-sandbox"),
                                      QStringLiteral("--disable-gpu"),
                                      QStringLiteral("--user-data-dir=") +
                                          dir.filePath(QStringLiteral("profile"))} +
                              what + QStringList{QUrl::fromLocalFile(page).toString()});
        if (!p.waitForFinished(90000)) {
            p.kill();
            p.waitForFinished(5000);
            return false;
        }
        *out = p.readAllStandardOutput();
        return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    };
    QByteArray dom;
    QVERIFY(browse({QStringLiteral("--dump-dom")}, &dom));
    const QString html = QString::fromUtf8(dom);
    QVERIFY2(html.contains(QStringLiteral("<title>Yield report</title>")), dom.constData());
    QVERIFY(!html.contains(QStringLiteral("owned</title>")));
    QVERIFY(!html.contains(QStringLiteral("<script")));
    QVERIFY(
        html.contains(QStringLiteral("&lt;script&gt;document.title='owned'&lt;/script&gt;st1")));
    // Four charts, a histogram per figure line and the drift chart, each
    // table whole.
    QCOMPARE(html.count(QStringLiteral("<svg")), 4 + figures.figures.size() + driftCharts);
    QCOMPARE(html.count(QStringLiteral("<table")), 6);
    // A's slot 2, and the third station's slot 1 (three failures of four,
    // its other slots none).
    QCOMPARE(html.count(QStringLiteral("<td class=\"flag\">FIXTURE?</td>")), 2);
    // The drifting station's cycle 21 drawn flagged, in the failure colour;
    // its other cycles as plain points.
    const QRegularExpression flagged(
        QStringLiteral("<circle class=\"flagged\"[^>]*fill=\"#c0392b\"[^>]*>\\s*<title>cycle 21,"));
    QVERIFY2(flagged.match(html).hasMatch(), dom.constData());
    QCOMPARE(html.count(QStringLiteral("<circle class=\"flagged\"")), 1);
    QCOMPARE(html.count(QStringLiteral("<circle class=\"point\"")),
             DriftReport::baselineCycles + 1);

    QByteArray ignored;
    const QString png = dir.filePath(QStringLiteral("report.png"));
    QVERIFY(browse({QStringLiteral("--screenshot=") + png,
                    QStringLiteral("--window-size=1000,2400"), QStringLiteral("--hide-scrollbars")},
                   &ignored));
    QFile shot(png);
    QVERIFY(shot.open(QIODevice::ReadOnly));
    QVERIFY(shot.read(8) == QByteArray("\x89PNG\r\n\x1a\n", 8));
    const QString keep = qEnvironmentVariable("STATION_REPORT_SCREENSHOT");
    if (!keep.isEmpty()) {
        QFile::remove(keep);
        QVERIFY(QFile::copy(png, keep));
    }
}

QTEST_GUILESS_MAIN(TestYieldReport)
#include "tst_yieldreport.moc"
