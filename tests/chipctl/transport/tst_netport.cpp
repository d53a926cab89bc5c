// The network serial port against scripted servers in a thread of their own:
// what goes on the wire at open, for line changes and for data, what the
// client makes of the server's bytes, and how it fails.
#include "fakeserialserver.h"
#include "netport.h"
#include "waitms.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QtTest>

#include <memory>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// What ser2net says when a client connects.
const QByteArray serverGreeting = hex("fffb03 fffd03 fffb01 fffe01 fffd00 fffb00 fffd2c"
                                      "fffa2c6b00fff0");
// 115200 8N1, no flow control, in that order.
const QByteArray openSettings = hex("fffa2c010001c200fff0 fffa2c0208fff0 fffa2c0301fff0"
                                    "fffa2c0401fff0 fffa2c0501fff0");

QString portName(const char *scheme, quint16 port)
{
    return QStringLiteral("%1://127.0.0.1:%2").arg(QLatin1String(scheme)).arg(port);
}

// Collects what the port announces, as Serial does.
struct Collector
{
    explicit Collector(NetPort &port)
    {
        QObject::connect(&port, &SerialBackend::readyRead, &port, [this, &port] {
            ++announcements;
            data += port.readAll();
        });
    }
    bool waitFor(int size, int ms = 3000)
    {
        return pollAnswer(unsigned(ms / 10), 10, [&] {
            return data.size() >= size ? AnswerState::Accepted : AnswerState::Pending;
        });
    }
    QByteArray data;
    int announcements = 0;
};

// A listening socket whose queue is full: connections to it are never
// answered, like a host that is switched off.
class SilentHost
{
public:
    SilentHost()
    {
        listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (::bind(listener, reinterpret_cast<sockaddr *>(&addr), len) != 0 ||
            ::listen(listener, 0) != 0 ||
            ::getsockname(listener, reinterpret_cast<sockaddr *>(&addr), &len) != 0)
            return;
        port = ntohs(addr.sin_port);
        // The one connection the queue takes.
        filler = ::socket(AF_INET, SOCK_STREAM, 0);
        if (::connect(filler, reinterpret_cast<sockaddr *>(&addr), len) != 0)
            port = 0;
    }
    ~SilentHost()
    {
        if (filler >= 0)
            ::close(filler);
        if (listener >= 0)
            ::close(listener);
    }
    quint16 port = 0;

private:
    int listener = -1;
    int filler = -1;
};

} // namespace

class TestNetPort : public QObject
{
    Q_OBJECT

private slots:
    void openNegotiatesAndSetsTheLine();
    void openWorksWhenEveryServerSequenceComesBytewise();
    void lineChangesLeaveBeforeTheCallReturns();
    void dataTravelsUnchangedBothWays();
    void dataThatArrivesDuringOpenIsAnnouncedLater();
    void serverThatRefusesComPortOptionGetsNoRequests();
    void silentTelnetServerIsTakenToAgree();
    void rawSocketPassesBytesAndIgnoresLineChanges();
    void hostNameIsLookedUp();
    void serverClosingTheConnectionEndsWritesQuietly();
    void closingSendsEverythingWritten();
    void unreachableServersFailWithinTheBound_data();
    void unreachableServersFailWithinTheBound();
};

void TestNetPort::openNegotiatesAndSetsTheLine()
{
    FakeSerialServer server;
    server.greeting = {serverGreeting};
    server.answerComPort = true;
    const quint16 port = server.begin();
    QVERIFY(port != 0);

    NetPort net;
    QVERIFY(net.open(portName("rfc2217", port), 115200));
    QVERIFY(server.waitForReceived(openSettings, 3000));
    const QByteArray wire = server.receivedBytes();
    // Our offers: binary both ways, no go-ahead both ways, COM-PORT-OPTION.
    QVERIFY(wire.startsWith(hex("fffb00 fffd00 fffb03 fffd03 fffb2c")));
    // The echo the server offers is refused; nothing else is answered.
    QVERIFY(wire.contains(hex("fffe01")));
    QCOMPARE(wire.count(hex("fffb")), 3);
    QCOMPARE(wire.count(hex("fffd")), 2);
    // The line settings come after the negotiation.
    QVERIFY(wire.indexOf(openSettings) > wire.indexOf(hex("fffe01")));
    QCOMPARE(wire.count(hex("fffa2c01")), 1);

    // The server's answer to the baud rate is taken in while waiting.
    QVERIFY(pollAnswer(300, 10, [&] {
        return net.confirmedBaudRate() == 115200 ? AnswerState::Accepted : AnswerState::Pending;
    }));
}

