// The window's test control against the engine and a scripted chip tool:
// start, progress, results with their colours, counters and status label,
// the daily log and results file, stop, close, and the mode byte.
#include "cycletables.h"
#include "databaseconnection.h"
#include "localresultsdb.h"
#include "mainwindow.h"
#include "stationdir.h"
#include "stationsetup.h"
#include "testthread.h"
#include "windowbench.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTcpServer>
#include <QTranslator>
#include <QtTest>

#include <csignal>
#include <memory>
#include <sys/types.h>
#include <sys/wait.h>

class TestWindowControl : public QObject, private WindowBench
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void slotsInOrder();
    void wholeCycleShownCountedAndLogged();
    void limitsAndOffsetsFromTheWindow();
    void calValFromThePassingDeviceCarriesToTheNextCycle();
    void goldenMachineFailure();
    void stopDuringCycle();
    void closeDuringCycle();
    void closeWhileStopping();
    void modeByte();
    void logBlockPendingWhileLogIsAFile();
    void cycleRecordedAndWaitingForTheFactory();

private:
};

void TestWindowControl::init()
{
    QVERIFY(setUpBench());
}

void TestWindowControl::cleanup()
{
    tearDownBench();
}

// The window's slots, reachable through the meta-object system in this
// order; the start button's is connected by name.
void TestWindowControl::slotsInOrder()
{
    const QMetaObject &meta = MainWindow::staticMetaObject;
    const char *const order[] = {
        "paintEvent(QPaintEvent*)",
        "setTestStatusUI(TEST_STATUS)",
        "getTestResult()",
        "showTestResult()",
        "showProgress()",
        "clearShowTestResult()",
        "on_pushButton_3_clicked()",
        "on_checkBox_stateChanged(int)",
        "on_pbnClearNum_clicked()",
        "on_pbnStartTest_clicked()",
    };
    int previous = -1;
    for (const char *signature : order) {
        const int index = meta.indexOfSlot(signature);
        QVERIFY2(index > previous, signature);
        previous = index;
    }
    QCOMPARE(meta.method(meta.indexOfSlot("getTestResult()")).access(), QMetaMethod::Public);
    QCOMPARE(meta.method(meta.indexOfSlot("on_pbnStartTest_clicked()")).access(),
             QMetaMethod::Private);

    // Pressing the button starts a cycle: the connection by name is there.
    QVERIFY(StationSetup::withDuts(1).write());
    m_fake->healthyGolden();
    m_fake->healthyDut(QStringLiteral("D1"));
    QVERIFY(openWindow());
    QTest::mouseClick(button(), Qt::LeftButton);
    QCOMPARE(button()->text(), QStringLiteral("停止测试"));
    QVERIFY(m_window->controller().cycle() != nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(button()->text(), startText, 20000);
}

// Three of four DUT rows checked: the cycle gets exactly those, progress
// shows while it runs, and its end fills the table, counts, sets the status
// label and appends one log block and three result rows.
void TestWindowControl::wholeCycleShownCountedAndLogged()
{
    // A slow golden start shows the rows' progress at 0 % while the golden
    // machine is set up; a slow TX on D4 keeps the cycle running while D1
    // shows 100 %.
    m_fake->on(QStringLiteral("GM gm_mac"), QStringLiteral("mac:A0:B1:C2:D3:E4:F5\r\nOk."),
               QStringLiteral("sleep=500"));
    m_fake->on(QStringLiteral("D4 tx_dut *"), QStringLiteral("Ok."), QStringLiteral("sleep=800"));
    m_fake->healthyGolden();
    for (int i = 1; i <= 4; ++i)
        m_fake->healthyDut(QStringLiteral("D%1").arg(i));
    StationSetup setup = StationSetup::withDuts(4);
    setup.duts[2].enabled = false;
    setup.total = 40;
    setup.passed = 38;
    setup.failed = 2;
    QVERIFY(setup.write());
    QVERIFY(openWindow());
    QCOMPARE(label("labelTestAllNum"), QStringLiteral("40"));

    button()->click();
    QCOMPARE(button()->text(), stopText);
    QCOMPARE(label("labelSta"), QStringLiteral("测试中"));
    QVERIFY(m_window->controller().cycle() != nullptr);
    QCOMPARE(m_window->controller().parameters().devices.size(), 3);
    QCOMPARE(m_window->controller().parameters().gmPort, QStringLiteral("GM"));
    QCOMPARE(m_window->controller().parameters().timeOut, 20000u);
    QCOMPARE(m_window->controller().parameters().sendInterval, 100u);
    QCOMPARE(int(m_window->controller().parameters().testCha), 6);
    QCOMPARE(m_window->controller().parameters().logPath, QStringLiteral("./log"));
    QCOMPARE(m_window->controller().parameters().devices.at(2).port, QStringLiteral("D4"));
    QCOMPARE(m_window->controller().parameters().devices.at(2).name, QStringLiteral("DUT3"));
    QCOMPARE(m_window->controller().parameters().devices.at(2).slot, 3);
    QVERIFY(m_window->controller().parameters().devices.at(2).progressPtr ==
            &m_window->controller().values().progress[3]);

    // Progress percentages in column 3 of the checked rows while it runs,
    // starting from 0 rather than what the last cycle left.
    QTRY_COMPARE_WITH_TIMEOUT(cell(1, MainWindow::colResult), QStringLiteral("0%"), 400);
    QVERIFY(m_fake->callsStartingWith(QStringLiteral("D1 ")).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(cell(4, MainWindow::colResult), QStringLiteral("90%"), 10000);
    QCOMPARE(cell(1, MainWindow::colResult), QStringLiteral("100%"));
    QCOMPARE(cell(3, MainWindow::colResult), QString()); // unchecked row

    QTRY_COMPARE_WITH_TIMEOUT(button()->text(), startText, 20000);
    QVERIFY(button()->isEnabled());
    for (int row : {1, 2, 4}) {
        QCOMPARE(cell(row, MainWindow::colResult), QStringLiteral("通过"));
        QCOMPARE(cellColour(row, MainWindow::colResult), QColor(QStringLiteral("#00FF00")));
        QCOMPARE(cell(row, MainWindow::colTxResult), QStringLiteral("-45.00"));
        QCOMPARE(cell(row, MainWindow::colRxResult), QStringLiteral("-52.50"));
        QCOMPARE(cell(row, MainWindow::colFreqResult), QStringLiteral("2.00"));
    }
    QCOMPARE(cell(0, MainWindow::colResult), QString());
    QCOMPARE(cell(3, MainWindow::colResult), QString());
    QCOMPARE(label("labelSta"), QStringLiteral("测试通过"));
    QCOMPARE(label("labelTestAllNum"), QStringLiteral("43"));
    QCOMPARE(label("labelTestPassNum"), QStringLiteral("41"));
    QCOMPARE(label("labelTestFailNum"), QStringLiteral("2"));
    QVERIFY(m_fake->callsStartingWith(QStringLiteral("D3 ")).isEmpty());
    QCOMPARE(m_fake->callsStartingWith(QStringLiteral("GM rx_gm 100 20000 6")).size(), 1);

    // The log block is headed with the total before this cycle.
    const QString log = QString::fromUtf8(todaysLog());
    QVERIFY(log.startsWith(QStringLiteral("第40次测试开始:\r\n")));
    QVERIFY(log.endsWith(QStringLiteral("第40次测试结束。\r\n")));
    QVERIFY(log.contains(QStringLiteral("Device DUT3: Start test")));
    QVERIFY(log.contains(QStringLiteral("Test end.")));

    const QList<QStringList> rows = todaysResultRows();
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows.at(0).at(1), QStringLiteral("40"));
    QCOMPARE(rows.at(2).at(2), QStringLiteral("3")); // slot of DUT3
    QCOMPARE(rows.at(2).at(3), QStringLiteral("DUT3"));
    QCOMPARE(rows.at(2).at(4), QStringLiteral("D4"));
    QCOMPARE(rows.at(0).at(5), QStringLiteral("a0:b1:c2:d3:e4:f6"));
    QVERIFY(rows.at(0).at(6).startsWith(QStringLiteral("0x00112233")));
    QCOMPARE(rows.at(0).at(7), QStringLiteral("-3"));
    QCOMPARE(rows.at(0).last(), QStringLiteral("pass"));

    // The counters and the crystal value are what the settings file keeps.
    m_window.reset();
    const QStringList lines = settingsLines();
    QCOMPARE(lines.at(37), QStringLiteral("43"));
    QCOMPARE(lines.at(38), QStringLiteral("41"));
    QCOMPARE(lines.at(40), QStringLiteral("-3"));
}

// Decimal limits and signed 8-bit offsets as typed into the window.
void TestWindowControl::limitsAndOffsetsFromTheWindow()
{
    m_fake->healthyGolden(); // TX RSSI -45 on every DUT
    for (int i = 1; i <= 4; ++i)
        m_fake->healthyDut(QStringLiteral("D%1").arg(i));
    StationSetup setup = StationSetup::withDuts(4);
    setup.txRssiMax = QStringLiteral("11");
    setup.txRssiMin = QStringLiteral("-100");
    setup.duts[0].txCal = QStringLiteral("-56"); // upper bound -45, on it
    setup.duts[1].txCal = QStringLiteral("-57"); // upper bound -46, one beyond
    QVERIFY(setup.write());
    QVERIFY(openWindow());
    // freqAve is 2 on every DUT: 2.5 lets it through (it would be 0 read as
    // an integer, and fail).
    find<QLineEdit>(*m_window, "leRxFreqMax")->setText(QStringLiteral("2.5"));
    // Every DUT's RX RSSI mean is -52.5 (truncated, -52): on this bound it
    // passes; DUT3's RX offset lifts its bound above it.
    find<QLineEdit>(*m_window, "leRxRssiMin")->setText(QStringLiteral("-52.5"));
    m_window->findChild<QTableWidget *>(QStringLiteral("tableWidget"))
        ->item(4, MainWindow::colRxCal)
        ->setText(QStringLiteral("1"));

    QVERIFY(runCycle());
    QCOMPARE(cell(1, MainWindow::colResult), QStringLiteral("通过"));
    QCOMPARE(cell(2, MainWindow::colResult), QStringLiteral("不通过"));
    QCOMPARE(cellColour(2, MainWindow::colResult), QColor(QStringLiteral("#FF0000")));
    QCOMPARE(cell(2, MainWindow::colTxResult), QStringLiteral("-45.00")); // numbers still shown
    QCOMPARE(cell(3, MainWindow::colResult), QStringLiteral("通过"));
    QCOMPARE(cell(4, MainWindow::colResult), QStringLiteral("不通过"));
    QCOMPARE(label("labelSta"), QStringLiteral("测试失败"));
    QCOMPARE(label("labelTestPassNum"), QStringLiteral("2"));
    QCOMPARE(label("labelTestFailNum"), QStringLiteral("2"));
    QCOMPARE(label("labelTestAllNum"), QStringLiteral("4"));
}

// The first DUT fails its download (its result carries crystal value 0); the
// second accepts -1 after starting at -3. The next cycle starts at -1.
void TestWindowControl::calValFromThePassingDeviceCarriesToTheNextCycle()
{
    m_fake->healthyGolden();
    m_fake->on(QStringLiteral("D1 download *"), failText);
    m_fake->healthyDut(QStringLiteral("D1"));
    // D2: offsets 4 at -3, 1 at -1, 3 at 1 (worse): back to -1, 1 again,
    // accepted. Later runs answer 1 and are accepted at the start value.
    for (float f : {4.0f, 1.0f, 3.0f, 1.0f})
        m_fake->on(QStringLiteral("D2 rx_dut *"), FakeTool::rxAnswer(f));
    m_fake->healthyDut(QStringLiteral("D2"));
    QVERIFY(StationSetup::withDuts(2).write());
    QVERIFY(openWindow());
    QCOMPARE(int(m_window->controller().values().calStart()), -3);

    QVERIFY(runCycle());
    QCOMPARE(cell(1, MainWindow::colResult), QStringLiteral("发生错误"));
    QCOMPARE(cellColour(1, MainWindow::colResult), QColor(QStringLiteral("#FF0000")));
    QCOMPARE(cell(1, MainWindow::colTxResult), QString());
    QCOMPARE(cell(2, MainWindow::colResult), QStringLiteral("通过"));
    QCOMPARE(int(m_window->controller().values().calStart()), -1);
    QCOMPARE(label("labelTestFailNum"), QStringLiteral("1"));
    QCOMPARE(label("labelTestPassNum"), QStringLiteral("1"));
    QCOMPARE(label("labelSta"), QStringLiteral("测试失败"));

    m_fake->clear();
    m_fake->healthyGolden();
    m_fake->healthyDut(QStringLiteral("D1"));
    m_fake->healthyDut(QStringLiteral("D2"));
    QVERIFY(runCycle());
    const QStringList first = m_fake->callsStartingWith(QStringLiteral("D2 xtal_cap write ram"));
    QVERIFY(!first.isEmpty());
    QCOMPARE(first.first(), QStringLiteral("D2 xtal_cap write ram -1"));
    QCOMPARE(label("labelTestAllNum"), QStringLiteral("4"));

    // Two cycles, two blocks, headed 0 and 2.
    const QString log = QString::fromUtf8(todaysLog());
    QCOMPARE(log.count(QStringLiteral("测试开始:")), 2);
    QVERIFY(log.startsWith(QStringLiteral("第0次测试开始:")));
    QVERIFY(log.contains(QStringLiteral("第0次测试结束。\r\n第2次测试开始:\r\n")));
    const QList<QStringList> rows = todaysResultRows();
    QCOMPARE(rows.size(), 4);
    QCOMPARE(rows.at(0).last(), QStringLiteral("error"));
    QCOMPARE(rows.at(0).at(7), QString()); // no crystal value accepted
    QCOMPARE(rows.at(1).at(7), QStringLiteral("-1"));
    QCOMPARE(rows.at(2).at(1), QStringLiteral("2"));
}

// The golden machine does not answer: the cycle ends without results, its
// row shows the error, the label the golden machine's fault, no DUT is
// counted, and the log and results still record it.
void TestWindowControl::goldenMachineFailure()
{
    m_fake->on(QStringLiteral("GM *"), failText);
    QVERIFY(StationSetup::withDuts(3).write());
    QVERIFY(openWindow());
    QVERIFY(runCycle());
    QCOMPARE(cell(0, MainWindow::colResult), QStringLiteral("发生错误"));
    QCOMPARE(cellColour(0, MainWindow::colResult), QColor(QStringLiteral("#FF0000")));
    for (int row = 1; row <= 3; ++row)
        QCOMPARE(cell(row, MainWindow::colResult), QStringLiteral("未判定"));
    QCOMPARE(label("labelSta"), QStringLiteral("金机故障"));
    QVERIFY(m_window->cellToolTip(0, MainWindow::colResult)
                .contains(QStringLiteral("获取金机MAC地址失败！")));
    QCOMPARE(label("labelTestFailNum"), QStringLiteral("0"));
    QCOMPARE(label("labelTestAllNum"), QStringLiteral("0"));
    QVERIFY(QString::fromUtf8(todaysLog()).contains(QStringLiteral("获取金机MAC地址失败！")));
    const QList<QStringList> rows = todaysResultRows();
    QCOMPARE(rows.size(), 3);
    for (const QStringList &row : rows)
        QCOMPARE(row.last(), QStringLiteral("not judged"));
}

// Stop during the RX phase: the button stays disabled until the engine has
// ended while the window keeps handling events; then nothing is shown,
// counted or logged, and the status returns to not started.
void TestWindowControl::stopDuringCycle()
{
    m_fake->healthyGolden();
    m_fake->on(QStringLiteral("D2 rx_dut *"), FakeTool::rxAnswer(2.0f),
               QStringLiteral("sleep=1500"));
    m_fake->healthyDut(QStringLiteral("D1"));
    m_fake->healthyDut(QStringLiteral("D2"));
    StationSetup setup = StationSetup::withDuts(2);
    setup.total = 7;
    setup.failed = 7;
    QVERIFY(setup.write());
    QVERIFY(openWindow());
    button()->click();
    QTRY_VERIFY_WITH_TIMEOUT(!m_fake->callsStartingWith(QStringLiteral("D2 rx_dut")).isEmpty(),
                             10000);
    QTRY_VERIFY_WITH_TIMEOUT(cell(1, MainWindow::colResult).endsWith(QLatin1Char('%')), 5000);

    // What the window looks like while the stop waits.
    struct Sample
    {
        bool enabled;
        QString status;
    };
    QList<Sample> samples;
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] {
        if (m_window->controller().state() == CycleController::Stopping)
            samples.append({button()->isEnabled(), label("labelSta")});
    });
    // Every pass of the event loop: a stop ends its chip tools at once, so
    // the window is stopping for some tens of milliseconds only.
    watch.start(0);
    MessageLog messages;
    button()->click();
    QVERIFY(!button()->isEnabled());
    // The window keeps handling its events until the controller says the
    // cycle has ended.
    QTRY_VERIFY_WITH_TIMEOUT(button()->isEnabled(), 15000);
    watch.stop();

    QVERIFY(m_window->controller().cycle()->isFinished());
    QVERIFY2(!samples.isEmpty(), "the window handled no events while stopping");
    for (const Sample &s : samples) {
        QVERIFY(!s.enabled);
        QCOMPARE(s.status, QStringLiteral("测试中"));
    }
    // Whether the first pass still saw the cycle thread running is up to
    // the PC: on a busy one the killed tool and the thread may both have
    // ended before the window's first pass. The window stayed stopping (and
    // kept handling events) until the controller said so, which is checked.
    QCOMPARE(messages.count(QStringLiteral("用户主动停止，正在停止测试中，请等待...")), 1);
    QCOMPARE(messages.count(QStringLiteral("已经停止测试")), 1);
    QVERIFY(button()->isEnabled());
    QCOMPARE(button()->text(), startText);
    QCOMPARE(label("labelSta"), QStringLiteral("未开始"));
    QCOMPARE(label("labelTestAllNum"), QStringLiteral("7"));
    QCOMPARE(label("labelTestFailNum"), QStringLiteral("7"));
    QCOMPARE(label("labelTestPassNum"), QStringLiteral("0"));
    QVERIFY(!find<QTimer>(*m_window, "pollTimer")->isActive());
    // Nothing of the stopped cycle stays beside "not started": no
    // percentage, no verdicts, no numbers, no reason.
    for (int row = 0; row < 3; ++row) {
        for (int column : {int(MainWindow::colResult), int(MainWindow::colTxResult),
                           int(MainWindow::colRxResult), int(MainWindow::colFreqResult)})
            QCOMPARE(cell(row, column), QString());
        QCOMPARE(m_window->cellToolTip(row, MainWindow::colResult), QString());
    }
    QTest::qWait(250); // a poll tick would handle a cycle still marked running
    QCOMPARE(label("labelSta"), QStringLiteral("未开始"));
    QVERIFY(!QFile::exists(QStringLiteral("log/") +
                           QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) +
                           QStringLiteral(".txt")));
    QVERIFY(todaysResults().isEmpty());

    // A start after the stop runs a full cycle again.
    m_fake->clear();
    m_fake->healthyGolden();
    m_fake->healthyDut(QStringLiteral("D1"));
    m_fake->healthyDut(QStringLiteral("D2"));
    QVERIFY(runCycle());
    QCOMPARE(label("labelTestAllNum"), QStringLiteral("9"));
    QVERIFY(todaysLog().startsWith("\xe7\xac\xac"
                                   "7"));
}

