// Chipctl's command words against a pseudo-terminal that plays the chip:
// which words are judged before the chip is asked anything, which after the
// ramcode probe, and the exact command lines the arguments turn into.
#include "chipctlrun.h"

#include <QtTest>

#include <sys/stat.h>

namespace {

const QByteArray parseFail = "Fail. Error parsing parameters.";
const QByteArray probe = "version\r\n";

// A chip whose ramcode runs and answers each command as the ramcode does.
QByteArray ramcodeAnswer(const QByteArray &line)
{
    const QByteArray command =
        line.left(line.indexOf(' ') < 0 ? line.size() - 2 : line.indexOf(' '));
    if (command == "version")
        return "\r\nTK716A RAMCODE\r\n";
    if (command == "ferase")
        return "\r\npppp\r\n";
    if (command == "gpio_read")
        return "\r\ngpio val:0x1\r\npppp\r\n";
    if (command == "gpio_read_all")
        return "\r\ngpio val:0x0106\r\npppp\r\n";
    if (command == "get_mac_in_flash_otp")
        return "\r\n0a:1b:2c:3d:4e:5f\r\npppp\r\n";
    if (command == "get_xtal_cap_in_flash_otp")
        return "\r\nxtal_cap:-7\r\npppp\r\n";
    if (command == "flash_read")
        return "\r\n01 02 03 04 05 06 07 08 09 0a cd 4b ";
    if (command == "flash_otp_read")
        return "\r\n00 00 ";
    if (command == "flash_otp_get_lock_state")
        return "\r\nsta:1\r\npppp\r\n";
    if (command == "start_s_rx_test" || command == "start_m_tx_test")
        return QByteArray(); // nothing transmits
    return "\r\npppp\r\n";
}

// A chip in its normal firmware: "OK" to every AT command, the four
// calibration values to "AT+ATE_OK?".
QByteArray firmwareAnswer(const QByteArray &line)
{
    if (line == "AT+ATE_OK?\r\n")
        return "\r\n+XTAL_COMP:12\r\n+TXPOWER_COMP:5\r\n+TXPOWER_B_COMP:-3\r\n"
               "+TXPOWER_GN_COMP:7\r\nOK\r\n";
    if (line.startsWith("AT"))
        return "\r\nOK\r\n";
    return QByteArray();
}

// The words of a row, with control characters shown.
QString rowName(const QStringList &words)
{
    QString name = words.join(QLatin1Char(' '));
    name.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    name.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    name.replace(QLatin1Char('\t'), QLatin1String("\\t"));
    return name;
}

} // namespace

class TestCmdWords : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void judgedBeforeTheChipIsAsked_data();
    void judgedBeforeTheChipIsAsked();
    void judgedAfterTheRamcodeProbe_data();
    void judgedAfterTheRamcodeProbe();
    void argumentsOnTheWire_data();
    void argumentsOnTheWire();
    void gpioWriteStopsAtTheFirstRefusedPin();
    void readbinIntoMissingDirectory();
    void readbinIntoAFifo();
    void failedReadbinKeepsTheFile();
    void downloadOfAFifo();
    void gpioReadAllWithoutLevels_data();
    void gpioReadAllWithoutLevels();
    void atFirmware_data();
    void atFirmware();
    void calibrationWithMissingKeyIsAFailedRead();
    void silentFirmwareIsNotInAtMode();

private:
    ChipctlResult runRamcode(const QStringList &words, PtyChip &chip);
};

void TestCmdWords::initTestCase()
{
    PtyChip chip;
    QVERIFY(chip.isValid());
}

ChipctlResult TestCmdWords::runRamcode(const QStringList &words, PtyChip &chip)
{
    ChipctlCopy tool;
    if (!tool.isValid())
        return {};
    chip.setResponder(ramcodeAnswer);
    return tool.run(QStringList{chip.path()} + words, &chip);
}

