// The day's yield as the results file gives it: fields in quotes, rows
// that are none, the streak of a slot, a new day.
#include "dayyield.h"
#include "resultscsv.h"
#include "resultscsvreader.h"

#include <QtTest>

namespace {

QByteArray row(const QString &when, int slot, const QString &verdict, int crystal = 1,
               const QString &device = QStringLiteral("DUT"))
{
    return (when + QStringLiteral(",7,%1,%2,COM4,mac,uid,%3,-60,-40,-50,-3,3,1,-50,-40,-45,pass,"
                                  "pass,%4\r\n")
                       .arg(slot)
                       .arg(device)
                       .arg(crystal)
                       .arg(verdict))
        .toUtf8();
}

} // namespace

class TestDayYield : public QObject
{
    Q_OBJECT

private slots:
    void rowsOfTheResultsFile();
    void streaksAndDays();
    void rowsWrittenByTheStationReadBack();
    void everyFigureWrittenIsReadBack();
    void otherLayoutsAndUnreadableRows();
};

void TestDayYield::rowsOfTheResultsFile()
{
    const QString t = QStringLiteral("2030-06-01 13:04:05");
    const QByteArray csv = ResultsCsv::header() + row(t, 3, "pass", -5) +
                           row(t, 4, "fail", 2, QStringLiteral("\"A,\"\"B\"\"\"")) + "junk,,\r\n" +
                           row(t, 24, "pass") + row(t, 5, "maybe");
    const QList<YieldEntry> entries = DayYield::parse(csv);
    QCOMPARE(entries.size(), 2);
    QCOMPARE(entries.at(0).slot, 3);
    QCOMPARE(entries.at(0).verdict, YieldEntry::Pass);
    QVERIFY(entries.at(0).hasCrystal);
    QCOMPARE(entries.at(0).crystal, -5);
    QCOMPARE(entries.at(0).when, QDateTime(QDate(2030, 6, 1), QTime(13, 4, 5)));
    QCOMPARE(entries.at(1).slot, 4); // the quoted comma does not shift the fields
    QCOMPARE(entries.at(1).verdict, YieldEntry::Fail);
    // An older station's file: the averages as whole numbers.
    QCOMPARE(entries.at(1).means[FigureTable::FreqOffset], std::optional<double>(1));
    QCOMPARE(entries.at(1).means[FigureTable::TxRssi], std::optional<double>(-45));
}

// The rows the station writes read back as written: the means with their
// decimals, a DUT never measured with no figures (still counted as the
// failure it is), a DUT not judged in no count.
void TestDayYield::rowsWrittenByTheStationReadBack()
{
    testPara_t para;
    testRestlt_t result;
    result.finished = 1;
    result.cycleStatus = STATUS_PASS;
    QList<JudgeRow> rows;
    for (int slot = 0; slot < 3; ++slot) {
        deviceInfo_t d;
        d.name = QStringLiteral("DUT%1").arg(slot);
        d.slot = slot;
        para.devices << d;
        rows << JudgeRow{slot, QStringLiteral("0"), QStringLiteral("0")};
        deviceRestlt_t r;
        r.rxStatus = STATUS_PASS;
        r.txStatus = STATUS_PASS;
        r.rxMeasured = true;
        r.rxRssiMean = -40.45f;
        r.freqMean = -2.5f;
        r.txRssiMean = -50.25f;
        result.results << r;
    }
    result.results[1].rxStatus = STATUS_FAIL; // never answered
    result.results[1].txStatus = TX_NOT_RUN;
    result.results[1].rxMeasured = false;
    result.results[2].txStatus = TX_NOT_RUN; // an earlier DUT's TX step ended the cycle
    JudgeLimits limits;
    limits.rxRssiMin = limits.txRssiMin = -75;
    limits.rxRssiMax = limits.txRssiMax = -20;
    limits.freqMin = -10;
    limits.freqMax = 10;
    const CycleJudgement j = ResultJudge::judge(limits, CYCLE_ENDED, 3, result, rows);
    const QByteArray csv =
        ResultsCsv::header() +
        ResultsCsv::rows(QDateTime(QDate(2030, 6, 1), QTime(9, 0)), 0, para, {}, result, j);

    const QList<YieldEntry> entries = DayYield::parse(csv);
    QCOMPARE(entries.size(), 3);
    QCOMPARE(entries.at(0).verdict, YieldEntry::Pass);
    QCOMPARE(entries.at(0).means[FigureTable::RxRssi], std::optional<double>(-40.45));
    QCOMPARE(entries.at(0).means[FigureTable::FreqOffset], std::optional<double>(-2.5));
    QCOMPARE(entries.at(0).means[FigureTable::TxRssi], std::optional<double>(-50.25));
    QCOMPARE(entries.at(1).verdict, YieldEntry::Error);
    QVERIFY(!entries.at(1).means[FigureTable::RxRssi] &&
            !entries.at(1).means[FigureTable::FreqOffset] &&
            !entries.at(1).means[FigureTable::TxRssi]);
    QVERIFY(!entries.at(1).hasCrystal);
    QCOMPARE(entries.at(2).verdict, YieldEntry::NotJudged);
    QVERIFY(!entries.at(2).means[FigureTable::TxRssi]);

    DayYield yield;
    yield.add(entries);
    QCOMPARE(yield.passed(), 1u);
    QCOMPARE(yield.failed(), 1u);
    QCOMPARE(yield.values(DayYield::TxRssi), QVector<double>{-50.25});
}

