#ifndef STATIONSIM_RFMEDIUM_H
#define STATIONSIM_RFMEDIUM_H

#include <QHash>
#include <QList>

namespace stationsim {

class SimChip;

// The air between the chips: who transmits on which channel. A chip
// transmits from its start command until "rf_stop", a reset or its death.
class RfMedium
{
public:
    void startTransmitting(SimChip *chip, int channel);
    void stopTransmitting(SimChip *chip);
    bool transmitting(const SimChip *chip) const;
    // The transmitter on the channel that the receiver hears best (lowest path
    // loss), or nullptr when the channel is quiet.
    SimChip *strongestOn(int channel, const SimChip *receiver) const;

private:
    QHash<SimChip *, int> transmitters;
};

} // namespace stationsim

#endif // STATIONSIM_RFMEDIUM_H
