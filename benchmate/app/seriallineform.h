#ifndef SERIALLINEFORM_H
#define SERIALLINEFORM_H

#include <QWidget>

#include <memory>

QT_BEGIN_NAMESPACE
namespace Ui {
class Form;
}
QT_END_NAMESPACE

// The small serial-line settings form (RTS and DTR levels and a delay). It is
// laid out only: nothing in Benchmate opens it yet.
class SerialLineForm : public QWidget
{
    Q_OBJECT

public:
    explicit SerialLineForm(QWidget *parent = nullptr);
    ~SerialLineForm() override;

private:
    std::unique_ptr<Ui::Form> ui;
};

#endif // SERIALLINEFORM_H
