#include "testthread.h"

#include "chiptool.h"
#include "cyclevalues.h"
#include "dutmac.h"
#include "rxtestthread.h"
#include "sleepmsec.h"
#include "toolcommand.h"
#include "tooloutput.h"
#include "txtestthread.h"
#include "waitdevicethread.h"

#include <QDebug>

#include <algorithm>
#include <climits>

namespace {

constexpr int goldenWait = 1000; // golden MAC, crystal value, RF off; DUT RF off

const QString msgGmMac = QStringLiteral("获取金机MAC地址失败！");
const QString msgGmXtal = QStringLiteral("获取金机频偏失败！");
const QString msgGmXtalParse = QStringLiteral("解析金机频偏失败！");
const QString msgGmXtalSet = QStringLiteral("设置金机频偏失败！");
const QString msgGmRx = QStringLiteral("设置金机进入RX测试模式失败！");
const QString msgUserStop = QStringLiteral("用户主动停止测试！");
const QString msgRxTimeout = QStringLiteral("等待RX测试结果超时，退出测试！");
const QString msgGmRfOff = QStringLiteral("关闭RX 金机RF射频失败！");
const QString msgDutTx = QStringLiteral("设备进入TX测试模式失败！");
const QString msgGmTx = QStringLiteral("测试时金机设备进入TX测试模式失败！");
const QString msgDutRfOff = QStringLiteral("待测设备停止RF失败！");

// Benchmate's console beside its window.
void console(const QString &text)
{
    qDebug().noquote() << text;
}

} // namespace

testThread::testThread(const testPara_t &para, unsigned char autoFlag, QObject *parent)
    : QThread(nullptr)
    , para(para)
    , autoFlag(autoFlag)
{
    Q_UNUSED(parent)
}

testThread::~testThread()
{
    stop();
    wait();
    // Pairs with the store at the end of run() (see rxTestThread::join).
    m_runReturned.load(std::memory_order_acquire);
    std::lock_guard<std::mutex> guard(m_workers);
    rxThreads.clear();
    devLogs.clear();
}

void testThread::stop()
{
    requestStop();
    waitAllWorkers();
}

void testThread::requestStop()
{
    // Under the lock, so that run() starts no worker after this point.
    std::lock_guard<std::mutex> guard(m_workers);
    stopFlag.store(1);
    for (const auto &worker : rxThreads)
        worker->stop();
}

int testThread::getResult(testRestlt_t *result) const
{
    {
        std::lock_guard<std::mutex> guard(m_results);
        if (result) {
            result->results = results;
            result->cycleStatus = cycleStatus;
            result->finished = finished;
            result->stationFault = stationFault;
            result->goldenCrystal = goldenCrystal;
        }
    }
    return isRunning() ? int(CYCLE_RUNNING) : int(CYCLE_ENDED);
}

int testThread::deviceFault(int index, QString *toolFailure) const
{
    {
        std::lock_guard<std::mutex> guard(m_results);
        const int tx = m_txFaults.value(index, DUT_OK);
        if (tx != DUT_OK) {
            if (toolFailure)
                *toolFailure = m_txToolFailures.value(index);
            return tx;
        }
    }
    std::lock_guard<std::mutex> guard(m_workers);
    if (index < 0 || size_t(index) >= rxThreads.size())
        return DUT_OK;
    const int fault = rxThreads[size_t(index)]->fault();
    if (toolFailure)
        *toolFailure = fault != DUT_OK ? rxThreads[size_t(index)]->toolFailure() : QString();
    return fault;
}

void testThread::setStationFault(int fault)
{
    std::lock_guard<std::mutex> guard(m_results);
    stationFault = fault;
}

void testThread::setDeviceFault(int index, int fault, const QString &output)
{
    const QString text = toolOutput::failureText(output);
    std::lock_guard<std::mutex> guard(m_results);
    m_txFaults.insert(index, fault);
    m_txToolFailures.insert(index, text);
    if (index < results.size()) {
        results[index].fault = fault;
        results[index].toolFailure = text;
    }
}

