// "download" against the simulated station: the ramcode into RAM, one image
// into flash, several images with the reset pulse and progress lines, and
// each failure text. The rows run in order on one station; each leaves the
// chip in the state the next one needs.
#include "simcommands.h"

#include <QFile>
#include <QtTest>

#include <sys/stat.h>

namespace {

const QByteArray scenario = R"({
    "duts": 3,
    "chips": {
        "dut01": { "storage": { "flashUid": "00112233445566778899aabbccddeeff" } },
        "dut02": { "faults": { "refuseImage": true } },
        "dut03": { "faults": { "silent": true } }
    }
})";

// Two flash images with different contents.
QByteArray image(int size, int step)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * step + 3) & 0xff);
    return bytes;
}
const QByteArray app1 = image(5000, 7);
const QByteArray app2 = image(3000, 13);

// "flash read ADDRESS 10": the first 16 bytes as the ramcode dumps them.
QByteArray dump16(const QByteArray &bytes)
{
    return "flash data:" + bytes.left(16).toHex(' ') + "\nOk.";
}

const QByteArray progress = R"((Download progress: \d+%\.\n)*)";
const QByteArray uid = "flash uid:0x00112233445566778899aabbccddeeff";

} // namespace

class TestSimDownload : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void steps_data();
    void steps();
    void progressLinesRiseToTheEnd();

private:
    SimCommands station;
};

void TestSimDownload::initTestCase()
{
    QVERIFY2(station.start(scenario), qPrintable(station.error()));
    for (const auto &file : {std::make_pair("app1.bin", app1), std::make_pair("app2.bin", app2)}) {
        QFile f(station.work() + "/" + file.first);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(file.second), qint64(file.second.size()));
    }
    // Opened for reading, a FIFO waits for a writer that never comes.
    QCOMPARE(::mkfifo(QFile::encodeName(station.work() + "/image.fifo").constData(), 0600), 0);
}