// Bad sub-commands, counts and numbers of forms that parse first: the run
// fails without a byte on the line, though the ramcode would answer.
void TestCmdWords::judgedBeforeTheChipIsAsked_data()
{
    QTest::addColumn<QStringList>("words");
    const QList<QStringList> cases = {
        {"download"},
        {"download", "bogus", "115200", "0", "img"},
        {"download", "flash", "115200", "0"},
        {"download", "flash", "0x1C200", "0", "img"},
        {"download", "flash", "115200", "zz", "img"},
        {"download", "flash", "115200", "0", "img", "extra"},
        {"download", "ram", "zz", "img"},
        {"download", "ram", "0x20000000"},
        {"download", "flash_extend", "115200", "0", "0", "0"},
        {"download", "flash_extend", "1c200", "0", "0", "0", "img"},
        {"download", "flash_extend", "115200", "zz", "0", "0", "img"},
        {"download", "flash_extend", "115200", "0", "-1", "0", "img"},
        {"flash"},
        {"flash", "bogus", "0", "10"},
        {"flash", "read", "0"},
        {"flash", "read", "0", "10", "extra"},
        {"flash", "read", "zz", "10"},
        {"flash", "read", "0", "-1"},
        {"flash", "read_with_download", "0", "zz"},
        {"flash", "readbin", "0", "10"},
        {"flash", "readbin", "0", "zz", "out.bin"},
        {"flash", "erase", "0x1000"},
        {"flash", "erase", "0x1000", "g"},
        {"flash", "erase_all", "now"},
        {"efuse", "write", "1"},
        {"efuse", "write", "0x1", "5"},
        {"efuse", "write", "1", "zz"},
        {"efuse", "read", "x"},
        {"efuse", "read"},
        {"efuse", "bogus", "1"},
        {"gpio"},
        {"gpio", "write"},
        {"gpio", "write", "A1", "zz"},
        {"gpio", "read"},
        {"gpio", "read", "A1", "A2"},
        {"gpio", "bogus", "A1"},
        {"mac"},
        {"mac", "write"},
        {"mac", "read", "extra"},
        {"test_gm", "mac_dut", "1"},
        {"test_gm", "mac_gm"},
        {"test_gm", "bogus", "0a:1b:2c:3d:4e:5f"},
        {"test_dut", "mac_dut"},
        {"test_dut", "mac_gm", "a", "b"},
        {"xtal_cap"},
        {"xtal_cap", "write", "ram"},
        {"xtal_cap", "bogus"},
        {"tx_power_b", "write", "ram", "1", "2"},
        {"tx_power_gn", "write"},
        {"tx_power_gn", "READ"},
        {"rf"},
        {"rf", "bogus"},
        {"rf", "xtal_cap"},
        {"rf", "xtal_cap", "abc"},
        {"rf", "tx_power_b", "1.5"},
        {"rf", "read", "x"},
        {"rf", "bogus", "5"},
        {"rf", "xtal_cap", "1", "2"},
        // Words that would change the command line the chip receives: a
        // MAC that is not six groups of two hex digits, a pin word with a
        // line end (which starts a command of its own), a space or nothing.
        {"mac", "write", "0a:1b:2c:3d:4e:5f\r\nflash_otp_lock"},
        {"mac", "write", "0a:1b:2c:3d:4e"},
        {"mac", "write", "0a-1b-2c-3d-4e-5f"},
        {"mac", "write", "0a:1b:2c:3d:4e:5g"},
        {"mac", "write", "a:1b:2c:3d:4e:5f0"},
        {"test_gm", "mac_gm", "0a:1b:2c:3d:4e:5f\n"},
        {"test_gm", "mac_dut", "1", "0a:1b:2c:3d:4e:5f\r\nflash_otp_lock"},
        {"test_dut", "mac_gm", ""},
        {"test_dut", "mac_dut", "0a:1b:2c:3d:4e:5f:60"},
        {"gpio", "write", "A1\r\nflash_otp_lock", "1"},
        {"gpio", "write", "A1", "B2\n", "1"},
        {"gpio", "write", "A\t1", "1"},
        {"gpio", "write", "A 1", "1"},
        {"gpio", "write", "", "1"},
        {"gpio", "read", "A1\r\nflash_otp_lock"},
    };
    for (const QStringList &words : cases)
        QTest::newRow(qPrintable(rowName(words))) << words;
}

