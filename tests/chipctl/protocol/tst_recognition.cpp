// Chip recognition, the chip information file and the baud-rate switch,
// against an in-process chip.
#include "fakechip.h"
#include "protocol/tranprotocol.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QByteArray tk716aBanner = "Mar 14 2021/00:23:32";
const QByteArray tk602cBanner = "Aug  9 2021/16:16:40";

void writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A chip wired to a protocol object the way the front end wires the port.
struct Bench
{
    explicit Bench(const QString &configDir)
        : protocol(configDir)
    {
        QObject::connect(&protocol, &tranProtocol::sendData, &chip, &FakeChip::hostSent);
        QObject::connect(&chip, &FakeChip::chipSent, &protocol, &tranProtocol::recvData);
    }
    tranProtocol protocol;
    FakeChip chip;
};

} // namespace

class TestRecognition : public QObject
{
    Q_OBJECT
private slots:
    void createsBuiltInFileWhenMissing();
    void replacesEmptyOrBrokenFile_data();
    void replacesEmptyOrBrokenFile();
    void firstBannerBeatsRamcodeBeatsSecondBanner_data();
    void firstBannerBeatsRamcodeBeatsSecondBanner();
    void addedChipIsRecognisedInSortedOrder();
    void bannerThatIsNotAStringNeverMatches();
    void emptyChipListRecognisesNothing();
    void silentChipGivesUpAfterAboutElevenPolls();
    void enterRamcodeFailsAgainstBootRomAfterFortyProbes();
    void enterRamcodeAcceptsRamcode();
    void changeBaudRateAcceptsBannerOrRamcodeAtNewRate_data();
    void changeBaudRateAcceptsBannerOrRamcodeAtNewRate();
    void bootBaudRateCommandAndWaitCount();
};

void TestRecognition::createsBuiltInFileWhenMissing()
{
    QTemporaryDir dir;
    const QString config = dir.path() + "/nested/Config";
    Bench b(config);
    QCOMPARE(b.protocol.chipNames(), QStringList({"TK602C", "TK716A"}));
    QCOMPARE(readFile(config + "/chip_info.json"),
             QByteArray("{\n    \"TK602C\": \"Aug  9 2021/16:16:40\",\n"
                        "    \"TK716A\": \"Mar 14 2021/00:23:32\"\n}\n"));
    // Both built-in chips are recognised from the file just written.
    b.chip.setResponder([](const QByteArray &) { return "boot " + tk602cBanner + "\r\n"; });
    QString answer;
    QVERIFY(b.protocol.getMode(answer));
    QCOMPARE(answer, QString("TK602C"));
    b.chip.setResponder([](const QByteArray &) { return "boot " + tk716aBanner + "\r\n"; });
    QVERIFY(b.protocol.getMode(answer));
    QCOMPARE(answer, QString("TK716A"));
}

void TestRecognition::replacesEmptyOrBrokenFile_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("not json") << QByteArray("TK716A = Mar 14");
    QTest::newRow("truncated") << QByteArray("{\"TK716A\": \"Mar 14 2021/00:2");
}

void TestRecognition::replacesEmptyOrBrokenFile()
{
    QFETCH(QByteArray, contents);
    QTemporaryDir dir;
    writeFile(dir.path() + "/chip_info.json", contents);
    tranProtocol protocol(dir.path());
    QCOMPARE(protocol.chipNames(), QStringList({"TK602C", "TK716A"}));
    QVERIFY(readFile(dir.path() + "/chip_info.json").contains("\"TK716A\": \"" + tk716aBanner));
}

void TestRecognition::firstBannerBeatsRamcodeBeatsSecondBanner_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("expected");
    QTest::newRow("first banner and RAMCODE") << "RAMCODE " + tk602cBanner << "TK602C";
    QTest::newRow("second banner and RAMCODE") << tk716aBanner + " RAMCODE"
                                               << "RAMCODE";
    QTest::newRow("second banner alone") << tk716aBanner << "TK716A";
}

void TestRecognition::firstBannerBeatsRamcodeBeatsSecondBanner()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    Bench b(dir.path());
    b.chip.setResponder([&](const QByteArray &cmd) {
        return cmd == "version\r\n" ? reply + "\r\n" : QByteArray();
    });
    QString answer;
    QVERIFY(b.protocol.getMode(answer));
    QCOMPARE(answer, expected);
    QCOMPARE(b.chip.received, QList<QByteArray>({"version\r\n"}));
}

void TestRecognition::addedChipIsRecognisedInSortedOrder()
{
    QTemporaryDir dir;
    // "AA100" sorts before "TK716A"; its banner is tested first.
    writeFile(dir.path() + "/chip_info.json",
              "{\"TK716A\": \"Mar 14 2021/00:23:32\", \"AA100\": \"Jan  1 2030/01:02:03\"}");
    Bench b(dir.path());
    QCOMPARE(b.protocol.chipNames(), QStringList({"AA100", "TK716A"}));
    b.chip.setResponder([](const QByteArray &) {
        return QByteArray("Jan  1 2030/01:02:03 Mar 14 2021/00:23:32\r\n");
    });
    QString answer;
    QVERIFY(b.protocol.getMode(answer));
    QCOMPARE(answer, QString("AA100"));
    // The file itself is left as the operator wrote it.
    QVERIFY(readFile(dir.path() + "/chip_info.json").contains("AA100"));
}