QString testThread::getLog(QStringList *pieces)
{
    QStringList texts;
    {
        std::lock_guard<std::mutex> guard(m_workers);
        for (const auto &log : devLogs)
            texts << log->getLog(LOG_INFO);
    }
    texts << mainLog.getLog(LOG_INFO);
    QString text;
    for (const QString &piece : qAsConst(texts))
        text += piece + QStringLiteral("\r\n");
    if (pieces)
        *pieces = texts;
    console(text);
    return text;
}

QList<deviceTrace_t> testThread::getTraceability() const
{
    QList<deviceTrace_t> traces;
    std::lock_guard<std::mutex> guard(m_workers);
    for (int i = 0; i < rxParas.size() && size_t(i) < rxThreads.size(); ++i) {
        deviceTrace_t trace;
        trace.name = rxParas.at(i).name;
        trace.port = rxParas.at(i).port;
        trace.mac = rxParas.at(i).dutMac;
        trace.flashUid = rxThreads[size_t(i)]->flashUid();
        rxTestResult unused;
        trace.rxStatus = rxThreads[size_t(i)]->getResult(&unused);
        traces.append(trace);
    }
    return traces;
}

QString testThread::goldenMac() const
{
    return para.gmMac;
}

void testThread::run()
{
    {
        chipTool tool;
        tool.setStopFlag(&stopFlag);
        cycle(tool);
    }
    // Whatever way the cycle ended, no worker outlives it.
    waitAllWorkers();
    m_runReturned.store(true, std::memory_order_release);
}

void testThread::waitAllWorkers()
{
    std::vector<std::shared_ptr<rxTestThread>> workers;
    {
        std::lock_guard<std::mutex> guard(m_workers);
        workers = rxThreads;
    }
    for (const auto &worker : workers)
        worker->join();
}

bool testThread::goldenStep(chipTool &tool, const QStringList &words, int finishWait)
{
    return tool.runTool(QStringList(para.gmPort) + words, finishWait, &mainLog);
}

void testThread::failCycle(const QString &message)
{
    // A step ended by a stop is no failure of the golden machine.
    if (stopRequested())
        return;
    mainLog.error(message);
    console(message);
    std::lock_guard<std::mutex> guard(m_results);
    cycleStatus = STATUS_FAIL;
    stationFault = STATION_FAULT_GOLDEN;
}

void testThread::endCycle()
{
    mainLog.info(QStringLiteral("Test end."));
    {
        std::lock_guard<std::mutex> guard(m_results);
        finished = 1;
    }
    console(QStringLiteral("Test end."));
}

