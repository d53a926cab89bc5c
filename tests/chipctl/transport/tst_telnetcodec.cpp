// The telnet framing, the option negotiation and the COM-PORT-OPTION
// requests of the network serial port, byte for byte.
#include "comportoption.h"
#include "telnetcodec.h"
#include "telnetoptions.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

struct Decoded
{
    QByteArray data;
    QList<TelnetCodec::Event> events;
};

// Decodes `wire` in pieces of `step` bytes (0: all at once).
Decoded decodeIn(const QByteArray &wire, int step)
{
    TelnetCodec codec;
    Decoded out;
    if (step <= 0) {
        codec.decode(wire, out.data, out.events);
        return out;
    }
    for (int i = 0; i < wire.size(); i += step)
        codec.decode(wire.mid(i, step), out.data, out.events);
    return out;
}

QString describe(const QList<TelnetCodec::Event> &events)
{
    QStringList parts;
    for (const TelnetCodec::Event &e : events) {
        if (e.kind == TelnetCodec::Event::Negotiation)
            parts << QStringLiteral("neg %1 %2").arg(e.verb).arg(e.option);
        else
            parts << QStringLiteral("sub %1 %2").arg(e.option).arg(QString(e.payload.toHex()));
    }
    return parts.join(QLatin1String("; "));
}

} // namespace

class TestTelnetCodec : public QObject
{
    Q_OBJECT

private slots:
    void escapeDoublesEveryIac();
    void decodeUndoublesDataSplitAnywhere();
    void negotiationsAndSubnegotiationsSplitAnywhere_data();
    void negotiationsAndSubnegotiationsSplitAnywhere();
    void malformedSequencesAreDropped_data();
    void malformedSequencesAreDropped();
    void overlongSubnegotiationIsDroppedWhole();
    void randomBytesDecodeTheSameInAnySplit();

    void comPortRequestsOnTheWire();
    void baudRateAnswerIsRead();

    void answersSerialServerGreetingWithoutLoops();
    void answersOffersOfAServerThatSpeaksFirst();
    void refusalsAndUnknownOptions();
};

void TestTelnetCodec::escapeDoublesEveryIac()
{
    QCOMPARE(TelnetCodec::escape(hex("41ff42ffff")), hex("41ffff42ffffffff"));
    QCOMPARE(TelnetCodec::escape(hex("000d0a")), hex("000d0a"));
    QCOMPARE(TelnetCodec::escape(QByteArray()), QByteArray());
    QCOMPARE(TelnetCodec::subnegotiation(44, hex("010000ffff")), hex("fffa2c010000ffffffffff f0"));
}

void TestTelnetCodec::decodeUndoublesDataSplitAnywhere()
{
    const QByteArray data = hex("00ff0d000d0aff41ffff7f80fe");
    const QByteArray wire = TelnetCodec::escape(data);
    for (int split = 0; split <= wire.size(); ++split) {
        TelnetCodec codec;
        Decoded out;
        codec.decode(wire.left(split), out.data, out.events);
        codec.decode(wire.mid(split), out.data, out.events);
        QVERIFY2(out.data == data, qPrintable(QStringLiteral("split at %1").arg(split)));
        QVERIFY(out.events.isEmpty());
    }
    QCOMPARE(decodeIn(wire, 1).data, data);
}

void TestTelnetCodec::negotiationsAndSubnegotiationsSplitAnywhere_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("events");

    QTest::newRow("greeting between data")
        << hex("41fffb03fffd2c42") << QByteArray("AB") << QStringLiteral("neg 251 3; neg 253 44");
    QTest::newRow("baud 65535 answer with doubled bytes")
        << hex("fffa2c650000ffffffffff f0") << QByteArray() << QStringLiteral("sub 44 650000ffff");
    QTest::newRow("modem state notification inside a banner")
        << hex("4d6172fffa2c6b30fff03134") << QByteArray("Mar14") << QStringLiteral("sub 44 6b30");
    QTest::newRow("data 0xFF right after a subnegotiation")
        << hex("fffa2c6500000960fff0ffff0d00") << hex("ff0d00")
        << QStringLiteral("sub 44 6500000960");
}

void TestTelnetCodec::negotiationsAndSubnegotiationsSplitAnywhere()
{
    QFETCH(QByteArray, wire);
    QFETCH(QByteArray, data);
    QFETCH(QString, events);
    for (int step = 0; step <= wire.size(); ++step) {
        const Decoded out = decodeIn(wire, step);
        QVERIFY2(out.data == data, qPrintable(QStringLiteral("step %1").arg(step)));
        QCOMPARE(describe(out.events), events);
    }
}

