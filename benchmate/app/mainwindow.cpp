#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "stationglobals.h"

#include <QCheckBox>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLayout>
#include <QMessageBox>
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

    pollTimer = new QTimer(this);
    pollTimer->setObjectName(QStringLiteral("pollTimer"));
    pollTimer->setInterval(pollIntervalMs);

    ui->tableWidget->horizontalHeader()->setStretchLastSection(true);
    ui->tableWidget->verticalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    paintEvent(nullptr);
    deviceUiInit();
    readDeviceConfig();
    setTestStatusUI(TEST_NOT_STARTED);

    qDebug().noquote() << QStringLiteral("软件版本号：") + QLatin1String(softwareVersion);
}

MainWindow::~MainWindow()
{
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
