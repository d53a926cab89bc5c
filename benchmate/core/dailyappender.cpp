#include "dailyappender.h"

#include <QDir>
#include <QFile>

DailyAppender::DailyAppender(const QString &dirPath, const QString &suffix,
                             const QByteArray &header)
    : m_dir(dirPath)
    , m_suffix(suffix)
    , m_header(header)
{}

QString DailyAppender::filePath(const QDate &date) const
{
    return m_dir + QLatin1Char('/') + date.toString(QStringLiteral("yyyy-MM-dd")) + m_suffix;
}

QByteArray DailyAppender::pendingBytes() const
{
    QByteArray bytes;
    for (const Block &block : m_pending)
        bytes += block.bytes;
    return bytes;
}

bool DailyAppender::append(const QByteArray &block, const QDate &date)
{
    m_pending.append({date, block});
    return flush();
}

bool DailyAppender::flush()
{
    m_lastFailure = NoFailure;
    m_lastError.clear();
    while (!m_pending.isEmpty()) {
        // The blocks of one day go out in one write.
        const QDate date = m_pending.first().date;
        int count = 0;
        QByteArray bytes;
        while (count < m_pending.size() && m_pending.at(count).date == date) {
            bytes += m_pending.at(count).bytes;
            ++count;
        }
        if (!writeGroup(date, bytes))
            return false;
        m_pending.erase(m_pending.begin(), m_pending.begin() + count);
    }
    return true;
}

bool DailyAppender::writeGroup(const QDate &date, const QByteArray &bytes)
{
    if (!QDir().mkpath(m_dir)) {
        m_lastFailure = DirectoryFailed;
        m_lastError = QStringLiteral("cannot make the directory ") + m_dir;
        return false;
    }
    // Binary mode: the blocks carry their own CR LF line ends. Unbuffered, so
    // that a failed write leaves nothing behind for close() to try again.
    QFile file(filePath(date));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        m_lastFailure = OpenFailed;
        m_lastError = file.fileName() + QStringLiteral(": ") + file.errorString();
        return false;
    }
    const qint64 before = file.size();
    const bool needsHeader =
        !m_header.isEmpty() &&
        (before == 0 || (file.fileName() != m_headedFile && otherHeaderIn(file.fileName())));
    const QByteArray data = needsHeader ? m_header + bytes : bytes;
    const qint64 written = file.write(data);
    if (written != data.size()) {
        m_lastFailure = WriteFailed;
        m_lastError = file.fileName() + QStringLiteral(": %1 of %2 bytes written (disk full?)")
                                            .arg(qMax<qint64>(written, 0))
                                            .arg(data.size());
        // Take back what got through, so the retry does not repeat it.
        if (file.size() > before)
            file.resize(before);
        return false;
    }
    m_headedFile = file.fileName();
    return true;
}

bool DailyAppender::otherHeaderIn(const QString &path) const
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false; // unknown: left as it is
    const QByteArray text = file.readAll();
    // A header row starts with the header's first field.
    const int comma = m_header.indexOf(',');
    const QByteArray start = comma < 0 ? m_header : m_header.left(comma + 1);
    int at = text.lastIndexOf("\n" + start);
    if (at >= 0)
        ++at;
    else if (text.startsWith(start))
        at = 0;
    else
        return true;
    const int end = text.indexOf('\n', at);
    return text.mid(at, end < 0 ? -1 : end + 1 - at) != m_header;
}
