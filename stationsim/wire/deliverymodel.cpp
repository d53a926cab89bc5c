#include "wire/deliverymodel.h"

#include <algorithm>

namespace stationsim {

DeliveryModel::DeliveryModel(Delivery kind, quint32 seed)
{
    reset(kind, seed);
}

void DeliveryModel::reset(Delivery kind, quint32 seed)
{
    model = kind;
    rng.seed(seed);
    // The adapter is chosen first, whatever the model, so that a seed names
    // the same adapter for every model.
    packet = (rng() & 1u) ? 64 : 62;
    latency = qint64(1 + rng() % 16) * 1'000'000;
    framePhase = qint64(rng() % quint32(usbFrameNs));
    clear();
}

std::optional<Delivery> DeliveryModel::parse(const QString &name)
{
    for (Delivery kind : {Delivery::Whole, Delivery::Bytes, Delivery::Usb, Delivery::Net}) {
        if (name == DeliveryModel::name(kind))
            return kind;
    }
    return std::nullopt;
}

QString DeliveryModel::name(Delivery kind)
{
    switch (kind) {
    case Delivery::Whole:
        return QStringLiteral("whole");
    case Delivery::Bytes:
        return QStringLiteral("bytes");
    case Delivery::Usb:
        return QStringLiteral("usb");
    case Delivery::Net:
        return QStringLiteral("net");
    }
    return QString();
}

QStringList DeliveryModel::names()
{
    return {name(Delivery::Whole), name(Delivery::Bytes), name(Delivery::Usb), name(Delivery::Net)};
}

QString DeliveryModel::describe() const
{
    switch (model) {
    case Delivery::Whole:
        return QStringLiteral("whole (a line at a time)");
    case Delivery::Bytes:
        return QStringLiteral("bytes (each at its wire time)");
    case Delivery::Usb:
        return QStringLiteral("usb (%1-byte packets, latency timer %2 ms)")
            .arg(packet)
            .arg(latency / 1'000'000);
    case Delivery::Net:
        return QStringLiteral("net (pieces of 1 to %1 bytes, 0 to %2 ms late)")
            .arg(netLongestPiece)
            .arg(netLongestDelayNs / 1'000'000);
    }
    return QString();
}

void DeliveryModel::append(const QByteArray &bytes, qint64 firstNs, qint64 perByteNs, quint32 baud)
{
    if (bytes.isEmpty())
        return;
    Segment segment;
    segment.data = bytes;
    segment.first = firstNs;
    segment.perByte = std::max<qint64>(perByteNs, 0);
    segment.baud = baud;
    queue.push_back(segment);
    draw();
}

void DeliveryModel::clear()
{
    queue.clear();
    drawn = false;
    lastDue = 0;
}

void DeliveryModel::draw()
{
    if (model != Delivery::Net || drawn || queue.empty())
        return;
    cutBytes = 1 + int(rng() % quint32(netLongestPiece));
    delay = qint64(rng() % quint32(netLongestDelayNs + 1));
    drawn = true;
}

qint64 DeliveryModel::atFrame(qint64 ns) const
{
    if (ns <= framePhase)
        return framePhase;
    const qint64 frames = (ns - framePhase + usbFrameNs - 1) / usbFrameNs;
    return framePhase + frames * usbFrameNs;
}

DeliveryModel::Next DeliveryModel::nextLine() const
{
    const Segment &front = queue.front();
    const int newline = int(front.data.indexOf('\n', front.taken));
    const int end = newline < 0 ? front.size() : newline + 1;
    return {end - front.taken, front.arrival(end - 1)};
}

DeliveryModel::Next DeliveryModel::nextPacket() const
{
    // The adapter fills a packet with the bytes that come in while its
    // latency timer (restarted by each byte) has not run out; a full packet
    // leaves at once, a partial one when the timer runs out. Bytes at
    // another rate belong to the next packet.
    const quint32 baud = queue.front().baud;
    int count = 0;
    qint64 last = 0;
    for (const Segment &segment : queue) {
        if (segment.baud != baud)
            break;
        for (int i = segment.taken; i < segment.size(); ++i) {
            const qint64 arrival = segment.arrival(i);
            if (count > 0 && arrival >= last + latency)
                return {count, std::max(atFrame(last + latency), lastDue)};
            ++count;
            last = arrival;
            if (count == packet)
                return {count, std::max(atFrame(last), lastDue)};
        }
    }
    return {count, std::max(atFrame(last + latency), lastDue)};
}

DeliveryModel::Next DeliveryModel::next() const
{
    if (queue.empty())
        return {};
    const Segment &front = queue.front();
    switch (model) {
    case Delivery::Whole:
        return nextLine();
    case Delivery::Bytes:
        return {1, front.arrival(front.taken)};
    case Delivery::Usb:
        return nextPacket();
    case Delivery::Net: {
        const int bytes = std::min(cutBytes, front.left());
        return {bytes, std::max(front.arrival(front.taken + bytes - 1) + delay, lastDue)};
    }
    }
    return {};
}

qint64 DeliveryModel::nextDue() const
{
    return next().due;
}

QByteArray DeliveryModel::take(int bytes)
{
    QByteArray out;
    while (bytes > 0 && !queue.empty()) {
        Segment &front = queue.front();
        const int part = std::min(bytes, front.left());
        if (front.taken == 0 && part == front.size())
            out += front.data;
        else
            out += front.data.mid(front.taken, part);
        front.taken += part;
        bytes -= part;
        if (front.left() == 0)
            queue.pop_front();
    }
    return out;
}

QList<DeliveryModel::Piece> DeliveryModel::takeDue(qint64 nowNs)
{
    QList<Piece> pieces;
    while (!queue.empty()) {
        Next piece = next();
        if (piece.due > nowNs)
            break;
        if (model == Delivery::Bytes) {
            // Every byte whose time has come: the host reads them together
            // when the simulator gets to them late.
            const Segment &front = queue.front();
            const qint64 arrived =
                front.perByte > 0 ? (nowNs - front.first) / front.perByte : qint64(front.size());
            piece.bytes = int(std::clamp<qint64>(arrived - front.taken, 1, front.left()));
            piece.due = front.arrival(front.taken + piece.bytes - 1);
        }
        const quint32 baud = queue.front().baud;
        pieces.append({take(piece.bytes), baud, piece.due});
        lastDue = piece.due;
        drawn = false;
        draw();
    }
    return pieces;
}

} // namespace stationsim
