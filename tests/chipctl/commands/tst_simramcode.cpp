// The ramcode commands against the simulated station: eFuse, GPIO, UID,
// MACs, the calibration values, the RF tests between the golden machine and
// a DUT, and reset. The rows run in order on one station.
#include "simcommands.h"

#include <QtTest>

namespace {

// The golden machine starts with its ramcode, MAC 02:54:4b:00:00:10 and
// crystal 3, TX power B 8 and GN 6 in OTP; the DUTs in their firmware.
const QByteArray scenario = R"({
    "duts": 2,
    "chips": {
        "dut01": { "storage": { "flashUid": "0123456789abcdef0123456789abcdef" } }
    }
})";

const QByteArray parseFail = "Fail. Error parsing parameters.";
const QByteArray refused = "Fail. Command execution error.";
const QByteArray noRamcode = "Fail. Could not go in ramcode mode.";

// 20 samples of a DUT's RX test, 20 RSSI values of the golden machine's
// TX test, each as the chip sends it (with its carriage return).
const QByteArray rxSamples = R"(result:\n(freq=-?\d+\.\d,rssi=-?\d+\r\n){20}Ok\.)";
const QByteArray txSamples = R"(result:\n(rssi:-?\d+\r\n){20}Ok\.)";

} // namespace

class TestSimRamcode : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void steps_data();
    void steps();

private:
    SimCommands station;
};

void TestSimRamcode::initTestCase()
{
    QVERIFY2(station.start(scenario), qPrintable(station.error()));
    QVERIFY(station.startRamcode("dut01"));
}

