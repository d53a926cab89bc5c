// The cycle controller against the scripted chip tool: what both front ends
// rely on without seeing it themselves. One cycle at a time, the judging by
// the set-up the front end has when the cycle ends, and no cycle outliving
// its controller.
#include "cyclecontroller.h"
#include "faketool.h"
#include "stationsetup.h"
#include "testparabuilder.h"
#include "testthread.h"

#include <QSignalSpy>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/types.h>

namespace {

// A cycle over D1..Dn with the golden machine on GM.
testPara_t cycleOver(int duts)
{
    TestParaBuilder builder;
    builder.gmPort = QStringLiteral("GM");
    builder.filePath = QStringLiteral("ram.bin");
    builder.timeOut = QStringLiteral("20000");
    builder.sendInterval = QStringLiteral("100");
    builder.testCha = QStringLiteral("6");
    for (int slot = 0; slot < duts; ++slot)
        builder.devices.append(
            {slot, QStringLiteral("DUT%1").arg(slot), QStringLiteral("D%1").arg(slot + 1)});
    return builder.build();
}

// Limits every healthy scripted DUT passes.
JudgeLimits wideLimits()
{
    JudgeLimits limits;
    limits.txRssiMax = -20;
    limits.txRssiMin = -75;
    limits.rxRssiMax = -20;
    limits.rxRssiMin = -75;
    limits.freqMax = 10;
    limits.freqMin = -10;
    return limits;
}

} // namespace

class TestCycleController : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void oneCycleAtATime();
    void judgedByTheSetupAtTheStart();
    void noCycleOutlivesItsController();

private:
    std::unique_ptr<FakeTool> m_fake;
};

void TestCycleController::init()
{
    m_fake = std::make_unique<FakeTool>();
    QVERIFY(m_fake->isValid());
}

void TestCycleController::cleanup()
{
    m_fake.reset();
}

// No start while a cycle runs or stops (two cycles would share the ports);
// a stopped cycle logs, judges, counts and records nothing.
void TestCycleController::oneCycleAtATime()
{
    m_fake->healthyGolden();
    m_fake->on(QStringLiteral("D1 rx_dut *"), FakeTool::rxAnswer(2.0f),
               QStringLiteral("sleep=800"));
    m_fake->healthyDut(QStringLiteral("D1"));
    CycleController controller;
    const CycleController::JudgeSetup setup{wideLimits(), {{0, "0", "0"}}};
    QSignalSpy finished(&controller, &CycleController::cycleFinished);
    QSignalSpy stopped(&controller, &CycleController::stopped);

    QVERIFY(controller.start(cycleOver(1), setup));
    const testThread *first = controller.cycle();
    QVERIFY(!controller.start(cycleOver(1), setup));
    QCOMPARE(controller.cycle(), first);
    QTRY_VERIFY_WITH_TIMEOUT(!m_fake->callsStartingWith(QStringLiteral("D1 rx_dut")).isEmpty(),
                             10000);
    controller.stop();
    QCOMPARE(controller.state(), CycleController::Stopping);
    QVERIFY(!controller.start(cycleOver(1), setup));
    QVERIFY(first->isRunning()); // the worker ends after its chip-tool step
    QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 10000);
    QCOMPARE(controller.state(), CycleController::Idle);
    QVERIFY(first->isFinished());
    QCOMPARE(finished.count(), 0);
    QCOMPARE(controller.counters().total, 0u);
    QVERIFY(todaysLog().isEmpty());
    QVERIFY(todaysResults().isEmpty());

    QVERIFY(controller.start(cycleOver(1), setup));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);
    QCOMPARE(stopped.count(), 1);
    QCOMPARE(controller.counters().passed, 1u);
}

