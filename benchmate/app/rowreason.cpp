#include "rowreason.h"

#include "figuretable.h"
#include "meantext.h"

#include <QCoreApplication>
#include <QStringList>

namespace {

QString signedNumber(double value)
{
    return QString::number(value, 'g', 6);
}

// A figure as the reasons name it: its label without its unit ("RX
// RSSI", "频偏").
QString figureName(const FigureDefinition &figure)
{
    return QCoreApplication::translate("YieldView", figure.label)
        .section(QStringLiteral(" ("), 0, 0);
}

} // namespace

RowReason::ToolCause RowReason::causeOf(const QString &toolFailure)
{
    if (toolFailure == QLatin1String("Could not open the serial port."))
        return ToolCause::PortNotOpened;
    if (toolFailure == QLatin1String("Could not go in download mode."))
        return ToolCause::NoDownloadMode;
    if (toolFailure == QLatin1String("Could not go in ramcode mode."))
        return ToolCause::NoRamcode;
    if (toolFailure == QLatin1String("Error downloading file."))
        return ToolCause::DownloadError;
    return ToolCause::None;
}

QString RowReason::stepShort(int fault, const QString &toolFailure)
{
    // A port that does not open, or a module that does not answer, is the
    // cable's or the fixture's matter, whatever step met it first.
    switch (causeOf(toolFailure)) {
    case ToolCause::PortNotOpened:
        return tr("串口打不开");
    case ToolCause::NoDownloadMode:
    case ToolCause::NoRamcode:
        return tr("无应答");
    case ToolCause::DownloadError:
    case ToolCause::None:
        break;
    }
    switch (fault) {
    case DUT_FAULT_BOOT_MODE:
        return tr("无应答");
    case DUT_FAULT_DOWNLOAD:
        return tr("固件被拒");
    case DUT_FAULT_GM_MAC:
        return tr("金机MAC失败");
    case DUT_FAULT_FLASH_UID:
        return tr("UID失败");
    case DUT_FAULT_DUT_MAC:
        return tr("MAC失败");
    case DUT_FAULT_XTAL_RAM:
        return tr("晶振写入失败");
    case DUT_FAULT_RX_RESULT:
        return tr("RX无结果");
    case DUT_FAULT_NOT_CONVERGED:
        return tr("晶振未收敛");
    case DUT_FAULT_OTP_WRITE:
        return tr("OTP写入失败");
    case DUT_FAULT_TX_MODE:
        return tr("TX启动失败");
    case DUT_FAULT_TX_RF_OFF:
        return tr("TX停止失败");
    case DUT_FAULT_TX_SAMPLES:
        return tr("TX无结果");
    default:
        return tr("发生错误");
    }
}

QString RowReason::step(int fault, float lastMeanOffset, const QString &toolFailure)
{
    const ToolCause cause = causeOf(toolFailure);
    QString text;
    switch (cause) {
    case ToolCause::PortNotOpened:
        text = tr("串口打不开：测试工具无法打开模块的串口。");
        break;
    case ToolCause::NoDownloadMode:
        text = tr("无应答：模块没有应答下载模式的探测。");
        break;
    case ToolCause::NoRamcode:
        text = tr("无应答：模块中的测试固件没有应答。");
        break;
    case ToolCause::DownloadError:
    case ToolCause::None:
        text = faultSentence(fault, lastMeanOffset);
        break;
    }
    if (toolFailure.isEmpty())
        return text;
    text += QLatin1Char('\n') + tr("测试工具：%1").arg(toolFailure);
    switch (cause) {
    case ToolCause::PortNotOpened:
        text += QLatin1Char('\n') +
                tr("请检查：串口名是否正确，USB转串口是否插好，串口是否被其他程序占用。");
        break;
    case ToolCause::NoDownloadMode:
        text += QLatin1Char('\n') + tr("请检查：模块的线缆和夹具是否接好，模块是否上电。");
        break;
    case ToolCause::NoRamcode:
        text += QLatin1Char('\n') +
                tr("请检查：模块的线缆和供电；测试固件下载后没有运行时，也请检查固件文件。");
        break;
    case ToolCause::DownloadError:
        text +=
            QLatin1Char('\n') + tr("请检查：测试固件文件是否正确；线缆接触不良也会使下载出错。");
        break;
    case ToolCause::None:
        break;
    }
    return text;
}

