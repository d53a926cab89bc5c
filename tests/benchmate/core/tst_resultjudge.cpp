// Judging a cycle's results: the bounds, the offsets, the counters, the
// status and the crystal value the next cycle starts from.
#include "cyclevalues.h"
#include "deviceconfigfile.h"
#include "resultjudge.h"

#include <QtTest>

namespace {

// RX RSSI -60..-20, frequency -10..10, TX RSSI -70..-30.
JudgeLimits limits()
{
    JudgeLimits l;
    l.rxRssiMax = -20;
    l.rxRssiMin = -60;
    l.freqMax = 10;
    l.freqMin = -10;
    l.txRssiMax = -30;
    l.txRssiMin = -70;
    return l;
}

deviceRestlt_t good(int8_t cal = 0)
{
    deviceRestlt_t r;
    r.rxRssiMean = -40;
    r.txRssiMean = -50;
    r.freqMean = 0;
    r.calVal = cal;
    r.rxStatus = STATUS_PASS;
    r.txStatus = STATUS_PASS;
    return r;
}

testRestlt_t finished(const QList<deviceRestlt_t> &results, int cycleStatus = STATUS_PASS)
{
    testRestlt_t t;
    t.results = results;
    t.cycleStatus = cycleStatus;
    t.finished = 1;
    return t;
}

QList<JudgeRow> rows(int n, const QString &tx = QStringLiteral("0"),
                     const QString &rx = QStringLiteral("0"))
{
    QList<JudgeRow> out;
    for (int i = 0; i < n; ++i)
        out.append({i * 2 + 1, tx, rx}); // slots 1, 3, 5 ...
    return out;
}

CycleJudgement judgeOne(const deviceRestlt_t &r, const JudgeLimits &l = limits(),
                        const QString &tx = QStringLiteral("0"),
                        const QString &rx = QStringLiteral("0"))
{
    return ResultJudge::judge(l, CYCLE_ENDED, 1, finished({r}), rows(1, tx, rx));
}

DeviceVerdict verdictOf(const CycleJudgement &j)
{
    return j.devices.isEmpty() ? DeviceVerdict::Error : j.devices.first().verdict;
}

} // namespace

Q_DECLARE_METATYPE(DeviceVerdict)

class TestResultJudge : public QObject
{
    Q_OBJECT

private slots:

    void bounds_data();
    void bounds();
    void offsetsShiftRssiBoundsOnly();
    void meansJudgedAsMeasured_data();
    void meansJudgedAsMeasured();
    void offsetLowByteSigned_data();
    void offsetLowByteSigned();
    void unreadableOffsetCountsZeroAndSaysSo();
    void decimalLimits();
    void failedStepsAreErrorsWithoutOffsets();
    void goldenMachineFailureStillShowsDevices();
    void unfinishedCycle();
    void shorterResultList();
    void noEnabledDevice();
    void notEndedChangesNothing();
    void rowsMatchInOrderAndExtraRowsStayAlone();
    void calValFromThePassingDevice();
    void calValUnchangedWithoutPass();
    void countersAccumulate();
};

// Every bound passes on its value and fails one unit beyond.
void TestResultJudge::bounds_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("value");
    QTest::addColumn<DeviceVerdict>("verdict");
    const struct
    {
        const char *field;
        int bound;
        int beyond;
    } cases[] = {
        {"tx", -30, -29}, {"tx", -70, -71}, {"rx", -20, -19},
        {"rx", -60, -61}, {"freq", 10, 11}, {"freq", -10, -11},
    };
    for (const auto &c : cases) {
        QTest::addRow("%s on %d", c.field, c.bound)
            << QString::fromLatin1(c.field) << c.bound << DeviceVerdict::Pass;
        QTest::addRow("%s at %d", c.field, c.beyond)
            << QString::fromLatin1(c.field) << c.beyond << DeviceVerdict::Fail;
    }
}

