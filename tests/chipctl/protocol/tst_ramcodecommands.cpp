// The ramcode command set over an in-process chip: the command lines byte
// for byte, the answer rules in a real exchange (thresholds, markers,
// time-outs), the special operations and readToFile.
#include "chipmodel.h"
#include "protocol/tranprotocol.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

const QString mac = QStringLiteral("00:11:22:33:44:55");
// The ramcode's dump of the one byte ab: the byte, then its CRC-16 (0481).
const QByteArray dumpOfAb = "\r\nab 04 81 ";

} // namespace

class tst_RamcodeCommands : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void commandLines();
    void confirmNeedsMoreThanTheMarker();
    void passFailAnswers();
    void taggedValues();
    void macLines();
    void gpioValues();
    void outputsSurviveATimeOut();
    void hexDumps();
    void flashUidInPieces();
    void fileCountAndLockState();
    void rfResultLines();
    void unusedCommands();
    void readToFileWritesWholeChunks();
    void readToFileStopsOnBadCrc();
    void readToFileRetriesEachChunk();
    void readToFileEdgeCases();

private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<tranProtocol> host;
    std::unique_ptr<ChipModel> model;
};

void tst_RamcodeCommands::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    host = std::make_unique<tranProtocol>(dir->filePath(QStringLiteral("Config")));
    model = std::make_unique<ChipModel>(*host);
    model->ramcodeRunning = true;
}

void tst_RamcodeCommands::cleanup()
{
    model.reset();
    host.reset();
    dir.reset();
}

