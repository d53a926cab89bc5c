#ifndef STATIONSIM_WIRETRACE_H
#define STATIONSIM_WIRETRACE_H

#include <QElapsedTimer>
#include <QFile>
#include <QObject>

namespace stationsim {

class SimChip;

// A chip's wire trace: every delivery in both directions (as the chip
// received it, and as it left the chip), with the time since the simulator
// started, in hex and printable form, plus resets, mode and rate changes.
// Each record is flushed at once, so the trace survives a crash.
class WireTrace : public QObject
{
    Q_OBJECT
public:
    WireTrace(SimChip *chip, const QElapsedTimer &clock, QObject *parent = nullptr);
    bool open(const QString &path, QString *error);

    void bytes(const char *direction, const QByteArray &data);
    void noteLine(const QString &text);

    // "0d 0a 70 ..." and "..p..." for up to 16 bytes.
    static QByteArray formatLine(const QByteArray &chunk);

private:
    QByteArray stamp() const;

    const QElapsedTimer &clock;
    QFile file;
};

} // namespace stationsim

#endif // STATIONSIM_WIRETRACE_H
