// Forwarding to the factory's PostgreSQL database, against a server the test
// starts itself: the schema created and upgraded, every cycle arriving
// exactly once through a server that is down, stopped hard and started
// again, a station killed while it forwards, two stations at once, and the
// clear reasons for a wrong password, a missing database and a newer schema.
#include "cycletables.h"
#include "databaseconnection.h"
#include "factorydb.h"
#include "faketool.h"
#include "pgserver.h"
#include "resultsrecorder.h"
#include "resultsschema.h"
#include "samplecycles.h"
#include "stationresults.h"
#include "stationsetup.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

QList<CycleRecord> readAll(DatabaseConnection &connection)
{
    CycleTables tables(connection);
    QList<CycleRecord> records;
    QList<qint64> ids;
    if (!tables.readAfter(0, 1000000, &records, &ids))
        qWarning() << tables.error();
    return records;
}

bool sameCycles(QList<CycleRecord> a, QList<CycleRecord> b)
{
    const auto byKey = [](const CycleRecord &x, const CycleRecord &y) {
        return x.stationId + x.cycleUid < y.stationId + y.cycleUid;
    };
    std::sort(a.begin(), a.end(), byKey);
    std::sort(b.begin(), b.end(), byKey);
    return a == b;
}

} // namespace

class TestFactoryResults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void schemaCreatedAndUpgraded();
    void everyCycleExactlyOnceAlsoWhenResent();
    void serverDownAtStartAndStoppedHardMidRun();
    void stationKilledWhileForwarding();
    void twoStationsAtOnce();
    void clearReasonsAndNothingLost();
    void silentServerNeitherHangsNorMisleads();
    void unstorableCycleSetAside();
    void benchrunForwardsAndReports();

private:
    StationSettings settings(const QString &database, const QString &station = "st1") const;
    QString localDb(const QString &name) const { return m_dir->filePath(name); }
    // The factory database `name` as a connection of the test's.
    std::unique_ptr<DatabaseConnection> factory(const QString &name) const;
    void recordSamples(const QString &path, const QString &station, int first, int count);
    QList<CycleRecord> localCycles(const QString &path);

    PgServer m_pg;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestFactoryResults::initTestCase()
{
    QVERIFY2(m_pg.init(), qPrintable(m_pg.error()));
    QVERIFY2(m_pg.start(), qPrintable(m_pg.error()));
}

void TestFactoryResults::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

StationSettings TestFactoryResults::settings(const QString &database, const QString &station) const
{
    StationSettings s;
    s.stationId = station;
    s.factory.enabled = true;
    s.factory.host = m_pg.host();
    s.factory.port = m_pg.port();
    s.factory.name = database;
    s.factory.user = m_pg.user();
    s.factory.passwordFile = m_pg.passwordFile();
    s.factory.retrySeconds = 1;
    return s;
}

std::unique_ptr<DatabaseConnection> TestFactoryResults::factory(const QString &name) const
{
    auto c = std::make_unique<DatabaseConnection>(QStringLiteral("QPSQL"));
    const FactoryDb::Opened opened =
        FactoryDb::open(*c, settings(name).factory, FactoryDb::ForReading);
    if (!opened.ok()) {
        qWarning() << opened.detail;
        return nullptr;
    }
    return c;
}

void TestFactoryResults::recordSamples(const QString &path, const QString &station, int first,
                                       int count)
{
    ResultsRecorder recorder(path);
    for (int n = first; n < first + count; ++n)
        QVERIFY2(recorder.recordCycle(sampleCycle(station, n)), qPrintable(recorder.lastError()));
}

QList<CycleRecord> TestFactoryResults::localCycles(const QString &path)
{
    DatabaseConnection c(QStringLiteral("QSQLITE"));
    c.db().setDatabaseName(path);
    if (!c.db().open())
        return {};
    return readAll(c);
}

