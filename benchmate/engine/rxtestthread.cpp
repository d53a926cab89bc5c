#include "rxtestthread.h"

#include "chiptool.h"
#include "crystalsearch.h"
#include "cyclevalues.h"
#include "logrecord.h"
#include "sleepmsec.h"
#include "toolcommand.h"
#include "tooloutput.h"

#include <algorithm>
#include <climits>

namespace {

constexpr int toolWait = 10000;  // boot mode, download, MACs, RAM writes, RX results
constexpr int shortWait = 1000;  // UID, DUT MAC
constexpr int settleWait = 1000; // pause after the ramcode download
constexpr int retryPause = 10;

QString general(float value)
{
    return QString::number(double(value), 'g', 6);
}

} // namespace

rxTestThread::rxTestThread(const rxTestPara &para, QObject *parent)
    : QThread(nullptr)
    , para(para)
{
    Q_UNUSED(parent)
}

rxTestThread::~rxTestThread()
{
    stop();
    join();
}

void rxTestThread::join()
{
    wait();
    // Pairs with the store at the end of run(): the thread's end as seen by
    // wait() carries no ordering a race checker can see.
    m_runReturned.load(std::memory_order_acquire);
}

void rxTestThread::stop()
{
    stopFlag.store(1);
}

int rxTestThread::getResult(rxTestResult *result) const
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (result)
            *result = m_result;
    }
    return isRunning() ? int(RX_RUNNING) : stage.load();
}

QString rxTestThread::flashUid() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_flashUid;
}

bool rxTestThread::measured(float *freqMean, float *rssiMean) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (freqMean)
        *freqMean = m_freqMean;
    if (rssiMean)
        *rssiMean = m_rssiMean;
    return m_measured;
}

QString rxTestThread::toolFailure() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_toolFailure;
}

void rxTestThread::fail(int fault, const QString &output)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_toolFailure = toolOutput::failureText(output);
    }
    m_fault.store(fault);
}

void rxTestThread::setProgress(uint8_t value)
{
    if (para.progressPtr)
        para.progressPtr->store(value);
}

bool rxTestThread::step(chipTool &tool, const QStringList &words, int finishWait,
                        const char *failure, int fault)
{
    if (tool.runTool(QStringList(para.port) + words, finishWait, para.log))
        return true;
    // A step ended by a stop is no failure of the DUT.
    if (failure && para.log && !stopRequested())
        para.log->error(QString::fromLatin1(failure));
    if (failure && !stopRequested())
        fail(fault, tool.output());
    return false;
}

void rxTestThread::run()
{
    {
        chipTool tool;
        tool.setStopFlag(&stopFlag);
        body(tool);
    }
    m_runReturned.store(true, std::memory_order_release);
}

void rxTestThread::body(chipTool &tool)
{
    logRecord *log = para.log;
    auto info = [log](const QString &text) {
        if (log)
            log->info(text);
    };

    info(QStringLiteral("Device %1: Start test.......................................")
             .arg(para.name));

    setProgress(0);
    stage.store(RX_STAGE_DOWNLOAD);
    if (!step(tool, ToolCommand::entryBootMode(), toolWait,
              "Can not set the serial port RTS and DTR.", DUT_FAULT_BOOT_MODE))
        return;

    setProgress(10);
    stage.store(RX_STAGE_DOWNLOAD);
    if (!step(tool, ToolCommand::downloadRam(para.filePath), toolWait, "RX donwload rambin error.",
              DUT_FAULT_DOWNLOAD))
        return;

    setProgress(30);
    if (stopRequested())
        return;
    sleepMsec(settleWait);
    stage.store(RX_STAGE_MAC);

    // The freshly started ramcode may not take the golden MAC at once.
    bool macSet = false;
    for (int attempt = 0; attempt < gmMacAttempts && !macSet; ++attempt) {
        if (attempt > 0)
            sleepMsec(retryPause);
        macSet = step(tool, ToolCommand::setGoldenMac(para.gmMac), toolWait, nullptr, DUT_OK);
    }
    if (!macSet) {
        if (log)
            log->error(QStringLiteral("RX set gm mac error."));
        fail(DUT_FAULT_GM_MAC, tool.output());
        return;
    }

    setProgress(35);
    if (stopRequested())
        return;

    if (!step(tool, ToolCommand::flashUid(), shortWait, "RX get flash uuid error.",
              DUT_FAULT_FLASH_UID))
        return;
    const QString uidLine = toolOutput::firstLine(tool.output());
    info(uidLine);
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_flashUid = uidLine.startsWith(QLatin1String("uid:")) ? uidLine.mid(4) : uidLine;
    }

    if (stopRequested())
        return;
    setProgress(40);
    if (!step(tool, ToolCommand::setDutMac(para.dutMac), shortWait, "RX set dut mac error.",
              DUT_FAULT_DUT_MAC))
        return;

    if (stopRequested())
        return;
    setProgress(50);
    stage.store(RX_STAGE_CAL);
    if (!calibrate(tool))
        return;
    setProgress(80);
}

