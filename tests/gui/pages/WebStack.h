#pragma once

#include "HttpTestClient.h"
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
    explicit WebStack(ZOZ::ServiceManager *manager, ZOZ::Receiver *receiver = nullptr, ZOZ::Scheduler *scheduler = nullptr)
        : server(std::make_unique<ZOZ::HttpServer>(nullptr, nullptr))
        , pages(std::make_unique<ZOZ::Pages>(manager, server.get(), receiver, ZOZ::Settings::instance(), scheduler))
    {
    }
    ~WebStack() { shutdown(); }

    bool init() { return pages->init(); }

    // A GET over a real connection, with or without the pages' access token;
    // the server runs on this thread's event loop meanwhile.
    HttpAnswer get(const QString &target, bool withToken)
    {
        const int port = server->port();
        const QByteArray token = withToken ? "X-ZOZ-Token: " + ZOZ::HttpServer::accessToken() + "\r\n" : QByteArray();
        return requestWhileServing(
            port,
            QStringLiteral("GET %1 HTTP/1.1\r\nHost: 127.0.0.1:%2\r\n").arg(target, QString::number(port)).toLatin1() + token
                + "\r\n",
            TimeoutMs);
    }
    void shutdown()
    {
        if (pages)
            pages->shutdown();
        pages.reset();
        server.reset();
    }

    static constexpr int TimeoutMs = 5000;
    std::unique_ptr<ZOZ::HttpServer> server;
    std::unique_ptr<ZOZ::Pages> pages;
};

} // namespace ZOZTest
