#include "host/rfc2217port.h"

#include "chip/simchip.h"

#include <QtEndian>

namespace stationsim {

namespace {
enum ComPort : quint8
{
    Signature = 0,
    SetBaudRate = 1,
    SetDataSize = 2,
    SetParity = 3,
    SetStopSize = 4,
    SetControl = 5,
    FlowControlSuspend = 8,
    FlowControlResume = 9,
    SetLineStateMask = 10,
    SetModemStateMask = 11,
    PurgeData = 12,
};
constexpr quint8 serverOffset = 100;
} // namespace

Rfc2217Port::Rfc2217Port(SimChip *chip, QObject *parent)
    : QObject(parent)
    , chip(chip)
    , rng(0x2217u + quint32(chip->setup().slot))
{
    connect(&server, &QTcpServer::newConnection, this, &Rfc2217Port::onNewConnection);
    connect(chip->link(), &UartLink::toHost, this, &Rfc2217Port::onChipOutput);
}

Rfc2217Port::~Rfc2217Port()
{
    close();
}

bool Rfc2217Port::listen(quint16 port, QString *error)
{
    if (!server.listen(QHostAddress::LocalHost, port)) {
        *error = server.errorString();
        return false;
    }
    return true;
}

void Rfc2217Port::close()
{
    server.close();
    dropClient();
}

void Rfc2217Port::onNewConnection()
{
    while (QTcpSocket *socket = server.nextPendingConnection()) {
        if (client) {
            // The previous host has gone or is going: take its last bytes
            // and let it release the lines before the new one begins.
            process(client->readAll());
            dropClient();
        }
        client = socket;
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::readyRead, this, &Rfc2217Port::onReadyRead);
        connect(socket, &QTcpSocket::disconnected, this, &Rfc2217Port::onDisconnected);
        codec = TelnetCodec();
        hostBaud = 0;
        emit note(QStringLiteral("client connected"));
        socket->write(codec.greeting());
    }
}

void Rfc2217Port::onReadyRead()
{
    auto *socket = qobject_cast<QTcpSocket *>(sender());
    if (socket && socket == client)
        process(socket->readAll());
}

void Rfc2217Port::onDisconnected()
{
    auto *socket = qobject_cast<QTcpSocket *>(sender());
    if (socket && socket == client) {
        process(socket->readAll());
        dropClient();
    }
}

void Rfc2217Port::dropClient()
{
    if (!client)
        return;
    QTcpSocket *socket = client;
    client = nullptr;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    emit note(QStringLiteral("client gone: DTR and RTS released"));
    dtr = false;
    chip->setLines(rts, dtr);
    rts = false;
    chip->setLines(rts, dtr);
    hostBaud = 0;
}

void Rfc2217Port::process(const QByteArray &bytes)
{
    if (bytes.isEmpty() || !client)
        return;
    const QList<TelnetCodec::Item> items = codec.feed(bytes);
    const QByteArray replies = codec.takeReplies();
    if (!replies.isEmpty())
        client->write(replies);
    for (const TelnetCodec::Item &item : items) {
        if (item.isRequest)
            handleRequest(item.command, item.value);
        else
            chip->hostData(item.data, hostBaud);
    }
}

void Rfc2217Port::answer(quint8 command, const QByteArray &value)
{
    if (client)
        client->write(TelnetCodec::comPortMessage(quint8(command + serverOffset), value));
}

void Rfc2217Port::handleRequest(quint8 command, const QByteArray &value)
{
    const quint8 first = value.isEmpty() ? 0 : quint8(value.at(0));
    switch (command) {
    case Signature:
        answer(command, "stationsim TK716A " + chip->name().toLatin1());
        return;
    case SetBaudRate: {
        if (value.size() != 4)
            return;
        quint32 baud = qFromBigEndian<quint32>(value.constData());
        if (baud != 0) {
            hostBaud = baud;
            emit note(QStringLiteral("host baud %1").arg(baud));
        } else {
            baud = hostBaud ? hostBaud : chip->link()->chipBaud();
        }
        QByteArray reply(4, '\0');
        qToBigEndian<quint32>(baud, reply.data());
        answer(command, reply);
        return;
    }
    case SetDataSize:
        answer(command, QByteArray(1, char(first ? first : 8)));
        return;
    case SetParity:
    case SetStopSize:
        answer(command, QByteArray(1, char(first ? first : 1)));
        return;
    case SetControl: {
        quint8 reply = first;
        switch (first) {
        case 0: // flow control query
            reply = 1;
            break;
        case 4: // break query
            reply = 6;
            break;
        case 7:
            reply = dtr ? 8 : 9;
            break;
        case 8:
        case 9:
            dtr = first == 8;
            emit note(dtr ? QStringLiteral("DTR on") : QStringLiteral("DTR off"));
            chip->setLines(rts, dtr);
            break;
        case 10:
            reply = rts ? 11 : 12;
            break;
        case 11:
        case 12:
            rts = first == 11;
            emit note(rts ? QStringLiteral("RTS on") : QStringLiteral("RTS off"));
            chip->setLines(rts, dtr);
            break;
        default:
            break;
        }
        answer(command, QByteArray(1, char(reply)));
        return;
    }
    case SetLineStateMask:
    case SetModemStateMask:
        answer(command, value.left(1));
        return;
    case PurgeData:
        if (first == 1 || first == 3)
            chip->link()->clearFromChip();
        if (first == 2 || first == 3)
            chip->link()->clearFromHost();
        answer(command, value.left(1));
        return;
    case FlowControlSuspend:
    case FlowControlResume:
    default:
        return;
    }
}

void Rfc2217Port::onChipOutput(const QByteArray &bytes, quint32 chipBaud)
{
    if (!client)
        return;
    if (!UartLink::ratesMatch(hostBaud, chipBaud))
        client->write(TelnetCodec::escape(UartLink::garble(bytes, rng)));
    else
        client->write(TelnetCodec::escape(bytes));
}

} // namespace stationsim
