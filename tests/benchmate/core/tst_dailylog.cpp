// The daily log and the results file: blocks appended whole, in order, with
// the header once, and nothing lost when ./log cannot be written for a while.
#include "dailyappender.h"
#include "dailylog.h"
#include "dayyield.h"
#include "resultscsv.h"
#include "stationdir.h"

#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QString today(const QString &suffix)
{
    return QStringLiteral("log/") + QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) +
           suffix;
}

QByteArray block(uint32_t n, const QString &log)
{
    return DailyLog::block(n, log).toUtf8();
}

deviceRestlt_t result(int rx, int tx, int freq, int8_t cal, int rxStatus = STATUS_PASS,
                      int txStatus = STATUS_PASS)
{
    deviceRestlt_t r;
    r.rxRssiMin = rx - 3;
    r.rxRssiMax = rx + 2;
    r.rxRssiAve = rx;
    r.txRssiMin = tx - 1;
    r.txRssiMax = tx + 1;
    r.txRssiAve = tx;
    r.freqMin = freq - 2;
    r.freqMax = freq + 2;
    r.freqAve = freq;
    r.calVal = cal;
    r.rxStatus = rxStatus;
    r.txStatus = txStatus;
    // As the engine measures them: the averages are these, truncated.
    r.rxMeasured = rxStatus == STATUS_PASS;
    r.rxRssiMean = float(rx) - 0.45f;
    r.txRssiMean = float(tx) - 0.3f;
    r.freqMean = float(freq) + 0.35f;
    return r;
}

deviceInfo_t device(int slot, const QString &name, const QString &port)
{
    deviceInfo_t d;
    d.name = name;
    d.port = port;
    d.slot = slot;
    return d;
}

} // namespace

class TestDailyLog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void blockFormat();
    void twoCyclesTwoConsecutiveBlocks();
    void logDirectoryIsAFile();
    void fileCannotBeOpened();
    void fullDiskLeavesNoPartialBlock();
    void pendingBlockKeepsItsDay();
    void whatCannotBeWrittenGoesToTheConsoleAtTheEnd();
    void resultsHeaderOnceAndRowsAppended();
    void resultsRowFields();
    void resultsFileOfAnotherLayout();
    void resultsOfAnUnfinishedCycle();
    void resultsPendingLikeTheLog();

private:
    std::unique_ptr<StationDir> m_dir;
};

void TestDailyLog::init()
{
    m_dir = std::make_unique<StationDir>(false);
    QVERIFY(m_dir->isValid());
}

void TestDailyLog::cleanup()
{
    m_dir.reset();
}

void TestDailyLog::blockFormat()
{
    QCOMPARE(DailyLog::block(48, QStringLiteral("[I] 10:00:00:000 a\r\n\r\n")),
             QStringLiteral("第48次测试开始:\r\n[I] 10:00:00:000 a\r\n\r\n第48次测试结束。\r\n"));
    // Nothing logged: the heading, the separators and the closing line.
    QCOMPARE(DailyLog::block(0, QStringLiteral("\r\n\r\n")),
             QStringLiteral("第0次测试开始:\r\n\r\n\r\n第0次测试结束。\r\n"));
}

// The second block follows the first; the first's bytes stay as they were.
// UTF-8 without a byte-order mark, CR LF kept as written.
void TestDailyLog::twoCyclesTwoConsecutiveBlocks()
{
    const QString first = QStringLiteral("[I] 09:00:00:001 设备 DUT0 ok\r\n\r\n");
    const QString second = QStringLiteral("[E] 09:05:00:002 Test end.\r\n\r\n");
    DailyLog log;
    MessageLog messages;
    QVERIFY(log.write(0, first));
    QVERIFY(QFileInfo(log.todaysFile()).isFile());
    const QByteArray afterFirst = readFile(today(QStringLiteral(".txt")));
    QCOMPARE(afterFirst, block(0, first));
    QVERIFY(log.write(24, second));
    const QByteArray both = readFile(today(QStringLiteral(".txt")));
    QCOMPARE(both, block(0, first) + block(24, second));
    QVERIFY(both.startsWith(afterFirst));
    QVERIFY(!both.startsWith("\xEF\xBB\xBF"));
    QCOMPARE(log.pendingCount(), 0);
    QVERIFY(messages.messages().isEmpty());
}

