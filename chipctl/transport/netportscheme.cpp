// The schemes of network port names, apart from the rest of NetPortAddress:
// Chipctl itself links this part only, and so chooses a port's backend
// without the network stack.
#include "netportaddress.h"

namespace {

QLatin1String rfc2217Scheme()
{
    return QLatin1String("rfc2217://");
}

QLatin1String socketScheme()
{
    return QLatin1String("socket://");
}

} // namespace

bool NetPortAddress::isNetworkName(const QString &name)
{
    Kind kind;
    QString rest;
    return splitScheme(name, kind, rest);
}

bool NetPortAddress::splitScheme(const QString &name, Kind &kind, QString &rest)
{
    if (name.startsWith(rfc2217Scheme(), Qt::CaseInsensitive)) {
        kind = Kind::Rfc2217;
        rest = name.mid(rfc2217Scheme().size());
        return true;
    }
    if (name.startsWith(socketScheme(), Qt::CaseInsensitive)) {
        kind = Kind::Socket;
        rest = name.mid(socketScheme().size());
        return true;
    }
    return false;
}
