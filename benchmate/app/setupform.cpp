#include "setupform.h"
#include "ui_mainwindow.h"

#include "setupmessages.h"

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
    installChecks();
}

// A box takes every keystroke: a validator that refused one would turn
// "1O" (a letter O for the zero) into 1 or "-10.555" into -10.55 without a
// word, and the cycle would run with a limit nobody wrote. What is typed
// stays; a box holding what the set-up check refuses is marked, with the
// reason, until it is corrected, and the start refuses it.
void SetupForm::installChecks()
{
    for (const NumberBox &box : qAsConst(m_numbers)) {
        // As wide as the longest number a field holds, so the limits sit
        // two to a row.
        box.edit->setMaximumWidth(
            box.edit->fontMetrics().horizontalAdvance(QStringLiteral("-999999")) + 16);
        connect(box.edit, &QLineEdit::textChanged, this, &SetupForm::markProblems);
    }
}

QString SetupForm::problemOf(SetupField field) const
{
    return m_problems.value(int(field));
}

// The boxes checked as the start checks them, pairs of limits included.
void SetupForm::markProblems()
{
    DeviceConfig config;
    store(config);
    m_problems.clear();
    for (const SetupProblem &problem : SetupCheck::check(SetupTexts::fromConfig(config))) {
        const int key = int(problem.field);
        const QString text = SetupMessages::describe(problem);
        m_problems[key] =
            m_problems.contains(key) ? m_problems[key] + QLatin1Char('\n') + text : text;
    }
    for (const NumberBox &box : qAsConst(m_numbers)) {
        const QString problem = m_problems.value(int(box.field));
        box.edit->setToolTip(problem);
        box.edit->setStyleSheet(
            problem.isEmpty() ? QString() : QStringLiteral("QLineEdit{background-color:#FFC0C0;}"));
    }
}

void SetupForm::load(const DeviceConfig &config)
{
    ui.leFilePath->setText(config.firmwarePath);
    for (const NumberBox &box : qAsConst(m_numbers))
        box.edit->setText(DeviceConfigFile::formatNumber(config.*box.value));
    markProblems();
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
