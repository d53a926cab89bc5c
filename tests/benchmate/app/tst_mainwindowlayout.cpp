// What the operator sees of the main window and the serial-line form: the
// window, the texts of every control, where each sits beside the others,
// what the parameter boxes take, the device table, and the translation
// set-up.
#include "mainwindow.h"
#include "seriallineform.h"
#include "stationdir.h"
#include "uitranslation.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QStyleFactory>
#include <QTableWidget>
#include <QTranslator>
#include <QtTest>

#include <memory>

namespace {

template <typename T = QWidget>
T *find(const QObject &root, const QString &name)
{
    const QList<T *> all = root.findChildren<T *>(name);
    if (all.size() != 1)
        qFatal("%d objects named %s", int(all.size()), qPrintable(name));
    return all.first();
}

// Text of a label, button or group box.
QString textOf(const QObject &root, const QString &name)
{
    QObject *object = find<QObject>(root, name);
    if (auto *label = qobject_cast<QLabel *>(object))
        return label->text();
    if (auto *button = qobject_cast<QAbstractButton *>(object))
        return button->text();
    if (auto *group = qobject_cast<QGroupBox *>(object))
        return group->title();
    qFatal("%s has no text", qPrintable(name));
    return QString();
}

// Where a widget shows, in the coordinates of its window.
QRect shownAt(const QWidget &root, const QString &name)
{
    const QWidget *widget = find<QWidget>(root, name);
    return QRect(widget->mapTo(widget->window(), QPoint(0, 0)), widget->size());
}

// `left` stands left of `right` on the same line.
bool besideOnOneLine(const QRect &left, const QRect &right)
{
    return left.right() < right.left() && left.center().y() >= right.top() &&
           left.center().y() <= right.bottom() && right.center().y() >= left.top() &&
           right.center().y() <= left.bottom();
}

const QStringList headerTexts = {
    QStringLiteral("使能"),        QStringLiteral("设备名"),        QStringLiteral("串口号"),
    QStringLiteral("总测试结果"),  QStringLiteral("TX RSSI校准值"), QStringLiteral("RX RSSI校准值"),
    QStringLiteral("TX 测试结果"), QStringLiteral("RX 测试结果"),   QStringLiteral("频偏测试结果")};

// The parameter boxes on the right, top to bottom, each with its lines of
// controls, left to right.
struct Box
{
    const char *name;
    QList<QStringList> lines;
};
const QList<Box> rightBoxes = {
    {"groupBox",
     {{"label", "leRxRssiMax"},
      {"label_2", "leRxRssiMin"},
      {"label_3", "leRxFreqMax"},
      {"label_4", "leRxFreqMin"}}},
    {"groupBox_2", {{"label_6", "leTxRssiMax"}, {"label_5", "leTxRssiMin"}}},
    {"groupBox_7",
     {{"label_7", "leTestCha"}, {"label_8", "leSendInterval"}, {"label_9", "leTimeOut"}}},
    {"groupBox_5", {{"leFilePath", "pushButton_3"}, {"checkBox", "cbAutoTest", "pbnClearNum"}}},
    {"groupBox_8",
     {{"labelTestNum", "labelTestAllNum"},
      {"labelTestNum_2", "labelTestPassNum"},
      {"labelTestNum_3", "labelTestFailNum"}}},
    {"groupBox_3", {{"labelSta"}, {"pbnStartTest"}}},
};

// Marks every text it is asked for with its context.
class MarkingTranslator : public QTranslator
{
public:
    QString translate(const char *context, const char *source, const char * = nullptr,
                      int = -1) const override
    {
        return QLatin1String(context) + QLatin1Char('|') + QString::fromUtf8(source);
    }
    bool isEmpty() const override { return false; }
};

} // namespace

class TestMainWindowLayout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void window();
    void texts_data();
    void texts();
    void arrangement();
    void parameterBoxesKeepTheirSize();
    void textSizes();
    void parameterBoxesTakeAnyText();
    void table();
    void form();
    void translationChosen_data();
    void translationChosen();
    void catalogueChangesNothing();
    void everyTextTranslatable();

