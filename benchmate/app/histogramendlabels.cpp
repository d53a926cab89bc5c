#include "histogramendlabels.h"

#include <QBrush>
#include <QChart>
#include <QFont>
#include <QGraphicsSimpleTextItem>

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
using namespace QtCharts;
#endif

namespace {

// Between the plot's lower edge and the top of the axis' labels: the tick
// marks and their spacing, as the chart draws its own labels.
const qreal labelGap = 6;

} // namespace

HistogramEndLabels::HistogramEndLabels(QChart *chart)
    : QObject(chart)
    , m_chart(chart)
{
    for (QGraphicsSimpleTextItem *&item : m_items) {
        item = new QGraphicsSimpleTextItem(chart);
        item->setZValue(chart->zValue() + 10);
        item->hide();
    }
    connect(chart, &QChart::plotAreaChanged, this, &HistogramEndLabels::place);
}

void HistogramEndLabels::set(double axisMin, double axisMax, double lowBin, const QString &lowLabel,
                             double highBin, const QString &highLabel, const QFont &font,
                             const QBrush &brush)
{
    m_min = axisMin;
    m_max = axisMax > axisMin ? axisMax : axisMin + 1;
    m_bins = {lowBin, highBin};
    const std::array<QString, 2> labels = {lowLabel, highLabel};
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        m_items[i]->setText(labels[i]);
        m_items[i]->setFont(font);
        m_items[i]->setBrush(brush);
        m_items[i]->show();
    }
    place();
}

// Centred under its bin where the plot leaves it room; the lower label
// never starts left of the plot, the upper one never ends right of it.
void HistogramEndLabels::place()
{
    const QRectF plot = m_chart->plotArea();
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        QGraphicsSimpleTextItem *item = m_items[i];
        const qreal width = item->boundingRect().width();
        const qreal centre = plot.left() + (m_bins[i] - m_min) / (m_max - m_min) * plot.width();
        qreal left = centre - width / 2;
        if (left + width > plot.right())
            left = plot.right() - width;
        if (left < plot.left())
            left = plot.left();
        item->setPos(left, plot.bottom() + labelGap);
    }
}
