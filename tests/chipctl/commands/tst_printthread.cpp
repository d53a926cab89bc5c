// The progress printer of a multi-image flash download, in-process: the
// percentage it computes, the lines it prints and how it stops.
#include "cmdparse.h"
#include "console.h"
#include "printthread.h"
#include "protocol/tranprotocol.h"

#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <condition_variable>
#include <mutex>

namespace {

// An output device the printer thread may write while the test reads it;
// held, a write blocks until it is released (a reader that stopped reading).
class LockedSink : public QIODevice
{
public:
    LockedSink() { open(QIODevice::WriteOnly); }
    QByteArray snapshot()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return data;
    }
    void hold()
    {
        std::lock_guard<std::mutex> lock(mutex);
        held = true;
    }
    void release()
    {
        std::lock_guard<std::mutex> lock(mutex);
        held = false;
        changed.notify_all();
    }
    // Waits (bounded) until a write is blocked.
    bool waitForBlockedWrite(int ms)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(ms), [this] { return blocked; });
    }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *bytes, qint64 size) override
    {
        std::unique_lock<std::mutex> lock(mutex);
        blocked = held;
        changed.notify_all();
        changed.wait(lock, [this] { return !held; });
        blocked = false;
        data.append(bytes, int(size));
        return size;
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    QByteArray data;
    bool held = false;
    bool blocked = false;
};

bool joined(printThread &printer)
{
    printer.stop();
    return printer.join(5000);
}

} // namespace

class TestPrintThread : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void percentOfTheDownload_data();
    void percentOfTheDownload();
    void printsOneLineAboutEverySecond();
    void stoppedWithinTheFirstSecondPrintsNothing();
    void joinGivesUpOnAPrinterBlockedInAWrite();

private:
    QTemporaryDir config;
    std::unique_ptr<tranProtocol> protocol;
    std::unique_ptr<LockedSink> sink;
};

void TestPrintThread::init()
{
    protocol = std::make_unique<tranProtocol>(config.path());
    activeProtocol = protocol.get();
    sink = std::make_unique<LockedSink>();
    Console::setDevice(sink.get());
}

void TestPrintThread::cleanup()
{
    Console::setDevice(nullptr);
    activeProtocol = nullptr;
    downloadFileCount = 0;
    protocol.reset();
    sink.reset();
}

void TestPrintThread::percentOfTheDownload_data()
{
    QTest::addColumn<float>("progress");
    QTest::addColumn<float>("doneSteps");
    QTest::addColumn<int>("files");
    QTest::addColumn<int>("percent");
    QTest::newRow("ramcode done, half of one image") << 0.5f << 1.0f << 1 << 75;
    QTest::newRow("99.9 is cut, not rounded") << 0.999f << 0.0f << 0 << 99;
    QTest::newRow("two of three images") << 0.0f << 3.0f << 3 << 75;
    QTest::newRow("a third of the way") << 0.0f << 1.0f << 2 << 33;
    QTest::newRow("everything done") << 0.0f << 3.0f << 2 << 100;
    QTest::newRow("nothing yet") << 0.0f << 0.0f << 5 << 0;
    // A count of -1 divides by zero: no line may print nonsense.
    QTest::newRow("count -1") << 0.5f << 1.0f << -1 << 0;
}

void TestPrintThread::percentOfTheDownload()
{
    QFETCH(float, progress);
    QFETCH(float, doneSteps);
    QFETCH(int, files);
    QFETCH(int, percent);
    QCOMPARE(printThread::percent(progress, doneSteps, files), percent);
}

void TestPrintThread::printsOneLineAboutEverySecond()
{
    protocol->doneSteps = 1.0f;
    protocol->ymodem().progress = 0.5f;
    downloadFileCount = 1;
    printThread printer;
    printer.start();
    const QDeadlineTimer deadline(10000);
    while (!sink->snapshot().contains('\n') && !deadline.hasExpired())
        QThread::msleep(20);
    QVERIFY(joined(printer));
    const QByteArray out = sink->snapshot();
    QVERIFY(out.startsWith("Download progress: 75%.\n"));
    // Whole lines only, all alike.
    QCOMPARE(out, QByteArray("Download progress: 75%.\n").repeated(out.count('\n')));
}

void TestPrintThread::stoppedWithinTheFirstSecondPrintsNothing()
{
    downloadFileCount = 2;
    printThread printer;
    printer.start();
    QVERIFY(joined(printer));
    QCOMPARE(sink->snapshot(), QByteArray());
}

// A printer stuck in a write to standard output does not keep the command
// from ending: the join has its bound.
void TestPrintThread::joinGivesUpOnAPrinterBlockedInAWrite()
{
    downloadFileCount = 1;
    sink->hold();
    printThread printer;
    printer.start();
    QVERIFY(sink->waitForBlockedWrite(10000));
    printer.stop();
    QVERIFY(!printer.join(50));
    QVERIFY(printer.isRunning());
    sink->release();
    QVERIFY(printer.join(5000));
}

QTEST_GUILESS_MAIN(TestPrintThread)
#include "tst_printthread.moc"
