// The ramcode's answer rules and the CRC, as pure functions of the bytes
// received since a command was sent.
#include "protocol/answerrules.h"
#include "protocol/crc16.h"

#include <QtTest>

#include <functional>

using namespace answerRules;

Q_DECLARE_METATYPE(AnswerState)

class tst_AnswerRules : public QObject
{
    Q_OBJECT

private slots:
    void crcOfKnownData();
    void confirm_data();
    void confirm();
    void passFail_data();
    void passFail();
    void fileCount_data();
    void fileCount();
    void flashUid();
    void efuseWord();
    void lockState();
    void gpioValue_data();
    void gpioValue();
    void taggedValue_data();
    void taggedValue();
    void macLine_data();
    void macLine();
    void hexDump_data();
    void hexDump();
    void checkedDump_data();
    void checkedDump();
    void rfLines();
    void judgedOnlyWhenWhole();
    void macLineEndingLate();
};

void tst_AnswerRules::crcOfKnownData()
{
    // The check value of CRC-16/XMODEM.
    QCOMPARE(crc16(QByteArray("123456789")), uint16_t(0x31c3));
    QCOMPARE(crc16(QByteArray(128, '\0')), uint16_t(0x0000));
    QCOMPARE(crc16(QByteArray()), uint16_t(0x0000));
    QCOMPARE(crc16(QByteArray(1, '\x01')), uint16_t(0x1021));
    QCOMPARE(crc16(QByteArray("\xff", 1)), uint16_t(0x1ef0));
    // Bit by bit, the way the polynomial is defined, over a buffer with
    // every byte value.
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i));
    uint16_t reference = 0;
    for (char c : all) {
        reference ^= uint16_t(uint8_t(c) << 8);
        for (int bit = 0; bit < 8; ++bit)
            reference = (reference & 0x8000) ? uint16_t((reference << 1) ^ 0x1021)
                                             : uint16_t(reference << 1);
    }
    QCOMPARE(crc16(all), reference);
}

void tst_AnswerRules::confirm_data()
{
    QTest::addColumn<QByteArray>("buf");
    QTest::addColumn<AnswerState>("state");
    QTest::newRow("only pppp is one byte short") << QByteArray("pppp") << AnswerState::Pending;
    QTest::newRow("pppp and one more") << QByteArray("pppp\r") << AnswerState::Accepted;
    QTest::newRow("marker anywhere") << QByteArray("xx\r\npppp") << AnswerState::Accepted;
    QTest::newRow("no marker") << QByteArray("ffff\r\nabc") << AnswerState::Pending;
}

void tst_AnswerRules::confirm()
{
    QFETCH(QByteArray, buf);
    QFETCH(AnswerState, state);
    QCOMPARE(answerRules::confirm(buf), state);
}

void tst_AnswerRules::passFail_data()
{
    QTest::addColumn<QByteArray>("buf");
    QTest::addColumn<AnswerState>("state");
    QTest::newRow("empty") << QByteArray() << AnswerState::Pending;
    QTest::newRow("pass") << QByteArray("ferase\r\npppp\r\n") << AnswerState::Accepted;
    QTest::newRow("fail") << QByteArray("\r\nffff\r\n") << AnswerState::Rejected;
    QTest::newRow("both count as pass")
        << QByteArray("\r\nffff\r\n\r\npppp\r\n") << AnswerState::Accepted;
    QTest::newRow("bare pppp is not the marker") << QByteArray("pppp\r\n") << AnswerState::Pending;
    QTest::newRow("marker without its line end")
        << QByteArray("\r\npppp\r") << AnswerState::Pending;
}

void tst_AnswerRules::passFail()
{
    QFETCH(QByteArray, buf);
    QFETCH(AnswerState, state);
    QCOMPARE(answerRules::passFail(buf), state);
}

