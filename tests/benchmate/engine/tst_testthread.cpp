#include "cyclevalues.h"
#include "faketool.h"
#include "testthread.h"

#include <QtTest>

#include <memory>

namespace {

// What a front end shares with the cycles it runs.
CycleValues shared;

const QString gmMac = QStringLiteral("A0:B1:C2:D3:E4:F5");
const QString failText = QStringLiteral("Fail. Command execution error.");

testPara_t cyclePara(int devices, uint32_t timeOut = 20000)
{
    testPara_t para;
    para.gmPort = QStringLiteral("GM");
    para.filePath = QStringLiteral("ram.bin");
    para.timeOut = timeOut;
    para.sendInterval = 100;
    para.testCha = 6;
    para.logPath = QStringLiteral("./log");
    para.values = &shared;
    for (int i = 0; i < devices; ++i) {
        deviceInfo_t device;
        device.port = QStringLiteral("D%1").arg(i + 1);
        device.name = QStringLiteral("Dev%1").arg(i + 1);
        device.slot = i;
        device.progressPtr = &shared.progress[i];
        shared.progress[i].store(255);
        para.devices.append(device);
    }
    return para;
}

void healthyDuts(FakeTool &fake, int devices)
{
    for (int i = 0; i < devices; ++i)
        fake.healthyDut(QStringLiteral("D%1").arg(i + 1));
}

struct Cycle
{
    int ended = 0;
    testRestlt_t result;
    QString log;
    QList<deviceTrace_t> traces;
};

Cycle runCycle(testThread &cycle)
{
    cycle.start();
    Cycle out;
    if (!cycle.wait(QDeadlineTimer(120000)))
        return out;
    out.ended = cycle.getResult(&out.result);
    out.traces = cycle.getTraceability();
    out.log = cycle.getLog();
    return out;
}

Cycle runCycle(const testPara_t &para)
{
    testThread cycle(para, 0);
    return runCycle(cycle);
}

// The lines of one log text (CR LF separated, blank lines dropped).
QStringList lines(const QString &log)
{
    return log.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
}

bool hasLine(const QString &log, const QString &prefix, const QString &text)
{
    const QStringList all = lines(log);
    for (const QString &line : all) {
        if (line.startsWith(prefix) && line.endsWith(QLatin1Char(' ') + text))
            return true;
    }
    return false;
}

// The time stamp of the first line ending in `text`, as "hh:mm:ss:zzz".
QString stampOf(const QString &log, const QString &text)
{
    const QStringList all = lines(log);
    for (const QString &line : all) {
        if (line.endsWith(QLatin1Char(' ') + text))
            return line.mid(4, 12);
    }
    return QString();
}

} // namespace

class TestTestThread : public QObject
{
    Q_OBJECT

private slots:
    void init() { shared.calVal.store(CycleValues::initialCalVal); }

    void wholeCycle();
    void fullStation();
    void calStartFromCalVal();
    void goldenFailures_data();
    void goldenFailures();
    void dutMacsCarry();
    void dutMacsPastTheTop();
    void noDevices();
    void rxFailureSkipsTx();
    void txSampleCounts_data();
    void txSampleCounts();
    void txStepFailures_data();
    void txStepFailures();
    void goldenRfOffFailure();
    void rxTimeoutWaitsForEveryWorker();
    void stopDuringRx();
    void stopBeforeWorkers();
    void requestStopDoesNotWait();
    void noWorkerStartsAfterStop();
};

