#ifndef SERIALBACKEND_H
#define SERIALBACKEND_H

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>

// One way of reaching the chip's serial line: a platform serial port or a
// network serial port. `Serial` owns exactly one backend for the run.
class SerialBackend : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // Opens the line at `baudRate`, 8N1, no flow control. Returns false when
    // the port cannot be opened.
    virtual bool open(const QString &name, uint32_t baudRate) = 0;
    // Every byte received so far and not yet taken.
    virtual QByteArray readAll() = 0;
    // Writes the bytes and waits up to 50 ms for them to leave. False on a
    // write error.
    virtual bool write(const QByteArray &data) = 0;
    virtual void setBaudRate(uint32_t baudRate) = 0;
    // Control lines; the change is on the line before the call returns.
    virtual void setDataTerminalReady(bool on) = 0;
    virtual void setRequestToSend(bool on) = 0;

signals:
    void readyRead();
    // The line is gone for good (a USB adapter pulled, the other side of a
    // pseudo-terminal closed, the server's connection closed): no byte will
    // come any more. Emitted once, after the last bytes were announced.
    void lost();
};

#endif // SERIALBACKEND_H
