// The widget trees of the main window and the serial-line form: names,
// texts, places, sizes, fonts, the device table, and the translation set-up.
#include "mainwindow.h"
#include "seriallineform.h"
#include "stationdir.h"
#include "uitranslation.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
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

struct Place
{
    int row;
    int column;
    int rowSpan;
    int columnSpan;
    bool operator==(const Place &o) const
    {
        return row == o.row && column == o.column && rowSpan == o.rowSpan &&
               columnSpan == o.columnSpan;
    }
};

Place placeIn(const QGridLayout *grid, int index)
{
    Place p{-1, -1, -1, -1};
    if (index >= 0)
        grid->getItemPosition(index, &p.row, &p.column, &p.rowSpan, &p.columnSpan);
    return p;
}

const QStringList headerTexts = {
    QStringLiteral("使能"),        QStringLiteral("设备名"),        QStringLiteral("串口号"),
    QStringLiteral("总测试结果"),  QStringLiteral("TX RSSI校准值"), QStringLiteral("RX RSSI校准值"),
    QStringLiteral("TX 测试结果"), QStringLiteral("RX 测试结果"),   QStringLiteral("频偏测试结果")};

const char tableStyle[] = "QHeaderView::section{\n"
                          "  border-top:0px solid #E5E5E5;\n"
                          "  border-left:0px solid #E5E5E5;\n"
                          "  border-right:0.5px solid #E5E5E5;\n"
                          "  border-bottom: 0.5px solid #E5E5E5;\n"
                          "  background-color:white;\n"
                          "  padding:4px;\n"
                          " }\n"
                          "\n"
                          "gridline-color:#E5E5E5";

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
    void places_data();
    void places();
    void lockRow();
    void sizePolicies();
    void fontsAndSizes();
    void lineEdits();
    void table();
    void rowCheckBoxes();
    void form();
    void translationChosen_data();
    void translationChosen();
    void catalogueChangesNothing();
    void everyTextTranslatable();
    void defaultSizeOnStationStyle();

private:
    std::unique_ptr<StationDir> m_dir;
    std::unique_ptr<MainWindow> m_window;
};

void TestMainWindowLayout::initTestCase()
{
    m_dir = std::make_unique<StationDir>();
    QVERIFY(m_dir->isValid());
    m_window = std::make_unique<MainWindow>();
}

void TestMainWindowLayout::cleanupTestCase()
{
    m_window.reset();
    m_dir.reset();
}

