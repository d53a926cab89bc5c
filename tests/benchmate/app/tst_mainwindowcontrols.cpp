// The window's own reactions: lock parameters, the firmware chooser, the
// status label, the counters and the table geometry.
#include "mainwindow.h"
#include "stationdir.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <memory>

namespace {

template <typename T = QWidget>
T *find(const QObject &root, const char *name)
{
    T *found = root.findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no widget %s", name);
    return found;
}

QMap<QWidget *, bool> enabledStates(const QWidget &root)
{
    QMap<QWidget *, bool> states;
    for (QWidget *w : root.findChildren<QWidget *>())
        states.insert(w, w->isEnabled());
    return states;
}

// What the critical message box showed before the test closed it.
struct SeenBox
{
    bool seen = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

// Watches for a modal message box and closes it with `answer` once it is up.
// Bounded: it gives up after `ms`, so a box that never comes fails the test
// instead of hanging it.
std::shared_ptr<SeenBox> closeNextMessageBox(int ms = 5000,
                                             QMessageBox::StandardButton answer = QMessageBox::No)
{
    auto seen = std::make_shared<SeenBox>();
    auto *timer = new QTimer;
    auto *clock = new QElapsedTimer;
    clock->start();
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [seen, timer, clock, ms, answer] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box) {
            seen->seen = true;
            seen->title = box->windowTitle();
            seen->text = box->text();
            seen->icon = box->icon();
            seen->buttons = box->standardButtons();
            box->button(answer)->click();
        }
        if (box || clock->elapsed() > ms) {
            timer->stop();
            timer->deleteLater();
            delete clock;
        }
    });
    timer->start();
    return seen;
}

const char *const lockedEdits[] = {"leFilePath",  "leRxRssiMax", "leRxRssiMin", "leRxFreqMax",
                                   "leRxFreqMin", "leTxRssiMax", "leTxRssiMin", "leSendInterval",
                                   "leTestCha",   "leTimeOut"};

} // namespace

class TestMainWindowControls : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void lockDisablesExactlyTheParameters();
    void lockForbidsTableEdits();
    void firmwareAccepted();
    void firmwareRejected_data();
    void firmwareRejected();
    void firmwareDialogStartsInPathDirectory_data();
    void firmwareDialogStartsInPathDirectory();
    void statusLabel_data();
    void statusLabel();
    void statusLabelIgnoresUnknownValue();
    void counters();
    void clearCounters();
    void tableGeometry();

private:
    // Opens the table cell for editing as an operator would: select it and
    // type, then press Enter. Returns the cell's text afterwards.
    QString typeIntoCell(int row, int column, const QString &text);

    std::unique_ptr<StationDir> m_dir;
    std::unique_ptr<MainWindow> m_window;
    QStringList m_dialogCalls;
    QWidget *m_dialogParent = nullptr;
    QString m_dialogAnswer;
};

void TestMainWindowControls::init()
{
    m_dir = std::make_unique<StationDir>();
    QVERIFY(m_dir->isValid());
    m_dialogCalls.clear();
    m_dialogParent = nullptr;
    m_window = std::make_unique<MainWindow>();
    m_window->setOpenFileDialog(
        [this](QWidget *parent, const QString &caption, const QString &dir, const QString &filter) {
            m_dialogParent = parent;
            m_dialogCalls << caption << dir << filter;
            return m_dialogAnswer;
        });
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
}

void TestMainWindowControls::cleanup()
{
    m_window.reset();
    m_dir.reset();
}

QString TestMainWindowControls::typeIntoCell(int row, int column, const QString &text)
{
    auto *table = find<QTableWidget>(*m_window, "tableWidget");
    table->setFocus();
    table->setCurrentCell(row, column);
    // The first key opens the editor (when editing is allowed), which then
    // takes the focus and the remaining keys.
    for (const QChar c : text)
        QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
    // Enter commits through a queued call of the item delegate.
    if (QWidget *editor = QApplication::focusWidget(); editor && editor != table)
        QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();
    return table->item(row, column)->text();
}

