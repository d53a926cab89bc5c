// The Chipctl program as a caller sees it: the words of the command line,
// the output, and the exit status. Each test runs its own copy of the
// program in a temporary directory, so the chip information file it
// creates is its own.
#include "numparse.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The master side of a pseudo-terminal standing in for a chip.
class PtyChip
{
public:
    PtyChip()
    {
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return;
        termios tio{};
        tcgetattr(master, &tio);
        cfmakeraw(&tio);
        tcsetattr(master, TCSANOW, &tio);
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        path = QString::fromLocal8Bit(name);
    }
    ~PtyChip()
    {
        if (slave >= 0)
            ::close(slave);
        if (master >= 0)
            ::close(master);
    }
    QByteArray take()
    {
        QByteArray got;
        char buf[256];
        ssize_t n;
        while ((n = ::read(master, buf, sizeof buf)) > 0)
            got.append(buf, int(n));
        return got;
    }
    void answer(const QByteArray &bytes)
    {
        if (::write(master, bytes.constData(), size_t(bytes.size())) < 0)
            qWarning("pty write failed");
    }
    int master = -1;
    int slave = -1;
    QString path;
};

struct Run
{
    QByteArray out;
    QByteArray err;
    int status = -1;
    QByteArray sentToChip;
};

class Chipctl
{
public:
    Chipctl()
    {
        program = dir.path() + "/Chipctl";
        QFile::copy(QStringLiteral(CHIPCTL_BIN), program);
    }

    // Runs the program; while it runs, `reply` answers each "version\r\n"
    // it sends to the pty chip (when given).
    // `launcher` (when given) starts the program, for example as another
    // user.
    Run run(const QStringList &args, PtyChip *chip = nullptr, const QByteArray &reply = {},
            const QStringList &launcher = {})
    {
        QProcess p;
        if (launcher.isEmpty())
            p.start(program, args);
        else
            p.start(launcher.first(), launcher.mid(1) + QStringList{program} + args);
        Run r;
        if (!p.waitForStarted(5000))
            return r;
        QByteArray pending;
        while (!p.waitForFinished(5)) {
            if (!chip)
                continue;
            const QByteArray got = chip->take();
            r.sentToChip += got;
            pending += got;
            int at;
            while ((at = pending.indexOf("version\r\n")) >= 0) {
                pending.remove(0, at + 9);
                if (!reply.isEmpty())
                    chip->answer(reply);
            }
            if (p.state() == QProcess::NotRunning)
                break;
        }
        if (chip)
            r.sentToChip += chip->take();
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        return r;
    }

    QString configFile() const { return dir.path() + "/Config/chip_info.json"; }

    QTemporaryDir dir;
    QString program;
};

const QByteArray parseFail = "Fail. Error parsing parameters.";

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void versionIgnoresFurtherWordsAndTouchesNoPort();
    void portThatCannotBeOpened_data();
    void portThatCannotBeOpened();
    void shortOrBadCommandLines_data();
    void shortOrBadCommandLines();
    void modeWithOtherWordSendsNothing();
    void modeReadNamesWhatAnswered_data();
    void modeReadNamesWhatAnswered();
    void modeReadOfAnotherChipPrintsOnlyOk();
    void modeReadAgainstSilentChip();
    void lineCommandsSucceed_data();
    void lineCommandsSucceed();
    void chipInfoFileCreatedBesideTheProgram();
    void numberWords_data();
    void numberWords();
    void chipInfoTheOperatorMayNotWrite_data();
    void chipInfoTheOperatorMayNotWrite();
};

void TestCommandLine::versionIgnoresFurtherWordsAndTouchesNoPort()
{
    Chipctl tool;
    const Run r = tool.run({"version", "mode", "read", "extra"});
    QCOMPARE(r.out, QByteArray("V1.0.16\nOk."));
    QCOMPARE(r.err, QByteArray());
    QCOMPARE(r.status, 0);
    QVERIFY(QFile::exists(tool.configFile()));
}

void TestCommandLine::portThatCannotBeOpened_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("missing device") << QStringList{"/dev/no-such-tty", "mode", "read"};
    QTest::newRow("unknown command on missing port") << QStringList{"COM999", "bogus"};
    QTest::newRow("not a serial device") << QStringList{"/dev/null", "mode", "read"};
}

void TestCommandLine::portThatCannotBeOpened()
{
    QFETCH(QStringList, args);
    Chipctl tool;
    const Run r = tool.run(args);
    QCOMPARE(r.out, QByteArray("Fail. Could not open the serial port."));
    QCOMPARE(r.err, QByteArray());
    QCOMPARE(r.status, 0);
}

