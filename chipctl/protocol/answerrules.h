#ifndef ANSWERRULES_H
#define ANSWERRULES_H

#include "waitms.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>

// How the ramcode's answers are read. Each rule looks at the bytes received
// since the command was sent and says whether the answer is still pending,
// accepted or rejected; output arguments are written only as each rule
// says. The rules never read past the received bytes: an answer whose value
// would lie beyond them is incomplete, and stays pending.
namespace answerRules {

// "pppp" anywhere in more than 4 bytes.
AnswerState confirm(const QByteArray &buf);

// "\r\npppp\r\n" accepts, else "\r\nffff\r\n" rejects (flash erase and
// addresses).
AnswerState passFail(const QByteArray &buf);

// The decimal number after "\r\nfc:", up to the last "\r\n".
AnswerState fileCount(const QByteArray &buf, uint32_t &count);

// True once "flash uid:" stands far enough from the end that its 34
// characters can have arrived; the caller then lets the line settle.
bool flashUidArrived(const QByteArray &buf);
// The 34 characters after "flash uid:", accepted when they start with "0x"
// and end with a hexadecimal digit. `uid` receives the text either way.
AnswerState flashUid(const QByteArray &buf, QString &uid);

// The 10 characters after "efuse data:", accepted when they start with "0x".
AnswerState efuseWord(const QByteArray &buf, QString &word);

// "sta:0" or "sta:1" beside "pppp".
AnswerState lockState(const QByteArray &buf, uint32_t &state);

// The digit after "gpio val:0x" beside "pppp"; "pppp" without the value is a
// failure.
AnswerState gpioValue(const QByteArray &buf, int32_t &value);

// All levels of "gpio_read_all": the hexadecimal number after
// "gpio val:0x" beside "pppp", bit n for pin n; "pppp" without it, or a
// number that is not one of up to 32 bits, is a failure.
AnswerState gpioLevels(const QByteArray &buf, uint32_t &levels);

// The signed decimal after `tag` up to "\r", beside "pppp"; "pppp" without
// the tag, or a value that is not a number, is a failure.
AnswerState taggedValue(const QByteArray &buf, const QByteArray &tag, int32_t &value);

// The line after the first "\n" (with its line end), beside "pppp", when it
// holds exactly five ":". Strict: keeps waiting for such a line. Lenient:
// accepts any complete line and leaves `mac` unchanged when it is no MAC.
AnswerState macLine(const QByteArray &buf, bool strict, QString &mac);

// A hex dump of `length` bytes plus their CRC: three characters a byte after
// the first "\n", 3 × length + 6 characters in all; `dump` receives all but
// the last.
AnswerState hexDump(const QByteArray &buf, uint32_t length, QString &dump);
// The bytes of such a dump: `length` data bytes and the two CRC-16 bytes
// (high first), each as hexadecimal separated by single spaces. True, with
// `data` set to the data bytes, when it reads and the CRC matches.
bool dumpBytes(const QString &dump, uint32_t length, QByteArray &data);

// RF result lines, split at every "\n" (empty lines kept).
QStringList splitLines(const QByteArray &buf);
// At least 10 × n lines of which 20 × n hold "rssi:": `lines` receives them.
AnswerState masterTxLines(const QByteArray &buf, uint8_t n, QStringList &lines);
// At least 20 lines, 20 with "rssi=" and 20 with "freq=": `lines` receives
// the "rssi=" lines.
AnswerState slaveRxLines(const QByteArray &buf, QStringList &lines);

// Bytes up to the first 0x00, the way the chip's text ends.
QByteArray untilNul(const QByteArray &bytes);

} // namespace answerRules

#endif // ANSWERRULES_H
