#include "benchrunner.h"

#include "chiptool.h"
#include "cyclerecordbuilder.h"
#include "cycletable.h"
#include "dailylog.h"
#include "resultscsv.h"
#include "stationglobals.h"
#include "stationresults.h"
#include "testthread.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <memory>

namespace {

const char *const configPath = "./config/device_config.csv";
// How long benchrun waits at its end for the last cycles to reach the
// factory database, ms; what has not gone then goes with the next run.
constexpr int forwardGraceMs = 15000;
// How often a running cycle reports its progress on the console, ms.
constexpr int progressEveryMs = 10000;
constexpr int progressLookMs = 1000;

// A value of the settings file as the window's line edit shows it.
QString shown(float value)
{
    return DeviceConfigFile::formatNumber(value);
}

} // namespace

BenchRunner::BenchRunner(const BenchOptions &options, QTextStream &out, QTextStream &err)
    : m_options(options)
    , m_out(out)
    , m_err(err)
    , m_configFile(QString::fromLatin1(configPath))
{}

bool BenchRunner::loadSetup()
{
    const QString where = QDir::currentPath();
    const QFileInfo config(QString::fromLatin1(configPath));
    if (!config.isFile()) {
        m_err << "benchrun: no settings file " << configPath << " in " << where
              << ".\n  Run benchrun in the station directory (the one holding config/ and log/),"
                 " or write the file with Benchmate or with stationsim --write-device-config.\n";
        return false;
    }
    if (!m_configFile.load(m_config)) {
        m_err << "benchrun: " << QFileInfo(config).absoluteFilePath()
              << " is not a settings file Benchmate can read (42 lines expected).\n";
        return false;
    }

    m_builder = TestParaBuilder();
    m_builder.gmPort = m_config.rows[0].port;
    m_builder.filePath = m_config.firmwarePath;
    m_builder.timeOut = shown(m_config.timeOut);
    m_builder.sendInterval = shown(m_config.sendInterval);
    m_builder.testCha = shown(m_config.testCha);
    m_rows.clear();
    for (int row = 1; row < DeviceConfig::rowCount; ++row) {
        const DeviceConfigRow &r = m_config.rows[size_t(row)];
        if (!r.enabled)
            continue;
        m_builder.devices.append({row - 1, r.name, r.port});
        m_rows.append({row - 1, r.txCal, r.rxCal});
    }
    if (m_builder.devices.isEmpty()) {
        m_err << "benchrun: no DUT is enabled in " << configPath
              << ": enable at least one row (first field 1).\n";
        return false;
    }
    if (m_builder.gmPort.isEmpty()) {
        m_err << "benchrun: the golden machine has no serial port in " << configPath << ".\n";
        return false;
    }
    const QFileInfo tool(chipTool::toolPath());
    if (!tool.isFile() || !tool.isExecutable()) {
        m_err << "benchrun: the chip tool " << chipTool::toolPath()
              << (tool.exists() ? " is not executable" : " is missing") << " in " << where << ".\n";
        return false;
    }
    if (!QFileInfo(m_config.firmwarePath).isFile()) {
        m_err << "benchrun: the firmware file \"" << m_config.firmwarePath << "\" named in "
              << configPath << " does not exist.\n";
        return false;
    }

    // Through the texts, as the window reads its line edits.
    m_limits.rxRssiMax = JudgeLimits::parse(shown(m_config.rxRssiMax));
    m_limits.rxRssiMin = JudgeLimits::parse(shown(m_config.rxRssiMin));
    m_limits.freqMax = JudgeLimits::parse(shown(m_config.rxFreqMax));
    m_limits.freqMin = JudgeLimits::parse(shown(m_config.rxFreqMin));
    m_limits.txRssiMax = JudgeLimits::parse(shown(m_config.txRssiMax));
    m_limits.txRssiMin = JudgeLimits::parse(shown(m_config.txRssiMin));
    calVal.store((calVal.load() & ~0xff) | int(uint8_t(m_config.calVal)));
    return true;
}

void BenchRunner::saveSetup()
{
    m_config.calVal = int8_t(uint8_t(calVal.load() & 0xff));
    if (!m_configFile.save(m_config))
        m_err << "benchrun: the counters could not be written to " << configPath << ".\n";
}

