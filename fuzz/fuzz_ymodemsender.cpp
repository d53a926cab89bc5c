// The YMODEM sender's view of the receiver: yModemProtocol::sendFile sends a
// real file while every byte it hears comes from the input, a piece after
// each packet it sends and a piece whenever it waits. When the input runs
// out the receiver cancels, so every run ends. Whatever it hears, the
// sender sends the file's blocks in order and each with the file's bytes,
// and reports success only after the whole file went out and the closing
// block was acknowledged.
//
// Input: file and block size, then pieces (a length byte and its bytes).
#include "fuzzcheck.h"
#include "protocol/ymodemprotocol.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <fuzzer/FuzzedDataProvider.h>

namespace {

const int fileSizes[] = {1, 128, 129, 1024, 1500, 2049, 16384, 20000};
constexpr int fileCount = int(sizeof(fileSizes) / sizeof(fileSizes[0]));

struct Files
{
    QTemporaryDir dir;
    QStringList paths;
    QList<QByteArray> contents;

    Files()
    {
        for (int i = 0; i < fileCount; ++i) {
            QByteArray content(fileSizes[i], '\0');
            for (int b = 0; b < content.size(); ++b)
                content[b] = char((b * 131 + i * 7) & 0xff);
            const QString path = dir.filePath(QStringLiteral("image%1.bin").arg(i));
            QFile file(path);
            FUZZ_CHECK(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
            paths.append(path);
            contents.append(content);
        }
    }
};

// Checks every packet the sender emits against the file.
class PacketCheck
{
public:
    PacketCheck(const QByteArray &content, uint32_t blockSize)
        : content(content)
        , blockSize(qint64(blockSize))
    {}

    void packet(const QByteArray &p)
    {
        if (p.isEmpty())
            return;
        const char start = p.at(0);
        if (start == yModemProtocol::EOT || start == yModemProtocol::CAN)
            return;
        FUZZ_CHECK(start == yModemProtocol::SOH || start == yModemProtocol::STX);
        const int length = start == yModemProtocol::SOH ? 128 : int(blockSize);
        FUZZ_CHECK(p.size() == 3 + length + 2);
        const uint8_t number = uint8_t(p.at(1));
        FUZZ_CHECK(uint8_t(p.at(2)) == uint8_t(255 - number));
        if (number == 0 && (sentData == 0 || finished)) {
            // The header before the data, the closing block after it.
            if (sentData > 0)
                closed = true;
            return;
        }
        // Data: the same block again after a NAK, or the next one.
        FUZZ_CHECK(number == uint8_t(lastNumber) || number == uint8_t(lastNumber + 1));
        if (number == uint8_t(lastNumber + 1) || sentData == 0)
            offset = qint64(nextIndex++) * blockSize;
        lastNumber = number;
        ++sentData;
        const QByteArray expected = content.mid(int(offset), length);
        FUZZ_CHECK(p.mid(3, expected.size()) == expected);
        if (offset + expected.size() >= content.size())
            finished = true;
    }

    bool wholeFileSent() const { return finished; }
    bool closingSent() const { return closed; }

private:
    QByteArray content;
    qint64 blockSize;
    int lastNumber = 0;
    int nextIndex = 0;
    qint64 offset = 0;
    int sentData = 0;
    bool finished = false;
    bool closed = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzApplication();
    static Files files;
    FuzzedDataProvider in(data, size);
    const int which = in.ConsumeIntegralInRange<int>(0, fileCount - 1);
    const uint32_t blockSize = in.ConsumeBool() ? 16384 : 1024;

    yModemProtocol sender;
    sender.blockSize = blockSize;
    PacketCheck check(files.contents.at(which), blockSize);
    const auto hear = [&] {
        if (in.remaining_bytes() == 0) {
            // The receiver gives up: five CAN bytes.
            sender.recvData(QByteArray(5, yModemProtocol::CAN));
            return;
        }
        const int length = in.ConsumeIntegralInRange<int>(0, 8);
        sender.recvData(fuzzBytes(in.ConsumeBytes<char>(size_t(length))));
    };
    QObject::connect(&sender, &yModemProtocol::sendData, &sender, [&](const QByteArray &packet) {
        check.packet(packet);
        hear();
    });
    QTimer waiting;
    waiting.setInterval(0);
    QObject::connect(&waiting, &QTimer::timeout, &sender, hear);
    waiting.start();

    const uint8_t result = sender.sendFile(files.paths.at(which));
    FUZZ_CHECK(
        result == yModemProtocol::ResultDone || result == yModemProtocol::ResultChipCancelled ||
        result == yModemProtocol::ResultDataError || result == yModemProtocol::ResultTimeout);
    FUZZ_CHECK(sender.progress >= 0.0f && sender.progress <= 1.0f);
    if (result == yModemProtocol::ResultDone) {
        FUZZ_CHECK(check.wholeFileSent());
        FUZZ_CHECK(check.closingSent());
    }
    return 0;
}