void TestMainWindowControls::lockDisablesExactlyTheParameters()
{
    // Every control is enabled (a tab bar's scroll arrows may be off).
    const QMap<QWidget *, bool> before = enabledStates(*m_window);
    for (auto it = before.begin(); it != before.end(); ++it)
        QVERIFY2(it.value() || qobject_cast<QToolButton *>(it.key()),
                 qPrintable(it.key()->objectName()));

    QTest::mouseClick(find<QCheckBox>(*m_window, "checkBox"), Qt::LeftButton);
    QVERIFY(find<QCheckBox>(*m_window, "checkBox")->isChecked());

    QSet<QWidget *> expected;
    for (const char *name : lockedEdits)
        expected.insert(find(*m_window, name));
    for (int row = 0; row < MainWindow::tableRows; ++row)
        expected.insert(m_window->rowCheckBox(row));
    expected.insert(find(*m_window, "pushButton_3")); // the firmware chooser too
    QCOMPARE(expected.size(), 36);

    const QMap<QWidget *, bool> locked = enabledStates(*m_window);
    for (auto it = locked.begin(); it != locked.end(); ++it)
        QVERIFY2(it.value() == (before.value(it.key()) && !expected.contains(it.key())),
                 qPrintable(it.key()->objectName()));
    QCOMPARE(find<QTableWidget>(*m_window, "tableWidget")->editTriggers(),
             QAbstractItemView::NoEditTriggers);

    // The firmware cannot be chosen while the parameters are locked.
    m_dialogAnswer = QStringLiteral("/lab/fw.bin");
    QTest::mouseClick(find(*m_window, "pushButton_3"), Qt::LeftButton);
    QVERIFY(m_dialogCalls.isEmpty());
    QCOMPARE(find<QLineEdit>(*m_window, "leFilePath")->text(), QString());

    QTest::mouseClick(find<QCheckBox>(*m_window, "checkBox"), Qt::LeftButton);
    QVERIFY(!find<QCheckBox>(*m_window, "checkBox")->isChecked());
    QCOMPARE(enabledStates(*m_window), before);
    QCOMPARE(find<QTableWidget>(*m_window, "tableWidget")->editTriggers(),
             QAbstractItemView::AllEditTriggers);
}

void TestMainWindowControls::lockForbidsTableEdits()
{
    QCOMPARE(typeIntoCell(3, 2, QStringLiteral("COM7")), QStringLiteral("COM7"));

    find<QCheckBox>(*m_window, "checkBox")->setChecked(true);
    QCOMPARE(typeIntoCell(3, 2, QStringLiteral("COM9")), QStringLiteral("COM7"));
    QCOMPARE(typeIntoCell(4, 4, QStringLiteral("5")), QString());
    QTest::mouseClick(m_window->rowCheckBox(4), Qt::LeftButton);
    QVERIFY(!m_window->rowCheckBox(4)->isChecked());

    find<QCheckBox>(*m_window, "checkBox")->setChecked(false);
    QCOMPARE(typeIntoCell(4, 4, QStringLiteral("5")), QStringLiteral("5"));
    QTest::mouseClick(m_window->rowCheckBox(4), Qt::LeftButton);
    QVERIFY(m_window->rowCheckBox(4)->isChecked());
}

void TestMainWindowControls::firmwareAccepted()
{
    m_dialogAnswer = QStringLiteral("/opt/固件/fw.bin");
    QTest::mouseClick(find(*m_window, "pushButton_3"), Qt::LeftButton);
    QCOMPARE(m_dialogCalls, (QStringList{QStringLiteral("打开文件"), QDir::currentPath(),
                                         QStringLiteral("bin文件(*bin)")}));
    QCOMPARE(m_dialogParent, m_window.get());
    QCOMPARE(find<QLineEdit>(*m_window, "leFilePath")->text(), m_dialogAnswer);
}

