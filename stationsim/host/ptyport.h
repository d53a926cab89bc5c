#ifndef STATIONSIM_PTYPORT_H
#define STATIONSIM_PTYPORT_H

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QString>

#include <memory>

namespace stationsim {

class SimChip;

// A chip's pseudo-terminal, reachable through a symlink (DIR/gm, DIR/dut01
// ...). A pty tells nothing of the host's rate: the host is taken to run at
// the chip's rate. The simulator keeps the terminal side open itself, so the
// pty never hangs up between host programs; bytes the chip sent that nobody
// read are dropped when a program opens the pty.
//
// A pty has no control lines either, so the chip's RTS and DTR wires come in
// beside it: a datagram socket DIR/NAME.lines takes "BIS n", "BIC n" and
// "SET n" (n the TIOCM_* bits, as the modem-line ioctls take them) and moves
// the lines as a serial port's driver would. The ptylines preload library
// turns an unmodified program's modem-line ioctls on the pty into those
// datagrams. When the last host program closes the pty, DTR and RTS are
// released, as a client leaving the RFC 2217 port releases them.
class PtyPort : public QObject
{
    Q_OBJECT
public:
    PtyPort(SimChip *chip, QObject *parent = nullptr);
    ~PtyPort() override;

    bool open(const QString &linkPath, QString *error);
    void close();
    QString devicePath() const { return device; }

signals:
    void note(const QString &text);

private:
    void onReadable();
    void onWritable();
    void onInotify();
    void onLines();
    bool openLines(QString *error);
    void applyLines(bool newRts, bool newDtr);
    void onChipOutput(const QByteArray &bytes);

    SimChip *chip;
    int master = -1;
    int slave = -1;
    int inotify = -1;
    int lines = -1;
    int hostOpens = 0;
    bool rts = false;
    bool dtr = false;
    QString device;
    QString link;
    QString linesPath;
    QByteArray outgoing;
    std::unique_ptr<QSocketNotifier> readNotifier;
    std::unique_ptr<QSocketNotifier> writeNotifier;
    std::unique_ptr<QSocketNotifier> inotifyNotifier;
    std::unique_ptr<QSocketNotifier> linesNotifier;
};

} // namespace stationsim

#endif // STATIONSIM_PTYPORT_H
