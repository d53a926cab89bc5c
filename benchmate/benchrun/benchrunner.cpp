#include "benchrunner.h"

#include "chiptool.h"
#include "cyclecontroller.h"
#include "cyclejson.h"
#include "cycletable.h"
#include "englishgloss.h"
#include "setupcheck.h"
#include "stationlock.h"
#include "stopsignals.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>

namespace {

// How long benchrun waits at its end for the last cycles to reach the
// factory database, ms; what has not gone then goes with the next run.
constexpr int forwardGraceMs = 15000;

const char *const configPath = "./config/device_config.csv";
// How often a running cycle reports its progress on the console, ms.
constexpr int progressEveryMs = 10000;

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
        const DeviceConfigProblem &problem = m_configFile.problem();
        const QString file = QFileInfo(config).absoluteFilePath();
        if (problem.kind == DeviceConfigProblem::Unreadable) {
            m_err << "benchrun: cannot read " << file << ": " << problem.error << ".\n";
            return false;
        }
        m_err << "benchrun: " << file << " is not a settings file Benchmate can read: ";
        if (problem.kind == DeviceConfigProblem::LineCount)
            m_err << problem.lines << " lines where 42 are expected.\n";
        else if (problem.kind == DeviceConfigProblem::NotUtf8)
            m_err << "line " << problem.line << " is not UTF-8 text.\n";
        else
            m_err << "it is empty.\n";
        return false;
    }

    m_request = TestParaBuilder::request(m_config);
    // The same check as the window's before a start: a number that is none,
    // out of its range or crossing its other limit, a missing port or
    // firmware, no enabled DUT.
    const QList<SetupProblem> problems = SetupCheck::check(SetupTexts::fromConfig(m_config));
    if (!problems.isEmpty()) {
        m_err << "benchrun: " << configPath << " cannot start a cycle:\n";
        for (const SetupProblem &problem : problems)
            m_err << "  " << SetupCheck::describe(problem) << '\n';
        return false;
    }
    const QFileInfo tool(chipTool::toolPath());
    if (!tool.isFile() || !tool.isExecutable()) {
        m_err << "benchrun: the chip tool " << chipTool::toolPath()
              << (tool.exists() ? " is not executable" : " is missing") << " in " << where << ".\n";
        return false;
    }
    return true;
}