// ./log is an ordinary file: the block stays pending, the console says so
// each time, and once ./log can be made every pending block goes out ahead
// of the new one.
void TestDailyLog::logDirectoryIsAFile()
{
    QVERIFY(writeFile(QStringLiteral("log"), "not a directory"));
    DailyLog log;
    {
        MessageLog messages;
        QVERIFY(!log.write(0, QStringLiteral("one\r\n")));
        QCOMPARE(messages.count(QStringLiteral("Can not creat the file path.")), 1);
        QCOMPARE(messages.count(QStringLiteral("1 block(s) not written yet")), 1);
        QCOMPARE(log.pendingCount(), 1);
    }
    {
        MessageLog messages;
        QVERIFY(!log.write(2, QStringLiteral("two\r\n")));
        QCOMPARE(messages.count(QStringLiteral("Can not creat the file path.")), 1);
        QCOMPARE(messages.count(QStringLiteral("2 block(s) not written yet")), 1);
    }
    QCOMPARE(readFile(QStringLiteral("log")), QByteArray("not a directory"));

    QVERIFY(QFile::remove(QStringLiteral("log")));
    MessageLog messages;
    QVERIFY(log.write(4, QStringLiteral("three\r\n")));
    QCOMPARE(log.pendingCount(), 0);
    QCOMPARE(readFile(today(QStringLiteral(".txt"))), block(0, QStringLiteral("one\r\n")) +
                                                          block(2, QStringLiteral("two\r\n")) +
                                                          block(4, QStringLiteral("three\r\n")));
    QCOMPARE(messages.count(QStringLiteral("not written")), 0);

    // Written once: the next block adds only itself.
    QVERIFY(log.write(6, QStringLiteral("four\r\n")));
    QVERIFY(readFile(today(QStringLiteral(".txt")))
                .endsWith(block(4, "three\r\n") + block(6, "four\r\n")));
    QCOMPARE(readFile(today(QStringLiteral(".txt"))).count("第0次测试开始"), 1);
}

void TestDailyLog::fileCannotBeOpened()
{
    QVERIFY(QDir().mkpath(today(QStringLiteral(".txt")))); // a directory in the file's place
    DailyLog log;
    {
        MessageLog messages;
        QVERIFY(!log.write(1, QStringLiteral("a\r\n")));
        QCOMPARE(messages.count(QStringLiteral("Can not open the file.")), 1);
        QCOMPARE(log.pendingCount(), 1);
    }
    QVERIFY(QDir().rmdir(today(QStringLiteral(".txt"))));
    QVERIFY(log.write(3, QStringLiteral("b\r\n")));
    QCOMPARE(readFile(today(QStringLiteral(".txt"))),
             block(1, QStringLiteral("a\r\n")) + block(3, QStringLiteral("b\r\n")));
}

// A write that runs out of room half-way is taken back: the file never holds
// part of a block, and the whole block goes out later.
void TestDailyLog::fullDiskLeavesNoPartialBlock()
{
    DailyLog log;
    const QString first = QStringLiteral("first\r\n");
    QVERIFY(log.write(0, first));
    const QString path = today(QStringLiteral(".txt"));
    const qint64 size = QFileInfo(path).size();
    const QString big = QString(200, QLatin1Char('x')) + QStringLiteral("\r\n");

    struct rlimit old;
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = rlim_t(size + 20); // room for 20 more bytes only
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool written = true;
    {
        MessageLog messages;
        written = log.write(1, big);
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);

    QVERIFY(!written);
    QCOMPARE(log.pendingCount(), 1);
    QCOMPARE(readFile(path), block(0, first));

    QVERIFY(log.write(2, QStringLiteral("third\r\n")));
    QCOMPARE(readFile(path), block(0, first) + block(1, big) + block(2, "third\r\n"));
}

