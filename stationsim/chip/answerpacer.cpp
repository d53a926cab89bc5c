#include "chip/answerpacer.h"

#include <algorithm>

namespace stationsim {

AnswerPacer::AnswerPacer(ChipPace pace, quint32 seed)
    : kind(pace)
    , rng(seed)
{}

std::optional<ChipPace> AnswerPacer::parse(const QString &name)
{
    for (ChipPace pace : {ChipPace::Fast, ChipPace::Lines, ChipPace::Slow}) {
        if (name == AnswerPacer::name(pace))
            return pace;
    }
    return std::nullopt;
}

QString AnswerPacer::name(ChipPace pace)
{
    switch (pace) {
    case ChipPace::Fast:
        return QStringLiteral("fast");
    case ChipPace::Lines:
        return QStringLiteral("lines");
    case ChipPace::Slow:
        return QStringLiteral("slow");
    }
    return QString();
}

QStringList AnswerPacer::names()
{
    return {name(ChipPace::Fast), name(ChipPace::Lines), name(ChipPace::Slow)};
}

qint64 AnswerPacer::linePause()
{
    std::uniform_int_distribution<qint64> pause(shortestLinePauseNs, longestLinePauseNs);
    return pause(rng);
}

QList<AnswerPacer::Piece> AnswerPacer::cut(const QByteArray &answer, qint64 byteNs)
{
    if (answer.isEmpty())
        return {};
    if (kind == ChipPace::Fast)
        return {{answer, 0}};
    // A byte starts 0.5 ms after the one before it started: the pause after
    // a byte is what its wire time leaves of that.
    const qint64 bytePause = std::max<qint64>(slowByteNs - byteNs, 0);
    QList<Piece> pieces;
    int from = 0;
    while (from < answer.size()) {
        const int newline = answer.indexOf('\n', from);
        const int end = newline < 0 ? answer.size() : newline + 1;
        const QByteArray line = answer.mid(from, end - from);
        const qint64 pause = from == 0 ? 0 : linePause();
        if (kind == ChipPace::Slow && line.size() <= slowLineLimit) {
            for (int i = 0; i < line.size(); ++i)
                pieces.append({line.mid(i, 1), i == 0 ? pause : bytePause});
        } else {
            pieces.append({line, pause});
        }
        from = end;
    }
    return pieces;
}

} // namespace stationsim
