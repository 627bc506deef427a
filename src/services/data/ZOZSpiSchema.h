#pragma once

#include <QtGlobal>

namespace ZOZ {

// The element and attribute tags of binary-encoded programme guide
// documents: names, typed attributes, preset attributes and which element
// may hold which.
namespace SpiTag {
constexpr quint8 CharacterData = 0x01;
constexpr quint8 Spi = 0x02;
constexpr quint8 ServiceInformation = 0x03;
constexpr quint8 TokenTable = 0x04;
constexpr quint8 DefaultContentId = 0x05;
constexpr quint8 DefaultLanguage = 0x06;
constexpr quint8 ShortName = 0x10;
constexpr quint8 MediumName = 0x11;
constexpr quint8 LongName = 0x12;
constexpr quint8 MediaDescription = 0x13;
constexpr quint8 Genre = 0x14;
constexpr quint8 Location = 0x19;
constexpr quint8 ShortDescription = 0x1A;
constexpr quint8 LongDescription = 0x1B;
constexpr quint8 Programme = 0x1C;
constexpr quint8 Schedule = 0x21;
constexpr quint8 Scope = 0x24;
constexpr quint8 ServiceScope = 0x25;
constexpr quint8 Ensemble = 0x26;
constexpr quint8 Service = 0x28;
constexpr quint8 ServiceId = 0x29;
constexpr quint8 Multimedia = 0x2B;
constexpr quint8 Time = 0x2C;
constexpr quint8 Bearer = 0x2D;
} // namespace SpiTag

enum class SpiAttributeType { Plain, Time, ContentId };

struct SpiAttributeInfo
{
    const char *name = nullptr; // null: not an attribute of the element
    SpiAttributeType type = SpiAttributeType::Plain;
};

// Null for a tag that is no element.
const char *spiElementName(quint32 tag);
SpiAttributeInfo spiAttributeInfo(quint32 elementTag, quint32 attributeTag);
// The attribute tags an element starts with (each holding the byte 0x01),
// ended by 0.
const quint8 *spiPresetAttributes(quint32 elementTag);
// Whether `childTag` may appear inside `parentTag`.
bool spiSchema(quint32 parentTag, quint32 childTag);

} // namespace ZOZ
