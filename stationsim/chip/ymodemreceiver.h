#ifndef STATIONSIM_YMODEMRECEIVER_H
#define STATIONSIM_YMODEMRECEIVER_H

#include <QByteArray>
#include <QObject>
#include <QTimer>

namespace stationsim {

// The chip's YMODEM receiver (CRC-16 batch, one file). It asks with "C",
// ACKs good blocks, NAKs damaged ones, NAKs the first EOT and ACKs the
// second with a new "C", then ACKs the closing block. A sender that goes
// quiet gets NAKs and, after ten of them, a cancel; two CAN bytes from the
// sender abort. STX blocks carry stxSize bytes (1024 in the boot ROM, 16384
// for flash upgrades).
class YmodemReceiver : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        int stxSize = 1024;
        qint64 maxSize = 0;         // larger files are cancelled
        int nakBlocks = 0;          // fault: NAK the first N data blocks
        int cancelAfterBlocks = -1; // fault: cancel after N good data blocks
    };

    explicit YmodemReceiver(QObject *parent = nullptr);

    void start(const Options &options);
    // Takes bytes until the transfer ends; returns how many it took. What
    // follows the end belongs to whatever the chip does next.
    int feed(const QByteArray &bytes);
    // Drops a running transfer without a word (the chip was reset).
    void abort();
    bool active() const { return state != State::Idle; }
    // Data blocks taken in the last transfer, by size.
    int shortBlocks() const { return shortCount; }
    int longBlocks() const { return longCount; }

    // Timings, shortened by tests.
    int headerRetryMs = 1000;
    int headerTries = 30;
    int blockTimeoutMs = 2000;
    int maxErrors = 10;

signals:
    void send(const QByteArray &bytes);
    // The header block: file name and everything after the name (size, date,
    // mode ... as the sender put them).
    void header(const QString &name, const QByteArray &fields);
    // ok false: cancelled or failed. data is cut to the size in the header.
    void finished(bool ok, const QByteArray &data, const QString &fileName);

private:
    enum class State
    {
        Idle,
        WaitHeader,
        WaitBlock,
        AfterFirstEot,
        WaitClose
    };

    void onByte(quint8 b);
    void handleByte(quint8 b);
    void onBlock();
    void onHeader(const QByteArray &payload);
    void onTimeout();
    void cancel();
    void finish(bool ok);
    void answer(char byte, bool askAgain = false);

    Options opts;
    State state = State::Idle;
    QByteArray block;    // block being collected, from its SOH/STX
    int blockLength = 0; // full length including header and CRC
    int cancels = 0;
    int errors = 0;
    int tries = 0;
    int goodBlocks = 0;
    int shortCount = 0;
    int longCount = 0;
    int naksLeft = 0;
    quint8 lastSeq = 0;
    qint64 headerSize = -1;
    QString name;
    QByteArray data;
    QTimer timer;
};

} // namespace stationsim

#endif // STATIONSIM_YMODEMRECEIVER_H
