#include "chiptool.h"
#include "faketool.h"
#include "logrecord.h"
#include "toolgate.h"

#include <QFile>
#include <QThread>
#include <QtTest>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <memory>
#include <vector>

class TestChipTool : public QObject
{
    Q_OBJECT

private slots:
    void programPath();
    void logsCommandLineAndOutput();
    void successIsOkAnywhere();
    void outputEndsAtZeroByte();
    void missingToolFails();
    void slowToolWithinWait();
    void hangingToolIsKilledAndPortFreed();
    void hangingToolAfterOkCounts();
    void shortStepsTakeTurns();
};

void TestChipTool::programPath()
{
#ifdef Q_OS_WIN
    QCOMPARE(chipTool::toolPath(), QStringLiteral("./config/CHIPCTL/Chipctl.exe"));
#else
    QCOMPARE(chipTool::toolPath(), QStringLiteral("./config/CHIPCTL/Chipctl"));
#endif
    QCOMPARE(chipTool::logCommandLine({QStringLiteral("COM3"), QStringLiteral("xtal_cap"),
                                       QStringLiteral("write"), QStringLiteral("ram"),
                                       QStringLiteral("-12")}),
             QStringLiteral("cmd.exe ./config/CHIPCTL/Chipctl.exe COM3 xtal_cap write ram -12"));
}

void TestChipTool::logsCommandLineAndOutput()
{
    FakeTool fake;
    QVERIFY(fake.isValid());
    fake.on(QStringLiteral("P1 uuid"), QStringLiteral("uid:0xabc\nOk."));
    chipTool tool;
    logRecord log;
    QVERIFY(tool.runTool({QStringLiteral("P1"), QStringLiteral("uuid")}, 5000, &log));
    QCOMPARE(fake.calls(), QStringList() << QStringLiteral("P1 uuid"));
    QCOMPARE(tool.output(), QStringLiteral("uid:0xabc\nOk."));

    const QStringList lines = log.getLog(LOG_DEBUG).split(QStringLiteral("\r\n"));
    // The command line, then the output with its own line end inside.
    QVERIFY(lines.at(0).startsWith(QStringLiteral("[调试]")));
    QVERIFY(lines.at(0).endsWith(QStringLiteral(" cmd.exe ./config/CHIPCTL/Chipctl.exe P1 uuid")));
    QVERIFY(lines.at(1).startsWith(QStringLiteral("[调试]")));
    QVERIFY(lines.at(1).endsWith(QStringLiteral(" uid:0xabc\nOk.")));
    // Debug lines only: nothing at information level.
    QVERIFY(tool.runTool({QStringLiteral("P1"), QStringLiteral("uuid")}, 5000, &log));
    QCOMPARE(log.getLog(LOG_INFO), QString());
}

void TestChipTool::successIsOkAnywhere()
{
    FakeTool fake;
    QVERIFY(fake.isValid());
    fake.on(QStringLiteral("P1 a"), QStringLiteral("data Ok. more data"));
    fake.on(QStringLiteral("P1 b"), QStringLiteral("Fail. Command execution error."));
    fake.on(QStringLiteral("P1 c"), QStringLiteral("ok."));
    chipTool tool;
    QVERIFY(tool.run({QStringLiteral("P1"), QStringLiteral("a")}, 5000));
    QVERIFY(!tool.run({QStringLiteral("P1"), QStringLiteral("b")}, 5000));
    QCOMPARE(tool.output(), QStringLiteral("Fail. Command execution error."));
    QVERIFY(!tool.run({QStringLiteral("P1"), QStringLiteral("c")}, 5000));
    // No rule: the fake answers like a failing command.
    QVERIFY(!tool.run({QStringLiteral("P1"), QStringLiteral("d")}, 5000));
}

void TestChipTool::outputEndsAtZeroByte()
{
    FakeTool fake;
    QVERIFY(fake.isValid());
    fake.on(QStringLiteral("P1 z"), QString::fromLatin1("mac:1\n\0Ok.", 10));
    chipTool tool;
    QVERIFY(!tool.run({QStringLiteral("P1"), QStringLiteral("z")}, 5000));
    QCOMPARE(tool.output(), QStringLiteral("mac:1\n"));
}

void TestChipTool::missingToolFails()
{
    FakeTool fake;
    QVERIFY(fake.isValid());
    QVERIFY(QFile::remove(fake.dir() + QStringLiteral("/config/CHIPCTL/Chipctl")));
    chipTool tool;
    logRecord log;
    QVERIFY(!tool.runTool({QStringLiteral("P1"), QStringLiteral("uuid")}, 1000, &log));
    QCOMPARE(tool.output(), QString());
    // Both debug lines are written all the same.
    QCOMPARE(log.getLog(LOG_DEBUG).count(QStringLiteral("\r\n")), 2);
}

