#ifndef CRC16_H
#define CRC16_H

#include <QByteArray>

#include <cstddef>
#include <cstdint>

// CRC-16/XMODEM: polynomial 0x1021, initial value 0, no reflection, no final
// XOR. YMODEM blocks carry it high byte first after their data field, and the
// ramcode appends it to every hex dump of flash.
uint16_t crc16(const char *data, std::size_t size);
uint16_t crc16(const QByteArray &data);

#endif // CRC16_H