// Closing the window during a chip-tool run saves the settings, stops the
// cycle and closes the window once the cycle has ended: no chip tool is left
// running.
void TestWindowControl::closeDuringCycle()
{
    m_fake->healthyGolden();
    m_fake->on(QStringLiteral("D1 rx_dut *"), FakeTool::rxAnswer(2.0f),
               QStringLiteral("pid,sleep=2000"));
    m_fake->healthyDut(QStringLiteral("D1"));
    QVERIFY(StationSetup::withDuts(1).write());
    QVERIFY(openWindow());
    find<QLineEdit>(*m_window, "leTestCha")->setText(QStringLiteral("11"));
    button()->click();
    QTRY_VERIFY_WITH_TIMEOUT(m_fake->lastPid() > 0, 10000);
    const qint64 pid = m_fake->lastPid();
    QVERIFY(::kill(pid_t(pid), 0) == 0); // the chip tool runs

    QVERIFY(!m_window->close()); // not yet: the cycle is stopping
    QVERIFY(m_window->isVisible());
    QVERIFY(!button()->isEnabled());
    QCOMPARE(settingsLines().at(34), QStringLiteral("11")); // saved first
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->isVisible(), 15000);
    QVERIFY(m_window->controller().cycle()->isFinished());
    // Reaped by the engine: no such process any more.
    QVERIFY(::kill(pid_t(pid), 0) != 0);
    QCOMPARE(label("labelTestAllNum"), QStringLiteral("0"));
    m_window.reset();
    QCOMPARE(settingsLines().at(34), QStringLiteral("11"));
    QVERIFY(todaysLog().isEmpty());
}

