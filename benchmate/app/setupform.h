#ifndef SETUPFORM_H
#define SETUPFORM_H

#include "deviceconfigfile.h"
#include "setupcheck.h"

#include <QHash>
#include <QList>
#include <QObject>

class QLineEdit;

namespace Ui {
class MainWindow;
}

// The window's set-up boxes: the firmware, the nine numbers a cycle uses
// and the auto-test box. Each number box is bound once, to its field of the
// set-up check and to its text and value in the settings record; its
// check, its lock, its loading and saving all go by that binding.
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
    // Why the box of `field` is marked: what the set-up check says of what
    // it holds; empty when it holds what its field can take.
    QString problemOf(SetupField field) const;

    // Marks each box that holds what the set-up check refuses: coloured,
    // the reason on hover. Done whenever a box changes.
    void markProblems();

private:
    void installChecks();

    Ui::MainWindow &ui;
    QList<NumberBox> m_numbers;
    QHash<int, QString> m_problems;
};

#endif // SETUPFORM_H
