#ifndef HOSTLINK_H
#define HOSTLINK_H

#include "protocol/tranprotocol.h"
#include "serial.h"

#include <QObject>
#include <QString>

#include <memory>

// Chipctl's host side of one chip, wired the way a Chipctl run wires it: a
// Serial on a port name and a tranProtocol connected by signals. It counts
// the payload bytes that cross the serial line in each direction (what the
// chip's UART carries, not the telnet framing around it), and the chip's
// answers: the first bytes received after bytes were sent, however many
// pieces the answer comes in.
class HostLink : public QObject
{
    Q_OBJECT
public:
    explicit HostLink(const QString &configDir, QObject *parent = nullptr);
    ~HostLink() override;

    bool open(const QString &portName);
    // The boot-entry line sequence: the chip ends in its boot ROM. Needs a
    // port with control lines (RFC 2217).
    void resetIntoBootRom();

    tranProtocol &protocol() { return *proto; }
    Serial &serial() { return *link; }

    void resetCounters();
    qint64 sentBytes() const { return sent; }
    qint64 receivedBytes() const { return received; }
    qint64 answers() const { return answered; }

private:
    std::unique_ptr<Serial> link;
    std::unique_ptr<tranProtocol> proto;
    qint64 sent = 0;
    qint64 received = 0;
    qint64 answered = 0;
    bool awaiting = false;
};

#endif // HOSTLINK_H
