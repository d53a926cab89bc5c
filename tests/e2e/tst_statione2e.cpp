// The whole station end to end: Benchmate's window (offscreen) and benchrun
// against the real Chipctl and the simulated station. Every figure the
// window, the daily log and the results file show is checked against the
// simulator's chip model: a DUT's accepted crystal value lies within 2 of
// its optimum, its RX and TX RSSI follow its path loss, its MAC follows the
// golden machine's, and a DUT whose crystal never converges is an error.
//
// The station's short chip-tool steps (the UID and the DUT's MAC) must end
// within 1 s, and 24 DUT workers start them at about the same moment. On a
// 2-core machine that other work loads heavily, a step can run out of that
// time: the DUT then ends in an error whose log names the step. The window
// test accepts such DUTs as long as most DUTs pass, says how many it saw,
// and holds them to the same agreement between table, counters, log and
// results file; any other kind of failure fails the test.
#include "databaseconnection.h"
#include "dutmac.h"
#include "mainwindow.h"
#include "simstation.h"
#include "stationsetup.h"
#include "tooloutput.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableWidget>
#include <QtTest>

#include <cstdlib>

namespace {

const QString startText = QStringLiteral("开始测试");
// The simulator's golden machine and healthy DUTs (docs/simulator.md).
const QString goldenMac = QStringLiteral("02:54:4b:00:00:10");
constexpr int neverConverges = 5; // dut05, slot 4

int optimumOf(int dut)
{
    return (7 * dut) % 41 - 20;
}

int pathLossOf(int dut)
{
    return 42 + (5 * dut) % 14;
}

QString chipctlProgram()
{
    const QString fromEnvironment = qEnvironmentVariable("CHIPCTL_BIN");
    return fromEnvironment.isEmpty() ? QStringLiteral(CHIPCTL_PATH) : fromEnvironment;
}

QString expectedMac(int slot)
{
    toolOutput::macBytes bytes{};
    QString text;
    if (!toolOutput::parseGoldenMac(QStringLiteral("mac:") + goldenMac + QStringLiteral("\r\nOk."),
                                    &text, &bytes))
        return QString();
    QString mac;
    return dutMacFor(bytes, slot, &mac) ? mac : QString();
}

// A station directory of its own: Chipctl with its ramcode image, the device
// table the simulator writes, the logs. The working directory while it lives.
class E2eStation
{
public:
    bool prepare(const QStringList &simArgs)
    {
        if (!m_dir.isValid())
            return fail(QStringLiteral("no temporary directory"));
        const QString tool = m_dir.filePath(QStringLiteral("config/CHIPCTL/Chipctl"));
        m_ramcode = m_dir.filePath(QStringLiteral("config/CHIPCTL/Config/TK716A_RAM_BIN.bin"));
        if (!QDir().mkpath(m_dir.filePath(QStringLiteral("config/CHIPCTL/Config"))) ||
            !QFile::copy(chipctlProgram(), tool) ||
            !QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) ||
            !QFile::copy(QStringLiteral(RAMCODE_PATH), m_ramcode))
            return fail(QStringLiteral("cannot set up the station directory"));
        QStringList args = simArgs;
        args << QStringLiteral("--write-device-config")
             << m_dir.filePath(QStringLiteral("config/device_config.csv"))
             << QStringLiteral("--firmware-path") << m_ramcode;
        if (!m_sim.start(args))
            return fail(m_sim.errorText());
        m_previous = QDir::currentPath();
        return QDir::setCurrent(m_dir.path()) || fail(QStringLiteral("cannot change directory"));
    }

    ~E2eStation()
    {
        if (!m_previous.isEmpty())
            QDir::setCurrent(m_previous);
        m_sim.stop();
    }

    QString path() const { return m_dir.path(); }
    QString error() const { return m_error; }
    SimStation &sim() { return m_sim; }

private:
    bool fail(const QString &text)
    {
        m_error = text;
        return false;
    }

    QTemporaryDir m_dir;
    QString m_ramcode;
    QString m_previous;
    QString m_error;
    SimStation m_sim;
};

using Row = ResultRow;

// Chip-tool step failures of a DUT worker that a loaded machine can cause
// (a step that ran out of its time).
const char *const stepFailures[] = {
    "Can not set the serial port RTS and DTR.",
    "RX donwload rambin error.",
    "RX set gm mac error.",
    "RX get flash uuid error.",
    "RX set dut mac error.",
    "RX set freq offset error.",
    "RX get rx result error.",
};

bool stepFailed(const QString &dutLog)
{
    for (const char *failure : stepFailures) {
        if (dutLog.contains(QLatin1String(failure)))
            return true;
    }
    return false;
}

