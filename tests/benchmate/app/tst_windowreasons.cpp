// What a row tells the operator: a failure shows as it happens, and every
// row says on hover and in the details what failed and why: the step, the
// figure against its limit, the figures measured, the DUT's log lines.
#include "stationsetup.h"
#include "windowbench.h"

#include <QApplication>
#include <QCheckBox>
#include <QHelpEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QToolTip>
#include <QtTest>

#include <memory>

class TestWindowReasons : public QObject, private WindowBench
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void failureShownAsItHappens();
    void reasonOfEveryRow();

private:
    // What hovering over the cell shows.
    QString hover(int row, int column);
};

void TestWindowReasons::init()
{
    QVERIFY(setUpBench());
}

void TestWindowReasons::cleanup()
{
    tearDownBench();
}

QString TestWindowReasons::hover(int row, int column)
{
    QToolTip::hideText();
    const QRect rect = table()->visualItemRect(table()->item(row, column));
    QWidget *viewport = table()->viewport();
    QHelpEvent event(QEvent::ToolTip, rect.center(), viewport->mapToGlobal(rect.center()));
    QApplication::sendEvent(viewport, &event);
    return QToolTip::text();
}

// DUT1 never answers while DUT2 still calibrates: row 1 shows it in red at
// once, not its last percentage until the cycle ends, and says it as the
// chip tool did (the boot ROM never answered: the cable, not the firmware).
void TestWindowReasons::failureShownAsItHappens()
{
    m_fake->healthyGolden();
    m_fake->on(QStringLiteral("D1 download *"),
               QStringLiteral("Fail. Could not go in download mode."));
    m_fake->healthyDut(QStringLiteral("D1"));
    m_fake->healthyDut(QStringLiteral("D2"), QStringLiteral("sleep=1500"));
    QVERIFY(StationSetup::withDuts(2).write());
    QVERIFY(openWindow());

    button()->click();
    QTRY_COMPARE_WITH_TIMEOUT(cell(1, MainWindow::colResult), QStringLiteral("无应答"), 5000);
    QCOMPARE(m_window->controller().state(), CycleController::Running);
    QCOMPARE(table()->item(1, MainWindow::colResult)->background().color(),
             QColor(QStringLiteral("#FF0000")));
    QVERIFY(cell(2, MainWindow::colResult).endsWith(QLatin1Char('%')));
    const QString live = hover(1, MainWindow::colResult);
    QVERIFY2(live.contains(QStringLiteral("Could not go in download mode.")) &&
                 live.contains(QStringLiteral("线缆")) &&
                 !live.contains(QStringLiteral("固件被拒")),
             qPrintable(live));

    QTRY_COMPARE_WITH_TIMEOUT(button()->text(), startText, 30000);
    QCOMPARE(cell(1, MainWindow::colResult), QStringLiteral("发生错误"));
    const QString ended = hover(1, MainWindow::colResult);
    QVERIFY2(ended.contains(QStringLiteral("无应答")) &&
                 ended.contains(QStringLiteral("Could not go in download mode.")) &&
                 ended.contains(QStringLiteral("RX donwload rambin error.")),
             qPrintable(ended));
    QCOMPARE(cell(2, MainWindow::colResult), QStringLiteral("通过"));
}