void TestResultJudge::bounds()
{
    QFETCH(QString, field);
    QFETCH(int, value);
    QFETCH(DeviceVerdict, verdict);
    deviceRestlt_t r = good();
    if (field == QLatin1String("tx"))
        r.txRssiMean = value;
    else if (field == QLatin1String("rx"))
        r.rxRssiMean = value;
    else
        r.freqMean = value;
    const CycleJudgement j = judgeOne(r);
    QVERIFY(j.ended);
    QCOMPARE(verdictOf(j), verdict);
    const bool pass = verdict == DeviceVerdict::Pass;
    QCOMPARE(j.passed, pass ? 1u : 0u);
    QCOMPARE(j.failed, pass ? 0u : 1u);
    QCOMPARE(j.total, 1u);
    QCOMPARE(j.status, pass ? TEST_PASS : TEST_FAIL);
    QVERIFY(!j.cycleError);
}

// The calibration offsets move the RSSI bounds; the frequency takes none.
void TestResultJudge::offsetsShiftRssiBoundsOnly()
{
    deviceRestlt_t r = good();
    r.txRssiMean = -27; // TX max -30 + 3
    r.rxRssiMean = -65; // RX min -60 - 5
    CycleJudgement j = judgeOne(r, limits(), QStringLiteral("3"), QStringLiteral("-5"));
    QCOMPARE(verdictOf(j), DeviceVerdict::Pass);
    QCOMPARE(j.devices.first().txOffset, 3);
    QCOMPARE(j.devices.first().rxOffset, -5);

    r.txRssiMean = -26;
    QCOMPARE(verdictOf(judgeOne(r, limits(), QStringLiteral("3"), QStringLiteral("-5"))),
             DeviceVerdict::Fail);
    r.txRssiMean = -27;
    r.rxRssiMean = -66;
    QCOMPARE(verdictOf(judgeOne(r, limits(), QStringLiteral("3"), QStringLiteral("-5"))),
             DeviceVerdict::Fail);

    // A large offset does not widen the frequency window.
    r = good();
    r.freqMean = 11;
    QCOMPARE(verdictOf(judgeOne(r, limits(), QStringLiteral("20"), QStringLiteral("20"))),
             DeviceVerdict::Fail);
}

// A DUT is judged by its means as measured, not by the averages truncated
// toward zero: -75.45 is below -75 although its average reads -75. The
// calibration offset moves the RSSI bounds as before.
void TestResultJudge::meansJudgedAsMeasured_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<float>("mean");
    QTest::addColumn<QString>("offset"); // TX and RX offset text
    QTest::addColumn<QString>("reason"); // empty: passes
    QTest::newRow("tx -75.45") << "tx" << -75.45f << "0"
                               << "tx rssi -75.45 < -75";
    QTest::newRow("tx -75.6") << "tx" << -75.6f << "0"
                              << "tx rssi -75.60 < -75";
    QTest::newRow("tx -75 on the bound") << "tx" << -75.0f << "0"
                                         << "";
    QTest::newRow("tx -74.95") << "tx" << -74.95f << "0"
                               << "";
    QTest::newRow("tx -72.05, offset 3") << "tx" << -72.05f << "3"
                                         << "tx rssi -72.05 < -72";
    QTest::newRow("tx -72, offset 3") << "tx" << -72.0f << "3"
                                      << "";
    QTest::newRow("rx -75.55") << "rx" << -75.55f << "0"
                               << "rx rssi -75.55 < -75";
    QTest::newRow("rx -20.5 above") << "rx" << -20.5f << "-1"
                                    << "rx rssi -20.50 > -21";
    QTest::newRow("freq 2.41") << "freq" << 2.41f << "0"
                               << "freq 2.41 > 2";
    QTest::newRow("freq -2.115") << "freq" << -2.115f << "0"
                                 << "freq -2.12 < -2";
    // Two decimals would read as the bound itself.
    QTest::newRow("freq 2.004") << "freq" << 2.004f << "0"
                                << "freq 2.004 > 2";
    QTest::newRow("freq 2 on the bound") << "freq" << 2.0f << "5"
                                         << "";
}

