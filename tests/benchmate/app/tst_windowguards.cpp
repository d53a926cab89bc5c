// What keeps an operator's slip from changing a verdict: the set-up is
// frozen while a cycle runs and every result reaches the row of its slot.
#include "faketool.h"
#include "mainwindow.h"
#include "stationdir.h"
#include "stationglobals.h"
#include "stationsetup.h"
#include "testthread.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

#include <memory>

namespace {

const QString startText = QStringLiteral("开始测试");
const QString stopText = QStringLiteral("停止测试");
const QString failText = QStringLiteral("Fail. Command execution error.");

template <typename T = QWidget>
T *find(const QObject &root, const char *name)
{
    T *found = root.findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no widget %s", name);
    return found;
}

} // namespace

class TestWindowGuards : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void resultsReachTheRowOfTheirSlot();

private:
    void openWindow();
    QString cell(int row, int column) const;
    QPushButton *button() const { return find<QPushButton>(*m_window, "pbnStartTest"); }
    QString label(const char *name) const { return find<QLabel>(*m_window, name)->text(); }
    QTableWidget *table() const { return find<QTableWidget>(*m_window, "tableWidget"); }
    // Replaces the whole text of a box as an operator does: select it, type.
    void retype(const char *name, const QString &text);
    // Types into a table cell and commits with Enter.
    void typeIntoCell(int row, int column, const QString &text);

    std::unique_ptr<FakeTool> m_fake;
    std::unique_ptr<MainWindow> m_window;
};

void TestWindowGuards::init()
{
    calVal.store(244);
    m_fake = std::make_unique<FakeTool>();
    QVERIFY(m_fake->isValid());
}

void TestWindowGuards::cleanup()
{
    m_window.reset();
    m_fake.reset();
}

void TestWindowGuards::openWindow()
{
    m_window = std::make_unique<MainWindow>();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
}

QString TestWindowGuards::cell(int row, int column) const
{
    const QTableWidgetItem *item = table()->item(row, column);
    return item ? item->text() : QString();
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
    openWindow();

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
        {1, QStringLiteral("通过"), QStringLiteral("-40")},
        {2, QStringLiteral("通过"), QStringLiteral("-50")},
        {3, QStringLiteral("通过"), QStringLiteral("-60")},
        {4, QStringLiteral("不通过"), QStringLiteral("-80")},
    };
    for (const auto &e : expected) {
        QCOMPARE(cell(e.row, MainWindow::colResult), e.verdict);
        QCOMPARE(cell(e.row, MainWindow::colRxResult), e.rx);
        QCOMPARE(cell(e.row, MainWindow::colTxResult), QStringLiteral("-45"));
    }
    QCOMPARE(label("labelTestAllNum"), QStringLiteral("4"));
    QCOMPARE(label("labelTestPassNum"), QStringLiteral("3"));
    QCOMPARE(label("labelTestFailNum"), QStringLiteral("1"));

    // After the cycle the set-up is the operator's again.
    QVERIFY(find(*m_window, "leRxRssiMin")->isEnabled());
    QVERIFY(m_window->rowCheckBox(2)->isEnabled());
    QVERIFY(find(*m_window, "pushButton_3")->isEnabled());
}

QTEST_MAIN(TestWindowGuards)
#include "tst_windowguards.moc"
