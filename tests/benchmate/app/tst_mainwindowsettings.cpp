// The window and its settings file: read while it is built, written when it
// is destroyed.
#include "mainwindow.h"
#include "stationdir.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QtTest>

#include <memory>

namespace {

template <typename T>
T *widget(const MainWindow &window, const char *name)
{
    T *found = window.findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no widget %s", name);
    return found;
}

QString cell(const MainWindow &window, int row, int column)
{
    const QTableWidgetItem *item = widget<QTableWidget>(window, "tableWidget")->item(row, column);
    return item ? item->text() : QStringLiteral("<no item>");
}

const char *const limitEdits[] = {"leRxRssiMax", "leRxRssiMin",    "leRxFreqMax",
                                  "leRxFreqMin", "leTxRssiMax",    "leTxRssiMin",
                                  "leTestCha",   "leSendInterval", "leTimeOut"};

// The window as it starts without settings: every field empty, the
// counters at 0, nothing checked.
bool startsEmpty(const MainWindow &window)
{
    for (int row = 0; row < MainWindow::tableRows; ++row) {
        if (window.rowCheckBox(row)->isChecked())
            return false;
        for (int column = 1; column < MainWindow::tableColumns; ++column) {
            if (!cell(window, row, column).isEmpty())
                return false;
        }
    }
    if (!widget<QLineEdit>(window, "leFilePath")->text().isEmpty())
        return false;
    for (const char *name : limitEdits) {
        if (!widget<QLineEdit>(window, name)->text().isEmpty())
            return false;
    }
    for (const char *name : {"labelTestAllNum", "labelTestPassNum", "labelTestFailNum"}) {
        if (widget<QLabel>(window, name)->text() != QLatin1String("0"))
            return false;
    }
    return !widget<QCheckBox>(window, "checkBox")->isChecked() &&
           !widget<QCheckBox>(window, "cbAutoTest")->isChecked() &&
           window.controller().values().calVal.load() == 244;
}

} // namespace

class TestMainWindowSettings : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void readIntoWidgets();
    void rewriteKeepsBytes_data();
    void rewriteKeepsBytes();
    void ignoredFileRewrittenInFull_data();
    void ignoredFileRewrittenInFull();
    void refusedFileKept_data();
    void refusedFileKept();
    void enableField_data();
    void enableField();
    void lockAndAutoTestValues();
    void crystalValue_data();
    void crystalValue();
    void editedValuesWritten();
    void namesNotKept();
    void missingConfigDirectory();
};

void TestMainWindowSettings::init() {}

void TestMainWindowSettings::readIntoWidgets()
{
    StationDir dir;
    QVERIFY(dir.isValid());
    dir.writeConfig(ConfigText::sample().bytes());
    MainWindow window;

    QCOMPARE(cell(window, 0, 1), QStringLiteral("Gold Machine"));
    QCOMPARE(cell(window, 0, 2), QStringLiteral("COM3"));
    QCOMPARE(cell(window, 0, 4), QStringLiteral("2"));
    QCOMPARE(cell(window, 0, 5), QString());
    QCOMPARE(cell(window, 8, 1), QStringLiteral("DUT7"));
    QCOMPARE(cell(window, 8, 2), QStringLiteral("COM11"));
    QCOMPARE(cell(window, 8, 4), QStringLiteral("0"));
    QCOMPARE(cell(window, 8, 5), QString());
    QCOMPARE(cell(window, 9, 5), QStringLiteral("0"));
    for (int row = 0; row < MainWindow::tableRows; ++row) {
        QVERIFY(window.rowCheckBox(row));
        QCOMPARE(window.rowCheckBox(row)->isChecked(), row == 0 || (row - 1) % 3 != 1);
        QCOMPARE(cell(window, row, 3), QString()); // results stay empty
    }

    QCOMPARE(widget<QLineEdit>(window, "leFilePath")->text(),
             QStringLiteral("D:/固件/TK716A fw.bin"));
    const QStringList shown = {
        QStringLiteral("-20.5"), QStringLiteral("-60"),      QStringLiteral("20"),
        QStringLiteral("-20"),   QStringLiteral("10000000"), QStringLiteral("-70.125"),
        QStringLiteral("6"),     QStringLiteral("100"),      QStringLiteral("0.25")};
    for (int i = 0; i < shown.size(); ++i)
        QCOMPARE(widget<QLineEdit>(window, limitEdits[i])->text(), shown.at(i));

    QCOMPARE(widget<QLabel>(window, "labelTestAllNum")->text(), QStringLiteral("4294967295"));
    QCOMPARE(widget<QLabel>(window, "labelTestPassNum")->text(), QStringLiteral("4294967292"));
    QCOMPARE(widget<QLabel>(window, "labelTestFailNum")->text(), QStringLiteral("3"));
    QCOMPARE(widget<QCheckBox>(window, "cbAutoTest")->isChecked(), true);
    QCOMPARE(widget<QCheckBox>(window, "checkBox")->isChecked(), false);
    QCOMPARE(window.controller().values().calVal.load(), 253);
}

