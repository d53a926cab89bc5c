#ifndef SETUPCELLDELEGATE_H
#define SETUPCELLDELEGATE_H

#include <QStyledItemDelegate>

// The device table's editors: a port takes no comma (the settings file
// separates its fields with commas); the calibration offsets take every
// keystroke (the table marks what the set-up check refuses). A port shows what
// tells it from the others: a network port without its scheme, cut on the
// left ("…0.0.1:7012") when its column is narrow; COM12 as it is. The whole
// port is the cell's tooltip.
class SetupCellDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    SetupCellDelegate(int portColumn, int txCalColumn, int rxCalColumn, QObject *parent = nullptr);

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;

    // A port as its cell shows it: "127.0.0.1:7012" for
    // "rfc2217://127.0.0.1:7012"; a local port as it is.
    static QString portShown(const QString &port);

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;

private:
    int m_portColumn;
    int m_txCalColumn;
    int m_rxCalColumn;
};

#endif // SETUPCELLDELEGATE_H
