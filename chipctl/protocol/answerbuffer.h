#ifndef ANSWERBUFFER_H
#define ANSWERBUFFER_H

#include <QByteArray>
#include <QElapsedTimer>

#include <cstdint>

// One answer of the chip as it stands, for an answer rule to judge.
struct Answer
{
    // A complete answer made of `bytes` (what a rule sees in a unit test).
    Answer(const QByteArray &bytes = QByteArray(), bool quiet = true, bool complete = true)
        : bytes(bytes)
        , quiet(quiet)
        , complete(complete)
    {}
    Answer(const char *bytes)
        : Answer(QByteArray(bytes))
    {}

    // Every byte received since the command went out.
    QByteArray bytes;
    // Nothing has arrived for a few byte times: the chip has stopped
    // sending, for now.
    bool quiet;
    // The chip has paused after a line end, or has been silent for a long
    // pause, or the link is gone. A pause is no proof that the answer is
    // whole (firmware pauses between the lines it prints): a rule that knows
    // its answer's shape judges by the content and uses this only for a
    // line that never ends.
    bool complete;
    // The wait's bound has come: the rule's last look, for a rule that then
    // takes the answer as it stands.
    bool last = false;
};

// Collects one answer as the serial link delivers it: in pieces split
// anywhere, the tail of a line possibly milliseconds after its head. It
// knows when the last byte came, so that an answer is judged only once it
// is whole, and it keeps no more than the exchange can need, so that a chip
// that floods the line cannot fill the memory.
class AnswerBuffer
{
public:
    // The longest answer of an ordinary command: a few lines.
    static constexpr qint64 defaultCapacity = 16 * 1024;
    // Silence that makes an answer quiet, in byte times (10 bits a byte).
    static constexpr int quietBytes = 4;
    // Silence after which an answer whose last line never ended is taken as
    // it is: longer than any pause a USB adapter or a network server puts
    // inside an answer.
    static constexpr int longPauseMs = 30;

    AnswerBuffer();

    // The line's rate, which sets how long "a few byte times" is.
    void setBaudRate(uint32_t baudRate);
    // A new answer starts (its command is about to go out): every byte so far
    // is dropped, and at most `capacity` bytes of the new one are kept.
    void restart(qint64 capacity = defaultCapacity);
    void append(const QByteArray &data);
    // The link is gone: no byte can follow, the answer is as whole as it will
    // get. Stays so for the rest of the run.
    void setLinkLost() { lost = true; }

    const QByteArray &bytes() const { return data; }
    bool isEmpty() const { return data.isEmpty(); }
    bool linkLost() const { return lost; }
    // More bytes came than the answer can hold: it is no answer.
    bool overflowed() const { return overflow; }

    // How the answer stands now.
    Answer look() const;
    // Nanoseconds since the last byte came, or -1 when none has come since
    // the restart.
    qint64 sinceLastByteNs() const;
    // Nanoseconds until look() changes with no new byte, or -1 when only a
    // new byte can change it.
    qint64 nsUntilChange() const;

private:
    QByteArray data;
    QElapsedTimer lastByte;
    qint64 quietNs;
    qint64 capacity = defaultCapacity;
    bool overflow = false;
    bool lost = false;
};

#endif // ANSWERBUFFER_H
