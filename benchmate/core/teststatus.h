#ifndef TESTSTATUS_H
#define TESTSTATUS_H

// The overall state shown by the window's status label.
enum TEST_STATUS
{
    TEST_NOT_STARTED = 0,
    TEST_RUNNING = 1,
    TEST_PASS = 2,
    TEST_FAIL = 3,
    TEST_WAITING = 4,
};

#endif // TESTSTATUS_H
