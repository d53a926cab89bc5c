// The module chipctl_localport: Chipctl's serial ports of the platform
// (QSerialPort, and on Linux udev beneath it), loaded only by a run that
// opens one.
#include "backendentry.h"
#include "localport.h"

void chipctlCreateBackend1(std::unique_ptr<SerialBackend> *backend)
{
    *backend = std::make_unique<LocalPort>();
}
