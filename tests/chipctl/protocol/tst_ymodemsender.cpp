// The YMODEM sender against an in-process receiver: packets byte for byte,
// block forms and padding, block numbers, NAKs, CANs, time-out and refusal.
#include "fakechip.h"
#include "protocol/ymodemprotocol.h"
#include "ymodemreceiver.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

QByteArray randomBytes(int size, quint32 seed)
{
    QRandomGenerator gen(seed);
    QByteArray bytes(size, '\0');
    for (char &c : bytes)
        c = char(gen.bounded(256));
    return bytes;
}

// A sender wired to a receiver through an in-process chip.
struct Link
{
    explicit Link(int blockSize)
        : rx(blockSize)
    {
        sender.blockSize = uint32_t(blockSize);
        chip.setRawMode(true);
        chip.setDelayMs(1);
        chip.setResponder([this](const QByteArray &bytes) { return rx.feed(bytes); });
        QObject::connect(&sender, &yModemProtocol::sendData, &chip, &FakeChip::hostSent);
        QObject::connect(&chip, &FakeChip::chipSent, &sender, &yModemProtocol::recvData);
    }

    yModemProtocol sender;
    FakeChip chip;
    YmodemReceiver rx;
};

} // namespace

class tst_YmodemSender : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void headerPacket();
    void headerCutsLongNames();
    void dataAndClosingPackets();
    void transfer_data();
    void transfer();
    void blockNumbersWrap();
    void nakRepeatsTheSameBlock();
    void progressFollowsAcknowledgedBytes();
    void fiveCansAbort_data();
    void fiveCansAbort();
    void fourCansDoNotAbort();
    void emptyOrMissingFileIsRefused();
    void requestAlreadyBufferedStartsTheTransfer();
    void silentReceiverTimesOut();
    void resultTexts();

private:
    QString writeFile(const QString &name, const QByteArray &content);
    std::unique_ptr<QTemporaryDir> dir;
};

void tst_YmodemSender::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

QString tst_YmodemSender::writeFile(const QString &name, const QByteArray &content)
{
    const QString path = dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return QString();
    return path;
}

void tst_YmodemSender::headerPacket()
{
    const QByteArray packet = yModemProtocol::headerPacket(QStringLiteral("a.bin"), 1000);
    QCOMPARE(packet.size(), 133);
    QCOMPARE(packet.left(3), QByteArray("\x01\x00\xff", 3));
    const QByteArray field = packet.mid(3, 128);
    QCOMPARE(field, QByteArray("a.bin\0"
                               "1000",
                               10) +
                        QByteArray(118, '\0'));
    const uint16_t crc = YmodemReceiver::crc(field);
    QCOMPARE(uint8_t(packet.at(131)), uint8_t(crc >> 8));
    QCOMPARE(uint8_t(packet.at(132)), uint8_t(crc & 0xff));
}

void tst_YmodemSender::headerCutsLongNames()
{
    const QByteArray twenty = "abcdefghijklmnopqrst";
    QByteArray field =
        yModemProtocol::headerPacket(QString::fromLatin1(twenty + "uvw.bin"), 7).mid(3, 128);
    QCOMPARE(field.left(23), twenty + QByteArray("\0"
                                                 "7\0",
                                                 3));
    field = yModemProtocol::headerPacket(QString::fromLatin1(twenty), 7).mid(3, 128);
    QCOMPARE(field.left(21), twenty + '\0');
    // UTF-8 for names that are not ASCII; 20 characters, not bytes.
    const QString chinese = QStringLiteral("固件固件固件固件固件固件固件固件固件固件固件.bin");
    field = yModemProtocol::headerPacket(chinese, 1234567).mid(3, 128);
    const QByteArray cut = chinese.left(20).toUtf8();
    QCOMPARE(cut.size(), 60);
    QCOMPARE(field.left(69), cut + QByteArray("\0"
                                              "1234567\0",
                                              9));
}

void tst_YmodemSender::dataAndClosingPackets()
{
    const QByteArray closing = yModemProtocol::closingPacket();
    QCOMPARE(closing, QByteArray("\x01\x00\xff", 3) + QByteArray(130, '\0'));
    QCOMPARE(yModemProtocol::cancelPacket(), QByteArray(5, '\x18'));

    // 128 bytes: the short form, unpadded. 129 bytes: the long form padded
    // to the block size. Block 7's complement is 248.
    QByteArray packet = yModemProtocol::dataPacket(7, QByteArray(128, 'x'), 1024);
    QCOMPARE(packet.size(), 133);
    QCOMPARE(packet.left(3), QByteArray("\x01\x07\xf8", 3));
    packet = yModemProtocol::dataPacket(7, QByteArray(129, 'x'), 1024);
    QCOMPARE(packet.size(), 1029);
    QCOMPARE(packet.at(0), '\x02');
    QCOMPARE(packet.mid(3, 1024), QByteArray(129, 'x') + QByteArray(895, '\x1a'));
    QCOMPARE(uint16_t(uint8_t(packet.at(1027)) << 8 | uint8_t(packet.at(1028))),
             YmodemReceiver::crc(packet.mid(3, 1024)));
    packet = yModemProtocol::dataPacket(255, QByteArray(1, 'y'), 16384);
    QCOMPARE(packet.left(4), QByteArray("\x01\xff\x00y", 4));
    QCOMPARE(packet.mid(4, 127), QByteArray(127, '\x1a'));
}