void TestSimDownload::steps_data()
{
    QTest::addColumn<QString>("chip");
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<Expect>("expect");
    auto row = [](const char *name, const char *chip, const QStringList &words, Expect e) {
        QTest::newRow(name) << QString(chip) << words << e;
    };
    const QByteArray noDownloadMode = "Fail. Could not go in download mode.";
    const QByteArray downloadFailed = "Fail. Error downloading file.";

    // The ramcode form.
    row("ram: firmware does not answer", "dut01", {"download", "ram", "0x20000000", "{ramcode}"},
        exact(noDownloadMode));
    row("boot", "dut01", {"entry_boot_mode"}, exact("Ok."));
    row("boot ROM answers", "dut01", {"mode", "read"}, exact("BOOT MODE.\nOk."));
    row("ram: missing image", "dut01", {"download", "ram", "0x20000000", "{work}/missing.bin"},
        exact(downloadFailed));
    row("ram", "dut01", {"download", "ram", "0x20000000", "{ramcode}"}, exact("Ok."));
    row("ramcode answers", "dut01", {"mode", "read"}, exact("RAMCODE MODE.\nOk."));
    row("ram: ramcode already runs", "dut01", {"download", "ram", "0x20000000", "{ramcode}"},
        exact(noDownloadMode));

    // One image. The ramcode counts the images written since it started, and
    // a download checks that count: a second download needs a fresh ramcode.
    row("flash", "dut01", {"download", "flash", "115200", "0x0", "{work}/app1.bin"}, exact("Ok."));
    row("flash: image written", "dut01", {"flash", "read", "0", "10"}, exact(dump16(app1)));
    row("flash: second image, same ramcode", "dut01",
        {"download", "flash", "115200", "0x20000", "{work}/app2.bin"}, exact(downloadFailed));
    row("boot again", "dut01", {"entry_boot_mode"}, exact("Ok."));
    row("flash at 921600 from the boot ROM", "dut01",
        {"download", "flash", "921600", "30000", "{work}/app2.bin"}, exact("Ok."));
    row("flash at 921600: image written", "dut01", {"flash", "read", "0x30000", "10"},
        exact(dump16(app2)));
    row("flash: no whole-flash erase", "dut01", {"flash", "read", "0", "10"}, exact(dump16(app1)));
    row("flash: back at 115200", "dut01", {"mode", "read"}, exact("RAMCODE MODE.\nOk."));
    row("flash: silent chip", "dut03", {"download", "flash", "115200", "0", "{work}/app1.bin"},
        exact(noDownloadMode));
    row("flash: an image that is a FIFO", "dut01",
        {"download", "flash", "115200", "0x20000", "{work}/image.fifo"}, exact(downloadFailed));

    // Several images, with and without the reset pulse.
    row("to the firmware", "dut01", {"reset"}, exact("Ok."));
    row("flash_extend 0 0: no pulse", "dut01",
        {"download", "flash_extend", "115200", "0", "0", "0x0", "{work}/app2.bin"},
        exact(noDownloadMode));
    row("flash_extend 64 0: pulse into the boot ROM", "dut01",
        {"download", "flash_extend", "115200", "64", "0", "0x40000", "{work}/app2.bin", "0x50000",
         "{work}/app1.bin"},
        matching(R"((Download progress: \d+%\.\n)+Download progress: 100%\.\n)" + uid +
                 R"(\nOk\.)"));
    row("flash_extend: first image", "dut01", {"flash", "read", "0x40000", "10"},
        exact(dump16(app2)));
    row("flash_extend: second image", "dut01", {"flash", "read", "0x50000", "10"},
        exact(dump16(app1)));
    row("flash_extend: bad address after the pulse", "dut01",
        {"download", "flash_extend", "115200", "64", "0", "zz", "{work}/app1.bin"},
        exact("Fail. Error parsing parameters."));
    row("flash_extend: the pulse was given", "dut01", {"mode", "read"}, exact("BOOT MODE.\nOk."));
    row("flash_extend 0 0 from the boot ROM, trailing address", "dut01",
        {"download", "flash_extend", "921600", "0", "0", "0x60000", "{work}/app1.bin", "0x70000"},
        matching(progress + R"(Download progress: 100%\.\n)" + uid + R"(\nOk\.)"));
    row("flash_extend: image with a path written", "dut01", {"flash", "read", "0x60000", "10"},
        exact(dump16(app1)));
    row("flash_extend: address without a path unused", "dut01", {"flash", "read", "0x70000", "10"},
        exact(dump16(QByteArray(16, char(0xff)))));
    row("flash_extend: missing image after the UID", "dut01",
        {"download", "flash_extend", "115200", "0", "0", "0x0", "{work}/missing.bin"},
        matching(progress + R"(Fail\. Error downloading file\.\n)" + uid + R"(\n)"));
    row("flash_extend: ramcode refused, no UID", "dut02",
        {"download", "flash_extend", "115200", "64", "0", "0x0", "{work}/app1.bin"},
        matching(progress +
                 R"(Fail\. Error downloading file\.flash uid:can not get flash uid\.\n)"));
}

void TestSimDownload::steps()
{
    QFETCH(QString, chip);
    QFETCH(QStringList, words);
    QFETCH(Expect, expect);
    const ChipctlResult r = station.run(chip, words);
    QVERIFY2(expect.matches(r.out), outputMismatch(words, expect, r.out).constData());
    QCOMPARE(r.status, 0);
}

// A download of two images after loading the ramcode lasts several
// seconds: the printer's lines never fall and never pass 100.
void TestSimDownload::progressLinesRiseToTheEnd()
{
    const QStringList words = {
        "download",        "flash_extend", "115200",         "64", "0", "0x80000",
        "{work}/app1.bin", "0x90000",      "{work}/app2.bin"};
    const ChipctlResult r = station.run("dut01", words);
    QVERIFY2(r.out.endsWith("Download progress: 100%.\n" + uid + "\nOk."), r.out.constData());
    QList<QByteArray> lines = r.out.split('\n');
    lines = lines.mid(0, lines.size() - 3);
    QVERIFY(!lines.isEmpty());
    int last = 0;
    for (const QByteArray &line : lines) {
        QVERIFY2(line.startsWith("Download progress: ") && line.endsWith("%."), line.constData());
        bool ok = false;
        const int p = line.mid(19, line.size() - 21).toInt(&ok);
        QVERIFY2(ok && p >= last && p <= 100, line.constData());
        last = p;
    }
}

QTEST_GUILESS_MAIN(TestSimDownload)
#include "tst_simdownload.moc"
