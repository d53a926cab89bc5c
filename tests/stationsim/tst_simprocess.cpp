// stationsim as a program: its command line and scenario checks, the ready
// line, the device table, persistence, ptys, traces and how it ends.
#include "simtestutil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTcpServer>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {
struct Run
{
    int status = -1;
    QByteArray out;
    QByteArray err;
};

Run runSim(const QStringList &args, int timeoutMs = 10000)
{
    QProcess p;
    p.start(SimStation::defaultProgram(), args);
    Run run;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return run;
    }
    run.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.out = p.readAllStandardOutput();
    run.err = p.readAllStandardError();
    return run;
}

QString writeFile(QTemporaryDir &dir, const QString &name, const QByteArray &text)
{
    QFile file(dir.filePath(name));
    if (file.open(QIODevice::WriteOnly))
        file.write(text);
    return file.fileName();
}

const auto atOk = [](const QByteArray &rx) { return rx.contains("OK"); };

// Reads from a file descriptor until the text shows up or time runs out.
QByteArray readFd(int fd, const QByteArray &until, int timeoutMs)
{
    QByteArray got;
    QDeadlineTimer deadline(timeoutMs);
    while (!got.contains(until) && !deadline.hasExpired()) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, int(qMax<qint64>(1, deadline.remainingTime()))) > 0) {
            char buf[256];
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0)
                got.append(buf, int(n));
        }
    }
    return got;
}
} // namespace

class TstSimProcess : public QObject
{
    Q_OBJECT
private slots:
    void badInput_data();
    void badInput();
    void portInUse();
    void readyLine();
    void help();
    void deviceConfig();
    void storageSurvivesResetAndRestart();
    void ptyTransport();
    void ptyControlLines();
    void traceAndSigterm();
    void closedStdinEnds();
    void priorityWherePermitted();
};

void TstSimProcess::badInput_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("scenario");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown option")
        << QStringList{"--bogus"} << QByteArray() << "unknown option --bogus";
    QTest::newRow("too many duts") << QStringList{"--duts", "25"} << QByteArray()
                                   << "--duts needs a whole number from 0 to 24";
    QTest::newRow("no value") << QStringList{"--duts"} << QByteArray() << "--duts needs a value";
    QTest::newRow("bad port") << QStringList{"--base-port", "7k"} << QByteArray()
                              << "--base-port needs a whole number";
    QTest::newRow("stray word") << QStringList{"extra"} << QByteArray()
                                << "unexpected argument \"extra\"";
    QTest::newRow("no scenario file") << QStringList{"--scenario", "/nonexistent/s.json"}
                                      << QByteArray() << "cannot read the scenario";
    QTest::newRow("not json") << QStringList() << QByteArray("{\"duts\": 3,") << "not valid JSON";
    QTest::newRow("top not object")
        << QStringList() << QByteArray("[1]") << "the top level must be an object";
    QTest::newRow("unknown key") << QStringList() << QByteArray(R"({"dutz": 3})")
                                 << "unknown key dutz";
    QTest::newRow("wrong type") << QStringList() << QByteArray(R"({"duts": "3"})")
                                << "duts must be a whole number";
    QTest::newRow("duts out of range")
        << QStringList() << QByteArray(R"({"duts": 30})") << "duts must be between 0 and 24";
    QTest::newRow("unknown fault")
        << QStringList() << QByteArray(R"({"chips": {"dut01": {"faults": {"slient": true}}}})")
        << "unknown key chips.dut01.faults.slient";
    QTest::newRow("fault type") << QStringList()
                                << QByteArray(R"({"dutDefaults": {"faults": {"nakBlocks": true}}})")
                                << "dutDefaults.faults.nakBlocks must be a whole number";
    QTest::newRow("unknown chip") << QStringList() << QByteArray(R"({"chips": {"dut25": {}}})")
                                  << "unknown chip chips.dut25";
    // Found by fuzzing: a line end inside a key must not split the message.
    QTest::newRow("line end in a chip name")
        << QStringList() << QByteArray("{\"chips\": {\"dut01\n}\": {}}}")
        << "unknown chip chips.dut01\\n}";
    QTest::newRow("control characters in a key")
        << QStringList() << QByteArray(R"({"chips": {"gm": {"fa\r\u0001ults": {}}}})")
        << "unknown key chips.gm.fa\\r\\x01ults";
    QTest::newRow("bad start") << QStringList()
                               << QByteArray(R"({"chips": {"gm": {"start": "rom"}}})")
                               << "chips.gm.start must be";
    QTest::newRow("bad mac") << QStringList()
                             << QByteArray(R"({"chips": {"gm": {"storage": {"mac": "02:54"}}}})")
                             << "chips.gm.storage.mac must be six hexadecimal pairs";
    QTest::newRow("noise above 1")
        << QStringList() << QByteArray(R"({"chips": {"gm": {"faults": {"lineNoise": 2}}}})")
        << "lineNoise must be between 0 and 1";
}

