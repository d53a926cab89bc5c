// Whole test cycles against the simulated station with a fault on every DUT
// slot, on the golden machine, in the chip tool, and in the station's own
// process and files: benchrun (the station's engine, judging and logs
// without a window) with the real Chipctl. For each fault: what the
// operator sees (verdict and note), what the daily log says, and that every
// completed DUT is in the daily log and the results file.
//
// The station's short chip-tool steps (the UID and the DUT's MAC) must end
// within 1 s; on a loaded 2-core machine a healthy DUT can run out of that
// time. Such DUTs are named and accepted; a faulty DUT must show its own
// fault.
#include "faultstation.h"
#include "stationsetup.h"

#include "cycletables.h"
#include "databaseconnection.h"
#include "deviceconfigfile.h"
#include "localresultsdb.h"

#include <QtTest>

#include <csignal>
#include <signal.h>
#include <sys/resource.h>

namespace {

// Messages of the DUT workers, as the daily log holds them.
const QString downloadError = QStringLiteral("RX donwload rambin error.");
const QString gmMacError = QStringLiteral("RX set gm mac error.");
const QString uidError = QStringLiteral("RX get flash uuid error.");
const QString dutMacError = QStringLiteral("RX set dut mac error.");
const QString xtalRamError = QStringLiteral("RX set freq offset error.");
const QString rxResultError = QStringLiteral("RX get rx result error.");
const QString calError = QStringLiteral("RX cal freq offset error.");
const QString sampleCountWarning = QStringLiteral("Recive RX data err.Start next test.");

// The steps whose 1 s limit a loaded machine can break.
bool shortStepTimedOut(const QString &log)
{
    return log.contains(uidError) || log.contains(dutMacError);
}

enum class Outcome
{
    Pass,   // the fault does not touch a cycle: the DUT passes
    Error,  // the DUT ends in an error whose log holds `message`
    Either, // pass, or an error naming the step that failed
};

struct SlotFault
{
    const char *name;
    const char *faults; // JSON of the chip's "faults" object
    Outcome outcome;
    QStringList messages; // Error: the log holds one of them
};

// dut01 ... in order; the hung chip tool is the slot after the last fault.
const QList<SlotFault> &slotFaults()
{
    static const QList<SlotFault> faults = {
        {"silent", R"({"silent": true})", Outcome::Error, {downloadError}},
        {"ignores reset", R"({"ignoreResets": true})", Outcome::Error, {downloadError}},
        {"NAKs blocks", R"({"nakBlocks": 3})", Outcome::Pass, {}},
        {"cancels transfer", R"({"cancelAfterBlocks": 2})", Outcome::Error, {downloadError}},
        // One flipped bit in a hundred bytes: hardly a 1 KiB block gets through,
        // and the chip gives up the transfer after ten bad blocks.
        {"line noise", R"({"lineNoise": 0.01})", Outcome::Error, {downloadError}},
        // Every answer comes after the tool's 40 probes have given up.
        {"slow answers", R"({"answerDelayMs": 5000})", Outcome::Error, {downloadError}},
        {"19 RF samples", R"({"rfSamples": 19})", Outcome::Error, {rxResultError}},
        // Chipctl stops at the 20th line; only when the 21st arrives with it
        // is the count refused, and that measurement repeated.
        {"21 RF samples", R"({"rfSamples": 21})", Outcome::Either, {}},
        {"never converges", R"({"xtalNeverConverges": true})", Outcome::Error, {calError}},
        // Calibrated, then the OTP write gets no answer.
        {"locked OTP", R"({"otpLocked": true})", Outcome::Error, {calError}},
        // Gone after 20 command lines: during the crystal search.
        {"unplugged mid-cycle",
         R"({"unplugAfterCommands": 20})",
         Outcome::Error,
         {xtalRamError, rxResultError}},
        // A cycle never switches the rate, nor reads a DUT's MAC.
        {"refuses baud switch", R"({"refuseBaud": true})", Outcome::Pass, {}},
        {"malformed MAC answers", R"({"malformedMac": true})", Outcome::Pass, {}},
    };
    return faults;
}

constexpr int healthyDuts = 2;

QByteArray dutFaultScenario()
{
    const QList<SlotFault> &faults = slotFaults();
    const int duts = faults.size() + 1 + healthyDuts;
    QByteArray chips;
    for (int i = 0; i < faults.size(); ++i) {
        chips += QStringLiteral("\"dut%1\": {\"faults\": %2},\n")
                     .arg(i + 1, 2, 10, QLatin1Char('0'))
                     .arg(QLatin1String(faults.at(i).faults))
                     .toUtf8();
    }
    chips.chop(2);
    return "{\"duts\": " + QByteArray::number(duts) + ", \"chips\": {\n" + chips + "\n}}";
}

using Row = ResultRow;

QList<Row> resultRows()
{
    QList<Row> rows;
    const QList<QStringList> all = todaysResultRows();
    for (const QStringList &fields : all)
        rows << Row{fields};
    return rows;
}

// The daily log holds whole blocks only: every heading has its closing
// line, numbered alike, and the file ends with one.
QList<int> completeBlocks(const QString &log, QString *problem)
{
    QList<int> numbers;
    static const QRegularExpression heading(QStringLiteral("第(\\d+)次测试开始:\\r\\n"));
    QRegularExpressionMatchIterator it = heading.globalMatch(log);
    int expectedStart = 0;
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        if (m.capturedStart() != expectedStart) {
            *problem = QStringLiteral("text outside a block at %1").arg(expectedStart);
            return numbers;
        }
        const QString closing = QStringLiteral("第%1次测试结束。\r\n").arg(m.captured(1));
        const int end = log.indexOf(closing, m.capturedEnd());
        if (end < 0) {
            *problem = QStringLiteral("block %1 has no end").arg(m.captured(1));
            return numbers;
        }
        numbers << m.captured(1).toInt();
        expectedStart = end + closing.size();
    }
    if (expectedStart != log.size())
        *problem = QStringLiteral("a partial block at the end of the log");
    return numbers;
}

