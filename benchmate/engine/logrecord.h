#ifndef LOGRECORD_H
#define LOGRECORD_H

#include <QList>
#include <QString>
#include <QTime>

#include <mutex>

// Severity of a log entry; higher is more severe.
enum LOG_LEVEL_T
{
    LOG_DEBUG = 1,
    LOG_INFO = 2,
    LOG_WARN = 3,
    LOG_ERROR = 4
};

// One entry of a collector.
struct logInfo
{
    QTime time; // local time of day when the entry was recorded
    int level = LOG_INFO;
    QString msg;
};

// Collects the time-stamped log lines of one participant of a test cycle (the
// golden machine or one DUT). Taking the text empties the collector, so every
// entry is reported once.
//
// A DUT's collector is written by its RX worker and later by the cycle thread,
// and read by the window after the cycle; the lock makes each hand-over safe
// whatever the threads' order.
class logRecord
{
public:
    void debug(const QString &msg) { append(LOG_DEBUG, msg); }
    void info(const QString &msg) { append(LOG_INFO, msg); }
    void warn(const QString &msg) { append(LOG_WARN, msg); }
    void error(const QString &msg) { append(LOG_ERROR, msg); }

    // Records an entry at any level (values outside 1..4 get no prefix).
    void append(int level, const QString &msg);

    static QString getLevelPrefix(int level);
    static QString getTimeStamp(const QTime &time, const QString &format);

    // The text of every entry at or above minLevel, one CR LF line each:
    // prefix, "hh:mm:ss:zzz ", message. Empties the collector, skipped
    // entries included.
    QString getLog(int minLevel);

    // Appends the text of getLog(minLevel) as UTF-8 to dirPath/fileName,
    // creating the directory and the file when missing.
    bool saveLogToFile(int minLevel, const QString &fileName, const QString &dirPath);

private:
    std::mutex m_lock;
    QList<logInfo> logs;
};

#endif // LOGRECORD_H
