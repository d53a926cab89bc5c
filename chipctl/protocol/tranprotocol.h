#ifndef TRANPROTOCOL_H
#define TRANPROTOCOL_H

#include "answerbuffer.h"
#include "answerwait.h"
#include "chipinfo.h"
#include "waitms.h"
#include "ymodemprotocol.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>

// The host side of the chip's serial protocol. After reset the chip runs its
// boot ROM, which answers "version" with its banner; the ramcode, loaded into
// RAM by YMODEM, answers with "RAMCODE" and takes text commands. Answers are
// recognised by marker substrings anywhere in the bytes received since the
// command was sent, once the answer is whole; every command empties the
// receive buffer just before it is sent, after taking in whatever had
// already arrived (the tail of an earlier answer belongs to that answer).
class tranProtocol : public QObject
{
    Q_OBJECT
public:
    // `configDir` holds chip_info.json and the ramcode images; empty means
    // the Config directory beside the program.
    explicit tranProtocol(const QString &configDir = QString(), QObject *parent = nullptr);
    ~tranProtocol() override;

    // Line control, forwarded to the serial link.
    bool driveRTS(uint32_t val);
    bool driveDTR(uint32_t val);

    // Probes with "version" (about 110 ms) and names what answered: a chip
    // name from the chip information file (boot ROM) or "RAMCODE".
    bool getMode(QString &answer);
    // The same probe with `waitCount` + 1 polls.
    bool waitVersion(QString &answer);
    // Up to 40 probes until the ramcode answers; never loads anything.
    bool enterRamcode();
    // Switches chip and host to `baudRate` and checks that the chip answers.
    bool changeBaudRate(uint32_t baudRate);
    // The boot ROM's form of the switch; adjusts `waitCount` to the rate.
    bool setBootBaudRate(uint32_t baudRate);
    // True if "ok" came back to "AT".
    bool checkAT();

    bool loadChipInfo();
    bool readChipBanner(const QString &name, QString &banner) const;

    // Ramcode commands. Each empties the receive buffer, sends one command
    // line and waits up to `waitCount` + 1 polls of 10 ms for its answer,
    // judged as soon as the whole answer is in. False on a refusal, a
    // time-out or a lost link; after a time-out output arguments keep their
    // contents. Addresses go out as "0x" and lower-case hexadecimal.

    // Erases whole 4 KiB sectors covering the range.
    bool flashErase(uint32_t address, uint32_t length);
    bool flashEraseAll();
    // The flash address the next "upgrade" writes to.
    bool setStartAddr(uint32_t address);
    // Images written to flash since the ramcode started.
    bool getFileCount(uint32_t &count);
    // Restarts the chip into its firmware; nothing is awaited.
    bool reboot();
    // "0x" and 32 hexadecimal digits.
    bool getFlashUid(QString &uid);
    // "0x" and 8 hexadecimal digits.
    bool efuseRead(uint8_t index, QString &word);
    bool efuseWrite(uint8_t index, uint32_t value);
    // Hex dumps: "xx " for each byte, then the CRC-16 of the data as two
    // more bytes (the last without its trailing space). Polled every 1 ms.
    // A dump whose items are not bytes or whose CRC does not match the data
    // is no answer (the wait runs to its end).
    bool flashRead(uint32_t address, uint32_t length, QString &dump);
    bool otpRead(uint32_t address, uint32_t length, QString &dump);
    // The byte goes out as a signed 8-bit number (255 as -1).
    bool otpWrite(uint32_t address, uint8_t value);
    bool otpErase(uint32_t address, uint32_t length);
    bool otpLock();
    // 0 unlocked, 1 locked.
    bool otpLockState(uint32_t &state);
    bool gpioWrite(const QString &pin, uint32_t value);
    bool gpioRead(const QString &pin, int32_t &value);
    bool gpioWriteAll(uint32_t mask);
    // The levels of all pins as one number, bit n for pin n.
    bool gpioReadAll(int32_t &value);
    bool rfStop();
    // The golden machine's MAC; waits for a line with five ":".
    bool getMLocalMac(QString &mac);
    bool setMLocalMac(const QString &mac);
    bool setMTestDeviceMac(uint8_t slot, const QString &mac);
    bool startMRxTest(uint32_t sendInterval, uint32_t duration, uint32_t channel);
    bool setSRemoteMac(const QString &mac);
    bool setSLocalMac(const QString &mac);
    bool startSTxTest(uint32_t sendInterval, uint32_t duration, uint32_t channel);
    bool setXtalCapInRam(int32_t value);
    bool setXtalCapInOtp(int32_t value);
    bool getXtalCapInOtp(int32_t &value);
    // The MAC stored in OTP; true with `mac` unchanged when none is stored.
    bool getMacInOtp(QString &mac);
    bool setMacInOtp(const QString &mac);
    bool getTxpBInOtp(int32_t &value);
    bool setTxpBInRam(int32_t value);
    bool setTxpBInOtp(int32_t value);
    bool getTxpGnInOtp(int32_t &value);
    bool setTxpGnInRam(int32_t value);
    bool setTxpGnInOtp(int32_t value);
    // RF tests: wait up to `duration` ms for the result lines ("rssi:" lines
    // of n devices; "rssi=" lines of 20 samples with their "freq=" lines).
    bool startMTxTest(uint8_t n, QStringList &lines, uint32_t duration, uint32_t channel);
    bool startSRxTest(QStringList &lines, uint32_t duration, uint32_t channel);
    // Reads a flash range into a file in 512-byte chunks at 1000000 baud,
    // checking each chunk's CRC; a length that is not a multiple of 512 is
    // rounded up. Leaves `waitCount` at 100. The dump goes to a temporary
    // file beside `path`, which replaces `path` only once the whole range
    // has been read: a failed read leaves `path` as it was. A `path` that
    // exists but is no regular file (a directory, a FIFO, a device) is
    // refused before anything is sent.
    bool readToFile(uint32_t address, uint32_t length, const QString &path);

