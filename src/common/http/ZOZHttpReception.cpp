#include "http/ZOZHttpReception.h"

#include "http/ZOZHttpRequestParser.h"
#include "http/ZOZHttpServer.h"
#include "base/ZOZLog.h"
#include "base/ZOZThreadName.h"

#include <QHostAddress>
#include <QMutexLocker>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ZOZ {

namespace {

constexpr quint32 LogPlain = LogSource::HttpClient;
constexpr quint32 LogWarning = LogSource::HttpClient | LogFlag::Warning;

// Bytes taken from a socket per read.
constexpr qsizetype ReadChunkBytes = 64 * 1024;
// A buffer never grows past one request at its limits plus one read.
constexpr qsizetype MaxBufferBytes = qsizetype(MaxRequestHeadBytes + MaxRequestBodyBytes) + ReadChunkBytes;

QString prefix(const HttpConnection &connection)
{
    return QStringLiteral("HttpClient::run()[%1|%2]").arg(connection.id, 0, 16).arg(connection.descriptor);
}

void describePeer(HttpConnection &connection)
{
    sockaddr_storage address {};
    socklen_t length = sizeof address;
    QHostAddress peer;
    quint16 port = 0;
    if (::getpeername(connection.descriptor, reinterpret_cast<sockaddr *>(&address), &length) == 0) {
        peer.setAddress(reinterpret_cast<const sockaddr *>(&address));
        if (address.ss_family == AF_INET)
            port = ntohs(reinterpret_cast<const sockaddr_in *>(&address)->sin_port);
        else if (address.ss_family == AF_INET6)
            port = ntohs(reinterpret_cast<const sockaddr_in6 *>(&address)->sin6_port);
    }
    connection.peerAddress = peer.toString();
    connection.peer = connection.peerAddress + QLatin1Char(':') + QString::number(port);
    connection.remote = !peer.isLoopback();
}

} // namespace

HttpReception::HttpReception(HttpServer *server) : m_server(server)
{
    m_clock.start();
    m_wakeDescriptor = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    m_epollDescriptor = ::epoll_create1(EPOLL_CLOEXEC);
    if (m_epollDescriptor >= 0 && m_wakeDescriptor >= 0) {
        epoll_event event {};
        event.events = EPOLLIN;
        event.data.fd = m_wakeDescriptor;
        ::epoll_ctl(m_epollDescriptor, EPOLL_CTL_ADD, m_wakeDescriptor, &event);
    }
}

HttpReception::~HttpReception()
{
    stop();
    if (m_wakeDescriptor >= 0)
        ::close(m_wakeDescriptor);
    if (m_epollDescriptor >= 0)
        ::close(m_epollDescriptor);
}

void HttpReception::add(int descriptor, int generation)
{
    {
        QMutexLocker locker(&m_mutex);
        if (!m_stopRequested.load()) {
            m_incoming.append(Accepted { descriptor, generation });
            descriptor = -1;
        }
    }
    if (descriptor >= 0)
        ::close(descriptor);
    else
        wake();
}

void HttpReception::giveBack(std::unique_ptr<HttpConnection> connection)
{
    // The socket is watched again at once, so the next request wakes the
    // reception by itself; the reception is woken here only when it would sleep
    // past this connection's first time-out.
    const qint64 at = now();
    connection->lastBytesAt = at;
    connection->waitingSince = at;
    connection->requestStartedAt = connection->lineStartedAt = connection->buffer.isEmpty() ? -1 : at;
    const int descriptor = connection->descriptor;
    qint64 deadline = at + m_server->idleTimeout();
    if (!connection->buffer.isEmpty()) {
        const HttpServer::RequestTimeouts limits = m_server->requestTimeouts();
        deadline = std::min(deadline, at + std::min(limits.requestMs, limits.headerLineMs));
    }
    {
        QMutexLocker locker(&m_mutex);
        if (!m_stopRequested.load()) {
            m_returned.push_back(std::move(connection));
            connection.reset();
        }
    }
    if (connection) {
        m_server->closeConnection(*connection);
        return;
    }
    // Armed only now that the reception can find the connection, so that no
    // event for it is lost. Should the reception have closed it in between,
    // arming fails, or arms a socket of that number anew, which costs one look
    // at a socket with nothing to read.
    epoll_event event {};
    event.events = EPOLLIN | EPOLLONESHOT;
    event.data.fd = descriptor;
    ::epoll_ctl(m_epollDescriptor, EPOLL_CTL_MOD, descriptor, &event);
    if (deadline < m_sleepsUntil.load())
        wake();
}

void HttpReception::closeAll()
{
    {
        QMutexLocker locker(&m_mutex);
        m_closeAllRequested = true;
    }
    wake();
}

void HttpReception::stop()
{
    {
        QMutexLocker locker(&m_mutex);
        m_stopRequested.store(true);
    }
    wake();
    wait();
    // The thread has ended (or never ran): what it held is closed here.
    QVector<Accepted> incoming;
    std::vector<std::unique_ptr<HttpConnection>> returned;
    {
        QMutexLocker locker(&m_mutex);
        incoming.swap(m_incoming);
        returned.swap(m_returned);
    }
    for (const Accepted &accepted : std::as_const(incoming))
        ::close(accepted.descriptor);
    for (auto &connection : returned)
        m_server->closeConnection(*connection);
    for (auto &connection : m_reading)
        m_server->closeConnection(*connection);
    m_reading.clear();
}

