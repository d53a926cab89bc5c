#include "windowbench.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

bool WindowBench::setUpBench()
{
    m_fake = std::make_unique<FakeTool>();
    return m_fake->isValid();
}

void WindowBench::tearDownBench()
{
    m_window.reset();
    m_fake.reset();
}

bool WindowBench::openWindow()
{
    m_window = std::make_unique<MainWindow>();
    m_window->show();
    return QTest::qWaitForWindowExposed(m_window.get());
}

QPushButton *WindowBench::button() const
{
    return find<QPushButton>(*m_window, "pbnStartTest");
}

QTableWidget *WindowBench::table() const
{
    return find<QTableWidget>(*m_window, "tableWidget");
}

QString WindowBench::label(const char *name) const
{
    return find<QLabel>(*m_window, name)->text();
}

QString WindowBench::cell(int row, int column) const
{
    const QTableWidgetItem *item = table()->item(row, column);
    return item ? item->text() : QString();
}

QColor WindowBench::cellColour(int row, int column) const
{
    const QTableWidgetItem *item = table()->item(row, column);
    return item ? item->background().color() : QColor();
}

bool WindowBench::runCycle(int ms)
{
    QTest::qWait(MainWindow::clickGuardMs);
    if (button()->text() != startText || !button()->isEnabled())
        return false;
    button()->click();
    if (button()->text() != stopText)
        return false;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        if (button()->text() == startText && button()->isEnabled())
            return true;
        QTest::qWait(20);
    }
    return false;
}
