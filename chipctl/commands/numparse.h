#ifndef NUMPARSE_H
#define NUMPARSE_H

#include <QString>

#include <cstdint>

// Numbers taken from command words. Hexadecimal words may carry a leading
// "0x"; a word that is not a valid number makes the checked forms fail.
// White space around the digits may be of any kind (a full-width space
// typed at a Chinese prompt too): Qt 5 took it, Qt 6's parsers take only
// ASCII white space, so the words are trimmed first.
namespace numparse {

bool hex(const QString &word, uint32_t &value);
bool dec(const QString &word, uint32_t &value);
bool signedDec(const QString &word, int32_t &value);
// Unchecked forms: a word that is not a number counts as 0.
uint32_t uncheckedDec(const QString &word);
int32_t uncheckedSignedDec(const QString &word);
// A duration: unchecked as above (a word that is not a number counts as 0),
// but false for a number below 0 or above `max`.
bool uncheckedDuration(const QString &word, uint32_t max, uint32_t &value);

} // namespace numparse

#endif // NUMPARSE_H
