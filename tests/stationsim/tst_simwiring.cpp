// The chip's wiring and transports: reset and boot-select lines, what a
// disconnecting client leaves behind, baud switches and garbled bytes, and
// YMODEM loads into the boot ROM and the ramcode.
#include "simtestutil.h"

#include <QFile>
#include <QtTest>

namespace {
const auto atOk = [](const QByteArray &rx) { return rx.contains("OK"); };

QByteArray ramcodeImage()
{
    QFile file(QStringLiteral(RAMCODE_IMAGE));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray downloadCommand(int size)
{
    return "download [rambin] [0x20000000] [" + QByteArray::number(size) + "]\r\n";
}
} // namespace

class TstSimWiring : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void entryBootSequence();
    void usbIoSequences();
    void flashExtendPulse();
    void rtsHoldsReset();
    void disconnectReleasesLines();
    void newClientTakesOver();
    void baudSwitch();
    void unfollowedBaudIsGarbage();
    void downloadStartsRamcode();
    void downloadWithExtraHeaderFields();
    void foreignImageStopsChip();
    void disconnectMidTransfer();
    void rebootAndResetLeaveRamcode();
    void garbageNeverHurts();

private:
    QTemporaryDir dir;
    SimStation sim;
    SimClient c;
    QByteArray image;
};

void TstSimWiring::initTestCase()
{
    image = ramcodeImage();
    QCOMPARE(image.size(), 24576);
    QVERIFY(image.startsWith("TK716A-SIM-RAMCODE"));
    QVERIFY2(sim.start({"--duts", "1"}), qPrintable(sim.errorText()));
}

void TstSimWiring::init()
{
    c.disconnectFromServer();
    QVERIFY(connectClient(c, sim, "dut01"));
    QVERIFY(c.resetIntoFirmware());
    QVERIFY(c.command("AT", atOk));
}

void TstSimWiring::entryBootSequence()
{
    // DTR asserted, RTS released; RTS asserted, DTR released; DTR asserted,
    // RTS released; DTR released.
    QVERIFY(c.setDtr(true) && c.setRts(false));
    QVERIFY(c.setRts(true) && c.setDtr(false));
    QVERIFY(c.setDtr(true) && c.setRts(false));
    QVERIFY(c.setDtr(false));
    QVERIFY(accepts(c, "version", recognisedAs("TK716A")));
    QVERIFY(!c.command("AT", atOk, 300)); // the boot ROM knows no AT commands
}

void TstSimWiring::usbIoSequences()
{
    // A level word of 0 asserts its line; DTR is set before RTS in each phase.
    auto usbIo = [this](int rts1, int dtr1, int rts2, int dtr2) {
        return c.setDtr(dtr1 == 0) && c.setRts(rts1 == 0) && c.setDtr(dtr2 == 0) &&
               c.setRts(rts2 == 0);
    };
    QVERIFY(usbIo(0, 1, 1, 0)); // "usb_io 0 1 100 1 0 50": into the boot ROM
    QVERIFY(accepts(c, "version", recognisedAs("TK716A")));
    QVERIFY(usbIo(0, 1, 1, 1)); // "usb_io 0 1 64 1 1 0": into the firmware
    QVERIFY(c.command("AT", atOk));
}

void TstSimWiring::flashExtendPulse()
{
    QVERIFY(c.setRts(true) && c.setDtr(false));
    QVERIFY(c.setDtr(true) && c.setRts(false));
    QVERIFY(accepts(c, "version", recognisedAs("TK716A")));
}

void TstSimWiring::rtsHoldsReset()
{
    QVERIFY(c.setRts(true));
    QVERIFY(!c.command("AT", atOk, 300));
    QVERIFY(c.collect(100).isEmpty());
    QVERIFY(c.setRts(false)); // released with DTR released: firmware
    QVERIFY(c.command("AT", atOk));
}

void TstSimWiring::disconnectReleasesLines()
{
    // Held in reset with DTR asserted, then the client goes away: DTR is
    // released first, then RTS, so the chip starts its firmware.
    QVERIFY(c.setDtr(true) && c.setRts(true));
    c.disconnectFromServer();
    QVERIFY(connectClient(c, sim, "dut01"));
    QVERIFY(c.command("AT", atOk));
}

void TstSimWiring::newClientTakesOver()
{
    SimClient second;
    QVERIFY(connectClient(second, sim, "dut01"));
    QVERIFY(second.command("AT", atOk));
    c.clear();
    QVERIFY(c.collect(100).isEmpty());
}

void TstSimWiring::baudSwitch()
{
    QVERIFY(c.enterBootRom());
    for (quint32 baud : {921600u, 1000000u, 115200u}) {
        c.clear();
        c.write("baudrate " + QByteArray::number(baud) + "\r\n");
        c.collect(100); // the host's 100 ms before it follows
        QVERIFY(c.setBaud(baud));
        QVERIFY2(accepts(c, "version", recognisedAs("TK716A")),
                 QByteArray::number(baud).constData());
    }
    // The boot ROM's own form of the command.
    c.write("baudrate [boot][460800]\r\n");
    c.collect(100);
    QVERIFY(c.setBaud(460800));
    QVERIFY(accepts(c, "version", recognisedAs("TK716A")));
    // A reset brings the chip back to 115200.
    QVERIFY(c.enterBootRom());
    QVERIFY(c.setBaud(115200));
    QVERIFY(accepts(c, "version", recognisedAs("TK716A")));
}

