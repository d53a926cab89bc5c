// Loading the ramcode, writing flash images and the whole flash download
// against a modelled chip: every step, retry and result code, the routing
// of received bytes during a transfer and the progress values.
#include "chipmodel.h"
#include "protocol/tranprotocol.h"

#include <QDir>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

QByteArray randomBytes(int size, quint32 seed)
{
    QRandomGenerator gen(seed);
    QByteArray bytes(size, '\0');
    for (char &c : bytes)
        c = char(gen.bounded(256));
    return bytes;
}

} // namespace

class tst_Downloads : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void downloadRamSendsCommandAndImage();
    void unusableImagesSendNothing();
    void transferBytesBypassTheReceiveBuffer();
    void chipThatNeverAsks();
    void upgradeWritesFlashBlocks();
    void flashDownloadFromBootRom();
    void flashDownloadWithRamcodeRunning();
    void flashDownloadWithoutImages();
    void flashDownloadProgress();
    void flashDownloadSurvivesNaks();
    void flashDownloadFailures();
    void retryAfterChipCancelStartsClean();
    void flashDownloadNoChip();
    void flashDownloadRamcodeNotStarting();
    void resultTexts();

private:
    QString writeFile(const QString &name, const QByteArray &content);

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<tranProtocol> host;
    std::unique_ptr<ChipModel> model;
    QByteArray ramcode;
};

void tst_Downloads::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    const QString config = dir->filePath(QStringLiteral("Config"));
    host = std::make_unique<tranProtocol>(config);
    model = std::make_unique<ChipModel>(*host);
    ramcode = "TK716A-SIM-RAMCODE" + randomBytes(24 * 1024 - 18, 1);
    QFile file(config + "/TK716A_RAM_BIN.bin");
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(ramcode), qint64(ramcode.size()));
}

void tst_Downloads::cleanup()
{
    model.reset();
    host.reset();
    dir.reset();
}

QString tst_Downloads::writeFile(const QString &name, const QByteArray &content)
{
    const QString path = dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return QString();
    return path;
}

void tst_Downloads::downloadRamSendsCommandAndImage()
{
    const QString path = host->configDir() + "/TK716A_RAM_BIN.bin";
    QVERIFY(host->downloadRam(0x20000000, path));
    QCOMPARE(model->chip.received.first(),
             "download [rambin] [0x20000000] [" + QByteArray::number(ramcode.size()) + "]\r\n");
    QCOMPARE(model->ramImages, QList<QByteArray>({ramcode}));
    QVERIFY(model->ramcodeRunning);
    QVERIFY(!host->ymodemRunning);
    QCOMPARE(int(host->lastTransferResult()), 255);
    QCOMPARE(host->ymodem().blockSize, 1024u);
    // The ramcode answers now.
    QVERIFY(host->enterRamcode());

    // Another address, written without leading zeros.
    model->ramcodeRunning = false;
    model->chip.received.clear();
    QVERIFY(host->downloadRam(0x8000, writeFile(QStringLiteral("x.bin"), "abc")));
    QCOMPARE(model->chip.received.first(), QByteArray("download [rambin] [0x8000] [3]\r\n"));
}

void tst_Downloads::unusableImagesSendNothing()
{
    // A missing file and an empty one (never a chip image) are refused
    // before any byte goes out, the chip's request notwithstanding.
    const QString empty = writeFile(QStringLiteral("empty.bin"), QByteArray());
    const QString missing = dir->filePath(QStringLiteral("missing.bin"));
    for (const QString &path : {empty, missing}) {
        QVERIFY(!host->downloadRam(0x20000000, path));
        QCOMPARE(int(host->lastTransferResult()), 240);
        model->ramcodeRunning = true;
        QVERIFY(!host->upgradeFile(path));
        model->ramcodeRunning = false;
    }
    QVERIFY(model->chip.received.isEmpty());
}

