// The Chipctl program against a chip on a pseudo-terminal that answers the
// way a real line delivers: a byte at a time at the wire speed of 115200
// baud, and the tail of an answer a moment after its head (an adapter that
// passes the bytes on in packets).
#include "chipctlrun.h"

#include <QFile>
#include <QRegularExpression>
#include <QtTest>

#include <sys/stat.h>

#include <memory>
#include <vector>

namespace {

constexpr int wireByteUs = 87;
constexpr int tailPauseMs = 15;

QByteArray lines(const QByteArray &line, int count)
{
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out += line;
    return out;
}

// The ramcode's hex dump of 10 11 12 13 and its CRC-16.
const QByteArray dump = "\r\n10 11 12 13 28 b7 ";
const QByteArray rxLine = "freq=0.5,rssi=-41\r\n";

// The ramcode, answering a byte at a time. Its "version" answer goes on
// after "RAMCODE" with its version and "pppp", and the tail of that line
// arrives late; so does the end of the last RF line. Every answer ends with
// the line that completes it, as the ramcode's answers do: a host that
// waits for whole answers is not misled by a test machine that stalls this
// chip at a line end.
QList<QByteArray> ramcode(const QByteArray &line)
{
    if (line == "version\r\n")
        return {"\r\nRAMCODE", " V1.0 pppp\r\n"};
    if (line == "get_mac_in_flash_otp\r\n")
        return {"\r\n00:11:22:33:44:55\r\npppp\r\n"};
    if (line == "get_xtal_cap_in_flash_otp\r\n")
        return {"\r\nxtal_cap:-3\r\npppp\r\n"};
    if (line == "flash_read 0x10 0x4\r\n")
        return {dump};
    if (line.startsWith("start_s_rx_test "))
        return {lines(rxLine, 19) + "freq=0.5,rssi=", "-41\r\n"};
    return {};
}

} // namespace

class TestWireChip : public QObject
{
    Q_OBJECT
private slots:
    void commandsPrintWholeAnswers_data();
    void commandsPrintWholeAnswers();
    void hangUpEndsTheCommandAtOnce();
    void traceRecordsEveryRun();
    void wrongValuesAreFailures();
    void traceShowsAWrongValue();
    void unusableTraceChangesNothing_data();
    void unusableTraceChangesNothing();
};

void TestWireChip::commandsPrintWholeAnswers_data()
{
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QByteArray>("output");
    QTest::newRow("mac read") << QStringList{"mac", "read"}
                              << QByteArray("mac:00:11:22:33:44:55\r\nOk.");
    QTest::newRow("flash read") << QStringList{"flash", "read", "0x10", "0x4"}
                                << QByteArray("flash data:10 11 12 13\nOk.");
    QTest::newRow("xtal_cap read")
        << QStringList{"xtal_cap", "read"} << QByteArray("xtal_cap:-3\nOk.");
    QTest::newRow("rx_dut") << QStringList{"rx_dut", "3000", "6"}
                            << "result:\n" + lines(rxLine.chopped(1) + "\n", 20) + "Ok.";
}

void TestWireChip::commandsPrintWholeAnswers()
{
    QFETCH(QStringList, words);
    QFETCH(QByteArray, output);
    ChipctlCopy tool;
    QVERIFY(tool.isValid());
    PtyChip chip;
    QVERIFY(chip.isValid());
    chip.setPacedResponder(ramcode, wireByteUs, tailPauseMs);
    const ChipctlResult r = tool.run(QStringList{chip.path()} + words, &chip);
    QCOMPARE(r.out, output);
}

// A port that hangs up mid-command (the other side of the pseudo-terminal
// closes) ends the command with its failure text, not at the end of its
// 60 s wait for RF results.
void TestWireChip::hangUpEndsTheCommandAtOnce()
{
    ChipctlCopy tool;
    QVERIFY(tool.isValid());
    PtyChip chip;
    QVERIFY(chip.isValid());
    chip.setPacedResponder(
        [&chip](const QByteArray &line) {
            if (!line.startsWith("start_s_rx_test "))
                return ramcode(line);
            chip.hangUp();
            return QList<QByteArray>();
        },
        wireByteUs, tailPauseMs);
    const ChipctlResult r = tool.run({chip.path(), "rx_dut", "60000", "6"}, &chip, 20000);
    QCOMPARE(r.out, QByteArray("Fail. Command execution error."));
    QCOMPARE(r.status, 0);
}

