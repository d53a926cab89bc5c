#include "dutmac.h"

bool dutMacFor(const toolOutput::macBytes &golden, int index, QString *mac)
{
    if (index < 0)
        return false;
    quint64 value = 0;
    for (uint8_t byte : golden)
        value = (value << 8) | byte;
    value += quint64(index) + 1;
    if (value > 0xffffffffffffULL)
        return false;
    QString text;
    for (int shift = 40; shift >= 0; shift -= 8) {
        if (!text.isEmpty())
            text += QLatin1Char(':');
        text += QStringLiteral("%1").arg(uint((value >> shift) & 0xff), 2, 16, QLatin1Char('0'));
    }
    *mac = text;
    return true;
}