// A database made by the first schema, with a cycle in it: the first
// station to connect brings it up to date and adds its cycles.
void TestFactoryResults::schemaCreatedAndUpgraded()
{
    QVERIFY2(m_pg.createDatabase(QStringLiteral("upgrade")), qPrintable(m_pg.error()));
    // A cycle as a station of the first schema stored it: its DUT without
    // the means of the third.
    CycleRecord old = sampleCycle(QStringLiteral("st0"), 1, 0);
    DutRecord oldDut;
    oldDut.device = QStringLiteral("DUT0");
    oldDut.port = QStringLiteral("D0");
    oldDut.downloadStatus = oldDut.verdict = QStringLiteral("error");
    oldDut.failedStep = QStringLiteral("download");
    oldDut.failureLog = QStringLiteral("old");
    {
        DatabaseConnection c(QStringLiteral("QPSQL"));
        c.db().setHostName(m_pg.host());
        c.db().setPort(m_pg.port());
        c.db().setDatabaseName(QStringLiteral("upgrade"));
        c.db().setUserName(m_pg.user());
        c.db().setPassword(m_pg.password());
        QVERIFY(c.db().open());
        const ResultsSchema::Result r = ResultsSchema::apply(c, QStringLiteral("upgrade"), 1);
        QVERIFY2(r.outcome == ResultsSchema::Ready, qPrintable(r.message));
        CycleTables tables(c);
        QVERIFY(c.db().transaction());
        QVERIFY2(tables.insert(old), qPrintable(tables.error()));
        QVERIFY(c.db().commit());
    }
    QVERIFY2(m_pg.exec(QStringLiteral("upgrade"),
                       {QStringLiteral(
                            "INSERT INTO duts (cycle_id, position, device, port, mac, flash_uid, "
                            "tx_cal, rx_cal, download_status, mac_status, calibration_status, "
                            "tx_status, verdict, failed_step, failure_log) SELECT id, 0, 'DUT0', "
                            "'D0', '', '', 0, 0, 'error', 'not run', 'not run', 'not run', "
                            "'error', 'download', 'old' FROM cycles"),
                        QStringLiteral("UPDATE cycles SET dut_count = 1")}),
             qPrintable(m_pg.error()));
    old.duts << oldDut;
    QCOMPARE(m_pg.scalar(QStringLiteral("upgrade"),
                         QStringLiteral("SELECT COUNT(*) FROM pg_indexes WHERE indexname = "
                                        "'duts_flash_uid'")),
             QStringLiteral("0"));

    const QString local = localDb(QStringLiteral("st1.sqlite"));
    recordSamples(local, QStringLiteral("st1"), 1, 2);
    {
        StationResults results(settings(QStringLiteral("upgrade")), local);
        QVERIFY2(results.waitForForwarding(30000), qPrintable(results.forwardStatus().summary()));
    }
    QCOMPARE(m_pg.scalar(QStringLiteral("upgrade"),
                         QStringLiteral("SELECT string_agg(version || ' ' || name, ', ' ORDER BY "
                                        "version) FROM schema_migrations")),
             QStringLiteral("1 results, 2 report_indexes, 3 decimal_means"));
    QCOMPARE(m_pg.scalar(QStringLiteral("upgrade"),
                         QStringLiteral("SELECT COUNT(*) FROM pg_indexes WHERE indexname = "
                                        "'duts_flash_uid'")),
             QStringLiteral("1"));
    const auto c = factory(QStringLiteral("upgrade"));
    QVERIFY(c);
    QVERIFY(sameCycles(readAll(*c), localCycles(local) << old));
}

// 120 cycles in three batches arrive whole and alike; sent all over again
// (as after a station that died before it noted what it had sent), the
// factory keeps one of each.
void TestFactoryResults::everyCycleExactlyOnceAlsoWhenResent()
{
    QVERIFY2(m_pg.createDatabase(QStringLiteral("once")), qPrintable(m_pg.error()));
    const QString local = localDb(QStringLiteral("st1.sqlite"));
    recordSamples(local, QStringLiteral("st1"), 1, 120);
    {
        StationResults results(settings(QStringLiteral("once")), local);
        QVERIFY2(results.waitForForwarding(60000), qPrintable(results.forwardStatus().summary()));
        QCOMPARE(results.forwardStatus().forwarded, 120);
        QCOMPARE(results.forwardStatus().waiting, 0);
    }
    {
        DatabaseConnection c(QStringLiteral("QSQLITE"));
        c.db().setDatabaseName(local);
        QVERIFY(c.db().open());
        QSqlQuery q(c.db());
        QVERIFY(q.exec(QStringLiteral("DELETE FROM forward_marks")));
    }
    {
        StationResults results(settings(QStringLiteral("once")), local);
        QVERIFY2(results.waitForForwarding(60000), qPrintable(results.forwardStatus().summary()));
        QCOMPARE(results.forwardStatus().forwarded, 120);
    }
    const auto c = factory(QStringLiteral("once"));
    QVERIFY(c);
    const DatabaseCounts counts = countsOf(*c);
    QCOMPARE(counts.cycles, 120);
    QCOMPARE(counts.duts, 120 * 24);
    QCOMPARE(counts.partialCycles, 0);
    QCOMPARE(counts.duplicateUids, 0);
    QVERIFY(sameCycles(readAll(*c), localCycles(local)));
}

