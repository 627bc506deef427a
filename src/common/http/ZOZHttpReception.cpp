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
#include <utility>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
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
    m_stopDescriptor = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    m_epollDescriptor = ::epoll_create1(EPOLL_CLOEXEC);
    if (m_epollDescriptor >= 0 && m_stopDescriptor >= 0) {
        // Level-triggered and never read: once written, every waiting thread sees it.
        epoll_event event {};
        event.events = EPOLLIN;
        event.data.fd = m_stopDescriptor;
        ::epoll_ctl(m_epollDescriptor, EPOLL_CTL_ADD, m_stopDescriptor, &event);
    }
}

HttpReception::~HttpReception()
{
    stopAnswering();
    stop();
    for (const int descriptor : {m_wakeDescriptor, m_stopDescriptor, m_epollDescriptor}) {
        if (descriptor >= 0)
            ::close(descriptor);
    }
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

std::unique_ptr<HttpConnection> HttpReception::nextToAnswer()
{
    while (!m_stopAnswering.load() && m_epollDescriptor >= 0 && m_stopDescriptor >= 0) {
        epoll_event event {};
        ++m_waitingThreads;
        const int ready = ::epoll_wait(m_epollDescriptor, &event, 1, -1);
        --m_waitingThreads;
        if (ready < 0 && errno != EINTR) {
            ZOZ_LOG(LogSource::HttpClient | LogFlag::Error,
                    QStringLiteral("HttpReception::nextToAnswer() -> error: cannot wait for requests (%1)").arg(QString::fromLocal8Bit(std::strerror(errno))));
            return nullptr;
        }
        if (ready <= 0 || event.data.fd == m_stopDescriptor)
            continue;
        std::unique_ptr<HttpConnection> connection = take(event.data.fd);
        if (connection && readFrom(connection) == ReadResult::Ready)
            return connection;
    }
    return nullptr;
}

void HttpReception::stopAnswering()
{
    m_stopAnswering.store(true);
    const quint64 one = 1;
    if (m_stopDescriptor >= 0)
        [[maybe_unused]] const ssize_t written = ::write(m_stopDescriptor, &one, sizeof one);
}

void HttpReception::giveBack(std::unique_ptr<HttpConnection> connection)
{
    const qint64 at = now();
    connection->lastBytesAt = at;
    connection->waitingSince = at;
    connection->requestStartedAt = connection->lineStartedAt = connection->buffer.isEmpty() ? -1 : at;
    putBack(std::move(connection));
}

void HttpReception::putBack(std::unique_ptr<HttpConnection> connection)
{
    // The reception's thread is woken only when it would sleep past this
    // connection's first time-out.
    const int descriptor = connection->descriptor;
    qint64 deadline = connection->lastBytesAt + m_server->idleTimeout();
    const HttpServer::RequestTimeouts limits = m_server->requestTimeouts();
    if (connection->requestStartedAt >= 0)
        deadline = std::min(deadline, connection->requestStartedAt + limits.requestMs);
    if (connection->lineStartedAt >= 0)
        deadline = std::min(deadline, connection->lineStartedAt + limits.headerLineMs);
    {
        QMutexLocker locker(&m_mutex);
        if (!m_stopRequested.load() && isCurrent(*connection)) {
            m_waiting.push_back(std::move(connection));
            evictBeyondBudget(m_waiting.back()->peerAddress);
        }
    }
    if (connection) {
        m_server->closeConnection(*connection);
        return;
    }
    // Armed only now that a thread can find the connection, so that no event
    // for it is lost. Should it have been closed in between, arming fails, or
    // arms a socket of that number anew, which costs one look at a socket with
    // nothing to read.
    if (!watch(descriptor, Watch::Again)) {
        const int error = errno;
        if (std::unique_ptr<HttpConnection> lost = take(descriptor)) {
            ZOZ_LOG(LogWarning, prefix(*lost) + QStringLiteral(" -> warning: cannot watch the connection (%1) (peer %2)")
                                                    .arg(QString::fromLocal8Bit(std::strerror(error)), lost->peer));
            m_server->closeConnection(*lost);
        }
        return;
    }
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
    QThread::wait();
    // The thread has ended (or never ran): what it held is closed here.
    QVector<Accepted> incoming;
    std::vector<std::unique_ptr<HttpConnection>> waiting;
    {
        QMutexLocker locker(&m_mutex);
        incoming.swap(m_incoming);
        waiting.swap(m_waiting);
    }
    for (const Accepted &accepted : std::as_const(incoming))
        ::close(accepted.descriptor);
    for (auto &connection : waiting)
        m_server->closeConnection(*connection);
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
    if (m_epollDescriptor < 0 || m_wakeDescriptor < 0 || m_stopDescriptor < 0) {
        ZOZ_LOG(LogSource::HttpClient | LogFlag::Error,
                QStringLiteral("HttpReception::run() -> error: no descriptors to wait on (%1)").arg(QString::fromLocal8Bit(std::strerror(errno))));
        return;
    }
    while (!m_stopRequested.load()) {
        takeNewConnections();
        int timeout = -1;
        {
            QMutexLocker locker(&m_mutex);
            timeout = pollTimeout();
            // Said under the lock that a connection is put back with: one put
            // back later sees when the thread will wake.
            m_sleepsUntil.store(timeout < 0 ? std::numeric_limits<qint64>::max() : now() + timeout);
            if (!m_incoming.isEmpty() || m_closeAllRequested)
                timeout = 0;
        }
        pollfd wakeUp { m_wakeDescriptor, POLLIN, 0 };
        const int ready = ::poll(&wakeUp, 1, timeout);
        m_sleepsUntil.store(-1);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready > 0) {
            quint64 count = 0;
            [[maybe_unused]] const ssize_t read = ::read(m_wakeDescriptor, &count, sizeof count);
        }
        QMutexLocker locker(&m_mutex);
        closeExpired();
    }
}

