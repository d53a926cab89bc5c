#include "dutmac.h"
#include "tooloutput.h"

#include <QtTest>

using namespace toolOutput;

class TestToolOutput : public QObject
{
    Q_OBJECT

private slots:
    void decodeStopsAtZeroByte();
    void okAnywhere();
    void goldenMac_data();
    void goldenMac();
    void goldenXtal_data();
    void goldenXtal();
    void firstLineBothLineEnds();
    void failureText_data();
    void failureText();
    void rxSamples();
    void rxSamplesCounts();
    void txRssi();
    void dutMacs_data();
    void dutMacs();
    void dutMacsUniqueAcrossCarry();
};

// The chip tool's failure text as it reaches a row's reason: the sentence
// after "Fail. ", without data printed after it or a console's CR.
void TestToolOutput::failureText_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("text");
    QTest::newRow("alone") << "Fail. Could not go in download mode.\n"
                           << "Could not go in download mode.";
    QTest::newRow("after data lines, CR LF") << "mac:\r\nFail. Could not open the serial port.\r\n"
                                             << "Could not open the serial port.";
    QTest::newRow("data on its line") << "Fail. Error downloading file.flash uid:can not get."
                                      << "Error downloading file.";
    QTest::newRow("success") << "mac:02:54:4b:00:00:11\nOk.\n"
                             << "";
    QTest::newRow("nothing printed") << ""
                                     << "";
}

void TestToolOutput::failureText()
{
    QFETCH(QString, output);
    QFETCH(QString, text);
    QCOMPARE(toolOutput::failureText(output), text);
}

void TestToolOutput::decodeStopsAtZeroByte()
{
    QCOMPARE(decode(QByteArray("uid:0x12\nOk.\0garbage", 21)), QStringLiteral("uid:0x12\nOk."));
    QCOMPARE(decode(QByteArray()), QString());
    QCOMPARE(decode(QByteArray("\0Ok.", 4)), QString());
    QCOMPARE(decode(QByteArray("\xe9\x87\x91\xe6\x9c\xba")), QStringLiteral("金机"));
}

void TestToolOutput::okAnywhere()
{
    QVERIFY(isOk(QStringLiteral("Ok.")));
    QVERIFY(isOk(QStringLiteral("mac:A0:B1:C2:D3:E4:F5\r\nOk.")));
    QVERIFY(isOk(QStringLiteral("noise Ok. noise")));
    QVERIFY(!isOk(QStringLiteral("Fail. Command execution error.")));
    QVERIFY(!isOk(QStringLiteral("ok.")));
    QVERIFY(!isOk(QStringLiteral("OK")));
    QVERIFY(!isOk(QString()));
}

void TestToolOutput::goldenMac_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<bool>("good");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    const QByteArray a0 = QByteArray::fromHex("a0b1c2d3e4f5");
    QTest::newRow("crlf") << "mac:A0:B1:C2:D3:E4:F5\r\nOk." << true << "A0:B1:C2:D3:E4:F5" << a0;
    QTest::newRow("lf") << "mac:A0:B1:C2:D3:E4:F5\nOk." << true << "A0:B1:C2:D3:E4:F5" << a0;
    QTest::newRow("ok on same line")
        << "mac:A0:B1:C2:D3:E4:F5Ok." << true << "A0:B1:C2:D3:E4:F5" << a0;
    QTest::newRow("lower case") << "mac:a0:b1:c2:d3:e4:f5\nOk." << true << "a0:b1:c2:d3:e4:f5"
                                << a0;
    QTest::newRow("dashes") << "mac:A0-B1-C2-D3-E4-F5\nOk." << false << "" << QByteArray();
    QTest::newRow("no Ok") << "mac:A0:B1:C2:D3:E4:F5\n" << false << "" << QByteArray();
    QTest::newRow("failure") << "Fail. Could not go in ramcode mode." << false << ""
                             << QByteArray();
    QTest::newRow("short") << "mac:A0:B1:C2\nOk." << false << "" << QByteArray();
    QTest::newRow("not hex") << "mac:G0:B1:C2:D3:E4:F5\nOk." << false << "" << QByteArray();
    QTest::newRow("one digit groups")
        << "mac:A:B1:C2:D3:E4:F56\nOk." << false << "" << QByteArray();
    QTest::newRow("empty") << "" << false << "" << QByteArray();
}

