#include "chip/ramcode.h"

#include "chip/bootrom.h"
#include "chip/crc16.h"
#include "chip/rfmedium.h"
#include "chip/simchip.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace stationsim {

namespace {
const QByteArray pass = "\r\npppp\r\n";
const QByteArray fail = "\r\nffff\r\n";

bool hexWord(const QByteArray &word, quint32 *out)
{
    QByteArray digits = word;
    if (digits.startsWith("0x") || digits.startsWith("0X"))
        digits = digits.mid(2);
    if (digits.isEmpty() || digits.size() > 8)
        return false;
    bool ok = false;
    const qulonglong value = digits.toULongLong(&ok, 16);
    if (ok)
        *out = quint32(value);
    return ok;
}

bool decWord(const QByteArray &word, qint64 min, qint64 max, int *out)
{
    bool ok = false;
    const qlonglong value = word.toLongLong(&ok, 10);
    if (!ok || value < min || value > max)
        return false;
    *out = int(value);
    return true;
}

bool validChannel(int channel)
{
    return channel >= 1 && channel <= 14;
}
} // namespace

Ramcode::Ramcode(SimChip &chip)
    : CommandSet(chip)
{
    // What the ramcode reads from OTP when it starts.
    const ChipStorage &store = chip.storage();
    cal = store.otpValue(ChipStorage::Value::Xtal).value_or(0);
    txpB = store.otpValue(ChipStorage::Value::TxPowerB).value_or(0);
    txpGn = store.otpValue(ChipStorage::Value::TxPowerGn).value_or(0);
    mLocalMac = store.otpMac().value_or(QByteArray());
    sLocalMac = mLocalMac;
}

const QHash<QByteArray, Ramcode::Handler> &Ramcode::handlers()
{
    static const QHash<QByteArray, Handler> table = {
        {"version", &Ramcode::version},
        {"baudrate", &Ramcode::baudrate},
        {"ferase", &Ramcode::ferase},
        {"ferase_all", &Ramcode::feraseAll},
        {"startaddr", &Ramcode::startaddr},
        {"filecount", &Ramcode::filecount},
        {"upgrade", &Ramcode::upgrade},
        {"reboot", &Ramcode::reboot},
        {"flash_uid", &Ramcode::flashUid},
        {"efuse_read", &Ramcode::efuseRead},
        {"efuse_write", &Ramcode::efuseWrite},
        {"flash_read", &Ramcode::flashRead},
        {"flash_otp_read", &Ramcode::otpRead},
        {"flash_otp_write", &Ramcode::otpWrite},
        {"flash_otp_erase", &Ramcode::otpErase},
        {"flash_otp_lock", &Ramcode::otpLock},
        {"flash_otp_get_lock_state", &Ramcode::otpLockState},
        {"gpio_write", &Ramcode::gpioWrite},
        {"gpio_read", &Ramcode::gpioRead},
        {"gpio_write_all", &Ramcode::gpioWriteAll},
        {"gpio_read_all", &Ramcode::gpioReadAll},
        {"rf_stop", &Ramcode::rfStop},
        {"get_m_local_mac", &Ramcode::getMLocalMac},
        {"set_m_local_mac", &Ramcode::setMLocalMac},
        {"set_m_test_device_mac", &Ramcode::setMTestDeviceMac},
        {"start_m_rx_test", &Ramcode::startMRxTest},
        {"set_s_remote_mac", &Ramcode::setSRemoteMac},
        {"set_s_local_mac", &Ramcode::setSLocalMac},
        {"start_s_tx_test", &Ramcode::startSTxTest},
        {"set_xtal_cap_in_ram", &Ramcode::setXtalInRam},
        {"set_xtal_cap_in_flash_otp", &Ramcode::setXtalInOtp},
        {"get_xtal_cap_in_flash_otp", &Ramcode::getXtalInOtp},
        {"get_mac_in_flash_otp", &Ramcode::getMacInOtp},
        {"set_mac_in_flash_otp", &Ramcode::setMacInOtp},
        {"get_txp_b_in_flash_otp", &Ramcode::getTxpBInOtp},
        {"set_txp_b_in_ram", &Ramcode::setTxpBInRam},
        {"set_txp_b_in_flash_otp", &Ramcode::setTxpBInOtp},
        {"get_txp_gn_in_flash_otp", &Ramcode::getTxpGnInOtp},
        {"set_txp_gn_in_ram", &Ramcode::setTxpGnInRam},
        {"set_txp_gn_in_flash_otp", &Ramcode::setTxpGnInOtp},
        {"start_m_tx_test", &Ramcode::startMTxTest},
        {"start_s_rx_test", &Ramcode::startSRxTest},
        {"fdump", &Ramcode::fdump},
        {"flash_test", &Ramcode::flashTest},
        {"flash_info", &Ramcode::flashInfo},
    };
    return table;
}

