#include "localport.h"

#include <QSerialPort>

LocalPort::LocalPort()
    : port(std::make_unique<QSerialPort>())
{
    connect(port.get(), &QSerialPort::readyRead, this, &SerialBackend::readyRead);
}

LocalPort::~LocalPort() = default;

bool LocalPort::open(const QString &name, uint32_t baudRate)
{
    port->setPortName(name);
    port->setBaudRate(qint32(baudRate), QSerialPort::AllDirections);
    port->setDataBits(QSerialPort::Data8);
    port->setParity(QSerialPort::NoParity);
    port->setStopBits(QSerialPort::OneStop);
    port->setFlowControl(QSerialPort::NoFlowControl);
    return port->open(QIODevice::ReadWrite);
}

QByteArray LocalPort::readAll()
{
    return port->readAll();
}

bool LocalPort::write(const QByteArray &data)
{
    if (port->write(data) < 0)
        return false;
    // flush() hands the bytes to the driver; wait only for what it could
    // not take yet (waiting with nothing left would idle the full 50 ms).
    if (!port->flush())
        return true;
    if (port->bytesToWrite() > 0)
        port->waitForBytesWritten(50);
    return true;
}

void LocalPort::setBaudRate(uint32_t baudRate)
{
    port->setBaudRate(qint32(baudRate), QSerialPort::AllDirections);
}

void LocalPort::setDataTerminalReady(bool on)
{
    port->setDataTerminalReady(on);
}

void LocalPort::setRequestToSend(bool on)
{
    port->setRequestToSend(on);
}
