#include "sqlfailure.h"

#include <QSqlError>

QString SqlFailure::reason(const QSqlError &error)
{
    const QString text = error.text().trimmed();
    if (!text.isEmpty())
        return text;
    // A statement that went through but gave no row where one was due, or a
    // driver that lost its words: said rather than left blank.
    const QString code = error.nativeErrorCode().trimmed();
    return code.isEmpty() ? QStringLiteral("the database gave no reason")
                          : QStringLiteral("the database gave no reason (code %1)").arg(code);
}

QString SqlFailure::reason(const QString &what, const QSqlError &error)
{
    return what + QStringLiteral(": ") + reason(error);
}

bool SqlFailure::fail(const QString &what, const QSqlError &error, QString *errorOut,
                      QString *sqlState)
{
    if (errorOut)
        *errorOut = reason(what, error);
    if (sqlState)
        *sqlState = error.nativeErrorCode();
    return false;
}