// The server is down when the station starts: cycles wait and the reason
// is told. It comes up, goes down hard in the middle of the run and comes
// back: every cycle arrives once, none lost.
void TestFactoryResults::serverDownAtStartAndStoppedHardMidRun()
{
    QVERIFY2(m_pg.createDatabase(QStringLiteral("downup")), qPrintable(m_pg.error()));
    QVERIFY2(m_pg.stop(), qPrintable(m_pg.error()));
    const QString local = localDb(QStringLiteral("st1.sqlite"));
    StationResults results(settings(QStringLiteral("downup")), local);
    for (int n = 1; n <= 5; ++n)
        QVERIFY(results.recordCycle(sampleCycle(QStringLiteral("st1"), n)));
    QTRY_VERIFY_WITH_TIMEOUT(results.forwardStatus().state == ForwardStatus::Unreachable &&
                                 results.forwardStatus().waiting == 5,
                             20000);
    QVERIFY2(results.forwardStatus().summary().contains(
                 QStringLiteral("5 cycle(s) wait to be forwarded: unreachable")),
             qPrintable(results.forwardStatus().summary()));

    QVERIFY2(m_pg.start(), qPrintable(m_pg.error()));
    for (int n = 6; n <= 45; ++n) {
        QVERIFY(results.recordCycle(sampleCycle(QStringLiteral("st1"), n)));
        QTest::qWait(25);
        if (n == 20)
            QVERIFY2(m_pg.stop(QStringLiteral("immediate")), qPrintable(m_pg.error()));
        if (n == 32)
            QVERIFY2(m_pg.start(), qPrintable(m_pg.error()));
    }
    QVERIFY2(results.waitForForwarding(60000), qPrintable(results.forwardStatus().summary()));

    const auto c = factory(QStringLiteral("downup"));
    QVERIFY(c);
    const DatabaseCounts counts = countsOf(*c);
    QCOMPARE(counts.cycles, 45);
    QCOMPARE(counts.partialCycles, 0);
    QCOMPARE(counts.duplicateUids, 0);
    QVERIFY(sameCycles(readAll(*c), localCycles(local)));
}