void TestCmdWords::judgedBeforeTheChipIsAsked()
{
    QFETCH(QStringList, words);
    PtyChip chip;
    const ChipctlResult r = runRamcode(words, chip);
    QCOMPARE(r.out, parseFail);
    QCOMPARE(r.sentToChip, QByteArray());
    QCOMPARE(r.err, QByteArray());
    QCOMPARE(r.status, 0);
}

// Forms that confirm the ramcode before they judge their words: one probe,
// then the failure, and nothing more on the line.
void TestCmdWords::judgedAfterTheRamcodeProbe_data()
{
    QTest::addColumn<QStringList>("words");
    const QList<QStringList> cases = {
        {"flash", "otp"},
        {"flash", "otp", "bogus"},
        {"flash", "otp", "write", "zz", "1"},
        {"flash", "otp", "read", "0", "-1"},
        {"gpio_write_all"},
        {"gpio_write_all", "zz"},
        {"tx_gm"},
        {"tx_gm", "x", "100", "1"},
        {"tx_gm", "1", "100"},
        {"rx_gm", "1", "2"},
        {"tx_dut", "1", "2"},
        {"rx_dut", "100"},
        {"xtal_cap", "write", "ram", "x"},
        {"xtal_cap", "write", "eeprom", "5"},
        {"tx_power_b", "write", "flash", "5"},
        {"tx_power_gn", "write", "ram", "0x5"},
        {"test_gm", "mac_dut", "x", "0a:1b:2c:3d:4e:5f"},
        // RF durations: negative, or longer than an hour.
        {"rx_dut", "-5", "7"},
        {"rx_dut", "3600001", "7"},
        {"tx_gm", "1", "-5", "7"},
        {"tx_gm", "1", "4294967295", "7"},
        {"rx_gm", "10", "-1", "7"},
        {"tx_dut", "10", "-5", "7"},
    };
    for (const QStringList &words : cases)
        QTest::newRow(qPrintable(words.join(' '))) << words;
}

void TestCmdWords::judgedAfterTheRamcodeProbe()
{
    QFETCH(QStringList, words);
    PtyChip chip;
    const ChipctlResult r = runRamcode(words, chip);
    QCOMPARE(r.out, parseFail);
    QCOMPARE(r.sentToChip, probe);
}

