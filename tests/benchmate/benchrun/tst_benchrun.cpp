// benchrun, the console runner, as a program: its checks of the station
// set-up, and whole cycles against the scripted chip tool with the tables,
// the summary, the logs, the counters and the crystal value it carries.
#include "faketool.h"
#include "stationsetup.h"

#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include <csignal>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString failText = QStringLiteral("Fail. Command execution error.");

struct Run
{
    int exitCode = -1;
    bool finished = false;
    QString out;
    QString err;
};

Run benchrun(const QStringList &args, int ms = 60000)
{
    QProcess process;
    process.setProgram(QStringLiteral(BENCHRUN_PATH));
    process.setArguments(args);
    process.start();
    Run run;
    if (!process.waitForStarted(5000))
        return run;
    process.closeWriteChannel();
    run.finished = process.waitForFinished(ms);
    if (!run.finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

bool touch(const QString &path, const QByteArray &bytes = "TK716A")
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// True while process `pid` runs the station's chip tool.
bool toolRuns(qint64 pid)
{
    return pid > 0 &&
           QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid)) ==
               QDir::current().absoluteFilePath(QStringLiteral("config/CHIPCTL/Chipctl"));
}

// Starts benchrun in the current directory.
void startBenchrun(QProcess &process, const QStringList &args = {})
{
    process.setProgram(QStringLiteral(BENCHRUN_PATH));
    process.setArguments(args);
    process.start();
}

// Waits until the chip tool run with the "pid" option has written its id.
qint64 waitForToolPid(const FakeTool &fake)
{
    QDeadlineTimer deadline(30000);
    while (!deadline.hasExpired()) {
        const qint64 pid = fake.lastPid();
        if (pid > 0 && toolRuns(pid))
            return pid;
        QTest::qWait(50);
    }
    return 0;
}

// Who runs benchrun here without the privilege to write anything: as root,
// the user nobody through setpriv, the station directory handed over to it;
// else the test's own user.
constexpr uid_t unprivilegedId = 65534;

bool handOver(const QString &dir)
{
    if (geteuid() != 0)
        return true;
    bool ok = ::chown(QFile::encodeName(dir).constData(), unprivilegedId, unprivilegedId) == 0;
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        ok = ::lchown(QFile::encodeName(it.next()).constData(), unprivilegedId, unprivilegedId) ==
                 0 &&
             ok;
    return ok;
}

Run unprivilegedBenchrun(const QStringList &args)
{
    QProcess process;
    if (geteuid() == 0) {
        process.setProgram(QStringLiteral("setpriv"));
        process.setArguments(QStringList{QStringLiteral("--reuid=65534"),
                                         QStringLiteral("--regid=65534"),
                                         QStringLiteral("--clear-groups"), QStringLiteral("--"),
                                         QStringLiteral(BENCHRUN_PATH)} +
                             args);
    } else {
        process.setProgram(QStringLiteral(BENCHRUN_PATH));
        process.setArguments(args);
    }
    process.start();
    Run run;
    if (!process.waitForStarted(5000))
        return run;
    run.finished = process.waitForFinished(60000);
    if (!run.finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

} // namespace

class TestBenchrun : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void commandLine_data();
    void commandLine();
    void help();
    void noSettingsFile();
    void unreadableSettingsFile_data();
    void unreadableSettingsFile();
    void readOnlySettings_data();
    void readOnlySettings();
    void noEnabledDevice();
    void noGoldenPort();
    void chipToolMissing();
    void firmwareMissing();
    void badNumbersRefused_data();
    void badNumbersRefused();
    void stationSettingsRefused();
    void twoCycles();
    void goldenMachineFailure();
    void jsonLines();
    void logsThatCannotBeWritten();
    void stopSignalMidCycle_data();
    void stopSignalMidCycle();
    void secondStationRefused();

private:
    std::unique_ptr<FakeTool> m_fake;
};

void TestBenchrun::init()
{
    m_fake = std::make_unique<FakeTool>();
    QVERIFY(m_fake->isValid());
    QVERIFY(touch(QStringLiteral("ram.bin")));
}

void TestBenchrun::cleanup()
{
    m_fake.reset();
}

