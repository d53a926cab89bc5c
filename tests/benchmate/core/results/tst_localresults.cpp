// The station's own results database: its schema and upgrades, the records
// it keeps of a cycle, what it does when it cannot be written, and a station
// killed at random moments while it records.
#include "cyclerecordbuilder.h"
#include "cycletables.h"
#include "databaseconnection.h"
#include "faketool.h"
#include "figuretable.h"
#include "localresultsdb.h"
#include "resultsrecorder.h"
#include "resultsschema.h"
#include "samplecycles.h"
#include "stationresults.h"
#include "stationsettings.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <future>
#include <thread>

namespace {

QStringList sqliteIndexes(DatabaseConnection &connection)
{
    QStringList names;
    QSqlQuery q(connection.db());
    q.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'index' ORDER BY name"));
    while (q.next())
        names << q.value(0).toString();
    return names;
}

QList<CycleRecord> readAll(DatabaseConnection &connection)
{
    QString dbError;
    CycleTables tables(connection);
    QList<CycleRecord> records;
    QList<qint64> ids;
    if (!tables.readAfter(0, 100000, &records, &ids, &dbError))
        qWarning() << dbError;
    return records;
}

} // namespace

class TestLocalResults : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void schemaUpgradedInOrderKeepingCycles();
    void newerOrForeignSchemaRefused_data();
    void newerOrForeignSchemaRefused();
    void cyclesReadBackAsRecordedAndStoredOnce();
    void everyFigureStoredInItsOwnColumns();
    void cycleKeptUntilTheDatabaseCanBeWritten();
    void fileLockedByAnotherProgram();
    void damagedFileSaidAtStartAndLeftAlone();
    void unreadableForwardingMarkSaysWhy();

    void recordOfAJudgedCycle();
    void recordOfAGoldenMachineFailure();
    void recordOfAStationFaultAfterTheRxPhase();

    void killedAtRandomPointsLeavesWholeCycles();

    void stationIniReadAsUtf8();
    void stationIniAsWritten_data();
    void stationIniAsWritten();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString path(const QString &name) const { return m_dir->filePath(name); }
};

void TestLocalResults::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

// A database made by the first schema, with a cycle in it, is brought up to
// date by the recorder; the cycle stays as it was.
void TestLocalResults::schemaUpgradedInOrderKeepingCycles()
{
    QString dbError;
    QVERIFY(ResultsSchema::latestVersion() >= 3);
    const QString db = path(QStringLiteral("results.sqlite"));
    // A cycle as a station of the first schema recorded it: without means.
    CycleRecord first = sampleCycle(QStringLiteral("st1"), 1);
    for (DutRecord &d : first.duts)
        d.rxRssiMean = d.freqMean = d.txRssiMean = std::nullopt;
    const QString newer = path(QStringLiteral("newer.sqlite"));
    {
        ResultsRecorder recorder(newer);
        QVERIFY2(recorder.recordCycle(first, &dbError), qPrintable(dbError));
    }
    {
        DatabaseConnection c(QStringLiteral("QSQLITE"));
        c.db().setDatabaseName(db);
        QVERIFY(c.db().open());
        const ResultsSchema::Result r = ResultsSchema::apply(c, db, 1);
        QVERIFY2(r.outcome == ResultsSchema::Ready, qPrintable(r.message));
        QCOMPARE(r.version, 1);
        QVERIFY(!sqliteIndexes(c).contains(QStringLiteral("duts_flash_uid")));
        // Copied over in the first schema's columns.
        QSqlQuery q(c.db());
        QVERIFY(q.exec(QStringLiteral("PRAGMA table_info(duts)")));
        QStringList columns;
        while (q.next())
            columns << q.value(1).toString();
        QVERIFY(!columns.contains(QStringLiteral("freq_mean")));
        const QString list = columns.join(QLatin1Char(','));
        QVERIFY(q.exec(QStringLiteral("PRAGMA table_info(cycles)")));
        QStringList cycleColumns;
        while (q.next())
            cycleColumns << q.value(1).toString();
        QVERIFY(!cycleColumns.contains(QStringLiteral("golden_crystal")));
        QVERIFY(q.exec(QStringLiteral("ATTACH DATABASE '%1' AS newer").arg(newer)));
        QVERIFY(q.exec(QStringLiteral("INSERT INTO cycles (%1) SELECT %1 FROM newer.cycles")
                           .arg(cycleColumns.join(QLatin1Char(',')))));
        QVERIFY(
            q.exec(QStringLiteral("INSERT INTO duts (%1) SELECT %1 FROM newer.duts").arg(list)));
    }
    {
        ResultsRecorder recorder(db);
        QVERIFY2(recorder.recordCycle(sampleCycle(QStringLiteral("st1"), 2), &dbError),
                 qPrintable(dbError));
    }
    DatabaseConnection c(QStringLiteral("QSQLITE"));
    QString error;
    QVERIFY2(LocalResultsDb::open(c, db, LocalResultsDb::ForReading, &error), qPrintable(error));
    QSqlQuery q(c.db());
    QVERIFY(q.exec(QStringLiteral("SELECT version, name FROM schema_migrations ORDER BY version")));
    QStringList history;
    while (q.next())
        history << q.value(0).toString() + QLatin1Char(' ') + q.value(1).toString();
    QCOMPARE(history.size(), ResultsSchema::latestVersion());
    QCOMPARE(history.first(), QStringLiteral("1 results"));
    QCOMPARE(history.at(1), QStringLiteral("2 report_indexes"));
    QCOMPARE(history.at(2), QStringLiteral("3 decimal_means"));
    QCOMPARE(history.at(3), QStringLiteral("4 golden_drift"));
    QVERIFY(sqliteIndexes(c).contains(QStringLiteral("duts_flash_uid")));
    const QList<CycleRecord> records = readAll(c);
    QCOMPARE(records.size(), 2);
    // The older cycle has no golden machine's values; the next has them.
    CycleRecord older = first;
    older.goldenCrystal.reset();
    older.cycleMeans.clear();
    QVERIFY(records.first() == older);
    QCOMPARE(records.at(1).goldenCrystal, sampleCycle(QStringLiteral("st1"), 2).goldenCrystal);
    QVERIFY(records.at(1).cycleMean(0));
    // The next cycle keeps its means.
    QCOMPARE(records.at(1).duts.at(0).freqMean,
             sampleCycle(QStringLiteral("st1"), 2).duts.at(0).freqMean);
    QVERIFY(records.at(1).duts.at(0).freqMean);
}

