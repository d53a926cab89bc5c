// Forwarding to the factory's PostgreSQL database, against a server the test
// starts itself: the schema created and upgraded, every cycle arriving
// exactly once through a server that is down, stopped hard and started
// again, a station killed while it forwards, two stations at once, and the
// clear reasons for a wrong password, a missing database and a newer schema.
#include "cycletables.h"
#include "databaseconnection.h"
#include "factorydb.h"
#include "factorysetup.h"
#include "faketool.h"
#include "pgserver.h"
#include "resultsrecorder.h"
#include "resultsschema.h"
#include "samplecycles.h"
#include "stationresults.h"
#include "stationsetup.h"

#include <QDir>
#include <QFile>
#include <QNetworkInterface>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <csignal>

namespace {

QList<CycleRecord> readAll(DatabaseConnection &connection)
{
    QString dbError;
    CycleTables tables(connection);
    QList<CycleRecord> records;
    QList<qint64> ids;
    if (!tables.readAfter(0, 1000000, &records, &ids, &dbError))
        qWarning() << dbError;
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

    void olderSchemaWaitsForTheAdministrator();
    void stationLoginKeptToItsOwnRows();
    void passwordNeverSentInClear();
    void everyCycleExactlyOnceAlsoWhenResent();
    void serverDownAtStartAndStoppedHardMidRun();
    void stationKilledWhileForwarding();
    void twoStationsAtOnce();
    void clearReasonsAndNothingLost();
    void silentServerNeitherHangsNorMisleads();
    void unstorableCycleSetAside();
    void factoryMadeAgainGetsEveryCycle();
    void stationCountsAgainstTheFactorys();
    void movedFolderIsOneStation();
    void benchrunForwardsAndReports();

private:
    // The station logs in as its id, with the server's password.
    StationSettings settings(const QString &database, const QString &station = "st1") const;
    // The administrator's step on database `name` (made unless `create` is
    // false): the tables, the roles, a login per station and report login.
    bool prepare(const QString &name, const QStringList &stations,
                 const QStringList &reportLogins = {}, bool create = true);
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
    // The login of station st1 (logins are the server's, not a database's).
    QVERIFY(prepare(QStringLiteral("logins"), {QStringLiteral("st1")}));
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
    s.factory.user = station;
    s.factory.passwordFile = m_pg.passwordFile();
    s.factory.retrySeconds = 1;
    return s;
}

bool TestFactoryResults::prepare(const QString &name, const QStringList &stations,
                                 const QStringList &reportLogins, bool create)
{
    if (create && !m_pg.createDatabase(name)) {
        qWarning().noquote() << m_pg.error();
        return false;
    }
    StationSettings owner = settings(name);
    owner.factory.user = m_pg.user();
    DatabaseConnection c(QStringLiteral("QPSQL"));
    const FactoryDb::Opened opened = FactoryDb::open(c, owner.factory, FactoryDb::ForSetup);
    QList<FactorySetup::StationLogin> logins;
    for (const QString &station : stations)
        logins.append({station, station});
    QString error;
    if (!opened.ok() || !FactorySetup::run(c, name, logins, reportLogins, &error)) {
        qWarning().noquote() << opened.detail << error;
        return false;
    }
    QStringList passwords;
    for (const QString &login : stations + reportLogins)
        passwords << QStringLiteral("ALTER ROLE \"%1\" PASSWORD '%2'").arg(login, m_pg.password());
    if (!m_pg.exec(name, passwords)) {
        qWarning().noquote() << m_pg.error();
        return false;
    }
    return true;
}

std::unique_ptr<DatabaseConnection> TestFactoryResults::factory(const QString &name) const
{
    auto c = std::make_unique<DatabaseConnection>(QStringLiteral("QPSQL"));
    StationSettings owner = settings(name);
    owner.factory.user = m_pg.user();
    const FactoryDb::Opened opened = FactoryDb::open(*c, owner.factory, FactoryDb::ForReading);
    if (!opened.ok()) {
        qWarning() << opened.detail;
        return nullptr;
    }
    return c;
}

void TestFactoryResults::recordSamples(const QString &path, const QString &station, int first,
                                       int count)
{
    QString dbError;
    ResultsRecorder recorder(path);
    for (int n = first; n < first + count; ++n)
        QVERIFY2(recorder.recordCycle(sampleCycle(station, n), &dbError), qPrintable(dbError));
}

QList<CycleRecord> TestFactoryResults::localCycles(const QString &path)
{
    DatabaseConnection c(QStringLiteral("QSQLITE"));
    c.db().setDatabaseName(path);
    if (!c.db().open())
        return {};
    return readAll(c);
}

// A database made by the first schema, with a cycle in it: a station never
// changes the schema; it says which step the administrator must run, and
// once that has run its cycles go over into the upgraded tables.
void TestFactoryResults::olderSchemaWaitsForTheAdministrator()
{
    QString dbError;
    QVERIFY2(m_pg.createDatabase(QStringLiteral("upgrade")), qPrintable(m_pg.error()));
    // A cycle as a station of the first schema stored it: its DUT without
    // the means of the third, itself without the golden machine's values of
    // the fourth.
    CycleRecord old = sampleCycle(QStringLiteral("st0"), 1, 0);
    old.goldenCrystal.reset();
    old.cycleMeans.clear();
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
        QVERIFY2(tables.insert(old, &dbError), qPrintable(dbError));
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
    // What the station could read of it then.
    QVERIFY2(m_pg.exec(QStringLiteral("upgrade"),
                       {QStringLiteral("GRANT SELECT ON schema_migrations TO st1")}),
             qPrintable(m_pg.error()));

    const QString local = localDb(QStringLiteral("st1.sqlite"));
    recordSamples(local, QStringLiteral("st1"), 1, 2);
    {
        StationResults results(settings(QStringLiteral("upgrade")), local);
        QTRY_VERIFY_WITH_TIMEOUT(results.forwardStatus().state == ForwardStatus::SchemaMismatch,
                                 15000);
        const QString detail = results.forwardStatus().detail;
        QVERIFY2(detail.contains(QStringLiteral("has results schema version 1, older than this "
                                                "station's")) &&
                     detail.contains(QStringLiteral("benchreport --init-factory")),
                 qPrintable(detail));
        QCOMPARE(results.forwardStatus().waiting, 2);
    }
    QCOMPARE(m_pg.scalar(QStringLiteral("upgrade"),
                         QStringLiteral("SELECT MAX(version) FROM schema_migrations")),
             QStringLiteral("1"));
    QVERIFY(prepare(QStringLiteral("upgrade"), {QStringLiteral("st1")}, {}, false));
    {
        StationResults results(settings(QStringLiteral("upgrade")), local);
        QVERIFY2(results.waitForForwarding(30000), qPrintable(results.forwardStatus().summary()));
    }
    QCOMPARE(m_pg.scalar(QStringLiteral("upgrade"),
                         QStringLiteral("SELECT string_agg(version || ' ' || name, ', ' ORDER BY "
                                        "version) FROM schema_migrations")),
             QStringLiteral("1 results, 2 report_indexes, 3 decimal_means, 4 golden_drift, "
                            "5 folder_place"));
    QCOMPARE(m_pg.scalar(QStringLiteral("upgrade"),
                         QStringLiteral("SELECT COUNT(*) FROM pg_indexes WHERE indexname = "
                                        "'duts_flash_uid'")),
             QStringLiteral("1"));
    const auto c = factory(QStringLiteral("upgrade"));
    QVERIFY(c);
    QVERIFY(sameCycles(readAll(*c), localCycles(local) << old));
}

namespace {

// A connection as `login` to database `name` of the test's server.
std::unique_ptr<DatabaseConnection> loginAs(const PgServer &pg, const QString &name,
                                            const QString &login)
{
    auto c = std::make_unique<DatabaseConnection>(QStringLiteral("QPSQL"));
    c->db().setHostName(pg.host());
    c->db().setPort(pg.port());
    c->db().setDatabaseName(name);
    c->db().setUserName(login);
    c->db().setPassword(pg.password());
    if (!c->db().open()) {
        qWarning().noquote() << c->db().lastError().text();
        return nullptr;
    }
    return c;
}

// The server's refusal of `statement`, empty when it was carried out.
QString refusal(DatabaseConnection &c, const QString &statement)
{
    QSqlQuery q(c.db());
    if (q.exec(statement))
        return QString();
    return q.lastError().databaseText().trimmed();
}

} // namespace

// The administrator's step (benchreport --init-factory) keeps every login to
// its job: a station's login adds and reads its own station's cycles and
// nothing else, a report login reads. Forwarding with the owner's login, or
// with a login that is no station's, is refused with what to do; a cycle in
// the station's file under another station id is set aside.
void TestFactoryResults::stationLoginKeptToItsOwnRows()
{
    QString dbError;
    const QString name = QStringLiteral("privilege");
    QVERIFY2(m_pg.createDatabase(name), qPrintable(m_pg.error()));
    const QString ini = m_dir->filePath(QStringLiteral("admin.ini"));
    {
        QFile file(ini);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("[factory_db]\nhost=%1\nport=%2\nname=%3\nuser=%4\n"
                                  "password_file=%5\n")
                       .arg(m_pg.host())
                       .arg(m_pg.port())
                       .arg(name, m_pg.user(), m_pg.passwordFile())
                       .toUtf8());
    }
    const QStringList initArgs{QStringLiteral("--init-factory"),
                               QStringLiteral("--config"),
                               ini,
                               QStringLiteral("--station-login"),
                               QStringLiteral("st1=st1"),
                               QStringLiteral("--station-login"),
                               QStringLiteral("st2=st2"),
                               QStringLiteral("--report-login"),
                               QStringLiteral("viewer")};
    // A login without its station, or logins without the step: refused.
    for (const QStringList &bad :
         {QStringList{QStringLiteral("--init-factory"), QStringLiteral("--config"), ini,
                      QStringLiteral("--station-login"), QStringLiteral("st1")},
          QStringList{QStringLiteral("--config"), ini, QStringLiteral("--report-login"),
                      QStringLiteral("viewer")}}) {
        QProcess init;
        init.start(QStringLiteral(BENCHREPORT_PATH), bad);
        QVERIFY(init.waitForFinished(30000));
        QCOMPARE(init.exitCode(), 2);
    }
    QCOMPARE(m_pg.scalar(name, QStringLiteral("SELECT COUNT(*) FROM pg_tables WHERE tablename = "
                                              "'cycles'")),
             QStringLiteral("0"));
    // Twice: the step may be repeated (a software update, a new login).
    for (int run = 0; run < 2; ++run) {
        QProcess init;
        init.start(QStringLiteral(BENCHREPORT_PATH), initArgs);
        QVERIFY(init.waitForFinished(30000));
        const QString out = QString::fromUtf8(init.readAllStandardOutput());
        QVERIFY2(init.exitCode() == 0 &&
                     out.contains(QStringLiteral("station login st1 forwards for st1")),
                 qPrintable(out + QString::fromUtf8(init.readAllStandardError())));
    }
    // Each run of the step in the history.
    QCOMPARE(m_pg.scalar(name, QStringLiteral("SELECT COUNT(*) FROM setup_history")),
             QStringLiteral("2"));
    QCOMPARE(m_pg.scalar(name, QStringLiteral("SELECT schema_version || ' ' || applied_by || ' ' "
                                              "|| station_logins || ' ' || report_logins FROM "
                                              "setup_history ORDER BY id DESC LIMIT 1")),
             QStringLiteral("%1 %2 st1=st1, st2=st2 viewer")
                 .arg(ResultsSchema::latestVersion())
                 .arg(m_pg.user()));
    QVERIFY2(
        m_pg.exec(name, {QStringLiteral("ALTER ROLE st1 PASSWORD '%1'").arg(m_pg.password()),
                         QStringLiteral("ALTER ROLE st2 PASSWORD '%1'").arg(m_pg.password()),
                         QStringLiteral("ALTER ROLE viewer PASSWORD '%1'").arg(m_pg.password())}),
        qPrintable(m_pg.error()));