// Two DUTs through the whole cycle: the golden set-up, the MACs, the RX phase
// in parallel, the TX phase DUT by DUT, results, log and traceability.
void TestTestThread::wholeCycle()
{
    FakeTool fake;
    QVERIFY(fake.isValid());
    fake.healthyGolden(gmMac);
    healthyDuts(fake, 2);
    testThread cycle(cyclePara(2), 1);
    QCOMPARE(cycle.mode(), uchar(1));
    testRestlt_t before;
    QCOMPARE(cycle.getResult(&before), int(CYCLE_ENDED)); // not started: not running
    QCOMPARE(before.finished, 0);
    const Cycle out = runCycle(cycle);

    QCOMPARE(out.ended, int(CYCLE_ENDED));
    QCOMPARE(out.result.cycleStatus, int(STATUS_PASS));
    QCOMPARE(out.result.finished, 1);
    QCOMPARE(out.result.results.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const deviceRestlt_t &r = out.result.results.at(i);
        QCOMPARE(r.name, QStringLiteral("Dev%1").arg(i + 1));
        QCOMPARE(r.rxStatus, int(STATUS_PASS));
        QCOMPARE(r.txStatus, int(STATUS_PASS));
        QCOMPARE(int(r.calVal), -12);
        QCOMPARE(r.freqAve, 2);
        QCOMPARE(r.rxRssiAve, -52);
        QCOMPARE(r.txRssiMin, -45);
        QCOMPARE(r.txRssiMax, -45);
        QCOMPARE(r.txRssiAve, -45);
        QCOMPARE(shared.progress[i].load(), uint8_t(100));
    }

    // The golden machine's commands, in order, around the DUTs'.
    QCOMPARE(fake.callsStartingWith(QStringLiteral("GM ")),
             QStringList({"GM gm_mac", "GM xtal_cap read flash_otp", "GM xtal_cap write ram -3",
                          "GM rx_gm 100 20000 6", "GM rf_stop", "GM tx_gm 1 20000 6",
                          "GM tx_gm 1 20000 6"}));
    QCOMPARE(fake.callsStartingWith(QStringLiteral("D1 test_dut")),
             QStringList({"D1 test_dut mac_gm " + gmMac, "D1 test_dut mac_dut a0:b1:c2:d3:e4:f6"}));
    QCOMPARE(fake.callsStartingWith(QStringLiteral("D2 test_dut mac_dut")),
             QStringList({"D2 test_dut mac_dut a0:b1:c2:d3:e4:f7"}));
    QCOMPARE(fake.callsStartingWith(QStringLiteral("D1 download")),
             QStringList({"D1 download ram 0x20000000 ram.bin"}));
    // TX: D1 transmits, the golden machine measures, D1 stops; then D2.
    const QStringList calls = fake.calls();
    const int rfOff = calls.indexOf(QStringLiteral("GM rf_stop"));
    QVERIFY(rfOff > 0);
    QCOMPARE(calls.mid(rfOff + 1),
             QStringList({"D1 tx_dut 100 20000 6", "GM tx_gm 1 20000 6", "D1 rf_stop",
                          "D2 tx_dut 100 20000 6", "GM tx_gm 1 20000 6", "D2 rf_stop"}));
    QVERIFY(fake.callsStartingWith(QStringLiteral("BUSY")).isEmpty());

    // The log: D1's lines, D2's, then the cycle's; information level and up.
    const QStringList all = lines(out.log);
    QVERIFY(!out.log.contains(QStringLiteral("[调试]")));
    const int d1Start =
        all.indexOf(QRegularExpression(QStringLiteral(".* Device Dev1: Start test\\.{39}$")));
    const int d2Start =
        all.indexOf(QRegularExpression(QStringLiteral(".* Device Dev2: Start test\\.{39}$")));
    const int mainStart = all.indexOf(QRegularExpression(QStringLiteral(".* Start Test\\.$")));
    QVERIFY(d1Start == 0);
    QVERIFY(d2Start > d1Start);
    QVERIFY(mainStart > d2Start);
    QVERIFY(hasLine(out.log, QStringLiteral("[信息]"),
                    QStringLiteral("TX test success.TX RSSI MIN = -45,TX RSSI MAX = -45,TX RSSI "
                                   "AVE = -45.")));
    QVERIFY(
        hasLine(out.log, QStringLiteral("[信息]"),
                QStringLiteral("Device Dev2: Test end.......................................")));
    QCOMPARE(all.mid(mainStart).size(), 4);
    QVERIFY(all.at(mainStart + 1).endsWith(QStringLiteral(" Start RX Test.")));
    QVERIFY(all.at(mainStart + 2).endsWith(QStringLiteral(" Start TX Test.")));
    QVERIFY(all.at(mainStart + 3).endsWith(QStringLiteral(" Test end.")));
    QVERIFY(out.log.endsWith(QStringLiteral("\r\n\r\n")));

    // Taking the log empties it: three empty logs, each followed by CR LF.
    QCOMPARE(cycle.getLog(), QStringLiteral("\r\n\r\n\r\n"));

    QCOMPARE(out.traces.size(), 2);
    QCOMPARE(out.traces.at(0).name, QStringLiteral("Dev1"));
    QCOMPARE(out.traces.at(0).port, QStringLiteral("D1"));
    QCOMPARE(out.traces.at(0).mac, QStringLiteral("a0:b1:c2:d3:e4:f6"));
    QCOMPARE(out.traces.at(1).mac, QStringLiteral("a0:b1:c2:d3:e4:f7"));
    QVERIFY(out.traces.at(0).flashUid.startsWith(QStringLiteral("0x00112233")));
    QCOMPARE(out.traces.at(0).flashUid.size(), 34);
    QVERIFY(out.traces.at(0).flashUid != out.traces.at(1).flashUid);
}

