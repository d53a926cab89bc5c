// One test cycle of Benchmate's engine for the cycle benchmark
// (bench/cycles/bench_cycles.py), with nothing of the window around it:
//
//   bench_cycle FIRMWARE TIMEOUT_MS GM_PORT [DUT_PORT ...]
//
// Runs in the current directory, which holds config/CHIPCTL/Chipctl as a
// station does. Prints one JSON object on standard output: the cycle's wall
// time, the CPU time of this process and of all Chipctl runs together (the
// reaped children), the peak resident memory of this process and of the
// largest Chipctl run, and per DUT its RX and TX status and crystal value.
#include "stationglobals.h"
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
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 3 || args.size() - 3 > dutSlots) {
        std::fprintf(stderr, "usage: bench_cycle FIRMWARE TIMEOUT_MS GM_PORT [DUT_PORT ...]\n");
        return 2;
    }
    testPara_t para;
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
        device.progressPtr = &progress[i - 3];
        para.devices.append(device);
    }

    QElapsedTimer clock;
    clock.start();
    testRestlt_t result;
    {
        testThread cycle(para, 0);
        cycle.start();
        cycle.wait();
        cycle.getResult(&result);
        cycle.getLog();
    }
    const double wall = double(clock.nsecsElapsed()) / 1e9;

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
    out.insert(QStringLiteral("cpuSelf"), seconds(self.ru_utime) + seconds(self.ru_stime));
    out.insert(QStringLiteral("cpuTools"), seconds(children.ru_utime) + seconds(children.ru_stime));
    out.insert(QStringLiteral("rssSelfKb"), double(self.ru_maxrss));
    out.insert(QStringLiteral("rssToolKb"), double(children.ru_maxrss));
    out.insert(QStringLiteral("duts"), duts);
    std::fputs(QJsonDocument(out).toJson(QJsonDocument::Compact).constData(), stdout);
    std::fputs("\n", stdout);
    return 0;
}