void tst_AnswerRules::fileCount_data()
{
    QTest::addColumn<QByteArray>("buf");
    QTest::addColumn<AnswerState>("state");
    QTest::addColumn<uint>("count");
    QTest::newRow("count with line end")
        << QByteArray("\r\nfc:2\r\n") << AnswerState::Accepted << 2u;
    QTest::newRow("only line end at 0") << QByteArray("\r\nfc:2") << AnswerState::Pending << 99u;
    QTest::newRow("count whose line has not ended")
        << QByteArray("x\r\nfc:17") << AnswerState::Pending << 99u;
    QTest::newRow("up to the last line end")
        << QByteArray("\r\nfc:3\r\npppp\r\n") << AnswerState::Accepted << 0u;
    QTest::newRow("not a number reads 0")
        << QByteArray("\r\nfc:abc\r\n") << AnswerState::Accepted << 0u;
    QTest::newRow("no tag") << QByteArray("fc:3\r\n") << AnswerState::Pending << 99u;
}

void tst_AnswerRules::fileCount()
{
    QFETCH(QByteArray, buf);
    QFETCH(AnswerState, state);
    QFETCH(uint, count);
    uint32_t out = 99;
    QCOMPARE(answerRules::fileCount(buf, out), state);
    QCOMPARE(out, uint32_t(count));
}

void tst_AnswerRules::flashUid()
{
    const QByteArray uid = "0x0123456789abcdef0123456789ABCDEF";
    QCOMPARE(uid.size(), 34);
    QString out;
    // 44 bytes from the marker to the end: one short of arriving.
    QByteArray buf = QByteArray(6, '.') + "flash uid:" + uid;
    QCOMPARE(buf.size(), 50);
    QVERIFY(!flashUidArrived(buf));
    QCOMPARE(answerRules::flashUid(buf, out), AnswerState::Pending);
    QVERIFY(out.isEmpty());
    buf += "\r";
    QVERIFY(flashUidArrived(buf));
    // Arrived, but its line has not ended: more of the answer is on its way.
    QCOMPARE(answerRules::flashUid(buf, out), AnswerState::Pending);
    buf += "\n";
    QCOMPARE(answerRules::flashUid(buf, out), AnswerState::Accepted);
    QCOMPARE(out, QString::fromLatin1(uid));

    // A marker early but fewer than 50 bytes in all is not enough.
    QVERIFY(!flashUidArrived("flash uid:" + uid + "\r\n"));

    // Anything but "0x" and 32 hex digits is malformed, and the output keeps
    // what it had: a digit that is no hex, a 0x00 that cuts the UID short
    // (what line noise makes of it), or comes right after the marker.
    const QByteArray head = QByteArray(6, '.') + "flash uid:";
    const QList<QByteArray> malformed = {
        head + uid.left(33) + "z\r\n",
        head + uid.left(20) + "g" + uid.mid(21) + "\r\n",
        head + uid.left(5) + '\0' + uid.mid(6) + "\r\n",
        head + QByteArray(40, '\0') + "\r\n",
        head + "1x" + uid.mid(2) + "\r\n",
    };
    for (const QByteArray &bad : malformed) {
        QCOMPARE(answerRules::flashUid(bad, out), AnswerState::Malformed);
        QCOMPARE(out, QString::fromLatin1(uid));
    }
}

void tst_AnswerRules::efuseWord()
{
    QString out = "old";
    const QByteArray head = "efuse_read 3\r\nefuse data:";
    QCOMPARE(answerRules::efuseWord(head + "0x1234abcd\r\n", out), AnswerState::Accepted);
    QCOMPARE(out, QStringLiteral("0x1234abcd"));
    // Under 30 bytes is not looked at.
    out = "old";
    QCOMPARE(answerRules::efuseWord("efuse data:0x1234abcd", out), AnswerState::Pending);
    QCOMPARE(out, QStringLiteral("old"));
    // The marker at the very end of 30 bytes: the word has not arrived.
    const QByteArray atEnd = QByteArray(19, '.') + "efuse data:";
    QCOMPARE(atEnd.size(), 30);
    QCOMPARE(answerRules::efuseWord(atEnd, out), AnswerState::Pending);
    QCOMPARE(answerRules::efuseWord(atEnd + "0x12", out), AnswerState::Pending);
    QCOMPARE(out, QStringLiteral("old"));
    // Anything but "0x" and 8 hex digits is malformed, the output kept.
    out = "old";
    QCOMPARE(answerRules::efuseWord(head + "1234abcd00\r\n", out), AnswerState::Malformed);
    QCOMPARE(answerRules::efuseWord(head + "0x1234abcg\r\n", out), AnswerState::Malformed);
    QCOMPARE(answerRules::efuseWord(head + "0x12" + '\0' + "34abcd\r\n", out),
             AnswerState::Malformed);
    QCOMPARE(out, QStringLiteral("old"));
}