// 24 DUTs at once: every worker reports, every DUT gets its own MAC and is
// TX-tested in slot order.
void TestTestThread::fullStation()
{
    FakeTool fake;
    QVERIFY(fake.isValid());
    fake.healthyGolden(QStringLiteral("02:00:00:00:00:F0"));
    // Real chips take their wire time for every answer; a fake without any
    // lets 24 workers start all their runs of a step in the same instant and
    // spawn their calibration runs back to back, which on a busy machine can
    // keep a "uuid" or DUT MAC run past its 1000 ms wait. Here the boot-mode
    // runs end 80 ms apart and an RX measurement takes 100 ms, as on the
    // simulated station.
    for (int i = 0; i < 24; ++i) {
        const QString port = QStringLiteral("D%1").arg(i + 1);
        fake.on(port + QStringLiteral(" entry_boot_mode"), QStringLiteral("Ok."),
                QStringLiteral("sleep=%1").arg(80 * i));
        fake.healthyDut(port, QStringLiteral("sleep=100"));
    }
    const Cycle out = runCycle(cyclePara(24));
    QCOMPARE(out.result.finished, 1);
    QCOMPARE(out.result.results.size(), 24);
    QSet<QString> macs;
    QStringList txOrder;
    // Every DUT's log, in device order: a failing DUT shows the step that
    // failed.
    const QStringList dutLogs = out.log.split(QStringLiteral("\r\n\r\n"));
    for (int i = 0; i < 24; ++i) {
        const QByteArray dutLog = dutLogs.value(i).toUtf8();
        QCOMPARE(out.result.results.at(i).name, QStringLiteral("Dev%1").arg(i + 1));
        QVERIFY2(out.result.results.at(i).rxStatus == int(STATUS_PASS), dutLog.constData());
        QVERIFY2(out.result.results.at(i).txStatus == int(STATUS_PASS), dutLog.constData());
        QCOMPARE(shared.progress[i].load(), uint8_t(100));
        macs.insert(out.traces.at(i).mac);
        txOrder.append(QStringLiteral("D%1 tx_dut 100 20000 6").arg(i + 1));
    }
    QCOMPARE(macs.size(), 24);
    QVERIFY(macs.contains(QStringLiteral("02:00:00:00:00:ff")));
    QVERIFY(macs.contains(QStringLiteral("02:00:00:00:01:08")));
    QCOMPARE(fake.calls().filter(QStringLiteral(" tx_dut ")), txOrder);
    QVERIFY(fake.callsStartingWith(QStringLiteral("BUSY")).isEmpty());
    QCOMPARE(lines(out.log).filter(QStringLiteral(" RX test success.")).size(), 24);
}

// Every DUT calibration starts from the low byte of calVal, read as signed.
void TestTestThread::calStartFromCalVal()
{
    FakeTool fake;
    QVERIFY(fake.isValid());
    fake.healthyGolden(gmMac);
    healthyDuts(fake, 1);
    shared.calVal.store(0x10a);
    const Cycle out = runCycle(cyclePara(1));
    QCOMPARE(fake.callsStartingWith(QStringLiteral("D1 xtal_cap write ram")).first(),
             QStringLiteral("D1 xtal_cap write ram 10"));
    QCOMPARE(out.result.results.size(), 1);
    QCOMPARE(int(out.result.results.at(0).calVal), 10);
}

