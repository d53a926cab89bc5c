#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "meantext.h"
#include "resultscsv.h"
#include "rowreason.h"
#include "setupcelldelegate.h"
#include "setupcheck.h"
#include "setupmessages.h"
#include "stationglobals.h"
#include "testparabuilder.h"
#include "testthread.h"
#include "uitranslation.h"
#include "yieldsettings.h"
#include "yieldview.h"

#include <QActionGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QDoubleValidator>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTableWidgetItem>
#include <QToolTip>

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
const char *const colourNotJudged = "#D3D3D3";
const char *const stationFaultStyle = "QLabel{background:#FF9900;}";

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
    setUpLanguageMenu();

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

    installValidators();
    ui->tableWidget->viewport()->installEventFilter(this);
    connect(ui->tableWidget, &QTableWidget::currentCellChanged, this,
            [this](int row) { showRowDetails(row); });
    ui->tableWidget->horizontalHeader()->setStretchLastSection(true);
    ui->tableWidget->verticalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    // 25 rows on a 768-line screen: a row is as high as its text needs, the
    // details below the table three lines.
    ui->tableWidget->verticalHeader()->setMinimumSectionSize(
        ui->tableWidget->fontMetrics().height() + 1);
    ui->textRowDetails->setMaximumHeight(ui->textRowDetails->fontMetrics().lineSpacing() * 3 +
                                         2 * ui->textRowDetails->frameWidth() + 8);
    paintEvent(nullptr);
    deviceUiInit();
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

// What a box accepts is what its field can hold: typing letters into a limit
// or 300 into the channel goes nowhere. A box can still be left half typed
// ("-", empty): the check before a start names it.
void MainWindow::installValidators()
{
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    for (const auto &[edit, field] : numberBoxes()) {
        const FieldRange range = SetupCheck::range(field);
        QValidator *validator = nullptr;
        if (range.decimals == 0) {
            validator = new QIntValidator(int(range.min), int(range.max), edit);
        } else {
            auto *v = new QDoubleValidator(range.min, range.max, range.decimals, edit);
            v->setNotation(QDoubleValidator::StandardNotation);
            validator = v;
        }
        validator->setLocale(c);
        edit->setValidator(validator);
        // As wide as the longest number a field holds, so the limits sit
        // two to a row.
        edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("-999999")) +
                              16);
    }
    ui->tableWidget->setItemDelegate(
        new SetupCellDelegate(colPort, colTxCal, colRxCal, ui->tableWidget));
}

QList<QPair<QLineEdit *, SetupField>> MainWindow::numberBoxes() const
{
    return {
        {ui->leRxRssiMax, SetupField::RxRssiMax}, {ui->leRxRssiMin, SetupField::RxRssiMin},
        {ui->leRxFreqMax, SetupField::RxFreqMax}, {ui->leRxFreqMin, SetupField::RxFreqMin},
        {ui->leTxRssiMax, SetupField::TxRssiMax}, {ui->leTxRssiMin, SetupField::TxRssiMin},
        {ui->leTestCha, SetupField::TestCha},     {ui->leSendInterval, SetupField::SendInterval},
        {ui->leTimeOut, SetupField::TimeOut},
    };
}

