#include "valueform.h"

namespace valueForm {

namespace {

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

constexpr int macGroups = 6;

} // namespace

bool hexDigits(const QByteArray &text)
{
    if (text.isEmpty())
        return false;
    for (const char c : text) {
        if (!isHexDigit(c))
            return false;
    }
    return true;
}

bool hexNumber(const QByteArray &text, int digits)
{
    return text.size() == digits + 2 && text.startsWith("0x") && hexDigits(text.mid(2));
}

bool macAddress(const QByteArray &text)
{
    if (text.size() != 3 * macGroups - 1)
        return false;
    for (int i = 0; i < text.size(); ++i) {
        const bool separator = i % 3 == 2;
        if (separator ? text.at(i) != ':' : !isHexDigit(text.at(i)))
            return false;
    }
    return true;
}

} // namespace valueForm
