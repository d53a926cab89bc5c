#include "logrecord.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

class TestLogRecord : public QObject
{
    Q_OBJECT

private slots:
    void levelsFilterAndEmpty();
    void lineFormat();
    void prefixes();
    void orderKept();
    void saveCreatesPathAndAppends();
    void saveFailures();
};

// Information level keeps information and errors, drops debug lines, and the
// collector is empty afterwards (the dropped entries too).
void TestLogRecord::levelsFilterAndEmpty()
{
    logRecord log;
    log.debug(QStringLiteral("dbg"));
    log.info(QStringLiteral("inf"));
    log.warn(QStringLiteral("wrn"));
    log.error(QStringLiteral("err"));
    const QStringList lines = log.getLog(LOG_INFO).split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 4); // three lines and the empty rest after the last CR LF
    QVERIFY(lines.at(0).startsWith(QStringLiteral("[信息]")));
    QVERIFY(lines.at(0).endsWith(QStringLiteral(" inf")));
    QVERIFY(lines.at(1).startsWith(QStringLiteral("[警告]")));
    QVERIFY(lines.at(2).startsWith(QStringLiteral("[错误]")));
    QCOMPARE(lines.at(3), QString());
    QCOMPARE(log.getLog(LOG_DEBUG), QString());

    logRecord empty;
    QCOMPARE(empty.getLog(LOG_DEBUG), QString());

    logRecord errorsOnly;
    errorsOnly.info(QStringLiteral("a"));
    errorsOnly.error(QStringLiteral("b"));
    const QString text = errorsOnly.getLog(LOG_ERROR);
    QCOMPARE(text.count(QStringLiteral("\r\n")), 1);
    QVERIFY(text.contains(QStringLiteral(" b\r\n")));
}

void TestLogRecord::lineFormat()
{
    logRecord log;
    log.info(QStringLiteral("Start"));
    const QString text = log.getLog(LOG_INFO);
    const QRegularExpression line(
        QStringLiteral("^\\[信息\\](\\d\\d):(\\d\\d):(\\d\\d):(\\d\\d\\d) Start\\r\\n$"));
    const QRegularExpressionMatch m = line.match(text);
    QVERIFY2(m.hasMatch(), qPrintable(text));
    QVERIFY(m.captured(1).toInt() < 24 && m.captured(2).toInt() < 60);
    QCOMPARE(logRecord::getTimeStamp(QTime(9, 5, 3, 7), QStringLiteral("hh:mm:ss:zzz ")),
             QStringLiteral("09:05:03:007 "));
}

void TestLogRecord::prefixes()
{
    QCOMPARE(logRecord::getLevelPrefix(LOG_DEBUG), QStringLiteral("[调试]"));
    QCOMPARE(logRecord::getLevelPrefix(LOG_INFO), QStringLiteral("[信息]"));
    QCOMPARE(logRecord::getLevelPrefix(LOG_WARN), QStringLiteral("[警告]"));
    QCOMPARE(logRecord::getLevelPrefix(LOG_ERROR), QStringLiteral("[错误]"));
    QCOMPARE(logRecord::getLevelPrefix(0), QString());
    QCOMPARE(logRecord::getLevelPrefix(9), QString());

    // A level outside 1..4 gives a line without prefix; 9 is above every
    // minimum and so is kept.
    logRecord log;
    log.append(9, QStringLiteral("odd"));
    QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d:\\d\\d\\d odd\\r\\n$"))
                .match(log.getLog(LOG_ERROR))
                .hasMatch());
}

// Entries come out in recording order.
void TestLogRecord::orderKept()
{
    logRecord log;
    for (int i = 0; i < 50; ++i)
        log.info(QString::number(i));
    const QStringList lines =
        log.getLog(LOG_INFO).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 50);
    for (int i = 0; i < 50; ++i)
        QVERIFY(lines.at(i).endsWith(QLatin1Char(' ') + QString::number(i)));
}

void TestLogRecord::saveCreatesPathAndAppends()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString dir = tmp.path() + QStringLiteral("/a/b/log");
    logRecord log;
    log.info(QStringLiteral("first 第一"));
    log.debug(QStringLiteral("hidden"));
    QVERIFY(log.saveLogToFile(LOG_INFO, QStringLiteral("day.txt"), dir));
    log.error(QStringLiteral("second"));
    QVERIFY(log.saveLogToFile(LOG_INFO, QStringLiteral("day.txt"), dir));
    QCOMPARE(log.getLog(LOG_DEBUG), QString()); // saving took the text

    QFile file(dir + QStringLiteral("/day.txt"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const QString text = QString::fromUtf8(bytes);
    QCOMPARE(text.count(QStringLiteral("\r\n")), 2);
    QVERIFY(!bytes.contains("\r\r\n"));
    QVERIFY(text.indexOf(QStringLiteral("first 第一")) < text.indexOf(QStringLiteral("second")));
    QVERIFY(!text.contains(QStringLiteral("hidden")));
}

void TestLogRecord::saveFailures()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    // A plain file where the directory should be: the path cannot be made.
    QFile blocker(tmp.path() + QStringLiteral("/blocker"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    logRecord log;
    log.info(QStringLiteral("kept"));
    QVERIFY(!log.saveLogToFile(LOG_INFO, QStringLiteral("x.txt"),
                               tmp.path() + QStringLiteral("/blocker/sub")));
    // A directory where the file should be: it cannot be opened.
    QVERIFY(QDir(tmp.path()).mkpath(QStringLiteral("d/isdir.txt")));
    QVERIFY(!log.saveLogToFile(LOG_INFO, QStringLiteral("isdir.txt"),
                               tmp.path() + QStringLiteral("/d")));

    const QStringList lines =
        log.getLog(LOG_INFO).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines.at(0).endsWith(QStringLiteral(" kept")));
    QVERIFY(lines.at(1).startsWith(QStringLiteral("[错误]")));
    QVERIFY(lines.at(1).endsWith(QStringLiteral(" Can not creat the file path.")));
    QVERIFY(lines.at(2).startsWith(QStringLiteral("[错误]")));
    QVERIFY(lines.at(2).endsWith(QStringLiteral(" Can not open the file.")));
}

QTEST_GUILESS_MAIN(TestLogRecord)
#include "tst_logrecord.moc"
