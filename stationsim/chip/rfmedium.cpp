#include "chip/rfmedium.h"

#include "chip/simchip.h"

namespace stationsim {

void RfMedium::startTransmitting(SimChip *chip, int channel)
{
    transmitters.insert(chip, channel);
}

void RfMedium::stopTransmitting(SimChip *chip)
{
    transmitters.remove(chip);
}

bool RfMedium::transmitting(const SimChip *chip) const
{
    return transmitters.contains(const_cast<SimChip *>(chip));
}

SimChip *RfMedium::strongestOn(int channel, const SimChip *receiver) const
{
    SimChip *best = nullptr;
    for (auto it = transmitters.constBegin(); it != transmitters.constEnd(); ++it) {
        if (it.value() != channel || it.key() == receiver)
            continue;
        if (!best || it.key()->setup().radio.pathLoss < best->setup().radio.pathLoss)
            best = it.key();
    }
    return best;
}

} // namespace stationsim
