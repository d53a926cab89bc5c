// The RFC 2217 client's view of the server: Chipctl's session decodes the
// server's bytes into chip data, replies to option negotiations and notes
// the baud rate the server confirms. The bytes may arrive split anywhere:
// split or whole, the session must read the same data and send the same
// replies, never reply more than it was asked, and never make data out of
// nothing. Escaped data must come back unchanged.
//
// Input: piece size, then the server's bytes.
#include "fuzzcheck.h"
#include "rfc2217session.h"

#include <fuzzer/FuzzedDataProvider.h>

namespace {

// Negotiations in a reply: each is IAC, a verb and an option.
bool wellFormedReplies(const QByteArray &replies)
{
    if (replies.size() % 3 != 0)
        return false;
    for (int i = 0; i < replies.size(); i += 3) {
        const uint8_t verb = uint8_t(replies.at(i + 1));
        if (uint8_t(replies.at(i)) != TelnetCodec::IAC || verb < TelnetCodec::WILL)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const int piece = in.ConsumeIntegralInRange<int>(1, 32);
    const QByteArray bytes = fuzzBytes(in.ConsumeRemainingBytes<char>());

    Rfc2217Session whole;
    whole.offers();
    QByteArray wholeData;
    const QByteArray wholeReplies = whole.take(bytes, wholeData);

    Rfc2217Session split;
    split.offers();
    QByteArray splitData;
    QByteArray splitReplies;
    for (int at = 0; at < bytes.size(); at += piece)
        splitReplies += split.take(bytes.mid(at, piece), splitData);

    FUZZ_CHECK(splitData == wholeData);
    FUZZ_CHECK(splitReplies == wholeReplies);
    FUZZ_CHECK(split.confirmedBaudRate() == whole.confirmedBaudRate());
    FUZZ_CHECK(split.negotiationSettled() == whole.negotiationSettled());
    FUZZ_CHECK(wholeData.size() <= bytes.size());
    FUZZ_CHECK(wellFormedReplies(wholeReplies));
    // At most one reply to each negotiation received (three bytes each).
    FUZZ_CHECK(wholeReplies.size() <= bytes.size());

    // The chip's bytes, escaped by the server, arrive as they were sent.
    Rfc2217Session clean;
    QByteArray back;
    const QByteArray none = clean.take(TelnetCodec::escape(bytes), back);
    FUZZ_CHECK(back == bytes);
    FUZZ_CHECK(none.isEmpty());
    return 0;
}
