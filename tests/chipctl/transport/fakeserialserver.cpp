#include "fakeserialserver.h"

#include <QDeadlineTimer>
#include <QMutexLocker>
#include <QTcpServer>
#include <QTcpSocket>

FakeSerialServer::~FakeSerialServer()
{
    quit();
    wait();
}

quint16 FakeSerialServer::begin()
{
    QMutexLocker lock(&mutex);
    start();
    const QDeadlineTimer deadline(5000);
    while (!listening && !deadline.hasExpired())
        changed.wait(&mutex, deadline);
    return port;
}

void FakeSerialServer::run()
{
    QObject here;
    QTcpServer server;
    const bool ok = server.listen(QHostAddress::LocalHost, 0);
    {
        QMutexLocker lock(&mutex);
        port = ok ? server.serverPort() : 0;
        listening = true;
        context = &here;
        changed.wakeAll();
    }
    if (!ok)
        return;
    QObject::connect(&server, &QTcpServer::newConnection, &here, [&] {
        while (QTcpSocket *socket = server.nextPendingConnection()) {
            ++connections;
            client = socket;
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            QObject::connect(socket, &QTcpSocket::readyRead, &here,
                             [this, socket] { onData(socket); });
            QObject::connect(socket, &QTcpSocket::disconnected, &here, [this, socket] {
                QMutexLocker lock(&mutex);
                if (socket->isOpen())
                    rx += socket->readAll();
                clientClosed = true;
                changed.wakeAll();
            });
            play(socket, greeting);
            if (closeAfterGreeting)
                socket->close();
        }
    });
    exec();
    QMutexLocker lock(&mutex);
    context = nullptr;
}

void FakeSerialServer::play(QTcpSocket *socket, const QList<QByteArray> &pieces)
{
    for (int i = 0; i < pieces.size(); ++i) {
        if (socket->state() != QAbstractSocket::ConnectedState)
            return;
        if (i > 0 && pieceGapMs > 0)
            QThread::msleep(ulong(pieceGapMs));
        socket->write(pieces.at(i));
        socket->flush();
        if (socket->bytesToWrite() > 0 && socket->state() == QAbstractSocket::ConnectedState)
            socket->waitForBytesWritten(100);
    }
}

// Writing inside this handler may read more bytes into the socket without a
// new readyRead (Qt does not nest it), so take everything that is there.
void FakeSerialServer::onData(QTcpSocket *socket)
{
    while (socket->bytesAvailable() > 0) {
        {
            QMutexLocker lock(&mutex);
            rx += socket->readAll();
            changed.wakeAll();
        }
        if (socket->state() == QAbstractSocket::ConnectedState)
            respond(socket);
    }
}

void FakeSerialServer::respond(QTcpSocket *socket)
{
    if (answerComPort)
        answerRequests(socket);
    if (trigger.isEmpty())
        return;
    const int seen = receivedBytes().count(trigger);
    while (triggersSeen < seen) {
        ++triggersSeen;
        play(socket, reply);
        if (closeAfterReply) {
            socket->close();
            return;
        }
    }
}

// Finds each complete "IAC SB 44 code value IAC SE" not yet answered.
void FakeSerialServer::answerRequests(QTcpSocket *socket)
{
    const QByteArray all = receivedBytes();
    const QByteArray start("\xff\xfa\x2c", 3);
    const QByteArray end("\xff\xf0", 2);
    for (;;) {
        const int from = all.indexOf(start, scanFrom);
        if (from < 0)
            return;
        const int to = all.indexOf(end, from + 3);
        if (to < 0)
            return;
        scanFrom = to + 2;
        const QByteArray body = all.mid(from + 3, to - from - 3);
        if (body.isEmpty())
            continue;
        const uint8_t code = uint8_t(body.at(0));
        const uint8_t value = body.size() > 1 ? uint8_t(body.at(1)) : 0;
        if (code == 5 && value >= 8)
            continue; // modem lines: no answer
        QByteArray answer = start;
        answer += char(code + 100);
        answer += body.mid(1);
        answer += end;
        play(socket, bytewiseAnswers ? bytewise(answer) : QList<QByteArray>{answer});
    }
}

void FakeSerialServer::send(const QList<QByteArray> &pieces)
{
    QMutexLocker lock(&mutex);
    if (!context)
        return;
    QMetaObject::invokeMethod(
        context,
        [this, pieces] {
            if (client)
                play(client, pieces);
        },
        Qt::QueuedConnection);
}

void FakeSerialServer::closeClient()
{
    QMutexLocker lock(&mutex);
    if (!context)
        return;
    QMetaObject::invokeMethod(
        context,
        [this] {
            if (client)
                client->close();
        },
        Qt::QueuedConnection);
}

QByteArray FakeSerialServer::receivedBytes() const
{
    QMutexLocker lock(&mutex);
    return rx;
}

bool FakeSerialServer::waitForReceived(const QByteArray &needle, int ms) const
{
    QMutexLocker lock(&mutex);
    const QDeadlineTimer deadline(ms);
    while (!rx.contains(needle)) {
        if (deadline.hasExpired())
            return false;
        changed.wait(&mutex, deadline);
    }
    return true;
}

bool FakeSerialServer::waitForClientClosed(int ms) const
{
    QMutexLocker lock(&mutex);
    const QDeadlineTimer deadline(ms);
    while (!clientClosed) {
        if (deadline.hasExpired())
            return false;
        changed.wait(&mutex, deadline);
    }
    return true;
}

QList<QByteArray> FakeSerialServer::bytewise(const QByteArray &bytes)
{
    QList<QByteArray> pieces;
    for (const char c : bytes)
        pieces.append(QByteArray(1, c));
    return pieces;
}
