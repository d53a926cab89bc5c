#include "deviceconfigfile.h"

#include "textnumber.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

namespace {

// Split at line feeds, a file written by save() has 42 lines and so 43 pieces.
constexpr int expectedPieces = 43;

// Lines of the file (numbered from 0).
enum Line
{
    lineHeader = 0,
    lineFirstRow = 1,
    lineFirmware = 26,
    lineRxRssiMax,
    lineRxRssiMin,
    lineRxFreqMax,
    lineRxFreqMin,
    lineTxRssiMax,
    lineTxRssiMin,
    lineLock,
    lineTestCha,
    lineSendInterval,
    lineTimeOut,
    lineTestAllNum,
    lineTestPassNum,
    lineTestFailNum,
    lineCalVal,
    lineAutoTest,
};

QString field(const QStringList &fields, int index)
{
    return index < fields.size() ? fields.at(index) : QString();
}

QString firstField(const QStringList &lines, int line)
{
    return lines.at(line).section(QLatin1Char(','), 0, 0);
}

} // namespace

DeviceConfigFile::DeviceConfigFile(const QString &path)
    : m_path(path)
{}

QString DeviceConfigFile::formatNumber(float value)
{
    return QString::number(double(value), 'g', 6);
}

float DeviceConfigFile::parseNumber(const QString &text)
{
    return text.toFloat(); // text that is not a number gives 0
}

uint32_t DeviceConfigFile::parseCounter(const QString &text)
{
    return textNumber::toUInt(text); // text that is not a number gives 0
}

bool DeviceConfigFile::parse(const QByteArray &content, DeviceConfig &config)
{
    QByteArray text = content;
    const int nul = text.indexOf('\0');
    if (nul >= 0)
        text.truncate(nul);
    const QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'));
    if (lines.size() != expectedPieces)
        return false;

    for (int row = 0; row < DeviceConfig::rowCount; ++row) {
        const QStringList fields = lines.at(lineFirstRow + row).split(QLatin1Char(','));
        DeviceConfigRow &r = config.rows[size_t(row)];
        r.enabled = textNumber::toUInt(field(fields, 0)) == 1;
        r.name = field(fields, 1);
        r.port = field(fields, 2);
        r.txCal = field(fields, 3);
        r.rxCal = field(fields, 4);
    }
    config.firmwarePath = firstField(lines, lineFirmware);
    config.rxRssiMax = parseNumber(firstField(lines, lineRxRssiMax));
    config.rxRssiMin = parseNumber(firstField(lines, lineRxRssiMin));
    config.rxFreqMax = parseNumber(firstField(lines, lineRxFreqMax));
    config.rxFreqMin = parseNumber(firstField(lines, lineRxFreqMin));
    config.txRssiMax = parseNumber(firstField(lines, lineTxRssiMax));
    config.txRssiMin = parseNumber(firstField(lines, lineTxRssiMin));
    config.lockParams = textNumber::toInt(firstField(lines, lineLock)) != 0;
    config.testCha = parseNumber(firstField(lines, lineTestCha));
    config.sendInterval = parseNumber(firstField(lines, lineSendInterval));
    config.timeOut = parseNumber(firstField(lines, lineTimeOut));
    config.testAllNum = parseCounter(firstField(lines, lineTestAllNum));
    config.testPassNum = parseCounter(firstField(lines, lineTestPassNum));
    config.testFailNum = parseCounter(firstField(lines, lineTestFailNum));
    config.calVal = int8_t(uint8_t(textNumber::toInt(firstField(lines, lineCalVal)) & 0xff));
    config.autoTest = uint8_t(textNumber::toInt(firstField(lines, lineAutoTest)) & 0xff);
    return true;
}

QByteArray DeviceConfigFile::format(const DeviceConfig &config)
{
    QString out;
    const auto line = [&out](const QString &value) {
        out += value;
        out += QLatin1String(",\n");
    };

    line(QStringLiteral("ENBALE,Device Name,Serial Num,TX CAL,RX CAL"));
    const DeviceConfigRow &golden = config.rows[0];
    line(QLatin1String("1,Gold Machine,") + golden.port + QLatin1Char(',') + golden.txCal);
    for (int row = 1; row < DeviceConfig::rowCount; ++row) {
        const DeviceConfigRow &r = config.rows[size_t(row)];
        line(QString::number(r.enabled ? 1 : 0) + QLatin1String(",DUT") + QString::number(row - 1) +
             QLatin1Char(',') + r.port + QLatin1Char(',') + r.txCal + QLatin1Char(',') + r.rxCal);
    }
    line(config.firmwarePath);
    line(formatNumber(config.rxRssiMax));
    line(formatNumber(config.rxRssiMin));
    line(formatNumber(config.rxFreqMax));
    line(formatNumber(config.rxFreqMin));
    line(formatNumber(config.txRssiMax));
    line(formatNumber(config.txRssiMin));
    line(QString::number(config.lockParams ? 1 : 0));
    line(formatNumber(config.testCha));
    line(formatNumber(config.sendInterval));
    line(formatNumber(config.timeOut));
    line(QString::number(config.testAllNum));
    line(QString::number(config.testPassNum));
    line(QString::number(config.testFailNum));
    line(QString::number(int(config.calVal)));
    line(QString::number(config.autoTest == 1 ? 1 : 0));
    return out.toUtf8();
}

bool DeviceConfigFile::directoryMissing()
{
    const QFileInfo dir(QFileInfo(m_path).absolutePath());
    if (dir.isDir())
        return false;
    if (!m_toldMissingDirectory) {
        m_toldMissingDirectory = true;
        qWarning().noquote() << QStringLiteral("配置目录不存在：") + dir.filePath() +
                                    QStringLiteral("，参数设置既不会读取也不会保存。");
    }
    return true;
}

bool DeviceConfigFile::load(DeviceConfig &config)
{
    if (directoryMissing())
        return false;
    QFile file(m_path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Text)) {
        qWarning().noquote() << QStringLiteral("无法打开配置文件 ") + m_path +
                                    QStringLiteral("：") + file.errorString();
        return false;
    }
    const QByteArray content = file.readAll();
    file.close();
    if (!parse(content, config)) {
        if (!content.isEmpty())
            qWarning().noquote() << QStringLiteral("配置文件 ") + m_path +
                                        QStringLiteral(" 的行数不正确，已忽略。");
        return false;
    }
    return true;
}

bool DeviceConfigFile::save(const DeviceConfig &config)
{
    if (directoryMissing())
        return false;
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        qWarning().noquote() << QStringLiteral("无法写入配置文件 ") + m_path +
                                    QStringLiteral("：") + file.errorString();
        return false;
    }
    // Flush by hand: a short write (a full disk, a size limit) leaves data in
    // the buffer without an error, and commit() would then put a cut-off file
    // in place of the old one. The temporary file goes with `file`.
    const QByteArray content = format(config);
    if (file.write(content) != content.size() || !file.flush()) {
        qWarning().noquote() << QStringLiteral("保存配置文件 ") + m_path +
                                    QStringLiteral(" 失败，原文件未改动：写入不完整");
        return false;
    }
    if (!file.commit()) {
        qWarning().noquote() << QStringLiteral("保存配置文件 ") + m_path +
                                    QStringLiteral(" 失败，原文件未改动：") + file.errorString();
        return false;
    }
    return true;
}
