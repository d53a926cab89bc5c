#ifndef ROWREASON_H
#define ROWREASON_H

#include "resultjudge.h"

#include <QCoreApplication>
#include <QString>

// What the operator is told about a row of the device table: what failed
// and why, in the window's language. A DUT row gives its verdict, the step
// it failed at or the limits its figures broke, the figures measured and
// the DUT's log lines of the cycle; the golden machine's row the station
// fault that ended the cycle. The engine's log lines are quoted as they are.
class RowReason
{
    Q_DECLARE_TR_FUNCTIONS(RowReason)

public:
    // The result cell's text while a cycle runs and a DUT has failed: the
    // step, short ("固件被拒"), or what the chip tool's failure text tells
    // ("Could not go in download mode.": "无应答").
    static QString stepShort(int fault, const QString &toolFailure = QString());
    // The step a DUT failed at, in a sentence; a crystal search that did not
    // converge gives its last mean offset. With the chip tool's failure text
    // of that step: the text as the tool printed it, and what to check.
    static QString step(int fault, float lastMeanOffset = 0,
                        const QString &toolFailure = QString());
    // "TX RSSI -80.45 < -75", with the calibration offset in the bound named.
    static QString brokenLimit(const BrokenLimit &limit);

    // A DUT row once its cycle has been judged. `stationFault` is the
    // cycle's; `log` the DUT's log lines of the cycle.
    static QString forDevice(const QString &name, const DeviceJudgement &device,
                             StationFault stationFault, const QString &log);
    // A DUT row whose worker has failed while the cycle still runs.
    static QString forLiveFault(const QString &name, int fault,
                                const QString &toolFailure = QString());
    // The golden machine's row of a cycle that ended in a station fault.
    static QString forStation(StationFault fault, uint32_t timeOutMs, const QString &goldenLog);

private:
    // What the chip tool's failure texts tell about a DUT.
    enum class ToolCause
    {
        None,           // no text, or one that names no cause of its own
        PortNotOpened,  // "Could not open the serial port."
        NoDownloadMode, // "Could not go in download mode.": the boot ROM did not answer
        NoRamcode,      // "Could not go in ramcode mode.": the ramcode did not answer
        DownloadError,  // "Error downloading file."
    };
    static ToolCause causeOf(const QString &toolFailure);
    static QString faultSentence(int fault, float lastMeanOffset);
    static QString figures(const deviceRestlt_t &result);
    static QString logSection(const QString &log);
};

#endif // ROWREASON_H
