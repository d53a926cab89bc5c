#include "devicetable.h"

#include "cyclecontroller.h"
#include "deviceconfigfile.h"
#include "meantext.h"
#include "resultscsv.h"
#include "rowreason.h"
#include "setupcelldelegate.h"
#include "setupcheck.h"
#include "setupmessages.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHelpEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStyle>
#include <QTableWidget>
#include <QToolTip>

namespace {

// Share of the table width (less the enable column) of columns 1 to 8.
constexpr double columnShare[DeviceTableLayout::tableColumns - 1] = {0.13, 0.13, 0.12, 0.14,
                                                                     0.12, 0.12, 0.12, 0.12};
constexpr int enableColumnWidth = 40;

const char *const colourPass = "#00FF00";
const char *const colourFail = "#FF0000";
const char *const colourPlain = "#FFFFFF";
const char *const colourNotJudged = "#D3D3D3";
// A set-up cell holding what the set-up check refuses.
const char *const colourRefused = "#FFC0C0";

} // namespace

DeviceTable::DeviceTable(QTableWidget *table, QPlainTextEdit *details)
    : QObject(table)
    , m_table(table)
    , m_details(details)
{
    m_table->setRowCount(tableRows);
    m_table->setColumnCount(tableColumns);
    m_table->setItemDelegate(new SetupCellDelegate(colPort, colTxCal, colRxCal, m_table));
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    // 25 rows on a 768-line screen: a row is as high as its text needs, the
    // details below the table three lines.
    m_table->verticalHeader()->setMinimumSectionSize(m_table->fontMetrics().height() + 1);
    m_details->setMaximumHeight(m_details->fontMetrics().lineSpacing() * 3 +
                                2 * m_details->frameWidth() + 8);
    for (int row = 0; row < tableRows; ++row) {
        auto *cell = new QWidget;
        auto *layout = new QHBoxLayout(cell);
        layout->setContentsMargins(0, 0, 0, 0);
        auto *check = new QCheckBox;
        check->setObjectName(QStringLiteral("check"));
        layout->addWidget(check, 0, Qt::AlignHCenter | Qt::AlignVCenter);
        connect(check, &QCheckBox::toggled, this, [this, row] { rowSetUpChanged(row); });
        m_table->setCellWidget(row, colEnable, cell);
        for (int column = colEnable + 1; column < tableColumns; ++column)
            m_table->setItem(row, column, new QTableWidgetItem);
    }
    connect(m_table, &QTableWidget::itemChanged, this, [this](QTableWidgetItem *item) {
        const int column = item->column();
        if (column == colName || column == colPort || column == colTxCal || column == colRxCal)
            rowSetUpChanged(item->row());
        if (column == colTxCal || column == colRxCal)
            markOffset(item);
    });
    m_viewport = m_table->viewport();
    m_viewport->installEventFilter(this);
    connect(m_table, &QTableWidget::currentCellChanged, this,
            [this](int row) { showRowDetails(row); });
    // A column resized by hand takes its share again at once.
    connect(m_table->horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column) {
        if (column < tableColumns - 1)
            applyGeometry();
    });
    applyGeometry();
}

QCheckBox *DeviceTable::rowCheckBox(int row) const
{
    const QWidget *cell = m_table->cellWidget(row, colEnable);
    if (!cell || !cell->layout())
        return nullptr;
    QLayoutItem *item = cell->layout()->itemAt(0);
    return item ? qobject_cast<QCheckBox *>(item->widget()) : nullptr;
}

QString DeviceTable::cellText(int row, int column) const
{
    const QTableWidgetItem *item = m_table->item(row, column);
    return item ? item->text() : QString();
}

void DeviceTable::setCellText(int row, int column, const QString &text)
{
    if (QTableWidgetItem *item = m_table->item(row, column))
        item->setText(text);
    else
        m_table->setItem(row, column, new QTableWidgetItem(text));
}

void DeviceTable::setResultCell(int row, int column, const QString &text, const char *colour)
{
    setCellText(row, column, text);
    if (QTableWidgetItem *item = m_table->item(row, column))
        item->setBackground(QBrush(QColor(QLatin1String(colour))));
}

void DeviceTable::loadRows(const DeviceConfig &config)
{
    for (int row = 0; row < tableRows; ++row) {
        const DeviceConfigRow &r = config.rows[size_t(row)];
        if (QCheckBox *check = rowCheckBox(row))
            check->setChecked(r.enabled);
        setCellText(row, colName, r.name);
        setCellText(row, colPort, r.port);
        setCellText(row, colTxCal, r.txCal);
        setCellText(row, colRxCal, r.rxCal);
    }
}

