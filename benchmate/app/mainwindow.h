#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "cyclerecordbuilder.h"
#include "dailylog.h"
#include "deviceconfigfile.h"
#include "resultjudge.h"
#include "resultscsv.h"
#include "stationresults.h"
#include "testrecords.h"
#include "teststatus.h"

#include <QMainWindow>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class QCheckBox;
class QCloseEvent;
class QLabel;
class QPaintEvent;
class QTimer;
class testThread;

QT_BEGIN_NAMESPACE
namespace Ui {
class MainWindow;
}
QT_END_NAMESPACE

// The operator's window: test limits, the 25-row device table (row 0 the
// golden machine, rows 1 to 24 the DUT slots), the counters, the status label
// and the start/stop button. The settings file is read while the window is
// built and written when it is destroyed.
//
// The start button starts one test cycle (testThread) over the checked rows;
// a 100 ms poll shows each DUT's progress and, once the cycle has ended,
// writes the daily log and the results file, judges the results (the same
// judging as benchrun's), shows and counts them. Pressing the button during a
// cycle stops it: the button stays disabled until the cycle has ended, and a
// stopped cycle shows, counts and logs nothing. Closing the window during a
// cycle stops it the same way before the settings are saved.
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

    // Appends the ended cycle's log to the day's log file, headed with the
    // total counter as it stands.
    void saveLogToFile();

    // The current or last cycle, nullptr before the first start.
    const testThread *cycleThread() const { return m_cycle.get(); }
    // The parameters the last cycle was started with.
    const testPara_t &cycleParameters() const { return testPara; }
    // The judgement of the last cycle whose results were shown.
    const CycleJudgement &lastJudgement() const { return m_lastJudgement; }
    // The results database: the station's own and forwarding to the
    // factory's.
    const StationResults &results() const { return stationResults; }
    // The status bar's word on the results database: how many cycles wait
    // to be forwarded or recorded, and why; empty while all is well.
    QString resultsStatusText() const;

public slots:
    // Lays out the table: 25 rows sharing its height, 9 columns in fixed
    // proportions of its width. Also run once at construction with no event.
    void paintEvent(QPaintEvent *event) override;
    void setTestStatusUI(TEST_STATUS status);
    // The poll: progress while the cycle runs, results once it has ended.
    void getTestResult();
    void showTestResult();
    void showProgress();
    // Empties the result columns (3, 6, 7, 8) of every row.
    void clearShowTestResult();

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void on_pushButton_3_clicked();
    void on_checkBox_stateChanged(int state);
    void on_pbnClearNum_clicked();
    void on_pbnStartTest_clicked();

private:
    QString cellText(int row, int column) const;
    void setCellText(int row, int column, const QString &text);
    void setResultCell(int row, int column, const QString &text, const char *colour);
    // The checked DUT rows in table order, with their calibration offsets.
    QList<JudgeRow> checkedRows() const;
    void startCycle();
    void stopCycle();
    // Keeps the window's events running until the cycle thread has ended.
    void waitForCycleEnd();
    void writeResultsFile(uint32_t number);
    void showResultsStatus();

    // Set while the start/stop handler is at work: a press meanwhile is
    // ignored.
    static uint8_t runningFlag;

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

    // The cycle: kept after it ended until the next start deletes it.
    std::unique_ptr<testThread> m_cycle;
    testPara_t testPara;
    CycleJudgement m_lastJudgement;
    DailyLog dailyLog;
    ResultsCsv resultsCsv;
    StationResults stationResults{StationSettings::load()};
    CycleRecordBuilder recordBuilder{stationResults.stationId()};
    // The last cycle's times, log text and limits, for its record.
    QDateTime m_cycleStartedAt;
    QDateTime m_cycleEndedAt;
    QString m_lastCycleLog;
    JudgeLimits m_lastLimits;
    // Made on the first word to say.
    QLabel *m_resultsLabel = nullptr;
    // A close that arrived while a stop was waiting for the cycle.
    bool m_closeAfterStop = false;
};

#endif // MAINWINDOW_H