void TestTestThread::goldenFailures_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("lastCall");
    QTest::newRow("mac missing Ok") << "GM gm_mac*"
                                    << "mac:A0:B1:C2:D3:E4:F5\n"
                                    << "获取金机MAC地址失败！"
                                    << "GM gm_mac";
    QTest::newRow("mac with dashes") << "GM gm_mac*"
                                     << "mac:A0-B1-C2-D3-E4-F5\nOk."
                                     << "获取金机MAC地址失败！"
                                     << "GM gm_mac";
    QTest::newRow("mac not hex") << "GM gm_mac*"
                                 << "mac:A0:B1:C2:D3:E4:ZZ\nOk."
                                 << "获取金机MAC地址失败！"
                                 << "GM gm_mac";
    QTest::newRow("crystal read") << "GM xtal_cap read*" << failText << "获取金机频偏失败！"
                                  << "GM xtal_cap read flash_otp";
    QTest::newRow("crystal parse") << "GM xtal_cap read*"
                                   << "xtal_cap:abc\r\nOk."
                                   << "解析金机频偏失败！"
                                   << "GM xtal_cap read flash_otp";
    QTest::newRow("crystal to RAM") << "GM xtal_cap write*" << failText << "设置金机频偏失败！"
                                    << "GM xtal_cap write ram -3";
    QTest::newRow("rx_gm") << "GM rx_gm*" << failText << "设置金机进入RX测试模式失败！"
                           << "GM rx_gm 100 20000 6";
}

// A failing golden-machine step fails the cycle at once: status 5, not
// finished, no results, and no DUT is touched.
void TestTestThread::goldenFailures()
{
    QFETCH(QString, pattern);
    QFETCH(QString, answer);
    QFETCH(QString, message);
    QFETCH(QString, lastCall);
    FakeTool fake;
    QVERIFY(fake.isValid());
    fake.on(pattern, answer);
    fake.healthyGolden(gmMac);
    healthyDuts(fake, 2);
    const Cycle out = runCycle(cyclePara(2));
    QCOMPARE(out.result.cycleStatus, int(STATUS_FAIL));
    QCOMPARE(out.result.finished, 0);
    QVERIFY(out.result.results.isEmpty());
    QVERIFY(out.traces.isEmpty());
    QCOMPARE(fake.calls().last(), lastCall);
    QVERIFY(fake.callsStartingWith(QStringLiteral("D")).isEmpty());
    QVERIFY2(hasLine(out.log, QStringLiteral("[错误]"), message), qPrintable(out.log));
    QVERIFY(!out.log.contains(QStringLiteral("Test end.")));
    QCOMPARE(shared.progress[0].load(), uint8_t(255));
}

// A golden MAC ending in fe: the DUT MACs carry into the fifth group.
void TestTestThread::dutMacsCarry()
{
    FakeTool fake;
    QVERIFY(fake.isValid());
    fake.healthyGolden(QStringLiteral("A0:B1:C2:D3:E4:FE"));
    healthyDuts(fake, 3);
    const Cycle out = runCycle(cyclePara(3));
    QCOMPARE(out.result.finished, 1);
    QCOMPARE(fake.callsStartingWith(QStringLiteral("D1 test_dut mac_dut")).first(),
             QStringLiteral("D1 test_dut mac_dut a0:b1:c2:d3:e4:ff"));
    QCOMPARE(fake.callsStartingWith(QStringLiteral("D2 test_dut mac_dut")).first(),
             QStringLiteral("D2 test_dut mac_dut a0:b1:c2:d3:e5:00"));
    QCOMPARE(fake.callsStartingWith(QStringLiteral("D3 test_dut mac_dut")).first(),
             QStringLiteral("D3 test_dut mac_dut a0:b1:c2:d3:e5:01"));
    QCOMPARE(out.traces.at(2).mac, QStringLiteral("a0:b1:c2:d3:e5:01"));
}