void TestLocalResults::newerOrForeignSchemaRefused_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("message");
    QTest::newRow("newer") << "INSERT INTO schema_migrations VALUES (99, 'future', 'x')"
                           << QStringLiteral("has results schema version 99, newer than this "
                                             "station knows (up to %1)")
                                  .arg(ResultsSchema::latestVersion());
    QTest::newRow("foreign") << "UPDATE schema_migrations SET name = 'other' WHERE version = 1"
                             << QStringLiteral("a results schema history this station does not "
                                               "know");
}

// A database the station does not understand is left alone: nothing is
// written into it, the cycle is kept, and the message says why.
void TestLocalResults::newerOrForeignSchemaRefused()
{
    QString dbError;
    QFETCH(QString, change);
    QFETCH(QString, message);
    const QString db = path(QStringLiteral("results.sqlite"));
    {
        ResultsRecorder recorder(db);
        QVERIFY(recorder.recordCycle(sampleCycle(QStringLiteral("st1"), 1), &dbError));
    }
    {
        DatabaseConnection c(QStringLiteral("QSQLITE"));
        c.db().setDatabaseName(db);
        QVERIFY(c.db().open());
        QSqlQuery q(c.db());
        QVERIFY(q.exec(change));
    }
    ResultsRecorder recorder(db);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("not recorded yet")));
    QVERIFY(!recorder.recordCycle(sampleCycle(QStringLiteral("st1"), 2), &dbError));
    QVERIFY2(dbError.contains(message), qPrintable(dbError));
    QCOMPARE(recorder.pendingCount(), 1);

    DatabaseConnection c(QStringLiteral("QSQLITE"));
    c.db().setDatabaseName(db);
    QVERIFY(c.db().open());
    QCOMPARE(countsOf(c).cycles, 1);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("could not be recorded")));
}

// Every field comes back as it went in, empty figures stay empty, and a
// cycle stored a second time (same station and uid) is not stored again.
void TestLocalResults::cyclesReadBackAsRecordedAndStoredOnce()
{
    QString dbError;
    const QString db = path(QStringLiteral("results.sqlite"));
    QList<CycleRecord> written;
    for (int n = 1; n <= 3; ++n)
        written << sampleCycle(QStringLiteral("line 2, station \"7\""), n);
    written[1].cycleError = QStringLiteral("golden machine");
    written[1].duts[3].failureLog = QStringLiteral("第1次\r\n,\"quoted\"\r\n");
    written[2].duts.clear();
    {
        ResultsRecorder recorder(db);
        for (const CycleRecord &r : qAsConst(written))
            QVERIFY2(recorder.recordCycle(r, &dbError), qPrintable(dbError));
        QVERIFY(recorder.recordCycle(written.at(1), &dbError));
    }
    DatabaseConnection c(QStringLiteral("QSQLITE"));
    QString error;
    QVERIFY2(LocalResultsDb::open(c, db, LocalResultsDb::ForRecording, &error), qPrintable(error));
    const QList<CycleRecord> read = readAll(c);
    QCOMPARE(read.size(), written.size());
    for (int i = 0; i < read.size(); ++i) {
        QCOMPARE(read.at(i).cycleUid, written.at(i).cycleUid);
        QCOMPARE(read.at(i).duts.size(), written.at(i).duts.size());
        for (int k = 0; k < read.at(i).duts.size(); ++k)
            QVERIFY2(read.at(i).duts.at(k) == written.at(i).duts.at(k),
                     qPrintable(QStringLiteral("cycle %1 DUT %2").arg(i).arg(k)));
        QVERIFY(read.at(i) == written.at(i));
    }
    // The download failure of the sample has no figures at all.
    const DutRecord &failed = read.at(0).duts.at(10);
    QCOMPARE(failed.failedStep, QStringLiteral("download"));
    QVERIFY(!failed.rxRssiAvg && !failed.txRssiAvg && !failed.crystal);

    CycleTables tables(c);
    bool stored = true;
    QVERIFY(c.db().transaction());
    QVERIFY(tables.insert(written.at(0), &dbError, &stored));
    QVERIFY(c.db().commit());
    QVERIFY(!stored);
    const DatabaseCounts counts = countsOf(c);
    QCOMPARE(counts.cycles, 3);
    QCOMPARE(counts.duts, 48);
    QCOMPARE(counts.duplicateUids, 0);
}

