#ifndef STATIONSIM_BOOTROM_H
#define STATIONSIM_BOOTROM_H

#include "chip/commandset.h"

namespace stationsim {

// The TK716A boot ROM: announces itself at start, answers "version" with its
// build date and time, switches the baud rate, and loads an image into RAM by
// YMODEM ("download [rambin] [0xADDR] [SIZE]"), which it starts as the
// ramcode when it is one; any other image stops the chip until reset.
class BootRom : public CommandSet
{
public:
    static constexpr char banner[] = "Mar 14 2021/00:23:32";
    static constexpr quint32 ramStart = 0x20000000;
    static constexpr quint32 ramSize = 256 * 1024;

    using CommandSet::CommandSet;
    void start();
    void command(const QByteArray &line) override;

    // "baudrate N" or "baudrate [boot][N]"; 0 when the line is no valid rate.
    static quint32 parseBaud(const QList<QByteArray> &words);

private:
    void download(const QList<QByteArray> &words);
};

} // namespace stationsim

#endif // STATIONSIM_BOOTROM_H