void Ramcode::command(const QByteArray &line)
{
    QList<QByteArray> w = words(line);
    if (w.isEmpty())
        return;
    const QByteArray name = w.takeFirst();
    const auto it = handlers().constFind(name);
    if (it == handlers().constEnd()) {
        chip.reply(fail);
        return;
    }
    (this->*it.value())(w);
}

QByteArray Ramcode::macFromText(const QByteArray &text)
{
    const QList<QByteArray> parts = text.split(':');
    if (parts.size() != 6)
        return QByteArray();
    QByteArray mac;
    for (const QByteArray &part : parts) {
        bool ok = false;
        const uint value = part.toUInt(&ok, 16);
        if (part.size() != 2 || !ok)
            return QByteArray();
        mac.append(char(value));
    }
    return mac;
}

QByteArray Ramcode::macToText(const QByteArray &mac, char separator)
{
    return mac.toHex(separator);
}

QByteArray Ramcode::hexDump(const QByteArray &data)
{
    // "\r\n", then "xx " for every byte and for both bytes of the CRC-16.
    const quint16 crc = chipCrc16(data);
    QByteArray signedData = data;
    signedData.append(char(crc >> 8));
    signedData.append(char(crc & 0xff));
    QByteArray out = "\r\n";
    out.reserve(2 + 3 * signedData.size());
    const QByteArray hex = signedData.toHex();
    for (int i = 0; i < hex.size(); i += 2) {
        out.append(hex.mid(i, 2));
        out.append(' ');
    }
    return out;
}

void Ramcode::confirm(const QByteArray &before)
{
    // Data lines first, the confirmation last: every answer rule of the host
    // ends its wait on the answer's last line, so nothing trails behind.
    chip.reply(before.isEmpty() ? pass : before + "pppp\r\n");
}

void Ramcode::passFail(bool ok)
{
    chip.reply(ok ? pass : fail);
}

QByteArray Ramcode::macAnswer(const QByteArray &mac) const
{
    // The MAC on the line after the first line end, then the confirmation.
    const char separator = chip.setup().faults.malformedMac ? '-' : ':';
    return "\r\n" + macToText(mac, separator) + "\r\npppp\r\n";
}

int Ramcode::gpioPin(const QByteArray &name) const
{
    QByteArray digits = name.toUpper();
    if (digits.startsWith("GPIO"))
        digits = digits.mid(4);
    int pin = -1;
    if (!decWord(digits, 0, gpioCount - 1, &pin))
        return -1;
    return pin;
}

void Ramcode::version(const Args &)
{
    chip.replyVersion(versionText);
}

void Ramcode::baudrate(const Args &args)
{
    QList<QByteArray> w = args;
    w.prepend("baudrate");
    if (const quint32 baud = BootRom::parseBaud(w))
        chip.requestBaud(baud);
}

void Ramcode::ferase(const Args &args)
{
    quint32 address = 0, length = 0;
    passFail(args.size() == 2 && hexWord(args.at(0), &address) && hexWord(args.at(1), &length) &&
             chip.storage().flashErase(address, length));
}

void Ramcode::feraseAll(const Args &)
{
    chip.storage().flashEraseAll();
    passFail(true);
}

void Ramcode::startaddr(const Args &args)
{
    quint32 address = 0;
    const bool ok =
        args.size() == 1 && hexWord(args.at(0), &address) && address < ChipStorage::flashSize;
    if (ok)
        startAddr = address;
    passFail(ok);
}

void Ramcode::filecount(const Args &)
{
    chip.reply("\r\nfc:" + QByteArray::number(fileCount) + "\r\n");
}

