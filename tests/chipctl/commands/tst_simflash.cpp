// "flash" against the simulated station: reads, the read that loads the
// ramcode first, the read into a file, erases and the OTP forms.
#include "simcommands.h"

#include <QFile>
#include <QtTest>

namespace {

// dut03 runs its ramcode on a noisy line: one flipped bit in 2000 bytes.
const QByteArray scenario = R"({
    "duts": 3,
    "chips": { "dut03": { "start": "ramcode", "faults": { "lineNoise": 0.0005 } } }
})";

QByteArray image(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 31 + i / 256) & 0xff);
    return bytes;
}
const QByteArray app = image(6000);

QByteArray hexBytes(const QByteArray &bytes)
{
    return bytes.toHex(' ');
}

QByteArray fileContents(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(no file)");
}

} // namespace

class TestSimFlash : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void steps_data();
    void steps();
    void readbinWroteTheFlash();
    void otpWriteOf0xFFReachesTheChipAsMinusOne();
    void readWithDownloadWithoutTheRamcodeImage();
    void noisyReadsAreRightOrFail();

private:
    SimCommands station;
};

void TestSimFlash::initTestCase()
{
    QVERIFY2(station.start(scenario), qPrintable(station.error()));
    QFile f(station.work() + "/app.bin");
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(app), qint64(app.size()));
    f.close();
    // dut01 waits in its boot ROM; the first read loads the ramcode.
    QCOMPARE(station.run("dut01", {"entry_boot_mode"}).out, QByteArray("Ok."));
}

void TestSimFlash::steps_data()
{
    QTest::addColumn<QString>("chip");
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<Expect>("expect");
    auto row = [](const char *name, const char *chip, const QStringList &words, Expect e) {
        QTest::newRow(name) << QString(chip) << words << e;
    };
    const QByteArray erased16 = hexBytes(QByteArray(16, char(0xff)));
    const QByteArray parseFail = "Fail. Error parsing parameters.";
    const QByteArray refused = "Fail. Command execution error.";

    row("read_with_download from the boot ROM", "dut01", {"flash", "read_with_download", "0", "10"},
        exact("flash data:" + erased16 + "\nOk."));
    row("read_with_download with the ramcode running", "dut01",
        {"flash", "read_with_download", "0", "10"}, exact("flash data:" + erased16 + "\nOk."));
    row("read_with_download: nothing answers", "dut02", {"flash", "read_with_download", "0", "10"},
        exact("Fail. Could not go in download mode."));
    row("an image to read", "dut01", {"download", "flash", "115200", "0x1000", "{work}/app.bin"},
        exact("Ok."));
    row("read", "dut01", {"flash", "read", "0x1000", "10"},
        exact("flash data:" + hexBytes(app.left(16)) + "\nOk."));
    row("read one byte", "dut01", {"flash", "read", "1001", "1"},
        exact("flash data:" + hexBytes(app.mid(1, 1)) + "\nOk."));
    row("read: ramcode not running", "dut02", {"flash", "read", "0", "10"},
        exact("Fail. Could not go in ramcode mode."));
    row("readbin", "dut01", {"flash", "readbin", "0x1000", "0x400", "{work}/out.bin"},
        exact("Ok."));
    row("readbin of 1000 bytes", "dut01", {"flash", "readbin", "0x1000", "3e8", "{work}/out2.bin"},
        exact("Ok."));
    row("readbin into a missing directory", "dut01",
        {"flash", "readbin", "0x1000", "0x400", "{work}/no-such-dir/out.bin"}, exact(parseFail));
    row("erase", "dut01", {"flash", "erase", "0x1234", "1"}, exact("Ok."));
    row("erase: the sector is erased", "dut01", {"flash", "read", "0x1000", "10"},
        exact("flash data:" + erased16 + "\nOk."));
    row("erase: the next sector is not", "dut01", {"flash", "read", "0x2000", "10"},
        exact("flash data:" + hexBytes(app.mid(0x1000, 16)) + "\nOk."));
    row("erase: outside the flash", "dut01", {"flash", "erase", "0x300000", "1"}, exact(refused));
    row("erase_all", "dut01", {"flash", "erase_all"}, exact("Ok."));
    row("erase_all: erased", "dut01", {"flash", "read", "0x2000", "10"},
        exact("flash data:" + erased16 + "\nOk."));

    row("otp write", "dut01", {"flash", "otp", "write", "0x10", "0x1A5"}, exact("Ok."));
    row("otp read", "dut01", {"flash", "otp", "read", "0x10", "2"},
        exact("flash otp data:a5 ff\nOk."));
    row("otp read of nothing", "dut01", {"flash", "otp", "read", "0x10"},
        exact("flash otp data:\nOk."));
    row("otp get_lock", "dut01", {"flash", "otp", "get_lock"}, exact("sta:0\nOk."));
    row("otp: unknown word", "dut01", {"flash", "otp", "wipe"}, exact(parseFail));
    row("otp lock", "dut01", {"flash", "otp", "lock"}, exact("Ok."));
    row("otp get_lock when locked", "dut01", {"flash", "otp", "get_lock"}, exact("sta:1\nOk."));
}

