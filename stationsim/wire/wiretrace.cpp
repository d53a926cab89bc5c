#include "wire/wiretrace.h"

#include "chip/simchip.h"

namespace stationsim {

WireTrace::WireTrace(SimChip *chip, const QElapsedTimer &clock, QObject *parent)
    : QObject(parent)
    , clock(clock)
{
    connect(chip->link(), &UartLink::toChip, this,
            [this](const QByteArray &data) { bytes("host>chip", data); });
    connect(chip->link(), &UartLink::toHost, this,
            [this](const QByteArray &data, quint32) { bytes("chip>host", data); });
    connect(chip, &SimChip::note, this,
            [this](const QString &text) { noteLine(QStringLiteral("chip: ") + text); });
}

bool WireTrace::open(const QString &path, QString *error)
{
    file.setFileName(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = QStringLiteral("cannot write the trace %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

QByteArray WireTrace::stamp() const
{
    return QByteArray::number(double(clock.nsecsElapsed()) / 1e9, 'f', 6).rightJustified(12, ' ');
}

QByteArray WireTrace::formatLine(const QByteArray &chunk)
{
    QByteArray hex = chunk.toHex(' ');
    QByteArray text;
    for (char ch : chunk)
        text.append(ch >= 0x20 && ch < 0x7f ? ch : '.');
    return hex.leftJustified(47, ' ') + "  |" + text + "|";
}

void WireTrace::bytes(const char *direction, const QByteArray &data)
{
    if (!file.isOpen())
        return;
    QByteArray out;
    for (int at = 0; at < data.size(); at += 16)
        out += stamp() + ' ' + direction + ' ' + formatLine(data.mid(at, 16)) + '\n';
    file.write(out);
    file.flush();
}

void WireTrace::noteLine(const QString &text)
{
    if (!file.isOpen())
        return;
    file.write(stamp() + " -- " + text.toUtf8() + '\n');
    file.flush();
}

} // namespace stationsim