    // st1's file holds a cycle recorded under st2's id between its own.
    const QString local1 = localDb(QStringLiteral("st1.sqlite"));
    const QString local2 = localDb(QStringLiteral("st2.sqlite"));
    {
        ResultsRecorder recorder(local1);
        for (const CycleRecord &c :
             {sampleCycle(QStringLiteral("st1"), 1), sampleCycle(QStringLiteral("st2"), 50),
              sampleCycle(QStringLiteral("st1"), 2)})
            QVERIFY2(recorder.recordCycle(c, &dbError), qPrintable(dbError));
    }
    recordSamples(local2, QStringLiteral("st2"), 1, 1);
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("its station id is not st1, the one "
                                                           "this login forwards for")));
    {
        StationResults results(settings(name, QStringLiteral("st1")), local1);
        QVERIFY2(results.waitForForwarding(30000), qPrintable(results.forwardStatus().summary()));
        QCOMPARE(results.forwardStatus().forwarded, 2);
        QCOMPARE(results.forwardStatus().setAside, 1);
    }
    // Its count is of its own id's cycles only.
    QCOMPARE(m_pg.scalar(name, QStringLiteral("SELECT local_count FROM station_counts WHERE "
                                              "station_id = 'st1'")),
             QStringLiteral("2"));
    {
        StationResults results(settings(name, QStringLiteral("st2")), local2);
        QVERIFY2(results.waitForForwarding(30000), qPrintable(results.forwardStatus().summary()));
    }

    const auto st1 = loginAs(m_pg, name, QStringLiteral("st1"));
    QVERIFY(st1);
    const QList<QPair<QString, QString>> refused = {
        {QStringLiteral("DELETE FROM cycles WHERE station_id = 'st2'"),
         QStringLiteral("permission denied for table cycles")},
        {QStringLiteral("UPDATE cycles SET golden_mac = ''"),
         QStringLiteral("permission denied for table cycles")},
        {QStringLiteral("DELETE FROM duts"), QStringLiteral("permission denied for table duts")},
        {QStringLiteral("TRUNCATE cycles CASCADE"),
         QStringLiteral("permission denied for table cycles")},
        {QStringLiteral("DROP TABLE duts, cycles, schema_migrations"),
         QStringLiteral("must be owner of table")},
        {QStringLiteral("ALTER TABLE cycles ADD COLUMN x INTEGER"),
         QStringLiteral("must be owner of table cycles")},
        {QStringLiteral("CREATE TABLE extra (x INTEGER)"),
         QStringLiteral("permission denied for schema public")},
        {QStringLiteral("UPDATE station_logins SET station_id = 'st2'"),
         QStringLiteral("permission denied for table station_logins")},
        {QStringLiteral("INSERT INTO station_logins VALUES ('st1b', 'st2')"),
         QStringLiteral("permission denied for table station_logins")},
        {QStringLiteral("INSERT INTO schema_migrations VALUES (99, 'x', '')"),
         QStringLiteral("permission denied for table schema_migrations")},
        {QStringLiteral("INSERT INTO station_counts VALUES ('st2', 'f', 0, now())"),
         QStringLiteral("row-level security")},
        {QStringLiteral("DELETE FROM station_counts"),
         QStringLiteral("permission denied for table station_counts")},
    };
    for (const auto &r : refused) {
        const QString why = refusal(*st1, r.first);
        qInfo("st1: %s -> %s", qPrintable(r.first), qPrintable(why));
        QVERIFY2(why.contains(r.second), qPrintable(r.first + QStringLiteral(": ") + why));
    }
    {
        // A cycle under another station's id, as the forwarder would send it.
        CycleTables tables(*st1);
        QVERIFY(st1->db().transaction());
        QVERIFY(!tables.insert(sampleCycle(QStringLiteral("st2"), 60), &dbError));
        qInfo("st1: a cycle of st2 -> %s", qPrintable(dbError));
        QVERIFY2(dbError.contains(QStringLiteral("row-level security")), qPrintable(dbError));
        QVERIFY(st1->db().rollback());
        // Its own go in.
        QVERIFY(st1->db().transaction());
        QVERIFY2(tables.insert(sampleCycle(QStringLiteral("st1"), 3), &dbError),
                 qPrintable(dbError));
        QVERIFY(st1->db().rollback());
    }
    // It sees its own rows only.
    QSqlQuery own(st1->db());
    QVERIFY(own.exec(QStringLiteral("SELECT COUNT(*), COUNT(DISTINCT station_id) FROM cycles")));
    QVERIFY(own.next());
    QCOMPARE(own.value(0).toInt(), 2);
    QCOMPARE(own.value(1).toInt(), 1);
    own.finish();

    const auto viewer = loginAs(m_pg, name, QStringLiteral("viewer"));
    QVERIFY(viewer);
    QSqlQuery all(viewer->db());
    QVERIFY(all.exec(QStringLiteral("SELECT COUNT(*) FROM cycles")));
    QVERIFY(all.next());
    QCOMPARE(all.value(0).toInt(), 3);
    all.finish();
    QVERIFY(refusal(*viewer, QStringLiteral("DELETE FROM cycles"))
                .contains(QStringLiteral("permission denied")));
    QVERIFY(refusal(*viewer, QStringLiteral("INSERT INTO cycles (station_id) VALUES ('x')"))
                .contains(QStringLiteral("permission denied")));

    // Forwarding with the owner's login or a report login is refused, with
    // what to do.
    const QList<QPair<QString, QString>> wrongLogins = {
        {m_pg.user(), QStringLiteral("owns the results or is a superuser")},
        {QStringLiteral("viewer"),
         QStringLiteral("login \"viewer\" is no station login there: the administrator runs "
                        "benchreport --init-factory --station-login viewer=STATION_ID")},
    };
    for (const auto &w : wrongLogins) {
        StationSettings s = settings(name, QStringLiteral("st1"));
        s.factory.user = w.first;
        StationResults results(s, local1);
        QTRY_VERIFY_WITH_TIMEOUT(results.forwardStatus().state == ForwardStatus::LoginRefused,
                                 15000);
        QVERIFY2(results.forwardStatus().detail.contains(w.second),
                 qPrintable(results.forwardStatus().detail));
    }
}

