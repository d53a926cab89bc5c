#ifndef RFC2217SESSION_H
#define RFC2217SESSION_H

#include "telnetcodec.h"
#include "telnetoptions.h"

#include <QByteArray>

#include <cstdint>

// The telnet side of an RFC 2217 connection, without the socket: what the
// client offers, and what it makes of the server's bytes (data for the chip
// link, replies to the server's negotiations, the baud rate the server
// confirmed). The server's bytes may be split anywhere.
class Rfc2217Session
{
public:
    Rfc2217Session();

    // The client's opening offers: binary both ways, no go-ahead, and the
    // COM-PORT-OPTION.
    QByteArray offers();
    // True once the server has answered the offers that matter.
    bool negotiationSettled() const;
    // True while the server has not refused the COM-PORT-OPTION.
    bool comPortUsable() const;

    // Decodes received bytes: data is appended to `data`; the return value
    // is what to send back (often nothing).
    QByteArray take(const QByteArray &bytes, QByteArray &data);

    // The baud rate the server last confirmed; 0 before its first answer.
    uint32_t confirmedBaudRate() const { return serverBaudRate; }

private:
    TelnetCodec codec;
    TelnetOptions options;
    uint32_t serverBaudRate = 0;
};

#endif // RFC2217SESSION_H
