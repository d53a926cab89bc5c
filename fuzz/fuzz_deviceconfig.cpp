// The settings file ./config/device_config.csv as Benchmate reads it. Any
// content is read or refused as a whole; a set-up that was read, saved and
// read again must save to the same bytes, so that the operator's settings
// survive every start and close of the station unchanged.
//
// Input: the file's bytes.
#include "deviceconfigfile.h"
#include "fuzzcheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), int(size));
    DeviceConfig config;
    if (!DeviceConfigFile::parse(content, config))
        return 0;

    const QByteArray saved = DeviceConfigFile::format(config);
    FUZZ_CHECK(saved.count('\n') == 42);
    DeviceConfig again;
    FUZZ_CHECK(DeviceConfigFile::parse(saved, again));
    const QByteArray savedAgain = DeviceConfigFile::format(again);
    FUZZ_CHECK(savedAgain == saved);
    for (int row = 0; row < DeviceConfig::rowCount; ++row) {
        FUZZ_CHECK(again.rows[size_t(row)].port == config.rows[size_t(row)].port);
        FUZZ_CHECK(again.rows[size_t(row)].txCal == config.rows[size_t(row)].txCal);
        if (row > 0) {
            FUZZ_CHECK(again.rows[size_t(row)].enabled == config.rows[size_t(row)].enabled);
            FUZZ_CHECK(again.rows[size_t(row)].rxCal == config.rows[size_t(row)].rxCal);
        }
    }
    FUZZ_CHECK(again.firmwarePath == config.firmwarePath);
    FUZZ_CHECK(again.testAllNum == config.testAllNum);
    FUZZ_CHECK(again.testPassNum == config.testPassNum);
    FUZZ_CHECK(again.testFailNum == config.testFailNum);
    FUZZ_CHECK(again.calVal == config.calVal);
    return 0;
}
