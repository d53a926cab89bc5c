// The TCP connection under the network serial port: a reader slower than
// the server still gets every byte in order while the stream holds no more
// than its read limit, and the end of the connection comes after the last
// byte, through the event dispatcher and through the blocking wait alike.
#include "tcpstream.h"
#include "waitms.h"

#include <QDeadlineTimer>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// A server on 127.0.0.1 that takes one connection, sends `data` and closes.
class OneShotServer
{
public:
    explicit OneShotServer(QByteArray data)
        : data(std::move(data))
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
        sender = std::thread([this] {
            const int client = ::accept(listener, nullptr, nullptr);
            if (client < 0)
                return;
            qsizetype sent = 0;
            while (sent < this->data.size()) {
                const ssize_t n = ::send(client, this->data.constData() + sent,
                                         size_t(this->data.size() - sent), MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                sent += n;
            }
            ::close(client);
        });
    }
    ~OneShotServer()
    {
        if (sender.joinable())
            sender.join();
        if (listener >= 0)
            ::close(listener);
    }
    quint16 port = 0;

private:
    QByteArray data;
    int listener = -1;
    std::thread sender;
};

QByteArray pattern(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 251) & 0xff);
    return bytes;
}

} // namespace

class TestTcpStream : public QObject
{
    Q_OBJECT

private slots:
    void slowReaderGetsEveryByteWithinTheLimit();
    void blockingWaitSeesTheBytesThenTheEnd();
};

// The reader takes a third of the limit on every fourth pass of its loop,
// so the stream fills up, stops reading the connection and must take it up
// again when there is room; the server's end comes only after all it sent.
void TestTcpStream::slowReaderGetsEveryByteWithinTheLimit()
{
    constexpr int limit = 4096;
    const QByteArray sent = pattern(64 * 1024);
    OneShotServer server(sent);
    QVERIFY(server.port != 0);

    TcpStream stream;
    stream.setReadLimit(limit);
    QByteArray received;
    int largestHeld = 0;
    bool ended = false;
    int bytesAtEnd = -1;
    connect(&stream, &TcpStream::readyRead, &stream,
            [&] { largestHeld = qMax(largestHeld, stream.bytesAvailable()); });
    connect(&stream, &TcpStream::disconnected, &stream, [&] {
        ended = true;
        bytesAtEnd = int(received.size()) + stream.bytesAvailable();
    });
    QVERIFY(stream.connectTo(QStringLiteral("127.0.0.1"), server.port, QDeadlineTimer(2000)));

    const QDeadlineTimer deadline(20000);
    for (int pass = 1; !(ended && stream.bytesAvailable() == 0) && !deadline.hasExpired(); ++pass) {
        waitForEvent(10);
        if (pass % 4 == 0)
            received += stream.read(limit / 3);
    }
    QVERIFY2(
        ended,
        qPrintable(
            QStringLiteral("%1 of %2 bytes, then nothing").arg(received.size()).arg(sent.size())));
    QCOMPARE(bytesAtEnd, int(sent.size()));
    QCOMPARE(received.size(), sent.size());
    QVERIFY(received == sent);
    QVERIFY2(largestHeld <= limit, qPrintable(QString::number(largestHeld)));
    QVERIFY(!stream.isOpen());
}

// The wait NetPort uses while it negotiates and closes: bytes, then the end.
void TestTcpStream::blockingWaitSeesTheBytesThenTheEnd()
{
    OneShotServer server(QByteArray("\r\npppp\r\n"));
    QVERIFY(server.port != 0);
    TcpStream stream;
    int announced = 0;
    int ends = 0;
    connect(&stream, &TcpStream::readyRead, &stream, [&] { ++announced; });
    connect(&stream, &TcpStream::disconnected, &stream, [&] { ++ends; });
    QVERIFY(stream.connectTo(QStringLiteral("127.0.0.1"), server.port, QDeadlineTimer(2000)));

    QByteArray received;
    const QDeadlineTimer deadline(5000);
    while (stream.isOpen() && !deadline.hasExpired()) {
        if (stream.waitForReadyRead(100))
            received += stream.read(64);
    }
    QCOMPARE(received, QByteArray("\r\npppp\r\n"));
    QVERIFY(announced >= 1);
    QCOMPARE(ends, 1);
    QVERIFY(!stream.isOpen());
    QVERIFY(!stream.write(QByteArray("x")));
}

QTEST_GUILESS_MAIN(TestTcpStream)
#include "tst_tcpstream.moc"