void tst_Downloads::transferBytesBypassTheReceiveBuffer()
{
    QSignalSpy toSender(host.get(), &tranProtocol::sendDataToYodem);
    QByteArray seenBySender;
    model->configureTransfer = [&](YmodemReceiver &rx) {
        rx.answerHook = [&](int, const QByteArray &answer) {
            seenBySender = host->ymodem().recvBuf;
            return answer + "pppp";
        };
    };
    QVERIFY(host->downloadRam(0x20000000, host->configDir() + "/TK716A_RAM_BIN.bin"));
    QVERIFY(toSender.count() >= 24);
    QByteArray routed;
    for (const QList<QVariant> &args : qAsConst(toSender))
        routed += args.at(0).toByteArray();
    // Every byte the chip sent during the transfer reached the sender.
    QVERIFY(routed.startsWith("C\x06"
                              "C\x06pppp"));
    QVERIFY(routed.endsWith("\x06"));

    // After it, nothing goes to the sender any more: a command's answer
    // reaches the protocol's own buffer.
    const int before = toSender.count();
    model->answers.insert("rf_stop", "\r\npppp\r\n");
    QVERIFY(host->rfStop());
    QCOMPARE(toSender.count(), before);
}

void tst_Downloads::chipThatNeverAsks()
{
    model->neverAsk = true;
    QVERIFY(!host->downloadRam(0x20000000, host->configDir() + "/TK716A_RAM_BIN.bin"));
    QCOMPARE(int(host->lastTransferResult()), 224);
    // The command went out, then only the sender's cancel.
    QCOMPARE(model->chip.received.size(), 2);
    QVERIFY(model->chip.received.first().startsWith("download [rambin]"));
    QCOMPARE(model->chip.received.last(), QByteArray(5, '\x18'));
    QVERIFY(!host->ymodemRunning);
}

void tst_Downloads::upgradeWritesFlashBlocks()
{
    model->ramcodeRunning = true;
    const QByteArray image = randomBytes(40000, 2);
    QVERIFY(host->setStartAddr(0x10000));
    QVERIFY(host->upgradeFile(writeFile(QStringLiteral("app.bin"), image)));
    QCOMPARE(model->chip.received.at(1), QByteArray("upgrade\r\n"));
    QCOMPARE(host->ymodem().blockSize, 16384u);
    QCOMPARE(model->flashImages.size(), 1);
    QCOMPARE(model->flashImages.first().first, 0x10000u);
    QCOMPARE(model->flashImages.first().second, image);
}

void tst_Downloads::flashDownloadFromBootRom()
{
    const QByteArray first = randomBytes(20000, 3), second = randomBytes(5, 4);
    const QStringList paths = {writeFile(QStringLiteral("one.bin"), first),
                               writeFile(QStringLiteral("two.bin"), second)};
    QCOMPARE(host->downloadFlash(1000000, {0x0, 0x80000}, paths, 2), 0u);
    QCOMPARE(model->ramImages, QList<QByteArray>({ramcode}));
    QCOMPARE(model->flashImages.size(), 2);
    QCOMPARE(model->flashImages.at(0), qMakePair(0x0u, first));
    QCOMPARE(model->flashImages.at(1), qMakePair(0x80000u, second));
    QCOMPARE(host->flashUid, QStringLiteral("0x00112233445566778899aabbccddeeff"));
    QCOMPARE(model->hostBauds, QList<uint32_t>({1000000, 115200}));
    QCOMPARE(model->chipBaud, 115200u);
    QCOMPARE(host->doneSteps.load(), 3.0f);
    QCOMPARE(model->count("ferase_all"), 0);
    const QStringList words = model->words();
    const QStringList tail = words.mid(words.indexOf(QStringLiteral("flash_uid")));
    QCOMPARE(tail,
             QStringList({"flash_uid", "baudrate", "version", "version", "startaddr", "upgrade",
                          "startaddr", "upgrade", "filecount", "baudrate", "version", "version"}));
    QCOMPARE(model->count("download"), 1);
}

