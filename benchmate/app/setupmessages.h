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
};

#endif // SETUPMESSAGES_H