void TstSimProcess::badInput()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, scenario);
    QFETCH(QString, message);
    QTemporaryDir dir;
    if (!scenario.isEmpty())
        args << "--scenario" << writeFile(dir, "s.json", scenario);
    args << "--base-port"
         << "0"
         << "--state-dir" << dir.filePath("state");
    const Run run = runSim(args);
    QCOMPARE(run.status, 2);
    QVERIFY(run.out.isEmpty()); // no ready line: nothing started
    const QByteArray err = run.err.trimmed();
    QCOMPARE(err.count('\n'), 0);
    QVERIFY2(err.startsWith("stationsim: ") && err.contains(message.toUtf8()), err.constData());
}

void TstSimProcess::portInUse()
{
    QTcpServer blocker;
    QVERIFY(blocker.listen(QHostAddress::LocalHost, 0));
    const int taken = blocker.serverPort();
    QTemporaryDir dir;
    // The third DUT's port is taken.
    const Run run = runSim(
        {"--base-port", QString::number(taken - 3), "--duts", "5", "--state-dir", dir.path()});
    QCOMPARE(run.status, 2);
    QVERIFY(run.out.isEmpty());
    // Normally our blocker is the one named; a port below it may have been
    // taken by another process meanwhile, and must then be named with its
    // own chip.
    const QRegularExpression named(
        QStringLiteral("port (\\d+) \\((gm|dut0[1-3])\\) cannot be used"));
    const QRegularExpressionMatch m = named.match(QString::fromUtf8(run.err));
    QVERIFY2(m.hasMatch(), run.err.constData());
    const int port = m.captured(1).toInt();
    const int slot = m.captured(2) == QLatin1String("gm") ? 0 : m.captured(2).right(1).toInt();
    QCOMPARE(port, taken - 3 + slot);
    QCOMPARE(run.err.trimmed().count('\n'), 0);
    // No room above the base port.
    const Run high = runSim({"--base-port", "65530", "--duts", "24", "--state-dir", dir.path()});
    QCOMPARE(high.status, 2);
    QVERIFY(high.err.contains("leaves no room"));
}

void TstSimProcess::readyLine()
{
    SimStation sim;
    QVERIFY2(sim.start({"--duts", "3"}), qPrintable(sim.errorText()));
    const int base = sim.port("gm");
    QVERIFY(base > 0);
    QCOMPARE(sim.readyLine(),
             QStringLiteral("ready gm=rfc2217://127.0.0.1:%1 dut01=rfc2217://127.0.0.1:%2 "
                            "dut02=rfc2217://127.0.0.1:%3 dut03=rfc2217://127.0.0.1:%4")
                 .arg(base)
                 .arg(base + 1)
                 .arg(base + 2)
                 .arg(base + 3));
    for (const QString &name : sim.names()) {
        SimClient c;
        QVERIFY2(connectClient(c, sim, name), qPrintable(name));
    }
    // Nothing else on standard output.
    QVERIFY(!sim.process()->waitForReadyRead(200));

    SimStation none;
    QVERIFY2(none.start({"--duts", "0"}), qPrintable(none.errorText()));
    QCOMPARE(none.names(), QStringList{"gm"});
}

void TstSimProcess::help()
{
    const Run run = runSim({"--help"});
    QCOMPARE(run.status, 0);
    QVERIFY(run.out.startsWith("usage: stationsim"));
    QVERIFY(run.out.contains("--write-device-config"));
}

