// stationsim's chip as it reads the host's bytes: the command lines of its
// boot ROM, ramcode and AT firmware, the YMODEM receiver of a download, and
// whatever noise falls between. The chip starts in the program the input
// picks and takes the rest in pieces; it must neither crash nor read
// outside what it was given, and its line buffer stays bounded.
//
// Input: start program, piece size, then the host's bytes.
#include "chip/rfmedium.h"
#include "chip/simchip.h"
#include "fuzzcheck.h"
#include "host/scenario.h"

#include <fuzzer/FuzzedDataProvider.h>

using namespace stationsim;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzApplication();
    FuzzedDataProvider in(data, size);
    const int start = in.ConsumeIntegralInRange<int>(0, 2);
    const bool golden = in.ConsumeBool();
    const int piece = in.ConsumeIntegralInRange<int>(1, 256);
    const QByteArray bytes = fuzzBytes(in.ConsumeRemainingBytes<char>());

    ChipSetup setup = Scenario::defaultChip(golden ? 0 : 1);
    setup.start =
        start == 0 ? StartMode::Firmware : (start == 1 ? StartMode::BootRom : StartMode::Ramcode);
    RfMedium air;
    SimChip chip(setup, 1, &air);
    QString error;
    FUZZ_CHECK(chip.open(QString(), &error));
    chip.powerOn();
    for (int at = 0; at < bytes.size(); at += piece)
        emit chip.link()->toChip(bytes.mid(at, piece));
    return 0;
}
