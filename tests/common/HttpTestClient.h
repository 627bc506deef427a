#pragma once

// A plain blocking TCP client on loopback for the server tests: it sends exactly the
// bytes it is given and reads answers as a browser would.

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QList>
#include <QMap>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace ZOZTest {

struct HttpAnswer
{
    bool complete = false;
    int status = 0;
    QByteArray statusLine;
    QMap<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;

    QByteArray header(const char *name) const { return headers.value(QByteArray(name).toLower()); }
};

class HttpTestClient
{
public:
    explicit HttpTestClient(int port)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_port = htons(uint16_t(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~HttpTestClient()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    HttpTestClient(const HttpTestClient &) = delete;
    HttpTestClient &operator=(const HttpTestClient &) = delete;

    bool isConnected() const { return m_fd >= 0; }

    bool send(const QByteArray &bytes)
    {
        qsizetype sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::send(m_fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            sent += n;
        }
        return true;
    }

    // Shuts down the sending side only, as "nc -N" does after its request.
    void shutdownWrite() { ::shutdown(m_fd, SHUT_WR); }

    // Reads one answer; a HEAD or 304 answer has no body whatever its length says.
    HttpAnswer read(int timeoutMs = 3000, bool expectBody = true)
    {
        HttpAnswer answer;
        qsizetype headEnd = -1;
        while ((headEnd = m_buffer.indexOf("\r\n\r\n")) < 0) {
            if (!fill(timeoutMs))
                return answer;
        }
        const QList<QByteArray> lines = m_buffer.left(headEnd).split('\n');
        m_buffer.remove(0, headEnd + 4);
        answer.statusLine = lines.value(0).trimmed();
        answer.status = answer.statusLine.split(' ').value(1).toInt();
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                answer.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
        }
        const qsizetype length = answer.header("Content-Length").toLongLong();
        if (expectBody && answer.status != 304) {
            while (m_buffer.size() < length) {
                if (!fill(timeoutMs))
                    return answer;
            }
            answer.body = m_buffer.left(length);
            m_buffer.remove(0, length);
        }
        answer.complete = true;
        return answer;
    }

    HttpAnswer request(const QByteArray &bytes, int timeoutMs = 3000)
    {
        send(bytes);
        return read(timeoutMs, !bytes.startsWith("HEAD"));
    }

    // True when the server closed the connection within the time.
    bool waitForClose(int timeoutMs)
    {
        for (;;) {
            pollfd p { m_fd, POLLIN, 0 };
            if (::poll(&p, 1, timeoutMs) <= 0)
                return false;
            char c[4096];
            const ssize_t n = ::recv(m_fd, c, sizeof c, 0);
            if (n <= 0)
                return true;
            m_buffer.append(c, n);
        }
    }

    // Whether an answer arrives within the time, without consuming it.
    bool hasDataWithin(int timeoutMs)
    {
        if (!m_buffer.isEmpty())
            return true;
        pollfd p { m_fd, POLLIN, 0 };
        return ::poll(&p, 1, timeoutMs) > 0;
    }

private:
    bool fill(int timeoutMs)
    {
        pollfd p { m_fd, POLLIN, 0 };
        if (::poll(&p, 1, timeoutMs) <= 0)
            return false;
        char chunk[65536];
        const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            return false;
        m_buffer.append(chunk, n);
        return true;
    }

    int m_fd = -1;
    QByteArray m_buffer;
};

// Sends one request from a thread of its own while this thread's event loop runs
// the server under test; waits until the answer is in or the time is up.
inline HttpAnswer requestWhileServing(int port, const QByteArray &request, int timeoutMs)
{
    HttpAnswer answer;
    std::atomic<bool> done {false};
    std::thread client([&] {
        HttpTestClient connection(port);
        answer = connection.request(request);
        done = true;
    });
    QElapsedTimer waited;
    waited.start();
    while (!done.load() && waited.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    client.join();
    return answer;
}

} // namespace ZOZTest
