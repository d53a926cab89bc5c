// Transfer benchmark on the simulated station's paced serial link: Chipctl's
// YMODEM sender loading the ramcode into the boot ROM and writing a flash
// image through the ramcode, and lrzsz's sz sending the same ramcode, each
// against the time the wire itself needs. Prints a Markdown table.
//
//   build/bin/bench_transfers [--runs N] [--flash-runs N] [--flash-size BYTES]
//                             [--delivery MODEL] [--stationsim PATH] [--ramcode PATH]
//                             [--sz PATH]
#include "hostlink.h"
#include "simstation.h"
#include "szrelay.h"
#include "transfertable.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>

namespace {

constexpr quint32 ramcodeAddress = 0x20000000;
constexpr quint32 flashBaud = 1000000;

void setUtf8(QTextStream &stream)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    stream.setEncoding(QStringConverter::Utf8);
#else
    stream.setCodec("UTF-8");
#endif
}

QTextStream &err()
{
    static QTextStream stream(stderr);
    static const bool utf8 = (setUtf8(stream), true);
    Q_UNUSED(utf8)
    return stream;
}

bool copyFile(const QString &from, const QString &to)
{
    QFile::remove(to);
    return QFile::copy(from, to);
}

QByteArray flashImage(int size)
{
    QRandomGenerator generator(716);
    QByteArray bytes(size, '\0');
    for (char &c : bytes)
        c = char(generator.bounded(256));
    return bytes;
}

// One ramcode load with Chipctl's sender: reset into the boot ROM over
// `control`, load over `link`, check that the ramcode answers.
bool loadRamcode(HostLink &control, HostLink &link, const QString &image, TransferRow &row)
{
    control.resetIntoBootRom();
    QString answer;
    if (!link.protocol().getMode(answer) || answer != QLatin1String("TK716A")) {
        row.failure = QStringLiteral("the boot ROM did not answer");
        return false;
    }
    link.resetCounters();
    QElapsedTimer clock;
    clock.start();
    const bool ok = link.protocol().downloadRam(ramcodeAddress, image);
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    if (!ok) {
        row.failure = QStringLiteral("sender result %1").arg(link.protocol().lastTransferResult());
        return false;
    }
    row.seconds << seconds;
    row.hostToChip = link.sentBytes();
    row.chipToHost = link.receivedBytes();
    row.answers = link.answers();
    if (!link.protocol().getMode(answer) || answer != QLatin1String("RAMCODE")) {
        row.failure = QStringLiteral("the ramcode did not start");
        return false;
    }
    return true;
}

bool szLoadRamcode(HostLink &control, const QString &pty, const QString &sz, const QString &workDir,
                   qint64 imageSize, TransferRow &row)
{
    SzRelay relay;
    if (!relay.openPty(pty)) {
        row.failure = relay.errorText();
        return false;
    }
    control.resetIntoBootRom();
    const QByteArray command =
        "download [rambin] [0x20000000] [" + QByteArray::number(imageSize) + "]\r\n";
    QElapsedTimer clock;
    clock.start();
    const bool ok = relay.send(command, sz,
                               {QStringLiteral("--ymodem"), QStringLiteral("--1k"),
                                QStringLiteral("-q"), QStringLiteral("TK716A_RAM_BIN.bin")},
                               workDir, 60000);
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    if (!ok) {
        row.failure = relay.errorText();
        return false;
    }
    row.seconds << seconds;
    row.hostToChip = relay.sentBytes();
    row.chipToHost = relay.receivedBytes();
    row.answers = relay.answers();
    QString answer;
    if (!control.protocol().getMode(answer) || answer != QLatin1String("RAMCODE")) {
        row.failure = QStringLiteral("the ramcode did not start");
        return false;
    }
    return true;
}

// Flash writes: the ramcode is loaded once and switched to 1,000,000 baud;
// each run writes the image at address 0 with 16384-byte blocks.
bool writeFlash(HostLink &link, const QString &ramcode, const QString &image, int runs,
                TransferRow &row)
{
    TransferRow load;
    if (!loadRamcode(link, link, ramcode, load)) {
        row.failure = QStringLiteral("ramcode: ") + load.failure;
        return false;
    }
    if (!link.protocol().changeBaudRate(flashBaud)) {
        row.failure = QStringLiteral("no answer at %1 baud").arg(flashBaud);
        return false;
    }
    for (int run = 0; run < runs; ++run) {
        err() << "  flash run " << run + 1 << "/" << runs << Qt::endl;
        if (!link.protocol().setStartAddr(0)) {
            row.failure = QStringLiteral("start address refused");
            return false;
        }
        link.resetCounters();
        QElapsedTimer clock;
        clock.start();
        const bool ok = link.protocol().upgradeFile(image);
        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        if (!ok) {
            row.failure =
                QStringLiteral("sender result %1").arg(link.protocol().lastTransferResult());
            return false;
        }
        row.seconds << seconds;
        row.hostToChip = link.sentBytes();
        row.chipToHost = link.receivedBytes();
        row.answers = link.answers();
    }
    uint32_t count = 0;
    if (!link.protocol().getFileCount(count) || count != uint32_t(runs)) {
        row.failure = QStringLiteral("file count %1, expected %2").arg(count).arg(runs);
        return false;
    }
    link.protocol().changeBaudRate(115200);
    return true;
}

