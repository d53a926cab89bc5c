// Whole test cycles of the engine with the real Chipctl against the simulated
// station: every chip operation goes through Chipctl over RFC 2217 to
// stationsim, as on a bench with a serial device server.
#include "cyclevalues.h"
#include "simstation.h"
#include "testthread.h"

#include <QProcess>
#include <QScopeGuard>
#include <QThread>
#include <QtTest>

#include <memory>

namespace {

// What a front end shares with the cycles it runs.
CycleValues shared;

// The simulator's healthy defaults (docs/simulator.md): DUT n has its crystal
// optimum at (7n mod 41) - 20 and a path loss of 42 + (5n mod 14) dB; the
// golden machine transmits with 2 dBm, a DUT with 0 dBm.
int optimumOf(int slot)
{
    return (7 * slot) % 41 - 20;
}
int pathLossOf(int slot)
{
    return 42 + (5 * slot) % 14;
}

const QString gmMac = QStringLiteral("02:54:4b:00:00:10");
const QString ramcodePath = QStringLiteral("./config/CHIPCTL/Config/TK716A_RAM_BIN.bin");

// A simulated station and a Benchmate working directory beside it: a private
// copy of Chipctl at ./config/CHIPCTL/ with its own Config/ (the chip
// information file it writes stays private to this test) and the ramcode
// image. The working directory is this test's while the object lives.
class SimBench
{
public:
    SimBench()
        : m_oldCwd(QDir::currentPath())
    {
        const QString config = m_dir.path() + QStringLiteral("/config/CHIPCTL/Config");
        if (!m_dir.isValid() || !QDir().mkpath(config) || !QDir().mkpath(traceDir()))
            return;
        const QString tool = m_dir.path() + QStringLiteral("/config/CHIPCTL/Chipctl");
        if (!QFile::copy(QStringLiteral(CHIPCTL_BIN), tool) ||
            !QFile::copy(QStringLiteral(CHIPCTL_CONFIG_DIR "/TK716A_RAM_BIN.bin"),
                         config + QStringLiteral("/TK716A_RAM_BIN.bin")))
            return;
        m_valid = QDir::setCurrent(m_dir.path());
    }
    ~SimBench()
    {
        sim.stop();
        QDir::setCurrent(m_oldCwd);
    }

    bool isValid() const { return m_valid; }
    QString traceDir() const { return m_dir.path() + QStringLiteral("/trace"); }