// A station killed at random moments while it forwards 500 cycles, then
// let finish: each cycle is there once and whole.
void TestFactoryResults::stationKilledWhileForwarding()
{
    QVERIFY2(m_pg.createDatabase(QStringLiteral("killed")), qPrintable(m_pg.error()));
    const QString local = localDb(QStringLiteral("st1.sqlite"));
    recordSamples(local, QStringLiteral("st1"), 1, 500);
    const QStringList args{
        QStringLiteral("forward"), local,       m_pg.host(),        QString::number(m_pg.port()),
        QStringLiteral("killed"),  m_pg.user(), m_pg.passwordFile()};
    const quint32 seed = QRandomGenerator::global()->generate();
    qInfo("seed %u", seed);
    QRandomGenerator random(seed);
    int killsWhileSending = 0;
    bool done = false;
    for (int run = 0; run < 30 && !done; ++run) {
        const qint64 before =
            m_pg.scalar(QStringLiteral("killed"), QStringLiteral("SELECT COUNT(*) FROM cycles"))
                .toLongLong();
        QProcess forwarder;
        forwarder.start(QStringLiteral(RESULTS_HELPER), args);
        QVERIFY(forwarder.waitForStarted(5000));
        // Every other run dies at any moment from its start (connecting,
        // the schema); the others once a batch or two went over, up to
        // 30 ms into the next. The last run is let finish.
        bool ended = false;
        if (run == 29) {
            ended = forwarder.waitForFinished(120000);
        } else if (run % 2 == 0) {
            ended = forwarder.waitForFinished(int(random.bounded(0, 150)));
        } else {
            const int batches = int(random.bounded(1, 3));
            while (forwarder.peek(4096).count("sent ") < batches &&
                   forwarder.state() != QProcess::NotRunning)
                forwarder.waitForReadyRead(1000);
            QThread::usleep(random.bounded(0, 30000));
            ended = forwarder.state() == QProcess::NotRunning;
        }
        if (ended) {
            QCOMPARE(forwarder.exitStatus(), QProcess::NormalExit);
            QCOMPARE(forwarder.exitCode(), 0);
            done = true;
            break;
        }
        ::kill(pid_t(forwarder.processId()), SIGKILL);
        QVERIFY(forwarder.waitForFinished(5000));
        const qint64 after =
            m_pg.scalar(QStringLiteral("killed"), QStringLiteral("SELECT COUNT(*) FROM cycles"))
                .toLongLong();
        if (after > before && after < 500)
            ++killsWhileSending;
    }
    QVERIFY(done);
    qInfo("%d kill(s) while cycles were going over", killsWhileSending);
    QVERIFY(killsWhileSending >= 3);
    const auto c = factory(QStringLiteral("killed"));
    QVERIFY(c);
    const DatabaseCounts counts = countsOf(*c);
    QCOMPARE(counts.cycles, 500);
    QCOMPARE(counts.duts, 500 * 24);
    QCOMPARE(counts.partialCycles, 0);
    QCOMPARE(counts.duplicateUids, 0);
}

// Two stations (two processes) forward into a new, empty database at the
// same moment: both make it, the schema once, every cycle once.
void TestFactoryResults::twoStationsAtOnce()
{
    QVERIFY2(m_pg.createDatabase(QStringLiteral("two")), qPrintable(m_pg.error()));
    const QString a = localDb(QStringLiteral("a.sqlite"));
    const QString b = localDb(QStringLiteral("b.sqlite"));
    recordSamples(a, QStringLiteral("line1-st1"), 1, 80);
    recordSamples(b, QStringLiteral("line1-st2"), 1, 80);
    QProcess pa;
    QProcess pb;
    for (QProcess *p : {&pa, &pb})
        p->start(QStringLiteral(RESULTS_HELPER),
                 {QStringLiteral("forward"), p == &pa ? a : b, m_pg.host(),
                  QString::number(m_pg.port()), QStringLiteral("two"), m_pg.user(),
                  m_pg.passwordFile()});
    for (QProcess *p : {&pa, &pb}) {
        QVERIFY(p->waitForFinished(120000));
        QVERIFY2(p->exitCode() == 0, p->readAllStandardOutput().constData());
    }
    QCOMPARE(m_pg.scalar(QStringLiteral("two"),
                         QStringLiteral("SELECT COUNT(*) FROM schema_migrations")),
             QString::number(ResultsSchema::latestVersion()));
    const auto c = factory(QStringLiteral("two"));
    QVERIFY(c);
    const DatabaseCounts counts = countsOf(*c);
    QCOMPARE(counts.cycles, 160);
    QCOMPARE(counts.partialCycles, 0);
    QCOMPARE(counts.duplicateUids, 0);
    QVERIFY(sameCycles(readAll(*c), localCycles(a) + localCycles(b)));
}