// No address is left above ff:ff:ff:ff:ff:fe for a second DUT: the cycle fails
// before the golden machine transmits.
void TestTestThread::dutMacsPastTheTop()
{
    FakeTool fake;
    QVERIFY(fake.isValid());
    fake.healthyGolden(QStringLiteral("FF:FF:FF:FF:FF:FE"));
    healthyDuts(fake, 2);
    const Cycle out = runCycle(cyclePara(2));
    QCOMPARE(out.result.cycleStatus, int(STATUS_FAIL));
    QCOMPARE(out.result.finished, 0);
    QVERIFY(hasLine(out.log, QStringLiteral("[错误]"), QStringLiteral("获取金机MAC地址失败！")));
    QVERIFY(fake.callsStartingWith(QStringLiteral("GM rx_gm")).isEmpty());
    QVERIFY(fake.callsStartingWith(QStringLiteral("D")).isEmpty());
}

void TestTestThread::noDevices()
{
    FakeTool fake;
    QVERIFY(fake.isValid());
    fake.healthyGolden(gmMac);
    const Cycle out = runCycle(cyclePara(0));
    QCOMPARE(out.result.cycleStatus, int(STATUS_PASS));
    QCOMPARE(out.result.finished, 1);
    QVERIFY(out.result.results.isEmpty());
    QCOMPARE(fake.calls(),
             QStringList({"GM gm_mac", "GM xtal_cap read flash_otp", "GM xtal_cap write ram -3",
                          "GM rx_gm 100 20000 6", "GM rf_stop"}));
    QVERIFY(hasLine(out.log, QStringLiteral("[信息]"), QStringLiteral("Start TX Test.")));
    QVERIFY(hasLine(out.log, QStringLiteral("[信息]"), QStringLiteral("Test end.")));
}

// DUT 1 fails its RX test: it gets no TX test and no test-end line; DUT 2 is
// TX-tested.
void TestTestThread::rxFailureSkipsTx()
{
    FakeTool fake;
    QVERIFY(fake.isValid());
    fake.on(QStringLiteral("D1 download*"), failText);
    fake.healthyGolden(gmMac);
    healthyDuts(fake, 2);
    const Cycle out = runCycle(cyclePara(2));
    QCOMPARE(out.result.finished, 1);
    QCOMPARE(out.result.results.size(), 2);
    QCOMPARE(out.result.results.at(0).rxStatus, int(STATUS_FAIL));
    QCOMPARE(out.result.results.at(0).txStatus, int(TX_NOT_RUN));
    QCOMPARE(out.result.results.at(1).rxStatus, int(STATUS_PASS));
    QCOMPARE(out.result.results.at(1).txStatus, int(STATUS_PASS));
    QVERIFY(fake.callsStartingWith(QStringLiteral("D1 tx_dut")).isEmpty());
    QCOMPARE(fake.callsStartingWith(QStringLiteral("D2 tx_dut")).size(), 1);
    QVERIFY(!out.log.contains(QStringLiteral("Device Dev1: Test end")));
    QVERIFY(out.log.contains(QStringLiteral("Device Dev2: Test end")));
    QVERIFY(
        hasLine(out.log, QStringLiteral("[错误]"), QStringLiteral("RX donwload rambin error.")));
    QCOMPARE(shared.progress[0].load(), uint8_t(10));
    QCOMPARE(shared.progress[1].load(), uint8_t(100));
}

void TestTestThread::txSampleCounts_data()
{
    QTest::addColumn<int>("count");
    QTest::newRow("19") << 19;
    QTest::newRow("21") << 21;
}

