// The yield view beside the device table, after real cycles of the window:
// the day's results file read at start, each cycle's rows added as it ends,
// and the warning on a slot that keeps failing.
#include "dayyield.h"
#include "stationsetup.h"
#include "windowbench.h"
#include "yieldview.h"

#include <QAreaSeries>
#include <QChartView>
#include <QDate>
#include <QDir>
#include <QGraphicsSimpleTextItem>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTableWidget>
#include <QValueAxis>
#include <QtTest>

#include <memory>

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
using namespace QtCharts;
#endif

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestYieldView : public QObject, private WindowBench
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void slotThatKeepsFailingWarns();
    void histogramShowsEveryDut();
};

void TestYieldView::init()
{
    // The station PCs' look: the Windows style, a 9-point (12-pixel) font.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("windows")));
    QFont font = QApplication::font();
    font.setPixelSize(12);
    QApplication::setFont(font);
    QVERIFY(setUpBench());
}

void TestYieldView::cleanup()
{
    tearDownBench();
}

// The station warns after 2 failed cycles in a row. DUT1 (slot 1) already
// failed once this morning, as the day's results file says; its ramcode is
// refused again in every cycle now. After one cycle it warns; DUT0, which
// passes, never does. The charts are drawn when the tab shows.
void TestYieldView::slotThatKeepsFailingWarns()
{
    m_fake->healthyGolden();
    m_fake->healthyDut(QStringLiteral("D1"));
    m_fake->on(QStringLiteral("D2 download *"), failText);
    m_fake->healthyDut(QStringLiteral("D2"));
    QVERIFY(StationSetup::withDuts(2).write());
    QVERIFY(writeFile(QStringLiteral("config/station.ini"), "[yield]\nfailStreakWarning=2\n"));
    QVERIFY(QDir().mkpath(QStringLiteral("log")));
    const QString morning =
        QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(" 00:00:01");
    QVERIFY(writeFile(QStringLiteral("log/") +
                          QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) +
                          QStringLiteral(".csv"),
                      ResultsCsv::header() +
                          (morning + QStringLiteral(",0,1,DUT1,D2,,,,0,0,0,0,0,0,0,0,0,fail,not "
                                                    "run,error\r\n"))
                              .toUtf8()));

    QVERIFY(openWindow());
    auto *view = find<YieldView>(*m_window, "yieldView");
    QTRY_VERIFY(!view->isLoading());
    QCOMPARE(view->yield().slot(1).failed, 1u);
    QCOMPARE(view->yield().slot(1).failStreak, 1);
    auto *tabs = find<QTabWidget>(*m_window, "tabWidget");
    QCOMPARE(tabs->tabText(tabs->indexOf(view)), QStringLiteral("良率统计"));

    QVERIFY(runCycle());
    QCOMPARE(view->yield().slot(1).failStreak, 2);
    QVERIFY(view->yield().warns(1));
    QVERIFY(!view->yield().warns(0));
    QCOMPARE(tabs->tabText(tabs->indexOf(view)), QStringLiteral("良率统计（1 个警告）"));
    const auto *table = find<QTableWidget>(*view, "tableYield");
    QCOMPARE(table->item(1, 2)->text(), QStringLiteral("2"));
    QCOMPARE(table->item(0, 1)->text(), QStringLiteral("1"));
    QCOMPARE(table->item(1, 0)->background().color(), QColor(QStringLiteral("#FF9900")));
    QVERIFY(table->item(0, 0)->background().style() == Qt::NoBrush);
    // Drawn only once the tab shows.
    QVERIFY(!view->chartsCurrent());
    tabs->setCurrentWidget(view);
    QTRY_VERIFY(view->isVisible());
    QVERIFY(view->chartsCurrent());
    const auto *warning = find<QLabel>(*view, "labelYieldWarning");
    QVERIFY2(warning->text().contains(QStringLiteral("DUT1 已连续 2 次失败")),
             qPrintable(warning->text()));
    QVERIFY(!find<QChartView>(*view, "chartTxRssi")->chart()->series().isEmpty());
    // Every figure and header shows whole ("100.0%", not "100...."), also
    // in the smallest window.
    m_window->resize(m_window->minimumSizeHint());
    QTRY_COMPARE(m_window->size(), m_window->minimumSizeHint());
    QCoreApplication::processEvents();
    const QFontMetrics metrics = table->fontMetrics();
    for (int column = 0; column < table->columnCount(); ++column) {
        const int width = table->columnWidth(column);
        const QString header = table->horizontalHeaderItem(column)->text();
        QVERIFY2(metrics.horizontalAdvance(header) < width, qPrintable(header));
        for (int row = 0; row < table->rowCount(); ++row) {
            const QString text = table->item(row, column)->text();
            QVERIFY2(metrics.horizontalAdvance(text) < width, qPrintable(text));
        }
    }

    // A cycle that ends in a station fault judges nobody: the streak stays.
    m_fake->clear();
    m_fake->on(QStringLiteral("GM *"), failText);
    tabs->setCurrentIndex(0);
    QVERIFY(runCycle());
    QCOMPARE(view->yield().slot(1).failStreak, 2);
    // A pass ends it.
    m_fake->clear();
    m_fake->healthyGolden();
    m_fake->healthyDut(QStringLiteral("D1"));
    m_fake->healthyDut(QStringLiteral("D2"));
    QVERIFY(runCycle());
    QCOMPARE(view->yield().slot(1).failStreak, 0);
    QCOMPARE(tabs->tabText(tabs->indexOf(view)), QStringLiteral("良率统计"));
    QCOMPARE(view->yield().slot(1).passed, 1u);
    QCOMPARE(view->yield().slot(1).failed, 2u);
}

