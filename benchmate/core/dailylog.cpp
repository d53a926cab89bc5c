#include "dailylog.h"

#include <QDebug>

DailyLog::DailyLog(const QString &dirPath)
    : m_file(dirPath, QStringLiteral(".txt"))
{}

DailyLog::~DailyLog()
{
    if (m_file.pendingCount() == 0 || m_file.flush())
        return;
    qWarning().noquote() << QStringLiteral("%1 daily log block(s) could not be written to %2; "
                                           "here they are:")
                                .arg(m_file.pendingCount())
                                .arg(todaysFile());
    qWarning().noquote() << QString::fromUtf8(m_file.pendingBytes());
}

QString DailyLog::block(uint32_t number, const QString &cycleLog)
{
    const QString n = QString::number(number);
    return QStringLiteral("第%1次测试开始:\r\n").arg(n) + cycleLog +
           QStringLiteral("第%1次测试结束。\r\n").arg(n);
}

QString DailyLog::todaysFile() const
{
    return m_file.filePath(QDate::currentDate());
}

bool DailyLog::write(uint32_t number, const QString &cycleLog)
{
    const bool written = m_file.append(block(number, cycleLog).toUtf8());
    if (!written)
        report();
    return written;
}

void DailyLog::report()
{
    switch (m_file.lastFailure()) {
    case DailyAppender::DirectoryFailed:
        qWarning().noquote() << QStringLiteral("Can not creat the file path.");
        break;
    case DailyAppender::OpenFailed:
        qWarning().noquote() << QStringLiteral("Can not open the file.");
        break;
    default:
        qWarning().noquote() << QStringLiteral("Can not write the file: ") + m_file.lastError();
        break;
    }
    qWarning().noquote()
        << QStringLiteral("Daily log: %1 block(s) not written yet (%2); kept, and written ahead "
                          "of the next cycle's block.")
               .arg(m_file.pendingCount())
               .arg(m_file.lastError());
}