// Words turned into the ramcode's command lines, and what is printed.
void TestCmdWords::argumentsOnTheWire_data()
{
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QByteArray>("sent"); // after the probe
    QTest::addColumn<QByteArray>("out");
    QTest::newRow("otp write keeps the low byte, signed")
        << QStringList{"flash", "otp", "write", "0x10", "0x1FF"}
        << QByteArray("flash_otp_write 16 -1\r\n") << QByteArray("Ok.");
    QTest::newRow("otp read without numbers reads 0 bytes at 0")
        << QStringList{"flash", "otp", "read", "4"} << QByteArray("flash_otp_read 0 0\r\n")
        << QByteArray("flash otp data:\nOk.");
    QTest::newRow("otp get_lock") << QStringList{"flash", "otp", "get_lock"}
                                  << QByteArray("flash_otp_get_lock_state\r\n")
                                  << QByteArray("sta:1\nOk.");
    QTest::newRow("flash read without the CRC")
        << QStringList{"flash", "read", "0", "a"} << QByteArray("flash_read 0x0 0xa\r\n")
        << QByteArray("flash data:01 02 03 04 05 06 07 08 09 0a\nOk.");
    QTest::newRow("flash erase in whole sectors")
        << QStringList{"flash", "erase", "0x1234", "1"} << QByteArray("ferase 0x1000 0x1000\r\n")
        << QByteArray("Ok.");
    QTest::newRow("efuse index cut to 8 bits")
        << QStringList{"efuse", "write", "300", "0xAB"} << QByteArray("efuse_write 44 0xab\r\n")
        << QByteArray("Ok.");
    QTest::newRow("gpio write to each pin in order")
        << QStringList{"gpio", "write", "A1", "B2", "0x10"}
        << QByteArray("gpio_write A1 16\r\ngpio_write B2 16\r\n") << QByteArray("Ok.");
    QTest::newRow("gpio write without a pin")
        << QStringList{"gpio", "write", "1"} << QByteArray() << QByteArray("Ok.");
    QTest::newRow("gpio read") << QStringList{"gpio", "read", "A1"}
                               << QByteArray("gpio_read A1\r\n") << QByteArray("gpio value:1\nOk.");
    QTest::newRow("gpio_read_all shows every level")
        << QStringList{"gpio_read_all"} << QByteArray("gpio_read_all\r\n")
        << QByteArray("gpio levels:0x106\nOk.");
    QTest::newRow("mac read keeps the chip's line end")
        << QStringList{"mac", "read"} << QByteArray("get_mac_in_flash_otp\r\n")
        << QByteArray("mac:0a:1b:2c:3d:4e:5f\r\nOk.");
    QTest::newRow("test_gm slot cut to 8 bits")
        << QStringList{"test_gm", "mac_dut", "257", "0a:1b:2c:3d:4e:5f"}
        << QByteArray("set_m_test_device_mac 1 0a:1b:2c:3d:4e:5f\r\n") << QByteArray("Ok.");
    QTest::newRow("rx_gm signed words go out unsigned")
        << QStringList{"rx_gm", "-1", "100", "6x"}
        << QByteArray("start_m_rx_test 4294967295 100 0\r\n") << QByteArray("Ok.");
    QTest::newRow("tx_dut for an hour")
        << QStringList{"tx_dut", "10", "3600000", "6"}
        << QByteArray("start_s_tx_test 10 3600000 6\r\n") << QByteArray("Ok.");
    QTest::newRow("tx_dut non-numeric word is 0")
        << QStringList{"tx_dut", "10", "abc", "6", "extra"}
        << QByteArray("start_s_tx_test 10 0 6\r\n") << QByteArray("Ok.");
    QTest::newRow("xtal_cap read ignores word 3")
        << QStringList{"xtal_cap", "read", "ram"} << QByteArray("get_xtal_cap_in_flash_otp\r\n")
        << QByteArray("xtal_cap:-7\nOk.");
    QTest::newRow("tx_power_gn write to OTP")
        << QStringList{"tx_power_gn", "write", "flash_otp", "-12"}
        << QByteArray("set_txp_gn_in_flash_otp -12\r\n") << QByteArray("Ok.");
    QTest::newRow("gpio_write_all") << QStringList{"gpio_write_all", "0xff"}
                                    << QByteArray("gpio_write_all 0xff\r\n") << QByteArray("Ok.");
    QTest::newRow("reset awaits nothing")
        << QStringList{"reset"} << QByteArray("reboot\r\n") << QByteArray("Ok.");
}

void TestCmdWords::argumentsOnTheWire()
{
    QFETCH(QStringList, words);
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, out);
    PtyChip chip;
    const ChipctlResult r = runRamcode(words, chip);
    QCOMPARE(r.out, out);
    QCOMPARE(r.sentToChip, probe + sent);
}

// The first pin is refused (no confirmation: the wait runs out); the second
// is never written.
void TestCmdWords::gpioWriteStopsAtTheFirstRefusedPin()
{
    PtyChip chip;
    ChipctlCopy tool;
    QVERIFY(tool.isValid());
    chip.setResponder([](const QByteArray &line) {
        return line.startsWith("gpio_write A1") ? QByteArray() : ramcodeAnswer(line);
    });
    const ChipctlResult r = tool.run({chip.path(), "gpio", "write", "A1", "B2", "1"}, &chip);
    QCOMPARE(r.out, QByteArray("Fail. Command execution error."));
    QCOMPARE(r.sentToChip, probe + "gpio_write A1 1\r\n");
}

