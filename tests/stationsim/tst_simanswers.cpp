// Every answer of the simulated chip, read through its RFC 2217 port with the
// host's own answer rules: markers, tags, dumps and sample lines must end the
// host's wait with the right result.
#include "hostrules.h"
#include "simtestutil.h"

#include <QRegularExpression>
#include <QtTest>

using namespace HostRules;

namespace {
const QByteArray scenario = R"({
    "duts": 3,
    "chips": {
        "dut01": { "start": "ramcode" },
        "dut02": { "start": "bootrom" }
    }
})";

// The host's rule must end its wait on the answer's last byte: nothing of
// the answer may trail behind and land in the next command's buffer.
bool ask(SimClient &c, const QByteArray &line, const SimClient::Rule &rule, int timeoutMs = 2000)
{
    if (!c.command(line, rule, timeoutMs))
        return false;
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
    std::optional<QString> name;
    auto rule = [&name](const QByteArray &rx) { return bool(name = recognise(rx)); };
    QVERIFY(ask(gm, "version", rule));
    QCOMPARE(*name, QStringLiteral("RAMCODE"));
    QVERIFY(ask(boot, "version", rule));
    QCOMPARE(*name, QStringLiteral("TK716A"));
    // The AT firmware answers no "version" the host could take for a chip.
    QVERIFY(!fw.command("version", rule, 300));
}

void TstSimAnswers::flashUidAndEfuse()
{
    std::optional<QByteArray> uid;
    QVERIFY(
        gm.command("flash_uid", [&](const QByteArray &rx) { return bool(uid = flashUid(rx)); }));
    QVERIFY(QRegularExpression("^0x[0-9a-f]{32}$").match(QString::fromLatin1(*uid)).hasMatch());

    QVERIFY(ask(dut, "efuse_write 2 0x00ff00ff", confirm));
    QVERIFY(ask(dut, "efuse_write 2 0x0f000000", confirm));
    std::optional<QByteArray> word;
    QVERIFY(
        ask(dut, "efuse_read 2", [&](const QByteArray &rx) { return bool(word = efuseWord(rx)); }));
    QCOMPARE(*word, QByteArray("0x0fff00ff")); // eFuse bits only burn to 1
    QVERIFY(staysQuiet(dut, "efuse_read 99"));
}

void TstSimAnswers::passFailCommands()
{
    std::optional<bool> result;
    auto rule = [&result](const QByteArray &rx) { return bool(result = passFail(rx)); };
    QVERIFY(ask(dut, "ferase 0x1000 0x1000", rule));
    QCOMPARE(*result, true);
    QVERIFY(ask(dut, "ferase 0x1234 0x1000", rule)); // not on a sector boundary
    QCOMPARE(*result, false);
    QVERIFY(ask(dut, "startaddr 0x300000", rule)); // beyond the 2 MiB flash
    QCOMPARE(*result, false);
    QVERIFY(ask(dut, "no_such_command 1 2", rule));
    QCOMPARE(*result, false);

    // The file count answer carries nothing after its line end, so the count
    // reads as a number.
    std::optional<quint32> count;
    QVERIFY(
        ask(dut, "filecount", [&](const QByteArray &rx) { return bool(count = fileCount(rx)); }));
    QCOMPARE(*count, 0u);
    QCOMPARE(dut.collect(100), QByteArray("\r\nfc:0\r\n"));
}

