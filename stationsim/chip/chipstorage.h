#ifndef STATIONSIM_CHIPSTORAGE_H
#define STATIONSIM_CHIPSTORAGE_H

#include "chip/chipsetup.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <optional>

namespace stationsim {

// The non-volatile parts of one chip: SPI flash, the flash's OTP area, the
// eFuse words and the flash UID. Kept in a state directory (one JSON file and,
// once written, one flash image per chip) and written through at every change,
// so they survive resets, restarts and crashes of the simulator.
//
// OTP bits only go from 1 to 0 and the area cannot be erased; once locked it
// refuses every write. Calibration values and the MAC live in OTP as records
// appended to their own region (the last record counts), so a chip can be
// calibrated again until its region is full.
class ChipStorage
{
public:
    static constexpr quint32 flashSize = 2 * 1024 * 1024;
    static constexpr quint32 sectorSize = 4096;
    static constexpr int otpSize = 1024;
    static constexpr int efuseWords = 16;

    enum class Value
    {
        Xtal,
        TxPower,
        TxPowerB,
        TxPowerGn
    };

    // OTP layout: user area, then one record region per value.
    static constexpr int otpUserEnd = 0x200;
    static constexpr int macRegion = 0x200; // 36 records of marker + 6 bytes
    static constexpr int macRecord = 7;
    static constexpr int macRecords = 36;
    static constexpr int valueRegionSize = 0x40; // 32 records of marker + value
    static constexpr quint8 recordMarker = 0x5a;
    static int valueRegion(Value v) { return 0x300 + int(v) * valueRegionSize; }

    explicit ChipStorage(const QString &name);

    // Loads the chip's state from dir, or creates it from initial when there
    // is none. dir empty: nothing is kept on disk.
    bool open(const QString &dir, const InitialStorage &initial, bool lockOtp, QString *error);
    QString lastError() const { return saveError; }

    bool flashInRange(quint32 address, quint32 length) const;
    QByteArray flashRead(quint32 address, quint32 length) const;
    bool flashErase(quint32 address, quint32 length);
    void flashEraseAll();
    // Erases the sectors the data covers, then writes it.
    bool flashWrite(quint32 address, const QByteArray &data);

    bool otpInRange(int address, int length) const;
    QByteArray otpRead(int address, int length) const;
    bool otpProgram(int address, quint8 value);
    bool otpLocked() const { return locked; }
    bool lockOtp();
    std::optional<int> otpValue(Value which) const;
    bool setOtpValue(Value which, int value);
    std::optional<QByteArray> otpMac() const;
    bool setOtpMac(const QByteArray &mac);

    quint32 efuse(int index) const { return fuses.value(index); }
    bool burnEfuse(int index, quint32 bits);

    QString flashUid() const { return uid; }

private:
    void create(const InitialStorage &initial);
    bool save();
    bool saveFlash();
    QString jsonPath() const;
    QString flashPath() const;

    QString name;
    QString dir;
    QByteArray flash; // empty until first written: the chip's flash is erased
    QByteArray otp;
    QVector<quint32> fuses;
    bool locked = false;
    QString uid;
    QString saveError;
};

} // namespace stationsim

#endif // STATIONSIM_CHIPSTORAGE_H