void TestMainWindowSettings::rewriteKeepsBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("sample") << ConfigText::sample().bytes();
    QTest::newRow("locked, no auto test")
        << ConfigText::sample().set(33, QStringLiteral("1")).set(41, QStringLiteral("0")).bytes();
    QTest::newRow("blank") << ConfigText::blank().bytes();
}

void TestMainWindowSettings::rewriteKeepsBytes()
{
    QFETCH(QByteArray, bytes);
    StationDir dir;
    QVERIFY(dir.isValid());
    dir.writeConfig(bytes);
    std::make_unique<MainWindow>().reset();
    QCOMPARE(dir.readConfig(), bytes);
}

void TestMainWindowSettings::ignoredFileRewrittenInFull_data()
{
    QTest::addColumn<bool>("present");
    QTest::newRow("missing") << false;
    QTest::newRow("empty") << true;
}

// Nothing to read: the window starts empty and writes the file in full.
void TestMainWindowSettings::ignoredFileRewrittenInFull()
{
    QFETCH(bool, present);
    StationDir dir;
    QVERIFY(dir.isValid());
    if (present)
        dir.writeConfig(QByteArray());

    auto window = std::make_unique<MainWindow>();
    QVERIFY(startsEmpty(*window));
    QVERIFY(!window->findChild<QLabel *>(QStringLiteral("labelSettings")));
    window.reset();
    QCOMPARE(dir.readConfig(), ConfigText::blank().bytes());
}

void TestMainWindowSettings::refusedFileKept_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");
    const QByteArray good = ConfigText::sample().bytes();
    QTest::newRow("line missing") << good.mid(good.indexOf('\n') + 1) << "41";
    QTest::newRow("cut copy") << good.left(good.size() / 2) << "42";
    QTest::newRow("two blank lines at the end") << QByteArray(good + "\n\n") << "44";
    QTest::newRow("port name in GBK")
        << QByteArray(good).replace("COM11", "COM\xa3\xb1") << "UTF-8";
}

// A settings file the window could not read is never written over: the
// window says so where the operator sees it, and at close writes what the
// operator set up beside it, as device_config.csv.new.
void TestMainWindowSettings::refusedFileKept()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    StationDir dir;
    QVERIFY(dir.isValid());
    dir.writeConfig(bytes);
    MessageLog log;

    auto window = std::make_unique<MainWindow>();
    QVERIFY(startsEmpty(*window));
    const QLabel *note = window->findChild<QLabel *>(QStringLiteral("labelSettings"));
    QVERIFY(note);
    QVERIFY(note->isVisibleTo(window.get()));
    QVERIFY2(note->text().contains(QStringLiteral("device_config.csv.new")),
             qPrintable(note->text()));
    QVERIFY2(note->text().contains(reason), qPrintable(note->text()));
    widget<QLineEdit>(*window, "leTimeOut")->setText(QStringLiteral("30"));
    const QString beside = dir.configFile() + QStringLiteral(".new");
    const int toldAtStart = log.count(beside);
    window.reset();

    QCOMPARE(dir.readConfig(), bytes);
    QFile written(beside);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), ConfigText::blank().set(36, QStringLiteral("30")).bytes());
    // The console says where it went.
    QCOMPARE(log.count(beside), toldAtStart + 1);
}

