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

    // The number lines as the operator wrote them (the file's lines, or the
    // window's boxes), which the numbers below are read from: "abc" and an
    // empty line both read as 0, the check before a cycle tells them apart.
    struct Texts
    {
        QString rxRssiMax;
        QString rxRssiMin;
        QString rxFreqMax;
        QString rxFreqMin;
        QString txRssiMax;
        QString txRssiMin;
        QString testCha;
        QString sendInterval;
        QString timeOut;
    };

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
    Texts texts;
};

// Why a settings file was not read.
struct DeviceConfigProblem
{
    enum Kind
    {
        None,
        Unreadable, // the file could not be opened for reading: `error`
        LineCount,  // `lines` line feeds where 42 are expected
        NotUtf8,    // line `line` (from 1, as an editor counts) is not UTF-8
    };
    Kind kind = None;
    int lines = 0;
    int line = 0;
    QString error;
};

// The settings file "./config/device_config.csv": 42 comma-terminated lines
// of UTF-8 text. One blank line after the last (an editor's habit) is
// allowed; any other line count, or bytes that are not UTF-8, and the file
// is refused as a whole.
//
// A file that was refused is never written over: it may hold the set-up of
// a whole station, one line short. save() then writes beside it, to
// "device_config.csv.new", and the refused file stays for the operator to
// mend or replace.
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
    // was, when there is nothing to read (no settings directory, no file or
    // an empty one) or the file is refused (problem() says why). Like the
    // station always did, a missing file is created empty on the way.
    bool load(DeviceConfig &config);
    // Why the last load() refused the file; kind None when it read the file
    // or found nothing to read.
    const DeviceConfigProblem &problem() const { return m_problem; }
    bool refused() const { return m_problem.kind != DeviceConfigProblem::None; }

    // Where save() writes: the file, or once load() refused it, the file
    // beside it (path() + ".new").
    QString savePath() const;
    // Writes savePath(). Returns false when it could not be written
    // completely; the previous file is then still in place, saveError()
    // says why, and the console has been told (once for the same reason).
    bool save(const DeviceConfig &config);
    const QString &saveError() const { return m_saveError; }

    // The file format itself, without any file. parse() says in `problem`
    // why it refused `content`.
    static bool parse(const QByteArray &content, DeviceConfig &config,
                      DeviceConfigProblem *problem = nullptr);
    static QByteArray format(const DeviceConfig &config);

    // Number texts as the file and the window show them: whole numbers with
    // all their digits (1000000, not 1e+06), others in the shortest general
    // form with 6 significant digits (20.5, 1e-05).
    static QString formatNumber(float value);
    static float parseNumber(const QString &text);
    static uint32_t parseCounter(const QString &text);

private:
    // Says once on the console that the settings directory is missing.
    bool directoryMissing();
    bool failSave(const QString &reason);

    QString m_path;
    DeviceConfigProblem m_problem;
    QString m_saveError;
    bool m_toldMissingDirectory = false;
};

#endif // DEVICECONFIGFILE_H