void TestRecognition::bannerThatIsNotAStringNeverMatches()
{
    QTemporaryDir dir;
    writeFile(dir.path() + "/chip_info.json", "{\"TK716A\": 42}");
    Bench b(dir.path());
    QCOMPARE(b.protocol.chipNames(), QStringList({"TK716A"}));
    QString banner = "stale";
    QVERIFY(b.protocol.readChipBanner("TK716A", banner));
    QCOMPARE(banner, QString());
    b.chip.setResponder([](const QByteArray &) { return "42 " + tk716aBanner + "\r\n"; });
    QString answer = "unchanged";
    QVERIFY(!b.protocol.getMode(answer));
    QCOMPARE(answer, QString("unchanged"));
}

void TestRecognition::emptyChipListRecognisesNothing()
{
    QTemporaryDir dir;
    writeFile(dir.path() + "/chip_info.json", "[\"TK716A\"]");
    Bench b(dir.path());
    QVERIFY(b.protocol.chipNames().isEmpty());
    b.chip.setResponder([](const QByteArray &) { return QByteArray("RAMCODE\r\n"); });
    QString answer;
    QVERIFY(!b.protocol.getMode(answer));
    QVERIFY(!b.protocol.enterRamcode());
}

void TestRecognition::silentChipGivesUpAfterAboutElevenPolls()
{
    QTemporaryDir dir;
    Bench b(dir.path());
    QElapsedTimer t;
    t.start();
    QString answer;
    QVERIFY(!b.protocol.getMode(answer));
    // The bound is 11 polls of 10 ms; it must not end early.
    QVERIFY2(t.elapsed() >= 105, qPrintable(QString::number(t.elapsed())));
    QCOMPARE(b.chip.received.size(), 1);
}

void TestRecognition::enterRamcodeFailsAgainstBootRomAfterFortyProbes()
{
    QTemporaryDir dir;
    Bench b(dir.path());
    b.chip.setResponder([](const QByteArray &) { return "ROM " + tk716aBanner + "\r\n"; });
    QVERIFY(!b.protocol.enterRamcode());
    QCOMPARE(b.chip.received.size(), 40);
}

void TestRecognition::enterRamcodeAcceptsRamcode()
{
    QTemporaryDir dir;
    Bench b(dir.path());
    int probes = 0;
    // The first two probes go unanswered, the third meets the ramcode.
    b.chip.setResponder([&](const QByteArray &) {
        return ++probes < 3 ? QByteArray() : QByteArray("TK716A RAMCODE v1\r\n");
    });
    QVERIFY(b.protocol.enterRamcode());
    QCOMPARE(probes, 3);
}

void TestRecognition::changeBaudRateAcceptsBannerOrRamcodeAtNewRate_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("boot rom") << tk716aBanner;
    QTest::newRow("ramcode") << QByteArray("RAMCODE");
}

void TestRecognition::changeBaudRateAcceptsBannerOrRamcodeAtNewRate()
{
    QFETCH(QByteArray, reply);
    QTemporaryDir dir;
    Bench b(dir.path());
    quint32 hostRate = 115200;
    QObject::connect(&b.protocol, &tranProtocol::setBaudRate, [&](uint32_t r) { hostRate = r; });
    // The chip answers only once the host has followed it to the new rate.
    b.chip.setResponder([&](const QByteArray &cmd) {
        return cmd == "version\r\n" && hostRate == 1000000 ? reply + "\r\n" : QByteArray();
    });
    QVERIFY(b.protocol.changeBaudRate(1000000));
    QCOMPARE(hostRate, quint32(1000000));
    QCOMPARE(b.chip.received.value(0), QByteArray("baudrate 1000000\r\n"));
    QCOMPARE(b.chip.received.mid(1), QList<QByteArray>({"version\r\n", "version\r\n"}));
}

void TestRecognition::bootBaudRateCommandAndWaitCount()
{
    QTemporaryDir dir;
    Bench b(dir.path());
    b.chip.setResponder([](const QByteArray &cmd) {
        return cmd == "version\r\n" ? tk716aBanner + "\r\n" : QByteArray();
    });
    QVERIFY(b.protocol.setBootBaudRate(115200));
    QCOMPARE(b.chip.received.value(0), QByteArray("baudrate [boot][115200]\r\n"));
    QCOMPARE(b.protocol.waitCount, 500u);
    QVERIFY(b.protocol.setBootBaudRate(9600));
    QCOMPARE(b.protocol.waitCount, 1000u);
    QVERIFY(b.protocol.setBootBaudRate(2000000));
    QCOMPARE(b.protocol.waitCount, 200u);
}

QTEST_GUILESS_MAIN(TestRecognition)
#include "tst_recognition.moc"