void tst_AnswerRules::lockState()
{
    uint32_t state = 7;
    QCOMPARE(answerRules::lockState("sta:1\r\npppp", state), AnswerState::Accepted);
    QCOMPARE(state, 1u);
    QCOMPARE(answerRules::lockState("sta:0\r\nsta:1\r\npppp", state), AnswerState::Accepted);
    QCOMPARE(state, 0u);
    state = 7;
    QCOMPARE(answerRules::lockState("sta:1", state), AnswerState::Pending);
    QCOMPARE(answerRules::lockState("\r\npppp\r\n", state), AnswerState::Pending);
    QCOMPARE(state, 7u);
}

void tst_AnswerRules::gpioValue_data()
{
    QTest::addColumn<QByteArray>("buf");
    QTest::addColumn<AnswerState>("state");
    QTest::addColumn<int>("value");
    QTest::newRow("value") << QByteArray("gpio val:0x1\r\npppp") << AnswerState::Accepted << 1;
    QTest::newRow("nine") << QByteArray("gpio val:0x9\r\npppp") << AnswerState::Accepted << 9;
    QTest::newRow("pppp without the value fails")
        << QByteArray("\r\npppp\r\n") << AnswerState::Rejected << -5;
    QTest::newRow("whole answer without the value fails")
        << QByteArray("pppp\r\ngpio val:0x") << AnswerState::Rejected << -5;
    QTest::newRow("no pppp yet") << QByteArray("gpio val:0x1") << AnswerState::Pending << -5;
    QTest::newRow("a 0x00 for the level") << QByteArray("gpio val:0x") + '\0' + "\r\npppp\r\n"
                                          << AnswerState::Malformed << -5;
    QTest::newRow("a letter for the level")
        << QByteArray("gpio val:0xa\r\npppp\r\n") << AnswerState::Malformed << -5;
}

void tst_AnswerRules::gpioValue()
{
    QFETCH(QByteArray, buf);
    QFETCH(AnswerState, state);
    QFETCH(int, value);
    int32_t out = -5;
    QCOMPARE(answerRules::gpioValue(buf, out), state);
    QCOMPARE(out, value);
}

void tst_AnswerRules::taggedValue_data()
{
    QTest::addColumn<QByteArray>("buf");
    QTest::addColumn<QByteArray>("tag");
    QTest::addColumn<AnswerState>("state");
    QTest::addColumn<int>("value");
    QTest::newRow("negative") << QByteArray("xtal_cap:-3\r\npppp") << QByteArray("xtal_cap:")
                              << AnswerState::Accepted << -3;
    QTest::newRow("b") << QByteArray("b:12\r\npppp\r\n") << QByteArray("b:")
                       << AnswerState::Accepted << 12;
    QTest::newRow("gn") << QByteArray("gn:0\r\npppp\r\n") << QByteArray("gn:")
                        << AnswerState::Accepted << 0;
    QTest::newRow("no tag fails at once")
        << QByteArray("\r\npppp\r\n") << QByteArray("xtal_cap:") << AnswerState::Rejected << 77;
    QTest::newRow("not a number fails") << QByteArray("xtal_cap:abc\r\npppp")
                                        << QByteArray("xtal_cap:") << AnswerState::Rejected << 0;
    QTest::newRow("value without its CR is incomplete")
        << QByteArray("pppp xtal_cap:-3") << QByteArray("xtal_cap:") << AnswerState::Pending << 77;
    QTest::newRow("four bytes are too few")
        << QByteArray("pppp") << QByteArray("b:") << AnswerState::Pending << 77;
}

void tst_AnswerRules::taggedValue()
{
    QFETCH(QByteArray, buf);
    QFETCH(QByteArray, tag);
    QFETCH(AnswerState, state);
    QFETCH(int, value);
    int32_t out = 77;
    QCOMPARE(answerRules::taggedValue(buf, tag, out), state);
    QCOMPARE(out, value);
}

