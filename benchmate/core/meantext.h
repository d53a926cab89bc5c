#ifndef MEANTEXT_H
#define MEANTEXT_H

#include <QString>

// A measured mean as the station shows it: the window's result columns and
// reasons, benchrun's table and the results file. Means of 20 samples are
// judged as measured, not truncated, so they are shown with their decimals,
// always the same number of them.
class MeanText
{
public:
    static constexpr int decimals = 2;

    // "-75.45", "2.00", "0.00" (never "-0.00").
    static QString of(double mean);
    // The same with another number of decimals.
    static QString of(double mean, int decimals);

    // The mean beside a bound it broke: with more decimals (up to 6) where
    // two would read as the bound itself (2.004 against 2 is "2.004", not
    // "2.00").
    static QString against(double mean, double bound);
};

#endif // MEANTEXT_H
