#include "answerrules.h"

#include "crc16.h"
#include "valueform.h"

#include <QtGlobal>

#include <cctype>

namespace answerRules {

namespace {

const QByteArray donePass("\r\npppp\r\n");
const QByteArray doneFail("\r\nffff\r\n");

// "pppp" in more than 4 bytes, whatever follows it.
bool ppppIn(const QByteArray &buf)
{
    return buf.size() > 4 && buf.contains("pppp");
}

// "pppp" in more than 4 bytes, on a line that has ended: the confirmation is
// the last line of the ramcode's answers, so its end is the answer's end
// and nothing of it is left to arrive after the next command. A "pppp" line
// that never ends is taken after a long silence (Answer::complete): no chip
// pauses that long inside a line.
bool confirmed(const Answer &answer)
{
    const QByteArray &buf = answer.bytes;
    if (!ppppIn(buf))
        return false;
    return buf.indexOf('\n', buf.indexOf("pppp") + 4) >= 0 || answer.complete;
}

// Up to `length` bytes of text from `from`, ended early by a 0x00. False when
// the text is not complete yet (fewer bytes than `length` and no 0x00).
bool takeText(const QByteArray &buf, int from, int length, QByteArray &text)
{
    const QByteArray available = buf.mid(from, length);
    const int nul = available.indexOf('\0');
    if (nul >= 0) {
        text = available.left(nul);
        return true;
    }
    if (available.size() < length)
        return false;
    text = available;
    return true;
}

int countContaining(const QStringList &lines, const QString &marker)
{
    int n = 0;
    for (const QString &line : lines) {
        if (line.contains(marker))
            ++n;
    }
    return n;
}

} // namespace

QByteArray untilNul(const QByteArray &bytes)
{
    const int nul = bytes.indexOf('\0');
    return nul < 0 ? bytes : bytes.left(nul);
}

AnswerState confirm(const Answer &answer)
{
    return confirmed(answer) ? AnswerState::Accepted : AnswerState::Pending;
}

AnswerState passFail(const Answer &answer)
{
    const QByteArray &buf = answer.bytes;
    // Both markers end with their line end: once one is in, its line has
    // ended.
    if (buf.isEmpty())
        return AnswerState::Pending;
    if (buf.contains(donePass))
        return AnswerState::Accepted;
    if (buf.contains(doneFail))
        return AnswerState::Rejected;
    return AnswerState::Pending;
}

AnswerState fileCount(const Answer &answer, uint32_t &count)
{
    static const QByteArray tag("\r\nfc:");
    const QByteArray &buf = answer.bytes;
    // The count is read once its line has ended (a "\r\n" after the tag).
    const int at = buf.indexOf(tag);
    const int last = buf.lastIndexOf("\r\n");
    if (at < 0 || last <= at)
        return AnswerState::Pending;
    const int from = at + tag.size();
    bool ok = false;
    const uint32_t value = buf.mid(from, last - from).toUInt(&ok, 10);
    count = ok ? value : 0;
    return AnswerState::Accepted;
}

bool flashUidArrived(const QByteArray &bytes)
{
    const int at = bytes.indexOf("flash uid:");
    return bytes.size() >= 50 && at >= 0 && at + 44 < bytes.size();
}

AnswerState flashUid(const Answer &answer, QString &uid)
{
    static const QByteArray tag("flash uid:");
    const QByteArray &buf = answer.bytes;
    // The UID's line and the one after it (the confirmation) have ended:
    // the answer is whole.
    if (!flashUidArrived(buf) || !buf.endsWith('\n'))
        return AnswerState::Pending;
    QByteArray text;
    takeText(buf, buf.indexOf(tag) + tag.size(), 34, text);
    if (!valueForm::hexNumber(text, 32))
        return AnswerState::Malformed;
    uid = QString::fromLatin1(text);
    return AnswerState::Accepted;
}

AnswerState efuseWord(const Answer &answer, QString &word)
{
    static const QByteArray tag("efuse data:");
    const QByteArray &buf = answer.bytes;
    const int at = buf.indexOf(tag);
    // 30 bytes reach into the line after the word (the confirmation); it is
    // judged once that line has ended, so that the answer is whole.
    if (buf.size() < 30 || at < 0 || !buf.endsWith('\n'))
        return AnswerState::Pending;
    QByteArray text;
    if (!takeText(buf, at + tag.size(), 10, text))
        return AnswerState::Pending;
    if (!valueForm::hexNumber(text, 8))
        return AnswerState::Malformed;
    word = QString::fromLatin1(text);
    return AnswerState::Accepted;
}

AnswerState lockState(const Answer &answer, uint32_t &state)
{
    const QByteArray &buf = answer.bytes;
    if (!confirmed(answer))
        return AnswerState::Pending;
    if (buf.contains("sta:0")) {
        state = 0;
        return AnswerState::Accepted;
    }
    if (buf.contains("sta:1")) {
        state = 1;
        return AnswerState::Accepted;
    }
    return AnswerState::Pending;
}

AnswerState gpioValue(const Answer &answer, int32_t &value)
{
    static const QByteArray tag("gpio val:0x");
    const QByteArray &buf = answer.bytes;
    if (!confirmed(answer))
        return AnswerState::Pending;
    const int at = buf.indexOf(tag);
    const int digit = at + tag.size();
    // No value in the whole answer: nothing to read.
    if (at < 0 || digit >= buf.size())
        return AnswerState::Rejected;
    const char level = buf.at(digit);
    if (level < '0' || level > '9')
        return AnswerState::Malformed;
    value = int32_t(level - '0');
    return AnswerState::Accepted;
}

AnswerState gpioLevels(const Answer &answer, uint32_t &levels)
{
    static const QByteArray tag("gpio val:0x");
    const QByteArray &buf = answer.bytes;
    if (!confirmed(answer))
        return AnswerState::Pending;
    const int at = buf.indexOf(tag);
    if (at < 0)
        return AnswerState::Rejected;
    const int from = at + tag.size();
    int end = from;
    while (end < buf.size() && std::isxdigit(static_cast<unsigned char>(buf.at(end))))
        ++end;
    // At least one digit, and no more than 32 bits.
    if (end == from || end - from > 8)
        return AnswerState::Rejected;
    levels = buf.mid(from, end - from).toUInt(nullptr, 16);
    return AnswerState::Accepted;
}

AnswerState taggedValue(const Answer &answer, const QByteArray &tag, int32_t &value)
{
    const QByteArray &buf = answer.bytes;
    if (!confirmed(answer))
        return AnswerState::Pending;
    const int at = buf.indexOf(tag);
    if (at < 0)
        return AnswerState::Rejected;
    const int from = at + tag.size();
    const int end = buf.indexOf('\r', from);
    if (end < 0)
        return AnswerState::Pending;
    bool ok = false;
    const int32_t number = buf.mid(from, end - from).toInt(&ok, 10);
    value = ok ? number : 0;
    return ok ? AnswerState::Accepted : AnswerState::Rejected;
}

AnswerState macLine(const Answer &answer, bool strict, QString &mac)
{
    const QByteArray &buf = answer.bytes;
    if (!ppppIn(buf) || !(confirmed(answer) || answer.last))
        return AnswerState::Pending;
    const int first = buf.indexOf('\n');
    const int next = first < 0 ? -1 : buf.indexOf('\n', first + 1);
    // The MAC line has not ended: its end may still come. Only when the
    // bound has come does the lenient read take the answer as it stands.
    if (next < 0)
        return !strict && answer.last ? AnswerState::Accepted : AnswerState::Pending;
    const QByteArray line = buf.mid(first + 1, next - first);
    QByteArray address = line.chopped(1);
    if (address.endsWith('\r'))
        address.chop(1);
    if (valueForm::macAddress(address)) {
        mac = QString::fromLatin1(line);
        return AnswerState::Accepted;
    }
    // The lenient read takes a line that holds no address at all (no MAC
    // stored); a line with a ":" or a 0x00 in it was meant to be one.
    if (!strict && !line.contains(':') && !line.contains('\0'))
        return AnswerState::Accepted;
    return AnswerState::Malformed;
}

AnswerState hexDump(const Answer &answer, uint32_t length, QString &dump)
{
    const QByteArray &buf = answer.bytes;
    const qint64 chars = 3 * qint64(length);
    if (!answer.quiet || qint64(buf.size()) < qMax<qint64>(chars - 4, 0))
        return AnswerState::Pending;
    const int first = buf.indexOf('\n');
    if (first < 0)
        return AnswerState::Pending;
    // Counted in characters of the text, not in bytes: a byte that is no
    // ASCII (line noise) must not make the dump handed back shorter than
    // the length it promises.
    const QString text = QString::fromUtf8(untilNul(buf.mid(first + 1)));
    if (qint64(text.size()) != chars + 6)
        return AnswerState::Pending;
    dump = text.left(int(chars + 5));
    return AnswerState::Accepted;
}

AnswerState checkedDump(const Answer &answer, uint32_t length, QString &dump)
{
    QString text;
    const AnswerState state = hexDump(answer, length, text);
    if (state != AnswerState::Accepted)
        return state;
    QByteArray data;
    if (!dumpBytes(text, length, data))
        return AnswerState::Malformed;
    dump = text;
    return AnswerState::Accepted;
}

bool dumpBytes(const QString &dump, uint32_t length, QByteArray &data)
{
    const QStringList items = dump.split(QLatin1Char(' '));
    if (qint64(items.size()) != qint64(length) + 2)
        return false;
    QByteArray bytes;
    bytes.reserve(items.size());
    for (const QString &item : items) {
        // Two hexadecimal digits, nothing else ("0x", a sign or a third
        // digit would still read as a number).
        const QByteArray digits = item.toLatin1();
        if (item.size() != 2 || !valueForm::hexDigits(digits))
            return false;
        bytes.append(char(digits.toUInt(nullptr, 16)));
    }
    const int size = int(length);
    const uint16_t sent = uint16_t(uint8_t(bytes.at(size)) << 8 | uint8_t(bytes.at(size + 1)));
    if (crc16(bytes.left(size)) != sent)
        return false;
    data = bytes.left(size);
    return true;
}

QStringList splitLines(const QByteArray &bytes)
{
    QStringList lines = QString::fromUtf8(untilNul(bytes)).split(QLatin1Char('\n'));
    // What follows the last "\n" has not ended (empty when the text ends
    // with a line end).
    lines.removeLast();
    return lines;
}

AnswerState masterTxLines(const Answer &answer, uint8_t n, QStringList &lines)
{
    static const QString rssi = QStringLiteral("rssi:");
    // Only lines that have ended count (splitLines).
    const QStringList all = splitLines(answer.bytes);
    if (all.size() < 10 * int(n) || countContaining(all, rssi) < 20 * int(n))
        return AnswerState::Pending;
    for (const QString &line : all) {
        if (line.contains(rssi))
            lines.append(line);
    }
    return AnswerState::Accepted;
}

AnswerState slaveRxLines(const Answer &answer, QStringList &lines)
{
    static const QString rssi = QStringLiteral("rssi=");
    static const QString freq = QStringLiteral("freq=");
    const QStringList all = splitLines(answer.bytes);
    if (all.size() < 20 || countContaining(all, rssi) < 20 || countContaining(all, freq) < 20)
        return AnswerState::Pending;
    for (const QString &line : all) {
        if (line.contains(rssi))
            lines.append(line);
    }
    return AnswerState::Accepted;
}

} // namespace answerRules