// A close that comes while a stop is waiting closes the window once the
// cycle has ended.
void TestWindowControl::closeWhileStopping()
{
    m_fake->healthyGolden();
    m_fake->on(QStringLiteral("D1 rx_dut *"), FakeTool::rxAnswer(2.0f),
               QStringLiteral("sleep=800"));
    m_fake->healthyDut(QStringLiteral("D1"));
    QVERIFY(StationSetup::withDuts(1).write());
    QVERIFY(openWindow());
    button()->click();
    QTRY_VERIFY_WITH_TIMEOUT(!m_fake->callsStartingWith(QStringLiteral("D1 rx_dut")).isEmpty(),
                             10000);
    bool closedAtOnce = true;
    bool stoppingWhenClosed = false;
    QTimer::singleShot(0, this, [&] {
        stoppingWhenClosed = m_window->controller().state() == CycleController::Stopping;
        closedAtOnce = m_window->close();
    });
    button()->click(); // the stop, during which the close arrives
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->isVisible(), 10000);
    QVERIFY(stoppingWhenClosed);
    QVERIFY(!closedAtOnce);
    QVERIFY(m_window->controller().cycle()->isFinished());
}

// The mode byte becomes 1 after a cycle that ended on its own while the
// settings file's auto-test flag is 1, and stays 1. A stopped cycle does
// not count; with the flag 0 it stays 0.
void TestWindowControl::modeByte()
{
    m_fake->healthyGolden();
    // The first cycle's boot-mode entry is slow enough to stop it.
    m_fake->on(QStringLiteral("D1 entry_boot_mode"), QStringLiteral("Ok."),
               QStringLiteral("sleep=1500"));
    m_fake->healthyDut(QStringLiteral("D1"));
    StationSetup setup = StationSetup::withDuts(1);
    setup.autoTest = 1;
    QVERIFY(setup.write());
    QVERIFY(openWindow());

    button()->click();
    QCOMPARE(int(m_window->controller().cycle()->mode()), 0);
    QTest::qWait(MainWindow::clickGuardMs + 100); // not the rest of a double click
    button()->click();                            // stop
    QCOMPARE(m_window->controller().state(), CycleController::Stopping);
    QTRY_VERIFY_WITH_TIMEOUT(button()->isEnabled(), 10000);
    QTest::qWait(MainWindow::clickGuardMs);
    button()->click(); // start again
    QCOMPARE(int(m_window->controller().cycle()->mode()), 0);
    QTRY_COMPARE_WITH_TIMEOUT(button()->text(), startText, 20000);

    QVERIFY(runCycle());
    QCOMPARE(int(m_window->controller().cycle()->mode()), 1);
    // Clearing the check box changes only what is saved.
    find<QCheckBox>(*m_window, "cbAutoTest")->setChecked(false);
    QVERIFY(runCycle());
    QCOMPARE(int(m_window->controller().cycle()->mode()), 1);
    m_window.reset();
    QCOMPARE(settingsLines().at(41), QStringLiteral("0"));

    // With the flag 0 the byte stays 0.
    QVERIFY(openWindow());
    QVERIFY(runCycle());
    QVERIFY(runCycle());
    QCOMPARE(int(m_window->controller().cycle()->mode()), 0);
}