void MainWindow::setUpLanguageMenu()
{
    m_language = new UiLanguage(this);
    auto *group = new QActionGroup(this);
    group->addAction(ui->actionChinese);
    group->addAction(ui->actionEnglish);
    ui->actionChinese->setData(QStringLiteral("zh_CN"));
    ui->actionEnglish->setData(QStringLiteral("en"));
    ui->actionChinese->setChecked(true);
    connect(group, &QActionGroup::triggered, this,
            [this](QAction *action) { setLanguage(action->data().toString()); });
    connect(m_language, &UiLanguage::changed, this, [this](const QString &language) {
        ui->actionChinese->setChecked(language == ui->actionChinese->data().toString());
        ui->actionEnglish->setChecked(language == ui->actionEnglish->data().toString());
    });
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

    if (m_statusIsFault)
        showStationFault(m_stationFault);
    else
        setTestStatusUI(m_status);
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
    showRowDetails(ui->tableWidget->currentRow());
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

void MainWindow::paintEvent(QPaintEvent *event)
{
    applyTableGeometry();
    if (event)
        QMainWindow::paintEvent(event);
}

// Rows sharing the table's height, columns in fixed shares of its width;
// at every repaint of the window and whenever the table changes its size.
void MainWindow::applyTableGeometry()
{
    QTableWidget *table = ui->tableWidget;
    table->setRowCount(tableRows);
    const int rowHeight = (table->height() - 25) / table->rowCount();
    for (int row = 0; row < table->rowCount(); ++row)
        table->setRowHeight(row, rowHeight);

    table->setColumnCount(tableColumns);
    table->setColumnWidth(colEnable, enableColumnWidth);
    // Shares of the width the table shows, so that the columns never need a
    // scroll bar: inside its frame, less the vertical scroll bar when even
    // rows of their least height are more than the table's height holds (the
    // rows share the height, whatever height was set above).
    const int rowsHeight = table->verticalHeader()->minimumSectionSize() * tableRows;
    const int shownHeight =
        table->height() - 2 * table->frameWidth() - table->horizontalHeader()->height();
    int shownWidth = table->width() - 2 * table->frameWidth();
    if (rowsHeight > shownHeight)
        shownWidth -= table->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, table);
    const int base = shownWidth - enableColumnWidth;
    for (int column = 1; column < tableColumns; ++column)
        table->setColumnWidth(column, int(base * columnShare[column - 1]));
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
    case TEST_STATION_FAULT:
        style = QLatin1String(stationFaultStyle);
        text = tr("工位故障");
        break;
    default:
        return;
    }
    m_status = status;
    m_statusIsFault = false;
    ui->labelSta->setStyleSheet(style);
    ui->labelSta->setText(text);
}

// A cycle that ended in a fault of the station says which: no DUT was
// judged, and the operator mends the station, not the modules.
void MainWindow::showStationFault(StationFault fault)
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
    m_statusIsFault = true;
    m_stationFault = fault;
    ui->labelSta->setStyleSheet(QLatin1String(stationFaultStyle));
    ui->labelSta->setText(text);
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
    ui->tableWidget->setEditTriggers(editable ? QAbstractItemView::AllEditTriggers
                                              : QAbstractItemView::NoEditTriggers);
    for (int row = 0; row < tableRows; ++row) {
        if (QCheckBox *check = rowCheckBox(row))
            check->setEnabled(editable);
    }
    QWidget *const lockable[] = {
        ui->leFilePath,  ui->leRxRssiMax, ui->leRxRssiMin,    ui->leRxFreqMax, ui->leRxFreqMin,
        ui->leTxRssiMax, ui->leTxRssiMin, ui->leSendInterval, ui->leTestCha,   ui->leTimeOut,
    };
    for (QWidget *widget : lockable)
        widget->setEnabled(editable);
    // The lock covers the firmware too.
    ui->pushButton_3->setEnabled(editable);
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
            showSettingsRefused();
        return false;
    }

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

// A settings file that was not read stays as it is; the operator sees why,
// and where the set-up of this session will be kept.
void MainWindow::showSettingsRefused()
{
    const DeviceConfigProblem &problem = configFile.problem();
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
        return;
    }
    auto *label = new QLabel(this);
    label->setObjectName(QStringLiteral("labelSettings"));
    label->setStyleSheet(QStringLiteral("QLabel{color:#FF0000;}"));
    label->setWordWrap(true);
    label->setText(
        tr("设置文件 %1 未载入（%2），该文件保持原样；本次设置在关闭时保存到 %3。")
            .arg(QDir::toNativeSeparators(QFileInfo(configFile.path()).absoluteFilePath()), why,
                 QDir::toNativeSeparators(QFileInfo(configFile.savePath()).absoluteFilePath())));
    statusBar()->addPermanentWidget(label, 1);
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
    DeviceConfig::Texts &t = config.texts;
    t.rxRssiMax = ui->leRxRssiMax->text();
    t.rxRssiMin = ui->leRxRssiMin->text();
    t.rxFreqMax = ui->leRxFreqMax->text();
    t.rxFreqMin = ui->leRxFreqMin->text();
    t.txRssiMax = ui->leTxRssiMax->text();
    t.txRssiMin = ui->leTxRssiMin->text();
    t.testCha = ui->leTestCha->text();
    t.sendInterval = ui->leSendInterval->text();
    t.timeOut = ui->leTimeOut->text();
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
        QStringList lines;
        for (const SetupProblem &problem : problems) {
            lines << QStringLiteral("• ") + SetupMessages::describe(problem);
            qWarning().noquote() << SetupCheck::describe(problem);
        }
        QMessageBox::warning(this, tr("无法开始测试"),
                             tr("请先改正以下设置：") + QStringLiteral("\n\n") +
                                 lines.join(QLatin1Char('\n')));
        showProblem(problems.first());
        return;
    }

    clearShowTestResult();

    // Everything the cycle uses is taken here, once: the rows and their
    // calibration offsets, the limits, the parameters.
    TestParaBuilder builder;
    CycleController::JudgeSetup setup;
    setup.limits = JudgeLimits::fromConfig(currentConfig());
    builder.gmPort = cellText(0, colPort);
    builder.filePath = ui->leFilePath->text();
    builder.timeOut = ui->leTimeOut->text();
    builder.sendInterval = ui->leSendInterval->text();
    builder.testCha = ui->leTestCha->text();
    for (int row = 1; row < tableRows; ++row) {
        const QCheckBox *check = rowCheckBox(row);
        if (!check || !check->isChecked())
            continue;
        builder.devices.append({row - 1, cellText(row, colName), cellText(row, colPort)});
        setup.rows.append({row - 1, cellText(row, colTxCal), cellText(row, colRxCal)});
    }
    if (!m_controller->start(builder.build(), setup))
        return;
    ui->yieldView->setLimits(setup.limits);

    ui->pbnStartTest->setText(tr("停止测试"));
    setTestStatusUI(TEST_RUNNING);
    updateEditability();
}

