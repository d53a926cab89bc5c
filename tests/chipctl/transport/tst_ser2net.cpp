// The network serial port against ser2net, a real RFC 2217 server, serving
// one end of a socat pty pair; the test plays the chip on the other end.
#include "netport.h"
#include "waitms.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

QString findTool(const QString &name)
{
    const QString found = QStandardPaths::findExecutable(name);
    if (!found.isEmpty())
        return found;
    return QStandardPaths::findExecutable(
        name, {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin")});
}

// True while something listens on 127.0.0.1:`port`, seen without connecting
// (a connection would open the serial line on ser2net's side).
bool listening(quint16 port)
{
    QFile tcp(QStringLiteral("/proc/net/tcp"));
    if (!tcp.open(QIODevice::ReadOnly))
        return false;
    const QByteArray local =
        QByteArray("0100007F:") + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    const QList<QByteArray> lines = tcp.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && fields.at(1) == local && fields.at(3) == "0A")
            return true;
    }
    return false;
}

bool waitUntil(int ms, const std::function<bool()> &done)
{
    const QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(10);
    }
    return true;
}

} // namespace

class TestSer2net : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void bytesTravelUnchangedBothWays();
    void baudChangeIsAccepted();
    void lineChangesNeedNoAnswer();

private:
    bool startSer2net();
    QByteArray readChip(int size, int ms);
    bool writeChip(const QByteArray &bytes);
    QByteArray readPort(NetPort &port, int size, int ms);
    // The baud rate ser2net's end of the pty pair is set to.
    speed_t ptyOutputSpeed() const;

    QTemporaryDir dir;
    QProcess socat;
    QProcess ser2net;
    int chip = -1;
    quint16 port = 0;
};