// A wrong password, a missing database and a newer schema each say so; the
// cycles wait, and go over once the cause is mended.
void TestFactoryResults::clearReasonsAndNothingLost()
{
    const QString local = localDb(QStringLiteral("st1.sqlite"));
    recordSamples(local, QStringLiteral("st1"), 1, 3);
    QVERIFY2(m_pg.createDatabase(QStringLiteral("reasons")), qPrintable(m_pg.error()));
    {
        // A report of the new, empty database: no results, no "schema
        // mismatch".
        const QString ini = m_dir->filePath(QStringLiteral("station.ini"));
        QFile file(ini);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("[factory_db]\nhost=%1\nport=%2\nname=reasons\nuser=%3\n"
                                  "password_file=%4\n")
                       .arg(m_pg.host())
                       .arg(m_pg.port())
                       .arg(m_pg.user(), m_pg.passwordFile())
                       .toUtf8());
        file.close();
        QProcess report;
        report.start(QStringLiteral(BENCHREPORT_PATH),
                     {QStringLiteral("--factory"), QStringLiteral("--config"), ini});
        QVERIFY(report.waitForFinished(30000));
        const QString err = QString::fromUtf8(report.readAllStandardError());
        QCOMPARE(report.exitCode(), 1);
        QVERIFY2(err.contains(QStringLiteral("/reasons: no results yet")) &&
                     !err.contains(QStringLiteral("mismatch")),
                 qPrintable(err));
    }

    {
        const QString wrong = m_dir->filePath(QStringLiteral("wrong.pass"));
        QFile file(wrong);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not-the-password\n");
        file.close();
        StationSettings s = settings(QStringLiteral("reasons"));
        s.factory.passwordFile = wrong;
        StationResults results(s, local);
        QTRY_VERIFY_WITH_TIMEOUT(results.forwardStatus().state == ForwardStatus::LoginRefused,
                                 15000);
        const ForwardStatus f = results.forwardStatus();
        QCOMPARE(f.waiting, 3);
        QVERIFY2(f.summary().contains(QStringLiteral("3 cycle(s) wait to be forwarded: refused "
                                                     "login (")) &&
                     f.detail.contains(QStringLiteral("password authentication failed")),
                 qPrintable(f.summary()));
        QVERIFY(!f.summary().contains(QStringLiteral("not-the-password")));
    }
    {
        StationResults results(settings(QStringLiteral("nosuchdb")), local);
        QTRY_VERIFY_WITH_TIMEOUT(results.forwardStatus().state == ForwardStatus::DatabaseMissing,
                                 15000);
        QVERIFY2(results.forwardStatus().detail.contains(
                     QStringLiteral("database \"nosuchdb\" does not exist")),
                 qPrintable(results.forwardStatus().detail));
        QCOMPARE(results.forwardStatus().waiting, 3);
        // Made while the station waits: the next attempt sends everything.
        QVERIFY2(m_pg.createDatabase(QStringLiteral("nosuchdb")), qPrintable(m_pg.error()));
        QTRY_VERIFY_WITH_TIMEOUT(results.forwardStatus().state == ForwardStatus::UpToDate &&
                                     results.forwardStatus().waiting == 0,
                                 15000);
    }
    QCOMPARE(m_pg.scalar(QStringLiteral("nosuchdb"), QStringLiteral("SELECT COUNT(*) FROM cycles")),
             QStringLiteral("3"));

    QVERIFY2(m_pg.createDatabase(QStringLiteral("newer")), qPrintable(m_pg.error()));
    QVERIFY(m_pg.exec(QStringLiteral("newer"),
                      {QStringLiteral("CREATE TABLE schema_migrations (version INTEGER PRIMARY "
                                      "KEY, name TEXT NOT NULL, applied_at TEXT NOT NULL)"),
                       QStringLiteral("INSERT INTO schema_migrations VALUES (99, 'future', '')")}));
    {
        StationResults results(settings(QStringLiteral("newer")), local);
        QTRY_VERIFY_WITH_TIMEOUT(results.forwardStatus().state == ForwardStatus::SchemaMismatch,
                                 15000);
        QVERIFY2(results.forwardStatus().detail.contains(QStringLiteral(
                     "has results schema version 99, newer than this station knows")),
                 qPrintable(results.forwardStatus().detail));
        QCOMPARE(results.forwardStatus().waiting, 3);
    }
    QCOMPARE(m_pg.scalar(QStringLiteral("newer"),
                         QStringLiteral("SELECT COUNT(*) FROM information_schema.tables WHERE "
                                        "table_name = 'cycles'")),
             QStringLiteral("0"));

    // The right settings at last: the three cycles arrive.
    StationResults results(settings(QStringLiteral("reasons")), local);
    QVERIFY2(results.waitForForwarding(30000), qPrintable(results.forwardStatus().summary()));
    QCOMPARE(m_pg.scalar(QStringLiteral("reasons"), QStringLiteral("SELECT COUNT(*) FROM cycles")),
             QStringLiteral("3"));
}

