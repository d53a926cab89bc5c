#include "seriallineform.h"
#include "ui_form.h"

SerialLineForm::SerialLineForm(QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::Form>())
{
    ui->setupUi(this);
}

SerialLineForm::~SerialLineForm() = default;