void TestMainWindowControls::firmwareRejected_data()
{
    QTest::addColumn<QString>("answer");
    QTest::newRow("upper-case name") << "/opt/FW.BIN";
    QTest::newRow("cancelled") << "";
    QTest::newRow("no dot") << "/opt/fwbin";
    QTest::newRow("backup") << "/opt/fw.bin.bak";
}

void TestMainWindowControls::firmwareRejected()
{
    QFETCH(QString, answer);
    auto *path = find<QLineEdit>(*m_window, "leFilePath");
    path->setText(QStringLiteral("/old/ram.bin"));
    m_dialogAnswer = answer;
    const auto box = closeNextMessageBox();
    QTest::mouseClick(find(*m_window, "pushButton_3"), Qt::LeftButton);

    QVERIFY(box->seen);
    QCOMPARE(box->title, QStringLiteral("错误"));
    QCOMPARE(box->text, QStringLiteral("选择了无效的固件文件！"));
    QCOMPARE(box->icon, QMessageBox::Critical);
    QCOMPARE(box->buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(path->text(), QStringLiteral("/old/ram.bin"));
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
}

void TestMainWindowControls::firmwareDialogStartsInPathDirectory_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("startDir");
    // Start directories relative to the station directory.
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("relative") << "fw/ram.bin"
                              << "fw";
    QTest::newRow("absolute") << "/srv/images/ram.bin"
                              << "/srv/images";
}

void TestMainWindowControls::firmwareDialogStartsInPathDirectory()
{
    QFETCH(QString, path);
    QFETCH(QString, startDir);
    find<QLineEdit>(*m_window, "leFilePath")->setText(path);
    m_dialogAnswer = QStringLiteral("a.bin");
    QTest::mouseClick(find(*m_window, "pushButton_3"), Qt::LeftButton);
    const QString expected =
        startDir.isEmpty() ? QDir::currentPath() : QDir::current().absoluteFilePath(startDir);
    QCOMPARE(m_dialogCalls.value(1), expected);
}

void TestMainWindowControls::statusLabel_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("style");
    QTest::addColumn<QString>("text");
    QTest::newRow("not started") << int(TEST_NOT_STARTED) << "QLabel{background:#66B3FF;}"
                                 << "未开始";
    QTest::newRow("running") << int(TEST_RUNNING) << "QLabel{background:#FFFF37;}"
                             << "测试中";
    QTest::newRow("pass") << int(TEST_PASS) << "QLabel{background:#28FF28;}"
                          << "测试通过";
    QTest::newRow("fail") << int(TEST_FAIL) << "QLabel{background:#FF0000;}"
                          << "测试失败";
    QTest::newRow("waiting") << int(TEST_WAITING) << "QLabel{background:#66B3FF;}"
                             << "等待测试";
}

void TestMainWindowControls::statusLabel()
{
    QFETCH(int, status);
    QFETCH(QString, style);
    QFETCH(QString, text);
    // Start from a different state so a missing update shows.
    m_window->setTestStatusUI(status == TEST_FAIL ? TEST_PASS : TEST_FAIL);
    m_window->setTestStatusUI(TEST_STATUS(status));
    const auto *label = find<QLabel>(*m_window, "labelSta");
    QCOMPARE(label->styleSheet(), style);
    QCOMPARE(label->text(), text);
}

void TestMainWindowControls::statusLabelIgnoresUnknownValue()
{
    m_window->setTestStatusUI(TEST_PASS);
    m_window->setTestStatusUI(TEST_STATUS(6));
    m_window->setTestStatusUI(TEST_STATUS(-1));
    const auto *label = find<QLabel>(*m_window, "labelSta");
    QCOMPARE(label->styleSheet(), QStringLiteral("QLabel{background:#28FF28;}"));
    QCOMPARE(label->text(), QStringLiteral("测试通过"));
}

void TestMainWindowControls::counters()
{
    m_window->changeTestNum(7, 2, 4294967295u);
    QCOMPARE(find<QLabel>(*m_window, "labelTestPassNum")->text(), QStringLiteral("7"));
    QCOMPARE(find<QLabel>(*m_window, "labelTestFailNum")->text(), QStringLiteral("2"));
    QCOMPARE(find<QLabel>(*m_window, "labelTestAllNum")->text(), QStringLiteral("4294967295"));
}

