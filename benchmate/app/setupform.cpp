#include "setupform.h"
#include "ui_mainwindow.h"

#include <QDoubleValidator>
#include <QIntValidator>
#include <QLineEdit>

SetupForm::SetupForm(Ui::MainWindow &widgets, QObject *parent)
    : QObject(parent)
    , ui(widgets)
{
    using T = DeviceConfig::Texts;
    using C = DeviceConfig;
    m_numbers = {
        {SetupField::RxRssiMax, widgets.leRxRssiMax, &T::rxRssiMax, &C::rxRssiMax},
        {SetupField::RxRssiMin, widgets.leRxRssiMin, &T::rxRssiMin, &C::rxRssiMin},
        {SetupField::RxFreqMax, widgets.leRxFreqMax, &T::rxFreqMax, &C::rxFreqMax},
        {SetupField::RxFreqMin, widgets.leRxFreqMin, &T::rxFreqMin, &C::rxFreqMin},
        {SetupField::TxRssiMax, widgets.leTxRssiMax, &T::txRssiMax, &C::txRssiMax},
        {SetupField::TxRssiMin, widgets.leTxRssiMin, &T::txRssiMin, &C::txRssiMin},
        {SetupField::TestCha, widgets.leTestCha, &T::testCha, &C::testCha},
        {SetupField::SendInterval, widgets.leSendInterval, &T::sendInterval, &C::sendInterval},
        {SetupField::TimeOut, widgets.leTimeOut, &T::timeOut, &C::timeOut},
    };
    installValidators();
}

// Typing letters into a limit or 300 into the channel goes nowhere. A box
// can still be left half typed ("-", empty): the check before a start
// names it.
void SetupForm::installValidators()
{
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    for (const NumberBox &box : qAsConst(m_numbers)) {
        const FieldRange range = SetupCheck::range(box.field);
        QValidator *validator = nullptr;
        if (range.decimals == 0) {
            validator = new QIntValidator(int(range.min), int(range.max), box.edit);
        } else {
            auto *v = new QDoubleValidator(range.min, range.max, range.decimals, box.edit);
            v->setNotation(QDoubleValidator::StandardNotation);
            validator = v;
        }
        validator->setLocale(c);
        box.edit->setValidator(validator);
        // As wide as the longest number a field holds, so the limits sit
        // two to a row.
        box.edit->setMaximumWidth(
            box.edit->fontMetrics().horizontalAdvance(QStringLiteral("-999999")) + 16);
    }
}

void SetupForm::load(const DeviceConfig &config)
{
    ui.leFilePath->setText(config.firmwarePath);
    for (const NumberBox &box : qAsConst(m_numbers))
        box.edit->setText(DeviceConfigFile::formatNumber(config.*box.value));
    if (config.autoTest == 1)
        ui.cbAutoTest->setChecked(true);
}

void SetupForm::store(DeviceConfig &config) const
{
    config.firmwarePath = ui.leFilePath->text();
    for (const NumberBox &box : m_numbers) {
        config.texts.*box.text = box.edit->text();
        config.*box.value = DeviceConfigFile::parseNumber(box.edit->text());
    }
    config.autoTest = ui.cbAutoTest->isChecked() ? 1 : 0;
}

// The lock covers the firmware too.
void SetupForm::setEditable(bool editable)
{
    ui.leFilePath->setEnabled(editable);
    ui.pushButton_3->setEnabled(editable);
    for (const NumberBox &box : qAsConst(m_numbers))
        box.edit->setEnabled(editable);
}

bool SetupForm::focus(SetupField field)
{
    if (field == SetupField::Firmware) {
        ui.leFilePath->setFocus();
        return true;
    }
    for (const NumberBox &box : qAsConst(m_numbers)) {
        if (box.field == field) {
            box.edit->setFocus();
            box.edit->selectAll();
            return true;
        }
    }
    return false;
}
