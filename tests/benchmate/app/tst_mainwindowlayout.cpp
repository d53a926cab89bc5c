// What the operator sees of the main window and the serial-line form: the
// window, the texts of every control, where each sits beside the others,
// what the parameter boxes take, the device table, and the translation
// set-up.
#include "mainwindow.h"
#include "seriallineform.h"
#include "setupcelldelegate.h"
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
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTableWidget>
#include <QTextDocument>
#include <QTranslator>
#include <QXmlStreamReader>
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
// The limits two to a line, so that the window fits a 768-line screen.
const QList<Box> rightBoxes = {
    {"groupBox",
     {{"label", "leRxRssiMax", "label_2", "leRxRssiMin"},
      {"label_3", "leRxFreqMax", "label_4", "leRxFreqMin"}}},
    {"groupBox_2", {{"label_6", "leTxRssiMax", "label_5", "leTxRssiMin"}}},
    {"groupBox_7",
     {{"label_7", "leTestCha", "label_8", "leSendInterval"}, {"label_9", "leTimeOut"}}},
    {"groupBox_5", {{"leFilePath", "pushButton_3"}, {"checkBox", "cbAutoTest", "pbnClearNum"}}},
    {"groupBox_8",
     {{"labelTestNum", "labelTestAllNum"},
      {"labelTestNum_2", "labelTestPassNum", "labelTestNum_3", "labelTestFailNum"}}},
    {"groupBox_3", {{"labelSta"}, {"pbnStartTest"}}},
};

