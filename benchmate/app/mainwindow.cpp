#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "setupcheck.h"
#include "setupform.h"
#include "setupmessages.h"
#include "statusbarnotes.h"
#include "testparabuilder.h"
#include "teststatuslabel.h"
#include "uitranslation.h"
#include "yieldsettings.h"
#include "yieldview.h"

#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QTabBar>

namespace {

const char *const softwareVersion = "V2.0.2";
const char *const configPath = "./config/device_config.csv";

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
    m_language = new UiLanguage(this);
    m_language->attachMenu(ui->actionChinese, ui->actionEnglish);

    m_controller = new CycleController(this);
    connect(m_controller, &CycleController::progressChanged, this, &MainWindow::showProgress);
    connect(m_controller, &CycleController::cycleFinished, this, &MainWindow::cycleFinished);
    connect(m_controller, &CycleController::stopped, this, &MainWindow::cycleStopped);
    connect(&m_controller->results(), &StationResults::forwardStatusChanged, this,
            &MainWindow::showResultsStatus);
    if (!m_controller->results().settings().problem.isEmpty())
        qWarning().noquote() << m_controller->results().settings().problem;
    if (!m_controller->results().startProblem().isEmpty())
        qWarning().noquote() << m_controller->results().startProblem() + QLatin1Char('.');

    m_notes = std::make_unique<StatusBarNotes>(this, m_controller->results(), configFile);
    m_form = new SetupForm(*ui, this);
    m_status = std::make_unique<TestStatusLabel>(ui->labelSta);
    deviceUiInit();
    paintEvent(nullptr);
    readDeviceConfig();
    setTestStatusUI(TEST_NOT_STARTED);
    setUpYieldView();

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

void MainWindow::startLanguage(const QStringList &uiLanguages)
{
    m_language->start(uiLanguages);
}

bool MainWindow::setLanguage(const QString &language)
{
    return m_language->set(language);
}

QString MainWindow::language() const
{
    return m_language->current();
}

void MainWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange && m_controller)
        retranslate();
    QMainWindow::changeEvent(event);
}

// Every text of the window again, in the language now installed: the
// layout's own, then what the window shows of the set-up, the cycle and
// its results. What the operator typed stays as it is.
void MainWindow::retranslate()
{
    const QString firmware = ui->leFilePath->text();
    ui->retranslateUi(this);
    ui->leFilePath->setText(firmware);
    m_form->markProblems();
    // The headers' widths in the new language.
    m_table->applyGeometry();

    m_status->retranslate();
    ui->pbnStartTest->setText(m_controller->state() == CycleController::Idle ? tr("开始测试")
                                                                             : tr("停止测试"));
    switch (m_shown) {
    case Shown::Nothing:
        break;
    case Shown::Progress:
        showProgress();
        break;
    case Shown::Results:
        showTestResult();
        break;
    }
    const CycleController::Counters &n = m_controller->counters();
    changeTestNum(n.passed, n.failed, n.total);
    showYieldWarnings(m_yieldWarnings);
    m_table->showRowDetails(ui->tableWidget->currentRow());
    m_notes->retranslate();
}

// The day's yield: the station's settings say after how many failed cycles
// in a row a slot warns; the day's results file is read in the background.
void MainWindow::setUpYieldView()
{
    const YieldSettings settings = YieldSettings::load();
    if (!settings.problem.isEmpty())
        qWarning().noquote() << settings.problem;
    ui->yieldView->setFailStreakWarning(settings.failStreakWarning);
    ui->yieldView->setLimits(JudgeLimits::fromConfig(currentConfig()));
    connect(ui->yieldView, &YieldView::warningsChanged, this, &MainWindow::showYieldWarnings);
    ui->yieldView->loadResultsFile(m_controller->resultsFile().todaysFile());
}

// The yield tab says how many slots warn, so the warning is seen from the
// test tab too.
void MainWindow::showYieldWarnings(const QList<int> &warned)
{
    m_yieldWarnings = warned;
    const int tab = ui->tabWidget->indexOf(ui->yieldView);
    ui->tabWidget->setTabText(
        tab, warned.isEmpty() ? tr("良率统计") : tr("良率统计（%1 个警告）").arg(warned.size()));
    ui->tabWidget->tabBar()->setTabTextColor(
        tab, warned.isEmpty() ? palette().color(QPalette::WindowText) : QColor(Qt::red));
}

// The table keeps its layout itself as its size changes; a paint only
// paints.
void MainWindow::paintEvent(QPaintEvent *event)
{
    if (event)
        QMainWindow::paintEvent(event);
    else
        m_table->applyGeometry();
}

void MainWindow::deviceUiInit()
{
    if (!m_table)
        m_table = new DeviceTable(ui->tableWidget, ui->textRowDetails);
}

QCheckBox *MainWindow::rowCheckBox(int row) const
{
    return m_table->rowCheckBox(row);
}

QString MainWindow::cellToolTip(int row, int column) const
{
    return m_table->cellToolTip(row, column);
}

void MainWindow::setOpenFileDialog(OpenFileDialog dialog)
{
    openFileDialog = std::move(dialog);
}

void MainWindow::setTestStatusUI(TEST_STATUS status)
{
    m_status->show(status);
}

void MainWindow::changeTestNum(uint32_t passNum, uint32_t failNum, uint32_t allNum)
{
    ui->labelTestAllNum->setText(QString::number(allNum));
    ui->labelTestPassNum->setText(QString::number(passNum));
    ui->labelTestFailNum->setText(QString::number(failNum));
}

