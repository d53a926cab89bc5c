// The window in English as well as Chinese: every text the operator reads
// in the window follows the language chosen in the menu, the choice is
// remembered, and nothing the station writes (the daily log, the results
// file, the settings file) changes with it.
#include "faketool.h"
#include "mainwindow.h"
#include "stationsetup.h"
#include "uitranslation.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTabWidget>
#include <QTableWidget>
#include <QtTest>

#include <memory>

namespace {

const QString failText = QStringLiteral("Fail. Command execution error.");

template <typename T = QWidget>
T *find(const QObject &root, const char *name)
{
    T *found = root.findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no widget %s", name);
    return found;
}

// Every text the window shows as its own: titles, labels, buttons, group
// boxes, tabs, menus, table headers and result cells.
QStringList shownTexts(const MainWindow &window)
{
    QStringList texts{window.windowTitle()};
    for (const QLabel *w : window.findChildren<QLabel *>())
        texts << w->text();
    for (const QAbstractButton *w : window.findChildren<QAbstractButton *>())
        texts << w->text();
    for (const QGroupBox *w : window.findChildren<QGroupBox *>())
        texts << w->title();
    for (const QAction *a : window.menuBar()->actions())
        texts << a->text();
    const auto *tabs = find<QTabWidget>(window, "tabWidget");
    for (int i = 0; i < tabs->count(); ++i)
        texts << tabs->tabText(i);
    for (const QTableWidget *t : window.findChildren<QTableWidget *>()) {
        for (int c = 0; c < t->columnCount(); ++c)
            texts << t->horizontalHeaderItem(c)->text();
    }
    const auto *table = find<QTableWidget>(window, "tableWidget");
    for (int row = 0; row < table->rowCount(); ++row)
        texts << table->item(row, MainWindow::colResult)->text();
    return texts;
}

QStringList chinese(const QStringList &texts)
{
    static const QRegularExpression han(QStringLiteral("\\p{Han}"));
    QStringList found;
    for (const QString &text : texts) {
        if (text.contains(han))
            found << text;
    }
    return found;
}

} // namespace

class TestWindowLanguage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void englishAndBack();
    void choiceRemembered();

private:
    QTemporaryDir m_userSettings;
    std::unique_ptr<FakeTool> m_fake;
    std::unique_ptr<MainWindow> m_window;
};

void TestWindowLanguage::initTestCase()
{
    // The operator's choice goes here, not into the user's own settings.
    QVERIFY(m_userSettings.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_userSettings.path());
}

void TestWindowLanguage::init()
{
    m_fake = std::make_unique<FakeTool>();
    QVERIFY(m_fake->isValid());
}

void TestWindowLanguage::cleanup()
{
    m_window.reset();
    m_fake.reset();
}

