#ifndef STATIONGLOBALS_H
#define STATIONGLOBALS_H

#include <atomic>
#include <cstdint>

// Values shared by the window and the engine's threads.

// Progress of each DUT slot in percent (slot = table row - 1). Written by the
// engine's workers, read by the window for display.
constexpr int dutSlots = 24;
extern std::atomic<uint8_t> progress[dutSlots];

// The crystal value every DUT calibration of the next cycle starts from: its
// low 8 bits read as a signed 8-bit number (244 is -12). The window replaces
// the low byte after a passing device and keeps it in the settings file.
extern std::atomic<int> calVal;

#endif // STATIONGLOBALS_H