void TstSimWiring::unfollowedBaudIsGarbage()
{
    QVERIFY(c.enterBootRom());
    c.collect(100); // the banner
    QVERIFY(c.setBaud(57600));
    // The chip hears garbage and stays quiet...
    QVERIFY(!c.command(
        "version", [](const QByteArray &rx) { return !rx.isEmpty(); }, 300));
    // ...and what it sends on its own (its banner after a reset) arrives as
    // framing errors, never as text.
    c.clear();
    QVERIFY(c.enterBootRom());
    QVERIFY(c.waitFor([](const QByteArray &rx) { return rx.size() >= 20; }, 1000));
    for (char ch : c.received())
        QVERIFY(quint8(ch) >= 0x80);
    QVERIFY(c.setBaud(115200));
    QVERIFY(accepts(c, "version", recognisedAs("TK716A")));
}

void TstSimWiring::downloadStartsRamcode()
{
    QVERIFY(c.enterBootRom());
    c.clear();
    c.write(downloadCommand(image.size()));
    const YmodemSendResult sent = sendYmodem(c, "TK716A_RAM_BIN.bin", image, 1024);
    QVERIFY(sent.ok);
    QVERIFY(accepts(c, "version", recognisedAs("RAMCODE")));
}

void TstSimWiring::downloadWithExtraHeaderFields()
{
    QVERIFY(c.enterBootRom());
    c.clear();
    c.write(downloadCommand(image.size()));
    // size, then modification time and mode in octal, as sz sends them
    const YmodemSendResult sent =
        sendYmodem(c, "ram.bin", image, 1024, "14371573257 100644 0 1 24576");
    QVERIFY(sent.ok);
    QVERIFY(accepts(c, "version", recognisedAs("RAMCODE")));
}

void TstSimWiring::foreignImageStopsChip()
{
    QVERIFY(c.enterBootRom());
    QByteArray other = image;
    other[0] = 'X';
    c.clear();
    c.write(downloadCommand(other.size()));
    QVERIFY(sendYmodem(c, "other.bin", other, 1024).ok);
    QVERIFY(!c.command(
        "version", [](const QByteArray &rx) { return !rx.isEmpty(); }, 400));
    // A size in the command that the file does not have: no ramcode either.
    QVERIFY(c.enterBootRom());
    c.clear();
    c.write(downloadCommand(image.size() + 1));
    QVERIFY(sendYmodem(c, "ram.bin", image, 1024).ok);
    QVERIFY(!c.command(
        "version", [](const QByteArray &rx) { return !rx.isEmpty(); }, 400));
    QVERIFY(c.enterBootRom());
    QVERIFY(accepts(c, "version", recognisedAs("TK716A")));
}

void TstSimWiring::disconnectMidTransfer()
{
    QVERIFY(c.enterBootRom());
    c.clear();
    c.write(downloadCommand(image.size()));
    QVERIFY(c.waitFor([](const QByteArray &rx) { return rx.contains('C'); }, 2000));
    // Header and a few blocks' worth of bytes, then the host vanishes.
    c.write(QByteArray(1, 0x01) + QByteArray(1, 0) + QByteArray(1, char(0xff)) +
            QByteArray(60, 'x'));
    c.disconnectFromServer();
    QVERIFY(connectClient(c, sim, "dut01"));
    // The chip still waits for the file and asks again with "C"; a reset
    // into the boot ROM recovers it, and a new download goes through.
    QVERIFY(c.waitFor([](const QByteArray &rx) { return rx.contains('C'); }, 2500));
    QVERIFY(c.enterBootRom());
    c.clear();
    c.write(downloadCommand(image.size()));
    QVERIFY(sendYmodem(c, "ram.bin", image, 1024).ok);
    QVERIFY(accepts(c, "version", recognisedAs("RAMCODE")));
}

void TstSimWiring::rebootAndResetLeaveRamcode()
{
    QVERIFY(c.enterBootRom());
    c.clear();
    c.write(downloadCommand(image.size()));
    QVERIFY(sendYmodem(c, "ram.bin", image, 1024).ok);
    QVERIFY(accepts(c, "version", recognisedAs("RAMCODE")));
    c.clear();
    c.write("reboot\r\n");
    QVERIFY(c.command("AT", atOk));
    // The ramcode lives in RAM: after a reset into the boot ROM it is gone.
    QVERIFY(c.enterBootRom());
    QVERIFY(accepts(c, "version", recognisedAs("TK716A")));
}

void TstSimWiring::garbageNeverHurts()
{
    QByteArray garbage(6000, '\0');
    quint32 state = 12345;
    for (int i = 0; i < garbage.size(); ++i) {
        state = state * 1103515245u + 12345u;
        garbage[i] = char(state >> 23);
    }
    // Runs of line ends, 0xFF and control bytes among the noise.
    garbage.replace(100, 8, "\r\n\r\n\xff\xff\x18\x18");
    garbage.replace(3000, 5, "\x01\x00\xff\x02\x01");
    garbage.append("\r\n"); // so the next command starts a line of its own
    auto drain = [this] {
        c.collect(800); // 6000 bytes take 520 ms at 115200
        c.clear();
    };

    c.write(garbage); // the AT firmware
    drain();
    QVERIFY(c.command("AT", atOk));

    QVERIFY(c.enterBootRom());
    c.write(garbage);
    drain();
    QVERIFY(accepts(c, "version", recognisedAs("TK716A")));
    c.write(downloadCommand(image.size()));
    QVERIFY(c.waitFor([](const QByteArray &rx) { return rx.contains('C'); }, 2000));
    c.write(garbage); // noise instead of a file
    drain();
    QVERIFY(c.enterBootRom());
    c.clear();
    c.write(downloadCommand(image.size()));
    QVERIFY(sendYmodem(c, "ram.bin", image, 1024).ok);

    c.write(garbage); // the ramcode
    drain();
    QVERIFY(accepts(c, "version", recognisedAs("RAMCODE")));
}

QTEST_GUILESS_MAIN(TstSimWiring)
#include "tst_simwiring.moc"
