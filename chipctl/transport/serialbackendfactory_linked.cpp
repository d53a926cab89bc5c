// SerialBackendFactory with both backends linked in: for everything but the
// Chipctl program (tests, benchmarks, fuzzers).
#include "serialbackendfactory.h"

#include "localport.h"
#include "netport.h"
#include "netportaddress.h"

std::unique_ptr<SerialBackend> SerialBackendFactory::create(const QString &portName, QString &error)
{
    error.clear();
    if (NetPortAddress::isNetworkName(portName))
        return std::make_unique<NetPort>();
    return std::make_unique<LocalPort>();
}