void TstSimProcess::deviceConfig()
{
    QTemporaryDir dir;
    const QString csv = dir.filePath("device_config.csv");
    SimStation sim;
    QVERIFY2(sim.start({"--duts", "2", "--write-device-config", csv}), qPrintable(sim.errorText()));
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY(!text.contains('\r'));
    const QList<QByteArray> pieces = text.split('\n');
    QCOMPARE(pieces.size(), 43); // 42 lines and nothing after the last line end
    QVERIFY(pieces.last().isEmpty());
    for (int i = 0; i < 42; ++i)
        QVERIFY2(pieces.at(i).endsWith(','), pieces.at(i).constData());
    QCOMPARE(pieces.at(0), QByteArray("ENBALE,Device Name,Serial Num,TX CAL,RX CAL,"));
    QCOMPARE(pieces.at(1), "1,Gold Machine," + sim.url("gm").toUtf8() + ",0,");
    QCOMPARE(pieces.at(2), "1,DUT0," + sim.url("dut01").toUtf8() + ",0,0,");
    QCOMPARE(pieces.at(3), "1,DUT1," + sim.url("dut02").toUtf8() + ",0,0,");
    QCOMPARE(pieces.at(4), QByteArray("0,DUT2,,0,0,"));
    QCOMPARE(pieces.at(25), QByteArray("0,DUT23,,0,0,"));
    const QString firmware = QString::fromUtf8(pieces.at(26).chopped(1));
    QVERIFY(QFileInfo(firmware).isAbsolute());
    QCOMPARE(QFileInfo(firmware).canonicalFilePath(),
             QFileInfo(QStringLiteral(RAMCODE_IMAGE)).canonicalFilePath());
    auto number = [&pieces](int line) { return pieces.at(line).chopped(1).toInt(); };
    QVERIFY(number(27) > number(28));             // RX RSSI upper above lower
    QVERIFY(number(29) >= 5 && number(30) <= -5); // frequency limits around the accepted offset
    QVERIFY(number(31) > number(32));
    QCOMPARE(number(33), 0);
    QVERIFY(number(34) >= 1 && number(34) <= 14);
    QVERIFY(number(36) >= 60000); // long enough for a whole DUT run
    QCOMPARE(number(37) + number(38) + number(39), 0);
    QCOMPARE(number(40), -12);
    QCOMPARE(number(41), 0);

    // Another firmware path on request.
    SimStation other;
    QVERIFY(other.start(
        {"--duts", "1", "--write-device-config", csv, "--firmware-path", dir.filePath("fw.bin")}));
    QVERIFY(file.open(QIODevice::ReadOnly) || file.reset());
    file.close();
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll().split('\n').at(26), (dir.filePath("fw.bin") + ",").toUtf8());
}

void TstSimProcess::storageSurvivesResetAndRestart()
{
    QTemporaryDir dir;
    const QStringList args{"--duts", "1", "--state-dir", dir.filePath("state")};
    auto readXtal = [](SimClient &c) {
        c.command("AT+ATE_OK?", atOk);
        const QByteArray rx = c.received();
        const int at = rx.indexOf("+XTAL_COMP:");
        return at < 0 ? QByteArray() : rx.mid(at + 11, rx.indexOf("\r\n", at) - at - 11);
    };
    {
        SimStation sim;
        QVERIFY2(sim.start(args), qPrintable(sim.errorText()));
        SimClient c;
        QVERIFY(connectClient(c, sim, "dut01"));
        QCOMPARE(readXtal(c), QByteArray("0")); // blank
        QVERIFY(c.command("AT+PVTCMD=XTAL_CAP,-7", atOk));
        QVERIFY(c.resetIntoFirmware());
        QCOMPARE(readXtal(c), QByteArray("-7"));
    }
    QVERIFY(QFileInfo::exists(dir.filePath("state/dut01.json")));
    SimStation again;
    QVERIFY2(again.start(args), qPrintable(again.errorText()));
    SimClient c;
    QVERIFY(connectClient(c, again, "dut01"));
    QCOMPARE(readXtal(c), QByteArray("-7"));

    // A damaged state file is a clear start-up error, not a silent reset.
    again.stop();
    QFile damaged(dir.filePath("state/dut01.json"));
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write("{\"otp\": \"00\"}");
    damaged.close();
    const Run run = runSim(args + QStringList{"--base-port", "0"});
    QCOMPARE(run.status, 2);
    QVERIFY2(run.err.contains("dut01.json is damaged"), run.err.constData());
}