// The crystal search (CrystalSearch), one measurement an iteration. Returns
// true when a value was accepted and written into OTP.
bool rxTestThread::calibrate(chipTool &tool)
{
    logRecord *log = para.log;
    CrystalSearch search(para.calStart, float(para.freqLimit));
    float ave = 0.0f;

    for (qint64 iteration = 0; iteration < maxIterations && !search.accepted(); ++iteration) {
        if (stopRequested())
            return false;
        const int8_t cal = search.cal();
        if (!step(tool, ToolCommand::writeCrystalRam(cal), toolWait, "RX set freq offset error.",
                  DUT_FAULT_XTAL_RAM))
            return false;
        if (!step(tool, ToolCommand::rxDut(para.timeOut, para.testCha), toolWait,
                  "RX get rx result error.", DUT_FAULT_RX_RESULT))
            return false;

        QList<float> rssi;
        QList<float> freq;
        toolOutput::parseRxSamples(tool.output(), &rssi, &freq);
        if (rssi.size() != samplesPerTest || freq.size() != samplesPerTest) {
            if (log)
                log->warn(QStringLiteral("Recive RX data err.Start next test."));
            continue;
        }

        std::sort(rssi.begin(), rssi.end());
        std::sort(freq.begin(), freq.end());
        ave = CrystalSearch::mean(freq);
        const float rssiMean = CrystalSearch::mean(rssi);
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_result.rssiMin = int32_t(rssi.first());
            m_result.rssiMax = int32_t(rssi.last());
            m_result.freqMin = int32_t(freq.first());
            m_result.freqMax = int32_t(freq.last());
            m_result.rssiAve = int32_t(rssiMean);
            m_result.freqAve = int32_t(ave);
            m_measured = true;
            m_freqMean = ave;
            m_rssiMean = rssiMean;
        }
        if (log)
            log->debug(QStringLiteral("[%1 cal]cal val = %2,freq offset = %3.")
                           .arg(iteration)
                           .arg(int(cal))
                           .arg(general(ave)));
        search.measured(ave);
    }

    if (!search.accepted()) {
        stage.store(RX_NOT_CONVERGED);
        fail(DUT_FAULT_NOT_CONVERGED);
        if (log)
            log->error(QStringLiteral("RX cal freq offset error."));
        return false;
    }

    const int8_t cal = search.cal();
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_result.calResult = cal;
    }
    if (!step(tool, ToolCommand::writeCrystalOtp(cal), chipTool::finishWait(para.timeOut),
              "RX cal freq offset error.", DUT_FAULT_OTP_WRITE))
        return false;

    if (log)
        log->debug(
            QStringLiteral("Cal end.Cal val = %1,freq offset %2.").arg(int(cal)).arg(general(ave)));
    stage.store(RX_PASSED);
    rxTestResult r;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        r = m_result;
    }
    if (log)
        log->info(QStringLiteral("RX test success.RX RSSI MIN = %1,RX RSSI MAX = %2,RX RSSI AVE = "
                                 "%3,FREQ MIN = %4,FREQ MAX = %5,FREQ AVE = %6,CAL VAL = %7")
                      .arg(r.rssiMin)
                      .arg(r.rssiMax)
                      .arg(r.rssiAve)
                      .arg(r.freqMin)
                      .arg(r.freqMax)
                      .arg(r.freqAve)
                      .arg(int(CycleValues::lowByte(r.calResult))));
    return true;
}
