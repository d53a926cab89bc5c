#include "stationdir.h"

#include <QDir>
#include <QFile>
#include <QTest>

StationDir::StationDir(bool withConfigDir)
    : m_previous(QDir::currentPath())
{
    m_valid = m_dir.isValid() && QDir::setCurrent(m_dir.path()) &&
              (!withConfigDir || QDir(m_dir.path()).mkdir(QStringLiteral("config")));
}

StationDir::~StationDir()
{
    QDir::setCurrent(m_previous);
}

QString StationDir::configFile() const
{
    return m_dir.filePath(QStringLiteral("config/device_config.csv"));
}

void StationDir::writeConfig(const QByteArray &bytes) const
{
    QFile file(configFile());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        QTest::qFail("cannot write the test's settings file", __FILE__, __LINE__);
}

QByteArray StationDir::readConfig() const
{
    QFile file(configFile());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool StationDir::configExists() const
{
    return QFile::exists(configFile());
}

ConfigText ConfigText::sample()
{
    ConfigText text;
    text.m_lines << QStringLiteral("ENBALE,Device Name,Serial Num,TX CAL,RX CAL")
                 << QStringLiteral("1,Gold Machine,COM3,2");
    for (int n = 0; n < 24; ++n) {
        const bool enabled = n % 3 != 1;
        text.m_lines << QStringLiteral("%1,DUT%2,COM%3,%4,%5")
                            .arg(enabled ? 1 : 0)
                            .arg(n)
                            .arg(n + 4)
                            .arg(n % 5 - 2)
                            .arg(n == 7 ? QString() : QString::number(n % 4));
    }
    text.m_lines << QStringLiteral("D:/固件/TK716A fw.bin") // 26 firmware
                 << QStringLiteral("-20.5")                 // 27 RX RSSI max
                 << QStringLiteral("-60")                   // 28 RX RSSI min
                 << QStringLiteral("20")                    // 29 RX freq max
                 << QStringLiteral("-20")                   // 30 RX freq min
                 << QStringLiteral("10000000")              // 31 TX RSSI max
                 << QStringLiteral("-70.125")               // 32 TX RSSI min
                 << QStringLiteral("0")                     // 33 lock
                 << QStringLiteral("6")                     // 34 channel
                 << QStringLiteral("100")                   // 35 send interval
                 << QStringLiteral("0.25")                  // 36 time-out
                 << QStringLiteral("4294967295")            // 37 total
                 << QStringLiteral("4294967292")            // 38 passed
                 << QStringLiteral("3")                     // 39 failed
                 << QStringLiteral("-3")                    // 40 crystal value
                 << QStringLiteral("1");                    // 41 auto test
    return text;
}

ConfigText ConfigText::blank()
{
    ConfigText text;
    text.m_lines << QStringLiteral("ENBALE,Device Name,Serial Num,TX CAL,RX CAL")
                 << QStringLiteral("1,Gold Machine,,");
    for (int n = 0; n < 24; ++n)
        text.m_lines << QStringLiteral("0,DUT%1,,,").arg(n);
    text.m_lines << QString();
    for (int line = 27; line <= 39; ++line)
        text.m_lines << QStringLiteral("0");
    text.m_lines << QStringLiteral("-12") << QStringLiteral("0");
    return text;
}

ConfigText &ConfigText::set(int line, const QString &text)
{
    m_lines[line] = text;
    return *this;
}

QByteArray ConfigText::bytes() const
{
    QByteArray out;
    for (const QString &line : m_lines)
        out += line.toUtf8() + ",\n";
    return out;
}

QStringList ConfigText::linesOf(const QByteArray &bytes)
{
    QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QString &line : lines) {
        if (line.endsWith(QLatin1Char(',')))
            line.chop(1);
    }
    return lines;
}

namespace {

QStringList collected;
QtMessageHandler previousHandler = nullptr;

void collect(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    collected << message;
    if (previousHandler)
        previousHandler(type, context, message);
}

} // namespace

MessageLog::MessageLog()
{
    collected.clear();
    previousHandler = qInstallMessageHandler(collect);
}

MessageLog::~MessageLog()
{
    qInstallMessageHandler(previousHandler);
    previousHandler = nullptr;
}

int MessageLog::count(const QString &part) const
{
    int n = 0;
    for (const QString &message : collected)
        n += message.contains(part) ? 1 : 0;
    return n;
}

const QStringList &MessageLog::messages() const
{
    return collected;
}
