// What the results database takes, for bench/results/bench_results.py:
//
//   bench_forward CYCLES DB_PATH INI_PATH
//
// Records CYCLES cycles of 24 DUTs in the station's own database DB_PATH
// (a new file), one recordCycle() each as a station does, then forwards them
// all to the factory database that INI_PATH's [factory_db] names, as a
// station that comes back to its network with a backlog. Prints one JSON
// object: the time per recorded cycle and the forwarding time, with the
// rows per second of each.
#include "resultsrecorder.h"
#include "stationresults.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace {

// A cycle as a healthy 24-DUT station records it, one DUT in twelve failing
// with its log.
CycleRecord cycle(int n)
{
    CycleRecord c;
    c.stationId = QStringLiteral("bench");
    c.cycleUid = CycleRecord::newUid();
    c.number = qint64(n) * 24;
    c.startedAt = QDateTime::currentDateTimeUtc().addSecs(-30);
    c.endedAt = QDateTime::currentDateTimeUtc();
    c.goldenMac = QStringLiteral("02:54:4b:00:00:10");
    c.rxRssiMin = c.txRssiMin = -75;
    c.rxRssiMax = c.txRssiMax = -20;
    c.freqMin = -10;
    c.freqMax = 10;
    c.imagePath = QStringLiteral("./config/CHIPCTL/Config/TK716A_RAM_BIN.bin");
    c.imageSha256 = QString(64, QLatin1Char('a'));
    c.imageSize = 65536;
    c.toolVersion = QStringLiteral("V1.0.16");
    for (int k = 0; k < 24; ++k) {
        DutRecord d;
        d.position = k;
        d.slot = k;
        d.device = QStringLiteral("DUT%1").arg(k);
        d.port = QStringLiteral("rfc2217://127.0.0.1:%1").arg(7001 + k);
        d.mac = QStringLiteral("02:54:4b:00:00:%1").arg(0x11 + k, 2, 16, QLatin1Char('0'));
        d.flashUid = QStringLiteral("%1%2")
                         .arg(n, 16, 16, QLatin1Char('0'))
                         .arg(k, 16, 16, QLatin1Char('0'));
        d.downloadStatus = d.macStatus = d.calibrationStatus = d.txStatus =
            QLatin1String(ResultWords::pass);
        d.crystal = k - 12;
        d.rxRssiMin = -50;
        d.rxRssiMax = -44;
        d.rxRssiAvg = -47;
        d.freqMin = -3;
        d.freqMax = 3;
        d.freqAvg = k % 5 - 2;
        d.txRssiMin = -52;
        d.txRssiMax = -45;
        d.txRssiAvg = -48;
        d.verdict = QLatin1String(ResultWords::pass);
        if ((n + k) % 12 == 0) {
            d.calibrationStatus = QLatin1String(ResultWords::fail);
            d.txStatus = QLatin1String(ResultWords::notRun);
            d.txRssiMin = d.txRssiMax = d.txRssiAvg = std::nullopt;
            d.crystal = std::nullopt;
            d.verdict = QLatin1String(ResultWords::error);
            d.failedStep = QLatin1String(ResultWords::stepCalibration);
            for (int line = 0; line < 40; ++line)
                d.failureLog += QStringLiteral("[信息]08:00:%1:000 RX test success.RX RSSI MIN = "
                                               "-50,RX RSSI MAX = -44,FREQ AVE = 12\r\n")
                                    .arg(line, 2, 10, QLatin1Char('0'));
        }
        c.duts.append(d);
    }
    return c;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: bench_forward CYCLES DB_PATH INI_PATH\n");
        return 2;
    }
    const int cycles = args.at(0).toInt();
    QList<CycleRecord> records;
    for (int n = 0; n < cycles; ++n)
        records.append(cycle(n));

    QElapsedTimer clock;
    clock.start();
    {
        ResultsRecorder recorder(args.at(1));
        for (const CycleRecord &r : qAsConst(records)) {
            QString error;
            if (!recorder.recordCycle(r, &error)) {
                std::fprintf(stderr, "not recorded: %s\n", qPrintable(error));
                return 1;
            }
        }
    }
    const double recordSeconds = double(clock.nsecsElapsed()) / 1e9;

    clock.restart();
    StationSettings settings = StationSettings::load(args.at(2));
    StationResults results(settings, args.at(1));
    const bool forwarded = results.waitForForwarding(600000);
    const double forwardSeconds = double(clock.nsecsElapsed()) / 1e9;
    if (!forwarded) {
        std::fprintf(stderr, "not forwarded: %s\n", qPrintable(results.forwardStatus().summary()));
        return 1;
    }

    const double rows = double(cycles) * 25; // each cycle's row and its DUTs'
    QJsonObject out;
    out.insert(QStringLiteral("cycles"), cycles);
    out.insert(QStringLiteral("dutRows"), cycles * 24);
    out.insert(QStringLiteral("recordMsPerCycle"), 1000.0 * recordSeconds / cycles);
    out.insert(QStringLiteral("recordRowsPerSecond"), rows / recordSeconds);
    out.insert(QStringLiteral("forwardSeconds"), forwardSeconds);
    out.insert(QStringLiteral("forwardRowsPerSecond"), rows / forwardSeconds);
    out.insert(QStringLiteral("forwardDutRowsPerSecond"), double(cycles) * 24 / forwardSeconds);
    out.insert(QStringLiteral("forwardCyclesPerSecond"), double(cycles) / forwardSeconds);
    std::fputs(QJsonDocument(out).toJson(QJsonDocument::Compact).constData(), stdout);
    std::fputs("\n", stdout);
    return 0;
}