// Each figure of the figure table, with values of its own, goes into its own
// columns and comes back from them: a figure left out of the tables, or two
// sharing a column, shows here.
void TestLocalResults::everyFigureStoredInItsOwnColumns()
{
    QString dbError;
    const QString db = path(QStringLiteral("results.sqlite"));
    CycleRecord written = sampleCycle(QStringLiteral("st1"), 1);
    const auto &figures = FigureTable::figures();
    for (std::size_t i = 0; i < figures.size(); ++i) {
        const FigureDefinition &f = figures[i];
        DutRecord &dut = written.duts[0];
        dut.*f.recordMin = 100 + int(i);
        dut.*f.recordMax = 200 + int(i);
        dut.*f.recordAverage = 300 + int(i);
        dut.*f.recordMean = 0.25 + double(i);
        if (f.recordLower && f.recordUpper) {
            written.*f.recordLower = -1.5 - double(i);
            written.*f.recordUpper = 1.5 + double(i);
        }
    }
    {
        ResultsRecorder recorder(db);
        QVERIFY2(recorder.recordCycle(written, &dbError), qPrintable(dbError));
    }
    DatabaseConnection c(QStringLiteral("QSQLITE"));
    QString error;
    QVERIFY2(LocalResultsDb::open(c, db, LocalResultsDb::ForReading, &error), qPrintable(error));
    const QList<CycleRecord> read = readAll(c);
    QCOMPARE(read.size(), 1);
    const DutRecord &dut = read.first().duts.at(0);
    for (std::size_t i = 0; i < figures.size(); ++i) {
        const FigureDefinition &f = figures[i];
        QCOMPARE(dut.*f.recordMin, std::optional<int>(100 + int(i)));
        QCOMPARE(dut.*f.recordMax, std::optional<int>(200 + int(i)));
        QCOMPARE(dut.*f.recordAverage, std::optional<int>(300 + int(i)));
        QCOMPARE(dut.*f.recordMean, std::optional<double>(0.25 + double(i)));
        if (f.recordLower && f.recordUpper) {
            QCOMPARE(read.first().*f.recordLower, -1.5 - double(i));
            QCOMPARE(read.first().*f.recordUpper, 1.5 + double(i));
        }
    }
}

// A log folder that cannot hold the database: the cycle is kept and goes in
// ahead of the next one once the folder can be used.
void TestLocalResults::cycleKeptUntilTheDatabaseCanBeWritten()
{
    QString dbError;
    const QString logDir = path(QStringLiteral("log"));
    {
        QFile blocker(logDir);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    ResultsRecorder recorder(logDir + QStringLiteral("/results.sqlite"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("1 cycle\\(s\\) not "
                                                                         "recorded yet")));
    QVERIFY(!recorder.recordCycle(sampleCycle(QStringLiteral("st1"), 1), &dbError));
    QCOMPARE(recorder.pendingCount(), 1);
    QVERIFY2(dbError.contains(QStringLiteral("cannot make the folder")), qPrintable(dbError));

    QVERIFY(QFile::remove(logDir));
    QVERIFY(recorder.recordCycle(sampleCycle(QStringLiteral("st1"), 2), &dbError));
    QCOMPARE(recorder.pendingCount(), 0);

    DatabaseConnection c(QStringLiteral("QSQLITE"));
    QString error;
    QVERIFY(LocalResultsDb::open(c, recorder.path(), LocalResultsDb::ForReading, &error));
    const QList<CycleRecord> read = readAll(c);
    QCOMPARE(read.size(), 2);
    QCOMPARE(read.at(0).cycleUid, sampleCycle(QStringLiteral("st1"), 1).cycleUid);
    QCOMPARE(read.at(1).cycleUid, sampleCycle(QStringLiteral("st1"), 2).cycleUid);
}

// Another program holds the file's write lock for seconds (a tool with
// BEGIN EXCLUSIVE): the cycle's end does not wait it out in the window's
// thread; the cycle is kept and goes in with the next write.
void TestLocalResults::fileLockedByAnotherProgram()
{
    QString dbError;
    ResultsRecorder recorder(path(QStringLiteral("results.sqlite")));
    QVERIFY(recorder.recordCycle(sampleCycle(QStringLiteral("st1"), 1), &dbError));

    std::promise<bool> locked;
    std::future<bool> isLocked = locked.get_future();
    std::promise<void> release;
    std::thread holder([&, file = recorder.path()] {
        DatabaseConnection other(QStringLiteral("QSQLITE"));
        other.db().setDatabaseName(file);
        QSqlQuery q(other.db());
        const bool ok = other.db().open() && q.exec(QStringLiteral("BEGIN EXCLUSIVE"));
        locked.set_value(ok);
        // Held well past a short wait; the old ten seconds' wait outlasted it.
        release.get_future().wait_for(std::chrono::seconds(4));
        q.exec(QStringLiteral("COMMIT"));
    });
    QVERIFY(isLocked.get());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("1 cycle\\(s\\) not "
                                                                         "recorded yet")));
    const bool recorded = recorder.recordCycle(sampleCycle(QStringLiteral("st1"), 2), &dbError);
    release.set_value();
    holder.join();
    QVERIFY(!recorded);
    QCOMPARE(recorder.pendingCount(), 1);
    QVERIFY2(dbError.contains(QStringLiteral("locked")), qPrintable(dbError));

    QVERIFY(recorder.recordCycle(sampleCycle(QStringLiteral("st1"), 3), &dbError));
    DatabaseConnection c(QStringLiteral("QSQLITE"));
    QString error;
    QVERIFY(LocalResultsDb::open(c, recorder.path(), LocalResultsDb::ForReading, &error));
    QCOMPARE(countsOf(c).cycles, 3);
}

