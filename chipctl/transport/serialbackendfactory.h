#ifndef SERIALBACKENDFACTORY_H
#define SERIALBACKENDFACTORY_H

#include <QString>

#include <memory>

class SerialBackend;

// Makes the backend a port name needs: "rfc2217://..." and "socket://..."
// a network port, anything else a serial port of the platform.
//
// Two builds of it exist. The Chipctl program loads each backend from a
// module of its own on first use (serialbackendfactory_modules.cpp), so a
// run on a local port never loads the network stack and a run on a network
// port never loads the serial-port library; a run that opens no port loads
// neither. The library the tests and tools link has both backends built in
// (serialbackendfactory_linked.cpp).
class SerialBackendFactory
{
public:
    // The backend for `portName`; null, with the reason in `error`, when it
    // cannot be had (its module missing or not loadable).
    static std::unique_ptr<SerialBackend> create(const QString &portName, QString &error);
};

#endif // SERIALBACKENDFACTORY_H
