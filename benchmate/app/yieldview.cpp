#include "yieldview.h"

#include "histogrambins.h"
#include "histogramendlabels.h"

#include <QAreaSeries>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTimeAxis>
#include <QDebug>
#include <QEvent>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QtConcurrent>

#include <cmath>
#include <map>

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
using namespace QtCharts;
#endif

namespace {

const char *const warningColour = "#FF9900";
const char *const limitColour = "#D00000";

enum TableColumn
{
    colDevice,
    colPassed,
    colFailed,
    colYield,
    colStreak,
    tableColumns,
};

QString percent(uint32_t part, uint32_t whole)
{
    if (whole == 0)
        return QStringLiteral("-");
    return QString::number(100.0 * double(part) / double(whole), 'f', 1) + QLatin1Char('%');
}

// The minute a moment is in.
QDateTime wholeMinute(QDateTime moment)
{
    const QTime t = moment.time();
    moment.setTime(QTime(t.hour(), t.minute()));
    return moment;
}

void clearChart(QChart *chart)
{
    chart->removeAllSeries();
    const auto axes = chart->axes();
    for (QAbstractAxis *axis : axes) {
        chart->removeAxis(axis);
        delete axis; // a removed axis is the caller's
    }
}

} // namespace

// A histogram per figure of the figure table, in its order, then the
// crystal values.
struct YieldView::Charts
{
    std::vector<QChartView *> views;
    std::vector<HistogramEndLabels *> endLabels; // children of their charts
    QChartView *crystal = nullptr;
};

YieldView::YieldView(QWidget *parent)
    : QWidget(parent)
    , m_charts(std::make_unique<Charts>())
{
    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("labelYieldSummary"));
    m_warning = new QLabel(this);
    m_warning->setObjectName(QStringLiteral("labelYieldWarning"));
    m_warning->setWordWrap(true);
    m_warning->setStyleSheet(
        QStringLiteral("QLabel{background:%1; padding:4px;}").arg(QLatin1String(warningColour)));
    m_warning->hide();

    m_table = new QTableWidget(DayYield::slotCount, tableColumns, this);
    m_table->setObjectName(QStringLiteral("tableYield"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_table->verticalHeader()->setMinimumSectionSize(14);
    // Each column as wide as its widest text or header (equal shares would
    // cut the wide ones); the last takes what is left.
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    for (int row = 0; row < DayYield::slotCount; ++row) {
        for (int column = 0; column < tableColumns; ++column) {
            auto *item = new QTableWidgetItem;
            const Qt::Alignment alignment = column == colDevice
                                                ? Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter)
                                                : Qt::Alignment(Qt::AlignCenter);
            item->setTextAlignment(alignment);
            m_table->setItem(row, column, item);
        }
        m_table->item(row, colDevice)->setText(QStringLiteral("DUT%1").arg(row));
    }

    auto *left = new QVBoxLayout;
    left->addWidget(m_summary);
    left->addWidget(m_warning);
    left->addWidget(m_table, 1);

    m_crystalSlot = new QComboBox(this);
    m_crystalSlot->setObjectName(QStringLiteral("cmbCrystalSlot"));
    m_crystalSlot->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_crystalSlot->addItem(QString(), -1);
    for (int slot = 0; slot < DayYield::slotCount; ++slot)
        m_crystalSlot->addItem(QStringLiteral("DUT%1").arg(slot), slot);
    connect(m_crystalSlot, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this] { drawCrystals(); });

    const auto newView = [this](const QString &name) {
        auto *chart = new QChart;
        chart->legend()->hide();
        chart->setMargins(QMargins(2, 2, 2, 2));
        auto *view = new QChartView(chart, this);
        view->setObjectName(name);
        view->setRenderHint(QPainter::Antialiasing);
        view->setMinimumSize(200, 150);
        return view;
    };
    // "chartRxRssi", "chartFreqOffset", "chartTxRssi": the figure's name in
    // camel case.
    for (const FigureDefinition &f : FigureTable::figures()) {
        QString name = QStringLiteral("chart");
        for (const QString &word : QString::fromLatin1(f.name).split(QLatin1Char(' ')))
            name += word.left(1).toUpper() + word.mid(1);
        m_charts->views.push_back(newView(name));
        m_charts->endLabels.push_back(new HistogramEndLabels(m_charts->views.back()->chart()));
    }
    m_charts->crystal = newView(QStringLiteral("chartCrystal"));
    // Two charts to a row, the crystal values last.
    auto *charts = new QGridLayout;
    int place = 0;
    for (QChartView *view : m_charts->views) {
        charts->addWidget(view, place / 2, place % 2);
        ++place;
    }
    auto *crystal = new QVBoxLayout;
    crystal->setSpacing(0);
    crystal->addWidget(m_crystalSlot, 0, Qt::AlignRight);
    crystal->addWidget(m_charts->crystal, 1);
    charts->addLayout(crystal, place / 2, place % 2);

    auto *layout = new QHBoxLayout(this);
    layout->addLayout(left, 3);
    layout->addLayout(charts, 7);

    connect(&m_loader, &QFutureWatcher<void>::finished, this, &YieldView::loaded);
    retranslate();
}

