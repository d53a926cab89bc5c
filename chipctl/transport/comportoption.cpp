#include "comportoption.h"

#include "telnetcodec.h"

namespace ComPortOption {

namespace {

QByteArray request(Code code, const QByteArray &value)
{
    QByteArray payload(1, char(code));
    payload.append(value);
    return TelnetCodec::subnegotiation(TelnetCodec::optionComPort, payload);
}

QByteArray oneByte(Code code, uint8_t value)
{
    return request(code, QByteArray(1, char(value)));
}

} // namespace

QByteArray setBaudRate(uint32_t baudRate)
{
    QByteArray value(4, '\0');
    value[0] = char(baudRate >> 24);
    value[1] = char(baudRate >> 16);
    value[2] = char(baudRate >> 8);
    value[3] = char(baudRate);
    return request(SetBaudRate, value);
}

QByteArray setDataSize(uint8_t bits)
{
    return oneByte(SetDataSize, bits);
}

QByteArray setParity(uint8_t parity)
{
    return oneByte(SetParity, parity);
}

QByteArray setStopSize(uint8_t stopBits)
{
    return oneByte(SetStopSize, stopBits);
}

QByteArray setControl(uint8_t control)
{
    return oneByte(SetControl, control);
}

QByteArray lineSettings(uint32_t baudRate)
{
    return setBaudRate(baudRate) + setDataSize(8) + setParity(parityNone) +
           setStopSize(stopBitsOne);
}

bool readBaudRateAnswer(const QByteArray &payload, uint32_t &baudRate)
{
    if (payload.size() != 5 || uint8_t(payload.at(0)) != serverAnswer(SetBaudRate))
        return false;
    baudRate = uint32_t(uint8_t(payload.at(1))) << 24 | uint32_t(uint8_t(payload.at(2))) << 16 |
               uint32_t(uint8_t(payload.at(3))) << 8 | uint32_t(uint8_t(payload.at(4)));
    return true;
}

} // namespace ComPortOption
