// What keeps an operator's slip from changing a verdict: the set-up is
// frozen while a cycle runs and every result reaches the row of its slot;
// typing mistakes stop the start instead of the judging; a station fault
// counts no DUT; a double click on start starts one cycle.
#include "mainwindow.h"
#include "stationdir.h"
#include "stationsetup.h"
#include "testthread.h"
#include "windowbench.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

#include <memory>

namespace {

// Closes every modal message box that comes up while it lives and keeps its
// texts.
class MessageBoxes : public QObject
{
public:
    MessageBoxes()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            m_texts << box->text();
            box->done(QMessageBox::Ok);
        });
        m_timer.start(10);
    }
    const QStringList &texts() const { return m_texts; }

private:
    QTimer m_timer;
    QStringList m_texts;
};

} // namespace

class TestWindowGuards : public QObject, private WindowBench
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void resultsReachTheRowOfTheirSlot();
    void typingMistakesStopTheStart_data();
    void typingMistakesStopTheStart();
    void stationFaultCountsNoDut();
    void doubleClickStartsOneCycle();

private:
    // The window, ready to be typed into.
    void openActiveWindow();
    // Replaces the whole text of a box as an operator does: select it, type.
    void retype(const char *name, const QString &text);
    // Types into a table cell and commits with Enter.
    void typeIntoCell(int row, int column, const QString &text);
};

void TestWindowGuards::init()
{
    QVERIFY(setUpBench());
}

void TestWindowGuards::cleanup()
{
    tearDownBench();
}

void TestWindowGuards::openActiveWindow()
{
    QVERIFY(openWindow());
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
}

