// Set-up and storage: scenario defaults and precedence, the command line,
// a chip's persistent storage, the ramcode image and the chip's CRC.
#include "simclient.h"

#include "chip/chipstorage.h"
#include "chip/crc16.h"
#include "chip/ramcodeimage.h"
#include "host/deviceconfigwriter.h"
#include "host/scenario.h"
#include "host/simoptions.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace stationsim;

class TstSimConfig : public QObject
{
    Q_OBJECT
private slots:
    void healthyStation();
    void scenarioPrecedence();
    void commandLine();
    void otpBitsOnlyClear();
    void otpLockRefusesWrites();
    void otpRecordsFillUp();
    void storagePersists();
    void flashWritesWholeSectors();
    void ramcodeImage();
    void chipCrc();
    void deviceTableForAFullStation();
};

void TstSimConfig::healthyStation()
{
    const StationSetup setup = Scenario().build(std::nullopt, std::nullopt, std::nullopt);
    QCOMPARE(setup.duts, 24);
    QCOMPARE(setup.basePort, 7000);
    QCOMPARE(setup.chips.size(), 25);
    const ChipSetup &gm = setup.chips.first();
    QCOMPARE(gm.name, QStringLiteral("gm"));
    QVERIFY(gm.start == StartMode::Ramcode);
    QCOMPARE(gm.storage.mac, QStringLiteral("02:54:4b:00:00:10"));
    QVERIFY(gm.storage.xtal.has_value());
    QCOMPARE(*gm.storage.xtal, gm.radio.optimum); // calibrated
    QVERIFY(gm.delivery == Delivery::Usb);
    QList<int> optima;
    for (int n = 1; n <= 24; ++n) {
        const ChipSetup &dut = setup.chips.at(n);
        QCOMPARE(dut.name, QStringLiteral("dut%1").arg(n, 2, 10, QLatin1Char('0')));
        QVERIFY(dut.start == StartMode::Firmware);
        QVERIFY(dut.storage.mac.isEmpty() && !dut.storage.xtal);
        QVERIFY(dut.faults.rfSamples == 20 && !dut.faults.silent);
        QVERIFY(dut.radio.optimum >= -20 && dut.radio.optimum <= 20);
        QVERIFY(dut.radio.pathLoss >= 40 && dut.radio.pathLoss <= 56);
        optima.append(dut.radio.optimum);
    }
    std::sort(optima.begin(), optima.end());
    QVERIFY(optima.first() <= -15 && optima.last() >= 15);
    QVERIFY(std::adjacent_find(optima.begin(), optima.end()) == optima.end()); // all different
}