// A wrong TX sample count fails only that DUT; the next one is still tested.
void TestTestThread::txSampleCounts()
{
    QFETCH(int, count);
    FakeTool fake;
    QVERIFY(fake.isValid());
    fake.on(QStringLiteral("GM tx_gm 1 *"), FakeTool::txAnswer(-45, count));
    fake.on(QStringLiteral("GM tx_gm 1 *"),
            FakeTool::txAnswer({-30, -31, -32, -33, -34, -35, -36, -37, -38, -39,
                                -40, -41, -42, -43, -44, -45, -46, -47, -48, -50}));
    fake.healthyGolden(gmMac);
    healthyDuts(fake, 2);
    const Cycle out = runCycle(cyclePara(2));
    QCOMPARE(out.result.finished, 1);
    QCOMPARE(out.result.results.size(), 2);
    const deviceRestlt_t &d1 = out.result.results.at(0);
    QCOMPARE(d1.txStatus, int(STATUS_FAIL));
    QCOMPARE(d1.txRssiAve, 0);
    QCOMPARE(d1.txRssiMax, 0);
    const deviceRestlt_t &d2 = out.result.results.at(1);
    QCOMPARE(d2.txStatus, int(STATUS_PASS));
    QCOMPARE(d2.txRssiMin, -50);
    QCOMPARE(d2.txRssiMax, -30);
    QCOMPARE(d2.txRssiAve, -39); // -39.55 truncated toward zero
    QVERIFY(hasLine(out.log, QStringLiteral("[错误]"), QStringLiteral("TX test error.")));
    QVERIFY(hasLine(out.log, QStringLiteral("[信息]"),
                    QStringLiteral("TX test success.TX RSSI MIN = -50,TX RSSI MAX = -30,TX RSSI "
                                   "AVE = -39.55.")));
    QVERIFY(out.log.contains(QStringLiteral("Device Dev1: Test end")));
    QCOMPARE(shared.progress[0].load(), uint8_t(90));
    QCOMPARE(shared.progress[1].load(), uint8_t(100));
}

void TestTestThread::txStepFailures_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("dutFault");     // of the first DUT
    QTest::addColumn<int>("stationFault"); // of the cycle
    QTest::newRow("tx_dut") << "D1 tx_dut*"
                            << "Dev1设备进入TX测试模式失败！" << int(DUT_FAULT_TX_MODE)
                            << int(STATION_OK);
    QTest::newRow("tx_gm") << "GM tx_gm*"
                           << "Dev1测试时金机设备进入TX测试模式失败！" << int(DUT_OK)
                           << int(STATION_FAULT_GOLDEN);
    QTest::newRow("dut rf_stop") << "D1 rf_stop*"
                                 << "Dev1待测设备停止RF失败！" << int(DUT_FAULT_TX_RF_OFF)
                                 << int(STATION_OK);
}

// A failed TX chip-tool step ends the cycle: later DUTs keep TX status 0.
// The DUT's own step is its fault, the golden machine's the station's.
void TestTestThread::txStepFailures()
{
    QFETCH(QString, pattern);
    QFETCH(QString, message);
    QFETCH(int, dutFault);
    QFETCH(int, stationFault);
    FakeTool fake;
    QVERIFY(fake.isValid());
    fake.on(pattern, failText);
    fake.healthyGolden(gmMac);
    healthyDuts(fake, 2);
    const Cycle out = runCycle(cyclePara(2));
    QCOMPARE(out.result.finished, 1);
    QCOMPARE(out.result.cycleStatus, int(STATUS_PASS));
    QCOMPARE(out.result.results.size(), 2);
    QCOMPARE(out.result.results.at(0).txStatus, int(TX_NOT_RUN));
    QCOMPARE(out.result.results.at(1).txStatus, int(TX_NOT_RUN));
    QCOMPARE(out.result.results.at(1).rxStatus, int(STATUS_PASS));
    QVERIFY(fake.callsStartingWith(QStringLiteral("D2 tx_dut")).isEmpty());
    QVERIFY2(hasLine(out.log, QStringLiteral("[错误]"), message), qPrintable(out.log));
    QVERIFY(hasLine(out.log, QStringLiteral("[信息]"), QStringLiteral("Test end.")));
    QVERIFY(!out.log.contains(QStringLiteral("Device Dev1: Test end")));
    QCOMPARE(out.result.results.at(0).fault, dutFault);
    QCOMPARE(out.result.results.at(1).fault, int(DUT_OK));
    QCOMPARE(out.result.stationFault, stationFault);
}