void TestMainWindowLayout::window()
{
    const MainWindow &w = *m_window;
    QCOMPARE(w.objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(w.size(), QSize(1068, 757));
    QCOMPARE(w.windowTitle(), QStringLiteral("金机测试上位机软件"));
    QCOMPARE(w.styleSheet(), QString());
    QVERIFY(!w.windowIcon().isNull());
    QVERIFY(!QPixmap(QStringLiteral(":/img/img/icon.png")).isNull());
    QCOMPARE(w.menuBar()->objectName(), QStringLiteral("menubar"));
    QVERIFY(w.menuBar()->actions().isEmpty());
    QCOMPARE(w.menuBar()->width(), 1068);
    QCOMPARE(w.centralWidget()->objectName(), QStringLiteral("centralwidget"));
    QCOMPARE(w.centralWidget()->layout()->objectName(), QStringLiteral("gridLayout_7"));
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

void TestMainWindowLayout::places_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("rowSpan");
    QTest::addColumn<int>("columnSpan");
    struct Row
    {
        const char *layout;
        const char *name;
        int row, column, rowSpan, columnSpan;
    };
    const Row rows[] = {
        {"gridLayout_7", "groupBox_4", 0, 0, 6, 1},
        {"gridLayout_7", "groupBox", 0, 1, 1, 1},
        {"gridLayout_7", "groupBox_2", 1, 1, 1, 1},
        {"gridLayout_7", "groupBox_7", 2, 1, 1, 1},
        {"gridLayout_7", "groupBox_5", 3, 1, 1, 1},
        {"gridLayout_7", "groupBox_8", 4, 1, 1, 1},
        {"gridLayout_7", "groupBox_3", 5, 1, 1, 1},
        {"gridLayout_4", "tableWidget", 0, 0, 1, 1},
        {"gridLayout", "label", 0, 0, 1, 1},
        {"gridLayout", "leRxRssiMax", 0, 1, 1, 1},
        {"gridLayout", "label_2", 1, 0, 1, 1},
        {"gridLayout", "leRxRssiMin", 1, 1, 1, 1},
        {"gridLayout", "label_3", 2, 0, 1, 1},
        {"gridLayout", "leRxFreqMax", 2, 1, 1, 1},
        {"gridLayout", "label_4", 3, 0, 1, 1},
        {"gridLayout", "leRxFreqMin", 3, 1, 1, 1},
        {"gridLayout_2", "label_6", 0, 0, 1, 1},
        {"gridLayout_2", "leTxRssiMax", 0, 1, 1, 1},
        {"gridLayout_2", "label_5", 1, 0, 1, 1},
        {"gridLayout_2", "leTxRssiMin", 1, 1, 1, 1},
        {"gridLayout_8", "label_7", 0, 0, 1, 1},
        {"gridLayout_8", "leTestCha", 0, 1, 1, 1},
        {"gridLayout_8", "label_8", 1, 0, 1, 1},
        {"gridLayout_8", "leSendInterval", 1, 1, 1, 1},
        {"gridLayout_8", "label_9", 2, 0, 1, 1},
        {"gridLayout_8", "leTimeOut", 2, 1, 1, 1},
        {"gridLayout_6", "leFilePath", 0, 0, 1, 1},
        {"gridLayout_6", "pushButton_3", 0, 1, 1, 1},
        {"gridLayout_5", "labelTestNum", 0, 0, 1, 1},
        {"gridLayout_5", "labelTestAllNum", 0, 1, 1, 1},
        {"gridLayout_5", "labelTestNum_2", 1, 0, 1, 1},
        {"gridLayout_5", "labelTestPassNum", 1, 1, 1, 1},
        {"gridLayout_5", "labelTestNum_3", 2, 0, 1, 1},
        {"gridLayout_5", "labelTestFailNum", 2, 1, 1, 1},
        {"gridLayout_3", "labelSta", 0, 0, 1, 1},
        {"gridLayout_3", "pbnStartTest", 1, 0, 1, 1},
    };
    for (const Row &r : rows)
        QTest::newRow(r.name) << QString::fromLatin1(r.layout) << QString::fromLatin1(r.name)
                              << r.row << r.column << r.rowSpan << r.columnSpan;
}

void TestMainWindowLayout::places()
{
    QFETCH(QString, layout);
    QFETCH(QString, name);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, rowSpan);
    QFETCH(int, columnSpan);
    const auto *grid = find<QGridLayout>(*m_window, layout);
    const int index = grid->indexOf(find<QWidget>(*m_window, name));
    QVERIFY2(index >= 0, qPrintable(name + QStringLiteral(" is not in ") + layout));
    QVERIFY(placeIn(grid, index) == (Place{row, column, rowSpan, columnSpan}));
}

void TestMainWindowLayout::lockRow()
{
    const auto *grid = find<QGridLayout>(*m_window, QStringLiteral("gridLayout_6"));
    const auto *row = find<QHBoxLayout>(*m_window, QStringLiteral("horizontalLayout"));
    int index = -1;
    for (int i = 0; i < grid->count(); ++i) {
        if (grid->itemAt(i)->layout() == row)
            index = i;
    }
    QVERIFY(placeIn(grid, index) == (Place{1, 0, 1, 2}));
    QCOMPARE(row->count(), 3);
    QCOMPARE(row->itemAt(0)->widget()->objectName(), QStringLiteral("checkBox"));
    QCOMPARE(row->itemAt(1)->widget()->objectName(), QStringLiteral("cbAutoTest"));
    QCOMPARE(row->itemAt(2)->widget()->objectName(), QStringLiteral("pbnClearNum"));
}

