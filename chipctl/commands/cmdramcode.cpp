// CMD_PARSE: the ramcode's commands for reset, eFuse, GPIO, the flash UID
// and the MAC addresses.
#include "cmdparse.h"

#include "console.h"
#include "protocol/tranprotocol.h"
#include "resultcode.h"

// Restarts the chip into its firmware; nothing is awaited, so nothing can
// fail once the ramcode has answered.
uint32_t CMD_PARSE::cmdReset()
{
    if (!ramcodeRunning())
        return ERR_RAMCODE_MODE;
    protocol->reboot();
    return CMD_OK;
}

uint32_t CMD_PARSE::cmdEfuse()
{
    return runForms({
        exactly("write", 5, &CMD_PARSE::efuseWrite),
        exactly("read", 4, &CMD_PARSE::efuseRead),
    });
}

uint32_t CMD_PARSE::efuseWrite()
{
    uint32_t index = 0;
    uint32_t value = 0;
    if (!decWord(3, index) || !hexWord(4, value))
        return ERR_PARAMETER;
    if (!ramcodeRunning())
        return ERR_RAMCODE_MODE;
    return protocol->efuseWrite(uint8_t(index), value) ? CMD_OK : ERR_COMMAND;
}

uint32_t CMD_PARSE::efuseRead()
{
    uint32_t index = 0;
    if (!decWord(3, index))
        return ERR_PARAMETER;
    if (!ramcodeRunning())
        return ERR_RAMCODE_MODE;
    QString data;
    if (!protocol->efuseRead(uint8_t(index), data))
        return ERR_COMMAND;
    Console::out() << "efuse data:" << data << "\n";
    return CMD_OK;
}

uint32_t CMD_PARSE::cmdGpio()
{
    return runForms({
        anyCount("write", &CMD_PARSE::gpioWrite),
        exactly("read", 4, &CMD_PARSE::gpioRead),
    });
}

// "gpio write" PIN... VALUE: every pin word gets the value, in order; the
// first failure ends the command with the earlier pins written. Every word
// is judged before the first write.
uint32_t CMD_PARSE::gpioWrite()
{
    uint32_t value = 0;
    if (!hexWord(count() - 1, value))
        return ERR_PARAMETER;
    QStringList pins;
    for (int i = 3; i <= count() - 2; ++i) {
        QString pin;
        if (!pinWord(i, pin))
            return ERR_PARAMETER;
        pins.append(pin);
    }
    if (!ramcodeRunning())
        return ERR_RAMCODE_MODE;
    for (const QString &pin : pins) {
        if (!protocol->gpioWrite(pin, value))
            return ERR_COMMAND;
    }
    return CMD_OK;
}

uint32_t CMD_PARSE::gpioRead()
{
    QString pin;
    if (!pinWord(3, pin))
        return ERR_PARAMETER;
    if (!ramcodeRunning())
        return ERR_RAMCODE_MODE;
    int32_t value = 0;
    if (!protocol->gpioRead(pin, value))
        return ERR_COMMAND;
    Console::out() << "gpio value:" << uint32_t(value) << "\n";
    return CMD_OK;
}

uint32_t CMD_PARSE::cmdUuid()
{
    if (!ramcodeRunning())
        return ERR_RAMCODE_MODE;
    QString uid;
    if (!protocol->getFlashUid(uid))
        return ERR_COMMAND;
    Console::out() << "uid:" << uid << "\n";
    return CMD_OK;
}

uint32_t CMD_PARSE::setMac(SetMac set)
{
    QString mac;
    if (!macWord(3, mac))
        return ERR_PARAMETER;
    if (!ramcodeRunning())
        return ERR_RAMCODE_MODE;
    return (protocol.get()->*set)(mac) ? CMD_OK : ERR_COMMAND;
}

uint32_t CMD_PARSE::cmdMac()
{
    return runForms({
        exactly("write", 4, &CMD_PARSE::macWrite),
        exactly("read", 3, &CMD_PARSE::macRead),
    });
}

uint32_t CMD_PARSE::macWrite()
{
    return setMac(&tranProtocol::setMacInOtp);
}

// The MAC line keeps the chip's own line end; none is added here.
uint32_t CMD_PARSE::macRead()
{
    if (!ramcodeRunning())
        return ERR_RAMCODE_MODE;
    QString mac;
    if (!protocol->getMacInOtp(mac))
        return ERR_COMMAND;
    Console::out() << "mac:" << mac;
    return CMD_OK;
}

// The mask word is converted before the ramcode probe but judged after it.
uint32_t CMD_PARSE::cmdGpioWriteAll()
{
    uint32_t mask = 0;
    const bool maskOk = hexWord(2, mask);
    if (!ramcodeRunning())
        return ERR_RAMCODE_MODE;
    if (!maskOk)
        return ERR_PARAMETER;
    return protocol->gpioWriteAll(mask) ? CMD_OK : ERR_COMMAND;
}

// The levels of all pins as one mask, bit n for pin n, in the notation
// "gpio_write_all" takes: "gpio levels:0x6" for pins 1 and 2 high.
uint32_t CMD_PARSE::cmdGpioReadAll()
{
    if (!ramcodeRunning())
        return ERR_RAMCODE_MODE;
    int32_t levels = 0;
    if (!protocol->gpioReadAll(levels))
        return ERR_COMMAND;
    Console::out() << "gpio levels:0x" << QString::number(uint32_t(levels), 16) << "\n";
    return CMD_OK;
}

uint32_t CMD_PARSE::cmdRfStop()
{
    if (!ramcodeRunning())
        return ERR_RAMCODE_MODE;
    return protocol->rfStop() ? CMD_OK : ERR_COMMAND;
}

// The golden machine's own MAC; the line keeps the chip's line end.
uint32_t CMD_PARSE::cmdGmMac()
{
    if (!ramcodeRunning())
        return ERR_RAMCODE_MODE;
    QString mac;
    if (!protocol->getMLocalMac(mac))
        return ERR_COMMAND;
    Console::out() << "mac:" << mac;
    return CMD_OK;
}
