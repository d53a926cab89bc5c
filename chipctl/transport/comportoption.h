#ifndef COMPORTOPTION_H
#define COMPORTOPTION_H

#include <QByteArray>

#include <cstdint>

// The telnet COM-PORT-OPTION (44) requests a network serial port client
// sends, as complete subnegotiations ready for the wire, and the server's
// answers (the request's code + 100 and the value now in force).
namespace ComPortOption {

enum Code : uint8_t
{
    SetBaudRate = 1,
    SetDataSize = 2,
    SetParity = 3,
    SetStopSize = 4,
    SetControl = 5,
};

// Values of SET-PARITY, SET-STOPSIZE and SET-CONTROL.
constexpr uint8_t parityNone = 1;
constexpr uint8_t stopBitsOne = 1;
constexpr uint8_t controlNoFlowControl = 1;
constexpr uint8_t controlDtrOn = 8;
constexpr uint8_t controlDtrOff = 9;
constexpr uint8_t controlRtsOn = 11;
constexpr uint8_t controlRtsOff = 12;

// The code a server answers a request with.
constexpr uint8_t serverAnswer(Code request)
{
    return uint8_t(request + 100);
}

QByteArray setBaudRate(uint32_t baudRate);
QByteArray setDataSize(uint8_t bits);
QByteArray setParity(uint8_t parity);
QByteArray setStopSize(uint8_t stopBits);
QByteArray setControl(uint8_t control);
// The line as Chipctl always uses it: `baudRate`, 8 data bits, no parity,
// one stop bit.
QByteArray lineSettings(uint32_t baudRate);

// Reads the baud rate out of a server's answer to SET-BAUDRATE (the
// subnegotiation's payload after the option byte). False for any other
// payload.
bool readBaudRateAnswer(const QByteArray &payload, uint32_t &baudRate);

} // namespace ComPortOption

#endif // COMPORTOPTION_H
