// The chip's answers in its AT firmware as ATCMD reads them: the bytes
// arrive in pieces, each up to its first 0x00, and "AT+ATE_OK?" is read into
// four calibration values. A real ATCMD is driven when the answer holds the
// "OK" line it waits for (the answer then arrives at once and only its
// settling is waited for); its reading must agree with the reading of the
// text on its own.
//
// Input: piece size, then the answer bytes.
#include "atcmd.h"
#include "fuzzcheck.h"
#include "protocol/answerrules.h"

#include <fuzzer/FuzzedDataProvider.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzApplication();
    FuzzedDataProvider in(data, size);
    const int piece = in.ConsumeIntegralInRange<int>(1, 64);
    const QByteArray answer = fuzzBytes(in.ConsumeRemainingBytes<char>());

    QList<QByteArray> pieces;
    QByteArray kept;
    for (int at = 0; at < answer.size(); at += piece) {
        pieces.append(answer.mid(at, piece));
        kept += answerRules::untilNul(pieces.last());
    }
    const QString text = QString::fromUtf8(kept);

    QList<int32_t> values;
    const bool read = ATCMD::parseCalibration(text, values);
    FUZZ_CHECK(values.size() <= 4);
    FUZZ_CHECK(!read || values.size() == 4);

    if (ATCMD::hasOkLine(kept)) {
        ATCMD at;
        QObject::connect(&at, &ATCMD::sendData, &at, [&](const QByteArray &) {
            for (const QByteArray &bytes : pieces)
                at.recvData(bytes);
        });
        QList<int32_t> fromChip;
        const bool ok = at.readCalibration(fromChip);
        FUZZ_CHECK(ok == read);
        FUZZ_CHECK(fromChip == values);
    }
    return 0;
}
