#ifndef BENCH_TRANSFERTABLE_H
#define BENCH_TRANSFERTABLE_H

#include <QList>
#include <QString>
#include <QStringList>

// One measured transfer: repeated runs of the same exchange, each with its
// time and the bytes that crossed the serial line. The wire-time limit is
// what the line itself needs: bytes on the wire × 10 bits / baud, or, for an
// exchange that changes the baud rate on the way, the wire time counted at
// the rate in force, plus the pauses the protocol itself prescribes, plus
// what the link adds at least to every answer (a USB-serial adapter's
// latency timer).
struct TransferRow
{
    QString sender;
    QString link;
    QString file;
    quint32 baud = 0;
    quint32 blockSize = 0;
    QList<double> seconds;
    qint64 hostToChip = 0; // bytes, of the last run
    qint64 chipToHost = 0;
    double wireSeconds = 0.0;  // when not 0: the wire time counted at the rate in force
    double pauseSeconds = 0.0; // prescribed pauses, part of the limit
    qint64 answers = 0;        // the chip's answers, of the last run
    double linkSeconds = 0.0;  // the link's least delay of one answer
    QString failure;           // set when a run failed; the row then has no figures

    double wireLimit() const;
    double medianSeconds() const;
    double ratio() const { return medianSeconds() / wireLimit(); }
    bool measured() const { return failure.isEmpty() && !seconds.isEmpty() && wireLimit() > 0; }
};

// The rows as a Markdown table, one line per row, with the header.
QString markdownTable(const QList<TransferRow> &rows);

#endif // BENCH_TRANSFERTABLE_H
