#ifndef CYCLEVALUES_H
#define CYCLEVALUES_H

#include <atomic>
#include <cstdint>

// What a front end and the cycles it runs share, one object per front end
// (its cycle controller owns it); a cycle reaches it through its parameters
// (testPara_t::values, deviceInfo_t::progressPtr), never through a name of
// the process.
//
// - `progress`: each DUT slot's progress in percent (slot = table row - 1).
//   Written by the DUT workers and the cycle thread, read by the front end
//   for display; one byte a slot, no lock.
// - `calVal`: the crystal value every DUT calibration of the next cycle
//   starts from, its low 8 bits read as a signed 8-bit number (244 is -12).
//   The front end replaces the low byte after a passing device, between
//   cycles, and keeps it in the settings file; the engine only reads it.
class CycleValues
{
public:
    static constexpr int dutSlots = 24;
    static constexpr int initialCalVal = 244;

    std::atomic<uint8_t> progress[dutSlots] = {};
    std::atomic<int> calVal{initialCalVal};

    // The progress byte of a slot; nullptr for a slot the station has not.
    std::atomic<uint8_t> *progressOf(int slot);

    // The crystal value calibrations start from: calVal's low byte, signed.
    int8_t calStart() const { return lowByte(calVal.load()); }
    // Replaces calVal's low byte; its other bits stay.
    void setCalStart(int8_t value) { calVal.store(withLowByte(calVal.load(), value)); }

    static int8_t lowByte(int value) { return int8_t(uint8_t(value & 0xff)); }
    static int withLowByte(int value, int8_t low) { return (value & ~0xff) | int(uint8_t(low)); }
};

#endif // CYCLEVALUES_H