void TestTelnetCodec::malformedSequencesAreDropped_data()
{
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("events");

    QTest::newRow("SE without SB") << hex("41fff042") << QByteArray("AB") << QString();
    QTest::newRow("IAC before a plain byte") << hex("41ff4142") << QByteArray("AB") << QString();
    QTest::newRow("one-byte commands") << hex("41fff1fff9fff642") << QByteArray("AB") << QString();
    QTest::newRow("empty subnegotiation") << hex("41fffafff042") << QByteArray("AB") << QString();
    QTest::newRow("subnegotiation cut by a negotiation")
        << hex("fffa2c6b00fffb0141") << QByteArray("A") << QStringLiteral("neg 251 1");
    QTest::newRow("subnegotiation cut by a stray byte")
        << hex("fffa2c6b00ff4141") << QByteArray("A") << QString();
    QTest::newRow("IAC at the very end") << hex("4142ff") << QByteArray("AB") << QString();
    QTest::newRow("verb at the very end") << hex("4142fffd") << QByteArray("AB") << QString();
    QTest::newRow("unterminated subnegotiation")
        << hex("41fffa2c0100") << QByteArray("A") << QString();
}

void TestTelnetCodec::malformedSequencesAreDropped()
{
    QFETCH(QByteArray, wire);
    QFETCH(QByteArray, data);
    QFETCH(QString, events);
    for (int step = 0; step <= wire.size(); ++step) {
        const Decoded out = decodeIn(wire, step);
        QVERIFY2(
            out.data == data,
            qPrintable(QStringLiteral("step %1: %2").arg(step).arg(QString(out.data.toHex()))));
        QCOMPARE(describe(out.events), events);
    }
}

void TestTelnetCodec::overlongSubnegotiationIsDroppedWhole()
{
    QByteArray wire = hex("fffa2c");
    wire += QByteArray(10000, '\x6b');
    wire += hex("ffffff f0");
    wire += "AB";
    wire += hex("fffa2c650001c200fff0");
    const Decoded out = decodeIn(wire, 7);
    QCOMPARE(out.data, QByteArray("AB"));
    QCOMPARE(describe(out.events), QStringLiteral("sub 44 650001c200"));

    // The longest subnegotiation still kept.
    QByteArray longest = hex("fffa2c");
    longest += QByteArray(TelnetCodec::maxSubnegotiation, 'x');
    longest += hex("fff0");
    QCOMPARE(decodeIn(longest, 0).events.size(), 1);
    QCOMPARE(decodeIn(longest, 0).events.at(0).payload.size(), TelnetCodec::maxSubnegotiation);
}

void TestTelnetCodec::randomBytesDecodeTheSameInAnySplit()
{
    QRandomGenerator random(7160);
    for (int round = 0; round < 200; ++round) {
        // Biased towards the telnet command bytes, so that sequences of
        // every kind and every malformation occur.
        QByteArray wire;
        const int size = int(random.bounded(1, 300));
        for (int i = 0; i < size; ++i) {
            const quint32 pick = random.bounded(10);
            wire += char(pick < 4 ? 0xF0 + random.bounded(16) : random.bounded(256));
        }
        const Decoded whole = decodeIn(wire, 0);
        const Decoded bytes = decodeIn(wire, 1);
        const Decoded chunks = decodeIn(wire, int(random.bounded(2, 9)));
        QCOMPARE(bytes.data, whole.data);
        QCOMPARE(chunks.data, whole.data);
        QCOMPARE(describe(bytes.events), describe(whole.events));
        QCOMPARE(describe(chunks.events), describe(whole.events));
        QVERIFY(whole.data.size() <= wire.size());
        for (const TelnetCodec::Event &e : whole.events)
            QVERIFY(e.payload.size() <= TelnetCodec::maxSubnegotiation);
    }
}

void TestTelnetCodec::comPortRequestsOnTheWire()
{
    QCOMPARE(ComPortOption::setBaudRate(115200), hex("fffa2c010001c200fff0"));
    QCOMPARE(ComPortOption::setBaudRate(65535), hex("fffa2c010000ffffffff fff0"));
    QCOMPARE(ComPortOption::setBaudRate(2000000), hex("fffa2c01001e8480fff0"));
    QCOMPARE(ComPortOption::setControl(ComPortOption::controlDtrOn), hex("fffa2c0508fff0"));
    QCOMPARE(ComPortOption::setControl(ComPortOption::controlDtrOff), hex("fffa2c0509fff0"));
    QCOMPARE(ComPortOption::setControl(ComPortOption::controlRtsOn), hex("fffa2c050bfff0"));
    QCOMPARE(ComPortOption::setControl(ComPortOption::controlRtsOff), hex("fffa2c050cfff0"));
    QCOMPARE(ComPortOption::setControl(ComPortOption::controlNoFlowControl), hex("fffa2c0501fff0"));
    QCOMPARE(ComPortOption::lineSettings(9600),
             hex("fffa2c0100002580fff0 fffa2c0208fff0 fffa2c0301fff0 fffa2c0401fff0"));
}

