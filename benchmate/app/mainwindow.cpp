#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "stationglobals.h"
#include "testparabuilder.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QStatusBar>
#include <QTableWidgetItem>

namespace {

const char *const softwareVersion = "V2.0.2";
const char *const configPath = "./config/device_config.csv";

// Share of the table width (less the enable column) of columns 1 to 8.
constexpr double columnShare[MainWindow::tableColumns - 1] = {0.13, 0.13, 0.12, 0.14,
                                                              0.12, 0.12, 0.12, 0.12};
constexpr int enableColumnWidth = 40;

const char *const colourPass = "#00FF00";
const char *const colourFail = "#FF0000";
const char *const colourPlain = "#FFFFFF";

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::MainWindow>())
    , configFile(QString::fromLatin1(configPath))
    , openFileDialog(
          [](QWidget *owner, const QString &caption, const QString &dir, const QString &filter) {
              return QFileDialog::getOpenFileName(owner, caption, dir, filter);
          })
{
    ui->setupUi(this);

    m_controller = new CycleController(this);
    m_controller->setJudgeSetupSource([this] { return judgeSetup(); });
    connect(m_controller, &CycleController::progressChanged, this, &MainWindow::showProgress);
    connect(m_controller, &CycleController::cycleFinished, this, &MainWindow::cycleFinished);
    connect(m_controller, &CycleController::stopped, this, &MainWindow::cycleStopped);
    connect(&m_controller->results(), &StationResults::forwardStatusChanged, this,
            &MainWindow::showResultsStatus);
    if (!m_controller->results().settings().problem.isEmpty())
        qWarning().noquote() << m_controller->results().settings().problem;

    ui->tableWidget->horizontalHeader()->setStretchLastSection(true);
    ui->tableWidget->verticalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    paintEvent(nullptr);
    deviceUiInit();
    readDeviceConfig();
    setTestStatusUI(TEST_NOT_STARTED);

    qDebug().noquote() << QStringLiteral("软件版本号：") + QLatin1String(softwareVersion);
}

// Stop first, then save: a cycle still running (the window is going without
// a close, or while a stop waits) is ended here, so no worker or chip-tool
// run outlives the window; a stopped cycle changes no counter, so what is
// saved afterwards is the final state.
MainWindow::~MainWindow()
{
    m_controller->stopAndWait();
    saveDeviceConfig();
}

void MainWindow::paintEvent(QPaintEvent *event)
{
    QTableWidget *table = ui->tableWidget;
    table->setRowCount(tableRows);
    const int rowHeight = (table->height() - 25) / table->rowCount();
    for (int row = 0; row < table->rowCount(); ++row)
        table->setRowHeight(row, rowHeight);

    table->setColumnCount(tableColumns);
    table->setColumnWidth(colEnable, enableColumnWidth);
    const int base = table->width() - enableColumnWidth;
    for (int column = 1; column < tableColumns; ++column)
        table->setColumnWidth(column, int(base * columnShare[column - 1]));

    if (event)
        QMainWindow::paintEvent(event);
}

void MainWindow::deviceUiInit()
{
    for (int row = 0; row < tableRows; ++row) {
        auto *cell = new QWidget;
        auto *layout = new QHBoxLayout(cell);
        layout->setContentsMargins(0, 0, 0, 0);
        auto *check = new QCheckBox;
        check->setObjectName(QStringLiteral("check"));
        layout->addWidget(check, 0, Qt::AlignHCenter | Qt::AlignVCenter);
        ui->tableWidget->setCellWidget(row, colEnable, cell);

        for (int column = colEnable + 1; column < tableColumns; ++column)
            ui->tableWidget->setItem(row, column, new QTableWidgetItem);
    }
}

QCheckBox *MainWindow::rowCheckBox(int row) const
{
    const QWidget *cell = ui->tableWidget->cellWidget(row, colEnable);
    if (!cell || !cell->layout())
        return nullptr;
    QLayoutItem *item = cell->layout()->itemAt(0);
    return item ? qobject_cast<QCheckBox *>(item->widget()) : nullptr;
}

QString MainWindow::cellText(int row, int column) const
{
    const QTableWidgetItem *item = ui->tableWidget->item(row, column);
    return item ? item->text() : QString();
}

