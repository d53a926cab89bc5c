#ifndef STATIONSIM_ANSWERPACER_H
#define STATIONSIM_ANSWERPACER_H

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <random>

namespace stationsim {

// How fast a chip's own firmware prints an answer, apart from how the link
// delivers what it prints (Delivery):
// - Fast: the whole answer at once, at the UART's speed.
// - Lines: each line of an answer after a pause of 1 to 20 ms, as firmware
//   that reads its OTP or flash between the lines it prints.
// - Slow: as Lines, and the bytes of a line of up to 64 characters 0.5 ms
//   apart, as firmware that prints a character at a time. A longer line (a
//   hex dump, printed from a buffer it has filled) leaves at the UART's
//   speed.
enum class ChipPace
{
    Fast,
    Lines,
    Slow
};

// Cuts a chip's answers into the pieces its firmware prints, each with the
// pause before it. The pauses come from the seed: the same seed and the
// same answers give the same pieces.
class AnswerPacer
{
public:
    struct Piece
    {
        QByteArray bytes;
        // The piece starts this long after the one before it has left the
        // UART (the first piece: after the answer's own delay).
        qint64 pauseNs = 0;
    };

    static constexpr qint64 shortestLinePauseNs = 1'000'000;
    static constexpr qint64 longestLinePauseNs = 20'000'000;
    static constexpr qint64 slowByteNs = 500'000;
    static constexpr int slowLineLimit = 64;

    explicit AnswerPacer(ChipPace pace = ChipPace::Fast, quint32 seed = 1);

    ChipPace pace() const { return kind; }
    // The pieces of `answer` at a UART byte time of `byteNs`; never empty
    // for an answer that is not.
    QList<Piece> cut(const QByteArray &answer, qint64 byteNs);
    // A pause drawn as between two lines, for a tail sent after an answer.
    qint64 linePause();

    static std::optional<ChipPace> parse(const QString &name);
    static QString name(ChipPace pace);
    static QStringList names();

private:
    ChipPace kind;
    std::mt19937 rng;
};

} // namespace stationsim

#endif // STATIONSIM_ANSWERPACER_H
