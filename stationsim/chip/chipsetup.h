#ifndef STATIONSIM_CHIPSETUP_H
#define STATIONSIM_CHIPSETUP_H

#include "chip/answerpacer.h"
#include "wire/deliverymodel.h"

#include <QList>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace stationsim {

// What the ramcode sends 2 to 20 ms after its answer to "version" (a fault):
// nothing, an empty line ("\r\n"), or a stray confirmation ("\r\npppp\r\n").
enum class VersionTail
{
    None,
    LineEnd,
    Confirmation
};

// Faults a simulated chip can be given by a scenario. The defaults describe a
// healthy chip.
struct ChipFaults
{
    bool silent = false;             // never answers anything
    bool ignoreResets = false;       // RTS and DTR have no effect
    bool refuseImage = false;        // the boot ROM never starts a downloaded image
    int nakBlocks = 0;               // NAK the first N data blocks of every transfer
    int cancelAfterBlocks = -1;      // cancel a transfer after N good data blocks
    double lineNoise = 0.0;          // chance per byte of a flipped bit, both directions
    int answerDelayMs = 0;           // extra delay before every answer
    int rfSamples = 20;              // sample lines of an RF measurement
    bool xtalNeverConverges = false; // frequency offset ignores the crystal value
    bool otpLocked = false;          // OTP locked at start-up
    bool malformedMac = false;       // MAC answers use '-' instead of ':'
    int unplugAfterCommands = -1;    // goes dead after N command lines
    bool refuseBaud = false;         // ignores "baudrate" commands
    VersionTail versionTail = VersionTail::None; // a late tail after "version"
};

// The chip's radio and crystal.
struct ChipRadio
{
    int optimum = 0;        // crystal value at which the own frequency error is zero
    double slope = 2.0;     // kHz of frequency offset per crystal step
    double freqNoise = 1.0; // kHz, standard deviation of one frequency sample
    double pathLoss = 48.0; // dB between this chip and the golden machine
    double txPower = 0.0;   // dBm
    double rssiNoise = 1.0; // dB, standard deviation of one RSSI sample
};

// A chip whose transmitter drifts (an ageing golden machine): after its
// `afterCycles`th transmission its crystal optimum and its TX power move by
// `optimum` steps and `txPower` dB, at once or over the next `rampCycles`
// transmissions. A chip transmits once a test cycle, so these count cycles.
// It changes what others measure of the chip, not what its own receiver
// measures nor what it holds in OTP.
struct ChipDrift
{
    int afterCycles = -1; // -1: no drift
    int rampCycles = 0;   // 0: a step
    double optimum = 0;   // crystal steps
    double txPower = 0;   // dB

    // The share of the drift reached at the chip's `transmission`th
    // transmission (counted from 1): 0 before it sets in, 1 when whole.
    double reached(int transmission) const
    {
        if (afterCycles < 0 || transmission <= afterCycles)
            return 0;
        if (rampCycles <= 0)
            return 1;
        return qMin(1.0, double(transmission - afterCycles) / double(rampCycles));
    }
};

// What a chip holds when its state directory has nothing for it yet.
struct InitialStorage
{
    QString mac; // empty: blank OTP
    std::optional<int> xtal;
    std::optional<int> txPower;
    std::optional<int> txPowerB;
    std::optional<int> txPowerGn;
    QString flashUid; // 32 hexadecimal digits; empty: derived from the name
};

enum class StartMode
{
    Firmware,
    BootRom,
    Ramcode
};

struct ChipSetup
{
    QString name; // "gm", "dut01" ... "dut24"
    int slot = 0; // 0 golden machine, 1..24 DUT
    StartMode start = StartMode::Firmware;
    quint32 baud = 115200;
    Delivery delivery = Delivery::Usb; // how the chip's bytes reach the host
    ChipPace pace = ChipPace::Fast;    // how fast its firmware prints an answer
    ChipRadio radio;
    ChipDrift drift;
    ChipFaults faults;
    InitialStorage storage;
};

struct StationSetup
{
    int basePort = 7000; // 0: choose a free range
    int duts = 24;
    quint32 seed = 1;
    QList<ChipSetup> chips; // golden machine first, then dut01 ... in order
};

} // namespace stationsim

#endif // STATIONSIM_CHIPSETUP_H
