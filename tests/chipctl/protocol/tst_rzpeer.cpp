// The YMODEM sender against a receiver nobody here wrote: rz from lrzsz,
// started by socat behind a pseudo-terminal. rz acknowledges the first EOT
// where the chip refuses it, so the sender, waiting for that refusal, ends
// with its time-out after the file has arrived whole: the received file is
// compared byte for byte and the time-out code expected.
#include "protocol/ymodemprotocol.h"
#include "waitms.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QSerialPort>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray randomBytes(int size, quint32 seed)
{
    QRandomGenerator gen(seed);
    QByteArray bytes(size, '\0');
    for (char &c : bytes)
        c = char(gen.bounded(256));
    return bytes;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Waits up to `ms` for `done`, processing events.
bool waitFor(int ms, const std::function<bool()> &done)
{
    return pollAnswer(unsigned(ms / 10), 10,
                      [&] { return done() ? AnswerState::Accepted : AnswerState::Pending; });
}

} // namespace

class tst_RzPeer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void receivesFile_data();
    void receivesFile();
};

void tst_RzPeer::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("rz")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("socat")).isEmpty())
        QFAIL("rz (lrzsz) and socat are needed: ./station installs them");
}

void tst_RzPeer::receivesFile_data()
{
    QTest::addColumn<int>("size");
    for (int size : {0, 1, 128, 129, 1024, 1025, 100000})
        QTest::newRow(qPrintable(QString::number(size))) << size;
}

void tst_RzPeer::receivesFile()
{
    QFETCH(int, size);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString outDir = dir.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(outDir));
    const QByteArray content = randomBytes(size, quint32(size) + 1);
    const QString source = dir.filePath(QStringLiteral("image.bin"));
    {
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), qint64(size));
    }
    // The serial port's lock file is named after the link: keep it unique
    // so that tests can run side by side.
    const QString link = dir.filePath(
        QStringLiteral("ttyRZ%1_%2").arg(size).arg(QRandomGenerator::global()->generate()));
    const QString log = dir.filePath(QStringLiteral("rz.log"));

    QProcess socat;
    socat.setStandardErrorFile(log);
    socat.start(QStringLiteral("socat"),
                {QStringLiteral("pty,raw,echo=0,link=%1,wait-slave").arg(link),
                 QStringLiteral("SYSTEM:cd %1 && rz --ymodem -y -vv; echo rz exit status $? >&2; "
                                "sleep 3")
                     .arg(outDir)});
    QVERIFY(socat.waitForStarted(5000));
    auto stopPeer = qScopeGuard([&] {
        socat.terminate();
        if (!socat.waitForFinished(5000)) {
            socat.kill();
            socat.waitForFinished(2000);
        }
    });
    QVERIFY2(waitFor(5000, [&] { return QFileInfo::exists(link); }), "socat made no pty");

    QSerialPort port;
    port.setPortName(link);
    QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
    port.setBaudRate(115200);

    yModemProtocol sender;
    sender.blockSize = 1024;
    QByteArray fromPeer;
    qint64 sent = 0;
    connect(&port, &QSerialPort::readyRead, &sender, [&] {
        const QByteArray bytes = port.readAll();
        fromPeer += bytes;
        sender.recvData(bytes);
    });
    connect(&sender, &yModemProtocol::sendData, &port, [&](const QByteArray &bytes) {
        sent += bytes.size();
        port.write(bytes);
    });

    const int result = sender.sendFile(source);
    const QString received = outDir + QStringLiteral("/image.bin");
    if (size == 0) {
        // An empty image is refused before a byte goes out: rz, asking
        // all the while, receives nothing.
        QCOMPARE(result, int(yModemProtocol::ResultOpenFailed));
        QVERIFY(waitFor(5000, [&] { return fromPeer.contains('C'); }));
        QCOMPARE(sent, qint64(0));
        QVERIFY(!QFileInfo::exists(received));
        return;
    }
    QCOMPARE(result, int(yModemProtocol::ResultTimeout));
    // The sender's cancel ends rz.
    waitFor(5000, [&] { return readAll(log).contains("rz exit status"); });
    port.close();
    QVERIFY2(QFileInfo::exists(received), readAll(log).constData());
    QCOMPARE(QFileInfo(received).size(), qint64(size));
    QVERIFY(readAll(received) == content);
}

QTEST_GUILESS_MAIN(tst_RzPeer)
#include "tst_rzpeer.moc"
