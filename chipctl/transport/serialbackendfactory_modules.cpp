// SerialBackendFactory of the Chipctl program: each backend from its module,
// loaded on first use (BackendModule).
#include "serialbackendfactory.h"

#include "backendmodule.h"
#include "netportaddress.h"
#include "serialbackend.h"

std::unique_ptr<SerialBackend> SerialBackendFactory::create(const QString &portName, QString &error)
{
    error.clear();
    return BackendModule::create(NetPortAddress::isNetworkName(portName)
                                     ? QStringLiteral("chipctl_netport")
                                     : QStringLiteral("chipctl_localport"),
                                 error);
}