void TestBenchrun::commandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("zero") << QStringList{"--cycles", "0"} << "bad number of cycles \"0\"";
    QTest::newRow("word") << QStringList{"--cycles", "two"} << "bad number of cycles \"two\"";
    QTest::newRow("missing") << QStringList{"--cycles"} << "--cycles needs a number";
    QTest::newRow("unknown") << QStringList{"--fast"} << "unknown argument \"--fast\"";
    QTest::newRow("equals") << QStringList{"--cycles=-3"} << "bad number of cycles \"-3\"";
}

// A bad command line: the reason and the usage, status 2, nothing run.
void TestBenchrun::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    QVERIFY(StationSetup::withDuts(1).write());
    const Run run = benchrun(args);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(run.err.contains(QStringLiteral("Usage: benchrun")));
    QVERIFY(m_fake->calls().isEmpty());
}

void TestBenchrun::help()
{
    const Run run = benchrun({QStringLiteral("--help")});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.out.startsWith(QStringLiteral("Usage: benchrun [--cycles N]")));
    QVERIFY(run.out.contains(QStringLiteral("Exit status")));
}

// Without a settings file: a clear message, status 1, and no empty file left
// behind (Benchmate would create one; benchrun must not).
void TestBenchrun::noSettingsFile()
{
    const Run run = benchrun({});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("no settings file ./config/device_config.csv in ") +
                              QDir::currentPath()),
             qPrintable(run.err));
    QVERIFY(!QFile::exists(QStringLiteral("config/device_config.csv")));
    QVERIFY(run.out.isEmpty());
}

void TestBenchrun::unreadableSettingsFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");
    const QByteArray good = StationSetup::withDuts(1).bytes();
    QTest::newRow("line missing") << good.mid(good.indexOf('\n') + 1)
                                  << "41 lines where 42 are expected";
    QTest::newRow("port name in GBK")
        << QByteArray(good).replace(",D1,", ",D\xa3\xb1,") << "line 3 is not UTF-8 text";
}

// A settings file benchrun cannot read: why, status 1, nothing run, and the
// file as it was.
void TestBenchrun::unreadableSettingsFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    QVERIFY(touch(QStringLiteral("config/device_config.csv"), bytes));
    const Run run = benchrun({});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(
        run.err.contains(QStringLiteral("is not a settings file Benchmate can read: ") + reason),
        qPrintable(run.err));
    QVERIFY(m_fake->calls().isEmpty());
    QCOMPARE(fileBytes(QStringLiteral("config/device_config.csv")), bytes);
}

void TestBenchrun::readOnlySettings_data()
{
    QTest::addColumn<QString>("readOnly");
    QTest::newRow("settings file") << "config/device_config.csv";
    QTest::newRow("settings directory") << "config";
}

// The settings cannot be written: the cycles run from what was read, the
// console says once that the counters were not saved, and the exit status
// says so (4); the file keeps what it held.
void TestBenchrun::readOnlySettings()
{
    QFETCH(QString, readOnly);
    m_fake->healthyGolden();
    m_fake->healthyDut(QStringLiteral("D1"));
    QVERIFY(StationSetup::withDuts(1).write());
    const QByteArray before = fileBytes(QStringLiteral("config/device_config.csv"));
    QVERIFY(handOver(m_fake->dir()));
    const QString target = QDir::current().absoluteFilePath(readOnly);
    const bool isDir = QFileInfo(target).isDir();
    QCOMPARE(::chmod(QFile::encodeName(target).constData(), isDir ? 0555 : 0444), 0);

    const Run run = unprivilegedBenchrun({QStringLiteral("--cycles"), QStringLiteral("2")});
    ::chmod(QFile::encodeName(target).constData(), isDir ? 0755 : 0644);

    QVERIFY2(run.finished, qPrintable(run.err));
    QVERIFY2(run.out.contains(QStringLiteral("Cycle 2 of 2")), qPrintable(run.out + run.err));
    QCOMPARE(run.exitCode, 4);
    QCOMPARE(run.err.count(QStringLiteral("the counters could not be written")), 1);
    QCOMPARE(fileBytes(QStringLiteral("config/device_config.csv")), before);
}

void TestBenchrun::noEnabledDevice()
{
    QVERIFY(StationSetup::withDuts(0).write());
    const Run run = benchrun({});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("no DUT is enabled")), qPrintable(run.err));
    QVERIFY(m_fake->calls().isEmpty());
}

void TestBenchrun::noGoldenPort()
{
    StationSetup setup = StationSetup::withDuts(2);
    setup.gmPort.clear();
    QVERIFY(setup.write());
    const Run run = benchrun({});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("the golden machine has no serial port")),
             qPrintable(run.err));
}

