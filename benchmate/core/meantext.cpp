#include "meantext.h"

namespace {

QString fixed(double value, int decimals)
{
    QString text = QString::number(value, 'f', decimals);
    // A tiny negative mean rounds to zero: no sign on it.
    bool zero = true;
    for (const QChar c : text) {
        if (c.isDigit() && c != QLatin1Char('0'))
            zero = false;
    }
    if (zero && text.startsWith(QLatin1Char('-')))
        text.remove(0, 1);
    return text;
}

} // namespace

QString MeanText::of(double mean)
{
    return fixed(mean, decimals);
}

QString MeanText::of(double mean, int decimals)
{
    return fixed(mean, decimals);
}

QString MeanText::against(double mean, double bound)
{
    for (int d = decimals; d < 6; ++d) {
        const QString text = fixed(mean, d);
        if (text.toDouble() != bound)
            return text;
    }
    return fixed(mean, 6);
}
