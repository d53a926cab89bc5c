#ifndef WIRETRACE_H
#define WIRETRACE_H

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QString>

// A record of what crossed the line, for the bench: with CHIPCTL_TRACE=FILE
// in its environment Chipctl appends to FILE, run after run, a header per
// run and then one line per event, each with the seconds since the run's
// header on a monotonic clock:
//
//   # Chipctl run 2024-05-06T10:21:03.114 pid 4242: COM3 xtal_cap read
//   0.000512 * open COM3 115200
//   0.001190 > version\r\n
//   0.003920 < \r\nTK716A RAMCODE
//   0.005207 = version: accepted
//
// ">" bytes sent, "<" bytes received (printable ASCII as it is, the rest
// escaped), "*" line changes (baud rate, RTS, DTR) and the loss of the link,
// "=" the verdict on an answer and the rule that judged it. Without the
// variable nothing is recorded and nothing is spent. FILE must be a regular
// file or a path where one can be made; anything else (a FIFO, a device, a
// directory, a folder that is not there) is refused with one line on
// standard error, and the run is the same as without a trace.
class WireTrace
{
public:
    // The run's trace, or nullptr when none was asked for or FILE cannot be
    // used (said on standard error). The first call writes the run's header.
    static WireTrace *active();

    void sent(const QByteArray &bytes);
    void received(const QByteArray &bytes);
    void line(const QString &change);
    void verdict(const char *rule, const char *outcome);

    // Bytes as the trace shows them.
    static QByteArray escaped(const QByteArray &bytes);

    explicit WireTrace(const QString &path);
    bool isOpen() const;
    QString openError() const;

private:
    void write(char kind, const QByteArray &text);

    QFile file;
    QElapsedTimer clock;
};

#endif // WIRETRACE_H