void tst_Downloads::flashDownloadWithRamcodeRunning()
{
    model->ramcodeRunning = true;
    const QString path = writeFile(QStringLiteral("a.bin"), randomBytes(100, 5));
    QCOMPARE(host->downloadFlash(921600, {0x1000}, {path}, 1), 0u);
    QCOMPARE(model->count("download"), 0);
    QCOMPARE(model->count("flash_uid"), 1);
    QCOMPARE(model->count("ferase_all"), 1);
    QCOMPARE(model->hostBauds, QList<uint32_t>({921600, 115200}));
}

void tst_Downloads::flashDownloadWithoutImages()
{
    model->ramcodeRunning = true;
    QCOMPARE(host->downloadFlash(115200, {}, {}, 2), 0u);
    QCOMPARE(host->doneSteps.load(), 1.0f);
    // A count read but not the expected one is not read again.
    model->answers.insert("filecount", "\r\nfc:1\r\n");
    QCOMPARE(host->downloadFlash(115200, {}, {}, 2), 1025u);
    QCOMPARE(model->count("filecount"), 2);
    // A count that cannot be read is tried twice.
    host->waitCount = 20;
    model->answers.insert("filecount", QByteArray());
    QCOMPARE(host->downloadFlash(115200, {}, {}, 2), 1025u);
    QCOMPARE(model->count("filecount"), 4);
}

void tst_Downloads::flashDownloadProgress()
{
    model->ramcodeRunning = true;
    const QStringList paths = {writeFile(QStringLiteral("p1.bin"), randomBytes(16384 * 4, 6)),
                               writeFile(QStringLiteral("p2.bin"), randomBytes(16384 * 2, 7))};
    // (doneSteps, sender's progress) as each data block arrives.
    QList<QPair<float, float>> seen;
    model->configureTransfer = [&](YmodemReceiver &rx) {
        rx.answerHook = [&](int, const QByteArray &answer) {
            seen.append({host->doneSteps.load(), host->ymodem().progress.load()});
            return answer;
        };
    };
    QCOMPARE(host->downloadFlash(115200, {0, 0x40000}, paths, 2), 0u);
    const QList<QPair<float, float>> expected = {{1.0f, 0.0f},  {1.0f, 0.25f}, {1.0f, 0.5f},
                                                 {1.0f, 0.75f}, {2.0f, 0.0f},  {2.0f, 0.5f}};
    QCOMPARE(seen, expected);
    QCOMPARE(host->ymodem().progress.load(), 0.0f);
    QCOMPARE(host->doneSteps.load(), 3.0f);
}

void tst_Downloads::flashDownloadSurvivesNaks()
{
    model->ramcodeRunning = true;
    const QByteArray image = randomBytes(16384 * 3 + 7, 8);
    model->configureTransfer = [](YmodemReceiver &rx) { rx.nakFrames = {1, 3, 4}; };
    QCOMPARE(host->downloadFlash(115200, {0x2000}, {writeFile(QStringLiteral("n.bin"), image)}, 2),
             0u);
    QCOMPARE(model->flashImages.first().second, image);
}

