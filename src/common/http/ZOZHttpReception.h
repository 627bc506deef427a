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

// Keeps every open connection that waits for its next request. The answering
// threads wait on all of their sockets together (epoll, each socket armed for one
// event, so one thread takes it): the thread that a connection's bytes wake reads
// them, answers a complete request itself and gives the connection back; with an
// incomplete one it gives it back at once. A client that trickles its bytes, or
// sends nothing, thus holds a buffer here but never a thread that a complete
// request waits for, and a request costs no hand-over between threads. The
// reception's own thread takes over accepted sockets and closes connections that
// stay idle, whose header line or request takes too long, and the longest waiting
// ones of an address beyond its budget.
class HttpReception : public QThread
{
    Q_OBJECT

public:
    explicit HttpReception(HttpServer *server);
    ~HttpReception() override;

    // Any thread. Takes over a socket accepted in the server's given generation.
    void add(int descriptor, int generation);
    // Answering threads: waits until a connection's buffer holds something to
    // answer and hands it over; null once stopAnswering() was called.
    std::unique_ptr<HttpConnection> nextToAnswer();
    // Answering threads waiting in nextToAnswer() for bytes.
    int waitingThreads() const { return m_waitingThreads.load(); }
    // Any thread. Every call of nextToAnswer() returns null from now on.
    void stopAnswering();
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
    enum class ReadResult { Ready, Incomplete, Closed };
    void takeNewConnections();
    void accept(int descriptor, int generation);
    bool isCurrent(const HttpConnection &connection) const;
    // The connection of a socket that reported bytes, taken out of the waiting
    // ones; null when it was closed meanwhile.
    std::unique_ptr<HttpConnection> take(int descriptor);
    // Reads what the socket holds; Closed when the connection was closed.
    ReadResult readFrom(std::unique_ptr<HttpConnection> &connection);
    // Puts a connection back among the waiting ones and arms its socket again.
    void putBack(std::unique_ptr<HttpConnection> connection);
    // These four with the mutex held.
    void closeExpired();
    void evictBeyondBudget(const QString &address);
    void closeAt(std::size_t index, const QString &reason = QString());
    int pollTimeout() const;
    // Arms the connection's socket for its next bytes; false on failure.
    enum class Watch { Add, Again };
    bool watch(int descriptor, Watch how);
    void wake();

    HttpServer *m_server;
    QElapsedTimer m_clock;
    // Wakes the reception's thread.
    int m_wakeDescriptor = -1;
    // The sockets of the waiting connections, and the stop descriptor.
    int m_epollDescriptor = -1;
    // Readable once the answering threads are to end; never read, so every
    // waiting thread sees it.
    int m_stopDescriptor = -1;
    std::atomic<int> m_waitingThreads { 0 };
    std::atomic<bool> m_stopAnswering { false };
    // Only the reception's thread touches this.
    quint64 m_nextId = 1;

    // Guards what follows.
    mutable QMutex m_mutex;
    struct Accepted
    {
        int descriptor;
        int generation;
    };
    QVector<Accepted> m_incoming;
    bool m_closeAllRequested = false;
    // The connections that wait for bytes, neither being read nor answered.
    std::vector<std::unique_ptr<HttpConnection>> m_waiting;
    // Until when (reception clock) the thread sleeps; -1 while it is awake and
    // will look at the waiting connections before it sleeps again.
    std::atomic<qint64> m_sleepsUntil { -1 };
    std::atomic<bool> m_stopRequested { false };
};

} // namespace ZOZ
