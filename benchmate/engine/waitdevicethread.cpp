#include "waitdevicethread.h"

#include "chiptool.h"
#include "sleepmsec.h"
#include "toolcommand.h"

namespace {

constexpr int toolWait = 10000;
constexpr int pollPause = 100;

} // namespace

waitDeviceThread::waitDeviceThread(const QString &port, logRecord *log, QObject *parent)
    : QThread(nullptr)
    , waitPort(port)
    , waitLog(log)
{
    Q_UNUSED(parent)
}

waitDeviceThread::~waitDeviceThread()
{
    stop();
    wait();
    m_runReturned.load(std::memory_order_acquire);
}

void waitDeviceThread::stop()
{
    stopFlag.store(1);
}

void waitDeviceThread::run()
{
    watch();
    m_runReturned.store(true, std::memory_order_release);
}

void waitDeviceThread::watch()
{
    chipTool tool;
    waitResult.store(WAIT_POLLING);

    // Until the tool finds nothing answering on the port.
    for (;;) {
        tool.runTool(QStringList(waitPort) + ToolCommand::readMode(), toolWait, nullptr);
        if (tool.output().contains(QLatin1String("Fail.")))
            break;
        sleepMsec(pollPause);
        if (stopRequested())
            return;
    }
    waitResult.store(WAIT_PULSING);

    // Reset into the boot ROM until it answers.
    for (;;) {
        tool.runTool(QStringList(waitPort) + ToolCommand::bootPulse(), toolWait, nullptr);
        if (stopRequested())
            return;
        tool.runTool(QStringList(waitPort) + ToolCommand::readMode(), toolWait, nullptr);
        if (tool.output().contains(QLatin1String("BOOT MODE."))) {
            waitResult.store(WAIT_BOOT_MODE);
            return;
        }
        sleepMsec(pollPause);
        if (stopRequested())
            return;
    }
}
