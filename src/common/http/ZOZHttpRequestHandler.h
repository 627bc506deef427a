#pragma once

#include "http/ZOZHttpRequest.h"
#include "base/ZOZPointer.h"

#include <QMutex>
#include <QString>
#include <QStringList>

#include <atomic>

namespace ZOZ {

// Everything the local server answers, apart from its own error pages, comes from
// request handlers. A handler owns a path prefix (relative, ending with "/", or empty
// for every path) and answers the file, page and ajax requests below it. Handlers are
// called from many connection threads at once.
class HttpRequestHandler : public Pointer
{
public:
    HttpRequestHandler();
    ~HttpRequestHandler() override;

    int refreshCycle() const { return m_refreshCycle.load(std::memory_order_relaxed); }
    void setRefreshCycle(int milliseconds) { m_refreshCycle.store(milliseconds, std::memory_order_relaxed); }

    QString requestPath() const;
    void setRequestPath(const QString &path);
    // The path starts with this handler's prefix (case-sensitive).
    bool matchesPath(const QString &path) const;

    // Each returns true when it filled the response.
    virtual bool httpFileRequest(const HttpRequest &request, HttpResponse &response);
    virtual bool httpAjaxRequest(const HttpRequest &request, HttpResponse &response);
    virtual bool httpPageRequest(const HttpRequest &request, HttpResponse &response);

    // Answers "getHttpRefreshCycle" itself and hands every other ajax request below
    // the prefix to httpAjaxRequest; a state-changing command without the token is
    // answered with 403 instead.
    bool handleAjaxRequest(const HttpRequest &request, HttpResponse &response);

    // Whether the request changes the player's state, so that it must carry the
    // process's access token. By default: the query holds one of the commands given
    // to setStateChangingCommands.
    virtual bool isStateChanging(const HttpRequest &request) const;
    void setStateChangingCommands(const QStringList &queryKeys);

    // Fills a 403 answer and returns true when the request changes state without the
    // token; returns false (and leaves the response alone) otherwise.
    bool refuseWithoutToken(const HttpRequest &request, HttpResponse &response) const;

private:
    std::atomic<int> m_refreshCycle { 0 };
    mutable QMutex m_mutex;
    QString m_requestPath;
    QStringList m_stateChangingCommands;
};

} // namespace ZOZ