// The line of benchrun's cycle table for `slot`.
QString tableLine(const QString &output, int slot)
{
    const QRegularExpression row(QStringLiteral("^ +%1 +DUT%1 .*$").arg(slot),
                                 QRegularExpression::MultilineOption);
    return row.match(output).captured(0);
}

int slotOf(const char *fault)
{
    const QList<SlotFault> &faults = slotFaults();
    for (int i = 0; i < faults.size(); ++i) {
        if (qstrcmp(faults.at(i).name, fault) == 0)
            return i;
    }
    return -1;
}

// True while process `pid` runs `program`.
bool runs(qint64 pid, const QByteArray &program)
{
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
    return cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().startsWith(program);
}

} // namespace

class TestFaultCycles : public QObject
{
    Q_OBJECT

private slots:
    void dutFaultsInOneCycle();
    void refusedImage();
    void goldenMachineFault_data();
    void goldenMachineFault();
    void killedMidCycleAndRestarted();
    void diskFullWhileSaving();
    void terminatedMidCycle();
};

// One cycle over a DUT per fault, a DUT whose chip tool hangs in its
// download, and two healthy DUTs.
void TestFaultCycles::dutFaultsInOneCycle()
{
    const QList<SlotFault> &faults = slotFaults();
    const int hungSlot = faults.size();
    const int duts = hungSlot + 1 + healthyDuts;
    FaultStation station;
    QVERIFY2(station.prepare(dutFaultScenario(),
                             QStringLiteral("dut%1").arg(hungSlot + 1, 2, 10, QLatin1Char('0')),
                             QStringLiteral("download")),
             qPrintable(station.error()));

    int status = 0;
    QString output;
    QElapsedTimer clock;
    clock.start();
    QVERIFY2(station.runBenchrun(1, 280000, &status, &output), "benchrun did not end");
    qInfo("one cycle of %d DUTs with faults: %.1f s", duts, double(clock.elapsed()) / 1000.0);
    // DUT failures are results, not station errors.
    QVERIFY2(status == 0, qPrintable(output));

    const QList<Row> rows = resultRows();
    QCOMPARE(rows.size(), duts);
    QString log = QString::fromUtf8(todaysLog());
    QString problem;
    QCOMPARE(completeBlocks(log, &problem), QList<int>{0});
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QCOMPARE(log.count(QStringLiteral(": Start test....")), duts);

    int passed = 0;
    for (int slot = 0; slot < duts; ++slot) {
        const Row &row = rows.at(slot);
        QCOMPARE(row.cycle(), 0);
        QCOMPARE(row.slot(), slot);
        const QString dutLog = FaultStation::lastDutLog(slot);
        QVERIFY2(!dutLog.isEmpty(), qPrintable(QStringLiteral("no log of slot %1").arg(slot)));
        const bool pass = row.verdict() == QLatin1String("pass");
        QVERIFY2(pass || row.verdict() == QLatin1String("error"), qPrintable(row.verdict()));
        // The operator's table names the first error of every failed DUT.
        const QString line = tableLine(output, slot);
        QVERIFY2(line.contains(pass ? QStringLiteral(" PASS ") : QStringLiteral(" ERROR (RX) ")),
                 qPrintable(line));
        passed += pass ? 1 : 0;
        if (pass) {
            QVERIFY(dutLog.contains(QStringLiteral("RX test success.")));
            QVERIFY(dutLog.contains(QStringLiteral("TX test success.")));
        } else {
            QVERIFY2(dutLog.contains(QStringLiteral(" error.")) &&
                         line.contains(QStringLiteral(" error.")),
                     qPrintable(dutLog));
        }

        const QString name =
            slot < faults.size()
                ? QString::fromLatin1(faults.at(slot).name)
                : (slot == hungSlot ? QStringLiteral("hung chip tool") : QStringLiteral("healthy"));
        Outcome outcome = Outcome::Pass;
        QStringList messages;
        if (slot < faults.size()) {
            outcome = faults.at(slot).outcome;
            messages = faults.at(slot).messages;
        } else if (slot == hungSlot) {
            outcome = Outcome::Error;
            messages = QStringList{downloadError};
        }
        const QString what = QStringLiteral("slot %1 (%2): %3").arg(slot).arg(name, dutLog);
        switch (outcome) {
        case Outcome::Pass:
            if (!pass) {
                // Only a short step that ran out of time on a loaded machine.
                QVERIFY2(shortStepTimedOut(dutLog), qPrintable(what));
                qWarning("slot %d (%s): a short chip-tool step ran out of time", slot,
                         qPrintable(name));
            }
            break;
        case Outcome::Error: {
            QVERIFY2(!pass, qPrintable(what));
            bool named = false;
            for (const QString &message : messages)
                named = named || dutLog.contains(message);
            QVERIFY2(named, qPrintable(what));
            break;
        }
        case Outcome::Either:
            break;
        }
        qInfo("%-22s %s", qPrintable(name), qPrintable(line.simplified()));
    }
    QCOMPARE(log.count(QStringLiteral("RX test success.")), passed);

    // The never-converging DUT and the one with a locked OTP fail alike;
    // their offsets tell them apart: the locked one had converged.
    QVERIFY(qAbs(rows.at(slotOf("locked OTP")).freqAvg()) < 5);
    QVERIFY(rows.at(slotOf("never converges")).freqAvg() >= 8);
    // The 21-sample DUT: every refused count was logged as such.
    const int longSamples = slotOf("21 RF samples");
    const QString sampleLog = FaultStation::lastDutLog(longSamples);
    if (rows.at(longSamples).verdict() != QLatin1String("pass"))
        QVERIFY2(sampleLog.contains(sampleCountWarning), qPrintable(sampleLog));

    // The hung tool was killed after the step's 10 s, not left running.
    QFile pidFile(QStringLiteral("config/CHIPCTL/hung.pid"));
    QVERIFY(pidFile.open(QIODevice::ReadOnly));
    const qint64 hungPid = pidFile.readAll().trimmed().toLongLong();
    QVERIFY(hungPid > 0);
    QVERIFY2(!runs(hungPid, "sleep"), "the hung chip tool is still running");

    // The counters and the results agree.
    const QStringList settings = settingsLines();
    QCOMPARE(settings.at(37), QString::number(duts));
    QCOMPARE(settings.at(38), QString::number(passed));
    QCOMPARE(settings.at(39), QString::number(duts - passed));
}

