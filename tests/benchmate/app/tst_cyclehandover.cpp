// What the front ends hand to a cycle and take from it: the window and
// benchrun start the same cycle from the same settings, and each DUT's log
// reaches the records of that DUT, whatever its messages hold.
#include "benchoptions.h"
#include "benchrunner.h"
#include "cyclecontroller.h"
#include "cyclerecordbuilder.h"
#include "cycletable.h"
#include "mainwindow.h"
#include "stationsetup.h"
#include "windowbench.h"

#include <QSignalSpy>
#include <QTextStream>
#include <QtTest>

namespace {

// Four DUTs in slots 0, 2, 3 and 5 (1 and 4 disabled); the golden machine
// measures every DUT's TX at -45, above the upper limit of -48 unless the
// DUT's TX offset lifts it (slot 2: +5), so the verdicts tell whether each
// DUT was judged by its own row.
StationSetup mixedSetup()
{
    StationSetup setup = StationSetup::withDuts(6);
    setup.duts[1].enabled = false;
    setup.duts[4].enabled = false;
    setup.duts[2].txCal = QStringLiteral("5");
    setup.duts[5].rxCal = QStringLiteral("-3");
    setup.txRssiMax = QStringLiteral("-48");
    setup.channel = QStringLiteral("11");
    setup.timeOut = QStringLiteral("15000");
    return setup;
}

void scriptStation(FakeTool &fake)
{
    fake.healthyGolden();
    for (int port = 1; port <= 6; ++port)
        fake.healthyDut(QStringLiteral("D%1").arg(port));
}

// The chip-tool runs of a cycle, in an order that does not depend on which
// worker came first.
QStringList sortedCalls(const FakeTool &fake)
{
    QStringList calls = fake.calls();
    calls.sort();
    return calls;
}

// Today's results rows without the time and the cycle number.
QList<QStringList> resultRowsOfAnyCycle()
{
    QList<QStringList> rows = todaysResultRows();
    for (QStringList &row : rows)
        row = row.mid(2);
    return rows;
}

} // namespace

class TestCycleHandover : public QObject, private WindowBench
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(setUpBench()); }
    void cleanup() { tearDownBench(); }

    void windowAndBenchrunStartTheSameCycle();
    void eachDutKeepsItsOwnLog();
};

// The same settings file, once through the window's start button and once
// through benchrun: the same chip-tool runs with the same arguments, and the
// same results rows, verdicts included.
void TestCycleHandover::windowAndBenchrunStartTheSameCycle()
{
    scriptStation(*m_fake);
    QVERIFY(mixedSetup().write());
    QVERIFY(openWindow());
    QVERIFY(runCycle());
    const QStringList windowCalls = sortedCalls(*m_fake);
    const QList<QStringList> windowRows = resultRowsOfAnyCycle();
    QCOMPARE(windowRows.size(), 4);
    m_window.reset();

    QVERIFY(QDir(QStringLiteral("log")).removeRecursively());
    m_fake->clear();
    scriptStation(*m_fake);
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    BenchRunner runner(BenchOptions::parse({QStringLiteral("--cycles"), QStringLiteral("1")}),
                       outStream, errStream);
    const int status = runner.run();
    QVERIFY2(status == BenchRunner::ExitDone, qPrintable(out + err));

    QCOMPARE(sortedCalls(*m_fake), windowCalls);
    QCOMPARE(resultRowsOfAnyCycle(), windowRows);
    // Only slot 2's offset lets it pass.
    for (const QStringList &row : windowRows)
        QCOMPARE(row.value(19 - 2) == QLatin1String("pass"), row.value(0) == QLatin1String("2"));
}

// A DUT whose log holds a blank line (its name has one, and its first log
// line names it) does not shift the logs of the DUTs after it: the failed
// DUT's record and benchrun's note carry its own log, and the daily log is
// the cycle's text as it was.
void TestCycleHandover::eachDutKeepsItsOwnLog()
{
    m_fake->healthyGolden();
    m_fake->healthyDut(QStringLiteral("D1"));
    m_fake->on(QStringLiteral("D2 download *"), failText);
    m_fake->healthyDut(QStringLiteral("D2"));
    TestParaBuilder builder;
    builder.gmPort = QStringLiteral("GM");
    builder.filePath = QStringLiteral("ram.bin");
    builder.timeOut = QStringLiteral("20000");
    builder.sendInterval = QStringLiteral("100");
    builder.testCha = QStringLiteral("6");
    builder.devices = {{3, QStringLiteral("top\r\n\r\nshelf"), QStringLiteral("D1")},
                       {7, QStringLiteral("second"), QStringLiteral("D2")}};
    const JudgeLimits limits{-20, -75, -20, -75, 10, -10};
    CycleController controller;
    QSignalSpy finished(&controller, &CycleController::cycleFinished);
    QVERIFY(controller.start(builder.build(), {limits, {{3, "0", "0"}, {7, "0", "0"}}}));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);

    const CycleOutcome &outcome = controller.lastOutcome();
    QCOMPARE(outcome.dutLogs.size(), 2);
    QCOMPARE(outcome.dutLogs.at(0).slot, 3);
    QCOMPARE(outcome.dutLogs.at(1).slot, 7);
    QVERIFY(outcome.dutLog(0).contains(QStringLiteral("top\r\n\r\nshelf")));
    QVERIFY(outcome.dutLog(1).contains(QStringLiteral("RX donwload rambin error.")));
    QVERIFY(!outcome.dutLog(1).contains(QStringLiteral("shelf")));
    QVERIFY(QString::fromUtf8(todaysLog()).contains(outcome.cycleLog));

    const CycleRecord record = CycleRecordBuilder(QStringLiteral("st")).build(outcome);
    QCOMPARE(record.duts.size(), 2);
    QCOMPARE(record.duts.at(1).slot, std::optional<int>(7));
    QCOMPARE(record.duts.at(1).failedStep, QStringLiteral("download"));
    QVERIFY2(record.duts.at(1).failureLog.contains(QStringLiteral("RX donwload rambin error.")) &&
                 record.duts.at(1).failureLog.contains(QStringLiteral("Device second")) &&
                 !record.duts.at(1).failureLog.contains(QStringLiteral("shelf")),
             qPrintable(record.duts.at(1).failureLog));

    const QString table = CycleTable::cycleTable(1, 1, outcome.elapsedMs, outcome.para,
                                                 outcome.traces, outcome.result, outcome.judgement,
                                                 outcome.dutLogs, outcome.goldenLog);
    const QStringList lines = table.split(QLatin1Char('\n'));
    const auto second = std::find_if(lines.begin(), lines.end(), [](const QString &line) {
        return line.contains(QStringLiteral("second"));
    });
    QVERIFY(second != lines.end());
    QVERIFY2(second->contains(QStringLiteral("RX donwload rambin error.")), qPrintable(table));
}

QTEST_MAIN(TestCycleHandover)
#include "tst_cyclehandover.moc"
