#ifndef RESULTSCSV_H
#define RESULTSCSV_H

#include "dailyappender.h"
#include "resultjudge.h"
#include "testrecords.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>

// The day's results file, "./log/" + the date as "yyyy-MM-dd.csv": one row
// per DUT per cycle that ended on its own, for tracing a module back to its
// test. UTF-8, CR LF, a header row at the top of every new file, appended and
// never rewritten. A cycle's rows go out in one write; rows that cannot be
// written are kept and go out ahead of the next cycle's rows.
class ResultsCsv
{
public:
    explicit ResultsCsv(const QString &dirPath = QStringLiteral("./log"));
    ~ResultsCsv();
    ResultsCsv(const ResultsCsv &) = delete;
    ResultsCsv &operator=(const ResultsCsv &) = delete;

    // The header row, and its fields: the figures' columns in the order of
    // the figure table, between the DUT's and its steps'.
    static QByteArray header();
    static QStringList headerFields();
    // The fields of one line of the file, quotes taken off.
    static QStringList fields(const QString &line);

    // The rows of one cycle: one per device the cycle was started with, in
    // device order. `number` is the cycle's heading number in the daily log.
    // Numbers come from the result entry of the device; a figure never
    // measured (no entry, no complete RX measurement, no TX test that
    // passed) is empty. The averages are the means as measured, with
    // MeanText's decimals. The MAC and flash UID come from the traceability
    // the cycle kept.
    static QByteArray rows(const QDateTime &when, uint32_t number, const testPara_t &para,
                           const QList<deviceTrace_t> &traces, const testRestlt_t &result,
                           const CycleJudgement &judgement);

    // The slot (0..23) of a device, -1 when it has none.
    static int slotOf(const deviceInfo_t &device);

    // The verdict word of result entry `index`.
    static QString verdictText(const CycleJudgement &judgement, int index);

    bool write(const QByteArray &cycleRows);

    int pendingCount() const { return m_file.pendingCount(); }
    QString todaysFile() const;

private:
    DailyAppender m_file;
};

#endif // RESULTSCSV_H
