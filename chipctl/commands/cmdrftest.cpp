// CMD_PARSE: the RF tests. The golden machine ("_gm") transmits for the
// DUTs' receive test and measures their transmissions; a DUT ("_dut")
// measures the golden machine and transmits in its turn.
#include "cmdparse.h"

#include "console.h"
#include "protocol/tranprotocol.h"
#include "resultcode.h"

namespace {

// "result:" and then one line per result text, in list order.
void printResults(const QStringList &lines)
{
    QTextStream &out = Console::out();
    out << "result:"
        << "\n";
    for (const QString &line : lines)
        out << line << "\n";
}

} // namespace

uint32_t CMD_PARSE::cmdTestGm()
{
    return runForms({
        exactly("mac_gm", 4, &CMD_PARSE::testGmMacGm),
        exactly("mac_dut", 5, &CMD_PARSE::testGmMacDut),
    });
}

uint32_t CMD_PARSE::testGmMacGm()
{
    return setMac(&tranProtocol::setMLocalMac);
}

// "test_gm mac_dut" SLOT MAC: the MAC the golden machine expects in a slot.
// The MAC is judged before anything is sent, the slot after the probe.
uint32_t CMD_PARSE::testGmMacDut()
{
    QString mac;
    if (!macWord(4, mac))
        return ERR_PARAMETER;
    if (!ramcodeRunning())
        return ERR_RAMCODE_MODE;
    uint32_t slot = 0;
    if (!decWord(3, slot))
        return ERR_PARAMETER;
    return protocol->setMTestDeviceMac(uint8_t(slot), mac) ? CMD_OK : ERR_COMMAND;
}

// "tx_gm" COUNT DURATION CHANNEL: the golden machine measures COUNT
// transmitting DUTs for DURATION ms.
uint32_t CMD_PARSE::cmdTxGm()
{
    if (!ramcodeRunning())
        return ERR_RAMCODE_MODE;
    uint32_t devices = 0;
    if (!decWord(2, devices) || count() < 5)
        return ERR_PARAMETER;
    uint32_t duration = 0;
    uint32_t channel = 0;
    if (!rfDurationWord(3, duration))
        return ERR_PARAMETER;
    uncheckedDecWord(4, channel);
    QStringList lines;
    if (!protocol->startMTxTest(uint8_t(devices), lines, duration, channel))
        return ERR_COMMAND;
    printResults(lines);
    return CMD_OK;
}

// "rx_gm" INTERVAL DURATION CHANNEL: the golden machine transmits.
uint32_t CMD_PARSE::cmdRxGm()
{
    if (!ramcodeRunning())
        return ERR_RAMCODE_MODE;
    if (count() < 5)
        return ERR_PARAMETER;
    int32_t interval = 0;
    uint32_t duration = 0;
    int32_t channel = 0;
    if (!rfDurationWord(3, duration))
        return ERR_PARAMETER;
    uncheckedSignedDecWord(2, interval);
    uncheckedSignedDecWord(4, channel);
    return protocol->startMRxTest(uint32_t(interval), duration, uint32_t(channel)) ? CMD_OK
                                                                                   : ERR_COMMAND;
}

uint32_t CMD_PARSE::cmdTestDut()
{
    return runForms({
        exactly("mac_gm", 4, &CMD_PARSE::testDutMacGm),
        exactly("mac_dut", 4, &CMD_PARSE::testDutMacDut),
    });
}

uint32_t CMD_PARSE::testDutMacGm()
{
    return setMac(&tranProtocol::setSRemoteMac);
}

uint32_t CMD_PARSE::testDutMacDut()
{
    return setMac(&tranProtocol::setSLocalMac);
}

// "tx_dut" INTERVAL DURATION CHANNEL: the DUT transmits.
uint32_t CMD_PARSE::cmdTxDut()
{
    if (!ramcodeRunning())
        return ERR_RAMCODE_MODE;
    if (count() < 5)
        return ERR_PARAMETER;
    uint32_t interval = 0;
    uint32_t duration = 0;
    uint32_t channel = 0;
    if (!rfDurationWord(3, duration))
        return ERR_PARAMETER;
    uncheckedDecWord(2, interval);
    uncheckedDecWord(4, channel);
    return protocol->startSTxTest(interval, duration, channel) ? CMD_OK : ERR_COMMAND;
}

// "rx_dut" DURATION CHANNEL: the DUT measures the golden machine's signal.
uint32_t CMD_PARSE::cmdRxDut()
{
    if (!ramcodeRunning())
        return ERR_RAMCODE_MODE;
    if (count() < 4)
        return ERR_PARAMETER;
    uint32_t duration = 0;
    int32_t channel = 0;
    if (!rfDurationWord(2, duration))
        return ERR_PARAMETER;
    uncheckedSignedDecWord(3, channel);
    QStringList lines;
    if (!protocol->startSRxTest(lines, duration, uint32_t(channel)))
        return ERR_COMMAND;
    printResults(lines);
    return CMD_OK;
}