// Each event disarms its socket: a connection being read or answered is not
// reported meanwhile, and needs no call to leave the set.
bool HttpReception::watch(int descriptor, Watch how)
{
    epoll_event event {};
    event.events = EPOLLIN | EPOLLONESHOT;
    event.data.fd = descriptor;
    const int operation = how == Watch::Add ? EPOLL_CTL_ADD : EPOLL_CTL_MOD;
    return ::epoll_ctl(m_epollDescriptor, operation, descriptor, &event) == 0;
}

bool HttpReception::isCurrent(const HttpConnection &connection) const
{
    return m_server->isRunning() && connection.generation == m_server->generation();
}

void HttpReception::takeNewConnections()
{
    QVector<Accepted> incoming;
    {
        QMutexLocker locker(&m_mutex);
        incoming.swap(m_incoming);
        if (std::exchange(m_closeAllRequested, false)) {
            for (std::size_t i = m_waiting.size(); i-- > 0;) {
                if (!isCurrent(*m_waiting[i]))
                    closeAt(i);
            }
        }
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
    describePeer(*connection);
    const qint64 at = now();
    connection->lastBytesAt = at;
    connection->waitingSince = at;
    ZOZ_LOG(LogPlain, prefix(*connection) + QStringLiteral(" -> new connection"));
    {
        QMutexLocker locker(&m_mutex);
        m_waiting.push_back(std::move(connection));
        evictBeyondBudget(m_waiting.back()->peerAddress);
    }
    if (!watch(descriptor, Watch::Add)) {
        const int error = errno;
        if (std::unique_ptr<HttpConnection> lost = take(descriptor)) {
            ZOZ_LOG(LogWarning, prefix(*lost) + QStringLiteral(" -> warning: cannot watch the connection (%1)").arg(QString::fromLocal8Bit(std::strerror(error))));
            m_server->closeConnection(*lost);
        }
    }
}

std::unique_ptr<HttpConnection> HttpReception::take(int descriptor)
{
    QMutexLocker locker(&m_mutex);
    for (std::size_t i = 0; i < m_waiting.size(); ++i) {
        if (m_waiting[i]->descriptor == descriptor) {
            std::unique_ptr<HttpConnection> connection = std::move(m_waiting[i]);
            m_waiting.erase(m_waiting.begin() + qsizetype(i));
            return connection;
        }
    }
    return nullptr;
}

HttpReception::ReadResult HttpReception::readFrom(std::unique_ptr<HttpConnection> &owned)
{
    HttpConnection &connection = *owned;
    // Read onto the stack and appended: the buffer grows by what came, not by a
    // whole read's room that a short request leaves unused.
    char chunk[ReadChunkBytes];
    while (connection.buffer.size() < MaxBufferBytes) {
        const qsizetype room = std::min(ReadChunkBytes, MaxBufferBytes - connection.buffer.size());
        const qsizetype before = connection.buffer.size();
        const ssize_t n = ::recv(connection.descriptor, chunk, size_t(room), 0);
        if (n > 0) {
            connection.buffer.append(chunk, qsizetype(n));
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
            m_server->closeConnection(connection);
            return ReadResult::Closed;
        }
        break;
    }
    if (!connection.buffer.isEmpty()) {
        HttpRequestHead head;
        if (parseHttpRequest(connection.buffer.constData(), size_t(connection.buffer.size()), head) != HttpParseResult::NeedMore)
            return ReadResult::Ready;
    }
    // Nothing complete came, and nothing more will come (or fit).
    if (connection.peerClosed || connection.buffer.size() >= MaxBufferBytes) {
        m_server->closeConnection(connection);
        return ReadResult::Closed;
    }
    putBack(std::move(owned));
    return ReadResult::Incomplete;
}

void HttpReception::closeExpired()
{
    const qint64 at = now();
    const qint64 idle = m_server->idleTimeout();
    const HttpServer::RequestTimeouts limits = m_server->requestTimeouts();
    for (std::size_t i = m_waiting.size(); i-- > 0;) {
        const HttpConnection &connection = *m_waiting[i];
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
    for (const auto &connection : m_waiting)
        sameAddress += connection->peerAddress == address ? 1 : 0;
    while (sameAddress > HttpServer::MaxWaitingConnectionsPerAddress) {
        std::size_t longest = m_waiting.size();
        for (std::size_t i = 0; i < m_waiting.size(); ++i) {
            if (m_waiting[i]->peerAddress == address
                && (longest == m_waiting.size() || m_waiting[i]->waitingSince < m_waiting[longest]->waitingSince))
                longest = i;
        }
        closeAt(longest, QStringLiteral("too many connections from one address wait for a request, closing the oldest"));
        --sameAddress;
    }
}

void HttpReception::closeAt(std::size_t index, const QString &reason)
{
    std::unique_ptr<HttpConnection> connection = std::move(m_waiting[index]);
    m_waiting.erase(m_waiting.begin() + qsizetype(index));
    if (!reason.isEmpty())
        ZOZ_LOG(LogWarning, prefix(*connection) + QStringLiteral(" -> warning: %1 (peer %2)").arg(reason, connection->peer));
    m_server->closeConnection(*connection);
}

int HttpReception::pollTimeout() const
{
    const qint64 idle = m_server->idleTimeout();
    // Connections out being read or answered come back with their times from
    // then on, and wake the thread when their first time-out comes before it
    // wakes anyway.
    if (m_waiting.empty())
        return m_server->activeConnections() > 0 ? int(std::min<qint64>(idle, 60000)) : -1;
    const qint64 at = now();
    const HttpServer::RequestTimeouts limits = m_server->requestTimeouts();
    qint64 next = std::numeric_limits<qint64>::max();
    for (const auto &connection : m_waiting) {
        next = std::min(next, connection->lastBytesAt + idle);
        if (connection->requestStartedAt >= 0)
            next = std::min(next, connection->requestStartedAt + limits.requestMs);
        if (connection->lineStartedAt >= 0)
            next = std::min(next, connection->lineStartedAt + limits.headerLineMs);
    }
    return int(std::clamp<qint64>(next - at, 0, 60000));
}

} // namespace ZOZ