void Ramcode::upgrade(const Args &)
{
    YmodemReceiver::Options options;
    options.stxSize = 16384;
    options.maxSize = qint64(ChipStorage::flashSize - startAddr);
    options.nakBlocks = chip.setup().faults.nakBlocks;
    options.cancelAfterBlocks = chip.setup().faults.cancelAfterBlocks;
    const quint32 address = startAddr;
    Ramcode *self = this;
    chip.receiveFile(options, [self, address](bool ok, const QByteArray &image, const QString &) {
        if (ok && self->chip.storage().flashWrite(address, image))
            ++self->fileCount;
    });
}

void Ramcode::reboot(const Args &)
{
    chip.rebootIntoFirmware();
}

void Ramcode::flashUid(const Args &)
{
    confirm("\r\nflash uid:0x" + chip.storage().flashUid().toLatin1() + "\r\n");
}

void Ramcode::efuseRead(const Args &args)
{
    int index = 0;
    if (args.size() != 1 || !decWord(args.at(0), 0, ChipStorage::efuseWords - 1, &index))
        return;
    const QByteArray word =
        QByteArray::number(chip.storage().efuse(index), 16).rightJustified(8, '0');
    confirm("\r\nefuse data:0x" + word + "\r\n");
}

void Ramcode::efuseWrite(const Args &args)
{
    int index = 0;
    quint32 value = 0;
    if (args.size() != 2 || !decWord(args.at(0), 0, ChipStorage::efuseWords - 1, &index) ||
        !hexWord(args.at(1), &value))
        return;
    if (chip.storage().burnEfuse(index, value))
        confirm();
}

void Ramcode::flashRead(const Args &args)
{
    quint32 address = 0, length = 0;
    if (args.size() != 2 || !hexWord(args.at(0), &address) || !hexWord(args.at(1), &length) ||
        length > quint32(maxDump) || !chip.storage().flashInRange(address, length))
        return;
    chip.reply(hexDump(chip.storage().flashRead(address, length)));
}

void Ramcode::otpRead(const Args &args)
{
    int address = 0, length = 0;
    if (args.size() != 2 || !decWord(args.at(0), 0, ChipStorage::otpSize, &address) ||
        !decWord(args.at(1), 0, ChipStorage::otpSize, &length) ||
        !chip.storage().otpInRange(address, length))
        return;
    chip.reply(hexDump(chip.storage().otpRead(address, length)));
}

void Ramcode::otpWrite(const Args &args)
{
    int address = 0, value = 0;
    if (args.size() != 2 || !decWord(args.at(0), 0, ChipStorage::otpSize - 1, &address) ||
        !decWord(args.at(1), -128, 255, &value))
        return;
    if (chip.storage().otpProgram(address, quint8(value)))
        confirm();
}

void Ramcode::otpErase(const Args &)
{
    // One-time programmable: there is no way back to 1 bits. Refused.
}

void Ramcode::otpLock(const Args &)
{
    if (chip.storage().lockOtp())
        confirm();
}

void Ramcode::otpLockState(const Args &)
{
    confirm(chip.storage().otpLocked() ? "\r\nsta:1\r\n" : "\r\nsta:0\r\n");
}

void Ramcode::gpioWrite(const Args &args)
{
    const int pin = args.size() == 2 ? gpioPin(args.at(0)) : -1;
    int level = 0;
    if (pin < 0 || !decWord(args.at(1), 0, 255, &level))
        return; // any level above 0 drives the pin high
    gpioLevels = level ? (gpioLevels | (1u << pin)) : (gpioLevels & ~(1u << pin));
    confirm();
}

void Ramcode::gpioRead(const Args &args)
{
    const int pin = args.size() == 1 ? gpioPin(args.at(0)) : -1;
    if (pin < 0)
        return;
    confirm("\r\ngpio val:0x" + QByteArray::number((gpioLevels >> pin) & 1u) + "\r\n");
}

void Ramcode::gpioWriteAll(const Args &args)
{
    quint32 mask = 0;
    if (args.size() != 1 || !hexWord(args.at(0), &mask))
        return;
    gpioLevels = mask & ((1u << gpioCount) - 1);
    confirm();
}

void Ramcode::gpioReadAll(const Args &)
{
    confirm("\r\ngpio val:0x" + QByteArray::number(gpioLevels, 16).rightJustified(4, '0') + "\r\n");
}

void Ramcode::rfStop(const Args &)
{
    chip.stopTransmitting();
    confirm();
}

