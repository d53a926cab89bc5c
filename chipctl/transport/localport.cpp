#include "localport.h"

#include <QSerialPort>

#ifdef Q_OS_WIN
#include <QRegularExpression>
#endif

LocalPort::LocalPort()
    : port(std::make_unique<QSerialPort>())
{
    connect(port.get(), &QSerialPort::readyRead, this, &SerialBackend::readyRead);
    // Queued: the port is closed outside its own notification handling.
    connect(port.get(), &QSerialPort::errorOccurred, this, &LocalPort::portError,
            Qt::QueuedConnection);
}

LocalPort::~LocalPort() = default;

bool LocalPort::open(const QString &name, uint32_t baudRate)
{
#ifdef Q_OS_WIN
    // Windows names its ports without regard to case, but Qt puts the
    // "\\.\" that COM10 and above need only before an upper-case "COM":
    // "com12" as an operator types it would not open.
    static const QRegularExpression comName(QStringLiteral("^com[0-9]+$"),
                                            QRegularExpression::CaseInsensitiveOption);
    port->setPortName(comName.match(name).hasMatch() ? name.toUpper() : name);
#else
    port->setPortName(name);
#endif
    port->setBaudRate(qint32(baudRate), QSerialPort::AllDirections);
    port->setDataBits(QSerialPort::Data8);
    port->setParity(QSerialPort::NoParity);
    port->setStopBits(QSerialPort::OneStop);
    port->setFlowControl(QSerialPort::NoFlowControl);
    return port->open(QIODevice::ReadWrite);
}

// A port closed after its device went away is left alone: Qt would only
// complain that it is not open.
QByteArray LocalPort::readAll()
{
    return port->isOpen() ? port->readAll() : QByteArray();
}

bool LocalPort::write(const QByteArray &data)
{
    if (!port->isOpen() || port->write(data) < 0)
        return false;
    // flush() hands the bytes to the driver; wait only for what it could
    // not take yet (waiting with nothing left would idle the full 50 ms).
    if (!port->flush())
        return true;
    if (port->bytesToWrite() > 0)
        port->waitForBytesWritten(50);
    return true;
}

// A device that went away reports a resource error (an adapter pulled) or a
// read error (a read that finds the end of a pseudo-terminal whose other side
// closed), and its port would report data ready for ever without any: the
// port is closed, so nothing is waited on any more, and the loss announced.
void LocalPort::portError()
{
    const QSerialPort::SerialPortError error = port->error();
    if ((error != QSerialPort::ResourceError && error != QSerialPort::ReadError) || !port->isOpen())
        return;
    port->close();
    emit lost();
}

void LocalPort::setBaudRate(uint32_t baudRate)
{
    if (port->isOpen())
        port->setBaudRate(qint32(baudRate), QSerialPort::AllDirections);
}

void LocalPort::setDataTerminalReady(bool on)
{
    if (port->isOpen())
        port->setDataTerminalReady(on);
}

void LocalPort::setRequestToSend(bool on)
{
    if (port->isOpen())
        port->setRequestToSend(on);
}
