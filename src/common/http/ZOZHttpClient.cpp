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

#include "http/ZOZHttpReception.h"

#include <algorithm>

namespace ZOZ {

namespace {

constexpr quint32 LogPlain = LogSource::HttpClient;
constexpr quint32 LogError = LogSource::HttpClient | LogFlag::Error;
constexpr quint32 LogWarning = LogSource::HttpClient | LogFlag::Warning;

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

QString logPrefix(const HttpConnection &connection)
{
    return QStringLiteral("HttpClient::run()[%1|%2]").arg(connection.id, 0, 16).arg(connection.descriptor);
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

HttpClient::HttpClient(HttpServer *server) : m_http(server)
{
}

HttpClient::~HttpClient()
{
    wait();
}

void HttpClient::run()
{
    setThreadName("HttpClient");
    while (std::unique_ptr<HttpConnection> connection = m_http->nextToAnswer()) {
        if (!answerBuffered(*connection) || connection->generation != m_http->generation()) {
            m_http->closeConnection(*connection);
            continue;
        }
        m_http->m_reception->giveBack(std::move(connection));
    }
}

bool HttpClient::answerBuffered(HttpConnection &connection)
{
    // Everything complete in the buffer is answered before the connection goes
    // back to wait, so pipelined requests are not held back. A peer that shut
    // down its side after its request still gets the answer.
    for (;;) {
        if (!m_http->isRunning() || connection.generation != m_http->generation())
            return false;
        QByteArray &buffer = connection.buffer;
        HttpRequestHead head;
        switch (parseHttpRequest(buffer.constData(), size_t(buffer.size()), head)) {
        case HttpParseResult::NeedMore:
            return !connection.peerClosed;
        case HttpParseResult::HeadTooLarge:
            answerError(connection, 431, QStringLiteral("request line and headers longer than %1 bytes").arg(MaxRequestHeadBytes), false);
            return false;
        case HttpParseResult::BodyTooLarge:
            answerError(connection, 413, QStringLiteral("request body longer than %1 bytes").arg(MaxRequestBodyBytes), false);
            return false;
        case HttpParseResult::BadRequest:
            answerError(connection, 400, QStringLiteral("malformed request %1").arg(quotedForLog(QString::fromLatin1(buffer.left(MaxLoggedTextLength)))), false);
            return false;
        case HttpParseResult::BadRequestLine: {
            const QString line = latin1(head.headText.substr(0, head.headText.find('\n')));
            const qsizetype taken = qsizetype(head.totalBytes);
            const Continue next = answerError(connection, 400, QStringLiteral("unknown/bad request %1").arg(quotedForLog(line)), true);
            buffer.remove(0, taken);
            if (next == Continue::No)
                return false;
            continue;
        }
        case HttpParseResult::Complete: {
            const Continue next = answerRequest(connection, head);
            buffer.remove(0, qsizetype(head.totalBytes));
            if (next == Continue::No)
                return false;
            continue;
        }
        }
    }
}

HttpClient::Continue HttpClient::answerRequest(HttpConnection &connection, const HttpRequestHead &head)
{
    const int port = m_http->port();
    // Another site's page can reach this server through a name that resolves to
    // 127.0.0.1 (DNS rebinding); the Host header tells, and it must be the only
    // one, or a second one could tell another story to whoever reads it. Pages
    // of other origins are refused outright.
    const HttpHeaderField *host = head.field("Host");
    if (!host)
        return answerError(connection, 400, QStringLiteral("request without Host header"), false);
    if (head.fieldCount("Host") > 1)
        return answerError(connection, 400, QStringLiteral("more than one Host header"), false);
    if (!isOwnHost(latin1(host->value), port))
        return answerError(connection, 403, QStringLiteral("foreign Host header %1").arg(quotedForLog(latin1(host->value))), false);
    // A target in absolute form names its host itself; it must be ours as well.
    const QString authority = requestTargetAuthority(latin1(head.target));
    if (!authority.isNull() && !isOwnHost(authority, port))
        return answerError(connection, 403, QStringLiteral("foreign host in target %1").arg(quotedForLog(latin1(head.target))), false);
    // A sandboxed document of ours (a broadcast website) has no origin: its
    // files may load, the commands stay closed to it.
    const bool plainRead = (head.method == "GET" || head.method == "HEAD")
        && splitRequestTarget(latin1(head.target)).file != QLatin1String("ajax");
    for (const HttpHeaderField &field : head.fields) {
        const bool isOrigin = equalsIgnoringCase(field.name, "Origin") || equalsIgnoringCase(field.name, "Referer");
        const bool opaqueRead = plainRead && equalsIgnoringCase(field.name, "Origin") && field.value == "null";
        if (isOrigin && !opaqueRead && !isOwnOrigin(latin1(field.value), port))
            return answerError(connection, 403, QStringLiteral("foreign %1 %2").arg(latin1(field.name), quotedForLog(latin1(field.value))), false);
    }

    HttpRequest request;
    HttpResponse response;
    if (!fillRequest(connection, head, request, response))
        return answerError(connection, 400, QStringLiteral("refused path %1").arg(quotedForLog(latin1(head.target))), request.persistent);
    if (!m_http->isRunning())
        return Continue::No;

    bool cacheable = false;
    if (request.file == QLatin1String("ajax"))
        runAjaxRoad(connection, request, response);
    else
        runFileRoad(connection, request, response, cacheable);
    return finishResponse(connection, request, response, cacheable);
}

bool HttpClient::fillRequest(const HttpConnection &connection, const HttpRequestHead &head, HttpRequest &request,
                             HttpResponse &response)
{
    request.remote = connection.remote;
    // Remote browsers would need a record of the remote-client manager; without one
    // only local peers are granted.
    request.granted = !connection.remote;
    request.minorVersion = uint8_t(head.minorVersion);
    const HttpHeaderField *connectionField = head.field("Connection");
    if (connectionField)
        request.persistent = equalsIgnoringCase(connectionField->value, "Keep-Alive");
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

    // A date later than now cannot come from an answer of ours; trusting it would
    // keep a changed file from the client.
    if (head.field("If-Modified-Since")) {
        const QDateTime since = parseHttpDate(fieldValue(head, "If-Modified-Since"));
        if (since.isValid() && since <= QDateTime::currentDateTimeUtc())
            request.ifModifiedSince = since;
    }
    request.query = parseQuery(target.query);
    response.mayCompress = fieldValue(head, "Accept-Encoding").contains(QLatin1String("gzip"));
    request.hasIsZOZ = request.query.contains(QStringLiteral("isZOZ"));
    request.isZOZ = request.query.value(QStringLiteral("isZOZ")).trimmed();
    // Open access is always on, so the password is never asked for.
    request.passwordAccepted = true;
    if (const HttpHeaderField *token = head.field(AccessTokenHeader))
        request.tokenAccepted = isAccessToken(QByteArray(token->value.data(), qsizetype(token->value.size())));

    ZOZ_LOG(LogPlain, logPrefix(connection) + QStringLiteral(" -> new request (uri: '%1', path: '%2', remote: %3, mayCompress: %4)")
                                        .arg(request.uri.left(MaxLoggedTextLength), request.path.left(MaxLoggedTextLength),
                                             QLatin1String(boolText(request.remote)), QLatin1String(boolText(response.mayCompress))));
    return true;
}

void HttpClient::runFileRoad(const HttpConnection &connection, const HttpRequest &request, HttpResponse &response,
                             bool &cacheable)
{
    const HttpServerSettings *settings = m_http->settings();
    if (settings && settings->noTemplateCache())
        response.lastModified = QDateTime::currentDateTimeUtc();

    bool handled = request.granted && m_http->dispatchFileRequest(request, response);
    if (!handled)
        handled = m_http->askDefaultHandlerForFile(request, response);
    if (!handled)
        ZOZ_LOG(LogWarning, logPrefix(connection) + QStringLiteral(" -> warning: bad file request / no request handler felt responsible (url: '%1')")
                                              .arg(request.uri.left(MaxLoggedTextLength)));

    cacheable = isCacheableType(response.contentType);
    if (response.lastModified.isNull())
        response.lastModified = cacheable ? m_http->startTime() : QDateTime::currentDateTimeUtc();
}

void HttpClient::runAjaxRoad(const HttpConnection &connection, const HttpRequest &request, HttpResponse &response)
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
        ZOZ_LOG(LogWarning, logPrefix(connection) + QStringLiteral(" -> warning: bad ajax request / no request handler felt responsible (url: '%1')")
                                              .arg(request.uri.left(MaxLoggedTextLength)));
}

HttpClient::Continue HttpClient::finishResponse(HttpConnection &connection, const HttpRequest &request,
                                                HttpResponse &response, bool cacheable)
{
    if (!m_http->isRunning())
        return Continue::No;
    if (response.status == 404) {
        response.body = m_http->page404();
        response.contentType = HttpContentHtml;
    }
    // Ajax answers are dated now and always carry the current state: never 304.
    if (response.status == 200 && request.file != QLatin1String("ajax") && request.ifModifiedSince.isValid()
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
    options.contentSecurityPolicy = response.contentSecurityPolicy.isEmpty() ? m_http->contentSecurityPolicy()
                                                                             : response.contentSecurityPolicy;
    if (!writeResponse(connection.descriptor, response, options))
        return Continue::No;

    if (!request.persistent) {
        ZOZ_LOG(LogPlain, logPrefix(connection) + QStringLiteral(" -> connection is not persistent.. terminating! [%1]").arg(request.uri.left(MaxLoggedTextLength)));
        return Continue::No;
    }
    return Continue::Yes;
}

HttpClient::Continue HttpClient::answerError(HttpConnection &connection, int status, const QString &reason, bool keepOpen)
{
    ZOZ_LOG(LogError, logPrefix(connection) + QStringLiteral(" -> error: %1 (peer %2, answered %3)").arg(reason, connection.peer).arg(status));
    HttpResponse response;
    response.status = status;
    response.contentType = HttpContentHtml;
    response.body = errorPage(status);
    HttpAnswerOptions options;
    options.persistent = keepOpen;
    options.contentSecurityPolicy = m_http->contentSecurityPolicy();
    const bool written = writeResponse(connection.descriptor, response, options);
    return written && keepOpen ? Continue::Yes : Continue::No;
}

} // namespace ZOZ
