#pragma once

#include "http/ZOZHttpServer.h"
#include "base/ZOZLog.h"
#include "ZOZPages.h"
#include "ZOZServiceManager.h"
#include "settings/ZOZSettings.h"

#include <memory>

namespace ZOZTest {

// The web layer over a service manager, made and taken down the way the
// application does it: the pages and the server go before the manager.
class WebStack
{
public:
    explicit WebStack(ZOZ::ServiceManager *manager, ZOZ::Receiver *receiver = nullptr)
        : server(std::make_unique<ZOZ::HttpServer>(nullptr, nullptr))
        , pages(std::make_unique<ZOZ::Pages>(manager, server.get(), receiver, ZOZ::Settings::instance()))
    {
    }
    ~WebStack() { shutdown(); }

    bool init() { return pages->init(); }
    void shutdown()
    {
        if (pages)
            pages->shutdown();
        pages.reset();
        server.reset();
    }

    std::unique_ptr<ZOZ::HttpServer> server;
    std::unique_ptr<ZOZ::Pages> pages;
};

} // namespace ZOZTest
