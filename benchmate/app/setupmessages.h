#ifndef SETUPMESSAGES_H
#define SETUPMESSAGES_H

#include "setupcheck.h"

#include <QCoreApplication>
#include <QString>

// The set-up's problems as the operator reads them in the window: the field
// by the name its label gives it, and what is wrong with it.
class SetupMessages
{
    Q_DECLARE_TR_FUNCTIONS(SetupMessages)

public:
    static QString fieldName(SetupField field, int slot = -1);
    static QString describe(const SetupProblem &problem);
    // Why a cycle does not start: every problem, one to a line.
    static QString startRefused(const QList<SetupProblem> &problems);
};

#endif // SETUPMESSAGES_H