void TestResultJudge::meansJudgedAsMeasured()
{
    QFETCH(QString, field);
    QFETCH(float, mean);
    QFETCH(QString, offset);
    QFETCH(QString, reason);
    JudgeLimits l;
    l.txRssiMin = -75;
    l.txRssiMax = -20;
    l.rxRssiMin = -75;
    l.rxRssiMax = -20;
    l.freqMin = -2;
    l.freqMax = 2;
    deviceRestlt_t r = good();
    r.rxRssiMean = -40;
    r.txRssiMean = -50;
    r.freqMean = 0;
    // The record as the engine makes it: the average truncated, the mean not.
    if (field == QLatin1String("tx")) {
        r.txRssiAve = int32_t(mean);
        r.txRssiMean = mean;
    } else if (field == QLatin1String("rx")) {
        r.rxRssiAve = int32_t(mean);
        r.rxRssiMean = mean;
    } else {
        r.freqAve = int32_t(mean);
        r.freqMean = mean;
    }
    const CycleJudgement j = judgeOne(r, l, offset, offset);
    QCOMPARE(verdictOf(j), reason.isEmpty() ? DeviceVerdict::Pass : DeviceVerdict::Fail);
    QCOMPARE(j.devices.first().reasons.join(QLatin1Char(';')), reason);
    if (!reason.isEmpty())
        QCOMPARE(j.devices.first().broken.first().value, mean);
}

void TestResultJudge::offsetLowByteSigned_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("offset");
    QTest::newRow("200") << "200" << -56;
    QTest::newRow("256") << "256" << 0;
    QTest::newRow("-1") << "-1" << -1;
    QTest::newRow("127") << "127" << 127;
    QTest::newRow("128") << "128" << -128;
    QTest::newRow("-129") << "-129" << 127;
    // Typed with a Chinese input method's full-width space.
    QTest::newRow("-3 and a wide space") << QStringLiteral("-3\u3000") << -3;
}

void TestResultJudge::offsetLowByteSigned()
{
    QFETCH(QString, text);
    QFETCH(int, offset);
    QCOMPARE(ResultJudge::parseOffset(text), offset);

    // In the judging: a TX offset of `text` moves the TX upper bound to
    // -30 + offset exactly.
    deviceRestlt_t r = good();
    r.txRssiMean = -30 + offset;
    JudgeLimits wide = limits();
    wide.txRssiMin = -1000;
    QCOMPARE(verdictOf(judgeOne(r, wide, text)), DeviceVerdict::Pass);
    r.txRssiMean = -30 + offset + 1;
    QCOMPARE(verdictOf(judgeOne(r, wide, text)), DeviceVerdict::Fail);
}

void TestResultJudge::unreadableOffsetCountsZeroAndSaysSo()
{
    bool ok = true;
    QCOMPARE(ResultJudge::parseOffset(QStringLiteral("2.5"), &ok), 0);
    QVERIFY(!ok);
    QCOMPARE(ResultJudge::parseOffset(QString(), &ok), 0);
    QVERIFY(!ok);

    deviceRestlt_t r = good();
    r.txRssiMean = -30; // passes only with an offset of 0
    const CycleJudgement j = judgeOne(r, limits(), QStringLiteral("abc"), QString());
    QCOMPARE(verdictOf(j), DeviceVerdict::Pass);
    QCOMPARE(j.devices.first().txOffset, 0);
    QCOMPARE(j.messages, QStringList() << QStringLiteral("Dut1 TX校准值不正确")
                                       << QStringLiteral("Dut1 RX校准值不正确"));
}