// The window's first cycle ends while ./log is an ordinary file: its block
// waits; the second cycle writes both, in order.
void TestWindowControl::logBlockPendingWhileLogIsAFile()
{
    m_fake->healthyGolden();
    m_fake->healthyDut(QStringLiteral("D1"));
    QVERIFY(StationSetup::withDuts(1).write());
    {
        QFile file(QStringLiteral("log"));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QVERIFY(openWindow());
    {
        MessageLog messages;
        QVERIFY(runCycle());
        QCOMPARE(messages.count(QStringLiteral("Can not creat the file path.")), 1);
        QCOMPARE(messages.count(QStringLiteral("1 block(s) not written yet")), 1);
    }
    QCOMPARE(label("labelTestAllNum"), QStringLiteral("1"));
    QVERIFY(QFile::remove(QStringLiteral("log")));
    QVERIFY(runCycle());
    const QString log = QString::fromUtf8(todaysLog());
    QVERIFY(log.startsWith(QStringLiteral("第0次测试开始:")));
    QVERIFY(log.contains(QStringLiteral("第0次测试结束。\r\n第1次测试开始:")));
    QVERIFY(log.endsWith(QStringLiteral("第1次测试结束。\r\n")));
    const QList<QStringList> rows = todaysResultRows();
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows.at(0).at(1), QStringLiteral("0"));
    QCOMPARE(rows.at(1).at(1), QStringLiteral("1"));
}

