#include "testparabuilder.h"

#include "stationglobals.h"
#include "textnumber.h"

uint32_t TestParaBuilder::parseUnsigned(const QString &text)
{
    bool ok = false;
    const uint value = textNumber::toUInt(text, &ok);
    return ok ? uint32_t(value) : 0;
}

testPara_t TestParaBuilder::build() const
{
    testPara_t para;
    para.gmPort = gmPort;
    para.filePath = filePath;
    para.timeOut = parseUnsigned(timeOut);
    para.sendInterval = parseUnsigned(sendInterval);
    para.testCha = uint8_t(parseUnsigned(testCha) & 0xff);
    para.logPath = QStringLiteral("./log");
    for (const Device &d : devices) {
        if (d.slot < 0 || d.slot >= dutSlots)
            continue;
        deviceInfo_t device;
        device.port = d.port;
        device.name = d.name;
        device.progressPtr = &progress[d.slot];
        para.devices.append(device);
    }
    return para;
}