void MainWindow::setCellText(int row, int column, const QString &text)
{
    QTableWidgetItem *item = ui->tableWidget->item(row, column);
    if (item)
        item->setText(text);
    else
        ui->tableWidget->setItem(row, column, new QTableWidgetItem(text));
}

void MainWindow::setOpenFileDialog(OpenFileDialog dialog)
{
    openFileDialog = std::move(dialog);
}

void MainWindow::setTestStatusUI(TEST_STATUS status)
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
    default:
        return;
    }
    ui->labelSta->setStyleSheet(style);
    ui->labelSta->setText(text);
}

void MainWindow::changeTestNum(uint32_t passNum, uint32_t failNum, uint32_t allNum)
{
    ui->labelTestAllNum->setText(QString::number(allNum));
    ui->labelTestPassNum->setText(QString::number(passNum));
    ui->labelTestFailNum->setText(QString::number(failNum));
}

void MainWindow::on_pbnClearNum_clicked()
{
    m_controller->setCounters({});
    changeTestNum(0, 0, 0);
}

void MainWindow::on_checkBox_stateChanged(int state)
{
    const bool locked = state == Qt::Checked;
    ui->tableWidget->setEditTriggers(locked ? QAbstractItemView::NoEditTriggers
                                            : QAbstractItemView::AllEditTriggers);
    for (int row = 0; row < tableRows; ++row) {
        if (QCheckBox *check = rowCheckBox(row))
            check->setEnabled(!locked);
    }
    QWidget *const lockable[] = {
        ui->leFilePath,  ui->leRxRssiMax, ui->leRxRssiMin,    ui->leRxFreqMax, ui->leRxFreqMin,
        ui->leTxRssiMax, ui->leTxRssiMin, ui->leSendInterval, ui->leTestCha,   ui->leTimeOut,
    };
    for (QWidget *widget : lockable)
        widget->setEnabled(!locked);
}

void MainWindow::on_pushButton_3_clicked()
{
    const QString current = ui->leFilePath->text();
    const QString startDir =
        current.isEmpty() ? QDir::currentPath() : QFileInfo(current).absolutePath();
    const QString chosen = openFileDialog(this, tr("打开文件"), startDir, tr("bin文件(*bin)"));
    if (chosen.isEmpty() || !chosen.endsWith(QLatin1String(".bin"), Qt::CaseSensitive)) {
        QMessageBox::critical(this, tr("错误"), tr("选择了无效的固件文件！"),
                              QMessageBox::Yes | QMessageBox::No);
        return;
    }
    ui->leFilePath->setText(chosen);
}

bool MainWindow::readDeviceConfig()
{
    DeviceConfig config;
    if (!configFile.load(config))
        return false;

    for (int row = 0; row < tableRows; ++row) {
        const DeviceConfigRow &r = config.rows[size_t(row)];
        if (QCheckBox *check = rowCheckBox(row))
            check->setChecked(r.enabled);
        setCellText(row, colName, r.name);
        setCellText(row, colPort, r.port);
        setCellText(row, colTxCal, r.txCal);
        setCellText(row, colRxCal, r.rxCal);
    }
    // Checking the box locks the parameters through the same slot as a click.
    if (config.lockParams)
        ui->checkBox->setChecked(true);

    m_controller->setCounters({config.testPassNum, config.testFailNum, config.testAllNum});
    calVal.store((calVal.load() & ~0xff) | int(uint8_t(config.calVal)));
    m_controller->setAutoTest(config.autoTest);
    changeTestNum(config.testPassNum, config.testFailNum, config.testAllNum);

    ui->leFilePath->setText(config.firmwarePath);
    ui->leRxRssiMax->setText(DeviceConfigFile::formatNumber(config.rxRssiMax));
    ui->leRxRssiMin->setText(DeviceConfigFile::formatNumber(config.rxRssiMin));
    ui->leRxFreqMax->setText(DeviceConfigFile::formatNumber(config.rxFreqMax));
    ui->leRxFreqMin->setText(DeviceConfigFile::formatNumber(config.rxFreqMin));
    ui->leTxRssiMax->setText(DeviceConfigFile::formatNumber(config.txRssiMax));
    ui->leTxRssiMin->setText(DeviceConfigFile::formatNumber(config.txRssiMin));
    ui->leTestCha->setText(DeviceConfigFile::formatNumber(config.testCha));
    ui->leSendInterval->setText(DeviceConfigFile::formatNumber(config.sendInterval));
    ui->leTimeOut->setText(DeviceConfigFile::formatNumber(config.timeOut));

    if (config.autoTest == 1)
        ui->cbAutoTest->setChecked(true);
    return true;
}

