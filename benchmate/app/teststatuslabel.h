#ifndef TESTSTATUSLABEL_H
#define TESTSTATUSLABEL_H

#include "resultjudge.h"
#include "teststatus.h"

#include <QCoreApplication>

class QLabel;

// The window's coloured status label: the state of the test (not started,
// testing, passed, failed, waiting), or the station fault that ended a
// cycle; shown again in the language now installed on retranslate(). Its
// texts are the window's.
class TestStatusLabel
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    explicit TestStatusLabel(QLabel *label);

    // Any other value leaves the label as it is.
    void show(TEST_STATUS status);
    // No DUT was judged: the operator mends the station, not the modules.
    void showFault(StationFault fault);
    void retranslate();

private:
    QLabel *m_label;
    TEST_STATUS m_status = TEST_NOT_STARTED;
    bool m_isFault = false;
    StationFault m_fault = StationFault::None;
};

#endif // TESTSTATUSLABEL_H
