// Drives Benchmate's window as an operator would and takes the pictures of
// docs/img: run by scripts/screenshot.sh under Xvfb, in a station directory
// whose device table points at a running stationsim.
//
//   benchmate_shots OUTDIR [--size WxH | --maximized] [--cycles N]
//                   [--only-idle NAME [--yield NAME]] [--language zh_CN|en]
//
// --maximized leaves the window's size to the window manager, as an
// operator's maximise button does; --yield also takes the idle window's
// yield tab.
//
// The pictures are of the screen where the window is (tooltips included).
#include "mainwindow.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTableWidget>
#include <QThread>
#include <QToolTip>

#include <cstdio>
#include <functional>

namespace {

QString outDir;

bool waitFor(const std::function<bool()> &done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return true;
}

void pause(int ms)
{
    waitFor([] { return false; }, ms);
}

void say(const QString &text)
{
    std::fprintf(stderr, "[shots] %s\n", qPrintable(text));
}

bool shot(const QWidget &window, const QString &name)
{
    pause(400); // painted, tooltips up
    const QRect g = window.frameGeometry();
    const QPixmap pixmap = window.screen()->grabWindow(0, g.x(), g.y(), g.width(), g.height());
    const QString path = outDir + QLatin1Char('/') + name;
    const bool saved = pixmap.save(path, "PNG");
    say(QStringLiteral("%1 %2x%3 %4")
            .arg(path)
            .arg(g.width())
            .arg(g.height())
            .arg(saved ? QStringLiteral("saved") : QStringLiteral("NOT saved")));
    return saved;
}

template <typename T = QWidget>
T *child(const QObject &root, const char *name)
{
    T *found = root.findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no widget %s", name);
    return found;
}

bool runCycle(MainWindow &window, int ms = 120000)
{
    auto *button = child<QPushButton>(window, "pbnStartTest");
    pause(MainWindow::clickGuardMs);
    button->click();
    return waitFor(
        [&] { return window.controller().state() == CycleController::Idle && button->isEnabled(); },
        ms);
}

// The first DUT row that did not pass, its reason shown on hover and in the
// details.
void showFailure(MainWindow &window)
{
    auto *table = child<QTableWidget>(window, "tableWidget");
    for (int row = 1; row < MainWindow::tableRows; ++row) {
        if (window.cellToolTip(row, MainWindow::colResult).isEmpty())
            continue;
        const QString verdict = table->item(row, MainWindow::colResult)->text();
        if (verdict == QStringLiteral("通过") || verdict == QStringLiteral("Pass"))
            continue;
        table->setCurrentCell(row, MainWindow::colName);
        const QRect cell = table->visualItemRect(table->item(row, MainWindow::colResult));
        // The pointer on the cell, as the operator's would be: a window
        // manager's crossing events would hide a tip the pointer is not on.
        const QPoint at = table->viewport()->mapToGlobal(cell.center());
        QCursor::setPos(at);
        QToolTip::showText(at, window.cellToolTip(row, MainWindow::colResult), table->viewport(),
                           cell);
        return;
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty()) {
        say(QStringLiteral("usage: benchmate_shots OUTDIR [--size WxH | --maximized] "
                           "[--cycles N] [--only-idle NAME [--yield NAME]] "
                           "[--language zh_CN|en]"));
        return 2;
    }
    outDir = args.takeFirst();
    QDir().mkpath(outDir);
    QSize size;
    int cycles = 3;
    bool maximized = false;
    QString onlyIdle;
    QString idleYield;
    QString language = QStringLiteral("zh_CN");
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        if (arg == QLatin1String("--size") && !args.isEmpty()) {
            const QStringList wh = args.takeFirst().split(QLatin1Char('x'));
            size = QSize(wh.value(0).toInt(), wh.value(1).toInt());
        } else if (arg == QLatin1String("--cycles") && !args.isEmpty()) {
            cycles = args.takeFirst().toInt();
        } else if (arg == QLatin1String("--maximized")) {
            maximized = true;
        } else if (arg == QLatin1String("--only-idle") && !args.isEmpty()) {
            onlyIdle = args.takeFirst();
        } else if (arg == QLatin1String("--yield") && !args.isEmpty()) {
            idleYield = args.takeFirst();
        } else if (arg == QLatin1String("--language") && !args.isEmpty()) {
            language = args.takeFirst();
        }
    }