// The chip takes the whole ramcode image but never runs it: the DUT worker
// tries 20 times to hand it the golden MAC (about 90 s) before it gives up.
// A cycle of its own, beside a healthy DUT, so that the long wait does not
// hold up the one-cycle matrix above.
void TestFaultCycles::refusedImage()
{
    FaultStation station;
    QVERIFY2(
        station.prepare(R"({"duts": 2, "chips": {"dut01": {"faults": {"refuseImage": true}}}})"),
        qPrintable(station.error()));
    int status = 0;
    QString output;
    QVERIFY2(station.runBenchrun(1, 200000, &status, &output), "benchrun did not end");
    QVERIFY2(status == 0, qPrintable(output));
    const QList<Row> rows = resultRows();
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows.at(0).verdict(), QStringLiteral("error"));
    const QString refused = FaultStation::lastDutLog(0);
    QVERIFY2(refused.contains(gmMacError), qPrintable(refused));
    QVERIFY2(tableLine(output, 0).contains(QStringLiteral(" ERROR (RX) ")), qPrintable(output));
    const QString healthy = FaultStation::lastDutLog(1);
    QVERIFY2(rows.at(1).verdict() == QLatin1String("pass") || shortStepTimedOut(healthy),
             qPrintable(healthy));
    QString problem;
    QCOMPARE(completeBlocks(QString::fromUtf8(todaysLog()), &problem), QList<int>{0});
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