void tst_YmodemSender::transfer_data()
{
    QTest::addColumn<int>("blockSize");
    QTest::addColumn<int>("size");
    // (start byte, data bytes carried) of each data frame, in order.
    QTest::addColumn<QString>("frames");
    QTest::newRow("1 byte") << 1024 << 1 << "S1";
    QTest::newRow("128 bytes: short form") << 1024 << 128 << "S128";
    QTest::newRow("129 bytes: long form") << 1024 << 129 << "L129";
    QTest::newRow("one whole block") << 1024 << 1024 << "L1024";
    QTest::newRow("block + 1") << 1024 << 1025 << "L1024 S1";
    QTest::newRow("two blocks") << 1024 << 2048 << "L1024 L1024";
    QTest::newRow("block + 129") << 1024 << 1153 << "L1024 L129";
    QTest::newRow("flash block") << 16384 << 16384 << "L16384";
    QTest::newRow("flash block + 1") << 16384 << 16385 << "L16384 S1";
    QTest::newRow("flash 40000") << 16384 << 40000 << "L16384 L16384 L7232";
}

void tst_YmodemSender::transfer()
{
    QFETCH(int, blockSize);
    QFETCH(int, size);
    QFETCH(QString, frames);
    const QByteArray content = randomBytes(size, quint32(size));
    const QString path = writeFile(QStringLiteral("image.bin"), content);
    QVERIFY(!path.isEmpty());

    Link link(blockSize);
    link.chip.deliver("C");
    QCOMPARE(int(link.sender.sendFile(path)), int(yModemProtocol::ResultDone));
    QVERIFY2(link.rx.error.isEmpty(), qPrintable(link.rx.error));
    QVERIFY(link.rx.done);
    QCOMPARE(link.rx.fileName, QStringLiteral("image.bin"));
    QCOMPARE(link.rx.fileSize, qint64(size));
    QCOMPARE(link.rx.data, content);
    QCOMPARE(link.rx.eots, 2);
    QCOMPARE(link.rx.cans, 0);
    QCOMPARE(link.sender.progress.load(), 1.0f);

    // Each frame's form and the data it carries, the rest being padding.
    QStringList seen;
    int offset = 0;
    for (const YmodemReceiver::Frame &frame : qAsConst(link.rx.frames)) {
        const int carried = qMin(size - offset, frame.payload.size());
        seen << (frame.start == '\x01' ? "S" : "L") + QString::number(carried);
        QCOMPARE(frame.payload.size(), frame.start == '\x01' ? 128 : blockSize);
        QCOMPARE(frame.payload.mid(carried), QByteArray(frame.payload.size() - carried, '\x1a'));
        offset += carried;
    }
    QCOMPARE(seen.join(' '), frames);
}

void tst_YmodemSender::blockNumbersWrap()
{
    // 300 blocks: numbers 1..255, then 0, 1, ... 44.
    const QByteArray content = randomBytes(300 * 1024, 300);
    const QString path = writeFile(QStringLiteral("big.bin"), content);
    Link link(1024);
    link.chip.deliver("C");
    QCOMPARE(int(link.sender.sendFile(path)), int(yModemProtocol::ResultDone));
    QVERIFY2(link.rx.error.isEmpty(), qPrintable(link.rx.error));
    QCOMPARE(link.rx.frames.size(), 300);
    QCOMPARE(link.rx.frames.at(254).number, uint8_t(255));
    QCOMPARE(link.rx.frames.at(255).number, uint8_t(0));
    QCOMPARE(link.rx.frames.at(299).number, uint8_t(44));
    QCOMPARE(link.rx.data, content);
}

void tst_YmodemSender::nakRepeatsTheSameBlock()
{
    const QByteArray content = randomBytes(3000, 3);
    const QString path = writeFile(QStringLiteral("nak.bin"), content);
    Link link(1024);
    // The second data frame (block 2) twice, and the last one (block 3).
    link.rx.nakFrames = {2, 3, 5};
    link.chip.deliver("C");
    QCOMPARE(int(link.sender.sendFile(path)), int(yModemProtocol::ResultDone));
    QVERIFY2(link.rx.error.isEmpty(), qPrintable(link.rx.error));
    QList<int> numbers;
    for (const YmodemReceiver::Frame &frame : qAsConst(link.rx.frames))
        numbers << frame.number;
    QCOMPARE(numbers, QList<int>({1, 2, 2, 2, 3, 3}));
    QCOMPARE(link.rx.frames.at(1).payload, link.rx.frames.at(3).payload);
    QCOMPARE(link.rx.data, content);
}

