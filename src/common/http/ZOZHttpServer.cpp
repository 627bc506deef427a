#include "http/ZOZHttpServer.h"

#include "http/ZOZHttpAccess.h"
#include "http/ZOZHttpClient.h"
#include "http/ZOZHttpReception.h"
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

#include <unistd.h>

namespace ZOZ {

namespace {
constexpr quint32 LogPlain = LogSource::HttpServer;
constexpr quint32 LogError = LogSource::HttpServer | LogFlag::Error;
constexpr quint32 LogWarning = LogSource::HttpServer | LogFlag::Warning;
constexpr quint32 LogFatalBox = LogSource::HttpServer | LogFlag::FatalBox;
} // namespace

HttpServer::HttpServer(QObject *parent, HttpRequestHandler *defaultHandler)
    : QTcpServer(parent), m_startTime(QDateTime::currentDateTimeUtc()), m_defaultHandler(defaultHandler),
      m_reception(std::make_unique<HttpReception>(this))
{
    ZOZ_LOG(LogPlain, QStringLiteral("HttpServer::HttpServer()"));
    setFrameAncestors(QStringList());
    m_reception->start();
    QMutexLocker locker(&m_answerMutex);
    m_answeringThreads.push_back(std::make_unique<HttpClient>(this));
    m_answeringThreads.back()->start();
}

HttpServer::~HttpServer()
{
    ZOZ_LOG(LogPlain, QStringLiteral("HttpServer::~HttpServer()"));
    close();
    // Answering threads use the registry until they end; wait for all of them
    // before anything here goes away. They may still hand connections back.
    stopAnsweringThreads();
    m_reception->stop();

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
            // Port 0 lets the system choose: the Host check, the pages and the
            // printed address all need the port actually bound.
            const int bound = int(serverPort());
            if (bound != configuredPort && m_settings)
                m_settings->rememberPort(bound);
            m_port.store(bound);
            m_running.store(true, std::memory_order_release);
            ZOZ_LOG(LogPlain, QStringLiteral("HttpServer::open() -> HTTP service listening on custom port %1").arg(bound));
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
    m_generation.fetch_add(1, std::memory_order_acq_rel);
    if (isListening()) {
        QTcpServer::close();
        ZOZ_LOG(LogPlain, QStringLiteral("HttpServer::close() -> closed server socket"));
    }
    // Connections that wait for a request end now rather than after their idle
    // time-out; those being answered end when their answer is done.
    m_reception->closeAll();
    return true;
}

bool HttpServer::reopen()
{
    close();
    return open();
}

void HttpServer::setRequestTimeouts(RequestTimeouts timeouts)
{
    m_requestTimeoutMs.store(timeouts.requestMs);
    m_headerLineTimeoutMs.store(timeouts.headerLineMs);
}

HttpServer::RequestTimeouts HttpServer::requestTimeouts() const
{
    return RequestTimeouts { m_requestTimeoutMs.load(), m_headerLineTimeoutMs.load() };
}

void HttpServer::incomingConnection(qintptr socketDescriptor)
{
    m_reception->add(int(socketDescriptor), generation());
}

bool HttpServer::connectionOpened()
{
    if (m_activeConnections.fetch_add(1) < MaxOpenConnections)
        return true;
    m_activeConnections.fetch_sub(1);
    return false;
}

void HttpServer::closeConnection(HttpConnection &connection)
{
    if (connection.descriptor < 0)
        return;
    ZOZ_LOG(LogSource::HttpClient,
            QStringLiteral("HttpClient::run()[%1|%2] -> finished").arg(connection.id, 0, 16).arg(connection.descriptor));
    ::close(connection.descriptor);
    connection.descriptor = -1;
    m_activeConnections.fetch_sub(1);
}

std::unique_ptr<HttpConnection> HttpServer::nextToAnswer()
{
    std::unique_ptr<HttpConnection> connection = m_reception->nextToAnswer();
    if (connection && m_reception->waitingThreads() == 0) {
        QMutexLocker locker(&m_answerMutex);
        if (!m_stopAnswering && int(m_answeringThreads.size()) < MaxAnsweringThreads) {
            m_answeringThreads.push_back(std::make_unique<HttpClient>(this));
            m_answeringThreads.back()->start();
        }
    }
    return connection;
}

void HttpServer::stopAnsweringThreads()
{
    std::vector<std::unique_ptr<HttpClient>> threads;
    {
        QMutexLocker locker(&m_answerMutex);
        m_stopAnswering = true;
        threads.swap(m_answeringThreads);
    }
    m_reception->stopAnswering();
    for (auto &thread : threads)
        thread->wait();
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
