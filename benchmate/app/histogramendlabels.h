#ifndef HISTOGRAMENDLABELS_H
#define HISTOGRAMENDLABELS_H

#include <QObject>
#include <QString>

#include <array>

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
namespace QtCharts {
class QChart;
}
using QtCharts::QChart;
#else
class QChart;
#endif
class QGraphicsSimpleTextItem;
class QFont;
class QBrush;

// The labels of a histogram's two end bins ("< -15", "> 15"), drawn by the
// chart's own scene rather than by its axis: a category axis leaves out a
// label at the start of its range and cuts one that is wider than the room
// to its neighbour, and the end bins' labels are the widest. Each label
// sits in the axis' label row under its bin, moved in just enough to stay
// whole inside the plot's width.
class HistogramEndLabels : public QObject
{
    Q_OBJECT

public:
    // Children of the chart (the labels are items of its scene).
    explicit HistogramEndLabels(QChart *chart);

    // The end bins' centres on an axis from axisMin to axisMax, their
    // labels, and the axis labels' look.
    void set(double axisMin, double axisMax, double lowBin, const QString &lowLabel, double highBin,
             const QString &highLabel, const QFont &font, const QBrush &brush);

private:
    void place();

    QChart *m_chart = nullptr;
    std::array<QGraphicsSimpleTextItem *, 2> m_items{};
    std::array<double, 2> m_bins{};
    double m_min = 0;
    double m_max = 1;
};

#endif // HISTOGRAMENDLABELS_H