void TstSimConfig::scenarioPrecedence()
{
    Scenario s;
    QString error;
    QVERIFY2(s.parse(R"({"duts": 4, "seed": 9, "baud": 9600, "delivery": "net",
                         "dutDefaults": {"slope": 3.5, "delivery": "bytes",
                                         "faults": {"rfSamples": 19}},
                         "chips": {"dut02": {"slope": 1.5, "baud": 57600, "delivery": "whole",
                                              "storage": {"mac": "0A:0B:0C:0D:0E:0F", "xtal": -5}}}})",
                     &error),
             qPrintable(error));
    StationSetup setup = s.build(std::nullopt, 0, std::nullopt);
    QCOMPARE(setup.chips.size(), 5);
    QCOMPARE(setup.seed, 9u);
    QCOMPARE(setup.basePort, 0);
    QCOMPARE(setup.chips[0].baud, 9600u);
    QCOMPARE(setup.chips[0].radio.slope, 2.0); // dutDefaults leave the golden machine alone
    QCOMPARE(setup.chips[0].faults.rfSamples, 20);
    QCOMPARE(setup.chips[1].radio.slope, 3.5);
    QCOMPARE(setup.chips[1].faults.rfSamples, 19);
    QCOMPARE(setup.chips[2].radio.slope, 1.5); // the chip's own entry wins
    QCOMPARE(setup.chips[2].baud, 57600u);
    QCOMPARE(setup.chips[2].storage.mac, QStringLiteral("0a:0b:0c:0d:0e:0f"));
    QCOMPARE(*setup.chips[2].storage.xtal, -5);
    QVERIFY(setup.chips[0].delivery == Delivery::Net);
    QVERIFY(setup.chips[1].delivery == Delivery::Bytes);
    QVERIFY(setup.chips[2].delivery == Delivery::Whole);
    // The command line wins over the file; its delivery model over every chip's.
    setup = s.build(2, 7100, 5u, Delivery::Usb);
    QCOMPARE(setup.chips.size(), 3);
    QCOMPARE(setup.basePort, 7100);
    QCOMPARE(setup.seed, 5u);
    for (const ChipSetup &chip : setup.chips)
        QVERIFY(chip.delivery == Delivery::Usb);

    QVERIFY(!s.parse(R"({"chips": {"dut01": {"optimum": 1.5}}})", &error));
    QCOMPARE(error, QStringLiteral("chips.dut01.optimum must be a whole number"));
    QVERIFY(!s.parse(R"({"chips": {"dut01": []}})", &error));
    QCOMPARE(error, QStringLiteral("chips.dut01 must be an object"));
    QVERIFY(!s.parse(R"({"baud": 100})", &error));
    QVERIFY(error.contains(QStringLiteral("baud")));
    QVERIFY(!s.parse(R"({"chips": {"gm": {"delivery": "serial"}}})", &error));
    QCOMPARE(error, QStringLiteral("chips.gm.delivery must be one of whole, bytes, usb, net"));

    // The chip's pace and the late version tail: per chip, the pace of the
    // command line over every chip's.
    QVERIFY2(s.parse(R"({"dutDefaults": {"pace": "lines"},
                         "chips": {"gm": {"pace": "slow", "faults": {"versionTail": "crlf"}}}})",
                     &error),
             qPrintable(error));
    setup = s.build(2, 0, std::nullopt);
    QVERIFY(setup.chips[0].pace == ChipPace::Slow);
    QVERIFY(setup.chips[0].faults.versionTail == VersionTail::LineEnd);
    QVERIFY(setup.chips[1].pace == ChipPace::Lines);
    QVERIFY(setup.chips[1].faults.versionTail == VersionTail::None);
    setup = s.build(2, 0, std::nullopt, std::nullopt, ChipPace::Fast);
    for (const ChipSetup &chip : setup.chips)
        QVERIFY(chip.pace == ChipPace::Fast);
    QVERIFY(!s.parse(R"({"chips": {"gm": {"pace": "sluggish"}}})", &error));
    QCOMPARE(error, QStringLiteral("chips.gm.pace must be one of fast, lines, slow"));
    QVERIFY(!s.parse(R"({"chips": {"gm": {"faults": {"versionTail": "ffff"}}}})", &error));
    QCOMPARE(error, QStringLiteral("chips.gm.faults.versionTail must be one of none, crlf, pppp"));

    // A drift that moves something needs the cycle it sets in after: it
    // would never come otherwise.
    QVERIFY(!s.parse(R"({"chips": {"gm": {"drift": {"txPower": -3}}}})", &error));
    QCOMPARE(error, QStringLiteral("chips.gm.drift.afterCycles is missing: the cycle after which "
                                   "the drift sets in"));
    QVERIFY(!s.parse(R"({"chips": {"gm": {"drift": {"afterCycles": 2, "slope": 1}}}})", &error));
    QVERIFY2(error.contains(QStringLiteral("chips.gm.drift.slope")), qPrintable(error));
}

void TstSimConfig::commandLine()
{
    SimOptions o;
    QString error;
    QVERIFY(o.parse({"--duts=3", "--base-port", "0", "--seed", "4294967295", "--pty-dir", "/tmp/p",
                     "--trace=/tmp/t"},
                    &error));
    QCOMPARE(*o.duts, 3);
    QCOMPARE(*o.basePort, 0);
    QCOMPARE(*o.seed, 4294967295u);
    QCOMPARE(o.ptyDir, QStringLiteral("/tmp/p"));
    QCOMPARE(o.traceDir, QStringLiteral("/tmp/t"));
    SimOptions net;
    QVERIFY(net.parse({"--delivery", "net"}, &error));
    QVERIFY(net.delivery == Delivery::Net);
    SimOptions slow;
    QVERIFY(slow.parse({"--chip-pace=slow"}, &error));
    QVERIFY(slow.chipPace == ChipPace::Slow);
    QVERIFY(!slow.parse({"--chip-pace", "quick"}, &error));
    QCOMPARE(error, QStringLiteral("--chip-pace needs one of fast, lines, slow, not \"quick\""));
    SimOptions none;
    QVERIFY(none.parse({}, &error));
    QVERIFY(!none.duts && !none.basePort && !none.seed && !none.delivery);
    SimOptions bad;
    QVERIFY(!bad.parse({"--base-port", "65536"}, &error));
    QVERIFY(!bad.parse({"--state-dir="}, &error));
    QCOMPARE(error, QStringLiteral("--state-dir needs a value"));
    QVERIFY(!bad.parse({"--delivery=USB"}, &error));
    QCOMPARE(error, QStringLiteral("--delivery needs one of whole, bytes, usb, net, not \"USB\""));
    QVERIFY(!bad.parse({"-x"}, &error));
    QCOMPARE(error, QStringLiteral("unknown option -x (see --help)"));
}