// A damaged file (a page overwritten) is said at the station's start with
// what to do, and nothing is added to it; once it is moved aside, a new one
// takes the cycles kept meanwhile.
void TestLocalResults::damagedFileSaidAtStartAndLeftAlone()
{
    QString dbError;
    const QString file = path(QStringLiteral("results.sqlite"));
    {
        ResultsRecorder recorder(file);
        for (int n = 1; n <= 3; ++n)
            QVERIFY(recorder.recordCycle(sampleCycle(QStringLiteral("st1"), n), &dbError));
    }
    QVERIFY(damagePage(file));
    QFile before(file);
    QVERIFY(before.open(QIODevice::ReadOnly));
    const QByteArray damagedBytes = before.readAll();
    before.close();

    StationSettings settings;
    settings.stationId = QStringLiteral("st1");
    StationResults results(settings, file);
    QVERIFY2(results.startProblem().contains(QStringLiteral("is damaged (")) &&
                 results.startProblem().contains(QStringLiteral("move the file aside")),
             qPrintable(results.startProblem()));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("not recorded yet")));
    QVERIFY(!results.recordCycle(sampleCycle(QStringLiteral("st1"), 4), &dbError));
    QCOMPARE(results.unrecordedCount(), 1);
    QVERIFY2(dbError.contains(QStringLiteral("is damaged")), qPrintable(dbError));
    QFile after(file);
    QVERIFY(after.open(QIODevice::ReadOnly));
    QVERIFY(after.readAll() == damagedBytes);
    after.close();

    QVERIFY(QFile::rename(file, path(QStringLiteral("results.damaged"))));
    QVERIFY(results.recordCycle(sampleCycle(QStringLiteral("st1"), 5), &dbError));
    DatabaseConnection c(QStringLiteral("QSQLITE"));
    QString error;
    QVERIFY2(LocalResultsDb::open(c, file, LocalResultsDb::ForReading, &error), qPrintable(error));
    QCOMPARE(countsOf(c).cycles, 2);
}

// The forwarder cannot read its mark in the station's file (a table someone
// dropped): its status carries the file's own reason, as every failure does,
// not only that it failed. Told before any factory connection is tried.
void TestLocalResults::unreadableForwardingMarkSaysWhy()
{
    QString dbError;
    const QString file = path(QStringLiteral("results.sqlite"));
    {
        ResultsRecorder recorder(file);
        QVERIFY2(recorder.recordCycle(sampleCycle(QStringLiteral("st1"), 1), &dbError),
                 qPrintable(dbError));
    }
    {
        DatabaseConnection c(QStringLiteral("QSQLITE"));
        c.db().setDatabaseName(file);
        QVERIFY(c.db().open());
        QSqlQuery drop(c.db());
        QVERIFY(drop.exec(QStringLiteral("DROP TABLE forward_marks")));
    }
    StationSettings settings;
    settings.stationId = QStringLiteral("st1");
    settings.factory.enabled = true;
    settings.factory.host = QStringLiteral("127.0.0.1");
    settings.factory.port = 1;
    settings.factory.name = QStringLiteral("results");
    StationResults results(settings, file);
    QTRY_VERIFY_WITH_TIMEOUT(results.forwardStatus().state == ForwardStatus::LocalFailed, 10000);
    const QString detail = results.forwardStatus().detail;
    QVERIFY2(detail.contains(QStringLiteral("cannot read the forwarding mark: ")) &&
                 detail.contains(QStringLiteral("forward_marks")),
             qPrintable(detail));
}

