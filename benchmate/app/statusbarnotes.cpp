#include "statusbarnotes.h"

#include "deviceconfigfile.h"
#include "stationresults.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>
#include <QStringList>

StatusBarNotes::StatusBarNotes(QMainWindow *window, const StationResults &results,
                               const DeviceConfigFile &file)
    : m_window(window)
    , m_results(results)
    , m_file(file)
{}

void StatusBarNotes::showResults()
{
    const QString text = results(m_results);
    if (!m_resultsLabel) {
        if (text.isEmpty())
            return;
        m_resultsLabel = new QLabel(m_window);
        m_resultsLabel->setObjectName(QStringLiteral("labelResults"));
        m_window->statusBar()->addWidget(m_resultsLabel);
    }
    m_resultsLabel->setText(text);
    const ForwardStatus f = m_results.forwardStatus();
    m_resultsLabel->setToolTip(f.state == ForwardStatus::Off ? QString() : f.summary());
}

// A settings file that was not read stays as it is; the operator sees why,
// and where the set-up of this session will be kept.
void StatusBarNotes::showSettingsRefused()
{
    const QString text = settingsRefused(m_file);
    if (!m_settingsLabel) {
        if (text.isEmpty())
            return;
        m_settingsLabel = new QLabel(m_window);
        m_settingsLabel->setObjectName(QStringLiteral("labelSettings"));
        m_settingsLabel->setStyleSheet(QStringLiteral("QLabel{color:#FF0000;}"));
        m_settingsLabel->setWordWrap(true);
        m_window->statusBar()->addPermanentWidget(m_settingsLabel, 1);
    }
    m_settingsLabel->setText(text);
}

void StatusBarNotes::retranslate()
{
    showResults();
    if (m_settingsLabel)
        showSettingsRefused();
}

QString StatusBarNotes::results(const StationResults &results)
{
    QStringList parts;
    if (results.unrecordedCount() > 0)
        parts << tr("本地数据库：%1 个周期未能记录").arg(results.unrecordedCount());
    const ForwardStatus f = results.forwardStatus();
    // Said while cycles wait, and only then: "0 cycles waiting" tells the
    // operator nothing.
    if (f.state != ForwardStatus::Off && f.waiting > 0) {
        QString why;
        switch (f.state) {
        case ForwardStatus::Unreachable:
            why = tr("无法连接");
            break;
        case ForwardStatus::LoginRefused:
            why = tr("登录被拒绝");
            break;
        case ForwardStatus::DatabaseMissing:
            why = tr("数据库不存在");
            break;
        case ForwardStatus::SchemaMismatch:
            why = tr("数据库结构不符");
            break;
        case ForwardStatus::Failed:
        case ForwardStatus::LocalFailed:
            why = tr("数据库错误");
            break;
        default:
            why = tr("上传中");
            break;
        }
        parts << tr("工厂数据库：%1 个周期等待上传（%2）").arg(f.waiting).arg(why);
    }
    return parts.join(QStringLiteral("  "));
}

// A settings file that was not read stays as it is.
QString StatusBarNotes::settingsRefused(const DeviceConfigFile &file)
{
    const DeviceConfigProblem &problem = file.problem();
    QString why;
    switch (problem.kind) {
    case DeviceConfigProblem::Unreadable:
        why = tr("无法读取：%1").arg(problem.error);
        break;
    case DeviceConfigProblem::LineCount:
        why = tr("%1 行，应为 42 行").arg(problem.lines);
        break;
    case DeviceConfigProblem::NotUtf8:
        why = tr("第 %1 行不是 UTF-8 文本").arg(problem.line);
        break;
    case DeviceConfigProblem::None:
        return QString();
    }
    return tr("设置文件 %1 未载入（%2），该文件保持原样；本次设置在关闭时保存到 %3。")
        .arg(QDir::toNativeSeparators(QFileInfo(file.path()).absoluteFilePath()), why,
             QDir::toNativeSeparators(QFileInfo(file.savePath()).absoluteFilePath()));
}