void TestTelnetCodec::baudRateAnswerIsRead()
{
    uint32_t baud = 0;
    QVERIFY(ComPortOption::readBaudRateAnswer(hex("650001c200"), baud));
    QCOMPARE(baud, 115200u);
    QVERIFY(ComPortOption::readBaudRateAnswer(hex("650000ffff"), baud));
    QCOMPARE(baud, 65535u);
    baud = 7;
    QVERIFY(!ComPortOption::readBaudRateAnswer(hex("010001c200"), baud)); // a request
    QVERIFY(!ComPortOption::readBaudRateAnswer(hex("6500c200"), baud));   // too short
    QVERIFY(!ComPortOption::readBaudRateAnswer(hex("6b30"), baud));       // modem state
    QCOMPARE(baud, 7u);
}

void TestTelnetCodec::answersSerialServerGreetingWithoutLoops()
{
    TelnetOptions options({0, 3, 44}, {0, 3, 44});
    QCOMPARE(options.offerLocal(0) + options.requestRemote(0) + options.offerLocal(3) +
                 options.requestRemote(3) + options.offerLocal(44),
             hex("fffb00 fffd00 fffb03 fffd03 fffb2c"));
    QVERIFY(!options.localSettled(44));
    QVERIFY(!options.remoteSettled(0));
    QVERIFY(options.localUsable(44));
    // Offering again sends nothing.
    QCOMPARE(options.offerLocal(0), QByteArray());

    // What ser2net says at connect: WILL SGA, DO SGA, WILL ECHO, DONT ECHO,
    // DO BINARY, WILL BINARY, DO COM-PORT-OPTION. Only the echo is refused.
    QCOMPARE(options.answer(TelnetCodec::WILL, 3), QByteArray());
    QCOMPARE(options.answer(TelnetCodec::DO, 3), QByteArray());
    QCOMPARE(options.answer(TelnetCodec::WILL, 1), hex("fffe01"));
    QCOMPARE(options.answer(TelnetCodec::DONT, 1), QByteArray());
    QCOMPARE(options.answer(TelnetCodec::DO, 0), QByteArray());
    QCOMPARE(options.answer(TelnetCodec::WILL, 0), QByteArray());
    QCOMPARE(options.answer(TelnetCodec::DO, 44), QByteArray());
    QVERIFY(options.localOn(0) && options.remoteOn(0) && options.localOn(44));
    QVERIFY(options.localSettled(44) && options.remoteSettled(0) && options.localSettled(0));
    QVERIFY(options.localOn(3) && options.remoteOn(3));
    QVERIFY(!options.remoteOn(1));

    // The same offers repeated by the server draw no further reply.
    QCOMPARE(options.answer(TelnetCodec::DO, 0), QByteArray());
    QCOMPARE(options.answer(TelnetCodec::WILL, 0), QByteArray());
}

void TestTelnetCodec::answersOffersOfAServerThatSpeaksFirst()
{
    TelnetOptions options({0, 3, 44}, {0, 3});
    QCOMPARE(options.answer(TelnetCodec::DO, 0), hex("fffb00"));
    QCOMPARE(options.answer(TelnetCodec::WILL, 0), hex("fffd00"));
    QCOMPARE(options.answer(TelnetCodec::DO, 44), hex("fffb2c"));
    QCOMPARE(options.answer(TelnetCodec::DO, 44), QByteArray());
    QVERIFY(options.localOn(44));
    // Our later offers of what is already on send nothing.
    QCOMPARE(options.offerLocal(0) + options.requestRemote(0) + options.offerLocal(44),
             QByteArray());
    // Switched off by the server: acknowledged once.
    QCOMPARE(options.answer(TelnetCodec::DONT, 0), hex("fffc00"));
    QCOMPARE(options.answer(TelnetCodec::DONT, 0), QByteArray());
    QCOMPARE(options.answer(TelnetCodec::WONT, 0), hex("fffe00"));
    QCOMPARE(options.answer(TelnetCodec::WONT, 0), QByteArray());
    QVERIFY(!options.localOn(0) && !options.remoteOn(0));
}

void TestTelnetCodec::refusalsAndUnknownOptions()
{
    TelnetOptions options({0, 3, 44}, {0, 3});
    options.offerLocal(44);
    options.requestRemote(0);
    // Refused offers: no reply, settled, off.
    QCOMPARE(options.answer(TelnetCodec::DONT, 44), QByteArray());
    QCOMPARE(options.answer(TelnetCodec::WONT, 0), QByteArray());
    QVERIFY(options.localSettled(44) && !options.localUsable(44));
    QVERIFY(options.remoteSettled(0) && !options.remoteOn(0));
    // Options the client does not do (terminal type, status, echo).
    QCOMPARE(options.answer(TelnetCodec::DO, 24), hex("fffc18"));
    QCOMPARE(options.answer(TelnetCodec::WILL, 5), hex("fffe05"));
    QCOMPARE(options.answer(TelnetCodec::DO, 1), hex("fffc01"));
    QCOMPARE(options.answer(TelnetCodec::DONT, 24), QByteArray());
    // Not a negotiation verb at all.
    QCOMPARE(options.answer(TelnetCodec::SB, 44), QByteArray());
}

QTEST_GUILESS_MAIN(TestTelnetCodec)
#include "tst_telnetcodec.moc"
