#ifndef STATIONSIM_RAMCODE_H
#define STATIONSIM_RAMCODE_H

#include "chip/commandset.h"

#include <QHash>

namespace stationsim {

// The ramcode: the RAM-resident command firmware the station loads into a
// chip. It answers the flash, OTP, eFuse, GPIO, MAC, calibration and RF test
// commands with the markers the host looks for ("pppp" when done, "ffff" when
// an erase or address command fails, tagged values, hex dumps signed with a
// CRC-16, RF sample lines). A command it refuses gets no answer at all.
class Ramcode : public CommandSet
{
public:
    static constexpr char versionText[] = "\r\nTK716A RAMCODE V1.0 (simulated)\r\n";
    static constexpr int maxDump = 65536;
    static constexpr int gpioCount = 16;
    static constexpr int measureMs = 30; // time the radio listens before it reports

    explicit Ramcode(SimChip &chip);
    void command(const QByteArray &line) override;

    int crystal() const { return cal; }
    QByteArray transmitMac() const { return txMac; }

    // Helpers shared with the tests of the answer formats.
    static QByteArray macFromText(const QByteArray &text); // 6 bytes, or empty
    static QByteArray macToText(const QByteArray &mac, char separator = ':');
    static QByteArray hexDump(const QByteArray &data);

private:
    using Args = QList<QByteArray>;
    using Handler = void (Ramcode::*)(const Args &);
    static const QHash<QByteArray, Handler> &handlers();

    void confirm(const QByteArray &before = QByteArray());
    void passFail(bool ok);
    QByteArray macAnswer(const QByteArray &mac) const;
    int gpioPin(const QByteArray &name) const;

    void version(const Args &);
    void baudrate(const Args &);
    void ferase(const Args &);
    void feraseAll(const Args &);
    void startaddr(const Args &);
    void filecount(const Args &);
    void upgrade(const Args &);
    void reboot(const Args &);
    void flashUid(const Args &);
    void efuseRead(const Args &);
    void efuseWrite(const Args &);
    void flashRead(const Args &);
    void otpRead(const Args &);
    void otpWrite(const Args &);
    void otpErase(const Args &);
    void otpLock(const Args &);
    void otpLockState(const Args &);
    void gpioWrite(const Args &);
    void gpioRead(const Args &);
    void gpioWriteAll(const Args &);
    void gpioReadAll(const Args &);
    void rfStop(const Args &);
    void getMLocalMac(const Args &);
    void setMLocalMac(const Args &);
    void setMTestDeviceMac(const Args &);
    void startMRxTest(const Args &);
    void setSRemoteMac(const Args &);
    void setSLocalMac(const Args &);
    void startSTxTest(const Args &);
    void setXtalInRam(const Args &);
    void setXtalInOtp(const Args &);
    void getXtalInOtp(const Args &);
    void getMacInOtp(const Args &);
    void setMacInOtp(const Args &);
    void getTxpBInOtp(const Args &);
    void setTxpBInRam(const Args &);
    void setTxpBInOtp(const Args &);
    void getTxpGnInOtp(const Args &);
    void setTxpGnInRam(const Args &);
    void setTxpGnInOtp(const Args &);
    void startMTxTest(const Args &);
    void startSRxTest(const Args &);
    void fdump(const Args &);
    void flashTest(const Args &);
    void flashInfo(const Args &);

    void getOtpValue(int which, const char *tag);
    void setOtpValue(int which, const Args &args);
    void startTransmit(const Args &args, const QByteArray &mac);

    int cal = 0;
    int txpB = 0;
    int txpGn = 0;
    QByteArray mLocalMac;
    QByteArray sRemoteMac;
    QByteArray sLocalMac;
    QByteArray txMac;
    QHash<int, QByteArray> testDeviceMacs;
    quint32 startAddr = 0;
    int fileCount = 0;
    quint32 gpioLevels = 0;
};

} // namespace stationsim

#endif // STATIONSIM_RAMCODE_H
