#include "wire/uartlink.h"

#include <algorithm>

namespace stationsim {

UartLink::UartLink(QObject *parent)
    : QObject(parent)
    , rng(1)
{
    clock.start();
    connect(&timer, &WireTimer::timeout, this, &UartLink::pump);
}

void UartLink::setNoise(double chancePerByte, quint32 seed)
{
    noise = chancePerByte;
    rng.seed(seed);
}

void UartLink::setDelivery(Delivery kind, quint32 seed)
{
    outgoing.reset(kind, seed);
    txBusyUntil = 0;
    schedule();
}

bool UartLink::ratesMatch(quint32 a, quint32 b)
{
    if (a == 0 || b == 0)
        return true;
    const double ratio = double(a) / double(b);
    return ratio > 0.97 && ratio < 1.03;
}

QByteArray UartLink::garble(const QByteArray &bytes, std::mt19937 &rng)
{
    QByteArray out(bytes.size(), '\0');
    for (int i = 0; i < bytes.size(); ++i)
        out[i] = char(0x80 | ((quint8(bytes.at(i)) ^ rng()) & 0x7f));
    return out;
}

QByteArray UartLink::addNoise(QByteArray bytes)
{
    if (noise <= 0.0)
        return bytes;
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    for (int i = 0; i < bytes.size(); ++i) {
        if (chance(rng) < noise)
            bytes[i] = char(quint8(bytes.at(i)) ^ (1u << (rng() % 8)));
    }
    return bytes;
}

void UartLink::fromHost(const QByteArray &bytes, quint32 hostBaud)
{
    if (bytes.isEmpty())
        return;
    Incoming in;
    in.data = bytes;
    in.baud = hostBaud;
    in.perByte = byteNs(hostBaud ? hostBaud : chipRate);
    in.start = std::max(clock.nsecsElapsed(), rxBusyUntil);
    rxBusyUntil = in.start + in.perByte * bytes.size();
    incoming.append(in);
    schedule();
}

void UartLink::fromChip(const QByteArray &bytes, int delayMs)
{
    if (bytes.isEmpty())
        return;
    const qint64 perByte = byteNs(chipRate);
    const qint64 start = std::max(chipNow() + qint64(delayMs) * 1'000'000, txBusyUntil);
    outgoing.append(bytes, start, perByte, chipRate);
    txBusyUntil = start + perByte * bytes.size();
    schedule();
}

void UartLink::fromChipAfter(const QByteArray &bytes, qint64 pauseNs)
{
    if (bytes.isEmpty())
        return;
    const qint64 perByte = byteNs(chipRate);
    const qint64 start = std::max(chipNow(), txBusyUntil) + std::max<qint64>(pauseNs, 0);
    outgoing.append(bytes, start, perByte, chipRate);
    txBusyUntil = start + perByte * bytes.size();
    schedule();
}

qint64 UartLink::chipNow() const
{
    return chipTime >= 0 ? chipTime : clock.nsecsElapsed();
}

void UartLink::clearFromHost()
{
    incoming.clear();
    rxBusyUntil = 0;
    schedule();
}

void UartLink::clearFromChip()
{
    outgoing.clear();
    txBusyUntil = 0;
    schedule();
}

void UartLink::pump()
{
    const qint64 now = clock.nsecsElapsed();
    // Host to chip: every byte whose wire time has passed.
    QByteArray received;
    qint64 lastArrival = -1;
    while (!incoming.isEmpty()) {
        Incoming &in = incoming.first();
        const qint64 arrived = std::min<qint64>((now - in.start) / in.perByte, in.data.size());
        if (arrived <= in.taken)
            break;
        QByteArray part = in.data.mid(in.taken, int(arrived) - in.taken);
        in.taken = int(arrived);
        lastArrival = in.start + in.perByte * in.taken;
        if (in.baud != 0 && !ratesMatch(in.baud, chipRate))
            part = garble(part, rng);
        received.append(part);
        if (in.taken < in.data.size())
            break;
        incoming.removeFirst();
    }
    // Chip to host: the pieces of the delivery model.
    const QList<DeliveryModel::Piece> ready = outgoing.takeDue(now);

    // What is due goes to the host first; then the chip takes in its bytes,
    // and whatever it answers leaves at the time the last of them came in
    // on its wire, not at the time this process got round to them.
    for (const DeliveryModel::Piece &piece : ready)
        emit toHost(addNoise(piece.data), piece.baud);
    if (!received.isEmpty()) {
        chipTime = lastArrival;
        emit toChip(addNoise(received));
        chipTime = -1;
    }
    schedule();
}

void UartLink::schedule()
{
    // Host bytes are handed to the chip when the whole delivery has arrived,
    // or, while a long one is still arriving, at most every millisecond:
    // never earlier than their wire time, never byte by byte.
    constexpr qint64 streamStepNs = 1'000'000;
    const qint64 now = clock.nsecsElapsed();
    qint64 next = -1;
    if (!incoming.isEmpty()) {
        const Incoming &in = incoming.first();
        const qint64 nextByte = in.start + in.perByte * (in.taken + 1);
        const qint64 complete = in.start + in.perByte * in.data.size();
        next = complete <= std::max(nextByte, now + streamStepNs)
                   ? complete
                   : std::max(nextByte, now + streamStepNs);
    }
    const qint64 due = outgoing.nextDue();
    if (due >= 0 && (next < 0 || due < next))
        next = due;
    if (next < 0) {
        timer.stop();
        return;
    }
    timer.start(next - now);
}

} // namespace stationsim