namespace {

// A server on the factory's port that is not the factory's: it speaks
// PostgreSQL's start-up, turns TLS down and asks for the password in clear,
// keeping what it is given.
class RoguePostgres : public QObject
{
public:
    explicit RoguePostgres(const QHostAddress &address)
    {
        m_server.listen(address, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                ++connections;
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
            }
        });
    }
    quint16 port() const { return m_server.serverPort(); }

    int connections = 0;
    QStringList passwords;

private:
    static quint32 number(const QByteArray &data, int at)
    {
        return quint32(quint8(data.at(at))) << 24 | quint32(quint8(data.at(at + 1))) << 16 |
               quint32(quint8(data.at(at + 2))) << 8 | quint32(quint8(data.at(at + 3)));
    }
    void serve(QTcpSocket *socket)
    {
        QByteArray &buffer = m_buffers[socket];
        buffer += socket->readAll();
        bool started = m_started.value(socket);
        while (true) {
            if (!started && buffer.size() >= 8) {
                const quint32 length = number(buffer, 0);
                if (quint32(buffer.size()) < length)
                    return;
                const bool tlsAsked = number(buffer, 4) == 80877103;
                buffer.remove(0, int(length));
                if (tlsAsked) {
                    socket->write("N");
                    continue;
                }
                started = m_started[socket] = true;
                // AuthenticationCleartextPassword
                socket->write(QByteArray::fromHex("520000000800000003"));
                continue;
            }
            if (started && buffer.size() >= 5 && buffer.at(0) == 'p') {
                const quint32 length = number(buffer, 1);
                if (quint32(buffer.size()) < length + 1)
                    return;
                passwords << QString::fromUtf8(buffer.mid(5, int(length) - 5)).remove(QChar(0));
                socket->disconnectFromHost();
            }
            return;
        }
    }

    QTcpServer m_server;
    QHash<QTcpSocket *, QByteArray> m_buffers;
    QHash<QTcpSocket *, bool> m_started;
};

} // namespace

