#include "netport.h"

#include "comportoption.h"
#include "netportaddress.h"
#include "tcpstream.h"

#include <QDeadlineTimer>

#include <utility>

namespace {

constexpr int closeTimeoutMs = 300;
constexpr int closeQuietMs = 20;

int msLeft(const QDeadlineTimer &deadline)
{
    return int(qBound(qint64(0), deadline.remainingTime(), qint64(INT32_MAX)));
}

} // namespace

// Marks a call that blocks without returning to the caller's event
// processing: received data is kept and announced after the call.
class NetPort::BlockingCall
{
public:
    explicit BlockingCall(NetPort &port)
        : port(port)
    {
        ++port.blockingCalls;
    }
    ~BlockingCall() { port.leaveBlockingCall(); }
    BlockingCall(const BlockingCall &) = delete;
    BlockingCall &operator=(const BlockingCall &) = delete;

private:
    NetPort &port;
};

NetPort::NetPort(QObject *parent)
    : SerialBackend(parent)
    , socket(new TcpStream(this))
{
    // What the socket reads ahead of us is bounded too: beyond it the
    // connection itself holds the server back.
    socket->setReadLimit(readChunk);
    connect(socket, &TcpStream::readyRead, this, &NetPort::receive);
    connect(socket, &TcpStream::disconnected, this, &NetPort::connectionClosed);
}

NetPort::~NetPort()
{
    socket->disconnect(this);
    if (!socket->isOpen())
        return;
    // Let the last bytes leave and close the connection cleanly. A socket
    // closed with unread bytes resets the connection, and a reset makes the
    // server drop what it has not read yet (perhaps our last line change):
    // so every answer of the server must be taken in before the socket
    // closes. With everything written, our side ends its stream: the server
    // sees that end only after all we sent, and closes in turn, after its
    // last answer. A server that keeps its side open is read until it has
    // been quiet for a moment, as no end of stream will come.
    ++blockingCalls;
    const QDeadlineTimer deadline(closeTimeoutMs);
    flushFor(closeTimeoutMs);
    if (socket->bytesToWrite() == 0)
        socket->shutdownSending();
    do {
        socket->read(readChunk);
    } while (socket->isOpen() && msLeft(deadline) > 0 &&
             socket->waitForReadyRead(qMin(closeQuietMs, msLeft(deadline))));
    socket->abort();
}

bool NetPort::open(const QString &name, uint32_t baudRate)
{
    const QDeadlineTimer deadline(openTimeoutMs);
    NetPortAddress address;
    if (!NetPortAddress::parse(name, address))
        return false;
    telnet = address.kind == NetPortAddress::Kind::Rfc2217;

    BlockingCall call(*this);
    // Name lookup and connection; a lookup that does not finish in time is
    // left behind (TcpStream).
    if (!socket->connectTo(address.host, address.port, deadline)) {
        socket->abort();
        return false;
    }
    // Line changes are single small segments whose timing matters.
    socket->setLowDelay();
    if (!telnet)
        return true;
    if (!negotiate(deadline)) {
        socket->abort();
        return false;
    }
    if (comPortUsable()) {
        send(ComPortOption::lineSettings(baudRate) +
             ComPortOption::setControl(ComPortOption::controlNoFlowControl));
        flushFor(qMin(lineChangeTimeoutMs, msLeft(deadline)));
    }
    return socket->isOpen();
}

// Offers binary transmission both ways, no go-ahead and the COM-PORT-OPTION,
// then waits (bounded) until the server has answered them. False when the
// server closed the connection.
bool NetPort::negotiate(const QDeadlineTimer &deadline)
{
    send(session.offers());
    const QDeadlineTimer answers(qMin(negotiationTimeoutMs, msLeft(deadline)));
    while (!session.negotiationSettled() && socket->isOpen()) {
        const int left = msLeft(answers);
        if (left <= 0)
            break;
        // Emits readyRead, which decodes the answers and replies to them;
        // what was left over from the last portion is taken first.
        if (socket->bytesAvailable() > 0)
            receive();
        else
            socket->waitForReadyRead(left);
    }
    return socket->isOpen();
}

