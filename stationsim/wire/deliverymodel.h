#ifndef STATIONSIM_DELIVERYMODEL_H
#define STATIONSIM_DELIVERYMODEL_H

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <deque>
#include <optional>
#include <random>

namespace stationsim {

// How the bytes a chip sends reach the host program. The chip's UART puts
// each byte on the wire at its time; what sits between the wire and the
// host hands them over in pieces of its own:
// - Whole: a line at a time (binary answers as one piece), once the line's
//   last byte is there. Convenient, and no real link does it.
// - Bytes: every byte at its own wire time, as a UART without buffering or
//   a pty at wire speed.
// - Usb: a USB-serial adapter (FTDI, CP210x, CH340): packets of up to 62 or
//   64 bytes, sent when full or when the adapter's latency timer (1 to
//   16 ms, restarted by every byte that comes in) runs out, and picked up by
//   the host at its next 1 ms USB frame.
// - Net: a network serial device server: the stream cut at random places,
//   each piece sent 0 to 20 ms after its last byte came in, order kept.
// A piece never leaves before the wire time of its last byte, and never
// overtakes the one before it. The random choices (a USB adapter's packet
// size, latency timer and frame phase; a device server's cuts and delays)
// come from the seed: the same seed and the same bytes at the same wire
// times give the same pieces.
enum class Delivery
{
    Whole,
    Bytes,
    Usb,
    Net
};

class DeliveryModel
{
public:
    struct Piece
    {
        QByteArray data;
        quint32 baud = 0; // the chip's rate when it sent them
        qint64 due = 0;   // ns on the link's clock
    };

    explicit DeliveryModel(Delivery kind = Delivery::Usb, quint32 seed = 1);
    void reset(Delivery kind, quint32 seed);

    Delivery kind() const { return model; }
    // The USB adapter's choices (Usb only).
    int packetSize() const { return packet; }
    qint64 latencyNs() const { return latency; }
    static constexpr qint64 usbFrameNs = 1'000'000;
    static constexpr int netLongestPiece = 128;
    static constexpr qint64 netLongestDelayNs = 20'000'000;
    // "usb (62-byte packets, latency timer 7 ms)" for the wire trace.
    QString describe() const;

    // Bytes on the wire: byte i is complete at firstNs + perByteNs * (i + 1).
    // Calls come in wire order.
    void append(const QByteArray &bytes, qint64 firstNs, qint64 perByteNs, quint32 baud);
    // The pieces due at nowNs, in order.
    QList<Piece> takeDue(qint64 nowNs);
    // When the next piece is due; -1 when nothing is in flight.
    qint64 nextDue() const;
    bool pending() const { return !queue.empty(); }
    void clear();

    static std::optional<Delivery> parse(const QString &name);
    static QString name(Delivery kind);
    static QStringList names();

private:
    struct Segment
    {
        QByteArray data;
        qint64 first = 0;
        qint64 perByte = 0;
        quint32 baud = 0;
        int taken = 0;
        int size() const { return int(data.size()); }
        int left() const { return size() - taken; }
        qint64 arrival(int index) const { return first + perByte * (index + 1); }
    };
    // The next piece: its size from the front of the queue and its time.
    struct Next
    {
        int bytes = 0;
        qint64 due = -1;
    };

    Next next() const;
    Next nextLine() const;
    Next nextPacket() const;
    QByteArray take(int bytes);
    void draw();
    qint64 atFrame(qint64 ns) const;

    Delivery model = Delivery::Usb;
    std::mt19937 rng;
    std::deque<Segment> queue;
    qint64 lastDue = 0;
    // Usb: the adapter.
    int packet = 64;
    qint64 latency = 16'000'000;
    qint64 framePhase = 0;
    // Net: the cut and delay of the front piece, drawn when it becomes the front.
    bool drawn = false;
    int cutBytes = 0;
    qint64 delay = 0;
};

} // namespace stationsim

#endif // STATIONSIM_DELIVERYMODEL_H
