#include "ZOZServicePageRegistry.h"

#include "http/ZOZHttpContentType.h"
#include "http/ZOZHttpRequestHandler.h"
#include "http/ZOZHttpServer.h"
#include "base/ZOZPointer.h"

namespace ZOZ {

namespace {

// Files received over the air run in a sandbox of their own: no access to the
// player's pages, its token or its commands, nothing fetched by script,
// nothing loaded from elsewhere; only our service page may frame them.
const QString BroadcastContentPolicy = QStringLiteral(
    "sandbox allow-scripts; default-src 'self'; script-src 'self' 'unsafe-inline'; "
    "style-src 'self' 'unsafe-inline'; img-src 'self' data:; media-src 'self'; font-src 'self'; "
    "connect-src 'none'; object-src 'none'; base-uri 'none'; form-action 'none'; frame-ancestors 'self'");

} // namespace

// Answers the server's requests below a source's path from the source, and
// keeps the source alive while the server may still call it.
class PageSourceHandler : public HttpRequestHandler, public PageCycleObserver
{
public:
    explicit PageSourceHandler(PageSource *source)
        : m_source(source)
    {
        m_source->pageReference()->retain();
        setRequestPath(m_source->pagePath());
        setRefreshCycle(m_source->pageRefreshCycle());
        m_source->setPageCycleObserver(this);
    }

    ~PageSourceHandler() override
    {
        m_source->setPageCycleObserver(nullptr);
        m_source->pageReference()->release();
    }

    void pageCycleChanged(int cycle) override { setRefreshCycle(cycle); }

    bool httpFileRequest(const HttpRequest &request, HttpResponse &response) override
    {
        return answer(request, response);
    }

    // Sources with pages of their own (Journaline) poll their own path with
    // "ajax" requests; the source answers them like any other of its files.
    bool httpAjaxRequest(const HttpRequest &request, HttpResponse &response) override
    {
        return answer(request, response);
    }

private:
    bool answer(const HttpRequest &request, HttpResponse &response)
    {
        PageAnswer answer;
        if (!m_source->answerPage({request.path, request.file, request.query}, answer))
            return false;
        response.status = answer.status;
        response.body = answer.body;
        response.lastModified = answer.lastModified;
        if (answer.broadcastContent) {
            // Never the file road's path: the minifier keeps its own files by path.
            const int named = mimeTypeCodeFromName(answer.mimeType, HttpContentBinary);
            response.contentType =
                named == HttpContentBinary ? mimeTypeForExtension(answer.contentName, HttpContentBinary) : named;
            response.contentSecurityPolicy = BroadcastContentPolicy;
            return true;
        }
        response.contentType = answer.mimeType.isEmpty() ? mimeTypeForExtension(answer.filePath, HttpContentBinary)
                                                         : mimeTypeCodeFromName(answer.mimeType, HttpContentBinary);
        response.filePath = answer.filePath;
        return true;
    }

    PageSource *m_source;
};

ServicePageRegistry::ServicePageRegistry(HttpServer *server)
    : m_server(server)
{
}

ServicePageRegistry::~ServicePageRegistry()
{
    clear();
}

void ServicePageRegistry::addPageSource(PageSource *source)
{
    if (!source)
        return;
    QMutexLocker locker(&m_mutex);
    if (m_handlers.contains(source))
        return;
    auto *handler = new PageSourceHandler(source);
    handler->retain();
    m_handlers.insert(source, handler);
    m_server->addRequestHandler(handler);
}

void ServicePageRegistry::removePageSource(PageSource *source)
{
    PageSourceHandler *handler = nullptr;
    {
        QMutexLocker locker(&m_mutex);
        handler = m_handlers.take(source);
    }
    if (!handler)
        return;
    m_server->removeRequestHandler(handler);
    handler->release();
}

void ServicePageRegistry::clear()
{
    QMap<PageSource *, PageSourceHandler *> handlers;
    {
        QMutexLocker locker(&m_mutex);
        handlers.swap(m_handlers);
    }
    for (PageSourceHandler *handler : std::as_const(handlers)) {
        m_server->removeRequestHandler(handler);
        handler->release();
    }
}

} // namespace ZOZ