void tst_RamcodeCommands::commandLines()
{
    struct Case
    {
        std::function<bool(tranProtocol &)> call;
        QByteArray line;
        QByteArray answer;
    };
    const QByteArray ok = "\r\npppp\r\n";
    QString text;
    int32_t value = 0;
    uint32_t count = 0;
    QStringList lines;
    QByteArray rx;
    for (int i = 0; i < 20; ++i)
        rx += "freq=1,rssi=-50\r\n";
    const QList<Case> cases = {
        {[](tranProtocol &p) { return p.flashErase(0x1234, 1); }, "ferase 0x1000 0x1000", ok},
        {[](tranProtocol &p) { return p.flashErase(0x1234, 4096); }, "ferase 0x1000 0x1000", ok},
        {[](tranProtocol &p) { return p.flashErase(0x1234, 4097); }, "ferase 0x1000 0x2000", ok},
        {[](tranProtocol &p) { return p.flashErase(0xffffffff, 0); }, "ferase 0xfffff000 0x0", ok},
        {[](tranProtocol &p) { return p.flashEraseAll(); }, "ferase_all", ok},
        {[](tranProtocol &p) { return p.setStartAddr(0x8000); }, "startaddr 0x8000", ok},
        {[&](tranProtocol &p) { return p.getFileCount(count); }, "filecount", "\r\nfc:0\r\n"},
        {[&](tranProtocol &p) { return p.efuseRead(200, text); }, "efuse_read 200",
         "efuse_read 200\r\nefuse data:0x0000abcd\r\n"},
        {[](tranProtocol &p) { return p.efuseWrite(3, 0xABCD); }, "efuse_write 3 0xabcd", ok},
        {[&](tranProtocol &p) { return p.flashRead(0x10, 1, text); }, "flash_read 0x10 0x1",
         dumpOfAb},
        {[&](tranProtocol &p) { return p.otpRead(16, 1, text); }, "flash_otp_read 16 1", dumpOfAb},
        {[](tranProtocol &p) { return p.otpWrite(5, 255); }, "flash_otp_write 5 -1", ok},
        {[](tranProtocol &p) { return p.otpWrite(5, 127); }, "flash_otp_write 5 127", ok},
        {[](tranProtocol &p) { return p.otpWrite(5, 128); }, "flash_otp_write 5 -128", ok},
        {[](tranProtocol &p) { return p.otpErase(256, 512); }, "flash_otp_erase 256 512", ok},
        {[](tranProtocol &p) { return p.otpLock(); }, "flash_otp_lock", ok},
        {[&](tranProtocol &p) { return p.otpLockState(count); }, "flash_otp_get_lock_state",
         "sta:1\r\npppp\r\n"},
        {[](tranProtocol &p) { return p.gpioWrite(QStringLiteral("PA3"), 1); }, "gpio_write PA3 1",
         ok},
        {[&](tranProtocol &p) { return p.gpioRead(QStringLiteral("PB1"), value); }, "gpio_read PB1",
         "gpio val:0x1\r\npppp\r\n"},
        {[](tranProtocol &p) { return p.gpioWriteAll(0xFF00); }, "gpio_write_all 0xff00", ok},
        {[&](tranProtocol &p) { return p.gpioReadAll(value); }, "gpio_read_all",
         "gpio val:0x3\r\npppp\r\n"},
        {[](tranProtocol &p) { return p.rfStop(); }, "rf_stop", ok},
        {[&](tranProtocol &p) { return p.getMLocalMac(text); }, "get_m_local_mac",
         "x\n" + mac.toLatin1() + "\r\npppp\r\n"},
        {[](tranProtocol &p) { return p.setMLocalMac(mac); }, "set_m_local_mac " + mac.toLatin1(),
         ok},
        {[](tranProtocol &p) { return p.setMTestDeviceMac(23, mac); },
         "set_m_test_device_mac 23 " + mac.toLatin1(), ok},
        {[](tranProtocol &p) { return p.startMRxTest(10, 5000, 6); }, "start_m_rx_test 10 5000 6",
         ok},
        {[](tranProtocol &p) { return p.setSRemoteMac(mac); }, "set_s_remote_mac " + mac.toLatin1(),
         ok},
        {[](tranProtocol &p) { return p.setSLocalMac(mac); }, "set_s_local_mac " + mac.toLatin1(),
         ok},
        {[](tranProtocol &p) { return p.startSTxTest(20, 3000, 11); }, "start_s_tx_test 20 3000 11",
         ok},
        {[](tranProtocol &p) { return p.setXtalCapInRam(-5); }, "set_xtal_cap_in_ram -5", ok},
        {[](tranProtocol &p) { return p.setXtalCapInOtp(127); }, "set_xtal_cap_in_flash_otp 127",
         ok},
        {[&](tranProtocol &p) { return p.getXtalCapInOtp(value); }, "get_xtal_cap_in_flash_otp",
         "xtal_cap:12\r\npppp\r\n"},
        {[&](tranProtocol &p) { return p.getMacInOtp(text); }, "get_mac_in_flash_otp",
         "x\n" + mac.toLatin1() + "\r\npppp\r\n"},
        {[](tranProtocol &p) { return p.setMacInOtp(mac); },
         "set_mac_in_flash_otp " + mac.toLatin1(), ok},
        {[&](tranProtocol &p) { return p.getTxpBInOtp(value); }, "get_txp_b_in_flash_otp",
         "b:-1\r\npppp\r\n"},
        {[](tranProtocol &p) { return p.setTxpBInRam(-8); }, "set_txp_b_in_ram -8", ok},
        {[](tranProtocol &p) { return p.setTxpBInOtp(8); }, "set_txp_b_in_flash_otp 8", ok},
        {[&](tranProtocol &p) { return p.getTxpGnInOtp(value); }, "get_txp_gn_in_flash_otp",
         "gn:2\r\npppp\r\n"},
        {[](tranProtocol &p) { return p.setTxpGnInRam(0); }, "set_txp_gn_in_ram 0", ok},
        {[](tranProtocol &p) { return p.setTxpGnInOtp(-2147483647 - 1); },
         "set_txp_gn_in_flash_otp -2147483648", ok},
        {[&](tranProtocol &p) { return p.startMTxTest(0, lines, 200, 6); }, "start_m_tx_test 200 6",
         ok},
        {[&](tranProtocol &p) { return p.startSRxTest(lines, 2000, 1); }, "start_s_rx_test 2000 1",
         rx},
        {[&](tranProtocol &p) { return p.flashDump(0x100, 0x20, text); }, "fdump 0x100 0x20", ok},
        {[&](tranProtocol &p) { return p.flashTest(text); }, "flash_test", "no error\r\n"},
        {[&](tranProtocol &p) { return p.flashInfo(text); }, "flash_info", "1024 Byte\r\n"},
        {[&](tranProtocol &p) { return p.getFlashUid(text); }, "flash_uid",
         QByteArray(10, '.') + "flash uid:0x00112233445566778899aabbccddeeff\r\npppp\r\n"},
    };
    for (const Case &c : cases) {
        model->chip.received.clear();
        model->answers.clear();
        const QByteArray word =
            c.line.left(c.line.indexOf(' ') < 0 ? c.line.size() : c.line.indexOf(' '));
        model->answers.insert(word, c.answer);
        QVERIFY2(c.call(*host), c.line.constData());
        QCOMPARE(model->chip.received, QList<QByteArray>({c.line + "\r\n"}));
    }

    // reboot waits for nothing, even from a silent chip.
    model->chip.received.clear();
    model->answers.insert("reboot", QByteArray());
    QVERIFY(host->reboot());
    QCOMPARE(model->chip.received, QList<QByteArray>({"reboot\r\n"}));
}

