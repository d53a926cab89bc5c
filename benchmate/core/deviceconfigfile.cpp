#include "deviceconfigfile.h"

#include "cyclevalues.h"
#include "textnumber.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

#include <cmath>

namespace {

// Split at line feeds, a file written by save() has 42 lines and so 43 pieces.
constexpr int expectedPieces = 43;
constexpr int expectedLines = expectedPieces - 1;

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

// The first line (from 0) holding bytes that are not well-formed UTF-8;
// -1 when there is none. Decoding such bytes would put replacement
// characters where they stood, and a save would then write those.
int firstLineNotUtf8(const QByteArray &text)
{
    int line = 0;
    const int size = text.size();
    for (int i = 0; i < size;) {
        const auto c = uint8_t(text.at(i));
        if (c == '\n')
            ++line;
        if (c < 0x80) {
            ++i;
            continue;
        }
        int length = 0;
        uint32_t code = 0;
        uint32_t least = 0;
        if ((c & 0xe0) == 0xc0) {
            length = 2;
            code = c & 0x1f;
            least = 0x80;
        } else if ((c & 0xf0) == 0xe0) {
            length = 3;
            code = c & 0x0f;
            least = 0x800;
        } else if ((c & 0xf8) == 0xf0) {
            length = 4;
            code = c & 0x07;
            least = 0x10000;
        } else {
            return line;
        }
        if (i + length > size)
            return line;
        for (int k = 1; k < length; ++k) {
            const auto next = uint8_t(text.at(i + k));
            if ((next & 0xc0) != 0x80)
                return line;
            code = (code << 6) | (next & 0x3f);
        }
        if (code < least || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff))
            return line;
        i += length;
    }
    return -1;
}

// An editor's blank last line: nothing, or the CR of a CR LF file.
bool isBlankLine(const QString &line)
{
    return line.isEmpty() || line == QLatin1String("\r");
}

bool refuse(DeviceConfigProblem *problem, const DeviceConfigProblem &why)
{
    if (problem)
        *problem = why;
    return false;
}

} // namespace

DeviceConfigFile::DeviceConfigFile(const QString &path)
    : m_path(path)
{}

QString DeviceConfigFile::formatNumber(float value)
{
    // A whole number is written with all its digits: the time-out, send
    // interval and channel are read back as unsigned decimals, and a
    // time-out of 1000000 ms written as "1e+06" would read as 0.
    const double number = double(value);
    if (std::isfinite(number) && std::trunc(number) == number)
        return QString::number(number, 'f', 0);
    // Otherwise the fewest digits that read back as the same value, so that
    // a file saved, read and saved again keeps its bytes: six digits wrote
    // 5516155.5 as "5.51616e+06", which read back as 5516160.
    for (int digits = 6; digits < 9; ++digits) {
        const QString text = QString::number(number, 'g', digits);
        if (parseNumber(text) == value)
            return text;
    }
    return QString::number(number, 'g', 9);
}

float DeviceConfigFile::parseNumber(const QString &text)
{
    return text.toFloat(); // text that is not a number gives 0
}

uint32_t DeviceConfigFile::parseCounter(const QString &text)
{
    return textNumber::toUInt(text); // text that is not a number gives 0
}