// A read still running finishes first: it touches nothing of this object,
// but its result has to be collected before the watcher goes.
YieldView::~YieldView()
{
    m_loader.waitForFinished();
}

void YieldView::setFailStreakWarning(int cycles)
{
    m_yield.setFailStreakWarning(cycles);
    refresh();
}

void YieldView::setLimits(const JudgeLimits &limits)
{
    m_limits = limits;
    m_chartsDirty = true;
    if (isVisible())
        refreshCharts();
}

void YieldView::loadResultsFile(const QString &path)
{
    m_loader.waitForFinished();
    m_pendingRows.clear();
    m_loading = true;
    const auto handoff = std::make_shared<Handoff>();
    m_handoff = handoff;
    m_loader.setFuture(QtConcurrent::run([path, handoff] {
        Loaded out;
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            out.bytes = file.readAll();
        DayYield::Rows rows = DayYield::read(out.bytes);
        out.entries = std::move(rows.entries);
        out.unreadable = rows.unreadable;
        if (rows.unreadable > 0)
            qWarning().noquote() << QStringLiteral("Results file %1: %2 row(s) could not be read "
                                                   "and are not in the day's yield (%3).")
                                        .arg(path)
                                        .arg(rows.unreadable)
                                        .arg(rows.problems.join(QStringLiteral("; ")));
        const std::lock_guard<std::mutex> guard(handoff->lock);
        handoff->loaded = std::move(out);
    }));
}

void YieldView::loaded()
{
    Loaded result;
    {
        const std::lock_guard<std::mutex> guard(m_handoff->lock);
        result = std::move(m_handoff->loaded);
    }
    m_yield.clear();
    m_yield.add(result.entries);
    m_unreadable = result.unreadable;
    // A cycle that ended while the file was read may be in it already.
    for (const QByteArray &rows : qAsConst(m_pendingRows)) {
        if (!result.bytes.contains(rows))
            addRows(rows);
    }
    m_pendingRows.clear();
    m_loading = false;
    refresh();
}

void YieldView::addCycleRows(const QByteArray &rows)
{
    if (m_loading) {
        m_pendingRows.append(rows);
        return;
    }
    addRows(rows);
    refresh();
}

void YieldView::addRows(const QByteArray &rows)
{
    const DayYield::Rows read = DayYield::read(rows);
    m_yield.add(read.entries);
    m_unreadable += read.unreadable;
}

void YieldView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_chartsDirty)
        refreshCharts();
}

void YieldView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(event);
}

void YieldView::retranslate()
{
    m_table->setHorizontalHeaderLabels(
        {tr("设备"), tr("通过"), tr("失败"), tr("良率"), tr("连续失败")});
    m_crystalSlot->setItemText(0, tr("全部设备"));
    m_chartsDirty = true;
    refresh();
}

void YieldView::refresh()
{
    refreshTable();
    m_chartsDirty = true;
    if (isVisible())
        refreshCharts();
    emit warningsChanged(m_yield.warningSlots());
}

