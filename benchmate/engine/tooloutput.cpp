#include "tooloutput.h"

#include "cyclevalues.h"

#include <QStringList>
#include <QtMath>

namespace toolOutput {

namespace {

const QString okMark = QStringLiteral("Ok.");

// A number field of a data line, without the line end a Windows console adds.
QString numberText(const QString &line, int from, int length = -1)
{
    return line.mid(from, length).trimmed();
}

// A float sample; "nan" and "inf" are no measurement.
bool readSample(const QString &text, float *value)
{
    bool ok = false;
    const float number = text.toFloat(&ok);
    if (!ok || !qIsFinite(number))
        return false;
    *value = number;
    return true;
}

bool isHexDigit(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
           (c >= QLatin1Char('a') && c <= QLatin1Char('f')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

} // namespace

QString decode(const QByteArray &bytes)
{
    const int zero = bytes.indexOf('\0');
    return QString::fromUtf8(zero < 0 ? bytes : bytes.left(zero));
}

bool isOk(const QString &output)
{
    return output.contains(okMark);
}

QString failureText(const QString &output)
{
    static const QString failMark = QStringLiteral("Fail. ");
    const int at = output.lastIndexOf(failMark);
    if (at < 0)
        return QString();
    // Data may follow the text on its line ("Error downloading file.flash uid:...").
    const QString rest = output.mid(at + failMark.size());
    int end = rest.size();
    for (const QChar stop : {QLatin1Char('.'), QLatin1Char('\r'), QLatin1Char('\n')}) {
        const int found = rest.indexOf(stop);
        if (found >= 0)
            end = qMin(end, stop == QLatin1Char('.') ? found + 1 : found);
    }
    return rest.left(end).trimmed();
}

QString firstLine(const QString &output)
{
    for (int i = 0; i < output.size(); ++i) {
        if (output.at(i) == QLatin1Char('\r') || output.at(i) == QLatin1Char('\n'))
            return output.left(i);
    }
    return output;
}

bool parseGoldenMac(const QString &output, QString *text, macBytes *bytes)
{
    if (!isOk(output))
        return false;
    const QString candidate = output.section(QLatin1Char('\n'), 0, 0).mid(4, 17);
    if (candidate.count(QLatin1Char(':')) != 5)
        return false;
    const QStringList parts = candidate.split(QLatin1Char(':'));
    if (parts.size() != 6)
        return false;
    macBytes values{};
    for (int i = 0; i < 6; ++i) {
        // A group is exactly two hexadecimal digits: anything else is no
        // address to hand to the DUTs.
        const QString &part = parts.at(i);
        if (part.size() != 2 || !isHexDigit(part.at(0)) || !isHexDigit(part.at(1)))
            return false;
        values[size_t(i)] = uint8_t(part.toUInt(nullptr, 16));
    }
    *text = candidate;
    *bytes = values;
    return true;
}

bool parseGoldenXtal(const QString &output, int8_t *value)
{
    bool ok = false;
    const int number = firstLine(output).mid(9).toInt(&ok, 10);
    if (!ok)
        return false;
    *value = CycleValues::lowByte(number);
    return true;
}

void parseRxSamples(const QString &output, QList<float> *rssi, QList<float> *freq)
{
    const QStringList lines = output.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        float value = 0;
        const int r = line.indexOf(QLatin1String("rssi="));
        if (r >= 0 && readSample(numberText(line, r + 5), &value))
            rssi->append(value);
        const int f = line.indexOf(QLatin1String("freq="));
        if (f >= 0) {
            const int start = f + 5;
            const int comma = line.indexOf(QLatin1Char(','), start);
            const QString field =
                comma < 0 ? numberText(line, start) : numberText(line, start, comma - start);
            if (readSample(field, &value))
                freq->append(value);
        }
    }
}

QList<int> parseTxRssi(const QString &output)
{
    QList<int> samples;
    const QStringList lines = output.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        // A line without "rssi:" is read from its fifth character on, as the
        // marker search gives -1 there.
        const int at = line.indexOf(QLatin1String("rssi:"));
        bool ok = false;
        const int value = numberText(line, at + 5).toInt(&ok, 10);
        if (ok)
            samples.append(value);
    }
    return samples;
}

} // namespace toolOutput
