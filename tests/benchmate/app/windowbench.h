// What the window tests share: a Benchmate window in the test's station
// directory, with a scripted chip tool behind it, driven through its
// controls as an operator drives it.
#ifndef WINDOWBENCH_H
#define WINDOWBENCH_H

#include "faketool.h"
#include "mainwindow.h"

#include <QColor>
#include <QString>

#include <memory>

class QPushButton;
class QTableWidget;

inline const QString startText = QStringLiteral("开始测试");
inline const QString stopText = QStringLiteral("停止测试");
inline const QString failText = QStringLiteral("Fail. Command execution error.");

// The one child of `root` named `name`; the test ends at once without it.
template <typename T = QWidget>
T *find(const QObject &root, const char *name)
{
    T *found = root.findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no widget %s", name);
    return found;
}

class WindowBench
{
protected:
    // A fresh scripted chip tool and the crystal's start value of a new
    // station; false when the fake tool could not be set up.
    bool setUpBench();
    void tearDownBench();
    // Opens the window on the settings written before; false when it never
    // showed.
    bool openWindow();

    QPushButton *button() const;
    QTableWidget *table() const;
    QString label(const char *name) const;
    QString cell(int row, int column) const;
    QColor cellColour(int row, int column) const;
    // Presses start (once a click would no longer count as the second of a
    // double click) and waits until the cycle's end was handled; false when
    // the press started nothing or the cycle did not end within `ms`.
    bool runCycle(int ms = 30000);

    std::unique_ptr<FakeTool> m_fake;
    std::unique_ptr<MainWindow> m_window;
};

#endif // WINDOWBENCH_H