// Clearing the counters asks first: "No" keeps them, "Yes" clears them.
void TestMainWindowControls::clearCounters()
{
    m_window.reset();
    m_dir->writeConfig(ConfigText::sample().bytes());
    m_window = std::make_unique<MainWindow>();
    QCOMPARE(find<QLabel>(*m_window, "labelTestPassNum")->text(), QStringLiteral("4294967292"));

    const auto no = closeNextMessageBox(); // answers No
    QTest::mouseClick(find(*m_window, "pbnClearNum"), Qt::LeftButton);
    QVERIFY(no->seen);
    QCOMPARE(no->icon, QMessageBox::Question);
    QCOMPARE(no->buttons, QMessageBox::Yes | QMessageBox::No);
    QVERIFY2(no->text.contains(QStringLiteral("清零")), qPrintable(no->text));
    QCOMPARE(find<QLabel>(*m_window, "labelTestPassNum")->text(), QStringLiteral("4294967292"));
    QCOMPARE(find<QLabel>(*m_window, "labelTestAllNum")->text(), QStringLiteral("4294967295"));

    const auto yes = closeNextMessageBox(5000, QMessageBox::Yes);
    QTest::mouseClick(find(*m_window, "pbnClearNum"), Qt::LeftButton);
    QVERIFY(yes->seen);
    for (const char *name : {"labelTestAllNum", "labelTestPassNum", "labelTestFailNum"})
        QCOMPARE(find<QLabel>(*m_window, name)->text(), QStringLiteral("0"));
    m_window.reset();
    const QStringList lines = ConfigText::linesOf(m_dir->readConfig());
    QCOMPARE(lines.mid(37, 3), (QStringList{"0", "0", "0"}));
}

void TestMainWindowControls::tableGeometry()
{
    auto *table = find<QTableWidget>(*m_window, "tableWidget");
    // Checked at a size where the 25 rows fit the test platform's large
    // font (the fit on the line's screens has a test of its own).
    m_window->resize(1400, 980);
    QTRY_VERIFY(table->width() > 900);
    QCoreApplication::processEvents();
    const auto check = [table] {
        const int base = table->viewport()->width() - 40;
        const double share[] = {0.13, 0.13, 0.12, 0.14, 0.12, 0.12, 0.12};
        QCOMPARE(table->columnWidth(0), 40);
        // A column is never narrower than its header needs; the others keep
        // their shares of what is left, one to another.
        const QHeaderView *header = table->horizontalHeader();
        double perShare = -1;
        for (int column = 1; column < 8; ++column) {
            const int width = table->columnWidth(column);
            QVERIFY(width >= header->sectionSizeHint(column));
            if (width == header->sectionSizeHint(column))
                continue;
            if (perShare < 0)
                perShare = width / share[column - 1];
            QVERIFY2(qAbs(width - perShare * share[column - 1]) <= 1.5,
                     qPrintable(QString::number(column)));
        }
        QVERIFY(perShare > 0);
        QVERIFY(perShare <= base);
        // The last column takes what is left, the rows share the height.
        QVERIFY(table->columnWidth(8) >= int(base * 0.12) - 1);
        int height = 0;
        for (int row = 0; row < 25; ++row)
            height += table->rowHeight(row);
        QVERIFY(qAbs(height - table->viewport()->height()) < 25);
        QVERIFY(!table->horizontalScrollBar()->isVisible());
    };
    check();

    m_window->resize(1500, 1000);
    QTRY_VERIFY(table->width() > 1000);
    QCoreApplication::processEvents();
    check();

    // A width set by hand lasts only until the next repaint of the window.
    table->setColumnWidth(2, 300);
    m_window->repaint();
    check();
}

QTEST_MAIN(TestMainWindowControls)
#include "tst_mainwindowcontrols.moc"