void TstSimConfig::otpBitsOnlyClear()
{
    ChipStorage s("dut01");
    QString error;
    QVERIFY(s.open(QString(), InitialStorage(), false, &error));
    QCOMPARE(s.otpRead(0, 2), QByteArray(2, char(0xff)));
    QVERIFY(s.otpProgram(1, 0xf0));
    QVERIFY(s.otpProgram(1, 0x3f));
    QCOMPARE(quint8(s.otpRead(1, 1).at(0)), quint8(0x30));
    QVERIFY(s.otpProgram(1, 0xff)); // writing ones changes nothing
    QCOMPARE(quint8(s.otpRead(1, 1).at(0)), quint8(0x30));
    QVERIFY(!s.otpProgram(ChipStorage::otpSize, 0));
    QVERIFY(s.otpRead(1000, 100).isEmpty());
}

void TstSimConfig::otpLockRefusesWrites()
{
    ChipStorage s("dut01");
    QString error;
    InitialStorage initial;
    initial.xtal = 4;
    QVERIFY(s.open(QString(), initial, true, &error));
    QVERIFY(s.otpLocked());
    QVERIFY(!s.otpProgram(0, 0));
    QVERIFY(!s.setOtpValue(ChipStorage::Value::Xtal, 1));
    QVERIFY(!s.setOtpMac(QByteArray(6, '\1')));
    QCOMPARE(*s.otpValue(ChipStorage::Value::Xtal), 4); // written before the lock
    QCOMPARE(s.otpRead(0, 1), QByteArray(1, char(0xff)));
}

void TstSimConfig::otpRecordsFillUp()
{
    ChipStorage s("dut01");
    QString error;
    QVERIFY(s.open(QString(), InitialStorage(), false, &error));
    QVERIFY(!s.otpValue(ChipStorage::Value::TxPowerB));
    for (int i = 0; i < ChipStorage::valueRegionSize / 2; ++i) {
        QVERIFY(s.setOtpValue(ChipStorage::Value::TxPowerB, i - 16));
        QCOMPARE(*s.otpValue(ChipStorage::Value::TxPowerB), i - 16);
    }
    QVERIFY(!s.setOtpValue(ChipStorage::Value::TxPowerB, 1)); // region full
    QCOMPARE(*s.otpValue(ChipStorage::Value::TxPowerB), 15);
    // The other values have their own regions; -1 is a value, not "erased".
    QVERIFY(s.setOtpValue(ChipStorage::Value::TxPowerGn, -1));
    QCOMPARE(*s.otpValue(ChipStorage::Value::TxPowerGn), -1);
    QVERIFY(!s.otpValue(ChipStorage::Value::Xtal));
    QVERIFY(!s.setOtpValue(ChipStorage::Value::Xtal, 128));
}