void Ramcode::getMLocalMac(const Args &)
{
    if (mLocalMac.isEmpty()) {
        confirm("\r\nmac not set\r\n");
        return;
    }
    chip.reply(macAnswer(mLocalMac));
}

void Ramcode::setMLocalMac(const Args &args)
{
    const QByteArray mac = args.size() == 1 ? macFromText(args.at(0)) : QByteArray();
    if (mac.isEmpty())
        return;
    mLocalMac = mac;
    confirm();
}

void Ramcode::setMTestDeviceMac(const Args &args)
{
    int slot = 0;
    const QByteArray mac = args.size() == 2 ? macFromText(args.at(1)) : QByteArray();
    if (mac.isEmpty() || !decWord(args.at(0), 0, 255, &slot))
        return;
    testDeviceMacs.insert(slot, mac);
    confirm();
}

void Ramcode::startTransmit(const Args &args, const QByteArray &mac)
{
    int interval = 0, duration = 0, channel = 0;
    if (args.size() != 3 || !decWord(args.at(0), 0, INT_MAX, &interval) ||
        !decWord(args.at(1), 0, INT_MAX, &duration) || !decWord(args.at(2), 0, 255, &channel) ||
        !validChannel(channel))
        return;
    txMac = mac;
    chip.transmit(channel);
    confirm();
}

void Ramcode::startMRxTest(const Args &args)
{
    startTransmit(args, mLocalMac);
}

void Ramcode::setSRemoteMac(const Args &args)
{
    const QByteArray mac = args.size() == 1 ? macFromText(args.at(0)) : QByteArray();
    if (mac.isEmpty())
        return;
    sRemoteMac = mac;
    confirm();
}

void Ramcode::setSLocalMac(const Args &args)
{
    const QByteArray mac = args.size() == 1 ? macFromText(args.at(0)) : QByteArray();
    if (mac.isEmpty())
        return;
    sLocalMac = mac;
    confirm();
}

void Ramcode::startSTxTest(const Args &args)
{
    startTransmit(args, sLocalMac);
}

void Ramcode::setXtalInRam(const Args &args)
{
    int value = 0;
    if (args.size() != 1 || !decWord(args.at(0), -128, 127, &value))
        return;
    cal = value;
    confirm();
}

void Ramcode::getOtpValue(int which, const char *tag)
{
    const auto value = chip.storage().otpValue(ChipStorage::Value(which));
    if (!value) {
        confirm(); // nothing stored: no tag
        return;
    }
    // The value is ended by "\r", which the host reads up to.
    confirm("\r\n" + QByteArray(tag) + QByteArray::number(*value) + "\r\n");
}

void Ramcode::setOtpValue(int which, const Args &args)
{
    int value = 0;
    if (args.size() != 1 || !decWord(args.at(0), -128, 127, &value))
        return;
    if (chip.storage().setOtpValue(ChipStorage::Value(which), value))
        confirm();
}

void Ramcode::setXtalInOtp(const Args &args)
{
    setOtpValue(int(ChipStorage::Value::Xtal), args);
}

void Ramcode::getXtalInOtp(const Args &)
{
    getOtpValue(int(ChipStorage::Value::Xtal), "xtal_cap:");
}

void Ramcode::getMacInOtp(const Args &)
{
    const auto mac = chip.storage().otpMac();
    chip.reply(macAnswer(mac.value_or(QByteArray(6, char(0xff)))));
}

void Ramcode::setMacInOtp(const Args &args)
{
    const QByteArray mac = args.size() == 1 ? macFromText(args.at(0)) : QByteArray();
    if (!mac.isEmpty() && chip.storage().setOtpMac(mac))
        confirm();
}

void Ramcode::getTxpBInOtp(const Args &)
{
    getOtpValue(int(ChipStorage::Value::TxPowerB), "b:");
}

void Ramcode::setTxpBInRam(const Args &args)
{
    int value = 0;
    if (args.size() != 1 || !decWord(args.at(0), -128, 127, &value))
        return;
    txpB = value;
    confirm();
}

void Ramcode::setTxpBInOtp(const Args &args)
{
    setOtpValue(int(ChipStorage::Value::TxPowerB), args);
}

void Ramcode::getTxpGnInOtp(const Args &)
{
    getOtpValue(int(ChipStorage::Value::TxPowerGn), "gn:");
}