QString RowReason::faultSentence(int fault, float lastMeanOffset)
{
    switch (fault) {
    case DUT_FAULT_BOOT_MODE:
        return tr("无应答：模块未进入下载模式（串口、线缆或模块未接好）。");
    case DUT_FAULT_DOWNLOAD:
        return tr("测试固件被拒：下载到模块RAM失败。");
    case DUT_FAULT_GM_MAC:
        return tr("MAC：模块20次都未接受金机的MAC地址。");
    case DUT_FAULT_FLASH_UID:
        return tr("读取Flash UID失败。");
    case DUT_FAULT_DUT_MAC:
        return tr("MAC：模块未接受自己的MAC地址。");
    case DUT_FAULT_XTAL_RAM:
        return tr("晶振校准：模块未接受晶振值。");
    case DUT_FAULT_RX_RESULT:
        return tr("RX测试：模块未返回测量结果。");
    case DUT_FAULT_NOT_CONVERGED:
        return tr("晶振校准未收敛：40次后频偏仍未小于5 kHz，最后平均频偏 %1 kHz。")
            .arg(signedNumber(double(lastMeanOffset)));
    case DUT_FAULT_OTP_WRITE:
        return tr("OTP写入失败：校准后的晶振值未写入模块。");
    case DUT_FAULT_TX_MODE:
        return tr("TX测试：模块未进入发射模式。");
    case DUT_FAULT_TX_RF_OFF:
        return tr("TX测试：模块未停止发射。");
    case DUT_FAULT_TX_SAMPLES:
        return tr("TX测试：金机未测到20个TX RSSI样本。");
    default:
        return tr("测试步骤失败。");
    }
}

QString RowReason::brokenLimit(const BrokenLimit &limit)
{
    QString quantity;
    for (const FigureDefinition &f : FigureTable::figures()) {
        if (f.quantity == limit.quantity)
            quantity = figureName(f);
    }
    QString text = QStringLiteral("%1 %2 %3 %4")
                       .arg(quantity, MeanText::against(double(limit.value), double(limit.bound)),
                            limit.above ? QStringLiteral(">") : QStringLiteral("<"),
                            signedNumber(double(limit.bound)));
    const QString which = limit.above ? tr("上限") : tr("下限");
    if (limit.offset != 0)
        text += tr("（%1 %2，含校准值 %3）")
                    .arg(which, signedNumber(double(limit.bound - float(limit.offset))))
                    .arg(limit.offset);
    else
        text += tr("（%1）").arg(which);
    return text;
}

QString RowReason::figures(const deviceRestlt_t &r)
{
    QStringList parts;
    for (const FigureDefinition *f : FigureTable::listed()) {
        if (f->measuredIn(r))
            parts << figureName(*f) + QLatin1Char(' ') + MeanText::of(double(r.*f->mean));
    }
    if (r.rxStatus == STATUS_PASS)
        parts << tr("晶振值 %1").arg(int(r.calVal));
    if (parts.isEmpty())
        return tr("没有测得数值。");
    return tr("测得：%1").arg(parts.join(QStringLiteral(", ")));
}

QString RowReason::logSection(const QString &log)
{
    const QString trimmed = log.trimmed();
    if (trimmed.isEmpty())
        return QString();
    return QStringLiteral("\n\n") + tr("本次测试日志：") + QLatin1Char('\n') +
           QString(trimmed).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QString RowReason::forDevice(const QString &name, const DeviceJudgement &device,
                             StationFault stationFault, const QString &log)
{
    const deviceRestlt_t &r = device.result;
    QStringList lines;
    switch (device.verdict) {
    case DeviceVerdict::Pass:
        lines << tr("%1：通过").arg(name);
        break;
    case DeviceVerdict::Fail:
        lines << tr("%1：不通过").arg(name);
        for (const BrokenLimit &limit : device.broken)
            lines << brokenLimit(limit);
        break;
    case DeviceVerdict::Error:
        lines << tr("%1：发生错误").arg(name);
        lines << step(r.fault, r.freqMean, r.toolFailure);
        break;
    case DeviceVerdict::NotJudged:
        lines << tr("%1：未判定").arg(name);
        if (stationFault != StationFault::None) {
            lines << tr("本次测试因工位故障结束，不计入计数。");
            if (r.fault != DUT_OK)
                lines << step(r.fault, r.freqMean, r.toolFailure);
        } else {
            lines << tr("TX测试未进行：前面模块的TX步骤失败，结束了本次测试；不计入计数。");
        }
        break;
    }
    lines << figures(r);
    return lines.join(QLatin1Char('\n')) + logSection(log);
}

QString RowReason::forLiveFault(const QString &name, int fault, const QString &toolFailure)
{
    return tr("%1：发生错误").arg(name) + QLatin1Char('\n') + step(fault, 0, toolFailure) +
           QLatin1Char('\n') + tr("测试结束后显示日志。");
}

QString RowReason::forStation(StationFault fault, uint32_t timeOutMs, const QString &goldenLog)
{
    QString text;
    switch (fault) {
    case StationFault::GoldenMachine:
        text = tr("金机故障：金机的一个测试步骤失败，本次测试没有判定任何模块，也不计入计数。");
        break;
    case StationFault::TimeOut:
        text = tr("超时时间过短：模块测试超过了超时时间 %1 ms，本次测试没有判定任何模块。"
                  "请加大超时时间。")
                   .arg(timeOutMs);
        break;
    case StationFault::Incomplete:
        text = tr("工位故障：本次测试没有完整的结果，没有判定任何模块。");
        break;
    case StationFault::None:
        return QString();
    }
    return text + logSection(goldenLog);
}
