#ifndef DAILYAPPENDER_H
#define DAILYAPPENDER_H

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>

// An append-only file per calendar day, DIR/yyyy-MM-dd + suffix, written in
// whole blocks. A block that cannot be written (the directory cannot be made,
// the file cannot be opened, the disk is full) is kept in memory and written
// ahead of the next block, into the file of its own day; a write that fails
// half-way is cut back, so a file never holds part of a block. Files are
// never rewritten: bytes once there stay as they are.
class DailyAppender
{
public:
    enum Failure
    {
        NoFailure,
        DirectoryFailed, // the directory is missing and cannot be made
        OpenFailed,      // the day's file cannot be opened for appending
        WriteFailed,     // the write came up short (a full disk)
    };

    // `header` starts every new (or empty) file, in the same write as the
    // first block. A file begun under another header (a station of another
    // version wrote it earlier that day) gets the header again before the
    // first block this appender writes into it, so that every row stands
    // under the header of its own layout.
    DailyAppender(const QString &dirPath, const QString &suffix,
                  const QByteArray &header = QByteArray());

    // Queues `block` for the file of `date` and writes every queued block,
    // oldest first. Returns true when nothing is left pending.
    bool append(const QByteArray &block, const QDate &date = QDate::currentDate());
    // Writes what is pending. Returns true when nothing is left.
    bool flush();

    int pendingCount() const { return m_pending.size(); }
    // The bytes still pending, oldest first.
    QByteArray pendingBytes() const;
    Failure lastFailure() const { return m_lastFailure; }
    QString lastError() const { return m_lastError; }

    QString filePath(const QDate &date) const;

private:
    struct Block
    {
        QDate date;
        QByteArray bytes;
    };

    bool writeGroup(const QDate &date, const QByteArray &bytes);
    // Whether the last header row of an existing file is another one.
    bool otherHeaderIn(const QString &path) const;

    QString m_dir;
    QString m_suffix;
    QByteArray m_header;
    QList<Block> m_pending;
    // The file whose last header row is known to be ours.
    QString m_headedFile;
    Failure m_lastFailure = NoFailure;
    QString m_lastError;
};

#endif // DAILYAPPENDER_H