int BenchRunner::run()
{
    if (!m_options.error.isEmpty()) {
        m_err << "benchrun: " << m_options.error << "\n\n" << BenchOptions::usage();
        return ExitBadUsage;
    }
    if (m_options.help) {
        m_out << BenchOptions::usage();
        return ExitDone;
    }
    if (!loadSetup())
        return ExitBadSetup;

    m_out << "Station " << QDir::currentPath() << ": golden machine " << m_builder.gmPort << ", "
          << m_builder.devices.size() << " DUT(s), " << m_options.cycles << " cycle(s)\n";
    m_out.flush();

    DailyLog dailyLog;
    ResultsCsv results;
    const StationSettings settings = StationSettings::load();
    if (!settings.problem.isEmpty())
        m_err << "benchrun: " << settings.problem << '\n';
    StationResults database(settings);
    CycleRecordBuilder recordBuilder(database.stationId());
    CycleTable::Totals totals;
    for (int cycle = 1; cycle <= m_options.cycles; ++cycle) {
        const testPara_t para = m_builder.build();
        for (const deviceInfo_t &device : para.devices)
            device.progressPtr->store(0);

        testThread engine(para, m_mode);
        const QDateTime startedAt = QDateTime::currentDateTime();
        QElapsedTimer clock;
        clock.start();
        engine.start(QThread::InheritPriority);
        {
            // Blocks in the event loop until the cycle thread has ended.
            QEventLoop loop;
            QObject::connect(&engine, &QThread::finished, &loop, &QEventLoop::quit);
            QTimer look;
            qint64 lastReport = 0;
            QObject::connect(&look, &QTimer::timeout, &loop, [&] {
                if (engine.isFinished()) {
                    loop.quit();
                    return;
                }
                if (clock.elapsed() - lastReport < progressEveryMs)
                    return;
                lastReport = clock.elapsed();
                int sum = 0;
                int done = 0;
                for (const deviceInfo_t &device : para.devices) {
                    const int p = device.progressPtr->load();
                    sum += p;
                    done += p >= 100 ? 1 : 0;
                }
                m_out << "  ... " << lastReport / 1000 << " s: mean progress "
                      << sum / para.devices.size() << " %, " << done << " of "
                      << para.devices.size() << " DUT(s) through\n";
                m_out.flush();
            });
            look.start(progressLookMs);
            if (!engine.isFinished())
                loop.exec();
        }
        engine.wait();
        const qint64 elapsed = clock.elapsed();
        const QDateTime endedAt = QDateTime::currentDateTime();

        const uint32_t number = m_config.testAllNum;
        const QString cycleLog = engine.getLog();
        if (!dailyLog.write(number, cycleLog))
            m_logsPending = true;
        testRestlt_t result;
        const int state = engine.getResult(&result);
        const CycleJudgement judgement =
            ResultJudge::judge(m_limits, state, para.devices.size(), result, m_rows);
        for (const QString &message : judgement.messages)
            m_err << message << '\n';
        ResultJudge::carryCalVal(judgement);
        ResultJudge::count(judgement, &m_config.testPassNum, &m_config.testFailNum,
                           &m_config.testAllNum);
        const QList<deviceTrace_t> traces = engine.getTraceability();
        if (!results.write(ResultsCsv::rows(QDateTime::currentDateTime(), number, para, traces,
                                            result, judgement)))
            m_logsPending = true;
        CycleOutcome outcome;
        outcome.startedAt = startedAt;
        outcome.endedAt = endedAt;
        outcome.number = number;
        outcome.para = para;
        outcome.goldenMac = engine.goldenMac();
        outcome.traces = traces;
        outcome.result = result;
        outcome.judgement = judgement;
        outcome.limits = m_limits;
        outcome.cycleLog = cycleLog;
        if (!database.recordCycle(recordBuilder.build(outcome)))
            m_logsPending = true;
        saveSetup();
        if (m_config.autoTest == 1)
            m_mode = 1;

        m_out << CycleTable::cycleTable(cycle, m_options.cycles, elapsed, para, traces, result,
                                        judgement, cycleLog);
        m_out << "  counters: total " << m_config.testAllNum << ", passed " << m_config.testPassNum
              << ", failed " << m_config.testFailNum << "; next calibration starts at "
              << int(int8_t(uint8_t(calVal.load() & 0xff))) << "\n\n";
        m_out.flush();

        ++totals.cycles;
        totals.elapsedMs += elapsed;
        totals.passed += judgement.passed;
        totals.failed += judgement.failed;
        if (judgement.cycleError || !judgement.ended)
            ++totals.stationErrors;
    }

    database.waitForForwarding(forwardGraceMs);
    m_out << CycleTable::summary(totals);
    const bool logsOk = dailyLog.pendingCount() == 0 && results.pendingCount() == 0 &&
                        database.unrecordedCount() == 0;
    m_out << "  daily log: " << QFileInfo(dailyLog.todaysFile()).absoluteFilePath()
          << (dailyLog.pendingCount() ? " (NOT all written)" : "") << '\n';
    m_out << "  results:   " << QFileInfo(results.todaysFile()).absoluteFilePath()
          << (results.pendingCount() ? " (NOT all written)" : "") << '\n';
    m_out << "  database:  " << QFileInfo(database.localPath()).absoluteFilePath();
    if (database.unrecordedCount())
        m_out << " (" << database.unrecordedCount()
              << " cycle(s) NOT recorded: " << database.recordError() << ')';
    m_out << '\n';
    const ForwardStatus forwarding = database.forwardStatus();
    if (forwarding.state != ForwardStatus::Off)
        m_out << "  " << forwarding.summary() << '\n';
    m_out.flush();
    if (!logsOk)
        return ExitLogsNotWritten;
    return totals.stationErrors > 0 ? ExitStationError : ExitDone;
}