// Limits are decimal numbers, read as the settings file reads them (and the
// window its boxes): 20.5 is 20.5, not 0, and each lands on its own bound.
void TestResultJudge::decimalLimits()
{
    DeviceConfig config;
    config.rxRssiMax = DeviceConfigFile::parseNumber(QStringLiteral("-20"));
    config.rxRssiMin = DeviceConfigFile::parseNumber(QStringLiteral("-60.5"));
    config.rxFreqMax = DeviceConfigFile::parseNumber(QStringLiteral("20.5"));
    config.rxFreqMin = DeviceConfigFile::parseNumber(QStringLiteral("-10.5"));
    config.txRssiMax = DeviceConfigFile::parseNumber(QStringLiteral("1e+07"));
    config.txRssiMin = DeviceConfigFile::parseNumber(QStringLiteral("x"));
    const JudgeLimits read = JudgeLimits::fromConfig(config);
    QCOMPARE(read.rxRssiMax, -20.0f);
    QCOMPARE(read.rxRssiMin, -60.5f);
    QCOMPARE(read.freqMax, 20.5f);
    QCOMPARE(read.freqMin, -10.5f);
    QCOMPARE(read.txRssiMax, 1e7f);
    QCOMPARE(read.txRssiMin, 0.0f);

    JudgeLimits l = limits();
    l.freqMax = read.freqMax;
    deviceRestlt_t r = good();
    r.freqMean = 20;
    QCOMPARE(verdictOf(judgeOne(r, l)), DeviceVerdict::Pass);
    r.freqMean = 21;
    QCOMPARE(verdictOf(judgeOne(r, l)), DeviceVerdict::Fail);

    // A lower bound of -60.5 lets -60 through but not -61.
    l = limits();
    l.rxRssiMin = read.rxRssiMin;
    r = good();
    r.rxRssiMean = -61;
    QCOMPARE(verdictOf(judgeOne(r, l)), DeviceVerdict::Fail);
}

// A DUT whose RX or TX test failed is an error: no numbers judged, no offset
// read, counted as failed.
void TestResultJudge::failedStepsAreErrorsWithoutOffsets()
{
    deviceRestlt_t rxFailed = good();
    rxFailed.rxStatus = STATUS_FAIL;
    rxFailed.txStatus = TX_NOT_RUN;
    deviceRestlt_t txFailed = good();
    txFailed.txStatus = STATUS_FAIL;
    const CycleJudgement j =
        ResultJudge::judge(limits(), CYCLE_ENDED, 3, finished({rxFailed, txFailed, good()}),
                           rows(3, QStringLiteral("bad"), QStringLiteral("bad")));
    QCOMPARE(j.devices.size(), 3);
    QCOMPARE(j.devices.at(0).verdict, DeviceVerdict::Error);
    QCOMPARE(j.devices.at(1).verdict, DeviceVerdict::Error);
    QCOMPARE(j.devices.at(2).verdict, DeviceVerdict::Pass);
    QCOMPARE(j.failed, 2u);
    QCOMPARE(j.passed, 1u);
    QCOMPARE(j.total, 3u);
    QCOMPARE(j.status, TEST_FAIL);
    QVERIFY(!j.cycleError);
    // Only the judged device's offsets were read.
    QCOMPARE(j.messages.size(), 2);
    QVERIFY(j.messages.first().startsWith(QStringLiteral("Dut5 ")));

    // A TX test that never ran (another DUT's TX step ended the cycle) is
    // not judged: its TX RSSI 0 is no measurement. When the step that ended
    // the cycle was its own, it failed.
    deviceRestlt_t txNotRun = good();
    txNotRun.txStatus = TX_NOT_RUN;
    txNotRun.txRssiMean = 0;
    deviceRestlt_t ownTxStep = txNotRun;
    ownTxStep.fault = DUT_FAULT_TX_MODE;
    const CycleJudgement tx = ResultJudge::judge(limits(), CYCLE_ENDED, 3,
                                                 finished({good(), ownTxStep, txNotRun}), rows(3));
    QCOMPARE(tx.devices.at(1).verdict, DeviceVerdict::Error);
    QCOMPARE(tx.devices.at(2).verdict, DeviceVerdict::NotJudged);
    QCOMPARE(tx.passed, 1u);
    QCOMPARE(tx.failed, 1u);
    QCOMPARE(tx.total, 2u);
    QCOMPARE(tx.status, TEST_FAIL);
}

