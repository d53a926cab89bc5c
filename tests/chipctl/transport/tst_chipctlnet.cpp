// The Chipctl program over network serial ports: the control-line requests
// its line commands put on the wire, the boot-ROM probe through telnet noise,
// and the failures when the server is unreachable or goes away.
#include "fakeserialserver.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

const QByteArray serverGreeting = hex("fffb03 fffd03 fffb01 fffe01 fffd00 fffb00 fffd2c"
                                      "fffa2c6b00fff0");
const QByteArray banner = "Mar 14 2021/00:23:32";

// The values of every SET-CONTROL request on the wire, in order.
QByteArray controlRequests(const QByteArray &wire)
{
    const QByteArray head = hex("fffa2c05");
    QByteArray values;
    for (int i = wire.indexOf(head); i >= 0; i = wire.indexOf(head, i + 1)) {
        if (wire.mid(i + 5, 2) == hex("fff0"))
            values += wire.at(i + 4);
    }
    return values;
}

QString portName(quint16 port)
{
    return QStringLiteral("rfc2217://127.0.0.1:%1").arg(port);
}

// A server that greets, then writes `flood` over and over as fast as the
// connection takes it and never reads, until the client goes away.
class FloodingServer
{
public:
    FloodingServer(const QByteArray &greeting, const QByteArray &flood)
    {
        listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (::bind(listener, reinterpret_cast<sockaddr *>(&addr), len) != 0 ||
            ::listen(listener, 1) != 0 ||
            ::getsockname(listener, reinterpret_cast<sockaddr *>(&addr), &len) != 0)
            return;
        port = ntohs(addr.sin_port);
        QByteArray block;
        while (block.size() < 65536)
            block += flood;
        worker = std::thread([this, greeting, block] {
            const int client = ::accept(listener, nullptr, nullptr);
            if (client < 0)
                return;
            bool open = ::send(client, greeting.constData(), size_t(greeting.size()),
                               MSG_NOSIGNAL) == greeting.size();
            while (open && !stopping)
                open = ::send(client, block.constData(), size_t(block.size()), MSG_NOSIGNAL) > 0;
            ::close(client);
        });
    }
    ~FloodingServer()
    {
        stopping = true;
        ::shutdown(listener, SHUT_RDWR);
        if (worker.joinable())
            worker.join();
        ::close(listener);
    }
    quint16 port = 0;

private:
    int listener = -1;
    std::atomic<bool> stopping{false};
    std::thread worker;
};

} // namespace

class TestChipctlNet : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void lineCommandsPutTheirRequestsOnTheWire_data();
    void lineCommandsPutTheirRequestsOnTheWire();
    void bootRomAnswerIsFoundThroughTelnetSequences_data();
    void bootRomAnswerIsFoundThroughTelnetSequences();
    void serverClosingMidAnswerEndsTheCommandWithItsFailure();
    void serverClosingDuringNegotiationMeansNoPort();
    void floodingServerLeavesTheProbesTheirTime_data();
    void floodingServerLeavesTheProbesTheirTime();
    void unreachablePortsFailToOpen_data();
    void unreachablePortsFailToOpen();

private:
    struct Run
    {
        QString output;
        qint64 ms = 0;
        bool finished = false;
        bool crashed = false;
    };
    // A run that has not ended after timeoutMs counts as hung.
    Run chipctl(const QStringList &args, int timeoutMs = 20000);

    QTemporaryDir dir;
    QString program;
};

