#include "http/ZOZHttpClient.h"

#include "http/ZOZHttpAccess.h"
#include "http/ZOZHttpContentType.h"
#include "http/ZOZHttpRequestHandler.h"
#include "http/ZOZHttpRequestParser.h"
#include "http/ZOZHttpResponseWriter.h"
#include "http/ZOZHttpServer.h"
#include "http/ZOZHttpServerSettings.h"
#include "http/ZOZHttpUrl.h"
#include "base/ZOZLog.h"
#include "base/ZOZThreadName.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpSocket>

#include <algorithm>
#include <unistd.h>

namespace ZOZ {

namespace {

constexpr quint32 LogPlain = LogSource::HttpClient;
constexpr quint32 LogError = LogSource::HttpClient | LogFlag::Error;
constexpr quint32 LogWarning = LogSource::HttpClient | LogFlag::Warning;

// Bytes taken from the socket per read; the buffer never grows past one request
// at its limits plus one read.
constexpr qint64 ReadChunkBytes = 64 * 1024;
constexpr qsizetype MaxBufferBytes = qsizetype(MaxRequestHeadBytes + MaxRequestBodyBytes) + ReadChunkBytes;
// Log lines quote at most this much of what a client sent.
constexpr qsizetype MaxLoggedTextLength = 200;

QString latin1(std::string_view text)
{
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

QString fieldValue(const HttpRequestHead &head, std::string_view name)
{
    const HttpHeaderField *field = head.field(name);
    return field ? latin1(field->value) : QString();
}

QString quotedForLog(const QString &text)
{
    QString shown = text.left(MaxLoggedTextLength);
    for (QChar &c : shown) {
        if (c.unicode() < 0x20)
            c = QLatin1Char(' ');
    }
    return QLatin1Char('\'') + shown + (text.size() > MaxLoggedTextLength ? QStringLiteral("...'") : QStringLiteral("'"));
}

const char *boolText(bool value)
{
    return value ? "true" : "false";
}

// Audio, images, style sheets, scripts and XML may be cached; pages and data not.
bool isCacheableType(int contentType)
{
    switch (contentType) {
    case HttpContentAac: case HttpContentM4a: case HttpContentMpeg: case HttpContentMp4: case HttpContentWav:
    case HttpContentBmp: case HttpContentGif: case HttpContentJpeg: case HttpContentPng: case HttpContentSvg:
    case HttpContentIcon: case HttpContentCss: case HttpContentJavaScript: case HttpContentXml:
        return true;
    default:
        return false;
    }
}

} // namespace

HttpClient::HttpClient(HttpServer *server, qintptr socketDescriptor)
    : m_http(server), m_socketDescriptor(socketDescriptor)
{
}

HttpClient::~HttpClient()
{
    wait();
}

QString HttpClient::logPrefix() const
{
    return QStringLiteral("HttpClient::run()[%1|%2]").arg(quintptr(this), 0, 16).arg(m_socketDescriptor);
}

void HttpClient::run()
{
    setThreadName("HttpClient");
    if (!m_http || m_socketDescriptor < 1) {
        ZOZ_LOG(LogError, QStringLiteral("HttpClient::run()[%1] -> error: wronge usage of parameters (mHttp[%2], mSocketDescriptor[%3])")
                              .arg(quintptr(this), 0, 16).arg(quintptr(m_http), 0, 16).arg(m_socketDescriptor));
        return;
    }
    ZOZ_LOG(LogPlain, logPrefix() + QStringLiteral(" -> new connection"));

    QTcpSocket socket;
    if (!socket.setSocketDescriptor(m_socketDescriptor)) {
        if (socket.error() != QAbstractSocket::RemoteHostClosedError)
            ZOZ_LOG(LogError, QStringLiteral("HttpClient::onError() -> '%1'").arg(socket.errorString()));
        ::close(int(m_socketDescriptor));
        return;
    }
    m_http->registerSocket(m_socketDescriptor);
    const QHostAddress peer = socket.peerAddress();
    m_remote = !peer.isLoopback();
    m_peer = peer.toString() + QLatin1Char(':') + QString::number(socket.peerPort());

    serve(socket);

    // Unregistered before the descriptor is closed, so the server never wakes a
    // descriptor number that has been given to another socket meanwhile.
    m_http->unregisterSocket(m_socketDescriptor);
    socket.abort();
    ZOZ_LOG(LogPlain, logPrefix() + QStringLiteral(" -> finished"));
}

void HttpClient::serve(QTcpSocket &socket)
{
    QByteArray buffer;
    QElapsedTimer requestTimer;
    while (m_keepRunning) {
        if (!m_http->isRunning())
            return;

        // Everything complete in the buffer is answered before waiting for more, so
        // pipelined requests are not held back.
        HttpRequestHead head;
        switch (parseHttpRequest(buffer.constData(), size_t(buffer.size()), head)) {
        case HttpParseResult::NeedMore: {
            int wait = m_http->idleTimeout();
            if (buffer.isEmpty()) {
                requestTimer.invalidate();
            } else {
                if (!requestTimer.isValid())
                    requestTimer.start();
                const qint64 remaining = HttpServer::RequestTimeoutMs - requestTimer.elapsed();
                if (remaining <= 0) {
                    ZOZ_LOG(LogWarning, logPrefix() + QStringLiteral(" -> warning: request from %1 not complete in time, closing").arg(m_peer));
                    return;
                }
                wait = int(std::min<qint64>(wait, remaining));
            }
            if (socket.state() != QAbstractSocket::ConnectedState)
                return;
            if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(wait))
                return;
            if (!m_http->isRunning())
                return;
            buffer += socket.read(std::min<qint64>(ReadChunkBytes, MaxBufferBytes - buffer.size()));
            continue;
        }
        case HttpParseResult::HeadTooLarge:
            answerError(socket, 431, QStringLiteral("request line and headers longer than %1 bytes").arg(MaxRequestHeadBytes), false);
            return;
        case HttpParseResult::BodyTooLarge:
            answerError(socket, 413, QStringLiteral("request body longer than %1 bytes").arg(MaxRequestBodyBytes), false);
            return;
        case HttpParseResult::BadRequest:
            answerError(socket, 400, QStringLiteral("malformed request %1").arg(quotedForLog(QString::fromLatin1(buffer.left(MaxLoggedTextLength)))), false);
            return;
        case HttpParseResult::BadRequestLine: {
            const QString line = latin1(head.headText.substr(0, head.headText.find('\n')));
            buffer.remove(0, qsizetype(head.totalBytes));
            requestTimer.invalidate();
            if (answerError(socket, 400, QStringLiteral("unknown/bad request %1").arg(quotedForLog(line)), true) == Continue::No)
                return;
            continue;
        }
        case HttpParseResult::Complete: {
            requestTimer.invalidate();
            const Continue next = answerRequest(socket, head);
            buffer.remove(0, qsizetype(head.totalBytes));
            if (next == Continue::No)
                return;
            continue;
        }
        }
    }
}

HttpClient::Continue HttpClient::answerRequest(QTcpSocket &socket, const HttpRequestHead &head)
{
    const int port = m_http->port();
    // Another site's page can reach this server through a name that resolves to
    // 127.0.0.1 (DNS rebinding); the Host header tells. Pages of other origins are
    // refused outright.
    const HttpHeaderField *host = head.field("Host");
    if (!host)
        return answerError(socket, 400, QStringLiteral("request without Host header"), false);
    if (!isOwnHost(latin1(host->value), port))
        return answerError(socket, 403, QStringLiteral("foreign Host header %1").arg(quotedForLog(latin1(host->value))), false);
    for (const char *name : { "Origin", "Referer" }) {
        if (const HttpHeaderField *field = head.field(name); field && !isOwnOrigin(latin1(field->value), port))
            return answerError(socket, 403, QStringLiteral("foreign %1 %2").arg(QLatin1String(name), quotedForLog(latin1(field->value))), false);
    }

    HttpRequest request;
    HttpResponse response;
    if (!fillRequest(head, request, response))
        return answerError(socket, 400, QStringLiteral("refused path %1").arg(quotedForLog(latin1(head.target))), request.persistent);
    if (!m_http->isRunning() || socket.state() != QAbstractSocket::ConnectedState)
        return Continue::No;

    bool cacheable = false;
    if (request.file == QLatin1String("ajax"))
        runAjaxRoad(request, response);
    else
        runFileRoad(request, response, cacheable);
    return finishResponse(socket, request, response, cacheable);
}

bool HttpClient::fillRequest(const HttpRequestHead &head, HttpRequest &request, HttpResponse &response)
{
    request.remote = m_remote;
    // Remote browsers would need a record of the remote-client manager; without one
    // only local peers are granted.
    request.granted = !m_remote;
    request.minorVersion = uint8_t(head.minorVersion);
    const HttpHeaderField *connection = head.field("Connection");
    if (connection)
        request.persistent = equalsIgnoringCase(connection->value, "Keep-Alive");
    else
        request.persistent = head.minorVersion == 1;
    request.header = latin1(head.headText);
    if (head.method == "GET")
        request.method = HttpMethodGet;
    else if (head.method == "HEAD")
        request.method = HttpMethodHead;
    else if (head.method == "POST")
        request.method = HttpMethodPost;
    else
        request.method = HttpMethodOther;

    const HttpTarget target = splitRequestTarget(latin1(head.target));
    request.uri = target.uri;
    request.path = target.path;
    request.file = target.file;
    if (isUnsafeRequestPath(target.path + target.file))
        return false;

    const QString ifModifiedSince = fieldValue(head, "If-Modified-Since");
    if (head.field("If-Modified-Since"))
        request.ifModifiedSince = parseHttpDate(ifModifiedSince);
    request.query = parseQuery(target.query);
    response.mayCompress = fieldValue(head, "Accept-Encoding").contains(QLatin1String("gzip"));
    request.hasIsZOZ = request.query.contains(QStringLiteral("isZOZ"));
    request.isZOZ = request.query.value(QStringLiteral("isZOZ")).trimmed();
    // Open access is always on, so the password is never asked for.
    request.passwordAccepted = true;
    if (const HttpHeaderField *token = head.field(AccessTokenHeader))
        request.tokenAccepted = isAccessToken(QByteArray(token->value.data(), qsizetype(token->value.size())));

    ZOZ_LOG(LogPlain, logPrefix() + QStringLiteral(" -> new request (uri: '%1', path: '%2', remote: %3, mayCompress: %4)")
                                        .arg(request.uri.left(MaxLoggedTextLength), request.path.left(MaxLoggedTextLength),
                                             QLatin1String(boolText(request.remote)), QLatin1String(boolText(response.mayCompress))));
    return true;
}

void HttpClient::runFileRoad(const HttpRequest &request, HttpResponse &response, bool &cacheable)
{
    const HttpServerSettings *settings = m_http->settings();
    if (settings && settings->noTemplateCache())
        response.lastModified = QDateTime::currentDateTimeUtc();

    bool handled = request.granted && m_http->dispatchFileRequest(request, response);
    if (!handled)
        handled = m_http->askDefaultHandlerForFile(request, response);
    if (!handled)
        ZOZ_LOG(LogWarning, logPrefix() + QStringLiteral(" -> warning: bad file request / no request handler felt responsible (url: '%1')")
                                              .arg(request.uri.left(MaxLoggedTextLength)));

    cacheable = isCacheableType(response.contentType);
    if (response.lastModified.isNull())
        response.lastModified = cacheable ? m_http->startTime() : QDateTime::currentDateTimeUtc();
}

void HttpClient::runAjaxRoad(const HttpRequest &request, HttpResponse &response)
{
    response.status = 200;
    response.contentType = HttpContentJson;
    response.body = request.granted ? QByteArray("{\"success\":false}") : QByteArray("{\"success\":false,\"isActive\":false}");
    response.lastModified = QDateTime::currentDateTimeUtc();

    bool handled = false;
    if (request.granted && request.query.contains(QStringLiteral("checkRequest"))) {
        QString checked = percentDecodeUtf8(request.query.value(QStringLiteral("checkRequest")));
        checked = checked.left(checked.lastIndexOf(QLatin1Char('/')) + 1);
        const qsizetype scheme = checked.indexOf(QLatin1String("://"));
        if (scheme > 0) {
            const qsizetype pathStart = checked.indexOf(QLatin1Char('/'), scheme + 3);
            if (pathStart >= 0)
                checked = checked.mid(pathStart);
        }
        // Handler prefixes never begin with "/", so the path of a URL is compared
        // without its first slash.
        const QString handlerPath = checked.startsWith(QLatin1Char('/')) ? checked.mid(1) : checked;
        if (checked == QLatin1String("/") || m_http->hasHandlerForPath(handlerPath))
            response.body = "{\"success\":true}";
        handled = true;
    } else if (request.granted) {
        handled = m_http->dispatchAjaxRequest(request, response);
    }
    if (!handled)
        handled = m_http->askDefaultHandlerForAjax(request, response);
    if (!handled)
        ZOZ_LOG(LogWarning, logPrefix() + QStringLiteral(" -> warning: bad ajax request / no request handler felt responsible (url: '%1')")
                                              .arg(request.uri.left(MaxLoggedTextLength)));
}

HttpClient::Continue HttpClient::finishResponse(QTcpSocket &socket, const HttpRequest &request, HttpResponse &response,
                                                bool cacheable)
{
    if (!m_http->isRunning() || socket.state() != QAbstractSocket::ConnectedState) {
        m_keepRunning = false;
        return Continue::No;
    }
    if (response.status == 404) {
        response.body = m_http->page404();
        response.contentType = HttpContentHtml;
    }
    if (response.status == 200 && request.ifModifiedSince.isValid()
        && request.ifModifiedSince.secsTo(response.lastModified) < 1)
        response.status = 304;
    const HttpServerSettings *settings = m_http->settings();
    if (settings)
        settings->filterResource(response.filePath, response.lastModified, response.body);

    HttpAnswerOptions options;
    options.cacheable = cacheable;
    options.persistent = request.persistent;
    options.noTemplateCache = settings && settings->noTemplateCache();
    options.headOnly = request.method == HttpMethodHead;
    options.dateText = httpDate(response.lastModified);
    options.contentSecurityPolicy = m_http->contentSecurityPolicy();
    if (!writeResponse(&socket, response, options))
        return Continue::No;

    if (!request.persistent) {
        ZOZ_LOG(LogPlain, logPrefix() + QStringLiteral(" -> connection is not persistent.. terminating! [%1]").arg(request.uri.left(MaxLoggedTextLength)));
        m_keepRunning = false;
        return Continue::No;
    }
    return Continue::Yes;
}

HttpClient::Continue HttpClient::answerError(QTcpSocket &socket, int status, const QString &reason, bool keepOpen)
{
    ZOZ_LOG(LogError, logPrefix() + QStringLiteral(" -> error: %1 (peer %2, answered %3)").arg(reason, m_peer).arg(status));
    HttpResponse response;
    response.status = status;
    response.contentType = HttpContentHtml;
    response.body = errorPage(status);
    HttpAnswerOptions options;
    options.persistent = keepOpen;
    options.contentSecurityPolicy = m_http->contentSecurityPolicy();
    const bool written = writeResponse(&socket, response, options);
    return written && keepOpen ? Continue::Yes : Continue::No;
}

} // namespace ZOZ