// A block that waited over midnight goes into its own day's file.
void TestDailyLog::pendingBlockKeepsItsDay()
{
    QVERIFY(writeFile(QStringLiteral("log"), ""));
    DailyAppender file(QStringLiteral("./log"), QStringLiteral(".txt"));
    const QDate yesterday = QDate(2031, 12, 31);
    const QDate day = QDate(2032, 1, 1);
    QVERIFY(!file.append("late block\r\n", yesterday));
    QCOMPARE(file.lastFailure(), DailyAppender::DirectoryFailed);
    QVERIFY(QFile::remove(QStringLiteral("log")));
    QVERIFY(file.append("early block\r\n", day));
    QCOMPARE(readFile(QStringLiteral("log/2031-12-31.txt")), QByteArray("late block\r\n"));
    QCOMPARE(readFile(QStringLiteral("log/2032-01-01.txt")), QByteArray("early block\r\n"));
}

void TestDailyLog::whatCannotBeWrittenGoesToTheConsoleAtTheEnd()
{
    QVERIFY(writeFile(QStringLiteral("log"), ""));
    MessageLog messages;
    {
        DailyLog log;
        QVERIFY(!log.write(7, QStringLiteral("kept until the end\r\n")));
    }
    QCOMPARE(messages.count(QStringLiteral("1 daily log block(s) could not be written")), 1);
    QCOMPARE(messages.count(QStringLiteral("第7次测试开始:\r\nkept until the end\r\n")), 1);
}

void TestDailyLog::resultsHeaderOnceAndRowsAppended()
{
    ResultsCsv csv;
    QVERIFY(csv.write("r1\r\n"));
    QVERIFY(csv.write("r2\r\nr3\r\n"));
    const QByteArray bytes = readFile(today(QStringLiteral(".csv")));
    QCOMPARE(bytes, ResultsCsv::header() + "r1\r\nr2\r\nr3\r\n");
    QVERIFY(ResultsCsv::header().startsWith("date time,cycle,slot,device,port,mac,flash uid,"));
    QCOMPARE(ResultsCsv::header().count(','), 19);

    // Another program run appends to the same file without a second header.
    ResultsCsv again;
    QVERIFY(again.write("r4\r\n"));
    QCOMPARE(readFile(today(QStringLiteral(".csv"))).count("date time"), 1);
}

// A day's file begun by a station of another version (another header): the
// rows written now go under this station's header, once, and the day's
// yield reads the rows of both.
void TestDailyLog::resultsFileOfAnotherLayout()
{
    QVERIFY(QDir().mkpath(QStringLiteral("log")));
    const QByteArray older = "date time,slot,verdict\r\n2030-06-01 08:00:00,2,pass\r\n";
    QVERIFY(writeFile(today(QStringLiteral(".csv")), older));
    const QByteArray row = "2030-06-01 09:00:00,1,3,D,COM4,,,,,,,,,,,,,pass,pass,fail\r\n";
    {
        ResultsCsv csv;
        QVERIFY(csv.write(row));
        QVERIFY(csv.write(row));
    }
    ResultsCsv again; // the next start: the last header is this station's
    QVERIFY(again.write(row));
    const QByteArray bytes = readFile(today(QStringLiteral(".csv")));
    QCOMPARE(bytes, older + ResultsCsv::header() + row + row + row);

    const DayYield::Rows read = DayYield::read(bytes);
    QCOMPARE(read.unreadable, 0);
    QCOMPARE(read.entries.size(), 4);
    QCOMPARE(read.entries.first().verdict, YieldEntry::Pass);
    QCOMPARE(read.entries.last().verdict, YieldEntry::Fail);
}

