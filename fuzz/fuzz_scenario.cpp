// stationsim's scenario files: any bytes are either refused with a message
// or give a station whose every value lies in its documented range.
//
// Input: the scenario file's bytes.
#include "fuzzcheck.h"
#include "host/scenario.h"

using namespace stationsim;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray json(reinterpret_cast<const char *>(data), int(size));
    Scenario scenario;
    QString error;
    if (!scenario.parse(json, &error)) {
        FUZZ_CHECK(!error.isEmpty());
        FUZZ_CHECK(!error.contains(QLatin1Char('\n')));
        return 0;
    }
    const StationSetup setup = scenario.build(std::nullopt, std::nullopt, std::nullopt);
    FUZZ_CHECK(setup.duts >= 0 && setup.duts <= Scenario::maxDuts);
    FUZZ_CHECK(setup.basePort >= 0 && setup.basePort <= 65535);
    FUZZ_CHECK(setup.chips.size() == setup.duts + 1);
    for (int slot = 0; slot < setup.chips.size(); ++slot) {
        const ChipSetup &chip = setup.chips.at(slot);
        FUZZ_CHECK(chip.slot == slot);
        FUZZ_CHECK(chip.name == Scenario::chipName(slot));
        FUZZ_CHECK(chip.baud >= 300 && chip.baud <= 4000000);
        FUZZ_CHECK(chip.faults.lineNoise >= 0.0 && chip.faults.lineNoise <= 1.0);
        FUZZ_CHECK(chip.faults.answerDelayMs >= 0);
        FUZZ_CHECK(chip.faults.rfSamples >= 0);
        FUZZ_CHECK(chip.radio.slope >= 0.01 && chip.radio.slope <= 100.0);
        FUZZ_CHECK(chip.radio.optimum >= -128 && chip.radio.optimum <= 127);
    }
    return 0;
}