void TstSimProcess::ptyTransport()
{
    QTemporaryDir dir;
    const QString ptys = dir.filePath("tty");
    SimStation sim;
    QVERIFY2(sim.start({"--duts", "1", "--pty-dir", ptys}), qPrintable(sim.errorText()));
    const QString link = ptys + "/dut01";
    QVERIFY(QFileInfo(link).isSymLink());
    QVERIFY(QFileInfo::exists(ptys + "/gm"));

    int fd = ::open(QFile::encodeName(link).constData(), O_RDWR | O_NOCTTY);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, "AT\r\n", 4), ssize_t(4));
    QVERIFY(readFd(fd, "OK", 2000).contains("\r\nOK\r\n"));
    // An answer nobody read is gone for the next program that opens the pty.
    QCOMPARE(::write(fd, "AT+GMR\r\n", 8), ssize_t(8));
    QTest::qWait(300);
    ::close(fd);
    fd = ::open(QFile::encodeName(link).constData(), O_RDWR | O_NOCTTY);
    QVERIFY(fd >= 0);
    QTest::qWait(100);
    QCOMPARE(::write(fd, "AT\r\n", 4), ssize_t(4));
    QCOMPARE(readFd(fd, "OK", 2000), QByteArray("\r\nOK\r\n"));
    ::close(fd);

    sim.stop();
    QVERIFY(!QFileInfo(link).isSymLink()); // removed at the end
}

// An unmodified program's modem-line ioctls on a pty reach the chip through
// the preload library: RTS held with DTR on and released puts the chip in
// its boot ROM; a program that leaves with RTS held releases it, and the chip
// starts its firmware.
void TstSimProcess::ptyControlLines()
{
    QTemporaryDir dir;
    const QString ptys = dir.filePath("tty");
    const QString traces = dir.filePath("trace");
    SimStation sim;
    QVERIFY2(sim.start({"--duts", "1", "--pty-dir", ptys, "--trace", traces}),
             qPrintable(sim.errorText()));
    QVERIFY(QFileInfo(ptys + "/dut01.lines").exists());

    // Python's fcntl.ioctl is the C library's ioctl, as QSerialPort's is.
    const auto drive = [&](const QString &steps) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LD_PRELOAD", PTYLINES_LIBRARY);
        env.insert("STATIONSIM_PTY_DIR", ptys);
        p.setProcessEnvironment(env);
        p.start("python3", {"-c",
                            "import fcntl, os, struct, sys, termios, time\n"
                            "fd = os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY)\n"
                            "def lines(op, bits):\n"
                            "    fcntl.ioctl(fd, op, struct.pack('i', bits))\n"
                            "    time.sleep(0.1)\n"
                            "RTS, DTR = termios.TIOCM_RTS, termios.TIOCM_DTR\n"
                            "BIS, BIC = termios.TIOCMBIS, termios.TIOCMBIC\n" +
                                steps,
                            ptys + "/dut01"});
        return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit &&
               p.exitCode() == 0;
    };
    const auto traced = [&](const QByteArray &text) {
        QFile trace(traces + "/dut01.trace");
        return trace.open(QIODevice::ReadOnly) ? int(trace.readAll().count(text)) : 0;
    };
    QTRY_COMPARE(traced("runs: AT firmware"), 1);
    QVERIFY(drive("lines(BIS, RTS | DTR)\nlines(BIC, RTS)\nlines(BIC, DTR)\n"));
    QTRY_COMPARE(traced("runs: boot ROM"), 1);
    QCOMPARE(traced("DTR and RTS released"), 0); // nothing was left held

    QVERIFY(drive("lines(BIS, RTS)\n"));
    QTRY_COMPARE(traced("pty closed: DTR and RTS released"), 1);
    QTRY_COMPARE(traced("runs: AT firmware"), 2);
}