void TestDailyLog::resultsRowFields()
{
    testPara_t para;
    para.devices << device(0, QStringLiteral("DUT0"), QStringLiteral("COM4"))
                 << device(5, QStringLiteral("A,\"B\""), QStringLiteral("COM9"))
                 << device(23, QStringLiteral("DUT23"), QStringLiteral("COM27"));
    QList<deviceTrace_t> traces;
    traces << deviceTrace_t{QStringLiteral("DUT0"), QStringLiteral("COM4"),
                            QStringLiteral("02:54:4b:00:00:11"),
                            QStringLiteral("0x00112233445566778899aabbccddeeff")}
           << deviceTrace_t{QStringLiteral("A,\"B\""), QStringLiteral("COM9"),
                            QStringLiteral("02:54:4b:00:00:12"), QString()}
           << deviceTrace_t{QStringLiteral("DUT23"), QStringLiteral("COM27"),
                            QStringLiteral("02:54:4b:00:00:13"), QStringLiteral("0xab")};
    testRestlt_t r;
    r.finished = 1;
    r.cycleStatus = STATUS_PASS;
    r.results << result(-40, -50, 1, -5) << result(0, 0, 0, 0, STATUS_FAIL, TX_NOT_RUN)
              << result(-10, -50, 2, 7);
    JudgeLimits limits;
    limits.rxRssiMax = -20;
    limits.rxRssiMin = -60;
    limits.freqMax = 10;
    limits.freqMin = -10;
    limits.txRssiMax = -30;
    limits.txRssiMin = -70;
    const CycleJudgement j = ResultJudge::judge(limits, CYCLE_ENDED, 3, r,
                                                {{0, "0", "0"}, {5, "0", "0"}, {23, "0", "0"}});

    const QDateTime when(QDate(2030, 6, 1), QTime(13, 4, 5));
    const QStringList lines = QString::fromUtf8(ResultsCsv::rows(when, 117, para, traces, r, j))
                                  .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.at(0), QStringLiteral("2030-06-01 13:04:05,117,0,DUT0,COM4,02:54:4b:00:00:11,"
                                         "0x00112233445566778899aabbccddeeff,-5,-43,-38,-40.45,-1,"
                                         "3,1.35,-51,-49,-50.30,pass,pass,pass"));
    // Never measured: no figure at all, not 0 dBm and a perfect 0 kHz.
    QCOMPARE(lines.at(1), QStringLiteral("2030-06-01 13:04:05,117,5,\"A,\"\"B\"\"\",COM9,"
                                         "02:54:4b:00:00:12,,,,,,,,,,,,fail,not run,error"));
    QCOMPARE(lines.at(2), QStringLiteral("2030-06-01 13:04:05,117,23,DUT23,COM27,"
                                         "02:54:4b:00:00:13,0xab,7,-13,-8,-10.45,0,4,2.35,-51,-49,"
                                         "-50.30,pass,pass,fail"));
}

// A cycle that did not finish still leaves a row per DUT it was given: what
// is known of it, and the verdict "not judged" (a station fault judges no
// DUT).
void TestDailyLog::resultsOfAnUnfinishedCycle()
{
    testPara_t para;
    para.devices << device(1, QStringLiteral("DUT1"), QStringLiteral("COM5"))
                 << device(2, QStringLiteral("DUT2"), QStringLiteral("COM6"));
    testRestlt_t r;
    r.finished = 0;
    const CycleJudgement j = ResultJudge::judge(JudgeLimits(), CYCLE_ENDED, 2, r, {});
    const QStringList lines =
        QString::fromUtf8(ResultsCsv::rows(QDateTime::currentDateTime(), 3, para, {}, r, j))
            .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    for (const QString &line : lines) {
        const QStringList fields = line.split(QLatin1Char(','));
        QCOMPARE(fields.size(), 20);
        QCOMPARE(fields.at(1), QStringLiteral("3"));
        QCOMPARE(fields.last(), QStringLiteral("not judged"));
        QVERIFY(fields.at(5).isEmpty());
        QVERIFY(fields.at(10).isEmpty());
    }
    QVERIFY(lines.at(1).contains(QStringLiteral(",2,DUT2,COM6,")));
}

void TestDailyLog::resultsPendingLikeTheLog()
{
    QVERIFY(writeFile(QStringLiteral("log"), ""));
    ResultsCsv csv;
    {
        MessageLog messages;
        QVERIFY(!csv.write("r1\r\n"));
        QCOMPARE(messages.count(QStringLiteral("1 cycle(s) of rows not written yet")), 1);
    }
    QVERIFY(QFile::remove(QStringLiteral("log")));
    QVERIFY(csv.write("r2\r\n"));
    QCOMPARE(readFile(today(QStringLiteral(".csv"))), ResultsCsv::header() + "r1\r\nr2\r\n");
}

QTEST_GUILESS_MAIN(TestDailyLog)
#include "tst_dailylog.moc"