// A station fault counts no DUT and is recorded as what it is. The golden
// machine answers its MAC with "-" between the groups: the cycle ends before
// any DUT is touched. Or the station falls apart in the middle of the cycle
// (every cable pulled, the golden machine's too): the DUTs fail at whatever
// step they were at, the golden machine's RF cannot be stopped, and still
// the station, not a DUT, is at fault.
void TestFaultCycles::goldenMachineFault_data()
{
    QTest::addColumn<QByteArray>("scenario");
    QTest::addColumn<QString>("heading"); // benchrun's cycle heading ends so
    QTest::addColumn<bool>("dutsStarted");
    QTest::newRow("malformed golden MAC")
        << QByteArray(R"({"duts": 2, "chips": {"gm": {"faults": {"malformedMac": true}}}})")
        << QStringLiteral("the cycle did not finish: 获取金机MAC地址失败！") << false;
    // The DUTs go during their crystal search; the golden machine after its
    // "rx_gm" (four runs of two lines, a probe and the command), at the
    // "rf_stop" that ends the RX phase: its 10th line, or its 9th should a
    // loaded machine have had one probe sent twice.
    QTest::newRow("cables pulled mid-cycle")
        << QByteArray(R"({"duts": 2, "dutDefaults": {"faults": {"unplugAfterCommands": 20}},)"
                      R"( "chips": {"gm": {"faults": {"unplugAfterCommands": 9}}}})")
        << QStringLiteral("golden machine error: 关闭RX 金机RF射频失败！") << true;
}

void TestFaultCycles::goldenMachineFault()
{
    QString dbError;
    QFETCH(QByteArray, scenario);
    QFETCH(QString, heading);
    QFETCH(bool, dutsStarted);
    FaultStation station;
    QVERIFY2(station.prepare(scenario), qPrintable(station.error()));
    int status = 0;
    QString output;
    QVERIFY2(station.runBenchrun(1, 120000, &status, &output), "benchrun did not end");
    QVERIFY2(status == 3, qPrintable(output)); // a station error
    QVERIFY2(output.contains(heading), qPrintable(output));
    QCOMPARE(output.count(QStringLiteral(" not judged")), 2);
    const QString log = QString::fromUtf8(todaysLog());
    QString problem;
    QCOMPARE(completeBlocks(log, &problem), QList<int>{0});
    QVERIFY(log.contains(heading.mid(heading.indexOf(QLatin1Char(':')) + 2)));
    QCOMPARE(log.contains(QStringLiteral("Start test")), dutsStarted);
    const QList<Row> rows = resultRows();
    QCOMPARE(rows.size(), 2);
    for (const Row &row : rows)
        QCOMPARE(row.verdict(), QStringLiteral("not judged"));
    const QStringList settings = settingsLines();
    QCOMPARE(settings.at(37), QStringLiteral("0"));
    QCOMPARE(settings.at(39), QStringLiteral("0"));

    // The results database says the same: the station's fault, its DUTs
    // not judged, failed at the cycle (not at download, MAC or calibration).
    DatabaseConnection db(QStringLiteral("QSQLITE"));
    QString error;
    QVERIFY2(LocalResultsDb::open(db, QStringLiteral("log/results.sqlite"),
                                  LocalResultsDb::ForReading, &error),
             qPrintable(error));
    QList<CycleRecord> cycles;
    QList<qint64> ids;
    CycleTables tables(db);
    QVERIFY2(tables.readAfter(0, 10, &cycles, &ids, &dbError), qPrintable(dbError));
    QCOMPARE(cycles.size(), 1);
    QCOMPARE(cycles.at(0).cycleError, QStringLiteral("golden machine"));
    QCOMPARE(cycles.at(0).duts.size(), 2);
    for (const DutRecord &d : cycles.at(0).duts) {
        QCOMPARE(d.verdict, QStringLiteral("not judged"));
        QCOMPARE(d.failedStep, QStringLiteral("cycle"));
        QCOMPARE(d.downloadStatus == QLatin1String("pass"), dutsStarted);
    }
}

