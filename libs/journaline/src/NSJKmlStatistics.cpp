// The KML document of an object's positions and regions, and the statistics
// page of the decoder.
#include "NSJRendererHTML.h"

#include "CommonText.h"
#include "HtmlTemplate.h"
#include "NSJNmlToHtml.h"
#include "NSJRendererHTMLPrivate.h"

namespace {

using Locker = Common::Threads::MutexLocker;
using Row = HtmlTemplateRow;

const char *const KmlTemplate = "/templates/services/journaline/default.kml";
const char *const StatisticsTemplate = "/templates/services/journaline/statistics.html";
constexpr uint8_t SectionPosition = 0xB0;
constexpr uint8_t SectionRegion = 0xB1;

// XML allows no control characters but tab, line feed and carriage return;
// broadcast texts may carry others (NML codes without a meaning in HTML).
std::string xmlCharacters(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r')
            out += c;
    return out;
}

// Text for inside a CDATA section: its end marker is split so that a
// broadcast text cannot close it.
std::string cdataSafe(std::string text)
{
    text = xmlCharacters(text);
    for (size_t at = text.find("]]>"); at != std::string::npos; at = text.find("]]>", at + 6))
        text.replace(at, 3, "]]]]><![CDATA[>");
    return text;
}

std::string coordinates(double latitude, double longitude)
{
    // KML writes longitude first.
    return Common::realToText(longitude, 6) + "," + Common::realToText(latitude, 6);
}

// A title as plain text for a KML name: codes gone, line breaks as spaces,
// everything escaped.
std::string plainTitle(const std::string &nml)
{
    std::string text = NSJRenderer::nmlToDisplay(nml);
    for (size_t at = text.find("<br/>\n"); at != std::string::npos; at = text.find("<br/>\n", at + 1))
        text.replace(at, 6, " ");
    return xmlCharacters(NSJNml::escape(text));
}

Row item(const std::string &name, const std::string &value)
{
    return {{"name", name}, {"value", value}};
}

} // namespace

bool NSJRendererHTML::kmlDocument(uint16_t objectId, std::string &out)
{
    auto record = std::make_unique<NSJ_ObjectRecord>();
    if (object(objectId, record.get(), Navigation::Keep) != NSJ_OK)
        return false;
    std::vector<DataSection> all;
    sections(record.get(), all);
    NSJNml::Context context;
    std::map<uint8_t, std::string> nested;
    context.nestedTexts = &nested;
    const std::string titleNml = NSJHtml::bytesText(record->title, record->titleLength);
    const std::string title = NSJNml::toHtml(context, objectId, titleNml);
    const std::string name = plainTitle(titleNml);
    const std::string body = NSJNml::toHtml(context, objectId, NSJHtml::bytesText(record->body, record->bodyLength));
    std::vector<Row> placemarks;
    std::vector<Row> regions;
    bool anySection = false;
    for (const DataSection &section : all) {
        if (section.type != SectionPosition && section.type != SectionRegion)
            continue;
        anySection = true;
        if (section.bytes.size() % 6 != 0)
            continue;
        if (section.type == SectionPosition) {
            for (size_t at = 0; at + 6 <= section.bytes.size(); at += 6) {
                double latitude = 0;
                double longitude = 0;
                if (!NSJHtml::coordinatePair(section.bytes.data() + at, latitude, longitude))
                    continue;
                placemarks.push_back({{"name", name + " - Position " + std::to_string(at / 6 + 1)},
                                      {"coordinates", coordinates(latitude, longitude)},
                                      {"CDATA", cdataSafe(title + "<br/>\n<br/>\n" + body)}});
            }
        } else {
            std::string points;
            for (size_t at = 0; at + 6 <= section.bytes.size(); at += 6) {
                double latitude = 0;
                double longitude = 0;
                if (NSJHtml::coordinatePair(section.bytes.data() + at, latitude, longitude))
                    points += coordinates(latitude, longitude) + "\n\t\t\t\t\t\t\t";
            }
            regions.push_back({{"name", name + " - Region " + std::to_string(regions.size() + 1)},
                               {"coordinates", points},
                               {"CDATA", cdataSafe(title + "<br/><br/>" + body)}});
        }
    }
    if (!anySection)
        return false;
    Locker lock(&d->templateLock);
    if (!d->kmlTemplate)
        d->kmlTemplate = std::make_unique<HtmlTemplate>(KmlTemplate, styleOption(), secondOption());
    d->kmlTemplate->reset(options().loadOption);
    d->kmlTemplate->setList("PLACEMARKS", placemarks);
    d->kmlTemplate->setList("PLACEMARKS2", regions);
    if (options().templateCallback)
        options().templateCallback(d->kmlTemplate.get(), options().templateContext);
    out = d->kmlTemplate->render(options().renderOption);
    return !out.empty();
}

