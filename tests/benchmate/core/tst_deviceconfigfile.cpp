// The settings file on its own: format, parsing, atomic replacement and the
// missing settings directory.
#include "deviceconfigfile.h"
#include "stationdir.h"
#include "testparabuilder.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

class TestDeviceConfigFile : public QObject
{
    Q_OBJECT

private slots:
    void numberTexts_data();
    void numberTexts();
    void parseAndFormatAgree();
    void parseRejectsWrongLineCount_data();
    void parseRejectsWrongLineCount();
    void parseIgnoresWhatFollows();
    void wholeNumbersReachTheCycle();
    void trailingBlankLineAccepted_data();
    void trailingBlankLineAccepted();
    void notUtf8Refused();
    void refusedFileNeverOverwritten();
    void parseShortRowLines();
    void parseNumbersInWideSpaces();
    void loadWindowsLineEnds();
    void loadMendsATotalThatDoesNotAddUp();
    void loadCreatesMissingFile();
    void failedSaveKeepsPreviousFile();
    void saveLeavesNoTemporaryFiles();
    void missingDirectoryToldOnce();
};

void TestDeviceConfigFile::numberTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("written");

    QTest::newRow("integer") << "-10"
                             << "-10";
    QTest::newRow("fraction") << "20.5"
                              << "20.5";
    // Whole numbers stay whole: a time-out of 1000000 ms written as 1e+06
    // would come back as no time-out at all (the cycle reads it as an
    // unsigned decimal).
    QTest::newRow("time-out of a million ms") << "1000000"
                                              << "1000000";
    QTest::newRow("large") << "10000000"
                           << "10000000";
    QTest::newRow("exponent read") << "1e+07"
                                   << "10000000";
    QTest::newRow("beyond single precision") << "123456789"
                                             << "123456792";
    // A fraction with the fewest digits that read back as the same single
    // precision value: six digits would change it on the next save.
    QTest::newRow("fraction to single precision") << "1234.5678"
                                                  << "1234.5677";
    QTest::newRow("seven digits before the point") << "5516155.5049704"
                                                   << "5516155.5";
    QTest::newRow("single precision tenth") << "0.1"
                                            << "0.1";
    QTest::newRow("small") << "0.0001"
                           << "0.0001";
    QTest::newRow("tiny") << "0.00001"
                          << "1e-05";
    QTest::newRow("text") << "abc"
                          << "0";
    QTest::newRow("empty") << ""
                           << "0";
    QTest::newRow("trailing text") << "12dB"
                                   << "0";
}

void TestDeviceConfigFile::numberTexts()
{
    QFETCH(QString, text);
    QFETCH(QString, written);
    QCOMPARE(DeviceConfigFile::formatNumber(DeviceConfigFile::parseNumber(text)), written);
    // What was written is written again the same at the next save.
    QCOMPARE(DeviceConfigFile::formatNumber(DeviceConfigFile::parseNumber(written)), written);
}

void TestDeviceConfigFile::parseAndFormatAgree()
{
    const QByteArray bytes = ConfigText::sample().bytes();
    DeviceConfig config;
    QVERIFY(DeviceConfigFile::parse(bytes, config));

    QCOMPARE(config.rows[0].enabled, true);
    QCOMPARE(config.rows[0].name, QStringLiteral("Gold Machine"));
    QCOMPARE(config.rows[0].port, QStringLiteral("COM3"));
    QCOMPARE(config.rows[0].txCal, QStringLiteral("2"));
    QCOMPARE(config.rows[0].rxCal, QString());
    QCOMPARE(config.rows[2].enabled, false); // DUT1
    QCOMPARE(config.rows[24].name, QStringLiteral("DUT23"));
    QCOMPARE(config.rows[24].port, QStringLiteral("COM27"));
    QCOMPARE(config.firmwarePath, QStringLiteral("D:/固件/TK716A fw.bin"));
    QCOMPARE(config.rxRssiMax, -20.5f);
    QCOMPARE(config.txRssiMax, 1e7f);
    QCOMPARE(config.timeOut, 0.25f);
    QCOMPARE(config.testAllNum, 4294967295u);
    QCOMPARE(config.testPassNum, 4294967292u);
    QCOMPARE(config.testFailNum, 3u);
    QCOMPARE(int(config.calVal), -3);
    QCOMPARE(int(config.autoTest), 1);
    QCOMPARE(config.lockParams, false);

    QCOMPARE(DeviceConfigFile::format(config), bytes);
}