namespace {

deviceInfo_t device(int slot, const QString &port)
{
    deviceInfo_t d;
    d.name = QStringLiteral("DUT%1").arg(slot);
    d.port = port;
    d.slot = slot;
    return d;
}

deviceRestlt_t measured(int32_t rxStatus, int32_t txStatus, int rx, int tx, int freq, int cal)
{
    deviceRestlt_t r;
    r.rxStatus = rxStatus;
    r.txStatus = txStatus;
    r.rxRssiAve = rx;
    r.rxRssiMin = rx - 2;
    r.rxRssiMax = rx + 2;
    r.txRssiAve = tx;
    r.txRssiMin = tx - 1;
    r.txRssiMax = tx + 1;
    r.freqAve = freq;
    r.freqMin = freq - 3;
    r.freqMax = freq + 3;
    r.calVal = int8_t(cal);
    // Measured when it has figures; the means a little beyond the averages.
    r.rxMeasured = rx != 0;
    r.rxRssiMean = float(rx) - 0.25f;
    r.freqMean = float(freq) + 0.5f;
    r.txRssiMean = float(tx) - 0.5f;
    return r;
}

} // namespace

// Six DUTs through the real judging, each ending another way: the record
// names the step each failed at, with its own log, and keeps figures only
// for steps that ran.
void TestLocalResults::recordOfAJudgedCycle()
{
    FakeTool fake;
    QVERIFY(fake.isValid());
    fake.on(QStringLiteral("version"), QStringLiteral("V1.0.16\r\nOk."));
    QFile image(QStringLiteral("ram.bin"));
    QVERIFY(image.open(QIODevice::WriteOnly));
    image.write("TK716A");
    image.close();

    CycleOutcome o;
    o.startedAt = QDateTime::currentDateTime().addSecs(-30);
    o.endedAt = QDateTime::currentDateTime();
    o.number = 48;
    o.para.filePath = QStringLiteral("ram.bin");
    const QStringList ports{"D0", "D1", "D2", "D3", "D4", "D5"};
    const int rxStatus[] = {RX_STAGE_DOWNLOAD, RX_STAGE_MAC, RX_NOT_CONVERGED,
                            RX_PASSED,         RX_PASSED,    RX_PASSED};
    QList<JudgeRow> rows;
    for (int k = 0; k < ports.size(); ++k) {
        const int slot = k + 3;
        o.para.devices << device(slot, ports.at(k));
        deviceTrace_t t;
        t.name = QStringLiteral("DUT%1").arg(slot);
        t.port = ports.at(k);
        t.mac = QStringLiteral("a0:b1:c2:d3:e4:%1").arg(k + 0xf6, 2, 16);
        t.flashUid = k >= 2 ? QStringLiteral("0x%1").arg(k, 32, 16, QLatin1Char('0')) : QString();
        t.rxStatus = rxStatus[k];
        o.traces << t;
        rows << JudgeRow{slot, QStringLiteral("0"), k == 5 ? QStringLiteral("30") : QString()};
        o.dutLogs << CycleOutcome::DutLog{
            slot, QStringLiteral("[INFO] 08:00:00:000 log of %1\r\n").arg(ports.at(k))};
    }
    o.goldenLog = QStringLiteral("[INFO] 08:00:00:000 Test end.\r\n");
    o.result.finished = 1;
    o.result.cycleStatus = STATUS_PASS;
    o.result.results << measured(STATUS_FAIL, TX_NOT_RUN, 0, 0, 0, 0)
                     << measured(STATUS_FAIL, TX_NOT_RUN, 0, 0, 0, 0)
                     << measured(STATUS_FAIL, TX_NOT_RUN, -50, 0, 7, 0)
                     << measured(STATUS_PASS, STATUS_PASS, -50, -47, 1, -6)
                     << measured(STATUS_PASS, TX_NOT_RUN, -50, 0, 1, -6)
                     << measured(STATUS_PASS, STATUS_PASS, -50, -47, 1, 4);
    o.limits.rxRssiMin = -75;
    o.limits.rxRssiMax = -20;
    o.limits.txRssiMin = -75;
    o.limits.txRssiMax = -20;
    o.limits.freqMin = -10;
    o.limits.freqMax = 10;
    o.judgement = ResultJudge::judge(o.limits, CYCLE_ENDED, o.para.devices.size(), o.result, rows);
    o.goldenMac = QStringLiteral("A0:B1:C2:D3:E4:F5");

    CycleRecordBuilder builder(QStringLiteral("line1-st3"));
    const CycleRecord r = builder.build(o);
    QCOMPARE(r.stationId, QStringLiteral("line1-st3"));
    QCOMPARE(r.number, 48);
    QCOMPARE(r.goldenMac, o.goldenMac);
    QCOMPARE(r.cycleError, QString());
    QCOMPARE(r.toolVersion, QStringLiteral("V1.0.16"));
    // sha256sum of the six bytes "TK716A"
    QCOMPARE(r.imageSha256,
             QStringLiteral("3bd2b434db7f4410886fb0a6994fba293f204e5ace3ad539a3a3b053e6a37aeb"));
    QCOMPARE(r.imageSize, 6);
    QCOMPARE(r.duts.size(), 6);

    const QStringList steps{"download", "mac", "calibration", "", "tx", "limits"};
    // DUT 4's TX test never ran: the cycle judged it not at all.
    const QStringList verdicts{"error", "error", "error", "pass", "not judged", "fail"};
    for (int k = 0; k < 6; ++k) {
        const DutRecord &d = r.duts.at(k);
        QCOMPARE(d.slot, std::optional<int>(k + 3));
        QCOMPARE(d.port, ports.at(k));
        QCOMPARE(d.mac, o.traces.at(k).mac);
        QCOMPARE(d.verdict, verdicts.at(k));
        QCOMPARE(d.failedStep, steps.at(k));
        if (k == 3)
            QCOMPARE(d.failureLog, QString());
        else
            QVERIFY2(d.failureLog.endsWith(
                         QStringLiteral("[INFO] 08:00:00:000 log of %1\r\n").arg(ports.at(k))),
                     qPrintable(d.failureLog));
    }
    QCOMPARE(r.duts.at(0).downloadStatus, QStringLiteral("fail"));
    QCOMPARE(r.duts.at(0).macStatus, QStringLiteral("not run"));
    QVERIFY(!r.duts.at(0).rxRssiAvg && !r.duts.at(0).freqAvg);
    QCOMPARE(r.duts.at(1).downloadStatus, QStringLiteral("pass"));
    QCOMPARE(r.duts.at(1).macStatus, QStringLiteral("fail"));
    // Not converged: measured, but no crystal value written.
    QCOMPARE(r.duts.at(2).calibrationStatus, QStringLiteral("fail"));
    QCOMPARE(r.duts.at(2).freqAvg, std::optional<int>(7));
    QCOMPARE(r.duts.at(2).freqMean, std::optional<double>(7.5));
    QCOMPARE(r.duts.at(3).rxRssiMean, std::optional<double>(-50.25));
    QCOMPARE(r.duts.at(3).txRssiMean, std::optional<double>(-47.5));
    QVERIFY(!r.duts.at(2).crystal);
    QCOMPARE(r.duts.at(3).crystal, std::optional<int>(-6));
    QCOMPARE(r.duts.at(3).txRssiAvg, std::optional<int>(-47));
    QCOMPARE(r.duts.at(3).txStatus, QStringLiteral("pass"));
    // TX never ran: no TX figures, and the failure is put on the TX step.
    QCOMPARE(r.duts.at(4).txStatus, QStringLiteral("not run"));
    QVERIFY(!r.duts.at(4).txRssiAvg);
    // Outside the limits (its RX offset lifts the lower bound to -45): the
    // bounds broken lead its log.
    QCOMPARE(r.duts.at(5).rxCal, 30);
    QVERIFY2(r.duts.at(5).failureLog.startsWith(QStringLiteral("rx rssi -50.25 < -45\r\n")),
             qPrintable(r.duts.at(5).failureLog));

    // The image is hashed again once it changed.
    QVERIFY(image.open(QIODevice::WriteOnly));
    image.write("TK716A-2");
    image.close();
    const CycleRecord again = builder.build(o);
    QCOMPARE(again.imageSize, 8);
    QVERIFY(again.imageSha256 != r.imageSha256);
    QVERIFY(again.cycleUid != r.cycleUid);
}

