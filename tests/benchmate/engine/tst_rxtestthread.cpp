#include "faketool.h"
#include "logrecord.h"
#include "rxtestthread.h"

#include <QtTest>

#include <atomic>

namespace {

const QString gmMac = QStringLiteral("A0:B1:C2:D3:E4:F5");
const QString dutMac = QStringLiteral("a0:b1:c2:d3:e4:f6");
const QString uid = QStringLiteral("0x00112233445566778899aabbccddeeff");

// What a finished worker left behind.
struct Outcome
{
    int status = -1;
    rxTestResult result;
    QStringList lines; // every log line, all levels
    int progress = -1;
    QString flashUid;
    int fault = -1;
    bool measured = false;
    float lastMean = 0.0f;

    QStringList linesWith(const QString &prefix) const
    {
        QStringList found;
        for (const QString &line : lines) {
            if (line.startsWith(prefix))
                found.append(line);
        }
        return found;
    }
    bool hasLine(const QString &prefix, const QString &text) const
    {
        for (const QString &line : lines) {
            if (line.startsWith(prefix) && line.endsWith(QLatin1Char(' ') + text))
                return true;
        }
        return false;
    }
};

rxTestPara para(int8_t calStart = -12)
{
    rxTestPara p;
    p.port = QStringLiteral("D1");
    p.dutMac = dutMac;
    p.filePath = QStringLiteral("./fw/TK716A_RAM_BIN.bin");
    p.gmMac = gmMac;
    p.name = QStringLiteral("Dev1");
    p.timeOut = 500;
    p.testCha = 6;
    p.freqLimit = 5;
    p.calStart = calStart;
    return p;
}

// Every DUT command answers "Ok."; rules given first take precedence.
void dutAnswers(FakeTool &fake)
{
    fake.on(QStringLiteral("D1 entry_boot_mode"), QStringLiteral("Ok."));
    fake.on(QStringLiteral("D1 download ram 0x20000000 *"), QStringLiteral("Ok."));
    fake.on(QStringLiteral("D1 test_dut mac_gm *"), QStringLiteral("Ok."));
    fake.on(QStringLiteral("D1 uuid"), QStringLiteral("uid:") + uid + QStringLiteral("\nOk."));
    fake.on(QStringLiteral("D1 test_dut mac_dut *"), QStringLiteral("Ok."));
    fake.on(QStringLiteral("D1 xtal_cap write *"), QStringLiteral("Ok."));
}

void rxSequence(FakeTool &fake, const QList<float> &offsets)
{
    for (float offset : offsets)
        fake.on(QStringLiteral("D1 rx_dut *"), FakeTool::rxAnswer(offset));
}

Outcome runWorker(const rxTestPara &base, rxTestThread **handle = nullptr)
{
    logRecord log;
    std::atomic<uint8_t> progress{255};
    rxTestPara p = base;
    p.log = &log;
    p.progressPtr = &progress;
    rxTestThread worker(p);
    if (handle)
        *handle = &worker;
    worker.start();
    Outcome out;
    if (!worker.wait(QDeadlineTimer(120000)))
        return out;
    out.status = worker.getResult(&out.result);
    out.lines = log.getLog(LOG_DEBUG).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    out.progress = progress.load();
    out.flashUid = worker.flashUid();
    out.fault = worker.fault();
    out.measured = worker.measured(&out.lastMean);
    return out;
}

// The crystal values written into RAM, in order.
QStringList ramWrites(const FakeTool &fake)
{
    QStringList values;
    const QStringList calls = fake.callsStartingWith(QStringLiteral("D1 xtal_cap write ram "));
    for (const QString &call : calls)
        values.append(call.section(QLatin1Char(' '), -1));
    return values;
}

QStringList otpWrites(const FakeTool &fake)
{
    QStringList values;
    const QStringList calls =
        fake.callsStartingWith(QStringLiteral("D1 xtal_cap write flash_otp "));
    for (const QString &call : calls)
        values.append(call.section(QLatin1Char(' '), -1));
    return values;
}

} // namespace