void testThread::cycle(chipTool &tool)
{
    mainLog.info(QStringLiteral("Start Test."));
    console(QStringLiteral("Start Test."));
    {
        std::lock_guard<std::mutex> guard(m_results);
        finished = 0;
        cycleStatus = STATUS_PASS;
        stationFault = STATION_OK;
        goldenCrystal.reset();
    }

    // Golden machine's MAC.
    toolOutput::macBytes gmBytes{};
    QString gmMacText;
    if (!goldenStep(tool, ToolCommand::goldenMac(), goldenWait) ||
        !toolOutput::parseGoldenMac(tool.output(), &gmMacText, &gmBytes)) {
        failCycle(msgGmMac);
        return;
    }
    para.gmMac = gmMacText;
    if (stopRequested())
        return;

    // Its calibrated crystal value, from OTP.
    if (!goldenStep(tool, ToolCommand::readCrystalOtp(), goldenWait)) {
        failCycle(msgGmXtal);
        return;
    }
    int8_t gmXtal = 0;
    if (!toolOutput::parseGoldenXtal(tool.output(), &gmXtal)) {
        failCycle(msgGmXtalParse);
        return;
    }
    console(QStringLiteral("GM Freq Offset ") + QString::number(int(gmXtal)));
    {
        std::lock_guard<std::mutex> guard(m_results);
        goldenCrystal = int(gmXtal);
    }
    if (stopRequested())
        return;

    // ... loaded into its RAM for the RF tests.
    if (!goldenStep(tool, ToolCommand::writeCrystalRam(gmXtal), goldenWait)) {
        failCycle(msgGmXtalSet);
        return;
    }
    if (stopRequested())
        return;

    // One MAC per DUT above the golden machine's.
    for (int i = 0; i < para.devices.size(); ++i) {
        QString mac;
        if (!dutMacFor(gmBytes, i, &mac)) {
            failCycle(msgGmMac);
            return;
        }
        para.devices[i].mac += mac;
    }

    mainLog.info(QStringLiteral("Start RX Test."));
    console(QStringLiteral("Start RX Test."));
    if (!goldenStep(tool, ToolCommand::rxGolden(para.sendInterval, para.timeOut, para.testCha),
                    chipTool::finishWait(para.timeOut))) {
        failCycle(msgGmRx);
        return;
    }
    if (stopRequested())
        return;

    if (!startWorkers()) {
        mainLog.error(msgUserStop);
        endCycle();
        return;
    }
    if (!para.devices.isEmpty()) {
        if (!waitForWorkers()) {
            endCycle();
            return;
        }
        collectResults();
    }

    // Golden machine's RF off, then the TX phase.
    if (!goldenStep(tool, ToolCommand::rfStop(), goldenWait)) {
        mainLog.error(msgGmRfOff);
        setStationFault(STATION_FAULT_GOLDEN);
        endCycle();
        return;
    }
    if (stopRequested()) {
        endCycle();
        return;
    }
    txPhase(tool);
    endCycle();
}

// Starts one RX worker per device. False when a stop was requested before
// all of them could start.
bool testThread::startWorkers()
{
    const int8_t calStart =
        para.values ? para.values->calStart() : CycleValues::lowByte(CycleValues::initialCalVal);
    std::lock_guard<std::mutex> guard(m_workers);
    rxThreads.clear();
    rxParas.clear();
    for (const deviceInfo_t &device : qAsConst(para.devices)) {
        if (stopRequested())
            return false;
        devLogs.push_back(std::make_unique<logRecord>());
        rxTestPara rx;
        rx.port = device.port;
        rx.dutMac = device.mac;
        rx.filePath = para.filePath;
        rx.gmMac = para.gmMac;
        rx.name = device.name;
        rx.timeOut = para.timeOut;
        rx.testCha = para.testCha;
        rx.freqLimit = 5;
        rx.calStart = calStart;
        rx.progressPtr = device.progressPtr;
        rx.log = devLogs.back().get();
        auto worker = std::make_shared<rxTestThread>(rx);
        worker->start(QThread::InheritPriority);
        rxThreads.push_back(worker);
        rxParas.append(rx);
    }
    return !stopRequested();
}

// Waits for the RX workers. False when the cycle is to end without results:
// a stop request, or the time-out (after every worker has ended by itself).
bool testThread::waitForWorkers()
{
    quint64 elapsed = 0;
    for (;;) {
        const bool anyRunning =
            std::any_of(rxThreads.begin(), rxThreads.end(), [](const auto &worker) {
                return worker->getResult(nullptr) == RX_RUNNING;
            });
        if (!anyRunning)
            return !stopRequested();
        sleepMsec(rxPoll);
        elapsed += rxPoll;
        if (elapsed > para.timeOut) {
            waitAllWorkers();
            mainLog.error(msgRxTimeout);
            setStationFault(STATION_FAULT_RX_TIMEOUT);
            return false;
        }
        if (stopRequested())
            return false;
    }
}

