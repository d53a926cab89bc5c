// Benchmate's window on a 150 % screen: scaled in whole steps under either
// Qt, as Qt 5 always did, so the window looks the same whichever Qt built
// it (Qt 6 alone would draw it at 1.5).
#include "screenscaling.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

class TestScreenScaling : public QObject
{
    Q_OBJECT
private slots:
    void wholeStepsOnA150PercentScreen();
};

void TestScreenScaling::wholeStepsOnA150PercentScreen()
{
#if QT_VERSION < QT_VERSION_CHECK(6, 3, 0)
    QSKIP("this Qt's offscreen platform has no scaled screens");
#endif
    QWidget window;
    window.resize(200, 100);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.devicePixelRatioF(), 2.0);
}

int main(int argc, char *argv[])
{
    // The offscreen platform with one screen of 144 logical dots per inch:
    // 150 % of the 96 a Windows screen has at 100 %.
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("screens.json"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(R"({"screens": [{"name": "scaled", "x": 0, "y": 0, "width": 1920,
                        "height": 1080, "logicalDpi": 144, "logicalBaseDpi": 96}]})") < 0)
        return 1;
    file.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(config));
    for (const char *name :
         {"QT_SCALE_FACTOR_ROUNDING_POLICY", "QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS",
          "QT_ENABLE_HIGHDPI_SCALING", "QT_AUTO_SCREEN_SCALE_FACTOR"})
        qunsetenv(name);

    setUpScreenScaling();
    QApplication app(argc, argv);
    TestScreenScaling test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_screenscaling.moc"
