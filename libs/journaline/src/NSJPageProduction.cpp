// The HTML page of one Journaline object: its template filled with title,
// body, menu items, links, history trail, images and navigation, or an error
// box when the object cannot be shown.
#include "NSJRendererHTML.h"

#include "CommonText.h"
#include "HtmlTemplate.h"
#include "NSJNmlToHtml.h"
#include "NSJRendererHTMLPrivate.h"

namespace {

using Locker = Common::Threads::MutexLocker;
using Row = HtmlTemplateRow;

const char *const PageTemplate = "/templates/services/journaline/index.html";
constexpr uint8_t SectionAbsoluteTimeout = 0x01;
constexpr uint8_t SectionRelativeTimeout = 0x02;
constexpr uint8_t SectionLink = 0x03;
constexpr uint8_t SectionLanguage = 0xA0;
constexpr uint8_t SectionImage = 0xC0;
constexpr uint8_t SectionPosition = 0xB0;
constexpr uint8_t SectionRegion = 0xB1;

std::string pageTitleFor(int result)
{
    switch (result) {
    case NSJ_OBJECT_INVALID: return "Invalid Journaline Object";
    case NSJ_OBJECT_NOT_AVAILABLE: return "Object currently not available ...";
    case NSJ_OBJECT_TOO_LARGE: return "Object content is too large (over 4092 Bytes) ...";
    case NSJ_OBJECT_TIMEOUT: return "Object is no longer available ...";
    default: return "An unspecified error occurred ...";
    }
}

Row errorBox(int result, uint16_t objectId, bool configured)
{
    const char *title = "Error";
    const char *description = "An unspecified error occurred";
    if (!configured) {
        title = "Waiting for a Journaline configuration";
        description = "Waiting for a valid Journaline configuration (no configuration received so far)";
    } else if (result == NSJ_FRAGMENT_INVALID) {
        title = "This item is not a valid Journaline Object";
        description = "The received journaline object fragments contain invalid data.";
    } else if (result == NSJ_OBJECT_INVALID) {
        title = "This item is not a valid Journaline Object";
        description = "A Journaline Object has to contain a title section first";
    } else if (result == NSJ_OBJECT_NOT_AVAILABLE && objectId == 0) {
        title = "Waiting for main menu";
        description = "The main menu has not been received yet";
    } else if (result == NSJ_OBJECT_NOT_AVAILABLE) {
        title = "Object currently not available";
        description = "The requested object is currently not available (not on air, not received yet ...)";
    } else if (result == NSJ_OBJECT_TOO_LARGE) {
        title = "Object content is too large";
        description = "The content of the object is larger than 4092 Bytes.";
    } else if (result == NSJ_OBJECT_TIMEOUT) {
        title = "Object no longer available";
        description = "According to the expiration timeout defined by the broadcast the requested object is no "
                      "longer available.";
    }
    return {{"title", title}, {"description", description}};
}

std::string bytesOf(const std::vector<uint8_t> &bytes, size_t from = 0)
{
    return from >= bytes.size() ? std::string() : std::string(bytes.begin() + from, bytes.end());
}

// The signalled bytes as the debug view shows them: "(signalled: 0x0A1B2C)".
std::string signalled(const std::vector<uint8_t> &bytes, size_t from, size_t count)
{
    Common::HexFormat twoDigits;
    twoDigits.minimumDigits = 2;
    std::string hex;
    for (size_t i = from; i < from + count && i < bytes.size(); ++i)
        hex += Common::hexText(bytes[i], twoDigits);
    return "(signalled: 0x" + hex + ")";
}

// What the broadcast says about an object's life and language, for the
// debug view; empty when it says nothing.
Row managementRecord(const std::vector<NSJAPIProvider::DataSection> &sections)
{
    // Absolute timeouts count quarter hours from the last hour of 1999.
    constexpr int64_t TimeoutEpochQuarters = 1051868;
    constexpr int64_t SecondsPerQuarter = 900;
    Row row;
    for (const NSJAPIProvider::DataSection &section : sections) {
        const std::vector<uint8_t> &b = section.bytes;
        if (section.type == SectionAbsoluteTimeout && b.size() == 3) {
            const int64_t quarters = (int64_t(b[0]) << 16) | (int64_t(b[1]) << 8) | b[2];
            const int64_t seconds = (quarters + TimeoutEpochQuarters) * SecondsPerQuarter;
            row.emplace_back("MANAGEMENT:absoluteTimeout",
                             Common::dateTimeText(Common::DateTimeParts::DateAndTime, seconds, Common::TimeZone::Utc) +
                                 " UTC " + signalled(b, 0, 3));
        } else if (section.type == SectionRelativeTimeout && b.size() == 2) {
            const unsigned minutes = (unsigned(b[0]) << 8) | b[1];
            row.emplace_back("MANAGEMENT:relativeTimeout",
                             std::to_string(minutes) + (minutes == 1 ? " minute " : " minutes ") + signalled(b, 0, 2));
        } else if (section.type == SectionLanguage && !b.empty()) {
            const std::string code(b.begin(), b.end());
            const std::string name = Common::languageName(code);
            row.emplace_back("MANAGEMENT:defaultLanguage", NSJNml::escape(name.empty() ? code : name));
        }
    }
    return row;
}

std::string lower(std::string text)
{
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

} // namespace

std::string NSJRendererHTML::producePage(uint16_t objectId, int result, NSJ_ObjectRecord *record,
                                         const std::string &history, bool extended)
{
    Locker lock(&d->templateLock);
    if (!d->pageTemplate)
        d->pageTemplate = std::make_unique<HtmlTemplate>(PageTemplate, styleOption(), secondOption());
    d->pageTemplate->reset(options().loadOption);
    fillPage(*d->pageTemplate, objectId, result, record, history, extended);
    // Blocks the page does not use go, with their placeholders.
    static const char *const Blocks[] = {"GENERALINFORMATION", "OBJ_MENU", "OBJ_TEXT", "OBJ_TICKER", "OBJ_LIST",
                                         "OBJ_LINKS", "ADDITIONALINFO", "OBJ_ERROR"};
    for (const char *block : Blocks) {
        bool set = false;
        for (const HtmlTemplateVariable &variable : d->pageTemplate->variables())
            set = set || variable.name == block;
        if (!set)
            d->pageTemplate->setList(block, {});
    }
    if (options().templateCallback)
        options().templateCallback(d->pageTemplate.get(), options().templateContext);
    return d->pageTemplate->render(options().renderOption);
}

void NSJRendererHTML::fillPage(HtmlTemplate &page, uint16_t objectId, int result, NSJ_ObjectRecord *record,
                               const std::string &history, bool extended)
{
    const bool available = objectAvailable(objectId) == NSJ_OK;
    d->nestedTexts.clear();
    d->currentImageUrl.clear();
    d->currentImageCaption.clear();
    drainNotifications();
    std::vector<DataSection> all;
    if (result == NSJ_OK)
        sections(record, all);
    uint32_t version = 0;
    uint32_t cameFrom = UINT32_MAX;
    {
        Locker lock(&d->updateLock);
        version = d->counters[objectId];
        // A page reloaded for news keeps the mark of where the user came from.
        if (d->pageWatchId != objectId)
            d->cameFromId = d->pageWatchId;
        cameFrom = d->cameFromId;
        d->pageWatchId = objectId;
        d->watchedIds.clear();
    }
    uint8_t type = 0;
    if (result == NSJ_OK)
        NSJ_GetObjectType(record, &type);

    NSJNml::Context context;
    context.debug = isDebug();
    context.nestedTexts = &d->nestedTexts;
    context.resolveLink = [this](const std::string &reference) { return NSJHtml::imageUrl(*this, reference); };

    // The targets of a menu are watched, so that the page moves when one arrives.
    std::vector<uint16_t> watched;
    if (result == NSJ_OK && type == NSJ_TYPE_MENU)
        for (uint8_t n = 0; n < record->menuItemCount; ++n)
            watched.push_back(record->menuItems[n].targetId);

    // History trail: one entry per level above the object; titles survive.
    NSJ_HistoryPath path{};
    const bool havePath = historyPath(&path) == NSJ_OK && path.depth < NSJ_MAX_PATH;
    std::vector<Row> historyRows;
    std::vector<std::vector<std::string>> levelLinks;
    {
        const size_t depth = havePath ? path.depth : 0;
        std::vector<NSJRendererHTMLPrivate::TrailEntry> trail;
        {
            Locker lock(&d->updateLock);
            trail = d->trail;
        }
        trail.resize(depth);
        auto levelRecord = std::make_unique<NSJ_ObjectRecord>();
        for (size_t i = 0; i < depth; ++i) {
            NSJRendererHTMLPrivate::TrailEntry &entry = trail[i];
            entry.id = path.ids[i];
            if (object(entry.id, levelRecord.get(), Navigation::Keep) == NSJ_OK) {
                NSJNml::Options raw;
                raw.raw = true;
                entry.title = NSJNml::toHtml(context, entry.id,
                                             NSJHtml::bytesText(levelRecord->title, levelRecord->titleLength), raw);
                entry.known = true;
                collectServiceLinks(levelRecord.get(), i);
            } else {
                entry.known = false;
                if (entry.title.empty())
                    entry.title = "History Item " + std::to_string(i + 1);
            }
            historyRows.push_back({{"level", static_cast<unsigned>(i)},
                                   {"label", NSJNml::escape(entry.title)},
                                   {"link", std::to_string(entry.id) + ".html"}});
        }
        Locker lock(&d->updateLock);
        d->trail = trail;
        d->watchedIds = watched;
    }

    // Pictures carried in the object are served under their image names.
    unsigned imageNumber = 0;
    for (const DataSection &section : all) {
        if (section.type != SectionImage)
            continue;
        NSJNml::ImageSection image;
        if (!NSJNml::parseImageSection(std::string(1, char(SectionImage)) + bytesOf(section.bytes), image))
            continue;
        ++imageNumber;
        if (image.kind != 3)
            continue;
        const std::string data = image.first.substr(1 + image.type.size());
        if (data.size() > NSJRendererHTMLPrivate::MaxResourceBytes ||
            image.type.size() >= NSJRendererHTMLPrivate::MaxResourceType)
            continue;
        Locker lock(&d->updateLock);
        d->resources[NSJNml::imageName(objectId, imageNumber, image.type)] = {data, image.type,
                                                                              image.caption.substr(0, 256)};
    }

    const auto apModeParameter = query().find("apMode");
    const bool openedByAutoplay = apModeParameter != query().end() && apModeParameter->second == "true";
    std::string autoplayUrl;
    {
        Locker lock(&d->autoplayLock);
        if (d->apMode && d->apListIdx < d->apList.size())
            autoplayUrl = d->apList[d->apListIdx];
    }

    page.setList("HISTORY", historyRows);
    page.setVariable("OBJECT_ID", std::to_string(objectId));
    page.setVariable("SERVER_ID", d->serverId);
    page.setNumber("VERSION", version);
    page.setNumber("TYPE", type);
    page.setVariable("PAGE-ROOT", NSJNml::escape(m_rootPrefix));
    page.setVariable("PAGE-URL", std::to_string(objectId) + ".html" + history);
    page.setVariable("PAGE-HOME-URL", "0.html?hist=0");
    page.setVariable("AUTOPLAY_URL", NSJNml::escape(autoplayUrl));
    page.setBool("EXTENDED_ENABLED", extended);
    page.setBool("EXTENDED_MODE", extended && linksSeen());
    std::vector<Row> styles;
    if (extended) {
        for (size_t level = 0; level < historyRows.size(); ++level)
            for (const std::string &id : serviceLinks(level))
                styles.push_back({{"id", NSJNml::escape(id)}});
    }
    page.setList("STYLE", styles);
    const bool autoplayOrExtended = openedByAutoplay || (linksSeen() && extended);
    page.setBool("AUTOPLAY_OR_EXTENDED_ENABLED", autoplayOrExtended);
    page.setBool("AUTOPLAY_SHOW_BUTTON", autoplayOrExtended || options().apShowButton);
    page.setBool("AUTOPLAY_ACTIVE", openedByAutoplay);
    const size_t equals = history.find('=');
    page.setVariable("AUTOPLAY_HISTORY", equals == std::string::npos ? std::string() : history.substr(equals + 1));
    page.setVariable("PAGE-URL-NAV-PREV", "nav_prev" + history);
    page.setVariable("PAGE-URL-NAV-UP", "nav_up" + history);
    page.setVariable("PAGE-URL-NAV-NEXT", "nav_next" + history);

    uint8_t imageCounter = 0;
    std::string title;
    if (result == NSJ_OK) {
        std::vector<NSJNml::Image> titleImages;
        NSJNml::Options options;
        options.images = &titleImages;
        options.imageCounter = &imageCounter;
        title = NSJNml::toHtml(context, objectId, NSJHtml::bytesText(record->title, record->titleLength), options);
        if (!titleImages.empty()) {
            d->currentImageUrl = titleImages.front().url;
            d->currentImageCaption = titleImages.front().caption;
        }
    }
    std::string pageTitle = result == NSJ_OK ? title : pageTitleFor(result);
    if (isDebug())
        pageTitle += " [" + std::to_string(objectId) + "]";
    page.setVariable("PAGE-TITLE", pageTitle);

    if (isDebug()) {
        static const char *const TypeNames[] = {"", "Menu Object", "Plain Text Message", "Title Only Message",
                                                "List Message"};
        Row info{{"available", available}, {"errorCode", std::to_string(result)}};
        if (available) {
            info.emplace_back("objectId", std::to_string(objectId));
            info.emplace_back("objectType", type >= 1 && type <= 4 ? std::string(TypeNames[type])
                                                                   : "Unknown Object Type (" + std::to_string(type) + ")");
        }
        page.setList("GENERALINFORMATION", {info});
    }

    if (result != NSJ_OK) {
        page.setList("OBJ_ERROR", {errorBox(result, objectId, statistics().dataGroupsProcessed > 0)});
        return;
    }

    const std::string shownTitle = title.empty() ? std::string("Object currently not available ...") : title;
    Row block{{"title", shownTitle}};
    auto addCurrentImage = [this](Row &row) {
        if (d->currentImageUrl.empty())
            return;
        row.emplace_back("imageUrl", NSJNml::escape(d->currentImageUrl));
        row.emplace_back("imageCaption", NSJNml::escape(d->currentImageCaption));
    };
    const std::string bodyText = NSJHtml::bytesText(record->body, record->bodyLength);
    if (type == NSJ_TYPE_MENU) {
        addCurrentImage(block);
        std::vector<Row> items;
        auto target = std::make_unique<NSJ_ObjectRecord>();
        for (uint8_t n = 0; n < record->menuItemCount; ++n) {
            const NSJ_MenuItem &item = record->menuItems[n];
            const bool there = objectAvailable(item.targetId) == NSJ_OK;
            NSJNml::Options inlined;
            inlined.inlineImages = true;
            inlined.imageCounter = &imageCounter;
            Row row{{"link", std::to_string(item.targetId) + ".html" + history + "," + std::to_string(item.targetId)},
                    {"available", there},
                    {"highlight", cameFrom > 0 && cameFrom != objectId && item.targetId == cameFrom},
                    {"label", NSJNml::toHtml(context, objectId, NSJHtml::bytesText(item.text, item.textLength), inlined)}};
            if (there && object(item.targetId, target.get(), Navigation::Keep) == NSJ_OK) {
                for (uint8_t i = 0; i < target->imageCount; ++i) {
                    const NSJ_ImageRecord &image = target->images[i];
                    if (image.kind < 3) {
                        const std::string url = NSJHtml::imageUrl(*this, NSJHtml::bytesText(image.first, image.firstLength));
                        if (!url.empty())
                            row.emplace_back("imageUrl", NSJNml::escape(url));
                        break;
                    }
                }
            }
            if (isDebug())
                row.emplace_back("debugInfo", "[" + std::to_string(item.targetId) + "]");
            items.push_back(row);
        }
        block.emplace_back("ITEMS", items);
        page.setList("OBJ_MENU", {block});
    } else if (type == NSJ_TYPE_PLAIN_MESSAGE) {
        std::vector<NSJNml::Image> images;
        NSJNml::Options options;
        options.images = &images;
        options.imageCounter = &imageCounter;
        std::string content = NSJNml::toHtml(context, objectId, bodyText, options);
        if (linksSeen() && historyRows.size() >= 1) {
            std::string category;
            {
                Locker lock(&d->updateLock);
                if (!d->trail.empty())
                    category = "<b>" + NSJNml::escape(d->trail.back().title) + "</b>";
            }
            const size_t at = category.empty() ? std::string::npos : content.find(category);
            if (!category.empty() && !extended && at != std::string::npos) {
                content.erase(at, category.size());
            } else if (!category.empty() && extended) {
                const std::string element = "<category>" + category + "</category>";
                if (at != std::string::npos) {
                    content.replace(at, category.size(), element);
                } else {
                    const size_t intro = content.find("</intro>");
                    content.insert(intro == std::string::npos ? 0 : intro + 8, element);
                }
            }
        }
        if (!d->currentImageUrl.empty()) {
            if (!linksSeen() || extended) {
                addCurrentImage(block);
            } else {
                const std::string box = "<njImageBox><njImage src='" + NSJNml::escape(d->currentImageUrl) +
                                        "' caption='" + NSJNml::escape(d->currentImageCaption) +
                                        "'></njImage></njImageBox>";
                const size_t intro = content.find("</intro>");
                content.insert(intro == std::string::npos ? 0 : intro + 8, box);
            }
        }
        block.emplace_back("content", content);
        page.setList("OBJ_TEXT", {block});
    } else if (type == NSJ_TYPE_TITLE_ONLY) {
        page.setList("OBJ_TICKER", {block});
    } else if (type == NSJ_TYPE_LIST) {
        NSJNml::Options inlined;
        inlined.inlineImages = true;
        inlined.imageCounter = &imageCounter;
        block.emplace_back("content", bodyText.empty() ? std::string("Waiting for data ...")
                                                       : NSJNml::toHtml(context, objectId, bodyText, inlined));
        addCurrentImage(block);
        page.setList("OBJ_LIST", {block});
    }

    // Links by kind.
    std::vector<Row> links[5];
    for (const DataSection &section : all) {
        if (section.type != SectionLink || section.bytes.empty())
            continue;
        const uint8_t kind = section.bytes[0];
        if (kind > 4)
            continue;
        const std::string first = bytesOf(section.bytes, 1);
        std::string address = first;
        std::string text;
        if (kind == 0) {
            if (section.bytes.size() < 3)
                continue;
            address = first.substr(0, 2);
            text = section.bytes.size() > 4 ? bytesOf(section.bytes, 4) : std::string();
        } else {
            const size_t zero = first.find('\0');
            address = first.substr(0, zero);
            text = zero == std::string::npos ? std::string() : first.substr(zero + 1);
        }
        NSJNml::Options plain;
        plain.imageCounter = &imageCounter;
        std::string label = NSJNml::toHtml(context, objectId, text.empty() ? address : text, plain);
        Row row;
        if (kind == 0) {
            const uint16_t targetId = static_cast<uint16_t>((section.bytes[1] << 8) | section.bytes[2]);
            if (isDebug())
                label += " [" + std::to_string(targetId) + "]";
            row = {{"linkId", std::to_string(targetId)},
                   {"url", std::to_string(targetId) + ".html" + history + "," + std::to_string(targetId)},
                   {"label", label}};
            if (objectAvailable(targetId) != NSJ_OK) {
                Locker lock(&d->updateLock);
                d->watchedIds.push_back(targetId);
            }
        } else {
            std::string url = kind == 4 ? "sms:" + address + (text.empty() ? std::string() : "?body=" + text)
                                        : resolveLink(address);
            if (url.empty() && kind == 3)
                url = "tel:" + address;
            if (url.empty() && kind == 2)
                url = address;
            if (isDebug())
                label += " (" + NSJNml::escape(address) + ")";
            row = {{"url", NSJNml::escape(NSJHtml::safeUrl(url))}, {"label", label}};
            if (kind == 2) {
                std::string description = "Click here to open the indicated website or URL";
                std::string linkType;
                std::string tooltip;
                if (lower(url.substr(0, 7)) == "mailto:") {
                    linkType = "mail";
                    description = "Click here to send an e-mail";
                    tooltip = "JOURNALINE_LINK_MAIL";
                } else if (url.find(".kml") != std::string::npos || url.find(".kmz") != std::string::npos) {
                    linkType = "google_earth";
                    description = "Will try to open up in Google Earth if available";
                    tooltip = "JOURNALINE_LINK_GOOGLE_EARTH";
                }
                row.emplace_back("description", description);
                row.emplace_back("type", linkType);
                row.emplace_back("tooltip", tooltip);
            }
        }
        links[kind].push_back(row);
    }
    Row linkBlock;
    bool anyLink = false;
    for (int kind = 0; kind < 5; ++kind) {
        linkBlock.emplace_back("LINKS" + std::to_string(kind), links[kind]);
        anyLink = anyLink || !links[kind].empty();
    }
    if (anyLink)
        page.setList("OBJ_LINKS", {linkBlock});

    // Positions and regions.
    std::vector<Row> positions;
    std::vector<Row> regions;
    bool regionsEnded = false;
    for (const DataSection &section : all) {
        if (section.type == SectionPosition && section.bytes.size() % 6 == 0) {
            for (size_t at = 0; at + 6 <= section.bytes.size(); at += 6) {
                double latitude = 0;
                double longitude = 0;
                if (!NSJHtml::coordinatePair(section.bytes.data() + at, latitude, longitude))
                    continue;
                const std::string value = Common::realToText(latitude, 6) + ", " + Common::realToText(longitude, 6);
                Row row{{"label", "Position " + std::to_string(positions.size() + 1)},
                        {"value", value},
                        {"url", "https://www.openstreetmap.org/?mlat=" + Common::realToText(latitude, 6) +
                                    "&amp;mlon=" + Common::realToText(longitude, 6)}};
                if (isDebug())
                    row.emplace_back("debugInfo", " " + signalled(section.bytes, at, 6));
                positions.push_back(row);
            }
        } else if (section.type == SectionRegion && !regionsEnded) {
            if (section.bytes.size() % 6 != 0) {
                regionsEnded = true;
                continue;
            }
            std::vector<Row> points;
            for (size_t at = 0; at + 6 <= section.bytes.size(); at += 6) {
                double latitude = 0;
                double longitude = 0;
                if (!NSJHtml::coordinatePair(section.bytes.data() + at, latitude, longitude))
                    continue;
                Row point{{"position", Common::realToText(latitude, 6) + ", " + Common::realToText(longitude, 6)}};
                if (isDebug())
                    point.emplace_back("debugInfo", "<br />" + signalled(section.bytes, at, 6));
                points.push_back(point);
            }
            regions.push_back({{"label", "Region " + std::to_string(regions.size() + 1)}, {"ITEMS", points}});
        }
    }
    const bool hasPlaces = !positions.empty() || !regions.empty();
    std::vector<Row> management;
    if (isDebug()) {
        Row record = managementRecord(all);
        if (!record.empty())
            management.push_back(record);
    }
    const bool hasInfo = hasPlaces || !management.empty();
    if (hasInfo) {
        page.setList("ADDITIONALINFO", {Row{{"objectId", std::to_string(objectId)},
                                            {"MANAGEMENT", management},
                                            {"POSITIONS", positions},
                                            {"REGIONS", regions},
                                            {"POSITION_OR_REGION", hasPlaces}}});
    }
    page.setBool("INFOBOX_VISIBLE", anyLink || hasInfo);
}
