#include "serial.h"

#include "localport.h"
#include "netport.h"
#include "netportaddress.h"
#include "serialbackend.h"

namespace {

std::unique_ptr<SerialBackend> backendFor(const QString &name);

} // namespace

Serial::Serial(QObject *parent)
    : QObject(parent)
{}

Serial::~Serial() = default;

bool Serial::openPort(const QString &name, uint32_t baudRate)
{
    backend = backendFor(name);
    if (!backend)
        return false;
    connect(backend.get(), &SerialBackend::readyRead, this, &Serial::readData);
    if (!backend->open(name, baudRate)) {
        backend.reset();
        return false;
    }
    backend->setRequestToSend(false);
    backend->setDataTerminalReady(false);
    return true;
}

void Serial::readData()
{
    if (!backend)
        return;
    const QByteArray data = backend->readAll();
    if (!data.isEmpty())
        emit recvSerialData(data);
}

void Serial::setBaudRate(uint32_t baudRate)
{
    if (backend)
        backend->setBaudRate(baudRate);
}

bool Serial::sendData(QByteArray sendData)
{
    if (!backend)
        return false;
    if (sendData.isEmpty())
        return true;
    return backend->write(sendData);
}

bool Serial::setDTR(uint32_t val)
{
    if (backend)
        backend->setDataTerminalReady(val != 0);
    return true;
}

bool Serial::setRTS(uint32_t val)
{
    if (backend)
        backend->setRequestToSend(val != 0);
    return true;
}

namespace {

// "rfc2217://..." and "socket://..." are network serial ports; every other
// name is a serial port of the platform.
std::unique_ptr<SerialBackend> backendFor(const QString &name)
{
    if (NetPortAddress::isNetworkName(name))
        return std::make_unique<NetPort>();
    return std::make_unique<LocalPort>();
}

} // namespace
