// The state of NSJRendererHTML shared by its files.
#ifndef ZOZ_NSJ_RENDERER_HTML_PRIVATE_H
#define ZOZ_NSJ_RENDERER_HTML_PRIVATE_H

#include "CommonThreads.h"
#include "HtmlTemplate.h"
#include "NSJAPIProvider.h"
#include "NSJDecoder.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct NSJRendererHTMLPrivate {
    std::string serverId;

    Common::Threads::Mutex templateLock;
    std::unique_ptr<HtmlTemplate> pageTemplate;
    std::unique_ptr<HtmlTemplate> statisticsTemplate;
    std::unique_ptr<HtmlTemplate> kmlTemplate;

    Common::Threads::Mutex autoplayLock;
    bool apMode = false;
    uint16_t apRoot = NSJ_NO_OBJECT;
    std::string apRootHp = "?hist=0";
    uint32_t apListIdx = 0;
    std::vector<std::string> apList;
    std::chrono::steady_clock::time_point apStarted = std::chrono::steady_clock::now();

    Common::Threads::Mutex updateLock;
    uint32_t pageWatchId = UINT32_MAX;
    // The page shown before the current one: its menu item is highlighted.
    uint32_t cameFromId = UINT32_MAX;
    struct Resource {
        std::string data; // at most MaxResourceBytes
        std::string type; // at most MaxResourceType characters
        std::string caption;
    };
    std::map<std::string, Resource> resources;
    std::map<uint8_t, std::string> nestedTexts;
    std::string currentImageUrl;
    std::string currentImageCaption;
    std::vector<uint16_t> watchedIds;
    struct TrailEntry {
        bool known = false;
        uint16_t id = 0;
        std::string title;
    };
    std::vector<TrailEntry> trail;
    std::vector<std::pair<uint16_t, uint32_t>> pending;
    std::map<uint16_t, uint32_t> counters;

    static constexpr size_t MaxResourceBytes = 4096;
    static constexpr size_t MaxResourceType = 256;
    // A broadcaster may name many objects; the pending list is drained on
    // every poll, this only bounds it between polls.
    static constexpr size_t MaxPending = 4096;
};

namespace NSJHtml {

// JSON string literal with every character a strict parser needs escaped.
std::string jsonString(const std::string &text);
// The address when its scheme is one a page may follow (http, https,
// mailto, tel, sms, geo) or it is a path on this server; else "".
std::string safeUrl(const std::string &url);
// The address of an image given by reference: what the host resolves it to
// (a service's own path), else the reference itself; through safeUrl.
std::string imageUrl(NSJAPIProvider &provider, const std::string &reference);
// Six bytes: latitude and longitude as signed 24-bit big-endian numbers in
// 1/92000 and 1/46000 degree. False when out of range.
bool coordinatePair(const uint8_t *bytes, double &latitude, double &longitude);
std::string bytesText(const uint8_t *data, size_t length);

} // namespace NSJHtml

#endif