// A server that asks for the password in clear never gets it: a password
// goes over the network only with sslmode verify-ca or verify-full (libpq
// 15 cannot refuse a cleartext request), and a password file others may read
// is refused. On this PC's own loopback the password still goes as libpq
// sends it, which the rogue server shows it would take.
void TestFactoryResults::passwordNeverSentInClear()
{
    RoguePostgres loopback(QHostAddress::LocalHost);
    StationSettings s = settings(QStringLiteral("results"));
    s.factory.port = loopback.port();
    s.factory.sslMode = QStringLiteral("disable");
    const QString local = localDb(QStringLiteral("st1.sqlite"));
    recordSamples(local, QStringLiteral("st1"), 1, 1);
    {
        StationResults results(s, local);
        QTRY_VERIFY_WITH_TIMEOUT(!loopback.passwords.isEmpty(), 15000);
        QCOMPARE(loopback.passwords.first(), m_pg.password());
    }

    // The same server over the network: nothing goes to it.
    QHostAddress lan;
    for (const QHostAddress &a : QNetworkInterface::allAddresses()) {
        if (a.protocol() == QAbstractSocket::IPv4Protocol && !a.isLoopback())
            lan = a;
    }
    RoguePostgres remote(lan.isNull() ? QHostAddress(QHostAddress::LocalHost) : lan);
    for (const char *mode : {"", "prefer", "require"}) {
        StationSettings r = settings(QStringLiteral("results"));
        r.factory.host = lan.isNull() ? QStringLiteral("factory-db.invalid") : lan.toString();
        r.factory.port = remote.port();
        r.factory.sslMode = QLatin1String(mode);
        StationResults results(r, local);
        QTRY_VERIFY_WITH_TIMEOUT(results.forwardStatus().state == ForwardStatus::LoginRefused,
                                 15000);
        QVERIFY2(results.forwardStatus().detail.contains(
                     QStringLiteral("only over TLS with the server's certificate checked")),
                 qPrintable(results.forwardStatus().detail));
    }
    // verify-full to the rogue one, loopback or not: it turns TLS down and
    // is left.
    {
        StationSettings v = settings(QStringLiteral("results"));
        v.factory.port = loopback.port();
        v.factory.sslMode = QStringLiteral("verify-full");
        v.factory.sslRootCert = m_dir->filePath(QStringLiteral("ca.crt"));
        StationResults results(v, local);
        const int before = loopback.passwords.size();
        QTRY_VERIFY_WITH_TIMEOUT(results.forwardStatus().state == ForwardStatus::Unreachable,
                                 15000);
        QVERIFY2(results.forwardStatus().detail.contains(QStringLiteral("SSL")),
                 qPrintable(results.forwardStatus().detail));
        QCOMPARE(loopback.passwords.size(), before);
    }
    QCOMPARE(remote.connections, 0);
    QVERIFY(remote.passwords.isEmpty());

    // A password file the group or others may read.
    const QString shared = m_dir->filePath(QStringLiteral("shared.pass"));
    QVERIFY(QFile::copy(m_pg.passwordFile(), shared));
    QVERIFY(QFile::setPermissions(shared, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                              QFile::ReadOther));
    StationSettings p = settings(QStringLiteral("results"));
    p.factory.port = loopback.port();
    p.factory.passwordFile = shared;
    const int before = loopback.connections;
    StationResults results(p, local);
    QTRY_VERIFY_WITH_TIMEOUT(results.forwardStatus().state == ForwardStatus::LoginRefused, 15000);
    QVERIFY2(results.forwardStatus().detail.contains(
                 QStringLiteral("may be read or changed by others than its owner")),
             qPrintable(results.forwardStatus().detail));
    QCOMPARE(loopback.connections, before);
}

