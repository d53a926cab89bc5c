#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "stationglobals.h"
#include "testparabuilder.h"
#include "testthread.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QStatusBar>
#include <QTableWidgetItem>
#include <QTimer>

namespace {

const char *const softwareVersion = "V2.0.2";
const char *const configPath = "./config/device_config.csv";

// Share of the table width (less the enable column) of columns 1 to 8.
constexpr double columnShare[MainWindow::tableColumns - 1] = {0.13, 0.13, 0.12, 0.14,
                                                              0.12, 0.12, 0.12, 0.12};
constexpr int enableColumnWidth = 40;
constexpr int pollIntervalMs = 100;
// How often the stop wait looks at the cycle besides its end signal.
constexpr int stopCheckMs = 10;

const char *const colourPass = "#00FF00";
const char *const colourFail = "#FF0000";
const char *const colourPlain = "#FFFFFF";

} // namespace

uint8_t MainWindow::runningFlag = 0;

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

    pollTimer = new QTimer(this);
    pollTimer->setObjectName(QStringLiteral("pollTimer"));
    pollTimer->setInterval(pollIntervalMs);
    connect(pollTimer, &QTimer::timeout, this, &MainWindow::getTestResult);

    ui->tableWidget->horizontalHeader()->setStretchLastSection(true);
    ui->tableWidget->verticalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    paintEvent(nullptr);
    deviceUiInit();
    readDeviceConfig();
    setTestStatusUI(TEST_NOT_STARTED);
    connect(&stationResults, &StationResults::forwardStatusChanged, this,
            &MainWindow::showResultsStatus);
    if (!stationResults.settings().problem.isEmpty())
        qWarning().noquote() << stationResults.settings().problem;

    qDebug().noquote() << QStringLiteral("软件版本号：") + QLatin1String(softwareVersion);
}

// Stop first, then save: a cycle still running (the window is going without
// a close, or the close came during a stop) is ended here, so no worker or
// chip-tool run outlives the window; a stopped cycle changes no counter, so
// what is saved afterwards is the final state.
MainWindow::~MainWindow()
{
    if (m_cycle) {
        m_cycle->stop();
        m_cycle->wait();
    }
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
    testAllNum = 0;
    testPassNum = 0;
    testFailNum = 0;
    changeTestNum(testPassNum, testFailNum, testAllNum);
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

    filePath = config.firmwarePath;
    rxRssiMax = config.rxRssiMax;
    rxRssiMin = config.rxRssiMin;
    rxFreqMax = config.rxFreqMax;
    rxFreqMin = config.rxFreqMin;
    txRssiMax = config.txRssiMax;
    txRssiMin = config.txRssiMin;
    // Checking the box locks the parameters through the same slot as a click.
    if (config.lockParams)
        ui->checkBox->setChecked(true);

    testCha = config.testCha;
    sendInterval = config.sendInterval;
    timeOut = config.timeOut;
    testAllNum = config.testAllNum;
    testPassNum = config.testPassNum;
    testFailNum = config.testFailNum;
    calVal.store((calVal.load() & ~0xff) | int(uint8_t(config.calVal)));
    autoTestFlag = config.autoTest;

    changeTestNum(testPassNum, testFailNum, testAllNum);

    ui->leFilePath->setText(filePath);
    ui->leRxRssiMax->setText(DeviceConfigFile::formatNumber(rxRssiMax));
    ui->leRxRssiMin->setText(DeviceConfigFile::formatNumber(rxRssiMin));
    ui->leRxFreqMax->setText(DeviceConfigFile::formatNumber(rxFreqMax));
    ui->leRxFreqMin->setText(DeviceConfigFile::formatNumber(rxFreqMin));
    ui->leTxRssiMax->setText(DeviceConfigFile::formatNumber(txRssiMax));
    ui->leTxRssiMin->setText(DeviceConfigFile::formatNumber(txRssiMin));
    ui->leTestCha->setText(DeviceConfigFile::formatNumber(testCha));
    ui->leSendInterval->setText(DeviceConfigFile::formatNumber(sendInterval));
    ui->leTimeOut->setText(DeviceConfigFile::formatNumber(timeOut));

    if (autoTestFlag == 1)
        ui->cbAutoTest->setChecked(true);
    return true;
}

bool MainWindow::saveDeviceConfig()
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
    return configFile.save(config);
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

void MainWindow::on_pbnStartTest_clicked()
{
    if (testRunning)
        stopCycle();
    else
        startCycle();
}

void MainWindow::startCycle()
{
    if (runningFlag)
        return;
    runningFlag = 1;

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
    testPara = builder.build();

    m_cycle.reset();
    // The slots of this cycle show 0 % until their workers report, not what
    // the last cycle left.
    for (const deviceInfo_t &device : qAsConst(testPara.devices))
        device.progressPtr->store(0);

    testStartedOnce = 1;
    m_cycleStartedAt = QDateTime::currentDateTime();
    m_cycle = std::make_unique<testThread>(testPara, testMode, this);
    m_cycle->start(QThread::InheritPriority);

    ui->pbnStartTest->setText(tr("停止测试"));
    setTestStatusUI(TEST_RUNNING);
    pollTimer->start(pollIntervalMs);
    testRunning = 1;
    runningFlag = 0;
}

void MainWindow::stopCycle()
{
    if (runningFlag)
        return;
    runningFlag = 1;

    testRunning = 0;
    ui->pbnStartTest->setEnabled(false);
    if (m_cycle)
        m_cycle->requestStop();
    qDebug().noquote() << QStringLiteral("用户主动停止，正在停止测试中，请等待...");
    waitForCycleEnd();
    qDebug().noquote() << QStringLiteral("已经停止测试");

    ui->pbnStartTest->setEnabled(true);
    ui->pbnStartTest->setText(tr("开始测试"));
    setTestStatusUI(TEST_NOT_STARTED);
    pollTimer->stop();
    runningFlag = 0;

    if (m_closeAfterStop)
        QTimer::singleShot(0, this, &QWidget::close);
}

