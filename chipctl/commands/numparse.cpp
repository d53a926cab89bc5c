#include "numparse.h"

namespace numparse {

bool hex(const QString &word, uint32_t &value)
{
    bool ok = false;
    const uint v = word.trimmed().toUInt(&ok, 16);
    if (ok)
        value = v;
    return ok;
}

bool dec(const QString &word, uint32_t &value)
{
    bool ok = false;
    const uint v = word.trimmed().toUInt(&ok, 10);
    if (ok)
        value = v;
    return ok;
}

bool signedDec(const QString &word, int32_t &value)
{
    bool ok = false;
    const int v = word.trimmed().toInt(&ok, 10);
    if (ok)
        value = v;
    return ok;
}

uint32_t uncheckedDec(const QString &word)
{
    return word.trimmed().toUInt(nullptr, 10);
}

int32_t uncheckedSignedDec(const QString &word)
{
    return word.trimmed().toInt(nullptr, 10);
}

bool uncheckedDuration(const QString &word, uint32_t max, uint32_t &value)
{
    bool ok = false;
    const qlonglong v = word.toLongLong(&ok, 10);
    if (!ok) {
        value = 0;
        return true;
    }
    if (v < 0 || v > qlonglong(max))
        return false;
    value = uint32_t(v);
    return true;
}

} // namespace numparse
