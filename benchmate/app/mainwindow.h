#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "cyclecontroller.h"
#include "deviceconfigfile.h"
#include "devicetable.h"
#include "setupcheck.h"
#include "teststatus.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class QCheckBox;
class QCloseEvent;
class QPaintEvent;
class SetupForm;
class StatusBarNotes;
class TestStatusLabel;
class UiLanguage;

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
// The start button starts one test cycle over the checked rows through the
// cycle controller, the same one benchrun drives. Everything the cycle uses
// (rows, ports, offsets, limits, firmware) is taken at the start and frozen
// in the window until the cycle has ended. The window shows each DUT's
// progress on the row of its slot while the cycle runs and, once the
// controller has logged, judged, counted and recorded the ended cycle, its
// results, again each on the row of its slot. Pressing the button
// during a cycle stops it: the button stays disabled until the controller
// says the cycle has ended, and a stopped cycle shows, counts and logs
// nothing. Closing the window during a cycle saves the settings, stops the
// cycle the same way and closes the window once it has ended.
//
// The window itself only shows and forwards: the device table
// (DeviceTable), the set-up boxes (SetupForm) and the status label
// (TestStatusLabel) show; the cycle controller runs the cycles, and
// TestParaBuilder::request turns the set-up into the cycle, as for benchrun.
class MainWindow : public QMainWindow, public DeviceTableLayout
{
    Q_OBJECT

public:
    // A click on the start button this soon after the last one is ignored, ms.
    static constexpr int clickGuardMs = 500;

    // Asks the operator for a file to open: parent, caption, start
    // directory, name filter; an empty text when cancelled.
    using OpenFileDialog =
        std::function<QString(QWidget *, const QString &, const QString &, const QString &)>;

    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Shows the counters in their labels.
    void changeTestNum(uint32_t passNum, uint32_t failNum, uint32_t allNum);
    // Puts the centred enable check box into column 0 and empty items into
    // columns 1 to 8 of every row (done once, while the window is built).
    void deviceUiInit();
    // The settings file: read once while the window is built, written when it
    // is destroyed (and first when it is closed during a cycle).
    bool readDeviceConfig();
    bool saveDeviceConfig();

    // A row's enable check box: the widget of the first item of the layout of
    // the cell widget in column 0.
    QCheckBox *rowCheckBox(int row) const;

    // Replaces the file dialog of the firmware chooser (tests use this).
    void setOpenFileDialog(OpenFileDialog dialog);

    // The set-up as the widgets hold it, as the settings file keeps it.
    DeviceConfig currentConfig() const;

    // The window's language: at start the one the operator chose last, else
    // the system's (`uiLanguages`, e.g. QLocale::system().uiLanguages()); the
    // menu switches it, and the choice is remembered. "zh_CN" or "en".
    void startLanguage(const QStringList &uiLanguages);
    bool setLanguage(const QString &language);
    QString language() const;

    // What hovering over a cell shows: the reason of its row (what failed
    // and why), and for the port the whole port first.
    QString cellToolTip(int row, int column) const;

    // The cycles' controller: the current or last cycle, its parameters and
    // its outcome.
    const CycleController &controller() const { return *m_controller; }

    // The status bar's word on the results database: how many cycles wait to
    // be forwarded to the factory's database or to be recorded, and why;
    // empty while all is well.
    QString resultsStatusText() const;

public slots:
    // Paints the window; with no event, lays out the table: 25 rows sharing
    // its height, 9 columns in fixed proportions of its width (the table
    // keeps that layout itself whenever its size changes).
    void paintEvent(QPaintEvent *event) override;
    void setTestStatusUI(TEST_STATUS status);
    // Asks the controller to look at the cycle now (it also does so every
    // 100 ms): progress while the cycle runs, results once it has ended.
    void getTestResult();
    // Shows the judged results of the last cycle that ended on its own.
    void showTestResult();
    void showProgress();
    // Empties the result columns (3, 6, 7, 8) of every row.
    void clearShowTestResult();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private slots:
    void on_pushButton_3_clicked();
    void on_checkBox_stateChanged(int state);
    void on_pbnClearNum_clicked();
    void on_pbnStartTest_clicked();

private:
    void setUpYieldView();
    void retranslate();
    void showYieldWarnings(const QList<int> &warned);
    // Puts the focus on the field of a set-up problem.
    void showProblem(const SetupProblem &problem);
    // Lets the operator edit the set-up only while it is not locked and no
    // cycle runs.
    void updateEditability();
    void startCycle();
    void stopCycle();
    void cycleFinished();
    void cycleStopped();
    void showResultsStatus();

    std::unique_ptr<Ui::MainWindow> ui;
    DeviceConfigFile configFile;
    OpenFileDialog openFileDialog;
    CycleController *m_controller = nullptr;
    DeviceTable *m_table = nullptr;
    SetupForm *m_form = nullptr;
    std::unique_ptr<TestStatusLabel> m_status;
    // A close that came during a cycle: the window closes once it has ended.
    bool m_closeAfterStop = false;
    QElapsedTimer m_lastStartClick;
    // What the result columns show, to be shown again in another language.
    enum class Shown
    {
        Nothing,
        Progress,
        Results,
    };
    Shown m_shown = Shown::Nothing;
    QList<int> m_yieldWarnings;
    UiLanguage *m_language = nullptr;
    std::unique_ptr<StatusBarNotes> m_notes;
};

#endif // MAINWINDOW_H
