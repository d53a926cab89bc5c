#ifndef HISTOGRAMBINS_H
#define HISTOGRAMBINS_H

#include <QString>

// The bins of a yield histogram: one unit wide around the whole numbers,
// spanning a figure's limits and a margin on each side, and one end bin on
// each side for the means beyond that span, so that a DUT far out of its
// limits is counted where the operator sees it instead of off the chart.
class HistogramBins
{
public:
    HistogramBins(double lower, double upper);

    // The first and last bin: the end bins.
    int first() const { return m_low - 1; }
    int last() const { return m_high + 1; }
    // The bin a mean counts in.
    int binOf(double value) const;
    // A bin's label on the axis: "< -15" and "> 15" for the end bins, the
    // number for every step-th bin away from the ends, empty for the others
    // (so the labels fit a narrow chart).
    QString label(int bin) const;

private:
    int m_low = 0;
    int m_high = 0;
    int m_step = 1;
};

#endif // HISTOGRAMBINS_H