void tst_Downloads::flashDownloadFailures()
{
    host->waitCount = 20;
    model->ramcodeRunning = true;
    const QString path = writeFile(QStringLiteral("f.bin"), randomBytes(300, 9));

    // The chip stays at its rate: two switches tried, 1027, host left at
    // the new rate.
    model->refuseBaud = true;
    QCOMPARE(host->downloadFlash(1000000, {0}, {path}, 2), 1027u);
    QCOMPARE(model->hostBauds, QList<uint32_t>({1000000, 1000000}));
    QCOMPARE(model->count("baudrate"), 2);
    model->refuseBaud = false;
    model->chipBaud = model->hostBaud = 115200;

    // The whole-flash erase refused twice.
    model->chip.received.clear();
    model->answers.insert("ferase_all", "\r\nffff\r\n");
    QCOMPARE(host->downloadFlash(115200, {0}, {path}, 1), 1031u);
    QCOMPARE(model->count("ferase_all"), 2);
    model->answers.remove("ferase_all");

    // A start address refused twice.
    model->chip.received.clear();
    model->answers.insert("startaddr", "\r\nffff\r\n");
    QCOMPARE(host->downloadFlash(115200, {0}, {path}, 2), 1031u);
    QCOMPARE(model->count("startaddr"), 2);
    QCOMPARE(model->count("upgrade"), 0);
    model->answers.remove("startaddr");

    // More images than addresses: the unplaced one is refused, no crash.
    model->chip.received.clear();
    QCOMPARE(host->downloadFlash(115200, {0}, {path, path}, 2), 1031u);
    QCOMPARE(model->count("upgrade"), 1);

    // The chip cancels both transfers of the image.
    model->chip.received.clear();
    model->configureTransfer = [](YmodemReceiver &rx) {
        rx.answerHook = [](int, const QByteArray &) { return QByteArray(5, '\x18'); };
    };
    QCOMPARE(host->downloadFlash(115200, {0}, {path}, 2), 1033u);
    QCOMPARE(model->count("upgrade"), 2);
    QCOMPARE(int(host->lastTransferResult()), 241);
    model->configureTransfer = nullptr;

    // A missing image: both tries refused before anything is sent.
    model->chip.received.clear();
    QCOMPARE(host->downloadFlash(115200, {0}, {dir->filePath(QStringLiteral("none.bin"))}, 2),
             1033u);
    QCOMPARE(model->count("upgrade"), 0);
}

void tst_Downloads::retryAfterChipCancelStartsClean()
{
    model->ramcodeRunning = true;
    const QByteArray image = randomBytes(3000, 11);
    // The chip aborts the first transfer of the image; the retry must not
    // see those CAN bytes again.
    int transfers = 0;
    model->configureTransfer = [&transfers](YmodemReceiver &rx) {
        if (++transfers == 1)
            rx.answerHook = [](int, const QByteArray &) { return QByteArray(5, '\x18'); };
    };
    QCOMPARE(host->downloadFlash(115200, {0x1000}, {writeFile(QStringLiteral("r.bin"), image)}, 2),
             0u);
    QCOMPARE(transfers, 2);
    QCOMPARE(model->flashImages.last().second, image);
}

void tst_Downloads::flashDownloadNoChip()
{
    model->answers.insert("version", QByteArray());
    QCOMPARE(host->downloadFlash(115200, {0}, {host->configDir() + "/TK716A_RAM_BIN.bin"}, 2),
             514u);
    QCOMPARE(model->count("version"), 40);
    QVERIFY(host->flashUid.isEmpty());
}

void tst_Downloads::flashDownloadRamcodeNotStarting()
{
    // An image the boot ROM takes but that does not start: judged by the
    // probes after it, not by the transfer.
    QFile file(host->configDir() + "/TK716A_RAM_BIN.bin");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not a ramcode image");
    file.close();
    QCOMPARE(host->downloadFlash(115200, {0}, {file.fileName()}, 2), 769u);
    QCOMPARE(model->count("download"), 1);
    QCOMPARE(host->doneSteps.load(), 1.0f);
    QCOMPARE(model->count("flash_uid"), 0);
}

void tst_Downloads::resultTexts()
{
    QCOMPARE(tranProtocol::downloadFlashText(514), QStringLiteral("无法获取芯片信息"));
    QCOMPARE(tranProtocol::downloadFlashText(769), QStringLiteral("发送RAM CODE失败"));
    QCOMPARE(tranProtocol::downloadFlashText(1027), QStringLiteral("设置芯片波特率出错"));
    QCOMPARE(tranProtocol::downloadFlashText(1031), QStringLiteral("擦除芯片出错"));
    QCOMPARE(tranProtocol::downloadFlashText(1033), QStringLiteral("烧录Flash过程出错"));
    QCOMPARE(tranProtocol::downloadFlashText(1025),
             QStringLiteral("无法获取已烧录文件数量或者已烧录文件数量不符合预期"));
    QVERIFY(tranProtocol::downloadFlashText(0).isEmpty());
}

QTEST_GUILESS_MAIN(tst_Downloads)
#include "tst_downloads.moc"
