// Benchmate's reading of the chip tool's console output: the result mark,
// the golden machine's MAC and crystal value, the RX and TX samples. A MAC
// that reads must be six groups of two hexadecimal digits that give the
// bytes handed back; samples must be numbers a mean can be taken of.
//
// Input: the tool's standard output.
#include "fuzzcheck.h"
#include "tooloutput.h"

#include <QtMath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const QString output = toolOutput::decode(bytes);
    FUZZ_CHECK(!output.contains(QChar(0)));

    const QString first = toolOutput::firstLine(output);
    FUZZ_CHECK(!first.contains(QLatin1Char('\n')) && !first.contains(QLatin1Char('\r')));
    FUZZ_CHECK(output.startsWith(first));

    QString mac;
    toolOutput::macBytes macBytes{};
    if (toolOutput::parseGoldenMac(output, &mac, &macBytes)) {
        FUZZ_CHECK(toolOutput::isOk(output));
        FUZZ_CHECK(mac.size() == 17);
        const QStringList groups = mac.split(QLatin1Char(':'));
        FUZZ_CHECK(groups.size() == 6);
        for (int i = 0; i < 6; ++i) {
            bool ok = false;
            FUZZ_CHECK(groups.at(i).size() == 2);
            FUZZ_CHECK(groups.at(i).toUInt(&ok, 16) == macBytes[size_t(i)] && ok);
        }
    }

    int8_t xtal = 0;
    toolOutput::parseGoldenXtal(output, &xtal);

    QList<float> rssi;
    QList<float> freq;
    toolOutput::parseRxSamples(output, &rssi, &freq);
    const int lines = output.count(QLatin1Char('\n')) + 1;
    FUZZ_CHECK(rssi.size() <= lines && freq.size() <= lines);
    for (float v : qAsConst(rssi))
        FUZZ_CHECK(qIsFinite(v));
    for (float v : qAsConst(freq))
        FUZZ_CHECK(qIsFinite(v));

    const QList<int> tx = toolOutput::parseTxRssi(output);
    FUZZ_CHECK(tx.size() <= lines);
    return 0;
}
