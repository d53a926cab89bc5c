#include "serial.h"

#include "localport.h"
#include "netport.h"
#include "netportaddress.h"
#include "serialbackend.h"
#include "wiretrace.h"

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
    connect(backend.get(), &SerialBackend::lost, this, &Serial::portLost);
    WireTrace *trace = WireTrace::active();
    if (!backend->open(name, baudRate)) {
        backend.reset();
        if (trace)
            trace->line(QStringLiteral("open %1 %2 failed").arg(name).arg(baudRate));
        return false;
    }
    if (trace)
        trace->line(QStringLiteral("open %1 %2").arg(name).arg(baudRate));
    setRTS(0);
    setDTR(0);
    return true;
}

void Serial::readData()
{
    if (!backend)
        return;
    const QByteArray data = backend->readAll();
    if (data.isEmpty())
        return;
    if (WireTrace *trace = WireTrace::active())
        trace->received(data);
    emit recvSerialData(data);
}

void Serial::portLost()
{
    if (WireTrace *trace = WireTrace::active())
        trace->line(QStringLiteral("link lost"));
    emit linkLost();
}

void Serial::setBaudRate(uint32_t baudRate)
{
    if (!backend)
        return;
    if (WireTrace *trace = WireTrace::active())
        trace->line(QStringLiteral("baud %1").arg(baudRate));
    backend->setBaudRate(baudRate);
}

bool Serial::sendData(QByteArray sendData)
{
    if (!backend)
        return false;
    if (sendData.isEmpty())
        return true;
    if (WireTrace *trace = WireTrace::active())
        trace->sent(sendData);
    return backend->write(sendData);
}

bool Serial::setDTR(uint32_t val)
{
    if (!backend)
        return true;
    if (WireTrace *trace = WireTrace::active())
        trace->line(QStringLiteral("dtr %1").arg(val != 0 ? 1 : 0));
    backend->setDataTerminalReady(val != 0);
    return true;
}

bool Serial::setRTS(uint32_t val)
{
    if (!backend)
        return true;
    if (WireTrace *trace = WireTrace::active())
        trace->line(QStringLiteral("rts %1").arg(val != 0 ? 1 : 0));
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
