#ifndef SETUPCHECK_H
#define SETUPCHECK_H

#include "deviceconfigfile.h"

#include <QList>
#include <QString>

// What a cycle takes from the operator's set-up, as written (the window's
// boxes and table, or the lines of the settings file), before anything is
// read as a number. The number fields are the settings record's own.
struct SetupTexts : DeviceConfig::Texts
{
    // An enabled DUT row.
    struct Dut
    {
        int slot = 0;
        QString port;
        QString txCal;
        QString rxCal;
    };

    QString gmPort;
    QString firmwarePath;
    QList<Dut> duts;

    // The set-up of a settings file (its number lines as they were written)
    // or of the window (its boxes, through the same record).
    static SetupTexts fromConfig(const DeviceConfig &config);
};

// A field of the set-up that a cycle uses.
enum class SetupField
{
    RxRssiMax,
    RxRssiMin,
    RxFreqMax,
    RxFreqMin,
    TxRssiMax,
    TxRssiMin,
    TestCha,
    SendInterval,
    TimeOut,
    Firmware,
    GoldenPort,
    DutPort, // of one DUT row
    TxCal,   // of one DUT row
    RxCal,   // of one DUT row
    Duts,    // the enabled rows as a whole
};

// One thing wrong with the set-up.
struct SetupProblem
{
    enum Kind
    {
        NotANumber,    // text: what was written (maybe empty)
        TooPrecise,    // more decimals than the field keeps (decimals; 0: a whole number)
        OutOfRange,    // min, max, text
        NotBelowUpper, // a lower limit not below its upper limit (bound)
        Missing,       // a port or file name left empty
        NotFound,      // the firmware file does not exist (text: its path)
        HasComma,      // the settings file cannot keep a comma (text)
        SamePort,      // the port of another row too (otherSlot, -1 the golden machine)
        NoDut,         // no DUT row enabled
    };

    SetupField field = SetupField::Duts;
    Kind kind = NoDut;
    int slot = -1; // the DUT row of DutPort, TxCal and RxCal
    QString text;
    double min = 0;
    double max = 0;
    double bound = 0;   // NotBelowUpper: the upper limit
    int decimals = 0;   // TooPrecise
    int otherSlot = -1; // SamePort
};

// The range a number field can hold, and how many decimals (0: a whole
// number). Each fits the settings file's six significant digits, so what
// is checked is what is kept.
struct FieldRange
{
    double min = 0;
    double max = 0;
    int decimals = 0;
};

// Checks a set-up before a cycle starts: every number the cycle uses is a
// number within the range of its field, each lower limit is below its upper
// limit, the ports and the firmware are there, and at least one DUT is
// enabled. The window and benchrun both check with it, so what one refuses
// the other refuses too.
class SetupCheck
{
public:
    static FieldRange range(SetupField field);

    // Every problem, in the order of the window's form: RX limits, TX
    // limits, the other parameters, the firmware, the golden machine, the
    // DUT rows. Empty when a cycle can start.
    static QList<SetupProblem> check(const SetupTexts &texts);

    // Reads a number field as check() does: true when `text` is a decimal
    // number with no more decimals than `range` allows (range not checked).
    static bool parse(const QString &text, const FieldRange &range, double *value);

    // In English, for the console: "RX RSSI upper limit", "TX RSSI
    // calibration offset of DUT3".
    static QString fieldName(SetupField field, int slot = -1);
    // The 1-based line of the settings file that holds the field.
    static int configLine(SetupField field, int slot = -1);
    // "RX RSSI upper limit (line 28): not a number ("abc")".
    static QString describe(const SetupProblem &problem);
};

#endif // SETUPCHECK_H