void TestBenchrun::chipToolMissing()
{
    QVERIFY(StationSetup::withDuts(2).write());
    QVERIFY(QFile::remove(QStringLiteral("config/CHIPCTL/Chipctl")));
    const Run run = benchrun({});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("the chip tool ./config/CHIPCTL/Chipctl is missing")),
             qPrintable(run.err));
}

void TestBenchrun::firmwareMissing()
{
    StationSetup setup = StationSetup::withDuts(2);
    setup.firmware = QStringLiteral("nowhere/TK716A_RAM_BIN.bin");
    QVERIFY(setup.write());
    const Run run = benchrun({});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("nowhere/TK716A_RAM_BIN.bin")), qPrintable(run.err));
    QVERIFY(m_fake->calls().isEmpty());
}

void TestBenchrun::badNumbersRefused_data()
{
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("letters") << 27 << "abc"
                             << "RX RSSI upper limit (line 28): not a number";
    QTest::newRow("minus") << 28 << "-"
                           << "RX RSSI lower limit (line 29): not a number";
    QTest::newRow("empty") << 29 << ""
                           << "RX frequency offset upper limit (line 30): not a number";
    QTest::newRow("time-out 0") << 36 << "0"
                                << "time-out (line 37): out of range 1 to 999999";
    QTest::newRow("crossed") << 32 << "-10"
                             << "TX RSSI lower limit (line 33): not below the upper";
    QTest::newRow("offset") << 3 << "1,DUT1,D2,200,0"
                            << "TX RSSI calibration offset of DUT1 (line 4): out of range -128 "
                               "to 127";
}

// The settings file's numbers are checked as the window checks its boxes:
// a bad one names its field, and nothing runs or is logged.
void TestBenchrun::badNumbersRefused()
{
    QFETCH(int, line);
    QFETCH(QString, text);
    QFETCH(QString, message);
    m_fake->healthyGolden();
    m_fake->healthyDut(QStringLiteral("D1"));
    m_fake->healthyDut(QStringLiteral("D2"));
    QVERIFY(StationSetup::withDuts(2).write());
    QStringList lines = settingsLines();
    lines[line] = text;
    QByteArray bytes;
    for (const QString &l : lines)
        bytes += l.toUtf8() + ",\n";
    QVERIFY(touch(QStringLiteral("config/device_config.csv"), bytes));

    const Run run = benchrun({});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(m_fake->calls().isEmpty());
    QVERIFY(todaysLog().isEmpty());
    QVERIFY(todaysResults().isEmpty());
}

// A station.ini value that cannot be used as written (a port that is none)
// runs no cycle under a guessed default: benchrun names the line and stops.
void TestBenchrun::stationSettingsRefused()
{
    m_fake->healthyGolden();
    m_fake->healthyDut(QStringLiteral("D1"));
    QVERIFY(StationSetup::withDuts(1).write());
    QVERIFY(touch(QStringLiteral("config/station.ini"),
                  "[station]\nid=line2;st07\n\n[factory_db]\nhost=127.0.0.1\nport=abc\n"));
    const Run run = benchrun({});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("config/station.ini line 6: port=abc: not a port")),
             qPrintable(run.err));
    QVERIFY(m_fake->calls().isEmpty());
    QVERIFY(todaysLog().isEmpty());
}

