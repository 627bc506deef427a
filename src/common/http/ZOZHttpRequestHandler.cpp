#include "http/ZOZHttpRequestHandler.h"

#include "http/ZOZHttpContentType.h"

#include <QMutexLocker>

namespace ZOZ {

HttpRequestHandler::HttpRequestHandler() = default;

HttpRequestHandler::~HttpRequestHandler() = default;

QString HttpRequestHandler::requestPath() const
{
    QMutexLocker locker(&m_mutex);
    return m_requestPath;
}

void HttpRequestHandler::setRequestPath(const QString &path)
{
    QMutexLocker locker(&m_mutex);
    m_requestPath = path;
}

bool HttpRequestHandler::matchesPath(const QString &path) const
{
    QMutexLocker locker(&m_mutex);
    return path.startsWith(m_requestPath);
}

bool HttpRequestHandler::httpFileRequest(const HttpRequest &, HttpResponse &)
{
    return false;
}

bool HttpRequestHandler::httpAjaxRequest(const HttpRequest &, HttpResponse &)
{
    return false;
}

bool HttpRequestHandler::httpPageRequest(const HttpRequest &, HttpResponse &)
{
    return false;
}

bool HttpRequestHandler::handleAjaxRequest(const HttpRequest &request, HttpResponse &response)
{
    if (!matchesPath(request.path))
        return false;
    if (request.query.contains(QStringLiteral("getHttpRefreshCycle"))) {
        response.body = "{\"success\":true,\"httpRefreshCycle\":" + QByteArray::number(refreshCycle()) + '}';
        return true;
    }
    if (refuseWithoutToken(request, response))
        return true;
    return httpAjaxRequest(request, response);
}

bool HttpRequestHandler::isStateChanging(const HttpRequest &request) const
{
    QMutexLocker locker(&m_mutex);
    for (const QString &command : m_stateChangingCommands) {
        if (request.query.contains(command))
            return true;
    }
    return false;
}

void HttpRequestHandler::setStateChangingCommands(const QStringList &queryKeys)
{
    QMutexLocker locker(&m_mutex);
    m_stateChangingCommands = queryKeys;
}

bool HttpRequestHandler::refuseWithoutToken(const HttpRequest &request, HttpResponse &response) const
{
    if (request.tokenAccepted || !isStateChanging(request))
        return false;
    response.status = 403;
    response.contentType = HttpContentJson;
    response.body = "{\"success\":false}";
    return true;
}

} // namespace ZOZ
