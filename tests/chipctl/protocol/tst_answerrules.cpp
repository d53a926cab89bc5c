// The ramcode's answer rules and the CRC, as pure functions of the bytes
// received since a command was sent.
#include "protocol/answerrules.h"
#include "protocol/crc16.h"

#include <QtTest>

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
    void rfLines();
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
    QCOMPARE(answerRules::flashUid(buf, out), AnswerState::Accepted);
    QCOMPARE(out, QString::fromLatin1(uid));

    // A marker early but fewer than 50 bytes in all is not enough.
    QVERIFY(!flashUidArrived("flash uid:" + uid + "\r\n"));

    // A value ending in a non-hex character keeps the wait going, with the
    // output overwritten.
    QByteArray bad = QByteArray(6, '.') + "flash uid:" + uid.left(33) + "z\r\n";
    QCOMPARE(answerRules::flashUid(bad, out), AnswerState::Pending);
    QCOMPARE(out, QString::fromLatin1(uid.left(33) + "z"));

    // A 0x00 right after the marker: empty text, never accepted, no crash.
    QByteArray nul = QByteArray(6, '.') + "flash uid:" + QByteArray(40, '\0');
    QCOMPARE(answerRules::flashUid(nul, out), AnswerState::Pending);
    QVERIFY(out.isEmpty());
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
    // A word that does not start with "0x" keeps the wait going.
    QCOMPARE(answerRules::efuseWord(head + "1234abcd00", out), AnswerState::Pending);
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
        << none << true << AnswerState::Pending << QStringLiteral("old");
    QTest::newRow("lenient accepts, output unchanged")
        << none << false << AnswerState::Accepted << QStringLiteral("old");
    QTest::newRow("six colons is no MAC") << QByteArray("x\n0:1:2:3:4:5:6\npppp") << true
                                          << AnswerState::Pending << QStringLiteral("old");
    // A line counts only with its line end: strict keeps waiting for one,
    // lenient takes the whole answer without it and keeps the output.
    QTest::newRow("strict: line without its end") << QByteArray("pppp\n00:11:22:33:44:55") << true
                                                  << AnswerState::Pending << QStringLiteral("old");
    QTest::newRow("lenient: line without its end")
        << QByteArray("pppp\n00:11:22:33:44:55") << false << AnswerState::Accepted
        << QStringLiteral("old");
    QTest::newRow("strict: no line at all")
        << QByteArray("ppppp") << true << AnswerState::Pending << QStringLiteral("old");
    QTest::newRow("lenient: no line at all")
        << QByteArray("ppppp") << false << AnswerState::Accepted << QStringLiteral("old");
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

QTEST_GUILESS_MAIN(tst_AnswerRules)
#include "tst_answerrules.moc"
