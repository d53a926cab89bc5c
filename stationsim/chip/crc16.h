#ifndef STATIONSIM_CRC16_H
#define STATIONSIM_CRC16_H

#include <QByteArray>

namespace stationsim {

// The chip's own CRC-16 (polynomial 0x1021, initial value 0, MSB first), used
// to check YMODEM blocks and to sign flash dumps. Computed bit by bit, as the
// boot ROM does it.
quint16 chipCrc16(const char *data, int size);
inline quint16 chipCrc16(const QByteArray &data)
{
    return chipCrc16(data.constData(), data.size());
}

} // namespace stationsim

#endif // STATIONSIM_CRC16_H
