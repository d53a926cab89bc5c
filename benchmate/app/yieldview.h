#ifndef YIELDVIEW_H
#define YIELDVIEW_H

#include "dayyield.h"
#include "resultjudge.h"

#include <QByteArray>
#include <QFutureWatcher>
#include <QList>
#include <QWidget>

#include <memory>
#include <mutex>

class QComboBox;
class QLabel;
class QTableWidget;

// The day's yield beside the device table: per DUT slot the DUTs passed and
// failed today and a warning on a slot that has failed several cycles in a
// row (its fixture or cable, far more often than its modules); charts of
// the frequency offset, RX RSSI and TX RSSI of today's judged DUTs against
// the limits, and of the crystal value each slot accepted over the day.
//
// It reads the day's results file once, in a thread of its own, and then
// takes each cycle's rows as the cycle controller wrote them, so a cycle is
// never kept waiting for it. The charts are drawn only while they show.
class YieldView : public QWidget
{
    Q_OBJECT

public:
    explicit YieldView(QWidget *parent = nullptr);
    ~YieldView() override;

    void setFailStreakWarning(int cycles);
    // The limits the histograms show (those of the last cycle started).
    void setLimits(const JudgeLimits &limits);

    // Reads the day's results file (rows of another day are left out).
    void loadResultsFile(const QString &path);
    // Until the file's rows have been taken in (not only read).
    bool isLoading() const { return m_loading; }
    // One cycle's rows of the results file.
    void addCycleRows(const QByteArray &rows);

    const DayYield &yield() const { return m_yield; }
    // Rows of the day's results that could not be read, and are not in it.
    int unreadableRows() const { return m_unreadable; }
    // Whether the charts are drawn as the yield stands (they wait while the
    // view is hidden).
    bool chartsCurrent() const { return !m_chartsDirty; }

signals:
    // The slots that warn now (in slot order), after every change.
    void warningsChanged(const QList<int> &warned);

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    struct Loaded
    {
        QByteArray bytes;
        QList<YieldEntry> entries;
        int unreadable = 0;
    };
    // What the reading thread hands over, under a lock of its own: the
    // future's own hand-over is made by Qt's futex-based mutex, which a
    // thread checker does not see.
    struct Handoff
    {
        std::mutex lock;
        Loaded loaded;
    };
    struct Charts;

    void loaded();
    // Takes in rows of the results file; those that cannot be read are
    // counted, and the summary says how many.
    void addRows(const QByteArray &rows);
    void retranslate();
    void refresh();
    void refreshTable();
    void refreshCharts();
    // The histogram of a figure (its place in the figure table).
    void drawHistogram(int figure);
    void drawCrystals();

    DayYield m_yield;
    JudgeLimits m_limits;
    QFutureWatcher<void> m_loader;
    std::shared_ptr<Handoff> m_handoff;
    // Cycles that ended while the file was being read.
    QList<QByteArray> m_pendingRows;
    bool m_chartsDirty = true;
    bool m_loading = false;
    // Rows of today's results that could not be read.
    int m_unreadable = 0;

    QLabel *m_summary = nullptr;
    QLabel *m_warning = nullptr;
    QTableWidget *m_table = nullptr;
    QComboBox *m_crystalSlot = nullptr;
    std::unique_ptr<Charts> m_charts; // the chart views, children of this widget
};

#endif // YIELDVIEW_H