// What the device table's delegate gives a cell to draw.
class DelegateProbe : public SetupCellDelegate
{
public:
    static QStyleOptionViewItem shown(const SetupCellDelegate &delegate, const QModelIndex &index)
    {
        QStyleOptionViewItem option;
        (delegate.*(&DelegateProbe::initStyleOption))(&option, index);
        return option;
    }
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
    void parameterBoxesStartEmpty();
    void table();
    void form();
    void translationChosen_data();
    void translationChosen();
    void catalogueChangesNothing();
    void englishCatalogueComplete();
    void everyTextTranslatable();
    void fitsTheLineScreens_data();
    void fitsTheLineScreens();
    void noTextCut_data();
    void noTextCut();

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
    // One menu: the language, each named in its own language.
    QCOMPARE(w.menuBar()->actions().size(), 1);
    QCOMPARE(w.menuBar()->actions().first()->text(), QStringLiteral("语言(&L)"));
    const QList<QAction *> languages = w.menuBar()->actions().first()->menu()->actions();
    QCOMPARE(languages.size(), 2);
    QCOMPARE(languages.at(0)->text(), QStringLiteral("中文"));
    QCOMPARE(languages.at(1)->text(), QStringLiteral("English"));
    QVERIFY(languages.at(0)->isChecked());
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

// The window opens at its own size with the device table (in the first of
// its tabs) down the left from top to bottom, the parameter boxes stacked on the right, and in each
// box its captions left of their boxes, line under line.
void TestMainWindowLayout::arrangement()
{
    QCOMPARE(m_window->size(), QSize(1180, 680));
    const QRect table = shownAt(*m_window, QStringLiteral("tabWidget"));
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
// parameter boxes keep their height, and all six boxes on the right line up.
void TestMainWindowLayout::parameterBoxesKeepTheirSize()
{
    const QStringList fixed = {"groupBox", "groupBox_2", "groupBox_7", "groupBox_5"};
    QList<int> before;
    for (const QString &name : fixed)
        before << find<QWidget>(*m_window, name)->height();
    const QSize tableBefore = find<QWidget>(*m_window, QStringLiteral("groupBox_4"))->size();

    m_window->resize(1400, 980);
    QTRY_VERIFY(find<QWidget>(*m_window, QStringLiteral("groupBox_4"))->height() >
                tableBefore.height() + 100);
    for (int i = 0; i < fixed.size(); ++i)
        QCOMPARE(find<QWidget>(*m_window, fixed.at(i))->height(), before.at(i));
    for (const Box &box : rightBoxes) {
        QCOMPARE(shownAt(*m_window, QLatin1String(box.name)).left(),
                 shownAt(*m_window, QStringLiteral("groupBox")).left());
        QCOMPARE(shownAt(*m_window, QLatin1String(box.name)).width(),
                 shownAt(*m_window, QStringLiteral("groupBox")).width());
    }
    QVERIFY(find<QWidget>(*m_window, QStringLiteral("groupBox_4"))->width() >
            tableBefore.width() + 100);
    m_window->resize(1180, 680);
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

// The ten parameter boxes start empty and enabled (what each takes as it is
// typed is the window's guard against typing mistakes).
void TestMainWindowLayout::parameterBoxesStartEmpty()
{
    const QList<QLineEdit *> edits = m_window->findChildren<QLineEdit *>();
    QCOMPARE(edits.size(), 10);
    for (QLineEdit *edit : edits) {
        QCOMPARE(edit->text(), QString());
        QVERIFY(edit->isEnabled());
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
                                  << QStringLiteral("Benchmate_en");
    QTest::newRow("de-DE, zh-CN") << QStringList{"de-DE", "zh-CN"}
                                  << QStringLiteral("Benchmate_zh_CN");
    QTest::newRow("zh-Hans-CN") << QStringList{"zh-Hans-CN"} << QStringLiteral("Benchmate_zh_CN");
    QTest::newRow("en-GB") << QStringList{"en-GB"} << QStringLiteral("Benchmate_en");
    QTest::newRow("zh-TW only") << QStringList{"zh-TW"} << QString();
    QTest::newRow("de-DE only") << QStringList{"de-DE"} << QString();
    QTest::newRow("none") << QStringList{} << QString();
}

void TestMainWindowLayout::translationChosen()
{
    QFETCH(QStringList, languages);
    QFETCH(QString, loaded);
    QTranslator translator;
    QCOMPARE(loadUiTranslation(translator, languages), loaded);
    // The Chinese catalogue carries its language and no messages (the
    // window's own texts are Chinese); the English one translates them.
    QCOMPARE(translator.language(), loaded.mid(10));
    QCOMPARE(translator.isEmpty(), !loaded.endsWith(QLatin1String("_en")));
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

// Every text the window's sources mark for translation (the list lupdate
// keeps in the Chinese catalogue) has its English.
void TestMainWindowLayout::englishCatalogueComplete()
{
    QFile file(QStringLiteral(I18N_DIR "/Benchmate_zh_CN.ts"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QTranslator english;
    QVERIFY(english.load(QStringLiteral(":/i18n/Benchmate_en.qm")));
    QXmlStreamReader xml(&file);
    QString context;
    int checked = 0;
    QStringList missing;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1String("source")) {
            const QString source = xml.readElementText();
            ++checked;
            if (english.translate(context.toUtf8().constData(), source.toUtf8().constData())
                    .isEmpty())
                missing << context + QLatin1Char('|') + source;
        }
    }
    QVERIFY(!xml.hasError());
    QVERIFY(checked > 100);
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QLatin1String(", "))));
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

void TestMainWindowLayout::fitsTheLineScreens_data()
{
    QTest::addColumn<QString>("style");
    QTest::addColumn<int>("pixels"); // the font
    QTest::addColumn<QSize>("screen");
    // What a 1366 x 768 and a 1280 x 800 screen leave a window: a 40-pixel
    // taskbar and a 31-pixel title bar.
    for (const char *style : {"windows", "fusion"}) {
        QTest::addRow("%s 1366x768", style) << QString::fromLatin1(style) << 12 << QSize(1366, 697);
        QTest::addRow("%s 1280x800", style) << QString::fromLatin1(style) << 12 << QSize(1280, 729);
    }
    QTest::newRow("fusion, 13-pixel font, 1366x768") << "fusion" << 13 << QSize(1366, 697);
}

// On the line's screens the window fits whole: it can be as small as the
// screen leaves, every control shows at no less than its own height inside
// the window, and the 25 rows show without scrolling.
void TestMainWindowLayout::fitsTheLineScreens()
{
    QFETCH(QString, style);
    QFETCH(int, pixels);
    QFETCH(QSize, screen);
    const QFont oldFont = QApplication::font();
    QApplication::setStyle(QStyleFactory::create(style));
    QFont font = oldFont;
    font.setPixelSize(pixels);
    QApplication::setFont(font);

    const StationDir dir;
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QSize least = window.minimumSizeHint();
    window.resize(screen);
    QTRY_COMPARE(window.size(), screen);
    QCoreApplication::processEvents();

    QVERIFY2(least.width() <= screen.width() && least.height() <= screen.height(),
             qPrintable(QStringLiteral("%1x%2").arg(least.width()).arg(least.height())));
    const QRect inside = window.rect();
    for (QWidget *w : window.centralWidget()->findChildren<QWidget *>()) {
        const bool control = qobject_cast<QAbstractButton *>(w) || qobject_cast<QLineEdit *>(w) ||
                             qobject_cast<QLabel *>(w);
        if (!w->isVisible() || !control)
            continue;
        const QRect at(w->mapTo(&window, QPoint(0, 0)), w->size());
        QVERIFY2(inside.contains(at), qPrintable(w->objectName()));
        QVERIFY2(w->height() >= qMin(w->minimumSizeHint().height(), w->sizeHint().height()),
                 qPrintable(w->objectName()));
    }
    QVERIFY(find<QPushButton>(window, QStringLiteral("pbnStartTest"))->height() >= 60);
    const auto *table = find<QTableWidget>(window, QStringLiteral("tableWidget"));
    QVERIFY(!table->verticalScrollBar()->isVisible());
    QVERIFY(!table->horizontalScrollBar()->isVisible());
    window.close();
    QApplication::setFont(oldFont);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("windows")));
}

void TestMainWindowLayout::noTextCut_data()
{
    QTest::addColumn<QString>("language");
    // Empty: the size the window opens at; 1 x 1: the least it can have.
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("family");
    // A Linux PC's sans-serif (its Chinese from WenQuanYi), and WenQuanYi
    // for both scripts.
    for (const char *family : {"DejaVu Sans", "WenQuanYi Micro Hei"}) {
        for (const char *language : {"zh_CN", "en"}) {
            const QString lang = QString::fromLatin1(language);
            const QString f = QString::fromLatin1(family);
            QTest::addRow("%s %s 1366x768", family, language) << lang << QSize(1366, 697) << f;
            QTest::addRow("%s %s 1280x800", family, language) << lang << QSize(1280, 729) << f;
            QTest::addRow("%s %s as opened", family, language) << lang << QSize() << f;
            QTest::addRow("%s %s smallest", family, language) << lang << QSize(1, 1) << f;
        }
    }
}

// Every text the window shows is whole at the line's screen sizes, at the
// size it opens at and at its least size, in both languages: labels,
// buttons, check boxes, group box titles, tabs and the device table's
// headers. Fonts this machine has, so that what is measured is what is
// drawn.
void TestMainWindowLayout::noTextCut()
{
    QFETCH(QString, language);
    QFETCH(QSize, size);
    QFETCH(QString, family);
    const QFont oldFont = QApplication::font();
    QFont font(family);
    font.setPixelSize(12);
    QApplication::setFont(font);
    QCOMPARE(QFontInfo(font).family(), family);

    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral(":/i18n/Benchmate_") + language));
    QCoreApplication::installTranslator(&translator);
    const StationDir dir;
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    if (size == QSize(1, 1))
        size = window.minimumSizeHint(); // as small as it goes
    if (size.isValid()) {
        window.resize(size);
        QTRY_COMPARE(window.size(), size);
    }
    QCoreApplication::processEvents();

    QStringList cut;
    const auto check = [&cut](const QWidget *w, const QString &shown, int needed, int room) {
        if (needed > room)
            cut << QStringLiteral("%1 \"%2\" needs %3 px, has %4")
                       .arg(w->objectName(), shown)
                       .arg(needed)
                       .arg(room);
    };
    const auto plain = [](QString text) { return text.remove(QLatin1Char('&')); };
    for (const QLabel *w : window.findChildren<QLabel *>()) {
        if (!w->isVisible() || w->wordWrap() || w->text().isEmpty() ||
            Qt::mightBeRichText(w->text()))
            continue;
        const int indent = qMax(0, w->indent()) + qMax(0, w->margin()) * 2;
        check(w, w->text(), w->fontMetrics().horizontalAdvance(w->text()),
              w->contentsRect().width() - indent);
    }
    for (const QAbstractButton *w : window.findChildren<QAbstractButton *>()) {
        if (!w->isVisible() || w->text().isEmpty())
            continue;
        // Where the style draws the text: inside the frame and margins of a
        // button, beside the indicator of a check box.
        QStyleOptionButton option;
        option.initFrom(w);
        option.text = w->text();
        const bool isCheckBox = qobject_cast<const QCheckBox *>(w) != nullptr;
        const QRect room = w->style()->subElementRect(
            isCheckBox ? QStyle::SE_CheckBoxContents : QStyle::SE_PushButtonContents, &option, w);
        check(w, plain(w->text()), w->fontMetrics().horizontalAdvance(plain(w->text())),
              room.width());
    }
    for (const QGroupBox *w : window.findChildren<QGroupBox *>()) {
        if (w->isVisible() && !w->title().isEmpty())
            check(w, w->title(), w->fontMetrics().horizontalAdvance(w->title()) + 8, w->width());
    }
    for (const QTabBar *w : window.findChildren<QTabBar *>()) {
        for (int i = 0; w->isVisible() && i < w->count(); ++i)
            check(w, w->tabText(i), w->fontMetrics().horizontalAdvance(plain(w->tabText(i))),
                  w->tabRect(i).width());
    }
    for (const QTableWidget *table : window.findChildren<QTableWidget *>()) {
        const QHeaderView *header = table->horizontalHeader();
        if (!table->isVisible())
            continue;
        const int margin =
            2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
        for (int c = 0; c < table->columnCount(); ++c) {
            const QString text = table->horizontalHeaderItem(c)->text();
            check(table, text, header->fontMetrics().horizontalAdvance(text) + margin,
                  header->sectionSize(c));
        }
    }
    // A network port shows the port that tells it from the others, a local
    // port as it is, as the table's own delegate draws them.
    auto *table = find<QTableWidget>(window, QStringLiteral("tableWidget"));
    table->item(1, MainWindow::colPort)->setText(QStringLiteral("rfc2217://127.0.0.1:7012"));
    table->item(2, MainWindow::colPort)->setText(QStringLiteral("COM12"));
    const auto *delegate = qobject_cast<SetupCellDelegate *>(table->itemDelegate());
    QVERIFY(delegate);
    const int portRoom = table->columnWidth(MainWindow::colPort) -
                         2 * (table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
    for (int row : {1, 2}) {
        const QStyleOptionViewItem option =
            DelegateProbe::shown(*delegate, table->model()->index(row, MainWindow::colPort));
        const QString drawn =
            table->fontMetrics().elidedText(option.text, option.textElideMode, portRoom);
        QVERIFY2(drawn.endsWith(row == 1 ? QStringLiteral(":7012") : QStringLiteral("COM12")),
                 qPrintable(drawn));
    }

    QCoreApplication::removeTranslator(&translator);
    window.close();
    QApplication::setFont(oldFont);
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));
}

QTEST_MAIN(TestMainWindowLayout)
#include "tst_mainwindowlayout.moc"
