#include "ZOZHttpSettingsAdapter.h"

#include "http/ZOZHttpServer.h"
#include "base/ZOZMainThreadServices.h"
#include "web/ZOZMinifier.h"

namespace ZOZ {

HttpSettingsAdapter::HttpSettingsAdapter(Settings *settings, HttpServer *server)
    : m_settings(settings), m_server(server)
{
    m_server->setSettings(this);
    m_server->setFrameAncestors(m_settings->allowedDomains());
    m_settings->addListener(this);
}

HttpSettingsAdapter::~HttpSettingsAdapter()
{
    m_settings->removeListener(this);
}

int HttpSettingsAdapter::configuredPort() const
{
    return m_settings->httpPort();
}

void HttpSettingsAdapter::rememberPort(int port)
{
    m_settings->setHttpPort(port);
}

bool HttpSettingsAdapter::noTemplateCache() const
{
    return m_settings->noTemplateCache();
}

void HttpSettingsAdapter::filterResource(const QString &filePath, const QDateTime &modified, QByteArray &body) const
{
    minifyResource(filePath, modified, body, !m_settings->noFileMinimize(), m_settings->styleRoot());
}

void HttpSettingsAdapter::settingChanged(const QVector<int> &changes)
{
    // Listeners run with the settings locked, on the changing thread: the server
    // reopens later, on the main thread.
    if (changes.contains(Settings::HttpPortChanged))
        MainThreadServices::queueInvoke(DeferredCall { m_server, QByteArray("1reopen()"), 0 });
}

} // namespace ZOZ
