#ifndef STATIONSIM_ATFIRMWARE_H
#define STATIONSIM_ATFIRMWARE_H

#include "chip/commandset.h"

namespace stationsim {

// The chip's normal firmware as far as the station uses it: AT commands that
// set the crystal and TX power calibration values (kept in OTP) and
// "AT+ATE_OK?", which reports the four stored values.
class AtFirmware : public CommandSet
{
public:
    using CommandSet::CommandSet;
    void command(const QByteArray &line) override;

private:
    void setValue(int which, const QByteArray &text);
};

} // namespace stationsim

#endif // STATIONSIM_ATFIRMWARE_H