void TestCmdWords::readbinIntoMissingDirectory()
{
    PtyChip chip;
    ChipctlCopy tool;
    QVERIFY(tool.isValid());
    const QString path = tool.dir() + "/no-such-dir/out.bin";
    chip.setResponder(ramcodeAnswer);
    const ChipctlResult r = tool.run({chip.path(), "flash", "readbin", "0", "400", path}, &chip);
    QCOMPARE(r.out, parseFail);
    QCOMPARE(r.sentToChip, QByteArray());
    QVERIFY(!QFileInfo::exists(path));
}

// A FIFO never takes the dump as a file would, and opening it for writing
// waits for a reader that never comes: refused before the chip is asked.
void TestCmdWords::readbinIntoAFifo()
{
    PtyChip chip;
    ChipctlCopy tool;
    QVERIFY(tool.isValid());
    const QString path = tool.dir() + "/dump.fifo";
    QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    chip.setResponder(ramcodeAnswer);
    const ChipctlResult r =
        tool.run({chip.path(), "flash", "readbin", "0", "400", path}, &chip, 15000);
    QCOMPARE(r.out, parseFail);
    QCOMPARE(r.sentToChip, QByteArray());
}

// The chip stops answering in the middle of a read into a file that holds
// an earlier dump: the earlier dump stays whole, and nothing is left beside.
void TestCmdWords::failedReadbinKeepsTheFile()
{
    PtyChip chip;
    ChipctlCopy tool;
    QVERIFY(tool.isValid());
    QDir().mkpath(tool.dir() + "/dumps");
    const QString path = tool.dir() + "/dumps/flash.bin";
    QByteArray earlier(8192, '\0');
    for (int i = 0; i < earlier.size(); ++i)
        earlier[i] = char(i * 7);
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(earlier), qint64(earlier.size()));
    }
    chip.setResponder([](const QByteArray &line) {
        return line.startsWith("flash_read ") ? QByteArray() : ramcodeAnswer(line);
    });
    const ChipctlResult r = tool.run({chip.path(), "flash", "readbin", "0", "2000", path}, &chip);
    QCOMPARE(r.out, QByteArray("Fail. Command execution error."));
    QVERIFY(r.sentToChip.contains("flash_read 0x0 0x200\r\n"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), earlier);
    QCOMPARE(QDir(tool.dir() + "/dumps").entryList(QDir::Files | QDir::Hidden),
             QStringList{"flash.bin"});
}

// An image that is a FIFO would block the download forever before a block
// goes out: it is refused as an image that cannot be loaded.
void TestCmdWords::downloadOfAFifo()
{
    PtyChip chip;
    ChipctlCopy tool;
    QVERIFY(tool.isValid());
    const QString path = tool.dir() + "/image.fifo";
    QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    chip.setResponder([](const QByteArray &line) {
        return line == probe ? QByteArray("\r\nTK716A boot ROM Mar 14 2021/00:23:32\r\n")
                             : QByteArray();
    });
    const ChipctlResult r =
        tool.run({chip.path(), "download", "ram", "0x20000000", path}, &chip, 15000);
    QCOMPARE(r.out, QByteArray("Fail. Error downloading file."));
    QCOMPARE(r.sentToChip, probe);
}

// A confirmation without a readable mask fails at once, without waiting
// for the ramcode's time-out.
void TestCmdWords::gpioReadAllWithoutLevels_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("no levels") << QByteArray("\r\npppp\r\n");
    QTest::newRow("no digit") << QByteArray("\r\ngpio val:0x\r\npppp\r\n");
    QTest::newRow("more than 32 bits") << QByteArray("\r\ngpio val:0x123456789\r\npppp\r\n");
}

