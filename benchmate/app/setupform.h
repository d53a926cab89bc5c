#ifndef SETUPFORM_H
#define SETUPFORM_H

#include "deviceconfigfile.h"
#include "setupcheck.h"

#include <QList>
#include <QObject>

class QLineEdit;

namespace Ui {
class MainWindow;
}

// The window's set-up boxes: the firmware, the nine numbers a cycle uses
// and the auto-test box. Each number box is bound once, to its field of the
// set-up check and to its text and value in the settings record; its
// validator, its lock, its loading and saving all go by that binding.
class SetupForm : public QObject
{
    Q_OBJECT

public:
    // One number box: the field it holds, and where the settings keep it.
    struct NumberBox
    {
        SetupField field;
        QLineEdit *edit;
        QString DeviceConfig::Texts::*text;
        float DeviceConfig::*value;
    };

    SetupForm(Ui::MainWindow &widgets, QObject *parent);

    const QList<NumberBox> &numberBoxes() const { return m_numbers; }

    void load(const DeviceConfig &config);
    // The boxes as the settings keep them: each number as written and as
    // read (text that is no number reads as 0).
    void store(DeviceConfig &config) const;
    void setEditable(bool editable);
    // Puts the focus on the box of `field`; false when it has none.
    bool focus(SetupField field);

private:
    // What a box accepts is what its field can hold.
    void installValidators();

    Ui::MainWindow &ui;
    QList<NumberBox> m_numbers;
};

#endif // SETUPFORM_H
