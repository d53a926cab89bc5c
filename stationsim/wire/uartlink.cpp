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
    qint64 start = std::max(clock.nsecsElapsed() + qint64(delayMs) * 1'000'000, txBusyUntil);
    int from = 0;
    while (from < bytes.size()) {
        int end = bytes.indexOf('\n', from);
        end = end < 0 ? bytes.size() : end + 1;
        Unit unit;
        unit.data = bytes.mid(from, end - from);
        unit.baud = chipRate;
        unit.due = start + perByte * unit.data.size();
        start = unit.due;
        units.append(unit);
        from = end;
    }
    txBusyUntil = start;
    schedule();
}

void UartLink::clearFromHost()
{
    incoming.clear();
    rxBusyUntil = 0;
    schedule();
}

void UartLink::clearFromChip()
{
    units.clear();
    txBusyUntil = 0;
    schedule();
}

void UartLink::pump()
{
    const qint64 now = clock.nsecsElapsed();
    // Host to chip: every byte whose wire time has passed.
    QByteArray received;
    while (!incoming.isEmpty()) {
        Incoming &in = incoming.first();
        const qint64 arrived = std::min<qint64>((now - in.start) / in.perByte, in.data.size());
        if (arrived <= in.taken)
            break;
        QByteArray part = in.data.mid(in.taken, int(arrived) - in.taken);
        in.taken = int(arrived);
        if (in.baud != 0 && !ratesMatch(in.baud, chipRate))
            part = garble(part, rng);
        received.append(part);
        if (in.taken < in.data.size())
            break;
        incoming.removeFirst();
    }
    // Chip to host: whole units.
    QList<Unit> ready;
    while (!units.isEmpty() && units.first().due <= now)
        ready.append(units.takeFirst());

    if (!received.isEmpty())
        emit toChip(addNoise(received));
    for (const Unit &unit : ready)
        emit toHost(addNoise(unit.data), unit.baud);
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
    if (!units.isEmpty() && (next < 0 || units.first().due < next))
        next = units.first().due;
    if (next < 0) {
        timer.stop();
        return;
    }
    timer.start(next - now);
}

} // namespace stationsim
