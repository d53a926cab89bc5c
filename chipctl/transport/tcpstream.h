#ifndef TCPSTREAM_H
#define TCPSTREAM_H

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>

class QDeadlineTimer;
class QSocketNotifier;

// A TCP connection on the platform's own sockets (BSD sockets on Linux,
// Winsock on Windows), its bytes announced by Qt's event dispatcher through
// a socket notifier. It is what a network serial port needs and no more:
// a Chipctl run that talks to a device server then loads no network library
// of Qt's (on Linux QtNetwork brings GSSAPI and Kerberos with it), and a
// run's start costs what a run on a local port costs.
//
// The socket is non-blocking. Every wait is bounded by its caller's
// milliseconds or deadline; only waitForReadyRead and the waits of
// connectTo block, and they process no events. What the connection brings
// is read in portions of at most the read limit: beyond it the connection
// itself holds the server back.
class TcpStream : public QObject
{
    Q_OBJECT
public:
    explicit TcpStream(QObject *parent = nullptr);
    ~TcpStream() override;

    TcpStream(const TcpStream &) = delete;
    TcpStream &operator=(const TcpStream &) = delete;

    // Looks `host` up (a name, an IPv4 address or an IPv6 address without
    // brackets) and connects to `port` at its first address that takes the
    // connection, all before `deadline`. A name lookup still running then is
    // left behind in a thread of its own (a resolver that does not answer).
    bool connectTo(const QString &host, uint16_t port, const QDeadlineTimer &deadline);
    bool isOpen() const { return socketId != invalidSocket; }

    // True when `text` is an IPv6 address (without brackets), with or
    // without an interface after "%".
    static bool isIpv6Address(const QString &text);

    // Bytes read from the connection and not yet taken; at most the limit.
    void setReadLimit(int bytes);
    int bytesAvailable() const { return int(inbox.size()); }
    QByteArray read(int maxBytes);

    // Queues `data` and sends what the connection takes now; false when the
    // connection is not open.
    bool write(const QByteArray &data);
    // Sends what is queued as far as the connection takes it without
    // waiting. A connection that fails meanwhile is closed (disconnected).
    void flush();
    int bytesToWrite() const { return int(outbox.size()); }
    // Waits up to `ms` until the connection takes more bytes. Only the
    // sending side is watched: a server that keeps sending cannot cut the
    // wait short again and again.
    bool waitWritable(int ms);
    // Waits up to `ms` for bytes (readyRead is emitted before it returns
    // true) or the end of the connection (disconnected is emitted, false).
    bool waitForReadyRead(int ms);

    // Ends our sending side (a FIN after the last byte sent) and keeps the
    // receiving side open.
    void shutdownSending();
    // Sends small segments at once (no Nagle delay).
    void setLowDelay();
    // Closes the connection at once, without a word.
    void abort();

signals:
    // Bytes came in (emitted from the event dispatcher, or from
    // waitForReadyRead).
    void readyRead();
    // The server ended the connection, or it failed.
    void disconnected();

private:
    enum class Fill
    {
        Nothing,
        Bytes,
        Ended
    };

    void onReadable();
    bool takeIn();
    Fill fill();
    void lose();

    static constexpr qintptr invalidSocket = -1;
    qintptr socketId = invalidSocket;    // a file descriptor, or a Winsock SOCKET
    QSocketNotifier *notifier = nullptr; // child of this object while open
    QByteArray inbox;
    QByteArray outbox;
    int readLimit = 64 * 1024;
};

#endif // TCPSTREAM_H