void TestDeviceConfigFile::parseRejectsWrongLineCount_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray good = ConfigText::sample().bytes();
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("two blank lines at the end") << QByteArray(good + "\n\n");
    QTest::newRow("text after the last line") << QByteArray(good + "0,\n");
    QTest::newRow("blank line in the middle")
        << QByteArray(good).insert(good.indexOf('\n') + 1, "\n");
    QTest::newRow("41 line feeds") << good.left(good.lastIndexOf('\n', good.size() - 2) + 1);
    QTest::newRow("line feed cut by a NUL")
        << QByteArray(good).replace(good.size() - 1, 1, "\0", 1);
}

void TestDeviceConfigFile::parseRejectsWrongLineCount()
{
    QFETCH(QByteArray, bytes);
    DeviceConfig config;
    config.firmwarePath = QStringLiteral("kept");
    config.testAllNum = 9;
    QVERIFY(!DeviceConfigFile::parse(bytes, config));
    QCOMPARE(config.firmwarePath, QStringLiteral("kept"));
    QCOMPARE(config.testAllNum, 9u);
}

// Only the number of line feeds decides: text after a NUL byte is not read,
// and the last piece (empty when written here) is never used.
void TestDeviceConfigFile::parseIgnoresWhatFollows()
{
    QByteArray bytes = ConfigText::sample().bytes();
    DeviceConfig config;
    QVERIFY(DeviceConfigFile::parse(bytes + QByteArray("\0junk\nmore\n", 11), config));
    QCOMPARE(int(config.autoTest), 1);
    config.autoTest = 0;
    QVERIFY(DeviceConfigFile::parse(bytes + "0,", config));
    QCOMPARE(int(config.autoTest), 1);
}

// The time-out, send interval and channel go to the cycle as the window
// shows them, read as unsigned decimals.
void TestDeviceConfigFile::wholeNumbersReachTheCycle()
{
    DeviceConfig config;
    QVERIFY(DeviceConfigFile::parse(ConfigText::sample()
                                        .set(35, QStringLiteral("2500000"))
                                        .set(36, QStringLiteral("1000000"))
                                        .bytes(),
                                    config));
    const QByteArray saved = DeviceConfigFile::format(config);
    QCOMPARE(ConfigText::linesOf(saved).at(36), QStringLiteral("1000000"));
    QVERIFY(DeviceConfigFile::parse(saved, config));
    TestParaBuilder builder;
    builder.timeOut = DeviceConfigFile::formatNumber(config.timeOut);
    builder.sendInterval = DeviceConfigFile::formatNumber(config.sendInterval);
    const testPara_t para = builder.build();
    QCOMPARE(para.timeOut, 1000000u);
    QCOMPARE(para.sendInterval, 2500000u);
}

void TestDeviceConfigFile::trailingBlankLineAccepted_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray good = ConfigText::sample().bytes();
    QTest::newRow("line feed") << QByteArray(good + "\n");
    QTest::newRow("CR LF") << QByteArray(good + "\n").replace("\n", "\r\n");
}

// An editor's habit: one empty line after the last. It holds nothing, so
// the file reads as it is and is written back without it.
void TestDeviceConfigFile::trailingBlankLineAccepted()
{
    QFETCH(QByteArray, bytes);
    DeviceConfig config;
    QVERIFY(DeviceConfigFile::parse(bytes, config));
    QCOMPARE(DeviceConfigFile::format(config), ConfigText::sample().bytes());
}

