// tranProtocol: loading the ramcode into RAM, writing images into flash and
// the whole flash download sequence, all by YMODEM.
#include "tranprotocol.h"

#include "chipfacts.h"

#include <QFile>
#include <QFileInfo>

namespace {

constexpr int modeProbes = 40;

// An image can be sent when it is a regular file (opening a FIFO would wait
// for a writer that never comes), opens and holds at least one byte.
bool usableImage(const QString &path, qint64 &size)
{
    if (!QFileInfo(path).isFile())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    size = file.size();
    file.close();
    return size > 0;
}

// Steps of the download are tried once more when they fail.
template <typename Step>
bool twice(Step step)
{
    return step() || step();
}

} // namespace

QString tranProtocol::downloadFlashText(uint32_t code)
{
    switch (code) {
    case DownloadNoChip:
        return QStringLiteral("无法获取芯片信息");
    case DownloadRamcodeFailed:
        return QStringLiteral("发送RAM CODE失败");
    case DownloadBaudRateFailed:
        return QStringLiteral("设置芯片波特率出错");
    case DownloadEraseFailed:
        return QStringLiteral("擦除芯片出错");
    case DownloadWriteFailed:
        return QStringLiteral("烧录Flash过程出错");
    case DownloadFileCountFailed:
        return QStringLiteral("无法获取已烧录文件数量或者已烧录文件数量不符合预期");
    default:
        return QString();
    }
}

// While the sender runs, every received byte goes to it and none to recvBuf.
bool tranProtocol::runTransfer(const QString &path, uint32_t blockSize)
{
    sender.blockSize = blockSize;
    // Whatever the chip sent during an earlier transfer (above all the CAN
    // bytes of a transfer it aborted) belongs to that transfer; left in the
    // sender's buffer it would cancel this one, the retry, at once.
    sender.recvBuf.clear();
    ymodemRunning = true;
    transferResult = sender.sendFile(path);
    ymodemRunning = false;
    return transferResult == yModemProtocol::ResultDone;
}

// The boot ROM takes "download [rambin] [0xADDRESS] [SIZE]" and then asks
// for the image by YMODEM; no other answer comes first.
bool tranProtocol::downloadRam(uint32_t address, const QString &path)
{
    qint64 size = 0;
    if (!usableImage(path, size)) {
        transferResult = yModemProtocol::ResultOpenFailed;
        return false;
    }
    QByteArray command = QByteArrayLiteral("download [rambin] [] []\r\n");
    command.insert(command.indexOf('[', 13) + 1, "0x" + QByteArray::number(address, 16));
    command.insert(command.lastIndexOf('[') + 1, QByteArray::number(size));
    sendCommand(command);
    return runTransfer(path, chipfacts::ramBlockSize);
}

// The ramcode writes what follows "upgrade" to the last start address.
bool tranProtocol::upgradeFile(const QString &path)
{
    qint64 size = 0;
    if (!usableImage(path, size)) {
        transferResult = yModemProtocol::ResultOpenFailed;
        return false;
    }
    sendCommand(QByteArrayLiteral("upgrade\r\n"));
    return runTransfer(path, chipfacts::flashBlockSize);
}

bool tranProtocol::probeMode(QString &answer)
{
    for (int attempt = 0; attempt < modeProbes; ++attempt) {
        if (getMode(answer))
            return true;
    }
    return false;
}

uint32_t tranProtocol::downloadFlash(uint32_t baudRate, const QList<uint32_t> &addresses,
                                     const QStringList &paths, uint32_t eraseFlag)
{
    // The boot ROM answers with the chip's name, the ramcode with "RAMCODE".
    QString answer;
    if (!probeMode(answer))
        return DownloadNoChip;
    if (!answer.contains(QLatin1String(chipfacts::ramcodeAnswer))) {
        const QString ramcode = configDir() + QLatin1Char('/') + chipfacts::ramcodeImage(answer);
        // Judged by the probe that follows, not by the transfer's result.
        twice([&] { return downloadRam(chipfacts::ramcodeAddress, ramcode); });
    }

    doneSteps = 1.0f;
    sender.progress = 0.0f;
    probeMode(answer);
    if (!answer.contains(QLatin1String(chipfacts::ramcodeAnswer)))
        return DownloadRamcodeFailed;

    doneSteps = 1.0f;
    getFlashUid(flashUid);

    if (!twice([&] { return changeBaudRate(baudRate); }))
        return DownloadBaudRateFailed;

    doneSteps = 1.0f;
    if (eraseFlag == 1 && !twice([&] { return flashEraseAll(); }))
        return DownloadEraseFailed;

    for (int i = 0; i < paths.size(); ++i) {
        // An image without an address cannot be placed: like a refused one.
        if (i >= addresses.size() || !twice([&] { return setStartAddr(addresses.at(i)); }))
            return DownloadEraseFailed;
        if (!twice([&] { return upgradeFile(paths.at(i)); }))
            return DownloadWriteFailed;
        sender.progress = 0.0f;
        doneSteps = doneSteps.load() + 1.0f;
    }

    doneSteps = float(paths.size() + 1);
    uint32_t count = 0;
    if (!twice([&] { return getFileCount(count); }) || count != uint32_t(paths.size()))
        return DownloadFileCountFailed;
    changeBaudRate(chipfacts::normalBaud);
    return DownloadOk;
}