private:
    std::unique_ptr<StationDir> m_dir;
    std::unique_ptr<MainWindow> m_window;
};

// The window as the station PCs show it: the Windows style, a 9-point
// (12-pixel) font.
void TestMainWindowLayout::initTestCase()
{
    QStyle *style = QStyleFactory::create(QStringLiteral("windows"));
    QVERIFY(style);
    QApplication::setStyle(style);
    QFont font = QApplication::font();
    font.setPixelSize(12);
    QApplication::setFont(font);

    m_dir = std::make_unique<StationDir>();
    QVERIFY(m_dir->isValid());
    m_window = std::make_unique<MainWindow>();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestMainWindowLayout::cleanupTestCase()
{
    m_window.reset();
    m_dir.reset();
}

void TestMainWindowLayout::window()
{
    const MainWindow &w = *m_window;
    QCOMPARE(w.windowTitle(), QStringLiteral("金机测试上位机软件"));
    QVERIFY(!w.windowIcon().isNull());
    QVERIFY(!QPixmap(QStringLiteral(":/img/img/icon.png")).isNull());
    QVERIFY(w.menuBar()->actions().isEmpty());
}

void TestMainWindowLayout::texts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    const char *const rows[][2] = {
        {"groupBox_4", "测试设备参数"},   {"groupBox", "RX测试参数"},
        {"label", "RSSI上限："},          {"label_2", "RSSI下限："},
        {"label_3", "频偏上限："},        {"label_4", "频偏下限："},
        {"groupBox_2", "TX测试参数"},     {"label_6", "RSSI上限："},
        {"label_5", "RSSI下限："},        {"groupBox_7", "其它测试参数"},
        {"label_7", "测试信道："},        {"label_8", "发送间隔："},
        {"label_9", "超时时间："},        {"groupBox_5", "测试准备"},
        {"pushButton_3", "选择测试固件"}, {"checkBox", "锁定参数"},
        {"cbAutoTest", "自动测试"},       {"pbnClearNum", "计数清零"},
        {"groupBox_8", "测试计数"},       {"labelTestNum", "总数："},
        {"labelTestAllNum", "0"},         {"labelTestNum_2", "成功："},
        {"labelTestPassNum", "0"},        {"labelTestNum_3", "失败："},
        {"labelTestFailNum", "0"},        {"groupBox_3", "测试"},
        {"labelSta", "未开始"}, // the layout's "测试中" is replaced at construction
        {"pbnStartTest", "开始测试"},
    };
    for (const auto &row : rows)
        QTest::newRow(row[0]) << QString::fromLatin1(row[0]) << QString::fromUtf8(row[1]);
}

void TestMainWindowLayout::texts()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QCOMPARE(textOf(*m_window, name), text);
}

// The window opens at its own size with the device table down the left from
// top to bottom, the parameter boxes stacked on the right, and in each box
// its captions left of their boxes, line under line.
void TestMainWindowLayout::arrangement()
{
    QCOMPARE(m_window->size(), QSize(1068, 757));
    const QRect table = shownAt(*m_window, QStringLiteral("groupBox_4"));
    QRect previousBox;
    for (const Box &box : rightBoxes) {
        const QRect boxRect = shownAt(*m_window, QLatin1String(box.name));
        QVERIFY2(boxRect.left() > table.right(), box.name);
        QVERIFY2(previousBox.isNull() || boxRect.top() > previousBox.bottom(), box.name);
        previousBox = boxRect;

        QRect previousLine;
        for (const QStringList &line : box.lines) {
            QRect lineRect;
            QRect previous;
            for (const QString &name : line) {
                const QRect r = shownAt(*m_window, name);
                QVERIFY2(boxRect.contains(r), qPrintable(name));
                QVERIFY2(r.isValid() && find<QWidget>(*m_window, name)->isVisible(),
                         qPrintable(name));
                if (!previous.isNull())
                    QVERIFY2(besideOnOneLine(previous, r), qPrintable(name));
                previous = r;
                lineRect |= r;
            }
            QVERIFY2(previousLine.isNull() || lineRect.top() > previousLine.bottom(),
                     qPrintable(line.first()));
            previousLine = lineRect;
        }
    }
    QCOMPARE(table.top(), shownAt(*m_window, QStringLiteral("groupBox")).top());
    QCOMPARE(table.bottom(), previousBox.bottom());
    const QWidget *central = m_window->centralWidget();
    const QMargins margins = central->layout()->contentsMargins();
    const QRect inside = QRect(central->mapTo(m_window.get(), QPoint(0, 0)), central->size())
                             .marginsRemoved(margins);
    QCOMPARE(table.top(), inside.top());
    QCOMPARE(table.bottom(), inside.bottom());
    QCOMPARE(table.left(), inside.left());
    QVERIFY(table.contains(shownAt(*m_window, QStringLiteral("tableWidget"))));
}

