// CMD_PARSE: "rf", the calibration values of the chip's normal firmware,
// set and read with AT commands.
#include "cmdparse.h"

#include "atcmd.h"
#include "console.h"
#include "resultcode.h"

namespace {

// TX power modes of ATCMD::setTxPower.
constexpr int txPowerB = 0;
constexpr int txPowerGn = 1;
constexpr int txPowerBgn = 2;

} // namespace

// "rf" xtal_cap|tx_power_b|tx_power_gn|tx_power_bgn VALUE sets a value;
// "rf read" (with or without a further word) reads all four.
uint32_t CMD_PARSE::cmdRf()
{
    QString sub;
    if (!word(2, sub))
        return ERR_PARAMETER;

    int txMode = -1;
    bool setXtal = false;
    if (count() == 4) {
        // The value word is judged before the sub-command word.
        int32_t value = 0;
        if (!signedDecWord(3, value))
            return ERR_PARAMETER;
        if (sub == QLatin1String("xtal_cap"))
            setXtal = true;
        else if (sub == QLatin1String("tx_power_b"))
            txMode = txPowerB;
        else if (sub == QLatin1String("tx_power_gn"))
            txMode = txPowerGn;
        else if (sub == QLatin1String("tx_power_bgn"))
            txMode = txPowerBgn;
        else if (sub != QLatin1String("read"))
            return ERR_PARAMETER;
        if (setXtal || txMode >= 0) {
            if (!at->enterAT())
                return ERR_AT_MODE;
            const bool ok = setXtal ? at->setXtalCap(value) : at->setTxPower(txMode, value);
            return ok ? CMD_OK : ERR_COMMAND;
        }
    } else if (sub != QLatin1String("read")) {
        return ERR_PARAMETER;
    }

    if (!at->enterAT())
        return ERR_AT_MODE;
    QList<int32_t> values;
    if (!at->readCalibration(values) || values.size() != 4)
        return ERR_COMMAND;
    QTextStream &out = Console::out();
    out << "XTAL CAP:" << values.at(0) << "\n";
    out << "TX POWER BGN:" << values.at(1) << "\n";
    out << "TX POWER B:" << values.at(2) << "\n";
    out << "TX POWER GN:" << values.at(3) << "\n";
    return CMD_OK;
}