// The counters are the station's record of its work: they go only when the
// operator says so a second time.
void MainWindow::on_pbnClearNum_clicked()
{
    const auto answer = QMessageBox::question(
        this, tr("计数清零"), tr("确定将总数、成功数和失败数清零吗？清零后无法恢复。"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    m_controller->setCounters({});
    changeTestNum(0, 0, 0);
}

void MainWindow::on_checkBox_stateChanged(int state)
{
    Q_UNUSED(state)
    updateEditability();
}

// The set-up (table, limits, parameters, firmware) can be edited when it is
// not locked and no cycle runs: from a start to the end of its cycle it
// stays as the cycle was started with.
void MainWindow::updateEditability()
{
    const bool locked = ui->checkBox->isChecked();
    const bool cycleActive = m_controller->state() != CycleController::Idle;
    const bool editable = !locked && !cycleActive;
    m_table->setEditable(editable);
    m_form->setEditable(editable);
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
    if (!configFile.load(config)) {
        if (configFile.refused())
            m_notes->showSettingsRefused();
        return false;
    }

    m_table->loadRows(config);
    // Checking the box locks the parameters through the same slot as a click.
    if (config.lockParams)
        ui->checkBox->setChecked(true);

    m_controller->setCounters({config.testPassNum, config.testFailNum, config.testAllNum});
    m_controller->values().setCalStart(config.calVal);
    m_controller->setAutoTest(config.autoTest);
    changeTestNum(config.testPassNum, config.testFailNum, config.testAllNum);
    m_form->load(config);
    return true;
}

DeviceConfig MainWindow::currentConfig() const
{
    DeviceConfig config;
    m_table->storeRows(config);
    m_form->store(config);
    config.lockParams = ui->checkBox->isChecked();
    const CycleController::Counters &n = m_controller->counters();
    config.testAllNum = n.total;
    config.testPassNum = n.passed;
    config.testFailNum = n.failed;
    config.calVal = m_controller->values().calStart();
    return config;
}

bool MainWindow::saveDeviceConfig()
{
    return configFile.save(currentConfig());
}

void MainWindow::on_pbnStartTest_clicked()
{
    // A second click within half a second of the one before is the rest of
    // a double click, not a stop of the cycle it has just started.
    if (m_lastStartClick.isValid() && m_lastStartClick.elapsed() < clickGuardMs)
        return;
    m_lastStartClick.start();
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
    // Nor on station settings (config/station.ini) that could not be taken
    // as written: the cycles would go under another station's name.
    const StationSettings &station = m_controller->results().settings();
    if (station.refused) {
        QMessageBox::warning(this, tr("无法开始测试"),
                             tr("请先改正工位设置文件 %1：").arg(StationSettings::defaultPath()) +
                                 QStringLiteral("\n\n") + station.problem);
        return;
    }
    // Nothing starts on a set-up with a mistake in it: the operator is told
    // which field and what is wrong, and the first such field takes the
    // focus.
    const QList<SetupProblem> problems = SetupCheck::check(SetupTexts::fromConfig(currentConfig()));
    if (!problems.isEmpty()) {
        for (const SetupProblem &problem : problems)
            qWarning().noquote() << SetupCheck::describe(problem);
        QMessageBox::warning(this, tr("无法开始测试"), SetupMessages::startRefused(problems));
        showProblem(problems.first());
        return;
    }

    clearShowTestResult();

    // Everything the cycle uses is taken here, once: the rows and their
    // calibration offsets, the limits, the parameters.
    const CycleRequest request = TestParaBuilder::request(currentConfig());
    if (!m_controller->start(request))
        return;
    ui->yieldView->setLimits(request.limits);

    ui->pbnStartTest->setText(tr("停止测试"));
    setTestStatusUI(TEST_RUNNING);
    updateEditability();
}

void MainWindow::showProblem(const SetupProblem &problem)
{
    if (!m_form->focus(problem.field))
        m_table->focusProblem(problem);
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
    // A stopped cycle leaves nothing on the rows: no percentage, no step it
    // was at, beside "not started".
    clearShowTestResult();
    updateEditability();
    ui->pbnStartTest->setEnabled(true);
    ui->pbnStartTest->setText(tr("开始测试"));
    setTestStatusUI(TEST_NOT_STARTED);
    if (m_closeAfterStop)
        close();
}

void MainWindow::cycleFinished()
{
    for (const QString &message : m_controller->lastOutcome().judgement.messages)
        qDebug().noquote() << message;
    ui->yieldView->addCycleRows(m_controller->lastOutcome().resultRows);
    updateEditability();
    ui->pbnStartTest->setEnabled(true);
    ui->pbnStartTest->setText(tr("开始测试"));
    showTestResult();
    showResultsStatus();
}

QString MainWindow::resultsStatusText() const
{
    return StatusBarNotes::results(m_controller->results());
}

void MainWindow::showResultsStatus()
{
    m_notes->showResults();
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
    m_shown = Shown::Progress;
    m_table->showProgress(*m_controller);
}

void MainWindow::clearShowTestResult()
{
    m_shown = Shown::Nothing;
    m_table->clearResults();
}

// The judged results of the last cycle that ended on its own, each device on
// the row of its slot.
void MainWindow::showTestResult()
{
    const CycleController::Counters &n = m_controller->counters();
    const CycleJudgement &j = m_controller->lastOutcome().judgement;
    if (!j.ended) {
        qDebug().noquote() << QStringLiteral("显示测试结果出错！");
        changeTestNum(n.passed, n.failed, n.total);
        return;
    }
    m_shown = Shown::Results;
    m_table->showOutcome(m_controller->lastOutcome());
    if (j.status == TEST_STATION_FAULT)
        m_status->showFault(j.stationFault);
    else
        m_status->show(j.status);
    changeTestNum(n.passed, n.failed, n.total);
}
