#ifndef CHIPFACTS_H
#define CHIPFACTS_H

#include <QLatin1String>
#include <QString>

#include <array>
#include <cstdint>

// What Chipctl knows of the TK716A, its boot ROM and its ramcode, in one
// place. The simulated station keeps its own copy of these facts on purpose:
// it shares no code with Chipctl, so that each checks the other.
namespace chipfacts {

// The chip model whose boot ROM Chipctl drives, and whose ramcode image is
// loaded for a flash read whatever chip answered.
constexpr char chipName[] = "TK716A";
// The ramcode's answer to "version" (the boot ROM answers with its banner).
constexpr char ramcodeAnswer[] = "RAMCODE";

// The ramcode is loaded into RAM at this address and runs from there.
constexpr uint32_t ramcodeAddress = 0x20000000;
// The rate of the boot ROM after a reset and of the ramcode when it starts;
// every run opens its port at it.
constexpr uint32_t normalBaud = 115200;
// The rate a flash read into a file switches to, and back from.
constexpr uint32_t flashReadBaud = 1000000;
// YMODEM block sizes: the ramcode into RAM, images into flash.
constexpr uint32_t ramBlockSize = 1024;
constexpr uint32_t flashBlockSize = 16384;
// A flash read into a file asks for this many bytes at a time.
constexpr uint32_t flashReadChunk = 512;

// A chip model's ramcode image, in Chipctl's Config directory:
// "TK716A_RAM_BIN.bin".
constexpr char ramcodeImageSuffix[] = "_RAM_BIN.bin";
inline QString ramcodeImage(const QString &chip)
{
    return chip + QLatin1String(ramcodeImageSuffix);
}

// One step of a reset sequence: a control line set to a level (1 asserted,
// 0 released) or a pause.
struct LineStep
{
    enum Kind
    {
        Rts,
        Dtr,
        Pause,
    };
    Kind kind;
    uint32_t value; // the level, or the pause in ms
};

// The wiring: RTS asserted holds the chip in reset; when reset is released
// the chip starts its boot ROM if DTR is asserted at that moment, else its
// firmware.

// "entry_boot_mode": a fixed restart into the boot ROM.
constexpr std::array<LineStep, 11> entryBootMode = {{
    {LineStep::Dtr, 1},
    {LineStep::Rts, 0},
    {LineStep::Pause, 40},
    {LineStep::Rts, 1},
    {LineStep::Dtr, 0},
    {LineStep::Pause, 50},
    {LineStep::Dtr, 1},
    {LineStep::Rts, 0},
    {LineStep::Pause, 100},
    {LineStep::Dtr, 0},
    {LineStep::Pause, 10},
}};

// The reset pulse ahead of a "flash_extend" download: reset held for
// `holdMs`, released with DTR asserted, then `bootMs` for the boot ROM to
// start.
constexpr std::array<LineStep, 6> resetIntoBootRom(uint32_t holdMs, uint32_t bootMs)
{
    return {{
        {LineStep::Rts, 1},
        {LineStep::Dtr, 0},
        {LineStep::Pause, holdMs},
        {LineStep::Dtr, 1},
        {LineStep::Rts, 0},
        {LineStep::Pause, bootMs},
    }};
}

} // namespace chipfacts

#endif // CHIPFACTS_H