void TestSimRamcode::steps_data()
{
    QTest::addColumn<QString>("chip");
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<Expect>("expect");
    auto row = [](const char *name, const char *chip, const QStringList &words, Expect e) {
        QTest::newRow(name) << QString(chip) << words << e;
    };

    // The golden machine as an operator prepared it.
    row("gm_mac", "gm", {"gm_mac"}, exact("mac:02:54:4b:00:00:10\r\nOk."));
    row("mac read", "gm", {"mac", "read"}, exact("mac:02:54:4b:00:00:10\r\nOk."));
    row("xtal_cap read", "gm", {"xtal_cap", "read"}, exact("xtal_cap:3\nOk."));
    row("xtal_cap read, word 3 ignored", "gm", {"xtal_cap", "read", "ram"},
        exact("xtal_cap:3\nOk."));
    row("tx_power_b read", "gm", {"tx_power_b", "read"}, exact("tx_power_b:8\nOk."));
    row("tx_power_gn read", "gm", {"tx_power_gn", "read"}, exact("tx_power_gn:6\nOk."));
    row("test_gm mac_gm", "gm", {"test_gm", "mac_gm", "02:54:4b:00:00:10"}, exact("Ok."));
    row("test_gm mac_dut", "gm", {"test_gm", "mac_dut", "1", "02:54:4b:00:00:11"}, exact("Ok."));

    // A DUT with blank OTP.
    row("uuid", "dut01", {"uuid"}, exact("uid:0x0123456789abcdef0123456789abcdef\nOk."));
    row("mac read, erased", "dut01", {"mac", "read"}, exact("mac:ff:ff:ff:ff:ff:ff\r\nOk."));
    row("mac write", "dut01", {"mac", "write", "02:54:4b:00:00:11"}, exact("Ok."));
    row("mac read, written", "dut01", {"mac", "read"}, exact("mac:02:54:4b:00:00:11\r\nOk."));
    row("xtal_cap read, nothing stored", "dut01", {"xtal_cap", "read"}, exact(refused));
    row("xtal_cap write flash_otp", "dut01", {"xtal_cap", "write", "flash_otp", "-5"},
        exact("Ok."));
    row("xtal_cap read, stored", "dut01", {"xtal_cap", "read"}, exact("xtal_cap:-5\nOk."));
    row("xtal_cap write ram", "dut01", {"xtal_cap", "write", "ram", "7"}, exact("Ok."));
    row("xtal_cap write: bad target", "dut01", {"xtal_cap", "write", "flash", "7"},
        exact(parseFail));
    row("tx_power_b write flash_otp", "dut01", {"tx_power_b", "write", "flash_otp", "4"},
        exact("Ok."));
    row("tx_power_b write ram", "dut01", {"tx_power_b", "write", "ram", "5"}, exact("Ok."));
    row("tx_power_b read", "dut01", {"tx_power_b", "read"}, exact("tx_power_b:4\nOk."));
    row("tx_power_gn write flash_otp", "dut01", {"tx_power_gn", "write", "flash_otp", "-2"},
        exact("Ok."));
    row("tx_power_gn write ram", "dut01", {"tx_power_gn", "write", "ram", "1"}, exact("Ok."));
    row("tx_power_gn read", "dut01", {"tx_power_gn", "read", "x"}, exact("tx_power_gn:-2\nOk."));

    row("efuse read, blank", "dut01", {"efuse", "read", "3"}, exact("efuse data:0x00000000\nOk."));
    row("efuse write", "dut01", {"efuse", "write", "3", "0x5"}, exact("Ok."));
    row("efuse write, index cut to 8 bits", "dut01", {"efuse", "write", "259", "10"}, exact("Ok."));
    row("efuse read, written", "dut01", {"efuse", "read", "3"},
        exact("efuse data:0x00000015\nOk."));

    row("gpio write two pins", "dut01", {"gpio", "write", "GPIO1", "GPIO2", "1"}, exact("Ok."));
    row("gpio read first pin", "dut01", {"gpio", "read", "GPIO1"}, exact("gpio value:1\nOk."));
    row("gpio read second pin", "dut01", {"gpio", "read", "GPIO2"}, exact("gpio value:1\nOk."));
    row("gpio read another pin", "dut01", {"gpio", "read", "GPIO3"}, exact("gpio value:0\nOk."));
    row("gpio write without a pin", "dut01", {"gpio", "write", "1"}, exact("Ok."));
    row("gpio_write_all low", "dut01", {"gpio_write_all", "0"}, exact("Ok."));
    row("gpio_write_all low: pin", "dut01", {"gpio", "read", "GPIO1"}, exact("gpio value:0\nOk."));
    row("gpio_read_all, all low", "dut01", {"gpio_read_all"}, exact("gpio levels:0x0\nOk."));
    row("gpio_write_all", "dut01", {"gpio_write_all", "0x8006"}, exact("Ok."));
    row("gpio_write_all: pin", "dut01", {"gpio", "read", "GPIO2"}, exact("gpio value:1\nOk."));
    row("gpio_read_all", "dut01", {"gpio_read_all"}, exact("gpio levels:0x8006\nOk."));

    // RF: the DUT measures the golden machine, then the other way round.
    row("test_dut mac_gm", "dut01", {"test_dut", "mac_gm", "02:54:4b:00:00:10"}, exact("Ok."));
    row("test_dut mac_dut", "dut01", {"test_dut", "mac_dut", "02:54:4b:00:00:11"}, exact("Ok."));
    row("rx_dut, nothing transmits", "dut01", {"rx_dut", "300", "7"}, exact(refused));
    row("rx_gm", "gm", {"rx_gm", "10", "60000", "7"}, exact("Ok."));
    row("rx_dut", "dut01", {"rx_dut", "3000", "7"}, matching(rxSamples));
    row("rx_dut, too few words", "dut01", {"rx_dut", "3000"}, exact(parseFail));
    row("rf_stop gm", "gm", {"rf_stop"}, exact("Ok."));
    row("tx_dut", "dut01", {"tx_dut", "10", "60000", "7"}, exact("Ok."));
    row("tx_gm", "gm", {"tx_gm", "1", "3000", "7"}, matching(txSamples));
    row("tx_gm, bad count", "gm", {"tx_gm", "one", "3000", "7"}, exact(parseFail));
    row("rf_stop dut", "dut01", {"rf_stop"}, exact("Ok."));
    row("tx_gm, nothing transmits", "gm", {"tx_gm", "1", "300", "7"}, exact(refused));

    // Reset: the DUT runs its firmware, with the values stored above.
    row("reset", "dut01", {"reset"}, exact("Ok."));
    row("reset: firmware answers", "dut01", {"rf", "read"},
        exact("XTAL CAP:-5\nTX POWER BGN:0\nTX POWER B:4\nTX POWER GN:-2\nOk."));
    row("gpio_write_all probes before it judges the mask", "dut01", {"gpio_write_all", "zz"},
        exact(noRamcode));
    row("uuid without the ramcode", "dut02", {"uuid"}, exact(noRamcode));
}

void TestSimRamcode::steps()
{
    QFETCH(QString, chip);
    QFETCH(QStringList, words);
    QFETCH(Expect, expect);
    const ChipctlResult r = station.run(chip, words);
    QVERIFY2(expect.matches(r.out), outputMismatch(words, expect, r.out).constData());
    QCOMPARE(r.status, 0);
}

QTEST_GUILESS_MAIN(TestSimRamcode)
#include "tst_simramcode.moc"