// A larger window gives the room to the table and the counters; the four
// parameter boxes keep their size.
void TestMainWindowLayout::parameterBoxesKeepTheirSize()
{
    const QStringList fixed = {"groupBox", "groupBox_2", "groupBox_7", "groupBox_5"};
    QList<QSize> before;
    for (const QString &name : fixed)
        before << find<QWidget>(*m_window, name)->size();
    const QSize tableBefore = find<QWidget>(*m_window, QStringLiteral("groupBox_4"))->size();

    m_window->resize(1400, 980);
    QTRY_VERIFY(find<QWidget>(*m_window, QStringLiteral("groupBox_4"))->height() >
                tableBefore.height() + 100);
    for (int i = 0; i < fixed.size(); ++i)
        QCOMPARE(find<QWidget>(*m_window, fixed.at(i))->size(), before.at(i));
    QVERIFY(find<QWidget>(*m_window, QStringLiteral("groupBox_4"))->width() >
            tableBefore.width() + 100);
    m_window->resize(1068, 757);
    QTRY_COMPARE(find<QWidget>(*m_window, QStringLiteral("groupBox_4"))->size(), tableBefore);
}

// The counters, the status and the start button in large text; the status
// centred on a bar at least 40 pixels high, the button at least 60.
void TestMainWindowLayout::textSizes()
{
    for (const char *name : {"labelTestNum", "labelTestNum_2", "labelTestNum_3"}) {
        const auto *label = find<QLabel>(*m_window, QLatin1String(name));
        QVERIFY(label->width() <= 100);
        QCOMPARE(label->font().pointSize(), 15);
    }
    for (const char *name : {"labelTestAllNum", "labelTestPassNum", "labelTestFailNum"})
        QCOMPARE(find<QLabel>(*m_window, QLatin1String(name))->font().pointSize(), 15);
    const auto *status = find<QLabel>(*m_window, QStringLiteral("labelSta"));
    QVERIFY(status->height() >= 40);
    QCOMPARE(status->font().pointSize(), 20);
    QCOMPARE(status->alignment(), Qt::AlignHCenter | Qt::AlignVCenter);
    const auto *start = find<QPushButton>(*m_window, QStringLiteral("pbnStartTest"));
    QVERIFY(start->height() >= 60);
    QCOMPARE(start->font().pointSize(), 20);
    // Everything else keeps the window's font.
    QCOMPARE(find<QLabel>(*m_window, QStringLiteral("label"))->font(), m_window->font());
}

// The ten parameter boxes start empty and enabled, and take whatever the
// operator types, however long: nothing is refused or cut as it is typed.
void TestMainWindowLayout::parameterBoxesTakeAnyText()
{
    const StationDir dir;
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QList<QLineEdit *> edits = window.findChildren<QLineEdit *>();
    QCOMPARE(edits.size(), 10);
    const QString typed = QStringLiteral("-1.5e+07 abc,;") + QString(100, QLatin1Char('9'));
    for (QLineEdit *edit : edits) {
        QCOMPARE(edit->text(), QString());
        QVERIFY(edit->isEnabled());
        QTest::keyClicks(edit, typed);
        QCOMPARE(edit->text(), typed);
    }
}

