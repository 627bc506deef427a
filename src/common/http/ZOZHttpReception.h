#pragma once

#include "http/ZOZHttpConnection.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QThread>
#include <QVector>

#include <atomic>
#include <memory>
#include <vector>

namespace ZOZ {

class HttpServer;

// Reads every open connection on one thread until a request is complete, and only
// then hands it to an answering thread: a client that trickles its bytes, or sends
// nothing, holds a buffer here but never a thread that a complete request waits for.
// It also closes connections that stay idle, whose header line or request takes too
// long, and the longest waiting ones of an address beyond its budget.
class HttpReception : public QThread
{
    Q_OBJECT

public:
    explicit HttpReception(HttpServer *server);
    ~HttpReception() override;

    // Any thread. Takes over a socket accepted in the server's given generation.
    void add(int descriptor, int generation);
    // Any thread. A connection whose buffer holds no complete request goes on
    // being read; one of an earlier generation of the server is closed.
    void giveBack(std::unique_ptr<HttpConnection> connection);
    // Any thread. Closes every connection of an earlier generation (the server
    // stopped or reopened).
    void closeAll();
    // Ends the thread and closes every connection it holds.
    void stop();

    // Milliseconds on the clock that the connection times use.
    qint64 now() const { return m_clock.elapsed(); }

protected:
    void run() override;

private:
    void takeNewConnections();
    void accept(int descriptor, int generation);
    bool isCurrent(const HttpConnection &connection) const;
    void readFrom(std::size_t index);
    // Hands a connection on when its buffer holds something to answer; true when it left.
    bool dispatchIfReady(std::size_t index);
    void closeExpired();
    void evictBeyondBudget(const QString &address);
    void closeAt(std::size_t index, const QString &reason = QString());
    int pollTimeout() const;
    // Arms the connection's socket for its next bytes; false on failure.
    enum class Watch { Add, Again };
    bool watch(const HttpConnection &connection, Watch how);
    void wake();

    HttpServer *m_server;
    QElapsedTimer m_clock;
    int m_wakeDescriptor = -1;
    // The sockets of the connections being read, and the wake-up descriptor.
    int m_epollDescriptor = -1;
    quint64 m_nextId = 1;

    QMutex m_mutex;
    struct Accepted
    {
        int descriptor;
        int generation;
    };
    QVector<Accepted> m_incoming;
    std::vector<std::unique_ptr<HttpConnection>> m_returned;
    bool m_closeAllRequested = false;
    // Until when (reception clock) the thread sleeps; -1 while it is awake and
    // will look at what is given back before it sleeps again.
    std::atomic<qint64> m_sleepsUntil { -1 };
    std::atomic<bool> m_stopRequested { false };

    // Only the reception's thread touches these.
    std::vector<std::unique_ptr<HttpConnection>> m_reading;
};

} // namespace ZOZ
