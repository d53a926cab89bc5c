// Every answer of the simulated chip, read through its RFC 2217 port with
// Chipctl's own answer rules: markers, tags, dumps and sample lines must end
// Chipctl's wait with the right result.
#include "atcmd.h"
#include "simtestutil.h"

#include <QRegularExpression>
#include <QtTest>

using namespace answerRules;

namespace {
const QByteArray scenario = R"({
    "duts": 3,
    "chips": {
        "dut01": { "start": "ramcode" },
        "dut02": { "start": "bootrom" }
    }
})";

// Chipctl's rule must decide on the whole answer, as `expected`: nothing of
// the answer may trail behind and land in the next command's buffer.
bool ask(SimClient &c, const QByteArray &line, const AnswerRule &rule,
         AnswerState expected = AnswerState::Accepted, int timeoutMs = 2000)
{
    const AnswerState state = c.answer(line, rule, timeoutMs);
    if (state != expected) {
        qWarning("\"%s\": %s", line.constData(),
                 state == AnswerState::Pending    ? "undecided"
                 : state == AnswerState::Accepted ? "accepted"
                                                  : "refused");
        return false;
    }
    const QByteArray answer = c.received();
    if (c.collect(80) == answer)
        return true;
    qWarning("\"%s\": bytes after the host's rule was satisfied: %s", line.constData(),
             c.received().mid(answer.size()).toPercentEncoding().constData());
    return false;
}

// A refused command gets no answer at all: nothing arrives for a while.
bool staysQuiet(SimClient &c, const QByteArray &line, int ms = 300)
{
    c.collect(100); // the tail of the previous answer
    c.clear();
    c.write(line + "\r\n");
    return c.collect(ms).isEmpty();
}
} // namespace

class TstSimAnswers : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void recognition();
    void flashUidAndEfuse();
    void passFailCommands();
    void upgradeAndDumps();
    void otpAnswers();
    void gpio();
    void macLines();
    void taggedValues();
    void rfSamples();
    void atFirmware();

private:
    QTemporaryDir dir;
    SimStation sim;
    SimClient gm, dut, boot, fw;
};

void TstSimAnswers::initTestCase()
{
    QVERIFY2(startWithScenario(sim, dir, scenario), qPrintable(sim.errorText()));
    QVERIFY(connectClient(gm, sim, "gm"));
    QVERIFY(connectClient(dut, sim, "dut01"));
    QVERIFY(connectClient(boot, sim, "dut02"));
    QVERIFY(connectClient(fw, sim, "dut03"));
}

void TstSimAnswers::recognition()
{
    QVERIFY(ask(gm, "version", recognisedAs(QStringLiteral("RAMCODE"))));
    QVERIFY(ask(boot, "version", recognisedAs(QStringLiteral("TK716A"))));
    QVERIFY(ask(boot, "version", recognisedAs(QStringLiteral("RAMCODE")), AnswerState::Rejected));
    // The AT firmware answers no "version" Chipctl could take for a chip.
    QCOMPARE(fw.answer("version", recognisedAs(QStringLiteral("TK716A")), 300),
             AnswerState::Pending);
}

void TstSimAnswers::flashUidAndEfuse()
{
    QString uid;
    QVERIFY(ask(gm, "flash_uid", [&](const Answer &a) { return flashUid(a, uid); }));
    QVERIFY(QRegularExpression("^0x[0-9a-f]{32}$").match(uid).hasMatch());

    QVERIFY(ask(dut, "efuse_write 2 0x00ff00ff", confirm));
    QVERIFY(ask(dut, "efuse_write 2 0x0f000000", confirm));
    QString word;
    QVERIFY(ask(dut, "efuse_read 2", [&](const Answer &a) { return efuseWord(a, word); }));
    QCOMPARE(word, QStringLiteral("0x0fff00ff")); // eFuse bits only burn to 1
    QVERIFY(staysQuiet(dut, "efuse_read 99"));
}