// 120 cycles in three batches arrive whole and alike; sent all over again
// (as after a station that died before it noted what it had sent), the
// factory keeps one of each.
void TestFactoryResults::everyCycleExactlyOnceAlsoWhenResent()
{
    QVERIFY(prepare(QStringLiteral("once"), {QStringLiteral("st1")}));
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
    QString dbError;
    QVERIFY(prepare(QStringLiteral("downup"), {QStringLiteral("st1")}));
    QVERIFY2(m_pg.stop(), qPrintable(m_pg.error()));
    const QString local = localDb(QStringLiteral("st1.sqlite"));
    StationResults results(settings(QStringLiteral("downup")), local);
    for (int n = 1; n <= 5; ++n)
        QVERIFY(results.recordCycle(sampleCycle(QStringLiteral("st1"), n), &dbError));
    QTRY_VERIFY_WITH_TIMEOUT(results.forwardStatus().state == ForwardStatus::Unreachable &&
                                 results.forwardStatus().waiting == 5,
                             20000);
    QVERIFY2(results.forwardStatus().summary().contains(
                 QStringLiteral("5 cycle(s) wait to be forwarded: unreachable")),
             qPrintable(results.forwardStatus().summary()));

    QVERIFY2(m_pg.start(), qPrintable(m_pg.error()));
    for (int n = 6; n <= 45; ++n) {
        QVERIFY(results.recordCycle(sampleCycle(QStringLiteral("st1"), n), &dbError));
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
    QVERIFY(prepare(QStringLiteral("killed"), {QStringLiteral("st1")}));
    const QString local = localDb(QStringLiteral("st1.sqlite"));
    recordSamples(local, QStringLiteral("st1"), 1, 500);
    const QStringList args{QStringLiteral("forward"),
                           local,
                           m_pg.host(),
                           QString::number(m_pg.port()),
                           QStringLiteral("killed"),
                           QStringLiteral("st1"),
                           m_pg.passwordFile()};
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

// Two stations (two processes, each with its own login) forward into a new
// database at the same moment: every cycle once.
void TestFactoryResults::twoStationsAtOnce()
{
    QVERIFY(
        prepare(QStringLiteral("two"), {QStringLiteral("line1-st1"), QStringLiteral("line1-st2")}));
    const QString a = localDb(QStringLiteral("a.sqlite"));
    const QString b = localDb(QStringLiteral("b.sqlite"));
    recordSamples(a, QStringLiteral("line1-st1"), 1, 80);
    recordSamples(b, QStringLiteral("line1-st2"), 1, 80);
    QProcess pa;
    QProcess pb;
    for (QProcess *p : {&pa, &pb})
        p->start(QStringLiteral(RESULTS_HELPER),
                 {QStringLiteral("forward"), p == &pa ? a : b, m_pg.host(),
                  QString::number(m_pg.port()), QStringLiteral("two"),
                  p == &pa ? QStringLiteral("line1-st1") : QStringLiteral("line1-st2"),
                  m_pg.passwordFile()});
    for (QProcess *p : {&pa, &pb}) {
        QVERIFY(p->waitForFinished(120000));
        QVERIFY2(p->exitCode() == 0, p->readAllStandardOutput().constData());
    }
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
        QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
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
        // Made while the station waits: the station does not make the
        // tables, it says who must.
        QVERIFY2(m_pg.createDatabase(QStringLiteral("nosuchdb")), qPrintable(m_pg.error()));
        QTRY_VERIFY_WITH_TIMEOUT(results.forwardStatus().state == ForwardStatus::SchemaMismatch,
                                 15000);
        QVERIFY2(results.forwardStatus().detail.contains(
                     QStringLiteral("/nosuchdb has no results tables yet: the administrator runs "
                                    "benchreport --init-factory")),
                 qPrintable(results.forwardStatus().detail));
        // Once set up, the next attempt sends everything.
        QVERIFY(prepare(QStringLiteral("nosuchdb"), {QStringLiteral("st1")}, {}, false));
        QTRY_VERIFY_WITH_TIMEOUT(results.forwardStatus().state == ForwardStatus::UpToDate &&
                                     results.forwardStatus().waiting == 0,
                                 15000);
    }
    QCOMPARE(m_pg.scalar(QStringLiteral("nosuchdb"), QStringLiteral("SELECT COUNT(*) FROM cycles")),
             QStringLiteral("3"));

    // Set up by a newer station software's administrator's step.
    QVERIFY(prepare(QStringLiteral("newer"), {QStringLiteral("st1")}));
    QVERIFY(m_pg.exec(QStringLiteral("newer"),
                      {QStringLiteral("INSERT INTO schema_migrations VALUES (99, 'future', '')")}));
    {
        StationResults results(settings(QStringLiteral("newer")), local);
        QTRY_VERIFY_WITH_TIMEOUT(results.forwardStatus().state == ForwardStatus::SchemaMismatch,
                                 15000);
        QVERIFY2(results.forwardStatus().detail.contains(QStringLiteral(
                     "has results schema version 99, newer than this station knows")),
                 qPrintable(results.forwardStatus().detail));
        QCOMPARE(results.forwardStatus().waiting, 3);
    }
    QCOMPARE(m_pg.scalar(QStringLiteral("newer"), QStringLiteral("SELECT COUNT(*) FROM cycles")),
             QStringLiteral("0"));

    // The right settings at last: the three cycles arrive.
    QVERIFY(prepare(QStringLiteral("reasons"), {QStringLiteral("st1")}, {}, false));
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
    QString dbError;
    const QString local = localDb(QStringLiteral("st1.sqlite"));
    recordSamples(local, QStringLiteral("st1"), 1, 1);
    QVERIFY(prepare(QStringLiteral("silent"), {QStringLiteral("st1")}));
    auto results = std::make_unique<StationResults>(settings(QStringLiteral("silent")), local);
    QVERIFY2(results->waitForForwarding(30000), qPrintable(results->forwardStatus().summary()));

    QVERIFY2(m_pg.pause(true), qPrintable(m_pg.error()));
    // The server answers the tests after this one whatever happens here.
    const auto resume = qScopeGuard([this] { m_pg.pause(false); });
    QVERIFY(results->recordCycle(sampleCycle(QStringLiteral("st1"), 2), &dbError));
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
    QString dbError;
    const QString local = localDb(QStringLiteral("st1.sqlite"));
    {
        ResultsRecorder recorder(local);
        CycleRecord bad = sampleCycle(QStringLiteral("st1"), 2);
        bad.stationId = QStringLiteral("st1") + QChar(0) + QStringLiteral("nul");
        CycleRecord badMac = sampleCycle(QStringLiteral("st1"), 4);
        badMac.goldenMac = QStringLiteral("a0") + QChar(0);
        for (const CycleRecord &c :
             {sampleCycle(QStringLiteral("st1"), 1), bad, sampleCycle(QStringLiteral("st1"), 3),
              badMac, sampleCycle(QStringLiteral("st1"), 5)})
            QVERIFY2(recorder.recordCycle(c, &dbError), qPrintable(dbError));
    }
    QVERIFY(prepare(QStringLiteral("unstorable"), {QStringLiteral("st1")}));
    const QString stored = QStringLiteral("SELECT string_agg(cycle_uid, ',' ORDER BY cycle_uid) "
                                          "FROM cycles");
    const QString storable = QStringList{sampleCycle(QStringLiteral("st1"), 1).cycleUid,
                                         sampleCycle(QStringLiteral("st1"), 3).cycleUid,
                                         sampleCycle(QStringLiteral("st1"), 5).cycleUid}
                                 .join(QLatin1Char(','));
    const QRegularExpression badMacSaid(QStringLiteral("cannot be stored there \\(a NUL "
                                                       "character in its golden MAC\\)"));
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("cannot be stored there \\(a NUL "
                                                           "character in its station id\\)")));
    QTest::ignoreMessage(QtWarningMsg, badMacSaid);
    {
        StationResults results(settings(QStringLiteral("unstorable")), local);
        QVERIFY2(results.waitForForwarding(30000), qPrintable(results.forwardStatus().summary()));
        const ForwardStatus f = results.forwardStatus();
        QCOMPARE(f.setAside, 2);
        QCOMPARE(f.waiting, 0);
        QVERIFY2(
            f.summary().contains(QStringLiteral("every cycle forwarded; 2 cycle(s) set aside")),
            qPrintable(f.summary()));
        QCOMPARE(m_pg.scalar(QStringLiteral("unstorable"), stored), storable);
    }
    // The next start tries the station's own cycle set aside once more, and
    // says so; it is set aside again, and nothing else changes.
    QTest::ignoreMessage(
        QtWarningMsg, QRegularExpression(QStringLiteral(
                          "1 cycle\\(s\\) of station st1 set aside before are tried once more")));
    QTest::ignoreMessage(QtWarningMsg, badMacSaid);
    {
        StationResults results(settings(QStringLiteral("unstorable")), local);
        QVERIFY2(results.waitForForwarding(30000), qPrintable(results.forwardStatus().summary()));
        QCOMPARE(results.forwardStatus().setAside, 1);
        QCOMPARE(m_pg.scalar(QStringLiteral("unstorable"), stored), storable);
    }
    DatabaseConnection c(QStringLiteral("QSQLITE"));
    c.db().setDatabaseName(local);
    QVERIFY(c.db().open());
    QSqlQuery q(c.db());
    QVERIFY(q.exec(QStringLiteral("SELECT cycle_uid, reason FROM set_aside ORDER BY cycle_uid")));
    QStringList noted;
    while (q.next())
        noted << q.value(0).toString() + QStringLiteral(": ") + q.value(1).toString();
    QCOMPARE(noted.size(), 2);
    QCOMPARE(noted.last(), sampleCycle(QStringLiteral("st1"), 4).cycleUid +
                               QStringLiteral(": a NUL character in its golden MAC"));
}