// Wire time of one link, counted at the host's baud rate in force when the
// bytes crossed (a baud switch moves both sides within the prescribed pause).
class WireClock : public QObject
{
public:
    explicit WireClock(HostLink &link)
    {
        connect(&link.protocol(), &tranProtocol::setBaudRate, this,
                [this](uint32_t rate) { baud = rate; });
        connect(&link.protocol(), &tranProtocol::sendData, this,
                [this](const QByteArray &data) { add(data.size()); });
        connect(&link.serial(), &Serial::recvSerialData, this,
                [this](const QByteArray &data) { add(data.size()); });
    }
    void reset() { seconds = 0.0; }
    double elapsed() const { return seconds; }

private:
    void add(int bytes) { seconds += double(bytes) * 10.0 / double(baud); }

    uint32_t baud = 115200;
    double seconds = 0.0;
};

// Flash reads into a file ("flash" "readbin"): the ramcode switches to
// 1,000,000 baud, sends each 512-byte chunk as a hex dump (three characters
// a byte, its CRC and framing) and switches back. The limit is the wire time
// of the bytes exchanged at the rate in force plus the two 100 ms pauses of
// the baud switches. The first file read must equal the image written.
bool readFlash(HostLink &link, const QString &path, const QByteArray &image, int runs,
               TransferRow &row)
{
    WireClock wire(link);
    for (int run = 0; run < runs; ++run) {
        err() << "  flash read run " << run + 1 << "/" << runs << Qt::endl;
        QString answer;
        if (!link.protocol().getMode(answer) || answer != QLatin1String("RAMCODE")) {
            row.failure = QStringLiteral("the ramcode does not answer");
            return false;
        }
        link.resetCounters();
        wire.reset();
        QElapsedTimer clock;
        clock.start();
        const bool ok = link.protocol().readToFile(0, uint32_t(image.size()), path);
        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        if (!ok) {
            row.failure = QStringLiteral("the read failed");
            return false;
        }
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || file.readAll() != image) {
            row.failure = QStringLiteral("the file read differs from the image written");
            return false;
        }
        row.seconds << seconds;
        row.hostToChip = link.sentBytes();
        row.chipToHost = link.receivedBytes();
        row.answers = link.answers();
        row.wireSeconds = wire.elapsed();
        row.pauseSeconds = 0.2;
    }
    return true;
}

// The flash the simulator stored must hold the image.
bool flashHolds(const QString &stateDir, const QByteArray &image)
{
    QFile file(stateDir + QStringLiteral("/dut01.flash"));
    return file.open(QIODevice::ReadOnly) && file.read(image.size()) == image;
}

TransferRow makeRow(const QString &sender, const QString &link, const QString &file, quint32 baud,
                    quint32 blockSize)
{
    TransferRow row;
    row.sender = sender;
    row.link = link;
    row.file = file;
    row.baud = baud;
    row.blockSize = blockSize;
    return row;
}

// What a chip's link holds back of every answer at least: the latency timer
// of its USB-serial adapter, which the simulator names at the start of the
// chip's wire trace; nothing for the other ways of delivery.
double linkDelaySeconds(const QString &tracePath)
{
    static const QRegularExpression usb(
        QStringLiteral("link delivers: usb \\(\\d+-byte packets, latency timer (\\d+) ms\\)"));
    QFile file(tracePath);
    if (!file.open(QIODevice::ReadOnly))
        return 0.0;
    for (int line = 0; line < 50 && !file.atEnd(); ++line) {
        const QString text = QString::fromUtf8(file.readLine());
        const QRegularExpressionMatch m = usb.match(text);
        if (m.hasMatch())
            return m.captured(1).toDouble() / 1000.0;
    }
    return 0.0;
}