// Two cycles over three DUTs: D1 passes, D2 fails its RX limit (its offset
// lifts the lower bound), D3 fails its download. The tables, the summary,
// the daily log, the results file and the settings file tell the same story,
// and the second cycle starts from the value D1 accepted.
void TestBenchrun::twoCycles()
{
    m_fake->healthyGolden();
    // D1 accepts -1 (start -3): offsets 4, 1, 3 (worse, back), 1.
    for (float f : {4.0f, 1.0f, 3.0f, 1.0f})
        m_fake->on(QStringLiteral("D1 rx_dut *"), FakeTool::rxAnswer(f));
    m_fake->healthyDut(QStringLiteral("D1"));
    m_fake->healthyDut(QStringLiteral("D2"));
    m_fake->on(QStringLiteral("D3 download *"), failText);
    m_fake->healthyDut(QStringLiteral("D3"));
    StationSetup setup = StationSetup::withDuts(3);
    setup.duts[1].rxCal = QStringLiteral("30"); // RX lower bound -75 + 30 = -45 > -52.5
    setup.total = 100;
    setup.passed = 90;
    setup.failed = 10;
    QVERIFY(setup.write());

    const Run run = benchrun({QStringLiteral("--cycles"), QStringLiteral("2")});
    QVERIFY(run.finished);
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.contains(QStringLiteral("Cycle 1 of 2: 3 DUT(s)")), qPrintable(run.out));
    QVERIFY(run.out.contains(QStringLiteral("Cycle 2 of 2: 3 DUT(s)")));
    // The engine's own console lines stay out without --verbose.
    QVERIFY(!run.err.contains(QStringLiteral("Start RX Test.")));

    const QStringList lines = run.out.split(QLatin1Char('\n'));
    QStringList d1, d2, d3;
    for (const QString &line : lines) {
        const QStringList f = line.simplified().split(QLatin1Char(' '));
        if (f.size() < 5)
            continue;
        if (f.at(1) == QLatin1String("DUT0"))
            d1 << line.simplified();
        else if (f.at(1) == QLatin1String("DUT1"))
            d2 << line.simplified();
        else if (f.at(1) == QLatin1String("DUT2"))
            d3 << line.simplified();
    }
    QCOMPARE(d1.size(), 2);
    QCOMPARE(d1.first(), QStringLiteral("0 DUT0 D1 a0:b1:c2:d3:e4:f6 PASS -45.00 -52.50 1.00 -1"));
    QCOMPARE(d2.first(), QStringLiteral("1 DUT1 D2 a0:b1:c2:d3:e4:f7 FAIL -45.00 -52.50 2.00 -3 "
                                        "rx rssi -52.50 < -45"));
    // The note of an error is the first error line of the DUT's log, with
    // what the chip tool said.
    QCOMPARE(d3.first(), QStringLiteral("2 DUT2 D3 a0:b1:c2:d3:e4:f8 ERROR (RX) - - - - RX "
                                        "donwload rambin error. (chip tool: Command execution "
                                        "error.)"));
    QVERIFY(run.out.contains(QStringLiteral("counters: total 103, passed 91, failed 12; next "
                                            "calibration starts at -1")));
    QVERIFY(run.out.contains(QStringLiteral("counters: total 106, passed 92, failed 14")));
    QVERIFY(run.out.contains(QStringLiteral("DUTs judged 6, passed 2, failed 4, yield 33.3 %")));
    QVERIFY(run.out.contains(QStringLiteral("daily log: ") + QDir::currentPath() +
                             QStringLiteral("/log/")));

    // The second cycle started from -1.
    const QStringList xtal = m_fake->callsStartingWith(QStringLiteral("D2 xtal_cap write ram"));
    QVERIFY(xtal.contains(QStringLiteral("D2 xtal_cap write ram -1")));
    QCOMPARE(xtal.first(), QStringLiteral("D2 xtal_cap write ram -3"));

    const QString log = QString::fromUtf8(todaysLog());
    QCOMPARE(log.count(QStringLiteral("测试开始:")), 2);
    QVERIFY(log.startsWith(QStringLiteral("第100次测试开始:\r\n")));
    QVERIFY(log.contains(QStringLiteral("第100次测试结束。\r\n第103次测试开始:\r\n")));
    QVERIFY(log.endsWith(QStringLiteral("第103次测试结束。\r\n")));

    const QList<QStringList> rows = todaysResultRows();
    QCOMPARE(rows.size(), 6);
    QCOMPARE(rows.at(0).at(1), QStringLiteral("100"));
    QCOMPARE(rows.at(0).last(), QStringLiteral("pass"));
    QCOMPARE(rows.at(1).last(), QStringLiteral("fail"));
    QCOMPARE(rows.at(2).last(), QStringLiteral("error"));
    QCOMPARE(rows.at(5).at(1), QStringLiteral("103"));

    const QStringList settings = settingsLines();
    QCOMPARE(settings.size(), 42);
    QCOMPARE(settings.at(37), QStringLiteral("106"));
    QCOMPARE(settings.at(38), QStringLiteral("92"));
    QCOMPARE(settings.at(39), QStringLiteral("14"));
    QCOMPARE(settings.at(40), QStringLiteral("-1")); // D1 accepted its start value again
    QCOMPARE(settings.at(3), QStringLiteral("1,DUT1,D2,0,30"));
}