void YieldView::refreshTable()
{
    const uint32_t passed = m_yield.passed();
    const uint32_t failed = m_yield.failed();
    const QString day = m_yield.day().isValid() ? m_yield.day().toString(Qt::ISODate) : tr("今日");
    m_summary->setText(
        tr("%1：通过 %2，失败 %3，良率 %4")
            .arg(day)
            .arg(passed)
            .arg(failed)
            .arg(percent(passed, passed + failed)) +
        (m_unreadable > 0
             ? QStringLiteral("\n") + tr("结果文件有 %1 行无法读取，未计入").arg(m_unreadable)
             : QString()));

    QStringList warnings;
    for (int slot = 0; slot < DayYield::slotCount; ++slot) {
        const DayYield::Slot &s = m_yield.slot(slot);
        m_table->item(slot, colPassed)->setText(QString::number(s.passed));
        m_table->item(slot, colFailed)->setText(QString::number(s.failed));
        m_table->item(slot, colYield)->setText(percent(s.passed, s.passed + s.failed));
        m_table->item(slot, colStreak)
            ->setText(s.failStreak ? QString::number(s.failStreak) : QString());
        const bool warns = m_yield.warns(slot);
        const QString tip = warns
                                ? tr("DUT%1 已连续 %2 次失败：多为夹具或线缆问题，请先检查该槽位。")
                                      .arg(slot)
                                      .arg(s.failStreak)
                                : QString();
        if (warns)
            warnings << tip;
        for (int column = 0; column < tableColumns; ++column) {
            QTableWidgetItem *item = m_table->item(slot, column);
            item->setBackground(warns ? QBrush(QColor(QLatin1String(warningColour))) : QBrush());
            item->setToolTip(tip);
        }
    }
    m_warning->setText(warnings.join(QLatin1Char('\n')));
    m_warning->setVisible(!warnings.isEmpty());
    // As wide as its columns need, so nothing is cut: each as its widest
    // text or header.
    const QFontMetrics metrics = m_table->fontMetrics();
    int width = 2 * m_table->frameWidth();
    for (int column = 0; column < tableColumns; ++column) {
        int widest = m_table->horizontalHeader()->sectionSizeHint(column);
        for (int row = 0; row < DayYield::slotCount; ++row)
            widest =
                qMax(widest, metrics.horizontalAdvance(m_table->item(row, column)->text()) + 12);
        width += widest;
    }
    m_table->setMinimumWidth(width);
}

void YieldView::refreshCharts()
{
    for (std::size_t figure = 0; figure < FigureTable::figures().size(); ++figure)
        drawHistogram(int(figure));
    drawCrystals();
    m_chartsDirty = false;
}

// How many of today's judged DUTs had each mean, counted in bins one unit
// wide around the whole numbers, as filled steps: within the limits in
// blue, outside them in red on top, so that a bar at a limit shows on which
// side its DUTs were. The axis spans the limits and a margin; a mean beyond
// it counts in the end bin of its side, labelled "< low" or "> high", so
// that no DUT is left out of the chart. The limits are dashed red lines.
void YieldView::drawHistogram(int figure)
{
    const FigureDefinition &f = FigureTable::figures()[std::size_t(figure)];
    QChart *chart = m_charts->views[std::size_t(figure)]->chart();
    clearChart(chart);
    // Two lines, so that the title fits a chart a quarter of the screen wide.
    const QString title = QCoreApplication::translate("YieldView", f.label)
                              .replace(QStringLiteral(" ("), QStringLiteral("\n("));
    const double lower = double(m_limits.*f.lower);
    const double upper = double(m_limits.*f.upper);
    const QVector<double> &values = m_yield.values(figure);
    chart->setTitle(values.isEmpty() ? title + QLatin1Char('\n') + tr("今日尚无数据") : title);

    const HistogramBins bins(lower, upper);
    std::map<int, int> inside;
    std::map<int, int> outside;
    for (double v : values)
        ++(v >= qMin(lower, upper) && v <= qMax(lower, upper) ? inside : outside)[bins.binOf(v)];
    int most = 1;
    for (int bin = bins.first(); bin <= bins.last(); ++bin) {
        const auto in = inside.find(bin);
        const auto out = outside.find(bin);
        most = qMax(most, (in == inside.end() ? 0 : in->second) +
                              (out == outside.end() ? 0 : out->second));
    }

    // The numbers along the axis; the end bins' labels are drawn whole
    // beside it (HistogramEndLabels), and a bin's width of room is left
    // beyond each end bin.
    auto *x = new QCategoryAxis;
    x->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    const double axisMin = bins.first() - 1.5;
    const double axisMax = bins.last() + 1.5;
    x->setRange(axisMin, axisMax);
    x->setStartValue(axisMin);
    for (int bin = bins.first() + 1; bin < bins.last(); ++bin) {
        const QString label = bins.label(bin);
        if (!label.isEmpty())
            x->append(label, bin);
    }
    auto *y = new QValueAxis;
    y->setRange(0, most * 1.15);
    y->setLabelFormat(QStringLiteral("%d"));
    y->applyNiceNumbers();
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    m_charts->endLabels[std::size_t(figure)]->set(
        axisMin, axisMax, bins.first(), bins.label(bins.first()), bins.last(),
        bins.label(bins.last()), x->labelsFont(), x->labelsBrush());

    // The steps of the DUTs within the limits, and of those outside them
    // stacked on top.
    auto *inLine = new QLineSeries;
    auto *topLine = new QLineSeries;
    for (int bin = bins.first(); bin <= bins.last(); ++bin) {
        const auto in = inside.find(bin);
        const auto out = outside.find(bin);
        const int n = in == inside.end() ? 0 : in->second;
        const int m = out == outside.end() ? 0 : out->second;
        inLine->append(bin - 0.5, n);
        inLine->append(bin + 0.5, n);
        topLine->append(bin - 0.5, n + m);
        topLine->append(bin + 0.5, n + m);
    }
    auto *inArea = new QAreaSeries(inLine);
    inLine->setParent(inArea); // an area series does not own its outlines
    inArea->setName(QStringLiteral("inside"));
    inArea->setColor(QColor(QStringLiteral("#4A90D9")));
    inArea->setBorderColor(QColor(QStringLiteral("#2A6099")));
    auto *baseLine = new QLineSeries;
    baseLine->append(inLine->points());
    auto *outArea = new QAreaSeries(topLine, baseLine);
    topLine->setParent(outArea);
    baseLine->setParent(outArea);
    outArea->setName(QStringLiteral("outside"));
    outArea->setColor(QColor(QStringLiteral("#F08080")));
    outArea->setBorderColor(QColor(QLatin1String(limitColour)));
    for (QAreaSeries *area : {inArea, outArea}) {
        chart->addSeries(area);
        area->attachAxis(x);
        area->attachAxis(y);
    }

    for (double bound : {lower, upper}) {
        auto *line = new QLineSeries;
        line->append(bound, 0);
        line->append(bound, y->max());
        QPen pen{QColor(QLatin1String(limitColour))};
        pen.setWidth(2);
        pen.setStyle(Qt::DashLine);
        line->setPen(pen);
        chart->addSeries(line);
        line->attachAxis(x);
        line->attachAxis(y);
    }
}