void TestTestThread::goldenRfOffFailure()
{
    FakeTool fake;
    QVERIFY(fake.isValid());
    fake.on(QStringLiteral("GM rf_stop*"), failText);
    fake.healthyGolden(gmMac);
    healthyDuts(fake, 2);
    const Cycle out = runCycle(cyclePara(2));
    QCOMPARE(out.result.finished, 1);
    QCOMPARE(out.result.cycleStatus, int(STATUS_PASS));
    QCOMPARE(out.result.results.size(), 2);
    QCOMPARE(out.result.results.at(0).rxStatus, int(STATUS_PASS));
    QCOMPARE(out.result.results.at(0).txStatus, int(TX_NOT_RUN));
    QVERIFY(fake.callsStartingWith(QStringLiteral("D1 tx_dut")).isEmpty());
    QVERIFY(hasLine(out.log, QStringLiteral("[错误]"), QStringLiteral("关闭RX 金机RF射频失败！")));
    QVERIFY(!out.log.contains(QStringLiteral("Start TX Test.")));
    QCOMPARE(out.result.stationFault, int(STATION_FAULT_GOLDEN));
}

// With a time-out shorter than a DUT run, the cycle gives up waiting, but
// only after every worker has ended by itself; no results are reported.
void TestTestThread::rxTimeoutWaitsForEveryWorker()
{
    FakeTool fake;
    QVERIFY(fake.isValid());
    fake.on(QStringLiteral("D3 entry_boot_mode*"), QStringLiteral("Ok."),
            QStringLiteral("sleep=3000"));
    fake.healthyGolden(gmMac);
    healthyDuts(fake, 3);
    const Cycle out = runCycle(cyclePara(3, 900));
    QCOMPARE(out.result.finished, 1);
    QCOMPARE(out.result.cycleStatus, int(STATUS_PASS));
    QVERIFY(out.result.results.isEmpty());
    QCOMPARE(out.result.stationFault, int(STATION_FAULT_RX_TIMEOUT));
    QVERIFY(hasLine(out.log, QStringLiteral("[错误]"),
                    QStringLiteral("等待RX测试结果超时，退出测试！")));
    // Every worker ran to its end (all three calibrated and wrote OTP) ...
    for (int i = 1; i <= 3; ++i) {
        QCOMPARE(
            fake.callsStartingWith(QStringLiteral("D%1 xtal_cap write flash_otp").arg(i)).size(),
            1);
    }
    // ... before the time-out was logged.
    const QString timedOut = stampOf(out.log, QStringLiteral("等待RX测试结果超时，退出测试！"));
    QVERIFY(!timedOut.isEmpty());
    const QStringList dutLines = lines(out.log).filter(QStringLiteral(" RX test success."));
    QCOMPARE(dutLines.size(), 3);
    const QString pattern = QStringLiteral("hh:mm:ss:zzz");
    const QTime timedOutAt = QTime::fromString(timedOut, pattern);
    for (const QString &line : dutLines) {
        // How long after the DUT line the time-out was logged (a wait across
        // midnight wraps the clock).
        int after = QTime::fromString(line.mid(4, 12), pattern).msecsTo(timedOutAt);
        if (after < -12 * 3600 * 1000)
            after += 24 * 3600 * 1000;
        QVERIFY2(after >= 0, qPrintable(line + QLatin1Char(' ') + timedOut));
    }
    QVERIFY(fake.callsStartingWith(QStringLiteral("GM rf_stop")).isEmpty());
    QVERIFY(fake.callsStartingWith(QStringLiteral("D1 tx_dut")).isEmpty());
}

// A stop while the DUT workers calibrate: stop() returns once all of them have
// ended, and the cycle ends without results and without a TX phase.
void TestTestThread::stopDuringRx()
{
    FakeTool fake;
    QVERIFY(fake.isValid());
    fake.healthyGolden(gmMac);
    for (int i = 1; i <= 3; ++i) {
        // Never converging, and slow: the workers are surely calibrating.
        fake.on(QStringLiteral("D%1 rx_dut*").arg(i), FakeTool::rxAnswer(1.0f),
                QStringLiteral("sleep=200"));
    }
    healthyDuts(fake, 3);
    testThread cycle(cyclePara(3), 0);
    cycle.start();
    QTRY_VERIFY_WITH_TIMEOUT(fake.callsStartingWith(QStringLiteral("D3 rx_dut")).size() >= 1,
                             30000);
    cycle.stop();
    const int callsAtStop = fake.calls().size();
    QVERIFY(cycle.wait(QDeadlineTimer(30000)));
    QCOMPARE(fake.calls().size(), callsAtStop);
    testRestlt_t result;
    QCOMPARE(cycle.getResult(&result), int(CYCLE_ENDED));
    QCOMPARE(result.finished, 1);
    QCOMPARE(result.cycleStatus, int(STATUS_PASS));
    QVERIFY(result.results.isEmpty());
    QVERIFY(fake.callsStartingWith(QStringLiteral("GM rf_stop")).isEmpty());
    QVERIFY(fake.callsStartingWith(QStringLiteral("D1 xtal_cap write flash_otp")).isEmpty());
    QCOMPARE(cycle.getTraceability().size(), 3);
    QVERIFY(cycle.getLog().contains(QStringLiteral("Test end.")));
}

