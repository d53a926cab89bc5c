// The Chipctl program's backend modules: a run loads the module of its
// port's kind and nothing of the other, and a module that is missing or
// damaged ends the run with the port's "Fail." result, not a crash.
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <pty.h>
#include <unistd.h>

namespace {

const QByteArray openFailed = "Fail. Could not open the serial port.";

struct Run
{
    bool normalExit = false;
    QByteArray out;
    QByteArray err;
};

// One run of the program; `moduleDir` (when not empty) is where it must look
// for its modules, `env` further variables.
Run chipctl(const QStringList &args, const QString &moduleDir = QString(),
            const QStringList &env = QStringList())
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!moduleDir.isEmpty())
        environment.insert(QStringLiteral("CHIPCTL_MODULE_DIR"), moduleDir);
    for (const QString &entry : env)
        environment.insert(entry.section(QLatin1Char('='), 0, 0),
                           entry.section(QLatin1Char('='), 1));
    QProcess p;
    p.setProcessEnvironment(environment);
    p.start(QStringLiteral(CHIPCTL_BIN), args);
    Run r;
    if (!p.waitForStarted(5000))
        return r;
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished(5000);
        return r;
    }
    r.normalExit = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

// A pseudo-terminal whose far side nobody plays: a local port that opens.
class Pty
{
public:
    Pty()
    {
        char path[256] = {};
        if (openpty(&master, &slave, path, nullptr, nullptr) == 0)
            name = QString::fromLocal8Bit(path);
    }
    ~Pty()
    {
        if (master >= 0)
            ::close(master);
        if (slave >= 0)
            ::close(slave);
    }
    QString name;

private:
    int master = -1;
    int slave = -1;
};

} // namespace

class TestBackendModules : public QObject
{
    Q_OBJECT
private slots:
    void missingModuleFailsTheRunOnly();
    void damagedModuleFailsTheRunOnly();
    void runLoadsOnlyItsPortsModule_data();
    void runLoadsOnlyItsPortsModule();
};

// Without its modules the program still answers "version"; a run on either
// kind of port ends with the open failure and names the missing module,
// where the same run with the modules works.
void TestBackendModules::missingModuleFailsTheRunOnly()
{
    QTemporaryDir empty;
    QVERIFY(empty.isValid());

    const Run version = chipctl({QStringLiteral("version")}, empty.path());
    QVERIFY(version.normalExit);
    QCOMPARE(version.out, QByteArray("V1.0.16\nOk."));

    Pty pty;
    QVERIFY(!pty.name.isEmpty());
    const QStringList local{pty.name, QStringLiteral("rts"), QStringLiteral("1")};
    QCOMPARE(chipctl(local).out, QByteArray("Ok."));
    const Run localMissing = chipctl(local, empty.path());
    QVERIFY(localMissing.normalExit);
    QCOMPARE(localMissing.out, openFailed);
    QVERIFY2(localMissing.err.contains("chipctl_localport"), localMissing.err.constData());

    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    const QStringList net{QStringLiteral("rfc2217://127.0.0.1:%1").arg(server.serverPort()),
                          QStringLiteral("rts"), QStringLiteral("1")};
    const Run netMissing = chipctl(net, empty.path());
    QVERIFY(netMissing.normalExit);
    QCOMPARE(netMissing.out, openFailed);
    QVERIFY2(netMissing.err.contains("chipctl_netport"), netMissing.err.constData());
    QVERIFY(!server.waitForNewConnection(0));
}

// A file of the module's name that is no loadable library is reported as
// such; the run ends with the open failure.
void TestBackendModules::damagedModuleFailsTheRunOnly()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile damaged(dir.filePath(QStringLiteral("chipctl_localport.so")));
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray("\x7f"
                             "ELF but not really",
                             20));
    damaged.close();

    Pty pty;
    QVERIFY(!pty.name.isEmpty());
    const Run r = chipctl({pty.name, QStringLiteral("rts"), QStringLiteral("1")}, dir.path());
    QVERIFY(r.normalExit);
    QCOMPARE(r.out, openFailed);
    QVERIFY2(r.err.contains("does not load"), r.err.constData());
}

void TestBackendModules::runLoadsOnlyItsPortsModule_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QByteArrayList>("loaded");
    QTest::addColumn<QByteArrayList>("notLoaded");
    const QByteArrayList serialPort{"chipctl_localport", "SerialPort.so", "libudev"};
    const QByteArrayList network{"chipctl_netport"};
    // A network port runs on the platform's sockets: Qt's network module,
    // and GSSAPI and Kerberos beneath it, are never loaded.
    const QByteArrayList qtNetwork{"Network.so", "gssapi"};
    QTest::newRow("version") << QString() << QByteArrayList() << serialPort + network + qtNetwork;
    QTest::newRow("local port") << QStringLiteral("/nonexistent/ttyUSB0") << serialPort
                                << network + qtNetwork;
    QTest::newRow("network port") << QStringLiteral("rfc2217://127.0.0.1:1") << network
                                  << serialPort + qtNetwork;
}

// The dynamic loader's own account (glibc's LD_DEBUG) of the libraries a
// run opens.
void TestBackendModules::runLoadsOnlyItsPortsModule()
{
    QFETCH(QString, port);
    QFETCH(QByteArrayList, loaded);
    QFETCH(QByteArrayList, notLoaded);
    const QStringList args =
        port.isEmpty() ? QStringList{QStringLiteral("version")}
                       : QStringList{port, QStringLiteral("mode"), QStringLiteral("read")};
    const Run r = chipctl(args, QString(), {QStringLiteral("LD_DEBUG=files")});
    QVERIFY(r.normalExit);
    QVERIFY(r.out.endsWith(port.isEmpty() ? QByteArray("Ok.") : openFailed));
    // Every library the loader opened: "file=NAME [0];  needed by ..." or
    // "... dynamically loaded by ...".
    QByteArrayList opened;
    for (const QByteArray &line : r.err.split('\n')) {
        const int at = line.indexOf("file=");
        if (at >= 0)
            opened.append(line.mid(at + 5, line.indexOf(' ', at) - at - 5));
    }
    QVERIFY2(opened.join(' ').contains("Core.so"), r.err.left(2000).constData());
    for (const QByteArray &name : loaded)
        QVERIFY2(opened.join(' ').contains(name), name.constData());
    for (const QByteArray &name : notLoaded)
        QVERIFY2(!opened.join(' ').contains(name), name.constData());
}

QTEST_GUILESS_MAIN(TestBackendModules)
#include "tst_backendmodules.moc"