void TestSimFlash::steps()
{
    QFETCH(QString, chip);
    QFETCH(QStringList, words);
    QFETCH(Expect, expect);
    const ChipctlResult r = station.run(chip, words);
    QVERIFY2(expect.matches(r.out), outputMismatch(words, expect, r.out).constData());
    QCOMPARE(r.status, 0);
}

// The files of the "readbin" rows: whole 512-byte chunks of the image.
void TestSimFlash::readbinWroteTheFlash()
{
    QCOMPARE(fileContents(station.work() + "/out.bin"), app.left(0x400));
    QCOMPARE(fileContents(station.work() + "/out2.bin"), app.left(1024));
    QVERIFY(!QFile::exists(station.work() + "/no-such-dir"));
}

void TestSimFlash::otpWriteOf0xFFReachesTheChipAsMinusOne()
{
    QVERIFY(station.startRamcode("dut02"));
    const int before = station.hostToChip("dut02").size();
    const ChipctlResult r = station.run("dut02", {"flash", "otp", "write", "0x20", "0xFF"});
    QCOMPARE(r.out, QByteArray("Ok."));
    const QByteArray sent = station.hostToChip("dut02").mid(before);
    QVERIFY2(sent.endsWith("flash_otp_write 32 -1\r\n"), sent.constData());
    QCOMPARE(station.run("dut02", {"flash", "otp", "read", "0x20", "1"}).out,
             QByteArray("flash otp data:ff\nOk."));
}

// The ramcode image beside the program is gone: the boot ROM answers but
// nothing can be loaded.
void TestSimFlash::readWithDownloadWithoutTheRamcodeImage()
{
    QCOMPARE(station.run("dut02", {"entry_boot_mode"}).out, QByteArray("Ok."));
    QVERIFY(QFile::rename(station.ramcode(), station.ramcode() + ".away"));
    const ChipctlResult r = station.run("dut02", {"flash", "read_with_download", "0", "10"});
    QVERIFY(QFile::rename(station.ramcode() + ".away", station.ramcode()));
    QCOMPARE(r.out, QByteArray("Fail. Error downloading file."));
}

// On a noisy line about four reads of 1 KiB in five come back with a flipped
// bit somewhere. A read prints the flash as it is, or fails; it never prints
// what the noise made of it. (A flip that only turns a digit's case, "f"
// into "F", leaves the byte as it was: the CRC cannot tell, and the value
// printed is right.)
void TestSimFlash::noisyReadsAreRightOrFail()
{
    const QByteArray erased = "flash data:" + hexBytes(QByteArray(1024, char(0xff))) + "\nOk.";
    int failed = 0;
    QByteArray wrong;
    for (int i = 0; i < 8; ++i) {
        const ChipctlResult r = station.run("dut03", {"flash", "read", "0", "400"});
        if (r.out.startsWith("Fail. ")) {
            ++failed;
        } else if (r.out.toLower() != erased.toLower()) {
            // The items that are not "ff", and where.
            const QList<QByteArray> items = r.out.mid(11, r.out.size() - 15).split(' ');
            wrong += "\n  read " + QByteArray::number(i + 1) + " printed with \"" + r.out.right(3) +
                     "\":";
            for (int at = 0; at < items.size(); ++at) {
                if (items.at(at) != "ff")
                    wrong += " \"" + items.at(at) + "\" at " + QByteArray::number(at);
            }
        }
    }
    QVERIFY2(wrong.isEmpty(), wrong.constData());
    // The noise was there, and was caught.
    QVERIFY(failed > 0);
}

QTEST_GUILESS_MAIN(TestSimFlash)
#include "tst_simflash.moc"
