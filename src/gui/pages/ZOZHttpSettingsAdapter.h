#pragma once

#include "http/ZOZHttpServerSettings.h"
#include "settings/ZOZSettings.h"

namespace ZOZ {

class HttpServer;

// Hands the program's settings to the HTTP server: the configured port (and
// remembers a random one), the template-cache and minifying switches, the
// domains that may frame our pages; a changed port reopens the server.
class HttpSettingsAdapter : public HttpServerSettings, public Settings::Listener
{
public:
    // Attaches itself to the server; create it before the server opens and
    // destroy it after the server.
    HttpSettingsAdapter(Settings *settings, HttpServer *server);
    ~HttpSettingsAdapter() override;

    int configuredPort() const override;
    void rememberPort(int port) override;
    bool noTemplateCache() const override;
    void filterResource(const QString &filePath, const QDateTime &modified, QByteArray &body) const override;

    void settingChanged(const QVector<int> &changes) override;

private:
    Settings *m_settings;
    HttpServer *m_server;
};

} // namespace ZOZ
