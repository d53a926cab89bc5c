// "rf" against the simulated station: the calibration values of a DUT's
// normal firmware, set and read with AT commands.
#include "simcommands.h"

#include <QtTest>

namespace {

const QByteArray scenario = R"({ "duts": 1 })";

} // namespace

class TestSimRf : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void steps_data();
    void steps();
    void valueParsedBeforeAnythingIsSent();

private:
    SimCommands station;
};

void TestSimRf::initTestCase()
{
    QVERIFY2(station.start(scenario), qPrintable(station.error()));
}

void TestSimRf::steps_data()
{
    QTest::addColumn<QString>("chip");
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<Expect>("expect");
    auto row = [](const char *name, const char *chip, const QStringList &words, Expect e) {
        QTest::newRow(name) << QString(chip) << words << e;
    };
    const QByteArray blank = "XTAL CAP:0\nTX POWER BGN:0\nTX POWER B:0\nTX POWER GN:0\nOk.";
    const QByteArray set = "XTAL CAP:12\nTX POWER BGN:5\nTX POWER B:-3\nTX POWER GN:7\nOk.";

    row("read, blank OTP", "dut01", {"rf", "read"}, exact(blank));
    row("xtal_cap", "dut01", {"rf", "xtal_cap", "12"}, exact("Ok."));
    row("tx_power_bgn", "dut01", {"rf", "tx_power_bgn", "5"}, exact("Ok."));
    row("tx_power_b", "dut01", {"rf", "tx_power_b", "-3"}, exact("Ok."));
    row("tx_power_gn", "dut01", {"rf", "tx_power_gn", "7"}, exact("Ok."));
    row("read", "dut01", {"rf", "read"}, exact(set));
    row("read with a number", "dut01", {"rf", "read", "99"}, exact(set));
    row("read with two more words", "dut01", {"rf", "read", "a", "b"}, exact(set));
    row("value the firmware refuses", "dut01", {"rf", "xtal_cap", "200"},
        exact("Fail. Command execution error."));
    row("not a number", "dut01", {"rf", "xtal_cap", "abc"},
        exact("Fail. Error parsing parameters."));
    row("unknown word", "dut01", {"rf", "tx_power", "5"}, exact("Fail. Error parsing parameters."));
    row("ramcode does not speak AT", "gm", {"rf", "read"}, exact("Fail. Could not go in AT mode."));
}

void TestSimRf::steps()
{
    QFETCH(QString, chip);
    QFETCH(QStringList, words);
    QFETCH(Expect, expect);
    const ChipctlResult r = station.run(chip, words);
    QVERIFY2(expect.matches(r.out), outputMismatch(words, expect, r.out).constData());
    QCOMPARE(r.status, 0);
}

void TestSimRf::valueParsedBeforeAnythingIsSent()
{
    const int before = station.hostToChip("dut01").size();
    QCOMPARE(station.run("dut01", {"rf", "read", "x"}).out,
             QByteArray("Fail. Error parsing parameters."));
    QCOMPARE(station.hostToChip("dut01").size(), before);
}

QTEST_GUILESS_MAIN(TestSimRf)
#include "tst_simrf.moc"