// A golden-machine failure after the DUTs reported (its RF did not stop, or
// it did not measure a DUT's TX): a station fault, every device shown but
// none judged or counted, no crystal value carried.
void TestResultJudge::goldenMachineFailureStillShowsDevices()
{
    for (const testRestlt_t &t : {finished({good(4), good(5)}, STATUS_FAIL), [] {
                                      testRestlt_t r = finished({good(4), good(5)});
                                      r.stationFault = STATION_FAULT_GOLDEN;
                                      return r;
                                  }()}) {
        const CycleJudgement j = ResultJudge::judge(limits(), CYCLE_ENDED, 2, t, rows(2));
        QVERIFY(j.cycleError);
        QVERIFY(!j.incomplete);
        QCOMPARE(int(j.stationFault), int(StationFault::GoldenMachine));
        QCOMPARE(j.devices.size(), 2);
        QCOMPARE(j.devices.at(0).verdict, DeviceVerdict::NotJudged);
        QCOMPARE(j.devices.at(1).result.calVal, int8_t(5));
        QCOMPARE(j.passed + j.failed + j.total, 0u);
        QCOMPARE(j.status, TEST_STATION_FAULT);
        QVERIFY(!j.calValChanged);
    }
}

// finished 0, or a list that does not match the devices: a station fault,
// no device judged or counted. The time-out says so.
void TestResultJudge::unfinishedCycle()
{
    testRestlt_t t = finished({good(), good()});
    t.finished = 0;
    const CycleJudgement j = ResultJudge::judge(limits(), CYCLE_ENDED, 3, t, rows(3));
    QVERIFY(j.cycleError);
    QVERIFY(j.incomplete);
    QCOMPARE(int(j.stationFault), int(StationFault::Incomplete));
    QVERIFY(j.devices.isEmpty());
    QCOMPARE(j.passed + j.failed + j.total, 0u);
    QCOMPARE(j.status, TEST_STATION_FAULT);
    QVERIFY(!j.calValChanged);
    QVERIFY(j.messages.isEmpty());
}

void TestResultJudge::shorterResultList()
{
    testRestlt_t t = finished({});
    t.stationFault = STATION_FAULT_RX_TIMEOUT;
    const CycleJudgement j = ResultJudge::judge(limits(), CYCLE_ENDED, 3, t, rows(3));
    QVERIFY(j.incomplete);
    QCOMPARE(int(j.stationFault), int(StationFault::TimeOut));
    QCOMPARE(j.passed + j.failed + j.total, 0u);
    QCOMPARE(j.status, TEST_STATION_FAULT);
    uint32_t pass = 7, fail = 1, all = 8;
    ResultJudge::count(j, &pass, &fail, &all);
    QCOMPARE(all, 8u);
    QCOMPARE(fail, 1u);
}

void TestResultJudge::noEnabledDevice()
{
    const CycleJudgement j = ResultJudge::judge(limits(), CYCLE_ENDED, 0, finished({}), {});
    QVERIFY(!j.cycleError);
    QCOMPARE(j.status, TEST_PASS);
    QCOMPARE(j.passed + j.failed + j.total, 0u);

    testRestlt_t t = finished({});
    t.finished = 0;
    const CycleJudgement unfinished = ResultJudge::judge(limits(), CYCLE_ENDED, 0, t, {});
    QVERIFY(unfinished.cycleError);
    QCOMPARE(unfinished.status, TEST_STATION_FAULT);
    QCOMPARE(unfinished.passed + unfinished.failed + unfinished.total, 0u);
}

