#ifndef NETPORT_H
#define NETPORT_H

#include "rfc2217session.h"
#include "serialbackend.h"

class QDeadlineTimer;
class TcpStream;

// A serial port reached over the network. "rfc2217://HOST:PORT": a serial
// device server (or the simulated station) speaking telnet with the
// COM-PORT-OPTION, so the baud rate, 8N1 and the RTS and DTR lines travel
// to the far end; data bytes 0xFF are doubled on the wire. "socket://HOST:PORT":
// raw TCP; line and baud changes are accepted and ignored.
//
// Chipctl runs no event loop: bytes arrive while its waits process events,
// and readyRead is emitted from there. Opening and line changes block for
// bounded times; a line change is on the network before the call returns.
// Bytes that come in during such a blocking call are announced afterwards
// through the event queue, never from inside the call.
class NetPort : public SerialBackend
{
    Q_OBJECT
public:
    // Opening (name lookup, connection, negotiation, line settings) never
    // takes longer than this.
    static constexpr int openTimeoutMs = 2500;
    // Part of it given to the server to answer our telnet offers; a server
    // that stays silent is taken to agree.
    static constexpr int negotiationTimeoutMs = 1000;
    // Longest wait for a line change to leave.
    static constexpr int lineChangeTimeoutMs = 500;
    // Bytes taken from the connection at one time: a server that floods the
    // line cannot keep Chipctl from its deadlines.
    static constexpr int readChunk = 64 * 1024;
    // Received data nobody has read yet, kept at most (a serial line brings
    // a few kilobytes during the longest blocking call); the rest is
    // dropped.
    static constexpr int maxUnread = 1024 * 1024;
    // Telnet replies the server has not taken yet, kept at most: replies to
    // a server that negotiates without end and reads nothing are dropped.
    static constexpr int maxUnsentReplies = 64 * 1024;

    explicit NetPort(QObject *parent = nullptr);
    ~NetPort() override;

    bool open(const QString &name, uint32_t baudRate) override;
    QByteArray readAll() override;
    bool write(const QByteArray &data) override;
    void setBaudRate(uint32_t baudRate) override;
    void setDataTerminalReady(bool on) override;
    void setRequestToSend(bool on) override;

    // The baud rate the server last confirmed; 0 before its first answer
    // and always on a raw socket.
    uint32_t confirmedBaudRate() const { return session.confirmedBaudRate(); }

private slots:
    void receive();
    void connectionClosed();

private:
    class BlockingCall;

    bool negotiate(const QDeadlineTimer &deadline);
    bool comPortUsable() const;
    void take(const QByteArray &bytes);
    void changeLine(const QByteArray &request);
    void send(const QByteArray &bytes);
    void flushFor(int ms);
    void announceData();
    void leaveBlockingCall();

    TcpStream *socket; // child of this object
    Rfc2217Session session;
    QByteArray received;
    bool telnet = false;
    int blockingCalls = 0;
    bool dataWaiting = false;
    bool lostWaiting = false;
    bool receiveQueued = false;
};

#endif // NETPORT_H
