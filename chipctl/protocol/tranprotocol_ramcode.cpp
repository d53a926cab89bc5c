// tranProtocol: the ramcode's text commands and their answer rules.
#include "tranprotocol.h"

#include "answerrules.h"

namespace {

constexpr int pollMs = 10;
constexpr int dumpPollMs = 1;
constexpr unsigned flashTestPolls = 3001;
constexpr uint32_t sector = 4096;

// Room for an answer: what the command asks for (a dump, a listing, RF
// lines) and a few lines more; never less than an ordinary answer.
qint64 roomFor(qint64 expected)
{
    constexpr qint64 largest = qint64(1) << 30;
    return qMin(largest, expected + AnswerBuffer::defaultCapacity);
}
// Three characters a byte and the two CRC bytes after "\r\n".
qint64 dumpRoom(uint32_t length)
{
    return roomFor(3 * qint64(length) + 8);
}
// "fdump" lists 16 bytes a line: an address, then "xx " for each byte.
qint64 listingRoom(uint32_t length)
{
    return roomFor(5 * qint64(length));
}
// RF result lines, with room for long ones and for lines the test reports
// besides.
constexpr qint64 rfLineRoom = 128;
qint64 rfRoom(int lines)
{
    return roomFor(qint64(lines) * rfLineRoom + 64 * 1024);
}

QByteArray hex(uint32_t value)
{
    return "0x" + QByteArray::number(value, 16);
}

QByteArray dec(uint32_t value)
{
    return QByteArray::number(value);
}

QByteArray sdec(int32_t value)
{
    return QByteArray::number(value);
}

QByteArray text(const QString &value)
{
    return value.toUtf8();
}

} // namespace

bool tranProtocol::exchange(const QByteArray &word, const QList<QByteArray> &args, unsigned polls,
                            int intervalMs, const char *name, const AnswerRule &rule,
                            qint64 capacity)
{
    QByteArray command = word;
    for (const QByteArray &arg : args)
        command += ' ' + arg;
    command += "\r\n";
    sendCommand(command, capacity);
    return awaitAnswer(recvBuf, polls, intervalMs, name, rule);
}

bool tranProtocol::exchange(const QByteArray &word, const QList<QByteArray> &args, const char *name,
                            const AnswerRule &rule)
{
    return exchange(word, args, waitCount + 1, pollMs, name, rule);
}

bool tranProtocol::confirmCommand(const QByteArray &word, const QList<QByteArray> &args)
{
    return exchange(word, args, "confirm",
                    [](const Answer &answer) { return answerRules::confirm(answer); });
}

bool tranProtocol::passFailCommand(const QByteArray &word, const QList<QByteArray> &args)
{
    return exchange(word, args, "pass/fail",
                    [](const Answer &answer) { return answerRules::passFail(answer); });
}

bool tranProtocol::hexDumpCommand(const QByteArray &word, const QList<QByteArray> &args,
                                  uint32_t length, QString &dump, bool checkCrc)
{
    QString result;
    const bool ok = exchange(
        word, args, waitCount + 1, dumpPollMs, "hex dump",
        [&](const Answer &answer) {
            return checkCrc ? answerRules::checkedDump(answer, length, result)
                            : answerRules::hexDump(answer, length, result);
        },
        dumpRoom(length));
    if (ok)
        dump = result;
    return ok;
}

bool tranProtocol::taggedCommand(const QByteArray &word, const QByteArray &tag, int32_t &value)
{
    return exchange(word, {}, "tagged value", [&](const Answer &answer) {
        return answerRules::taggedValue(answer, tag, value);
    });
}

// The sector-aligned range: the address rounded down on its own, the length
// rounded up as ((length - 1) & ~0xfff) + 4096 in 32 bits, so 0 goes out as 0.
bool tranProtocol::flashErase(uint32_t address, uint32_t length)
{
    const uint32_t start = address & ~(sector - 1);
    const uint32_t size = ((length - 1) & ~(sector - 1)) + sector;
    return passFailCommand("ferase", {hex(start), hex(size)});
}

bool tranProtocol::flashEraseAll()
{
    return passFailCommand("ferase_all");
}

bool tranProtocol::setStartAddr(uint32_t address)
{
    return passFailCommand("startaddr", {hex(address)});
}

bool tranProtocol::getFileCount(uint32_t &count)
{
    return exchange("filecount", {}, "file count",
                    [&](const Answer &answer) { return answerRules::fileCount(answer, count); });
}