void TestCommandLine::shortOrBadCommandLines_data()
{
    QTest::addColumn<QStringList>("words"); // after the port
    QTest::newRow("port only") << QStringList{};
    QTest::newRow("unknown command") << QStringList{"bogus"};
    QTest::newRow("command in wrong case") << QStringList{"MODE", "read"};
    QTest::newRow("mode without form") << QStringList{"mode"};
    QTest::newRow("rts without value") << QStringList{"rts"};
    QTest::newRow("dtr without value") << QStringList{"dtr"};
    QTest::newRow("rts not hex") << QStringList{"rts", "zz"};
    QTest::newRow("dtr negative") << QStringList{"dtr", "-1"};
    QTest::newRow("usb_io short") << QStringList{"usb_io", "0", "1", "64"};
    QTest::newRow("usb_io long") << QStringList{"usb_io", "0", "1", "64", "1", "1", "0", "9"};
    QTest::newRow("usb_io bad pause") << QStringList{"usb_io", "0", "1", "xx", "1", "1", "0"};
    QTest::newRow("usb_io bad level") << QStringList{"usb_io", "0", "1", "64", "1", "g", "0"};
}

void TestCommandLine::shortOrBadCommandLines()
{
    QFETCH(QStringList, words);
    PtyChip chip;
    Chipctl tool;
    const Run r = tool.run(QStringList{chip.path} + words, &chip);
    QCOMPARE(r.out, parseFail);
    QCOMPARE(r.sentToChip, QByteArray());
    QCOMPARE(r.status, 0);
}

void TestCommandLine::modeWithOtherWordSendsNothing()
{
    PtyChip chip;
    Chipctl tool;
    const Run r = tool.run({chip.path, "mode", "write"}, &chip, "RAMCODE\r\n");
    QCOMPARE(r.out, QByteArray("Ok."));
    QCOMPARE(r.sentToChip, QByteArray());
}

void TestCommandLine::modeReadNamesWhatAnswered_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("out");
    QTest::newRow("boot rom") << QByteArray("TK716A ROM Mar 14 2021/00:23:32\r\n")
                              << QByteArray("BOOT MODE.\nOk.");
    QTest::newRow("ramcode") << QByteArray("TK716A RAMCODE\r\n")
                             << QByteArray("RAMCODE MODE.\nOk.");
    // Another known chip answers: no data line, only the result.
    QTest::newRow("other chip") << QByteArray("Aug  9 2021/16:16:40\r\n") << QByteArray("Ok.");
}

void TestCommandLine::modeReadNamesWhatAnswered()
{
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, out);
    PtyChip chip;
    Chipctl tool;
    const Run r = tool.run({chip.path, "mode", "read"}, &chip, reply);
    QCOMPARE(r.out, out);
    QCOMPARE(r.sentToChip, QByteArray("version\r\n"));
    QCOMPARE(r.status, 0);
}

void TestCommandLine::modeReadOfAnotherChipPrintsOnlyOk()
{
    PtyChip chip;
    Chipctl tool;
    QDir().mkpath(tool.dir.path() + "/Config");
    QFile f(tool.configFile());
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("{\"TK999\": \"Mar 14 2021/00:23:32\"}");
    f.close();
    const Run r = tool.run({chip.path, "mode", "read"}, &chip, "Mar 14 2021/00:23:32\r\n");
    QCOMPARE(r.out, QByteArray("Ok."));
}

void TestCommandLine::modeReadAgainstSilentChip()
{
    PtyChip chip;
    Chipctl tool;
    const Run r = tool.run({chip.path, "mode", "read"}, &chip);
    QCOMPARE(r.out, QByteArray("Fail. Could not go in download mode."));
    QCOMPARE(r.sentToChip, QByteArray("version\r\n"));
}

void TestCommandLine::lineCommandsSucceed_data()
{
    QTest::addColumn<QStringList>("words");
    QTest::newRow("rts any non-zero") << QStringList{"rts", "5"};
    QTest::newRow("rts hex with prefix") << QStringList{"rts", "0x0"};
    QTest::newRow("dtr") << QStringList{"dtr", "1", "ignored"};
    QTest::newRow("usb_io") << QStringList{"usb_io", "0", "1", "64", "1", "1", "0"};
    QTest::newRow("entry_boot_mode") << QStringList{"entry_boot_mode"};
}

void TestCommandLine::lineCommandsSucceed()
{
    QFETCH(QStringList, words);
    PtyChip chip; // a pty has no modem lines: the commands still succeed
    Chipctl tool;
    const Run r = tool.run(QStringList{chip.path} + words, &chip);
    QCOMPARE(r.out, QByteArray("Ok."));
    QCOMPARE(r.sentToChip, QByteArray());
    QCOMPARE(r.status, 0);
}

void TestCommandLine::chipInfoFileCreatedBesideTheProgram()
{
    Chipctl tool;
    QVERIFY(!QFile::exists(tool.configFile()));
    tool.run({"/dev/no-such-tty", "mode", "read"});
    QFile f(tool.configFile());
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("{\n    \"TK602C\": \"Aug  9 2021/16:16:40\",\n"
                                     "    \"TK716A\": \"Mar 14 2021/00:23:32\"\n}\n"));
    f.close();
    // An unwritable Config directory: no crash, the run goes on with the
    // built-in chips.
    QVERIFY(QFile::remove(tool.configFile()));
    QFile::setPermissions(tool.dir.path() + "/Config", QFile::ReadOwner | QFile::ExeOwner);
    PtyChip chip;
    const Run r = tool.run({chip.path, "mode", "read"}, &chip, "Mar 14 2021/00:23:32\r\n");
    QFile::setPermissions(tool.dir.path() + "/Config",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (::geteuid() != 0) // root writes anyway
        QVERIFY(!QFile::exists(tool.configFile()));
    QCOMPARE(r.out, QByteArray("BOOT MODE.\nOk."));
}