void BenchRunner::saveSetup(const CycleValues &values)
{
    m_config.calVal = values.calStart();
    if (m_configFile.save(m_config)) {
        m_settingsNotSaved.clear();
        return;
    }
    // Said once; the summary and the exit status tell it again at the end.
    if (m_settingsNotSaved.isEmpty())
        m_err << "benchrun: the counters could not be written to " << configPath << " ("
              << m_configFile.saveError() << "); this run's counters are in its summary.\n";
    m_settingsNotSaved = m_configFile.saveError();
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
    // From here on SIGINT, SIGTERM and SIGHUP stop a running cycle as the stop
    // button does, and end the run after it.
    StopSignals stopSignals;
    StationLock lock;
    switch (lock.acquire()) {
    case StationLock::Locked:
        break;
    case StationLock::HeldByOther:
        m_err << "benchrun: the station directory " << QDir::currentPath() << " is in use by "
              << lock.holderName() << " (process " << lock.holderPid()
              << "); one station program at a time works in a station directory.\n";
        return ExitBadSetup;
    case StationLock::NotPossible:
        m_err << "benchrun: " << lock.error()
              << ", so nothing keeps a second station program out of this directory.\n";
        break;
    }
    if (!loadSetup())
        return ExitBadSetup;

    text() << "Station " << QDir::currentPath() << ": golden machine " << m_request.para.gmPort
           << ", " << m_request.para.devices.size() << " DUT(s), " << m_options.cycles
           << " cycle(s)\n";
    text().flush();

    CycleController controller;
    const StationSettings &stationSettings = controller.results().settings();
    if (!stationSettings.problem.isEmpty()) {
        for (const QString &line : stationSettings.problem.split(QLatin1Char('\n')))
            m_err << "benchrun: " << line << '\n';
    }
    // A station id or a database named otherwise than written would put
    // this station's cycles where they do not belong.
    if (stationSettings.refused) {
        m_err << "benchrun: mend " << StationSettings::defaultPath()
              << " first; no cycle runs on settings it was not given.\n";
        return ExitBadSetup;
    }
    if (!controller.results().startProblem().isEmpty())
        m_err << "benchrun: " << controller.results().startProblem() << ".\n";
    controller.setCounters({m_config.testPassNum, m_config.testFailNum, m_config.testAllNum});
    controller.setAutoTest(m_config.autoTest);
    controller.values().setCalStart(m_config.calVal);

    // Every 10 s of a running cycle: how far its DUTs are.
    QElapsedTimer clock;
    qint64 lastReport = 0;
    QObject::connect(&controller, &CycleController::progressChanged, [&] {
        if (clock.elapsed() - lastReport < progressEveryMs)
            return;
        lastReport = clock.elapsed();
        const QList<deviceInfo_t> &devices = controller.parameters().devices;
        int sum = 0;
        int done = 0;
        for (const deviceInfo_t &device : devices) {
            const int p = device.progressPtr->load();
            sum += p;
            done += p >= 100 ? 1 : 0;
        }
        text() << "  ... " << lastReport / 1000 << " s: mean progress "
               << sum / qMax(1, int(devices.size())) << " %, " << done << " of " << devices.size()
               << " DUT(s) through\n";
        text().flush();
    });

    QObject::connect(&stopSignals, &StopSignals::stopRequested, &controller,
                     &CycleController::stop);

    CycleTable::Totals totals;
    // Why the last record that failed did: each record takes along what
    // waits before it, so it is the reason of whatever still waits.
    QString recordError;
    for (int cycle = 1; cycle <= m_options.cycles; ++cycle) {
        if (StopSignals::received()) {
            m_err << "benchrun: stopped by " << StopSignals::name(StopSignals::received())
                  << " before cycle " << cycle << " of " << m_options.cycles << ".\n";
            break;
        }
        // Blocks in the event loop until the controller has handled the
        // cycle's end, or a stop signal has stopped it.
        QEventLoop loop;
        bool ended = false;
        QObject::connect(&controller, &CycleController::cycleFinished, &loop, [&] {
            ended = true;
            loop.quit();
        });
        QObject::connect(&controller, &CycleController::stopped, &loop, &QEventLoop::quit);
        clock.start();
        lastReport = 0;
        controller.start(m_request);
        if (controller.state() != CycleController::Idle)
            loop.exec();
        if (!ended) {
            m_err << "benchrun: stopped by " << StopSignals::name(StopSignals::received())
                  << " in cycle " << cycle << " of " << m_options.cycles
                  << ": its chip tools were stopped, and nothing of it is counted or logged.\n";
            break;
        }
        const CycleOutcome &outcome = controller.lastOutcome();
        const CycleJudgement &judgement = outcome.judgement;
        for (const QString &message : judgement.messages)
            m_err << EnglishGloss::annotate(message) << '\n';
        const CycleController::Counters &counters = controller.counters();
        m_config.testPassNum = counters.passed;
        m_config.testFailNum = counters.failed;
        m_config.testAllNum = counters.total;
        saveSetup(controller.values());

        if (m_options.json) {
            m_out << QString::fromUtf8(CycleJson::lines(
                outcome, cycle, {counters.total, counters.passed, counters.failed}));
            m_out.flush();
        }
        text() << EnglishGloss::annotateLines(CycleTable::cycleTable(
            cycle, m_options.cycles, outcome.elapsedMs, outcome.para, outcome.traces,
            outcome.result, judgement, outcome.dutLogs, outcome.goldenLog));
        text() << "  counters: total " << m_config.testAllNum << ", passed " << m_config.testPassNum
               << ", failed " << m_config.testFailNum << "; next calibration starts at "
               << int(controller.values().calStart()) << "\n\n";
        text().flush();

        if (!outcome.recordError.isEmpty())
            recordError = outcome.recordError;
        ++totals.cycles;
        totals.elapsedMs += outcome.elapsedMs;
        totals.passed += judgement.passed;
        totals.failed += judgement.failed;
        if (judgement.stationFault != StationFault::None || !judgement.ended)
            ++totals.stationErrors;
    }

    // The last cycles' way to the factory database, before the summary
    // tells how it stands.
    StationResults &database = controller.results();
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &database,
                     &StationResults::stopWaiting);
    if (!StopSignals::received())
        database.waitForForwarding(forwardGraceMs);
    text() << CycleTable::summary(totals);
    const DailyLog &dailyLog = controller.dailyLog();
    const ResultsCsv &results = controller.resultsFile();
    const bool logsOk = dailyLog.pendingCount() == 0 && results.pendingCount() == 0 &&
                        database.unrecordedCount() == 0 && m_settingsNotSaved.isEmpty();
    if (!m_settingsNotSaved.isEmpty())
        text() << "  settings:  " << QFileInfo(m_configFile.path()).absoluteFilePath()
               << " (counters NOT written: " << m_settingsNotSaved << ")\n";
    text() << "  daily log: " << QFileInfo(dailyLog.todaysFile()).absoluteFilePath()
           << (dailyLog.pendingCount() ? " (NOT all written)" : "") << '\n';
    text() << "  results:   " << QFileInfo(results.todaysFile()).absoluteFilePath()
           << (results.pendingCount() ? " (NOT all written)" : "") << '\n';
    text() << "  database:  " << QFileInfo(database.localPath()).absoluteFilePath();
    if (database.unrecordedCount())
        text() << " (" << database.unrecordedCount() << " cycle(s) NOT recorded: " << recordError
               << ')';
    text() << '\n';
    const ForwardStatus forwarding = database.forwardStatus();
    if (forwarding.state != ForwardStatus::Off)
        text() << "  " << forwarding.summary() << '\n';
    text().flush();
    if (StopSignals::received())
        return StopSignals::exitStatus(StopSignals::received());
    if (!logsOk)
        return ExitLogsNotWritten;
    return totals.stationErrors > 0 ? ExitStationError : ExitDone;
}