// Four DUTs: one passes, one's TX RSSI is below its limit, one's crystal
// never converges, one refuses the ramcode. Each row says why, its figures
// stay where they were measured, and the DUT's log lines come with it.
void TestWindowReasons::reasonOfEveryRow()
{
    // The golden machine measures the DUTs in turn: D1, D2, D4.
    m_fake->on(QStringLiteral("GM tx_gm 1 *"), FakeTool::txAnswer(-45, 20));
    m_fake->on(QStringLiteral("GM tx_gm 1 *"), FakeTool::txAnswer(-80, 20));
    m_fake->healthyGolden();
    m_fake->healthyDut(QStringLiteral("D1"));
    m_fake->healthyDut(QStringLiteral("D2"));
    // D3 answers every RX test 7.5 kHz off: never closer, never accepted.
    for (const char *command : {"entry_boot_mode", "download ram 0x20000000 *", "test_dut mac_gm *",
                                "test_dut mac_dut *", "xtal_cap write *"})
        m_fake->on(QStringLiteral("D3 ") + QLatin1String(command), QStringLiteral("Ok."));
    m_fake->on(QStringLiteral("D3 uuid"), QStringLiteral("uid:0x0011\nOk."));
    m_fake->on(QStringLiteral("D3 rx_dut *"), FakeTool::rxAnswer(7.5f, 20, 20, -61.0f));
    m_fake->on(QStringLiteral("D4 download *"), failText);
    m_fake->healthyDut(QStringLiteral("D4"));
    QVERIFY(StationSetup::withDuts(4).write());
    QVERIFY(openWindow());

    button()->click();
    QTRY_COMPARE_WITH_TIMEOUT(button()->text(), startText, 60000);

    QCOMPARE(cell(1, MainWindow::colResult), QStringLiteral("通过"));
    QVERIFY(hover(1, MainWindow::colResult).contains(QStringLiteral("DUT0：通过")));
    const QString port = hover(1, MainWindow::colPort);
    QVERIFY2(port.startsWith(QStringLiteral("D1\n")), qPrintable(port));

    QCOMPARE(cell(2, MainWindow::colResult), QStringLiteral("不通过"));
    const QString tx = hover(2, MainWindow::colTxResult);
    QVERIFY2(tx.contains(QStringLiteral("TX RSSI -80.00 < -75（下限）")), qPrintable(tx));
    QVERIFY2(tx.contains(QStringLiteral("Device DUT1: Start test")), qPrintable(tx));

    // The crystal search: the step, its last mean offset, and the RX
    // figures it measured, still in the table.
    QCOMPARE(cell(3, MainWindow::colResult), QStringLiteral("发生错误"));
    QCOMPARE(cell(3, MainWindow::colRxResult), QStringLiteral("-61.00"));
    QCOMPARE(cell(3, MainWindow::colFreqResult), QStringLiteral("7.50"));
    QCOMPARE(cell(3, MainWindow::colTxResult), QString());
    const QString xtal = hover(3, MainWindow::colResult);
    QVERIFY2(xtal.contains(QStringLiteral("晶振校准未收敛")) &&
                 xtal.contains(QStringLiteral("最后平均频偏 7.5 kHz")) &&
                 xtal.contains(QStringLiteral("RX cal freq offset error.")),
             qPrintable(xtal));

    // Selecting the row shows the same below the table.
    table()->setCurrentCell(4, MainWindow::colName);
    const QString details = find<QPlainTextEdit>(*m_window, "textRowDetails")->toPlainText();
    QVERIFY2(details.contains(QStringLiteral("测试固件被拒")) &&
                 details.contains(QStringLiteral("Command execution error.")) &&
                 details.contains(QStringLiteral("RX donwload rambin error.")),
             qPrintable(details));
    QCOMPARE(details, hover(4, MainWindow::colName));

    // The operator empties DUT0's port and unchecks DUT2: those rows are no
    // longer the cycle's and show nothing of it, also when the window shows
    // the cycle again (as a language switch does); the others keep theirs.
    table()->item(1, MainWindow::colPort)->setText(QString());
    m_window->rowCheckBox(3)->setChecked(false);
    m_window->showTestResult();
    for (int row : {1, 3}) {
        for (int column : {int(MainWindow::colResult), int(MainWindow::colTxResult),
                           int(MainWindow::colRxResult), int(MainWindow::colFreqResult)})
            QCOMPARE(cell(row, column), QString());
        QCOMPARE(m_window->cellToolTip(row, MainWindow::colResult), QString());
    }
    QCOMPARE(cell(2, MainWindow::colResult), QStringLiteral("不通过"));
    QCOMPARE(cell(4, MainWindow::colResult), QStringLiteral("发生错误"));
}

QTEST_MAIN(TestWindowReasons)
#include "tst_windowreasons.moc"
