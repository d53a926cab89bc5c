#ifndef RESULTJUDGE_H
#define RESULTJUDGE_H

#include "testrecords.h"
#include "teststatus.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>

class CycleValues;
struct DeviceConfig;

// The operator's six limits, as the line edits and the settings file hold
// them.
struct JudgeLimits
{
    float txRssiMax = 0;
    float txRssiMin = 0;
    float rxRssiMax = 0;
    float rxRssiMin = 0;
    float freqMax = 0;
    float freqMin = 0;

    // The limits of a set-up. Both front ends take them from here: benchrun
    // from the settings file, the window from its boxes as it would save
    // them, so a limit text reads alike in either (DeviceConfigFile's
    // numbers: "20.5" is 20.5, "-10" is -10, text that is not a number is 0).
    static JudgeLimits fromConfig(const DeviceConfig &config);
};

// One device-table row that takes a result: its DUT slot (row - 1) and the
// texts of its TX and RX calibration offset cells.
struct JudgeRow
{
    int slot = 0;
    QString txCal;
    QString rxCal;
};

enum class DeviceVerdict
{
    Pass,      // every average within its limits
    Fail,      // an average outside its limits
    Error,     // a step of the DUT's RX or TX test failed: no numbers to judge
    NotJudged, // the station let the DUT down (its TX test never ran, or the
               // cycle ended in a station fault): neither passed nor failed
};

// What ended a cycle without a verdict on its DUTs.
enum class StationFault
{
    None,
    GoldenMachine, // a golden-machine step failed
    TimeOut,       // the DUTs took longer than the time-out
    Incomplete,    // the cycle reported no complete results, for no stated reason
};

// A bound a device's mean broke.
struct BrokenLimit
{
    enum Quantity
    {
        TxRssi,
        RxRssi,
        FreqOffset,
    };
    Quantity quantity = TxRssi;
    float value = 0;    // the mean as measured
    bool above = false; // above its upper bound, else below its lower one
    float bound = 0;    // calibration offset included
    int offset = 0;     // the calibration offset in the bound (0 for the frequency)
};

// The verdict of one result entry and the row it belongs to.
struct DeviceJudgement
{
    int slot = 0;
    DeviceVerdict verdict = DeviceVerdict::Error;
    int txOffset = 0; // signed 8-bit
    int rxOffset = 0; // signed 8-bit
    deviceRestlt_t result;
    // For a failing device, each bound it broke, and the same as console
    // text ("rx rssi -60.45 < -60").
    QList<BrokenLimit> broken;
    QStringList reasons;
};

// What a finished cycle means for the station: what to show, what to count
// and the crystal value the next cycle starts from.
struct CycleJudgement
{
    // The engine reported the ended state; when false nothing else is set and
    // nothing may change.
    bool ended = false;
    // The golden machine's row shows an error: the cycle ended in a station
    // fault.
    bool cycleError = false;
    // Why no DUT of the cycle was judged (None: they were).
    StationFault stationFault = StationFault::None;
    // The cycle did not finish or its list does not match: no device is
    // judged at all.
    bool incomplete = false;
    // Judged entries, in row order (entry k belongs to the k-th row).
    QList<DeviceJudgement> devices;
    TEST_STATUS status = TEST_NOT_STARTED;

    // Counter increments; total is always passed + failed.
    uint32_t passed = 0;
    uint32_t failed = 0;
    uint32_t total = 0;

    // Set after a passing device: the low byte of the global crystal value
    // becomes newCalVal, the value that device accepted.
    bool calValChanged = false;
    int8_t newCalVal = 0;

    // Console lines about unreadable calibration offsets.
    QStringList messages;

    // The verdict of result entry `index`, or nullptr when it was not judged.
    const DeviceJudgement *device(int index) const;
};

// Judges a cycle's results against the limits and the per-row calibration
// offsets. The window and the console runner both use it, so a DUT passes or
// fails alike in either.
//
// Entry k of the results belongs to the k-th of `rows` (the row of the k-th
// device of the cycle); entries without a row are not judged and rows
// without an entry are left alone. A DUT is judged by its means as measured
// (deviceRestlt_t's rxRssiMean, freqMean, txRssiMean), never by the averages
// truncated toward zero: -75.45 is below a lower limit of -75 although its
// truncated average, -75, is not. A bound itself passes: a TX RSSI mean equal
// to TX offset + TX upper limit is within limits.
//
// A cycle that ended in a station fault (the golden machine, the time-out,
// no complete results) counts no DUT at all: its devices are not judged.
// A DUT whose TX test never ran because an earlier DUT's TX step ended the
// cycle is not judged either. So the total grows by exactly what passed
// and failed.
class ResultJudge
{
public:
    // `runState` is what testThread::getResult returned, `devicesGiven` the
    // number of devices the cycle was started with.
    static CycleJudgement judge(const JudgeLimits &limits, int runState, int devicesGiven,
                                const testRestlt_t &result, const QList<JudgeRow> &rows);

    // A calibration offset text: a decimal integer whose low 8 bits are read
    // as a signed value (200 is -56). Text that is not an integer is 0, and
    // *ok tells it.
    static int parseOffset(const QString &text, bool *ok = nullptr);

    // Whether a result entry holds figures of a measurement: the RX figures
    // (RSSI and frequency offset) of a complete RX measurement, the TX
    // figures of a TX test that passed. Figures never measured are shown
    // and recorded as none, not as 0.
    static bool rxMeasured(const deviceRestlt_t &result);
    static bool txMeasured(const deviceRestlt_t &result);

    // The word the results file and the results database keep for a
    // verdict (ResultWords), and the verdict of such a word (false: none).
    static const char *verdictWord(DeviceVerdict verdict);
    static bool verdictOf(const QString &word, DeviceVerdict *verdict);

    // Applies the counter increments of `judgement`.
    static void count(const CycleJudgement &judgement, uint32_t *passNum, uint32_t *failNum,
                      uint32_t *allNum);

    // Carries the crystal value of a passing device into `values`' calVal.
    static void carryCalVal(const CycleJudgement &judgement, CycleValues &values);
};

#endif // RESULTJUDGE_H