// benchrun is killed (SIGKILL) in the middle of a cycle, then started
// again: the settings file is whole, the daily log and the results file
// hold every completed cycle and no partial block or row, and the next
// run carries on from the counters saved.
void TestFaultCycles::killedMidCycleAndRestarted()
{
    FaultStation station;
    QVERIFY2(station.prepare(R"({"duts": 3})"), qPrintable(station.error()));
    QProcess run;
    station.startBenchrun(run, 5);
    QVERIFY(run.waitForStarted(5000));
    // Wait for the first cycle's block, then kill at a moment well inside
    // the second cycle.
    QTRY_VERIFY_WITH_TIMEOUT(todaysLog().contains("第0次测试结束。"), 120000);
    const int killAfterMs = QRandomGenerator::global()->bounded(1000, 4000);
    QTest::qWait(killAfterMs);
    ::kill(pid_t(run.processId()), SIGKILL);
    QVERIFY(run.waitForFinished(5000));
    QCOMPARE(run.exitStatus(), QProcess::CrashExit);
    // What a failure below is read against: when the kill came, and what the
    // killed runner had said by then.
    const QByteArray said = run.readAllStandardOutput() + run.readAllStandardError();
    const QString context = QStringLiteral("killed %1 ms after cycle 0's end; it had said:\n%2")
                                .arg(killAfterMs)
                                .arg(QString::fromUtf8(said.right(3000)));
    // The killed runner's chip tools end on their own.
    QVERIFY2(station.waitForTools(20000), qPrintable(context));

    QFile settingsFile(QStringLiteral("config/device_config.csv"));
    QVERIFY(settingsFile.open(QIODevice::ReadOnly));
    DeviceConfig config;
    QVERIFY2(DeviceConfigFile::parse(settingsFile.readAll(), config), "settings file damaged");
    settingsFile.close();
    QString log = QString::fromUtf8(todaysLog());
    QString problem;
    QList<int> blocks = completeBlocks(log, &problem);
    QVERIFY2(problem.isEmpty(), qPrintable(problem + QLatin1Char('\n') + context));
    const QByteArray results = todaysResults();
    QVERIFY2(results.endsWith("\r\n"), qPrintable(context));
    const int cycles = blocks.size();
    QVERIFY(cycles >= 1);
    const int rows = resultRows().size();
    QVERIFY2(rows == 3 * cycles,
             qPrintable(QStringLiteral("%1 rows for %2 logged cycles; ").arg(rows).arg(cycles) +
                        context));
    // The counters are saved after the logs: a kill between the two leaves
    // them one cycle behind, never ahead.
    QVERIFY2(config.testAllNum == uint32_t(3 * cycles) ||
                 config.testAllNum == uint32_t(3 * (cycles - 1)),
             qPrintable(QString::number(config.testAllNum) + QLatin1Char(' ') + context));
    const uint32_t total = config.testAllNum;

    int status = 0;
    QString output;
    QVERIFY2(station.runBenchrun(1, 120000, &status, &output), "benchrun did not end");
    QVERIFY2(status == 0, qPrintable(output));
    log = QString::fromUtf8(todaysLog());
    blocks = completeBlocks(log, &problem);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QCOMPARE(blocks.size(), cycles + 1);
    QCOMPARE(uint32_t(blocks.last()), total);
    QCOMPARE(resultRows().size(), 3 * (cycles + 1));
    QCOMPARE(settingsLines().at(37), QString::number(total + 3));
}