void tst_RamcodeCommands::confirmNeedsMoreThanTheMarker()
{
    host->waitCount = 20;
    model->answers.insert("rf_stop", "pppp");
    QVERIFY(!host->rfStop());
    model->answers.insert("rf_stop", "pppp\r");
    QVERIFY(host->rfStop());
    // The answer counts when it arrives in pieces, the marker split.
    model->chip.setChunkSize(2);
    model->answers.insert("rf_stop", "\r\npppp\r\n");
    QVERIFY(host->rfStop());
    // A refusal has no marker of its own: it is a time-out.
    model->answers.insert("rf_stop", "\r\nffff\r\n");
    QVERIFY(!host->rfStop());
}

void tst_RamcodeCommands::passFailAnswers()
{
    // waitCount 1000: about 10 s; a failure marker ends the wait long before.
    QElapsedTimer clock;
    model->answers.insert("ferase_all", "\r\nffff\r\n");
    clock.start();
    QVERIFY(!host->flashEraseAll());
    QVERIFY(clock.elapsed() < 5000);
    model->answers.insert("ferase_all", "\r\nffff\r\n\r\npppp\r\n");
    QVERIFY(host->flashEraseAll());
    host->waitCount = 20;
    model->answers.insert("startaddr", "pppp\r\n");
    QVERIFY(!host->setStartAddr(0));
}

void tst_RamcodeCommands::taggedValues()
{
    int32_t value = 55;
    model->answers.insert("get_xtal_cap_in_flash_otp", "xtal_cap:-3\r\npppp\r\n");
    QVERIFY(host->getXtalCapInOtp(value));
    QCOMPARE(value, -3);
    // "pppp" without the tag: false at once, not after the time-out.
    value = 55;
    model->answers.insert("get_xtal_cap_in_flash_otp", "\r\npppp\r\n");
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!host->getXtalCapInOtp(value));
    QVERIFY(clock.elapsed() < 5000);
    QCOMPARE(value, 55);
    model->answers.insert("get_txp_gn_in_flash_otp", "gn:x1\r\npppp\r\n");
    QVERIFY(!host->getTxpGnInOtp(value));
    model->answers.insert("get_txp_b_in_flash_otp", "b:+17\r\npppp\r\n");
    QVERIFY(host->getTxpBInOtp(value));
    QCOMPARE(value, 17);
}