// A golden machine that failed: no DUT was tested or judged; each carries
// the golden machine's log.
void TestLocalResults::recordOfAGoldenMachineFailure()
{
    CycleOutcome o;
    o.para.devices << device(0, QStringLiteral("D0")) << device(1, QStringLiteral("D1"));
    o.result.cycleStatus = STATUS_FAIL;
    o.result.finished = 0;
    o.goldenLog = QStringLiteral("[ERROR] 08:00:00:000 获取金机MAC地址失败！\r\n");
    o.judgement = ResultJudge::judge(o.limits, CYCLE_ENDED, 2, o.result, {});
    const CycleRecord r = CycleRecordBuilder(QStringLiteral("st")).build(o);
    QCOMPARE(r.cycleError, QStringLiteral("golden machine"));
    QCOMPARE(r.duts.size(), 2);
    for (const DutRecord &d : r.duts) {
        QCOMPARE(d.verdict, QStringLiteral("not judged"));
        QCOMPARE(d.failedStep, QStringLiteral("cycle"));
        QCOMPARE(d.failureLog, QStringLiteral("[ERROR] 08:00:00:000 获取金机MAC地址失败！\r\n"));
        QCOMPARE(d.downloadStatus, QStringLiteral("not run"));
    }
}

// The golden machine gone after the DUTs' RX phase (its RF could not be
// stopped: the simulator killed, every cable pulled): every DUT has a result,
// failed at whatever step the station let it down. The cycle is recorded as
// the station fault it is, its DUTs not judged, each with the golden
// machine's log and then its own; no figure it never measured is kept.
void TestLocalResults::recordOfAStationFaultAfterTheRxPhase()
{
    CycleOutcome o;
    const int stages[] = {RX_STAGE_DOWNLOAD, RX_STAGE_MAC, RX_STAGE_CAL};
    QList<JudgeRow> rows;
    for (int k = 0; k < 3; ++k) {
        o.para.devices << device(k, QStringLiteral("D%1").arg(k));
        deviceTrace_t t;
        t.rxStatus = stages[k];
        o.traces << t;
        o.result.results << measured(STATUS_FAIL, TX_NOT_RUN, 0, 0, 0, 0);
        rows << JudgeRow{k, QStringLiteral("0"), QStringLiteral("0")};
        o.dutLogs << CycleOutcome::DutLog{
            k, QStringLiteral("[ERROR] 08:00:00:000 DUT %1 failed.\r\n").arg(k)};
    }
    o.goldenLog = QStringLiteral("[ERROR] 08:00:01:000 关闭RX 金机RF射频失败！\r\n");
    o.result.finished = 1;
    o.result.cycleStatus = STATUS_PASS;
    o.result.stationFault = STATION_FAULT_GOLDEN;
    o.judgement = ResultJudge::judge(o.limits, CYCLE_ENDED, 3, o.result, rows);
    QCOMPARE(o.judgement.stationFault, StationFault::GoldenMachine);

    const CycleRecord r = CycleRecordBuilder(QStringLiteral("st")).build(o);
    QCOMPARE(r.cycleError, QStringLiteral("golden machine"));
    for (int k = 0; k < 3; ++k) {
        const DutRecord &d = r.duts.at(k);
        QCOMPARE(d.verdict, QStringLiteral("not judged"));
        QCOMPARE(d.failedStep, QStringLiteral("cycle"));
        QVERIFY2(d.failureLog.startsWith(QStringLiteral("[ERROR] 08:00:01:000 关闭RX")) &&
                     d.failureLog.endsWith(QStringLiteral("DUT %1 failed.\r\n").arg(k)),
                 qPrintable(d.failureLog));
        QVERIFY(!d.rxRssiAvg && !d.freqAvg && !d.txRssiAvg && !d.freqMean);
    }
    // What each DUT's steps did stays as it happened.
    QCOMPARE(r.duts.at(0).downloadStatus, QStringLiteral("fail"));
    QCOMPARE(r.duts.at(2).calibrationStatus, QStringLiteral("fail"));
}