// With CHIPCTL_TRACE set, each run appends its header, the bytes both ways
// with their times, and each answer's verdict with its rule.
void TestWireChip::traceRecordsEveryRun()
{
    ChipctlCopy tool;
    QVERIFY(tool.isValid());
    PtyChip chip;
    QVERIFY(chip.isValid());
    chip.setPacedResponder(ramcode, wireByteUs, tailPauseMs);
    const QString path = tool.dir() + QStringLiteral("/trace.txt");
    qputenv("CHIPCTL_TRACE", QFile::encodeName(path));
    const ChipctlResult first = tool.run({chip.path(), "xtal_cap", "read"}, &chip);
    const ChipctlResult second = tool.run({chip.path(), "xtal_cap", "write", "ram", "x"}, &chip);
    qunsetenv("CHIPCTL_TRACE");
    QCOMPARE(first.out, QByteArray("xtal_cap:-3\nOk."));
    QCOMPARE(second.out, QByteArray("Fail. Error parsing parameters."));

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString trace = QString::fromUtf8(file.readAll());
    QCOMPARE(trace.count(QRegularExpression(QStringLiteral("^# Chipctl run .* xtal_cap read$"),
                                            QRegularExpression::MultilineOption)),
             1);
    QCOMPARE(
        trace.count(QRegularExpression(QStringLiteral("^# Chipctl run .* xtal_cap write ram x$"),
                                       QRegularExpression::MultilineOption)),
        1);
    const QStringList firstRun = trace.section(QStringLiteral("\n# Chipctl run"), 0, 0)
                                     .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    // Every byte in both directions: the received ones may come in any
    // pieces, so they are joined before they are compared.
    QString sent;
    QString received;
    double last = 0;
    for (const QString &line : firstRun.mid(1)) {
        const QStringList fields = line.simplified().split(QLatin1Char(' '));
        QVERIFY2(fields.size() >= 2, qPrintable(line));
        bool ok = false;
        const double at = fields.at(0).toDouble(&ok);
        QVERIFY2(ok && at >= last, qPrintable(line));
        last = at;
        const QString rest = line.section(QLatin1Char(' '), 1);
        if (fields.at(1) == QLatin1String(">"))
            sent += rest.mid(2);
        else if (fields.at(1) == QLatin1String("<"))
            received += rest.mid(2);
    }
    QCOMPARE(sent, QStringLiteral("version\\r\\nget_xtal_cap_in_flash_otp\\r\\n"));
    QCOMPARE(received, QStringLiteral("\\r\\nRAMCODE V1.0 pppp\\r\\n"
                                      "\\r\\nxtal_cap:-3\\r\\npppp\\r\\n"));
    QVERIFY(firstRun.filter(QRegularExpression(QStringLiteral("= version: accepted$"))).size() ==
            1);
    QVERIFY(
        firstRun.filter(QRegularExpression(QStringLiteral("= tagged value: accepted$"))).size() ==
        1);
}

namespace {

// Answers whose value came over the line damaged: a flipped bit, a byte that
// is no hex digit, a 0x00 that cuts the text short. Each command is paired
// with the answer its chip gives; everything else is the ramcode's.
struct WrongValue
{
    const char *name;
    QStringList words;
    QByteArray command;
    QByteArray answer;
};

// `before`, a 0x00 and `after`.
QByteArray cutByNul(const char *before, const char *after)
{
    return QByteArray(before) + '\0' + QByteArray(after);
}

const QList<WrongValue> wrongValues = {
    {"flash read: one bit flipped in the data (13 read as 93)",
     {"flash", "read", "0x10", "0x4"},
     "flash_read 0x10 0x4\r\n",
     "\r\n10 11 12 93 28 b7 "},
    {"flash read: a byte that is no hex",
     {"flash", "read", "0x10", "0x4"},
     "flash_read 0x10 0x4\r\n",
     "\r\n10 11 fg 13 28 b7 "},
    {"flash otp read: one bit flipped in the CRC",
     {"flash", "otp", "read", "0x10", "0x4"},
     "flash_otp_read 16 4\r\n",
     "\r\n10 11 12 13 28 b6 "},
    {"uuid cut by a 0x00",
     {"uuid"},
     "flash_uid\r\n",
     cutByNul("flash_uid\r\nflash uid:0xe5b", "f8c726770e70d0ecf4ed39dec5dd5\r\npppp\r\n")},
    {"efuse read cut by a 0x00",
     {"efuse", "read", "3"},
     "efuse_read 3\r\n",
     cutByNul("efuse_read 3\r\nefuse data:0x12", "345678\r\npppp\r\n")},
    {"gpio read: a 0x00 for the level",
     {"gpio", "read", "A1"},
     "gpio_read A1\r\n",
     cutByNul("\r\ngpio val:0x", "\r\npppp\r\n")},
    {"mac read cut by a 0x00",
     {"mac", "read"},
     "get_mac_in_flash_otp\r\n",
     cutByNul("\r\n0a:1b", ":2c:3d:4e:5f\r\npppp\r\n")},
    {"mac read: a group that is no hex",
     {"mac", "read"},
     "get_mac_in_flash_otp\r\n",
     "\r\n0a:1b:2c:3d:4e:zz\r\npppp\r\n"},
};

QByteArray visible(QByteArray text)
{
    return text.replace('\r', "\\r").replace('\n', "\\n").replace('\0', "\\0");
}

} // namespace