// A port name typed in GBK: the file is refused rather than read with
// replacement characters and saved so.
void TestDeviceConfigFile::notUtf8Refused()
{
    QByteArray bytes = ConfigText::sample().bytes();
    bytes.replace("COM11", "COM\xa3\xb1"); // 'full-width 1' in GBK, line 9
    DeviceConfig config;
    config.testAllNum = 9;
    DeviceConfigProblem problem;
    QVERIFY(!DeviceConfigFile::parse(bytes, config, &problem));
    QCOMPARE(config.testAllNum, 9u);
    QCOMPARE(int(problem.kind), int(DeviceConfigProblem::NotUtf8));
    QCOMPARE(problem.line, 10);
    // Well-formed UTF-8 of every length reads, a byte-order mark too.
    QVERIFY(DeviceConfigFile::parse("\xef\xbb\xbf" + ConfigText::sample().bytes(), config));
    QVERIFY(DeviceConfigFile::parse(
        ConfigText::sample().set(26, QStringLiteral("D:/固件/é/😀.bin")).bytes(), config));
    QCOMPARE(config.firmwarePath, QStringLiteral("D:/固件/é/😀.bin"));
    // Encoded surrogates and overlong forms are not UTF-8.
    for (const QByteArray &bad :
         {QByteArray("\xed\xa0\x80"), QByteArray("\xc0\xae"), QByteArray("\xe2\x82")}) {
        QVERIFY(!DeviceConfigFile::parse(ConfigText::sample().bytes().replace("COM4", "COM4" + bad),
                                         config, &problem));
        QCOMPARE(problem.line, 3);
    }
}

// A file that was refused is never written over: what the operator set up
// goes beside it, and the refused bytes stay for the operator to mend.
void TestDeviceConfigFile::refusedFileNeverOverwritten()
{
    StationDir dir;
    QVERIFY(dir.isValid());
    const QByteArray good = ConfigText::sample().bytes();
    const QByteArray cut = good.left(good.size() / 2);
    dir.writeConfig(cut);
    DeviceConfigFile file(dir.configFile());
    DeviceConfig config;
    QVERIFY(!file.load(config));
    config.firmwarePath = QStringLiteral("typed.bin");
    QVERIFY(file.save(config));
    QCOMPARE(dir.readConfig(), cut);
    QFile beside(dir.configFile() + QStringLiteral(".new"));
    QVERIFY(beside.open(QIODevice::ReadOnly));
    QCOMPARE(beside.readAll(), DeviceConfigFile::format(config));
}

void TestDeviceConfigFile::parseShortRowLines()
{
    const QByteArray bytes = ConfigText::sample().set(5, QStringLiteral("1")).bytes();
    DeviceConfig config;
    QVERIFY(DeviceConfigFile::parse(bytes, config));
    QCOMPARE(config.rows[4].enabled, true);
    QCOMPARE(config.rows[4].name, QString());
    QCOMPARE(config.rows[4].port, QString());
    QCOMPARE(config.rows[4].rxCal, QString());
}

// A file touched up by hand with a Chinese input method: full-width and
// no-break spaces around the numbers read as the numbers, whichever Qt the
// station was built with.
void TestDeviceConfigFile::parseNumbersInWideSpaces()
{
    const QString wide = QString(QChar(0x3000));
    const QString nbsp = QString(QChar(0x00a0));
    const QByteArray bytes = ConfigText::sample()
                                 .set(3, wide + "1,DUT1,COM5,0,1")
                                 .set(33, "2" + wide)
                                 .set(38, nbsp + "118" + wide)
                                 .set(40, wide + "-4")
                                 .bytes();
    DeviceConfig config;
    QVERIFY(DeviceConfigFile::parse(bytes, config));
    QCOMPARE(config.rows[2].enabled, true);
    QCOMPARE(config.lockParams, true);
    QCOMPARE(config.testPassNum, 118u);
    QCOMPARE(int(config.calVal), -4);
}

