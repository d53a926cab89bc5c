#include "transfertable.h"

#include <algorithm>

double TransferRow::wireLimit() const
{
    const double link = double(answers) * linkSeconds;
    if (wireSeconds > 0.0)
        return wireSeconds + pauseSeconds + link;
    return baud == 0 ? 0.0
                     : double(hostToChip + chipToHost) * 10.0 / double(baud) + pauseSeconds + link;
}

double TransferRow::medianSeconds() const
{
    if (seconds.isEmpty())
        return 0.0;
    QList<double> sorted = seconds;
    std::sort(sorted.begin(), sorted.end());
    const int n = sorted.size();
    return n % 2 ? sorted.at(n / 2) : (sorted.at(n / 2 - 1) + sorted.at(n / 2)) / 2.0;
}

QString markdownTable(const QList<TransferRow> &rows)
{
    QStringList lines;
    lines << QStringLiteral(
        "| sender | link | file | baud | block | bytes on the wire (host→chip + "
        "chip→host) | answers × link delay | wire-time limit | median time | ratio | range "
        "| runs |");
    lines << QStringLiteral("|---|---|---|---:|---:|---:|---:|---:|---:|---:|---|---:|");
    for (const TransferRow &row : rows) {
        if (!row.measured()) {
            lines << QStringLiteral("| %1 | %2 | %3 | %4 | %5 | failed: %6 | | | | | | %7 |")
                         .arg(row.sender, row.link, row.file)
                         .arg(row.baud)
                         .arg(row.blockSize)
                         .arg(row.failure)
                         .arg(row.seconds.size());
            continue;
        }
        const auto [low, high] = std::minmax_element(row.seconds.begin(), row.seconds.end());
        lines << QStringLiteral(
                     "| %1 | %2 | %3 | %4 | %5 | %6 + %7 | %8 × %9 ms | %10 s | %11 s | %12 "
                     "| %13–%14 s | %15 |")
                     .arg(row.sender, row.link, row.file)
                     .arg(row.baud)
                     .arg(row.blockSize)
                     .arg(row.hostToChip)
                     .arg(row.chipToHost)
                     .arg(row.answers)
                     .arg(row.linkSeconds * 1e3, 0, 'f', 0)
                     .arg(row.wireLimit(), 0, 'f', 3)
                     .arg(row.medianSeconds(), 0, 'f', 3)
                     .arg(row.ratio(), 0, 'f', 3)
                     .arg(*low, 0, 'f', 3)
                     .arg(*high, 0, 'f', 3)
                     .arg(row.seconds.size());
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}
