#ifndef DEVICECONFIGFILE_H
#define DEVICECONFIGFILE_H

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

// One row of the device table as the settings file keeps it: row 0 is the
// golden machine, rows 1 to 24 the DUT slots.
struct DeviceConfigRow
{
    bool enabled = false;
    QString name;
    QString port;
    QString txCal;
    QString rxCal;
};

// Everything the operator set up, as kept from one run to the next.
struct DeviceConfig
{
    static constexpr int rowCount = 25;

    std::array<DeviceConfigRow, rowCount> rows;
    QString firmwarePath;
    float rxRssiMax = 0;
    float rxRssiMin = 0;
    float rxFreqMax = 0;
    float rxFreqMin = 0;
    float txRssiMax = 0;
    float txRssiMin = 0;
    bool lockParams = false;
    float testCha = 0;
    float sendInterval = 0;
    float timeOut = 0;
    uint32_t testAllNum = 0;
    uint32_t testPassNum = 0;
    uint32_t testFailNum = 0;
    // Low byte of the crystal value the next calibration starts from.
    int8_t calVal = -12;
    uint8_t autoTest = 0;
};

// The settings file "./config/device_config.csv": 42 comma-terminated lines
// of UTF-8 text. A file without exactly 42 line feeds is ignored as a whole.
//
// The file is replaced atomically: the new content goes to a temporary file
// beside it, which takes the old file's place only once it is complete, so a
// crash, a kill or a full disk during the write leaves the previous set-up.
class DeviceConfigFile
{
public:
    explicit DeviceConfigFile(const QString &path);

    const QString &path() const { return m_path; }

    // Reads the file into `config`. Returns false, leaving `config` as it
    // was, when the file cannot be opened or has the wrong line count. Like
    // the station always did, a missing file is created empty on the way.
    bool load(DeviceConfig &config);
    // Writes the file. Returns false when it could not be written completely;
    // the previous file is then still in place.
    bool save(const DeviceConfig &config);

    // The file format itself, without any file.
    static bool parse(const QByteArray &content, DeviceConfig &config);
    static QByteArray format(const DeviceConfig &config);

    // Number texts as the file and the window show them.
    static QString formatNumber(float value);
    static float parseNumber(const QString &text);
    static uint32_t parseCounter(const QString &text);

private:
    // Says once on the console that the settings directory is missing.
    bool directoryMissing();

    QString m_path;
    bool m_toldMissingDirectory = false;
};

#endif // DEVICECONFIGFILE_H