// The window stays responsive meanwhile: its events are processed, blocking
// between them, until the cycle thread has finished. The wait ends with the
// thread's end signal, or at the latest at the next look 10 ms on.
void MainWindow::waitForCycleEnd()
{
    if (!m_cycle || m_cycle->isFinished() || !m_cycle->isRunning())
        return;
    QEventLoop loop;
    connect(m_cycle.get(), &QThread::finished, &loop, &QEventLoop::quit);
    QTimer check;
    connect(&check, &QTimer::timeout, &loop, [this, &loop] {
        if (m_cycle->isFinished() || !m_cycle->isRunning())
            loop.quit();
    });
    check.start(stopCheckMs);
    if (m_cycle->isRunning())
        loop.exec();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (runningFlag) {
        // A stop is waiting for the cycle: close once it has ended.
        m_closeAfterStop = true;
        event->ignore();
        return;
    }
    if (testRunning && m_cycle) {
        if (m_cycle->isRunning())
            stopCycle();
        else
            getTestResult(); // ended before the poll saw it: keep its results
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::getTestResult()
{
    if (!testRunning || !m_cycle)
        return;
    if (m_cycle->isRunning()) {
        showProgress();
        return;
    }
    testRunning = 0;
    pollTimer->stop();
    m_cycleEndedAt = QDateTime::currentDateTime();
    const uint32_t number = testAllNum;
    saveLogToFile();
    ui->pbnStartTest->setEnabled(true);
    ui->pbnStartTest->setText(tr("开始测试"));
    showTestResult();
    writeResultsFile(number);
    if (testStartedOnce == 1 && autoTestFlag == 1)
        testMode = 1;
}

void MainWindow::showProgress()
{
    int k = 0;
    for (int row = 1; row < tableRows; ++row) {
        const QCheckBox *check = rowCheckBox(row);
        if (!check || !check->isChecked())
            continue;
        if (k >= testPara.devices.size())
            break;
        const std::atomic<uint8_t> *byte = testPara.devices.at(k).progressPtr;
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
    JudgeLimits limits;
    limits.txRssiMax = JudgeLimits::parse(ui->leTxRssiMax->text());
    limits.txRssiMin = JudgeLimits::parse(ui->leTxRssiMin->text());
    limits.rxRssiMax = JudgeLimits::parse(ui->leRxRssiMax->text());
    limits.rxRssiMin = JudgeLimits::parse(ui->leRxRssiMin->text());
    limits.freqMax = JudgeLimits::parse(ui->leRxFreqMax->text());
    limits.freqMin = JudgeLimits::parse(ui->leRxFreqMin->text());
    // The window keeps them as its members too, as the settings file loaded
    // them.
    rxRssiMax = limits.rxRssiMax;
    rxRssiMin = limits.rxRssiMin;
    rxFreqMax = limits.freqMax;
    rxFreqMin = limits.freqMin;
    txRssiMax = limits.txRssiMax;
    txRssiMin = limits.txRssiMin;
    m_lastLimits = limits;

    testRestlt_t result;
    const int state = m_cycle ? m_cycle->getResult(&result) : 0;
    m_lastJudgement =
        ResultJudge::judge(limits, state, testPara.devices.size(), result, checkedRows());
    const CycleJudgement &j = m_lastJudgement;
    if (!j.ended) {
        qDebug().noquote() << QStringLiteral("显示测试结果出错！");
        changeTestNum(testPassNum, testFailNum, testAllNum);
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

    ResultJudge::carryCalVal(j);
    ResultJudge::count(j, &testPassNum, &testFailNum, &testAllNum);
    setTestStatusUI(j.status);
    changeTestNum(testPassNum, testFailNum, testAllNum);
}

void MainWindow::saveLogToFile()
{
    if (!m_cycle)
        return;
    m_lastCycleLog = m_cycle->getLog();
    dailyLog.write(testAllNum, m_lastCycleLog);
}

void MainWindow::writeResultsFile(uint32_t number)
{
    if (!m_cycle || !m_lastJudgement.ended)
        return;
    testRestlt_t result;
    m_cycle->getResult(&result);
    const QList<deviceTrace_t> traces = m_cycle->getTraceability();
    resultsCsv.write(ResultsCsv::rows(QDateTime::currentDateTime(), number, testPara, traces,
                                      result, m_lastJudgement));

    CycleOutcome outcome;
    outcome.startedAt = m_cycleStartedAt;
    outcome.endedAt = m_cycleEndedAt;
    outcome.number = number;
    outcome.para = testPara;
    outcome.goldenMac = m_cycle->goldenMac();
    outcome.traces = traces;
    outcome.result = result;
    outcome.judgement = m_lastJudgement;
    outcome.limits = m_lastLimits;
    outcome.cycleLog = m_lastCycleLog;
    stationResults.recordCycle(recordBuilder.build(outcome));
    showResultsStatus();
}

QString MainWindow::resultsStatusText() const
{
    QStringList parts;
    if (stationResults.unrecordedCount() > 0)
        parts << tr("本地数据库：%1 个周期未能记录").arg(stationResults.unrecordedCount());
    const ForwardStatus f = stationResults.forwardStatus();
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
    const ForwardStatus f = stationResults.forwardStatus();
    m_resultsLabel->setToolTip(f.state == ForwardStatus::Off ? QString() : f.summary());
}