void tst_AnswerRules::macLine_data()
{
    QTest::addColumn<QByteArray>("buf");
    QTest::addColumn<bool>("strict");
    QTest::addColumn<AnswerState>("state");
    QTest::addColumn<QString>("mac");
    const QByteArray good = "get_m_local_mac\n00:11:22:33:44:55\r\npppp\r\n";
    QTest::newRow("strict") << good << true << AnswerState::Accepted
                            << QStringLiteral("00:11:22:33:44:55\r\n");
    QTest::newRow("lenient") << good << false << AnswerState::Accepted
                             << QStringLiteral("00:11:22:33:44:55\r\n");
    const QByteArray none = "get_mac\nno mac\r\npppp\r\n";
    QTest::newRow("strict keeps waiting")
        << none << true << AnswerState::Malformed << QStringLiteral("old");
    QTest::newRow("lenient accepts, output unchanged")
        << none << false << AnswerState::Accepted << QStringLiteral("old");
    QTest::newRow("lenient: an empty line is no MAC either")
        << QByteArray("get_mac\n\r\npppp\r\n") << false << AnswerState::Accepted
        << QStringLiteral("old");
    QTest::newRow("upper-case digits")
        << QByteArray("x\nA0:B1:C2:D3:E4:F5\npppp") << true << AnswerState::Accepted
        << QStringLiteral("A0:B1:C2:D3:E4:F5\n");
    // Five ":" are not enough: six groups of two hex digits, nothing else.
    QTest::newRow("six colons is no MAC") << QByteArray("x\n0:1:2:3:4:5:6\npppp") << true
                                          << AnswerState::Malformed << QStringLiteral("old");
    const QByteArray noHex = "x\n0a:1b:2c:3d:4e:zz\r\npppp\r\n";
    QTest::newRow("strict: a group that is no hex")
        << noHex << true << AnswerState::Malformed << QStringLiteral("old");
    QTest::newRow("lenient: a group that is no hex")
        << noHex << false << AnswerState::Malformed << QStringLiteral("old");
    const QByteArray cut = QByteArray("x\n0a:1b") + '\0' + ":2c:3d:4e:5f\r\npppp\r\n";
    QTest::newRow("strict: cut by a 0x00")
        << cut << true << AnswerState::Malformed << QStringLiteral("old");
    QTest::newRow("lenient: cut by a 0x00")
        << cut << false << AnswerState::Malformed << QStringLiteral("old");
    QTest::newRow("lenient: a 0x00 for the whole line")
        << QByteArray("x\n") + '\0' + "\r\npppp\r\n"
        << false << AnswerState::Malformed << QStringLiteral("old");
    QTest::newRow("more than the address on its line")
        << QByteArray("x\n0a:1b:2c:3d:4e:5f x\r\npppp") << false << AnswerState::Malformed
        << QStringLiteral("old");
    // A line counts only with its line end: both keep waiting for one (the
    // lenient read takes it as it stands only at its bound, macLineEndingLate).
    QTest::newRow("strict: line without its end") << QByteArray("pppp\n00:11:22:33:44:55") << true
                                                  << AnswerState::Pending << QStringLiteral("old");
    QTest::newRow("lenient: line without its end") << QByteArray("pppp\n00:11:22:33:44:55") << false
                                                   << AnswerState::Pending << QStringLiteral("old");
    QTest::newRow("strict: no line at all")
        << QByteArray("ppppp") << true << AnswerState::Pending << QStringLiteral("old");
    QTest::newRow("lenient: no line at all")
        << QByteArray("ppppp") << false << AnswerState::Pending << QStringLiteral("old");
}

void tst_AnswerRules::macLine()
{
    QFETCH(QByteArray, buf);
    QFETCH(bool, strict);
    QFETCH(AnswerState, state);
    QFETCH(QString, mac);
    QString out = QStringLiteral("old");
    QCOMPARE(answerRules::macLine(buf, strict, out), state);
    QCOMPARE(out, mac);
}