// 25 rows under the nine column headers, no row numbers; an enable box
// centred in the first cell of each row, unchecked and enabled; every other
// cell empty.
void TestMainWindowLayout::table()
{
    const auto *table = find<QTableWidget>(*m_window, QStringLiteral("tableWidget"));
    QCOMPARE(table->rowCount(), 25);
    QCOMPARE(table->columnCount(), 9);
    for (int column = 0; column < 9; ++column)
        QCOMPARE(table->horizontalHeaderItem(column)->text(), headerTexts.at(column));
    QVERIFY(!table->verticalHeader()->isVisible());
    QSet<QCheckBox *> seen;
    for (int row = 0; row < 25; ++row) {
        QCheckBox *check = m_window->rowCheckBox(row);
        QVERIFY(check);
        QVERIFY(check->isVisible());
        QVERIFY(!check->isChecked());
        QVERIFY(check->isEnabled());
        const QRect cell(table->columnViewportPosition(0), table->rowViewportPosition(row),
                         table->columnWidth(0), table->rowHeight(row));
        const QPoint centre = check->mapTo(table->viewport(), check->rect().center());
        QVERIFY2(qAbs(centre.x() - cell.center().x()) <= 2 &&
                     qAbs(centre.y() - cell.center().y()) <= 2,
                 qPrintable(QStringLiteral("row %1").arg(row)));
        seen.insert(check);
        for (int column = 1; column < 9; ++column)
            QCOMPARE(table->item(row, column) ? table->item(row, column)->text() : QString(),
                     QString());
    }
    QCOMPARE(seen.size(), 25);
}

// The serial-line form: "第一步：", then RTS, DTR (high or low each) and a
// delay in ms, left to right on one line.
void TestMainWindowLayout::form()
{
    SerialLineForm form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.windowTitle(), QStringLiteral("Form"));
    QCOMPARE(form.size(), QSize(496, 300));
    // "第一步：" runs into the line's first caption a little.
    const QRect step = shownAt(form, QStringLiteral("label_5"));
    const QRect rts = shownAt(form, QStringLiteral("label"));
    QVERIFY(step.left() < rts.left() && qAbs(step.center().y() - rts.center().y()) <= 4);
    const QStringList order = {"label",   "cmb_RTS",  "label_2", "cmb_DTR",
                               "label_3", "lineEdit", "label_4"};
    for (int i = 1; i < order.size(); ++i)
        QVERIFY2(besideOnOneLine(shownAt(form, order.at(i - 1)), shownAt(form, order.at(i))),
                 qPrintable(order.at(i)));
    QCOMPARE(textOf(form, QStringLiteral("label_5")), QStringLiteral("第一步："));
    QCOMPARE(textOf(form, QStringLiteral("label")), QStringLiteral("RTS:"));
    QCOMPARE(textOf(form, QStringLiteral("label_2")), QStringLiteral("   DTR:"));
    QCOMPARE(textOf(form, QStringLiteral("label_3")), QStringLiteral("     延时："));
    QCOMPARE(textOf(form, QStringLiteral("label_4")), QStringLiteral("ms"));
    for (const char *name : {"cmb_RTS", "cmb_DTR"}) {
        const auto *combo = find<QComboBox>(form, QLatin1String(name));
        QCOMPARE(combo->count(), 2);
        QCOMPARE(combo->itemText(0), QStringLiteral("高"));
        QCOMPARE(combo->itemText(1), QStringLiteral("低"));
    }
}

