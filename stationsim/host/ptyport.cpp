#include "host/ptyport.h"

#include "chip/simchip.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

namespace stationsim {

namespace {
constexpr int maxOutgoing = 64 * 1024;
}

PtyPort::PtyPort(SimChip *chip, QObject *parent)
    : QObject(parent)
    , chip(chip)
{
    connect(chip->link(), &UartLink::toHost, this,
            [this](const QByteArray &bytes, quint32) { onChipOutput(bytes); });
}

PtyPort::~PtyPort()
{
    close();
}

bool PtyPort::open(const QString &linkPath, QString *error)
{
    master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        *error =
            QStringLiteral("cannot create a pty: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        close();
        return false;
    }
    char name[128] = {};
    if (ptsname_r(master, name, sizeof name) != 0) {
        *error =
            QStringLiteral("cannot name the pty: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        close();
        return false;
    }
    device = QString::fromLocal8Bit(name);
    slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        *error = QStringLiteral("cannot open %1: %2")
                     .arg(device, QString::fromLocal8Bit(strerror(errno)));
        close();
        return false;
    }
    termios tio{};
    tcgetattr(slave, &tio);
    cfmakeraw(&tio);
    cfsetspeed(&tio, B115200);
    tcsetattr(slave, TCSANOW, &tio);

    const QFileInfo existing(linkPath);
    if (existing.isSymLink() || existing.exists()) {
        if (!existing.isSymLink()) {
            *error = QStringLiteral("%1 exists and is no symlink").arg(linkPath);
            close();
            return false;
        }
        QFile::remove(linkPath);
    }
    if (::symlink(name, QFile::encodeName(linkPath).constData()) != 0) {
        *error = QStringLiteral("cannot create the symlink %1: %2")
                     .arg(linkPath, QString::fromLocal8Bit(strerror(errno)));
        close();
        return false;
    }
    link = linkPath;

    readNotifier = std::make_unique<QSocketNotifier>(master, QSocketNotifier::Read);
    connect(readNotifier.get(), &QSocketNotifier::activated, this, &PtyPort::onReadable);
    writeNotifier = std::make_unique<QSocketNotifier>(master, QSocketNotifier::Write);
    writeNotifier->setEnabled(false);
    connect(writeNotifier.get(), &QSocketNotifier::activated, this, &PtyPort::onWritable);

    // A program opening the pty should not read what the chip said to the
    // previous one.
    inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify >= 0 &&
        inotify_add_watch(inotify, name, IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) >= 0) {
        inotifyNotifier = std::make_unique<QSocketNotifier>(inotify, QSocketNotifier::Read);
        connect(inotifyNotifier.get(), &QSocketNotifier::activated, this, &PtyPort::onInotify);
    }
    if (!openLines(error)) {
        close();
        return false;
    }
    return true;
}