void tst_AnswerRules::hexDump_data()
{
    QTest::addColumn<QByteArray>("buf");
    QTest::addColumn<uint>("length");
    QTest::addColumn<AnswerState>("state");
    QTest::addColumn<QString>("dump");
    QTest::newRow("one byte") << QByteArray("\r\nab 12 34 ") << 1u << AnswerState::Accepted
                              << QStringLiteral("ab 12 34");
    QTest::newRow("one byte, one char short")
        << QByteArray("\r\nab 12 34") << 1u << AnswerState::Pending << QString();
    QTest::newRow("one byte, one char long")
        << QByteArray("\r\nab 12 34 \r") << 1u << AnswerState::Pending << QString();
    QTest::newRow("text ends at a 0x00") << QByteArray("\r\nab 12 34 \0junk", 15) << 1u
                                         << AnswerState::Accepted << QStringLiteral("ab 12 34");
    QTest::newRow("no line end") << QByteArray("ab 12 34 ") << 1u << AnswerState::Pending
                                 << QString();
    QTest::newRow("shorter than announced")
        << QByteArray("\r\n00 01 ") << 4u << AnswerState::Pending << QString();
    QTest::newRow("zero bytes: only the CRC")
        << QByteArray("\n00 00 ") << 0u << AnswerState::Accepted << QStringLiteral("00 00");
    // Found by fuzzing: the length is one of characters; a non-ASCII byte
    // pair is one character, and the dump handed back keeps its promised
    // length either way.
    QTest::newRow("a two-byte character counts once")
        << QByteArray("\r\nab 12 3\xc3\xa9 ") << 1u << AnswerState::Accepted
        << QStringLiteral("ab 12 3\u00e9");
    QTest::newRow("one character short in bytes that look complete")
        << QByteArray("\r\nab 12 \xc3\xa9 ") << 1u << AnswerState::Pending << QString();
}

void tst_AnswerRules::hexDump()
{
    QFETCH(QByteArray, buf);
    QFETCH(uint, length);
    QFETCH(AnswerState, state);
    QFETCH(QString, dump);
    QString out;
    QCOMPARE(answerRules::hexDump(buf, length, out), state);
    QCOMPARE(out, dump);
}

// The read that prints its dump takes it only when its bytes are bytes and
// its CRC matches: a flipped bit or a character that is no hex digit is no
// answer.
void tst_AnswerRules::checkedDump_data()
{
    QTest::addColumn<QByteArray>("buf");
    QTest::addColumn<AnswerState>("state");
    QTest::addColumn<QString>("dump");
    const QByteArray data("\x9f\x41\xbd\x5b", 4);
    const uint16_t crc = crc16(data);
    auto text = [](const QByteArray &bytes) { return bytes.toHex(' '); };
    const QByteArray crcText = text(QByteArray(1, char(crc >> 8)) + char(crc & 0xff));
    QTest::newRow("as sent") << "\r\n" + text(data) + " " + crcText + " " << AnswerState::Accepted
                             << QString::fromLatin1("9f 41 bd 5b " + crcText);
    QTest::newRow("one bit flipped in the data")
        << "\r\n8f 41 bd 5b " + crcText + " " << AnswerState::Malformed << QString();
    QTest::newRow("one bit flipped in the CRC")
        << "\r\n9f 41 bd 5b " + text(QByteArray(1, char(crc >> 8)) + char((crc & 0xff) ^ 1)) + " "
        << AnswerState::Malformed << QString();
    QTest::newRow("a digit that is no hex")
        << "\r\n9f 41 bd fg " + crcText + " " << AnswerState::Malformed << QString();
    QTest::newRow("a sign in place of a digit")
        << "\r\n9f 41 bd +b " + crcText + " " << AnswerState::Malformed << QString();
    QTest::newRow("not whole yet")
        << "\r\n9f 41 bd 5b " + crcText << AnswerState::Pending << QString();
}

void tst_AnswerRules::checkedDump()
{
    QFETCH(QByteArray, buf);
    QFETCH(AnswerState, state);
    QFETCH(QString, dump);
    QString out;
    QCOMPARE(answerRules::checkedDump(buf, 4, out), state);
    QCOMPARE(out, dump);
}

