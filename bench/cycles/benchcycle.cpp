// One test cycle of Benchmate's engine for the cycle benchmark
// (bench/cycles/bench_cycles.py), with nothing of the window around it:
//
//   bench_cycle [--results none|local|factory [--warm-up]] FIRMWARE TIMEOUT_MS GM_PORT
//               [DUT_PORT ...]
//
// Runs in the current directory, which holds config/CHIPCTL/Chipctl as a
// station does. Prints one JSON object on standard output: the cycle's wall
// time, the CPU time of this process and of all Chipctl runs together (the
// reaped children), the peak resident memory of this process and of the
// largest Chipctl run, and per DUT its RX and TX status and crystal value.
//
// --results local: the cycle ends as a station's does, judged and recorded
// in ./log/results.sqlite; the wall time takes in the recording, and
// "recordMs" is its own time. --results factory: likewise, with the
// station's forwarder running from the start (./config/station.ini names
// the factory database); "forwardMs" is how long after the record the
// cycle was in the factory database (not part of the wall time). With
// --warm-up a first cycle runs the same way unmeasured, as the cycle before
// in a station that has been running: the database open, the forwarder
// connected, the chip tool's version known; its record is forwarded while
// the measured cycle starts. The CPU times are then the measured cycle's.
#include "cyclerecordbuilder.h"
#include "cyclevalues.h"
#include "resultjudge.h"
#include "stationresults.h"
#include "testthread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <sys/resource.h>

