#include "toolcommand.h"

namespace {

// The load address the chip tool is given for the ramcode.
const QString ramcodeAddress = QStringLiteral("0x20000000");

QString number(qint64 value)
{
    return QString::number(value);
}

} // namespace

QStringList ToolCommand::goldenMac()
{
    return {QStringLiteral("gm_mac")};
}

QStringList ToolCommand::readCrystalOtp()
{
    return {QStringLiteral("xtal_cap"), QStringLiteral("read"), QStringLiteral("flash_otp")};
}

QStringList ToolCommand::rxGolden(uint32_t sendInterval, uint32_t duration, uint8_t channel)
{
    return {QStringLiteral("rx_gm"), number(sendInterval), number(duration), number(channel)};
}

QStringList ToolCommand::txGolden(uint32_t duration, uint8_t channel)
{
    return {QStringLiteral("tx_gm"), QStringLiteral("1"), number(duration), number(channel)};
}

QStringList ToolCommand::entryBootMode()
{
    return {QStringLiteral("entry_boot_mode")};
}

QStringList ToolCommand::downloadRam(const QString &path)
{
    return {QStringLiteral("download"), QStringLiteral("ram"), ramcodeAddress, path};
}

QStringList ToolCommand::setGoldenMac(const QString &mac)
{
    return {QStringLiteral("test_dut"), QStringLiteral("mac_gm"), mac};
}

QStringList ToolCommand::setDutMac(const QString &mac)
{
    return {QStringLiteral("test_dut"), QStringLiteral("mac_dut"), mac};
}

QStringList ToolCommand::flashUid()
{
    return {QStringLiteral("uuid")};
}

QStringList ToolCommand::rxDut(uint32_t duration, uint8_t channel)
{
    return {QStringLiteral("rx_dut"), number(duration), number(channel)};
}

QStringList ToolCommand::writeCrystalOtp(int value)
{
    return {QStringLiteral("xtal_cap"), QStringLiteral("write"), QStringLiteral("flash_otp"),
            number(value)};
}

QStringList ToolCommand::txDut(uint32_t sendInterval, uint32_t duration, uint8_t channel)
{
    return {QStringLiteral("tx_dut"), number(sendInterval), number(duration), number(channel)};
}

QStringList ToolCommand::writeCrystalRam(int value)
{
    return {QStringLiteral("xtal_cap"), QStringLiteral("write"), QStringLiteral("ram"),
            number(value)};
}

QStringList ToolCommand::rfStop()
{
    return {QStringLiteral("rf_stop")};
}

QStringList ToolCommand::toolVersion()
{
    return {QStringLiteral("version")};
}

QStringList ToolCommand::readMode()
{
    return {QStringLiteral("mode"), QStringLiteral("read")};
}

QStringList ToolCommand::bootPulse()
{
    return {QStringLiteral("usb_io"), QStringLiteral("0"), QStringLiteral("1"),
            QStringLiteral("100"),    QStringLiteral("1"), QStringLiteral("0"),
            QStringLiteral("50")};
}
