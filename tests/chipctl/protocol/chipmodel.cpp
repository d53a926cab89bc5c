#include "chipmodel.h"

#include "protocol/tranprotocol.h"

ChipModel::ChipModel(tranProtocol &host, QObject *parent)
    : QObject(parent)
{
    chip.setResponder([this](const QByteArray &bytes) {
        if (transfer)
            return onTransferBytes(bytes);
        // Bytes sent at another rate than the chip's arrive as garbage.
        if (hostBaud != chipBaud)
            return QByteArray();
        return answer(bytes);
    });
    connect(&host, &tranProtocol::sendData, &chip, &FakeChip::hostSent);
    connect(&chip, &FakeChip::chipSent, &host, [this, &host](const QByteArray &bytes) {
        // What the chip sends at another rate than the host's is lost too.
        if (hostBaud == chipBaud)
            host.recvData(bytes);
    });
    connect(&host, &tranProtocol::setBaudRate, this, [this](uint32_t rate) {
        hostBaud = rate;
        hostBauds << rate;
    });
}

QStringList ChipModel::words() const
{
    QStringList list;
    for (const QByteArray &line : chip.received) {
        if (line.endsWith("\r\n"))
            list << QString::fromUtf8(
                line.left(line.indexOf(' ') >= 0 ? line.indexOf(' ') : line.size() - 2));
    }
    return list;
}

int ChipModel::count(const QByteArray &word) const
{
    return words().count(QString::fromUtf8(word));
}

int ChipModel::countLines(const QByteArray &prefix) const
{
    int n = 0;
    for (const QByteArray &line : chip.received) {
        if (line.startsWith(prefix))
            ++n;
    }
    return n;
}

// The ramcode's hex dump: "\r\n", then "xx " for each byte and for the two
// bytes of the data's CRC.
QByteArray ChipModel::dump(uint32_t address, uint32_t length) const
{
    QByteArray data = flash.mid(int(address), int(length));
    data.append(int(length) - data.size(), '\xff');
    uint16_t crc = YmodemReceiver::crc(data);
    if (badCrc.contains(address))
        crc ^= 1;
    QByteArray all = data;
    all.append(char(crc >> 8));
    all.append(char(crc & 0xff));
    QByteArray text = "\r\n";
    for (char c : all)
        text += QByteArray::number(uint8_t(c), 16).rightJustified(2, '0') + ' ';
    return text;
}

QByteArray ChipModel::startTransfer(bool toFlash, int blockSize)
{
    transfer = std::make_unique<YmodemReceiver>(blockSize);
    transferToFlash = toFlash;
    if (configureTransfer)
        configureTransfer(*transfer);
    chip.setRawMode(true);
    return neverAsk ? QByteArray() : QByteArray("C");
}

QByteArray ChipModel::onTransferBytes(const QByteArray &bytes)
{
    const QByteArray reply = transfer->feed(bytes);
    if (transfer->done) {
        if (transferToFlash) {
            flashImages.append({startAddress, transfer->data});
            ++filesWritten;
        } else {
            ramImages.append(transfer->data);
            if (transfer->data.startsWith(ramcodeMagic))
                ramcodeRunning = true;
        }
    }
    if (transfer->done || transfer->cans >= 5) {
        transfer.reset();
        chip.setRawMode(false);
    }
    return reply;
}

QByteArray ChipModel::answer(const QByteArray &line)
{
    const QList<QByteArray> parts = line.trimmed().split(' ');
    const QByteArray word = parts.value(0);
    if (answers.contains(word))
        return answers.value(word);
    if (word == "version")
        return ramcodeRunning ? QByteArray("\r\nRAMCODE ready\r\n")
                              : "\r\nTK716A boot " + QByteArray(banner) + "\r\n";
    if (word == "baudrate") {
        if (!refuseBaud)
            chipBaud =
                parts.value(parts.size() - 1).replace("[boot][", "").replace("]", "").toUInt();
        return QByteArray();
    }
    if (!ramcodeRunning) {
        if (word == "download")
            return startTransfer(false, 1024);
        return QByteArray();
    }
    if (word == "flash_read") {
        const uint32_t address = parts.value(1).mid(2).toUInt(nullptr, 16);
        const uint32_t length = parts.value(2).mid(2).toUInt(nullptr, 16);
        if (silentReads.value(address) > 0) {
            silentReads[address] -= 1;
            return QByteArray();
        }
        return dump(address, length);
    }
    if (word == "upgrade")
        return startTransfer(true, 16384);
    if (word == "startaddr") {
        startAddress = parts.value(1).mid(2).toUInt(nullptr, 16);
        return "\r\npppp\r\n";
    }
    if (word == "filecount")
        return "\r\nfc:" + QByteArray::number(filesWritten) + "\r\n";
    if (word == "flash_uid")
        return "flash_uid\r\nflash uid:0x00112233445566778899aabbccddeeff\r\npppp\r\n";
    if (word == "ferase_all")
        return "\r\npppp\r\n";
    return QByteArray();
}
