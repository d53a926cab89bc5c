#include "serial.h"

#include "serialbackend.h"
#include "serialbackendfactory.h"
#include "wiretrace.h"

#include <QDebug>

Serial::Serial(QObject *parent)
    : QObject(parent)
{}

Serial::~Serial() = default;

bool Serial::openPort(const QString &name, uint32_t baudRate)
{
    WireTrace *trace = WireTrace::active();
    QString error;
    backend = SerialBackendFactory::create(name, error);
    if (!backend) {
        qWarning().noquote() << QStringLiteral("Chipctl: cannot open %1: %2").arg(name, error);
        if (trace)
            trace->line(QStringLiteral("open %1 %2 failed: %3").arg(name).arg(baudRate).arg(error));
        return false;
    }
    // Connected by name: a backend made by a module carries that module's
    // own copy of SerialBackend's meta-object, whose signals the program's
    // copy would not find by address.
    connect(backend.get(), SIGNAL(readyRead()), this, SLOT(readData()));
    connect(backend.get(), SIGNAL(lost()), this, SLOT(portLost()));
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