// The golden machine fails: a station fault, which counts no DUT (total =
// passed + failed still), and the exit status tells it.
void TestBenchrun::goldenMachineFailure()
{
    m_fake->on(QStringLiteral("GM *"), failText);
    StationSetup setup = StationSetup::withDuts(2);
    setup.total = 5;
    setup.passed = 4;
    setup.failed = 1;
    QVERIFY(setup.write());
    const Run run = benchrun({});
    QCOMPARE(run.exitCode, 3);
    // The engine's text with what it says in English beside it; the daily
    // log keeps the engine's text alone.
    QVERIFY2(run.out.contains(QStringLiteral("the cycle did not finish: 获取金机MAC地址失败！ "
                                             "(could not read the golden machine's MAC address)")),
             qPrintable(run.out));
    const QString log = QString::fromUtf8(todaysLog());
    QVERIFY(log.contains(QStringLiteral("获取金机MAC地址失败！")));
    QVERIFY(!log.contains(QStringLiteral("MAC address")));
    QVERIFY(run.out.contains(QStringLiteral("not judged")));
    QVERIFY(run.out.contains(QStringLiteral("counters: total 5, passed 4, failed 1")));
    QVERIFY(run.out.contains(QStringLiteral("1 cycle(s) ended in a station error")));
    QCOMPARE(settingsLines().at(37), QStringLiteral("5"));
    QCOMPARE(settingsLines().at(39), QStringLiteral("1"));
    const QList<QStringList> rows = todaysResultRows();
    QCOMPARE(rows.size(), 2);
    for (const QStringList &row : rows)
        QCOMPARE(row.last(), QStringLiteral("not judged"));
}

// --json: standard output holds one JSON object a line and nothing else, a
// DUT's then the cycle's; a figure never measured is null, not 0. The
// tables go to standard error.
void TestBenchrun::jsonLines()
{
    m_fake->healthyGolden();
    m_fake->healthyDut(QStringLiteral("D1"));
    m_fake->on(QStringLiteral("D2 download *"), failText);
    m_fake->healthyDut(QStringLiteral("D2"));
    QVERIFY(StationSetup::withDuts(2).write());
    const Run run = benchrun({QStringLiteral("--json")});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.err.contains(QStringLiteral("Cycle 1 of 1: 2 DUT(s)")), qPrintable(run.err));
    const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QList<QJsonObject> objects;
    for (const QString &line : lines) {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(line.toUtf8(), &error);
        QVERIFY2(error.error == QJsonParseError::NoError && doc.isObject(), qPrintable(line));
        objects << doc.object();
    }
    const QJsonObject passed = objects.at(0);
    QCOMPARE(passed.value("type").toString(), QStringLiteral("dut"));
    QCOMPARE(passed.value("port").toString(), QStringLiteral("D1"));
    QCOMPARE(passed.value("verdict").toString(), QStringLiteral("pass"));
    QVERIFY(passed.value("crystal").isDouble());
    QVERIFY(passed.value("rx_rssi").toObject().value("mean").isDouble());
    const QJsonObject failed = objects.at(1);
    QCOMPARE(failed.value("verdict").toString(), QStringLiteral("error"));
    QCOMPARE(failed.value("failed_step").toString(), QStringLiteral("download"));
    QVERIFY(failed.value("crystal").isNull());
    for (const char *figure : {"rx_rssi", "freq", "tx_rssi"})
        QVERIFY(failed.value(QLatin1String(figure)).toObject().value("mean").isNull());
    const QJsonObject cycle = objects.at(2);
    QCOMPARE(cycle.value("type").toString(), QStringLiteral("cycle"));
    QCOMPARE(cycle.value("golden_crystal").toInt(), -3); // the fake golden machine's OTP
    QCOMPARE(cycle.value("passed").toInt(), 1);
    QCOMPARE(cycle.value("cycle_uid").toString(), passed.value("cycle_uid").toString());
    QVERIFY(!cycle.value("cycle_uid").toString().isEmpty());
}

// ./log is an ordinary file all along: the cycle runs and counts, the console
// says the blocks are pending and then shows them, and the status says the
// logs (and the cycle's record, with its reason) were not written.
void TestBenchrun::logsThatCannotBeWritten()
{
    m_fake->healthyGolden();
    m_fake->healthyDut(QStringLiteral("D1"));
    QVERIFY(StationSetup::withDuts(1).write());
    QVERIFY(touch(QStringLiteral("log")));
    const Run run = benchrun({});
    QCOMPARE(run.exitCode, 4);
    QVERIFY(run.err.contains(QStringLiteral("Can not creat the file path.")));
    QVERIFY(run.err.contains(QStringLiteral("1 block(s) not written yet")));
    QVERIFY2(run.err.contains(QStringLiteral("第0次测试开始:")), qPrintable(run.err));
    QVERIFY(run.out.contains(QStringLiteral("(NOT all written)")));
    // The summary says why the cycle's record waits, not only that it does.
    QVERIFY2(run.out.contains(QStringLiteral("(1 cycle(s) NOT recorded: cannot make the folder ")),
             qPrintable(run.out));
    QCOMPARE(settingsLines().at(38), QStringLiteral("1"));
}

