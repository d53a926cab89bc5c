#ifndef ANSWERRULES_H
#define ANSWERRULES_H

#include "answerbuffer.h"
#include "waitms.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>

// How the ramcode's answers are read. Each rule looks at the answer to one
// command (the bytes received since it was sent) and says whether it is
// still pending, accepted or rejected; output arguments are written only as
// each rule says. A rule judges an answer by its content, once the lines it
// needs have ended: the ramcode prints its data lines first and its
// confirmation last, so a rule that has seen the line it ends on has
// consumed the whole answer, and nothing of it can arrive after the next
// command has gone out. A pause never completes an answer: real firmware
// pauses between the lines it prints (it reads the OTP or the flash, then
// prints), and a USB adapter hands each line over as it leaves the chip.
// A value that is not in its form (valueform.h) is malformed: it is not
// taken and its output argument keeps its contents. The rules never read
// past the received bytes.
namespace answerRules {

// "pppp" anywhere in more than 4 bytes, once the line that holds it has
// ended ("pppp" alone, 4 bytes, waits for more).
AnswerState confirm(const Answer &answer);

// "\r\npppp\r\n" accepts, else "\r\nffff\r\n" rejects (flash erase and
// addresses).
AnswerState passFail(const Answer &answer);

// The decimal number after "\r\nfc:", up to the last "\r\n", which must
// come after it (a count whose line has not ended is not read).
AnswerState fileCount(const Answer &answer, uint32_t &count);

// True once "flash uid:" stands far enough from the end that its 34
// characters can have arrived.
bool flashUidArrived(const QByteArray &bytes);
// The 34 characters after "flash uid:" (up to a 0x00): "0x" and 32
// hexadecimal digits, judged once the answer's last line has ended.
AnswerState flashUid(const Answer &answer, QString &uid);

// The 10 characters after "efuse data:" (up to a 0x00): "0x" and 8
// hexadecimal digits, judged once the answer's last line has ended.
AnswerState efuseWord(const Answer &answer, QString &word);

// "sta:0" or "sta:1" beside "pppp".
AnswerState lockState(const Answer &answer, uint32_t &state);

// The decimal digit after "gpio val:0x" beside "pppp"; "pppp" without the
// value is a failure, anything but a digit malformed.
AnswerState gpioValue(const Answer &answer, int32_t &value);

// All levels of "gpio_read_all": the hexadecimal number after
// "gpio val:0x" beside "pppp", bit n for pin n; "pppp" without it, or a
// number that is not one of up to 32 bits, is a failure.
AnswerState gpioLevels(const Answer &answer, uint32_t &levels);

// The signed decimal after `tag` up to "\r", beside "pppp"; "pppp" without
// the tag, or a value that is not a number, is a failure.
AnswerState taggedValue(const Answer &answer, const QByteArray &tag, int32_t &value);

// The line after the first "\n" (with its line end), beside "pppp", when it
// is a MAC address: six groups of two hexadecimal digits joined by ":".
// Strict: waits for such a line; any other line is malformed. Lenient: also
// accepts, with `mac` unchanged, an answer whose line holds no address at
// all (neither ":" nor 0x00: no MAC is stored); a line with a ":" or a 0x00
// that is no address is malformed. A MAC line that has not ended keeps both
// waiting; the lenient read takes it as it stands only at its bound.
AnswerState macLine(const Answer &answer, bool strict, QString &mac);

// A hex dump of `length` bytes plus their CRC: three characters a byte after
// the first "\n", 3 × length + 6 characters in all; `dump` receives all but
// the last. The dump ends without a line end: its length tells that it is
// whole, once the line is quiet.
AnswerState hexDump(const Answer &answer, uint32_t length, QString &dump);
// A hex dump as hexDump reads it, whose items are bytes and whose CRC
// matches the data (dumpBytes); any other dump of the right length is
// malformed.
AnswerState checkedDump(const Answer &answer, uint32_t length, QString &dump);
// The bytes of such a dump: `length` data bytes and the two CRC-16 bytes
// (high first), each as two hexadecimal digits separated by single spaces.
// True, with `data` set to the data bytes, when it reads and the CRC
// matches.
bool dumpBytes(const QString &dump, uint32_t length, QByteArray &data);

// RF result lines: the text split at every "\n", empty lines kept, and only
// the lines that have ended (a last piece without its "\n" is no line).
QStringList splitLines(const QByteArray &bytes);
// At least 10 × n lines of which 20 × n hold "rssi:": `lines` receives them.
AnswerState masterTxLines(const Answer &answer, uint8_t n, QStringList &lines);
// At least 20 lines, 20 with "rssi=" and 20 with "freq=": `lines` receives
// the "rssi=" lines.
AnswerState slaveRxLines(const Answer &answer, QStringList &lines);

// Bytes up to the first 0x00, the way the chip's text ends.
QByteArray untilNul(const QByteArray &bytes);

} // namespace answerRules

#endif // ANSWERRULES_H
