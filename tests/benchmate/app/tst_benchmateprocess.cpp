// Benchmate as a program, as the station's operating system sees it: a
// stop signal, a file size limit, and a station directory another station
// program already works in.
#include "stationdir.h"

#include <QProcess>
#include <QtTest>

#include <csignal>
#include <signal.h>
#include <sys/resource.h>

namespace {

const QString versionLine = QStringLiteral("软件版本号：");

// A Benchmate started in the current directory, its console collected.
class Benchmate
{
public:
    Benchmate()
    {
        m_process.setProgram(QStringLiteral(BENCHMATE_PATH));
        m_process.start();
    }
    ~Benchmate()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    QProcess &process() { return m_process; }
    qint64 pid() const { return m_process.processId(); }

    QString console()
    {
        m_console += QString::fromUtf8(m_process.readAllStandardError());
        return m_console;
    }
    // Waits until the console holds `text`.
    bool waitFor(const QString &text)
    {
        QDeadlineTimer deadline(30000);
        while (!console().contains(text)) {
            if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
                return false;
            m_process.waitForReadyRead(100);
        }
        return true;
    }
    // Sends `signal` and waits for the end; the exit status, or -1 when it
    // did not end normally.
    int signalAndWait(int signal)
    {
        ::kill(pid_t(m_process.processId()), signal);
        if (!m_process.waitForFinished(30000))
            return -2;
        console();
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

private:
    QProcess m_process;
    QString m_console;
};

QByteArray sampleWithPaddedEnable()
{
    // "01" reads as checked and is written back as "1": the file shows
    // whether the window saved it.
    return ConfigText::sample().set(6, QStringLiteral("01,DUT4,COM8,2,0")).bytes();
}

} // namespace

class TestBenchmateProcess : public QObject
{
    Q_OBJECT

private slots:
    void stopSignalSavesAndEnds_data();
    void stopSignalSavesAndEnds();
    void fileSizeLimit();
    void benchrunRefusedBeside();
    void secondBenchmateRefused();
};

void TestBenchmateProcess::stopSignalSavesAndEnds_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("status");
    QTest::newRow("SIGTERM") << int(SIGTERM) << 143;
    QTest::newRow("SIGINT") << int(SIGINT) << 130;
    QTest::newRow("SIGHUP") << int(SIGHUP) << 129;
}

// A stop signal closes the window as the operator would: the settings are
// saved, and the exit status tells the signal.
void TestBenchmateProcess::stopSignalSavesAndEnds()
{
    QFETCH(int, signal);
    QFETCH(int, status);
    StationDir dir;
    QVERIFY(dir.isValid());
    dir.writeConfig(sampleWithPaddedEnable());
    // Not under nohup: a SIGHUP ignored here would stay ignored there.
    std::signal(SIGHUP, SIG_DFL);
    Benchmate benchmate;
    QVERIFY2(benchmate.waitFor(versionLine), qPrintable(benchmate.console()));
    QCOMPARE(benchmate.signalAndWait(signal), status);
    QCOMPARE(ConfigText::linesOf(dir.readConfig()).at(6), QStringLiteral("1,DUT4,COM8,2,0"));
}

// Under a file size limit smaller than its files, a write fails as on a
// full disk and is reported as such: Benchmate does not die of SIGXFSZ, and
// the settings file keeps its bytes.
void TestBenchmateProcess::fileSizeLimit()
{
    StationDir dir;
    QVERIFY(dir.isValid());
    const QByteArray before = sampleWithPaddedEnable();
    dir.writeConfig(before);

    rlimit old{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 64;
    // The default disposition, as a shell hands it on.
    const auto oldSignal = std::signal(SIGXFSZ, SIG_DFL);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    Benchmate benchmate;
    const bool started = benchmate.process().waitForStarted(5000);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);
    QVERIFY(started);

    QVERIFY2(benchmate.waitFor(versionLine), qPrintable(benchmate.console()));
    QCOMPARE(benchmate.signalAndWait(SIGTERM), 143);
    QVERIFY2(benchmate.console().contains(QStringLiteral("保存配置文件")),
             qPrintable(benchmate.console()));
    QCOMPARE(dir.readConfig(), before);
}

// benchrun in the directory of a running Benchmate refuses to start.
void TestBenchmateProcess::benchrunRefusedBeside()
{
    StationDir dir;
    QVERIFY(dir.isValid());
    dir.writeConfig(ConfigText::sample().bytes());
    Benchmate benchmate;
    QVERIFY2(benchmate.waitFor(versionLine), qPrintable(benchmate.console()));

    QProcess benchrun;
    benchrun.start(QStringLiteral(BENCHRUN_PATH), QStringList());
    QVERIFY(benchrun.waitForFinished(30000));
    const QString err = QString::fromUtf8(benchrun.readAllStandardError());
    QCOMPARE(benchrun.exitCode(), 1);
    QVERIFY2(err.contains(QStringLiteral("in use by Benchmate (process %1)").arg(benchmate.pid())),
             qPrintable(err));
    QVERIFY(benchrun.readAllStandardOutput().isEmpty());
    QCOMPARE(benchmate.signalAndWait(SIGTERM), 143);
}

// A second Benchmate in the same directory says that the first one works
// there, and goes without reading or writing the settings.
void TestBenchmateProcess::secondBenchmateRefused()
{
    StationDir dir;
    QVERIFY(dir.isValid());
    dir.writeConfig(sampleWithPaddedEnable());
    Benchmate first;
    QVERIFY2(first.waitFor(versionLine), qPrintable(first.console()));

    Benchmate second;
    const QString holder = QStringLiteral("Benchmate（进程 %1）").arg(first.pid());
    QVERIFY2(second.waitFor(holder), qPrintable(second.console()));
    QVERIFY(!second.console().contains(versionLine));
    QCOMPARE(second.signalAndWait(SIGTERM), 143);
    QCOMPARE(dir.readConfig(), sampleWithPaddedEnable());

    QCOMPARE(first.signalAndWait(SIGTERM), 143);
    QCOMPARE(ConfigText::linesOf(dir.readConfig()).at(6), QStringLiteral("1,DUT4,COM8,2,0"));
}

QTEST_GUILESS_MAIN(TestBenchmateProcess)
#include "tst_benchmateprocess.moc"