DeviceConfig MainWindow::currentConfig() const
{
    DeviceConfig config;
    for (int row = 0; row < tableRows; ++row) {
        DeviceConfigRow &r = config.rows[size_t(row)];
        const QCheckBox *check = rowCheckBox(row);
        r.enabled = check && check->isChecked();
        r.port = cellText(row, colPort);
        r.txCal = cellText(row, colTxCal);
        r.rxCal = cellText(row, colRxCal);
    }
    config.firmwarePath = ui->leFilePath->text();
    config.rxRssiMax = DeviceConfigFile::parseNumber(ui->leRxRssiMax->text());
    config.rxRssiMin = DeviceConfigFile::parseNumber(ui->leRxRssiMin->text());
    config.rxFreqMax = DeviceConfigFile::parseNumber(ui->leRxFreqMax->text());
    config.rxFreqMin = DeviceConfigFile::parseNumber(ui->leRxFreqMin->text());
    config.txRssiMax = DeviceConfigFile::parseNumber(ui->leTxRssiMax->text());
    config.txRssiMin = DeviceConfigFile::parseNumber(ui->leTxRssiMin->text());
    config.lockParams = ui->checkBox->isChecked();
    config.testCha = DeviceConfigFile::parseNumber(ui->leTestCha->text());
    config.sendInterval = DeviceConfigFile::parseNumber(ui->leSendInterval->text());
    config.timeOut = DeviceConfigFile::parseNumber(ui->leTimeOut->text());
    config.testAllNum = DeviceConfigFile::parseCounter(ui->labelTestAllNum->text());
    config.testPassNum = DeviceConfigFile::parseCounter(ui->labelTestPassNum->text());
    config.testFailNum = DeviceConfigFile::parseCounter(ui->labelTestFailNum->text());
    config.calVal = int8_t(uint8_t(calVal.load() & 0xff));
    config.autoTest = ui->cbAutoTest->isChecked() ? 1 : 0;
    return config;
}

bool MainWindow::saveDeviceConfig()
{
    return configFile.save(currentConfig());
}

void MainWindow::setResultCell(int row, int column, const QString &text, const char *colour)
{
    setCellText(row, column, text);
    if (QTableWidgetItem *item = ui->tableWidget->item(row, column))
        item->setBackground(QBrush(QColor(QLatin1String(colour))));
}

QList<JudgeRow> MainWindow::checkedRows() const
{
    QList<JudgeRow> rows;
    for (int row = 1; row < tableRows; ++row) {
        const QCheckBox *check = rowCheckBox(row);
        if (!check || !check->isChecked())
            continue;
        JudgeRow r;
        r.slot = row - 1;
        r.txCal = cellText(row, colTxCal);
        r.rxCal = cellText(row, colRxCal);
        rows.append(r);
    }
    return rows;
}

CycleController::JudgeSetup MainWindow::judgeSetup() const
{
    return {JudgeLimits::fromConfig(currentConfig()), checkedRows()};
}

void MainWindow::on_pbnStartTest_clicked()
{
    switch (m_controller->state()) {
    case CycleController::Idle:
        startCycle();
        break;
    case CycleController::Running:
        stopCycle();
        break;
    case CycleController::Stopping:
        break; // the button is disabled until the cycle has ended
    }
}

void MainWindow::startCycle()
{
    clearShowTestResult();

    TestParaBuilder builder;
    builder.gmPort = cellText(0, colPort);
    builder.filePath = ui->leFilePath->text();
    builder.timeOut = ui->leTimeOut->text();
    builder.sendInterval = ui->leSendInterval->text();
    builder.testCha = ui->leTestCha->text();
    for (int row = 1; row < tableRows; ++row) {
        const QCheckBox *check = rowCheckBox(row);
        if (check && check->isChecked())
            builder.devices.append({row - 1, cellText(row, colName), cellText(row, colPort)});
    }
    if (!m_controller->start(builder.build()))
        return;

    ui->pbnStartTest->setText(tr("停止测试"));
    setTestStatusUI(TEST_RUNNING);
}