void TstSimProcess::traceAndSigterm()
{
    QTemporaryDir dir;
    const QString traces = dir.filePath("trace");
    SimStation sim;
    QVERIFY2(sim.start({"--duts", "1", "--trace", traces, "--delivery", "usb"}),
             qPrintable(sim.errorText()));
    SimClient c;
    QVERIFY(connectClient(c, sim, "dut01"));
    QVERIFY(c.command("AT", atOk));
    c.disconnectFromServer();

    QProcess *p = sim.process();
    ::kill(pid_t(p->processId()), SIGTERM);
    QVERIFY(p->waitForFinished(5000));
    QCOMPARE(p->exitStatus(), QProcess::NormalExit);
    QCOMPARE(p->exitCode(), 0);

    QFile trace(traces + "/dut01.trace");
    QVERIFY(trace.open(QIODevice::ReadOnly));
    const QByteArray text = trace.readAll();
    QVERIFY(text.contains("host>chip 41 54 0d 0a"));
    QVERIFY(text.contains("|AT..|"));
    // A record per piece as the link delivered it: the short answer fits
    // one packet of the USB adapter.
    QVERIFY(text.contains("chip>host 0d 0a 4f 4b 0d 0a "));
    QVERIFY(text.contains("chip: link delivers: usb ("));
    QVERIFY(text.contains("rfc2217: host baud 115200"));
    QVERIFY(text.contains("chip: runs: AT firmware"));
    QVERIFY(QFileInfo::exists(traces + "/gm.trace"));
}

void TstSimProcess::closedStdinEnds()
{
    SimStation sim;
    QVERIFY2(sim.start({"--duts", "0"}), qPrintable(sim.errorText()));
    sim.process()->closeWriteChannel();
    QVERIFY(sim.process()->waitForFinished(5000));
    QCOMPARE(sim.process()->exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process()->exitCode(), 0);
}

// The simulator lifts itself above ordinary work where the system lets it
// (root here, or a user with a real-time limit), so that its chips keep
// their time on a busy PC; --normal-priority leaves it as started; where it
// may not raise itself it still serves, and says so.
void TstSimProcess::priorityWherePermitted()
{
    rlimit rt{};
    const bool permitted =
        ::geteuid() == 0 || (::getrlimit(RLIMIT_RTPRIO, &rt) == 0 && rt.rlim_cur > 0);
    const auto policyOf = [](SimStation &sim) {
        return ::sched_getscheduler(pid_t(sim.process()->processId())) & ~SCHED_RESET_ON_FORK;
    };

    SimStation raised;
    QVERIFY2(raised.start({"--duts", "1"}), qPrintable(raised.errorText()));
    QCOMPARE(policyOf(raised), permitted ? SCHED_FIFO : SCHED_OTHER);
    SimClient c;
    QVERIFY(connectClient(c, raised, QStringLiteral("dut01")));

    SimStation normal;
    QVERIFY2(normal.start({"--duts", "0", "--normal-priority"}), qPrintable(normal.errorText()));
    QCOMPARE(policyOf(normal), SCHED_OTHER);

    if (::geteuid() != 0)
        return;
    // As a user without the right: no real-time limit, no nice limit, and
    // the capability gone.
    QProcess user;
    user.start(QStringLiteral("prlimit"),
               {"--rtprio=0", "--nice=0", "setpriv", "--bounding-set", "-sys_nice", "--",
                SimStation::defaultProgram(), "--duts", "0", "--base-port", "0"});
    QVERIFY2(user.waitForStarted(5000), "prlimit and setpriv (util-linux) are needed");
    QTRY_VERIFY_WITH_TIMEOUT(user.canReadLine(), 10000);
    QVERIFY(user.readLine().startsWith("ready gm="));
    QCOMPARE(::sched_getscheduler(pid_t(user.processId())) & ~SCHED_RESET_ON_FORK, SCHED_OTHER);
    user.closeWriteChannel();
    QVERIFY(user.waitForFinished(10000));
    QCOMPARE(user.exitCode(), 0);
    QVERIFY(user.readAllStandardError().contains("priority unchanged"));
}

QTEST_GUILESS_MAIN(TstSimProcess)
#include "tst_simprocess.moc"