void tst_AnswerRules::rfLines()
{
    QByteArray rx;
    for (int i = 0; i < 19; ++i)
        rx += "freq=" + QByteArray::number(i) + ",rssi=-40\r\n";
    QStringList lines;
    // 19 "freq=" lines: not enough.
    QCOMPARE(slaveRxLines(rx, lines), AnswerState::Pending);
    QVERIFY(lines.isEmpty());
    rx += "freq=19,rssi=-41\r\nrssi=-1 stray\r\n";
    QCOMPARE(slaveRxLines(rx, lines), AnswerState::Accepted);
    QCOMPARE(lines.size(), 21);
    QCOMPARE(lines.first(), QStringLiteral("freq=0,rssi=-40\r"));
    QCOMPARE(lines.last(), QStringLiteral("rssi=-1 stray\r"));

    // Twenty "rssi:" lines per device; the count of lines matters too.
    QByteArray tx;
    for (int i = 0; i < 39; ++i)
        tx += "rssi:-" + QByteArray::number(30 + i % 5) + "\n";
    lines.clear();
    QCOMPARE(masterTxLines(tx, 2, lines), AnswerState::Pending);
    QCOMPARE(masterTxLines(tx, 1, lines), AnswerState::Accepted);
    QCOMPARE(lines.size(), 39);
    lines.clear();
    tx += "rssi:-30\n";
    QCOMPARE(masterTxLines(tx, 2, lines), AnswerState::Accepted);
    QCOMPARE(lines.size(), 40);
    // The text ends at a 0x00, and a line counts only with its "\n".
    QCOMPARE(splitLines(QByteArray("a\nb\0c\nd", 7)), QStringList({"a"}));
    QCOMPARE(splitLines(QByteArray("a\n\nb\n")), QStringList({"a", "", "b"}));
}

namespace {

// An answer as it stands after a pause: quiet, and complete once its last
// line has ended, as the buffer says after a pause between lines.
Answer paused(const QByteArray &bytes)
{
    return Answer(bytes, true, bytes.endsWith('\n'));
}

QByteArray dumpOf(const QByteArray &data)
{
    const uint16_t crc = crc16(data);
    const QByteArray all = data + char(crc >> 8) + char(crc & 0xff);
    return "\r\n" + all.toHex(' ') + ' ';
}

} // namespace