    MainWindow window;
    window.setLanguage(language);
    if (size.isValid())
        window.resize(size);
    window.move(0, 0);
    if (maximized)
        window.showMaximized();
    else
        window.show();
    if (!waitFor([&] { return window.isVisible(); }, 5000))
        return 1;
    pause(1000);
    say(QStringLiteral("window %1x%2, its minimum %3x%4")
            .arg(window.width())
            .arg(window.height())
            .arg(window.minimumSizeHint().width())
            .arg(window.minimumSizeHint().height()));
    if (!onlyIdle.isEmpty()) {
        bool ok = shot(window, onlyIdle);
        if (!idleYield.isEmpty()) {
            child<QTabWidget>(window, "tabWidget")->setCurrentIndex(1);
            // The day's results file is read in the background.
            pause(1000);
            ok = shot(window, idleYield) && ok;
        }
        return ok ? 0 : 1;
    }

    bool ok = shot(window, QStringLiteral("benchmate.png"));

    // Mid-cycle: the rows count up, and a DUT that failed is red at once.
    auto *button = child<QPushButton>(window, "pbnStartTest");
    auto *table = child<QTableWidget>(window, "tableWidget");
    button->click();
    waitFor(
        [&] {
            for (int row = 1; row < MainWindow::tableRows; ++row) {
                const QString text = table->item(row, MainWindow::colResult)->text();
                if (!text.isEmpty() && !text.endsWith(QLatin1Char('%')))
                    return true;
            }
            return false;
        },
        30000);
    pause(500);
    ok = shot(window, QStringLiteral("benchmate-cycle.png")) && ok;
    if (!waitFor([&] { return window.controller().state() == CycleController::Idle; }, 120000))
        return 1;
    for (int cycle = 1; cycle < cycles; ++cycle) {
        if (!runCycle(window))
            return 1;
    }
    showFailure(window);
    ok = shot(window, QStringLiteral("benchmate-failure.png")) && ok;
    QToolTip::hideText();

    auto *tabs = child<QTabWidget>(window, "tabWidget");
    tabs->setCurrentIndex(1);
    ok = shot(window, QStringLiteral("benchmate-yield.png")) && ok;

    window.setLanguage(QStringLiteral("en"));
    pause(300); // the window takes the language change as an event
    tabs->setCurrentIndex(0);
    showFailure(window);
    ok = shot(window, QStringLiteral("benchmate-en.png")) && ok;
    QToolTip::hideText();
    tabs->setCurrentIndex(1);
    ok = shot(window, QStringLiteral("benchmate-yield-en.png")) && ok;
    window.setLanguage(QStringLiteral("zh_CN"));
    pause(300);

    // A typing slip: a letter O for the zero of the frequency upper limit.
    // The box keeps it, marked, the reason on hover; then corrected.
    tabs->setCurrentIndex(0);
    auto *limit = child<QLineEdit>(window, "leRxFreqMax");
    const QString before = limit->text();
    limit->setText(QStringLiteral("1O"));
    const QPoint at = limit->mapToGlobal(limit->rect().center());
    QToolTip::showText(at, limit->toolTip(), limit);
    ok = shot(window, QStringLiteral("benchmate-typo.png")) && ok;
    QToolTip::hideText();
    limit->setText(before);
    ok = shot(window, QStringLiteral("benchmate-typo-corrected.png")) && ok;
    return ok ? 0 : 1;
}