// The station's mark says every cycle went over, but the factory database
// was dropped and made again while the station ran, and later lost rows
// (deleted, or a restore from an older dump): the station notices what the
// factory lacks and sends it again (it used to say "every cycle forwarded"
// and never send them).
void TestFactoryResults::factoryMadeAgainGetsEveryCycle()
{
    QString dbError;
    const QString name = QStringLiteral("again");
    QVERIFY(prepare(name, {QStringLiteral("st1")}));
    const QString local = localDb(QStringLiteral("st1.sqlite"));
    recordSamples(local, QStringLiteral("st1"), 1, 5);
    const QString count = QStringLiteral("SELECT COUNT(*) FROM cycles");
    {
        StationResults results(settings(name), local);
        QVERIFY2(results.waitForForwarding(30000), qPrintable(results.forwardStatus().summary()));
        QCOMPARE(m_pg.scalar(name, count), QStringLiteral("5"));

        QVERIFY2(m_pg.exec(QStringLiteral("postgres"),
                           {QStringLiteral("DROP DATABASE again WITH (FORCE)")}),
                 qPrintable(m_pg.error()));
        QVERIFY(prepare(name, {QStringLiteral("st1")}));
        QTest::ignoreMessage(
            QtWarningMsg, QRegularExpression(QStringLiteral("lacks 5 cycle\\(s\\) of station st1 "
                                                            "that went over before")));
        QVERIFY(results.recordCycle(sampleCycle(QStringLiteral("st1"), 6), &dbError));
        QTRY_COMPARE_WITH_TIMEOUT(m_pg.scalar(name, count), QStringLiteral("6"), 30000);
    }
    QVERIFY2(
        m_pg.exec(name, {QStringLiteral("DELETE FROM cycles WHERE number IN (2 * 24, 4 * 24)")}),
        qPrintable(m_pg.error()));
    QCOMPARE(m_pg.scalar(name, count), QStringLiteral("4"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("lacks 2 cycle\\(s\\)")));
    StationResults results(settings(name), local);
    QVERIFY2(results.waitForForwarding(30000), qPrintable(results.forwardStatus().summary()));
    const auto c = factory(name);
    QVERIFY(c);
    QVERIFY(sameCycles(readAll(*c), localCycles(local)));
    QCOMPARE(countsOf(*c).duplicateUids, 0);
}