void TestChipTool::slowToolWithinWait()
{
    FakeTool fake;
    QVERIFY(fake.isValid());
    fake.on(QStringLiteral("P1 slow"), QStringLiteral("Ok."), QStringLiteral("sleep=300"));
    chipTool tool;
    QVERIFY(tool.run({QStringLiteral("P1"), QStringLiteral("slow")}, 10000));
}

// A tool still running when its wait ends is judged by what it printed, and
// is gone before the next run, which finds the port free.
void TestChipTool::hangingToolIsKilledAndPortFreed()
{
    FakeTool fake;
    QVERIFY(fake.isValid());
    fake.on(QStringLiteral("P1 rx_dut *"), QStringLiteral("result:\nfreq=1.0,rssi=-50\n"),
            QStringLiteral("hang,pid"));
    fake.on(QStringLiteral("P1 uuid"), QStringLiteral("uid:0x1\nOk."));
    chipTool tool;
    QVERIFY(!tool.run({QStringLiteral("P1"), QStringLiteral("rx_dut"), QStringLiteral("100"),
                       QStringLiteral("6")},
                      300));
    QCOMPARE(tool.output(), QStringLiteral("result:\nfreq=1.0,rssi=-50\n"));
    const qint64 pid = fake.lastPid();
    QVERIFY(pid > 0);
    // Killed and reaped: no such process any more, not even a zombie.
    errno = 0;
    QCOMPARE(::kill(pid_t(pid), 0), -1);
    QCOMPARE(errno, ESRCH);

    QVERIFY(tool.run({QStringLiteral("P1"), QStringLiteral("uuid")}, 5000));
    QVERIFY(fake.callsStartingWith(QStringLiteral("BUSY")).isEmpty());

    // A second runner (another worker) on the same port is equally unhindered.
    chipTool other;
    QVERIFY(other.run({QStringLiteral("P1"), QStringLiteral("uuid")}, 5000));
}

void TestChipTool::hangingToolAfterOkCounts()
{
    FakeTool fake;
    QVERIFY(fake.isValid());
    fake.on(QStringLiteral("P1 tx_gm *"), QStringLiteral("result:\nrssi:-40\nOk."),
            QStringLiteral("hang"));
    chipTool tool;
    QVERIFY(tool.run({QStringLiteral("P1"), QStringLiteral("tx_gm"), QStringLiteral("1")}, 300));
    QCOMPARE(tool.output(), QStringLiteral("result:\nrssi:-40\nOk."));
}

// The short steps of many workers take turns: while every turn is taken, a
// short step does not start (and a stop ends its wait without a run); a
// long step is not held up; a turn handed back lets the short step run.
void TestChipTool::shortStepsTakeTurns()
{
    FakeTool fake;
    QVERIFY(fake.isValid());
    fake.on(QStringLiteral("P1 *"), QStringLiteral("Ok."));
    std::vector<ToolGate::Turn> taken;
    for (int i = 0; i < ToolGate::capacity(); ++i)
        taken.push_back(ToolGate::take(nullptr));
    QVERIFY(
        std::all_of(taken.begin(), taken.end(), [](const ToolGate::Turn &t) { return t.held(); }));

    std::atomic<uint8_t> stop{0};
    chipTool tool;
    tool.setStopFlag(&stop);
    QVERIFY(tool.run({QStringLiteral("P1"), QStringLiteral("download")}, 10000));

    std::atomic<bool> done{false};
    std::atomic<bool> result{false};
    std::unique_ptr<QThread> worker(QThread::create([&] {
        chipTool shortStep;
        shortStep.setStopFlag(&stop);
        result = shortStep.run({QStringLiteral("P1"), QStringLiteral("uuid")}, 1000);
        done = true;
    }));
    worker->start();
    QVERIFY(!worker->wait(300));
    QVERIFY(fake.callsStartingWith(QStringLiteral("P1 uuid")).isEmpty());
    taken.pop_back();
    QVERIFY(worker->wait(5000));
    QVERIFY(result.load());
    QCOMPARE(fake.callsStartingWith(QStringLiteral("P1 uuid")).size(), 1);

    // Full again: a stop ends the wait, and nothing runs.
    taken.push_back(ToolGate::take(nullptr));
    stop = 1;
    chipTool stopped;
    stopped.setStopFlag(&stop);
    QVERIFY(!stopped.run({QStringLiteral("P1"), QStringLiteral("uuid")}, 1000));
    QCOMPARE(fake.callsStartingWith(QStringLiteral("P1 uuid")).size(), 1);
}

QTEST_GUILESS_MAIN(TestChipTool)
#include "tst_chiptool.moc"
