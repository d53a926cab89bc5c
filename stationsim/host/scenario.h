#ifndef STATIONSIM_SCENARIO_H
#define STATIONSIM_SCENARIO_H

#include "chip/chipsetup.h"

#include <QJsonObject>

#include <optional>

namespace stationsim {

class StrictJson;

// A scenario file: the station's set-up as JSON (ports, rate, seed and, per
// chip, radio, initial storage and faults). Every key is checked when the
// file is loaded; build() then cannot fail.
class Scenario
{
public:
    static constexpr int maxDuts = 24;

    bool load(const QString &path, QString *error);
    bool parse(const QByteArray &json, QString *error);

    // Built-in defaults, then the scenario, then the command line (a
    // delivery model or a chip pace there applies to every chip).
    StationSetup build(std::optional<int> duts, std::optional<int> basePort,
                       std::optional<quint32> seed, std::optional<Delivery> delivery = std::nullopt,
                       std::optional<ChipPace> pace = std::nullopt) const;

    // The healthy chip of a slot (0 golden machine, 1..24 DUT).
    static ChipSetup defaultChip(int slot);
    static QString chipName(int slot);

private:
    bool apply(StationSetup *setup, QString *error) const;
    static bool applyChip(const QJsonObject &object, const QString &path, ChipSetup *chip,
                          QString *error);
    static bool readFaults(StrictJson &json, ChipFaults *faults);
    static bool readStorage(StrictJson &json, InitialStorage *storage);
    static bool readDrift(StrictJson &json, ChipDrift *drift);

    QJsonObject root;
};

} // namespace stationsim

#endif // STATIONSIM_SCENARIO_H
