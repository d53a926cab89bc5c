#ifndef CYCLERECORD_H
#define CYCLERECORD_H

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>
#include <vector>

// The words the results keep for a DUT's steps and verdicts.
namespace ResultWords {
// Step status.
inline constexpr char pass[] = "pass";
inline constexpr char fail[] = "fail";
inline constexpr char notRun[] = "not run";
// Verdict besides pass and fail: a step failed, nothing to judge.
inline constexpr char error[] = "error";
// A DUT of a cycle that ended in a fault of the station (golden machine,
// time-out), or whose TX test never ran because another DUT's ended the
// cycle: neither passed nor failed, in no yield and no failure count.
inline constexpr char notJudged[] = "not judged";
// The step a DUT failed at.
inline constexpr char stepDownload[] = "download";
inline constexpr char stepMac[] = "mac";
inline constexpr char stepCalibration[] = "calibration";
inline constexpr char stepTx[] = "tx";
inline constexpr char stepLimits[] = "limits";
inline constexpr char stepCycle[] = "cycle";
} // namespace ResultWords

// One DUT of a recorded cycle.
struct DutRecord
{
    int position = 0; // order within the cycle
    std::optional<int> slot;
    QString device;
    QString port;
    QString mac;
    QString flashUid;
    std::optional<int> crystal; // accepted and written to OTP
    int txCal = 0;              // calibration offsets (signed 8-bit)
    int rxCal = 0;

    // Last RX measurement, when the crystal search ran.
    std::optional<int> rxRssiMin;
    std::optional<int> rxRssiMax;
    std::optional<int> rxRssiAvg;
    std::optional<int> freqMin;
    std::optional<int> freqMax;
    std::optional<int> freqAvg;
    // TX measurement, when the TX test ran.
    std::optional<int> txRssiMin;
    std::optional<int> txRssiMax;
    std::optional<int> txRssiAvg;
    // The means the averages above were truncated from, as the DUT was
    // judged by them; none where the figure was not measured (and in cycles
    // recorded before the means were kept).
    std::optional<double> rxRssiMean;
    std::optional<double> freqMean;
    std::optional<double> txRssiMean;

    // ResultWords::pass, fail or notRun.
    QString downloadStatus = QLatin1String(ResultWords::notRun);
    QString macStatus = QLatin1String(ResultWords::notRun);
    QString calibrationStatus = QLatin1String(ResultWords::notRun);
    QString txStatus = QLatin1String(ResultWords::notRun);

    QString verdict;    // pass, fail or error
    QString failedStep; // empty for a pass
    QString failureLog; // the DUT's log for a failure

    bool operator==(const DutRecord &other) const;
    bool operator!=(const DutRecord &other) const { return !(*this == other); }
};

// One test cycle as the results keep it: what ran, with what, and every DUT.
struct CycleRecord
{
    QString stationId;
    QString cycleUid; // unique per station; makes the cycle's key
    qint64 number = 0;
    QDateTime startedAt;
    QDateTime endedAt;
    QString goldenMac;
    QString cycleError; // empty when the cycle ran through

    // Limits in force (the RSSI limits before each DUT's offsets).
    double rxRssiMin = 0;
    double rxRssiMax = 0;
    double freqMin = 0;
    double freqMax = 0;
    double txRssiMin = 0;
    double txRssiMax = 0;

    QString imagePath;
    QString imageSha256;
    qint64 imageSize = 0;
    QString toolVersion;

    // What the golden machine's drift is watched by: the crystal value it
    // read from its OTP (none when it read none), and per figure of the
    // figure table, in its order, the mean over the DUTs that measured it of
    // each DUT's mean less its calibration offset (none: no DUT measured it).
    std::optional<int> goldenCrystal;
    std::vector<std::optional<double>> cycleMeans;
    // The uid of the station folder whose results file recorded the cycle;
    // the recorder fills it in.
    QString folderUid;

    QList<DutRecord> duts;

    // The cycle's mean of figure `index` (none when not recorded).
    std::optional<double> cycleMean(int index) const;
    void setCycleMean(int index, std::optional<double> value);

    // A fresh unique id for a new cycle.
    static QString newUid();

    // The same cycle: everything but the folder uid, which says where it was
    // recorded, not what.
    bool operator==(const CycleRecord &other) const;
    bool operator!=(const CycleRecord &other) const { return !(*this == other); }
};

#endif // CYCLERECORD_H
