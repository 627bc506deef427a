#include "NSJRendererHTML.h"

#include "CommonText.h"
#include "NSJNmlToHtml.h"
#include "NSJRendererHTMLPrivate.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <sys/stat.h>

namespace {

using Locker = Common::Threads::MutexLocker;

constexpr uint32_t RemovalEvents = NSJ_EVENT_EXPIRED | NSJ_EVENT_EVICTED | NSJ_EVENT_TOC_REMOVED | NSJ_EVENT_REPLACED;
// A rotation longer than this is not watched by anyone.
constexpr size_t MaxAutoplayEntries = 1024;

const char *const InternalError = "An internal error occurred<br/><a href=\"0.html\">main page</a>";

struct Extension {
    const char *suffix;
    const char *type;
};
const Extension Extensions[] = {
    {".kml", "application/vnd.google-earth.kml+xml"},
    {".pdf", "application/octet-stream"},
    {".json", "application/json"},
    {".bmp", "image/bmp"},
    {".gif", "image/gif"},
    {".jpg", "image/jpeg"},
    {".jpeg", "image/jpeg"},
    {".png", "image/png"},
    {".svg", "image/svg+xml"},
    {".css", "text/css"},
    {".js", "text/javascript"},
};

std::string typeOfName(const std::string &name)
{
    for (const Extension &e : Extensions) {
        const std::string suffix = e.suffix;
        if (name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            return e.type;
    }
    return "text/html";
}

uint16_t idOf(const std::string &text)
{
    if (text.empty() || text.size() > 5 || !Common::isDigitsOnly(text))
        return 0;
    const unsigned long value = std::stoul(text);
    return value > 0xFFFF ? 0 : static_cast<uint16_t>(value);
}

// A resource name a request may ask for: relative, without empty, "." or
// ".." segments, backslashes or control characters.
bool isPlainResourceName(const std::string &name)
{
    if (name.empty() || name.front() == '/')
        return false;
    size_t start = 0;
    for (;;) {
        const size_t slash = name.find('/', start);
        const std::string segment = name.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (segment.empty() || segment == "." || segment == "..")
            return false;
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    for (const char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == '\\' || c == 0x7F)
            return false;
    return true;
}

bool readWhole(const std::string &path, std::string &content)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return false;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    content.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}

std::string drawServerId()
{
    static const char Pool[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device source;
    std::uniform_int_distribution<size_t> pick(0, sizeof Pool - 2);
    std::string id;
    for (size_t i = 0; i < NSJRendererHTML::ServerIdLength; ++i)
        id += Pool[pick(source)];
    return id;
}

} // namespace

namespace NSJHtml {

std::string jsonString(const std::string &text)
{
    std::string out = "\"";
    for (const char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '<': out += "\\u003c"; break;
        case '>': out += "\\u003e"; break;
        case '&': out += "\\u0026"; break;
        default:
            if (u < 0x20 || u == 0x7F || u >= 0x80) {
                // Texts reach here escaped to ASCII; a stray byte must not
                // break the UTF-8 of the reply.
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", u < 0x80 ? u : 0xFFFD);
                out += buffer;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

std::string safeUrl(const std::string &url)
{
    if (url.size() >= 1 && url[0] == '/' && (url.size() < 2 || (url[1] != '/' && url[1] != '\\')))
        return url;
    static const char *const Schemes[] = {"http:", "https:", "mailto:", "tel:", "sms:", "geo:"};
    std::string lower;
    for (const char c : url.substr(0, 8))
        lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    for (const char *scheme : Schemes)
        if (lower.compare(0, std::char_traits<char>::length(scheme), scheme) == 0)
            return url;
    return {};
}

std::string imageUrl(NSJAPIProvider &provider, const std::string &reference)
{
    const std::string resolved = provider.resolveLink(reference);
    return safeUrl(resolved.empty() ? reference : resolved);
}

bool coordinatePair(const uint8_t *bytes, double &latitude, double &longitude)
{
    auto signed24 = [](const uint8_t *b) {
        int32_t v = (int32_t(b[0]) << 16) | (int32_t(b[1]) << 8) | b[2];
        return v & 0x800000 ? v - 0x1000000 : v;
    };
    latitude = signed24(bytes) / 92000.0;
    longitude = signed24(bytes + 3) / 46000.0;
    return latitude >= -90.0 && latitude <= 90.0 && longitude >= -180.0 && longitude <= 180.0;
}

std::string bytesText(const uint8_t *data, size_t length)
{
    return std::string(reinterpret_cast<const char *>(data), length);
}

} // namespace NSJHtml

NSJRendererHTML::NSJRendererHTML(bool renderOption, bool loadOption, const std::string &style,
                                 const std::string &secondOption)
    : d(std::make_unique<NSJRendererHTMLPrivate>())
{
    setRenderOption(renderOption);
    setLoadOption(loadOption);
    NSJRendererHTML::setStyleOption(style);
    NSJRendererHTML::setSecondOption(secondOption);
    d->serverId = drawServerId();
}

NSJRendererHTML::~NSJRendererHTML() = default;

const std::string &NSJRendererHTML::serverId() const
{
    return d->serverId;
}

size_t NSJRendererHTML::resourceCount() const
{
    Locker lock(&d->updateLock);
    return d->resources.size();
}

bool NSJRendererHTML::onObjectEvent(uint16_t objectId, uint32_t event)
{
    Locker lock(&d->updateLock);
    if (d->pending.size() < NSJRendererHTMLPrivate::MaxPending)
        d->pending.emplace_back(objectId, event);
    if (event & RemovalEvents) {
        // Pictures go with the object that carried them.
        const std::string prefix = std::to_string(objectId) + "-";
        for (auto it = d->resources.lower_bound(prefix); it != d->resources.end() && it->first.compare(0, prefix.size(), prefix) == 0;)
            it = d->resources.erase(it);
    }
    return false;
}

bool NSJRendererHTML::resetObjectCache()
{
    {
        Locker lock(&d->updateLock);
        for (auto &[id, counter] : d->counters)
            ++counter;
        d->resources.clear();
    }
    return NSJAPIProvider::resetObjectCache();
}

void NSJRendererHTML::onCallbacksChanged()
{
    restoreAutoplayState();
    Locker lock(&d->autoplayLock);
    rebuildAutoplayList();
    if (d->apListIdx >= d->apList.size())
        d->apListIdx = 0;
    d->apStarted = std::chrono::steady_clock::now();
}

void NSJRendererHTML::dropTemplates()
{
    Locker lock(&d->templateLock);
    d->pageTemplate.reset();
    d->statisticsTemplate.reset();
    d->kmlTemplate.reset();
}

bool NSJRendererHTML::setStyleOption(const std::string &style)
{
    if (!NSJRenderer::setStyleOption(style))
        return false;
    dropTemplates();
    return true;
}

bool NSJRendererHTML::setSecondOption(const std::string &option)
{
    if (!NSJRenderer::setSecondOption(option))
        return false;
    dropTemplates();
    return true;
}

uint32_t NSJRendererHTML::counterOf(uint16_t objectId)
{
    Locker lock(&d->updateLock);
    return d->counters[objectId];
}

void NSJRendererHTML::drainNotifications()
{
    Locker lock(&d->updateLock);
    if (d->pageWatchId != UINT32_MAX)
        d->counters.try_emplace(static_cast<uint16_t>(d->pageWatchId), 0);
    for (const auto &[id, event] : d->pending) {
        d->counters.try_emplace(id, 0);
        if (d->pageWatchId != UINT32_MAX) {
            bool counted = false;
            if (event & NSJ_EVENT_NEW) {
                for (NSJRendererHTMLPrivate::TrailEntry &entry : d->trail) {
                    if (!entry.known && entry.id == id) {
                        entry.id = NoObject;
                        ++d->counters[static_cast<uint16_t>(d->pageWatchId)];
                        counted = true;
                        break;
                    }
                }
            }
            if (!counted && (event & 0xF2)) {
                for (const uint16_t watched : d->watchedIds) {
                    if (watched == id) {
                        ++d->counters[static_cast<uint16_t>(d->pageWatchId)];
                        break;
                    }
                }
            }
        }
        ++d->counters[id];
    }
    d->pending.clear();
}

std::string NSJRendererHTML::historyQuery()
{
    NSJ_HistoryPath path{};
    if (historyPath(&path) != NSJ_OK || path.depth >= NSJ_MAX_PATH)
        return {};
    std::string query = "?hist=";
    for (unsigned i = 0; i <= path.depth; ++i)
        query += (i ? "," : "") + std::to_string(path.ids[i]);
    return query;
}

bool NSJRendererHTML::serveResource(const std::string &target, std::string &output)
{
    std::string name = target;
    if (const size_t at = name.find("jourc/"); at != std::string::npos)
        name.erase(0, at + 6);
    if (!name.empty() && name.front() == '/')
        name.erase(0, 1);
    name = name.substr(0, name.find('?'));
    if (!isPlainResourceName(name))
        return false;

    // Files come from the style folder only, and only from inside it.
    std::error_code error;
    const std::filesystem::path root = std::filesystem::weakly_canonical(styleOption().empty() ? "." : styleOption(), error);
    if (!error) {
        const std::filesystem::path file = std::filesystem::weakly_canonical(root / name, error);
        std::string rootText = root.string();
        if (rootText.empty() || rootText.back() != '/')
            rootText += '/';
        if (!error && file.string().compare(0, rootText.size(), rootText) == 0 && readWhole(file.string(), output)) {
            struct stat info {};
            if (::stat(file.c_str(), &info) == 0)
                m_lastModified = static_cast<uint32_t>(info.st_mtime);
            writeResponse(output, typeOfName(name));
            return true;
        }
    }
    if (const BuiltInFile *file = builtInFile("jourc/" + name)) {
        output.assign(reinterpret_cast<const char *>(file->content), file->size);
        m_lastModified = file->modified;
        writeResponse(output, typeOfName(name));
        return true;
    }
    std::string resourceType;
    {
        Locker lock(&d->updateLock);
        const auto found = d->resources.find(name);
        if (found != d->resources.end() && !found->second.data.empty()) {
            output = found->second.data;
            resourceType = "image/" + found->second.type;
        }
    }
    if (!resourceType.empty()) {
        writeResponse(output, resourceType);
        return true;
    }
    const size_t kml = name.find(".kml");
    if (kml != std::string::npos) {
        const std::string digits = name.substr(0, kml);
        if (!digits.empty() && Common::isDigitsOnly(digits) && digits.size() <= 5 && std::stoul(digits) <= 0xFFFF &&
            kmlDocument(static_cast<uint16_t>(std::stoul(digits)), output)) {
            writeResponse(output, "application/vnd.google-earth.kml+xml");
            return true;
        }
        std::fprintf(stderr, "NSJRendererHTML::Handle_HttpRequest() -> error: could not render KML file!\n");
        std::fflush(stderr);
    }
    return false;
}

int NSJRendererHTML::Handle_HttpRequest(const Request &request, std::string &output)
{
    output.clear();
    std::string path = request.directory;
    std::string target = request.uri;
    if (const size_t jour = path.find("/jour"); jour != std::string::npos) {
        const size_t next = path.find('/', jour + 1);
        m_rootPrefix = next == std::string::npos ? path.substr(jour + 1) + "/" : path.substr(jour + 1, next - jour);
    }
    if (m_rootPrefix.size() > 1) {
        if (const size_t at = target.find(m_rootPrefix); at != std::string::npos)
            target.erase(0, at + m_rootPrefix.size() - 1);
    }
    const std::string &file = request.file;
    if (file == "statistics") {
        output = statisticsPage();
        return writeResponse(output, "text/html");
    }
    if (serveResource(target, output))
        return static_cast<int>(output.size());
    output.clear();
    if (file == "ajax") {
        output = ajax();
        return writeResponse(output, "application/json");
    }

    auto record = std::make_unique<NSJ_ObjectRecord>();
    uint16_t objectId = NoObject;
    int result = NSJ_OK;
    if (file == "nav_up" || file == "nav_prev" || file == "nav_next") {
        result = file == "nav_up" ? upperObject(record.get())
                 : file == "nav_prev" ? previousObject(record.get())
                                      : nextObject(record.get());
        objectId = record->id;
        if (result != NSJ_OK) {
            NSJ_HistoryPath current{};
            historyPath(&current);
            objectId = current.ids[std::min<unsigned>(current.depth, NSJ_MAX_PATH - 1)];
        }
    } else if (file.empty() || file.find(".html") != std::string::npos) {
        objectId = idOf(file.substr(0, file.find(".html")));
        result = object(objectId, record.get(), Navigation::MakeCurrent);
    }
    if (objectId == NoObject) {
        output.clear();
        return writeResponse(output, "404");
    }
    bool extended = options().extEnabled;
    if (const auto it = query().find("extEnabled"); it != query().end())
        extended = it->second == "true";
    const std::string page = producePage(objectId, result, record.get(), historyQuery(), extended);
    switch (result) {
    case NSJ_OK:
    case NSJ_OBJECT_INVALID:
    case NSJ_OBJECT_NOT_AVAILABLE:
    case NSJ_OBJECT_TOO_LARGE:
    case NSJ_OBJECT_TIMEOUT:
        output = page;
        return writeResponse(output, page.empty() ? "404" : "text/html");
    default:
        output = InternalError;
        return writeResponse(output, "500");
    }
}

std::string NSJRendererHTML::ajax()
{
    static const char *const Commands[] = {"getObject", "getUpdate", "setAutoPlay", "getAutoPlayList"};
    for (const auto &[key, value] : query()) {
        if (key == Commands[0])
            return ajaxGetObject(idOf(value));
        if (key == Commands[1])
            return ajaxGetUpdate(idOf(value));
        if (key == Commands[2])
            return ajaxSetAutoPlay(value == "65535" ? NoObject : idOf(value));
        if (key == Commands[3])
            return ajaxGetAutoPlayList(value);
    }
    return "{\"success\":false}";
}

std::string NSJRendererHTML::ajaxGetObject(uint16_t objectId)
{
    auto record = std::make_unique<NSJ_ObjectRecord>();
    uint8_t type = 0;
    if (object(objectId, record.get(), Navigation::Keep) != NSJ_OK || NSJ_GetObjectType(record.get(), &type) != NSJ_OK)
        return "{\"success\":false}";
    drainNotifications();
    const uint32_t version = counterOf(objectId);
    NSJNml::Context context;
    context.debug = isDebug();
    context.nestedTexts = &d->nestedTexts;
    d->nestedTexts.clear();
    uint8_t counter = 0;
    // Converted as the page converts it, so that its line breaks are breaks
    // and its pictures count before those of the items and the body.
    NSJNml::Options titleOptions;
    titleOptions.imageCounter = &counter;
    const std::string title = NSJNml::toHtml(context, objectId, NSJHtml::bytesText(record->title, record->titleLength),
                                             titleOptions);
    std::string links = "[";
    if (type == NSJ_TYPE_MENU) {
        for (uint8_t n = 0; n < record->menuItemCount; ++n) {
            const NSJ_MenuItem &item = record->menuItems[n];
            NSJNml::Options inlined;
            inlined.inlineImages = true;
            inlined.imageCounter = &counter;
            links += std::string(n ? "," : "") + "{\"ID\":" + std::to_string(item.targetId) + ",\"description\":" +
                     NSJHtml::jsonString(NSJNml::toHtml(context, objectId, NSJHtml::bytesText(item.text, item.textLength), inlined)) + "}";
        }
    }
    links += "]";
    std::string images = "[";
    std::vector<DataSection> all;
    sections(record.get(), all);
    unsigned n = 0;
    bool first = true;
    for (const DataSection &section : all) {
        if (section.type != 0xC0)
            continue;
        NSJNml::ImageSection image;
        if (!NSJNml::parseImageSection(std::string(1, '\xC0') + std::string(section.bytes.begin(), section.bytes.end()), image))
            continue;
        ++n;
        if (image.kind == 3) {
            Locker lock(&d->updateLock);
            const std::string data = image.first.substr(1 + image.type.size());
            if (data.size() <= NSJRendererHTMLPrivate::MaxResourceBytes && image.type.size() < NSJRendererHTMLPrivate::MaxResourceType)
                d->resources[NSJNml::imageName(objectId, n, image.type)] = {data, image.type, image.caption.substr(0, 256)};
        } else if (image.kind < 3) {
            images += std::string(first ? "" : ",") + "{\"url\":" + NSJHtml::jsonString(NSJHtml::imageUrl(*this, image.first)) +
                      ",\"mime\":\"\",\"caption\":" + NSJHtml::jsonString(NSJNml::escape(image.caption)) + "}";
            first = false;
        }
    }
    images += "]";
    NSJNml::Options body;
    body.imageCounter = &counter;
    const std::string content = NSJNml::toHtml(context, objectId, NSJHtml::bytesText(record->body, record->bodyLength), body);
    return "{\"success\":true,\"ID\":" + std::to_string(objectId) + ",\"version\":" + std::to_string(version) +
           ",\"type\":" + std::to_string(type) + ",\"title\":" + NSJHtml::jsonString(title) + ",\"links\":" + links +
           ",\"images\":" + images + ",\"content\":" + NSJHtml::jsonString(content) + "}";
}

std::string NSJRendererHTML::ajaxGetUpdate(uint16_t objectId)
{
    drainNotifications();
    uint32_t version = 0;
    {
        Locker lock(&d->updateLock);
        const auto found = d->counters.find(objectId);
        if (found != d->counters.end())
            version = found->second;
    }
    std::string url;
    {
        Locker lock(&d->autoplayLock);
        if (d->apMode && std::chrono::steady_clock::now() - d->apStarted >= std::chrono::milliseconds(options().apTimestepMs)) {
            rebuildAutoplayList();
            if (++d->apListIdx >= d->apList.size())
                d->apListIdx = 0;
            storeAutoplayState();
            d->apStarted = std::chrono::steady_clock::now();
        }
        if (d->apMode && d->apListIdx < d->apList.size())
            url = d->apList[d->apListIdx];
    }
    return "{\"success\":true,\"serverId\":" + NSJHtml::jsonString(d->serverId) + ",\"version\":" +
           std::to_string(version) + ",\"apUrl\":" + NSJHtml::jsonString(url) + "}";
}

std::string NSJRendererHTML::ajaxSetAutoPlay(uint16_t objectId)
{
    const std::string history = historyQuery();
    NSJ_HistoryPath path{};
    historyPath(&path);
    std::string url;
    {
        Locker lock(&d->autoplayLock);
        d->apRoot = objectId;
        d->apRootHp = history.empty() ? "?hist=0" : history;
        d->apMode = objectId != NoObject;
        d->apListIdx = 0;
        if (!d->apMode) {
            storeAutoplayState();
        } else {
            auto cutLast = [this] {
                const size_t comma = d->apRootHp.rfind(',');
                if (comma != std::string::npos)
                    d->apRootHp.erase(comma);
            };
            if (path.depth > 0 && path.depth < NSJ_MAX_PATH) {
                cutLast();
                auto record = std::make_unique<NSJ_ObjectRecord>();
                uint8_t type = 0;
                if (object(d->apRoot, record.get(), Navigation::Keep) != NSJ_OK ||
                    NSJ_GetObjectType(record.get(), &type) != NSJ_OK || type != NSJ_TYPE_MENU) {
                    d->apRoot = path.ids[path.depth - 1];
                    cutLast();
                }
            }
            rebuildAutoplayList();
            storeAutoplayState();
            if (d->apList.empty())
                d->apMode = false;
            else
                d->apStarted = std::chrono::steady_clock::now();
            if (d->apMode)
                url = d->apList.front();
        }
    }
    return "{\"success\":true,\"serverId\":" + NSJHtml::jsonString(d->serverId) + ",\"apUrl\":" +
           NSJHtml::jsonString(url) + "}";
}

std::string NSJRendererHTML::ajaxGetAutoPlayList(const std::string &ids)
{
    std::vector<uint16_t> path;
    size_t start = 0;
    while (start <= ids.size() && path.size() < NSJ_MAX_PATH) {
        const size_t comma = ids.find(',', start);
        path.push_back(idOf(ids.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    if (path.empty())
        path.push_back(0);
    auto record = std::make_unique<NSJ_ObjectRecord>();
    while (path.size() > 1 && path.back() != 0) {
        uint8_t type = 0;
        if (object(path.back(), record.get(), Navigation::Keep) != NSJ_OK ||
            NSJ_GetObjectType(record.get(), &type) != NSJ_OK || type == NSJ_TYPE_MENU)
            break;
        path.pop_back();
    }
    std::string history = "?hist=";
    for (size_t i = 0; i < path.size(); ++i)
        history += (i ? "," : "") + std::to_string(path[i]);
    const bool include = query().count("apIncRoot") > 0 || path.back() != 0;
    std::string list = "[";
    bool first = true;
    for (const std::string &entry : autoplayList(path.back(), history, include)) {
        list += (first ? "" : ",") + NSJHtml::jsonString(entry);
        first = false;
    }
    return "{\"success\":true,\"serverId\":" + NSJHtml::jsonString(d->serverId) + ",\"apList\":" + list + "]}";
}

std::vector<std::string> NSJRendererHTML::autoplayList(uint16_t start, const std::string &history, bool includeStart)
{
    // Path ids from the history text.
    std::vector<uint16_t> path;
    const std::string ids = history.compare(0, 6, "?hist=") == 0 ? history.substr(6) : history;
    for (size_t at = 0; at <= ids.size() && !ids.empty() && path.size() < NSJ_MAX_PATH;) {
        const size_t comma = ids.find(',', at);
        path.push_back(idOf(ids.substr(at, comma == std::string::npos ? std::string::npos : comma - at)));
        if (comma == std::string::npos)
            break;
        at = comma + 1;
    }
    std::vector<std::string> list;
    // Every object is visited once: shared submenus and menus leading back
    // up would otherwise repeat the walk without end.
    std::set<uint16_t> visited;
    auto record = std::make_unique<NSJ_ObjectRecord>();
    struct Step {
        uint16_t id;
        std::vector<uint16_t> path;
        bool include;
    };
    std::vector<Step> stack{{start, path, includeStart}};
    while (!stack.empty() && list.size() < MaxAutoplayEntries) {
        Step step = std::move(stack.back());
        stack.pop_back();
        if (!visited.insert(step.id).second)
            continue;
        if (step.include) {
            if (step.path.empty() || step.path.back() != step.id)
                step.path.push_back(step.id);
            std::string h = "?hist=";
            for (size_t i = 0; i < step.path.size(); ++i)
                h += (i ? "," : "") + std::to_string(step.path[i]);
            list.push_back(std::to_string(step.id) + ".html" + h);
        }
        uint8_t type = 0;
        if (step.path.size() >= NSJ_MAX_PATH || object(step.id, record.get(), Navigation::Keep) != NSJ_OK ||
            NSJ_GetObjectType(record.get(), &type) != NSJ_OK || type != NSJ_TYPE_MENU)
            continue;
        // Reversed onto the stack so that items are visited in menu order.
        for (int n = record->menuItemCount - 1; n >= 0; --n)
            stack.push_back({record->menuItems[n].targetId, step.path, true});
    }
    return list;
}

void NSJRendererHTML::rebuildAutoplayList()
{
    if (!d->apMode)
        return;
    d->apList = autoplayList(d->apRoot, d->apRootHp, options().apIncRoot || d->apRoot != 0);
}

std::string NSJRendererHTML::autoplayState() const
{
    Locker lock(&d->autoplayLock);
    const std::string hp = d->apRootHp.compare(0, 6, "?hist=") == 0 ? d->apRootHp.substr(6) : d->apRootHp;
    return std::string("apMode=") + (d->apMode ? "true" : "false") + ";apRoot=" + std::to_string(d->apRoot) +
           ";apRootHp=" + hp + ";apListIdx=" + std::to_string(d->apListIdx);
}

void NSJRendererHTML::storeAutoplayState()
{
    registryWrite(autoplayState());
}

void NSJRendererHTML::restoreAutoplayState()
{
    std::string stored;
    registryRead(stored);
    Locker lock(&d->autoplayLock);
    size_t start = 0;
    while (start < stored.size()) {
        const size_t end = std::min(stored.find(';', start), stored.size());
        const std::string piece = stored.substr(start, end - start);
        start = end + 1;
        const size_t equals = piece.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string name = piece.substr(0, equals);
        const std::string value = piece.substr(equals + 1);
        if (name == "apMode")
            d->apMode = value == "true";
        else if (name == "apRoot")
            d->apRoot = value == "65535" ? NoObject : idOf(value);
        else if (name == "apRootHp")
            d->apRootHp = "?hist=" + value;
        else if (name == "apListIdx")
            d->apListIdx = static_cast<uint32_t>(std::min<uint64_t>(Common::textToUnsigned(value), UINT32_MAX));
    }
}