void MainWindow::showProblem(const SetupProblem &problem)
{
    for (const auto &[edit, field] : numberBoxes()) {
        if (field == problem.field) {
            edit->setFocus();
            edit->selectAll();
            return;
        }
    }
    int row = -1;
    int column = colPort;
    switch (problem.field) {
    case SetupField::Firmware:
        ui->leFilePath->setFocus();
        return;
    case SetupField::GoldenPort:
        row = 0;
        break;
    case SetupField::DutPort:
        row = problem.slot + 1;
        break;
    case SetupField::TxCal:
        row = problem.slot + 1;
        column = colTxCal;
        break;
    case SetupField::RxCal:
        row = problem.slot + 1;
        column = colRxCal;
        break;
    case SetupField::Duts:
        row = 1;
        column = colEnable;
        break;
    default:
        return;
    }
    ui->tableWidget->setFocus();
    ui->tableWidget->setCurrentCell(row, column);
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

// Each device of the cycle shows its progress on the row of its own slot,
// whatever happened to the table since the start; a device whose test has
// failed shows the step at once, in red, instead of its last percentage.
void MainWindow::showProgress()
{
    m_shown = Shown::Progress;
    const testThread *cycle = m_controller->cycle();
    const QList<deviceInfo_t> &devices = m_controller->parameters().devices;
    for (int k = 0; k < devices.size(); ++k) {
        const deviceInfo_t &device = devices.at(k);
        const int slot = ResultsCsv::slotOf(device);
        if (slot < 0)
            continue;
        const int row = slot + 1;
        QString toolFailure;
        const int fault = cycle ? cycle->deviceFault(k, &toolFailure) : DUT_OK;
        if (fault != DUT_OK) {
            setResultCell(row, colResult, RowReason::stepShort(fault, toolFailure), colourFail);
            setRowReason(row, RowReason::forLiveFault(device.name, fault, toolFailure));
            continue;
        }
        setResultCell(row, colResult,
                      QString::number(uint(device.progressPtr->load())) + QLatin1Char('%'),
                      colourPlain);
    }
}

void MainWindow::clearShowTestResult()
{
    m_shown = Shown::Nothing;
    for (int row = 0; row < tableRows; ++row) {
        for (int column : {int(colResult), int(colTxResult), int(colRxResult), int(colFreqResult)})
            setResultCell(row, column, QString(), colourPlain);
        setRowReason(row, QString());
    }
}

// The judged results of the last cycle that ended on its own, each device on
// the row of its slot: the verdict, the figures that were measured (also on
// a row that failed), and why, on hover and in the details below the table.
void MainWindow::showTestResult()
{
    const CycleController::Counters &n = m_controller->counters();
    const CycleOutcome &outcome = m_controller->lastOutcome();
    const CycleJudgement &j = outcome.judgement;
    if (!j.ended) {
        qDebug().noquote() << QStringLiteral("显示测试结果出错！");
        changeTestNum(n.passed, n.failed, n.total);
        return;
    }
    m_shown = Shown::Results;

    if (j.cycleError) {
        setResultCell(0, colResult, tr("发生错误"), colourFail);
        setRowReason(
            0, RowReason::forStation(j.stationFault, outcome.para.timeOut, outcome.goldenLog));
    }
    for (int k = 0; k < outcome.para.devices.size(); ++k) {
        const deviceInfo_t &info = outcome.para.devices.at(k);
        const DeviceJudgement *device = j.device(k);
        const int slot = device ? device->slot : ResultsCsv::slotOf(info);
        if (slot < 0)
            continue;
        const int row = slot + 1;
        if (!device) {
            // Nothing of the cycle came back to judge.
            setResultCell(row, colResult, tr("未判定"), colourNotJudged);
            DeviceJudgement none;
            none.verdict = DeviceVerdict::NotJudged;
            setRowReason(row, RowReason::forDevice(info.name, none, j.stationFault,
                                                   outcome.deviceLogs.value(k)));
            continue;
        }
        const deviceRestlt_t &r = device->result;
        switch (device->verdict) {
        case DeviceVerdict::Pass:
            setResultCell(row, colResult, tr("通过"), colourPass);
            break;
        case DeviceVerdict::Fail:
            setResultCell(row, colResult, tr("不通过"), colourFail);
            break;
        case DeviceVerdict::Error:
            setResultCell(row, colResult, tr("发生错误"), colourFail);
            break;
        case DeviceVerdict::NotJudged:
            setResultCell(row, colResult, tr("未判定"), colourNotJudged);
            break;
        }
        // What was measured stays visible, whatever the verdict.
        const bool judged =
            device->verdict == DeviceVerdict::Pass || device->verdict == DeviceVerdict::Fail;
        if (judged || ResultJudge::txMeasured(r))
            setCellText(row, colTxResult, MeanText::of(double(r.txRssiMean)));
        if (judged || ResultJudge::rxMeasured(r)) {
            setCellText(row, colRxResult, MeanText::of(double(r.rxRssiMean)));
            setCellText(row, colFreqResult, MeanText::of(double(r.freqMean)));
        }
        setRowReason(row, RowReason::forDevice(info.name, *device, j.stationFault,
                                               outcome.deviceLogs.value(k)));
    }
    if (j.status == TEST_STATION_FAULT)
        showStationFault(j.stationFault);
    else
        setTestStatusUI(j.status);
    changeTestNum(n.passed, n.failed, n.total);
}

// The reason of a row shows on hover over its cells and in the details
// below the table while the row is the current one.
void MainWindow::setRowReason(int row, const QString &reason)
{
    if (row < 0 || row >= tableRows)
        return;
    m_rowReasons[row] = reason;
    if (ui->tableWidget->currentRow() == row)
        showRowDetails(row);
}

QString MainWindow::cellToolTip(int row, int column) const
{
    if (row < 0 || row >= tableRows)
        return QString();
    const QString reason = m_rowReasons.at(row);
    if (column != colPort)
        return reason;
    // The whole port, however narrow its column.
    const QString port = cellText(row, colPort);
    if (reason.isEmpty())
        return port;
    return port.isEmpty() ? reason : port + QStringLiteral("\n\n") + reason;
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->tableWidget->viewport() && event->type() == QEvent::Resize)
        applyTableGeometry();
    if (watched == ui->tableWidget->viewport() && event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const QModelIndex index = ui->tableWidget->indexAt(help->pos());
        const QString text = index.isValid() ? cellToolTip(index.row(), index.column()) : QString();
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, ui->tableWidget->viewport(),
                               ui->tableWidget->visualRect(index));
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::showRowDetails(int row)
{
    if (row < 0 || row >= tableRows) {
        ui->textRowDetails->clear();
        return;
    }
    const QString reason = m_rowReasons.at(row);
    if (!reason.isEmpty()) {
        ui->textRowDetails->setPlainText(reason);
        return;
    }
    const QString name = row == 0 ? tr("金机") : cellText(row, colName);
    const QString port = cellText(row, colPort);
    ui->textRowDetails->setPlainText(port.isEmpty() ? name : name + QStringLiteral("  ") + port);
}
