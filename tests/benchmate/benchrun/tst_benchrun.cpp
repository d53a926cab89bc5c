// benchrun, the console runner, as a program: its checks of the station
// set-up, and whole cycles against the scripted chip tool with the tables,
// the summary, the logs, the counters and the crystal value it carries.
#include "faketool.h"
#include "stationsetup.h"

#include <QProcess>
#include <QtTest>

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
    void unreadableSettingsFile();
    void noEnabledDevice();
    void noGoldenPort();
    void chipToolMissing();
    void firmwareMissing();
    void twoCycles();
    void goldenMachineFailure();
    void logsThatCannotBeWritten();

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

void TestBenchrun::unreadableSettingsFile()
{
    QVERIFY(touch(QStringLiteral("config/device_config.csv"), StationSetup().bytes() + "\n"));
    const Run run = benchrun({});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("is not a settings file Benchmate can read")),
             qPrintable(run.err));
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
    setup.duts[1].rxCal = QStringLiteral("30"); // RX lower bound -75 + 30 = -45 > -52
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
    QCOMPARE(d1.first(), QStringLiteral("0 DUT0 D1 a0:b1:c2:d3:e4:f6 PASS -45 -52 1 -1"));
    QCOMPARE(d2.first(),
             QStringLiteral("1 DUT1 D2 a0:b1:c2:d3:e4:f7 FAIL -45 -52 2 -3 rx rssi -52 < -45"));
    // The note of an error is the first error line of the DUT's log.
    QCOMPARE(d3.first(), QStringLiteral("2 DUT2 D3 a0:b1:c2:d3:e4:f8 ERROR (RX) - - - - RX "
                                        "donwload rambin error."));
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

// The golden machine fails: the cycle counts its DUTs as failed, and the
// exit status tells the station error.
void TestBenchrun::goldenMachineFailure()
{
    m_fake->on(QStringLiteral("GM *"), failText);
    QVERIFY(StationSetup::withDuts(2).write());
    const Run run = benchrun({});
    QCOMPARE(run.exitCode, 3);
    QVERIFY2(run.out.contains(QStringLiteral("the cycle did not finish: 获取金机MAC地址失败！")),
             qPrintable(run.out));
    QVERIFY(run.out.contains(QStringLiteral("ERROR (cycle)")));
    QVERIFY(run.out.contains(QStringLiteral("1 cycle(s) ended in a station error")));
    QCOMPARE(settingsLines().at(39), QStringLiteral("2"));
    QCOMPARE(todaysResultRows().size(), 2);
}

// ./log is an ordinary file all along: the cycle runs and counts, the console
// says the blocks are pending and then shows them, and the status says the
// logs were not written.
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
    QCOMPARE(settingsLines().at(38), QStringLiteral("1"));
}

QTEST_GUILESS_MAIN(TestBenchrun)
#include "tst_benchrun.moc"
