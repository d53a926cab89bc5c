// The chip's answers as Chipctl reads them. Every ramcode operation of
// tranProtocol judges the bytes received since its command with an answer
// rule, evaluated whenever bytes arrive; here the rule of one operation sees
// the answer grow piece by piece, as the wait would show it, until it
// accepts or rejects (a malformed answer is looked at again as more comes,
// as the wait does). What a rule hands back must be what the operation
// promises its caller: a value in its form, never a damaged one.
//
// Input: operation, dump length, device count, piece size, then the answer.
#include "fuzzcheck.h"
#include "protocol/answerrules.h"
#include "protocol/valueform.h"

#include <fuzzer/FuzzedDataProvider.h>

namespace {

enum Operation
{
    Confirm,   // the setters, RF start and stop, OTP and eFuse writes, GPIO writes
    PassFail,  // flash erase, start address, flash dump
    FileCount, // filecount
    FlashUid,  // flash_uid
    EfuseWord, // efuse_read
    LockState, // flash_otp_get_lock_state
    GpioValue, // gpio_read
    GpioLevels,
    XtalTag, // get_xtal_cap_in_flash_otp
    TxpBTag,
    TxpGnTag,
    MacStrict,   // get_m_local_mac
    MacLenient,  // get_mac_in_flash_otp
    HexDump,     // the chunks of a read to a file
    MasterTx,    // start_m_tx_test
    SlaveRx,     // start_s_rx_test
    CheckedDump, // flash_read, flash_otp_read
    OperationCount
};

// One look at the buffer; checks what an accepted answer hands back.
AnswerState judge(int operation, const QByteArray &buf, uint32_t length, uint8_t devices)
{
    using namespace answerRules;
    switch (operation) {
    case Confirm:
        return confirm(buf);
    case PassFail:
        return passFail(buf);
    case FileCount: {
        uint32_t count = 7;
        return fileCount(buf, count);
    }
    case FlashUid: {
        QString uid = QStringLiteral("unchanged");
        const AnswerState state = flashUid(buf, uid);
        if (state == AnswerState::Accepted)
            FUZZ_CHECK(valueForm::hexNumber(uid.toLatin1(), 32) && uid.size() == 34);
        else
            FUZZ_CHECK(uid == QLatin1String("unchanged"));
        return state;
    }
    case EfuseWord: {
        QString word = QStringLiteral("unchanged");
        const AnswerState state = efuseWord(buf, word);
        if (state == AnswerState::Accepted)
            FUZZ_CHECK(valueForm::hexNumber(word.toLatin1(), 8) && word.size() == 10);
        else
            FUZZ_CHECK(word == QLatin1String("unchanged"));
        return state;
    }
    case LockState: {
        uint32_t lock = 9;
        const AnswerState state = lockState(buf, lock);
        if (state == AnswerState::Accepted)
            FUZZ_CHECK(lock == 0 || lock == 1);
        return state;
    }
    case GpioValue: {
        int32_t value = -1;
        const AnswerState state = gpioValue(buf, value);
        if (state == AnswerState::Accepted)
            FUZZ_CHECK(value >= 0 && value <= 9);
        else
            FUZZ_CHECK(value == -1);
        return state;
    }
    case GpioLevels: {
        uint32_t levels = 0;
        return gpioLevels(buf, levels);
    }
    case XtalTag:
    case TxpBTag:
    case TxpGnTag: {
        static const QByteArray tags[] = {"xtal_cap:", "b:", "gn:"};
        int32_t value = 0;
        return taggedValue(buf, tags[operation - XtalTag], value);
    }
    case MacStrict:
    case MacLenient: {
        QString mac = QStringLiteral("unchanged");
        const AnswerState state = macLine(buf, operation == MacStrict, mac);
        // Accepted with an address, or (lenient only) with none at all.
        if (state == AnswerState::Accepted && (operation == MacStrict || mac != "unchanged")) {
            QByteArray address = mac.toLatin1();
            FUZZ_CHECK(address.endsWith('\n'));
            address.chop(address.endsWith("\r\n") ? 2 : 1);
            FUZZ_CHECK(valueForm::macAddress(address));
        }
        if (state != AnswerState::Accepted)
            FUZZ_CHECK(mac == QLatin1String("unchanged"));
        return state;
    }
    case HexDump: {
        QString dump;
        const AnswerState state = hexDump(buf, length, dump);
        if (state == AnswerState::Accepted) {
            FUZZ_CHECK(qint64(dump.size()) == 3 * qint64(length) + 5);
            QByteArray data;
            if (dumpBytes(dump, length, data))
                FUZZ_CHECK(uint32_t(data.size()) == length);
        }
        return state;
    }
    case CheckedDump: {
        QString dump;
        const AnswerState state = checkedDump(buf, length, dump);
        if (state == AnswerState::Accepted) {
            QByteArray data;
            FUZZ_CHECK(dumpBytes(dump, length, data));
            FUZZ_CHECK(uint32_t(data.size()) == length);
        } else {
            FUZZ_CHECK(dump.isEmpty());
        }
        return state;
    }
    case MasterTx: {
        QStringList lines;
        const AnswerState state = masterTxLines(buf, devices, lines);
        if (state == AnswerState::Accepted) {
            FUZZ_CHECK(lines.size() >= 20 * int(devices));
            for (const QString &line : lines)
                FUZZ_CHECK(line.contains(QLatin1String("rssi:")));
        }
        return state;
    }
    case SlaveRx: {
        QStringList lines;
        const AnswerState state = slaveRxLines(buf, lines);
        if (state == AnswerState::Accepted) {
            FUZZ_CHECK(lines.size() >= 20);
            for (const QString &line : lines)
                FUZZ_CHECK(line.contains(QLatin1String("rssi=")));
        }
        return state;
    }
    default:
        return AnswerState::Pending;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const int operation = in.ConsumeIntegralInRange<int>(0, OperationCount - 1);
    const uint32_t length = in.ConsumeIntegralInRange<uint32_t>(0, 600);
    const uint8_t devices = in.ConsumeIntegralInRange<uint8_t>(0, 3);
    const int piece = in.ConsumeIntegralInRange<int>(1, 64);
    const QByteArray answer = fuzzBytes(in.ConsumeRemainingBytes<char>());

    // The rule runs once before anything has arrived, then after each piece.
    for (int received = 0;; received += piece) {
        const QByteArray buf = answer.left(received);
        const AnswerState state = judge(operation, buf, length, devices);
        if (state == AnswerState::Accepted || state == AnswerState::Rejected)
            break;
        if (received >= answer.size())
            break;
    }

    // A hex dump read to a file: any text must be refused or give the bytes.
    QByteArray chunk;
    if (answerRules::dumpBytes(QString::fromLatin1(answer), length, chunk))
        FUZZ_CHECK(uint32_t(chunk.size()) == length);
    return 0;
}
