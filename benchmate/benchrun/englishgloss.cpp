#include "englishgloss.h"

#include <QStringList>

namespace {

struct Gloss
{
    const char *chinese;
    const char *english;
};

// The engine's and the judge's texts as they write them.
const Gloss glosses[] = {
    {"等待RX测试结果超时，退出测试！", "timed out waiting for the RX test result; test ended"},
    {"用户主动停止测试！", "stopped by the operator"},
    {"获取金机MAC地址失败！", "could not read the golden machine's MAC address"},
    {"获取金机频偏失败！", "could not read the golden machine's crystal value"},
    {"解析金机频偏失败！", "could not parse the golden machine's crystal value"},
    {"设置金机频偏失败！", "could not set the golden machine's crystal value"},
    {"设置金机进入RX测试模式失败！", "the golden machine did not enter its RX test mode"},
    {"关闭RX 金机RF射频失败！", "could not switch off the golden machine's RF"},
    {"测试时金机设备进入TX测试模式失败！", "the golden machine did not enter its TX test mode"},
    {"设备进入TX测试模式失败！", "the device did not enter its TX test mode"},
    {"待测设备停止RF失败！", "could not stop the DUT's RF"},
    {"TX校准值不正确", "TX calibration offset is not a number"},
    {"RX校准值不正确", "RX calibration offset is not a number"},
};

} // namespace

QString EnglishGloss::annotate(const QString &line)
{
    QStringList found;
    QString rest = line;
    for (const Gloss &g : glosses) {
        const QString chinese = QString::fromUtf8(g.chinese);
        // A longer text that holds a shorter one is glossed once.
        if (rest.contains(chinese)) {
            found << QLatin1String(g.english);
            rest.remove(chinese);
        }
    }
    if (found.isEmpty())
        return line;
    return line + QStringLiteral(" (") + found.join(QStringLiteral("; ")) + QLatin1Char(')');
}

QString EnglishGloss::annotateLines(const QString &text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString &line : lines)
        line = annotate(line);
    return lines.join(QLatin1Char('\n'));
}
