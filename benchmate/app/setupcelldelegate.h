#ifndef SETUPCELLDELEGATE_H
#define SETUPCELLDELEGATE_H

#include <QStyledItemDelegate>

// The device table's editors accept only what their column can hold: the
// calibration offsets whole numbers of a signed byte, the ports no comma
// (the settings file separates its fields with commas).
class SetupCellDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    SetupCellDelegate(int portColumn, int txCalColumn, int rxCalColumn, QObject *parent = nullptr);

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;

private:
    int m_portColumn;
    int m_txCalColumn;
    int m_rxCalColumn;
};

#endif // SETUPCELLDELEGATE_H