void tst_RamcodeCommands::macLines()
{
    host->waitCount = 30;
    const QByteArray noMac = "get\nnot set\r\npppp\r\n";
    QString out = QStringLiteral("previous");
    model->answers.insert("get_mac_in_flash_otp", noMac);
    QVERIFY(host->getMacInOtp(out));
    QCOMPARE(out, QStringLiteral("previous"));
    model->answers.insert("get_m_local_mac", noMac);
    QVERIFY(!host->getMLocalMac(out));
    QCOMPARE(out, QStringLiteral("previous"));
    model->answers.insert("get_m_local_mac", "get\n" + mac.toLatin1() + "\r\npppp\r\n");
    QVERIFY(host->getMLocalMac(out));
    QCOMPARE(out, mac + "\r\n");
}

void tst_RamcodeCommands::gpioValues()
{
    int32_t value = -1;
    model->answers.insert("gpio_read", "gpio val:0x7\r\npppp\r\n");
    QVERIFY(host->gpioRead(QStringLiteral("PA0"), value));
    QCOMPARE(value, 7);
    // "pppp" without a value is a failure, at once, and the value stays.
    value = -1;
    QElapsedTimer clock;
    clock.start();
    model->answers.insert("gpio_read_all", "\r\npppp\r\n");
    QVERIFY(!host->gpioReadAll(value));
    QVERIFY(clock.elapsed() < 5000);
    QCOMPARE(value, -1);
    // The marker as the last received bytes: nothing is read past them.
    host->waitCount = 20;
    model->answers.insert("gpio_read", "pppp\r\ngpio val:0x");
    QVERIFY(!host->gpioRead(QStringLiteral("PA0"), value));
    QCOMPARE(value, -1);
}

void tst_RamcodeCommands::outputsSurviveATimeOut()
{
    host->waitCount = 10;
    model->answers.insert("flash_read", QByteArray());
    QString text = QStringLiteral("keep");
    int32_t value = 9;
    uint32_t count = 9;
    QStringList lines = {QStringLiteral("old")};
    QVERIFY(!host->efuseRead(1, text));
    QVERIFY(!host->flashRead(0, 4, text));
    QVERIFY(!host->otpRead(0, 4, text));
    QVERIFY(!host->getMacInOtp(text));
    QVERIFY(!host->flashInfo(text));
    QCOMPARE(text, QStringLiteral("keep"));
    QVERIFY(!host->getXtalCapInOtp(value));
    QVERIFY(!host->gpioRead(QStringLiteral("PA1"), value));
    QCOMPARE(value, 9);
    QVERIFY(!host->otpLockState(count));
    QCOMPARE(count, 9u);
    // The RF tests empty their list before they start.
    QVERIFY(!host->startSRxTest(lines, 50, 1));
    QVERIFY(lines.isEmpty());
}

void tst_RamcodeCommands::hexDumps()
{
    QString dump;
    // One byte: the text after the first "\n" is exactly 9 characters.
    model->answers.insert("flash_read", "flash_read 0x0 0x1" + dumpOfAb);
    QVERIFY(host->flashRead(0, 1, dump));
    QCOMPARE(dump, QStringLiteral("ab 04 81"));
    // The same answer trickling in, a byte at a time.
    model->chip.setChunkSize(1);
    dump.clear();
    QVERIFY(host->flashRead(0, 1, dump));
    QCOMPARE(dump, QStringLiteral("ab 04 81"));
    model->chip.setChunkSize(0);
    // One character more or less is no dump; 1 ms polls with waitCount 50.
    host->waitCount = 50;
    dump = QStringLiteral("keep");
    model->answers.insert("flash_otp_read", "\r\nab 04 81");
    QVERIFY(!host->otpRead(0, 1, dump));
    model->answers.insert("flash_otp_read", "\r\nab 04 81 \r\n");
    QVERIFY(!host->otpRead(0, 1, dump));
    // A byte whose CRC does not match: no answer, however long it is waited
    // for (the whole wait).
    QElapsedTimer clock;
    clock.start();
    model->answers.insert("flash_otp_read", "\r\nab 12 34 ");
    QVERIFY(!host->otpRead(0, 1, dump));
    QVERIFY(clock.elapsed() >= 45);
    // A dump shorter than announced: incomplete, never read past its end.
    model->answers.insert("flash_otp_read", "\r\nab cd ef 01 ");
    QVERIFY(!host->otpRead(0, 4, dump));
    QCOMPARE(dump, QStringLiteral("keep"));
}