void TestChipctlNet::initTestCase()
{
    // A copy of its own, so that its Config directory is this test's.
    QVERIFY(dir.isValid());
    program = dir.filePath(QStringLiteral("Chipctl"));
    QVERIFY(QFile::copy(QStringLiteral(CHIPCTL_BIN), program));
    QFile(program).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TestChipctlNet::Run TestChipctlNet::chipctl(const QStringList &args, int timeoutMs)
{
    Run run;
    QProcess process;
    process.setProgram(program);
    process.setArguments(args);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    process.start();
    run.finished = process.waitForFinished(timeoutMs);
    run.ms = clock.elapsed();
    if (!run.finished) {
        process.kill();
        process.waitForFinished(2000);
    }
    run.crashed = process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0;
    run.output = QString::fromUtf8(process.readAllStandardOutput());
    return run;
}

void TestChipctlNet::lineCommandsPutTheirRequestsOnTheWire_data()
{
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QByteArray>("controls");

    // At open: no flow control, then RTS and DTR released.
    const QByteArray open = hex("010c09");
    QTest::newRow("entry_boot_mode")
        << QStringList{"entry_boot_mode"} << open + hex("080c 0b09 080c 09");
    QTest::newRow("rts 1") << QStringList{"rts", "1"} << open + hex("0b");
    QTest::newRow("rts 5") << QStringList{"rts", "5"} << open + hex("0b");
    QTest::newRow("rts 0") << QStringList{"rts", "0"} << open + hex("0c");
    QTest::newRow("dtr 1") << QStringList{"dtr", "1"} << open + hex("08");
    QTest::newRow("dtr 0") << QStringList{"dtr", "0"} << open + hex("09");
    // A level word of 0 asserts its line: DTR first, then RTS, per phase.
    QTest::newRow("usb_io into firmware")
        << QStringList{"usb_io", "0", "1", "64", "1", "1", "0"} << open + hex("090b 090c");
    QTest::newRow("usb_io into boot ROM")
        << QStringList{"usb_io", "0", "1", "100", "1", "0", "50"} << open + hex("090b 080c");
}

void TestChipctlNet::lineCommandsPutTheirRequestsOnTheWire()
{
    QFETCH(QStringList, words);
    QFETCH(QByteArray, controls);
    FakeSerialServer server;
    server.greeting = {serverGreeting};
    server.answerComPort = true; // but never the line requests, as ser2net on a pty
    const quint16 port = server.begin();
    QVERIFY(port != 0);

    const Run run = chipctl(QStringList{portName(port)} + words);
    QVERIFY(run.finished);
    QVERIFY(!run.crashed);
    QCOMPARE(run.output, QStringLiteral("Ok."));
    QVERIFY(server.waitForClientClosed(3000));
    const QByteArray wire = server.receivedBytes();
    QCOMPARE(controlRequests(wire).toHex(), controls.toHex());
    // The line was set up once, at 115200 8N1, and no data was sent.
    QVERIFY(wire.contains(hex("fffa2c010001c200fff0 fffa2c0208fff0 fffa2c0301fff0"
                              "fffa2c0401fff0 fffa2c0501fff0")));
    QCOMPARE(wire.count(hex("fffa2c01")), 1);
    QVERIFY(!wire.contains("version"));
}

void TestChipctlNet::bootRomAnswerIsFoundThroughTelnetSequences_data()
{
    QTest::addColumn<QList<QByteArray>>("greeting");
    QTest::addColumn<QList<QByteArray>>("reply");
    QTest::addColumn<bool>("answers");
    QTest::addColumn<QString>("output");

    const QByteArray modemState = hex("fffa2c6b30fff0");
    const QByteArray baudAnswer = hex("fffa2c650001c200fff0");
    QTest::newRow("plain") << QList<QByteArray>{serverGreeting}
                           << QList<QByteArray>{"version\r\n" + banner + "\r\n"} << true
                           << QStringLiteral("BOOT MODE.\nOk.");
    // Every telnet sequence cut into single bytes: the greeting during the
    // open, a notification inside the banner. The probe waits only about
    // 110 ms, so the server answers no requests meanwhile and the banner
    // carries one split sequence (a millisecond a byte).
    QList<QByteArray> split = FakeSerialServer::bytewise(modemState);
    split.prepend(baudAnswer + banner.left(9));
    split += banner.mid(9) + "\r\n";
    QTest::newRow("sequences split into bytes")
        << FakeSerialServer::bytewise(serverGreeting) << split << false
        << QStringLiteral("BOOT MODE.\nOk.");
    // Malformed sequences inside the banner are dropped.
    QByteArray overlong = hex("fffa2c6b");
    overlong += QByteArray(500, '\x30');
    overlong += hex("fff0");
    QTest::newRow("malformed sequences")
        << QList<QByteArray>{serverGreeting}
        << QList<QByteArray>{hex("ffff") + overlong + banner.left(3),
                             hex("fff0"),
                             banner.mid(3, 4) + hex("ff41"),
                             banner.mid(7, 5) + hex("fff1"),
                             hex("fffa2c6b00fffb03") + banner.mid(12),
                             hex("ff")}
        << true << QStringLiteral("BOOT MODE.\nOk.");
    QTest::newRow("ramcode") << QList<QByteArray>{serverGreeting}
                             << QList<QByteArray>{"RAM", modemState + "CODE v1\r\n"} << true
                             << QStringLiteral("RAMCODE MODE.\nOk.");
}

void TestChipctlNet::bootRomAnswerIsFoundThroughTelnetSequences()
{
    QFETCH(QList<QByteArray>, greeting);
    QFETCH(QList<QByteArray>, reply);
    QFETCH(bool, answers);
    QFETCH(QString, output);
    FakeSerialServer server;
    server.greeting = greeting;
    server.trigger = "version\r\n";
    server.reply = reply;
    server.pieceGapMs = 1;
    server.answerComPort = answers;
    const quint16 port = server.begin();

    const Run run = chipctl({portName(port), "mode", "read"});
    QVERIFY(run.finished);
    QVERIFY(!run.crashed);
    QCOMPARE(run.output, output);
    QVERIFY(server.receivedBytes().contains("version\r\n"));
}

void TestChipctlNet::serverClosingMidAnswerEndsTheCommandWithItsFailure()
{
    FakeSerialServer server;
    server.greeting = {serverGreeting};
    server.trigger = "version\r\n";
    server.reply = {banner.left(9) + hex("fffa2c")};
    server.closeAfterReply = true;
    const quint16 port = server.begin();

    const Run run = chipctl({portName(port), "mode", "read"});
    QVERIFY(run.finished);
    QVERIFY(!run.crashed);
    QCOMPARE(run.output, QStringLiteral("Fail. Could not go in download mode."));
    QCOMPARE(server.connectionCount(), 1);
}

void TestChipctlNet::serverClosingDuringNegotiationMeansNoPort()
{
    FakeSerialServer server;
    server.greeting = {serverGreeting.left(5)};
    server.closeAfterGreeting = true;
    const quint16 port = server.begin();

    const Run run = chipctl({portName(port), "entry_boot_mode"});
    QVERIFY(run.finished);
    QVERIFY(!run.crashed);
    QCOMPARE(run.output, QStringLiteral("Fail. Could not open the serial port."));
}

void TestChipctlNet::floodingServerLeavesTheProbesTheirTime_data()
{
    QTest::addColumn<QByteArray>("flood");
    // The binary option switched on and off again and again: every request
    // wants an answer, and the server reads none of them.
    QTest::newRow("telnet negotiations") << hex("fffb00 fffc00");
    // Lines that hold no answer: a flood that spelled "RAMCODE" would be
    // a ramcode answer whenever the sending thread paused for a moment.
    QTest::newRow("data after the banner") << QByteArray("ramcode? noise \x01\x02\r\n");
}

// The ramcode probes of "mac read" take about 4.4 s whatever the server
// sends, and no answer ever completes while bytes keep coming. Chipctl reads
// and answers the flood all that time: an instrumented build on a busy PC
// needs about 12 s of it here, so a hang is only what outlasts a minute.
void TestChipctlNet::floodingServerLeavesTheProbesTheirTime()
{
    QFETCH(QByteArray, flood);
    FloodingServer server(serverGreeting, flood);
    QVERIFY(server.port != 0);
    const Run run = chipctl({portName(server.port), "mac", "read"}, 60000);
    QVERIFY(run.finished);
    QVERIFY(!run.crashed);
    QCOMPARE(run.output, QStringLiteral("Fail. Could not go in ramcode mode."));
}

void TestChipctlNet::unreachablePortsFailToOpen_data()
{
    QTest::addColumn<QString>("name");

    quint16 closedPort = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        closedPort = probe.serverPort();
    }
    QTest::newRow("refused") << portName(closedPort);
    QTest::newRow("refused raw") << QStringLiteral("socket://127.0.0.1:%1").arg(closedPort);
    QTest::newRow("unknown host") << QStringLiteral("rfc2217://no-such-host.invalid:4000");
    QTest::newRow("no port") << QStringLiteral("rfc2217://127.0.0.1");
    QTest::newRow("port 0") << QStringLiteral("rfc2217://127.0.0.1:0");
    QTest::newRow("port 70000") << QStringLiteral("rfc2217://127.0.0.1:70000");
    QTest::newRow("empty host") << QStringLiteral("socket://:4000");
    QTest::newRow("silent host") << QString();
}

