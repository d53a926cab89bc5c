#ifndef STATIONSIM_UARTLINK_H
#define STATIONSIM_UARTLINK_H

#include "wire/deliverymodel.h"
#include "wire/wiretimer.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>

#include <random>

namespace stationsim {

// The serial wire between the host and one chip, both directions paced at
// 10 bits a byte. A host byte reaches the chip when its wire time has passed;
// what the chip sends is handed to the host in the pieces of the link's
// delivery model (a USB-serial adapter's packets, a device server's splits
// and delays ...), never before the wire time of a piece's last byte. Bytes
// sent at a rate the receiver is not set to arrive garbled. The timer runs
// only while bytes are on the wire or in the link; it wakes at the time a
// command or a piece is complete (not a millisecond later), and while a long
// stream of host bytes arrives, once a millisecond. Time is kept by
// deadlines, not by the timer's wake-ups: when the process wakes late (a
// busy PC), the chip's answer still leaves at the wire time its command
// arrived, and every piece already due goes to the host at once.
class UartLink : public QObject
{
    Q_OBJECT
public:
    explicit UartLink(QObject *parent = nullptr);

    void setChipBaud(quint32 baud) { chipRate = baud; }
    quint32 chipBaud() const { return chipRate; }
    void setNoise(double chancePerByte, quint32 seed);
    // How the chip's bytes reach the host; drops what is in flight.
    void setDelivery(Delivery kind, quint32 seed);
    const DeliveryModel &delivery() const { return outgoing; }

    // Host bytes sent at hostBaud; 0 means "at whatever rate the chip uses".
    void fromHost(const QByteArray &bytes, quint32 hostBaud);
    // Chip bytes; they start on the wire after delayMs and after what is queued.
    void fromChip(const QByteArray &bytes, int delayMs = 0);
    // Chip bytes that start pauseNs after what is queued has left (or after
    // now, when nothing is): the firmware's pause between two pieces.
    void fromChipAfter(const QByteArray &bytes, qint64 pauseNs);
    void clearFromHost();
    void clearFromChip();
    bool chipOutputPending() const { return outgoing.pending(); }
    // Nothing on the wire or in the link, and no timer running.
    bool idle() const { return !timer.isActive(); }

    // Wire time of one byte in nanoseconds.
    static qint64 byteNs(quint32 baud) { return baud ? 10'000'000'000LL / baud : 0; }
    // Two rates within 3 % of each other sample each other's bytes correctly.
    static bool ratesMatch(quint32 a, quint32 b);
    // What a receiver at the wrong rate makes of bytes: framing errors, never text.
    static QByteArray garble(const QByteArray &bytes, std::mt19937 &rng);

signals:
    void toChip(const QByteArray &bytes);
    void toHost(const QByteArray &bytes, quint32 chipBaudAtSend);

private:
    struct Incoming
    {
        QByteArray data;
        qint64 start = 0;
        qint64 perByte = 0;
        quint32 baud = 0; // 0: the chip's own rate
        int taken = 0;
    };
    void pump();
    void schedule();
    // The chip's present: while it takes in host bytes, the wire time at
    // which the last of them arrived, else the clock.
    qint64 chipNow() const;
    QByteArray addNoise(QByteArray bytes);

    QElapsedTimer clock;
    WireTimer timer;
    quint32 chipRate = 115200;
    QList<Incoming> incoming;
    DeliveryModel outgoing;
    qint64 rxBusyUntil = 0;
    qint64 txBusyUntil = 0;
    qint64 chipTime = -1;
    double noise = 0.0;
    std::mt19937 rng;
};

} // namespace stationsim

#endif // STATIONSIM_UARTLINK_H