// Limits -10 to 10 kHz. A DUT at exactly 10 passed, one at 10.3 failed:
// the same bar, told apart by colour (within the limits below, outside
// above). A DUT at 40 kHz, far beyond the axis, counts in the end bin
// "> 15", one at -40 kHz in "< -15"; both end bins' labels show whole under
// the plot, also in a chart as narrow as the smallest window gives it. A
// row that cannot be read is counted and said.
void TestYieldView::histogramShowsEveryDut()
{
    YieldView view;
    JudgeLimits limits;
    limits.freqMin = -10;
    limits.freqMax = 10;
    limits.rxRssiMin = -80;
    limits.rxRssiMax = -20;
    limits.txRssiMin = -80;
    limits.txRssiMax = -20;
    view.setLimits(limits);
    view.resize(900, 600);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const QString now =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    QString rows = QStringLiteral("date time,slot,verdict,freq offset avg\r\n");
    for (const char *row :
         {"0,pass,10.00", "1,fail,10.30", "2,fail,40.00", "3,pass,-3.00", "5,fail,-40.00"})
        rows += now + QLatin1Char(',') + QLatin1String(row) + QStringLiteral("\r\n");
    rows += QStringLiteral("yesterday?,4,pass,1.00\r\n");
    view.addCycleRows(rows.toUtf8());
    QVERIFY(view.chartsCurrent());

    QCOMPARE(view.unreadableRows(), 1);
    const QString summary = find<QLabel>(view, "labelYieldSummary")->text();
    QVERIFY2(summary.contains(QStringLiteral("1 行无法读取")), qPrintable(summary));

    QChart *chart = find<QChartView>(view, "chartFreqOffset")->chart();
    // The height of each series' steps over a bin: its upper outline less
    // its lower one.
    const auto height = [chart](const char *name, int bin) {
        for (QAbstractSeries *series : chart->series()) {
            auto *area = qobject_cast<QAreaSeries *>(series);
            if (!area || area->name() != QLatin1String(name))
                continue;
            // A step: the bin's left and right corners, at its height.
            const auto at = [bin](const QLineSeries *line) {
                const QList<QPointF> points = line ? line->points() : QList<QPointF>();
                for (int i = 0; i + 1 < points.size(); ++i) {
                    if (qFuzzyCompare(points.at(i).x(), bin - 0.5) &&
                        qFuzzyCompare(points.at(i + 1).x(), bin + 0.5))
                        return points.at(i).y();
                }
                return 0.0;
            };
            return at(area->upperSeries()) - at(area->lowerSeries());
        }
        return -1.0;
    };
    QCOMPARE(height("inside", 10), 1.0);
    QCOMPARE(height("outside", 10), 1.0);
    QCOMPARE(height("inside", -3), 1.0);
    QCOMPARE(height("outside", -3), 0.0);
    QCOMPARE(height("outside", 16), 1.0);
    QCOMPARE(height("outside", -16), 1.0);
    const auto axes = chart->axes(Qt::Horizontal);
    QCOMPARE(axes.size(), 1);
    const auto *x = qobject_cast<QValueAxis *>(axes.first());
    QVERIFY(x && x->min() <= -16.5 && x->max() >= 16.5);

    // The end bins' labels, where the chart's scene has them.
    const auto endLabels = [chart] {
        QMap<QString, QRectF> shown;
        for (QGraphicsItem *item : chart->childItems()) {
            const auto *text = dynamic_cast<QGraphicsSimpleTextItem *>(item);
            if (text && text->isVisible())
                shown.insert(text->text(), text->mapRectToParent(text->boundingRect()));
        }
        return shown;
    };
    // As large as asked, then as small as its layout lets it be.
    for (const QSize size : {QSize(900, 600), QSize(1, 1)}) {
        view.resize(size);
        QTRY_COMPARE(view.size(), size.expandedTo(view.minimumSize()));
        QCoreApplication::processEvents();
        const QMap<QString, QRectF> shown = endLabels();
        const QRectF plot = chart->plotArea();
        QVERIFY2(shown.contains(QStringLiteral("< -15")) && shown.contains(QStringLiteral("> 15")),
                 qPrintable(QStringList(shown.keys()).join(QLatin1Char('|'))));
        const QRectF low = shown.value(QStringLiteral("< -15"));
        const QRectF high = shown.value(QStringLiteral("> 15"));
        for (const QRectF &label : {low, high}) {
            // (Half a pixel for the rounding of a label moved in to an edge.)
            QVERIFY(label.left() > plot.left() - 0.5 && label.right() < plot.right() + 0.5);
            QVERIFY(label.top() >= plot.bottom() && label.bottom() <= chart->rect().bottom());
        }
        QVERIFY2(low.right() < high.left(), qPrintable(QString::number(plot.width())));
    }
}

QTEST_MAIN(TestYieldView)
#include "tst_yieldview.moc"
