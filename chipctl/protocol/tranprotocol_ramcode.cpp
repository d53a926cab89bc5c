// tranProtocol: the ramcode's text commands and their answer rules.
#include "tranprotocol.h"

#include "answerrules.h"

namespace {

constexpr int pollMs = 10;
constexpr int dumpPollMs = 1;
constexpr unsigned flashTestPolls = 3001;
constexpr uint32_t sector = 4096;

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
                            int intervalMs, const std::function<AnswerState()> &rule)
{
    QByteArray command = word;
    for (const QByteArray &arg : args)
        command += ' ' + arg;
    command += "\r\n";
    sendCommand(command);
    return pollAnswer(polls, intervalMs, rule);
}

bool tranProtocol::exchange(const QByteArray &word, const QList<QByteArray> &args,
                            const std::function<AnswerState()> &rule)
{
    return exchange(word, args, waitCount + 1, pollMs, rule);
}

bool tranProtocol::confirmCommand(const QByteArray &word, const QList<QByteArray> &args)
{
    return exchange(word, args, [&] { return answerRules::confirm(recvBuf); });
}

bool tranProtocol::passFailCommand(const QByteArray &word, const QList<QByteArray> &args)
{
    return exchange(word, args, [&] { return answerRules::passFail(recvBuf); });
}

bool tranProtocol::hexDumpCommand(const QByteArray &word, const QList<QByteArray> &args,
                                  uint32_t length, QString &dump)
{
    QString result;
    const bool ok = exchange(word, args, waitCount + 1, dumpPollMs,
                             [&] { return answerRules::hexDump(recvBuf, length, result); });
    if (ok)
        dump = result;
    return ok;
}

bool tranProtocol::taggedCommand(const QByteArray &word, const QByteArray &tag, int32_t &value)
{
    return exchange(word, {}, [&] { return answerRules::taggedValue(recvBuf, tag, value); });
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
    return exchange("filecount", {}, [&] { return answerRules::fileCount(recvBuf, count); });
}

bool tranProtocol::reboot()
{
    sendCommand("reboot\r\n");
    return true;
}

// The line may still be arriving when the marker is first seen far enough
// from the end: it is given one more poll to settle before it is read.
bool tranProtocol::getFlashUid(QString &uid)
{
    return exchange("flash_uid", {}, [&] {
        if (!answerRules::flashUidArrived(recvBuf))
            return AnswerState::Pending;
        waitMs(pollMs);
        return answerRules::flashUid(recvBuf, uid);
    });
}

bool tranProtocol::efuseRead(uint8_t index, QString &word)
{
    return exchange("efuse_read", {dec(index)},
                    [&] { return answerRules::efuseWord(recvBuf, word); });
}

bool tranProtocol::efuseWrite(uint8_t index, uint32_t value)
{
    return confirmCommand("efuse_write", {dec(index), hex(value)});
}

bool tranProtocol::flashRead(uint32_t address, uint32_t length, QString &dump)
{
    return hexDumpCommand("flash_read", {hex(address), hex(length)}, length, dump);
}

bool tranProtocol::otpRead(uint32_t address, uint32_t length, QString &dump)
{
    return hexDumpCommand("flash_otp_read", {dec(address), dec(length)}, length, dump);
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
    return exchange("flash_otp_get_lock_state", {},
                    [&] { return answerRules::lockState(recvBuf, state); });
}

bool tranProtocol::gpioWrite(const QString &pin, uint32_t value)
{
    return confirmCommand("gpio_write", {text(pin), dec(value)});
}

bool tranProtocol::gpioRead(const QString &pin, int32_t &value)
{
    return exchange("gpio_read", {text(pin)},
                    [&] { return answerRules::gpioValue(recvBuf, value); });
}

bool tranProtocol::gpioWriteAll(uint32_t mask)
{
    return confirmCommand("gpio_write_all", {hex(mask)});
}

bool tranProtocol::gpioReadAll(int32_t &value)
{
    uint32_t levels = 0;
    const bool ok =
        exchange("gpio_read_all", {}, [&] { return answerRules::gpioLevels(recvBuf, levels); });
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
    return exchange("get_m_local_mac", {},
                    [&] { return answerRules::macLine(recvBuf, true, mac); });
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
    return exchange("get_mac_in_flash_otp", {},
                    [&] { return answerRules::macLine(recvBuf, false, mac); });
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
bool tranProtocol::rfLinesCommand(const QByteArray &command, uint32_t duration,
                                  const std::function<AnswerState()> &rule)
{
    sendCommand(command);
    if (duration < uint32_t(pollMs)) {
        waitMs(pollMs);
        return false;
    }
    return pollAnswer(duration / pollMs, pollMs, rule);
}

bool tranProtocol::startMTxTest(uint8_t n, QStringList &lines, uint32_t duration, uint32_t channel)
{
    lines.clear();
    return rfLinesCommand("start_m_tx_test " + dec(duration) + ' ' + dec(channel) + "\r\n",
                          duration, [&] { return answerRules::masterTxLines(recvBuf, n, lines); });
}

bool tranProtocol::startSRxTest(QStringList &lines, uint32_t duration, uint32_t channel)
{
    lines.clear();
    return rfLinesCommand("start_s_rx_test " + dec(duration) + ' ' + dec(channel) + "\r\n",
                          duration, [&] { return answerRules::slaveRxLines(recvBuf, lines); });
}

bool tranProtocol::flashDump(uint32_t address, uint32_t length, QString &text)
{
    const bool ok = passFailCommand("fdump", {hex(address), hex(length)});
    if (ok)
        text = QString::fromUtf8(answerRules::untilNul(recvBuf));
    return ok;
}

bool tranProtocol::flashTest(QString &text)
{
    bool passed = false;
    const bool answered = exchange("flash_test", {}, flashTestPolls, pollMs, [&] {
        if (recvBuf.contains("no"))
            passed = true;
        else if (!recvBuf.contains("pos"))
            return AnswerState::Pending;
        return AnswerState::Accepted;
    });
    if (answered)
        text = QString::fromUtf8(answerRules::untilNul(recvBuf));
    return answered && passed;
}

bool tranProtocol::flashInfo(QString &text)
{
    return exchange("flash_info", {}, [&] {
        if (recvBuf.contains("Byte")) {
            text = QString::fromUtf8(answerRules::untilNul(recvBuf));
            return AnswerState::Accepted;
        }
        return recvBuf.contains("ffff") ? AnswerState::Rejected : AnswerState::Pending;
    });
}
