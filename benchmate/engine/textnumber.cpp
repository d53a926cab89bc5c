#include "textnumber.h"

namespace textNumber {

int toInt(const QString &text, bool *ok)
{
    return text.trimmed().toInt(ok, 10);
}

uint toUInt(const QString &text, bool *ok)
{
    return text.trimmed().toUInt(ok, 10);
}

} // namespace textNumber