void tst_YmodemSender::progressFollowsAcknowledgedBytes()
{
    const QByteArray content = randomBytes(4096, 4);
    const QString path = writeFile(QStringLiteral("p.bin"), content);
    Link link(1024);
    QList<float> seen;
    link.rx.answerHook = [&](int, const QByteArray &answer) {
        seen << link.sender.progress.load();
        return answer;
    };
    link.chip.deliver("C");
    QCOMPARE(int(link.sender.sendFile(path)), int(yModemProtocol::ResultDone));
    // When block k arrives, k - 1 blocks have been acknowledged.
    QCOMPARE(seen, QList<float>({0.0f, 0.25f, 0.5f, 0.75f}));
    QCOMPARE(link.sender.progress.load(), 1.0f);
}

void tst_YmodemSender::fiveCansAbort_data()
{
    QTest::addColumn<int>("atFrame");
    QTest::newRow("before the header") << 0;
    QTest::newRow("after data block 2") << 2;
}

void tst_YmodemSender::fiveCansAbort()
{
    QFETCH(int, atFrame);
    const QString path = writeFile(QStringLiteral("c.bin"), randomBytes(5000, 5));
    Link link(1024);
    // Not in a row: CAN bytes anywhere among the answer count.
    const QByteArray cans("\x18\x18x\x18\x06\x18\x18");
    if (atFrame == 0) {
        link.chip.deliver("C" + cans);
    } else {
        link.chip.deliver("C");
        link.rx.answerHook = [&](int frame, const QByteArray &answer) {
            return frame == atFrame ? cans : answer;
        };
    }
    QCOMPARE(int(link.sender.sendFile(path)), int(yModemProtocol::ResultChipCancelled));
    QCOMPARE(link.chip.received.last(), QByteArray(5, '\x18'));
    QCOMPARE(link.rx.frames.size(), atFrame);
}

void tst_YmodemSender::fourCansDoNotAbort()
{
    const QByteArray content = randomBytes(5000, 6);
    const QString path = writeFile(QStringLiteral("c4.bin"), content);
    Link link(1024);
    link.rx.answerHook = [&](int, const QByteArray &answer) { return answer + "\x18\x18\x18\x18"; };
    link.chip.deliver(QByteArray("\x18\x18\x18\x18") + 'C');
    QCOMPARE(int(link.sender.sendFile(path)), int(yModemProtocol::ResultDone));
    QCOMPARE(link.rx.data, content);
    QCOMPARE(link.rx.cans, 0);
}

void tst_YmodemSender::emptyOrMissingFileIsRefused()
{
    // An empty file is no image: refused at once, nothing sent, whatever the
    // receiver asks.
    const QString empty = writeFile(QStringLiteral("empty.bin"), QByteArray());
    QVERIFY(!empty.isEmpty());
    for (const QString &path : {empty, dir->filePath(QStringLiteral("missing.bin"))}) {
        Link link(1024);
        link.chip.deliver("C");
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(int(link.sender.sendFile(path)), int(yModemProtocol::ResultOpenFailed));
        QVERIFY(clock.elapsed() < 1000);
        QVERIFY(link.chip.received.isEmpty());
        QCOMPARE(link.sender.progress.load(), 0.0f);
    }
}

void tst_YmodemSender::requestAlreadyBufferedStartsTheTransfer()
{
    // A "C" that arrived before sendFile was called is not lost.
    const QByteArray content = randomBytes(10, 7);
    Link link(1024);
    link.sender.recvData("C");
    QCOMPARE(int(link.sender.sendFile(writeFile(QStringLiteral("b.bin"), content))),
             int(yModemProtocol::ResultDone));
    QCOMPARE(link.rx.data, content);
}

void tst_YmodemSender::silentReceiverTimesOut()
{
    const QString path = writeFile(QStringLiteral("s.bin"), randomBytes(100, 8));
    Link link(1024);
    // Bytes that are no request keep nothing alive.
    link.chip.deliver("\x06\x15xyz");
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(int(link.sender.sendFile(path)), int(yModemProtocol::ResultTimeout));
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed >= 7000 && elapsed < 20000, qPrintable(QString::number(elapsed)));
    QCOMPARE(link.chip.received, QList<QByteArray>({QByteArray(5, '\x18')}));
}

void tst_YmodemSender::resultTexts()
{
    QCOMPARE(yModemProtocol::resultText(240), QStringLiteral("无法打开烧录文件！"));
    QCOMPARE(yModemProtocol::resultText(224), QStringLiteral("烧录通讯超时！"));
    QCOMPARE(yModemProtocol::resultText(228), QStringLiteral("烧录DATA流程错误"));
    QCOMPARE(yModemProtocol::resultText(241), QStringLiteral("芯片发起烧录终止指令！"));
    QVERIFY(yModemProtocol::resultText(255).isEmpty());
}

QTEST_GUILESS_MAIN(tst_YmodemSender)
#include "tst_ymodemsender.moc"