// Each station says how many cycles its file holds when it checks what the
// factory holds; benchreport --factory lists the stations whose count
// differs from the factory's (here: rows deleted there while the station
// was off).
void TestFactoryResults::stationCountsAgainstTheFactorys()
{
    const QString name = QStringLiteral("counts");
    QVERIFY(
        prepare(name, {QStringLiteral("st1"), QStringLiteral("st2")}, {QStringLiteral("counter")}));
    const QString local1 = localDb(QStringLiteral("st1.sqlite"));
    const QString local2 = localDb(QStringLiteral("st2.sqlite"));
    recordSamples(local1, QStringLiteral("st1"), 1, 5);
    recordSamples(local2, QStringLiteral("st2"), 1, 2);
    for (const QString &station : {QStringLiteral("st1"), QStringLiteral("st2")}) {
        StationResults results(settings(name, station),
                               station == QLatin1String("st1") ? local1 : local2);
        QVERIFY2(results.waitForForwarding(30000), qPrintable(results.forwardStatus().summary()));
    }
    QCOMPARE(m_pg.scalar(name, QStringLiteral("SELECT local_count FROM station_counts WHERE "
                                              "station_id = 'st1'")),
             QStringLiteral("5"));
    // A second station folder under st2's id: the station says so.
    const QString local3 = localDb(QStringLiteral("st2-copy.sqlite"));
    recordSamples(local3, QStringLiteral("st2"), 10, 1);
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("1 other station folder\\(s\\) report "
                                                           "under station id st2 too")));
    {
        StationResults results(settings(name, QStringLiteral("st2")), local3);
        QVERIFY2(results.waitForForwarding(30000), qPrintable(results.forwardStatus().summary()));
    }
    QVERIFY2(m_pg.exec(name, {QStringLiteral("DELETE FROM cycles WHERE station_id = 'st1' AND "
                                             "number IN (2 * 24, 4 * 24)")}),
             qPrintable(m_pg.error()));

    const QString ini = m_dir->filePath(QStringLiteral("report.ini"));
    QFile file(ini);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("[factory_db]\nhost=%1\nport=%2\nname=%3\nuser=counter\n"
                              "password_file=%4\n")
                   .arg(m_pg.host())
                   .arg(m_pg.port())
                   .arg(name, m_pg.passwordFile())
                   .toUtf8());
    file.close();
    QProcess report;
    report.start(QStringLiteral(BENCHREPORT_PATH),
                 {QStringLiteral("--factory"), QStringLiteral("--config"), ini});
    QVERIFY(report.waitForFinished(60000));
    const QString out = QString::fromUtf8(report.readAllStandardOutput());
    QVERIFY2(report.exitCode() == 0, qPrintable(out + report.readAllStandardError()));
    const int at = out.indexOf(QStringLiteral("own count of cycles differs"));
    QVERIFY2(at >= 0, qPrintable(out));
    const QString section = out.mid(at, out.indexOf(QStringLiteral("Golden machine"), at) - at);
    QVERIFY2(section.contains(QStringLiteral("  st1: station 5, factory 3 (-2), said ")),
             qPrintable(section));
    QVERIFY2(!section.contains(QStringLiteral("st2")), qPrintable(section));
}

