// Chipctl's downloads against the simulated station: tranProtocol and its
// YMODEM sender, in-process, over an RFC 2217 port of stationsim whose chips
// carry the scenario's faults. Each chip of the scenario serves one case.
#include "hostlink.h"
#include "simstation.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QByteArray scenario = R"({
    "duts": 9,
    "seed": 5,
    "chips": {
        "dut03": { "start": "bootrom", "faults": { "nakBlocks": 3 } },
        "dut04": { "start": "bootrom", "faults": { "cancelAfterBlocks": 2 } },
        "dut05": { "start": "bootrom", "faults": { "silent": true } },
        "dut06": { "start": "bootrom", "faults": { "lineNoise": 0.00003 } },
        "dut07": { "start": "ramcode", "faults": { "refuseBaud": true } },
        "dut08": { "start": "ramcode", "faults": { "cancelAfterBlocks": 1 } },
        "dut09": { "start": "ramcode" }
    }
})";

constexpr uint32_t ramAddress = 0x20000000;
constexpr uint32_t fastBaud = 1000000;
const QByteArray cancel(5, yModemProtocol::CAN);

QByteArray randomBytes(int size, quint32 seed)
{
    QRandomGenerator gen(seed);
    QByteArray bytes(size, '\0');
    for (char &c : bytes)
        c = char(gen.bounded(256));
    return bytes;
}

// The block numbers of the data packets among the bytes the host sent, in
// the order they went out (header and closing block, number 0, left out).
QList<int> dataBlockNumbers(const QSignalSpy &sent)
{
    QList<int> numbers;
    for (const QList<QVariant> &emission : sent) {
        const QByteArray packet = emission.at(0).toByteArray();
        if (packet.size() < 5)
            continue;
        const char start = packet.at(0);
        if (start != yModemProtocol::SOH && start != yModemProtocol::STX)
            continue;
        // The transfers here stay below 255 blocks, so no data block is 0.
        const int number = quint8(packet.at(1));
        if (number != 0)
            numbers << number;
    }
    return numbers;
}

int countSent(const QSignalSpy &sent, const QByteArray &packet)
{
    int n = 0;
    for (const QList<QVariant> &emission : sent)
        n += emission.at(0).toByteArray() == packet ? 1 : 0;
    return n;
}

QList<int> range(int from, int to)
{
    QList<int> numbers;
    for (int i = from; i <= to; ++i)
        numbers << i;
    return numbers;
}

} // namespace

class tst_SimTransfers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void ramcodeDownloadAfterBootEntry();
    void flashDownloadOfTwoImages();
    void nakedBlocksAreSentAgain();
    void canBurstEndsTheTransfer();
    void chipThatNeverAsks();
    void lineNoise();
    void chipRefusingTheBaudSwitch();
    void imageRefusedTwice();
    void commandRightAfterAnAbortedTransfer();

private:
    std::unique_ptr<HostLink> connectTo(const QString &chip);
    QString writeImage(const QString &name, const QByteArray &content);
    QByteArray storedFlash(const QString &chip, int offset, int length) const;
    QByteArray traceText(const QString &chip) const;
    QByteArray hostBytesInTrace(const QString &chip) const;

    QTemporaryDir dir;
    QString configDir;
    QString ramcodePath;
    QByteArray ramcode;
    SimStation sim;
};

void tst_SimTransfers::initTestCase()
{
    QVERIFY(dir.isValid());
    configDir = dir.filePath(QStringLiteral("Config"));
    QVERIFY(QDir().mkpath(configDir));
    QFile image(QStringLiteral(RAMCODE_IMAGE));
    QVERIFY(image.open(QIODevice::ReadOnly));
    ramcode = image.readAll();
    QCOMPARE(ramcode.size(), 24576);
    // Where downloadFlash looks for the ramcode of the chip that answered.
    ramcodePath = configDir + QStringLiteral("/TK716A_RAM_BIN.bin");
    QFile copy(ramcodePath);
    QVERIFY(copy.open(QIODevice::WriteOnly));
    QCOMPARE(copy.write(ramcode), qint64(ramcode.size()));
    copy.close();

    QFile file(dir.filePath(QStringLiteral("scenario.json")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(scenario);
    file.close();
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("trace"))));
    QVERIFY2(sim.start({QStringLiteral("--scenario"), file.fileName(), QStringLiteral("--trace"),
                        dir.filePath(QStringLiteral("trace"))}),
             qPrintable(sim.errorText()));
}

