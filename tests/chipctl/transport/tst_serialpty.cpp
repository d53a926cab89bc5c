// The serial link over a real pseudo-terminal: the test holds the master
// side and plays the chip.
#include "serial.h"
#include "waitms.h"

#include <QSignalSpy>
#include <QtTest>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

class TestSerialPty : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void opensAndSendsBytesUnchanged();
    void emptySendWritesNothing();
    void receivesEveryByteInAnySplit();
    void bytesArrivingOutsideAWaitComeAtTheNextWait();
    void missingPortCannotBeOpened();

private:
    QByteArray readMaster(int want, int timeoutMs);
    int master = -1;
    int slave = -1;
    QString slaveName;
};

void TestSerialPty::init()
{
    char name[256] = {};
    QVERIFY(openpty(&master, &slave, name, nullptr, nullptr) == 0);
    slaveName = QString::fromLocal8Bit(name);
    termios tio{};
    tcgetattr(master, &tio);
    cfmakeraw(&tio);
    tcsetattr(master, TCSANOW, &tio);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
}

void TestSerialPty::cleanup()
{
    if (slave >= 0)
        ::close(slave);
    if (master >= 0)
        ::close(master);
    master = slave = -1;
}

QByteArray TestSerialPty::readMaster(int want, int timeoutMs)
{
    QByteArray got;
    QElapsedTimer t;
    t.start();
    while (got.size() < want && t.elapsed() < timeoutMs) {
        char buf[512];
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n > 0)
            got.append(buf, int(n));
        else
            waitMs(5);
    }
    return got;
}

void TestSerialPty::opensAndSendsBytesUnchanged()
{
    Serial serial;
    QVERIFY(serial.openPort(slaveName, 115200));
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i));
    QVERIFY(serial.sendData("version\r\n"));
    QVERIFY(serial.sendData(all));
    QCOMPARE(readMaster(9 + 256, 2000), "version\r\n" + all);
}

void TestSerialPty::emptySendWritesNothing()
{
    Serial serial;
    QVERIFY(serial.openPort(slaveName, 115200));
    QVERIFY(serial.sendData(QByteArray()));
    QVERIFY(serial.sendData("x"));
    // Only the single byte reaches the other end.
    QCOMPARE(readMaster(2, 300), QByteArray("x"));
}

void TestSerialPty::receivesEveryByteInAnySplit()
{
    Serial serial;
    QVERIFY(serial.openPort(slaveName, 115200));
    QByteArray received;
    connect(&serial, &Serial::recvSerialData, [&](const QByteArray &d) { received += d; });
    QByteArray expected;
    // Pieces of 1, 2, 3 ... bytes written with pauses in between.
    for (int piece = 1; piece <= 12; ++piece) {
        QByteArray part;
        for (int i = 0; i < piece; ++i)
            part.append(char((piece * 31 + i) & 0xff));
        QCOMPARE(::write(master, part.constData(), size_t(part.size())), ssize_t(part.size()));
        expected += part;
        waitMs(piece % 3 == 0 ? 15 : 1);
    }
    QElapsedTimer t;
    t.start();
    while (received.size() < expected.size() && t.elapsed() < 2000)
        waitMs(10);
    QCOMPARE(received, expected);
}

void TestSerialPty::bytesArrivingOutsideAWaitComeAtTheNextWait()
{
    Serial serial;
    QVERIFY(serial.openPort(slaveName, 115200));
    QSignalSpy spy(&serial, &Serial::recvSerialData);
    QCOMPARE(::write(master, "abc", 3), ssize_t(3));
    usleep(20000); // no events are processed here
    QCOMPARE(spy.count(), 0);
    waitMs(20);
    QByteArray got;
    for (const QList<QVariant> &args : qAsConst(spy))
        got += args.at(0).toByteArray();
    QCOMPARE(got, QByteArray("abc"));
}

void TestSerialPty::missingPortCannotBeOpened()
{
    Serial serial;
    QVERIFY(!serial.openPort("/dev/does-not-exist-tk716a", 115200));
    // Slots stay harmless on a port that never opened.
    QVERIFY(!serial.sendData("x"));
    QVERIFY(serial.setRTS(1));
}

QTEST_GUILESS_MAIN(TestSerialPty)
#include "tst_serialpty.moc"
