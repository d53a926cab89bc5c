// The Chipctl program against the simulated station over RFC 2217: the line
// commands reset the simulated chip into its boot ROM, hold it in reset and
// restart it into its AT firmware, and "mode" "read" tells which. Every run
// of the program is a connection of its own; between runs the station's
// chips keep running what the last run left them in.
#include "atcmd.h"
#include "protocol/tranprotocol.h"
#include "serial.h"
#include "simstation.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString bootMode = QStringLiteral("BOOT MODE.\nOk.");
const QString ramcodeMode = QStringLiteral("RAMCODE MODE.\nOk.");
const QString noAnswer = QStringLiteral("Fail. Could not go in download mode.");
const QString ok = QStringLiteral("Ok.");

} // namespace

class TestChipctlSim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void entryBootModeThenModeRead();
    void rtsHoldsTheChipInReset();
    void usbIoRestartsTheChip();

private:
    // Runs the program on a chip of the station; its standard output.
    QString chipctl(const QString &chip, const QStringList &words);
    // What answers on the chip's port now: the AT firmware (an "OK" to
    // "AT") and the boot ROM or ramcode (their answer to "version"), asked
    // over a connection of this process that leaves the lines released.
    struct Probe
    {
        bool at = false;
        QString mode;
    };
    Probe probe(const QString &chip);
    QByteArray trace(const QString &chip) const;

    QTemporaryDir dir;
    QString program;
    SimStation sim;
};

void TestChipctlSim::initTestCase()
{
    // A copy of its own, so that its Config directory is this test's.
    QVERIFY(dir.isValid());
    program = dir.filePath(QStringLiteral("Chipctl"));
    QVERIFY(QFile::copy(QStringLiteral(CHIPCTL_BIN), program));
    QFile(program).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("trace"))));
    QVERIFY2(sim.start({QStringLiteral("--duts"), QStringLiteral("2"), QStringLiteral("--trace"),
                        dir.filePath(QStringLiteral("trace"))}),
             qPrintable(sim.errorText()));
}

QString TestChipctlSim::chipctl(const QString &chip, const QStringList &words)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, QStringList{sim.url(chip)} + words);
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished(2000);
        return QStringLiteral("(did not finish)");
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QStringLiteral("(exit status %1)").arg(process.exitCode());
    return QString::fromUtf8(process.readAllStandardOutput());
}

TestChipctlSim::Probe TestChipctlSim::probe(const QString &chip)
{
    Probe result;
    Serial serial;
    tranProtocol protocol(dir.filePath(QStringLiteral("Config")));
    ATCMD at;
    if (!serial.openPort(sim.url(chip), 115200))
        return result;
    connect(&serial, &Serial::recvSerialData, &protocol, &tranProtocol::recvData);
    connect(&protocol, &tranProtocol::sendData, &serial, &Serial::sendData);
    connect(&serial, &Serial::recvSerialData, &at, &ATCMD::recvData);
    connect(&at, &ATCMD::sendData, &serial, &Serial::sendData);
    result.at = at.enterAT();
    if (!protocol.getMode(result.mode))
        result.mode.clear();
    return result;
}

QByteArray TestChipctlSim::trace(const QString &chip) const
{
    QFile file(dir.filePath(QStringLiteral("trace/") + chip + QStringLiteral(".trace")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TestChipctlSim::entryBootModeThenModeRead()
{
    const QString chip = QStringLiteral("dut01");
    // A DUT starts in its AT firmware, which answers no "version".
    QCOMPARE(chipctl(chip, {"mode", "read"}), noAnswer);
    QVERIFY(probe(chip).at);

    QCOMPARE(chipctl(chip, {"entry_boot_mode"}), ok);
    QCOMPARE(chipctl(chip, {"mode", "read"}), bootMode);
    // The boot ROM stays until the next reset, whatever connects.
    QCOMPARE(chipctl(chip, {"mode", "read"}), bootMode);
    const Probe now = probe(chip);
    QVERIFY(!now.at);
    QCOMPARE(now.mode, QStringLiteral("TK716A"));
}

void TestChipctlSim::rtsHoldsTheChipInReset()
{
    const QString chip = QStringLiteral("dut02");
    QCOMPARE(chipctl(chip, {"entry_boot_mode"}), ok);
    QCOMPARE(chipctl(chip, {"mode", "read"}), bootMode);

    // "rts" "1" puts the chip into reset for as long as its run lasts; when
    // the run ends its connection closes, which releases the lines with DTR
    // released, so the chip comes up in its AT firmware, not its boot ROM.
    const int before = trace(chip).count("runs: reset");
    QCOMPARE(chipctl(chip, {"rts", "1"}), ok);
    QTRY_COMPARE(trace(chip).count("runs: reset"), before + 1);
    QCOMPARE(chipctl(chip, {"mode", "read"}), noAnswer);
    QVERIFY(probe(chip).at);

    // Within one connection, as inside one Chipctl run: while RTS is
    // asserted nothing answers, not even to the boot ROM's probe.
    Serial serial;
    tranProtocol protocol(dir.filePath(QStringLiteral("Config")));
    QVERIFY(serial.openPort(sim.url(chip), 115200));
    connect(&serial, &Serial::recvSerialData, &protocol, &tranProtocol::recvData);
    connect(&protocol, &tranProtocol::sendData, &serial, &Serial::sendData);
    connect(&protocol, &tranProtocol::setRTS, &serial, &Serial::setRTS);
    connect(&protocol, &tranProtocol::setDTR, &serial, &Serial::setDTR);
    QString answer;
    protocol.driveDTR(1);
    protocol.driveRTS(1);
    QVERIFY(!protocol.getMode(answer));
    QVERIFY(!protocol.getMode(answer));
    // Released with DTR asserted: the boot ROM.
    protocol.driveRTS(0);
    QVERIFY(protocol.getMode(answer));
    QCOMPARE(answer, QStringLiteral("TK716A"));
}

void TestChipctlSim::usbIoRestartsTheChip()
{
    // The golden machine starts with its ramcode running.
    const QString chip = QStringLiteral("gm");
    QCOMPARE(chipctl(chip, {"mode", "read"}), ramcodeMode);
    QVERIFY(!probe(chip).at);

    // DTR released, RTS asserted for 100 ms, both released: the firmware.
    QCOMPARE(chipctl(chip, {"usb_io", "0", "1", "64", "1", "1", "0"}), ok);
    QCOMPARE(chipctl(chip, {"mode", "read"}), noAnswer);
    Probe now = probe(chip);
    QVERIFY(now.at);
    QVERIFY(now.mode.isEmpty());

    // RTS asserted, then released with DTR asserted: the boot ROM.
    QCOMPARE(chipctl(chip, {"usb_io", "0", "1", "100", "1", "0", "50"}), ok);
    QCOMPARE(chipctl(chip, {"mode", "read"}), bootMode);
    now = probe(chip);
    QVERIFY(!now.at);
    QCOMPARE(now.mode, QStringLiteral("TK716A"));

    // And from the boot ROM into the firmware again.
    QCOMPARE(chipctl(chip, {"usb_io", "0", "1", "64", "1", "1", "0"}), ok);
    QCOMPARE(chipctl(chip, {"mode", "read"}), noAnswer);
    now = probe(chip);
    QVERIFY(now.at);
    QVERIFY(now.mode.isEmpty());
}

QTEST_GUILESS_MAIN(TestChipctlSim)
#include "tst_chipctlsim.moc"
