// The engine's crystal search (CrystalSearch, as a DUT's RX worker runs it)
// against every healthy simulated DUT, from -12: it must converge within 2
// of the DUT's optimum, which the test finds on its own from two far-apart
// measurements. The samples are read as the engine reads them.
#include "crystalsearch.h"
#include "rxtestthread.h"
#include "simtestutil.h"

#include <QtTest>

#include <optional>

using namespace answerRules;

namespace {
struct Search
{
    bool accepted = false;
    int cal = 0;
    int iterations = 0;
};
} // namespace

class TstCrystalSearch : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void convergesForEveryDut();
    void seedChangesOnlyTheNoise();

private:
    std::optional<float> meanOffset(SimClient &c, int cal);
    Search search(SimClient &c, int calStart);
    bool prepare(SimClient &c, const QString &name);

    QTemporaryDir dir;
    SimStation sim;
    SimClient gm;
};

void TstCrystalSearch::initTestCase()
{
    QVERIFY2(startWithScenario(sim, dir, R"({"dutDefaults": {"start": "ramcode"}})"),
             qPrintable(sim.errorText()));
    QCOMPARE(sim.names().size(), 25);
    QVERIFY(connectClient(gm, sim, "gm"));
    QString mac;
    QVERIFY(accepts(gm, "get_m_local_mac", [&](const Answer &a) { return macLine(a, true, mac); }));
    QCOMPARE(mac.trimmed(), QStringLiteral("02:54:4b:00:00:10"));
    QVERIFY(accepts(gm, "start_m_rx_test 10 120000 7", confirm));
}

bool TstCrystalSearch::prepare(SimClient &c, const QString &name)
{
    if (!connectClient(c, sim, name) || !accepts(c, "set_s_remote_mac 02:54:4b:00:00:10", confirm))
        return false;
    // Faster measurements: both sides to 921600.
    c.write("baudrate 921600\r\n");
    c.collect(100);
    return c.setBaud(921600) && accepts(c, "version", recognisedAs(QStringLiteral("RAMCODE")));
}

std::optional<float> TstCrystalSearch::meanOffset(SimClient &c, int cal)
{
    if (!accepts(c, "set_xtal_cap_in_ram " + QByteArray::number(cal), confirm))
        return std::nullopt;
    RfSamples samples;
    if (!rxSamples(c, "start_s_rx_test 120000 7", &samples) ||
        samples.freq.size() != rxTestThread::samplesPerTest ||
        samples.rssi.size() != rxTestThread::samplesPerTest)
        return std::nullopt;
    return CrystalSearch::mean(samples.freq);
}

// As a DUT's RX worker runs it: an iteration whose sample set is short is
// spent without a step.
Search TstCrystalSearch::search(SimClient &c, int calStart)
{
    Search result;
    CrystalSearch search(int8_t(calStart), float(rxTestPara().freqLimit));
    while (result.iterations < CrystalSearch::maxIterations && !search.accepted()) {
        ++result.iterations;
        if (const std::optional<float> mean = meanOffset(c, search.cal()))
            search.measured(*mean);
    }
    result.accepted = search.accepted();
    result.cal = search.cal();
    return result;
}

void TstCrystalSearch::convergesForEveryDut()
{
    int worst = 0;
    QList<int> optima;
    for (int n = 1; n <= 24; ++n) {
        const QString name = QStringLiteral("dut%1").arg(n, 2, 10, QLatin1Char('0'));
        SimClient c;
        QVERIFY2(prepare(c, name), qPrintable(name));
        // The optimum from a straight line through two distant points.
        const std::optional<float> low = meanOffset(c, -40), high = meanOffset(c, 40);
        QVERIFY(low && high && *low > *high); // raising the value lowers the offset
        const double optimum = -40 + (0 - double(*low)) * 80 / double(*high - *low);
        optima.append(qRound(optimum));

        const Search s = search(c, -12);
        QVERIFY2(s.accepted, qPrintable(name));
        QVERIFY2(
            qAbs(s.cal - optimum) <= 2.0,
            qPrintable(
                QStringLiteral("%1: accepted %2, optimum %3").arg(name).arg(s.cal).arg(optimum)));
        worst = qMax(worst, s.iterations);
        c.write("baudrate 115200\r\n");
        c.collect(100);
    }
    qInfo("slowest search: %d iterations", worst);
    QVERIFY(worst < 40);
    // The optima spread over the calibration range.
    const auto [lo, hi] = std::minmax_element(optima.begin(), optima.end());
    QVERIFY(*lo <= -15 && *hi >= 15);
}

void TstCrystalSearch::seedChangesOnlyTheNoise()
{
    // Two stations with different seeds: the same DUT has the same optimum.
    QTemporaryDir other;
    SimStation second;
    QVERIFY2(startWithScenario(second, other, R"({"dutDefaults": {"start": "ramcode"}})",
                               {"--duts", "1", "--seed", "77"}),
             qPrintable(second.errorText()));
    SimClient g2, d1, d2;
    QVERIFY(connectClient(g2, second, "gm"));
    QVERIFY(accepts(g2, "start_m_rx_test 10 120000 7", confirm));
    QVERIFY(connectClient(d2, second, "dut01"));
    QVERIFY(prepare(d1, "dut01"));
    const std::optional<float> a = meanOffset(d1, 0), b = meanOffset(d2, 0);
    QVERIFY(a && b);
    QVERIFY(*a != *b);            // other noise
    QVERIFY(qAbs(*a - *b) < 2.5); // same crystal
}

QTEST_GUILESS_MAIN(TstCrystalSearch)
#include "tst_crystalsearch.moc"