void TestResultJudge::notEndedChangesNothing()
{
    const CycleJudgement j =
        ResultJudge::judge(limits(), CYCLE_RUNNING, 1, finished({good(9)}), rows(1));
    QVERIFY(!j.ended);
    QVERIFY(j.devices.isEmpty());
    QCOMPARE(j.passed + j.failed + j.total, 0u);
    QVERIFY(!j.calValChanged);
    uint32_t pass = 7, fail = 8, all = 15;
    ResultJudge::count(j, &pass, &fail, &all);
    QCOMPARE(pass, 7u);
    QCOMPARE(fail, 8u);
    QCOMPARE(all, 15u);
    CycleValues values;
    ResultJudge::carryCalVal(j, values);
    QCOMPARE(values.calVal.load(), 244);
}

// Entry k goes to the k-th row; with more rows than entries the extra rows
// are not judged, with fewer the extra entries are not.
void TestResultJudge::rowsMatchInOrderAndExtraRowsStayAlone()
{
    deviceRestlt_t second = good();
    second.freqMean = 50;
    const QList<JudgeRow> threeRows = {{4, "0", "0"}, {9, "0", "0"}, {17, "0", "0"}};
    CycleJudgement j =
        ResultJudge::judge(limits(), CYCLE_ENDED, 2, finished({good(), second}), threeRows);
    QCOMPARE(j.devices.size(), 2);
    QCOMPARE(j.devices.at(0).slot, 4);
    QCOMPARE(j.devices.at(1).slot, 9);
    QCOMPARE(j.devices.at(1).verdict, DeviceVerdict::Fail);
    QCOMPARE(j.devices.at(1).result.freqMean, 50.0f);
    QVERIFY(j.device(2) == nullptr);

    j = ResultJudge::judge(limits(), CYCLE_ENDED, 2, finished({good(), second}),
                           threeRows.mid(0, 1));
    QCOMPARE(j.devices.size(), 1);
    QCOMPARE(j.passed + j.failed, 1u);
    QCOMPARE(j.total, 1u);
}

// The next calibration starts from the value a passing device accepted, not
// from the first entry's (which here failed with 0).
void TestResultJudge::calValFromThePassingDevice()
{
    deviceRestlt_t first = good(0);
    first.rxStatus = STATUS_FAIL;
    first.txStatus = TX_NOT_RUN;
    deviceRestlt_t tooLoud = good(9);
    tooLoud.rxRssiMean = 0;
    CycleValues values;
    values.calVal.store(0x1200 | 0xf4); // high bits are kept
    const CycleJudgement j =
        ResultJudge::judge(limits(), CYCLE_ENDED, 3, finished({first, good(-7), tooLoud}), rows(3));
    QVERIFY(j.calValChanged);
    QCOMPARE(int(j.newCalVal), -7);
    ResultJudge::carryCalVal(j, values);
    QCOMPARE(values.calVal.load(), 0x1200 | 0xf9);
    QCOMPARE(int(values.calStart()), -7);

    // With several passing devices the last one's value counts.
    const CycleJudgement two =
        ResultJudge::judge(limits(), CYCLE_ENDED, 2, finished({good(3), good(5)}), rows(2));
    ResultJudge::carryCalVal(two, values);
    QCOMPARE(int(values.calStart()), 5);
}

void TestResultJudge::calValUnchangedWithoutPass()
{
    deviceRestlt_t loud = good(30);
    loud.rxRssiMean = 0;
    const CycleJudgement j = judgeOne(loud);
    QVERIFY(!j.calValChanged);
    CycleValues values;
    ResultJudge::carryCalVal(j, values);
    QCOMPARE(values.calVal.load(), 244);
}

void TestResultJudge::countersAccumulate()
{
    deviceRestlt_t loud = good();
    loud.rxRssiMean = 0;
    const CycleJudgement j =
        ResultJudge::judge(limits(), CYCLE_ENDED, 3, finished({good(), loud, good()}), rows(3));
    uint32_t pass = 10, fail = 2, all = 12;
    ResultJudge::count(j, &pass, &fail, &all);
    QCOMPARE(pass, 12u);
    QCOMPARE(fail, 3u);
    QCOMPARE(all, 15u);
}

QTEST_GUILESS_MAIN(TestResultJudge)
#include "tst_resultjudge.moc"
