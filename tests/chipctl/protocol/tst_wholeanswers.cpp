// Answers as a real serial link delivers them: in pieces split anywhere, a
// little apart. The host must judge only whole answers, never read the tail
// of one answer as part of the next, and count only lines that have ended.
#include "atcmd.h"
#include "fakechip.h"
#include "protocol/tranprotocol.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QByteArray mac = "00:11:22:33:44:55";

// "xx " for every byte of the data and of its CRC-16, after "\r\n".
QByteArray dumpAnswer(const QByteArray &data)
{
    uint16_t crc = 0;
    for (const char c : data) {
        crc ^= uint16_t(uint8_t(c) << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? uint16_t((crc << 1) ^ 0x1021) : uint16_t(crc << 1);
    }
    QByteArray all = data;
    all.append(char(crc >> 8));
    all.append(char(crc & 0xff));
    QByteArray out = "\r\n";
    for (const char c : all)
        out += QByteArray::number(uint8_t(c), 16).rightJustified(2, '0') + ' ';
    return out;
}

QByteArray lines(const QByteArray &line, int count)
{
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out += line;
    return out;
}

// The result lines as the host hands them over: without their "\n".
QStringList resultLines(const QByteArray &line, int count)
{
    QStringList out;
    for (int i = 0; i < count; ++i)
        out << QString::fromLatin1(line.chopped(1));
    return out;
}

} // namespace

class tst_WholeAnswers : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void probeTailIsNotReadAsTheNextAnswer_data();
    void probeTailIsNotReadAsTheNextAnswer();
    void lateProbeTailIsConsumed_data();
    void lateProbeTailIsConsumed();
    void linesCountOnlyOnceEnded();
    void atOkCountsOnlyAsAWholeLine();

private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<tranProtocol> host;
    std::unique_ptr<FakeChip> chip;
};

void tst_WholeAnswers::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    host = std::make_unique<tranProtocol>(dir->filePath(QStringLiteral("Config")));
    chip = std::make_unique<FakeChip>();
    connect(host.get(), &tranProtocol::sendData, chip.get(), &FakeChip::hostSent);
    connect(chip.get(), &FakeChip::chipSent, host.get(), &tranProtocol::recvData);
    host->waitCount = 50;
}

void tst_WholeAnswers::cleanup()
{
    chip.reset();
    host.reset();
    dir.reset();
}

void tst_WholeAnswers::probeTailIsNotReadAsTheNextAnswer_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("xtal_cap") << QStringLiteral("xtal_cap");
    QTest::newRow("mac") << QStringLiteral("mac");
    QTest::newRow("flash read") << QStringLiteral("flash read");
}

// A ramcode whose "version" answer goes on after "RAMCODE" with a "pppp"
// line, delivered five bytes at a time a millisecond apart: the pause falls
// inside the "RAMCODE" line, so a host that takes "RAMCODE" at once sends
// its command while the rest of the probe's answer is still on its way.
void tst_WholeAnswers::probeTailIsNotReadAsTheNextAnswer()
{
    QFETCH(QString, command);
    const QByteArray data = QByteArray::fromHex("10111213");
    chip->setChunkSize(5);
    chip->setResponder([&](const QByteArray &line) -> QByteArray {
        if (line == "version\r\n")
            return "\r\nRAMCODE\r\npppp\r\n";
        if (line == "get_xtal_cap_in_flash_otp\r\n")
            return "\r\nxtal_cap:-3\r\npppp\r\n";
        if (line == "get_mac_in_flash_otp\r\n")
            return "\r\n" + mac + "\r\npppp\r\n";
        if (line == "flash_read 0x10 0x4\r\n")
            return dumpAnswer(data);
        return QByteArray();
    });

    QVERIFY(host->enterRamcode());
    if (command == QLatin1String("xtal_cap")) {
        int32_t value = 0;
        QVERIFY(host->getXtalCapInOtp(value));
        QCOMPARE(value, -3);
    } else if (command == QLatin1String("mac")) {
        QString text;
        QVERIFY(host->getMacInOtp(text));
        QCOMPARE(text, QString::fromLatin1(mac + "\r\n"));
    } else {
        QString dump;
        QVERIFY(host->flashRead(0x10, 4, dump));
        QCOMPARE(dump, QString::fromLatin1(dumpAnswer(data).mid(2).chopped(1)));
    }
}