class TestRxTestThread : public QObject
{
    Q_OBJECT

private slots:
    void wholeSequenceAndResults();
    void search_data();
    void search();
    void shortSampleSetsSpendTheIteration();
    void fortyIterationsWithoutAccept();
    void failingSteps_data();
    void failingSteps();
    void goldenMacRetries();
    void stopBeforeStart();
    void stopDuringCalibration();
    void runningWhileBusy();
};

// A DUT from boot mode to its calibrated value: every command in order, the
// search of -12, -10, -8, -10 and -8 again, and the statistics of the last
// measurement.
void TestRxTestThread::wholeSequenceAndResults()
{
    FakeTool fake;
    QVERIFY(fake.isValid());
    dutAnswers(fake);
    rxSequence(fake, {3.0f, 1.5f, -0.5f, 0.8f});
    // Last measurement: offsets 10 x 1.9 and 10 x -2.6 (mean -0.35), RSSI -40
    // to -59 (mean -49.5).
    QString last = QStringLiteral("result:\n");
    for (int i = 0; i < 20; ++i)
        last += QStringLiteral("freq=%1,rssi=%2\n").arg(i < 10 ? 1.9 : -2.6).arg(-40 - i);
    fake.on(QStringLiteral("D1 rx_dut *"), last + QStringLiteral("Ok."));

    const Outcome out = runWorker(para(-12));
    QCOMPARE(out.status, int(RX_PASSED));
    QCOMPARE(ramWrites(fake), QStringList({"-12", "-10", "-8", "-10", "-8"}));
    QCOMPARE(otpWrites(fake), QStringList({"-8"}));
    QCOMPARE(out.result.calResult, -8);
    QCOMPARE(out.result.freqMin, -2);
    QCOMPARE(out.result.freqMax, 1);
    QCOMPARE(out.result.freqAve, 0);
    QCOMPARE(out.result.rssiMin, -59);
    QCOMPARE(out.result.rssiMax, -40);
    QCOMPARE(out.result.rssiAve, -49);
    QCOMPARE(out.progress, 80);
    QCOMPARE(out.flashUid, uid);

    const QStringList calls = fake.calls();
    QCOMPARE(
        calls.mid(0, 5),
        QStringList({"D1 entry_boot_mode", "D1 download ram 0x20000000 ./fw/TK716A_RAM_BIN.bin",
                     "D1 test_dut mac_gm " + gmMac, "D1 uuid", "D1 test_dut mac_dut " + dutMac}));
    QCOMPARE(calls.at(5), QStringLiteral("D1 xtal_cap write ram -12"));
    QCOMPARE(calls.at(6), QStringLiteral("D1 rx_dut 500 6"));
    QCOMPARE(calls.last(), QStringLiteral("D1 xtal_cap write flash_otp -8"));
    QCOMPARE(calls.size(), 5 + 2 * 5 + 1);

    const QStringList info = out.linesWith(QStringLiteral("[信息]"));
    QCOMPARE(info.size(), 3);
    QVERIFY(info.at(0).endsWith(
        QStringLiteral(" Device Dev1: Start test.......................................")));
    QVERIFY(info.at(1).endsWith(QStringLiteral(" uid:") + uid));
    QVERIFY(info.at(2).endsWith(
        QStringLiteral(" RX test success.RX RSSI MIN = -59,RX RSSI MAX = -40,RX RSSI AVE = -49,"
                       "FREQ MIN = -2,FREQ MAX = 1,FREQ AVE = 0,CAL VAL = -8")));
    QVERIFY(out.hasLine(QStringLiteral("[调试]"),
                        QStringLiteral("[0 cal]cal val = -12,freq offset = 3.")));
    QVERIFY(out.hasLine(QStringLiteral("[调试]"),
                        QStringLiteral("[3 cal]cal val = -10,freq offset = 0.8.")));
    QVERIFY(out.hasLine(QStringLiteral("[调试]"),
                        QStringLiteral("Cal end.Cal val = -8,freq offset -0.35.")));
    QVERIFY(out.linesWith(QStringLiteral("[错误]")).isEmpty());
}

