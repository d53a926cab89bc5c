#include "histogrambins.h"

#include <QtGlobal>

#include <cmath>

namespace {

// About six numbers along an axis: 1, 2 or 5 times a power of ten.
int labelStep(int span)
{
    for (int scale = 1;; scale *= 10) {
        for (int step : {1, 2, 5}) {
            if (span / (step * scale) <= 6)
                return step * scale;
        }
    }
}

} // namespace

HistogramBins::HistogramBins(double lower, double upper)
{
    const double lo = qMin(lower, upper);
    const double hi = qMax(lower, upper);
    const int margin = qMax(2, int(std::ceil((hi - lo) / 4)));
    m_low = int(std::floor(lo)) - margin;
    m_high = int(std::ceil(hi)) + margin;
    m_step = labelStep(m_high - m_low);
}

int HistogramBins::binOf(double value) const
{
    const double bin = std::round(value);
    // (Written so that a value that is no number at all counts somewhere,
    // in the lower end bin, and is never turned into an int.)
    if (!(bin >= m_low))
        return first();
    if (bin > m_high)
        return last();
    return int(bin);
}

QString HistogramBins::label(int bin) const
{
    if (bin == first())
        return QStringLiteral("< ") + QString::number(m_low);
    if (bin == last())
        return QStringLiteral("> ") + QString::number(m_high);
    // Not near an end bin's label: a chart cuts a label to the room between
    // it and the label before it, and "> 15" needs more than a bin or two.
    const int room = qMax(2, (last() - first() + 3) / 4);
    if (bin % m_step != 0 || bin - first() < room || last() - bin < room)
        return QString();
    return QString::number(bin);
}