// A station killed at random moments while it records 20 cycles: after each
// kill the database holds cycles 1..k whole, every cycle reported recorded
// among them, and nothing in part.
void TestLocalResults::killedAtRandomPointsLeavesWholeCycles()
{
    const QString db = path(QStringLiteral("results.sqlite"));
    const quint32 seed = QRandomGenerator::global()->generate();
    qInfo("seed %u", seed);
    QRandomGenerator random(seed);
    int recorded = 0;
    int kills = 0;
    int killsWithin = 0; // kills after a cycle was reported and before the run ended
    for (int run = 0; recorded < 20 && run < 400; ++run) {
        QProcess writer;
        writer.start(QStringLiteral(RESULTS_HELPER),
                     {QStringLiteral("write"), db, QStringLiteral("st1"),
                      QString::number(recorded + 1), QString::number(20 - recorded)});
        QVERIFY(writer.waitForStarted(5000));
        // A third of the runs die at any moment from their start (opening,
        // making the schema); the others among their cycles: after the
        // first, second or third went in, and up to 2 ms into the next.
        bool ended = false;
        if (run % 3 == 0) {
            ended = writer.waitForFinished(int(random.bounded(0, 15)));
        } else {
            const int lines = int(random.bounded(1, 4));
            QByteArray seen;
            while (seen.count('\n') < lines && writer.state() != QProcess::NotRunning) {
                writer.waitForReadyRead(1000);
                seen = writer.peek(4096);
            }
            QThread::usleep(random.bounded(0, 2000));
            ended = writer.state() == QProcess::NotRunning;
        }
        if (!ended) {
            ::kill(pid_t(writer.processId()), SIGKILL);
            QVERIFY(writer.waitForFinished(5000));
            ++kills;
        }
        int reported = 0;
        const QStringList lines = QString::fromUtf8(writer.readAllStandardOutput())
                                      .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (const QString &line : lines)
            reported = qMax(reported, line.section(QLatin1Char(' '), 1).toInt());
        if (!ended && reported > recorded)
            ++killsWithin;

        DatabaseConnection c(QStringLiteral("QSQLITE"));
        QString error;
        QVERIFY2(LocalResultsDb::open(c, db, LocalResultsDb::ForRecording, &error),
                 qPrintable(error));
        QSqlQuery q(c.db());
        QVERIFY(q.exec(QStringLiteral("PRAGMA integrity_check")) && q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("ok"));
        q.finish();
        const DatabaseCounts counts = countsOf(c);
        QCOMPARE(counts.partialCycles, 0);
        QCOMPARE(counts.duts, counts.cycles * 24);
        QVERIFY2(
            counts.cycles >= reported,
            qPrintable(QStringLiteral("%1 cycles, %2 reported").arg(counts.cycles).arg(reported)));
        // In order, none twice: cycle n is sample n.
        const QList<CycleRecord> read = readAll(c);
        for (int i = 0; i < read.size(); ++i)
            QVERIFY(read.at(i) == sampleCycle(QStringLiteral("st1"), i + 1));
        recorded = int(counts.cycles);
    }
    qInfo("%d kills, %d of them between cycles being recorded", kills, killsWithin);
    QCOMPARE(recorded, 20);
    QVERIFY2(killsWithin >= 3, "too few kills landed among the cycles to tell anything");
}

