#ifndef LOCALPORT_H
#define LOCALPORT_H

#include "serialbackend.h"

#include <memory>

class QSerialPort;

// A serial port of the platform (COM3, ttyUSB0, /dev/ttyUSB0).
class LocalPort : public SerialBackend
{
    Q_OBJECT
public:
    LocalPort();
    ~LocalPort() override;

    bool open(const QString &name, uint32_t baudRate) override;
    QByteArray readAll() override;
    bool write(const QByteArray &data) override;
    void setBaudRate(uint32_t baudRate) override;
    void setDataTerminalReady(bool on) override;
    void setRequestToSend(bool on) override;

private slots:
    void portError();

private:
    std::unique_ptr<QSerialPort> port;
};

#endif // LOCALPORT_H