    // Commands no command of the tool uses.
    bool flashDump(uint32_t address, uint32_t length, QString &text);
    bool flashTest(QString &text);
    bool flashInfo(QString &text);

    // Downloads. downloadRam loads an image into RAM from the boot ROM with
    // 1024-byte blocks; upgradeFile writes one into flash at the last start
    // address with 16384-byte blocks. Both refuse a file that cannot be
    // opened or is empty before anything is sent.
    bool downloadRam(uint32_t address, const QString &path);
    bool upgradeFile(const QString &path);
    // The whole flash download: probe, ramcode, flash UID, baud-rate switch,
    // optional whole-flash erase (`eraseFlag` 1), every image, file count.
    // Returns 0 or one of the DownloadResult codes.
    uint32_t downloadFlash(uint32_t baudRate, const QList<uint32_t> &addresses,
                           const QStringList &paths, uint32_t eraseFlag);

    enum DownloadResult : uint32_t
    {
        DownloadOk = 0,
        DownloadNoChip = 514,
        DownloadRamcodeFailed = 769,
        DownloadBaudRateFailed = 1027,
        DownloadEraseFailed = 1031,
        DownloadWriteFailed = 1033,
        DownloadFileCountFailed = 1025
    };
    // The text of a downloadFlash failure code; empty for 0 and unknown codes.
    static QString downloadFlashText(uint32_t code);

    // The YMODEM sender; its `progress` is read by the progress printer.
    yModemProtocol &ymodem() { return sender; }
    const yModemProtocol &ymodem() const { return sender; }
    // The result of the last YMODEM transfer (see yModemProtocol::Result).
    uint8_t lastTransferResult() const { return transferResult; }

    const QStringList &chipNames() const { return chips.names; }
    const QString &configDir() const { return configPath; }

    QString flashUid;
    // Steps of a flash download finished so far; read by the progress printer.
    std::atomic<float> doneSteps{0.0f};
    // How many 10 ms polls waitVersion and the ramcode commands wait.
    uint32_t waitCount = 1000;
    bool ymodemRunning = false;

signals:
    void sendData(QByteArray data);
    void setBaudRate(uint32_t baudRate);
    void sendDataToYodem(QByteArray data);
    void setRTS(uint32_t val);
    void setDTR(uint32_t val);

public slots:
    void recvData(QByteArray data);
    void sendDataFromYmodem(QByteArray data);
    // The serial link is gone: every wait for an answer ends at once.
    void linkLost();

private:
    // Takes in what has already arrived (it answered something earlier),
    // empties the receive buffer, which keeps at most `capacity` bytes of the
    // answer, and sends one command.
    void sendCommand(const QByteArray &command, qint64 capacity = AnswerBuffer::defaultCapacity);
    // Switches the host's side of the line to `baudRate`.
    void switchHostRate(uint32_t baudRate);
    // Waits up to `polls` polls for a recognisable answer to a "version"
    // already sent.
    bool awaitVersion(unsigned polls, QString &answer);
    bool probeVersion(unsigned polls, QString &answer);
    // The common exchange of the ramcode commands: the command word and its
    // arguments, each after one space, then "\r\n"; waits `polls` polls of
    // `intervalMs` for the rule, named `name` in the wire trace, with room
    // for `capacity` bytes of answer.
    bool exchange(const QByteArray &word, const QList<QByteArray> &args, unsigned polls,
                  int intervalMs, const char *name, const AnswerRule &rule,
                  qint64 capacity = AnswerBuffer::defaultCapacity);
    bool exchange(const QByteArray &word, const QList<QByteArray> &args, const char *name,
                  const AnswerRule &rule);
    bool confirmCommand(const QByteArray &word, const QList<QByteArray> &args = {});
    bool passFailCommand(const QByteArray &word, const QList<QByteArray> &args = {});
    bool hexDumpCommand(const QByteArray &word, const QList<QByteArray> &args, uint32_t length,
                        QString &dump, bool checkCrc);
    // flashRead without the check of the dump: readToFile judges each chunk
    // itself, and a chunk whose CRC does not match ends the read.
    bool flashReadChunk(uint32_t address, uint32_t length, QString &dump);
    bool taggedCommand(const QByteArray &word, const QByteArray &tag, int32_t &value);
    bool rfLinesCommand(const QByteArray &command, uint32_t duration, qint64 capacity,
                        const AnswerRule &rule);
    bool readChunk(uint32_t address, qint64 received, QByteArray &chunk);
    // Runs the sender on `path` with `blockSize`, routing received bytes to
    // it meanwhile; true when the receiver acknowledged the closing block.
    bool runTransfer(const QString &path, uint32_t blockSize);
    // Up to 40 version probes; true with the answer of the first success.
    bool probeMode(QString &answer);
    // Reads until the link has been quiet for a settle time (see
    // tranprotocol_core.cpp), so that the late tail of a "version" answer is
    // not taken as part of the next command's answer.
    void settle();

    AnswerBuffer recvBuf;
    // A "version" answer was recognised and the next command must wait for
    // the rest of it: settled just before that command goes out, so that a
    // run whose last exchange it was does not wait.
    bool settleBeforeNext = false;
    yModemProtocol sender;
    QString configPath;
    chipInfo chips;
    uint8_t transferResult = 0;
};

#endif // TRANPROTOCOL_H
