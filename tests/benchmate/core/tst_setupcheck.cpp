// The check before a cycle starts, on the cases the window's and benchrun's
// own tests leave out: ports that would be driven twice at once, texts the
// settings file cannot keep, numbers more precise than the file keeps.
#include "setupcheck.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

SetupTexts good(const QString &firmware)
{
    SetupTexts t;
    t.gmPort = QStringLiteral("COM3");
    t.firmwarePath = firmware;
    t.rxRssiMax = QStringLiteral("-20");
    t.rxRssiMin = QStringLiteral("-75");
    t.rxFreqMax = QStringLiteral("10");
    t.rxFreqMin = QStringLiteral("-10.5");
    t.txRssiMax = QStringLiteral("-20");
    t.txRssiMin = QStringLiteral("-75");
    t.testCha = QStringLiteral("7");
    t.sendInterval = QStringLiteral("0");
    t.timeOut = QStringLiteral("120000");
    t.duts = {{0, QStringLiteral("COM4"), QStringLiteral("0"), QStringLiteral("-3")},
              {5, QStringLiteral("rfc2217://10.0.0.2:4001"), QStringLiteral("+2"),
               QStringLiteral("127")}};
    return t;
}

} // namespace

class TestSetupCheck : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void goodSetup();
    void problems_data();
    void problems();

private:
    QTemporaryDir m_dir;
    QString m_firmware;
};

void TestSetupCheck::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_firmware = m_dir.filePath(QStringLiteral("ram.bin"));
    QFile file(m_firmware);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("TK716A") == 6);
}

void TestSetupCheck::goodSetup()
{
    const QList<SetupProblem> problems = SetupCheck::check(good(m_firmware));
    QVERIFY2(problems.isEmpty(), qPrintable(SetupCheck::describe(problems.value(0))));
}

void TestSetupCheck::problems_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("described");
    QTest::newRow("two DUTs on one port, spelled apart")
        << "dut5port"
        << "com4"
        << "serial port of DUT5 (line 8): \"com4\" is also the port of DUT0";
    QTest::newRow("a DUT on the golden machine's port") << "dut0port"
                                                        << "COM3"
                                                        << "is also the port of the golden machine";
    QTest::newRow("a comma in the firmware path")
        << "firmware"
        << "D:/fw,v2/ram.bin"
        << "firmware file (line 27): a comma cannot be kept";
    QTest::newRow("a comma in a port") << "dut0port"
                                       << "COM4,5"
                                       << "a comma cannot be kept";
    QTest::newRow("three decimals") << "rxFreqMax"
                                    << "2.125"
                                    << "RX frequency offset upper limit (line 30): more than 2 "
                                       "decimals";
    QTest::newRow("a decimal channel") << "testCha"
                                       << "6.0"
                                       << "not a whole number";
    QTest::newRow("an exponent") << "timeOut"
                                 << "1e+06"
                                 << "not a number";
    QTest::newRow("blank around a number") << "txRssiMax"
                                           << " -20"
                                           << "not a number";
    QTest::newRow("equal limits") << "txRssiMin"
                                  << "-20"
                                  << "not below the upper limit";
    QTest::newRow("an empty DUT port") << "dut0port"
                                       << ""
                                       << "serial port of DUT0 (line 3): empty";
    QTest::newRow("no firmware file") << "firmware"
                                      << "missing.bin"
                                      << "does not exist";
}

void TestSetupCheck::problems()
{
    QFETCH(QString, change);
    QFETCH(QString, value);
    QFETCH(QString, described);
    SetupTexts t = good(m_firmware);
    if (change == QLatin1String("dut5port"))
        t.duts[1].port = value;
    else if (change == QLatin1String("dut0port"))
        t.duts[0].port = value;
    else if (change == QLatin1String("firmware"))
        t.firmwarePath = value;
    else if (change == QLatin1String("rxFreqMax"))
        t.rxFreqMax = value;
    else if (change == QLatin1String("testCha"))
        t.testCha = value;
    else if (change == QLatin1String("timeOut"))
        t.timeOut = value;
    else if (change == QLatin1String("txRssiMax"))
        t.txRssiMax = value;
    else if (change == QLatin1String("txRssiMin"))
        t.txRssiMin = value;
    const QList<SetupProblem> problems = SetupCheck::check(t);
    QCOMPARE(problems.size(), 1);
    const QString text = SetupCheck::describe(problems.first());
    QVERIFY2(text.contains(described), qPrintable(text));
}

QTEST_GUILESS_MAIN(TestSetupCheck)
#include "tst_setupcheck.moc"
