#include "logrecord.h"

#include <QDir>
#include <QFile>

void logRecord::append(int level, const QString &msg)
{
    logInfo entry;
    entry.time = QTime::currentTime();
    entry.level = level;
    entry.msg = msg;
    std::lock_guard<std::mutex> guard(m_lock);
    logs.append(entry);
}

QString logRecord::getLevelPrefix(int level)
{
    switch (level) {
    case LOG_DEBUG:
        return QStringLiteral("[调试]");
    case LOG_INFO:
        return QStringLiteral("[信息]");
    case LOG_WARN:
        return QStringLiteral("[警告]");
    case LOG_ERROR:
        return QStringLiteral("[错误]");
    default:
        return QString();
    }
}

QString logRecord::getTimeStamp(const QTime &time, const QString &format)
{
    return time.toString(format);
}

QString logRecord::getLog(int minLevel)
{
    QList<logInfo> taken;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        taken.swap(logs);
    }
    QString text;
    for (const logInfo &entry : qAsConst(taken)) {
        if (entry.level < minLevel)
            continue;
        text += getLevelPrefix(entry.level) +
                getTimeStamp(entry.time, QStringLiteral("hh:mm:ss:zzz ")) + entry.msg +
                QStringLiteral("\r\n");
    }
    return text;
}

bool logRecord::saveLogToFile(int minLevel, const QString &fileName, const QString &dirPath)
{
    QDir dir(dirPath);
    if (!dir.exists() && !dir.mkpath(QStringLiteral("."))) {
        error(QStringLiteral("Can not creat the file path."));
        return false;
    }
    QFile file(dirPath + QLatin1Char('/') + fileName);
    // Append mode keeps what earlier saves wrote; the text already carries its
    // own CR LF line ends, so the file is written without newline conversion.
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append)) {
        error(QStringLiteral("Can not open the file."));
        return false;
    }
    const QByteArray bytes = getLog(minLevel).toUtf8();
    const bool written = file.write(bytes) == bytes.size();
    file.close();
    return written && file.error() == QFile::NoError;
}
