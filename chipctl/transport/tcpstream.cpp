#include "tcpstream.h"

#include <QDeadlineTimer>
#include <QSocketNotifier>

#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#ifdef Q_OS_WIN
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

// ---- The platform's sockets ------------------------------------------------

#ifdef Q_OS_WIN
using Native = SOCKET;

// Winsock is started once per process and left running until it ends.
bool startSockets()
{
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

void closeNative(Native s)
{
    ::closesocket(s);
}

bool nonBlocking(Native s)
{
    u_long on = 1;
    return ::ioctlsocket(s, FIONBIO, &on) == 0;
}

bool wouldBlock()
{
    const int error = WSAGetLastError();
    return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS;
}

bool interrupted()
{
    return WSAGetLastError() == WSAEINTR;
}

// Waits for one socket; `connecting`: for the end of a connection attempt.
// select(), not WSAPoll: WSAPoll does not report a refused connection on
// older Windows 10 builds.
int waitFor(Native s, bool forWrite, bool connecting, int ms)
{
    fd_set watched;
    fd_set failed;
    FD_ZERO(&watched);
    FD_ZERO(&failed);
    FD_SET(s, &watched);
    FD_SET(s, &failed);
    timeval limit{};
    limit.tv_sec = ms / 1000;
    limit.tv_usec = (ms % 1000) * 1000;
    return ::select(0, forWrite ? nullptr : &watched, forWrite ? &watched : nullptr,
                    connecting ? &failed : nullptr, &limit);
}

int sendSome(Native s, const char *data, int size)
{
    return ::send(s, data, size, 0);
}
#else
using Native = int;

bool startSockets()
{
    return true;
}

void closeNative(Native s)
{
    ::close(s);
}

bool nonBlocking(Native s)
{
    const int flags = ::fcntl(s, F_GETFL);
    return flags >= 0 && ::fcntl(s, F_SETFL, flags | O_NONBLOCK) == 0;
}

bool wouldBlock()
{
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINPROGRESS;
}

bool interrupted()
{
    return errno == EINTR;
}

int waitFor(Native s, bool forWrite, bool connecting, int ms)
{
    Q_UNUSED(connecting)
    pollfd watch{};
    watch.fd = s;
    watch.events = forWrite ? POLLOUT : POLLIN;
    return ::poll(&watch, 1, ms);
}

int sendSome(Native s, const char *data, int size)
{
    // A connection the server has closed must not end the process.
    return int(::send(s, data, size_t(size), MSG_NOSIGNAL));
}
#endif

Native native(qintptr id)
{
    return Native(id);
}

int msLeft(const QDeadlineTimer &deadline)
{
    return int(qBound(qint64(0), deadline.remainingTime(), qint64(INT32_MAX)));
}

// Waits up to `ms` (whole milliseconds, the rest of the deadline after an
// interrupted wait): > 0 ready, 0 timed out, < 0 failed.
int waitReady(Native s, bool forWrite, bool connecting, int ms)
{
    const QDeadlineTimer deadline(ms);
    for (;;) {
        const int ready = waitFor(s, forWrite, connecting, msLeft(deadline));
        if (ready >= 0 || !interrupted())
            return ready;
    }
}

// ---- Name lookup --------------------------------------------------------------

struct Endpoint
{
    int family = 0;
    sockaddr_storage address{};
    int length = 0;
};

std::vector<Endpoint> endpoints(const addrinfo *list)
{
    std::vector<Endpoint> found;
    for (const addrinfo *at = list; at; at = at->ai_next) {
        if (at->ai_addrlen <= 0 || size_t(at->ai_addrlen) > sizeof(sockaddr_storage))
            continue;
        Endpoint e;
        e.family = at->ai_family;
        std::memcpy(&e.address, at->ai_addr, size_t(at->ai_addrlen));
        e.length = int(at->ai_addrlen);
        found.push_back(e);
    }
    return found;
}

addrinfo streamHints(int flags)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = flags;
    return hints;
}

// A lookup that runs in a thread of its own; whoever finishes last (the
// waiting caller or the lookup) frees it.
struct Lookup
{
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    std::vector<Endpoint> found;
};

std::vector<Endpoint> resolve(const QByteArray &host, const QByteArray &service,
                              const QDeadlineTimer &deadline)
{
    // An address needs no resolver and no thread.
    addrinfo numeric = streamHints(AI_NUMERICHOST | AI_NUMERICSERV);
    addrinfo *list = nullptr;
    if (::getaddrinfo(host.constData(), service.constData(), &numeric, &list) == 0) {
        std::vector<Endpoint> found = endpoints(list);
        ::freeaddrinfo(list);
        return found;
    }
    auto lookup = std::make_shared<Lookup>();
    std::thread([lookup, host, service] {
        addrinfo hints = streamHints(AI_NUMERICSERV);
        addrinfo *names = nullptr;
        std::vector<Endpoint> found;
        if (::getaddrinfo(host.constData(), service.constData(), &hints, &names) == 0) {
            found = endpoints(names);
            ::freeaddrinfo(names);
        }
        const std::lock_guard<std::mutex> guard(lookup->lock);
        lookup->found = std::move(found);
        lookup->finished = true;
        lookup->done.notify_all();
    }).detach();
    std::unique_lock<std::mutex> guard(lookup->lock);
    lookup->done.wait_for(guard, std::chrono::milliseconds(msLeft(deadline)),
                          [&] { return lookup->finished; });
    return lookup->finished ? lookup->found : std::vector<Endpoint>();
}