void testThread::collectResults()
{
    QList<deviceRestlt_t> collected;
    for (int i = 0; i < para.devices.size(); ++i) {
        rxTestResult rx;
        const int status = rxThreads[size_t(i)]->getResult(&rx);
        deviceRestlt_t device;
        device.name = para.devices.at(i).name;
        device.rxRssiMax = rx.rssiMax;
        device.rxRssiMin = rx.rssiMin;
        device.rxRssiAve = rx.rssiAve;
        device.calVal = CycleValues::lowByte(rx.calResult);
        device.freqMax = rx.freqMax;
        device.freqMin = rx.freqMin;
        device.freqAve = rx.freqAve;
        device.txStatus = TX_NOT_RUN;
        device.rxStatus = status == RX_PASSED ? STATUS_PASS : STATUS_FAIL;
        device.fault = rxThreads[size_t(i)]->fault();
        device.toolFailure = rxThreads[size_t(i)]->toolFailure();
        device.rxMeasured = rxThreads[size_t(i)]->measured(&device.freqMean, &device.rxRssiMean);
        collected.append(device);
    }
    std::lock_guard<std::mutex> guard(m_results);
    results = collected;
}

// The TX test, one DUT after the other (they share the golden machine as
// receiver). A failed chip-tool step ends the phase; a wrong sample count
// fails only that DUT.
void testThread::txPhase(chipTool &tool)
{
    mainLog.info(QStringLiteral("Start TX Test."));
    console(QStringLiteral("Start TX Test."));

    for (int i = 0; i < para.devices.size(); ++i) {
        {
            std::lock_guard<std::mutex> guard(m_results);
            if (i >= results.size() || results.at(i).rxStatus != STATUS_PASS)
                continue;
        }
        const deviceInfo_t &device = para.devices.at(i);
        logRecord *log = devLogs[size_t(i)].get();
        if (device.progressPtr)
            device.progressPtr->store(90);
        console(QStringLiteral("Start TX Test ") + device.name);

        const QStringList dut(device.port);
        if (!tool.runTool(dut + ToolCommand::txDut(para.sendInterval, para.timeOut, para.testCha),
                          chipTool::finishWait(para.timeOut), log)) {
            log->error(device.name + msgDutTx);
            setDeviceFault(i, DUT_FAULT_TX_MODE, tool.output());
            return;
        }
        if (!tool.runTool(QStringList(para.gmPort) +
                              ToolCommand::txGolden(para.timeOut, para.testCha),
                          chipTool::finishWait(para.timeOut), log)) {
            log->error(device.name + msgGmTx);
            setStationFault(STATION_FAULT_GOLDEN);
            return;
        }
        const QString txOutput = tool.output();
        if (!tool.runTool(dut + ToolCommand::rfStop(), goldenWait, log)) {
            log->error(device.name + msgDutRfOff);
            setDeviceFault(i, DUT_FAULT_TX_RF_OFF, tool.output());
            return;
        }

        QList<int> samples = toolOutput::parseTxRssi(txOutput);
        if (samples.size() == rxTestThread::samplesPerTest) {
            std::sort(samples.begin(), samples.end());
            float sum = 0.0f;
            for (int v : qAsConst(samples))
                sum += float(v);
            const float mean = sum / float(rxTestThread::samplesPerTest);
            {
                std::lock_guard<std::mutex> guard(m_results);
                deviceRestlt_t &r = results[i];
                r.txRssiMin = samples.first();
                r.txRssiMax = samples.last();
                r.txRssiAve = int32_t(mean);
                r.txRssiMean = mean;
                r.txStatus = STATUS_PASS;
            }
            log->info(QStringLiteral(
                          "TX test success.TX RSSI MIN = %1,TX RSSI MAX = %2,TX RSSI AVE = %3.")
                          .arg(samples.first())
                          .arg(samples.last())
                          .arg(QString::number(double(mean), 'g', 6)));
            if (device.progressPtr)
                device.progressPtr->store(100);
        } else {
            {
                std::lock_guard<std::mutex> guard(m_results);
                results[i].txStatus = STATUS_FAIL;
            }
            setDeviceFault(i, DUT_FAULT_TX_SAMPLES);
            log->error(QStringLiteral("TX test error."));
        }
        log->info(QStringLiteral("Device %1: Test end.......................................")
                      .arg(device.name));
        if (stopRequested())
            return;
    }
}