namespace {

// The station's word that other folders report under its id, counted from
// any thread while a test looks out for it.
std::atomic<int> otherFoldersSaid{0};
QtMessageHandler testHandler = nullptr;

void countOtherFolders(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (text.contains(QLatin1String("other station folder")))
        ++otherFoldersSaid;
    testHandler(type, context, text);
}

} // namespace

// A station folder moved takes a new folder uid (it cannot tell a move from
// a copy), and each uid's row of station_counts counts its own cycles: the
// factory's count and the folders' counts still agree, and the station
// does not take its own past uid for a second station under its id.
void TestFactoryResults::movedFolderIsOneStation()
{
    const QString name = QStringLiteral("moved");
    QVERIFY(prepare(name, {QStringLiteral("st1")}, {}));
    QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("site")));
    recordSamples(localDb(QStringLiteral("site/results.sqlite")), QStringLiteral("st1"), 1, 3);
    {
        StationResults results(settings(name, QStringLiteral("st1")),
                               localDb(QStringLiteral("site/results.sqlite")));
        QVERIFY2(results.waitForForwarding(30000), qPrintable(results.forwardStatus().summary()));
    }
    QVERIFY(QDir().rename(localDb(QStringLiteral("site")), localDb(QStringLiteral("moved"))));
    const QString moved = localDb(QStringLiteral("moved/results.sqlite"));
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("takes a new folder uid")));
    recordSamples(moved, QStringLiteral("st1"), 4, 2);
    otherFoldersSaid = 0;
    testHandler = qInstallMessageHandler(countOtherFolders);
    const auto restore = qScopeGuard([] { qInstallMessageHandler(testHandler); });
    {
        StationResults results(settings(name, QStringLiteral("st1")), moved);
        QVERIFY2(results.waitForForwarding(30000), qPrintable(results.forwardStatus().summary()));
        QCOMPARE(results.forwardStatus().forwarded, 2);
    }
    QCOMPARE(otherFoldersSaid.load(), 0);
    QCOMPARE(m_pg.scalar(name, QStringLiteral("SELECT COUNT(*) FROM cycles")), QStringLiteral("5"));
    QCOMPARE(m_pg.scalar(name, QStringLiteral("SELECT COUNT(*) || ' ' || SUM(local_count) FROM "
                                              "station_counts WHERE station_id = 'st1'")),
             QStringLiteral("2 5"));
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
    QVERIFY(
        prepare(QStringLiteral("line"), {QStringLiteral("line9-st4")}, {QStringLiteral("reader")}));
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
    QVERIFY(writeIni(ini.arg(m_pg.host())
                         .arg(closedPort)
                         .arg(QStringLiteral("line9-st4"), m_pg.passwordFile())));
    const Run first = runProgram(QStringLiteral(BENCHRUN_PATH), {});
    QVERIFY2(first.exitCode == 0, qPrintable(first.out + first.err));
    QVERIFY2(first.out.contains(QStringLiteral(": 1 cycle(s) wait to be forwarded: unreachable (")),
             qPrintable(first.out));

    QVERIFY(writeIni(ini.arg(m_pg.host())
                         .arg(m_pg.port())
                         .arg(QStringLiteral("line9-st4"), m_pg.passwordFile())));
    rules();
    const Run second = runProgram(QStringLiteral(BENCHRUN_PATH), {});
    QVERIFY2(second.exitCode == 0, qPrintable(second.out + second.err));
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

    // The report with a login that may only read.
    QVERIFY(writeIni(
        ini.arg(m_pg.host()).arg(m_pg.port()).arg(QStringLiteral("reader"), m_pg.passwordFile())));
    const Run report =
        runProgram(QStringLiteral(BENCHREPORT_PATH),
                   {QStringLiteral("--factory"), QStringLiteral("--format"), QStringLiteral("csv"),
                    QStringLiteral("--table"), QStringLiteral("station")});
    QCOMPARE(report.exitCode, 0);
    QVERIFY2(report.out.contains(QStringLiteral("\r\nline9-st4,2,6,4,66.7,")),
             qPrintable(report.out));
    const Run steps =
        runProgram(QStringLiteral(BENCHREPORT_PATH),
                   {QStringLiteral("--factory"), QStringLiteral("--table"), QStringLiteral("step"),
                    QStringLiteral("--format"), QStringLiteral("csv")});
    QVERIFY2(steps.out.contains(QStringLiteral("\r\ndownload,2,100.0\r\n")), qPrintable(steps.out));

    // D1's module, tested in both runs, as the factory keeps it.
    const QString uid = cycles.at(0).duts.at(0).flashUid;
    QVERIFY(!uid.isEmpty());
    const Run unit = runProgram(QStringLiteral(BENCHREPORT_PATH),
                                {QStringLiteral("--factory"), QStringLiteral("--unit"), uid,
                                 QStringLiteral("--format"), QStringLiteral("csv")});
    QCOMPARE(unit.exitCode, 0);
    const QStringList tests = unit.out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QCOMPARE(tests.size(), 3); // the header and two tests
    for (int i = 1; i < tests.size(); ++i)
        QVERIFY2(tests.at(i).contains(QStringLiteral(",line9-st4,")) &&
                     tests.at(i).contains(QStringLiteral(",pass,")),
                 qPrintable(unit.out));
}

QTEST_GUILESS_MAIN(TestFactoryResults)
#include "tst_factoryresults.moc"
