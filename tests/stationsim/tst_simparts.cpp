// The simulator's parts in-process: the telnet side of RFC 2217, the paced
// UART and the ways its bytes reach the host, the chip's YMODEM receiver and
// the trace format.
#include "simclient.h"

#include "chip/answerpacer.h"
#include "chip/ymodemreceiver.h"
#include "wire/deliverymodel.h"
#include "wire/telnetcodec.h"
#include "wire/uartlink.h"
#include "wire/wiretimer.h"
#include "wire/wiretrace.h"

#include <QElapsedTimer>
#include <QThread>
#include <QtTest>

#include <algorithm>

using namespace stationsim;

Q_DECLARE_METATYPE(stationsim::Delivery)

namespace {
QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

QByteArray frame(char kind, quint8 seq, QByteArray payload, int size)
{
    payload = payload.leftJustified(size, seq == 0 ? '\0' : char(0x1a), true);
    QByteArray out;
    out.append(kind).append(char(seq)).append(char(255 - seq)).append(payload);
    const quint16 crc = testCrc16(payload);
    return out.append(char(crc >> 8)).append(char(crc & 0xff));
}

QByteArray header(const QByteArray &name, qint64 size, const QByteArray &extra = QByteArray())
{
    QByteArray h = name + '\0' + QByteArray::number(size);
    if (!extra.isEmpty())
        h += ' ' + extra;
    return frame(1, 0, h, 128);
}

// Collects what a receiver sends and how it ends.
struct ReceiverProbe
{
    explicit ReceiverProbe(YmodemReceiver &r)
    {
        QObject::connect(&r, &YmodemReceiver::send, [this](const QByteArray &b) { sent += b; });
        QObject::connect(&r, &YmodemReceiver::finished,
                         [this](bool ok, const QByteArray &d, const QString &n) {
                             done = true;
                             success = ok;
                             data = d;
                             name = n;
                         });
    }
    QByteArray take()
    {
        QByteArray b = sent;
        sent.clear();
        return b;
    }
    QByteArray sent;
    bool done = false;
    bool success = false;
    QByteArray data;
    QString name;
};

const char ACK = 6, NAK = 0x15, CAN = 0x18, EOT = 4, SOH = 1, STX = 2;

// What a chip sends: bytes that start on the wire at `start`, one every
// perByte ns (byte i complete at start + perByte * (i + 1)).
struct Sent
{
    QByteArray data;
    qint64 start = 0;
    qint64 perByte = 0;
    quint32 baud = 115200;
};
struct Delivered
{
    QByteArray data;
    qint64 due = 0;
    qint64 takenAt = 0;
    qint64 lastByteOnWire = 0; // wire time of the piece's last byte
    qint64 nextByteOnWire = -1;
    qint64 longestPause = 0; // between two bytes of the piece on the wire
    quint32 baud = 0;
};

// A chip's talk: a 20-line measurement, a confirmation 30 ms later, a
// lone YMODEM ACK, then a burst at another rate.
QList<Sent> chipTalk()
{
    constexpr qint64 at115200 = 86'806;
    QByteArray lines;
    for (int i = 0; i < 20; ++i)
        lines += "freq=" + QByteArray::number(-3.5 + i) + ",rssi=-4" + QByteArray::number(i % 10) +
                 "\r\n";
    const qint64 second = lines.size() * at115200 + 30'000'000;
    const qint64 third = second + 8 * at115200 + 2'000'000;
    return {{lines, 0, at115200},
            {"\r\npppp\r\n", second, at115200},
            {QByteArray(1, ACK), third, at115200},
            {QByteArray(300, 'x'), third + 50'000'000, 10'417, 960000}};
}

// Runs a model on a clock of its own in steps of stepNs: each chip send is
// appended at its start, pieces are taken when due.
QList<Delivered> deliver(DeliveryModel &model, const QList<Sent> &talk, qint64 stepNs = 10'000)
{
    QList<qint64> wire;
    for (const Sent &s : talk) {
        for (int i = 0; i < s.data.size(); ++i)
            wire.append(s.start + s.perByte * (i + 1));
    }
    QList<Delivered> out;
    int appended = 0;
    int delivered = 0;
    for (qint64 now = 0; now < 1'000'000'000; now += stepNs) {
        while (appended < talk.size() && talk[appended].start <= now) {
            const Sent &s = talk[appended++];
            model.append(s.data, s.start, s.perByte, s.baud);
        }
        for (const DeliveryModel::Piece &p : model.takeDue(now)) {
            qint64 pause = 0;
            for (int i = delivered + 1; i < delivered + p.data.size(); ++i)
                pause = std::max(pause, wire[i] - wire[i - 1]);
            delivered += p.data.size();
            out.append({p.data, p.due, now, wire[delivered - 1],
                        delivered < wire.size() ? wire[delivered] : -1, pause, p.baud});
        }
        if (appended == talk.size() && !model.pending())
            break;
    }
    return out;
}

QByteArray joined(const QList<Delivered> &pieces)
{
    QByteArray all;
    for (const Delivered &p : pieces)
        all += p.data;
    return all;
}
} // namespace

class TstSimParts : public QObject
{
    Q_OBJECT
private slots:
    void telnetSplitsDataAndRequests();
    void telnetUnescapesAcrossChunks();
    void telnetNegotiation();
    void telnetFraming();
    void uartPacesHostBytes();
    void uartHandsOverWholeLines();
    void uartGarblesAtWrongRate();
    void uartClears();
    void uartKeepsChipTimeWhenLate();
    void deliveryKeepsWireTimeAndOrder_data();
    void deliveryKeepsWireTimeAndOrder();
    void usbAdapterPackets();
    void deliveryIsReproducible();
    void linkDeliversAndFallsIdle();
    void wireTimerKeepsItsTime();
    void ymodemWholeTransfer();
    void ymodemDamagedAndRepeatedBlocks();
    void ymodemLongBlocks();
    void ymodemSenderCancels();
    void ymodemTooLargeAndOutOfStep();
    void ymodemTimeouts();
    void traceLineFormat();
    void firmwarePace();
};

// The chip's own pace: the pieces put together are the answer; lines
// (and, when slow, the characters of short lines) come apart by pauses in
// their bounds, a long line (a hex dump) whole; the seed repeats them.
void TstSimParts::firmwarePace()
{
    const QByteArray dumpLine = QByteArray(100, 'a') + "\r\n";
    const QByteArray answer = "\r\nsta:1\r\npppp\r\n" + dumpLine;
    const qint64 byteNs = UartLink::byteNs(115200);
    auto joined = [](const QList<AnswerPacer::Piece> &pieces) {
        QByteArray all;
        for (const AnswerPacer::Piece &p : pieces)
            all += p.bytes;
        return all;
    };
    auto linePauseOk = [](qint64 ns) {
        return ns >= AnswerPacer::shortestLinePauseNs && ns <= AnswerPacer::longestLinePauseNs;
    };

    AnswerPacer fast(ChipPace::Fast, 5);
    QCOMPARE(int(fast.cut(answer, byteNs).size()), 1);

    AnswerPacer lines(ChipPace::Lines, 5);
    const QList<AnswerPacer::Piece> byLine = lines.cut(answer, byteNs);
    QCOMPARE(joined(byLine), answer);
    QCOMPARE(int(byLine.size()), 4);
    QCOMPARE(byLine.at(0).pauseNs, qint64(0));
    for (int i = 1; i < byLine.size(); ++i)
        QVERIFY2(linePauseOk(byLine.at(i).pauseNs), qPrintable(QString::number(i)));

    AnswerPacer slow(ChipPace::Slow, 5);
    const QList<AnswerPacer::Piece> bySlow = slow.cut(answer, byteNs);
    QCOMPARE(joined(bySlow), answer);
    // 2 + 7 + 6 single characters, then the long line whole.
    QCOMPARE(int(bySlow.size()), 16);
    QCOMPARE(bySlow.last().bytes, dumpLine);
    QVERIFY(linePauseOk(bySlow.at(2).pauseNs)); // "s" opens the second line
    QCOMPARE(bySlow.at(3).pauseNs + byteNs, AnswerPacer::slowByteNs);

    AnswerPacer again(ChipPace::Lines, 5);
    const QList<AnswerPacer::Piece> repeated = again.cut(answer, byteNs);
    for (int i = 0; i < byLine.size(); ++i)
        QCOMPARE(repeated.at(i).pauseNs, byLine.at(i).pauseNs);
}

void TstSimParts::telnetSplitsDataAndRequests()
{
    TelnetCodec codec;
    // "ab", SET-BAUDRATE 115200, "cd", SET-CONTROL RTS on
    const QByteArray in = QByteArray("ab") + bytes({255, 250, 44, 1, 0, 1, 0xc2, 0, 255, 240}) +
                          "cd" + bytes({255, 250, 44, 5, 11, 255, 240});
    const QList<TelnetCodec::Item> items = codec.feed(in);
    QCOMPARE(items.size(), 4);
    QCOMPARE(items[0].data, QByteArray("ab"));
    QVERIFY(items[1].isRequest);
    QCOMPARE(items[1].command, quint8(1));
    QCOMPARE(items[1].value, bytes({0, 1, 0xc2, 0}));
    QCOMPARE(items[2].data, QByteArray("cd"));
    QCOMPARE(items[3].command, quint8(5));
    QCOMPARE(items[3].value, bytes({11}));
}

void TstSimParts::telnetUnescapesAcrossChunks()
{
    TelnetCodec codec;
    // Data 0xFF doubled, the pair split between two reads.
    QList<TelnetCodec::Item> items = codec.feed(bytes({'x', 255}));
    QCOMPARE(items.size(), 1);
    QCOMPARE(items[0].data, QByteArray("x"));
    items = codec.feed(bytes({255, 'y'}));
    QCOMPARE(items[0].data, bytes({255, 'y'}));
    // Baud 65535 inside a subnegotiation: 00 00 ff ff ff ff.
    items = codec.feed(bytes({255, 250, 44, 1, 0, 0, 255, 255}));
    QVERIFY(items.isEmpty());
    items = codec.feed(bytes({255, 255, 255, 240}));
    QCOMPARE(items.size(), 1);
    QCOMPARE(items[0].value, bytes({0, 0, 255, 255}));
    // Other telnet commands vanish from the data.
    items = codec.feed(bytes({'a', 255, 241, 'b'}));
    QCOMPARE(items[0].data, QByteArray("ab"));
}

void TstSimParts::telnetNegotiation()
{
    TelnetCodec codec;
    const QByteArray greeting = codec.greeting();
    QVERIFY(greeting.contains(bytes({255, 251, 0})));  // WILL BINARY
    QVERIFY(greeting.contains(bytes({255, 253, 44}))); // DO COM-PORT-OPTION
    // The client agrees: nothing more to say.
    codec.feed(bytes({255, 253, 0, 255, 251, 0, 255, 253, 44, 255, 251, 44, 255, 253, 3}));
    QCOMPARE(codec.takeReplies(), QByteArray());
    // Refused: ECHO and an unknown option.
    codec.feed(bytes({255, 253, 1, 255, 251, 99}));
    QCOMPARE(codec.takeReplies(), bytes({255, 252, 1, 255, 254, 99}));
    // The client turns BINARY off, then on again: each change is answered once.
    codec.feed(bytes({255, 254, 0}));
    QCOMPARE(codec.takeReplies(), bytes({255, 252, 0}));
    codec.feed(bytes({255, 254, 0}));
    QCOMPARE(codec.takeReplies(), QByteArray());
    codec.feed(bytes({255, 253, 0}));
    QCOMPARE(codec.takeReplies(), bytes({255, 251, 0}));
}

void TstSimParts::telnetFraming()
{
    QCOMPARE(TelnetCodec::escape(bytes({1, 255, 2})), bytes({1, 255, 255, 2}));
    QCOMPARE(TelnetCodec::comPortMessage(101, bytes({0, 0, 255, 255})),
             bytes({255, 250, 44, 101, 0, 0, 255, 255, 255, 255, 255, 240}));
}

void TstSimParts::uartPacesHostBytes()
{
    UartLink link;
    link.setChipBaud(9600);
    QByteArray got;
    connect(&link, &UartLink::toChip, this, [&got](const QByteArray &b) { got += b; });
    QByteArray sent(96, '\0');
    for (int i = 0; i < sent.size(); ++i)
        sent[i] = char('0' + i % 40);
    QElapsedTimer clock;
    clock.start();
    link.fromHost(sent, 9600); // 96 bytes at 9600 baud: 100 ms on the wire
    QTRY_VERIFY_WITH_TIMEOUT(!got.isEmpty(), 1000);
    // A byte is seen only once its wire time has passed.
    while (got.size() < sent.size() && clock.elapsed() < 2000) {
        QVERIFY2(got.size() <= clock.elapsed() * 96 / 100 + 1,
                 qPrintable(
                     QStringLiteral("%1 bytes after %2 ms").arg(got.size()).arg(clock.elapsed())));
        QTest::qWait(5);
    }
    QCOMPARE(got, sent);
    QVERIFY(clock.elapsed() >= 99);
}

void TstSimParts::uartHandsOverWholeLines()
{
    UartLink link;
    link.setChipBaud(9600);
    link.setDelivery(Delivery::Whole, 1);
    QList<QByteArray> units;
    connect(&link, &UartLink::toHost, this, [&units](const QByteArray &b, quint32 baud) {
        QCOMPARE(baud, 9600u);
        units.append(b);
    });
    link.fromChip("freq=1.0,rssi=-40\r\nfreq=2.0,rssi=-41\r\npp");
    QTRY_COMPARE_WITH_TIMEOUT(units.size(), 3, 2000);
    QCOMPARE(units[0], QByteArray("freq=1.0,rssi=-40\r\n"));
    QCOMPARE(units[1], QByteArray("freq=2.0,rssi=-41\r\n"));
    QCOMPARE(units[2], QByteArray("pp"));
    QVERIFY(!link.chipOutputPending());
}

void TstSimParts::uartGarblesAtWrongRate()
{
    QVERIFY(UartLink::ratesMatch(115200, 115200));
    QVERIFY(UartLink::ratesMatch(115200, 0)); // unknown: taken as matching
    QVERIFY(UartLink::ratesMatch(115200, 113000));
    QVERIFY(!UartLink::ratesMatch(115200, 57600));
    QVERIFY(!UartLink::ratesMatch(921600, 1000000));

    UartLink link;
    QByteArray got;
    connect(&link, &UartLink::toChip, this, [&got](const QByteArray &b) { got += b; });
    link.fromHost("version\r\n", 57600);
    QTRY_COMPARE_WITH_TIMEOUT(got.size(), 9, 1000);
    for (char ch : got)
        QVERIFY(quint8(ch) >= 0x80);
    got.clear();
    link.fromHost("version\r\n", 0); // a pty: at the chip's rate
    QTRY_COMPARE_WITH_TIMEOUT(got, QByteArray("version\r\n"), 1000);
}

void TstSimParts::uartClears()
{
    UartLink link;
    link.setChipBaud(1200);
    int deliveries = 0;
    connect(&link, &UartLink::toChip, this, [&deliveries](const QByteArray &) { ++deliveries; });
    connect(&link, &UartLink::toHost, this,
            [&deliveries](const QByteArray &, quint32) { ++deliveries; });
    link.fromHost(QByteArray(100, 'a'), 1200);
    link.fromChip(QByteArray(100, 'b'), 50);
    link.clearFromHost();
    link.clearFromChip();
    QTest::qWait(150);
    QCOMPARE(deliveries, 0);
}

// Every model hands over all bytes in their order, never a piece before the
// wire time of its last byte, and in pieces of its own kind.
// The process wakes late (a busy PC): the chip still answered at the wire
// time its command arrived, so an answer whose time has passed meanwhile
// reaches the host at once, not a whole answer's wire time after the wake.
void TstSimParts::uartKeepsChipTimeWhenLate()
{
    UartLink link;
    link.setChipBaud(300); // 33 ms a byte
    link.setDelivery(Delivery::Whole, 1);
    const QByteArray answer = "ABCDE\r\n"; // 233 ms on the wire
    connect(&link, &UartLink::toChip, this, [&](const QByteArray &) { link.fromChip(answer); });
    QByteArray got;
    QElapsedTimer clock;
    qint64 gotAtMs = -1;
    connect(&link, &UartLink::toHost, this, [&](const QByteArray &b, quint32) {
        got += b;
        gotAtMs = clock.elapsed();
    });
    clock.start();
    link.fromHost("v", 300);
    // The command is in after 33 ms, its answer out after 266 ms; the
    // process does not run again before 600 ms.
    QThread::msleep(600);
    QTRY_COMPARE_WITH_TIMEOUT(got, answer, 2000);
    QVERIFY2(gotAtMs < 600 + 150, qPrintable(QStringLiteral("answer at %1 ms").arg(gotAtMs)));

    // On time, the answer still keeps its wire time.
    got.clear();
    clock.restart();
    link.fromHost("v", 300);
    QTRY_COMPARE_WITH_TIMEOUT(got, answer, 2000);
    QVERIFY2(gotAtMs >= 266, qPrintable(QStringLiteral("answer at %1 ms").arg(gotAtMs)));
}

void TstSimParts::deliveryKeepsWireTimeAndOrder_data()
{
    QTest::addColumn<Delivery>("kind");
    for (Delivery kind : {Delivery::Whole, Delivery::Bytes, Delivery::Usb, Delivery::Net})
        QTest::newRow(qPrintable(DeliveryModel::name(kind))) << kind;
}

void TstSimParts::deliveryKeepsWireTimeAndOrder()
{
    QFETCH(Delivery, kind);
    const QList<Sent> talk = chipTalk();
    QByteArray all;
    for (const Sent &s : talk)
        all += s.data;
    DeliveryModel model(kind, 7);
    const QList<Delivered> pieces = deliver(model, talk);
    QCOMPARE(joined(pieces), all);
    QVERIFY(!model.pending());
    QCOMPARE(model.nextDue(), qint64(-1));
    qint64 previous = 0;
    int splitInLine = 0;
    for (const Delivered &p : pieces) {
        QVERIFY2(p.due >= p.lastByteOnWire,
                 qPrintable(QStringLiteral("%1 ns early").arg(p.lastByteOnWire - p.due)));
        QVERIFY(p.takenAt >= p.due);
        QVERIFY(p.due >= previous);
        previous = p.due;
        if (!p.data.endsWith('\n') && p.data.contains('='))
            ++splitInLine;
        switch (kind) {
        case Delivery::Whole:
            QVERIFY(p.data.endsWith('\n') || p.data == QByteArray(1, ACK) ||
                    p.data == QByteArray(300, 'x'));
            QCOMPARE(p.due, p.lastByteOnWire);
            break;
        case Delivery::Bytes:
            QCOMPARE(p.data.size(), 1);
            QCOMPARE(p.due, p.lastByteOnWire);
            break;
        case Delivery::Usb:
            break; // usbAdapterPackets
        case Delivery::Net:
            QVERIFY(p.data.size() <= DeliveryModel::netLongestPiece);
            QVERIFY(p.due - p.lastByteOnWire <= DeliveryModel::netLongestDelayNs);
            break;
        }
    }
    if (kind == Delivery::Whole)
        QCOMPARE(splitInLine, 0);
    else
        QVERIFY(splitInLine > 0); // cut anywhere, not at line ends
}

// A USB adapter: packets of its size at most, a full packet picked up at
// the next USB frame, a partial one when the latency timer (restarted by
// every byte) ran out, never with a pause of the timer's length inside.
void TstSimParts::usbAdapterPackets()
{
    QList<int> latencies;
    QList<int> sizes;
    for (quint32 seed = 1; seed <= 64; ++seed) {
        DeliveryModel model(Delivery::Usb, seed);
        QVERIFY(model.packetSize() == 62 || model.packetSize() == 64);
        QVERIFY(model.latencyNs() >= 1'000'000 && model.latencyNs() <= 16'000'000);
        latencies.append(int(model.latencyNs() / 1'000'000));
        sizes.append(model.packetSize());

        const QList<Delivered> pieces = deliver(model, chipTalk());
        for (const Delivered &p : pieces) {
            QVERIFY(p.data.size() <= model.packetSize());
            QVERIFY(p.longestPause < model.latencyNs());
            const qint64 ready = p.data.size() == model.packetSize()
                                     ? p.lastByteOnWire
                                     : p.lastByteOnWire + model.latencyNs();
            QVERIFY2(p.due >= ready && p.due < ready + DeliveryModel::usbFrameNs,
                     qPrintable(QStringLiteral("seed %1: %2 bytes due %3 ns after ready")
                                    .arg(seed)
                                    .arg(p.data.size())
                                    .arg(p.due - ready)));
            // A partial packet: the next byte came after the timer ran out.
            if (p.data.size() < model.packetSize() && p.nextByteOnWire >= 0)
                QVERIFY(p.nextByteOnWire >= p.lastByteOnWire + model.latencyNs());
        }
    }
    std::sort(latencies.begin(), latencies.end());
    QVERIFY(std::unique(latencies.begin(), latencies.end()) - latencies.begin() >= 8);
    QVERIFY(sizes.contains(62) && sizes.contains(64));
}

// The same seed gives the same pieces at the same times; another seed
// other pieces.
void TstSimParts::deliveryIsReproducible()
{
    for (Delivery kind : {Delivery::Usb, Delivery::Net}) {
        DeliveryModel a(kind, 11), b(kind, 11), c(kind, 12);
        const QList<Delivered> first = deliver(a, chipTalk());
        const QList<Delivered> again = deliver(b, chipTalk());
        const QList<Delivered> other = deliver(c, chipTalk());
        QCOMPARE(again.size(), first.size());
        bool differs = other.size() != first.size();
        for (int i = 0; i < first.size(); ++i) {
            QCOMPARE(again[i].data, first[i].data);
            QCOMPARE(again[i].due, first[i].due);
            if (!differs && (other[i].data != first[i].data || other[i].due != first[i].due))
                differs = true;
        }
        QVERIFY(differs);
        a.reset(kind, 11);
        QCOMPARE(deliver(a, chipTalk()).size(), first.size());
    }
}

// The link on the real clock: the chip's bytes reach the host in the
// adapter's packets, none before its wire time; then the link is idle (no
// timer runs) until the chip says something again.
void TstSimParts::linkDeliversAndFallsIdle()
{
    UartLink link;
    link.setChipBaud(115200);
    link.setDelivery(Delivery::Usb, 5);
    const int packet = link.delivery().packetSize();
    QByteArray got;
    QList<int> sizes;
    QElapsedTimer clock;
    bool early = false;
    connect(&link, &UartLink::toHost, this, [&](const QByteArray &b, quint32) {
        got += b;
        sizes.append(b.size());
        early = early || clock.nsecsElapsed() < got.size() * UartLink::byteNs(115200);
    });
    QVERIFY(link.idle());
    QByteArray answer;
    for (int i = 0; i < 20; ++i)
        answer += "freq=1.5,rssi=-45\r\n";
    clock.start();
    link.fromChip(answer);
    QVERIFY(!link.idle());
    QTRY_COMPARE_WITH_TIMEOUT(got, answer, 2000);
    QVERIFY(!early);
    QVERIFY(sizes.size() >= answer.size() / packet);
    for (int size : sizes)
        QVERIFY(size <= packet);
    QVERIFY(!link.chipOutputPending());
    QVERIFY(link.idle());
}

// The wire timer under the link: never early at sub-millisecond times, a
// restart replaces the time set before, and a stop also drops an expiry the
// event loop has not seen yet.
void TstSimParts::wireTimerKeepsItsTime()
{
    WireTimer timer;
    int fired = 0;
    qint64 firedAtNs = -1;
    QElapsedTimer clock;
    connect(&timer, &WireTimer::timeout, this, [&] {
        ++fired;
        firedAtNs = clock.nsecsElapsed();
    });

    clock.start();
    timer.start(300'000); // 0.3 ms
    QTRY_COMPARE_WITH_TIMEOUT(fired, 1, 1000);
    QVERIFY2(firedAtNs >= 300'000, qPrintable(QString::number(firedAtNs)));

    fired = 0;
    timer.start(60'000'000);
    timer.start(100'000);
    QTRY_COMPARE_WITH_TIMEOUT(fired, 1, 1000);
    QTest::qWait(100); // past the first time set: it must not fire again
    QCOMPARE(fired, 1);

    fired = 0;
    timer.start(1);
    QThread::msleep(5); // expired, but not yet seen by the event loop
    timer.stop();
    QTest::qWait(30);
    QCOMPARE(fired, 0);
}

void TstSimParts::ymodemWholeTransfer()
{
    YmodemReceiver r;
    ReceiverProbe probe(r);
    YmodemReceiver::Options o;
    o.maxSize = 4096;
    r.start(o);
    QCOMPARE(probe.take(), QByteArray("C"));
    // Header with the extra fields a sender may add (date, mode ...).
    r.feed(header("img.bin", 1100, "14371573257 100644 0 1 1100"));
    QCOMPARE(probe.take(), QByteArray("\x06"
                                      "C"));
    QByteArray file(1100, '\0');
    for (int i = 0; i < file.size(); ++i)
        file[i] = char(i * 7);
    r.feed(frame(STX, 1, file.left(1024), 1024));
    QCOMPARE(probe.take(), QByteArray(1, ACK));
    // Noise between blocks is ignored.
    r.feed("zz" + frame(SOH, 2, file.mid(1024), 128));
    QCOMPARE(probe.take(), QByteArray(1, ACK));
    r.feed(QByteArray(1, EOT));
    QCOMPARE(probe.take(), QByteArray(1, NAK));
    r.feed(QByteArray(1, EOT));
    QCOMPARE(probe.take(), QByteArray("\x06"
                                      "C"));
    QVERIFY(!probe.done);
    r.feed(frame(SOH, 0, QByteArray(), 128));
    QCOMPARE(probe.take(), QByteArray(1, ACK));
    QVERIFY(probe.done && probe.success);
    QCOMPARE(probe.name, QStringLiteral("img.bin"));
    QCOMPARE(probe.data, file); // padding cut to the header's size
    QVERIFY(!r.active());
}

void TstSimParts::ymodemDamagedAndRepeatedBlocks()
{
    YmodemReceiver r;
    ReceiverProbe probe(r);
    YmodemReceiver::Options o;
    o.maxSize = 4096;
    r.start(o);
    r.feed(header("a", 256));
    probe.take();
    QByteArray block = frame(SOH, 1, QByteArray(128, 'a'), 128);
    QByteArray damaged = block;
    damaged[10] = 'b';
    r.feed(damaged);
    QCOMPARE(probe.take(), QByteArray(1, NAK));
    QByteArray badComplement = block;
    badComplement[2] = 0;
    r.feed(badComplement);
    QCOMPARE(probe.take(), QByteArray(1, NAK));
    r.feed(block);
    QCOMPARE(probe.take(), QByteArray(1, ACK));
    r.feed(block); // our ACK got lost: the same block again
    QCOMPARE(probe.take(), QByteArray(1, ACK));
    r.feed(frame(SOH, 2, QByteArray(128, 'c'), 128));
    r.feed(QByteArray(1, EOT));
    r.feed(QByteArray(1, EOT));
    r.feed(frame(SOH, 0, QByteArray(), 128));
    QVERIFY(probe.success);
    QCOMPARE(probe.data, QByteArray(128, 'a') + QByteArray(128, 'c'));
}

void TstSimParts::ymodemLongBlocks()
{
    YmodemReceiver r;
    ReceiverProbe probe(r);
    YmodemReceiver::Options o;
    o.stxSize = 16384;
    o.maxSize = 1 << 20;
    r.start(o);
    r.feed(header("flash.bin", 16385));
    probe.take();
    const QByteArray file = QByteArray(16384, 'x') + 'y';
    r.feed(frame(STX, 1, file.left(16384), 16384));
    QCOMPARE(probe.take(), QByteArray(1, ACK));
    r.feed(frame(SOH, 2, "y", 128));
    r.feed(QByteArray(1, EOT) + QByteArray(1, EOT) + frame(SOH, 0, QByteArray(), 128));
    QVERIFY(probe.success);
    QCOMPARE(probe.data, file);
}

void TstSimParts::ymodemSenderCancels()
{
    YmodemReceiver r;
    ReceiverProbe probe(r);
    YmodemReceiver::Options o;
    o.maxSize = 4096;
    r.start(o);
    r.feed(header("a", 200));
    probe.take();
    r.feed(QByteArray(1, CAN)); // one CAN alone is noise
    QVERIFY(!probe.done);
    r.feed(QByteArray(1, 'q') + QByteArray(2, CAN));
    QVERIFY(probe.done && !probe.success);
    QCOMPARE(probe.take(), QByteArray()); // the sender knows: nothing to say
}

void TstSimParts::ymodemTooLargeAndOutOfStep()
{
    YmodemReceiver r;
    ReceiverProbe probe(r);
    YmodemReceiver::Options o;
    o.maxSize = 1000;
    r.start(o);
    r.feed(header("big", 5000));
    QCOMPARE(probe.take().right(5), QByteArray(5, CAN));
    QVERIFY(probe.done && !probe.success);

    ReceiverProbe second(r);
    r.start(o);
    r.feed(header("a", 500));
    second.take();
    r.feed(frame(SOH, 3, QByteArray(128, 'a'), 128)); // block 3 after the header
    QCOMPARE(second.take(), QByteArray(5, CAN));
    QVERIFY(second.done && !second.success);

    // An empty batch header: nothing to receive.
    ReceiverProbe third(r);
    r.start(o);
    third.take();
    r.feed(frame(SOH, 0, QByteArray(), 128));
    QCOMPARE(third.take(), QByteArray(1, ACK));
    QVERIFY(third.done && !third.success);
}

void TstSimParts::ymodemTimeouts()
{
    YmodemReceiver r;
    r.headerRetryMs = 20;
    r.headerTries = 3;
    r.blockTimeoutMs = 20;
    r.maxErrors = 2;
    ReceiverProbe probe(r);
    YmodemReceiver::Options o;
    o.maxSize = 1000;
    // No sender: "C" three times, then it gives up.
    r.start(o);
    QTRY_VERIFY_WITH_TIMEOUT(probe.done, 2000);
    QCOMPARE(probe.take(), QByteArray("CCC"));
    QVERIFY(!probe.success);
    // A sender that goes quiet mid-block: NAKs, then a cancel.
    ReceiverProbe quiet(r);
    r.start(o);
    r.feed(header("a", 300));
    quiet.take();
    r.feed(QByteArray(1, SOH) + QByteArray(1, 1));
    QTRY_VERIFY_WITH_TIMEOUT(quiet.done, 2000);
    QCOMPARE(quiet.take(), QByteArray(2, NAK) + QByteArray(5, CAN));
    // No closing block after the second EOT: the file counts all the same.
    ReceiverProbe unclosed(r);
    r.start(o);
    r.feed(header("a", 3));
    r.feed(frame(SOH, 1, "abc", 128) + QByteArray(1, EOT) + QByteArray(1, EOT));
    QTRY_VERIFY_WITH_TIMEOUT(unclosed.done, 2000);
    QVERIFY(unclosed.success);
    QCOMPARE(unclosed.data, QByteArray("abc"));
}

void TstSimParts::traceLineFormat()
{
    QCOMPARE(WireTrace::formatLine("AT\r\n"),
             QByteArray("41 54 0d 0a") + QByteArray(47 - 11, ' ') + "  |AT..|");
    const QByteArray full = WireTrace::formatLine(QByteArray(16, char(0xff)));
    QVERIFY(full.startsWith("ff ff"));
    QVERIFY(full.endsWith("|................|"));
}

QTEST_GUILESS_MAIN(TstSimParts)
#include "tst_simparts.moc"
