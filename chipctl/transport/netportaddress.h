#ifndef NETPORTADDRESS_H
#define NETPORTADDRESS_H

#include <QString>

#include <cstdint>

// Where a network serial port is: "rfc2217://HOST:PORT" (a serial device
// server speaking telnet with COM-PORT-OPTION) or "socket://HOST:PORT" (raw
// TCP). HOST is a name, an IPv4 address or a bracketed IPv6 address; PORT
// is 1 to 65535.
struct NetPortAddress
{
    enum class Kind
    {
        Rfc2217,
        Socket
    };

    Kind kind = Kind::Rfc2217;
    QString host;
    uint16_t port = 0;

    // True when `name` starts with one of the two schemes (in any case),
    // whether or not the rest is valid.
    static bool isNetworkName(const QString &name);
    // The scheme `name` starts with (in any case) and what follows it; false
    // when it starts with neither. Needs nothing of the network stack, so a
    // run on a local port can tell the kinds apart without loading it.
    static bool splitScheme(const QString &name, Kind &kind, QString &rest);
    // Reads a port name; false when it is not a complete, valid network
    // port name.
    static bool parse(const QString &name, NetPortAddress &address);
};

#endif // NETPORTADDRESS_H