void TestDayYield::streaksAndDays()
{
    DayYield yield(2);
    const QString day1 = QStringLiteral("2030-06-01 10:00:00");
    yield.add(DayYield::parse(row(day1, 0, "error") + row(day1, 0, "not judged") +
                              row(day1, 0, "fail") + row(day1, 1, "pass")));
    QVERIFY(yield.warns(0)); // not judged is the station's: the streak goes on
    QCOMPARE(yield.warningSlots(), QList<int>{0});
    QCOMPARE(yield.slot(0).failed, 2u);
    QCOMPARE(yield.values(DayYield::TxRssi).size(), 2); // the judged ones
    yield.add(DayYield::parse(row(day1, 0, "pass")));
    QVERIFY(!yield.warns(0));

    // Rows of an earlier day are left out; a later day starts afresh.
    yield.add(DayYield::parse(row(QStringLiteral("2030-05-31 23:59:59"), 2, "fail")));
    QCOMPARE(yield.slot(2).failed, 0u);
    yield.add(DayYield::parse(row(QStringLiteral("2030-06-02 00:00:01"), 1, "fail")));
    QCOMPARE(yield.day(), QDate(2030, 6, 2));
    QCOMPARE(yield.passed(), 0u);
    QCOMPARE(yield.failed(), 1u);
    QVERIFY(yield.crystals(1).size() == 1);
}

// Each figure of the figure table goes through the real writer into its own
// columns and is read back by their names: a figure the writer leaves out,
// or one written under another figure's header, shows here.
void TestDayYield::everyFigureWrittenIsReadBack()
{
    testPara_t para;
    deviceInfo_t d;
    d.name = QStringLiteral("DUT7");
    d.slot = 7;
    para.devices << d;
    testRestlt_t result;
    result.finished = 1;
    result.cycleStatus = STATUS_PASS;
    deviceRestlt_t r;
    r.rxStatus = STATUS_PASS;
    r.txStatus = STATUS_PASS;
    r.rxMeasured = true;
    const auto &figures = FigureTable::figures();
    for (std::size_t i = 0; i < figures.size(); ++i) {
        r.*figures[i].min = -int(i) - 10;
        r.*figures[i].max = int(i) + 10;
        r.*figures[i].mean = float(i) + 0.25f;
    }
    result.results << r;
    // No limits broken: every mean of the table lies within these.
    JudgeLimits limits;
    for (const FigureDefinition &f : figures) {
        if (f.lower && f.upper) {
            limits.*f.lower = -100;
            limits.*f.upper = 100;
        }
    }
    const CycleJudgement j =
        ResultJudge::judge(limits, CYCLE_ENDED, 1, result, {JudgeRow{7, "0", "0"}});
    QCOMPARE(j.passed, 1u);
    const QByteArray csv =
        ResultsCsv::header() +
        ResultsCsv::rows(QDateTime(QDate(2030, 6, 1), QTime(9, 0)), 4, para, {}, result, j);

    const DayYield::Rows read = DayYield::read(csv);
    QCOMPARE(read.unreadable, 0);
    QCOMPARE(read.entries.size(), 1);
    QCOMPARE(read.entries.first().slot, 7);
    ResultsCsvReader fields(csv);
    QVERIFY(fields.next());
    for (std::size_t i = 0; i < figures.size(); ++i) {
        const FigureDefinition &f = figures[i];
        QCOMPARE(read.entries.first().means[i], std::optional<double>(double(i) + 0.25));
        QCOMPARE(fields.value(f.header("min")), QString::number(-int(i) - 10));
        QCOMPARE(fields.value(f.header("max")), QString::number(int(i) + 10));
    }
    DayYield yield;
    yield.add(read.entries);
    for (std::size_t i = 0; i < figures.size(); ++i)
        QCOMPARE(yield.values(int(i)), QVector<double>{double(i) + 0.25});
}