void TestMainWindowSettings::enableField_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("checked");
    QTest::newRow("1") << "1" << true;
    QTest::newRow("01") << "01" << true;
    QTest::newRow("0") << "0" << false;
    QTest::newRow("2") << "2" << false;
    QTest::newRow("yes") << "yes" << false;
    QTest::newRow("empty") << "" << false;
}

void TestMainWindowSettings::enableField()
{
    QFETCH(QString, field);
    QFETCH(bool, checked);
    StationDir dir;
    QVERIFY(dir.isValid());
    dir.writeConfig(ConfigText::sample()
                        .set(1, field + QStringLiteral(",Gold Machine,COM3,2"))
                        .set(6, field + QStringLiteral(",DUT4,COM8,2,0"))
                        .bytes());
    auto window = std::make_unique<MainWindow>();
    QCOMPARE(window->rowCheckBox(0)->isChecked(), checked);
    QCOMPARE(window->rowCheckBox(5)->isChecked(), checked);
    window.reset();
    // The golden machine's line always says 1; a DUT says what its box shows.
    const QStringList lines = ConfigText::linesOf(dir.readConfig());
    QCOMPARE(lines.at(1), QStringLiteral("1,Gold Machine,COM3,2"));
    QCOMPARE(lines.at(6), QStringLiteral("%1,DUT4,COM8,2,0").arg(checked ? 1 : 0));
}

void TestMainWindowSettings::lockAndAutoTestValues()
{
    StationDir dir;
    QVERIFY(dir.isValid());
    dir.writeConfig(
        ConfigText::sample().set(33, QStringLiteral("2")).set(41, QStringLiteral("2")).bytes());
    auto window = std::make_unique<MainWindow>();
    // Any non-zero lock value locks, and at once.
    QCOMPARE(widget<QCheckBox>(*window, "checkBox")->isChecked(), true);
    QCOMPARE(widget<QLineEdit>(*window, "leRxRssiMax")->isEnabled(), false);
    QCOMPARE(window->rowCheckBox(3)->isEnabled(), false);
    QCOMPARE(widget<QTableWidget>(*window, "tableWidget")->editTriggers(),
             QAbstractItemView::NoEditTriggers);
    // Only 1 switches auto test on.
    QCOMPARE(widget<QCheckBox>(*window, "cbAutoTest")->isChecked(), false);
    window.reset();
    const QStringList lines = ConfigText::linesOf(dir.readConfig());
    QCOMPARE(lines.at(33), QStringLiteral("1"));
    QCOMPARE(lines.at(41), QStringLiteral("0"));
}

void TestMainWindowSettings::crystalValue_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("after");
    QTest::addColumn<QString>("written");
    QTest::newRow("-12") << "-12" << 244 << "-12";
    QTest::newRow("10") << "10" << 10 << "10";
    QTest::newRow("244") << "244" << 244 << "-12";
    QTest::newRow("300") << "300" << 44 << "44";
    QTest::newRow("text") << "x" << 0 << "0";
}

void TestMainWindowSettings::crystalValue()
{
    QFETCH(QString, field);
    QFETCH(int, after);
    QFETCH(QString, written);
    StationDir dir;
    QVERIFY(dir.isValid());
    dir.writeConfig(ConfigText::sample().set(40, field).bytes());
    auto window = std::make_unique<MainWindow>();
    QCOMPARE(window->controller().values().calVal.load(), after);
    window.reset();
    QCOMPARE(ConfigText::linesOf(dir.readConfig()).at(40), written);
}