void TestNetPort::openWorksWhenEveryServerSequenceComesBytewise()
{
    FakeSerialServer server;
    server.greeting = FakeSerialServer::bytewise(serverGreeting);
    server.pieceGapMs = 1;
    server.answerComPort = true;
    server.bytewiseAnswers = true;
    const quint16 port = server.begin();

    NetPort net;
    Collector collector(net);
    QVERIFY(net.open(portName("rfc2217", port), 115200));
    QVERIFY(server.waitForReceived(openSettings, 3000));
    net.setBaudRate(921600);
    QVERIFY(pollAnswer(300, 10, [&] {
        return net.confirmedBaudRate() == 921600 ? AnswerState::Accepted : AnswerState::Pending;
    }));
    // Answers and notifications never show up as data.
    server.send(FakeSerialServer::bytewise(hex("fffa2c6b30fff0 4f4b fffa2c6a00fff0 0d0a")));
    QVERIFY(collector.waitFor(4));
    waitMs(30);
    QCOMPARE(collector.data, QByteArray("OK\r\n"));
}

void TestNetPort::lineChangesLeaveBeforeTheCallReturns()
{
    FakeSerialServer server;
    server.greeting = {serverGreeting};
    const quint16 port = server.begin();
    NetPort net;
    QVERIFY(net.open(portName("rfc2217", port), 115200));

    // No event is processed in this thread from here on: the server must
    // see each request all the same, and no answer is awaited.
    net.setDataTerminalReady(true);
    QVERIFY(server.waitForReceived(hex("fffa2c0508fff0"), 2000));
    net.setRequestToSend(true);
    QVERIFY(server.waitForReceived(hex("fffa2c0508fff0 fffa2c050bfff0"), 2000));
    net.setDataTerminalReady(false);
    net.setRequestToSend(false);
    QVERIFY(server.waitForReceived(hex("fffa2c050bfff0 fffa2c0509fff0 fffa2c050cfff0"), 2000));
    net.setBaudRate(9600);
    QVERIFY(server.waitForReceived(hex("fffa2c050cfff0 fffa2c0100002580fff0 fffa2c0208fff0"
                                       "fffa2c0301fff0 fffa2c0401fff0"),
                                   2000));
    // A rate whose bytes hold 0xFF travels doubled.
    net.setBaudRate(65535);
    QVERIFY(server.waitForReceived(hex("fffa2c010000ffffffff fff0 fffa2c0208fff0"), 2000));
}

void TestNetPort::dataTravelsUnchangedBothWays()
{
    FakeSerialServer server;
    server.greeting = {serverGreeting};
    server.answerComPort = true;
    const quint16 port = server.begin();
    NetPort net;
    Collector collector(net);
    QVERIFY(net.open(portName("rfc2217", port), 115200));

    QByteArray data;
    for (int i = 0; i < 256; ++i)
        data += char(i);
    data += hex("ffff0d000d0aff");
    QVERIFY(net.write(data));
    QVERIFY(server.waitForReceived(TelnetCodec::escape(data), 3000));
    QVERIFY(server.receivedBytes().endsWith(TelnetCodec::escape(data)));

    // From the server: doubled 0xFF, CR NUL, and telnet sequences between
    // the data, cut into single bytes.
    const QByteArray wire =
        hex("41ffff0d00 fffa2c6b20fff0 ffffff ff fffb03 0d0a fffa2c6500000960fff0 42");
    const QByteArray expected = hex("41ff0d00ffff0d0a42");
    server.send(FakeSerialServer::bytewise(wire));
    QVERIFY(collector.waitFor(expected.size()));
    waitMs(30);
    QCOMPARE(collector.data, expected);
    QVERIFY(collector.announcements >= 2);
    QCOMPARE(net.confirmedBaudRate(), 2400u);
}

void TestNetPort::dataThatArrivesDuringOpenIsAnnouncedLater()
{
    FakeSerialServer server;
    server.greeting = {serverGreeting + hex("48454c4c4fffff")};
    const quint16 port = server.begin();
    NetPort net;
    Collector collector(net);
    QVERIFY(net.open(portName("rfc2217", port), 115200));
    // Nothing is announced from inside open: the front end connects its
    // receivers only after it returns.
    QCOMPARE(collector.announcements, 0);
    QVERIFY(collector.waitFor(6));
    QCOMPARE(collector.data, hex("48454c4c4fff"));
}

void TestNetPort::serverThatRefusesComPortOptionGetsNoRequests()
{
    FakeSerialServer server;
    server.greeting = {hex("fffd00 fffb00 fffe2c")};
    const quint16 port = server.begin();
    NetPort net;
    QVERIFY(net.open(portName("rfc2217", port), 115200));
    net.setDataTerminalReady(true);
    net.setRequestToSend(true);
    net.setBaudRate(9600);
    QVERIFY(net.write(QByteArray("end")));
    QVERIFY(server.waitForReceived("end", 2000));
    QVERIFY(!server.receivedBytes().contains(hex("fffa")));
}

