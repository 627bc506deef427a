#pragma once

#include "http/ZOZHttpRequest.h"

#include <QByteArray>
#include <QDateTime>
#include <QMutex>
#include <QReadWriteLock>
#include <QSet>
#include <QStringList>
#include <QTcpServer>
#include <QVector>

#include <atomic>

namespace ZOZ {

class HttpClient;
class HttpRequestHandler;
class HttpServerSettings;

// The local HTTP server: listens on 127.0.0.1 only and gives every connection a
// thread of its own (HttpClient), which asks the registered request handlers.
class HttpServer : public QTcpServer
{
    Q_OBJECT

public:
    // Each connection owns a thread, so this is also the thread cap. Connections
    // beyond it wait in the listen queue until one ends.
    static constexpr int MaxConnections = 64;
    // Accepted while at the cap (the system hands over a few at once); more than
    // this many waiting are closed at once.
    static constexpr int MaxWaitingConnections = 64;
    // A connection without data for this long is closed.
    static constexpr int IdleTimeoutMs = 5000;
    // A request that started must be complete within this time, however slowly its
    // bytes trickle in.
    static constexpr int RequestTimeoutMs = 10000;
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

    // For tests: a shorter idle time-out than IdleTimeoutMs.
    void setIdleTimeout(int milliseconds) { m_idleTimeoutMs.store(milliseconds); }
    int idleTimeout() const { return m_idleTimeoutMs.load(); }
    int activeConnections() const { return m_activeConnections.load(); }

public slots:
    bool reopen();

protected:
    void incomingConnection(qintptr socketDescriptor) override;

private slots:
    void connectionFinished();

private:
    friend class HttpClient;
    void startConnection(qintptr socketDescriptor);
    // Connection threads register their socket, so close() can wake them at once.
    void registerSocket(qintptr socketDescriptor);
    void unregisterSocket(qintptr socketDescriptor);
    using Ask = bool (*)(HttpRequestHandler *, const HttpRequest &, HttpResponse &);
    // Offers the request to the registered handlers in order until one answers.
    bool dispatch(Ask ask, const HttpRequest &request, HttpResponse &response);

    HttpServerSettings *m_settings = nullptr;
    QDateTime m_startTime;
    std::atomic<bool> m_running { false };
    std::atomic<int> m_port { -1 };
    std::atomic<int> m_idleTimeoutMs { IdleTimeoutMs };
    std::atomic<int> m_activeConnections { 0 };

    QVector<HttpRequestHandler *> m_handlers;
    QReadWriteLock m_handlersLock { QReadWriteLock::Recursive };
    HttpRequestHandler *m_defaultHandler = nullptr;
    QReadWriteLock m_defaultHandlerLock;

    QSet<HttpClient *> m_clients;
    QVector<qintptr> m_waitingSockets;
    mutable QMutex m_socketsMutex;
    QSet<qintptr> m_openSockets;
    mutable QMutex m_policyMutex;
    QString m_contentSecurityPolicy;
};

} // namespace ZOZ