void HttpReception::wake()
{
    const quint64 one = 1;
    if (m_wakeDescriptor >= 0)
        [[maybe_unused]] const ssize_t written = ::write(m_wakeDescriptor, &one, sizeof one);
}

void HttpReception::run()
{
    setThreadName("HttpReception");
    if (m_epollDescriptor < 0 || m_wakeDescriptor < 0) {
        ZOZ_LOG(LogSource::HttpClient | LogFlag::Error,
                QStringLiteral("HttpReception::run() -> error: no descriptors to wait on (%1)").arg(QString::fromLocal8Bit(std::strerror(errno))));
        return;
    }
    constexpr int MaxEvents = 64;
    epoll_event events[MaxEvents];
    while (!m_stopRequested.load()) {
        takeNewConnections();
        int timeout = pollTimeout();
        // Said before the look at what waits: a connection given back after the
        // look sees when the thread will wake.
        m_sleepsUntil.store(timeout < 0 ? std::numeric_limits<qint64>::max() : now() + timeout);
        {
            QMutexLocker locker(&m_mutex);
            if (!m_incoming.isEmpty() || !m_returned.empty() || m_closeAllRequested)
                timeout = 0;
        }
        const int ready = ::epoll_wait(m_epollDescriptor, events, MaxEvents, timeout);
        m_sleepsUntil.store(-1);
        if (ready < 0 && errno != EINTR)
            break;
        // A connection given back while the thread slept may be among the events.
        takeNewConnections();
        for (int e = 0; e < std::max(ready, 0); ++e) {
            const int descriptor = events[e].data.fd;
            if (descriptor == m_wakeDescriptor) {
                quint64 count = 0;
                [[maybe_unused]] const ssize_t read = ::read(m_wakeDescriptor, &count, sizeof count);
                continue;
            }
            // A connection closed or handed on by an earlier event is no longer here.
            for (std::size_t i = 0; i < m_reading.size(); ++i) {
                if (m_reading[i]->descriptor == descriptor) {
                    readFrom(i);
                    break;
                }
            }
        }
        closeExpired();
    }
}

// Each event disarms its socket: a connection handed to an answering thread is
// not reported while it is answered, and needs no call to leave the set.
bool HttpReception::watch(const HttpConnection &connection, Watch how)
{
    epoll_event event {};
    event.events = EPOLLIN | EPOLLONESHOT;
    event.data.fd = connection.descriptor;
    const int operation = how == Watch::Add ? EPOLL_CTL_ADD : EPOLL_CTL_MOD;
    return ::epoll_ctl(m_epollDescriptor, operation, connection.descriptor, &event) == 0;
}

bool HttpReception::isCurrent(const HttpConnection &connection) const
{
    return m_server->isRunning() && connection.generation == m_server->generation();
}

void HttpReception::takeNewConnections()
{
    QVector<Accepted> incoming;
    std::vector<std::unique_ptr<HttpConnection>> returned;
    bool closeEverything = false;
    {
        QMutexLocker locker(&m_mutex);
        incoming.swap(m_incoming);
        returned.swap(m_returned);
        std::swap(closeEverything, m_closeAllRequested);
    }
    if (closeEverything) {
        for (std::size_t i = m_reading.size(); i-- > 0;) {
            if (!isCurrent(*m_reading[i]))
                closeAt(i);
        }
    }
    for (auto &connection : returned) {
        if (!isCurrent(*connection)) {
            m_server->closeConnection(*connection);
            continue;
        }
        m_reading.push_back(std::move(connection));
        evictBeyondBudget(m_reading.back()->peerAddress);
    }
    for (const Accepted &accepted : std::as_const(incoming))
        accept(accepted.descriptor, accepted.generation);
}

void HttpReception::accept(int descriptor, int generation)
{
    const bool current = m_server->isRunning() && generation == m_server->generation();
    if (!current || !m_server->connectionOpened()) {
        if (current)
            ZOZ_LOG(LogWarning, QStringLiteral("HttpReception::accept() -> warning: too many connections, refusing one"));
        ::close(descriptor);
        return;
    }
    ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) | O_NONBLOCK);
    auto connection = std::make_unique<HttpConnection>();
    connection->descriptor = descriptor;
    connection->id = m_nextId++;
    connection->generation = generation;
    if (!watch(*connection, Watch::Add)) {
        ZOZ_LOG(LogWarning, prefix(*connection) + QStringLiteral(" -> warning: cannot watch the connection (%1)").arg(QString::fromLocal8Bit(std::strerror(errno))));
        m_server->closeConnection(*connection);
        return;
    }
    describePeer(*connection);
    const qint64 at = now();
    connection->lastBytesAt = at;
    connection->waitingSince = at;
    ZOZ_LOG(LogPlain, prefix(*connection) + QStringLiteral(" -> new connection"));
    m_reading.push_back(std::move(connection));
    evictBeyondBudget(m_reading.back()->peerAddress);
}

