#include "chip/commandset.h"

namespace stationsim {

QList<QByteArray> CommandSet::words(const QByteArray &line)
{
    QList<QByteArray> out;
    for (const QByteArray &word : line.split(' ')) {
        if (!word.isEmpty())
            out.append(word);
    }
    return out;
}

} // namespace stationsim
