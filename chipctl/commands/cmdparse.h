#ifndef CMDPARSE_H
#define CMDPARSE_H

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <climits>
#include <cstdint>
#include <initializer_list>
#include <memory>

class ATCMD;
class Serial;
class tranProtocol;
namespace chipfacts {
struct LineStep;
}

// Read by the progress printer of a multi-image flash download.
extern std::atomic<tranProtocol *> activeProtocol;
extern std::atomic<int32_t> downloadFileCount;

// Chipctl's front end: one run, one chip operation. Word 0 of the command
// line names the serial port, word 1 the command, the rest its arguments.
// Prints the data lines of the operation and exactly one result text.
//
// The handlers live in one file per concern: cmdparse.cpp (dispatch, the
// control lines and the boot ROM), cmddownload.cpp, cmdflash.cpp,
// cmdramcode.cpp (eFuse, GPIO, UID, MAC, reset), cmdrftest.cpp (the golden
// machine's and the DUTs' RF tests), cmdcalibration.cpp (crystal and TX
// power values in the ramcode) and cmdrf.cpp (the AT firmware).
class CMD_PARSE : public QObject
{
    Q_OBJECT
public:
    // `configDir` holds chip_info.json and the ramcode image; empty means
    // the Config directory beside the program.
    explicit CMD_PARSE(const QString &configDir = QString(), QObject *parent = nullptr);
    ~CMD_PARSE() override;

    void execute(QStringList args);

private:
    // A handler prints its data lines and returns the result code to print,
    // or `resultPrinted` when it has printed its result text itself.
    static constexpr uint32_t resultPrinted = 0xFFFFFFFFu;
    using Handler = uint32_t (CMD_PARSE::*)();

    // One form of a command: its sub-command word (word 2) and the range of
    // word counts it accepts.
    struct Form
    {
        const char *word;
        int minCount;
        int maxCount;
        Handler handler;
    };
    static constexpr Form exactly(const char *word, int n, Handler h) { return {word, n, n, h}; }
    static constexpr Form atLeast(const char *word, int n, Handler h)
    {
        return {word, n, INT_MAX, h};
    }
    static constexpr Form anyCount(const char *word, Handler h) { return {word, 0, INT_MAX, h}; }
    // Runs the first form whose word and count fit; ERR_PARAMETER if none.
    uint32_t runForms(std::initializer_list<Form> forms);

    uint32_t run();

    // Words of the command line; false when the line is too short.
    bool word(int index, QString &out) const;
    int count() const { return int(words.size()); }
    // Numbers from words; false when the word is missing or not a number.
    bool hexWord(int index, uint32_t &value) const;
    bool decWord(int index, uint32_t &value) const;
    bool signedDecWord(int index, int32_t &value) const;
    // Unchecked: a word that is not a number counts as 0; false only when
    // the word is missing.
    bool uncheckedDecWord(int index, uint32_t &value) const;
    bool uncheckedSignedDecWord(int index, int32_t &value) const;
    // The duration of an RF test in milliseconds, unchecked as the test's
    // other words; false also for a negative one or one above the bound.
    bool rfDurationWord(int index, uint32_t &ms) const;
    // Words that go to the chip as text. A MAC address: six groups of two
    // hexadecimal digits joined by ":". A pin name: not empty, and neither a
    // control character (a line end would start a command of its own) nor
    // a space (which would split it into two words on the chip's line).
    bool macWord(int index, QString &mac) const;
    bool pinWord(int index, QString &pin) const;

    // The ramcode must already run: probes it, never loads it.
    bool ramcodeRunning();

    // Plays a reset sequence on the port's control lines; `pause` waits its
    // pauses (in ms).
    void driveLines(const chipfacts::LineStep *steps, size_t count, void (*pause)(int ms));

    // Commands on the control lines and the boot ROM.
    uint32_t cmdMode();
    uint32_t cmdRts();
    uint32_t cmdDtr();
    uint32_t cmdUsbIo();
    uint32_t cmdEntryBootMode();

    // Downloads.
    uint32_t cmdDownload();
    uint32_t downloadFlash();
    uint32_t downloadRam();
    uint32_t downloadFlashExtend();

    // Flash and OTP.
    uint32_t cmdFlash();
    uint32_t flashReadWithDownload();
    uint32_t flashRead();
    uint32_t printFlash(uint32_t address, uint32_t length);
    uint32_t flashReadBin();
    uint32_t flashErase();
    uint32_t flashEraseAll();
    uint32_t flashOtp();

    // Ramcode: reset, eFuse, GPIO, UID, MAC.
    uint32_t cmdReset();
    uint32_t cmdEfuse();
    uint32_t efuseWrite();
    uint32_t efuseRead();
    uint32_t cmdGpio();
    uint32_t gpioWrite();
    uint32_t gpioRead();
    // Word 3 as a MAC address, ramcode, then `set` with it.
    using SetMac = bool (tranProtocol::*)(const QString &);
    uint32_t setMac(SetMac set);
    uint32_t cmdUuid();
    uint32_t cmdMac();
    uint32_t macWrite();
    uint32_t macRead();
    uint32_t cmdGpioWriteAll();
    uint32_t cmdGpioReadAll();
    uint32_t cmdRfStop();
    uint32_t cmdGmMac();

    // Ramcode: RF tests of the golden machine and the DUTs.
    uint32_t cmdTestGm();
    uint32_t testGmMacGm();
    uint32_t testGmMacDut();
    uint32_t cmdTxGm();
    uint32_t cmdRxGm();
    uint32_t cmdTestDut();
    uint32_t testDutMacGm();
    uint32_t testDutMacDut();
    uint32_t cmdTxDut();
    uint32_t cmdRxDut();

    // Ramcode: crystal and TX power values. The write forms take word 3
    // "ram" or "flash_otp" and a signed decimal word 4; the read forms print
    // the value stored in OTP after `label`.
    using SetValue = bool (tranProtocol::*)(int32_t);
    using GetValue = bool (tranProtocol::*)(int32_t &);
    uint32_t writeValue(SetValue toRam, SetValue toOtp);
    uint32_t readValue(const char *label, GetValue get);
    uint32_t cmdXtalCap();
    uint32_t xtalCapWrite();
    uint32_t xtalCapRead();
    uint32_t cmdTxPowerB();
    uint32_t txPowerBWrite();
    uint32_t txPowerBRead();
    uint32_t cmdTxPowerGn();
    uint32_t txPowerGnWrite();
    uint32_t txPowerGnRead();

    // The chip's normal firmware.
    uint32_t cmdRf();

    QString configDir;
    QStringList words;
    std::unique_ptr<Serial> serial;
    std::unique_ptr<tranProtocol> protocol;
    std::unique_ptr<ATCMD> at;
};

#endif // CMDPARSE_H