// With a factory database that cannot be reached, the cycle is recorded in
// the station's own database under the station's id, and the status bar
// says it waits and why.
void TestWindowControl::cycleRecordedAndWaitingForTheFactory()
{
    QString dbError;
    m_fake->healthyGolden();
    m_fake->healthyDut(QStringLiteral("D1"));
    QVERIFY(StationSetup::withDuts(1).write());
    int closedPort = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        closedPort = probe.serverPort();
    }
    QFile ini(QStringLiteral("config/station.ini"));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write(QStringLiteral("[station]\nid=line3-st9\n[factory_db]\nhost=127.0.0.1\nport=%1\n"
                             "name=results\nuser=station\n")
                  .arg(closedPort)
                  .toUtf8());
    ini.close();
    QVERIFY(openWindow());
    QVERIFY(runCycle());
    QTRY_COMPARE_WITH_TIMEOUT(m_window->resultsStatusText(),
                              QStringLiteral("工厂数据库：1 个周期等待上传（无法连接）"), 15000);
    QTRY_COMPARE(label("labelResults"), m_window->resultsStatusText());
    // The note follows the window's language.
    {
        QTranslator english;
        QVERIFY(english.load(QStringLiteral(":/i18n/Benchmate_en")));
        QCoreApplication::installTranslator(&english);
        QTRY_COMPARE(
            label("labelResults"),
            QStringLiteral("Factory database: 1 cycles waiting for upload (cannot connect)"));
        QCoreApplication::removeTranslator(&english);
    }

    DatabaseConnection c(QStringLiteral("QSQLITE"));
    QString error;
    QVERIFY2(LocalResultsDb::open(c, QStringLiteral("log/results.sqlite"),
                                  LocalResultsDb::ForReading, &error),
             qPrintable(error));
    CycleTables tables(c);
    QList<CycleRecord> cycles;
    QList<qint64> ids;
    QVERIFY(tables.readAfter(0, 10, &cycles, &ids, &dbError));
    QCOMPARE(cycles.size(), 1);
    QCOMPARE(cycles.at(0).stationId, QStringLiteral("line3-st9"));
    QCOMPARE(cycles.at(0).number, 0);
    QCOMPARE(cycles.at(0).duts.size(), 1);
    QCOMPARE(cycles.at(0).duts.at(0).verdict, QStringLiteral("pass"));
    QCOMPARE(cycles.at(0).duts.at(0).mac, QStringLiteral("a0:b1:c2:d3:e4:f6"));
}

QTEST_MAIN(TestWindowControl)
#include "tst_windowcontrol.moc"
