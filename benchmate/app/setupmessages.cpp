#include "setupmessages.h"

#include <QStringList>

namespace {

QString number(double value)
{
    return QString::number(value, 'g', 6);
}

} // namespace

QString SetupMessages::fieldName(SetupField field, int slot)
{
    switch (field) {
    case SetupField::RxRssiMax:
        return tr("RX RSSI上限");
    case SetupField::RxRssiMin:
        return tr("RX RSSI下限");
    case SetupField::RxFreqMax:
        return tr("RX 频偏上限");
    case SetupField::RxFreqMin:
        return tr("RX 频偏下限");
    case SetupField::TxRssiMax:
        return tr("TX RSSI上限");
    case SetupField::TxRssiMin:
        return tr("TX RSSI下限");
    case SetupField::TestCha:
        return tr("测试信道");
    case SetupField::SendInterval:
        return tr("发送间隔");
    case SetupField::TimeOut:
        return tr("超时时间");
    case SetupField::Firmware:
        return tr("测试固件");
    case SetupField::GoldenPort:
        return tr("金机串口号");
    case SetupField::DutPort:
        return tr("DUT%1 串口号").arg(slot);
    case SetupField::TxCal:
        return tr("DUT%1 TX RSSI校准值").arg(slot);
    case SetupField::RxCal:
        return tr("DUT%1 RX RSSI校准值").arg(slot);
    case SetupField::Duts:
        return tr("待测设备");
    }
    return QString();
}

QString SetupMessages::describe(const SetupProblem &p)
{
    const QString field = fieldName(p.field, p.slot);
    switch (p.kind) {
    case SetupProblem::NotANumber:
        return tr("%1：不是数字（“%2”）").arg(field, p.text);
    case SetupProblem::TooPrecise:
        if (p.decimals == 0)
            return tr("%1：必须是整数（“%2”）").arg(field, p.text);
        return tr("%1：最多 %2 位小数（“%3”）").arg(field).arg(p.decimals).arg(p.text);
    case SetupProblem::OutOfRange:
        return tr("%1：超出范围 %2 到 %3（“%4”）").arg(field, number(p.min), number(p.max), p.text);
    case SetupProblem::NotBelowUpper:
        return tr("%1：必须小于上限（%2 不小于 %3）").arg(field, p.text, number(p.bound));
    case SetupProblem::Missing:
        return tr("%1：未填写").arg(field);
    case SetupProblem::NotFound:
        return tr("%1：文件不存在（%2）").arg(field, p.text);
    case SetupProblem::HasComma:
        return tr("%1：不能包含逗号（“%2”）").arg(field, p.text);
    case SetupProblem::SamePort:
        return tr("%1：“%2”已是%3的串口")
            .arg(field, p.text,
                 p.otherSlot < 0 ? tr("金机")
                                 : QStringLiteral("DUT") + QString::number(p.otherSlot));
    case SetupProblem::NoDut:
        return tr("未选择任何待测设备");
    }
    return field;
}

// In the window's words (its catalogue's context).
QString SetupMessages::startRefused(const QList<SetupProblem> &problems)
{
    QStringList lines;
    for (const SetupProblem &problem : problems)
        lines << QStringLiteral("• ") + describe(problem);
    return QCoreApplication::translate("MainWindow", "请先改正以下设置：") +
           QStringLiteral("\n\n") + lines.join(QLatin1Char('\n'));
}