void TstSimAnswers::upgradeAndDumps()
{
    QByteArray image(20000, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = char((i * 37 + 11) & 0xff);
    std::optional<bool> ok;
    QVERIFY(ask(dut, "startaddr 0x10000",
                [&](const QByteArray &rx) { return bool(ok = passFail(rx)); }));
    QVERIFY(*ok);
    dut.clear();
    dut.write("upgrade\r\n");
    const YmodemSendResult sent = sendYmodem(dut, "app.bin", image, 16384);
    QVERIFY(sent.ok);
    QCOMPARE(sent.naks, 1); // the first EOT only

    std::optional<quint32> count;
    QVERIFY(
        ask(dut, "filecount", [&](const QByteArray &rx) { return bool(count = fileCount(rx)); }));
    QCOMPARE(*count, 1u);

    // 512-byte chunks as a flash read into a file takes them: 514 items, the
    // last two the CRC-16 of the data, high byte first.
    for (quint32 offset : {0u, 19968u}) {
        std::optional<QByteArray> text;
        const QByteArray cmd =
            "flash_read 0x" + QByteArray::number(0x10000 + offset, 16) + " 0x200";
        QVERIFY(
            dut.command(cmd, [&](const QByteArray &rx) { return bool(text = hexDump(rx, 512)); }));
        const QList<QByteArray> items = text->split(' ');
        QCOMPARE(items.size(), 514);
        QByteArray bytes;
        for (const QByteArray &item : items)
            bytes.append(char(item.toUInt(nullptr, 16)));
        const QByteArray expected =
            offset == 0 ? image.left(512) : image.mid(int(offset)) + QByteArray(480, char(0xff));
        QCOMPARE(bytes.left(512), expected);
        const quint16 crc = testCrc16(bytes.left(512));
        QCOMPARE(quint8(bytes.at(512)), quint8(crc >> 8));
        QCOMPARE(quint8(bytes.at(513)), quint8(crc & 0xff));
    }
    // A one-byte read: 9 characters after the line end, the host keeps 8.
    std::optional<QByteArray> one;
    QVERIFY(ask(dut, "flash_read 0x10000 0x1",
                [&](const QByteArray &rx) { return bool(one = hexDump(rx, 1)); }));
    QCOMPARE(one->size(), 8);
    QVERIFY(one->startsWith("0b "));
    QVERIFY(staysQuiet(dut, "flash_read 0x1ffff0 0x20")); // past the end of the flash
}

void TstSimAnswers::otpAnswers()
{
    std::optional<QByteArray> text;
    auto dump = [&text](int n) {
        return [&text, n](const QByteArray &rx) { return bool(text = hexDump(rx, n)); };
    };
    QVERIFY(ask(dut, "flash_otp_read 0 4", dump(4)));
    QCOMPARE(text->left(12), QByteArray("ff ff ff ff "));
    // Bits go from 1 to 0 only: 0xf0 then 0x0f leaves 0x00.
    QVERIFY(ask(dut, "flash_otp_write 5 -16", confirm));
    QVERIFY(ask(dut, "flash_otp_write 5 15", confirm));
    QVERIFY(ask(dut, "flash_otp_read 5 1", dump(1)));
    QVERIFY(text->startsWith("00 "));
    // OTP cannot be erased: refused, no answer.
    QVERIFY(staysQuiet(dut, "flash_otp_erase 5 1"));
    QVERIFY(ask(dut, "flash_otp_read 0 0", dump(0)));
    QCOMPARE(*text, QByteArray("00 00")); // the CRC of nothing
    std::optional<int> state;
    QVERIFY(ask(dut, "flash_otp_get_lock_state",
                [&](const QByteArray &rx) { return bool(state = lockState(rx)); }));
    QCOMPARE(*state, 0);
}

void TstSimAnswers::gpio()
{
    std::optional<int> value;
    auto rule = [&value](const QByteArray &rx) { return bool(value = gpioValue(rx)); };
    QVERIFY(ask(dut, "gpio_write GPIO3 1", confirm));
    QVERIFY(ask(dut, "gpio_read GPIO3", rule));
    QCOMPARE(*value, 1);
    QVERIFY(ask(dut, "gpio_read 4", rule));
    QCOMPARE(*value, 0);
    QVERIFY(ask(dut, "gpio_write_all 0x10", confirm));
    QVERIFY(ask(dut, "gpio_read 4", rule));
    QCOMPARE(*value, 1);
    QVERIFY(staysQuiet(dut, "gpio_write GPIO99 1"));
}

void TstSimAnswers::macLines()
{
    std::optional<QByteArray> line;
    QVERIFY(ask(gm, "get_m_local_mac",
                [&](const QByteArray &rx) { return bool(line = macLine(rx, true)); }));
    QCOMPARE(*line, QByteArray("02:54:4b:00:00:10\r\n"));

    // A blank DUT reads its erased OTP MAC.
    QVERIFY(ask(dut, "get_mac_in_flash_otp",
                [&](const QByteArray &rx) { return bool(line = macLine(rx, false)); }));
    QCOMPARE(*line, QByteArray("ff:ff:ff:ff:ff:ff\r\n"));
    QVERIFY(ask(dut, "set_mac_in_flash_otp 02:54:4B:00:00:11", confirm));
    QVERIFY(ask(dut, "get_mac_in_flash_otp",
                [&](const QByteArray &rx) { return bool(line = macLine(rx, false)); }));
    QCOMPARE(*line, QByteArray("02:54:4b:00:00:11\r\n"));
    QVERIFY(staysQuiet(dut, "set_m_local_mac 02-54-4b-00-00-11"));
    QVERIFY(ask(dut, "set_m_test_device_mac 3 02:54:4b:00:00:13", confirm));
}

void TstSimAnswers::taggedValues()
{
    std::optional<Tagged> value;
    auto rule = [&value](const QByteArray &tag) {
        return [&value, tag](const QByteArray &rx) { return bool(value = tagged(rx, tag)); };
    };
    QVERIFY(ask(gm, "get_xtal_cap_in_flash_otp", rule("xtal_cap:")));
    QVERIFY(value->ok);
    QCOMPARE(value->value, 3);
    QVERIFY(ask(gm, "get_txp_b_in_flash_otp", rule("b:")));
    QVERIFY(value->ok);
    QCOMPARE(value->value, 8);
    QVERIFY(ask(gm, "get_txp_gn_in_flash_otp", rule("gn:")));
    QVERIFY(value->ok);
    QCOMPARE(value->value, 6);

    // Nothing stored: "pppp" without the tag, a failure the host sees at once.
    QVERIFY(ask(dut, "get_txp_gn_in_flash_otp", rule("gn:")));
    QVERIFY(!value->ok);
    QVERIFY(ask(dut, "set_xtal_cap_in_flash_otp -7", confirm));
    QVERIFY(ask(dut, "set_xtal_cap_in_flash_otp -9", confirm)); // a new record
    QVERIFY(ask(dut, "get_xtal_cap_in_flash_otp", rule("xtal_cap:")));
    QVERIFY(value->ok);
    QCOMPARE(value->value, -9);
    QVERIFY(staysQuiet(dut, "set_xtal_cap_in_ram 300"));
}

void TstSimAnswers::rfSamples()
{
    // Nobody transmits: no samples at all.
    QVERIFY(ask(gm, "rf_stop", confirm));
    QVERIFY(ask(dut, "set_s_remote_mac 02:54:4b:00:00:10", confirm));
    QVERIFY(staysQuiet(dut, "start_s_rx_test 120000 7", 400));

    QVERIFY(ask(gm, "start_m_rx_test 10 120000 7", confirm));
    std::optional<QList<QByteArray>> lines;
    QVERIFY(ask(dut, "start_s_rx_test 120000 7",
                [&](const QByteArray &rx) { return bool(lines = rxLines(rx)); }));
    // Whole lines only, frequency first, when the host's rule fires.
    QCOMPARE(lines->size(), 20);
    const QRegularExpression format("^freq=-?\\d+\\.\\d,rssi=-?\\d+\\r$");
    for (const QByteArray &line : *lines)
        QVERIFY2(format.match(QString::fromLatin1(line)).hasMatch(), line.constData());
    const RxSamples samples = parseRxSamples(*lines);
    QCOMPARE(samples.rssi.size(), 20);
    QCOMPARE(samples.freq.size(), 20);
    for (double rssi : samples.rssi)
        QVERIFY(rssi < -30 && rssi > -70);

    // Another channel or another golden MAC: nothing heard.
    QVERIFY(staysQuiet(dut, "start_s_rx_test 120000 3", 400));
    QVERIFY(ask(dut, "set_s_remote_mac 02:54:4b:00:00:99", confirm));
    QVERIFY(staysQuiet(dut, "start_s_rx_test 120000 7", 400));

    // The DUT transmits, the golden machine measures it: 20 "rssi:" lines.
    QVERIFY(ask(gm, "rf_stop", confirm));
    QVERIFY(ask(dut, "start_s_tx_test 10 120000 7", confirm));
    QVERIFY(ask(gm, "start_m_tx_test 120000 7",
                [&](const QByteArray &rx) { return bool(lines = txLines(rx, 1)); }));
    const QList<int> tx = parseTxSamples(*lines);
    QCOMPARE(tx.size(), 20);
    for (int rssi : tx)
        QVERIFY(rssi < -30 && rssi > -70);
    // Asked for two measurements' worth, the host would wait in vain.
    QVERIFY(!gm.command(
        "start_m_tx_test 120000 7", [](const QByteArray &rx) { return bool(txLines(rx, 2)); },
        500));
    QVERIFY(ask(dut, "rf_stop", confirm));
    QVERIFY(staysQuiet(gm, "start_m_tx_test 120000 7", 400));
}

void TstSimAnswers::atFirmware()
{
    auto ok = [](const QByteArray &rx) { return rx.contains("OK"); };
    QVERIFY(ask(fw, "AT", ok));
    QVERIFY(ask(fw, "AT+PVTCMD=XTAL_CAP,12", ok));
    QVERIFY(ask(fw, "AT+PVTCMD=TX_POWER,5", ok));
    QVERIFY(ask(fw, "AT+PVTCMD=TX_POWER_B,-3", ok));
    QVERIFY(ask(fw, "AT+PVTCMD=TX_POWER_GN,7", ok));
    QVERIFY(ask(fw, "AT+ATE_OK?", ok));
    // The host reads each key up to the next "\r\n".
    const QByteArray rx = fw.received();
    const QList<QPair<QByteArray, int>> keys = {{"+XTAL_COMP:", 12},
                                                {"+TXPOWER_COMP:", 5},
                                                {"+TXPOWER_B_COMP:", -3},
                                                {"+TXPOWER_GN_COMP:", 7}};
    for (const auto &key : keys) {
        const int at = rx.indexOf(key.first);
        QVERIFY(at >= 0);
        const int from = at + key.first.size();
        bool parsed = false;
        QCOMPARE(rx.mid(from, rx.indexOf("\r\n", from) - from).toInt(&parsed), key.second);
        QVERIFY(parsed);
    }
    QVERIFY(
        ask(fw, "AT+PVTCMD=XTAL_CAP,abc", [](const QByteArray &r) { return r.contains("ERROR"); }));
    QVERIFY(ask(fw, "AT+NOPE", [](const QByteArray &r) { return r.contains("ERROR"); }));
}

QTEST_GUILESS_MAIN(TstSimAnswers)
#include "tst_simanswers.moc"
