#ifndef DEVICETABLE_H
#define DEVICETABLE_H

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVector>

class CycleController;
class QCheckBox;
class QPlainTextEdit;
class QTableWidget;
class QTableWidgetItem;
struct SetupProblem;
struct CycleOutcome;
struct DeviceConfig;

// The rows and columns of the station's device table: row 0 the golden
// machine, rows 1 to 24 the DUT slots (slot = row - 1).
struct DeviceTableLayout
{
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
};

// The window's device table: each row's enable check box and cells, what
// the result columns show (progress, verdicts, figures, on their colours),
// why each row shows it (on hover, and in the details below the table for
// the current row), and the table's geometry: the rows share its height,
// the columns fixed shares of its width, kept whenever the table changes
// its size or a column is resized by hand.
class DeviceTable : public QObject, public DeviceTableLayout
{
    Q_OBJECT

public:
    // Fills `table` with its rows (a centred check box named "check" in
    // column 0, empty items in the others) and shows the current row's
    // details in `details`.
    DeviceTable(QTableWidget *table, QPlainTextEdit *details);

    // A row's enable check box: the widget of the first item of the layout
    // of the cell widget in column 0.
    QCheckBox *rowCheckBox(int row) const;
    QString cellText(int row, int column) const;

    // The set-up rows: enable, name, port and calibration offsets.
    void loadRows(const DeviceConfig &config);
    void storeRows(DeviceConfig &config) const;
    void setEditable(bool editable);
    // Makes the cell of a set-up problem the current one; false when the
    // problem is none of the table's.
    bool focusProblem(const SetupProblem &problem);

    // Empties the result columns (3, 6, 7, 8) of every row, and the reasons.
    void clearResults();
    // Each device of the running cycle on the row of its slot: its progress,
    // or the step it failed at, in red.
    void showProgress(const CycleController &controller);
    // The judged devices of an ended cycle on the rows of their slots, the
    // golden machine's row when the station failed.
    void showOutcome(const CycleOutcome &outcome);

    // What hovering over a cell shows: the reason of its row; for the port
    // the whole port first, for a calibration offset the set-up check
    // refuses what is wrong with it.
    QString cellToolTip(int row, int column) const;
    // The details below the table for `row`.
    void showRowDetails(int row);

    // Rows sharing the table's height, columns in fixed shares of its width.
    void applyGeometry();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setCellText(int row, int column, const QString &text);
    void setResultCell(int row, int column, const QString &text, const char *colour);
    void setRowReason(int row, const QString &reason);
    void clearRow(int row);
    // What the set-up check refuses in a DUT's calibration offset cell;
    // empty when it holds what its field takes (or is no such cell).
    QString offsetProblem(int row, int column) const;
    // Colours an offset cell the set-up check refuses.
    void markOffset(QTableWidgetItem *item);
    // The operator changed the set-up of `row` (its box, name, port or
    // offsets) while it could be edited: the results it shows belong to a
    // cycle it is no longer part of, so they go, and stay gone when the
    // window shows that cycle again (in another language).
    void rowSetUpChanged(int row);

    QTableWidget *m_table;
    // The table's viewport as it was when the filter went on: asking the
    // table for it while the table is being destroyed is not allowed.
    QPointer<QWidget> m_viewport;
    QPlainTextEdit *m_details;
    // Why each row shows what it shows (empty: nothing to tell).
    QVector<QString> m_reasons = QVector<QString>(tableRows);
    // Rows changed since the results shown were cleared: they show none.
    QVector<bool> m_changed = QVector<bool>(tableRows, false);
    bool m_editable = true;
    bool m_applying = false;
};

#endif // DEVICETABLE_H