void TestRxTestThread::search_data()
{
    QTest::addColumn<int>("calStart");
    QTest::addColumn<QList<float>>("offsets");
    QTest::addColumn<QStringList>("writes");
    QTest::addColumn<int>("accepted");

    // Above 50 in magnitude at first: the search goes to 0, measures it once
    // more and accepts it.
    QTest::newRow("60 jumps to 0")
        << -12 << QList<float>{60.0f, 2.0f} << QStringList{"-12", "0"} << 0;
    // A reverted value measuring exactly 5.0 is measured again as an ordinary
    // iteration, compared with the unchanged previous offset 3.0.
    QTest::newRow("reverted 5.0 not accepted")
        << -12 << QList<float>{3.0f, 4.0f, 5.0f, 2.0f, 2.5f, 1.0f}
        << QStringList{"-12", "-10", "-12", "-12", "-10", "-12"} << -12;
    // An offset of exactly 0 steps down by 2.
    QTest::newRow("zero steps down")
        << 0 << QList<float>{0.0f, 1.0f, 0.5f} << QStringList{"0", "-2", "0"} << 0;
    // 126 + 2 wraps to -128.
    QTest::newRow("126 wraps") << 126 << QList<float>{1.0f, 2.0f, 1.0f}
                               << QStringList{"126", "-128", "126"} << 126;
    QTest::newRow("-128 wraps") << -128 << QList<float>{-1.0f, -2.0f, -1.0f}
                                << QStringList{"-128", "126", "-128"} << -128;
    // Negative offsets step down; equal magnitudes do not revert.
    QTest::newRow("negative offsets")
        << 10 << QList<float>{-4.0f, -4.0f, -4.5f, 4.0f} << QStringList{"10", "8", "6", "8"} << 8;
    // The calibration start is read as a signed byte.
    QTest::newRow("start from -12")
        << -12 << QList<float>{1.0f, 2.0f, -1.0f} << QStringList{"-12", "-10", "-12"} << -12;
}

void TestRxTestThread::search()
{
    QFETCH(int, calStart);
    QFETCH(QList<float>, offsets);
    QFETCH(QStringList, writes);
    QFETCH(int, accepted);
    FakeTool fake;
    QVERIFY(fake.isValid());
    dutAnswers(fake);
    rxSequence(fake, offsets);
    const Outcome out = runWorker(para(int8_t(calStart)));
    QCOMPARE(ramWrites(fake), writes);
    QCOMPARE(out.status, int(RX_PASSED));
    QCOMPARE(otpWrites(fake), QStringList{QString::number(accepted)});
    QCOMPARE(int(int8_t(out.result.calResult & 0xff)), accepted);
}

// 19 RSSI samples with 20 offsets, and 21 offsets: the iteration is spent with
// the warning and the same value is written again.
void TestRxTestThread::shortSampleSetsSpendTheIteration()
{
    FakeTool fake;
    QVERIFY(fake.isValid());
    dutAnswers(fake);
    fake.on(QStringLiteral("D1 rx_dut *"), FakeTool::rxAnswer(9.0f, 19, 20));
    fake.on(QStringLiteral("D1 rx_dut *"), FakeTool::rxAnswer(9.0f, 20, 21));
    rxSequence(fake, {2.0f, 3.0f, 2.0f});
    const Outcome out = runWorker(para(-12));
    QCOMPARE(out.status, int(RX_PASSED));
    QCOMPARE(ramWrites(fake), QStringList({"-12", "-12", "-12", "-10", "-12"}));
    const QStringList warnings = out.linesWith(QStringLiteral("[警告]"));
    QCOMPARE(warnings.size(), 2);
    QVERIFY(warnings.at(0).endsWith(QStringLiteral(" Recive RX data err.Start next test.")));
    // The counting goes on: the accepted measurement is iteration 4.
    QVERIFY(out.hasLine(QStringLiteral("[调试]"),
                        QStringLiteral("[4 cal]cal val = -12,freq offset = 2.")));
}