void TestMainWindowLayout::sizePolicies()
{
    for (const char *name : {"groupBox", "groupBox_2", "groupBox_7", "groupBox_5"}) {
        const QSizePolicy policy = find<QWidget>(*m_window, QLatin1String(name))->sizePolicy();
        QCOMPARE(policy.horizontalPolicy(), QSizePolicy::Fixed);
        QCOMPARE(policy.verticalPolicy(), QSizePolicy::Fixed);
        QCOMPARE(policy.horizontalStretch(), 0);
        QCOMPARE(policy.verticalStretch(), 0);
    }
    for (const char *name : {"groupBox_4", "groupBox_8", "groupBox_3"}) {
        const QSizePolicy policy = find<QWidget>(*m_window, QLatin1String(name))->sizePolicy();
        QCOMPARE(policy.horizontalPolicy(), QSizePolicy::Preferred);
        QCOMPARE(policy.verticalPolicy(), QSizePolicy::Preferred);
    }
}

void TestMainWindowLayout::fontsAndSizes()
{
    for (const char *name : {"labelTestNum", "labelTestNum_2", "labelTestNum_3"}) {
        const auto *label = find<QLabel>(*m_window, QLatin1String(name));
        QCOMPARE(label->maximumWidth(), 100);
        QCOMPARE(label->font().pointSize(), 15);
    }
    for (const char *name : {"labelTestAllNum", "labelTestPassNum", "labelTestFailNum"}) {
        const auto *label = find<QLabel>(*m_window, QLatin1String(name));
        QCOMPARE(label->maximumWidth(), QWIDGETSIZE_MAX);
        QCOMPARE(label->font().pointSize(), 15);
    }
    const auto *status = find<QLabel>(*m_window, QStringLiteral("labelSta"));
    QCOMPARE(status->minimumHeight(), 40);
    QCOMPARE(status->font().pointSize(), 20);
    QCOMPARE(status->layoutDirection(), Qt::LeftToRight);
    QCOMPARE(status->alignment(), Qt::AlignHCenter | Qt::AlignVCenter);
    QCOMPARE(status->styleSheet(), QStringLiteral("QLabel{background:#66B3FF;}"));
    const auto *start = find<QPushButton>(*m_window, QStringLiteral("pbnStartTest"));
    QCOMPARE(start->minimumHeight(), 60);
    QCOMPARE(start->font().pointSize(), 20);
    // Everything else keeps the window's font.
    QCOMPARE(find<QLabel>(*m_window, QStringLiteral("label"))->font(), m_window->font());
}

void TestMainWindowLayout::lineEdits()
{
    const QList<QLineEdit *> edits = m_window->findChildren<QLineEdit *>();
    QStringList names;
    for (const QLineEdit *edit : edits) {
        names << edit->objectName();
        QCOMPARE(edit->text(), QString());
        QCOMPARE(edit->validator(), nullptr);
        QCOMPARE(edit->inputMask(), QString());
        QCOMPARE(edit->maxLength(), 32767);
    }
    names.sort();
    const QStringList expected = {"leFilePath",  "leRxFreqMax",    "leRxFreqMin", "leRxRssiMax",
                                  "leRxRssiMin", "leSendInterval", "leTestCha",   "leTimeOut",
                                  "leTxRssiMax", "leTxRssiMin"};
    QCOMPARE(names, expected);
}

void TestMainWindowLayout::table()
{
    const auto *table = find<QTableWidget>(*m_window, QStringLiteral("tableWidget"));
    QCOMPARE(table->styleSheet(), QString::fromUtf8(tableStyle));
    QCOMPARE(table->rowCount(), 25);
    QCOMPARE(table->columnCount(), 9);
    for (int column = 0; column < 9; ++column)
        QCOMPARE(table->horizontalHeaderItem(column)->text(), headerTexts.at(column));
    QVERIFY(table->verticalHeader()->isHidden());
    QVERIFY(table->horizontalHeader()->stretchLastSection());
    QCOMPARE(table->verticalHeader()->sectionResizeMode(0), QHeaderView::Stretch);
    // The layout's sample cells never show.
    for (int row = 0; row < 25; ++row) {
        QCOMPARE(table->item(row, 0), nullptr);
        for (int column = 1; column < 9; ++column) {
            QVERIFY(table->item(row, column));
            QCOMPARE(table->item(row, column)->text(), QString());
        }
    }
}