// The crystal value each slot accepted over the day: one line per slot, or
// the one slot chosen.
void YieldView::drawCrystals()
{
    QChart *chart = m_charts->crystal->chart();
    clearChart(chart);
    const int chosen = m_crystalSlot->currentData().toInt();
    chart->setTitle(tr("接受的晶振值"));

    QDateTime first;
    QDateTime last;
    int low = 0;
    int high = 0;
    bool any = false;
    QList<QLineSeries *> lines;
    for (int slot = 0; slot < DayYield::slotCount; ++slot) {
        if (chosen >= 0 && slot != chosen)
            continue;
        const QList<QPair<QDateTime, int>> points = m_yield.crystals(slot);
        if (points.isEmpty())
            continue;
        auto *line = new QLineSeries;
        line->setName(QStringLiteral("DUT%1").arg(slot));
        line->setPointsVisible(true);
        for (const auto &p : points) {
            line->append(double(p.first.toMSecsSinceEpoch()), p.second);
            if (!any || p.first < first)
                first = p.first;
            if (!any || p.first > last)
                last = p.first;
            low = any ? qMin(low, p.second) : p.second;
            high = any ? qMax(high, p.second) : p.second;
            any = true;
        }
        lines.append(line);
    }
    if (!any) {
        chart->setTitle(chart->title() + QLatin1Char('\n') + tr("今日尚无数据"));
        return;
    }
    // The ticks on whole minutes, so that no two "hh:mm" labels are alike
    // (four ticks over a cycle's two minutes read 13:43 13:44 13:45 13:45):
    // one a minute over a short span, else four, whole minutes apart.
    const QDateTime from = wholeMinute(first).addSecs(-60);
    int minutes = int(from.secsTo(wholeMinute(last)) / 60) + 2;
    int ticks = minutes + 1;
    if (minutes > 6) {
        minutes = (minutes + 2) / 3 * 3;
        ticks = 4;
    }
    auto *x = new QDateTimeAxis;
    x->setFormat(QStringLiteral("hh:mm"));
    x->setRange(from, from.addSecs(60 * minutes));
    x->setTickCount(ticks);
    auto *y = new QValueAxis;
    y->setRange(low - 2, high + 2);
    y->setLabelFormat(QStringLiteral("%d"));
    y->applyNiceNumbers();
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (QLineSeries *line : qAsConst(lines)) {
        chart->addSeries(line);
        line->attachAxis(x);
        line->attachAxis(y);
    }
    chart->legend()->setVisible(chosen >= 0);
}