bool tranProtocol::reboot()
{
    sendCommand("reboot\r\n");
    return true;
}

bool tranProtocol::getFlashUid(QString &uid)
{
    return exchange("flash_uid", {}, "flash uid",
                    [&](const Answer &answer) { return answerRules::flashUid(answer, uid); });
}

bool tranProtocol::efuseRead(uint8_t index, QString &word)
{
    return exchange("efuse_read", {dec(index)}, "efuse word",
                    [&](const Answer &answer) { return answerRules::efuseWord(answer, word); });
}

bool tranProtocol::efuseWrite(uint8_t index, uint32_t value)
{
    return confirmCommand("efuse_write", {dec(index), hex(value)});
}

bool tranProtocol::flashRead(uint32_t address, uint32_t length, QString &dump)
{
    return hexDumpCommand("flash_read", {hex(address), hex(length)}, length, dump, true);
}

bool tranProtocol::flashReadChunk(uint32_t address, uint32_t length, QString &dump)
{
    return hexDumpCommand("flash_read", {hex(address), hex(length)}, length, dump, false);
}

bool tranProtocol::otpRead(uint32_t address, uint32_t length, QString &dump)
{
    return hexDumpCommand("flash_otp_read", {dec(address), dec(length)}, length, dump, true);
}

bool tranProtocol::otpWrite(uint32_t address, uint8_t value)
{
    return confirmCommand("flash_otp_write", {dec(address), sdec(int8_t(value))});
}

bool tranProtocol::otpErase(uint32_t address, uint32_t length)
{
    return confirmCommand("flash_otp_erase", {dec(address), dec(length)});
}

bool tranProtocol::otpLock()
{
    return confirmCommand("flash_otp_lock");
}

bool tranProtocol::otpLockState(uint32_t &state)
{
    return exchange("flash_otp_get_lock_state", {}, "lock state",
                    [&](const Answer &answer) { return answerRules::lockState(answer, state); });
}

bool tranProtocol::gpioWrite(const QString &pin, uint32_t value)
{
    return confirmCommand("gpio_write", {text(pin), dec(value)});
}

bool tranProtocol::gpioRead(const QString &pin, int32_t &value)
{
    return exchange("gpio_read", {text(pin)}, "gpio value",
                    [&](const Answer &answer) { return answerRules::gpioValue(answer, value); });
}

bool tranProtocol::gpioWriteAll(uint32_t mask)
{
    return confirmCommand("gpio_write_all", {hex(mask)});
}

bool tranProtocol::gpioReadAll(int32_t &value)
{
    uint32_t levels = 0;
    const bool ok = exchange("gpio_read_all", {}, "gpio levels", [&](const Answer &answer) {
        return answerRules::gpioLevels(answer, levels);
    });
    if (ok)
        value = int32_t(levels);
    return ok;
}

bool tranProtocol::rfStop()
{
    return confirmCommand("rf_stop");
}

bool tranProtocol::getMLocalMac(QString &mac)
{
    return exchange("get_m_local_mac", {}, "mac line, strict",
                    [&](const Answer &answer) { return answerRules::macLine(answer, true, mac); });
}

bool tranProtocol::setMLocalMac(const QString &mac)
{
    return confirmCommand("set_m_local_mac", {text(mac)});
}

bool tranProtocol::setMTestDeviceMac(uint8_t slot, const QString &mac)
{
    return confirmCommand("set_m_test_device_mac", {dec(slot), text(mac)});
}

bool tranProtocol::startMRxTest(uint32_t sendInterval, uint32_t duration, uint32_t channel)
{
    return confirmCommand("start_m_rx_test", {dec(sendInterval), dec(duration), dec(channel)});
}

bool tranProtocol::setSRemoteMac(const QString &mac)
{
    return confirmCommand("set_s_remote_mac", {text(mac)});
}

bool tranProtocol::setSLocalMac(const QString &mac)
{
    return confirmCommand("set_s_local_mac", {text(mac)});
}

bool tranProtocol::startSTxTest(uint32_t sendInterval, uint32_t duration, uint32_t channel)
{
    return confirmCommand("start_s_tx_test", {dec(sendInterval), dec(duration), dec(channel)});
}

bool tranProtocol::setXtalCapInRam(int32_t value)
{
    return confirmCommand("set_xtal_cap_in_ram", {sdec(value)});
}