void tst_WholeAnswers::lateProbeTailIsConsumed_data()
{
    QTest::addColumn<QByteArray>("tail");
    QTest::addColumn<int>("lateMs");
    QTest::newRow("empty line 3 ms late") << QByteArray("\r\n") << 3;
    QTest::newRow("empty line 18 ms late") << QByteArray("\r\n") << 18;
    QTest::newRow("confirmation 3 ms late") << QByteArray("\r\npppp\r\n") << 3;
    QTest::newRow("confirmation 18 ms late") << QByteArray("\r\npppp\r\n") << 18;
}

// A ramcode that sends a tail some milliseconds after its whole "version"
// answer: the tail belongs to the probe, whose wait has ended, and must not
// be read as the next command's answer. A refused OTP write (no answer)
// stays a failure, and the MAC read gets its MAC.
void tst_WholeAnswers::lateProbeTailIsConsumed()
{
    QFETCH(QByteArray, tail);
    QFETCH(int, lateMs);
    chip->setResponder([&](const QByteArray &line) -> QByteArray {
        if (line == "version\r\n") {
            chip->deliverAfter(2 + lateMs, tail);
            return "\r\nTK716A RAMCODE V1.0\r\n";
        }
        // The MAC comes after the OTP has been read: later than the tail.
        if (line == "get_mac_in_flash_otp\r\n")
            chip->deliverAfter(lateMs + 8, "\r\n" + mac + "\r\npppp\r\n");
        return QByteArray(); // the OTP is locked: writes are refused
    });

    QVERIFY(host->enterRamcode());
    QVERIFY(!host->setXtalCapInOtp(5));
    QVERIFY(host->enterRamcode());
    QString text;
    QVERIFY(host->getMacInOtp(text));
    QCOMPARE(text, QString::fromLatin1(mac + "\r\n"));
}

// A piece may end anywhere in a line, also right after a marker: a line is
// counted, and a number read, only once its line end has arrived.
void tst_WholeAnswers::linesCountOnlyOnceEnded()
{
    const QByteArray rxLine = "freq=0.5,rssi=-41\r\n";
    const QByteArray txLine = "rssi:-41\r\n";
    chip->setResponder([&](const QByteArray &line) -> QByteArray {
        if (line.startsWith("start_s_rx_test"))
            return lines(rxLine, 20);
        if (line.startsWith("start_m_tx_test"))
            return lines(txLine, 20);
        if (line == "filecount\r\n")
            return "\r\n\r\nfc:12\r\n";
        return QByteArray();
    });

    // Eight-byte pieces: one ends right after the last line's "rssi=-".
    chip->setChunkSize(8);
    QStringList result;
    QVERIFY(host->startSRxTest(result, 2000, 6));
    QCOMPARE(result, resultLines(rxLine, 20));

    // Six-byte pieces: one ends right after the last line's "rssi:-4".
    chip->setChunkSize(6);
    QVERIFY(host->startMTxTest(1, result, 2000, 6));
    QCOMPARE(result, resultLines(txLine, 20));

    // Four-byte pieces: one ends after "fc:1" of "fc:12".
    chip->setChunkSize(4);
    uint32_t count = 0;
    QVERIFY(host->getFileCount(count));
    QCOMPARE(count, 12u);
}

// A firmware that echoes its commands: the echo of "AT+ATE_OK?" holds "OK"
// but is no answer line; the values follow it.
void tst_WholeAnswers::atOkCountsOnlyAsAWholeLine()
{
    ATCMD at;
    connect(&at, &ATCMD::sendData, chip.get(), &FakeChip::hostSent);
    connect(chip.get(), &FakeChip::chipSent, &at, &ATCMD::recvData);
    chip->setChunkSize(16);
    chip->setResponder([](const QByteArray &line) -> QByteArray {
        QByteArray echo = line;
        echo.insert(echo.size() - 2, '\r');
        if (line == "AT+ATE_OK?\r\n")
            return echo + "+XTAL_COMP:12\r\n+TXPOWER_COMP:5\r\n+TXPOWER_B_COMP:-3\r\n"
                          "+TXPOWER_GN_COMP:16\r\n\r\nOK\r\n";
        return echo + "\r\nOK\r\n";
    });
    QVERIFY(at.enterAT());
    QList<int32_t> values;
    QVERIFY(at.readCalibration(values));
    QCOMPARE(values, QList<int32_t>({12, 5, -3, 16}));
}

QTEST_GUILESS_MAIN(tst_WholeAnswers)
#include "tst_wholeanswers.moc"