// A cycle in English: the window speaks English throughout (the reasons
// too), while the daily log, the results file and the settings file are
// byte for byte what the Chinese window writes. Back in Chinese, the window
// shows what it showed, what the operator typed kept.
void TestWindowLanguage::englishAndBack()
{
    m_fake->healthyGolden();
    m_fake->healthyDut(QStringLiteral("D1"));
    m_fake->on(QStringLiteral("D2 download *"), failText);
    m_fake->healthyDut(QStringLiteral("D2"));
    QVERIFY(StationSetup::withDuts(2).write());
    const QByteArray settingsBefore = StationSetup::withDuts(2).bytes();
    m_window = std::make_unique<MainWindow>();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    const QStringList chineseTexts = shownTexts(*m_window);

    QVERIFY(m_window->setLanguage(QStringLiteral("en")));
    QTRY_COMPARE(m_window->windowTitle(), QStringLiteral("Golden machine test station"));
    QCOMPARE(m_window->language(), QStringLiteral("en"));
    auto *button = find<QPushButton>(*m_window, "pbnStartTest");
    QCOMPARE(button->text(), QStringLiteral("Start test"));
    QCOMPARE(find<QLabel>(*m_window, "labelSta")->text(), QStringLiteral("Not started"));
    QCOMPARE(find<QLineEdit>(*m_window, "leFilePath")->text(), QStringLiteral("ram.bin"));

    button->click();
    QCOMPARE(button->text(), QStringLiteral("Stop test"));
    QTRY_COMPARE_WITH_TIMEOUT(button->text(), QStringLiteral("Start test"), 30000);
    const auto *table = find<QTableWidget>(*m_window, "tableWidget");
    QCOMPARE(table->item(1, MainWindow::colResult)->text(), QStringLiteral("Pass"));
    QCOMPARE(table->item(2, MainWindow::colResult)->text(), QStringLiteral("Error"));
    QCOMPARE(find<QLabel>(*m_window, "labelSta")->text(), QStringLiteral("Failed"));
    const QStringList left = chinese(shownTexts(*m_window));
    QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1String(" | "))));
    // The reason in English; the DUT's log lines quoted as the engine wrote them.
    const QString reason = m_window->cellToolTip(2, MainWindow::colResult);
    QVERIFY2(reason.startsWith(QStringLiteral("DUT1: error\nRamcode refused")), qPrintable(reason));
    QVERIFY(reason.contains(QStringLiteral("[错误]")));
    QVERIFY(reason.contains(QStringLiteral("RX donwload rambin error.")));

    // What the station wrote is the station's own text, whatever the window
    // speaks.
    const QString log = QString::fromUtf8(todaysLog());
    QVERIFY(log.startsWith(QStringLiteral("第0次测试开始:\r\n")));
    QVERIFY(log.endsWith(QStringLiteral("第0次测试结束。\r\n")));
    const QList<QStringList> rows = todaysResultRows();
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows.at(0).last(), QStringLiteral("pass"));
    QCOMPARE(rows.at(1).last(), QStringLiteral("error"));

    // Back in Chinese: the same texts as before, the results in Chinese.
    QVERIFY(m_window->setLanguage(QStringLiteral("zh_CN")));
    QTRY_COMPARE(m_window->windowTitle(), QStringLiteral("金机测试上位机软件"));
    QCOMPARE(table->item(2, MainWindow::colResult)->text(), QStringLiteral("发生错误"));
    QCOMPARE(find<QLabel>(*m_window, "labelSta")->text(), QStringLiteral("测试失败"));
    QCOMPARE(find<QLabel>(*m_window, "labelTestAllNum")->text(), QStringLiteral("2"));
    QCOMPARE(find<QLineEdit>(*m_window, "leFilePath")->text(), QStringLiteral("ram.bin"));

    m_window.reset();
    QByteArray expected = settingsBefore;
    expected.replace("0,\n0,\n0,\n-3,", "2,\n1,\n1,\n-3,"); // the counters of the cycle
    QCOMPARE(QString::fromUtf8(StationSetup::withDuts(2).bytes()).count(QLatin1Char('\n')), 42);
    QFile settings(QStringLiteral("config/device_config.csv"));
    QVERIFY(settings.open(QIODevice::ReadOnly));
    QCOMPARE(settings.readAll(), expected);
}

// The language chosen is the one the next start takes, whatever the system
// says; without a choice the system's languages decide.
void TestWindowLanguage::choiceRemembered()
{
    {
        QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("TK716A"),
                           QStringLiteral("Benchmate"));
        settings.remove(QStringLiteral("language"));
    }
    {
        UiLanguage language;
        language.start({QStringLiteral("en-US"), QStringLiteral("zh-CN")});
        QCOMPARE(language.current(), QStringLiteral("en"));
        QCOMPARE(QCoreApplication::translate("MainWindow", "开始测试"),
                 QStringLiteral("Start test"));
    }
    QCOMPARE(QCoreApplication::translate("MainWindow", "开始测试"), QStringLiteral("开始测试"));
    {
        UiLanguage language;
        language.start({QStringLiteral("de-DE")});
        QCOMPARE(language.current(), QStringLiteral("zh_CN"));
        // Qt's own dialogs speak the window's language too.
        const auto yesText = [] {
            QMessageBox box(QMessageBox::Question, QString(), QString(),
                            QMessageBox::Yes | QMessageBox::No);
            return box.button(QMessageBox::Yes)->text();
        };
        QVERIFY2(yesText().contains(QStringLiteral("是")), qPrintable(yesText()));
        QVERIFY(language.set(QStringLiteral("en")));
        QCOMPARE(yesText(), QStringLiteral("&Yes"));
        QVERIFY(!language.set(QStringLiteral("fr")));
        QCOMPARE(language.current(), QStringLiteral("en"));
    }
    MainWindow window;
    window.startLanguage({QStringLiteral("zh-CN")});
    QCOMPARE(window.language(), QStringLiteral("en"));
    QTRY_COMPARE(find<QPushButton>(window, "pbnStartTest")->text(), QStringLiteral("Start test"));
    const auto *menu = window.menuBar()->actions().first()->menu();
    QVERIFY(menu->actions().at(1)->isChecked());
    QVERIFY(!menu->actions().at(0)->isChecked());
    // The menu switches it.
    menu->actions().at(0)->trigger();
    QTRY_COMPARE(find<QPushButton>(window, "pbnStartTest")->text(), QStringLiteral("开始测试"));
    UiLanguage next;
    next.start({QStringLiteral("en-US")});
    QCOMPARE(next.current(), QStringLiteral("zh_CN"));
}

QTEST_MAIN(TestWindowLanguage)
#include "tst_windowlanguage.moc"
