// Every fault a scenario can give a chip, as the host sees it on the wire.
#include "crystalsearch.h"
#include "simtestutil.h"
#include "testrecords.h"

#include <QFile>
#include <QtTest>

using namespace answerRules;

namespace {
const QByteArray scenario = R"({
    "duts": 13,
    "chips": {
        "gm":    { "faults": { "malformedMac": true } },
        "dut01": { "start": "ramcode", "faults": { "silent": true } },
        "dut02": { "faults": { "ignoreResets": true } },
        "dut03": { "faults": { "refuseImage": true } },
        "dut04": { "faults": { "nakBlocks": 3 } },
        "dut05": { "faults": { "cancelAfterBlocks": 2 } },
        "dut06": { "faults": { "lineNoise": 0.05 } },
        "dut07": { "faults": { "answerDelayMs": 1500 } },
        "dut08": { "start": "ramcode", "faults": { "rfSamples": 19 } },
        "dut09": { "start": "ramcode", "faults": { "xtalNeverConverges": true } },
        "dut10": { "start": "ramcode", "faults": { "otpLocked": true } },
        "dut11": { "faults": { "unplugAfterCommands": 3 } },
        "dut12": { "faults": { "refuseBaud": true } },
        "dut13": { "start": "ramcode", "faults": { "versionTail": "pppp" } }
    }
})";

const auto atOk = [](const QByteArray &rx) { return rx.contains("OK"); };
const auto anything = [](const QByteArray &rx) { return !rx.isEmpty(); };

QByteArray ramcodeImage()
{
    QFile file(QStringLiteral(RAMCODE_IMAGE));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class TstSimFaults : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void silent();
    void ignoresResets();
    void refusesImage();
    void naksBlocks();
    void cancelsTransfer();
    void lineNoise();
    void slowAnswers();
    void shortSampleSet();
    void crystalNeverConverges();
    void lockedOtp();
    void malformedGoldenMac();
    void unpluggedAfterCommands();
    void refusesBaudSwitch();
    void lateVersionTail();
    void driftingGoldenMachine();

private:
    bool client(SimClient &c, const char *name)
    {
        return connectClient(c, sim, QString::fromLatin1(name));
    }
    bool download(SimClient &c, YmodemSendResult *result);

    QTemporaryDir dir;
    SimStation sim;
    QByteArray image;
};

void TstSimFaults::initTestCase()
{
    image = ramcodeImage();
    QVERIFY(!image.isEmpty());
    QVERIFY2(startWithScenario(sim, dir, scenario), qPrintable(sim.errorText()));
}

bool TstSimFaults::download(SimClient &c, YmodemSendResult *result)
{
    if (!c.enterBootRom())
        return false;
    c.collect(50);
    c.clear();
    c.write("download [rambin] [0x20000000] [" + QByteArray::number(image.size()) + "]\r\n");
    *result = sendYmodem(c, "ram.bin", image, 1024);
    return true;
}

void TstSimFaults::silent()
{
    SimClient c;
    QVERIFY(client(c, "dut01"));
    QVERIFY(!c.command("version", anything, 400));
    QVERIFY(c.enterBootRom());
    QVERIFY(!c.command("version", anything, 400));
}

void TstSimFaults::ignoresResets()
{
    SimClient c;
    QVERIFY(client(c, "dut02"));
    QVERIFY(c.enterBootRom());
    QVERIFY(c.command("AT", atOk)); // still its firmware
    QVERIFY(c.setRts(true));
    QVERIFY(c.command("AT", atOk)); // not even held in reset
    QVERIFY(c.setRts(false));
}

void TstSimFaults::refusesImage()
{
    SimClient c;
    QVERIFY(client(c, "dut03"));
    YmodemSendResult sent;
    QVERIFY(download(c, &sent));
    QVERIFY(sent.ok); // the transfer itself is fine
    QVERIFY(!c.command("version", anything, 400));
}

