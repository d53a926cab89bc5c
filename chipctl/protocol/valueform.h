#ifndef VALUEFORM_H
#define VALUEFORM_H

#include <QByteArray>

// The forms of the values that travel between host and chip as text. A value
// that is not in its form did not come over the line as it was sent (a
// flipped bit, a 0x00 that cut it short), or is not what the chip can take.
namespace valueForm {

// At least one byte, every byte a hexadecimal digit (either case).
bool hexDigits(const QByteArray &text);
// "0x" and exactly `digits` hexadecimal digits: a flash UID has 32, an eFuse
// word 8.
bool hexNumber(const QByteArray &text, int digits);
// Six groups of two hexadecimal digits joined by ":", 17 characters.
bool macAddress(const QByteArray &text);

} // namespace valueForm

#endif // VALUEFORM_H
