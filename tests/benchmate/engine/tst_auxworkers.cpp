#include "faketool.h"
#include "logrecord.h"
#include "sleepmsec.h"
#include "txtestthread.h"
#include "waitdevicethread.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>

#include <thread>

namespace {

const QString failText = QStringLiteral("Fail. Command execution error.");

txTestPara txPara()
{
    txTestPara para;
    para.port = QStringLiteral("D1");
    para.dutMac = QStringLiteral("a0:b1:c2:d3:e4:f6");
    para.filePath = QStringLiteral("fw.bin");
    para.gmMac = QStringLiteral("A0:B1:C2:D3:E4:F5");
    return para;
}

} // namespace

class TestAuxWorkers : public QObject
{
    Q_OBJECT

private slots:
    void sleepWaitsAndProcessesEvents();
    void sleepWithoutDispatcher();
    void txSetUpPasses();
    void txDownloadFailureNotNoticed();
    void txMacFailureEnds();
    void waitReachesBootMode();
    void waitKeepsPollingWithoutFailure();
    void waitStopWhilePulsing();
};

void TestAuxWorkers::sleepWaitsAndProcessesEvents()
{
    bool fired = false;
    QTimer::singleShot(0, this, [&fired] { fired = true; });
    QElapsedTimer clock;
    clock.start();
    sleepMsec(120);
    // Never shorter than asked, and the thread's events were handled.
    QVERIFY(clock.elapsed() >= 120);
    QVERIFY(fired);
    sleepMsec(0);
    sleepMsec(-5);
}

void TestAuxWorkers::sleepWithoutDispatcher()
{
    qint64 elapsed = 0;
    std::thread plain([&elapsed] {
        QElapsedTimer clock;
        clock.start();
        sleepMsec(60);
        elapsed = clock.elapsed();
    });
    plain.join();
    QVERIFY(elapsed >= 60);
}

void TestAuxWorkers::txSetUpPasses()
{
    FakeTool fake;
    QVERIFY(fake.isValid());
    fake.on(QStringLiteral("D1 *"), QStringLiteral("Ok."));
    txTestThread worker(txPara());
    QStringList shown;
    connect(&worker, &txTestThread::showDebugInfo, this,
            [&shown](const QString &text) { shown.append(text); });
    worker.start();
    QVERIFY(worker.wait(QDeadlineTimer(30000)));
    QTRY_COMPARE(shown.size(), 8);
    float values[4] = {1, 1, 1, 1};
    QCOMPARE(worker.getResult(values), 4);
    QCOMPARE(worker.getResult(values), 4);
    for (float v : values)
        QCOMPARE(v, 0.0f);
    QCOMPARE(fake.calls(), QStringList({"D1 download ram 0x20000000 fw.bin",
                                        "D1 test_dut mac_dut a0:b1:c2:d3:e4:f6",
                                        "D1 test_dut mac_dut a0:b1:c2:d3:e4:f6",
                                        "D1 test_dut mac_gm A0:B1:C2:D3:E4:F5"}));
    QCOMPARE(shown.at(0),
             QStringLiteral("./config/CHIPCTL/Chipctl.exe D1 download ram 0x20000000 fw.bin"));
    QCOMPARE(shown.at(1), QStringLiteral("Ok."));
    QCOMPARE(shown.at(6),
             QStringLiteral("./config/CHIPCTL/Chipctl.exe D1 test_dut mac_gm A0:B1:C2:D3:E4:F5"));
}

void TestAuxWorkers::txDownloadFailureNotNoticed()
{
    FakeTool fake;
    QVERIFY(fake.isValid());
    fake.on(QStringLiteral("D1 download *"), failText);
    fake.on(QStringLiteral("D1 *"), QStringLiteral("Ok."));
    txTestThread worker(txPara());
    worker.start();
    QVERIFY(worker.wait(QDeadlineTimer(30000)));
    QCOMPARE(worker.getResult(nullptr), 4);
    QCOMPARE(fake.calls().size(), 4);
}