QString verdict(bool met)
{
    return met ? QStringLiteral("met") : QStringLiteral("MISSED");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("YMODEM transfers on stationsim's paced link against the wire time"));
    parser.addHelpOption();
    const QCommandLineOption runsOption(QStringLiteral("runs"),
                                        QStringLiteral("runs of each ramcode transfer"),
                                        QStringLiteral("N"), QStringLiteral("7"));
    const QCommandLineOption flashRunsOption(QStringLiteral("flash-runs"),
                                             QStringLiteral("runs of the flash transfer"),
                                             QStringLiteral("N"), QStringLiteral("3"));
    const QCommandLineOption readRunsOption(QStringLiteral("read-runs"),
                                            QStringLiteral("runs of the flash read into a file"),
                                            QStringLiteral("N"), QStringLiteral("3"));
    const QCommandLineOption flashSizeOption(QStringLiteral("flash-size"),
                                             QStringLiteral("flash image size in bytes"),
                                             QStringLiteral("BYTES"), QString::number(1024 * 1024));
    const QCommandLineOption simOption(QStringLiteral("stationsim"),
                                       QStringLiteral("the simulator program"),
                                       QStringLiteral("PATH"), SimStation::defaultProgram());
    const QCommandLineOption ramcodeOption(QStringLiteral("ramcode"),
                                           QStringLiteral("the simulator's ramcode image"),
                                           QStringLiteral("PATH"), QStringLiteral(RAMCODE_IMAGE));
    const QCommandLineOption szOption(QStringLiteral("sz"), QStringLiteral("lrzsz's sz"),
                                      QStringLiteral("PATH"), QStringLiteral("sz"));
    const QCommandLineOption traceOption(
        QStringLiteral("sim-trace"),
        QStringLiteral("keep the simulator's wire traces in DIR (for finding gaps)"),
        QStringLiteral("DIR"));
    const QCommandLineOption deliveryOption(
        QStringLiteral("delivery"),
        QStringLiteral("how the simulated chips' bytes reach the host (stationsim --delivery)"),
        QStringLiteral("MODEL"), QStringLiteral("usb"));
    parser.addOptions({runsOption, flashRunsOption, readRunsOption, flashSizeOption, simOption,
                       ramcodeOption, szOption, traceOption, deliveryOption});
    parser.process(app);

    const int runs = qMax(1, parser.value(runsOption).toInt());
    const int flashRuns = qMax(0, parser.value(flashRunsOption).toInt());
    const int readRuns = qMax(0, parser.value(readRunsOption).toInt());
    const int flashSize = qBound(1, parser.value(flashSizeOption).toInt(), 2 * 1024 * 1024);

    QTemporaryDir dir;
    if (!dir.isValid()) {
        err() << "cannot create a temporary directory" << Qt::endl;
        return 2;
    }
    const QString configDir = dir.filePath(QStringLiteral("Config"));
    const QString workDir = dir.filePath(QStringLiteral("work"));
    const QString ptyDir = dir.filePath(QStringLiteral("tty"));
    QDir().mkpath(configDir);
    QDir().mkpath(workDir);
    const QString ramcode = workDir + QStringLiteral("/TK716A_RAM_BIN.bin");
    if (!copyFile(parser.value(ramcodeOption), ramcode) ||
        !copyFile(parser.value(ramcodeOption), configDir + QStringLiteral("/TK716A_RAM_BIN.bin"))) {
        err() << "cannot copy the ramcode image " << parser.value(ramcodeOption) << Qt::endl;
        return 2;
    }
    const qint64 ramcodeSize = QFile(ramcode).size();
    const QByteArray flash = flashImage(flashSize);
    const QString flashPath = workDir + QStringLiteral("/flash.bin");
    {
        QFile file(flashPath);
        if (!file.open(QIODevice::WriteOnly) || file.write(flash) != flash.size()) {
            err() << "cannot write " << flashPath << Qt::endl;
            return 2;
        }
    }

    SimStation sim(parser.value(simOption));
    // The traces name each chip's link, whose least delay is part of the limit.
    const QString traceDir = parser.isSet(traceOption) ? parser.value(traceOption)
                                                       : dir.filePath(QStringLiteral("trace"));
    const QStringList simArgs{QStringLiteral("--duts"),     QStringLiteral("2"),
                              QStringLiteral("--pty-dir"),  ptyDir,
                              QStringLiteral("--trace"),    traceDir,
                              QStringLiteral("--delivery"), parser.value(deliveryOption)};
    if (!sim.start(simArgs)) {
        err() << sim.errorText() << Qt::endl;
        return 2;
    }
    const double netLink = linkDelaySeconds(traceDir + QStringLiteral("/dut01.trace"));
    const double ptyLink = linkDelaySeconds(traceDir + QStringLiteral("/dut02.trace"));

    const QString ramName = QStringLiteral("ramcode, %1 KiB").arg(ramcodeSize / 1024);
    TransferRow ours =
        makeRow(QStringLiteral("Chipctl"), QStringLiteral("RFC 2217"), ramName, 115200, 1024);
    TransferRow oursPty =
        makeRow(QStringLiteral("Chipctl"), QStringLiteral("pty"), ramName, 115200, 1024);
    TransferRow peer =
        makeRow(QStringLiteral("sz --ymodem --1k"), QStringLiteral("pty"), ramName, 115200, 1024);
    TransferRow flashRow =
        makeRow(QStringLiteral("Chipctl"), QStringLiteral("RFC 2217"),
                QStringLiteral("flash image, %1 KiB").arg(flashSize / 1024), flashBaud, 16384);
    TransferRow readRow =
        makeRow(QStringLiteral("Chipctl"), QStringLiteral("RFC 2217"),
                QStringLiteral("flash readbin, %1 KiB").arg(flashSize / 1024), flashBaud, 512);
    ours.linkSeconds = flashRow.linkSeconds = readRow.linkSeconds = netLink;
    oursPty.linkSeconds = peer.linkSeconds = ptyLink;

    // The three ramcode loads take turns, so that a change in the machine's
    // load touches them alike.
    HostLink net(configDir);
    HostLink control(configDir);
    if (!net.open(sim.url(QStringLiteral("dut01"))) ||
        !control.open(sim.url(QStringLiteral("dut02")))) {
        err() << "cannot open the simulator's ports" << Qt::endl;
        return 2;
    }
    const QString pty = ptyDir + QStringLiteral("/dut02");
    for (int run = 0; run < runs; ++run) {
        err() << "ramcode run " << run + 1 << "/" << runs << Qt::endl;
        if (ours.failure.isEmpty())
            loadRamcode(net, net, ramcode, ours);
        if (oursPty.failure.isEmpty()) {
            HostLink local(configDir);
            if (local.open(pty))
                loadRamcode(control, local, ramcode, oursPty);
            else
                oursPty.failure = QStringLiteral("cannot open ") + pty;
        }
        if (peer.failure.isEmpty())
            szLoadRamcode(control, pty, parser.value(szOption), workDir, ramcodeSize, peer);
    }
    QList<TransferRow> rows{ours, oursPty, peer};
    if (flashRuns > 0) {
        err() << "flash image, " << flashRuns << " runs" << Qt::endl;
        if (writeFlash(net, ramcode, flashPath, flashRuns, flashRow) &&
            !flashHolds(sim.stateDir(), flash))
            flashRow.failure = QStringLiteral("the simulator's flash does not hold the image");
        rows << flashRow;
        if (readRuns > 0) {
            err() << "flash read into a file, " << readRuns << " runs" << Qt::endl;
            if (flashRow.measured())
                readFlash(net, workDir + QStringLiteral("/read.bin"), flash, readRuns, readRow);
            else
                readRow.failure = QStringLiteral("no image was written to read back");
            rows << readRow;
        }
    }
    sim.stop();

    QTextStream out(stdout);
    setUtf8(out);
    out << markdownTable(rows);
    out << "\nTargets: within 5 % of the wire-time limit, and no slower than sz. The flash "
           "read's limit is the wire time at the rate in force (the ramcode's hex dumps at "
           "1,000,000 baud, three characters a byte plus framing; the baud switches at 115200) "
           "plus the two 100 ms pauses of its baud switches; its block is the 512-byte chunk. "
           "Every limit also holds the link's least delay of each of the chip's answers (the "
           "chips' bytes delivered as \""
        << parser.value(deliveryOption)
        << "\": a USB-serial adapter's latency timer, 0 for the other models).\n\n";
    bool allMeasured = true;
    for (const TransferRow &row : std::as_const(rows)) {
        allMeasured = allMeasured && row.measured();
        if (row.measured() && row.sender == QLatin1String("Chipctl"))
            out << QStringLiteral("- %1, %2, %3: ratio %4 ≤ 1.05: %5\n")
                       .arg(row.sender, row.link, row.file)
                       .arg(row.ratio(), 0, 'f', 3)
                       .arg(verdict(row.ratio() <= 1.05));
    }
    if (peer.measured() && oursPty.measured())
        out << QStringLiteral("- Chipctl against sz on the same pty: ratio %1 ≤ %2: %3\n")
                   .arg(oursPty.ratio(), 0, 'f', 3)
                   .arg(peer.ratio(), 0, 'f', 3)
                   .arg(verdict(oursPty.ratio() <= peer.ratio()));
    return allMeasured ? 0 : 1;
}
