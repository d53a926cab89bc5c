#include "setupcelldelegate.h"

#include <QLineEdit>
#include <QRegularExpressionValidator>

SetupCellDelegate::SetupCellDelegate(int portColumn, int txCalColumn, int rxCalColumn,
                                     QObject *parent)
    : QStyledItemDelegate(parent)
    , m_portColumn(portColumn)
    , m_txCalColumn(txCalColumn)
    , m_rxCalColumn(rxCalColumn)
{}

QWidget *SetupCellDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                         const QModelIndex &index) const
{
    QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
    auto *line = qobject_cast<QLineEdit *>(editor);
    if (!line)
        return editor;
    const int column = index.column();
    // The offsets take every keystroke, as the set-up boxes do: the table
    // marks what the set-up check refuses instead of dropping a key.
    if (column == m_portColumn) {
        line->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[^,]*")), line));
    }
    return editor;
}

QString SetupCellDelegate::portShown(const QString &port)
{
    const int scheme = port.indexOf(QLatin1String("://"));
    return scheme < 0 ? port : port.mid(scheme + 3);
}

void SetupCellDelegate::initStyleOption(QStyleOptionViewItem *option,
                                        const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.column() != m_portColumn)
        return;
    option->text = portShown(option->text);
    option->textElideMode = Qt::ElideLeft;
}