// The log lines of one DUT in the daily log's last block: its section runs
// from its "Start test" line to the next empty line.
QString lastDutLog(int slot)
{
    const QString log = QString::fromUtf8(todaysLog());
    const int start = log.lastIndexOf(QStringLiteral("Device DUT%1: Start test").arg(slot));
    if (start < 0)
        return QString();
    const int end = log.indexOf(QStringLiteral("\r\n\r\n"), start);
    return log.mid(start, end < 0 ? -1 : end - start);
}

// Checks one cycle's rows against the simulated station; `passed` gets the
// slots that passed, `stepErrors` the healthy DUTs that ended in a step
// failure.
void checkCycleRows(const QList<Row> &rows, int number, QList<int> *passed, int *stepErrors)
{
    QCOMPARE(rows.size(), 24);
    QSet<QString> uids;
    for (int slot = 0; slot < 24; ++slot) {
        const Row &row = rows.at(slot);
        const int dut = slot + 1;
        QCOMPARE(row.cycle(), number);
        QCOMPARE(row.slot(), slot);
        QCOMPARE(row.f.at(3), QStringLiteral("DUT%1").arg(slot));
        QCOMPARE(row.mac(), expectedMac(slot));
        if (!row.uid().isEmpty()) {
            QVERIFY2(
                QRegularExpression(QStringLiteral("^0x[0-9a-f]{32}$")).match(row.uid()).hasMatch(),
                qPrintable(row.uid()));
            uids.insert(row.uid());
        }
        const QString log = lastDutLog(slot);
        if (row.verdict() == QLatin1String("error")) {
            QCOMPARE(row.rxStatus(), QStringLiteral("fail"));
            QCOMPARE(row.txStatus(), QStringLiteral("not run"));
            QCOMPARE(row.f.at(7), QString());
            if (dut == neverConverges && log.contains(QStringLiteral("RX cal freq offset error.")))
                continue;
            QVERIFY2(stepFailed(log), qPrintable(QStringLiteral("dut%1: %2").arg(dut).arg(log)));
            qWarning("dut%02d: a chip-tool step ran out of time: %s", dut,
                     qPrintable(log.section(QStringLiteral("\r\n"), -1)));
            ++*stepErrors;
            continue;
        }
        QVERIFY2(dut != neverConverges, "the DUT that never converges passed");
        QCOMPARE(row.verdict(), QStringLiteral("pass"));
        QCOMPARE(row.rxStatus(), QStringLiteral("pass"));
        QCOMPARE(row.txStatus(), QStringLiteral("pass"));
        QVERIFY(!row.uid().isEmpty());
        QVERIFY2(qAbs(row.crystal() - optimumOf(dut)) <= 2,
                 qPrintable(QStringLiteral("dut%1 accepted %2, optimum %3")
                                .arg(dut)
                                .arg(row.crystal())
                                .arg(optimumOf(dut))));
        QVERIFY2(qAbs(row.rxAvg() - (2 - pathLossOf(dut))) <= 2,
                 qPrintable(QStringLiteral("dut%1 rx %2").arg(dut).arg(row.rxAvg())));
        QVERIFY2(qAbs(row.txAvg() - (0 - pathLossOf(dut))) <= 2,
                 qPrintable(QStringLiteral("dut%1 tx %2").arg(dut).arg(row.txAvg())));
        QVERIFY(qAbs(row.freqAvg()) < 5); // accepted below 5
        QVERIFY(log.contains(QStringLiteral("RX test success.")));
        QVERIFY(log.contains(QStringLiteral("TX test success.")));
        passed->append(slot);
    }
    // Every flash UID read is the chip's own.
    QVERIFY(uids.size() >= 24 - *stepErrors);
}

QList<Row> rowsOfCycle(int number)
{
    QList<Row> rows;
    const QList<QStringList> all = todaysResultRows();
    for (const QStringList &fields : all) {
        if (fields.size() == 20 && fields.at(1).toInt() == number)
            rows << Row{fields};
    }
    return rows;
}

} // namespace

class TestStationE2e : public QObject
{
    Q_OBJECT

private slots:
    void windowTwoCyclesOf24Duts();
    void benchrunTwoCycles();
};

