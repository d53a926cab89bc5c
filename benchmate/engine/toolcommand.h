#ifndef TOOLCOMMAND_H
#define TOOLCOMMAND_H

#include <QString>
#include <QStringList>

#include <cstdint>

// The chip tool's command words, for every run the engine makes: each
// builder gives the words after the port name (the caller puts the port of
// the unit addressed first; toolVersion() goes alone). Numbers are decimal, negative ones with a
// minus sign.
class ToolCommand
{
public:
    // The golden machine, set up by the cycle.
    static QStringList goldenMac();      // "gm_mac"
    static QStringList readCrystalOtp(); // "xtal_cap read flash_otp"
    static QStringList rxGolden(uint32_t sendInterval, uint32_t duration, uint8_t channel);
    static QStringList txGolden(uint32_t duration, uint8_t channel);

    // A DUT, by its RX worker.
    static QStringList entryBootMode();
    static QStringList downloadRam(const QString &path); // at the ramcode's load address
    static QStringList setGoldenMac(const QString &mac); // "test_dut mac_gm MAC"
    static QStringList setDutMac(const QString &mac);    // "test_dut mac_dut MAC"
    static QStringList flashUid();                       // "uuid"
    static QStringList rxDut(uint32_t duration, uint8_t channel);
    static QStringList writeCrystalOtp(int value);

    // A DUT's transmit test, run by the cycle.
    static QStringList txDut(uint32_t sendInterval, uint32_t duration, uint8_t channel);

    // Either unit.
    static QStringList writeCrystalRam(int value); // "xtal_cap write ram VALUE"
    static QStringList rfStop();

    // The tool's own version, asked without a port: "version".
    static QStringList toolVersion();

    // The boot-mode wait: the probe, and the pulse that restarts the unit
    // into its boot ROM ("usb_io 0 1 100 1 0 50": reset held with DTR
    // released, then released with DTR asserted).
    static QStringList readMode(); // "mode read"
    static QStringList bootPulse();
};

#endif // TOOLCOMMAND_H
