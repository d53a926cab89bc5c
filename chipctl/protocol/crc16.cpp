#include "crc16.h"

#include <array>

namespace {

// The byte-wise table of polynomial 0x1021, built once at compile time.
constexpr std::array<uint16_t, 256> makeTable()
{
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t value = uint16_t(i << 8);
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 0x8000) ? uint16_t((value << 1) ^ 0x1021) : uint16_t(value << 1);
        table[i] = value;
    }
    return table;
}

constexpr std::array<uint16_t, 256> crcTable = makeTable();

static_assert(crcTable[1] == 0x1021 && crcTable[255] == 0x1ef0, "CRC-16/XMODEM table");

} // namespace

uint16_t crc16(const char *data, std::size_t size)
{
    uint16_t crc = 0;
    for (std::size_t i = 0; i < size; ++i)
        crc = uint16_t((crc << 8) ^ crcTable[((crc >> 8) ^ uint8_t(data[i])) & 0xff]);
    return crc;
}

uint16_t crc16(const QByteArray &data)
{
    return crc16(data.constData(), std::size_t(data.size()));
}
