// Linked into every program of a ThreadSanitizer build (cmake/StationOptions.cmake).
//
// Qt 5.15 starts a child process (QProcess) with a raw clone(CLONE_PIDFD)
// system call when the kernel has pidfds, not with fork(). ThreadSanitizer
// only knows of fork(): its fork interceptor takes every lock of its runtime
// before the fork, so that the child finds them free. A raw clone copies the
// runtime as it is at that moment, locks held by the process's other threads
// included, and the child, which goes through the runtime's interceptors
// (dup2, close, signal) on its way to exec, can wait on such a lock for
// seconds or for ever. The engine gives a chip-tool run 1 s to start and 1 s
// to end: under ThreadSanitizer a cycle's first run now and then never
// started, while the window's other threads were busy, and the cycle failed
// on the golden machine's MAC.
//
// Qt asks the kernel whether it has pidfds with waitid(P_PIDFD, ...). Here
// that question gets the answer of a kernel without them, so Qt starts its
// children with fork(), which ThreadSanitizer handles. Every other system
// call goes on as it is.
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <dlfcn.h>
#include <sys/syscall.h>

namespace {

constexpr long pidfdIdType = 3; // P_PIDFD, Linux 5.4

using SyscallFunction = long (*)(long, ...);

// Not a function-local static: its guard would wait on a futex through
// syscall() itself.
std::atomic<SyscallFunction> libcSyscall{nullptr};

SyscallFunction realSyscall()
{
    SyscallFunction function = libcSyscall.load(std::memory_order_acquire);
    if (!function) {
        function = reinterpret_cast<SyscallFunction>(dlsym(RTLD_NEXT, "syscall"));
        libcSyscall.store(function, std::memory_order_release);
    }
    return function;
}

} // namespace

extern "C" long syscall(long number, ...)
{
    // A system call takes at most six arguments, all passed as longs; the
    // C library's syscall() reads six whatever the caller passed.
    long a[6];
    va_list args;
    va_start(args, number);
    for (long &argument : a)
        argument = va_arg(args, long);
    va_end(args);
    if (number == SYS_waitid && a[0] == pidfdIdType) {
        errno = EINVAL;
        return -1;
    }
    return realSyscall()(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}