void TstSimFaults::naksBlocks()
{
    SimClient c;
    QVERIFY(client(c, "dut04"));
    YmodemSendResult sent;
    QVERIFY(download(c, &sent));
    QVERIFY(sent.ok);
    QCOMPARE(sent.naks, 3 + 1); // three data blocks, then the first EOT
    QVERIFY(accepts(c, "version", recognisedAs("RAMCODE")));
}

void TstSimFaults::cancelsTransfer()
{
    SimClient c;
    QVERIFY(client(c, "dut05"));
    YmodemSendResult sent;
    QVERIFY(download(c, &sent));
    QVERIFY(!sent.ok);
    QVERIFY(sent.cans >= 5); // enough for the host to see an abort
    // Back at the boot ROM's prompt.
    QVERIFY(accepts(c, "version", recognisedAs("TK716A")));
}

void TstSimFaults::lineNoise()
{
    SimClient c;
    QVERIFY(client(c, "dut06"));
    int clean = 0, damaged = 0;
    for (int i = 0; i < 30; ++i) {
        c.clear();
        c.write("AT\r\n");
        const QByteArray rx = c.collect(60);
        if (rx == "\r\nOK\r\n")
            ++clean;
        else
            ++damaged;
    }
    QVERIFY2(clean > 0 && damaged > 0,
             qPrintable(QStringLiteral("%1 clean, %2 damaged").arg(clean).arg(damaged)));
}

void TstSimFaults::slowAnswers()
{
    SimClient c;
    QVERIFY(client(c, "dut07"));
    QVERIFY(!c.command("AT", anything, 500));
    QVERIFY(c.waitFor(atOk, 3000));
}

void TstSimFaults::shortSampleSet()
{
    SimClient gm, c;
    QVERIFY(client(gm, "gm"));
    QVERIFY(client(c, "dut08"));
    QVERIFY(accepts(gm, "start_m_rx_test 10 120000 7", confirm));
    // 19 samples: Chipctl's rule never ends the wait.
    RfSamples samples;
    QVERIFY(!rxSamples(c, "start_s_rx_test 120000 7", &samples, 800));
    QCOMPARE(c.received().count("freq="), 19);
    QVERIFY(accepts(gm, "rf_stop", confirm));
}

void TstSimFaults::crystalNeverConverges()
{
    SimClient gm, c;
    QVERIFY(client(gm, "gm"));
    QVERIFY(client(c, "dut09"));
    QVERIFY(accepts(gm, "start_m_rx_test 10 120000 7", confirm));
    QList<float> means;
    for (int cal : {-40, 0, 40}) {
        QVERIFY(accepts(c, "set_xtal_cap_in_ram " + QByteArray::number(cal), confirm));
        RfSamples samples;
        QVERIFY(rxSamples(c, "start_s_rx_test 120000 7", &samples));
        QCOMPARE(samples.freq.size(), 20);
        means.append(CrystalSearch::mean(samples.freq));
    }
    // The offset ignores the crystal value and never comes below the
    // engine's limit.
    const float limit = float(rxTestPara().freqLimit);
    for (float mean : qAsConst(means))
        QVERIFY2(qAbs(mean) >= limit && qAbs(mean - means.first()) < 2,
                 qPrintable(QString::number(double(mean))));
    QVERIFY(accepts(gm, "rf_stop", confirm));
}

void TstSimFaults::lockedOtp()
{
    SimClient c;
    QVERIFY(client(c, "dut10"));
    uint32_t state = 0;
    QVERIFY(accepts(c, "flash_otp_get_lock_state",
                    [&](const Answer &a) { return lockState(a, state); }));
    QCOMPARE(state, 1u);
    QVERIFY(!c.command("set_xtal_cap_in_flash_otp -8", anything, 400));
    QVERIFY(!c.command("flash_otp_write 3 0", anything, 400));
    QVERIFY(!c.command("set_mac_in_flash_otp 02:00:00:00:00:01", anything, 400));
    // The RAM value still works: only OTP is locked.
    QVERIFY(accepts(c, "set_xtal_cap_in_ram -8", confirm));
    c.write("reboot\r\n");
    QVERIFY(c.command("AT+PVTCMD=XTAL_CAP,4",
                      [](const QByteArray &rx) { return rx.contains("ERROR"); }));
}

