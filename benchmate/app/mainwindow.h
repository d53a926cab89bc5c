#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "deviceconfigfile.h"
#include "teststatus.h"

#include <QMainWindow>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class QCheckBox;
class QPaintEvent;
class QTimer;

QT_BEGIN_NAMESPACE
namespace Ui {
class MainWindow;
}
QT_END_NAMESPACE

// The operator's window: test limits, the 25-row device table (row 0 the
// golden machine, rows 1 to 24 the DUT slots), the counters, the status label
// and the start/stop button. The settings file is read while the window is
// built and written when it is destroyed.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // Columns of the device table.
    enum Column
    {
        colEnable = 0,
        colName = 1,
        colPort = 2,
        colResult = 3,
        colTxCal = 4,
        colRxCal = 5,
        colTxResult = 6,
        colRxResult = 7,
        colFreqResult = 8,
    };
    static constexpr int tableRows = 25;
    static constexpr int tableColumns = 9;

    // Asks the operator for a file to open: parent, caption, start
    // directory, name filter; an empty text when cancelled.
    using OpenFileDialog =
        std::function<QString(QWidget *, const QString &, const QString &, const QString &)>;

    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Shows the counters in their labels.
    void changeTestNum(uint32_t passNum, uint32_t failNum, uint32_t allNum);
    // Puts the centred enable check box into column 0 and empty items into
    // columns 1 to 8 of every row.
    void deviceUiInit();
    // The settings file: read once while the window is built, written once
    // when it is destroyed.
    bool readDeviceConfig();
    bool saveDeviceConfig();

    // A row's enable check box: the widget of the first item of the layout of
    // the cell widget in column 0 (nullptr before deviceUiInit).
    QCheckBox *rowCheckBox(int row) const;

    // Replaces the file dialog of the firmware chooser (tests use this).
    void setOpenFileDialog(OpenFileDialog dialog);

public slots:
    // Lays out the table: 25 rows sharing its height, 9 columns in fixed
    // proportions of its width. Also run once at construction with no event.
    void paintEvent(QPaintEvent *event) override;
    void setTestStatusUI(TEST_STATUS status);

private slots:
    void on_pushButton_3_clicked();
    void on_checkBox_stateChanged(int state);
    void on_pbnClearNum_clicked();

private:
    QString cellText(int row, int column) const;
    void setCellText(int row, int column, const QString &text);

    std::unique_ptr<Ui::MainWindow> ui;
    DeviceConfigFile configFile;
    OpenFileDialog openFileDialog;

    // Polls the running cycle every 100 ms.
    QTimer *pollTimer = nullptr;

    // Loaded from the settings file; afterwards the line edits hold them.
    QString filePath;
    float rxRssiMax = 0;
    float rxRssiMin = 0;
    float rxFreqMax = 0;
    float rxFreqMin = 0;
    float txRssiMax = 0;
    float txRssiMin = 0;
    float testCha = 0;
    float sendInterval = 0;
    float timeOut = 0;

    uint32_t testAllNum = 0;
    uint32_t testPassNum = 0;
    uint32_t testFailNum = 0;

    // A cycle was started and its end has not been handled yet.
    uint8_t testRunning = 0;
    // Set at the first start.
    uint8_t testStartedOnce = 0;
    // The auto-test flag as read from the settings file.
    uint8_t autoTestFlag = 0;
    // The engine's mode byte.
    uint8_t testMode = 0;
};

#endif // MAINWINDOW_H
