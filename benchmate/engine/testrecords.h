#ifndef TESTRECORDS_H
#define TESTRECORDS_H

#include <QList>
#include <QString>

#include <atomic>
#include <cstdint>
#include <optional>

// The plain value records exchanged by the window and the test engine, and
// the status codes they carry.

class CycleValues;
class logRecord;

// Status of a DUT RX worker (rxTestThread::getResult).
enum RX_STATUS_T
{
    RX_NOT_STARTED = 0,
    RX_STAGE_DOWNLOAD = 1, // boot-mode entry and ramcode download
    RX_STAGE_MAC = 2,      // golden and DUT MAC set-up
    RX_STAGE_CAL = 3,      // crystal calibration
    RX_RUNNING = 4,        // the worker thread still runs
    RX_PASSED = 5,         // calibration accepted, written and reported
    RX_NOT_CONVERGED = 6   // no accepted crystal value within 40 iterations
};

// testThread::getResult.
enum CYCLE_RUN_T
{
    CYCLE_RUNNING = 6,
    CYCLE_ENDED = 7
};

// txStatus and rxStatus of deviceRestlt_t, cycleStatus of testRestlt_t.
enum RESULT_STATUS_T
{
    TX_NOT_RUN = 0,
    STATUS_PASS = 4, // passed / no golden-machine step failed
    STATUS_FAIL = 5  // failed / a golden-machine step failed
};

// The step a DUT's test failed at, for telling the operator why
// (deviceRestlt_t::fault, testThread::deviceFault).
enum DUT_FAULT_T
{
    DUT_OK = 0,
    DUT_FAULT_BOOT_MODE = 1,     // no answer to the boot-mode entry
    DUT_FAULT_DOWNLOAD = 2,      // the ramcode was not taken
    DUT_FAULT_GM_MAC = 3,        // the golden machine's MAC not set, 20 attempts
    DUT_FAULT_FLASH_UID = 4,     // no flash UID
    DUT_FAULT_DUT_MAC = 5,       // the DUT's own MAC not set
    DUT_FAULT_XTAL_RAM = 6,      // a crystal value not taken into RAM
    DUT_FAULT_RX_RESULT = 7,     // no RX measurement answer
    DUT_FAULT_NOT_CONVERGED = 8, // no crystal value accepted within 40 iterations
    DUT_FAULT_OTP_WRITE = 9,     // the accepted crystal value not written to OTP
    DUT_FAULT_TX_MODE = 10,      // the DUT did not start transmitting
    DUT_FAULT_TX_RF_OFF = 11,    // the DUT did not stop transmitting
    DUT_FAULT_TX_SAMPLES = 12,   // the golden machine measured no 20 TX samples
};

// What ended a cycle without a verdict on its DUTs (testRestlt_t::stationFault).
enum STATION_FAULT_T
{
    STATION_OK = 0,
    STATION_FAULT_GOLDEN = 1,     // a golden-machine step failed
    STATION_FAULT_RX_TIMEOUT = 2, // the DUTs took longer than the time-out
};

// One DUT of a cycle (one checked row of the device table).
struct deviceInfo_t
{
    QString port;  // serial port name of the DUT
    QString mac;   // empty when handed in; the cycle appends the DUT's MAC
    QString name;  // display name
    int slot = -1; // DUT slot (table row - 1); -1 when it has none
    // This slot's byte of the front end's progress bytes (CycleValues),
    // set when the cycle starts.
    std::atomic<uint8_t> *progressPtr = nullptr;
};

// Parameters of one cycle.
struct testPara_t
{
    QList<deviceInfo_t> devices;
    QString filePath;     // ramcode image downloaded into every DUT
    QString gmPort;       // serial port name of the golden machine
    QString gmMac;        // set by the cycle from the golden machine's answer
    uint32_t timeOut = 0; // RF test duration, RF step wait and RX wait limit, ms
    uint32_t sendInterval = 0;
    uint8_t testCha = 0; // Wi-Fi test channel
    QString logPath;     // "./log"; not read by the engine
    // The front end's shared values, set when the cycle starts: the
    // calibrations start from its calVal (without it, from the initial one).
    const CycleValues *values = nullptr;
};

// Parameters of one DUT RX worker.
struct rxTestPara
{
    QString port;
    QString dutMac;
    QString filePath;
    QString gmMac;
    QString name;
    uint32_t timeOut = 0;
    uint8_t testCha = 0;
    uint32_t freqLimit = 5; // accepted when |mean frequency offset| < freqLimit
    int8_t calStart = 0;    // first crystal value of the search
    std::atomic<uint8_t> *progressPtr = nullptr;
    logRecord *log = nullptr; // the DUT's collector, owned by the cycle
};

// Statistics of a DUT's last complete RX measurement, truncated toward zero.
struct rxTestResult
{
    int32_t freqMax = 0;
    int32_t freqMin = 0;
    int32_t rssiMax = 0;
    int32_t rssiMin = 0;
    int32_t rssiAve = 0;
    int32_t freqAve = 0;
    int32_t calResult = 0; // accepted crystal value; low byte, signed
};

// Result of one DUT in a cycle.
struct deviceRestlt_t
{
    QString name;
    int32_t rxRssiMax = 0;
    int32_t rxRssiMin = 0;
    int32_t rxRssiAve = 0;
    int8_t calVal = 0;
    int32_t txRssiMax = 0;
    int32_t txRssiMin = 0;
    int32_t txRssiAve = 0;
    int32_t freqMax = 0;
    int32_t freqMin = 0;
    int32_t freqAve = 0;
    int32_t txStatus = TX_NOT_RUN;
    int32_t rxStatus = STATUS_FAIL;
    // The step the DUT failed at (DUT_FAULT_T), DUT_OK when none did.
    int32_t fault = DUT_OK;
    // The RX figures above come from a complete measurement (a DUT that
    // failed after one still has them).
    bool rxMeasured = false;
    // The means the three averages above were truncated from, as measured:
    // the DUT is judged by these, and the station shows them with their
    // decimals. RX RSSI and frequency offset of the last complete RX
    // measurement (with rxMeasured), TX RSSI of the TX test (with txStatus
    // STATUS_PASS); 0 otherwise.
    float rxRssiMean = 0.0f;
    float freqMean = 0.0f;
    float txRssiMean = 0.0f;
    // The chip tool's own failure text of the step the DUT failed at
    // ("Could not go in download mode."), empty when it printed none.
    QString toolFailure;
};

// What a cycle reports.
struct testRestlt_t
{
    QList<deviceRestlt_t> results;
    int32_t cycleStatus = 0;
    int32_t finished = 0;
    int32_t stationFault = STATION_OK; // STATION_FAULT_T
    // The crystal value the golden machine read from its OTP; none when the
    // cycle ended before it read one.
    std::optional<int> goldenCrystal;
};

// Parameters of the separate TX worker (txTestThread).
struct txTestPara
{
    QString port;
    QString dutMac;
    QString filePath;
    QString gmMac;
    QString name;
    uint32_t timeOut = 0;
    uint32_t sendInterval = 0;
    uint32_t testCha = 0;
};

// Traceability of one DUT of a cycle, as its RX worker used and read it:
// the MAC given to the DUT, the flash UID it answered (empty when the
// worker never got that far) and the status the worker ended in, which
// tells the step it stopped at (RX_STATUS_T).
struct deviceTrace_t
{
    QString name;
    QString port;
    QString mac;
    QString flashUid;
    int rxStatus = RX_NOT_STARTED;
};

#endif // TESTRECORDS_H