bool DeviceConfigFile::parse(const QByteArray &content, DeviceConfig &config,
                             DeviceConfigProblem *problem)
{
    QByteArray text = content;
    const int nul = text.indexOf('\0');
    if (nul >= 0)
        text.truncate(nul);
    const int badLine = firstLineNotUtf8(text);
    if (badLine >= 0) {
        DeviceConfigProblem why;
        why.kind = DeviceConfigProblem::NotUtf8;
        why.line = badLine + 1;
        return refuse(problem, why);
    }
    QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'));
    // One blank line after the last holds nothing: an editor's habit.
    if (lines.size() == expectedPieces + 1 && isBlankLine(lines.at(expectedPieces - 1)) &&
        lines.last().isEmpty())
        lines.removeLast();
    if (lines.size() != expectedPieces) {
        DeviceConfigProblem why;
        why.kind = DeviceConfigProblem::LineCount;
        why.lines = text.count('\n');
        return refuse(problem, why);
    }

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
    DeviceConfig::Texts &t = config.texts;
    t.rxRssiMax = firstField(lines, lineRxRssiMax);
    t.rxRssiMin = firstField(lines, lineRxRssiMin);
    t.rxFreqMax = firstField(lines, lineRxFreqMax);
    t.rxFreqMin = firstField(lines, lineRxFreqMin);
    t.txRssiMax = firstField(lines, lineTxRssiMax);
    t.txRssiMin = firstField(lines, lineTxRssiMin);
    t.testCha = firstField(lines, lineTestCha);
    t.sendInterval = firstField(lines, lineSendInterval);
    t.timeOut = firstField(lines, lineTimeOut);
    config.rxRssiMax = parseNumber(t.rxRssiMax);
    config.rxRssiMin = parseNumber(t.rxRssiMin);
    config.rxFreqMax = parseNumber(t.rxFreqMax);
    config.rxFreqMin = parseNumber(t.rxFreqMin);
    config.txRssiMax = parseNumber(t.txRssiMax);
    config.txRssiMin = parseNumber(t.txRssiMin);
    config.lockParams = textNumber::toInt(firstField(lines, lineLock)) != 0;
    config.testCha = parseNumber(t.testCha);
    config.sendInterval = parseNumber(t.sendInterval);
    config.timeOut = parseNumber(t.timeOut);
    config.testAllNum = parseCounter(firstField(lines, lineTestAllNum));
    config.testPassNum = parseCounter(firstField(lines, lineTestPassNum));
    config.testFailNum = parseCounter(firstField(lines, lineTestFailNum));
    config.calVal = CycleValues::lowByte(textNumber::toInt(firstField(lines, lineCalVal)));
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

QString DeviceConfigFile::savePath() const
{
    return refused() ? m_path + QStringLiteral(".new") : m_path;
}

bool DeviceConfigFile::load(DeviceConfig &config)
{
    m_problem = DeviceConfigProblem();
    if (directoryMissing())
        return false;
    QFile file(m_path);
    if (!file.exists()) {
        // Created empty, as the station always did; nothing to read.
        if (!file.open(QIODevice::WriteOnly))
            qWarning().noquote() << QStringLiteral("无法创建配置文件 ") + m_path +
                                        QStringLiteral("：") + file.errorString();
        return false;
    }
    // For reading only: a settings file the operator made read-only is
    // still read.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        m_problem.kind = DeviceConfigProblem::Unreadable;
        m_problem.error = file.errorString();
        qWarning().noquote() << QStringLiteral("无法读取配置文件 ") + m_path +
                                    QStringLiteral("：") + m_problem.error;
        return false;
    }
    const QByteArray content = file.readAll();
    file.close();
    if (content.isEmpty())
        return false;
    if (!parse(content, config, &m_problem)) {
        const QString why =
            m_problem.kind == DeviceConfigProblem::NotUtf8
                ? QStringLiteral("第 %1 行不是 UTF-8 文本").arg(m_problem.line)
                : QStringLiteral("%1 行，应为 %2 行").arg(m_problem.lines).arg(expectedLines);
        qWarning().noquote() << QStringLiteral("配置文件 ") + m_path + QStringLiteral(" 未载入（") +
                                    why + QStringLiteral("），该文件不会被改写。");
        return false;
    }
    // The total is what passed and failed; a file from before that always
    // held gets its total mended.
    const uint64_t judged = uint64_t(config.testPassNum) + config.testFailNum;
    if (config.testAllNum != judged && judged <= UINT32_MAX) {
        qWarning().noquote() << QStringLiteral("配置文件的测试总数 %1 不等于成功数 %2 加失败数 %3，"
                                               "总数改为 %4。")
                                    .arg(config.testAllNum)
                                    .arg(config.testPassNum)
                                    .arg(config.testFailNum)
                                    .arg(judged);
        config.testAllNum = uint32_t(judged);
    }
    return true;
}

bool DeviceConfigFile::failSave(const QString &reason)
{
    // A station that saves after every cycle says it once, not every cycle.
    if (reason != m_saveError)
        qWarning().noquote() << QStringLiteral("保存配置文件 ") + savePath() +
                                    QStringLiteral(" 失败，原文件未改动：") + reason;
    m_saveError = reason;
    return false;
}

bool DeviceConfigFile::save(const DeviceConfig &config)
{
    if (directoryMissing())
        return false;
    const QString path = savePath();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return failSave(file.errorString());
    // Flush by hand: a short write (a full disk, a size limit) leaves data in
    // the buffer without an error, and commit() would then put a cut-off file
    // in place of the old one. The temporary file goes with `file`.
    const QByteArray content = format(config);
    if (file.write(content) != content.size() || !file.flush())
        return failSave(QStringLiteral("写入不完整"));
    if (!file.commit())
        return failSave(file.errorString());
    m_saveError.clear();
    if (refused())
        qWarning().noquote() << QStringLiteral("设置已保存到 ") +
                                    QFileInfo(path).absoluteFilePath() + QStringLiteral("；") +
                                    QFileInfo(m_path).absoluteFilePath() +
                                    QStringLiteral(" 未能读取，保持原样。");
    return true;
}