// The limits and rows are the ones the cycle was started with (a window's
// operator may edit them meanwhile), and a setup whose rows do not match the
// devices starts nothing; the daily log and the results rows carry the total
// from before the cycle; the auto-test flag turns the mode byte on for the
// next cycle.
void TestCycleController::judgedByTheSetupAtTheStart()
{
    m_fake->healthyGolden(); // TX RSSI -45
    m_fake->healthyDut(QStringLiteral("D1"));
    m_fake->healthyDut(QStringLiteral("D2"));
    CycleController controller;
    CycleController::JudgeSetup setup{wideLimits(), {{0, "0", "0"}, {1, "5", "0"}}};
    setup.limits.txRssiMax = -48; // DUT1's TX offset 5 lifts its bound to -43
    controller.setCounters({5, 2, 7});
    controller.setAutoTest(1);
    QSignalSpy finished(&controller, &CycleController::cycleFinished);

    CycleController::JudgeSetup shifted = setup;
    shifted.rows.removeFirst();
    QVERIFY(!controller.start(cycleOver(2), shifted));
    shifted.rows.append({2, "0", "0"});
    QVERIFY(!controller.start(cycleOver(2), shifted));
    QVERIFY(controller.cycle() == nullptr);

    QVERIFY(controller.start(cycleOver(2), setup));
    QCOMPARE(int(controller.cycle()->mode()), 0);
    setup.limits.txRssiMax = -20;
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);

    const CycleOutcome &outcome = controller.lastOutcome();
    QCOMPARE(outcome.limits.txRssiMax, -48.0f);
    QCOMPARE(outcome.number, 7u);
    QCOMPARE(outcome.judgement.devices.size(), 2);
    QCOMPARE(int(outcome.judgement.devices.at(0).verdict), int(DeviceVerdict::Fail));
    QCOMPARE(outcome.judgement.devices.at(0).reasons, QStringList{"tx rssi -45.00 > -48"});
    QCOMPARE(int(outcome.judgement.devices.at(1).verdict), int(DeviceVerdict::Pass));
    QCOMPARE(controller.counters().passed, 6u);
    QCOMPARE(controller.counters().failed, 3u);
    QCOMPARE(controller.counters().total, 9u);
    QVERIFY(outcome.logWritten && outcome.resultsWritten);
    QVERIFY(todaysLog().startsWith("\xe7\xac\xac"
                                   "7"));
    QCOMPARE(todaysResultRows().size(), 2);
    QCOMPARE(todaysResultRows().at(1).at(1), QStringLiteral("7"));

    QCOMPARE(int(controller.mode()), 1);
    QVERIFY(controller.start(cycleOver(2), setup));
    QCOMPARE(int(controller.cycle()->mode()), 1);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 20000);
    QCOMPARE(controller.lastOutcome().number, 9u);
}

// A controller that goes away during a chip-tool run ends the cycle first:
// the tool is reaped, and nothing is logged or signalled.
void TestCycleController::noCycleOutlivesItsController()
{
    m_fake->healthyGolden();
    m_fake->on(QStringLiteral("D1 rx_dut *"), FakeTool::rxAnswer(2.0f),
               QStringLiteral("pid,sleep=3000"));
    m_fake->healthyDut(QStringLiteral("D1"));
    auto controller = std::make_unique<CycleController>();
    bool signalled = false;
    connect(controller.get(), &CycleController::cycleFinished, this, [&] { signalled = true; });
    connect(controller.get(), &CycleController::stopped, this, [&] { signalled = true; });
    QVERIFY(controller->start(cycleOver(1), {wideLimits(), {{0, "0", "0"}}}));
    QTRY_VERIFY_WITH_TIMEOUT(m_fake->lastPid() > 0, 10000);
    const qint64 pid = m_fake->lastPid();
    QVERIFY(::kill(pid_t(pid), 0) == 0);

    controller.reset();
    QVERIFY(::kill(pid_t(pid), 0) != 0);
    QTest::qWait(50);
    QVERIFY(!signalled);
    QVERIFY(todaysLog().isEmpty());
}

QTEST_GUILESS_MAIN(TestCycleController)
#include "tst_cyclecontroller.moc"