// A server that keeps the connection and answers nothing (its processes
// stopped): the forwarder's call is broken off after its limit, the status
// says why the cycle waits, and the station's end does not hang. Once the
// server answers again, the cycle goes over.
void TestFactoryResults::silentServerNeitherHangsNorMisleads()
{
    const QString local = localDb(QStringLiteral("st1.sqlite"));
    recordSamples(local, QStringLiteral("st1"), 1, 1);
    QVERIFY2(m_pg.createDatabase(QStringLiteral("silent")), qPrintable(m_pg.error()));
    auto results = std::make_unique<StationResults>(settings(QStringLiteral("silent")), local);
    QVERIFY2(results->waitForForwarding(30000), qPrintable(results->forwardStatus().summary()));

    QVERIFY2(m_pg.pause(true), qPrintable(m_pg.error()));
    // The server answers the tests after this one whatever happens here.
    const auto resume = qScopeGuard([this] { m_pg.pause(false); });
    QVERIFY(results->recordCycle(sampleCycle(QStringLiteral("st1"), 2)));
    // Before the call is broken off the cycle is "not sent yet" (it said
    // "up to date" with a cycle waiting).
    QTRY_VERIFY_WITH_TIMEOUT(results->forwardStatus().waiting == 1, 10000);
    QVERIFY2(!results->forwardStatus().summary().contains(QStringLiteral("up to date")),
             qPrintable(results->forwardStatus().summary()));
    QTRY_VERIFY_WITH_TIMEOUT(results->forwardStatus().isProblem(), 40000);
    const ForwardStatus stuck = results->forwardStatus();
    QCOMPARE(stuck.state, ForwardStatus::Unreachable);
    QVERIFY2(stuck.summary().contains(QStringLiteral("1 cycle(s) wait to be forwarded: "
                                                     "unreachable (the server did not answer")),
             qPrintable(stuck.summary()));
    // Ends (it used to wait for the server for good).
    results.reset();

    QVERIFY2(m_pg.pause(false), qPrintable(m_pg.error()));
    StationResults again(settings(QStringLiteral("silent")), local);
    QVERIFY2(again.waitForForwarding(30000), qPrintable(again.forwardStatus().summary()));
    QCOMPARE(m_pg.scalar(QStringLiteral("silent"), QStringLiteral("SELECT COUNT(*) FROM cycles")),
             QStringLiteral("2"));
}

// A cycle the factory cannot store (a NUL in its station id) is set aside
// and counted; the cycles behind it go over (it used to stop every later
// cycle for good).
void TestFactoryResults::unstorableCycleSetAside()
{
    const QString local = localDb(QStringLiteral("st1.sqlite"));
    {
        ResultsRecorder recorder(local);
        CycleRecord bad = sampleCycle(QStringLiteral("st1"), 2);
        bad.stationId = QStringLiteral("st1") + QChar(0) + QStringLiteral("nul");
        for (const CycleRecord &c :
             {sampleCycle(QStringLiteral("st1"), 1), bad, sampleCycle(QStringLiteral("st1"), 3)})
            QVERIFY2(recorder.recordCycle(c), qPrintable(recorder.lastError()));
    }
    QVERIFY2(m_pg.createDatabase(QStringLiteral("unstorable")), qPrintable(m_pg.error()));
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("cannot be stored there \\(a NUL "
                                                           "character in its station id\\)")));
    StationResults results(settings(QStringLiteral("unstorable")), local);
    QVERIFY2(results.waitForForwarding(30000), qPrintable(results.forwardStatus().summary()));
    const ForwardStatus f = results.forwardStatus();
    QCOMPARE(f.setAside, 1);
    QCOMPARE(f.waiting, 0);
    QVERIFY2(f.summary().contains(QStringLiteral("every cycle forwarded; 1 cycle(s) set aside")),
             qPrintable(f.summary()));
    QCOMPARE(m_pg.scalar(QStringLiteral("unstorable"),
                         QStringLiteral("SELECT string_agg(cycle_uid, ',' ORDER BY cycle_uid) "
                                        "FROM cycles")),
             sampleCycle(QStringLiteral("st1"), 1).cycleUid + QLatin1Char(',') +
                 sampleCycle(QStringLiteral("st1"), 3).cycleUid);
}

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

Run runProgram(const QString &program, const QStringList &args)
{
    QProcess process;
    process.start(program, args);
    Run run;
    if (!process.waitForStarted(5000) || !process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished(5000);
        return run;
    }
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

bool writeIni(const QString &text)
{
    QFile file(QStringLiteral("config/station.ini"));
    return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) > 0;
}

} // namespace

