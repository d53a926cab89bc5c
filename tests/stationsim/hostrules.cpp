#include "hostrules.h"

namespace HostRules {

namespace {
bool hasPppp(const QByteArray &rx)
{
    return rx.size() > 4 && rx.contains("pppp");
}

QByteArray upToNul(const QByteArray &bytes)
{
    const int nul = bytes.indexOf('\0');
    return nul < 0 ? bytes : bytes.left(nul);
}
} // namespace

bool confirm(const QByteArray &rx)
{
    return hasPppp(rx);
}

std::optional<bool> passFail(const QByteArray &rx)
{
    if (rx.isEmpty())
        return std::nullopt;
    if (rx.contains("\r\npppp\r\n"))
        return true;
    if (rx.contains("\r\nffff\r\n"))
        return false;
    return std::nullopt;
}

std::optional<quint32> fileCount(const QByteArray &rx)
{
    const int tag = rx.indexOf("\r\nfc:");
    const int last = rx.lastIndexOf("\r\n");
    if (tag < 0 || last <= 0)
        return std::nullopt;
    const int from = tag + 5;
    const QByteArray text = last == tag ? rx.mid(from) : rx.mid(from, last - from);
    bool ok = false;
    const quint32 count = text.toUInt(&ok, 10);
    return ok ? count : 0;
}

std::optional<QByteArray> flashUid(const QByteArray &rx)
{
    const int p = rx.indexOf("flash uid:");
    if (rx.size() < 50 || p < 0 || p + 44 >= rx.size())
        return std::nullopt;
    const QByteArray text = upToNul(rx.mid(p + 10, 34));
    if (!text.startsWith("0x") || text.isEmpty() || !isxdigit(quint8(text.back())))
        return std::nullopt;
    return text;
}

std::optional<QByteArray> efuseWord(const QByteArray &rx)
{
    const int p = rx.indexOf("efuse data:");
    if (rx.size() < 30 || p < 0)
        return std::nullopt;
    const QByteArray text = upToNul(rx.mid(p + 11, 10));
    if (!text.startsWith("0x"))
        return std::nullopt;
    return text;
}

std::optional<int> lockState(const QByteArray &rx)
{
    if (!hasPppp(rx))
        return std::nullopt;
    if (rx.contains("sta:0"))
        return 0;
    if (rx.contains("sta:1"))
        return 1;
    return std::nullopt;
}

std::optional<int> gpioValue(const QByteArray &rx)
{
    const int p = rx.indexOf("gpio val:0x");
    if (!hasPppp(rx) || p < 0 || p + 11 >= rx.size())
        return std::nullopt;
    return rx.at(p + 11) - '0';
}

std::optional<Tagged> tagged(const QByteArray &rx, const QByteArray &tag)
{
    if (rx.size() < 5 || !rx.contains("pppp"))
        return std::nullopt;
    Tagged result;
    const int p = rx.indexOf(tag);
    if (p < 0)
        return result;
    const int from = p + tag.size();
    const int end = rx.indexOf('\r', from);
    result.value = rx.mid(from, end < 0 ? -1 : end - from).toInt(&result.ok, 10);
    return result;
}

std::optional<QByteArray> macLine(const QByteArray &rx, bool strict)
{
    if (!hasPppp(rx))
        return std::nullopt;
    const int first = rx.indexOf('\n');
    const int next = first < 0 ? -1 : rx.indexOf('\n', first + 1);
    const QByteArray line =
        upToNul(first < 0 ? QByteArray() : rx.mid(first + 1, next < 0 ? -1 : next - first));
    if (line.count(':') == 5)
        return line;
    if (strict)
        return std::nullopt;
    return QByteArray(); // lenient: success, output unchanged
}

std::optional<QByteArray> hexDump(const QByteArray &rx, int length)
{
    const int minimum = qMax(0, 3 * length - 4);
    const int first = rx.indexOf('\n');
    if (rx.size() < minimum || first < 0)
        return std::nullopt;
    const QByteArray text = upToNul(rx.mid(first + 1));
    if (text.size() != 3 * length + 6)
        return std::nullopt;
    return text.left(3 * length + 5);
}

std::optional<QList<QByteArray>> rxLines(const QByteArray &rx)
{
    const QList<QByteArray> lines = upToNul(rx).split('\n');
    int rssi = 0, freq = 0;
    for (const QByteArray &line : lines) {
        rssi += line.contains("rssi=") ? 1 : 0;
        freq += line.contains("freq=") ? 1 : 0;
    }
    if (lines.size() < 20 || rssi < 20 || freq < 20)
        return std::nullopt;
    QList<QByteArray> out;
    for (const QByteArray &line : lines) {
        if (line.contains("rssi="))
            out.append(line);
    }
    return out;
}

std::optional<QList<QByteArray>> txLines(const QByteArray &rx, int n)
{
    const QList<QByteArray> lines = upToNul(rx).split('\n');
    QList<QByteArray> out;
    for (const QByteArray &line : lines) {
        if (line.contains("rssi:"))
            out.append(line);
    }
    if (lines.size() < 10 * n || out.size() < 20 * n)
        return std::nullopt;
    return out;
}

std::optional<QString> recognise(const QByteArray &rx)
{
    if (rx.isEmpty())
        return std::nullopt;
    const QList<QPair<QString, QByteArray>> chips = {
        {QStringLiteral("TK602C"), "Aug  9 2021/16:16:40"},
        {QStringLiteral("TK716A"), "Mar 14 2021/00:23:32"},
    };
    for (const auto &chip : chips) {
        if (rx.contains(chip.second))
            return chip.first;
        if (rx.contains("RAMCODE"))
            return QStringLiteral("RAMCODE");
    }
    return std::nullopt;
}

RxSamples parseRxSamples(const QList<QByteArray> &lines)
{
    RxSamples samples;
    for (const QByteArray &raw : lines) {
        const QString line = QString::fromUtf8(raw);
        const int r = line.indexOf(QLatin1String("rssi="));
        if (r >= 0) {
            bool ok = false;
            const double v = line.mid(r + 5).toDouble(&ok);
            if (ok)
                samples.rssi.append(v);
        }
        const int f = line.indexOf(QLatin1String("freq="));
        if (f >= 0) {
            const int comma = line.indexOf(QLatin1Char(','), f);
            bool ok = false;
            const double v =
                (comma < 0 ? line.mid(f + 5) : line.mid(f + 5, comma - f - 5)).toDouble(&ok);
            if (ok)
                samples.freq.append(v);
        }
    }
    return samples;
}

QList<int> parseTxSamples(const QList<QByteArray> &lines)
{
    QList<int> samples;
    for (const QByteArray &raw : lines) {
        const QString line = QString::fromUtf8(raw);
        const int r = line.indexOf(QLatin1String("rssi:"));
        bool ok = false;
        const int v = (r >= 0 ? line.mid(r + 5) : line.mid(4)).toInt(&ok);
        if (ok)
            samples.append(v);
    }
    return samples;
}

} // namespace HostRules