// An offset that never shrinks below the previous one in magnitude, but never
// grows either: no revert, no accept, 40 iterations.
void TestRxTestThread::fortyIterationsWithoutAccept()
{
    FakeTool fake;
    QVERIFY(fake.isValid());
    dutAnswers(fake);
    rxSequence(fake, {1.0f});
    const Outcome out = runWorker(para(-12));
    QCOMPARE(out.status, int(RX_NOT_CONVERGED));
    QCOMPARE(fake.callsStartingWith(QStringLiteral("D1 rx_dut")).size(), 40);
    QCOMPARE(ramWrites(fake).size(), 40);
    QVERIFY(otpWrites(fake).isEmpty());
    QCOMPARE(out.progress, 50);
    const QStringList errors = out.linesWith(QStringLiteral("[错误]"));
    QCOMPARE(errors.size(), 1);
    QVERIFY(errors.at(0).endsWith(QStringLiteral(" RX cal freq offset error.")));
    // The statistics of the last measurement stay; no value was accepted.
    QCOMPARE(out.result.freqAve, 1);
    QCOMPARE(out.result.calResult, 0);
    QCOMPARE(out.fault, int(DUT_FAULT_NOT_CONVERGED));
    QVERIFY(out.measured);
    QCOMPARE(out.lastMean, 1.0f);
}

void TestRxTestThread::failingSteps_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("progress");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("lastCall");
    QTest::addColumn<int>("fault");

    QTest::newRow("boot mode") << "D1 entry_boot_mode" << 1 << 0
                               << "Can not set the serial port RTS and DTR."
                               << "D1 entry_boot_mode" << int(DUT_FAULT_BOOT_MODE);
    QTest::newRow("download") << "D1 download *" << 1 << 10 << "RX donwload rambin error."
                              << "D1 download ram 0x20000000 ./fw/TK716A_RAM_BIN.bin"
                              << int(DUT_FAULT_DOWNLOAD);
    QTest::newRow("golden mac") << "D1 test_dut mac_gm *" << 2 << 30 << "RX set gm mac error."
                                << "D1 test_dut mac_gm " + gmMac << int(DUT_FAULT_GM_MAC);
    QTest::newRow("uid") << "D1 uuid" << 2 << 35 << "RX get flash uuid error."
                         << "D1 uuid" << int(DUT_FAULT_FLASH_UID);
    QTest::newRow("dut mac") << "D1 test_dut mac_dut *" << 2 << 40 << "RX set dut mac error."
                             << "D1 test_dut mac_dut " + dutMac << int(DUT_FAULT_DUT_MAC);
    QTest::newRow("ram crystal") << "D1 xtal_cap write ram *" << 3 << 50
                                 << "RX set freq offset error."
                                 << "D1 xtal_cap write ram -12" << int(DUT_FAULT_XTAL_RAM);
    QTest::newRow("rx result") << "D1 rx_dut *" << 3 << 50 << "RX get rx result error."
                               << "D1 rx_dut 500 6" << int(DUT_FAULT_RX_RESULT);
    QTest::newRow("otp write") << "D1 xtal_cap write flash_otp *" << 3 << 50
                               << "RX cal freq offset error."
                               << "D1 xtal_cap write flash_otp -12" << int(DUT_FAULT_OTP_WRITE);
}

// A failing step ends the worker with its message, leaving the stage and the
// progress it had; nothing further is sent to the DUT.
void TestRxTestThread::failingSteps()
{
    QFETCH(QString, pattern);
    QFETCH(int, status);
    QFETCH(int, progress);
    QFETCH(QString, message);
    QFETCH(QString, lastCall);
    QFETCH(int, fault);
    FakeTool fake;
    QVERIFY(fake.isValid());
    // A pattern of its own (the trailing "*"), ahead of the healthy answers.
    fake.on(pattern + QLatin1Char('*'), QStringLiteral("Fail. Command execution error."));
    dutAnswers(fake);
    rxSequence(fake, {2.0f, 3.0f, 2.0f});
    const Outcome out = runWorker(para(-12));
    QCOMPARE(out.status, status);
    QCOMPARE(out.progress, progress);
    QCOMPARE(out.fault, fault);
    QCOMPARE(out.measured, pattern.contains(QLatin1String("flash_otp")));
    QCOMPARE(fake.calls().last(), lastCall);
    const QStringList errors = out.linesWith(QStringLiteral("[错误]"));
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors.at(0).endsWith(QLatin1Char(' ') + message), qPrintable(errors.at(0)));
    if (status < 3 || pattern.contains(QLatin1String("rx_dut")) ||
        pattern.contains(QLatin1String("ram"))) {
        // No complete measurement: the results are all 0.
        QCOMPARE(out.result.rssiAve, 0);
        QCOMPARE(out.result.freqMax, 0);
    }
    if (pattern == QLatin1String("D1 test_dut mac_gm *"))
        QCOMPARE(fake.callsStartingWith(QStringLiteral("D1 test_dut mac_gm")).size(), 20);
    QVERIFY(fake.callsStartingWith(QStringLiteral("BUSY")).isEmpty());
}