void TestBenchrun::stopSignalMidCycle_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("name");
    QTest::newRow("SIGTERM") << int(SIGTERM) << 143 << "SIGTERM";
    QTest::newRow("SIGINT") << int(SIGINT) << 130 << "SIGINT";
    // A closed terminal or a logout: left to its default it killed benchrun
    // at once, its chip tools running on.
    QTest::newRow("SIGHUP") << int(SIGHUP) << 129 << "SIGHUP";
}

// A stop signal in the middle of a cycle stops it as the stop button does:
// the chip tool that runs is killed and reaped at once (not left to its
// step's 15 minutes), the cycle is neither counted nor logged, and the exit
// status tells the signal.
void TestBenchrun::stopSignalMidCycle()
{
    QFETCH(int, signal);
    QFETCH(int, status);
    QFETCH(QString, name);
    m_fake->on(QStringLiteral("GM tx_gm *"), QString(), QStringLiteral("hang,pid"));
    m_fake->healthyGolden();
    m_fake->healthyDut(QStringLiteral("D1"));
    StationSetup setup = StationSetup::withDuts(1);
    setup.timeOut = QStringLiteral("900000");
    setup.total = 7;
    QVERIFY(setup.write());

    // Not under nohup: a SIGHUP ignored here would stay ignored there.
    std::signal(SIGHUP, SIG_DFL);
    QProcess run;
    startBenchrun(run);
    QVERIFY(run.waitForStarted(5000));
    const qint64 tool = waitForToolPid(*m_fake);
    QVERIFY(tool > 0);
    ::kill(pid_t(run.processId()), signal);
    // The hung tool would answer after 2 minutes.
    QVERIFY(run.waitForFinished(60000));
    const QString err = QString::fromUtf8(run.readAllStandardError());
    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
    QVERIFY2(run.exitCode() == status, qPrintable(err));
    QVERIFY2(!toolRuns(tool), "the chip tool still runs");
    QVERIFY2(err.contains(QStringLiteral("stopped by ") + name), qPrintable(err));
    QCOMPARE(settingsLines().at(37), QStringLiteral("7"));
    QVERIFY(todaysLog().isEmpty());
    QVERIFY(todaysResultRows().isEmpty());
}

// One station program at a time in a station directory: a second benchrun
// refuses to start while the first runs, and says which one holds it. Once
// the first is killed (its lock left behind), the next one starts.
void TestBenchrun::secondStationRefused()
{
    m_fake->on(QStringLiteral("D1 download *"), QString(), QStringLiteral("hang,pid"));
    m_fake->healthyGolden();
    m_fake->healthyDut(QStringLiteral("D1"));
    QVERIFY(StationSetup::withDuts(1).write());
    QProcess first;
    startBenchrun(first);
    QVERIFY(first.waitForStarted(5000));
    const qint64 tool = waitForToolPid(*m_fake);
    QVERIFY(tool > 0);
    const int callsBefore = m_fake->calls().size();

    const Run second = benchrun({});
    QCOMPARE(second.exitCode, 1);
    QVERIFY2(second.err.contains(
                 QStringLiteral("in use by benchrun (process %1)").arg(first.processId())),
             qPrintable(second.err));
    QCOMPARE(m_fake->calls().size(), callsBefore);

    ::kill(pid_t(first.processId()), SIGKILL);
    QVERIFY(first.waitForFinished(5000));
    ::kill(pid_t(tool), SIGKILL);
    m_fake->clear();
    m_fake->healthyGolden();
    m_fake->healthyDut(QStringLiteral("D1"));
    const Run third = benchrun({});
    QVERIFY2(third.exitCode == 0, qPrintable(third.err));
    QVERIFY(third.out.contains(QStringLiteral("passed 1, failed 0")));
}

QTEST_GUILESS_MAIN(TestBenchrun)
#include "tst_benchrun.moc"