std::unique_ptr<HostLink> tst_SimTransfers::connectTo(const QString &chip)
{
    auto link = std::make_unique<HostLink>(configDir);
    if (!link->open(sim.url(chip)))
        return nullptr;
    return link;
}

QString tst_SimTransfers::writeImage(const QString &name, const QByteArray &content)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return QString();
    return path;
}

// The simulator keeps each chip's flash in its state directory.
QByteArray tst_SimTransfers::storedFlash(const QString &chip, int offset, int length) const
{
    QFile file(sim.stateDir() + QLatin1Char('/') + chip + QStringLiteral(".flash"));
    if (!file.open(QIODevice::ReadOnly) || !file.seek(offset))
        return QByteArray();
    return file.read(length);
}

QByteArray tst_SimTransfers::traceText(const QString &chip) const
{
    QFile file(dir.filePath(QStringLiteral("trace/") + chip + QStringLiteral(".trace")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every byte the chip received, in order, from its wire trace.
QByteArray tst_SimTransfers::hostBytesInTrace(const QString &chip) const
{
    QByteArray bytes;
    for (const QByteArray &line : traceText(chip).split('\n')) {
        const int at = line.indexOf(" host>chip ");
        if (at < 0)
            continue;
        const int bar = line.indexOf("  |", at);
        bytes += QByteArray::fromHex(line.mid(at + 11, bar - at - 11));
    }
    return bytes;
}

void tst_SimTransfers::ramcodeDownloadAfterBootEntry()
{
    auto link = connectTo(QStringLiteral("dut01"));
    QVERIFY(link);
    tranProtocol &host = link->protocol();
    QString answer;
    // A DUT starts in its AT firmware, which knows no "version".
    QVERIFY(!host.getMode(answer));

    link->resetIntoBootRom();
    QVERIFY(host.getMode(answer));
    QCOMPARE(answer, QStringLiteral("TK716A"));

    QSignalSpy sent(&host, &tranProtocol::sendData);
    QVERIFY(host.downloadRam(ramAddress, ramcodePath));
    QCOMPARE(int(host.lastTransferResult()), int(yModemProtocol::ResultDone));
    QCOMPARE(host.ymodem().progress.load(), 1.0f);
    QCOMPARE(sent.first().at(0).toByteArray(),
             QByteArray("download [rambin] [0x20000000] [24576]\r\n"));
    // A clean line: every 1024-byte block went out once.
    QCOMPARE(dataBlockNumbers(sent), range(1, 24));
    QCOMPARE(sent.last().at(0).toByteArray(), yModemProtocol::closingPacket());

    // The boot ROM started the image: the ramcode answers now.
    QVERIFY(host.getMode(answer));
    QCOMPARE(answer, QStringLiteral("RAMCODE"));
    QVERIFY(host.enterRamcode());
}

void tst_SimTransfers::flashDownloadOfTwoImages()
{
    const QByteArray first = randomBytes(40000, 1);
    const QByteArray second = randomBytes(16384, 2);
    const QString firstPath = writeImage(QStringLiteral("first.bin"), first);
    const QString secondPath = writeImage(QStringLiteral("second.bin"), second);
    QVERIFY(!firstPath.isEmpty() && !secondPath.isEmpty());

    auto link = connectTo(QStringLiteral("dut02"));
    QVERIFY(link);
    tranProtocol &host = link->protocol();
    link->resetIntoBootRom();

    // From the boot ROM: the ramcode first, then both images at 1000000 baud.
    QCOMPARE(host.downloadFlash(fastBaud, {0x0, 0x40000}, {firstPath, secondPath}, 2),
             uint32_t(tranProtocol::DownloadOk));
    QCOMPARE(host.doneSteps.load(), 3.0f);
    QCOMPARE(host.flashUid.size(), 34);
    QVERIFY(host.flashUid.startsWith(QLatin1String("0x")));
    // Both sides are back at 115200: the ramcode answers at once.
    QString answer;
    QVERIFY(host.getMode(answer));
    QCOMPARE(answer, QStringLiteral("RAMCODE"));
    QString uid;
    QVERIFY(host.getFlashUid(uid));
    QCOMPARE(uid, host.flashUid);

    // Read back through the ramcode's CRC-checked dumps: whole 512-byte
    // chunks, so the sector's erased tail follows the first image.
    const QString readBack = dir.filePath(QStringLiteral("readback.bin"));
    QVERIFY(host.readToFile(0x0, uint32_t(first.size()), readBack));
    QFile file(readBack);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray got = file.readAll();
    QCOMPARE(got.size(), 40448);
    QVERIFY(got.left(first.size()) == first);
    QCOMPARE(got.mid(first.size()), QByteArray(448, '\xff'));
    QVERIFY(storedFlash(QStringLiteral("dut02"), 0x40000, second.size()) == second);

    // The same ramcode run has now written three images: a download of one
    // more is written, but its file count does not match.
    QCOMPARE(host.downloadFlash(fastBaud, {0x80000}, {secondPath}, 2),
             uint32_t(tranProtocol::DownloadFileCountFailed));
    QVERIFY(storedFlash(QStringLiteral("dut02"), 0x80000, second.size()) == second);
    uint32_t count = 0;
    QVERIFY(host.changeBaudRate(115200));
    QVERIFY(host.getFileCount(count));
    QCOMPARE(count, 3u);
}

void tst_SimTransfers::nakedBlocksAreSentAgain()
{
    auto link = connectTo(QStringLiteral("dut03"));
    QVERIFY(link);
    tranProtocol &host = link->protocol();
    QSignalSpy sent(&host, &tranProtocol::sendData);

    // The chip refuses the first three data blocks of every transfer: the
    // first block goes out four times with the same number.
    QVERIFY(host.downloadRam(ramAddress, ramcodePath));
    QCOMPARE(dataBlockNumbers(sent), QList<int>({1, 1, 1}) + range(1, 24));
    QString answer;
    QVERIFY(host.getMode(answer));
    QCOMPARE(answer, QStringLiteral("RAMCODE"));

    const QByteArray image = randomBytes(3 * 16384 - 100, 3);
    const QString path = writeImage(QStringLiteral("naked.bin"), image);
    sent.clear();
    QCOMPARE(host.downloadFlash(fastBaud, {0x10000}, {path}, 2),
             uint32_t(tranProtocol::DownloadOk));
    // The ramcode runs already: no ramcode download, but the UID and the
    // baud switch all the same.
    QCOMPARE(countSent(sent, "download [rambin] [0x20000000] [24576]\r\n"), 0);
    QCOMPARE(countSent(sent, "flash_uid\r\n"), 1);
    QCOMPARE(countSent(sent, "baudrate 1000000\r\n"), 1);
    QCOMPARE(dataBlockNumbers(sent), QList<int>({1, 1, 1}) + range(1, 3));
    QVERIFY(storedFlash(QStringLiteral("dut03"), 0x10000, image.size()) == image);
}

void tst_SimTransfers::canBurstEndsTheTransfer()
{
    auto link = connectTo(QStringLiteral("dut04"));
    QVERIFY(link);
    tranProtocol &host = link->protocol();
    QSignalSpy sent(&host, &tranProtocol::sendData);

    // Two good blocks, then the chip cancels with five CAN bytes: the sender
    // answers with its own and gives up.
    QVERIFY(!host.downloadRam(ramAddress, ramcodePath));
    QCOMPARE(int(host.lastTransferResult()), int(yModemProtocol::ResultChipCancelled));
    QCOMPARE(dataBlockNumbers(sent), range(1, 3));
    QCOMPARE(sent.last().at(0).toByteArray(), cancel);
    // They reach the chip a wire time later.
    QTRY_VERIFY(hostBytesInTrace(QStringLiteral("dut04")).endsWith(cancel));

    // The boot ROM takes commands again.
    QString answer;
    QVERIFY(host.getMode(answer));
    QCOMPARE(answer, QStringLiteral("TK716A"));

    // A flash download loads the ramcode twice, in vain.
    sent.clear();
    const QString path = writeImage(QStringLiteral("cancelled.bin"), randomBytes(5000, 4));
    QCOMPARE(host.downloadFlash(fastBaud, {0x0}, {path}, 2),
             uint32_t(tranProtocol::DownloadRamcodeFailed));
    QCOMPARE(countSent(sent, "download [rambin] [0x20000000] [24576]\r\n"), 2);
    QCOMPARE(countSent(sent, cancel), 2);
}

void tst_SimTransfers::chipThatNeverAsks()
{
    auto link = connectTo(QStringLiteral("dut05"));
    QVERIFY(link);
    tranProtocol &host = link->protocol();
    QSignalSpy sent(&host, &tranProtocol::sendData);

    // The chip hears the command but never asks with "C": about 7 s without
    // a packet sent end the transfer, and the sender cancels.
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!host.downloadRam(ramAddress, ramcodePath));
    const qint64 ms = clock.elapsed();
    QCOMPARE(int(host.lastTransferResult()), int(yModemProtocol::ResultTimeout));
    QVERIFY2(ms >= 7000 && ms < 15000, qPrintable(QString::number(ms)));
    QCOMPARE(sent.size(), 2); // the command and the cancel: no header
    QCOMPARE(sent.last().at(0).toByteArray(), cancel);
    QTRY_VERIFY(hostBytesInTrace(QStringLiteral("dut05"))
                    .endsWith("download [rambin] [0x20000000] [24576]\r\n" + cancel));
}

void tst_SimTransfers::lineNoise()
{
    // Flipped bits in both directions: damaged blocks are refused and sent
    // again, and what lands in flash is the image, byte for byte.
    const QByteArray image = randomBytes(16 * 16384, 6);
    const QString path = writeImage(QStringLiteral("noisy.bin"), image);
    auto link = connectTo(QStringLiteral("dut06"));
    QVERIFY(link);
    tranProtocol &host = link->protocol();
    QSignalSpy sent(&host, &tranProtocol::sendData);

    QCOMPARE(host.downloadFlash(fastBaud, {0x100000}, {path}, 2),
             uint32_t(tranProtocol::DownloadOk));
    QVERIFY(storedFlash(QStringLiteral("dut06"), 0x100000, image.size()) == image);
    // 24 ramcode blocks and 16 flash blocks, some of them more than once.
    const QList<int> blocks = dataBlockNumbers(sent);
    QVERIFY2(blocks.size() > 24 + 16, qPrintable(QString::number(blocks.size())));
}

void tst_SimTransfers::chipRefusingTheBaudSwitch()
{
    const QString path = writeImage(QStringLiteral("unsent.bin"), randomBytes(3000, 7));
    auto link = connectTo(QStringLiteral("dut07"));
    QVERIFY(link);
    tranProtocol &host = link->protocol();
    // Shorter answer waits than the 10 s default keep the test quick; the
    // chip never answers at the new rate anyway.
    host.waitCount = 100;
    QSignalSpy sent(&host, &tranProtocol::sendData);

    QCOMPARE(host.downloadFlash(fastBaud, {0x0}, {path}, 2),
             uint32_t(tranProtocol::DownloadBaudRateFailed));
    // Tried twice; the second command went out at the host's new rate, so
    // the chip heard only garbage the second time.
    QCOMPARE(countSent(sent, "baudrate 1000000\r\n"), 2);
    QCOMPARE(traceText(QStringLiteral("dut07")).count("baud 1000000 refused"), 1);
    QCOMPARE(countSent(sent, "upgrade\r\n"), 0);

    // The host was left at the new rate; back at 115200 the ramcode answers.
    link->serial().setBaudRate(115200);
    QString answer;
    QVERIFY(host.getMode(answer));
    QCOMPARE(answer, QStringLiteral("RAMCODE"));
}

void tst_SimTransfers::imageRefusedTwice()
{
    const QByteArray image = randomBytes(3 * 16384, 8);
    const QString path = writeImage(QStringLiteral("refused.bin"), image);
    auto link = connectTo(QStringLiteral("dut08"));
    QVERIFY(link);
    tranProtocol &host = link->protocol();
    QSignalSpy sent(&host, &tranProtocol::sendData);

    QCOMPARE(host.downloadFlash(fastBaud, {0x0}, {path}, 2),
             uint32_t(tranProtocol::DownloadWriteFailed));
    QCOMPARE(int(host.lastTransferResult()), int(yModemProtocol::ResultChipCancelled));
    QCOMPARE(countSent(sent, "upgrade\r\n"), 2);
    QVERIFY(storedFlash(QStringLiteral("dut08"), 0, image.size()) != image);

    // Both sides stay at the new rate after a failure past the switch.
    QString answer;
    QVERIFY(host.getMode(answer));
    QCOMPARE(answer, QStringLiteral("RAMCODE"));
}

void tst_SimTransfers::commandRightAfterAnAbortedTransfer()
{
    auto link = connectTo(QStringLiteral("dut09"));
    QVERIFY(link);
    tranProtocol &host = link->protocol();
    // A transfer the host aborts at once (as a retried download does when
    // the chip's cancel is still in the sender's buffer), and the probe
    // right behind it on the wire: the chip hears the probe. At 1000000
    // baud both reach the chip together.
    QVERIFY(host.changeBaudRate(fastBaud));
    for (int round = 0; round < 5; ++round) {
        QVERIFY(link->serial().sendData("upgrade\r\n" + cancel));
        QString answer;
        QVERIFY2(host.getMode(answer), qPrintable(QString::number(round)));
        QCOMPARE(answer, QStringLiteral("RAMCODE"));
    }
}

QTEST_GUILESS_MAIN(tst_SimTransfers)
#include "tst_simtransfers.moc"