// A damaged value is no answer: the command waits for a good one until its
// time is up and fails, instead of printing the damage with "Ok.". The runs
// go on at the same time, since each waits out its bound (10 s for a value,
// 1 s for a dump).
void TestWireChip::wrongValuesAreFailures()
{
    ChipctlCopy tool;
    QVERIFY(tool.isValid());
    std::vector<std::unique_ptr<PtyChip>> chips;
    QList<QStringList> runs;
    QList<PtyChip *> served;
    for (const WrongValue &c : wrongValues) {
        chips.push_back(std::make_unique<PtyChip>());
        PtyChip &chip = *chips.back();
        QVERIFY(chip.isValid());
        chip.setResponder([c](const QByteArray &line) {
            if (line == c.command)
                return c.answer;
            return line == "version\r\n" ? QByteArray("\r\nTK716A RAMCODE\r\n") : QByteArray();
        });
        runs.append(QStringList{chip.path()} + c.words);
        served.append(&chip);
    }
    const QList<ChipctlResult> results = tool.runTogether(runs, served);
    QCOMPARE(results.size(), wrongValues.size());
    // The probe before the command: more than one when a busy PC held the
    // simulated chip's answer back past a probe's wait, as a slow chip may.
    const auto probesThen = [](QByteArray sent, const QByteArray &command) {
        int probes = 0;
        for (; sent.startsWith("version\r\n"); ++probes)
            sent.remove(0, 9);
        return probes >= 1 && sent == command;
    };
    QByteArray wrong;
    for (int i = 0; i < results.size(); ++i) {
        const ChipctlResult &r = results.at(i);
        if (r.out != "Fail. Command execution error." ||
            !probesThen(r.sentToChip, wrongValues.at(i).command))
            wrong += QByteArray("\n  ") + wrongValues.at(i).name + ": printed " + visible(r.out) +
                     ", sent " + visible(r.sentToChip);
    }
    QVERIFY2(wrong.isEmpty(), wrong.constData());
}

// The trace shows why a whole answer was not taken, then the wait's end.
void TestWireChip::traceShowsAWrongValue()
{
    ChipctlCopy tool;
    QVERIFY(tool.isValid());
    PtyChip chip;
    QVERIFY(chip.isValid());
    const WrongValue &flipped = wrongValues.first();
    chip.setResponder([&flipped](const QByteArray &line) {
        return line == flipped.command ? flipped.answer : QByteArray("\r\nTK716A RAMCODE\r\n");
    });
    const QString path = tool.dir() + QStringLiteral("/trace.txt");
    qputenv("CHIPCTL_TRACE", QFile::encodeName(path));
    const ChipctlResult r = tool.run(QStringList{chip.path()} + flipped.words, &chip);
    qunsetenv("CHIPCTL_TRACE");
    QCOMPARE(r.out, QByteArray("Fail. Command execution error."));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList verdicts = QString::fromUtf8(file.readAll())
                                     .split(QLatin1Char('\n'))
                                     .filter(QRegularExpression(QStringLiteral("^[0-9.]+ = ")));
    QCOMPARE(verdicts.size(), 3);
    QVERIFY2(verdicts.at(1).endsWith(QLatin1String(" = hex dump: malformed")),
             qPrintable(verdicts.join(QLatin1Char('|'))));
    QVERIFY2(verdicts.at(2).endsWith(QLatin1String(" = hex dump: timed out")),
             qPrintable(verdicts.join(QLatin1Char('|'))));
}

void TestWireChip::unusableTraceChangesNothing_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("said");
    // With no reader a FIFO blocked the run for good at its first line.
    QTest::newRow("fifo") << "fifo"
                          << "is not a regular file";
    QTest::newRow("directory") << "dir"
                               << "is not a regular file";
    QTest::newRow("missing folder") << "none/trace.txt"
                                    << "cannot write the trace";
}

// A trace target that is no regular file, or cannot be made, is refused
// with one line on standard error; the run's output is the same as without
// a trace.
void TestWireChip::unusableTraceChangesNothing()
{
    QFETCH(QString, target);
    QFETCH(QString, said);
    ChipctlCopy tool;
    QVERIFY(tool.isValid());
    QVERIFY(::mkfifo(QFile::encodeName(tool.dir() + QStringLiteral("/fifo")).constData(), 0600) ==
            0);
    QVERIFY(QDir(tool.dir()).mkdir(QStringLiteral("dir")));
    PtyChip chip;
    QVERIFY(chip.isValid());
    chip.setPacedResponder(ramcode, wireByteUs, tailPauseMs);
    const QString path = tool.dir() + QLatin1Char('/') + target;
    qputenv("CHIPCTL_TRACE", QFile::encodeName(path));
    const ChipctlResult r = tool.run({chip.path(), "xtal_cap", "read"}, &chip, 20000);
    qunsetenv("CHIPCTL_TRACE");
    QCOMPARE(r.out, QByteArray("xtal_cap:-3\nOk."));
    QCOMPARE(r.status, 0);
    const QStringList err = QString::fromUtf8(r.err).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(err.size(), 1);
    QVERIFY2(err.first().contains(said) && err.first().contains(path), qPrintable(err.first()));
}

QTEST_GUILESS_MAIN(TestWireChip)
#include "tst_wirechip.moc"
