// A preload library that gives the simulator's ptys their RTS and DTR wires.
//
// A pty has no modem lines: TIOCMBIS, TIOCMBIC and TIOCMSET on it fail. With
// this library preloaded (LD_PRELOAD) and STATIONSIM_PTY_DIR naming the
// simulator's pty directory, a program's modem-line ioctls on one of that
// directory's ptys go to the simulator instead, as a datagram to the chip's
// DIR/NAME.lines socket ("BIS 4" ...), and succeed. Every other ioctl, and
// every ioctl on any other file, goes to the C library untouched. The program
// itself (Chipctl with its local-port module) is not changed: it drives the
// lines exactly as it drives a real COM port's.

#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using IoctlFn = int (*)(int, unsigned long, ...);

int realIoctl(int fd, unsigned long request, void *arg)
{
    static IoctlFn next;
    if (!next)
        next = reinterpret_cast<IoctlFn>(dlsym(RTLD_NEXT, "ioctl"));
    if (!next) {
        errno = ENOSYS;
        return -1;
    }
    return next(fd, request, arg);
}

// The name (gm, dut01 ...) of the pty directory's link to the terminal open
// on fd, or false when fd is none of them.
bool chipOf(int fd, const char *dir, char *name, size_t size)
{
    char proc[64];
    char target[PATH_MAX];
    snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(proc, target, sizeof target - 1);
    if (n <= 0 || strncmp(target, "/dev/pts/", 9) != 0)
        return false;
    target[n] = '\0';
    DIR *d = opendir(dir);
    if (!d)
        return false;
    bool found = false;
    struct dirent *entry;
    while (!found && (entry = readdir(d)) != nullptr) {
        char path[PATH_MAX];
        char linked[PATH_MAX];
        if (snprintf(path, sizeof path, "%s/%s", dir, entry->d_name) >= int(sizeof path))
            continue;
        const ssize_t m = readlink(path, linked, sizeof linked - 1);
        if (m <= 0)
            continue;
        linked[m] = '\0';
        if (strcmp(linked, target) == 0 && strlen(entry->d_name) < size) {
            strcpy(name, entry->d_name);
            found = true;
        }
    }
    closedir(d);
    return found;
}

int sendLines(const char *dir, const char *name, const char *op, int bits)
{
    struct sockaddr_un address;
    memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (snprintf(address.sun_path, sizeof address.sun_path, "%s/%s.lines", dir, name) >=
        int(sizeof address.sun_path)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    const int s = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return -1;
    char message[32];
    const int length = snprintf(message, sizeof message, "%s %d", op, bits);
    // A datagram socket of the same machine: sendto returns at once, or fails
    // when the simulator is gone (as a pulled adapter's ioctl fails).
    const ssize_t sent = sendto(s, message, size_t(length), MSG_DONTWAIT,
                                reinterpret_cast<const sockaddr *>(&address), sizeof address);
    const int saved = errno;
    close(s);
    errno = saved;
    return sent == length ? 0 : -1;
}

} // namespace

extern "C" int ioctl(int fd, unsigned long request, ...)
{
    va_list args;
    va_start(args, request);
    void *arg = va_arg(args, void *);
    va_end(args);

    const char *op = request == TIOCMBIS   ? "BIS"
                     : request == TIOCMBIC ? "BIC"
                     : request == TIOCMSET ? "SET"
                                           : nullptr;
    const char *dir = op ? getenv("STATIONSIM_PTY_DIR") : nullptr;
    char name[NAME_MAX + 1];
    if (!op || !dir || !arg || !chipOf(fd, dir, name, sizeof name))
        return realIoctl(fd, request, arg);
    return sendLines(dir, name, op, *static_cast<const int *>(arg));
}