void tst_RamcodeCommands::flashUidInPieces()
{
    const QByteArray uid = "0x00112233445566778899aabbccddeeff";
    model->answers.insert("flash_uid", "flash_uid\r\nflash uid:" + uid + "\r\npppp\r\n");
    model->chip.setChunkSize(7);
    QString out;
    QVERIFY(host->getFlashUid(out));
    QCOMPARE(out, QString::fromLatin1(uid));
}

void tst_RamcodeCommands::fileCountAndLockState()
{
    uint32_t count = 99;
    model->answers.insert("filecount", "\r\nfc:12\r\n");
    QVERIFY(host->getFileCount(count));
    QCOMPARE(count, 12u);
    uint32_t state = 9;
    model->answers.insert("flash_otp_get_lock_state", "sta:0\r\npppp\r\n");
    QVERIFY(host->otpLockState(state));
    QCOMPARE(state, 0u);
}

void tst_RamcodeCommands::rfResultLines()
{
    QByteArray nineteen;
    for (int i = 0; i < 19; ++i)
        nineteen += "freq=" + QByteArray::number(i) + ",rssi=-40\r\n";
    QStringList lines;
    // 19 "freq=" lines: the host waits out the whole duration, then fails.
    model->answers.insert("start_s_rx_test", nineteen + "rssi=-1\r\nrssi=-2\r\n");
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!host->startSRxTest(lines, 300, 6));
    QVERIFY(clock.elapsed() >= 290);
    QVERIFY(lines.isEmpty());

    model->answers.insert("start_s_rx_test", nineteen + "freq=19,rssi=-39\r\n");
    model->chip.setChunkSize(50);
    QVERIFY(host->startSRxTest(lines, 5000, 6));
    QCOMPARE(lines.size(), 20);
    QCOMPARE(lines.last(), QStringLiteral("freq=19,rssi=-39\r"));

    QByteArray rssi;
    for (int i = 0; i < 40; ++i)
        rssi += "rssi:-" + QByteArray::number(20 + i) + "\r\n";
    model->answers.insert("start_m_tx_test", rssi);
    QVERIFY(host->startMTxTest(2, lines, 5000, 1));
    QCOMPARE(lines.size(), 40);
    QVERIFY(!host->startMTxTest(3, lines, 100, 1));
    QVERIFY(lines.isEmpty());
    // A duration under one poll never looks at the answer.
    QVERIFY(!host->startMTxTest(0, lines, 5, 1));
}

void tst_RamcodeCommands::unusedCommands()
{
    QString text;
    model->answers.insert("fdump", "00 11 22\r\npppp\r\n");
    QVERIFY(host->flashDump(0, 3, text));
    QCOMPARE(text, QStringLiteral("00 11 22\r\npppp\r\n"));
    model->answers.insert("fdump", "\r\nffff\r\n");
    text = QStringLiteral("keep");
    QVERIFY(!host->flashDump(0, 3, text));
    QCOMPARE(text, QStringLiteral("keep"));

    model->answers.insert("flash_test", "error pos 0x100\r\n");
    QVERIFY(!host->flashTest(text));
    QCOMPARE(text, QStringLiteral("error pos 0x100\r\n"));
    model->answers.insert("flash_test", "no error\r\n");
    QVERIFY(host->flashTest(text));
    QCOMPARE(text, QStringLiteral("no error\r\n"));

    model->answers.insert("flash_info", "size 2048 Byte\r\n");
    QVERIFY(host->flashInfo(text));
    QCOMPARE(text, QStringLiteral("size 2048 Byte\r\n"));
    model->answers.insert("flash_info", "\r\nffff\r\n");
    QVERIFY(!host->flashInfo(text));
}

