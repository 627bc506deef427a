#pragma once

#include "web/ZOZPageSource.h"

#include <QMap>
#include <QMutex>

namespace ZOZ {

class HttpServer;
class PageSourceHandler;

// Puts the pages of each service on air in the HTTP server while the
// service is registered: one request handler per source, below its path.
class ServicePageRegistry : public PageSourceRegistry
{
public:
    explicit ServicePageRegistry(HttpServer *server);
    ~ServicePageRegistry() override;

    void addPageSource(PageSource *source) override;
    void removePageSource(PageSource *source) override;
    // Takes every source off the server.
    void clear();

private:
    HttpServer *m_server;
    QMutex m_mutex;
    // Each handler holds one reference of its own.
    QMap<PageSource *, PageSourceHandler *> m_handlers;
};

} // namespace ZOZ