void TstSimFaults::malformedGoldenMac()
{
    SimClient gm;
    QVERIFY(client(gm, "gm"));
    QString mac;
    QVERIFY(!accepts(
        gm, "get_m_local_mac", [&](const Answer &a) { return macLine(a, true, mac); }, 600));
    QVERIFY(gm.received().contains("02-54-4b-00-00-10"));
}

// The whole "version" answer, then its tail 2 to 20 ms later: what a host
// that sends its next command at once would read as that command's answer.
void TstSimFaults::lateVersionTail()
{
    SimClient c;
    QVERIFY(client(c, "dut13"));
    QVERIFY(accepts(c, "version", recognisedAs(QStringLiteral("RAMCODE"))));
    QVERIFY(c.waitFor(
        [](const QByteArray &rx) { return rx.endsWith("(simulated)\r\n\r\npppp\r\n"); }, 500));
}

void TstSimFaults::unpluggedAfterCommands()
{
    SimClient c;
    QVERIFY(client(c, "dut11"));
    for (int i = 0; i < 3; ++i)
        QVERIFY(c.command("AT", atOk));
    QVERIFY(!c.command("AT", anything, 400));
    QVERIFY(c.enterBootRom());
    QVERIFY(!c.command("version", anything, 400));
}

void TstSimFaults::refusesBaudSwitch()
{
    SimClient c;
    QVERIFY(client(c, "dut12"));
    QVERIFY(c.enterBootRom());
    c.collect(50);
    c.write("baudrate 921600\r\n");
    c.collect(100);
    QVERIFY(c.setBaud(921600));
    QVERIFY(!accepts(c, "version", recognisedAs("TK716A"), 400));
    QVERIFY(c.setBaud(115200));
    QVERIFY(accepts(c, "version", recognisedAs("TK716A")));
}

// A golden machine whose drift sets in after its 2nd cycle, over 2 cycles:
// what a DUT measures of it moves by half the drift in cycle 3 and by all
// of it from cycle 4 on, and not before. Noiseless, so the values are exact.
void TstSimFaults::driftingGoldenMachine()
{
    const QByteArray drifting = R"({
        "duts": 1,
        "chips": {
            "gm": { "drift": { "afterCycles": 2, "rampCycles": 2, "optimum": 2, "txPower": -4 } },
            "dut01": { "start": "ramcode", "freqNoise": 0, "rssiNoise": 0 }
        }
    })";
    QTemporaryDir stateDir;
    SimStation drift;
    QVERIFY2(startWithScenario(drift, stateDir, drifting), qPrintable(drift.errorText()));
    SimClient gm, dut;
    QVERIFY(connectClient(gm, drift, QStringLiteral("gm")));
    QVERIFY(connectClient(dut, drift, QStringLiteral("dut01")));
    QVERIFY(accepts(dut, "set_xtal_cap_in_ram 0", confirm));
    QList<float> freq, rssi;
    for (int cycle = 1; cycle <= 5; ++cycle) {
        QVERIFY(accepts(gm, "start_m_rx_test 10 120000 7", confirm));
        RfSamples samples;
        QVERIFY(rxSamples(dut, "start_s_rx_test 120000 7", &samples));
        QCOMPARE(samples.freq.size(), 20);
        freq << samples.freq.first();
        rssi << samples.rssi.first();
        QCOMPARE(samples.freq.last(), freq.last());
        QVERIFY(accepts(gm, "rf_stop", confirm));
    }
    // The golden machine's optimum 2 steps up at 2 kHz a step: its
    // transmissions 4 kHz lower; its power 4 dB lower.
    const QList<float> moved{0, 0, -2, -4, -4};
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(freq.at(i) - freq.first(), moved.at(i));
        QCOMPARE(rssi.at(i) - rssi.first(), moved.at(i));
    }
}

QTEST_GUILESS_MAIN(TstSimFaults)
#include "tst_simfaults.moc"
