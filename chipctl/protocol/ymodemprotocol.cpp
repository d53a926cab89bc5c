// yModemProtocol: the YMODEM batch sender used for the ramcode and for flash
// images.
#include "ymodemprotocol.h"

#include "crc16.h"
#include "waitms.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

namespace {

constexpr int shortBlock = 128;
constexpr int nameLimit = 20;
constexpr int cancelBytes = 5;
// More CAN bytes than this from the receiver abort the transfer.
constexpr int canLimit = 4;

// A block: start byte, block number, its complement, the data padded to
// `length` with `pad`, then the CRC of the data field, high byte first.
QByteArray framed(char start, uint8_t number, const QByteArray &data, int length, char pad)
{
    QByteArray packet;
    packet.reserve(3 + length + 2);
    packet.append(start);
    packet.append(char(number));
    packet.append(char(255 - number));
    const int before = packet.size();
    packet.append(data.left(length));
    packet.append(length - (packet.size() - before), pad);
    const uint16_t crc = crc16(packet.constData() + before, std::size_t(length));
    packet.append(char(crc >> 8));
    packet.append(char(crc & 0xff));
    return packet;
}

} // namespace

yModemProtocol::yModemProtocol(QObject *parent)
    : QObject(parent)
{}

void yModemProtocol::recvData(QByteArray data)
{
    const int room = maxReceived - recvBuf.size();
    if (room > 0)
        recvBuf.append(data.left(room));
}

QString yModemProtocol::resultText(uint8_t code)
{
    switch (code) {
    case ResultOpenFailed:
        return QStringLiteral("无法打开烧录文件！");
    case ResultTimeout:
        return QStringLiteral("烧录通讯超时！");
    case ResultDataError:
        return QStringLiteral("烧录DATA流程错误");
    case ResultChipCancelled:
        return QStringLiteral("芯片发起烧录终止指令！");
    default:
        return QString();
    }
}

// The header's data field: the file name without directories (at most 20
// characters), 0x00, the size in decimal, zeros up to 128 bytes.
QByteArray yModemProtocol::headerPacket(const QString &fileName, qint64 fileSize)
{
    QString name = fileName.left(nameLimit);
    // Never cut a character outside the BMP in half.
    if (!name.isEmpty() && name.at(name.size() - 1).isHighSurrogate())
        name.chop(1);
    QByteArray field = name.toUtf8();
    field.append('\0');
    field.append(QByteArray::number(fileSize));
    return framed(SOH, 0, field, shortBlock, '\0');
}

QByteArray yModemProtocol::dataPacket(uint8_t blockNumber, const QByteArray &data,
                                      uint32_t blockSize)
{
    if (data.size() <= shortBlock)
        return framed(SOH, blockNumber, data, shortBlock, PAD);
    return framed(STX, blockNumber, data, int(blockSize), PAD);
}

QByteArray yModemProtocol::closingPacket()
{
    return framed(SOH, 0, QByteArray(), shortBlock, '\0');
}

QByteArray yModemProtocol::cancelPacket()
{
    return QByteArray(cancelBytes, CAN);
}

void yModemProtocol::sendPacket(const QByteArray &packet)
{
    recvBuf.clear();
    emit sendData(packet);
}

void yModemProtocol::waitPass()
{
    const int before = recvBuf.size();
    pollAnswer(1, passMs, [&] {
        return recvBuf.size() != before ? AnswerState::Accepted : AnswerState::Pending;
    });
}

uint8_t yModemProtocol::sendFile(const QString &path)
{
    progress = 0.0f;
    // Only a regular file: a FIFO would block the open until a writer came.
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return ResultOpenFailed;
    const QByteArray content = file.readAll();
    const bool readFailed = file.error() != QFileDevice::NoError;
    file.close();
    // A file that cannot be read whole, or holds nothing, is no image: it is
    // refused before anything is sent, like a file that cannot be opened.
    if (readFailed || content.isEmpty())
        return ResultOpenFailed;
    // A block shorter than the short SOH block would put padding in the
    // middle of the image.
    if (blockSize < uint32_t(shortBlock) || blockSize > uint32_t(INT32_MAX / 2))
        return ResultDataError;

    const qint64 size = content.size();
    const qint64 full = qint64(blockSize);
    const QString name = QFileInfo(path).fileName();
    State state = State::Idle;
    qint64 offset = 0;
    uint8_t block = 0;
    // Time since the last packet went out, on a monotonic clock: 700 passes
    // of 10 ms.
    QElapsedTimer idle;
    idle.start();

    auto send = [&](const QByteArray &packet, State next) {
        sendPacket(packet);
        idle.restart();
        state = next;
    };
    auto cancel = [&](uint8_t code) {
        emit sendData(cancelPacket());
        return code;
    };

    for (;;) {
        const State before = state;
        switch (state) {
        case State::Idle:
            if (recvBuf.contains(CRC_REQUEST))
                state = State::Start;
            break;
        case State::Start:
            send(headerPacket(name, size), State::StartWaitAck);
            break;
        case State::StartWaitAck:
            // A NAK here is ignored: the header is never sent again.
            if (recvBuf.contains(ACK) && recvBuf.contains(CRC_REQUEST)) {
                block = 1;
                state = size > full ? State::Data : State::LastData;
            }
            break;
        case State::Data:
            if (offset >= size)
                return cancel(ResultDataError);
            send(dataPacket(block, content.mid(int(offset), int(full)), blockSize),
                 State::DataWaitAck);
            break;
        case State::DataWaitAck:
            if (recvBuf.contains(ACK)) {
                ++block;
                offset += full;
                if (offset >= size)
                    return cancel(ResultDataError);
                state = size - offset > full ? State::Data : State::LastData;
            }
            // A NAK asks for the block at the current offset again.
            if (recvBuf.contains(NAK))
                state = State::Data;
            break;
        case State::LastData:
            if (offset > size)
                return cancel(ResultDataError);
            if (offset < size)
                send(dataPacket(block, content.mid(int(offset)), blockSize), State::LastWaitAck);
            break;
        case State::LastWaitAck:
            if (recvBuf.contains(ACK)) {
                ++block;
                offset = size;
                state = State::FirstEot;
            }
            if (recvBuf.contains(NAK))
                state = State::LastData;
            break;
        case State::FirstEot:
            send(QByteArray(1, EOT), State::WaitNak);
            break;
        case State::WaitNak:
            // The receiver refuses the first EOT; an ACK here is ignored.
            if (recvBuf.contains(NAK))
                state = State::SecondEot;
            break;
        case State::SecondEot:
            send(QByteArray(1, EOT), State::WaitFinalAck);
            break;
        case State::WaitFinalAck:
            if (recvBuf.contains(ACK) && recvBuf.contains(CRC_REQUEST))
                state = State::Close;
            break;
        case State::Close:
            send(closingPacket(), State::CloseWaitAck);
            break;
        case State::CloseWaitAck:
            if (recvBuf.contains(ACK)) {
                progress = float(double(offset) / double(size));
                return ResultDone;
            }
            break;
        }

        if (recvBuf.count(CAN) > canLimit)
            return cancel(ResultChipCancelled);
        if (lost)
            return ResultTimeout;
        if (idle.elapsed() > qint64(idlePasses) * passMs)
            return cancel(ResultTimeout);
        progress = float(double(offset) / double(size));
        // A state that moved on acts at once; one that waits sleeps until
        // bytes arrive or the pass is over.
        if (state == before)
            waitPass();
    }
}
