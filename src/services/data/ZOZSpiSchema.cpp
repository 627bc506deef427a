#include "data/ZOZSpiSchema.h"

#include <algorithm>
#include <initializer_list>

namespace ZOZ {

namespace {

struct ElementName
{
    quint8 tag;
    const char *name;
};

// Element tag -> name.
constexpr ElementName ElementNames[] = {
    {0x02, "spi"},
    {0x03, "serviceInformation"},
    {0x04, "token"},
    {0x05, "contentId"},
    {0x06, "defaultLanguage"},
    {0x10, "shortName"},
    {0x11, "mediumName"},
    {0x12, "longName"},
    {0x13, "mediaDescription"},
    {0x14, "genre"},
    {0x15, "ca"},
    {0x16, "keywords"},
    {0x17, "memberOf"},
    {0x18, "link"},
    {0x19, "location"},
    {0x1A, "shortDescription"},
    {0x1B, "longDescription"},
    {0x1C, "programme"},
    {0x20, "programmeGroups"},
    {0x21, "schedule"},
    {0x22, "alternateSource"},
    {0x23, "programmeGroup"},
    {0x24, "scope"},
    {0x25, "serviceScope"},
    {0x26, "ensemble"},
    {0x27, "frequency"},
    {0x28, "service"},
    {0x29, "serviceId"},
    {0x2A, "spiLanguage"},
    {0x2B, "multimedia"},
    {0x2C, "time"},
    {0x2D, "bearer"},
    {0x2E, "programmeEvent"},
    {0x2F, "relativeTime"},
    {0x30, "simulcast"},
};

constexpr SpiAttributeType P = SpiAttributeType::Plain;
constexpr SpiAttributeType T = SpiAttributeType::Time;
constexpr SpiAttributeType I = SpiAttributeType::ContentId;

// The attributes 0x80.. of a group of elements, in tag order.
struct AttributeRow
{
    std::initializer_list<quint8> elements;
    SpiAttributeInfo attributes[8];
};

const AttributeRow AttributeRows[] = {
    {{0x02}, {{"system", P}}},
    {{0x03}, {{"version", P}, {"creationTime", T}, {"originator", P}, {"serviceProvider", P}, {"system", P}}},
    {{0x10, 0x11, 0x12, 0x16, 0x1A, 0x1B, 0x2A}, {{"xml:lang", P}}},
    {{0x14}, {{"href", P}, {"type", P}}},
    {{0x15}, {{"type", P}}},
    {{0x17}, {{"id", P}, {"shortId", P}, {"index", P}}},
    {{0x18}, {{"url", P}, {"mimeValue", P}, {"xml:lang", P}, {"description", P}, {"expiryTime", P}}},
    {{0x1C},
     {{"id", P}, {"shortId", P}, {"version", P}, {"recommendation", P}, {"broadcast", P}, {}, {"xml:lang", P},
      {"bitrate", P}}},
    {{0x20, 0x21}, {{"version", P}, {"creationTime", T}, {"originator", P}}},
    {{0x22}, {{"protocol", P}, {"type", P}, {"url", P}}},
    {{0x23}, {{"id", P}, {"shortId", P}, {"version", P}, {"type", P}, {"numOfItems", P}}},
    {{0x24}, {{"startTime", T}, {"stopTime", T}}},
    {{0x25}, {{"id", I}}},
    {{0x26}, {{"id", P}, {"version", P}}},
    {{0x27}, {{"type", P}, {"kHz", P}}},
    {{0x28}, {{"version", P}, {"format", P}, {}, {"bitrate", P}, {"extFormat", P}}},
    {{0x29}, {{"id", I}, {"type", P}, {"url", P}}},
    {{0x2B}, {{"mimeValue", P}, {"xml:lang", P}, {"url", P}, {"type", P}, {"width", P}, {"height", P}}},
    {{0x2C, 0x2F}, {{"time", T}, {"duration", P}, {"actualTime", T}, {"actualDuration", P}}},
    {{0x2D}, {{"id", I}, {"trigger", P}}},
    {{0x2E}, {{"id", P}, {"shortId", P}, {"version", P}, {"recommendation", P}, {"broadcast", P}}},
    {{0x30}, {{"system", P}, {"id", I}}},
};

struct PresetRow
{
    std::initializer_list<quint8> elements;
    quint8 attributes[3]; // ended by 0
};

const PresetRow PresetRows[] = {
    {{0x02}, {0x80, 0}},
    {{0x14}, {0x81, 0}},
    {{0x15}, {0x80, 0}},
    {{0x1C, 0x2E}, {0x83, 0x84, 0}},
    {{0x22}, {0x80, 0x81, 0}},
    {{0x27}, {0x80, 0}},
    {{0x28}, {0x81, 0}},
    {{0x29}, {0x81, 0}},
};

struct SchemaRow
{
    quint8 parent;
    std::initializer_list<quint8> children;
};

const SchemaRow SchemaRows[] = {
    {0x02, {0x04, 0x05, 0x06, 0x1C, 0x20, 0x21, 0x22}},
    {0x03, {0x04, 0x26, 0x28}},
    {0x13, {0x1A, 0x1B, 0x2B}},
    {0x19, {0x2C, 0x2D, 0x29, 0x2F}},
    {0x1C, {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x2E}},
    {0x20, {0x23}},
    {0x21, {0x1C, 0x24}},
    {0x23, {0x10, 0x11, 0x12, 0x13, 0x14, 0x16, 0x17, 0x18}},
    {0x24, {0x25}},
    {0x26, {0x10, 0x11, 0x12, 0x13, 0x15, 0x16, 0x18, 0x27, 0x28}},
    {0x28, {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x18, 0x29, 0x2A, 0x30}},
    {0x2E, {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19}},
};

bool contains(std::initializer_list<quint8> tags, quint32 tag)
{
    return std::find(tags.begin(), tags.end(), tag) != tags.end();
}

constexpr quint8 NoPresets[] = {0};

} // namespace

const char *spiElementName(quint32 tag)
{
    for (const ElementName &row : ElementNames) {
        if (row.tag == tag)
            return row.name;
    }
    return nullptr;
}

SpiAttributeInfo spiAttributeInfo(quint32 elementTag, quint32 attributeTag)
{
    if (attributeTag < 0x80 || attributeTag > 0x87)
        return {};
    for (const AttributeRow &row : AttributeRows) {
        if (contains(row.elements, elementTag))
            return row.attributes[attributeTag - 0x80];
    }
    return {};
}

const quint8 *spiPresetAttributes(quint32 elementTag)
{
    for (const PresetRow &row : PresetRows) {
        if (contains(row.elements, elementTag))
            return row.attributes;
    }
    return NoPresets;
}

bool spiSchema(quint32 parentTag, quint32 childTag)
{
    for (const SchemaRow &row : SchemaRows) {
        if (row.parent == parentTag)
            return contains(row.children, childTag);
    }
    return false;
}

} // namespace ZOZ
