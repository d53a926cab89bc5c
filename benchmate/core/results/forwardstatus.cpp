#include "forwardstatus.h"

QString ForwardStatus::reason(State state)
{
    switch (state) {
    case Off:
        return QStringLiteral("off");
    case Starting:
        return QStringLiteral("not connected yet");
    case UpToDate:
        return QStringLiteral("up to date");
    case Sending:
        return QStringLiteral("sending");
    case Unreachable:
        return QStringLiteral("unreachable");
    case LoginRefused:
        return QStringLiteral("refused login");
    case DatabaseMissing:
        return QStringLiteral("no such database");
    case SchemaMismatch:
        return QStringLiteral("schema mismatch");
    case Failed:
        return QStringLiteral("database error");
    case LocalFailed:
        return QStringLiteral("station database error");
    }
    return QString();
}

bool ForwardStatus::isProblem() const
{
    return state != Off && state != Starting && state != UpToDate && state != Sending;
}

QString ForwardStatus::summary() const
{
    if (state == Off)
        return QStringLiteral("factory db: off (no [factory_db] in config/station.ini)");
    QString line = QStringLiteral("factory db %1: ").arg(target);
    if (waiting == 0 && !isProblem())
        line += QStringLiteral("every cycle forwarded");
    else
        // Cycles recorded since the last attempt that found nothing waiting
        // are not sent yet, whatever that attempt found.
        line += QStringLiteral("%1 cycle(s) wait to be forwarded: %2")
                    .arg(waiting)
                    .arg(state == UpToDate ? QStringLiteral("not sent yet") : reason(state));
    if (isProblem() && !detail.isEmpty())
        line += QStringLiteral(" (%1)").arg(detail);
    if (setAside > 0)
        line += QStringLiteral("; %1 cycle(s) set aside, the factory database cannot store them "
                               "(%2); they stay in the station's file")
                    .arg(setAside)
                    .arg(setAsideReason);
    return line;
}