void DeviceTable::storeRows(DeviceConfig &config) const
{
    for (int row = 0; row < tableRows; ++row) {
        DeviceConfigRow &r = config.rows[size_t(row)];
        const QCheckBox *check = rowCheckBox(row);
        r.enabled = check && check->isChecked();
        r.name = cellText(row, colName);
        r.port = cellText(row, colPort);
        r.txCal = cellText(row, colTxCal);
        r.rxCal = cellText(row, colRxCal);
    }
}

void DeviceTable::setEditable(bool editable)
{
    m_editable = editable;
    m_table->setEditTriggers(editable ? QAbstractItemView::AllEditTriggers
                                      : QAbstractItemView::NoEditTriggers);
    for (int row = 0; row < tableRows; ++row) {
        if (QCheckBox *check = rowCheckBox(row))
            check->setEnabled(editable);
    }
}

bool DeviceTable::focusProblem(const SetupProblem &problem)
{
    int row = problem.slot + 1;
    int column = colPort;
    switch (problem.field) {
    case SetupField::GoldenPort:
        row = 0;
        break;
    case SetupField::DutPort:
        break;
    case SetupField::TxCal:
        column = colTxCal;
        break;
    case SetupField::RxCal:
        column = colRxCal;
        break;
    case SetupField::Duts:
        row = 1;
        column = colEnable;
        break;
    default:
        return false;
    }
    m_table->setFocus();
    m_table->setCurrentCell(row, column);
    return true;
}

void DeviceTable::clearResults()
{
    for (int row = 0; row < tableRows; ++row) {
        clearRow(row);
        m_changed[row] = false;
    }
}

void DeviceTable::clearRow(int row)
{
    for (int column : {int(colResult), int(colTxResult), int(colRxResult), int(colFreqResult)})
        setResultCell(row, column, QString(), colourPlain);
    setRowReason(row, QString());
}

// While a cycle runs the set-up is frozen as the cycle took it, so a change
// then (by a script, a stored file) leaves the row the cycle's.
void DeviceTable::rowSetUpChanged(int row)
{
    if (!m_editable || row < 0 || row >= tableRows)
        return;
    m_changed[row] = true;
    clearRow(row);
}

