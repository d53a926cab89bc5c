#ifndef IMAGEFINGERPRINT_H
#define IMAGEFINGERPRINT_H

#include <QDateTime>
#include <QString>

// The SHA-256 and size of the ramcode image a cycle loaded, for the results:
// which image went into which module. The hash is kept while the file's
// size and modification time stay as they were, so a station hashes its
// image once, not every cycle.
class ImageFingerprint
{
public:
    struct Print
    {
        QString path;
        QString sha256; // lower-case hex; empty when the file cannot be read
        qint64 size = 0;
    };

    Print of(const QString &path);

private:
    Print m_print;
    QDateTime m_modified;
};

#endif // IMAGEFINGERPRINT_H
