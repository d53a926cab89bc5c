#ifndef FAKECHIP_H
#define FAKECHIP_H

#include <QByteArray>
#include <QList>
#include <QObject>

#include <functional>

// An in-process chip for unit tests: it sees every byte the host sends
// (connect the host's sendData signal to hostSent) and answers through
// chipSent (connect it to the host's recvData slot). Answers come from a
// responder and are delivered after a delay, through the event loop, so the
// host only sees them inside its waits, as with a real port.
class FakeChip : public QObject
{
    Q_OBJECT
public:
    using Responder = std::function<QByteArray(const QByteArray &command)>;

    explicit FakeChip(QObject *parent = nullptr);

    // Called with each complete command line (up to and including "\r\n");
    // raw mode hands every write over unchanged instead.
    void setResponder(Responder r) { responder = std::move(r); }
    void setRawMode(bool raw) { rawMode = raw; }
    // Delay before an answer is delivered, and the size of the pieces it is
    // cut into (0: one piece).
    void setDelayMs(int ms) { delayMs = ms; }
    void setChunkSize(int bytes) { chunkSize = bytes; }

    // Delivers bytes to the host as if the chip had sent them unasked.
    void deliver(const QByteArray &bytes) { deliverAfter(0, bytes); }
    // The same, `ms` later than deliver() would: one timer per piece, so
    // that a PC holding the test back delays these bytes no more than the
    // host's own waits, as bytes a real chip sent meanwhile are in the
    // port's buffer when the host looks again.
    void deliverAfter(int ms, const QByteArray &bytes);

    QList<QByteArray> received;

signals:
    void chipSent(QByteArray data);

public slots:
    void hostSent(QByteArray data);

private:
    Responder responder;
    QByteArray pending;
    bool rawMode = false;
    int delayMs = 2;
    int chunkSize = 0;
};

#endif // FAKECHIP_H
