// The AT side against an in-process chip running its normal firmware.
#include "atcmd.h"
#include "fakechip.h"

#include <QElapsedTimer>
#include <QtTest>

namespace {

struct Bench
{
    Bench()
    {
        QObject::connect(&at, &ATCMD::sendData, &chip, &FakeChip::hostSent);
        QObject::connect(&chip, &FakeChip::chipSent, &at, &ATCMD::recvData);
    }
    ATCMD at;
    FakeChip chip;
};

} // namespace

class TestAtcmd : public QObject
{
    Q_OBJECT
private slots:
    void commandsOnTheWire();
    void okSplitAcrossDeliveries();
    void noOkFailsAfterTheBound();
    void readsFourCalibrationValues();
    void calibrationFailures_data();
    void calibrationFailures();
};

void TestAtcmd::commandsOnTheWire()
{
    Bench b;
    b.chip.setResponder([](const QByteArray &) { return QByteArray("\r\nOK\r\n"); });
    QVERIFY(b.at.enterAT());
    QVERIFY(b.at.setXtalCap(-7));
    QVERIFY(b.at.setTxPower(0, 3));
    QVERIFY(b.at.setTxPower(1, 12));
    QVERIFY(b.at.setTxPower(2, -1));
    QCOMPARE(b.chip.received,
             QList<QByteArray>({"AT\r\n", "AT+PVTCMD=XTAL_CAP,-7\r\n", "AT+PVTCMD=TX_POWER_B,3\r\n",
                                "AT+PVTCMD=TX_POWER_GN,12\r\n", "AT+PVTCMD=TX_POWER,-1\r\n"}));
}

void TestAtcmd::okSplitAcrossDeliveries()
{
    Bench b;
    b.chip.setChunkSize(1);
    b.chip.setResponder([](const QByteArray &) { return QByteArray("O"); });
    QVERIFY(!b.at.enterAT()); // a lone "O" is no answer
    // Nor is an "OK" whose line never ends.
    b.chip.setResponder([](const QByteArray &) { return QByteArray("\r\nOK"); });
    QVERIFY(!b.at.enterAT());
    b.chip.setResponder([](const QByteArray &) { return QByteArray("\r\nOK\r\n"); });
    QVERIFY(b.at.enterAT());
}

void TestAtcmd::noOkFailsAfterTheBound()
{
    Bench b;
    b.chip.setResponder([](const QByteArray &) { return QByteArray("ERROR\r\n"); });
    QElapsedTimer t;
    t.start();
    QVERIFY(!b.at.setXtalCap(1));
    QVERIFY(t.elapsed() >= 100);
}

void TestAtcmd::readsFourCalibrationValues()
{
    Bench b;
    b.chip.setChunkSize(7);
    b.chip.setResponder([](const QByteArray &) {
        return QByteArray("+XTAL_COMP:12\r\n+TXPOWER_COMP:5\r\n+TXPOWER_B_COMP:-3\r\n"
                          "+TXPOWER_GN_COMP:7\r\nOK\r\n");
    });
    QList<int32_t> values;
    QVERIFY(b.at.readCalibration(values));
    QCOMPARE(values, QList<int32_t>({12, 5, -3, 7}));
    QCOMPARE(b.chip.received, QList<QByteArray>({"AT+ATE_OK?\r\n"}));
}

void TestAtcmd::calibrationFailures_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("valuesRead");
    QTest::newRow("not a number") << QByteArray("+XTAL_COMP:1\r\n+TXPOWER_COMP:x\r\nOK\r\n") << 2;
    // A missing key is a failed conversion, never text from before the start.
    QTest::newRow("missing key") << QByteArray("+XTAL_COMP:1\r\n+TXPOWER_COMP:2\r\n"
                                               "+TXPOWER_GN_COMP:4\r\nOK\r\n")
                                 << 3;
    QTest::newRow("keys at the very start missing") << QByteArray("OK\r\n") << 1;
}

void TestAtcmd::calibrationFailures()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, valuesRead);
    Bench b;
    b.chip.setResponder([&](const QByteArray &) { return answer; });
    QList<int32_t> values;
    QVERIFY(!b.at.readCalibration(values));
    QCOMPARE(values.size(), valuesRead);
    QCOMPARE(values.last(), 0);
}

QTEST_GUILESS_MAIN(TestAtcmd)
#include "tst_atcmd.moc"