void HttpReception::readFrom(std::size_t index)
{
    HttpConnection &connection = *m_reading[index];
    while (connection.buffer.size() < MaxBufferBytes) {
        const qsizetype room = std::min(ReadChunkBytes, MaxBufferBytes - connection.buffer.size());
        const qsizetype before = connection.buffer.size();
        connection.buffer.resize(before + room);
        const ssize_t n = ::recv(connection.descriptor, connection.buffer.data() + before, size_t(room), 0);
        connection.buffer.resize(before + std::max<qsizetype>(n, 0));
        if (n > 0) {
            const qint64 at = now();
            if (before == 0)
                connection.requestStartedAt = connection.lineStartedAt = at;
            if (std::memchr(connection.buffer.constData() + before, '\n', size_t(n)))
                connection.lineStartedAt = at;
            connection.lastBytesAt = at;
            // Less than asked for: the socket is empty for now. Bytes that come
            // in the meantime are reported again once the socket is rearmed.
            if (n < room)
                break;
            continue;
        }
        if (n == 0) {
            connection.peerClosed = true;
            break;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            closeAt(index);
            return;
        }
        break;
    }
    if (dispatchIfReady(index))
        return;
    // Nothing complete came, and nothing more will come (or fit).
    if (connection.peerClosed || connection.buffer.size() >= MaxBufferBytes) {
        closeAt(index);
        return;
    }
    if (!watch(connection, Watch::Again))
        closeAt(index, QStringLiteral("cannot watch the connection"));
}

bool HttpReception::dispatchIfReady(std::size_t index)
{
    HttpConnection &connection = *m_reading[index];
    if (connection.buffer.isEmpty())
        return false;
    HttpRequestHead head;
    if (parseHttpRequest(connection.buffer.constData(), size_t(connection.buffer.size()), head) == HttpParseResult::NeedMore)
        return false;
    std::unique_ptr<HttpConnection> ready = std::move(m_reading[index]);
    m_reading.erase(m_reading.begin() + qsizetype(index));
    m_server->answerLater(std::move(ready));
    return true;
}

void HttpReception::closeExpired()
{
    const qint64 at = now();
    const qint64 idle = m_server->idleTimeout();
    const HttpServer::RequestTimeouts limits = m_server->requestTimeouts();
    for (std::size_t i = m_reading.size(); i-- > 0;) {
        const HttpConnection &connection = *m_reading[i];
        if (at - connection.lastBytesAt >= idle)
            closeAt(i);
        else if (connection.requestStartedAt >= 0 && at - connection.requestStartedAt >= limits.requestMs)
            closeAt(i, QStringLiteral("request not complete in time"));
        else if (connection.lineStartedAt >= 0 && at - connection.lineStartedAt >= limits.headerLineMs)
            closeAt(i, QStringLiteral("header line not complete in time"));
    }
}

void HttpReception::evictBeyondBudget(const QString &address)
{
    qsizetype sameAddress = 0;
    for (const auto &connection : m_reading)
        sameAddress += connection->peerAddress == address ? 1 : 0;
    while (sameAddress > HttpServer::MaxWaitingConnectionsPerAddress) {
        std::size_t longest = m_reading.size();
        for (std::size_t i = 0; i < m_reading.size(); ++i) {
            if (m_reading[i]->peerAddress == address
                && (longest == m_reading.size() || m_reading[i]->waitingSince < m_reading[longest]->waitingSince))
                longest = i;
        }
        closeAt(longest, QStringLiteral("too many connections from one address wait for a request, closing the oldest"));
        --sameAddress;
    }
}

void HttpReception::closeAt(std::size_t index, const QString &reason)
{
    std::unique_ptr<HttpConnection> connection = std::move(m_reading[index]);
    m_reading.erase(m_reading.begin() + qsizetype(index));
    if (!reason.isEmpty())
        ZOZ_LOG(LogWarning, prefix(*connection) + QStringLiteral(" -> warning: %1 (peer %2)").arg(reason, connection->peer));
    m_server->closeConnection(*connection);
}

int HttpReception::pollTimeout() const
{
    const qint64 idle = m_server->idleTimeout();
    // Connections out being answered come back with an idle time-out from then
    // on, never earlier than this wake-up: they need not wake the thread.
    if (m_reading.empty())
        return m_server->activeConnections() > 0 ? int(std::min<qint64>(idle, 60000)) : -1;
    const qint64 at = now();
    const HttpServer::RequestTimeouts limits = m_server->requestTimeouts();
    qint64 next = std::numeric_limits<qint64>::max();
    for (const auto &connection : m_reading) {
        next = std::min(next, connection->lastBytesAt + idle);
        if (connection->requestStartedAt >= 0)
            next = std::min(next, connection->requestStartedAt + limits.requestMs);
        if (connection->lineStartedAt >= 0)
            next = std::min(next, connection->lineStartedAt + limits.headerLineMs);
    }
    return int(std::clamp<qint64>(next - at, 0, 60000));
}

} // namespace ZOZ
