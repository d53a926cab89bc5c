#include "yieldview.h"

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTimeAxis>
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

enum ChartIndex
{
    chartFreq,
    chartRx,
    chartTx,
    chartCrystal,
    chartCount,
};

QString percent(uint32_t part, uint32_t whole)
{
    if (whole == 0)
        return QStringLiteral("-");
    return QString::number(100.0 * double(part) / double(whole), 'f', 1) + QLatin1Char('%');
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

struct YieldView::Charts
{
    QChartView *views[chartCount] = {};
    QChart *chart(int index) const { return views[index]->chart(); }
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

    auto *charts = new QGridLayout;
    const char *const names[chartCount] = {"chartFreqOffset", "chartRxRssi", "chartTxRssi",
                                           "chartCrystal"};
    for (int i = 0; i < chartCount; ++i) {
        auto *chart = new QChart;
        chart->legend()->hide();
        chart->setMargins(QMargins(2, 2, 2, 2));
        auto *view = new QChartView(chart, this);
        view->setObjectName(QLatin1String(names[i]));
        view->setRenderHint(QPainter::Antialiasing);
        view->setMinimumSize(200, 150);
        m_charts->views[i] = view;
    }
    charts->addWidget(m_charts->views[chartFreq], 0, 0);
    charts->addWidget(m_charts->views[chartRx], 0, 1);
    charts->addWidget(m_charts->views[chartTx], 1, 0);
    auto *crystal = new QVBoxLayout;
    crystal->setSpacing(0);
    crystal->addWidget(m_crystalSlot, 0, Qt::AlignRight);
    crystal->addWidget(m_charts->views[chartCrystal], 1);
    charts->addLayout(crystal, 1, 1);

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
        out.entries = DayYield::parse(out.bytes);
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
    // A cycle that ended while the file was read may be in it already.
    for (const QByteArray &rows : qAsConst(m_pendingRows)) {
        if (!result.bytes.contains(rows))
            m_yield.add(DayYield::parse(rows));
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
    m_yield.add(DayYield::parse(rows));
    refresh();
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
    m_summary->setText(tr("%1：通过 %2，失败 %3，良率 %4")
                           .arg(day)
                           .arg(passed)
                           .arg(failed)
                           .arg(percent(passed, passed + failed)));

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
    drawHistogram(chartFreq, DayYield::FreqOffset, double(m_limits.freqMin),
                  double(m_limits.freqMax));
    drawHistogram(chartRx, DayYield::RxRssi, double(m_limits.rxRssiMin),
                  double(m_limits.rxRssiMax));
    drawHistogram(chartTx, DayYield::TxRssi, double(m_limits.txRssiMin),
                  double(m_limits.txRssiMax));
    drawCrystals();
    m_chartsDirty = false;
}

// How many of today's judged DUTs had each mean, counted in bins one unit
// wide around the whole numbers, as a filled step outline, with the limits
// as red lines.
void YieldView::drawHistogram(int index, DayYield::Quantity quantity, double lower, double upper)
{
    QChart *chart = m_charts->chart(index);
    clearChart(chart);
    QString title;
    switch (quantity) {
    case DayYield::FreqOffset:
        title = tr("频偏 (kHz)");
        break;
    case DayYield::RxRssi:
        title = tr("RX RSSI (dBm，不含校准值)");
        break;
    case DayYield::TxRssi:
        title = tr("TX RSSI (dBm，不含校准值)");
        break;
    }
    const QVector<double> &values = m_yield.values(quantity);
    chart->setTitle(values.isEmpty() ? title + QLatin1Char('\n') + tr("今日尚无数据") : title);

    std::map<int, int> counts;
    for (double v : values)
        ++counts[int(std::lround(v))];
    double low = qMin(lower, upper);
    double high = qMax(lower, upper);
    if (!counts.empty()) {
        low = qMin(low, double(counts.begin()->first));
        high = qMax(high, double(counts.rbegin()->first));
    }
    int most = 1;
    for (const auto &c : counts)
        most = qMax(most, c.second);

    auto *outline = new QLineSeries;
    for (int v = int(std::floor(low)) - 1; v <= int(std::ceil(high)) + 1; ++v) {
        const auto it = counts.find(v);
        const int n = it == counts.end() ? 0 : it->second;
        outline->append(v - 0.5, n);
        outline->append(v + 0.5, n);
    }
    auto *area = new QAreaSeries(outline);
    outline->setParent(area); // an area series does not own its outline
    area->setColor(QColor(QStringLiteral("#4A90D9")));
    area->setBorderColor(QColor(QStringLiteral("#2A6099")));
    chart->addSeries(area);

    auto *x = new QValueAxis;
    x->setRange(low - 1.5, high + 1.5);
    x->setLabelFormat(QStringLiteral("%d"));
    auto *y = new QValueAxis;
    y->setRange(0, most * 1.15);
    y->setLabelFormat(QStringLiteral("%d"));
    x->applyNiceNumbers();
    y->applyNiceNumbers();
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    area->attachAxis(x);
    area->attachAxis(y);

    for (double bound : {lower, upper}) {
        auto *line = new QLineSeries;
        line->append(bound, 0);
        line->append(bound, most * 1.15);
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
    QChart *chart = m_charts->chart(chartCrystal);
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
    auto *x = new QDateTimeAxis;
    x->setFormat(QStringLiteral("hh:mm"));
    x->setRange(first.addSecs(-60), last.addSecs(60));
    x->setTickCount(4);
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
