#include "host/shutdownwatcher.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace stationsim {

namespace {
int signalPipe[2] = {-1, -1};

void onPosixSignal(int number)
{
    const char byte = char(number);
    const ssize_t ignored = ::write(signalPipe[1], &byte, 1);
    (void)ignored;
}
} // namespace

ShutdownWatcher::ShutdownWatcher(QObject *parent)
    : QObject(parent)
{
    if (signalPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        signalPipe[0] = signalPipe[1] = -1;
    if (signalPipe[0] >= 0) {
        ::fcntl(signalPipe[1], F_SETFL, O_NONBLOCK);
        signalNotifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
        connect(signalNotifier.get(), &QSocketNotifier::activated, this,
                &ShutdownWatcher::onSignal);
        struct sigaction action
        {
        };
        action.sa_handler = onPosixSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int number : {SIGTERM, SIGINT, SIGHUP})
            sigaction(number, &action, nullptr);
    }
    struct stat info
    {
    };
    if (::fstat(STDIN_FILENO, &info) == 0 && (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode))) {
        stdinNotifier = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
        connect(stdinNotifier.get(), &QSocketNotifier::activated, this, &ShutdownWatcher::onStdin);
    }
}

ShutdownWatcher::~ShutdownWatcher()
{
    signal(SIGTERM, SIG_DFL);
    signal(SIGINT, SIG_DFL);
    signal(SIGHUP, SIG_DFL);
}

void ShutdownWatcher::onSignal()
{
    char byte = 0;
    if (::read(signalPipe[0], &byte, 1) != 1 || requested)
        return;
    requested = true;
    emit shutdownRequested(QStringLiteral("signal %1").arg(int(byte)));
}

void ShutdownWatcher::onStdin()
{
    char buffer[256];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n > 0 || (n < 0 && (errno == EINTR || errno == EAGAIN)))
        return; // input is not used; only its end counts
    stdinNotifier->setEnabled(false);
    if (requested)
        return;
    requested = true;
    emit shutdownRequested(QStringLiteral("standard input closed"));
}

} // namespace stationsim