// station.ini in UTF-8 with a Chinese station id and password file path:
// read as written under either Qt.
void TestLocalResults::stationIniReadAsUtf8()
{
    QVERIFY(QDir().mkpath(path(QStringLiteral("口令"))));
    const QString passwordFile = path(QStringLiteral("口令/工厂.pass"));
    QFile pass(passwordFile);
    QVERIFY(pass.open(QIODevice::WriteOnly));
    pass.write("s3cret\n");
    pass.close();
    QVERIFY(pass.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
    QFile ini(path(QStringLiteral("station.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write(QStringLiteral("[station]\nid=三号线-工位7\n[factory_db]\nhost=localhost\n"
                             "password_file=%1\n")
                  .arg(passwordFile)
                  .toUtf8());
    ini.close();

    const StationSettings s = StationSettings::load(ini.fileName());
    QCOMPARE(s.stationId, QStringLiteral("三号线-工位7"));
    QCOMPARE(s.factory.passwordFile, passwordFile);
    QString error;
    QCOMPARE(s.factory.password(&error), QStringLiteral("s3cret"));
    QCOMPARE(error, QString());
}

void TestLocalResults::stationIniAsWritten_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("id");
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<QString>("problem");
    // Qt's INI reader took ";" for a comment and "," for a list.
    QTest::newRow("semicolon") << QByteArray("[station]\nid=line2;st07\n") << "line2;st07" << 5432
                               << false << "";
    QTest::newRow("comma") << QByteArray("[station]\nid=a,b\n") << "a,b" << 5432 << false << "";
    QTest::newRow("comments") << QByteArray("; station 7\r\n[station]\r\n# id below\r\nid = "
                                            "st7 ; the seventh\r\n[factory_db]\r\nport=6543\r\n")
                              << "st7" << 6543 << false << "";
    QTest::newRow("GBK id") << QByteArray("[station]\nid=\xc8\xfd\xba\xc5\xcf\xdf\n") << "" << 5432
                            << true << "station.ini line 2: not UTF-8";
    QTest::newRow("control character")
        << QByteArray("[station]\nid=st\x01"
                      "7\n")
        << "" << 5432 << true
        << "station.ini line 2: id=st?7: the station id holds a control character";
    QTest::newRow("port letters") << QByteArray("[factory_db]\nport=abc\n") << "" << 5432 << true
                                  << "station.ini line 2: port=abc: not a port number";
    QTest::newRow("port too large")
        << QByteArray("[factory_db]\nhost=db\nport=99999999999\n") << "" << 5432 << true
        << "station.ini line 3: port=99999999999: not a port number";
    QTest::newRow("unknown key named")
        << QByteArray("[factory_db]\nprot=6543\n") << "" << 5432 << false
        << "station.ini line 2: [factory_db] prot is no setting";
    QTest::newRow("sslmode misspelt")
        << QByteArray("[factory_db]\nsslmode=verify_full\n") << "" << 5432 << true
        << "station.ini line 2: sslmode=verify_full: not an sslmode";
    QTest::newRow("given twice") << QByteArray("[station]\nid=a\nid=b\n") << "a" << 5432 << true
                                 << "station.ini line 3: [station] id is given again (first on "
                                    "line 2)";
    QTest::newRow("no key=value") << QByteArray("[station]\nid line2\n") << "" << 5432 << true
                                  << "station.ini line 2: \"id line2\" is no key=value line";
}

// station.ini: every value as written, or refused with its line and reason,
// never replaced by a default in silence.
void TestLocalResults::stationIniAsWritten()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, id);
    QFETCH(int, port);
    QFETCH(bool, refused);
    QFETCH(QString, problem);
    QFile ini(path(QStringLiteral("station.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write(text);
    ini.close();
    const StationSettings s = StationSettings::load(ini.fileName());
    if (!id.isEmpty())
        QCOMPARE(s.stationId, id);
    if (!refused && s.factory.enabled)
        QCOMPARE(s.factory.port, port);
    QCOMPARE(s.refused, refused);
    if (problem.isEmpty())
        QVERIFY2(s.problem.isEmpty(), qPrintable(s.problem));
    else
        QVERIFY2(s.problem.contains(problem), qPrintable(s.problem));
}

QTEST_GUILESS_MAIN(TestLocalResults)
#include "tst_localresults.moc"