// Each device shows on the row of its own slot, whatever happened to the
// table since the start; a device whose test has failed shows the step at
// once, in red, instead of its last percentage.
void DeviceTable::showProgress(const CycleController &controller)
{
    const QList<deviceInfo_t> &devices = controller.parameters().devices;
    for (int k = 0; k < devices.size(); ++k) {
        const deviceInfo_t &device = devices.at(k);
        const int slot = ResultsCsv::slotOf(device);
        if (slot < 0 || !device.progressPtr)
            continue;
        const int row = slot + 1;
        if (m_changed.at(row))
            continue;
        QString toolFailure;
        const int fault = controller.deviceFault(k, &toolFailure);
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

// The verdict, the figures that were measured (also on a row that failed),
// and why, on hover and in the details below the table.
void DeviceTable::showOutcome(const CycleOutcome &outcome)
{
    const CycleJudgement &j = outcome.judgement;
    if (j.cycleError && !m_changed.at(0)) {
        setResultCell(0, colResult, QCoreApplication::translate("MainWindow", "发生错误"),
                      colourFail);
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
        if (m_changed.at(row))
            continue;
        if (!device) {
            // Nothing of the cycle came back to judge.
            setResultCell(row, colResult, QCoreApplication::translate("MainWindow", "未判定"),
                          colourNotJudged);
            DeviceJudgement none;
            none.verdict = DeviceVerdict::NotJudged;
            setRowReason(row,
                         RowReason::forDevice(info.name, none, j.stationFault, outcome.dutLog(k)));
            continue;
        }
        const deviceRestlt_t &r = device->result;
        switch (device->verdict) {
        case DeviceVerdict::Pass:
            setResultCell(row, colResult, QCoreApplication::translate("MainWindow", "通过"),
                          colourPass);
            break;
        case DeviceVerdict::Fail:
            setResultCell(row, colResult, QCoreApplication::translate("MainWindow", "不通过"),
                          colourFail);
            break;
        case DeviceVerdict::Error:
            setResultCell(row, colResult, QCoreApplication::translate("MainWindow", "发生错误"),
                          colourFail);
            break;
        case DeviceVerdict::NotJudged:
            setResultCell(row, colResult, QCoreApplication::translate("MainWindow", "未判定"),
                          colourNotJudged);
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
        setRowReason(row,
                     RowReason::forDevice(info.name, *device, j.stationFault, outcome.dutLog(k)));
    }
}

void DeviceTable::setRowReason(int row, const QString &reason)
{
    if (row < 0 || row >= tableRows)
        return;
    m_reasons[row] = reason;
    if (m_table->currentRow() == row)
        showRowDetails(row);
}

// What the set-up check says of a DUT's calibration offset, as the start
// would say it.
QString DeviceTable::offsetProblem(int row, int column) const
{
    if (row < 1 || row >= tableRows || (column != colTxCal && column != colRxCal))
        return QString();
    SetupTexts texts;
    texts.duts.append({row - 1, QString(), cellText(row, colTxCal), cellText(row, colRxCal)});
    const SetupField field = column == colTxCal ? SetupField::TxCal : SetupField::RxCal;
    for (const SetupProblem &problem : SetupCheck::check(texts)) {
        if (problem.field == field)
            return SetupMessages::describe(problem);
    }
    return QString();
}

void DeviceTable::markOffset(QTableWidgetItem *item)
{
    const bool refused = !offsetProblem(item->row(), item->column()).isEmpty();
    item->setBackground(refused ? QBrush(QColor(QLatin1String(colourRefused))) : QBrush());
}

QString DeviceTable::cellToolTip(int row, int column) const
{
    if (row < 0 || row >= tableRows)
        return QString();
    const QString reason = m_reasons.at(row);
    const QString problem = offsetProblem(row, column);
    if (!problem.isEmpty())
        return reason.isEmpty() ? problem : problem + QStringLiteral("\n\n") + reason;
    if (column != colPort)
        return reason;
    // The whole port, however narrow its column.
    const QString port = cellText(row, colPort);
    if (reason.isEmpty())
        return port;
    return port.isEmpty() ? reason : port + QStringLiteral("\n\n") + reason;
}

void DeviceTable::showRowDetails(int row)
{
    if (row < 0 || row >= tableRows) {
        m_details->clear();
        return;
    }
    const QString reason = m_reasons.at(row);
    if (!reason.isEmpty()) {
        m_details->setPlainText(reason);
        return;
    }
    const QString name =
        row == 0 ? QCoreApplication::translate("MainWindow", "金机") : cellText(row, colName);
    const QString port = cellText(row, colPort);
    m_details->setPlainText(port.isEmpty() ? name : name + QStringLiteral("  ") + port);
}

bool DeviceTable::eventFilter(QObject *watched, QEvent *event)
{
    if (m_viewport.isNull() || watched != m_viewport.data())
        return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::Resize || event->type() == QEvent::Show)
        applyGeometry();
    if (event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const QModelIndex index = m_table->indexAt(help->pos());
        const QString text = index.isValid() ? cellToolTip(index.row(), index.column()) : QString();
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, m_table->viewport(),
                               m_table->visualRect(index));
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void DeviceTable::applyGeometry()
{
    if (m_applying)
        return;
    m_applying = true;
    // The rows share the height through the header's stretch; the columns
    // take shares of the width the table shows, so that they never need a
    // scroll bar: inside its frame, less the vertical scroll bar when even
    // rows of their least height are more than the table's height holds.
    const int rowsHeight = m_table->verticalHeader()->minimumSectionSize() * tableRows;
    const int shownHeight =
        m_table->height() - 2 * m_table->frameWidth() - m_table->horizontalHeader()->height();
    int shownWidth = m_table->width() - 2 * m_table->frameWidth();
    if (rowsHeight > shownHeight)
        shownWidth -= m_table->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_table);
    m_table->setColumnWidth(colEnable, enableColumnWidth);
    const int base = shownWidth - enableColumnWidth;

    // Each column takes its share, but never less than its header needs
    // (whatever the language): the columns that would be cut get what they
    // need, the others share what is left by their shares. The table is
    // never narrower than all headers whole.
    const QHeaderView *header = m_table->horizontalHeader();
    int leastTotal = 0;
    int least[tableColumns] = {};
    for (int column = 1; column < tableColumns; ++column) {
        least[column] = header->sectionSizeHint(column);
        leastTotal += least[column];
    }
    m_table->setMinimumWidth(
        leastTotal + enableColumnWidth + 2 * m_table->frameWidth() +
        m_table->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_table));
    bool atLeast[tableColumns] = {};
    int width[tableColumns] = {};
    for (int pass = 0; pass < tableColumns; ++pass) {
        int fixed = 0;
        double shares = 0;
        for (int column = 1; column < tableColumns; ++column) {
            if (atLeast[column])
                fixed += least[column];
            else
                shares += columnShare[column - 1];
        }
        bool changed = false;
        for (int column = 1; column < tableColumns; ++column) {
            if (atLeast[column]) {
                width[column] = least[column];
                continue;
            }
            width[column] = int((base - fixed) * columnShare[column - 1] / shares);
            if (width[column] < least[column]) {
                atLeast[column] = true;
                changed = true;
            }
        }
        if (!changed)
            break;
    }
    for (int column = 1; column < tableColumns; ++column)
        m_table->setColumnWidth(column, width[column]);
    m_applying = false;
}
