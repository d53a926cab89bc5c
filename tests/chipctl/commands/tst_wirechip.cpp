// The Chipctl program against a chip on a pseudo-terminal that answers the
// way a real line delivers: a byte at a time at the wire speed of 115200
// baud, and the tail of an answer a moment after its head (an adapter that
// passes the bytes on in packets).
#include "chipctlrun.h"

#include <QFile>
#include <QRegularExpression>
#include <QtTest>

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
const QByteArray dump = "\r\n10 11 12 13 c6 9c ";
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

QTEST_GUILESS_MAIN(TestWireChip)
#include "tst_wirechip.moc"
