#ifndef CHIPMODEL_H
#define CHIPMODEL_H

#include "fakechip.h"
#include "ymodemreceiver.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

class tranProtocol;

// A TK716A as the protocol tests need it, on top of the in-process chip:
// boot ROM and ramcode "version" answers, baud-rate switches (answers are
// lost while host and chip rates differ), a flash to dump, YMODEM downloads
// into RAM and flash, and per-command answers or silence for the rest.
class ChipModel : public QObject
{
    Q_OBJECT
public:
    static constexpr const char *banner = "Mar 14 2021/00:23:32";

    // Wires itself to `host` (both directions and the baud-rate signal).
    explicit ChipModel(tranProtocol &host, QObject *parent = nullptr);

    // Command words as the chip received them, and the lines whole.
    QStringList words() const;
    int count(const QByteArray &word) const;
    // Received lines that start with `prefix`.
    int countLines(const QByteArray &prefix) const;

    FakeChip chip;
    bool ramcodeRunning = false;
    // A loaded ramcode image starts only if it begins with this text.
    QByteArray ramcodeMagic = "TK716A-SIM-RAMCODE";
    // Fixed answers by command word; an empty answer means silence.
    QMap<QByteArray, QByteArray> answers;
    // Flash contents for "flash_read"; reads of an address listed in
    // `silentReads` get no answer that many times, `badCrc` addresses get
    // a wrong CRC.
    QByteArray flash;
    QMap<uint32_t, int> silentReads;
    QSet<uint32_t> badCrc;
    // Baud rates: refused switches keep the chip at its rate.
    bool refuseBaud = false;
    uint32_t chipBaud = 115200;
    uint32_t hostBaud = 115200;
    QList<uint32_t> hostBauds;
    // Transfers: the receiver of each is configured by this hook (faults);
    // `neverAsk` keeps the chip from ever sending its "C".
    std::function<void(YmodemReceiver &)> configureTransfer;
    bool neverAsk = false;
    QList<QByteArray> ramImages;
    QList<QPair<uint32_t, QByteArray>> flashImages;
    uint32_t startAddress = 0;
    int filesWritten = 0;
    std::unique_ptr<YmodemReceiver> transfer;
    bool transferToFlash = false;

private:
    QByteArray answer(const QByteArray &line);
    QByteArray onTransferBytes(const QByteArray &bytes);
    QByteArray dump(uint32_t address, uint32_t length) const;
    QByteArray startTransfer(bool toFlash, int blockSize);
};

#endif // CHIPMODEL_H