// Firmware that pauses anywhere (between its lines, or between any two
// bytes as a slow chip does): no rule takes an answer before its last byte
// (a late piece would then be read as the next command's answer), and
// each takes the whole answer with the value it carries.
void tst_AnswerRules::judgedOnlyWhenWhole()
{
    struct Case
    {
        const char *name;
        QByteArray answer;
        AnswerState whole;
        std::function<AnswerState(const Answer &, QString &)> rule;
        QString value;
    };
    const QByteArray uid = "0x0123456789abcdef0123456789abcdef";
    const QByteArray dumpData("\x10\x11\x12\x13", 4);
    QByteArray rx;
    for (int i = 0; i < 20; ++i)
        rx += "freq=1.5,rssi=-40\r\n";
    auto number = [](int32_t v) { return QString::number(v); };
    const QList<Case> cases = {
        {"confirm", "\r\npppp\r\n", AnswerState::Accepted,
         [](const Answer &a, QString &) { return answerRules::confirm(a); }, QString()},
        {"confirm after data", "\r\ngpio val:0x1\r\npppp\r\n", AnswerState::Accepted,
         [](const Answer &a, QString &) { return answerRules::confirm(a); }, QString()},
        {"pass", "\r\npppp\r\n", AnswerState::Accepted,
         [](const Answer &a, QString &) { return answerRules::passFail(a); }, QString()},
        {"fail", "\r\nffff\r\n", AnswerState::Rejected,
         [](const Answer &a, QString &) { return answerRules::passFail(a); }, QString()},
        {"file count", "\r\nfc:12\r\n", AnswerState::Accepted,
         [](const Answer &a, QString &v) {
             uint32_t n = 0;
             const AnswerState s = answerRules::fileCount(a, n);
             v = QString::number(n);
             return s;
         },
         QStringLiteral("12")},
        {"flash uid", "\r\nflash uid:" + uid + "\r\npppp\r\n", AnswerState::Accepted,
         [](const Answer &a, QString &v) { return answerRules::flashUid(a, v); },
         QString::fromLatin1(uid)},
        {"efuse word", "\r\nefuse data:0x1234abcd\r\npppp\r\n", AnswerState::Accepted,
         [](const Answer &a, QString &v) { return answerRules::efuseWord(a, v); },
         QStringLiteral("0x1234abcd")},
        {"lock state", "\r\nsta:1\r\npppp\r\n", AnswerState::Accepted,
         [&](const Answer &a, QString &v) {
             uint32_t s = 9;
             const AnswerState r = answerRules::lockState(a, s);
             v = number(int32_t(s));
             return r;
         },
         QStringLiteral("1")},
        {"gpio value", "\r\ngpio val:0x1\r\npppp\r\n", AnswerState::Accepted,
         [&](const Answer &a, QString &v) {
             int32_t n = 9;
             const AnswerState r = answerRules::gpioValue(a, n);
             v = number(n);
             return r;
         },
         QStringLiteral("1")},
        {"tagged value", "\r\nxtal_cap:-13\r\npppp\r\n", AnswerState::Accepted,
         [&](const Answer &a, QString &v) {
             int32_t n = 9;
             const AnswerState r = answerRules::taggedValue(a, "xtal_cap:", n);
             v = number(n);
             return r;
         },
         QStringLiteral("-13")},
        {"mac, strict", "\r\n02:54:4b:00:00:10\r\npppp\r\n", AnswerState::Accepted,
         [](const Answer &a, QString &v) { return answerRules::macLine(a, true, v); },
         QStringLiteral("02:54:4b:00:00:10\r\n")},
        {"mac, lenient", "\r\n02:54:4b:00:00:10\r\npppp\r\n", AnswerState::Accepted,
         [](const Answer &a, QString &v) { return answerRules::macLine(a, false, v); },
         QStringLiteral("02:54:4b:00:00:10\r\n")},
        {"hex dump", dumpOf(dumpData), AnswerState::Accepted,
         [](const Answer &a, QString &v) { return answerRules::checkedDump(a, 4, v); },
         QString::fromLatin1(dumpOf(dumpData).mid(2).chopped(1))},
        {"rx lines", rx, AnswerState::Accepted,
         [](const Answer &a, QString &v) {
             QStringList lines;
             const AnswerState s = answerRules::slaveRxLines(a, lines);
             v = QString::number(lines.size());
             return s;
         },
         QStringLiteral("20")},
    };
    for (const Case &c : cases) {
        for (int size = 1; size < c.answer.size(); ++size) {
            QString value;
            const AnswerState early = c.rule(paused(c.answer.left(size)), value);
            QVERIFY2(early == AnswerState::Pending || early == AnswerState::Malformed,
                     qPrintable(QStringLiteral("%1: judged after %2 of %3 bytes")
                                    .arg(QLatin1String(c.name))
                                    .arg(size)
                                    .arg(c.answer.size())));
        }
        QString value;
        QCOMPARE(c.rule(paused(c.answer), value), c.whole);
        if (c.whole == AnswerState::Accepted)
            QCOMPARE(value, c.value);
    }
}

// "pppp" is in but the MAC line has not ended (its end is late): both reads
// wait for it. At their bound the lenient read takes the answer as it
// stands, the MAC unchanged; the strict one does not.
void tst_AnswerRules::macLineEndingLate()
{
    const QByteArray early = "pppp\r\n02:54:4b:00:00:10";
    QString mac = QStringLiteral("old");
    QCOMPARE(answerRules::macLine(paused(early), false, mac), AnswerState::Pending);
    QCOMPARE(answerRules::macLine(paused(early + "\r\n"), false, mac), AnswerState::Accepted);
    QCOMPARE(mac, QStringLiteral("02:54:4b:00:00:10\r\n"));

    Answer atBound = paused(early);
    atBound.last = true;
    mac = QStringLiteral("old");
    QCOMPARE(answerRules::macLine(atBound, false, mac), AnswerState::Accepted);
    QCOMPARE(mac, QStringLiteral("old"));
    QCOMPARE(answerRules::macLine(atBound, true, mac), AnswerState::Pending);
    // Without "pppp" even the bound takes nothing.
    Answer noConfirmation = paused("\r\n02:54:4b");
    noConfirmation.last = true;
    QCOMPARE(answerRules::macLine(noConfirmation, false, mac), AnswerState::Pending);
}

QTEST_GUILESS_MAIN(tst_AnswerRules)
#include "tst_answerrules.moc"