// benchrun on a station whose factory database is unreachable: its cycle
// waits, and the summary says so. The next run, with the database back,
// forwards both cycles before it ends; benchreport reads them there.
void TestFactoryResults::benchrunForwardsAndReports()
{
    QVERIFY2(m_pg.createDatabase(QStringLiteral("line")), qPrintable(m_pg.error()));
    FakeTool fake;
    QVERIFY(fake.isValid());
    // The same answers for each run's cycle.
    const auto rules = [&fake] {
        fake.clear();
        fake.healthyGolden();
        fake.healthyDut(QStringLiteral("D1"));
        fake.healthyDut(QStringLiteral("D2"));
        fake.on(QStringLiteral("D3 download *"), QStringLiteral("Fail. Command execution error."));
        fake.healthyDut(QStringLiteral("D3"));
        fake.on(QStringLiteral("version"), QStringLiteral("V1.0.16\r\nOk."));
    };
    rules();
    QFile ram(QStringLiteral("ram.bin"));
    QVERIFY(ram.open(QIODevice::WriteOnly));
    ram.write("TK716A");
    ram.close();
    QVERIFY(StationSetup::withDuts(3).write());

    int closedPort = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        closedPort = probe.serverPort();
    }
    const QString ini = QStringLiteral("[station]\nid=line9-st4\n\n[factory_db]\nhost=%1\n"
                                       "port=%2\nname=line\nuser=%3\npassword_file=%4\n");
    QVERIFY(writeIni(ini.arg(m_pg.host()).arg(closedPort).arg(m_pg.user(), m_pg.passwordFile())));
    const Run first = runProgram(QStringLiteral(BENCHRUN_PATH), {});
    QCOMPARE(first.exitCode, 0);
    QVERIFY2(first.out.contains(QStringLiteral(": 1 cycle(s) wait to be forwarded: unreachable (")),
             qPrintable(first.out));

    QVERIFY(writeIni(ini.arg(m_pg.host()).arg(m_pg.port()).arg(m_pg.user(), m_pg.passwordFile())));
    rules();
    const Run second = runProgram(QStringLiteral(BENCHRUN_PATH), {});
    QCOMPARE(second.exitCode, 0);
    QVERIFY2(second.out.contains(QStringLiteral("/line: every cycle forwarded")),
             qPrintable(second.out));

    const auto c = factory(QStringLiteral("line"));
    QVERIFY(c);
    const QList<CycleRecord> cycles = readAll(*c);
    QCOMPARE(cycles.size(), 2);
    for (const CycleRecord &cycle : cycles) {
        QCOMPARE(cycle.stationId, QStringLiteral("line9-st4"));
        QCOMPARE(cycle.goldenMac, QStringLiteral("A0:B1:C2:D3:E4:F5"));
        QCOMPARE(cycle.toolVersion, QStringLiteral("V1.0.16"));
        QCOMPARE(cycle.imageSize, 6);
        QCOMPARE(cycle.duts.size(), 3);
        QVERIFY2(cycle.duts.at(0).verdict == QLatin1String("pass"),
                 qPrintable(cycle.duts.at(0).failedStep + ": " + cycle.duts.at(0).failureLog));
        QCOMPARE(cycle.duts.at(2).failedStep, QStringLiteral("download"));
        QVERIFY2(cycle.duts.at(2).failureLog.contains(QStringLiteral("RX donwload rambin error.")),
                 qPrintable(cycle.duts.at(2).failureLog));
    }
    QVERIFY(cycles.at(0).cycleUid != cycles.at(1).cycleUid);

    const Run report = runProgram(
        QStringLiteral(BENCHREPORT_PATH),
        {QStringLiteral("--factory"), QStringLiteral("--format"), QStringLiteral("csv")});
    QCOMPARE(report.exitCode, 0);
    QVERIFY2(report.out.contains(QStringLiteral("station,line9-st4,2,6,4,66.7 %,")),
             qPrintable(report.out));
    QVERIFY(report.out.contains(QStringLiteral("step,download,2,100.0 %")));
}

QTEST_GUILESS_MAIN(TestFactoryResults)
#include "tst_factoryresults.moc"