void TstSimConfig::storagePersists()
{
    QTemporaryDir dir;
    QString error;
    InitialStorage initial;
    initial.mac = QStringLiteral("02:54:4b:00:00:20");
    initial.xtal = 7;
    {
        ChipStorage s("dut05");
        QVERIFY(s.open(dir.path(), initial, false, &error));
        QVERIFY(s.setOtpValue(ChipStorage::Value::Xtal, -3));
        QVERIFY(s.burnEfuse(1, 0x80000001u));
        QVERIFY(s.flashWrite(0x2000, "hello"));
        QVERIFY(s.lockOtp());
    }
    // Reopened with other initial values: what was stored counts.
    InitialStorage other;
    other.xtal = 100;
    ChipStorage s("dut05");
    QVERIFY(s.open(dir.path(), other, false, &error));
    QCOMPARE(*s.otpValue(ChipStorage::Value::Xtal), -3);
    QCOMPARE(*s.otpMac(), QByteArray::fromHex("02544b000020"));
    QCOMPARE(s.efuse(1), 0x80000001u);
    QCOMPARE(s.flashRead(0x2000, 5), QByteArray("hello"));
    QVERIFY(s.otpLocked());
    const QString uid = s.flashUid();
    QCOMPARE(uid.size(), 32);
    ChipStorage fresh("dut06");
    QVERIFY(fresh.open(dir.path(), InitialStorage(), false, &error));
    QVERIFY(fresh.flashUid() != uid);                     // every chip its own
    QVERIFY(!QFile::exists(dir.filePath("dut06.flash"))); // an untouched flash is not written

    QFile damaged(dir.filePath("dut06.flash"));
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write("short");
    damaged.close();
    ChipStorage broken("dut06");
    QVERIFY(!broken.open(dir.path(), InitialStorage(), false, &error));
    QVERIFY(error.contains(QStringLiteral("dut06.flash is damaged")));
}

void TstSimConfig::flashWritesWholeSectors()
{
    ChipStorage s("dut01");
    QString error;
    QVERIFY(s.open(QString(), InitialStorage(), false, &error));
    QVERIFY(s.flashWrite(0x1000, QByteArray(0x2000, 'a')));
    // A write erases the sectors it touches first, then programs.
    QVERIFY(s.flashWrite(0x1ffe, "bcd"));
    QCOMPARE(s.flashRead(0x1000, 1), QByteArray(1, char(0xff)));
    QCOMPARE(s.flashRead(0x1ffe, 4), QByteArray("bcd") + char(0xff));
    QCOMPARE(s.flashRead(0x2fff, 1), QByteArray(1, char(0xff)));
    QVERIFY(!s.flashErase(0x1001, 0x1000));
    QVERIFY(!s.flashErase(ChipStorage::flashSize, 0x1000));
    QVERIFY(s.flashErase(0, 0x1000));
    QVERIFY(!s.flashWrite(ChipStorage::flashSize - 2, "xyz"));
    QVERIFY(s.flashInRange(ChipStorage::flashSize, 0));
    QVERIFY(!s.flashInRange(0xffffffffu, 2));
}

void TstSimConfig::ramcodeImage()
{
    const QByteArray image = RamcodeImage::bytes();
    QCOMPARE(image.size(), 24576);
    QVERIFY(image.startsWith("TK716A-SIM-RAMCODE"));
    QCOMPARE(RamcodeImage::bytes(), image);
    QVERIFY(RamcodeImage::isRamcode(image));
    QVERIFY(!RamcodeImage::isRamcode(image.mid(1)));
    // The tail is not a constant fill.
    QVERIFY(image.mid(100, 64).count(image.at(100)) < 8);
    QFile built(QStringLiteral(RAMCODE_IMAGE));
    QVERIFY(built.open(QIODevice::ReadOnly));
    QCOMPARE(built.readAll(), image);
}

void TstSimConfig::chipCrc()
{
    QCOMPARE(chipCrc16(QByteArray("123456789")), quint16(0x31c3));
    QCOMPARE(chipCrc16(QByteArray(128, '\0')), quint16(0));
    QByteArray random(777, '\0');
    for (int i = 0; i < random.size(); ++i)
        random[i] = char((i * 131 + 7) ^ (i >> 3));
    QCOMPARE(chipCrc16(random), testCrc16(random));
}

void TstSimConfig::deviceTableForAFullStation()
{
    QStringList duts;
    for (int n = 1; n <= 24; ++n)
        duts << QStringLiteral("rfc2217://127.0.0.1:%1").arg(7000 + n);
    const QByteArray text =
        DeviceConfigWriter::contents("rfc2217://127.0.0.1:7000", duts, "/x/fw.bin");
    const QList<QByteArray> lines = text.split('\n');
    QCOMPARE(lines.size(), 43);
    QCOMPARE(lines.at(25), QByteArray("1,DUT23,rfc2217://127.0.0.1:7024,0,0,"));
    QCOMPARE(lines.at(26), QByteArray("/x/fw.bin,"));
}

QTEST_GUILESS_MAIN(TstSimConfig)
#include "tst_simconfig.moc"
