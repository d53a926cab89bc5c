#include "chip/bootrom.h"

#include "chip/ramcodeimage.h"
#include "chip/simchip.h"

namespace stationsim {

namespace {
QByteArray versionText()
{
    return QByteArray("\r\nTK716A boot ROM ") + BootRom::banner + "\r\n";
}

// "[rambin]" -> "rambin": the boot ROM ignores the brackets of its arguments.
QByteArray bare(const QByteArray &word)
{
    QByteArray out = word;
    out.replace('[', "");
    out.replace(']', "");
    return out;
}
} // namespace

void BootRom::start()
{
    chip.reply(versionText());
}

quint32 BootRom::parseBaud(const QList<QByteArray> &words)
{
    if (words.size() != 2)
        return 0;
    QByteArray rate = words.at(1);
    if (rate.startsWith("[boot]"))
        rate = bare(rate.mid(6));
    bool ok = false;
    const qulonglong baud = rate.toULongLong(&ok, 10);
    if (!ok || baud < 1200 || baud > 4000000)
        return 0;
    return quint32(baud);
}

void BootRom::command(const QByteArray &line)
{
    const QList<QByteArray> w = words(line);
    if (w.isEmpty())
        return;
    if (w.at(0) == "version") {
        chip.reply(versionText());
    } else if (w.at(0) == "baudrate") {
        if (const quint32 baud = parseBaud(w))
            chip.requestBaud(baud);
    } else if (w.at(0) == "download") {
        download(w);
    }
    // Anything else is not a boot ROM command: no answer.
}

void BootRom::download(const QList<QByteArray> &w)
{
    // download [rambin] [0xADDR] [SIZE]
    if (w.size() != 4 || bare(w.at(1)) != "rambin") {
        chip.reply("\r\nffff\r\n");
        return;
    }
    const QByteArray addressText = bare(w.at(2));
    const bool prefixed = addressText.startsWith("0x") || addressText.startsWith("0X");
    bool addressOk = false;
    const qulonglong address = addressText.mid(2).toULongLong(&addressOk, 16);
    addressOk = addressOk && prefixed;
    bool sizeOk = false;
    const qulonglong size = bare(w.at(3)).toULongLong(&sizeOk, 10);
    if (!addressOk || !sizeOk || size == 0 || address < ramStart ||
        address + size > qulonglong(ramStart) + ramSize) {
        chip.reply("\r\nffff\r\n");
        return;
    }
    YmodemReceiver::Options options;
    options.stxSize = 1024;
    options.maxSize = qint64(size);
    options.nakBlocks = chip.setup().faults.nakBlocks;
    options.cancelAfterBlocks = chip.setup().faults.cancelAfterBlocks;
    SimChip *target = &chip;
    const bool refuse = chip.setup().faults.refuseImage;
    chip.receiveFile(
        options, [target, size, refuse](bool ok, const QByteArray &image, const QString &) {
            if (!ok)
                return; // cancelled: the boot ROM takes commands again
            if (!refuse && quint64(image.size()) == size && RamcodeImage::isRamcode(image))
                target->startRamcode();
            else
                target->halt(); // jumped into an image that is no ramcode
        });
}

} // namespace stationsim
