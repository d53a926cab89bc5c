#ifndef CHIPCTLRUN_H
#define CHIPCTLRUN_H

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

// What a caller of Chipctl sees of one run.
struct ChipctlResult
{
    QByteArray out;
    QByteArray err;
    int status = -1;
    // Bytes the program wrote to a PtyChip during the run.
    QByteArray sentToChip;
};

class PtyChip;

// A private copy of the Chipctl program in a temporary directory, with its
// own Config directory (the chip information file is created there) and a
// copy of the station's ramcode image, so that tests can run in parallel.
class ChipctlCopy
{
public:
    ChipctlCopy();

    bool isValid() const { return valid; }
    QString dir() const { return tmp.path(); }
    QString configDir() const { return tmp.path() + QStringLiteral("/Config"); }

    // Runs the program with `args` (the port name first) and waits for it
    // (at most `timeoutMs`); `chip`, when given, is served meanwhile.
    ChipctlResult run(const QStringList &args, PtyChip *chip = nullptr, int timeoutMs = 60000);
    // Several runs at the same time, each against its own chip (`chips` in
    // the order of `runs`); waits for all of them, at most `timeoutMs`.
    QList<ChipctlResult> runTogether(const QList<QStringList> &runs, const QList<PtyChip *> &chips,
                                     int timeoutMs = 60000);

private:
    QTemporaryDir tmp;
    QString program;
    bool valid = false;
};

// The master side of a pseudo-terminal that plays a chip: every command line
// the program sends (up to and including "\r\n") is handed to the responder,
// whose reply goes back at once.
class PtyChip
{
public:
    using Responder = std::function<QByteArray(const QByteArray &line)>;

    PtyChip();
    ~PtyChip();
    PtyChip(const PtyChip &) = delete;
    PtyChip &operator=(const PtyChip &) = delete;

    bool isValid() const { return master >= 0; }
    QString path() const { return slavePath; }
    void setResponder(Responder r) { responder = std::move(r); }

    // Answers as a chip on a real line sends them: a byte at a time,
    // `byteUs` microseconds apart (87 is the wire speed of 115200 baud),
    // with a pause of `pauseMs` between the pieces the responder returns
    // (a link that delivers the tail of an answer late). Replaces the
    // responder above.
    using PacedResponder = std::function<QList<QByteArray>(const QByteArray &line)>;
    void setPacedResponder(PacedResponder r, int byteUs, int pauseMs);
    // Closes the master side once the current answer is out: the program's
    // port hangs up, as when a USB adapter is pulled.
    void hangUp() { hangUpRequested = true; }

    // Reads what the program wrote and answers complete lines.
    void serve();
    // Every complete line received so far, in order.
    QList<QByteArray> lines;
    QByteArray received;

private:
    int master = -1;
    int slave = -1;
    QString slavePath;
    void sendPaced(const QList<QByteArray> &pieces);

    QByteArray pending;
    Responder responder;
    PacedResponder pacedResponder;
    int byteUs = 0;
    int pauseMs = 0;
    bool hangUpRequested = false;
};

#endif // CHIPCTLRUN_H
