#ifndef FAKESERIALSERVER_H
#define FAKESERIALSERVER_H

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <atomic>

class QObject;
class QTcpSocket;

// A scripted network serial server on 127.0.0.1 (a free port), serving in
// its own thread so that a client in the test's thread may block. It
// records every byte it receives, raw, and plays a script set before
// start(): a greeting at connect, a reply whenever a trigger arrives, and
// answers to COM-PORT-OPTION requests. Pieces are written one by one with a
// pause between them, so the client reads them separately.
class FakeSerialServer : public QThread
{
public:
    // The script.
    QList<QByteArray> greeting;
    QByteArray trigger;
    QList<QByteArray> reply;
    int pieceGapMs = 2;
    bool closeAfterGreeting = false;
    bool closeAfterReply = false;
    // Answer each COM-PORT-OPTION request with code + 100 and its value,
    // except the SET-CONTROL line requests (as ser2net on a pty); optionally
    // one byte at a time.
    bool answerComPort = false;
    bool bytewiseAnswers = false;

    FakeSerialServer() = default;
    ~FakeSerialServer() override;

    // Starts listening; returns the port (0 on failure).
    quint16 begin();
    // Sends pieces to the connected client from the server's thread.
    void send(const QList<QByteArray> &pieces);
    // Closes the client's connection.
    void closeClient();

    QByteArray receivedBytes() const;
    // Waits (bounded) until the received bytes contain `needle`.
    bool waitForReceived(const QByteArray &needle, int ms) const;
    // Waits (bounded) until the client has closed its connection.
    bool waitForClientClosed(int ms) const;
    int connectionCount() const { return connections.load(); }

    static QList<QByteArray> bytewise(const QByteArray &bytes);

protected:
    void run() override;

private:
    void onData(QTcpSocket *client);
    void respond(QTcpSocket *client);
    void answerRequests(QTcpSocket *client);
    void play(QTcpSocket *client, const QList<QByteArray> &pieces);

    mutable QMutex mutex;
    mutable QWaitCondition changed;
    QByteArray rx;
    quint16 port = 0;
    bool listening = false;
    bool clientClosed = false;
    QObject *context = nullptr; // lives in the server's thread while it runs
    QTcpSocket *client = nullptr;
    int triggersSeen = 0;
    int scanFrom = 0;
    std::atomic<int> connections{0};
};

#endif // FAKESERIALSERVER_H
