#include "txtestthread.h"

#include "chiptool.h"
#include "sleepmsec.h"
#include "toolcommand.h"

#include <algorithm>

namespace {

constexpr int downloadWait = 10000;
constexpr int macWait = 1000;
constexpr int stepPause = 10;

} // namespace

txTestThread::txTestThread(const txTestPara &para, QObject *parent)
    : QThread(parent)
    , para(para)
{}

txTestThread::~txTestThread()
{
    wait();
    m_runReturned.load(std::memory_order_acquire);
}

void txTestThread::stop()
{
    stopFlag.store(1);
}

int txTestThread::getResult(float *result)
{
    if (result)
        std::copy(txResult.begin(), txResult.end(), result);
    if (isRunning() || stage.load() == 4)
        return stage.load();
    stage.store(5);
    return 5;
}

void txTestThread::run()
{
    setUp();
    m_runReturned.store(true, std::memory_order_release);
}

void txTestThread::setUp()
{
    chipTool tool;
    auto runStep = [this, &tool](const QStringList &words, int finishWait) {
        const QStringList args = QStringList(para.port) + words;
        const bool ok = tool.run(args, finishWait);
        emit showDebugInfo(QStringLiteral("./config/CHIPCTL/Chipctl.exe ") +
                           args.join(QLatin1Char(' ')));
        emit showDebugInfo(tool.output());
        return ok;
    };

    stage.store(1);
    runStep(ToolCommand::downloadRam(para.filePath), downloadWait);
    sleepMsec(stepPause);
    stage.store(2);
    runStep(ToolCommand::setDutMac(para.dutMac), macWait);
    stage.store(2);
    if (!runStep(ToolCommand::setDutMac(para.dutMac), macWait))
        return;
    sleepMsec(stepPause);
    if (runStep(ToolCommand::setGoldenMac(para.gmMac), macWait))
        stage.store(4);
}
