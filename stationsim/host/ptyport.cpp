#include "host/ptyport.h"

#include "chip/simchip.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/inotify.h>
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
    if (inotify >= 0 && inotify_add_watch(inotify, name, IN_OPEN) >= 0) {
        inotifyNotifier = std::make_unique<QSocketNotifier>(inotify, QSocketNotifier::Read);
        connect(inotifyNotifier.get(), &QSocketNotifier::activated, this, &PtyPort::onInotify);
    }
    return true;
}

void PtyPort::close()
{
    readNotifier.reset();
    writeNotifier.reset();
    inotifyNotifier.reset();
    if (!link.isEmpty()) {
        if (QFileInfo(link).isSymLink())
            QFile::remove(link);
        link.clear();
    }
    for (int *fd : {&inotify, &slave, &master}) {
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
    char buffer[1024];
    bool opened = false;
    while (::read(inotify, buffer, sizeof buffer) > 0)
        opened = true;
    if (opened) {
        tcflush(slave, TCIFLUSH);
        outgoing.clear();
        emit note(QStringLiteral("pty opened by a host program"));
    }
}

} // namespace stationsim
