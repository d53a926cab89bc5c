// CMD_PARSE: the crystal and TX power calibration values the ramcode keeps
// in RAM (for the running test) and in OTP (for good).
#include "cmdparse.h"

#include "console.h"
#include "protocol/tranprotocol.h"
#include "resultcode.h"

// WORD write ram|flash_otp VALUE
uint32_t CMD_PARSE::writeValue(SetValue toRam, SetValue toOtp)
{
    if (!ramcodeRunning())
        return ERR_RAMCODE_MODE;
    int32_t value = 0;
    QString target;
    if (!signedDecWord(4, value) || !word(3, target))
        return ERR_PARAMETER;
    SetValue set = nullptr;
    if (target == QLatin1String("ram"))
        set = toRam;
    else if (target == QLatin1String("flash_otp"))
        set = toOtp;
    else
        return ERR_PARAMETER;
    return (protocol.get()->*set)(value) ? CMD_OK : ERR_COMMAND;
}

// WORD read: the value stored in OTP; a word 3 is not looked at.
uint32_t CMD_PARSE::readValue(const char *label, GetValue get)
{
    if (!ramcodeRunning())
        return ERR_RAMCODE_MODE;
    int32_t value = 0;
    if (!(protocol.get()->*get)(value))
        return ERR_COMMAND;
    Console::out() << label << value << "\n";
    return CMD_OK;
}

uint32_t CMD_PARSE::cmdXtalCap()
{
    return runForms({
        exactly("write", 5, &CMD_PARSE::xtalCapWrite),
        anyCount("read", &CMD_PARSE::xtalCapRead),
    });
}

uint32_t CMD_PARSE::xtalCapWrite()
{
    return writeValue(&tranProtocol::setXtalCapInRam, &tranProtocol::setXtalCapInOtp);
}

uint32_t CMD_PARSE::xtalCapRead()
{
    return readValue("xtal_cap:", &tranProtocol::getXtalCapInOtp);
}

uint32_t CMD_PARSE::cmdTxPowerB()
{
    return runForms({
        exactly("write", 5, &CMD_PARSE::txPowerBWrite),
        anyCount("read", &CMD_PARSE::txPowerBRead),
    });
}

uint32_t CMD_PARSE::txPowerBWrite()
{
    return writeValue(&tranProtocol::setTxpBInRam, &tranProtocol::setTxpBInOtp);
}

uint32_t CMD_PARSE::txPowerBRead()
{
    return readValue("tx_power_b:", &tranProtocol::getTxpBInOtp);
}

uint32_t CMD_PARSE::cmdTxPowerGn()
{
    return runForms({
        exactly("write", 5, &CMD_PARSE::txPowerGnWrite),
        anyCount("read", &CMD_PARSE::txPowerGnRead),
    });
}

uint32_t CMD_PARSE::txPowerGnWrite()
{
    return writeValue(&tranProtocol::setTxpGnInRam, &tranProtocol::setTxpGnInOtp);
}

uint32_t CMD_PARSE::txPowerGnRead()
{
    return readValue("tx_power_gn:", &tranProtocol::getTxpGnInOtp);
}