void TestDeviceConfigFile::loadWindowsLineEnds()
{
    // A file written on the station PC, copied over as it is.
    StationDir dir;
    QVERIFY(dir.isValid());
    dir.writeConfig(ConfigText::sample().bytes().replace("\n", "\r\n"));
    DeviceConfigFile file(dir.configFile());
    DeviceConfig config;
    QVERIFY(file.load(config));
    QCOMPARE(config.rows[0].txCal, QStringLiteral("2"));
    QCOMPARE(int(config.autoTest), 1);
}

// Counters that do not add up (a file from before the total was kept as
// passed + failed) are read with the total mended, and the console says so.
void TestDeviceConfigFile::loadMendsATotalThatDoesNotAddUp()
{
    StationDir dir;
    QVERIFY(dir.isValid());
    dir.writeConfig(ConfigText::sample()
                        .set(37, QStringLiteral("24"))
                        .set(38, QStringLiteral("23"))
                        .set(39, QStringLiteral("0"))
                        .bytes());
    DeviceConfigFile file(dir.configFile());
    DeviceConfig config;
    MessageLog messages;
    QVERIFY(file.load(config));
    QCOMPARE(config.testAllNum, 23u);
    QCOMPARE(config.testPassNum, 23u);
    QCOMPARE(config.testFailNum, 0u);
    QCOMPARE(messages.count(QStringLiteral("总数改为 23")), 1);
}

void TestDeviceConfigFile::loadCreatesMissingFile()
{
    StationDir dir;
    QVERIFY(dir.isValid());
    DeviceConfigFile file(dir.configFile());
    DeviceConfig config;
    QVERIFY(!file.load(config));
    QVERIFY(dir.configExists());
    QCOMPARE(dir.readConfig(), QByteArray());
}

// A write that fails half way (here: the file size limit, as a full disk
// would) must leave the operator's previous set-up in place.
void TestDeviceConfigFile::failedSaveKeepsPreviousFile()
{
    StationDir dir;
    QVERIFY(dir.isValid());
    const QByteArray previous = ConfigText::sample().bytes();
    dir.writeConfig(previous);

    DeviceConfig changed;
    QVERIFY(DeviceConfigFile::parse(previous, changed));
    changed.firmwarePath = QStringLiteral("new.bin");
    changed.testAllNum = 5;

    rlimit old{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 300;
    const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    DeviceConfigFile file(dir.configFile());
    const bool saved = file.save(changed);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);

    QVERIFY(!saved);
    QCOMPARE(dir.readConfig(), previous);
    QCOMPARE(QDir(dir.path() + QStringLiteral("/config")).entryList(QDir::Files),
             QStringList{QStringLiteral("device_config.csv")});

    // With room again the same save goes through.
    QVERIFY(file.save(changed));
    QCOMPARE(dir.readConfig(), DeviceConfigFile::format(changed));
}

void TestDeviceConfigFile::saveLeavesNoTemporaryFiles()
{
    StationDir dir;
    QVERIFY(dir.isValid());
    dir.writeConfig("old");
    DeviceConfigFile file(dir.configFile());
    DeviceConfig config;
    QVERIFY(file.save(config));
    QVERIFY(file.save(config));
    QCOMPARE(QDir(dir.path() + QStringLiteral("/config")).entryList(QDir::Files),
             QStringList{QStringLiteral("device_config.csv")});
    QCOMPARE(dir.readConfig(), ConfigText::blank().bytes());
}

void TestDeviceConfigFile::missingDirectoryToldOnce()
{
    StationDir dir(false);
    QVERIFY(dir.isValid());
    MessageLog log;
    DeviceConfigFile file(QStringLiteral("./config/device_config.csv"));
    DeviceConfig config;
    config.testAllNum = 7;
    QVERIFY(!file.load(config));
    QCOMPARE(config.testAllNum, 7u);
    QVERIFY(!file.save(config));
    QVERIFY(!file.save(config));
    QCOMPARE(log.count(QStringLiteral("配置目录不存在")), 1);
    QVERIFY(!QDir(dir.path()).exists(QStringLiteral("config")));
}

QTEST_GUILESS_MAIN(TestDeviceConfigFile)
#include "tst_deviceconfigfile.moc"