std::string NSJRendererHTML::statisticsPage()
{
    const NSJ_Statistics s = statistics();
    const uint32_t rawSize = exportSize();
    auto n = [](uint64_t value) { return std::to_string(value); };
    const std::vector<Row> fieldsets = {
        {{"label", "Objects"},
         {"ITEMS", std::vector<Row>{item("Announced", n(s.tocField)), item("Stored", n(s.objectsCached)),
                                    item("EverStored", n(s.objectsAdded)), item("Updated", n(s.objectsUpdated)),
                                    item("Deleted", n(s.objectsRemoved)), item("Menu Objects", n(s.menus)),
                                    item("Plain Text Objects", n(s.plainMessages)), item("List Objects", n(s.lists)),
                                    item("Title Only Objects", n(s.titleOnly))}}},
        {{"label", "Data Groups"},
         {"ITEMS", std::vector<Row>{item("Processed", n(s.dataGroupsProcessed)), item("Invalid", n(s.dataGroupsFailed)),
                                    item("Management (TOC)", n(s.tocDataGroups)),
                                    item("Fragments", n(s.fragmentDataGroups))}}},
        {{"label", "Data Segments"},
         {"ITEMS", std::vector<Row>{item("Segment size", n(s.blockSize)), item("Number of segments", n(s.blocks)),
                                    item("Free segments", n(s.freeBlocks)),
                                    item("Used segments", n(s.blocks - std::min(s.freeBlocks, s.blocks))),
                                    item("Unused bytes in used segments", n(s.slackBytes))}}},
        {{"label", "Directory List"},
         {"ITEMS", std::vector<Row>{item("EntriesFree", n(s.freeIndexEntries)), item("EntriesTotal", n(s.indexEntries))}}},
        {{"label", "Memory Manager"},
         {"ITEMS",
          std::vector<Row>{item("Cache size", n(s.cacheSize)), item("Management overhead", n(s.managementBytes)),
                           item("Management overhead (inside segments)", n(s.descriptorBytes)),
                           item("Storage (size of all segments)", n(s.blockBytes)),
                           item("Free storage size", n(s.freeBlockBytes)),
                           item("Used storage size", n(s.blockBytes - std::min(s.freeBlockBytes, s.blockBytes))),
                           item("Raw Object Size", n(rawSize)), item("Wasted cache bytes", n(s.unusedRemainder))}}},
    };
    Locker lock(&d->templateLock);
    if (!d->statisticsTemplate)
        d->statisticsTemplate = std::make_unique<HtmlTemplate>(StatisticsTemplate, styleOption(), secondOption());
    d->statisticsTemplate->reset(options().loadOption);
    d->statisticsTemplate->setVariable("PAGE-ROOT", NSJNml::escape(m_rootPrefix));
    d->statisticsTemplate->setVariable("PAGE-HOME-URL", "0.html?hist=0");
    d->statisticsTemplate->setList("FIELDSETS", fieldsets);
    if (options().templateCallback)
        options().templateCallback(d->statisticsTemplate.get(), options().templateContext);
    return d->statisticsTemplate->render(options().renderOption);
}
