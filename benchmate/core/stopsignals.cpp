#include "stopsignals.h"

#include <QSocketNotifier>

#include <csignal>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#endif

#ifdef Q_OS_WIN
#include <QMetaObject>
#include <mutex>
#include <qt_windows.h>
#endif

namespace {

volatile std::sig_atomic_t firstSignal = 0;

#ifdef Q_OS_UNIX

// The handler only writes the signal's number into a pipe, which the
// object's notifier reads in its thread.
int wakePipe[2] = {-1, -1};
constexpr int handledCount = 3;
constexpr int handled[handledCount] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previous[handledCount];
bool taken[handledCount] = {};

extern "C" void onStopSignal(int signal)
{
    const int savedErrno = errno;
    if (firstSignal == 0)
        firstSignal = signal;
    const char byte = char(signal);
    const ssize_t written = ::write(wakePipe[1], &byte, 1);
    (void)written; // a full pipe already holds a wake-up
    errno = savedErrno;
}

bool prepare(int fd)
{
    return ::fcntl(fd, F_SETFD, FD_CLOEXEC) == 0 &&
           ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK) == 0;
}

#endif

#ifdef Q_OS_WIN

// A console program learns of Ctrl-C, Ctrl-Break, its console window closed,
// its user logging off and the PC shutting down through a handler the system
// calls on a thread of its own. Ctrl-C is SIGINT; the others ask the program
// to end as SIGTERM does. The handler hands the request to the object's
// thread through its event queue.
std::mutex instanceLock;
StopSignals *instance = nullptr;
HANDLE finished = nullptr; // set when the object goes: the program has saved

BOOL WINAPI onConsoleEvent(DWORD event)
{
    const int signal = event == CTRL_C_EVENT ? SIGINT : SIGTERM;
    {
        std::lock_guard<std::mutex> hold(instanceLock);
        if (!instance)
            return FALSE;
        if (firstSignal == 0)
            firstSignal = signal;
        StopSignals *target = instance;
        QMetaObject::invokeMethod(
            target, [target, signal] { emit target->stopRequested(signal); }, Qt::QueuedConnection);
    }
    // After a closed console, a log-off or a shutdown the system ends the
    // process as soon as this returns (and after 5 s at the latest): wait,
    // bounded, for the program to stop its cycle and save.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        WaitForSingleObject(finished, 4500);
    return TRUE;
}

#endif

} // namespace

StopSignals::StopSignals(QObject *parent)
    : QObject(parent)
{
#ifdef Q_OS_UNIX
    if (wakePipe[0] >= 0 || ::pipe(wakePipe) != 0)
        return;
    if (!prepare(wakePipe[0]) || !prepare(wakePipe[1])) {
        ::close(wakePipe[0]);
        ::close(wakePipe[1]);
        wakePipe[0] = wakePipe[1] = -1;
        return;
    }
    m_notifier = new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &StopSignals::deliver);
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < handledCount; ++i) {
        ::sigaction(handled[i], nullptr, &previous[i]);
        // A program started under nohup was told to outlive its terminal:
        // its SIGHUP stays ignored.
        taken[i] = !(handled[i] == SIGHUP && previous[i].sa_handler == SIG_IGN);
        if (taken[i])
            ::sigaction(handled[i], &action, nullptr);
    }
#endif
#ifdef Q_OS_WIN
    std::lock_guard<std::mutex> hold(instanceLock);
    if (instance)
        return;
    finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    instance = this;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#endif
}

StopSignals::~StopSignals()
{
#ifdef Q_OS_UNIX
    if (!m_notifier)
        return;
    for (int i = 0; i < handledCount; ++i) {
        if (taken[i])
            ::sigaction(handled[i], &previous[i], nullptr);
        taken[i] = false;
    }
    delete m_notifier;
    m_notifier = nullptr;
    ::close(wakePipe[0]);
    ::close(wakePipe[1]);
    wakePipe[0] = wakePipe[1] = -1;
#endif
#ifdef Q_OS_WIN
    std::lock_guard<std::mutex> hold(instanceLock);
    if (instance != this)
        return;
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    instance = nullptr;
    // A handler still waiting (a closed console) lets the system end the
    // process now; the handle goes with the process.
    SetEvent(finished);
#endif
}

void StopSignals::deliver()
{
#ifdef Q_OS_UNIX
    char bytes[16];
    ssize_t count = 0;
    while ((count = ::read(wakePipe[0], bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < count; ++i)
            emit stopRequested(int(uint8_t(bytes[i])));
    }
#endif
}

int StopSignals::received()
{
    return int(firstSignal);
}

int StopSignals::exitStatus(int signal)
{
    return 128 + signal;
}

QString StopSignals::name(int signal)
{
    switch (signal) {
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGTERM:
        return QStringLiteral("SIGTERM");
#ifdef SIGHUP
    case SIGHUP:
        return QStringLiteral("SIGHUP");
#endif
    default:
        return QStringLiteral("signal %1").arg(signal);
    }
}