void Ramcode::setTxpGnInRam(const Args &args)
{
    int value = 0;
    if (args.size() != 1 || !decWord(args.at(0), -128, 127, &value))
        return;
    txpGn = value;
    confirm();
}

void Ramcode::setTxpGnInOtp(const Args &args)
{
    setOtpValue(int(ChipStorage::Value::TxPowerGn), args);
}

namespace {
double clippedNoise(std::mt19937 &rng, double sigma)
{
    if (sigma <= 0)
        return 0;
    std::normal_distribution<double> normal(0.0, sigma);
    return std::clamp(normal(rng), -4 * sigma, 4 * sigma);
}
} // namespace

void Ramcode::startMTxTest(const Args &args)
{
    // The golden machine measures the DUT that transmits on the channel.
    int duration = 0, channel = 0;
    if (args.size() != 2 || !decWord(args.at(0), 0, INT_MAX, &duration) ||
        !decWord(args.at(1), 0, 255, &channel) || !validChannel(channel))
        return;
    const SimChip *tx = chip.air()->strongestOn(channel, &chip);
    if (!tx)
        return; // nothing on the air: no samples
    const ChipRadio &me = chip.setup().radio;
    const double level = tx->transmitPower() - tx->setup().radio.pathLoss - me.pathLoss;
    QByteArray out;
    for (int i = 0; i < chip.setup().faults.rfSamples; ++i) {
        const long rssi = std::lround(level + clippedNoise(chip.random(), me.rssiNoise));
        out += "rssi:" + QByteArray::number(qlonglong(rssi)) + "\r\n";
    }
    chip.reply(out, measureMs); // the host's rule ends with the last sample line
}

void Ramcode::startSRxTest(const Args &args)
{
    // A DUT measures the golden machine: frequency offset, then RSSI.
    int duration = 0, channel = 0;
    if (args.size() != 2 || !decWord(args.at(0), 0, INT_MAX, &duration) ||
        !decWord(args.at(1), 0, 255, &channel) || !validChannel(channel))
        return;
    const SimChip *tx = chip.air()->strongestOn(channel, &chip);
    if (!tx || (!sRemoteMac.isEmpty() && tx->transmitMac() != sRemoteMac))
        return; // nobody we listen to is on the air: no samples
    const ChipRadio &me = chip.setup().radio;
    const double own =
        chip.setup().faults.xtalNeverConverges ? 12.0 : me.slope * double(me.optimum - cal);
    const double offset = own + tx->transmitError();
    const double level = tx->transmitPower() - tx->setup().radio.pathLoss - me.pathLoss;
    QByteArray out;
    for (int i = 0; i < chip.setup().faults.rfSamples; ++i) {
        const double freq = offset + clippedNoise(chip.random(), me.freqNoise);
        const long rssi = std::lround(level + clippedNoise(chip.random(), me.rssiNoise));
        out += "freq=" + QByteArray::number(freq, 'f', 1) +
               ",rssi=" + QByteArray::number(qlonglong(rssi)) + "\r\n";
    }
    chip.reply(out, measureMs); // the host's rule ends with the last sample line
}

void Ramcode::fdump(const Args &args)
{
    quint32 address = 0, length = 0;
    if (args.size() != 2 || !hexWord(args.at(0), &address) || !hexWord(args.at(1), &length) ||
        length > quint32(maxDump) || !chip.storage().flashInRange(address, length)) {
        passFail(false);
        return;
    }
    const QByteArray data = chip.storage().flashRead(address, length);
    QByteArray out = "\r\n";
    for (int at = 0; at < data.size(); at += 16) {
        out += QByteArray::number(address + quint32(at), 16).rightJustified(8, '0') + ": " +
               data.mid(at, 16).toHex(' ') + "\r\n";
    }
    chip.reply(out + pass);
}

void Ramcode::flashTest(const Args &)
{
    chip.reply("\r\nflash test: no error\r\n" + pass);
}

void Ramcode::flashInfo(const Args &)
{
    chip.reply(
        "\r\nflash id: 0xef4015, size: " + QByteArray::number(ChipStorage::flashSize / 1024) +
        " KByte, sector: " + QByteArray::number(ChipStorage::sectorSize) + " Byte\r\n" + pass);
}

} // namespace stationsim