bool tranProtocol::setXtalCapInOtp(int32_t value)
{
    return confirmCommand("set_xtal_cap_in_flash_otp", {sdec(value)});
}

bool tranProtocol::getXtalCapInOtp(int32_t &value)
{
    return taggedCommand("get_xtal_cap_in_flash_otp", "xtal_cap:", value);
}

bool tranProtocol::getMacInOtp(QString &mac)
{
    return exchange("get_mac_in_flash_otp", {}, "mac line, lenient",
                    [&](const Answer &answer) { return answerRules::macLine(answer, false, mac); });
}

bool tranProtocol::setMacInOtp(const QString &mac)
{
    return confirmCommand("set_mac_in_flash_otp", {text(mac)});
}

bool tranProtocol::getTxpBInOtp(int32_t &value)
{
    return taggedCommand("get_txp_b_in_flash_otp", "b:", value);
}

bool tranProtocol::setTxpBInRam(int32_t value)
{
    return confirmCommand("set_txp_b_in_ram", {sdec(value)});
}

bool tranProtocol::setTxpBInOtp(int32_t value)
{
    return confirmCommand("set_txp_b_in_flash_otp", {sdec(value)});
}

bool tranProtocol::getTxpGnInOtp(int32_t &value)
{
    return taggedCommand("get_txp_gn_in_flash_otp", "gn:", value);
}

bool tranProtocol::setTxpGnInRam(int32_t value)
{
    return confirmCommand("set_txp_gn_in_ram", {sdec(value)});
}

bool tranProtocol::setTxpGnInOtp(int32_t value)
{
    return confirmCommand("set_txp_gn_in_flash_otp", {sdec(value)});
}

// The RF tests' duration is also how long the host waits for the results:
// the lines are looked at every 10 ms (and as they arrive) for `duration` ms.
bool tranProtocol::rfLinesCommand(const QByteArray &command, uint32_t duration, qint64 capacity,
                                  const AnswerRule &rule)
{
    sendCommand(command, capacity);
    if (duration < uint32_t(pollMs)) {
        waitMs(pollMs);
        return false;
    }
    return awaitAnswer(recvBuf, duration / pollMs, pollMs, "rf lines", rule);
}

bool tranProtocol::startMTxTest(uint8_t n, QStringList &lines, uint32_t duration, uint32_t channel)
{
    lines.clear();
    return rfLinesCommand(
        "start_m_tx_test " + dec(duration) + ' ' + dec(channel) + "\r\n", duration, rfRoom(20 * n),
        [&](const Answer &answer) { return answerRules::masterTxLines(answer, n, lines); });
}

bool tranProtocol::startSRxTest(QStringList &lines, uint32_t duration, uint32_t channel)
{
    lines.clear();
    return rfLinesCommand(
        "start_s_rx_test " + dec(duration) + ' ' + dec(channel) + "\r\n", duration, rfRoom(20),
        [&](const Answer &answer) { return answerRules::slaveRxLines(answer, lines); });
}

bool tranProtocol::flashDump(uint32_t address, uint32_t length, QString &text)
{
    const bool ok = exchange(
        "fdump", {hex(address), hex(length)}, waitCount + 1, pollMs, "pass/fail",
        [](const Answer &answer) { return answerRules::passFail(answer); }, listingRoom(length));
    if (ok)
        text = QString::fromUtf8(answerRules::untilNul(recvBuf.bytes()));
    return ok;
}

bool tranProtocol::flashTest(QString &text)
{
    bool passed = false;
    const bool answered =
        exchange("flash_test", {}, flashTestPolls, pollMs, "flash test", [&](const Answer &answer) {
            if (!answer.complete)
                return AnswerState::Pending;
            if (answer.bytes.contains("no"))
                passed = true;
            else if (!answer.bytes.contains("pos"))
                return AnswerState::Pending;
            return AnswerState::Accepted;
        });
    if (answered)
        text = QString::fromUtf8(answerRules::untilNul(recvBuf.bytes()));
    return answered && passed;
}

bool tranProtocol::flashInfo(QString &text)
{
    return exchange("flash_info", {}, "flash info", [&](const Answer &answer) {
        if (!answer.complete)
            return AnswerState::Pending;
        if (answer.bytes.contains("Byte")) {
            text = QString::fromUtf8(answerRules::untilNul(answer.bytes));
            return AnswerState::Accepted;
        }
        return answer.bytes.contains("ffff") ? AnswerState::Rejected : AnswerState::Pending;
    });
}