// Two cycles in the window over 24 DUTs, dut05 never converging.
void TestStationE2e::windowTwoCyclesOf24Duts()
{
    QTemporaryDir scenarioDir;
    const QString scenario = scenarioDir.filePath(QStringLiteral("scenario.json"));
    {
        QFile file(scenario);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(R"({"chips": {"dut05": {"faults": {"xtalNeverConverges": true}}}})");
    }
    E2eStation station;
    QVERIFY2(station.prepare({QStringLiteral("--scenario"), scenario}),
             qPrintable(station.error()));

    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *button = window.findChild<QPushButton *>(QStringLiteral("pbnStartTest"));
    auto *table = window.findChild<QTableWidget *>(QStringLiteral("tableWidget"));
    const auto label = [&window](const char *name) {
        return window.findChild<QLabel *>(QLatin1String(name))->text();
    };
    const auto cell = [table](int row, int column) {
        const QTableWidgetItem *item = table->item(row, column);
        return item ? item->text() : QString();
    };
    QCOMPARE(window.controller().parameters().devices.size(), 0);

    uint32_t passedSoFar = 0;
    uint32_t failedSoFar = 0;
    QList<int> passedInCycle[2];
    for (int cycle = 0; cycle < 2; ++cycle) {
        QElapsedTimer clock;
        clock.start();
        button->click();
        QTRY_VERIFY_WITH_TIMEOUT(button->text() == startText && button->isEnabled(), 170000);
        const double seconds = double(clock.elapsed()) / 1000.0;
        QCOMPARE(window.controller().parameters().devices.size(), 24);

        const QList<Row> rows = rowsOfCycle(24 * cycle);
        int stepErrors = 0;
        QList<int> &passed = passedInCycle[cycle];
        checkCycleRows(rows, 24 * cycle, &passed, &stepErrors);
        if (QTest::currentTestFailed())
            return;
        qInfo("cycle %d of 24 DUTs: %.1f s, %d passed, %d failed (%d of them a step out of "
              "time)",
              cycle + 1, seconds, int(passed.size()), 24 - int(passed.size()), stepErrors);
        QVERIFY2(passed.size() >= 12, "fewer than half of the healthy DUTs passed");
        QVERIFY(!passed.contains(neverConverges - 1));

        // The table shows what the results file holds.
        for (int slot = 0; slot < 24; ++slot) {
            const int row = slot + 1;
            if (!passed.contains(slot)) {
                QCOMPARE(cell(row, MainWindow::colResult), QStringLiteral("发生错误"));
                QCOMPARE(cell(row, MainWindow::colTxResult), QString());
                continue;
            }
            QCOMPARE(cell(row, MainWindow::colResult), QStringLiteral("通过"));
            QCOMPARE(cell(row, MainWindow::colRxResult), rows.at(slot).f.at(10));
            QCOMPARE(cell(row, MainWindow::colTxResult), rows.at(slot).f.at(16));
            QCOMPARE(cell(row, MainWindow::colFreqResult), rows.at(slot).f.at(13));
        }
        QCOMPARE(cell(0, MainWindow::colResult), QString());
        QCOMPARE(label("labelSta"), QStringLiteral("测试失败"));
        passedSoFar += uint32_t(passed.size());
        failedSoFar += uint32_t(24 - passed.size());
        QCOMPARE(label("labelTestAllNum"), QString::number(24 * (cycle + 1)));
        QCOMPARE(label("labelTestPassNum"), QString::number(passedSoFar));
        QCOMPARE(label("labelTestFailNum"), QString::number(failedSoFar));
        // The next calibration starts where the last passing DUT ended.
        QVERIFY(!passed.isEmpty());
        QCOMPARE(int(window.controller().values().calStart()), rows.at(passed.last()).crystal());
    }

    const QString log = QString::fromUtf8(todaysLog());
    QCOMPARE(log.count(QStringLiteral("测试开始:")), 2);
    QVERIFY(log.startsWith(QStringLiteral("第0次测试开始:\r\n")));
    QVERIFY(log.contains(QStringLiteral("第0次测试结束。\r\n第24次测试开始:\r\n")));
    QVERIFY(log.endsWith(QStringLiteral("第24次测试结束。\r\n")));
    QCOMPARE(log.count(QStringLiteral(": Start test....")), 48);
    const int passes = int(passedSoFar);
    QCOMPARE(log.count(QStringLiteral("RX test success.")), passes);
    QCOMPARE(log.count(QStringLiteral("TX test success.")), passes);
    QCOMPARE(log.count(QStringLiteral(": Test end....")), passes);
    QCOMPARE(log.count(QStringLiteral(" Test end.\r\n")), 2); // the golden machine's
    QCOMPARE(todaysResultRows().size(), 48);
}