void TestNetPort::silentTelnetServerIsTakenToAgree()
{
    FakeSerialServer server;
    const quint16 port = server.begin();
    NetPort net;
    QVERIFY(net.open(portName("rfc2217", port), 57600));
    QVERIFY(server.waitForReceived(hex("fffa2c010000e100fff0 fffa2c0208fff0"), 2000));
}

void TestNetPort::rawSocketPassesBytesAndIgnoresLineChanges()
{
    FakeSerialServer server;
    const quint16 port = server.begin();
    NetPort net;
    Collector collector(net);
    QVERIFY(net.open(portName("socket", port), 115200));
    net.setDataTerminalReady(true);
    net.setRequestToSend(true);
    net.setBaudRate(9600);
    QVERIFY(net.write(hex("ff01fffa2c")));
    QVERIFY(net.write(QByteArray("end")));
    QVERIFY(server.waitForReceived("end", 2000));
    QCOMPARE(server.receivedBytes(), hex("ff01fffa2c") + "end");

    server.send({hex("ffff fffb01 0d00")});
    QVERIFY(collector.waitFor(7));
    QCOMPARE(collector.data, hex("ffff fffb01 0d00"));
    QCOMPARE(net.confirmedBaudRate(), 0u);
}

// A device server named by its host name: the name goes to the resolver,
// in a thread of its own. Where the name also has an address that refuses
// (localhost's ::1, while the server listens on 127.0.0.1 only), the next
// address is tried.
void TestNetPort::hostNameIsLookedUp()
{
    FakeSerialServer server;
    const quint16 port = server.begin();
    NetPort net;
    Collector collector(net);
    QVERIFY(net.open(QStringLiteral("socket://localhost:%1").arg(port), 115200));
    QVERIFY(net.write(QByteArray("ping")));
    QVERIFY(server.waitForReceived("ping", 2000));
    server.send({QByteArray("pong")});
    QVERIFY(collector.waitFor(4));
    QCOMPARE(collector.data, QByteArray("pong"));
}

void TestNetPort::serverClosingTheConnectionEndsWritesQuietly()
{
    FakeSerialServer server;
    server.greeting = {serverGreeting};
    const quint16 port = server.begin();
    NetPort net;
    Collector collector(net);
    QVERIFY(net.open(portName("rfc2217", port), 115200));
    server.send({QByteArray("last words")});
    server.closeClient();
    // The client notices while it waits; from then on writes fail and line
    // changes do nothing.
    QVERIFY(pollAnswer(300, 10, [&] {
        return net.write(QByteArray("x")) ? AnswerState::Pending : AnswerState::Accepted;
    }));
    net.setDataTerminalReady(true);
    net.setBaudRate(9600);
    QVERIFY(!net.write(QByteArray("y")));
    QCOMPARE(collector.data, QByteArray("last words"));
}

void TestNetPort::closingSendsEverythingWritten()
{
    FakeSerialServer server;
    server.greeting = {serverGreeting};
    const quint16 port = server.begin();
    auto net = std::make_unique<NetPort>();
    QVERIFY(net->open(portName("rfc2217", port), 115200));
    QByteArray block(256 * 1024, '\x5a');
    block += "the end";
    QVERIFY(net->write(block));
    net.reset();
    QVERIFY(server.waitForReceived("the end", 3000));
    QVERIFY(server.waitForClientClosed(3000));
}

void TestNetPort::unreachableServersFailWithinTheBound_data()
{
    QTest::addColumn<QString>("name");

    quint16 closedPort = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        closedPort = probe.serverPort();
    }
    QTest::newRow("refused") << portName("rfc2217", closedPort);
    QTest::newRow("refused raw") << portName("socket", closedPort);
    QTest::newRow("unknown host") << QStringLiteral("rfc2217://no-such-host.invalid:4000");
    QTest::newRow("no port") << QStringLiteral("rfc2217://127.0.0.1");
    QTest::newRow("port 0") << QStringLiteral("rfc2217://127.0.0.1:0");
    QTest::newRow("port 65536") << QStringLiteral("socket://127.0.0.1:65536");
    QTest::newRow("empty host") << QStringLiteral("rfc2217://:4000");
    QTest::newRow("silent host") << QString();
}

void TestNetPort::unreachableServersFailWithinTheBound()
{
    QFETCH(QString, name);
    SilentHost silent;
    if (name.isEmpty()) {
        QVERIFY(silent.port != 0);
        name = portName("rfc2217", silent.port);
    }
    NetPort net;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!net.open(name, 115200));
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!net.write(QByteArray("x")));
    net.setDataTerminalReady(true);
    QCOMPARE(net.readAll(), QByteArray());
}

QTEST_GUILESS_MAIN(TestNetPort)
#include "tst_netport.moc"