// The freshly started ramcode may refuse the golden MAC a few times.
void TestRxTestThread::goldenMacRetries()
{
    FakeTool fake;
    QVERIFY(fake.isValid());
    for (int i = 0; i < 19; ++i)
        fake.on(QStringLiteral("D1 test_dut mac_gm *"),
                QStringLiteral("Fail. Command execution error."));
    fake.on(QStringLiteral("D1 test_dut mac_gm *"), QStringLiteral("Ok."));
    dutAnswers(fake);
    rxSequence(fake, {2.0f, 3.0f, 2.0f});
    const Outcome out = runWorker(para(-12));
    QCOMPARE(out.status, int(RX_PASSED));
    QCOMPARE(fake.callsStartingWith(QStringLiteral("D1 test_dut mac_gm")).size(), 20);
    QVERIFY(out.linesWith(QStringLiteral("[错误]")).isEmpty());
}

// A worker stopped before it starts runs no chip tool at all, and logs no
// failure.
void TestRxTestThread::stopBeforeStart()
{
    FakeTool fake;
    QVERIFY(fake.isValid());
    dutAnswers(fake);
    logRecord log;
    std::atomic<uint8_t> progress{255};
    rxTestPara p = para();
    p.log = &log;
    p.progressPtr = &progress;
    rxTestThread worker(p);
    QCOMPARE(worker.getResult(nullptr), int(RX_NOT_STARTED));
    worker.stop();
    worker.start();
    QVERIFY(worker.wait(QDeadlineTimer(60000)));
    QCOMPARE(worker.getResult(nullptr), int(RX_STAGE_DOWNLOAD));
    QCOMPARE(progress.load(), uint8_t(0));
    QVERIFY(fake.calls().isEmpty());
    QVERIFY(!log.getLog(LOG_DEBUG).contains(QStringLiteral("[错误]")));
}

// A stop during a measurement ends the worker at the next iteration's check:
// no further crystal value is written and nothing goes into OTP.
void TestRxTestThread::stopDuringCalibration()
{
    FakeTool fake;
    QVERIFY(fake.isValid());
    dutAnswers(fake);
    fake.on(QStringLiteral("D1 rx_dut *"), FakeTool::rxAnswer(1.0f), QStringLiteral("sleep=1500"));
    logRecord log;
    rxTestPara p = para();
    p.log = &log;
    rxTestThread worker(p);
    worker.start();
    QTRY_VERIFY_WITH_TIMEOUT(!fake.callsStartingWith(QStringLiteral("D1 rx_dut")).isEmpty(), 30000);
    worker.stop();
    QVERIFY(worker.wait(QDeadlineTimer(30000)));
    QCOMPARE(worker.getResult(nullptr), int(RX_STAGE_CAL));
    QCOMPARE(fake.callsStartingWith(QStringLiteral("D1 rx_dut")).size(), 1);
    QCOMPARE(ramWrites(fake), QStringList{"-12"});
    QVERIFY(otpWrites(fake).isEmpty());
}

// getResult reports 4 while the worker runs, whatever its stage.
void TestRxTestThread::runningWhileBusy()
{
    FakeTool fake;
    QVERIFY(fake.isValid());
    fake.on(QStringLiteral("D1 entry_boot_mode"), QStringLiteral("Ok."),
            QStringLiteral("sleep=1500"));
    dutAnswers(fake);
    rxSequence(fake, {2.0f, 3.0f, 2.0f});
    logRecord log;
    rxTestPara p = para();
    p.log = &log;
    rxTestThread worker(p);
    worker.start();
    rxTestResult result;
    QCOMPARE(worker.getResult(&result), int(RX_RUNNING));
    QVERIFY(worker.wait(QDeadlineTimer(60000)));
    QCOMPARE(worker.getResult(&result), int(RX_PASSED));
    QCOMPARE(result.calResult, -12);
}

QTEST_GUILESS_MAIN(TestRxTestThread)
#include "tst_rxtestthread.moc"