bool NetPort::comPortUsable() const
{
    return telnet && session.comPortUsable();
}

QByteArray NetPort::readAll()
{
    return std::exchange(received, QByteArray());
}

bool NetPort::write(const QByteArray &data)
{
    if (!socket->isOpen())
        return false;
    BlockingCall call(*this);
    const QByteArray wire = telnet ? TelnetCodec::escape(data) : data;
    if (!socket->write(wire))
        return false;
    flushFor(50);
    return true;
}

void NetPort::setBaudRate(uint32_t baudRate)
{
    // 0 would ask the server for its rate instead of setting one.
    if (baudRate != 0)
        changeLine(ComPortOption::lineSettings(baudRate));
}

void NetPort::setDataTerminalReady(bool on)
{
    changeLine(
        ComPortOption::setControl(on ? ComPortOption::controlDtrOn : ComPortOption::controlDtrOff));
}

void NetPort::setRequestToSend(bool on)
{
    changeLine(
        ComPortOption::setControl(on ? ComPortOption::controlRtsOn : ComPortOption::controlRtsOff));
}

// Sends a COM-PORT-OPTION request and waits until it has left. The server's
// answer is never waited for (a server on a line without modem signals
// does not answer DTR and RTS requests at all).
void NetPort::changeLine(const QByteArray &request)
{
    if (!comPortUsable() || !socket->isOpen())
        return;
    BlockingCall call(*this);
    send(request);
    flushFor(lineChangeTimeoutMs);
}

// One bounded portion at a time. Bytes left over (a server that sends
// faster than we take, or bytes read in while announcing data led to a
// write) are taken on the next pass of the event loop, so every wait sees
// its deadline in between.
void NetPort::receive()
{
    receiveQueued = false;
    if (socket->bytesAvailable() > 0)
        take(socket->read(readChunk));
    if (socket->bytesAvailable() > 0 && !receiveQueued) {
        receiveQueued = true;
        QMetaObject::invokeMethod(this, &NetPort::receive, Qt::QueuedConnection);
    }
}

void NetPort::take(const QByteArray &bytes)
{
    QByteArray data;
    if (telnet) {
        const QByteArray replies = session.take(bytes, data);
        if (socket->bytesToWrite() < maxUnsentReplies)
            send(replies);
    } else {
        data = bytes;
    }
    const int room = maxUnread - received.size();
    if (data.isEmpty() || room <= 0)
        return;
    received += data.left(room);
    announceData();
}

// The server closed the connection: what it sent before is announced first,
// then the loss.
void NetPort::connectionClosed()
{
    while (socket->bytesAvailable() > 0)
        take(socket->read(readChunk));
    if (blockingCalls > 0) {
        lostWaiting = true;
        return;
    }
    if (!received.isEmpty())
        emit readyRead();
    emit lost();
}

void NetPort::announceData()
{
    if (blockingCalls > 0)
        dataWaiting = true;
    else
        emit readyRead();
}

void NetPort::leaveBlockingCall()
{
    if (--blockingCalls > 0 || (!dataWaiting && !lostWaiting))
        return;
    const bool announceLoss = lostWaiting;
    dataWaiting = false;
    lostWaiting = false;
    QMetaObject::invokeMethod(
        this,
        [this, announceLoss] {
            if (!received.isEmpty())
                emit readyRead();
            if (announceLoss)
                emit lost();
        },
        Qt::QueuedConnection);
}

void NetPort::send(const QByteArray &bytes)
{
    if (bytes.isEmpty() || !socket->isOpen())
        return;
    socket->write(bytes);
}

// Hands what is queued to the connection until it has all left or `ms` has
// passed. Bytes that arrive meanwhile stay in the connection and are taken
// afterwards, through the event loop.
void NetPort::flushFor(int ms)
{
    const QDeadlineTimer deadline(ms);
    while (socket->isOpen()) {
        socket->flush();
        if (socket->bytesToWrite() == 0)
            break;
        const int left = msLeft(deadline);
        if (left <= 0 || !socket->waitWritable(left))
            break;
    }
}
