#include "testparabuilder.h"

#include "cyclevalues.h"
#include "deviceconfigfile.h"
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
        if (d.slot < 0 || d.slot >= CycleValues::dutSlots)
            continue;
        deviceInfo_t device;
        device.port = d.port;
        device.name = d.name;
        device.slot = d.slot;
        para.devices.append(device);
    }
    return para;
}

CycleRequest TestParaBuilder::request(const DeviceConfig &config)
{
    TestParaBuilder builder;
    CycleRequest request;
    builder.gmPort = config.rows[0].port;
    builder.filePath = config.firmwarePath;
    builder.timeOut = config.texts.timeOut;
    builder.sendInterval = config.texts.sendInterval;
    builder.testCha = config.texts.testCha;
    for (int row = 1; row < DeviceConfig::rowCount; ++row) {
        const DeviceConfigRow &r = config.rows[size_t(row)];
        if (!r.enabled)
            continue;
        builder.devices.append({row - 1, r.name, r.port});
        request.rows.append({row - 1, r.txCal, r.rxCal});
    }
    request.para = builder.build();
    request.limits = JudgeLimits::fromConfig(config);
    return request;
}