// The second MAC attempt fails: the worker ends at stage 2, which reads as a
// failure (5) once it has stopped; the golden MAC is never sent.
void TestAuxWorkers::txMacFailureEnds()
{
    FakeTool fake;
    QVERIFY(fake.isValid());
    fake.on(QStringLiteral("D1 test_dut mac_dut *"), QStringLiteral("Ok."));
    fake.on(QStringLiteral("D1 test_dut mac_dut *"), failText);
    fake.on(QStringLiteral("D1 download *"), QStringLiteral("Ok."), QStringLiteral("sleep=1500"));
    fake.on(QStringLiteral("D1 *"), QStringLiteral("Ok."));
    txTestThread worker(txPara());
    worker.start();
    // While it runs, the stage is reported as it is.
    QTRY_VERIFY_WITH_TIMEOUT(!fake.calls().isEmpty(), 30000);
    QCOMPARE(worker.getResult(nullptr), 1);
    QVERIFY(worker.wait(QDeadlineTimer(30000)));
    QCOMPARE(worker.getResult(nullptr), 5);
    QVERIFY(fake.callsStartingWith(QStringLiteral("D1 test_dut mac_gm")).isEmpty());
}

void TestAuxWorkers::waitReachesBootMode()
{
    FakeTool fake;
    QVERIFY(fake.isValid());
    fake.on(QStringLiteral("P1 mode read"), QStringLiteral("RAMCODE MODE.\nOk."));
    fake.on(QStringLiteral("P1 mode read"), QStringLiteral("Fail. Could not go in download mode."));
    fake.on(QStringLiteral("P1 mode read"), QStringLiteral("RAMCODE MODE.\nOk."));
    fake.on(QStringLiteral("P1 mode read"), QStringLiteral("BOOT MODE.\nOk."));
    fake.on(QStringLiteral("P1 usb_io *"), QStringLiteral("Ok."));
    logRecord log;
    waitDeviceThread worker(QStringLiteral("P1"), &log);
    QCOMPARE(worker.log(), &log);
    QCOMPARE(worker.getResult(), 0);
    worker.start();
    QVERIFY(worker.wait(QDeadlineTimer(30000)));
    QCOMPARE(worker.getResult(), int(waitDeviceThread::WAIT_BOOT_MODE));
    QCOMPARE(fake.calls(),
             QStringList({"P1 mode read", "P1 mode read", "P1 usb_io 0 1 100 1 0 50",
                          "P1 mode read", "P1 usb_io 0 1 100 1 0 50", "P1 mode read"}));
    QCOMPARE(log.getLog(LOG_DEBUG), QString());
}

// A unit that answers in boot mode at once never makes the tool fail: the
// worker keeps probing until stopped.
void TestAuxWorkers::waitKeepsPollingWithoutFailure()
{
    FakeTool fake;
    QVERIFY(fake.isValid());
    fake.on(QStringLiteral("P1 mode read"), QStringLiteral("BOOT MODE.\nOk."));
    waitDeviceThread worker(QStringLiteral("P1"), nullptr);
    worker.start();
    QTRY_VERIFY_WITH_TIMEOUT(fake.calls().size() >= 3, 30000);
    QCOMPARE(worker.getResult(), int(waitDeviceThread::WAIT_POLLING));
    worker.stop();
    QVERIFY(worker.wait(QDeadlineTimer(30000)));
    QCOMPARE(worker.getResult(), int(waitDeviceThread::WAIT_POLLING));
    QCOMPARE(fake.callsStartingWith(QStringLiteral("P1 usb_io")).size(), 0);
}

void TestAuxWorkers::waitStopWhilePulsing()
{
    FakeTool fake;
    QVERIFY(fake.isValid());
    fake.on(QStringLiteral("P1 mode read"), QStringLiteral("Fail. Could not go in download mode."));
    fake.on(QStringLiteral("P1 usb_io *"), QStringLiteral("Ok."));
    waitDeviceThread worker(QStringLiteral("P1"), nullptr);
    worker.start();
    QTRY_VERIFY_WITH_TIMEOUT(fake.callsStartingWith(QStringLiteral("P1 usb_io")).size() >= 2,
                             30000);
    QCOMPARE(worker.getResult(), int(waitDeviceThread::WAIT_PULSING));
    worker.stop();
    QVERIFY(worker.wait(QDeadlineTimer(30000)));
    QCOMPARE(worker.getResult(), int(waitDeviceThread::WAIT_PULSING));
}

QTEST_GUILESS_MAIN(TestAuxWorkers)
#include "tst_auxworkers.moc"