bool PtyPort::openLines(QString *error)
{
    const QByteArray path = QFile::encodeName(link + QStringLiteral(".lines"));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof address.sun_path) {
        *error = QStringLiteral("the pty directory's path is too long for a socket: %1")
                     .arg(QFile::decodeName(path));
        return false;
    }
    memcpy(address.sun_path, path.constData(), size_t(path.size()));
    lines = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (lines < 0) {
        *error = QStringLiteral("cannot create a socket: %1")
                     .arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    struct stat existing
    {
    };
    if (lstat(path.constData(), &existing) == 0) {
        if (!S_ISSOCK(existing.st_mode)) {
            *error = QStringLiteral("%1 exists and is no socket").arg(QFile::decodeName(path));
            return false;
        }
        ::unlink(path.constData()); // left by a simulator that was killed
    }
    if (::bind(lines, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        *error = QStringLiteral("cannot create the socket %1: %2")
                     .arg(QFile::decodeName(path), QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    linesPath = QFile::decodeName(path);
    linesNotifier = std::make_unique<QSocketNotifier>(lines, QSocketNotifier::Read);
    connect(linesNotifier.get(), &QSocketNotifier::activated, this, &PtyPort::onLines);
    return true;
}

void PtyPort::close()
{
    readNotifier.reset();
    writeNotifier.reset();
    inotifyNotifier.reset();
    linesNotifier.reset();
    if (!linesPath.isEmpty()) {
        ::unlink(QFile::encodeName(linesPath).constData());
        linesPath.clear();
    }
    if (!link.isEmpty()) {
        if (QFileInfo(link).isSymLink())
            QFile::remove(link);
        link.clear();
    }
    for (int *fd : {&lines, &inotify, &slave, &master}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

void PtyPort::onReadable()
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n > 0) {
            chip->hostData(QByteArray(buffer, int(n)), 0);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return; // EAGAIN: all read
    }
}

void PtyPort::onChipOutput(const QByteArray &bytes)
{
    if (master < 0)
        return;
    outgoing.append(bytes);
    if (outgoing.size() > maxOutgoing)
        outgoing.remove(0, outgoing.size() - maxOutgoing); // nobody reads: keep the newest
    onWritable();
}

void PtyPort::onWritable()
{
    while (!outgoing.isEmpty()) {
        const ssize_t n = ::write(master, outgoing.constData(), size_t(outgoing.size()));
        if (n > 0) {
            outgoing.remove(0, int(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;
    }
    writeNotifier->setEnabled(!outgoing.isEmpty());
}

void PtyPort::onInotify()
{
    alignas(inotify_event) char buffer[4096];
    bool opened = false;
    bool closed = false;
    for (;;) {
        const ssize_t n = ::read(inotify, buffer, sizeof buffer);
        if (n <= 0)
            break;
        for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= n;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            if (event->mask & IN_OPEN) {
                opened = true;
                ++hostOpens;
            }
            if (event->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) {
                closed = true;
                hostOpens = hostOpens > 0 ? hostOpens - 1 : 0;
            }
            at += ssize_t(sizeof(inotify_event)) + ssize_t(event->len);
        }
    }
    if (opened) {
        tcflush(slave, TCIFLUSH);
        outgoing.clear();
        emit note(QStringLiteral("pty opened by a host program"));
    }
    // The last program gone: its port's driver drops DTR and RTS. What it
    // set before it closed comes first.
    if (closed && hostOpens == 0) {
        onLines();
        if (rts || dtr) {
            emit note(QStringLiteral("pty closed: DTR and RTS released"));
            applyLines(false, false);
        }
    }
}

void PtyPort::onLines()
{
    char buffer[64];
    for (;;) {
        const ssize_t n = ::recv(lines, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return; // EAGAIN: all read
        const QByteArray message = QByteArray(buffer, int(n)).trimmed();
        const QList<QByteArray> words = message.split(' ');
        bool ok = false;
        const int bits = words.size() == 2 ? words.at(1).toInt(&ok) : 0;
        const QByteArray op = words.at(0);
        const bool rtsBit = bits & TIOCM_RTS;
        const bool dtrBit = bits & TIOCM_DTR;
        if (!ok || (op != "SET" && op != "BIS" && op != "BIC")) {
            emit note(QStringLiteral("lines: ignored %1")
                          .arg(QString::fromLatin1(message.toPercentEncoding(" "))));
            continue;
        }
        if (op == "SET")
            applyLines(rtsBit, dtrBit);
        else if (op == "BIS")
            applyLines(rts || rtsBit, dtr || dtrBit);
        else
            applyLines(rts && !rtsBit, dtr && !dtrBit);
    }
}

// One line at a time, DTR first when both change, each noted in the trace as
// the RFC 2217 port notes them.
void PtyPort::applyLines(bool newRts, bool newDtr)
{
    if (newDtr != dtr) {
        dtr = newDtr;
        emit note(dtr ? QStringLiteral("DTR on") : QStringLiteral("DTR off"));
        chip->setLines(rts, dtr);
    }
    if (newRts != rts) {
        rts = newRts;
        emit note(rts ? QStringLiteral("RTS on") : QStringLiteral("RTS off"));
        chip->setLines(rts, dtr);
    }
}

} // namespace stationsim