void TestChipctlNet::unreachablePortsFailToOpen()
{
    QFETCH(QString, name);
    // A listening socket whose queue is full never answers a connection.
    int listener = -1;
    int filler = -1;
    if (name.isEmpty()) {
        listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        QCOMPARE(::bind(listener, reinterpret_cast<sockaddr *>(&addr), len), 0);
        QCOMPARE(::listen(listener, 0), 0);
        QCOMPARE(::getsockname(listener, reinterpret_cast<sockaddr *>(&addr), &len), 0);
        filler = ::socket(AF_INET, SOCK_STREAM, 0);
        QCOMPARE(::connect(filler, reinterpret_cast<sockaddr *>(&addr), len), 0);
        name = portName(ntohs(addr.sin_port));
    }
    const Run run = chipctl({name, "mode", "read"});
    if (filler >= 0)
        ::close(filler);
    if (listener >= 0)
        ::close(listener);
    QVERIFY(run.finished);
    QVERIFY(!run.crashed);
    QCOMPARE(run.output, QStringLiteral("Fail. Could not open the serial port."));
    QVERIFY2(run.ms < 3000, qPrintable(QString::number(run.ms)));
}

QTEST_GUILESS_MAIN(TestChipctlNet)
#include "tst_chipctlnet.moc"