void TstSimAnswers::passFailCommands()
{
    const AnswerState refused = AnswerState::Rejected;
    QVERIFY(ask(dut, "ferase 0x1000 0x1000", passFail));
    QVERIFY(ask(dut, "ferase 0x1234 0x1000", passFail, refused)); // not on a sector boundary
    QVERIFY(ask(dut, "startaddr 0x300000", passFail, refused));   // beyond the 2 MiB flash
    QVERIFY(ask(dut, "no_such_command 1 2", passFail, refused));

    // The file count answer carries nothing after its line end, so the count
    // reads as a number.
    uint32_t count = 99;
    QVERIFY(ask(dut, "filecount", [&](const Answer &a) { return fileCount(a, count); }));
    QCOMPARE(count, 0u);
    QCOMPARE(dut.collect(100), QByteArray("\r\nfc:0\r\n"));
}

void TstSimAnswers::upgradeAndDumps()
{
    QByteArray image(20000, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = char((i * 37 + 11) & 0xff);
    QVERIFY(ask(dut, "startaddr 0x10000", passFail));
    dut.clear();
    dut.write("upgrade\r\n");
    const YmodemSendResult sent = sendYmodem(dut, "app.bin", image, 16384);
    QVERIFY(sent.ok);
    QCOMPARE(sent.naks, 1); // the first EOT only

    uint32_t count = 0;
    QVERIFY(ask(dut, "filecount", [&](const Answer &a) { return fileCount(a, count); }));
    QCOMPARE(count, 1u);

    // 512-byte chunks as a flash read into a file takes them: 514 items, the
    // last two the CRC-16 of the data, high byte first, which Chipctl checks
    // with its own CRC, and the test once more with one of its own.
    for (quint32 offset : {0u, 19968u}) {
        QString text;
        const QByteArray cmd =
            "flash_read 0x" + QByteArray::number(0x10000 + offset, 16) + " 0x200";
        QVERIFY(ask(dut, cmd, [&](const Answer &a) { return hexDump(a, 512, text); }));
        QByteArray data;
        QVERIFY(dumpBytes(text, 512, data));
        const QByteArray expected =
            offset == 0 ? image.left(512) : image.mid(int(offset)) + QByteArray(480, char(0xff));
        QCOMPARE(data, expected);
        const QStringList items = text.split(QLatin1Char(' '));
        const quint16 crc = testCrc16(data);
        QCOMPARE(items.at(512).toUInt(nullptr, 16), uint(crc >> 8));
        QCOMPARE(items.at(513).toUInt(nullptr, 16), uint(crc & 0xff));
    }
    // A one-byte read: 9 characters after the line end, Chipctl keeps 8.
    QString one;
    QVERIFY(
        ask(dut, "flash_read 0x10000 0x1", [&](const Answer &a) { return hexDump(a, 1, one); }));
    QCOMPARE(one.size(), 8);
    QVERIFY(one.startsWith(QLatin1String("0b ")));
    QVERIFY(staysQuiet(dut, "flash_read 0x1ffff0 0x20")); // past the end of the flash
}

void TstSimAnswers::otpAnswers()
{
    QString text;
    auto dump = [&text](uint32_t n) {
        return [&text, n](const Answer &a) { return hexDump(a, n, text); };
    };
    QVERIFY(ask(dut, "flash_otp_read 0 4", dump(4)));
    QCOMPARE(text.left(12), QStringLiteral("ff ff ff ff "));
    // Bits go from 1 to 0 only: 0xf0 then 0x0f leaves 0x00.
    QVERIFY(ask(dut, "flash_otp_write 5 -16", confirm));
    QVERIFY(ask(dut, "flash_otp_write 5 15", confirm));
    QVERIFY(ask(dut, "flash_otp_read 5 1", dump(1)));
    QVERIFY(text.startsWith(QLatin1String("00 ")));
    // OTP cannot be erased: refused, no answer.
    QVERIFY(staysQuiet(dut, "flash_otp_erase 5 1"));
    QVERIFY(ask(dut, "flash_otp_read 0 0", dump(0)));
    QCOMPARE(text, QStringLiteral("00 00")); // the CRC of nothing
    uint32_t state = 9;
    QVERIFY(
        ask(dut, "flash_otp_get_lock_state", [&](const Answer &a) { return lockState(a, state); }));
    QCOMPARE(state, 0u);
}

void TstSimAnswers::gpio()
{
    int32_t value = -1;
    auto rule = [&value](const Answer &a) { return gpioValue(a, value); };
    QVERIFY(ask(dut, "gpio_write GPIO3 1", confirm));
    QVERIFY(ask(dut, "gpio_read GPIO3", rule));
    QCOMPARE(value, 1);
    QVERIFY(ask(dut, "gpio_read 4", rule));
    QCOMPARE(value, 0);
    QVERIFY(ask(dut, "gpio_write_all 0x10", confirm));
    QVERIFY(ask(dut, "gpio_read 4", rule));
    QCOMPARE(value, 1);
    QVERIFY(staysQuiet(dut, "gpio_write GPIO99 1"));
}

void TstSimAnswers::macLines()
{
    QString line;
    auto mac = [&line](bool strict) {
        return [&line, strict](const Answer &a) { return macLine(a, strict, line); };
    };
    QVERIFY(ask(gm, "get_m_local_mac", mac(true)));
    QCOMPARE(line, QStringLiteral("02:54:4b:00:00:10\r\n"));

    // A blank DUT reads its erased OTP MAC.
    QVERIFY(ask(dut, "get_mac_in_flash_otp", mac(false)));
    QCOMPARE(line, QStringLiteral("ff:ff:ff:ff:ff:ff\r\n"));
    QVERIFY(ask(dut, "set_mac_in_flash_otp 02:54:4B:00:00:11", confirm));
    QVERIFY(ask(dut, "get_mac_in_flash_otp", mac(false)));
    QCOMPARE(line, QStringLiteral("02:54:4b:00:00:11\r\n"));
    QVERIFY(staysQuiet(dut, "set_m_local_mac 02-54-4b-00-00-11"));
    QVERIFY(ask(dut, "set_m_test_device_mac 3 02:54:4b:00:00:13", confirm));
}

void TstSimAnswers::taggedValues()
{
    int32_t value = 0;
    auto rule = [&value](const QByteArray &tag) {
        return [&value, tag](const Answer &a) { return taggedValue(a, tag, value); };
    };
    QVERIFY(ask(gm, "get_xtal_cap_in_flash_otp", rule("xtal_cap:")));
    QCOMPARE(value, 3);
    QVERIFY(ask(gm, "get_txp_b_in_flash_otp", rule("b:")));
    QCOMPARE(value, 8);
    QVERIFY(ask(gm, "get_txp_gn_in_flash_otp", rule("gn:")));
    QCOMPARE(value, 6);

    // Nothing stored: "pppp" without the tag, a failure Chipctl sees at once.
    QVERIFY(ask(dut, "get_txp_gn_in_flash_otp", rule("gn:"), AnswerState::Rejected));
    QVERIFY(ask(dut, "set_xtal_cap_in_flash_otp -7", confirm));
    QVERIFY(ask(dut, "set_xtal_cap_in_flash_otp -9", confirm)); // a new record
    QVERIFY(ask(dut, "get_xtal_cap_in_flash_otp", rule("xtal_cap:")));
    QCOMPARE(value, -9);
    QVERIFY(staysQuiet(dut, "set_xtal_cap_in_ram 300"));
}

void TstSimAnswers::rfSamples()
{
    // Nobody transmits: no samples at all.
    QVERIFY(ask(gm, "rf_stop", confirm));
    QVERIFY(ask(dut, "set_s_remote_mac 02:54:4b:00:00:10", confirm));
    QVERIFY(staysQuiet(dut, "start_s_rx_test 120000 7", 400));

    QVERIFY(ask(gm, "start_m_rx_test 10 120000 7", confirm));
    RfSamples samples;
    QVERIFY(rxSamples(dut, "start_s_rx_test 120000 7", &samples));
    QCOMPARE(dut.collect(80).size(), dut.received().size()); // nothing trailing
    // Whole lines only, frequency first, when Chipctl's rule fires.
    QCOMPARE(samples.lines.size(), 20);
    const QRegularExpression format("^freq=-?\\d+\\.\\d,rssi=-?\\d+\\r$");
    for (const QString &line : qAsConst(samples.lines))
        QVERIFY2(format.match(line).hasMatch(), qPrintable(line));
    QCOMPARE(samples.rssi.size(), 20);
    QCOMPARE(samples.freq.size(), 20);
    for (float rssi : qAsConst(samples.rssi))
        QVERIFY(rssi < -30 && rssi > -70);

    // Another channel or another golden MAC: nothing heard.
    QVERIFY(staysQuiet(dut, "start_s_rx_test 120000 3", 400));
    QVERIFY(ask(dut, "set_s_remote_mac 02:54:4b:00:00:99", confirm));
    QVERIFY(staysQuiet(dut, "start_s_rx_test 120000 7", 400));

    // The DUT transmits, the golden machine measures it: 20 "rssi:" lines.
    QVERIFY(ask(gm, "rf_stop", confirm));
    QVERIFY(ask(dut, "start_s_tx_test 10 120000 7", confirm));
    QVERIFY(txSamples(gm, "start_m_tx_test 120000 7", 1, &samples));
    QCOMPARE(samples.txRssi.size(), 20);
    for (int rssi : qAsConst(samples.txRssi))
        QVERIFY(rssi < -30 && rssi > -70);
    // Asked for two measurements' worth, Chipctl would wait in vain.
    QVERIFY(!txSamples(gm, "start_m_tx_test 120000 7", 2, &samples, 500));
    QVERIFY(ask(dut, "rf_stop", confirm));
    QVERIFY(staysQuiet(gm, "start_m_tx_test 120000 7", 400));
}

void TstSimAnswers::atFirmware()
{
    // Chipctl's AT exchange: done at a whole "OK" line.
    const AnswerRule ok = [](const Answer &a) {
        return a.complete && ATCMD::hasOkLine(a.bytes) ? AnswerState::Accepted
                                                       : AnswerState::Pending;
    };
    QVERIFY(ask(fw, "AT", ok));
    QVERIFY(ask(fw, "AT+PVTCMD=XTAL_CAP,12", ok));
    QVERIFY(ask(fw, "AT+PVTCMD=TX_POWER,5", ok));
    QVERIFY(ask(fw, "AT+PVTCMD=TX_POWER_B,-3", ok));
    QVERIFY(ask(fw, "AT+PVTCMD=TX_POWER_GN,7", ok));
    QVERIFY(ask(fw, "AT+ATE_OK?", ok));
    QList<int32_t> values;
    QVERIFY(ATCMD::parseCalibration(QString::fromUtf8(fw.received()), values));
    QCOMPARE(values, (QList<int32_t>{12, 5, -3, 7}));

    // Refused: "ERROR", and no "OK" Chipctl could take.
    QCOMPARE(fw.answer("AT+PVTCMD=XTAL_CAP,abc", ok, 300), AnswerState::Pending);
    QVERIFY(fw.received().contains("ERROR"));
    QCOMPARE(fw.answer("AT+NOPE", ok, 300), AnswerState::Pending);
    QVERIFY(fw.received().contains("ERROR"));
}

QTEST_GUILESS_MAIN(TstSimAnswers)
#include "tst_simanswers.moc"