void TestToolOutput::goldenMac()
{
    QFETCH(QString, output);
    QFETCH(bool, good);
    QString parsedText = QStringLiteral("unchanged");
    macBytes parsedBytes{};
    QCOMPARE(parseGoldenMac(output, &parsedText, &parsedBytes), good);
    if (!good) {
        QCOMPARE(parsedText, QStringLiteral("unchanged"));
        return;
    }
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(parsedText, text);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(parsedBytes.data()), 6), bytes);
}

void TestToolOutput::goldenXtal_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<bool>("good");
    QTest::addColumn<int>("value");
    QTest::newRow("12 lf") << "xtal_cap:12\nOk." << true << 12;
    QTest::newRow("12 crlf") << "xtal_cap:12\r\nOk." << true << 12;
    QTest::newRow("300 cut to 8 bits") << "xtal_cap:300\nOk." << true << 44;
    QTest::newRow("-5") << "xtal_cap:-5\nOk." << true << -5;
    QTest::newRow("200 reads signed") << "xtal_cap:200\nOk." << true << -56;
    QTest::newRow("not a number") << "xtal_cap:x\nOk." << false << 0;
    QTest::newRow("abc") << "xtal_cap:abc\r\nOk." << false << 0;
    QTest::newRow("nothing after prefix") << "xtal_cap:\nOk." << false << 0;
    QTest::newRow("empty") << "" << false << 0;
}

void TestToolOutput::goldenXtal()
{
    QFETCH(QString, output);
    QFETCH(bool, good);
    QFETCH(int, value);
    int8_t read = 99;
    QCOMPARE(parseGoldenXtal(output, &read), good);
    QCOMPARE(int(read), good ? value : 99);
}

void TestToolOutput::firstLineBothLineEnds()
{
    QCOMPARE(firstLine(QStringLiteral("uid:0xab\r\nOk.")), QStringLiteral("uid:0xab"));
    QCOMPARE(firstLine(QStringLiteral("uid:0xab\nOk.")), QStringLiteral("uid:0xab"));
    QCOMPARE(firstLine(QStringLiteral("Ok.")), QStringLiteral("Ok."));
    QCOMPARE(firstLine(QString()), QString());
}

void TestToolOutput::rxSamples()
{
    QList<float> rssi;
    QList<float> freq;
    parseRxSamples(QStringLiteral("result:\nfreq=-3.5,rssi=-48\nOk."), &rssi, &freq);
    QCOMPARE(freq, QList<float>() << -3.5f);
    QCOMPARE(rssi, QList<float>() << -48.0f);

    // RSSI first: its text runs on past the comma and does not read.
    rssi.clear();
    freq.clear();
    parseRxSamples(QStringLiteral("rssi=-48,freq=-3.5\n"), &rssi, &freq);
    QCOMPARE(freq, QList<float>() << -3.5f);
    QVERIFY(rssi.isEmpty());

    // Windows line ends; freq without a comma after it reads to the end.
    rssi.clear();
    freq.clear();
    parseRxSamples(QStringLiteral("result:\r\nfreq=1.25,rssi=-50.5\r\nfreq=2\r\nrssi=-7\r\nOk."),
                   &rssi, &freq);
    QCOMPARE(freq, QList<float>() << 1.25f << 2.0f);
    QCOMPARE(rssi, QList<float>() << -50.5f << -7.0f);

    // A comma before freq= does not end its field; junk adds nothing.
    rssi.clear();
    freq.clear();
    parseRxSamples(QStringLiteral("x,freq=4.5\nfreq=abc,rssi=\nfreq=nan,rssi=inf\n"), &rssi, &freq);
    QCOMPARE(freq, QList<float>() << 4.5f);
    QVERIFY(rssi.isEmpty());
}