// benchrun --json: two cycles over six healthy DUTs, exit status 0, one
// JSON object per DUT and per cycle on its standard output (the cycle's
// under the uid the results database has it by), the tables and the summary
// on its standard error, the logs and counters as the window's.
void TestStationE2e::benchrunTwoCycles()
{
    E2eStation station;
    QVERIFY2(station.prepare({QStringLiteral("--duts"), QStringLiteral("6")}),
             qPrintable(station.error()));
    QProcess run;
    run.setProgram(QStringLiteral(BENCHRUN_PATH));
    run.setArguments({QStringLiteral("--cycles"), QStringLiteral("2"), QStringLiteral("--json")});
    QElapsedTimer clock;
    clock.start();
    run.start();
    QVERIFY(run.waitForStarted(5000));
    run.closeWriteChannel();
    if (!run.waitForFinished(170000)) {
        run.kill();
        run.waitForFinished(5000);
        QFAIL("benchrun did not end");
    }
    qInfo("benchrun, 2 cycles of 6 DUTs: %.1f s", double(clock.elapsed()) / 1000.0);
    const QString out = QString::fromUtf8(run.readAllStandardOutput());
    const QString err = QString::fromUtf8(run.readAllStandardError());
    QVERIFY2(run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0,
             qPrintable(out + err));
    QVERIFY(err.contains(QStringLiteral("Cycle 1 of 2: 6 DUT(s)")));
    QVERIFY(err.contains(QStringLiteral("Cycle 2 of 2: 6 DUT(s)")));
    QCOMPARE(err.count(QStringLiteral(" PASS ")), 12);
    QVERIFY(err.contains(QStringLiteral("DUTs judged 12, passed 12, failed 0, yield 100.0 %")));
    QVERIFY(err.contains(QStringLiteral("counters: total 12, passed 12, failed 0")));

    // Standard output: JSON lines only, six DUTs then their cycle, twice.
    const QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 14);
    QStringList cycleUids;
    for (int cycle = 0; cycle < 2; ++cycle) {
        const QJsonObject summary =
            QJsonDocument::fromJson(lines.at(cycle * 7 + 6).toUtf8()).object();
        QCOMPARE(summary.value(QStringLiteral("type")).toString(), QStringLiteral("cycle"));
        QCOMPARE(summary.value(QStringLiteral("run_cycle")).toInt(), cycle + 1);
        QCOMPARE(summary.value(QStringLiteral("passed")).toInt(), 6);
        QCOMPARE(summary.value(QStringLiteral("counters")).toObject().value("total").toInt(),
                 6 * (cycle + 1));
        QCOMPARE(summary.value(QStringLiteral("cycle_error")).toString(), QString());
        QVERIFY(summary.value(QStringLiteral("recorded")).toBool());
        // The golden machine's crystal value and the cycle's RX mean.
        QVERIFY(summary.value(QStringLiteral("golden_crystal")).isDouble());
        QVERIFY(
            summary.value(QStringLiteral("cycle_means")).toObject().value("rx_rssi").isDouble());
        const QString uid = summary.value(QStringLiteral("cycle_uid")).toString();
        QVERIFY(!uid.isEmpty());
        cycleUids << uid;
        for (int slot = 0; slot < 6; ++slot) {
            QJsonParseError parse;
            const QJsonDocument doc =
                QJsonDocument::fromJson(lines.at(cycle * 7 + slot).toUtf8(), &parse);
            QVERIFY2(parse.error == QJsonParseError::NoError, qPrintable(parse.errorString()));
            const QJsonObject dut = doc.object();
            QCOMPARE(dut.value(QStringLiteral("type")).toString(), QStringLiteral("dut"));
            QCOMPARE(dut.value(QStringLiteral("cycle_uid")).toString(), uid);
            QCOMPARE(dut.value(QStringLiteral("slot")).toInt(), slot);
            QCOMPARE(dut.value(QStringLiteral("verdict")).toString(), QStringLiteral("pass"));
            QCOMPARE(dut.value(QStringLiteral("mac")).toString().toUpper(),
                     expectedMac(slot).toUpper());
            QVERIFY(dut.value(QStringLiteral("crystal")).isDouble());
            QVERIFY(dut.value(QStringLiteral("tx_rssi")).toObject().value("mean").isDouble());
        }
    }
    QVERIFY(cycleUids.at(0) != cycleUids.at(1));
    {
        DatabaseConnection db(QStringLiteral("QSQLITE"));
        db.db().setDatabaseName(QStringLiteral("log/results.sqlite"));
        QVERIFY(db.db().open());
        QSqlQuery q(db.db());
        QVERIFY(q.exec(QStringLiteral("SELECT cycle_uid FROM cycles ORDER BY id")));
        QStringList recorded;
        while (q.next())
            recorded << q.value(0).toString();
        QCOMPARE(recorded, cycleUids);
    }

    const QString log = QString::fromUtf8(todaysLog());
    QVERIFY(log.startsWith(QStringLiteral("第0次测试开始:\r\n")));
    QVERIFY(log.contains(QStringLiteral("第0次测试结束。\r\n第6次测试开始:\r\n")));
    QCOMPARE(todaysResultRows().size(), 12);
    const QStringList settings = settingsLines();
    QCOMPARE(settings.at(37), QStringLiteral("12"));
    QCOMPARE(settings.at(38), QStringLiteral("12"));
    QCOMPARE(settings.at(39), QStringLiteral("0"));
}

QTEST_MAIN(TestStationE2e)
#include "tst_statione2e.moc"
