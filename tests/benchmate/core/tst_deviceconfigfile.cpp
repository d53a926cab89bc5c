// The settings file on its own: format, parsing, atomic replacement and the
// missing settings directory.
#include "deviceconfigfile.h"
#include "stationdir.h"

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
    void parseShortRowLines();
    void parseNumbersInWideSpaces();
    void loadWindowsLineEnds();
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
    QTest::newRow("large") << "10000000"
                           << "1e+07";
    QTest::newRow("rounded to 6 digits") << "123456789"
                                         << "1.23457e+08";
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
    QCOMPARE(config.testPassNum, 117u);
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
    QTest::newRow("43 line feeds") << QByteArray(good + "\n");
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