void tst_RamcodeCommands::readToFileWritesWholeChunks()
{
    model->flash = QByteArray(4096, '\0');
    QRandomGenerator gen(42);
    for (char &c : model->flash)
        c = char(gen.bounded(256));
    const QString path = dir->filePath(QStringLiteral("read.bin"));
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(5000, 'z'));
    }
    QVERIFY(host->readToFile(0x200, 1000, path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), model->flash.mid(0x200, 1024));
    QCOMPARE(model->hostBauds, QList<uint32_t>({1000000, 115200}));
    QCOMPARE(host->waitCount, 100u);
    QCOMPARE(model->countLines("flash_read"), 2);
    QVERIFY(model->chip.received.contains("flash_read 0x200 0x200\r\n"));
    QVERIFY(model->chip.received.contains("flash_read 0x400 0x200\r\n"));
}

void tst_RamcodeCommands::readToFileStopsOnBadCrc()
{
    model->flash = QByteArray(4096, '\x5a');
    model->badCrc = {0x400};
    const QString path = dir->filePath(QStringLiteral("crc.bin"));
    QVERIFY(!host->readToFile(0x200, 2048, path));
    // No file: the read failed; a CRC mismatch is not retried.
    QVERIFY(!QFile::exists(path));
    QCOMPARE(QDir(dir->path()).entryList(QDir::Files | QDir::Hidden).filter("crc"), QStringList());
    QCOMPARE(model->countLines("flash_read"), 2);
    QCOMPARE(model->hostBauds.last(), 115200u);
}

void tst_RamcodeCommands::readToFileRetriesEachChunk()
{
    model->flash = QByteArray(2048, '\x11');
    // Eleven silent reads of a chunk are survived...
    model->silentReads = {{0x0, 11}, {0x200, 11}};
    const QString path = dir->filePath(QStringLiteral("retry.bin"));
    QVERIFY(host->readToFile(0, 1024, path));
    QCOMPARE(QFileInfo(path).size(), 1024);
    QCOMPARE(model->countLines("flash_read 0x0 "), 12);

    // ...twelve end the read, and the file keeps the earlier read whole.
    model->chip.received.clear();
    model->hostBauds.clear();
    model->flash = QByteArray(2048, '\x22');
    model->silentReads = {{0x200, 12}};
    QVERIFY(!host->readToFile(0, 1024, path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray(1024, '\x11'));
    QCOMPARE(model->countLines("flash_read 0x200 "), 12);
    QCOMPARE(model->hostBauds, QList<uint32_t>({1000000, 115200}));
}

void tst_RamcodeCommands::readToFileEdgeCases()
{
    // Length 0: nothing read, the file emptied, both switches made.
    const QString path = dir->filePath(QStringLiteral("zero.bin"));
    QVERIFY(host->readToFile(0, 0, path));
    QCOMPARE(QFileInfo(path).size(), 0);
    QCOMPARE(model->hostBauds, QList<uint32_t>({1000000, 115200}));

    // A file that cannot be written: nothing is sent at all.
    model->chip.received.clear();
    QVERIFY(!host->readToFile(0, 512, dir->path()));
    QVERIFY(model->chip.received.isEmpty());

    // A chip that does not follow the switch: no read, waitCount kept.
    host->waitCount = 20;
    model->refuseBaud = true;
    model->hostBauds.clear();
    QVERIFY(!host->readToFile(0, 512, path));
    QCOMPARE(model->hostBauds, QList<uint32_t>({1000000}));
    QCOMPARE(model->countLines("flash_read"), 0);
    QCOMPARE(host->waitCount, 20u);
}

QTEST_GUILESS_MAIN(tst_RamcodeCommands)
#include "tst_ramcodecommands.moc"