namespace {

double seconds(const timeval &tv)
{
    return double(tv.tv_sec) + double(tv.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString results = QStringLiteral("none");
    bool warmUp = false;
    if (args.size() >= 2 && args.first() == QLatin1String("--results")) {
        results = args.at(1);
        args = args.mid(2);
        if (!args.isEmpty() && args.first() == QLatin1String("--warm-up")) {
            warmUp = true;
            args.removeFirst();
        }
    }
    const bool record = results != QLatin1String("none");
    if (args.size() < 3 || args.size() - 3 > CycleValues::dutSlots ||
        (record && results != QLatin1String("local") && results != QLatin1String("factory"))) {
        std::fprintf(stderr, "usage: bench_cycle [--results none|local|factory [--warm-up]] "
                             "FIRMWARE TIMEOUT_MS GM_PORT [DUT_PORT ...]\n");
        return 2;
    }
    // The station's results, made when the station starts.
    StationSettings settings = StationSettings::load();
    if (results != QLatin1String("factory"))
        settings.factory = FactoryDbSettings();
    std::unique_ptr<StationResults> database;
    std::unique_ptr<CycleRecordBuilder> builder;
    if (record) {
        database = std::make_unique<StationResults>(settings);
        builder = std::make_unique<CycleRecordBuilder>(database->stationId());
    }
    CycleValues shared;
    testPara_t para;
    para.values = &shared;
    para.filePath = args.at(0);
    para.timeOut = args.at(1).toUInt();
    para.gmPort = args.at(2);
    para.sendInterval = 10;
    para.testCha = 7;
    para.logPath = QStringLiteral("./log");
    for (int i = 3; i < args.size(); ++i) {
        deviceInfo_t device;
        device.port = args.at(i);
        device.name = QStringLiteral("DUT%1").arg(i - 2);
        device.slot = i - 3;
        device.progressPtr = &shared.progress[i - 3];
        para.devices.append(device);
    }

    // One cycle as a station runs it: the engine's cycle, then (unless
    // results are off) judged and recorded. Returns its wall time, s.
    testRestlt_t result;
    const auto runCycle = [&](double *recordMs) {
        QElapsedTimer clock;
        clock.start();
        const QDateTime startedAt = QDateTime::currentDateTime();
        testThread cycle(para, 0);
        cycle.start();
        cycle.wait();
        const int state = cycle.getResult(&result);
        QStringList logs;
        cycle.getLog(&logs);
        if (record) {
            // As the station's end of a cycle: judged, then recorded.
            QElapsedTimer recording;
            recording.start();
            CycleOutcome outcome;
            outcome.startedAt = startedAt;
            outcome.endedAt = QDateTime::currentDateTime();
            outcome.para = para;
            outcome.goldenMac = cycle.goldenMac();
            outcome.traces = cycle.getTraceability();
            outcome.result = result;
            outcome.limits = {-20, -75, -20, -75, 10, -10};
            QList<JudgeRow> rows;
            for (const deviceInfo_t &device : qAsConst(para.devices))
                rows.append({device.slot, QStringLiteral("0"), QStringLiteral("0")});
            outcome.judgement =
                ResultJudge::judge(outcome.limits, state, para.devices.size(), result, rows);
            outcome.goldenLog = logs.takeLast();
            for (int k = 0; k < logs.size(); ++k)
                outcome.dutLogs.append({para.devices.at(k).slot, logs.at(k)});
            QString error;
            if (!database->recordCycle(builder->build(outcome), &error))
                std::fprintf(stderr, "not recorded: %s\n", qPrintable(error));
            *recordMs = double(recording.nsecsElapsed()) / 1e6;
        }
        return double(clock.nsecsElapsed()) / 1e9;
    };

    double recordMs = 0;
    rusage selfBefore{};
    rusage childrenBefore{};
    if (warmUp) {
        runCycle(&recordMs);
        // The next cycle starts at once, as a station's does; the record
        // just made goes over meanwhile.
        QCoreApplication::processEvents();
        getrusage(RUSAGE_SELF, &selfBefore);
        getrusage(RUSAGE_CHILDREN, &childrenBefore);
    }
    const double wall = runCycle(&recordMs);

    double forwardMs = 0;
    if (results == QLatin1String("factory")) {
        QElapsedTimer forwarding;
        forwarding.start();
        if (!database->waitForForwarding(60000))
            std::fprintf(stderr, "not forwarded: %s\n",
                         qPrintable(database->forwardStatus().summary()));
        forwardMs = double(forwarding.nsecsElapsed()) / 1e6;
    }

    rusage self{};
    rusage children{};
    getrusage(RUSAGE_SELF, &self);
    getrusage(RUSAGE_CHILDREN, &children);

    QJsonArray duts;
    for (const deviceRestlt_t &r : qAsConst(result.results)) {
        QJsonObject dut;
        dut.insert(QStringLiteral("rx"), r.rxStatus);
        dut.insert(QStringLiteral("tx"), r.txStatus);
        dut.insert(QStringLiteral("cal"), int(r.calVal));
        duts.append(dut);
    }
    QJsonObject out;
    out.insert(QStringLiteral("wall"), wall);
    out.insert(QStringLiteral("finished"), result.finished);
    out.insert(QStringLiteral("cycleStatus"), result.cycleStatus);
    out.insert(QStringLiteral("cpuSelf"), seconds(self.ru_utime) + seconds(self.ru_stime) -
                                              seconds(selfBefore.ru_utime) -
                                              seconds(selfBefore.ru_stime));
    out.insert(QStringLiteral("cpuTools"), seconds(children.ru_utime) + seconds(children.ru_stime) -
                                               seconds(childrenBefore.ru_utime) -
                                               seconds(childrenBefore.ru_stime));
    out.insert(QStringLiteral("rssSelfKb"), double(self.ru_maxrss));
    out.insert(QStringLiteral("rssToolKb"), double(children.ru_maxrss));
    out.insert(QStringLiteral("duts"), duts);
    out.insert(QStringLiteral("results"), results);
    out.insert(QStringLiteral("recordMs"), recordMs);
    out.insert(QStringLiteral("forwardMs"), forwardMs);
    std::fputs(QJsonDocument(out).toJson(QJsonDocument::Compact).constData(), stdout);
    std::fputs("\n", stdout);
    return 0;
}
