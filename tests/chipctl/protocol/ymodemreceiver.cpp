#include "ymodemreceiver.h"

namespace {

constexpr char SOH = 0x01;
constexpr char STX = 0x02;
constexpr char EOT = 0x04;
constexpr char ACK = 0x06;
constexpr char NAK = 0x15;
constexpr char CAN = 0x18;

} // namespace

YmodemReceiver::YmodemReceiver(int stxSize)
    : stxSize(stxSize)
{}

uint16_t YmodemReceiver::crc(const QByteArray &data)
{
    uint16_t value = 0;
    for (char c : data) {
        value ^= uint16_t(uint8_t(c) << 8);
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 0x8000) ? uint16_t((value << 1) ^ 0x1021) : uint16_t(value << 1);
    }
    return value;
}

QByteArray YmodemReceiver::fail(const QString &why)
{
    if (error.isEmpty())
        error = why;
    return QByteArray();
}

// A whole frame from the front of `pending`, or nothing when it is still
// arriving.
QByteArray YmodemReceiver::takeFrame(bool &complete)
{
    complete = false;
    if (pending.isEmpty())
        return QByteArray();
    int length = 1;
    if (pending.at(0) == SOH)
        length = 3 + 128 + 2;
    else if (pending.at(0) == STX)
        length = 3 + stxSize + 2;
    if (pending.size() < length)
        return QByteArray();
    complete = true;
    const QByteArray frame = pending.left(length);
    pending.remove(0, length);
    return frame;
}

QByteArray YmodemReceiver::feed(const QByteArray &bytes)
{
    pending.append(bytes);
    QByteArray answer;
    bool complete = false;
    for (QByteArray frame = takeFrame(complete); complete; frame = takeFrame(complete))
        answer += onFrame(frame);
    return answer;
}

QByteArray YmodemReceiver::onFrame(const QByteArray &frame)
{
    const char start = frame.at(0);
    if (start == CAN) {
        ++cans;
        return QByteArray();
    }
    if (phase == Phase::Done)
        return fail(QStringLiteral("bytes after the closing block"));
    if (start == EOT) {
        ++eots;
        if (phase == Phase::Data) {
            phase = Phase::SecondEot;
            return QByteArray(1, NAK);
        }
        if (phase == Phase::SecondEot) {
            phase = Phase::Closing;
            return QByteArray(1, ACK) + 'C';
        }
        return fail(QStringLiteral("EOT out of place"));
    }
    if (start != SOH && start != STX)
        return fail(QStringLiteral("unknown frame start %1").arg(int(uint8_t(start))));

    const uint8_t number = uint8_t(frame.at(1));
    if (uint8_t(frame.at(2)) != uint8_t(255 - number))
        return fail(QStringLiteral("block number complement"));
    const QByteArray payload = frame.mid(3, frame.size() - 5);
    const uint16_t sent =
        uint16_t(uint8_t(frame.at(frame.size() - 2)) << 8 | uint8_t(frame.at(frame.size() - 1)));
    if (crc(payload) != sent)
        return fail(QStringLiteral("CRC of block %1").arg(number));

    switch (phase) {
    case Phase::Header: {
        if (start != SOH || number != 0)
            return fail(QStringLiteral("header is not SOH block 0"));
        header = payload;
        const int nul = payload.indexOf('\0');
        fileName = QString::fromUtf8(payload.left(nul));
        const QByteArray sizeText = payload.mid(nul + 1, payload.indexOf('\0', nul + 1) - nul - 1);
        bool ok = false;
        fileSize = sizeText.toLongLong(&ok);
        if (!ok)
            return fail(QStringLiteral("size field"));
        phase = Phase::Data;
        return QByteArray(1, ACK) + 'C';
    }
    case Phase::Data: {
        ++dataFrames;
        frames.append({start, number, payload});
        QByteArray answer(1, ACK);
        if (nakFrames.contains(dataFrames)) {
            answer = QByteArray(1, NAK);
        } else {
            if (number != expected)
                return fail(QStringLiteral("block %1 where %2 was due").arg(number).arg(expected));
            ++expected;
            data.append(payload);
        }
        return answerHook ? answerHook(dataFrames, answer) : answer;
    }
    case Phase::Closing:
        if (start != SOH || number != 0 || payload != QByteArray(128, '\0'))
            return fail(QStringLiteral("closing block"));
        phase = Phase::Done;
        done = true;
        data.truncate(int(fileSize));
        return QByteArray(1, ACK);
    case Phase::SecondEot:
    case Phase::Done:
        break;
    }
    return fail(QStringLiteral("block out of place"));
}
