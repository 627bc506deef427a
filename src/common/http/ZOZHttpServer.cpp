#include "http/ZOZHttpServer.h"

#include "http/ZOZHttpAccess.h"
#include "http/ZOZHttpClient.h"
#include "http/ZOZHttpRequestHandler.h"
#include "http/ZOZHttpResponseWriter.h"
#include "http/ZOZHttpServerSettings.h"
#include "base/ZOZLog.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QMutexLocker>
#include <QRandomGenerator>
#include <QReadLocker>
#include <QWriteLocker>

#include <sys/socket.h>
#include <unistd.h>

namespace ZOZ {

namespace {
constexpr quint32 LogPlain = LogSource::HttpServer;
constexpr quint32 LogError = LogSource::HttpServer | LogFlag::Error;
constexpr quint32 LogWarning = LogSource::HttpServer | LogFlag::Warning;
constexpr quint32 LogFatalBox = LogSource::HttpServer | LogFlag::FatalBox;
} // namespace

HttpServer::HttpServer(QObject *parent, HttpRequestHandler *defaultHandler)
    : QTcpServer(parent), m_startTime(QDateTime::currentDateTimeUtc()), m_defaultHandler(defaultHandler)
{
    ZOZ_LOG(LogPlain, QStringLiteral("HttpServer::HttpServer()"));
    setFrameAncestors(QStringList());
}

HttpServer::~HttpServer()
{
    ZOZ_LOG(LogPlain, QStringLiteral("HttpServer::~HttpServer()"));
    close();
    // Connection threads use the registry until they end; wait for all of them
    // before anything here goes away.
    for (HttpClient *client : std::as_const(m_clients)) {
        client->wait();
        delete client;
    }
    m_clients.clear();
    for (qintptr descriptor : std::as_const(m_waitingSockets))
        ::close(int(descriptor));
    m_waitingSockets.clear();

    QVector<HttpRequestHandler *> handlers;
    {
        QWriteLocker locker(&m_handlersLock);
        handlers.swap(m_handlers);
    }
    for (HttpRequestHandler *handler : std::as_const(handlers))
        handler->release();
}

QByteArray HttpServer::page400() const
{
    return errorPage(400);
}

QByteArray HttpServer::page404() const
{
    return errorPage(404);
}

bool HttpServer::open()
{
    const int configuredPort = m_settings ? m_settings->configuredPort() : -1;
    if (configuredPort != -1) {
        if (listen(QHostAddress::LocalHost, quint16(configuredPort))) {
            m_port.store(configuredPort);
            m_running.store(true, std::memory_order_release);
            ZOZ_LOG(LogPlain, QStringLiteral("HttpServer::open() -> HTTP service listening on custom port %1").arg(configuredPort));
            return true;
        }
        ZOZ_LOG(LogError, QStringLiteral("HttpServer::open() -> fatal error: could not listen/open port (custom: %1)").arg(configuredPort));
        ZOZ_LOG(LogFatalBox, QCoreApplication::translate("Error", "Fatal Error: Could not open/listen on local HTTP port %1").arg(configuredPort));
        return false;
    }

    for (int attempt = 1; attempt <= RandomPortTries; ++attempt) {
        const int r = int(QRandomGenerator::global()->bounded(32768));
        const int port = int(float(r) / 32767.0f * float(RandomPortRange) + float(RandomPortFirst));
        if (!listen(QHostAddress::LocalHost, quint16(port)))
            continue;
        if (m_settings)
            m_settings->rememberPort(port);
        m_port.store(port);
        m_running.store(true, std::memory_order_release);
        ZOZ_LOG(LogPlain, QStringLiteral("HttpServer::open() -> HTTP service listening on random port %1 (tries: %2)").arg(port).arg(attempt));
        return true;
    }
    ZOZ_LOG(LogError, QStringLiteral("HttpServer::open() -> fatal error: could not listen/open random port in the range of 30000 - 60000"));
    ZOZ_LOG(LogFatalBox, QCoreApplication::translate("Error", "Fatal Error: Could not open/listen on random local HTTP port in the range of 30000 - 60000"));
    return false;
}

bool HttpServer::close()
{
    ZOZ_LOG(LogPlain, QStringLiteral("HttpServer::close()"));
    m_running.store(false, std::memory_order_release);
    if (isListening()) {
        QTcpServer::close();
        ZOZ_LOG(LogPlain, QStringLiteral("HttpServer::close() -> closed server socket"));
    }
    // Wake every connection thread that waits for data, so it sees the stop now
    // rather than after its idle time-out.
    QMutexLocker locker(&m_socketsMutex);
    for (qintptr descriptor : std::as_const(m_openSockets))
        ::shutdown(int(descriptor), SHUT_RDWR);
    return true;
}

bool HttpServer::reopen()
{
    close();
    return open();
}


void HttpServer::incomingConnection(qintptr socketDescriptor)
{
    if (m_activeConnections.load() < MaxConnections) {
        startConnection(socketDescriptor);
        return;
    }
    pauseAccepting();
    if (m_waitingSockets.size() >= MaxWaitingConnections) {
        ZOZ_LOG(LogWarning, QStringLiteral("HttpServer::incomingConnection() -> warning: too many connections, refusing one"));
        ::close(int(socketDescriptor));
        return;
    }
    m_waitingSockets.append(socketDescriptor);
}

void HttpServer::startConnection(qintptr socketDescriptor)
{
    auto *client = new HttpClient(this, socketDescriptor);
    connect(client, &QThread::finished, this, &HttpServer::connectionFinished, Qt::QueuedConnection);
    m_clients.insert(client);
    m_activeConnections.fetch_add(1);
    client->start();
}

void HttpServer::connectionFinished()
{
    auto *client = static_cast<HttpClient *>(sender());
    if (!client || !m_clients.remove(client))
        return;
    client->wait();
    delete client;
    m_activeConnections.fetch_sub(1);

    while (!m_waitingSockets.isEmpty() && m_activeConnections.load() < MaxConnections)
        startConnection(m_waitingSockets.takeFirst());
    if (m_waitingSockets.isEmpty() && isListening())
        resumeAccepting();
}

void HttpServer::registerSocket(qintptr socketDescriptor)
{
    QMutexLocker locker(&m_socketsMutex);
    m_openSockets.insert(socketDescriptor);
}

void HttpServer::unregisterSocket(qintptr socketDescriptor)
{
    QMutexLocker locker(&m_socketsMutex);
    m_openSockets.remove(socketDescriptor);
}

void HttpServer::addRequestHandler(HttpRequestHandler *handler)
{
    if (!handler)
        return;
    QWriteLocker locker(&m_handlersLock);
    if (m_handlers.contains(handler))
        return;
    handler->retain();
    m_handlers.append(handler);
}

void HttpServer::removeRequestHandler(HttpRequestHandler *handler)
{
    if (!handler)
        return;
    // No temporary reference here: a handler that was never registered has a count
    // of 0, and taking and dropping one would delete it.
    bool found = false;
    {
        QWriteLocker locker(&m_handlersLock);
        found = m_handlers.removeOne(handler);
    }
    if (found)
        handler->release();
}

void HttpServer::setDefaultRequestHandler(HttpRequestHandler *handler)
{
    QWriteLocker locker(&m_defaultHandlerLock);
    if (handler == m_defaultHandler)
        return;
    m_defaultHandler = handler;
    if (handler)
        ZOZ_LOG(LogPlain, QStringLiteral("HttpServer::setDefaultRequestHandler() -> new default requestHandler"));
    else
        ZOZ_LOG(LogPlain, QStringLiteral("HttpServer::setDefaultRequestHandler() -> removed default requestHandler"));
}

namespace {

bool askForFile(HttpRequestHandler *handler, const HttpRequest &request, HttpResponse &response)
{
    if (!handler->matchesPath(request.path))
        return false;
    if (handler->refuseWithoutToken(request, response))
        return true;
    return handler->httpFileRequest(request, response) || handler->httpPageRequest(request, response);
}

bool askForAjax(HttpRequestHandler *handler, const HttpRequest &request, HttpResponse &response)
{
    return handler->handleAjaxRequest(request, response);
}

} // namespace

bool HttpServer::dispatch(Ask ask, const HttpRequest &request, HttpResponse &response)
{
    if (!isRunning())
        return false;
    // Handlers run on a counted copy of the list, without the registry lock, so one
    // that adds or removes handlers while it answers cannot block the others.
    QVector<HttpRequestHandler *> snapshot;
    {
        QReadLocker locker(&m_handlersLock);
        snapshot = m_handlers;
        for (HttpRequestHandler *handler : std::as_const(snapshot))
            handler->retain();
    }
    bool handled = false;
    for (HttpRequestHandler *handler : std::as_const(snapshot)) {
        if (ask(handler, request, response)) {
            handled = true;
            break;
        }
    }
    for (HttpRequestHandler *handler : std::as_const(snapshot))
        handler->release();
    return handled;
}

bool HttpServer::dispatchAjaxRequest(const HttpRequest &request, HttpResponse &response)
{
    return dispatch(&askForAjax, request, response);
}

bool HttpServer::dispatchFileRequest(const HttpRequest &request, HttpResponse &response)
{
    return dispatch(&askForFile, request, response);
}

bool HttpServer::hasHandlerForPath(const QString &path)
{
    if (!isRunning())
        return false;
    QReadLocker locker(&m_handlersLock);
    for (HttpRequestHandler *handler : std::as_const(m_handlers)) {
        if (handler->matchesPath(path))
            return true;
    }
    return false;
}

bool HttpServer::askDefaultHandlerForFile(const HttpRequest &request, HttpResponse &response)
{
    QReadLocker locker(&m_defaultHandlerLock);
    if (!isRunning() || !m_defaultHandler)
        return false;
    return askForFile(m_defaultHandler, request, response);
}

bool HttpServer::askDefaultHandlerForAjax(const HttpRequest &request, HttpResponse &response)
{
    QReadLocker locker(&m_defaultHandlerLock);
    if (!isRunning() || !m_defaultHandler)
        return false;
    return m_defaultHandler->handleAjaxRequest(request, response);
}

QByteArray HttpServer::accessToken()
{
    return ZOZ::accessToken();
}

void HttpServer::setFrameAncestors(const QStringList &domains)
{
    // Our pages load nothing from elsewhere and run no inline script.
    QString policy = QStringLiteral(
        "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self' data:; object-src 'none'; "
        "base-uri 'self'; form-action 'self'; frame-ancestors 'self'");
    for (const QString &domain : domains) {
        const QString cleaned = domain.trimmed();
        // A domain with blanks or separators would add directives of its own.
        if (!cleaned.isEmpty() && !cleaned.contains(QLatin1Char(';')) && !cleaned.contains(QLatin1Char(' '))
            && !cleaned.contains(QLatin1Char(',')) && !cleaned.contains(QLatin1Char('\r'))
            && !cleaned.contains(QLatin1Char('\n')))
            policy += QLatin1Char(' ') + cleaned;
    }
    QMutexLocker locker(&m_policyMutex);
    m_contentSecurityPolicy = policy;
}

QString HttpServer::contentSecurityPolicy() const
{
    QMutexLocker locker(&m_policyMutex);
    return m_contentSecurityPolicy;
}

} // namespace ZOZ
