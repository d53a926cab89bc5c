#ifndef DAILYLOG_H
#define DAILYLOG_H

#include "dailyappender.h"

#include <QString>

#include <cstdint>

// The daily test log: one block per cycle that ended on its own, appended to
// "./log/" + the date as "yyyy-MM-dd.txt", UTF-8 without a byte-order mark.
// A block is the heading "第N次测试开始:", the cycle's log text and the closing
// line "第N次测试结束。", where N is the total counter before the cycle's
// results are counted.
//
// A block that cannot be written stays pending and goes out ahead of the
// next cycle's block; the console says so after every attempt that leaves
// it pending. What is still pending when the object goes is written to the
// console, the last place it can go.
class DailyLog
{
public:
    explicit DailyLog(const QString &dirPath = QStringLiteral("./log"));
    ~DailyLog();
    DailyLog(const DailyLog &) = delete;
    DailyLog &operator=(const DailyLog &) = delete;

    static QString block(uint32_t number, const QString &cycleLog);

    // Appends the block of one cycle (after what is pending). Returns true
    // when everything was written.
    bool write(uint32_t number, const QString &cycleLog);

    int pendingCount() const { return m_file.pendingCount(); }
    QString todaysFile() const;

private:
    void report();

    DailyAppender m_file;
};

#endif // DAILYLOG_H
