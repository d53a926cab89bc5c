#include "answerbuffer.h"

#include "chipfacts.h"

#include <QtGlobal>

namespace {

constexpr qint64 nsPerMs = 1000000;
constexpr uint32_t startBaud = chipfacts::normalBaud;
constexpr qint64 bitsPerByte = 10;

qint64 quietTimeNs(uint32_t baudRate)
{
    const qint64 baud = baudRate > 0 ? qint64(baudRate) : qint64(startBaud);
    return AnswerBuffer::quietBytes * bitsPerByte * 1000000000LL / baud;
}

} // namespace

AnswerBuffer::AnswerBuffer()
    : quietNs(quietTimeNs(startBaud))
{}

void AnswerBuffer::setBaudRate(uint32_t baudRate)
{
    quietNs = quietTimeNs(baudRate);
}

void AnswerBuffer::restart(qint64 capacity)
{
    data.clear();
    lastByte.invalidate();
    this->capacity = qMax<qint64>(capacity, 1);
    overflow = false;
}

void AnswerBuffer::append(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    // Bytes beyond the capacity are dropped, but they still count as the
    // chip talking: the answer is not quiet while they keep coming.
    lastByte.start();
    const qint64 room = capacity - data.size();
    if (qint64(bytes.size()) > room) {
        overflow = true;
        if (room > 0)
            data.append(bytes.constData(), int(room));
        return;
    }
    data.append(bytes);
}

qint64 AnswerBuffer::sinceLastByteNs() const
{
    return lastByte.isValid() ? lastByte.nsecsElapsed() : -1;
}

Answer AnswerBuffer::look() const
{
    if (lost)
        return Answer(data, true, true);
    const qint64 since = sinceLastByteNs();
    if (since < 0)
        return Answer(data, false, false);
    const bool quiet = since >= quietNs;
    const bool ended = data.endsWith('\n');
    const bool complete = quiet && (ended || since >= longPauseMs * nsPerMs);
    return Answer(data, quiet, complete);
}

qint64 AnswerBuffer::nsUntilChange() const
{
    const qint64 since = sinceLastByteNs();
    if (lost || since < 0)
        return -1;
    if (since < quietNs)
        return quietNs - since;
    if (!data.endsWith('\n') && since < longPauseMs * nsPerMs)
        return longPauseMs * nsPerMs - since;
    return -1;
}
