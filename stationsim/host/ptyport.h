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
// ...). A pty has no control lines and tells nothing of the host's rate: the
// host is taken to run at the chip's rate. The simulator keeps the terminal
// side open itself, so the pty never hangs up between host programs; bytes
// the chip sent that nobody read are dropped when a program opens the pty.
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
    void onChipOutput(const QByteArray &bytes);

    SimChip *chip;
    int master = -1;
    int slave = -1;
    int inotify = -1;
    QString device;
    QString link;
    QByteArray outgoing;
    std::unique_ptr<QSocketNotifier> readNotifier;
    std::unique_ptr<QSocketNotifier> writeNotifier;
    std::unique_ptr<QSocketNotifier> inotifyNotifier;
};

} // namespace stationsim

#endif // STATIONSIM_PTYPORT_H