void TestMainWindowLayout::rowCheckBoxes()
{
    const auto *table = find<QTableWidget>(*m_window, QStringLiteral("tableWidget"));
    QSet<QCheckBox *> seen;
    for (int row = 0; row < 25; ++row) {
        QWidget *cell = table->cellWidget(row, 0);
        QVERIFY(cell);
        QLayout *layout = cell->layout();
        QVERIFY(qobject_cast<QHBoxLayout *>(layout));
        QCOMPARE(layout->contentsMargins(), QMargins(0, 0, 0, 0));
        QCOMPARE(layout->count(), 1);
        auto *check = qobject_cast<QCheckBox *>(layout->itemAt(0)->widget());
        QVERIFY(check);
        QCOMPARE(check->objectName(), QStringLiteral("check"));
        QCOMPARE(layout->itemAt(0)->alignment(), Qt::AlignHCenter | Qt::AlignVCenter);
        QVERIFY(!check->isChecked());
        QVERIFY(check->isEnabled());
        QCOMPARE(m_window->rowCheckBox(row), check);
        seen.insert(check);
    }
    QCOMPARE(seen.size(), 25);
    QCOMPARE(m_window->findChildren<QCheckBox *>(QStringLiteral("check")).size(), 25);
}

void TestMainWindowLayout::form()
{
    SerialLineForm form;
    QCOMPARE(form.objectName(), QStringLiteral("Form"));
    QCOMPARE(form.windowTitle(), QStringLiteral("Form"));
    QCOMPARE(form.size(), QSize(496, 300));
    QCOMPARE(find<QLabel>(form, QStringLiteral("label_5"))->geometry(), QRect(0, 100, 53, 16));
    QCOMPARE(find<QLabel>(form, QStringLiteral("label_5"))->text(), QStringLiteral("第一步："));
    const auto *container = find<QWidget>(form, QStringLiteral("widget"));
    QCOMPARE(container->geometry(), QRect(50, 100, 354, 24));
    QCOMPARE(container->layout()->objectName(), QStringLiteral("horizontalLayout"));

    const QStringList order = {"label",   "cmb_RTS",  "label_2", "cmb_DTR",
                               "label_3", "lineEdit", "label_4"};
    QCOMPARE(container->layout()->count(), order.size());
    for (int i = 0; i < order.size(); ++i)
        QCOMPARE(container->layout()->itemAt(i)->widget()->objectName(), order.at(i));
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

// On the station PCs' look (the Windows style, a 9-point font) the window
// opens at its own size, the table down the left, the boxes stacked right.
void TestMainWindowLayout::defaultSizeOnStationStyle()
{
    QStyle *style = QStyleFactory::create(QStringLiteral("windows"));
    QVERIFY(style);
    const QFont oldFont = QApplication::font();
    QApplication::setStyle(style);
    QFont font = oldFont;
    font.setPixelSize(12);
    QApplication::setFont(font);

    const StationDir dir;
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QSize shown = window.size();
    const QWidget *central = window.centralWidget();
    const QRect table = find<QWidget>(window, QStringLiteral("groupBox_4"))->geometry();
    QList<QRect> boxes;
    for (const char *name :
         {"groupBox", "groupBox_2", "groupBox_7", "groupBox_5", "groupBox_8", "groupBox_3"})
        boxes << find<QWidget>(window, QLatin1String(name))->geometry();
    window.close();
    QApplication::setFont(oldFont);

    QCOMPARE(shown, QSize(1068, 757));
    const QMargins margins = central->layout()->contentsMargins();
    QCOMPARE(table.top(), margins.top());
    QCOMPARE(table.bottom(), central->height() - margins.bottom() - 1);
    QCOMPARE(table.left(), margins.left());
    QCOMPARE(boxes.first().top(), table.top());
    QCOMPARE(boxes.last().bottom(), table.bottom());
    for (int i = 0; i < boxes.size(); ++i) {
        QVERIFY(boxes.at(i).left() > table.right());
        if (i > 0)
            QVERIFY(boxes.at(i).top() > boxes.at(i - 1).bottom());
    }
}

QTEST_MAIN(TestMainWindowLayout)
#include "tst_mainwindowlayout.moc"
