#include "netportaddress.h"

#include "tcpstream.h"

namespace {

bool readPort(const QString &text, uint16_t &port)
{
    if (text.isEmpty() || text.size() > 5)
        return false;
    uint32_t value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
        value = value * 10 + uint32_t(c.unicode() - '0');
    }
    if (value == 0 || value > 65535)
        return false;
    port = uint16_t(value);
    return true;
}

// A host name or IPv4 address: no separators, spaces or brackets.
bool plainHost(const QString &host)
{
    if (host.isEmpty())
        return false;
    for (const QChar c : host) {
        if (c.isSpace() || QStringLiteral(":/?#@[]\\").contains(c))
            return false;
    }
    return true;
}

} // namespace

bool NetPortAddress::parse(const QString &name, NetPortAddress &address)
{
    QString rest;
    Kind kind;
    if (!splitScheme(name, kind, rest))
        return false;

    QString host;
    QString portText;
    if (rest.startsWith(QLatin1Char('['))) {
        const int close = rest.indexOf(QLatin1Char(']'));
        if (close < 0 || rest.mid(close + 1, 1) != QLatin1String(":"))
            return false;
        host = rest.mid(1, close - 1);
        portText = rest.mid(close + 2);
        if (!TcpStream::isIpv6Address(host))
            return false;
    } else {
        const int colon = rest.lastIndexOf(QLatin1Char(':'));
        if (colon < 0)
            return false;
        host = rest.left(colon);
        portText = rest.mid(colon + 1);
        if (!plainHost(host))
            return false;
    }

    uint16_t port = 0;
    if (!readPort(portText, port))
        return false;
    address.kind = kind;
    address.host = host;
    address.port = port;
    return true;
}
