#ifndef TEXTNUMBER_H
#define TEXTNUMBER_H

#include <QString>

// Whole decimal numbers in text a person typed or a settings file holds:
// table cells, line edits, the settings file, benchrun's command line. White
// space around the digits may be any kind, the full-width space of a Chinese
// input method too, as Qt 5's parsers took it; Qt 6's take only ASCII white
// space, so the text is trimmed first and both builds read the same numbers.
// `ok` (when given) tells whether the text was a number; 0 when it was not.
namespace textNumber {

int toInt(const QString &text, bool *ok = nullptr);
uint toUInt(const QString &text, bool *ok = nullptr);

} // namespace textNumber

#endif // TEXTNUMBER_H