void TestCmdWords::gpioReadAllWithoutLevels()
{
    QFETCH(QByteArray, answer);
    PtyChip chip;
    ChipctlCopy tool;
    QVERIFY(tool.isValid());
    chip.setResponder([answer](const QByteArray &line) {
        return line == "gpio_read_all\r\n" ? answer : ramcodeAnswer(line);
    });
    // Ended well before the 10 s the ramcode is given to answer, or the
    // run is cut short and prints nothing.
    const ChipctlResult r = tool.run({chip.path(), "gpio_read_all"}, &chip, 8000);
    QCOMPARE(r.out, QByteArray("Fail. Command execution error."));
    QCOMPARE(r.sentToChip, probe + "gpio_read_all\r\n");
}

void TestCmdWords::atFirmware_data()
{
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("out");
    const QByteArray four = "XTAL CAP:12\nTX POWER BGN:5\nTX POWER B:-3\nTX POWER GN:7\nOk.";
    QTest::newRow("read, three words")
        << QStringList{"rf", "read"} << QByteArray("AT\r\nAT+ATE_OK?\r\n") << four;
    QTest::newRow("read, four words")
        << QStringList{"rf", "read", "-9"} << QByteArray("AT\r\nAT+ATE_OK?\r\n") << four;
    QTest::newRow("read, five words")
        << QStringList{"rf", "read", "x", "y"} << QByteArray("AT\r\nAT+ATE_OK?\r\n") << four;
    QTest::newRow("xtal_cap") << QStringList{"rf", "xtal_cap", "-3"}
                              << QByteArray("AT\r\nAT+PVTCMD=XTAL_CAP,-3\r\n") << QByteArray("Ok.");
    QTest::newRow("tx_power_b") << QStringList{"rf", "tx_power_b", "4"}
                                << QByteArray("AT\r\nAT+PVTCMD=TX_POWER_B,4\r\n")
                                << QByteArray("Ok.");
    QTest::newRow("tx_power_gn") << QStringList{"rf", "tx_power_gn", "+8"}
                                 << QByteArray("AT\r\nAT+PVTCMD=TX_POWER_GN,8\r\n")
                                 << QByteArray("Ok.");
    QTest::newRow("tx_power_bgn") << QStringList{"rf", "tx_power_bgn", "-1"}
                                  << QByteArray("AT\r\nAT+PVTCMD=TX_POWER,-1\r\n")
                                  << QByteArray("Ok.");
}

void TestCmdWords::atFirmware()
{
    QFETCH(QStringList, words);
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, out);
    PtyChip chip;
    ChipctlCopy tool;
    QVERIFY(tool.isValid());
    chip.setResponder(firmwareAnswer);
    const ChipctlResult r = tool.run(QStringList{chip.path()} + words, &chip);
    QCOMPARE(r.out, out);
    QCOMPARE(r.sentToChip, sent);
}

// "OK" came back, but without the TX power B key: a failed read, not a
// value taken from elsewhere in the answer.
void TestCmdWords::calibrationWithMissingKeyIsAFailedRead()
{
    PtyChip chip;
    ChipctlCopy tool;
    QVERIFY(tool.isValid());
    chip.setResponder([](const QByteArray &line) -> QByteArray {
        if (line == "AT+ATE_OK?\r\n")
            return "+XTAL_COMP:12\r\n+TXPOWER_COMP:5\r\n+TXPOWER_GN_COMP:7\r\nOK\r\n";
        return firmwareAnswer(line);
    });
    const ChipctlResult r = tool.run({chip.path(), "rf", "read"}, &chip);
    QCOMPARE(r.out, QByteArray("Fail. Command execution error."));
}

void TestCmdWords::silentFirmwareIsNotInAtMode()
{
    PtyChip chip;
    ChipctlCopy tool;
    QVERIFY(tool.isValid());
    const ChipctlResult r = tool.run({chip.path(), "rf", "tx_power_gn", "3"}, &chip);
    QCOMPARE(r.out, QByteArray("Fail. Could not go in AT mode."));
    QCOMPARE(r.sentToChip, QByteArray("AT\r\n"));
}

QTEST_GUILESS_MAIN(TestCmdWords)
#include "tst_cmdwords.moc"
