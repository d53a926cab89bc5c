#include "chip/ymodemreceiver.h"

#include "chip/crc16.h"

namespace stationsim {

namespace {
constexpr char SOH = 0x01, STX = 0x02, EOT = 0x04, ACK = 0x06, NAK = 0x15, CAN = 0x18;
constexpr char ASK = 'C';
} // namespace

YmodemReceiver::YmodemReceiver(QObject *parent)
    : QObject(parent)
{
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &YmodemReceiver::onTimeout);
}

void YmodemReceiver::start(const Options &options)
{
    opts = options;
    state = State::WaitHeader;
    block.clear();
    blockLength = 0;
    cancels = errors = goodBlocks = shortCount = longCount = 0;
    tries = 1;
    naksLeft = options.nakBlocks;
    lastSeq = 0;
    headerSize = -1;
    name.clear();
    data.clear();
    emit send(QByteArray(1, ASK));
    timer.start(headerRetryMs);
}

void YmodemReceiver::abort()
{
    state = State::Idle;
    timer.stop();
    block.clear();
    data.clear();
}

void YmodemReceiver::answer(char byte, bool askAgain)
{
    QByteArray out(1, byte);
    if (askAgain)
        out.append(ASK);
    emit send(out);
}

void YmodemReceiver::cancel()
{
    emit send(QByteArray(5, CAN));
    finish(false);
}

void YmodemReceiver::finish(bool ok)
{
    QByteArray result = data;
    if (headerSize >= 0 && result.size() > headerSize)
        result.truncate(int(headerSize));
    const QString fileName = name;
    abort();
    emit finished(ok, result, fileName);
}

int YmodemReceiver::feed(const QByteArray &bytes)
{
    int taken = 0;
    while (taken < bytes.size() && state != State::Idle)
        onByte(quint8(bytes.at(taken++)));
    return taken;
}

void YmodemReceiver::onByte(quint8 b)
{
    handleByte(b);
    if (state == State::Idle)
        return;
    // A block in progress or an answer awaited: the sender must keep going.
    timer.start(state == State::WaitHeader && block.isEmpty() ? headerRetryMs : blockTimeoutMs);
}

void YmodemReceiver::handleByte(quint8 b)
{
    if (!block.isEmpty()) {
        block.append(char(b));
        if (block.size() == blockLength)
            onBlock();
        return;
    }
    if (b == quint8(CAN)) {
        if (++cancels >= 2)
            finish(false);
        return;
    }
    cancels = 0;
    if (b == quint8(SOH) || b == quint8(STX)) {
        const int payload =
            b == quint8(SOH) ? 128 : (state == State::WaitHeader ? 1024 : opts.stxSize);
        blockLength = 3 + payload + 2;
        block.append(char(b));
        return;
    }
    if (b == quint8(EOT)) {
        if (state == State::WaitBlock) {
            state = State::AfterFirstEot;
            answer(NAK);
        } else if (state == State::AfterFirstEot || state == State::WaitClose) {
            state = State::WaitClose;
            answer(ACK, true);
        }
        return;
    }
    // Anything else between blocks is line noise: ignored.
}

void YmodemReceiver::onBlock()
{
    const QByteArray frame = block;
    block.clear();
    const quint8 seq = quint8(frame.at(1));
    const quint8 inverse = quint8(frame.at(2));
    const QByteArray payload = frame.mid(3, blockLength - 5);
    const quint16 crc =
        quint16((quint8(frame.at(blockLength - 2)) << 8) | quint8(frame.at(blockLength - 1)));
    if (quint8(seq ^ inverse) != 0xff || chipCrc16(payload) != crc) {
        if (++errors > maxErrors) {
            cancel();
            return;
        }
        answer(NAK);
        return;
    }
    errors = 0;

    if (state == State::WaitHeader) {
        if (seq != 0) {
            answer(NAK);
            return;
        }
        onHeader(payload);
        return;
    }
    if (state == State::WaitClose) {
        answer(ACK);
        finish(true);
        return;
    }
    if (state == State::AfterFirstEot)
        state = State::WaitBlock; // the sender went on after all
    if (seq == lastSeq) {
        answer(ACK); // our ACK was lost: the sender repeats the block
        return;
    }
    if (seq != quint8(lastSeq + 1)) {
        cancel(); // out of step: nothing sensible left to do
        return;
    }
    if (opts.cancelAfterBlocks >= 0 && goodBlocks >= opts.cancelAfterBlocks) {
        cancel();
        return;
    }
    if (naksLeft > 0) {
        --naksLeft;
        answer(NAK);
        return;
    }
    if (data.size() >= opts.maxSize) {
        cancel();
        return;
    }
    data.append(payload);
    lastSeq = seq;
    ++goodBlocks;
    ++(payload.size() == 128 ? shortCount : longCount);
    answer(ACK);
}

void YmodemReceiver::onHeader(const QByteArray &payload)
{
    // name NUL size [SP mtime SP mode ...] NUL padding
    const int nameEnd = payload.indexOf('\0');
    name = QString::fromUtf8(payload.left(nameEnd < 0 ? 0 : nameEnd));
    if (name.isEmpty()) {
        // An empty batch: the sender has nothing to send.
        answer(ACK);
        finish(false);
        return;
    }
    QByteArray sizeText;
    for (int i = nameEnd + 1; i < payload.size(); ++i) {
        const char ch = payload.at(i);
        if (ch < '0' || ch > '9')
            break;
        sizeText.append(ch);
    }
    const int fieldsEnd = payload.indexOf('\0', nameEnd + 1);
    emit header(name, payload.mid(nameEnd + 1, fieldsEnd < 0 ? -1 : fieldsEnd - nameEnd - 1));
    bool ok = false;
    const qint64 size = sizeText.toLongLong(&ok);
    headerSize = ok ? size : -1;
    if (headerSize > opts.maxSize) {
        cancel();
        return;
    }
    state = State::WaitBlock;
    lastSeq = 0;
    answer(ACK, true);
}

void YmodemReceiver::onTimeout()
{
    block.clear();
    switch (state) {
    case State::Idle:
        return;
    case State::WaitHeader:
        if (++tries > headerTries) {
            finish(false);
            return;
        }
        emit send(QByteArray(1, ASK));
        timer.start(headerRetryMs);
        return;
    case State::WaitClose:
        finish(true); // the closing block is a courtesy; the file is complete
        return;
    case State::WaitBlock:
    case State::AfterFirstEot:
        if (++errors > maxErrors) {
            cancel();
            return;
        }
        answer(NAK);
        timer.start(blockTimeoutMs);
        return;
    }
}

} // namespace stationsim