void TestMainWindowLayout::translationChosen_data()
{
    QTest::addColumn<QStringList>("languages");
    QTest::addColumn<QString>("loaded");
    QTest::newRow("en-US, zh-CN") << QStringList{"en-US", "zh-CN"}
                                  << QStringLiteral("Benchmate_zh_CN");
    QTest::newRow("zh-Hans-CN") << QStringList{"zh-Hans-CN"} << QStringLiteral("Benchmate_zh_CN");
    QTest::newRow("en-US, de-DE") << QStringList{"en-US", "de-DE"} << QString();
    QTest::newRow("zh-TW only") << QStringList{"zh-TW"} << QString();
    QTest::newRow("none") << QStringList{} << QString();
}

void TestMainWindowLayout::translationChosen()
{
    QFETCH(QStringList, languages);
    QFETCH(QString, loaded);
    QTranslator translator;
    QCOMPARE(loadUiTranslation(translator, languages), loaded);
    // The catalogue carries its language and no messages.
    QCOMPARE(translator.language(), loaded.isEmpty() ? QString() : QStringLiteral("zh_CN"));
    QVERIFY(translator.isEmpty());
}

namespace {

QStringList allTexts(const QWidget &root)
{
    QStringList texts;
    texts << root.windowTitle();
    for (const QLabel *w : root.findChildren<QLabel *>())
        texts << w->objectName() + QLatin1Char('=') + w->text();
    for (const QAbstractButton *w : root.findChildren<QAbstractButton *>())
        texts << w->objectName() + QLatin1Char('=') + w->text();
    for (const QGroupBox *w : root.findChildren<QGroupBox *>())
        texts << w->objectName() + QLatin1Char('=') + w->title();
    for (const QTableWidget *w : root.findChildren<QTableWidget *>()) {
        for (int column = 0; column < w->columnCount(); ++column)
            texts << w->horizontalHeaderItem(column)->text();
    }
    return texts;
}

} // namespace

void TestMainWindowLayout::catalogueChangesNothing()
{
    const StationDir dir;
    QTranslator translator;
    QVERIFY(!loadUiTranslation(translator, {QStringLiteral("zh-CN")}).isEmpty());
    QCoreApplication::installTranslator(&translator);
    const MainWindow translated;
    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(allTexts(translated), allTexts(*m_window));
}

void TestMainWindowLayout::everyTextTranslatable()
{
    const StationDir dir;
    MarkingTranslator marker;
    QVERIFY(QCoreApplication::installTranslator(&marker));
    const MainWindow window;
    const SerialLineForm form;
    QCoreApplication::removeTranslator(&marker);

    const QString mw = QStringLiteral("MainWindow|");
    QCOMPARE(window.windowTitle(), mw + QStringLiteral("金机测试上位机软件"));
    QCOMPARE(textOf(window, QStringLiteral("groupBox_5")), mw + QStringLiteral("测试准备"));
    QCOMPARE(textOf(window, QStringLiteral("label_9")), mw + QStringLiteral("超时时间："));
    QCOMPARE(textOf(window, QStringLiteral("labelTestFailNum")), mw + QStringLiteral("0"));
    QCOMPARE(textOf(window, QStringLiteral("labelSta")), mw + QStringLiteral("未开始"));
    QCOMPARE(textOf(window, QStringLiteral("pbnStartTest")), mw + QStringLiteral("开始测试"));
    const auto *table = find<QTableWidget>(window, QStringLiteral("tableWidget"));
    for (int column = 0; column < 9; ++column)
        QCOMPARE(table->horizontalHeaderItem(column)->text(), mw + headerTexts.at(column));
    QCOMPARE(find<QLineEdit>(window, QStringLiteral("leFilePath"))->text(), QString());

    QCOMPARE(form.windowTitle(), QStringLiteral("Form|Form"));
    QCOMPARE(textOf(form, QStringLiteral("label_3")), QStringLiteral("Form|     延时："));
    QCOMPARE(find<QComboBox>(form, QStringLiteral("cmb_DTR"))->itemText(1),
             QStringLiteral("Form|低"));
}

QTEST_MAIN(TestMainWindowLayout)
#include "tst_mainwindowlayout.moc"
