#ifndef SERIAL_H
#define SERIAL_H

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

class SerialBackend;

// Chipctl's only connection to the chip: passes every received byte on as a
// signal, writes bytes, changes the baud rate and drives RTS and DTR (which
// reset the chip and select its boot ROM). The port name chooses the
// backend: "rfc2217://HOST:PORT" and "socket://HOST:PORT" reach a network
// serial port, anything else a serial port of the platform.
class Serial : public QObject
{
    Q_OBJECT
public:
    explicit Serial(QObject *parent = nullptr);
    ~Serial() override;

    // Opens the port 8N1 without flow control at `baudRate`; on success
    // releases RTS, then DTR.
    bool openPort(const QString &name, uint32_t baudRate);

signals:
    void recvSerialData(QByteArray data);
    // The port went away mid-run; every wait for an answer ends at once.
    void linkLost();

private slots:
    void readData();
    void portLost();

public slots:
    void setBaudRate(uint32_t baudRate);
    bool sendData(QByteArray sendData);
    bool setDTR(uint32_t val);
    bool setRTS(uint32_t val);

private:
    std::unique_ptr<SerialBackend> backend;
};

#endif // SERIAL_H