    // Starts the simulator with `duts` DUTs and the scenario's chip objects
    // (JSON text of the "chips" object), every chip traced, with `extraArgs`
    // for the simulator.
    bool start(int duts, const QByteArray &chips = "{}", const QStringList &extraArgs = {})
    {
        QFile scenario(m_dir.path() + QStringLiteral("/scenario.json"));
        if (!scenario.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        scenario.write("{\"chips\": " + chips + "}");
        scenario.close();
        const QStringList args = {QStringLiteral("--duts"),     QString::number(duts),
                                  QStringLiteral("--scenario"), scenario.fileName(),
                                  QStringLiteral("--trace"),    traceDir()};
        return sim.start(args + extraArgs);
    }

    // The cycle parameters the window would build for DUT slots 1..duts.
    testPara_t para(int duts) const
    {
        testPara_t p;
        p.gmPort = sim.url(QStringLiteral("gm"));
        p.filePath = ramcodePath;
        p.timeOut = 120000;
        p.sendInterval = 10;
        p.testCha = 7;
        p.logPath = QStringLiteral("./log");
        p.values = &shared;
        for (int i = 0; i < duts; ++i) {
            deviceInfo_t device;
            device.port = sim.url(chipName(i + 1));
            device.name = QStringLiteral("Dev%1").arg(i + 1);
            device.slot = i;
            device.progressPtr = &shared.progress[i];
            shared.progress[i].store(255);
            p.devices.append(device);
        }
        return p;
    }

    static QString chipName(int slot)
    {
        return QStringLiteral("dut%1").arg(slot, 2, 10, QLatin1Char('0'));
    }

    // The chip's stored state as the simulator keeps it.
    QJsonObject state(const QString &chip) const
    {
        QFile file(sim.stateDir() + QLatin1Char('/') + chip + QStringLiteral(".json"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(file.readAll()).object();
    }

    // The crystal value standing in the chip's OTP: the last record (marker
    // 0x5A and the value) of the crystal region at 0x300. False when none.
    bool otpCrystal(const QString &chip, int *value) const
    {
        const QByteArray otp =
            QByteArray::fromHex(state(chip).value(QStringLiteral("otp")).toString().toLatin1());
        bool found = false;
        for (int at = 0x300; at + 1 < 0x340 && at + 1 < otp.size(); at += 2) {
            if (quint8(otp.at(at)) != 0x5a)
                break;
            *value = int(qint8(otp.at(at + 1)));
            found = true;
        }
        return found;
    }

    // The command lines the chip received, as its trace shows them.
    QStringList commandsTo(const QString &chip) const
    {
        QFile file(traceDir() + QLatin1Char('/') + chip + QStringLiteral(".trace"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QByteArray bytes;
        const QRegularExpression hostLine(
            QStringLiteral("^\\s*\\d+\\.\\d+ host>chip ((?:[0-9a-f]{2} ?)+)"));
        const QStringList traceLines = QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'));
        for (const QString &line : traceLines) {
            const QRegularExpressionMatch m = hostLine.match(line);
            if (m.hasMatch())
                bytes += QByteArray::fromHex(m.captured(1).remove(QLatin1Char(' ')).toLatin1());
        }
        QStringList commands;
        const QList<QByteArray> parts = bytes.split('\n');
        for (const QByteArray &part : parts) {
            const QByteArray text = part.trimmed();
            // Command lines only: YMODEM blocks are not text.
            if (!text.isEmpty() && std::all_of(text.begin(), text.end(), [](char c) {
                    return quint8(c) >= 0x20 && quint8(c) < 0x7f;
                }))
                commands.append(QString::fromLatin1(text));
        }
        return commands;
    }

    SimStation sim;

private:
    QTemporaryDir m_dir;
    QString m_oldCwd;
    bool m_valid = false;
};

struct Cycle
{
    bool ended = false;
    testRestlt_t result;
    QString log;
    QStringList dutLogs; // one block per DUT in device order, then the cycle's
    QList<deviceTrace_t> traces;
};

Cycle collect(testThread &cycle)
{
    Cycle out;
    out.ended = cycle.wait(QDeadlineTimer(170000));
    if (!out.ended)
        return out;
    cycle.getResult(&out.result);
    out.traces = cycle.getTraceability();
    out.log = cycle.getLog();
    out.dutLogs = out.log.split(QStringLiteral("\r\n\r\n"));
    return out;
}

Cycle runCycle(const testPara_t &para)
{
    testThread cycle(para, 0);
    cycle.start();
    return collect(cycle);
}

QStringList linesOf(const QString &block)
{
    return block.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
}

// The messages of a log block at one level ("[信息]", "[错误]" ...), without
// prefix and time stamp.
QStringList messages(const QString &block, const QString &level)
{
    QStringList out;
    const QStringList all = linesOf(block);
    for (const QString &line : all) {
        if (line.startsWith(level))
            out.append(line.mid(level.size() + 13)); // "hh:mm:ss:zzz "
    }
    return out;
}

const QString info = QStringLiteral("[信息]");
const QString warning = QStringLiteral("[警告]");
const QString error = QStringLiteral("[错误]");

QString dots(const QString &text)
{
    return text + QString(39, QLatin1Char('.'));
}

// A DUT that passed the whole cycle: its crystal value near the simulated
// optimum and standing in its OTP, its RF figures those of its slot, and its
// log lines as the operator's log shows them.
void checkPassed(const SimBench &bench, const Cycle &out, int index)
{
    const int slot = index + 1;
    const deviceRestlt_t &r = out.result.results.at(index);
    const QString block = out.dutLogs.value(index);
    const QByteArray why = block.toUtf8();
    QCOMPARE(r.name, QStringLiteral("Dev%1").arg(slot));
    QVERIFY2(r.rxStatus == STATUS_PASS, why.constData());
    QVERIFY2(r.txStatus == STATUS_PASS, why.constData());
    QVERIFY2(qAbs(int(r.calVal) - optimumOf(slot)) <= 2,
             qPrintable(QStringLiteral("Dev%1 cal %2, optimum %3")
                            .arg(slot)
                            .arg(int(r.calVal))
                            .arg(optimumOf(slot))));
    int stored = 1000;
    QVERIFY(bench.otpCrystal(SimBench::chipName(slot), &stored));
    QCOMPARE(stored, int(r.calVal));
    QVERIFY(qAbs(r.freqAve) <= 4);
    QVERIFY(r.freqMin <= r.freqAve && r.freqAve <= r.freqMax);
    QVERIFY(qAbs(r.rxRssiAve - (2 - pathLossOf(slot))) <= 2);
    QVERIFY(r.rxRssiMin <= r.rxRssiAve && r.rxRssiAve <= r.rxRssiMax);
    QVERIFY(qAbs(r.txRssiAve + pathLossOf(slot)) <= 2);
    QVERIFY(r.txRssiMin <= r.txRssiAve && r.txRssiAve <= r.txRssiMax);
    QCOMPARE(shared.progress[index].load(), uint8_t(100));

    const deviceTrace_t &trace = out.traces.at(index);
    QCOMPARE(trace.port, bench.sim.url(SimBench::chipName(slot)));
    QCOMPARE(trace.mac, QStringLiteral("02:54:4b:00:00:%1").arg(0x10 + slot, 2, 16));
    QCOMPARE(
        trace.flashUid,
        QStringLiteral("0x") +
            bench.state(SimBench::chipName(slot)).value(QStringLiteral("flashUid")).toString());

    const QStringList lines = messages(block, info);
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines.at(0), dots(QStringLiteral("Device Dev%1: Start test").arg(slot)));
    QCOMPARE(lines.at(1), QStringLiteral("uid:") + trace.flashUid);
    QCOMPARE(lines.at(2), QStringLiteral("RX test success.RX RSSI MIN = %1,RX RSSI MAX = %2,RX "
                                         "RSSI AVE = %3,FREQ MIN = %4,FREQ MAX = %5,FREQ AVE = "
                                         "%6,CAL VAL = %7")
                              .arg(r.rxRssiMin)
                              .arg(r.rxRssiMax)
                              .arg(r.rxRssiAve)
                              .arg(r.freqMin)
                              .arg(r.freqMax)
                              .arg(r.freqAve)
                              .arg(int(r.calVal)));
    const QRegularExpression txLine(
        QStringLiteral("^TX test success\\.TX RSSI MIN = %1,TX RSSI MAX = %2,TX RSSI AVE = "
                       "(-\\d+(\\.\\d+)?)\\.$")
            .arg(r.txRssiMin)
            .arg(r.txRssiMax));
    const QRegularExpressionMatch tx = txLine.match(lines.at(3));
    QVERIFY2(tx.hasMatch(), qPrintable(lines.at(3)));
    QCOMPARE(int(tx.captured(1).toDouble()), r.txRssiAve);
    QCOMPARE(lines.at(4), dots(QStringLiteral("Device Dev%1: Test end").arg(slot)));
    QVERIFY2(messages(block, warning).isEmpty() && messages(block, error).isEmpty(),
             why.constData());
}

// The cycle's own block of a cycle that ran through.
void checkCycleLog(const Cycle &out)
{
    QCOMPARE(messages(out.dutLogs.value(out.result.results.size()), info),
             QStringList({"Start Test.", "Start RX Test.", "Start TX Test.", "Test end."}));
}

// A cycle of `duts` DUTs that passed as a whole: every DUT calibrated near
// its optimum, written into its OTP and TX-tested, and the cycle's block.
void checkWholeCyclePassed(const SimBench &bench, const Cycle &out, int duts)
{
    QVERIFY(out.ended);
    QCOMPARE(out.result.cycleStatus, int(STATUS_PASS));
    QCOMPARE(out.result.finished, 1);
    QCOMPARE(out.result.results.size(), duts);
    for (int i = 0; i < duts; ++i) {
        checkPassed(bench, out, i);
        if (QTest::currentTestFailed())
            return;
    }
    checkCycleLog(out);
}

} // namespace

class TestSimCycle : public QObject
{
    Q_OBJECT

private slots:
    void init() { shared.calVal.store(CycleValues::initialCalVal); }

    void fullStationTwice();
    void slowChips();
    void fullStationOnABusyPc();
    void dutFaults();
    void malformedGoldenMac();
    void stopDuringRx();
};

// 24 DUTs through a whole cycle, then a second cycle on the same station
// starting from the value the window keeps after a passing device: both
// times every DUT is calibrated near its optimum, written into its OTP and
// TX-tested, with complete results and log.
void TestSimCycle::fullStationTwice()
{
    SimBench bench;
    QVERIFY(bench.isValid());
    QVERIFY2(bench.start(24), qPrintable(bench.sim.errorText()));

    for (int round = 0; round < 2; ++round) {
        const Cycle out = runCycle(bench.para(24));
        QCOMPARE(out.traces.size(), 24);
        checkWholeCyclePassed(bench, out, 24);
        if (QTest::currentTestFailed())
            return;
        // The window starts the next cycle from the last passing device.
        shared.setCalStart(out.result.results.last().calVal);
    }
    // The golden machine's calibrated value was loaded into its RAM for
    // each cycle and its OTP left as it was.
    int gmCrystal = 0;
    QVERIFY(bench.otpCrystal(QStringLiteral("gm"), &gmCrystal));
    QCOMPARE(gmCrystal, 3);
    const QStringList gmCommands = bench.commandsTo(QStringLiteral("gm"));
    QCOMPARE(gmCommands.filter(QStringLiteral("set_xtal_cap_in_ram 3")).size(), 2);
    QVERIFY(gmCommands.filter(QStringLiteral("in_flash_otp ")).isEmpty());
}

// One cycle of 24 DUTs and a golden machine whose firmware prints slowly:
// 1 to 20 ms between the lines of every answer, the characters of short
// lines 0.5 ms apart, behind USB adapters as on a bench. Every DUT passes as
// on a fast station.
void TestSimCycle::slowChips()
{
    SimBench bench;
    QVERIFY(bench.isValid());
    QVERIFY2(bench.start(24, "{}", {QStringLiteral("--chip-pace"), QStringLiteral("slow")}),
             qPrintable(bench.sim.errorText()));
    checkWholeCyclePassed(bench, runCycle(bench.para(24)), 24);
}

// A CPU hog on every core, as a station PC is loaded when a build or a scan
// runs beside the station: every DUT still passes, each near its optimum.
void TestSimCycle::fullStationOnABusyPc()
{
    SimBench bench;
    QVERIFY(bench.isValid());
    QVERIFY2(bench.start(24), qPrintable(bench.sim.errorText()));

    QProcess hog;
    hog.start(QStringLiteral("stress-ng"),
              {QStringLiteral("--cpu"), QString::number(QThread::idealThreadCount()),
               QStringLiteral("--quiet")});
    QVERIFY2(hog.waitForStarted(5000), "stress-ng (Debian: stress-ng) is needed for this test");
    const auto stopHog = qScopeGuard([&hog] {
        hog.terminate();
        if (!hog.waitForFinished(5000)) {
            hog.kill();
            hog.waitForFinished(5000);
        }
    });
    // The hogs have the cores before the cycle starts.
    QVERIFY(!hog.waitForFinished(500));

    checkWholeCyclePassed(bench, runCycle(bench.para(24)), 24);
}

// One cycle with a silent DUT, a DUT whose crystal never converges and a DUT
// unplugged during its calibration beside a healthy one: each faulty DUT
// fails at its own step and is left out of the TX phase; the healthy one
// passes.
void TestSimCycle::dutFaults()
{
    SimBench bench;
    QVERIFY(bench.isValid());
    // dut03 goes away after 14 command lines: the ramcode download and the
    // three MAC and UID steps take 8, each calibration iteration 4.
    QVERIFY2(bench.start(4, "{\"dut01\": {\"faults\": {\"silent\": true}},"
                            " \"dut02\": {\"faults\": {\"xtalNeverConverges\": true}},"
                            " \"dut03\": {\"faults\": {\"unplugAfterCommands\": 14}}}"),
             qPrintable(bench.sim.errorText()));
    const Cycle out = runCycle(bench.para(4));
    QVERIFY(out.ended);
    QCOMPARE(out.result.cycleStatus, int(STATUS_PASS));
    QCOMPARE(out.result.finished, 1);
    QCOMPARE(out.result.results.size(), 4);
    checkPassed(bench, out, 3);
    checkCycleLog(out);

    struct Failed
    {
        uint8_t progress;
        QStringList errors;
    };
    const Failed expected[3] = {
        {10, {"RX donwload rambin error."}},
        {50, {"RX cal freq offset error."}},
        {50, {"RX set freq offset error.", "RX get rx result error."}},
    };
    for (int i = 0; i < 3; ++i) {
        const QString block = out.dutLogs.value(i);
        const QByteArray why = block.toUtf8();
        const deviceRestlt_t &r = out.result.results.at(i);
        QVERIFY2(r.rxStatus == STATUS_FAIL, why.constData());
        QCOMPARE(r.txStatus, int(TX_NOT_RUN));
        QCOMPARE(shared.progress[i].load(), expected[i].progress);
        const QStringList errors = messages(block, error);
        QCOMPARE(errors.size(), 1);
        QVERIFY2(expected[i].errors.contains(errors.first()), why.constData());
        QCOMPARE(messages(block, info).size(), i == 0 ? 1 : 2); // start, UID
        int stored = 0;
        QVERIFY(!bench.otpCrystal(SimBench::chipName(i + 1), &stored));
        QVERIFY(bench.commandsTo(SimBench::chipName(i + 1))
                    .filter(QStringLiteral("start_s_tx_test"))
                    .isEmpty());
    }
    // The search that never converged spent all its 40 measurements.
    QCOMPARE(
        bench.commandsTo(QStringLiteral("dut02")).filter(QStringLiteral("start_s_rx_test")).size(),
        40);
}

// A golden machine whose MAC answer is not a MAC fails the cycle before any
// DUT is touched.
void TestSimCycle::malformedGoldenMac()
{
    SimBench bench;
    QVERIFY(bench.isValid());
    QVERIFY2(bench.start(2, "{\"gm\": {\"faults\": {\"malformedMac\": true}}}"),
             qPrintable(bench.sim.errorText()));
    const Cycle out = runCycle(bench.para(2));
    QVERIFY(out.ended);
    QCOMPARE(out.result.cycleStatus, int(STATUS_FAIL));
    QCOMPARE(out.result.finished, 0);
    QVERIFY(out.result.results.isEmpty());
    QVERIFY(out.traces.isEmpty());
    QCOMPARE(messages(out.dutLogs.value(0), error), QStringList({"获取金机MAC地址失败！"}));
    QCOMPARE(messages(out.dutLogs.value(0), info), QStringList({"Start Test."}));
    QVERIFY(bench.commandsTo(QStringLiteral("gm")).filter(QStringLiteral("xtal_cap")).isEmpty());
    QVERIFY(bench.commandsTo(QStringLiteral("dut01")).isEmpty());
    QVERIFY(bench.commandsTo(QStringLiteral("dut02")).isEmpty());
    QCOMPARE(shared.progress[0].load(), uint8_t(255));
}

// A stop while the DUTs load their ramcode: stop() returns once every worker
// has ended, the cycle reports no results and writes nothing into any OTP;
// the station, left with the golden machine transmitting, then runs a whole
// cycle again.
void TestSimCycle::stopDuringRx()
{
    SimBench bench;
    QVERIFY(bench.isValid());
    QVERIFY2(bench.start(4), qPrintable(bench.sim.errorText()));
    {
        testThread cycle(bench.para(4), 0);
        cycle.start();
        // The ramcode download takes over 2 s at 115200 baud: once every
        // progress byte reads 10 (downloading) or 30 (downloaded, pausing),
        // every DUT is in its RX run and none has a MAC yet.
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(shared.progress, shared.progress + 4,
                                             [](const auto &p) {
                                                 const uint8_t at = p.load();
                                                 return at == 10 || at == 30;
                                             }),
                                 60000);
        cycle.stop();
        QVERIFY(cycle.isRunning() || cycle.isFinished());
        const Cycle out = collect(cycle);
        QVERIFY(out.ended);
        QCOMPARE(out.result.cycleStatus, int(STATUS_PASS));
        QCOMPARE(out.result.finished, 1);
        QVERIFY(out.result.results.isEmpty());
        QCOMPARE(out.traces.size(), 4);
        QCOMPARE(messages(out.dutLogs.value(4), info),
                 QStringList({"Start Test.", "Start RX Test.", "Test end."}));
        for (int i = 0; i < 4; ++i) {
            QVERIFY(shared.progress[i].load() < 80);
            QVERIFY(messages(out.dutLogs.value(i), error).isEmpty());
            int stored = 0;
            QVERIFY(!bench.otpCrystal(SimBench::chipName(i + 1), &stored));
        }
        QVERIFY(bench.commandsTo(QStringLiteral("gm")).filter(QStringLiteral("rf_stop")).isEmpty());
    }

    const Cycle again = runCycle(bench.para(4));
    QVERIFY(again.ended);
    QCOMPARE(again.result.finished, 1);
    QCOMPARE(again.result.results.size(), 4);
    for (int i = 0; i < 4; ++i)
        checkPassed(bench, again, i);
    checkCycleLog(again);
}

QTEST_GUILESS_MAIN(TestSimCycle)
#include "tst_simcycle.moc"
