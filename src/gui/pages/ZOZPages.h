#pragma once

#include "web/ZOZHtmlTemplate.h"
#include "http/ZOZHttpRequestHandler.h"
#include "ZOZPageValuesForServices.h"
#include "ZOZServicePageRegistry.h"
#include "web/ZOZTemplateVariable.h"
#include "ajax/ZOZAjaxCommands.h"
#include "ajax/ZOZAjaxTable.h"
#include "ZOZPageHost.h"

#include <QDateTime>
#include <QMutex>
#include <QObject>
#include <QTimer>

#include <array>
#include <memory>

namespace ZOZ {

class HttpServer;
class Receiver;
class Scheduler;
class ServiceManager;
class Settings;

// The user interface in the browser: the HTTP server's default handler. It
// serves the page templates (index, selection, forward and the plain pages)
// filled from the service manager's state, the static files of the style
// folder, and the ajax commands of its table; the services' own pages are
// registered with the server through the page registry.
class Pages : public QObject, public HttpRequestHandler
{
    Q_OBJECT

public:
    enum TemplateIndex { IndexPage, SelectionPage, SettingsPage, CopyrightPage, InfoPage, ForwardPage, FrontEndPage, PageCount };
    static constexpr int DirtiesIntervalMs = 200;

    // The seven page templates, in loading order.
    static const QStringList &templatePaths();
    // Every fixed text of the pages, translated, as the JSON text of one object.
    static QString uiStrings();

    // `receiver` may be null (the ensembles come from elsewhere), and so may
    // `scheduler` (its commands are then missing).
    Pages(ServiceManager *manager, HttpServer *server, Receiver *receiver, Settings *settings,
          Scheduler *scheduler = nullptr);
    ~Pages() override;

    // Loads the templates, opens the server and takes the requests; false
    // when a template or the server failed.
    bool init();
    // Stops taking requests and takes the services' pages off the server.
    void shutdown();

    // Subsystems add their commands here.
    AjaxTable &ajaxTable() { return m_ajax; }

    // The parts above the pages; each null until the application hands it
    // over, and set back to null before it goes.
    void setHost(PageHost *host) { m_links.setHost(host); }
    void setAudioControl(AudioControl *audio) { m_links.setAudio(audio); }

    bool httpPageRequest(const HttpRequest &request, HttpResponse &response) override;
    bool httpAjaxRequest(const HttpRequest &request, HttpResponse &response) override;
    bool isStateChanging(const HttpRequest &request) const override;

    // Rebuilds the index page when its variables changed (ZOZPagesIndex.cpp).
    void refreshIndexPage();
    // Rebuilds the selection page when the services changed (ZOZPagesIndex.cpp).
    void checkDirties();

private:
    struct PageTemplate
    {
        QMutex mutex;
        std::unique_ptr<HtmlTemplate> page;
    };

    void reloadTemplates();
    // The pages filled afresh for every request (ZOZPagesSettings.cpp, ZOZPagesInfo.cpp).
    void fillSettingsPage(HtmlTemplate &page, const HttpRequest &request);
    void fillAudioSections(HtmlTemplate &page);
    void fillFrontEndPage(HtmlTemplate &page, const HttpRequest &request);
    void fillCopyrightPage(HtmlTemplate &page);
    void fillInfoPage(HtmlTemplate &page);
    QString applicationName() const;
    static QDateTime nowInSeconds();
    bool serveFile(const HttpRequest &request, HttpResponse &response);

    ServiceManager *m_manager;
    HttpServer *m_server;
    Settings *m_settings;
    PageLinks m_links;
    AjaxTable m_ajax;
    ServicePageRegistry m_registry;
    PageValuesForServices m_serviceValues;
    bool m_taking = false;

    std::array<PageTemplate, PageCount> m_templates;
    QVector<TemplateVariable> m_infoVariables;
    // Last rebuild of the index and selection pages, sent as Last-Modified;
    // each guarded by its page's mutex.
    QDateTime m_indexPageTime;
    QDateTime m_selectionPageTime;
    QTimer m_dirtiesTimer;
};

// "WAV", "M4A" and "DCP" for the recording formats 1 to 3; "RAW" for any other.
const char *recordingFormatSuffix(const int &format);

} // namespace ZOZ