void TestWindowGuards::retype(const char *name, const QString &text)
{
    auto *edit = find<QLineEdit>(*m_window, name);
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

void TestWindowGuards::typeIntoCell(int row, int column, const QString &text)
{
    table()->setFocus();
    table()->setCurrentCell(row, column);
    QTest::keyClick(table(), Qt::Key_F2);
    QWidget *editor = QApplication::focusWidget();
    QVERIFY(editor && editor != table());
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(editor, Qt::Key_Delete);
    QTest::keyClicks(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();
}

// Four DUTs, each with its own RX RSSI: DUT3 is outside the limits. While
// the cycle runs the operator unchecks DUT1 and raises the RX lower limit:
// neither changes the cycle. Even a row unchecked behind the window's back
// (as a stored file or a script might) leaves every figure on its own row.
void TestWindowGuards::resultsReachTheRowOfTheirSlot()
{
    m_fake->healthyGolden();
    const int rssi[] = {-40, -50, -60, -80};
    for (int i = 0; i < 4; ++i) {
        const QString port = QStringLiteral("D%1").arg(i + 1);
        m_fake->on(port + QStringLiteral(" rx_dut *"),
                   FakeTool::rxAnswer(2.0f, 20, 20, float(rssi[i])));
        m_fake->on(port + QStringLiteral(" rx_dut *"),
                   FakeTool::rxAnswer(3.0f, 20, 20, float(rssi[i])));
        m_fake->on(port + QStringLiteral(" rx_dut *"),
                   FakeTool::rxAnswer(2.0f, 20, 20, float(rssi[i])));
        m_fake->healthyDut(port);
    }
    // The last DUT's TX test keeps the cycle running a while.
    m_fake->on(QStringLiteral("D4 tx_dut *"), QStringLiteral("Ok."), QStringLiteral("sleep=1500"));
    QVERIFY(StationSetup::withDuts(4).write());
    openActiveWindow();

    button()->click();
    QCOMPARE(button()->text(), stopText);
    QTRY_VERIFY_WITH_TIMEOUT(!m_fake->callsStartingWith(QStringLiteral("D1 entry_boot")).isEmpty(),
                             10000);

    // The operator's attempts: a click on DUT1's enable box, a new RX lower
    // limit, a new TX calibration offset, another firmware.
    QTest::mouseClick(m_window->rowCheckBox(2), Qt::LeftButton);
    QVERIFY(m_window->rowCheckBox(2)->isChecked());
    retype("leRxRssiMin", QStringLiteral("-45"));
    QCOMPARE(find<QLineEdit>(*m_window, "leRxRssiMin")->text(), QStringLiteral("-75"));
    QVERIFY(!find(*m_window, "pushButton_3")->isEnabled());
    QCOMPARE(table()->editTriggers(), QAbstractItemView::NoEditTriggers);

    // Behind the window's back.
    m_window->rowCheckBox(2)->setChecked(false);
    find<QLineEdit>(*m_window, "leTxRssiMax")->setText(QStringLiteral("-50"));

    QTRY_COMPARE_WITH_TIMEOUT(button()->text(), startText, 30000);
    const struct
    {
        int row;
        QString verdict;
        QString rx;
    } expected[] = {
        {1, QStringLiteral("通过"), QStringLiteral("-40.00")},
        {2, QStringLiteral("通过"), QStringLiteral("-50.00")},
        {3, QStringLiteral("通过"), QStringLiteral("-60.00")},
        {4, QStringLiteral("不通过"), QStringLiteral("-80.00")},
    };
    for (const auto &e : expected) {
        QCOMPARE(cell(e.row, MainWindow::colResult), e.verdict);
        QCOMPARE(cell(e.row, MainWindow::colRxResult), e.rx);
        QCOMPARE(cell(e.row, MainWindow::colTxResult), QStringLiteral("-45.00"));
    }
    QCOMPARE(label("labelTestAllNum"), QStringLiteral("4"));
    QCOMPARE(label("labelTestPassNum"), QStringLiteral("3"));
    QCOMPARE(label("labelTestFailNum"), QStringLiteral("1"));

    // After the cycle the set-up is the operator's again.
    QVERIFY(find(*m_window, "leRxRssiMin")->isEnabled());
    QVERIFY(m_window->rowCheckBox(2)->isEnabled());
    QVERIFY(find(*m_window, "pushButton_3")->isEnabled());
}

void TestWindowGuards::typingMistakesStopTheStart_data()
{
    QTest::addColumn<QString>("box"); // a line edit, or "row,column" of a table cell
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown"); // what the box holds afterwards
    QTest::addColumn<QString>("field"); // how the message names it
    QTest::addColumn<QString>("problem");

    // clang-format off
    QTest::newRow("letters as RX upper limit")
        << "leRxRssiMax" << "abc" << "abc" << "RX RSSI上限" << "不是数字";
    // A letter O for a zero is kept and named, never read as 1.
    QTest::newRow("letter O in frequency upper limit")
        << "leRxFreqMax" << "1O" << "1O" << "RX 频偏上限" << "不是数字";
    // One decimal too many is refused, never rounded to -10.55.
    QTest::newRow("three decimals in frequency lower limit")
        << "leRxFreqMin" << "-10.555" << "-10.555" << "RX 频偏下限" << "最多 2 位小数";
    QTest::newRow("a lone minus as RX lower limit")
        << "leRxRssiMin" << "-" << "-" << "RX RSSI下限" << "不是数字";
    QTest::newRow("empty frequency upper limit")
        << "leRxFreqMax" << "" << "" << "RX 频偏上限" << "不是数字";
    QTest::newRow("empty time-out")
        << "leTimeOut" << "" << "" << "超时时间" << "不是数字";
    QTest::newRow("channel 300")
        << "leTestCha" << "300" << "300" << "测试信道" << "1 到 14";
    QTest::newRow("lower above upper")
        << "leTxRssiMin" << "-10" << "-10" << "TX RSSI下限" << "必须小于上限";
    QTest::newRow("TX offset 200")
        << "2,4" << "200" << "200" << "DUT1 TX RSSI校准值" << "-128 到 127";
    QTest::newRow("letter O in an RX offset")
        << "2,5" << "1O" << "1O" << "DUT1 RX RSSI校准值" << "不是数字";
    // clang-format on
}

// A typing mistake stays as typed and is marked in its box or cell, and is
// named before the cycle starts: nothing runs, nothing is counted or
// logged.
void TestWindowGuards::typingMistakesStopTheStart()
{
    QFETCH(QString, box);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(QString, field);
    QFETCH(QString, problem);

    m_fake->healthyGolden();
    m_fake->healthyDut(QStringLiteral("D1"));
    m_fake->healthyDut(QStringLiteral("D2"));
    QVERIFY(StationSetup::withDuts(2).write());
    openActiveWindow();

    if (box.contains(QLatin1Char(','))) {
        const int row = box.section(QLatin1Char(','), 0, 0).toInt();
        const int column = box.section(QLatin1Char(','), 1, 1).toInt();
        QVERIFY(m_window->cellToolTip(row, column).isEmpty());
        typeIntoCell(row, column, typed);
        QCOMPARE(cell(row, column), shown);
        // Marked in the cell, the reason on hover.
        const QString tip = m_window->cellToolTip(row, column);
        QVERIFY2(tip.contains(problem), qPrintable(tip));
        QCOMPARE(cellColour(row, column), QColor(QStringLiteral("#FFC0C0")));
    } else {
        auto *edit = find<QLineEdit>(*m_window, box.toLatin1().constData());
        const QString before = edit->text();
        QVERIFY(edit->toolTip().isEmpty());
        retype(box.toLatin1().constData(), typed);
        QCOMPARE(edit->text(), shown);
        // Marked where it was typed, with the reason, until corrected.
        QVERIFY2(edit->toolTip().contains(problem), qPrintable(edit->toolTip()));
        QVERIFY(!edit->styleSheet().isEmpty());
        edit->setText(before);
        QVERIFY(edit->toolTip().isEmpty());
        QVERIFY(edit->styleSheet().isEmpty());
        edit->setText(typed);
    }

    MessageBoxes boxes;
    QTest::mouseClick(button(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(boxes.texts().size(), 1, 2000);
    const QString message = boxes.texts().first();
    QVERIFY2(message.contains(field) && message.contains(problem), qPrintable(message));
    QCOMPARE(button()->text(), startText);
    QVERIFY(m_window->controller().cycle() == nullptr);
    QTest::qWait(200);
    QVERIFY(m_fake->calls().isEmpty());
    QCOMPARE(label("labelSta"), QStringLiteral("未开始"));
    QVERIFY(todaysLog().isEmpty());
}

// The golden machine answers nothing: the label says the station is at
// fault, and no DUT counts as failed. With no DUT enabled nothing starts.
void TestWindowGuards::stationFaultCountsNoDut()
{
    m_fake->on(QStringLiteral("GM *"), failText);
    StationSetup setup = StationSetup::withDuts(4);
    setup.total = 10;
    setup.passed = 9;
    setup.failed = 1;
    QVERIFY(setup.write());
    openActiveWindow();
    button()->click();
    QTRY_COMPARE_WITH_TIMEOUT(button()->text(), startText, 20000);
    QCOMPARE(label("labelSta"), QStringLiteral("金机故障"));
    QCOMPARE(cell(0, MainWindow::colResult), QStringLiteral("发生错误"));
    QCOMPARE(label("labelTestAllNum"), QStringLiteral("10"));
    QCOMPARE(label("labelTestPassNum"), QStringLiteral("9"));
    QCOMPARE(label("labelTestFailNum"), QStringLiteral("1"));
    m_window.reset();
    QCOMPARE(settingsLines().at(37), QStringLiteral("10"));
    QCOMPARE(settingsLines().at(39), QStringLiteral("1"));

    QVERIFY(StationSetup::withDuts(0).write());
    m_fake->clear();
    m_fake->healthyGolden();
    openActiveWindow();
    MessageBoxes boxes;
    button()->click();
    QTRY_COMPARE_WITH_TIMEOUT(boxes.texts().size(), 1, 2000);
    QVERIFY2(boxes.texts().first().contains(QStringLiteral("未选择任何待测设备")),
             qPrintable(boxes.texts().first()));
    QCOMPARE(label("labelSta"), QStringLiteral("未开始"));
    QVERIFY(m_fake->calls().isEmpty());
}

// Two clicks in quick succession start one cycle and leave it running; a
// click half a second later stops it.
void TestWindowGuards::doubleClickStartsOneCycle()
{
    m_fake->healthyGolden();
    m_fake->on(QStringLiteral("D1 entry_boot_mode"), QStringLiteral("Ok."),
               QStringLiteral("sleep=1500"));
    m_fake->healthyDut(QStringLiteral("D1"));
    QVERIFY(StationSetup::withDuts(1).write());
    openActiveWindow();

    // The two further clicks come well inside the half second, even on a
    // busy PC (a sanitizer build beside the test once stretched 250 ms of
    // waits past it).
    QElapsedTimer sinceStart;
    sinceStart.start();
    QTest::mouseClick(button(), Qt::LeftButton);
    QCOMPARE(button()->text(), stopText);
    QTest::qWait(20);
    QTest::mouseClick(button(), Qt::LeftButton);
    QTest::qWait(30);
    QTest::mouseClick(button(), Qt::LeftButton);
    if (sinceStart.elapsed() >= 500)
        QSKIP("the PC held the test back past the half second the guard covers");
    QCOMPARE(m_window->controller().state(), CycleController::Running);
    QCOMPARE(button()->text(), stopText);
    QCOMPARE(label("labelSta"), QStringLiteral("测试中"));

    QTest::qWait(500);
    QTest::mouseClick(button(), Qt::LeftButton);
    QCOMPARE(m_window->controller().state(), CycleController::Stopping);
    QTRY_COMPARE_WITH_TIMEOUT(m_window->controller().state(), CycleController::Idle, 15000);
    QCOMPARE(label("labelSta"), QStringLiteral("未开始"));
}

QTEST_MAIN(TestWindowGuards)
#include "tst_windowguards.moc"