// The button stays disabled, and the status label as it is, until the
// controller says the cycle thread has ended (cycleStopped); the window
// handles its events meanwhile.
void MainWindow::stopCycle()
{
    ui->pbnStartTest->setEnabled(false);
    m_controller->stop();
    qDebug().noquote() << QStringLiteral("用户主动停止，正在停止测试中，请等待...");
}

void MainWindow::cycleStopped()
{
    qDebug().noquote() << QStringLiteral("已经停止测试");
    ui->pbnStartTest->setEnabled(true);
    ui->pbnStartTest->setText(tr("开始测试"));
    setTestStatusUI(TEST_NOT_STARTED);
    if (m_closeAfterStop)
        close();
}

void MainWindow::cycleFinished()
{
    ui->pbnStartTest->setEnabled(true);
    ui->pbnStartTest->setText(tr("开始测试"));
    showTestResult();
    showResultsStatus();
}

QString MainWindow::resultsStatusText() const
{
    const StationResults &results = m_controller->results();
    QStringList parts;
    if (results.unrecordedCount() > 0)
        parts << tr("本地数据库：%1 个周期未能记录").arg(results.unrecordedCount());
    const ForwardStatus f = results.forwardStatus();
    if (f.state != ForwardStatus::Off && (f.waiting > 0 || f.isProblem())) {
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

void MainWindow::showResultsStatus()
{
    const QString text = resultsStatusText();
    if (!m_resultsLabel) {
        if (text.isEmpty())
            return;
        m_resultsLabel = new QLabel(this);
        m_resultsLabel->setObjectName(QStringLiteral("labelResults"));
        statusBar()->addWidget(m_resultsLabel);
    }
    m_resultsLabel->setText(text);
    const ForwardStatus f = m_controller->results().forwardStatus();
    m_resultsLabel->setToolTip(f.state == ForwardStatus::Off ? QString() : f.summary());
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // A cycle that ended before the poll saw it keeps its results.
    if (m_controller->state() == CycleController::Running)
        m_controller->poll();
    if (m_controller->state() != CycleController::Idle) {
        // Closed once the cycle has ended; the settings are saved first.
        if (!m_closeAfterStop) {
            m_closeAfterStop = true;
            saveDeviceConfig();
        }
        if (m_controller->state() == CycleController::Running)
            stopCycle();
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::getTestResult()
{
    m_controller->poll();
}

void MainWindow::showProgress()
{
    const QList<deviceInfo_t> &devices = m_controller->parameters().devices;
    int k = 0;
    for (int row = 1; row < tableRows; ++row) {
        const QCheckBox *check = rowCheckBox(row);
        if (!check || !check->isChecked())
            continue;
        if (k >= devices.size())
            break;
        const std::atomic<uint8_t> *byte = devices.at(k).progressPtr;
        if (byte)
            setResultCell(row, colResult, QString::number(uint(byte->load())) + QLatin1Char('%'),
                          colourPlain);
        ++k;
    }
}

void MainWindow::clearShowTestResult()
{
    for (int row = 0; row < tableRows; ++row) {
        for (int column : {int(colResult), int(colTxResult), int(colRxResult), int(colFreqResult)})
            setResultCell(row, column, QString(), colourPlain);
    }
}

void MainWindow::showTestResult()
{
    const CycleController::Counters &n = m_controller->counters();
    const CycleJudgement &j = m_controller->lastOutcome().judgement;
    if (!j.ended) {
        qDebug().noquote() << QStringLiteral("显示测试结果出错！");
        changeTestNum(n.passed, n.failed, n.total);
        return;
    }
    for (const QString &message : j.messages)
        qDebug().noquote() << message;

    if (j.cycleError)
        setResultCell(0, colResult, tr("发生错误"), colourFail);
    for (const DeviceJudgement &device : j.devices) {
        const int row = device.slot + 1;
        if (device.verdict == DeviceVerdict::Error) {
            setResultCell(row, colResult, tr("发生错误"), colourFail);
            continue;
        }
        setCellText(row, colTxResult, QString::number(device.result.txRssiAve));
        setCellText(row, colRxResult, QString::number(device.result.rxRssiAve));
        setCellText(row, colFreqResult, QString::number(device.result.freqAve));
        if (device.verdict == DeviceVerdict::Pass)
            setResultCell(row, colResult, tr("通过"), colourPass);
        else
            setResultCell(row, colResult, tr("不通过"), colourFail);
    }
    setTestStatusUI(j.status);
    changeTestNum(n.passed, n.failed, n.total);
}