// One connection attempt, bounded by `deadline`: the connected socket, or
// the invalid one.
qintptr connectOne(const Endpoint &to, const QDeadlineTimer &deadline)
{
#ifdef Q_OS_WIN
    const Native s = ::socket(to.family, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return -1;
    // Not handed to programs this one starts.
    SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
#else
    const Native s = ::socket(to.family, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (s < 0)
        return -1;
#endif
    if (!nonBlocking(s)) {
        closeNative(s);
        return -1;
    }
    if (::connect(s, reinterpret_cast<const sockaddr *>(&to.address), socklen_t(to.length)) != 0) {
        if (!wouldBlock() || waitReady(s, true, true, msLeft(deadline)) <= 0) {
            closeNative(s);
            return -1;
        }
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&error), &length) != 0 ||
            error != 0) {
            closeNative(s);
            return -1;
        }
    }
    return qintptr(s);
}

} // namespace

TcpStream::TcpStream(QObject *parent)
    : QObject(parent)
{}

TcpStream::~TcpStream()
{
    abort();
}

bool TcpStream::isIpv6Address(const QString &text)
{
    if (text.isEmpty() || !startSockets())
        return false;
    // A link-local address may name its interface: "fe80::1%eth0".
    const int scope = text.indexOf(QLatin1Char('%'));
    if (scope == 0 || scope == text.size() - 1)
        return false;
    in6_addr address{};
    return ::inet_pton(AF_INET6, text.left(scope).toLatin1().constData(), &address) == 1;
}

bool TcpStream::connectTo(const QString &host, uint16_t port, const QDeadlineTimer &deadline)
{
    abort();
    if (host.isEmpty() || port == 0 || !startSockets())
        return false;
    const std::vector<Endpoint> found = resolve(host.toUtf8(), QByteArray::number(port), deadline);
    for (const Endpoint &to : found) {
        if (deadline.hasExpired())
            break;
        const qintptr id = connectOne(to, deadline);
        if (id == invalidSocket)
            continue;
        socketId = id;
        notifier = new QSocketNotifier(socketId, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, &TcpStream::onReadable);
        return true;
    }
    return false;
}

void TcpStream::setReadLimit(int bytes)
{
    readLimit = qMax(1, bytes);
}

QByteArray TcpStream::read(int maxBytes)
{
    const QByteArray taken = inbox.left(qMax(0, maxBytes));
    inbox.remove(0, taken.size());
    if (notifier && !notifier->isEnabled() && inbox.size() < readLimit)
        notifier->setEnabled(true);
    return taken;
}

bool TcpStream::write(const QByteArray &data)
{
    if (!isOpen())
        return false;
    outbox += data;
    flush();
    return true;
}

void TcpStream::flush()
{
    while (isOpen() && !outbox.isEmpty()) {
        const int sent = sendSome(native(socketId), outbox.constData(), int(outbox.size()));
        if (sent > 0) {
            outbox.remove(0, sent);
        } else if (sent < 0 && interrupted()) {
            continue;
        } else {
            if (sent < 0 && !wouldBlock())
                lose();
            return;
        }
    }
}

bool TcpStream::waitWritable(int ms)
{
    return isOpen() && waitReady(native(socketId), true, false, qMax(0, ms)) > 0;
}

bool TcpStream::waitForReadyRead(int ms)
{
    if (!isOpen())
        return false;
    if (inbox.size() >= readLimit)
        return true;
    return waitReady(native(socketId), false, false, qMax(0, ms)) > 0 && takeIn();
}

void TcpStream::shutdownSending()
{
    if (!isOpen())
        return;
#ifdef Q_OS_WIN
    ::shutdown(native(socketId), SD_SEND);
#else
    ::shutdown(native(socketId), SHUT_WR);
#endif
}

void TcpStream::setLowDelay()
{
    if (!isOpen())
        return;
    const int on = 1;
    ::setsockopt(native(socketId), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&on),
                 socklen_t(sizeof on));
}

// The notifier saw the socket readable.
void TcpStream::onReadable()
{
    if (inbox.size() >= readLimit) {
        // Taken up again when the reader makes room (read()).
        notifier->setEnabled(false);
        return;
    }
    takeIn();
}

// One portion from the connection, said as readyRead; the end of the
// connection said as disconnected. True when bytes came in.
bool TcpStream::takeIn()
{
    switch (fill()) {
    case Fill::Bytes:
        emit readyRead();
        return true;
    case Fill::Ended:
        lose();
        return false;
    case Fill::Nothing:
        break;
    }
    return false;
}

// Reads what the connection holds, up to the read limit.
TcpStream::Fill TcpStream::fill()
{
    const int room = readLimit - int(inbox.size());
    if (!isOpen() || room <= 0)
        return Fill::Nothing;
    const int had = int(inbox.size());
    inbox.resize(had + room);
    int got;
    do {
        got = int(::recv(native(socketId), inbox.data() + had, room, 0));
    } while (got < 0 && interrupted());
    inbox.resize(had + qMax(0, got));
    if (got > 0)
        return Fill::Bytes;
    if (got < 0 && wouldBlock())
        return Fill::Nothing;
    // 0: the server's end of stream; < 0: a reset or another failure.
    return Fill::Ended;
}

// The connection has ended: closed, and said once.
void TcpStream::lose()
{
    if (!isOpen())
        return;
    abort();
    emit disconnected();
}

void TcpStream::abort()
{
    if (notifier) {
        // It may be the one whose signal is being handled right now.
        notifier->setEnabled(false);
        notifier->disconnect(this);
        notifier->deleteLater();
        notifier = nullptr;
    }
    if (socketId != invalidSocket) {
        closeNative(native(socketId));
        socketId = invalidSocket;
    }
    outbox.clear();
}