// The disk is full while the station writes (a file size limit, inherited
// by benchrun): the settings file keeps its previous bytes, the console
// says what was not written and shows the pending log block, and the exit
// status says the logs were not written.
void TestFaultCycles::diskFullWhileSaving()
{
    FaultStation station;
    QVERIFY2(station.prepare(R"({"duts": 1})"), qPrintable(station.error()));
    QFile settingsFile(QStringLiteral("config/device_config.csv"));
    QVERIFY(settingsFile.open(QIODevice::ReadOnly));
    const QByteArray before = settingsFile.readAll();
    settingsFile.close();

    // The limit passes to the child with SIGXFSZ at its default, as a shell
    // hands it on: benchrun itself makes writes past 200 bytes fail as on a
    // full disk instead of dying of the signal.
    struct rlimit old
    {
    };
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_DFL);
    struct rlimit small = old;
    small.rlim_cur = 200;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    QProcess run;
    run.setProcessChannelMode(QProcess::MergedChannels);
    station.startBenchrun(run, 1);
    const bool started = run.waitForStarted(5000);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    QVERIFY(started);
    QVERIFY(run.waitForFinished(120000));
    const QString output = QString::fromUtf8(run.readAll());
    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
    QVERIFY2(run.exitCode() == 4, qPrintable(output));

    QVERIFY(settingsFile.open(QIODevice::ReadOnly));
    QCOMPARE(settingsFile.readAll(), before);
    QVERIFY2(output.contains(QStringLiteral("the counters could not be written")),
             qPrintable(output));
    // Nothing of the cycle is lost: its block is on the console.
    QVERIFY2(output.contains(QStringLiteral("第0次测试开始:")) &&
                 output.contains(QStringLiteral("第0次测试结束。")),
             qPrintable(output));
    QVERIFY(output.contains(QStringLiteral("(NOT all written)")));
    // What did reach the disk is whole: no partial block, no partial row.
    QString problem;
    completeBlocks(QString::fromUtf8(todaysLog()), &problem);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    const QByteArray results = todaysResults();
    QVERIFY(results.isEmpty() || results.endsWith("\r\n"));
}

// SIGTERM to benchrun while its DUTs' chip tools run, one of them hung in
// its download: the cycle stops as the stop button stops it, every chip
// tool is gone when benchrun has ended, and the stopped cycle is neither
// counted nor logged.
void TestFaultCycles::terminatedMidCycle()
{
    FaultStation station;
    QVERIFY2(station.prepare(R"({"duts": 3})", QStringLiteral("dut02"), QStringLiteral("download")),
             qPrintable(station.error()));
    const QByteArray settingsBefore = [] {
        QFile file(QStringLiteral("config/device_config.csv"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    QProcess run;
    run.setProcessChannelMode(QProcess::MergedChannels);
    station.startBenchrun(run, 1);
    QVERIFY(run.waitForStarted(5000));
    QFile pidFile(QStringLiteral("config/CHIPCTL/hung.pid"));
    QTRY_VERIFY_WITH_TIMEOUT(pidFile.exists() && pidFile.size() > 0, 60000);
    QVERIFY(pidFile.open(QIODevice::ReadOnly));
    const qint64 hungPid = pidFile.readAll().trimmed().toLongLong();
    // The wrapper writes its process id just before it becomes "sleep".
    QTRY_VERIFY_WITH_TIMEOUT(runs(hungPid, "sleep"), 10000);

    ::kill(pid_t(run.processId()), SIGTERM);
    QVERIFY(run.waitForFinished(60000));
    const QString output = QString::fromUtf8(run.readAll());
    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
    QVERIFY2(run.exitCode() == 143, qPrintable(output));
    // Nothing of the station's left running, at once.
    QVERIFY2(station.runningTools().isEmpty(), "a chip tool still runs");
    QVERIFY2(!runs(hungPid, "sleep"), "the hung chip tool still runs");
    QVERIFY2(output.contains(QStringLiteral("stopped by SIGTERM")), qPrintable(output));

    QFile settingsFile(QStringLiteral("config/device_config.csv"));
    QVERIFY(settingsFile.open(QIODevice::ReadOnly));
    QCOMPARE(settingsFile.readAll(), settingsBefore);
    QVERIFY(todaysLog().isEmpty());
    QVERIFY(resultRows().isEmpty());
}

QTEST_GUILESS_MAIN(TestFaultCycles)
#include "tst_faultcycles.moc"