void TestSer2net::initTestCase()
{
    const QString socatPath = findTool(QStringLiteral("socat"));
    const QString ser2netPath = findTool(QStringLiteral("ser2net"));
    QVERIFY2(!socatPath.isEmpty(), "socat is not installed (./station installs it)");
    QVERIFY2(!ser2netPath.isEmpty(), "ser2net is not installed (./station installs it)");
    QVERIFY(dir.isValid());

    socat.setProgram(socatPath);
    socat.setArguments({QStringLiteral("pty,raw,echo=0,link=") + dir.filePath("serial"),
                        QStringLiteral("pty,raw,echo=0,link=") + dir.filePath("chip")});
    socat.start();
    QVERIFY(socat.waitForStarted(5000));
    QVERIFY(waitUntil(5000, [&] {
        return QFileInfo::exists(dir.filePath("serial")) && QFileInfo::exists(dir.filePath("chip"));
    }));
    chip =
        ::open(QFile::encodeName(dir.filePath("chip")).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(chip >= 0);
    termios tio{};
    QCOMPARE(::tcgetattr(chip, &tio), 0);
    ::cfmakeraw(&tio);
    QCOMPARE(::tcsetattr(chip, TCSANOW, &tio), 0);

    ser2net.setProgram(ser2netPath);
    ser2net.setProcessChannelMode(QProcess::MergedChannels);
    // A free port is picked at run time; another program may take it
    // before ser2net does, so try a few.
    bool started = false;
    for (int attempt = 0; attempt < 3 && !started; ++attempt)
        started = startSer2net();
    QVERIFY2(started, ser2net.readAll().constData());
}

bool TestSer2net::startSer2net()
{
    {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0))
            return false;
        port = probe.serverPort();
    }
    const QString config = dir.filePath(QStringLiteral("ser2net.yaml"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.write(QStringLiteral("connection: &chip\n"
                              "    accepter: telnet(rfc2217),tcp,127.0.0.1,%1\n"
                              "    enable: on\n"
                              "    connector: serialdev,%2,115200n81,local\n")
                   .arg(port)
                   .arg(dir.filePath("serial"))
                   .toUtf8());
    file.close();
    ser2net.setArguments({"-d", "-u", "-c", config, "-P", dir.filePath("ser2net.pid")});
    ser2net.start();
    if (!ser2net.waitForStarted(5000))
        return false;
    if (waitUntil(5000, [&] { return listening(port) || ser2net.state() != QProcess::Running; }) &&
        ser2net.state() == QProcess::Running)
        return true;
    ser2net.kill();
    ser2net.waitForFinished(2000);
    return false;
}

void TestSer2net::cleanupTestCase()
{
    for (QProcess *process : {&ser2net, &socat}) {
        if (process->state() == QProcess::NotRunning)
            continue;
        process->terminate();
        if (!process->waitForFinished(3000)) {
            process->kill();
            process->waitForFinished(3000);
        }
    }
    if (chip >= 0)
        ::close(chip);
}

QByteArray TestSer2net::readChip(int size, int ms)
{
    QByteArray got;
    const QDeadlineTimer deadline(ms);
    while (got.size() < size && !deadline.hasExpired()) {
        pollfd fd{chip, POLLIN, 0};
        if (::poll(&fd, 1, int(qMax<qint64>(1, deadline.remainingTime()))) <= 0)
            continue;
        char buf[4096];
        const ssize_t n = ::read(chip, buf, sizeof buf);
        if (n > 0)
            got.append(buf, int(n));
    }
    return got;
}

bool TestSer2net::writeChip(const QByteArray &bytes)
{
    return ::write(chip, bytes.constData(), size_t(bytes.size())) == ssize_t(bytes.size());
}

QByteArray TestSer2net::readPort(NetPort &net, int size, int ms)
{
    QByteArray got;
    QMetaObject::Connection c =
        connect(&net, &SerialBackend::readyRead, this, [&] { got += net.readAll(); });
    pollAnswer(unsigned(ms / 10), 10,
               [&] { return got.size() >= size ? AnswerState::Accepted : AnswerState::Pending; });
    disconnect(c);
    got += net.readAll();
    return got;
}

speed_t TestSer2net::ptyOutputSpeed() const
{
    const int fd = ::open(QFile::encodeName(dir.filePath("serial")).constData(),
                          O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return 0;
    termios tio{};
    const bool ok = ::tcgetattr(fd, &tio) == 0;
    ::close(fd);
    return ok ? ::cfgetospeed(&tio) : 0;
}

void TestSer2net::bytesTravelUnchangedBothWays()
{
    NetPort net;
    QVERIFY(net.open(QStringLiteral("rfc2217://127.0.0.1:%1").arg(port), 115200));

    QByteArray toChip;
    for (int i = 0; i < 256; ++i)
        toChip += char(i);
    toChip += hex("ffff 0d00 0d0a ff0d00 ff");
    QVERIFY(net.write(toChip));
    QCOMPARE(readChip(toChip.size(), 5000).toHex(), toChip.toHex());

    QByteArray fromChip = hex("0d00 ffff ff 0d0a 00ff");
    for (int i = 255; i >= 0; --i)
        fromChip += char(i);
    QVERIFY(writeChip(fromChip));
    QCOMPARE(readPort(net, fromChip.size(), 5000).toHex(), fromChip.toHex());
    // Nothing more came either way: no telnet bytes leaked into the data.
    QCOMPARE(readChip(1, 200), QByteArray());
    QCOMPARE(readPort(net, 1, 200), QByteArray());
}

void TestSer2net::baudChangeIsAccepted()
{
    NetPort net;
    QVERIFY(net.open(QStringLiteral("rfc2217://127.0.0.1:%1").arg(port), 115200));
    QVERIFY(pollAnswer(300, 10, [&] {
        return net.confirmedBaudRate() == 115200 ? AnswerState::Accepted : AnswerState::Pending;
    }));
    QCOMPARE(ptyOutputSpeed(), speed_t(B115200));

    net.setBaudRate(9600);
    QVERIFY(pollAnswer(300, 10, [&] {
        return net.confirmedBaudRate() == 9600 ? AnswerState::Accepted : AnswerState::Pending;
    }));
    QCOMPARE(ptyOutputSpeed(), speed_t(B9600));

    // The line still carries data both ways at the new rate.
    QVERIFY(net.write(hex("55ffaa")));
    QCOMPARE(readChip(3, 5000).toHex(), QByteArray("55ffaa"));
    QVERIFY(writeChip(hex("ff00ff")));
    QCOMPARE(readPort(net, 3, 5000).toHex(), QByteArray("ff00ff"));

    net.setBaudRate(921600);
    QVERIFY(pollAnswer(300, 10, [&] {
        return net.confirmedBaudRate() == 921600 ? AnswerState::Accepted : AnswerState::Pending;
    }));
    QCOMPARE(ptyOutputSpeed(), speed_t(B921600));
}

// ser2net never answers DTR and RTS requests on a pty; the client must go
// on at once and the connection must stay usable.
void TestSer2net::lineChangesNeedNoAnswer()
{
    NetPort net;
    QVERIFY(net.open(QStringLiteral("rfc2217://127.0.0.1:%1").arg(port), 115200));
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 5; ++i) {
        net.setDataTerminalReady(true);
        net.setRequestToSend(true);
        net.setRequestToSend(false);
        net.setDataTerminalReady(false);
    }
    QVERIFY2(clock.elapsed() < NetPort::lineChangeTimeoutMs,
             qPrintable(QString::number(clock.elapsed())));
    QVERIFY(net.write("after"));
    QCOMPARE(readChip(5, 5000), QByteArray("after"));
    QVERIFY(writeChip("back"));
    QCOMPARE(readPort(net, 4, 5000), QByteArray("back"));
}

QTEST_GUILESS_MAIN(TestSer2net)
#include "tst_ser2net.moc"