// A stop while the golden machine is set up: the cycle returns at its next
// check, starts no DUT worker and does not finish.
void TestTestThread::stopBeforeWorkers()
{
    FakeTool fake;
    QVERIFY(fake.isValid());
    fake.on(QStringLiteral("GM rx_gm*"), QStringLiteral("Ok."), QStringLiteral("sleep=800"));
    fake.healthyGolden(gmMac);
    healthyDuts(fake, 2);
    testThread cycle(cyclePara(2), 0);
    cycle.start();
    QTRY_VERIFY_WITH_TIMEOUT(!fake.callsStartingWith(QStringLiteral("GM rx_gm")).isEmpty(), 30000);
    cycle.stop();
    QVERIFY(cycle.wait(QDeadlineTimer(30000)));
    testRestlt_t result;
    cycle.getResult(&result);
    QCOMPARE(result.finished, 0);
    QCOMPARE(result.cycleStatus, int(STATUS_PASS));
    QVERIFY(fake.callsStartingWith(QStringLiteral("D")).isEmpty());
    QVERIFY(cycle.getTraceability().isEmpty());
}

// The request alone returns at once; the cycle still ends only after its
// worker has finished the tool run it was in.
void TestTestThread::requestStopDoesNotWait()
{
    FakeTool fake;
    QVERIFY(fake.isValid());
    fake.healthyGolden(gmMac);
    fake.on(QStringLiteral("D1 rx_dut*"), FakeTool::rxAnswer(1.0f), QStringLiteral("sleep=3000"));
    healthyDuts(fake, 1);
    testThread cycle(cyclePara(1), 0);
    cycle.start();
    QTRY_VERIFY_WITH_TIMEOUT(!fake.callsStartingWith(QStringLiteral("D1 rx_dut")).isEmpty(), 30000);
    cycle.requestStop();
    QVERIFY(cycle.isRunning());
    QVERIFY(cycle.wait(QDeadlineTimer(30000)));
    testRestlt_t result;
    cycle.getResult(&result);
    QCOMPARE(result.finished, 1);
    QVERIFY(result.results.isEmpty());
    QCOMPARE(fake.callsStartingWith(QStringLiteral("D1 rx_dut")).size(), 1);
    QVERIFY(fake.callsStartingWith(QStringLiteral("D1 xtal_cap write flash_otp")).isEmpty());
}

// However a stop falls while the cycle starts its 24 workers, once stop()
// has returned no DUT command is run any more.
void TestTestThread::noWorkerStartsAfterStop()
{
    for (int delay : {0, 3, 10, 30}) {
        FakeTool fake;
        QVERIFY(fake.isValid());
        fake.healthyGolden(gmMac);
        healthyDuts(fake, 24);
        testThread cycle(cyclePara(24), 0);
        cycle.start();
        QTRY_VERIFY_WITH_TIMEOUT(!fake.callsStartingWith(QStringLiteral("GM rx_gm")).isEmpty(),
                                 30000);
        QThread::msleep(ulong(delay));
        cycle.stop();
        const int dutCallsAtStop = fake.callsStartingWith(QStringLiteral("D")).size();
        QVERIFY(cycle.wait(QDeadlineTimer(60000)));
        QCOMPARE(fake.callsStartingWith(QStringLiteral("D")).size(), dutCallsAtStop);
        testRestlt_t result;
        cycle.getResult(&result);
        QVERIFY(result.results.isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestTestThread)
#include "tst_testthread.moc"
