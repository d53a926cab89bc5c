#include "teststatuslabel.h"

#include <QLabel>

namespace {

const char *const stationFaultStyle = "QLabel{background:#FF9900;}";

} // namespace

TestStatusLabel::TestStatusLabel(QLabel *label)
    : m_label(label)
{}

void TestStatusLabel::show(TEST_STATUS status)
{
    QString style;
    QString text;
    switch (status) {
    case TEST_NOT_STARTED:
        style = QStringLiteral("QLabel{background:#66B3FF;}");
        text = tr("未开始");
        break;
    case TEST_RUNNING:
        style = QStringLiteral("QLabel{background:#FFFF37;}");
        text = tr("测试中");
        break;
    case TEST_PASS:
        style = QStringLiteral("QLabel{background:#28FF28;}");
        text = tr("测试通过");
        break;
    case TEST_FAIL:
        style = QStringLiteral("QLabel{background:#FF0000;}");
        text = tr("测试失败");
        break;
    case TEST_WAITING:
        style = QStringLiteral("QLabel{background:#66B3FF;}");
        text = tr("等待测试");
        break;
    case TEST_STATION_FAULT:
        style = QLatin1String(stationFaultStyle);
        text = tr("工位故障");
        break;
    default:
        return;
    }
    m_status = status;
    m_isFault = false;
    m_label->setStyleSheet(style);
    m_label->setText(text);
}

void TestStatusLabel::showFault(StationFault fault)
{
    QString text;
    switch (fault) {
    case StationFault::GoldenMachine:
        text = tr("金机故障");
        break;
    case StationFault::TimeOut:
        text = tr("超时时间过短");
        break;
    default:
        text = tr("工位故障");
        break;
    }
    m_isFault = true;
    m_fault = fault;
    m_label->setStyleSheet(QLatin1String(stationFaultStyle));
    m_label->setText(text);
}

void TestStatusLabel::retranslate()
{
    if (m_isFault)
        showFault(m_fault);
    else
        show(m_status);
}