void TestToolOutput::rxSamplesCounts()
{
    QString text = QStringLiteral("result:\n");
    for (int i = 0; i < 20; ++i)
        text += QStringLiteral("freq=%1,rssi=%2\n").arg(i - 10).arg(-40 - i);
    text += QStringLiteral("Ok.");
    QList<float> rssi;
    QList<float> freq;
    parseRxSamples(text, &rssi, &freq);
    QCOMPARE(rssi.size(), 20);
    QCOMPARE(freq.size(), 20);
    QCOMPARE(freq.first(), -10.0f);
    QCOMPARE(rssi.last(), -59.0f);
}

void TestToolOutput::txRssi()
{
    QString text = QStringLiteral("result:\n");
    for (int i = 0; i < 21; ++i)
        text += QStringLiteral("rssi:%1\n").arg(-30 - i);
    text += QStringLiteral("Ok.");
    const QList<int> samples = parseTxRssi(text);
    QCOMPARE(samples.size(), 21);
    QCOMPARE(samples.first(), -30);
    QCOMPARE(samples.last(), -50);

    QCOMPARE(parseTxRssi(QStringLiteral("result:\r\nrssi:-45\r\nrssi:x\r\nOk.")), QList<int>()
                                                                                      << -45);
    // A line without the marker reads from its fifth character on.
    QCOMPARE(parseTxRssi(QStringLiteral("abcd-12\n")), QList<int>() << -12);
    QVERIFY(parseTxRssi(QStringLiteral("Fail. Command execution error.")).isEmpty());
}

void TestToolOutput::dutMacs_data()
{
    QTest::addColumn<QByteArray>("golden");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("mac");
    QTest::newRow("first") << QByteArray::fromHex("a0b1c2d3e4f5") << 0 << "a0:b1:c2:d3:e4:f6";
    QTest::newRow("second") << QByteArray::fromHex("a0b1c2d3e4f5") << 1 << "a0:b1:c2:d3:e4:f7";
    QTest::newRow("leading zeros")
        << QByteArray::fromHex("000102030400") << 0 << "00:01:02:03:04:01";
    QTest::newRow("fe+1 is ff") << QByteArray::fromHex("a0b1c2d3e4fe") << 0 << "a0:b1:c2:d3:e4:ff";
    QTest::newRow("fe+2 carries") << QByteArray::fromHex("a0b1c2d3e4fe") << 1
                                  << "a0:b1:c2:d3:e5:00";
    QTest::newRow("carry through")
        << QByteArray::fromHex("a0ffffffffff") << 0 << "a1:00:00:00:00:00";
    QTest::newRow("last valid") << QByteArray::fromHex("fffffffffffe") << 0 << "ff:ff:ff:ff:ff:ff";
}

void TestToolOutput::dutMacs()
{
    QFETCH(QByteArray, golden);
    QFETCH(int, index);
    QFETCH(QString, mac);
    macBytes gm{};
    std::copy(golden.begin(), golden.end(), gm.begin());
    QString derived;
    QVERIFY(dutMacFor(gm, index, &derived));
    QCOMPARE(derived, mac);
}

void TestToolOutput::dutMacsUniqueAcrossCarry()
{
    const macBytes gm{{0xa0, 0xb1, 0xc2, 0xd3, 0xe4, 0xf0}};
    QSet<QString> seen;
    for (int i = 0; i < 24; ++i) {
        QString mac;
        QVERIFY(dutMacFor(gm, i, &mac));
        QCOMPARE(mac.size(), 17);
        QCOMPARE(mac.count(QLatin1Char(':')), 5);
        seen.insert(mac);
    }
    QCOMPARE(seen.size(), 24);

    // Past ff:ff:ff:ff:ff:ff there is no address.
    const macBytes top{{0xff, 0xff, 0xff, 0xff, 0xff, 0xfe}};
    QString mac = QStringLiteral("unchanged");
    QVERIFY(!dutMacFor(top, 1, &mac));
    QCOMPARE(mac, QStringLiteral("unchanged"));
}

QTEST_GUILESS_MAIN(TestToolOutput)
#include "tst_tooloutput.moc"
