#ifndef STATIONSIM_RFC2217PORT_H
#define STATIONSIM_RFC2217PORT_H

#include "wire/telnetcodec.h"

#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <random>

namespace stationsim {

class SimChip;

// A chip's network serial port: an RFC 2217 server on 127.0.0.1. One client
// at a time; a new client takes the port over (a host program that has just
// ended may not have been noticed yet). The client's baud rate decides
// whether the chip's bytes reach it readable; its DTR and RTS drive the
// chip's lines, and a client that goes away releases DTR, then RTS.
class Rfc2217Port : public QObject
{
    Q_OBJECT
public:
    Rfc2217Port(SimChip *chip, QObject *parent = nullptr);
    ~Rfc2217Port() override;

    bool listen(quint16 port, QString *error);
    quint16 port() const { return server.serverPort(); }
    void close();
    bool hasClient() const { return !client.isNull(); }

signals:
    // Host-side happenings for the wire trace ("client connected", "RTS on" ...).
    void note(const QString &text);

private:
    void onNewConnection();
    void onReadyRead();
    void onDisconnected();
    void process(const QByteArray &bytes);
    void dropClient();
    void handleRequest(quint8 command, const QByteArray &value);
    void answer(quint8 command, const QByteArray &value);
    void onChipOutput(const QByteArray &bytes, quint32 chipBaud);

    SimChip *chip;
    QTcpServer server;
    QPointer<QTcpSocket> client;
    TelnetCodec codec;
    quint32 hostBaud = 0; // 0: the client never set one
    bool rts = false;
    bool dtr = false;
    std::mt19937 rng;
};

} // namespace stationsim

#endif // STATIONSIM_RFC2217PORT_H
