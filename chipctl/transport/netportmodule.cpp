// The module chipctl_netport: Chipctl's network serial ports, on the
// platform's own sockets (TcpStream), loaded only by a run that opens one.
#include "backendentry.h"
#include "netport.h"

void chipctlCreateBackend1(std::unique_ptr<SerialBackend> *backend)
{
    *backend = std::make_unique<NetPort>();
}
