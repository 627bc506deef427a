// NSJRendererHTML: the browser-facing Journaline renderer. It answers the
// requests below the Journaline root of one service: object pages
// ("<id>.html"), the statistics page, resources (the style folder, the
// built-in files, pictures carried in objects, KML documents of objects)
// and ajax commands answered with JSON. It keeps a change counter per
// object that the page polls, the autoplay rotation and a random server id
// that tells the page the server was restarted.
#ifndef ZOZ_NSJ_RENDERER_HTML_H
#define ZOZ_NSJ_RENDERER_HTML_H

#include "NSJRenderer.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct NSJRendererHTMLPrivate;

class NSJRendererHTML : public NSJRenderer {
public:
    static constexpr uint16_t NoObject = NSJ_NO_OBJECT;
    static constexpr size_t ServerIdLength = 32;

    NSJRendererHTML(bool renderOption, bool loadOption, const std::string &style, const std::string &secondOption);
    ~NSJRendererHTML() override;

    bool onObjectEvent(uint16_t objectId, uint32_t event) override;
    bool resetObjectCache() override;
    void onCallbacksChanged() override;
    bool setStyleOption(const std::string &style) override;
    bool setSecondOption(const std::string &option) override;

    using NSJRenderer::Handle_HttpRequest;
    int Handle_HttpRequest(const Request &request, std::string &output) override;

    const std::string &serverId() const;

    // The page of an object; `result` is the decoder's answer to its fetch.
    std::string producePage(uint16_t objectId, int result, NSJ_ObjectRecord *record, const std::string &history,
                            bool extended);
    // The KML document of an object's positions and regions; false when it
    // has none or cannot be fetched.
    bool kmlDocument(uint16_t objectId, std::string &out);
    std::string statisticsPage();
    // One ajax command line ("getObject=3"), as the dispatcher runs it.
    std::string ajax();

    // The stored autoplay state ("apMode=...;apRoot=...").
    std::string autoplayState() const;
    // Page addresses of a rotation starting at `start` with history `history`.
    std::vector<std::string> autoplayList(uint16_t start, const std::string &history, bool includeStart);

    // Number of pictures kept for serving.
    size_t resourceCount() const;

private:
    void drainNotifications();
    void dropTemplates();
    void storeAutoplayState();
    void restoreAutoplayState();
    void rebuildAutoplayList();
    std::string historyQuery();
    uint32_t counterOf(uint16_t objectId);
    bool serveResource(const std::string &target, std::string &output);
    std::string ajaxGetObject(uint16_t objectId);
    std::string ajaxGetUpdate(uint16_t objectId);
    std::string ajaxSetAutoPlay(uint16_t objectId);
    std::string ajaxGetAutoPlayList(const std::string &ids);
    void fillPage(HtmlTemplate &page, uint16_t objectId, int result, NSJ_ObjectRecord *record, const std::string &history,
                  bool extended);

    std::unique_ptr<NSJRendererHTMLPrivate> d;
};

#endif
