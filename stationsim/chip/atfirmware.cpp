#include "chip/atfirmware.h"

#include "chip/simchip.h"

namespace stationsim {

namespace {
const QByteArray ok = "\r\nOK\r\n";
const QByteArray error = "\r\nERROR\r\n";
} // namespace

void AtFirmware::command(const QByteArray &line)
{
    const QByteArray cmd = line.trimmed();
    if (cmd == "AT" || cmd == "ATE0" || cmd == "ATE1") {
        chip.reply(ok);
    } else if (cmd == "AT+GMR") {
        chip.reply("\r\nTK716A AT firmware V2.3.1 (simulated)\r\n" + ok);
    } else if (cmd == "AT+RST") {
        chip.reply(ok);
        chip.rebootIntoFirmware();
    } else if (cmd == "AT+ATE_OK?") {
        const ChipStorage &store = chip.storage();
        auto value = [&store](ChipStorage::Value v) {
            return QByteArray::number(store.otpValue(v).value_or(0));
        };
        chip.reply("\r\n+XTAL_COMP:" + value(ChipStorage::Value::Xtal) +
                   "\r\n+TXPOWER_COMP:" + value(ChipStorage::Value::TxPower) +
                   "\r\n+TXPOWER_B_COMP:" + value(ChipStorage::Value::TxPowerB) +
                   "\r\n+TXPOWER_GN_COMP:" + value(ChipStorage::Value::TxPowerGn) + "\r\n" + ok);
    } else if (cmd.startsWith("AT+PVTCMD=XTAL_CAP,")) {
        setValue(int(ChipStorage::Value::Xtal), cmd.mid(19));
    } else if (cmd.startsWith("AT+PVTCMD=TX_POWER,")) {
        setValue(int(ChipStorage::Value::TxPower), cmd.mid(19));
    } else if (cmd.startsWith("AT+PVTCMD=TX_POWER_B,")) {
        setValue(int(ChipStorage::Value::TxPowerB), cmd.mid(21));
    } else if (cmd.startsWith("AT+PVTCMD=TX_POWER_GN,")) {
        setValue(int(ChipStorage::Value::TxPowerGn), cmd.mid(22));
    } else {
        chip.reply(error);
    }
}

void AtFirmware::setValue(int which, const QByteArray &text)
{
    bool valid = false;
    const int value = text.toInt(&valid, 10);
    if (valid && value >= -128 && value <= 127 &&
        chip.storage().setOtpValue(ChipStorage::Value(which), value))
        chip.reply(ok);
    else
        chip.reply(error);
}

} // namespace stationsim