void TestMainWindowSettings::editedValuesWritten()
{
    StationDir dir;
    QVERIFY(dir.isValid());
    dir.writeConfig(ConfigText::sample().set(40, QStringLiteral("5")).bytes());
    auto window = std::make_unique<MainWindow>();
    widget<QLineEdit>(*window, "leRxRssiMax")->setText(QStringLiteral("abc"));
    widget<QLineEdit>(*window, "leTestCha")->setText(QStringLiteral("11.50"));
    widget<QLineEdit>(*window, "leTimeOut")->setText(QString());
    widget<QLineEdit>(*window, "leFilePath")->setText(QStringLiteral("/srv/fw/新.bin"));
    widget<QLabel>(*window, "labelTestPassNum")->setText(QStringLiteral("-1"));
    widget<QCheckBox>(*window, "cbAutoTest")->setChecked(false);
    widget<QCheckBox>(*window, "checkBox")->setChecked(true);
    window->rowCheckBox(2)->setChecked(true);
    widget<QTableWidget>(*window, "tableWidget")->item(2, 2)->setText(QStringLiteral("COM42"));
    widget<QTableWidget>(*window, "tableWidget")->item(2, 4)->setText(QStringLiteral("-7"));
    window.reset();

    const QStringList lines = ConfigText::linesOf(dir.readConfig());
    QCOMPARE(lines.size(), 42);
    QCOMPARE(lines.at(3), QStringLiteral("1,DUT1,COM42,-7,1"));
    QCOMPARE(lines.at(26), QStringLiteral("/srv/fw/新.bin"));
    QCOMPARE(lines.at(27), QStringLiteral("0"));
    QCOMPARE(lines.at(33), QStringLiteral("1"));
    QCOMPARE(lines.at(34), QStringLiteral("11.5"));
    QCOMPARE(lines.at(36), QStringLiteral("0"));
    QCOMPARE(lines.at(37), QStringLiteral("4294967295"));
    // The counters are the station's, whatever a label shows.
    QCOMPARE(lines.at(38), QStringLiteral("4294967292"));
    QCOMPARE(lines.at(40), QStringLiteral("5"));
    QCOMPARE(lines.at(41), QStringLiteral("0"));
}

void TestMainWindowSettings::namesNotKept()
{
    StationDir dir;
    QVERIFY(dir.isValid());
    dir.writeConfig(ConfigText::sample()
                        .set(1, QStringLiteral("1,金机,COM3,2,9"))
                        .set(4, QStringLiteral("0,Left bench,COM6,-1,2"))
                        .bytes());
    auto window = std::make_unique<MainWindow>();
    QCOMPARE(cell(*window, 0, 1), QStringLiteral("金机"));
    QCOMPARE(cell(*window, 0, 5), QStringLiteral("9"));
    QCOMPARE(cell(*window, 3, 1), QStringLiteral("Left bench"));
    widget<QTableWidget>(*window, "tableWidget")->item(5, 1)->setText(QStringLiteral("typed"));
    window.reset();
    const QStringList lines = ConfigText::linesOf(dir.readConfig());
    QCOMPARE(lines.at(1), QStringLiteral("1,Gold Machine,COM3,2"));
    QCOMPARE(lines.at(4), QStringLiteral("0,DUT2,COM6,-1,2"));
    QCOMPARE(lines.at(6), QStringLiteral("0,DUT4,COM8,2,0"));
}

void TestMainWindowSettings::missingConfigDirectory()
{
    StationDir dir(false);
    QVERIFY(dir.isValid());
    MessageLog log;
    auto window = std::make_unique<MainWindow>();
    QCOMPARE(widget<QLabel>(*window, "labelTestAllNum")->text(), QStringLiteral("0"));
    widget<QLineEdit>(*window, "leTimeOut")->setText(QStringLiteral("30"));
    window.reset();
    // Nothing is created, and the console says once that nothing is kept.
    QVERIFY(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
    QCOMPARE(log.count(QStringLiteral("配置目录不存在")), 1);
    QCOMPARE(log.count(QStringLiteral("软件版本号：V2.0.2")), 1);
}

QTEST_MAIN(TestMainWindowSettings)
#include "tst_mainwindowsettings.moc"
