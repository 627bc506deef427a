#pragma once

#include "http/ZOZHttpConnection.h"
#include "http/ZOZHttpRequest.h"

#include <QByteArray>
#include <QDateTime>
#include <QMutex>
#include <QReadWriteLock>
#include <QStringList>
#include <QTcpServer>
#include <QVector>

#include <atomic>
#include <memory>
#include <vector>

namespace ZOZ {

class HttpClient;
class HttpReception;
class HttpRequestHandler;
class HttpServerSettings;

// The local HTTP server: listens on 127.0.0.1 only. The answering threads
// (HttpClient) wait together on every connection that waits for a request
// (HttpReception); the one that a connection's bytes wake reads them and, once a
// request is complete, asks the registered request handlers and writes the answer.
class HttpServer : public QTcpServer
{
    Q_OBJECT

public:
    // Threads that read and answer requests; a connection holds one only while
    // its bytes are read or its request is answered. More complete requests than
    // this wait their turn.
    static constexpr int MaxAnsweringThreads = 64;
    // Open connections of all peers together; more are closed at once.
    static constexpr int MaxOpenConnections = 768;
    // Connections of one address that wait for a complete request; beyond this
    // the one that has waited longest is closed.
    static constexpr int MaxWaitingConnectionsPerAddress = 256;
    // A connection without data for this long is closed.
    static constexpr int IdleTimeoutMs = 5000;
    // A request that started must be complete within this time, and each of its
    // header lines within the shorter one, however slowly its bytes trickle in.
    static constexpr int RequestTimeoutMs = 10000;
    static constexpr int HeaderLineTimeoutMs = 3000;
    static constexpr int RandomPortTries = 30;
    static constexpr int RandomPortFirst = 30000;
    static constexpr int RandomPortRange = 30000;

    HttpServer(QObject *parent, HttpRequestHandler *defaultHandler);
    ~HttpServer() override;

    // The program's settings as the server sees them; set before open(), kept by
    // the caller for the server's lifetime. Null: the defaults of HttpServerSettings.
    void setSettings(HttpServerSettings *settings) { m_settings = settings; }
    const HttpServerSettings *settings() const { return m_settings; }

    // Main thread.
    bool open();
    bool close();

    bool isRunning() const { return m_running.load(std::memory_order_acquire); }
    // Counts the closings: connections of an earlier opening are closed.
    int generation() const { return m_generation.load(std::memory_order_acquire); }
    int port() const { return m_port.load(std::memory_order_acquire); }
    QDateTime startTime() const { return m_startTime; }
    QByteArray page400() const;
    QByteArray page404() const;

    // Registry; any thread.
    void addRequestHandler(HttpRequestHandler *handler);
    void removeRequestHandler(HttpRequestHandler *handler);
    void setDefaultRequestHandler(HttpRequestHandler *handler);
    bool dispatchAjaxRequest(const HttpRequest &request, HttpResponse &response);
    bool dispatchFileRequest(const HttpRequest &request, HttpResponse &response);
    bool hasHandlerForPath(const QString &path);
    // The default handler, asked after the registered ones. Blocks
    // setDefaultRequestHandler while a call runs, so a cleared handler is never
    // called again once the setter returns.
    bool askDefaultHandlerForFile(const HttpRequest &request, HttpResponse &response);
    bool askDefaultHandlerForAjax(const HttpRequest &request, HttpResponse &response);

    // The token our pages send with commands that change state.
    static QByteArray accessToken();

    // Domains that may show our pages in a frame (the allowed-domain list).
    void setFrameAncestors(const QStringList &domains);
    QString contentSecurityPolicy() const;

    struct RequestTimeouts
    {
        int requestMs = RequestTimeoutMs;
        int headerLineMs = HeaderLineTimeoutMs;
    };
    // For tests: other time-outs than IdleTimeoutMs, RequestTimeoutMs and HeaderLineTimeoutMs.
    void setIdleTimeout(int milliseconds) { m_idleTimeoutMs.store(milliseconds); }
    int idleTimeout() const { return m_idleTimeoutMs.load(); }
    void setRequestTimeouts(RequestTimeouts timeouts);
    RequestTimeouts requestTimeouts() const;
    int activeConnections() const { return m_activeConnections.load(); }

public slots:
    bool reopen();

protected:
    void incomingConnection(qintptr socketDescriptor) override;

private:
    friend class HttpClient;
    friend class HttpReception;
    // Counts a new connection; false when there are too many already.
    bool connectionOpened();
    void closeConnection(HttpConnection &connection);
    // For the answering threads: the next connection with something to answer,
    // or null when they are to end. While one is answered, another thread waits
    // for bytes (up to the cap).
    std::unique_ptr<HttpConnection> nextToAnswer();
    void stopAnsweringThreads();
    using Ask = bool (*)(HttpRequestHandler *, const HttpRequest &, HttpResponse &);
    // Offers the request to the registered handlers in order until one answers.
    bool dispatch(Ask ask, const HttpRequest &request, HttpResponse &response);

    HttpServerSettings *m_settings = nullptr;
    QDateTime m_startTime;
    std::atomic<bool> m_running { false };
    std::atomic<int> m_generation { 0 };
    std::atomic<int> m_port { -1 };
    std::atomic<int> m_idleTimeoutMs { IdleTimeoutMs };
    std::atomic<int> m_activeConnections { 0 };

    QVector<HttpRequestHandler *> m_handlers;
    QReadWriteLock m_handlersLock { QReadWriteLock::Recursive };
    HttpRequestHandler *m_defaultHandler = nullptr;
    QReadWriteLock m_defaultHandlerLock;

    std::atomic<int> m_requestTimeoutMs { RequestTimeoutMs };
    std::atomic<int> m_headerLineTimeoutMs { HeaderLineTimeoutMs };

    std::unique_ptr<HttpReception> m_reception;
    QMutex m_answerMutex;
    std::vector<std::unique_ptr<HttpClient>> m_answeringThreads;
    bool m_stopAnswering = false;

    mutable QMutex m_policyMutex;
    QString m_contentSecurityPolicy;
};

} // namespace ZOZ