void TestCommandLine::numberWords_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<bool>("isHex");
    QTest::addColumn<bool>("isDec");
    QTest::addColumn<bool>("isSignedDec");
    QTest::addColumn<uint>("hexValue");
    QTest::addColumn<int>("decValue");
    QTest::newRow("plain") << "12" << true << true << true << 0x12u << 12;
    QTest::newRow("hex with prefix") << "0x1F" << true << false << false << 0x1fu << 0;
    QTest::newRow("negative") << "-5" << false << false << true << 0u << -5;
    QTest::newRow("ASCII spaces") << " 7\t" << true << true << true << 7u << 7;
    // Typed at a Chinese prompt: a full-width space, a no-break space.
    QTest::newRow("wide spaces") << QStringLiteral("\u30000x20\u3000") << true << false << false
                                 << 0x20u << 0;
    QTest::newRow("no-break space")
        << QStringLiteral("-9\u00a0") << false << false << true << 0u << -9;
    QTest::newRow("full-width digits")
        << QStringLiteral("\uff11\uff12") << false << false << false << 0u << 0;
    QTest::newRow("past 32 bits") << "4294967296" << false << false << false << 0u << 0;
    QTest::newRow("empty") << "" << false << false << false << 0u << 0;
}

// Number words read alike whichever Qt the tool was built with.
void TestCommandLine::numberWords()
{
    QFETCH(QString, word);
    QFETCH(bool, isHex);
    QFETCH(bool, isDec);
    QFETCH(bool, isSignedDec);
    QFETCH(uint, hexValue);
    QFETCH(int, decValue);
    uint32_t u = 0;
    int32_t s = 0;
    QCOMPARE(numparse::hex(word, u), isHex);
    if (isHex)
        QCOMPARE(u, hexValue);
    u = 0;
    QCOMPARE(numparse::dec(word, u), isDec);
    if (isDec)
        QCOMPARE(int(u), decValue);
    QCOMPARE(numparse::signedDec(word, s), isSignedDec);
    if (isSignedDec)
        QCOMPARE(s, decValue);
    QCOMPARE(numparse::uncheckedSignedDec(word), isSignedDec ? decValue : 0);
}

// A station installed by one user and run by another, who may read the
// program's Config directory but not write it: the chip information file
// is read all the same, and the boot ROM is recognised. Without the file the
// built-in chips serve, and standard error (never standard output) says that
// the file could not be written.
void TestCommandLine::chipInfoTheOperatorMayNotWrite_data()
{
    QTest::addColumn<bool>("present");
    QTest::newRow("file present") << true;
    QTest::newRow("file missing") << false;
}

void TestCommandLine::chipInfoTheOperatorMayNotWrite()
{
    QFETCH(bool, present);
    Chipctl tool;
    const QString config = tool.dir.path() + "/Config";
    QVERIFY(QDir().mkpath(config));
    // The operator's own list: one chip.
    const QByteArray contents = "{\n    \"TK716A\": \"Mar 14 2021/00:23:32\"\n}\n";
    if (present) {
        QFile f(tool.configFile());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(contents);
    }
    PtyChip chip;
    const QFile::Permissions readable = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
    const QFile::Permissions enterable =
        readable | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
    QStringList launcher;
    if (::geteuid() == 0) {
        // Root writes anyway: the run is made as the unprivileged user
        // "nobody", to whom the files are the installer's.
        if (QStandardPaths::findExecutable("setpriv").isEmpty())
            QSKIP("setpriv (util-linux) is needed to run as another user");
        launcher = QStringList{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
        QFile::setPermissions(tool.dir.path(), enterable | QFile::WriteOwner);
        QFile::setPermissions(chip.path,
                              readable | QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther);
    }
    QFile::setPermissions(config, enterable);
    if (present)
        QFile::setPermissions(tool.configFile(), readable);
    const Run r = tool.run({chip.path, "mode", "read"}, &chip,
                           "\r\nTK716A boot ROM Mar 14 2021/00:23:32\r\n", launcher);
    QFile::setPermissions(config, enterable | QFile::WriteOwner);

    QCOMPARE(r.out, QByteArray("BOOT MODE.\nOk."));
    QCOMPARE(r.sentToChip, QByteArray("version\r\n"));
    if (present) {
        QFile f(tool.configFile());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), contents);
        QCOMPARE(r.err, QByteArray());
    } else {
        QVERIFY(!QFile::exists(tool.configFile()));
        QVERIFY2(r.err.contains(QFile::encodeName(tool.configFile())), r.err.constData());
    }
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