// Files of other layouts read by their headers: an older station's (whole
// numbers), one with a column this station does not know, one put together
// from two. A row that fits no header is counted and named, not dropped.
void TestDayYield::otherLayoutsAndUnreadableRows()
{
    // The results file's layout is fixed: the files of every station rely on it.
    QCOMPARE(ResultsCsv::header(),
             QByteArray("date time,cycle,slot,device,port,mac,flash uid,crystal,rx rssi min,"
                        "rx rssi max,rx rssi avg,freq offset min,freq offset max,freq offset "
                        "avg,tx rssi min,tx rssi max,tx rssi avg,rx status,tx status,"
                        "verdict\r\n"));

    const QString t = QStringLiteral("2030-06-01 13:04:05");
    // A column before the figures and one at the end, the verdict moved.
    const QByteArray wider =
        "date time,line,cycle,slot,device,port,mac,flash uid,crystal,rx rssi min,rx rssi max,"
        "rx rssi avg,freq offset min,freq offset max,freq offset avg,tx rssi min,tx rssi max,"
        "tx rssi avg,rx status,tx status,verdict,tx power avg\r\n" +
        (t + QStringLiteral(",L2,7,3,DUT,COM4,mac,uid,-5,-60,-40,-50,-3,3,1.25,-50,-40,-45.5,"
                            "pass,pass,fail,17.5\r\n"))
            .toUtf8();
    DayYield::Rows read = DayYield::read(wider);
    QCOMPARE(read.unreadable, 0);
    QCOMPARE(read.entries.size(), 1);
    QCOMPARE(read.entries.first().slot, 3);
    QCOMPARE(read.entries.first().verdict, YieldEntry::Fail);
    QCOMPARE(read.entries.first().crystal, -5);
    QCOMPARE(read.entries.first().means[FigureTable::FreqOffset], std::optional<double>(1.25));
    QCOMPARE(read.entries.first().means[FigureTable::TxRssi], std::optional<double>(-45.5));

    // A row of today's layout appended under that header (a newer station
    // wrote it the same day) has one field fewer: unreadable, and said so.
    // A header row further down sets the layout of the rows after it.
    const QByteArray joined = wider + row(t, 4, "pass") + ResultsCsv::header() + row(t, 5, "pass") +
                              row(t, 6, "pass").replace(",pass\r\n", ",pass,x\r\n");
    read = DayYield::read(joined);
    QCOMPARE(read.entries.size(), 2);
    QCOMPARE(read.entries.at(1).slot, 5);
    QCOMPARE(read.unreadable, 2);
    QCOMPARE(read.problems.size(), 2);
    QVERIFY2(read.problems.first().startsWith(QStringLiteral("line 3: 20 field(s)")),
             qPrintable(read.problems.first()));
    QVERIFY2(read.problems.last().startsWith(QStringLiteral("line 6: 21 field(s)")),
             qPrintable(read.problems.last()));

    // A file without a column the yield needs reads no row, and says so.
    const QByteArray noVerdict = "date time,slot\r\n" + (t + QStringLiteral(",1\r\n")).toUtf8();
    read = DayYield::read(noVerdict);
    QCOMPARE(read.entries.size(), 0);
    QCOMPARE(read.unreadable, 1);
}

QTEST_GUILESS_MAIN(TestDayYield)
#include "tst_dayyield.moc"
