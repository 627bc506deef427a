#include "data/ZOZSpiElement.h"

#include "data/ZOZSpiSchema.h"

namespace ZOZ {

namespace {

// The two long forms of a length byte.
constexpr uchar LongLength16 = 0xFE;
constexpr uchar LongLength24 = 0xFF;
// The MJD of 1970-01-01.
constexpr quint32 UnixEpochMjd = 40587;
constexpr quint16 SharedCountryKey = 0xE01;
constexpr quint16 SharedCountryKeyTarget = 0xE0D;

// A tag, its length field and where its content starts; false when the
// header itself does not fit into `available`.
struct Header
{
    quint32 tag = 0;
    quint32 length = 0;
    quint32 headerBytes = 0;
};

bool readHeader(const uchar *bytes, quint32 available, Header &header)
{
    if (available < 2)
        return false;
    header.tag = bytes[0];
    const uchar first = bytes[1];
    if (first == LongLength16) {
        if (available < 4)
            return false;
        header.length = (quint32(bytes[2]) << 8) | bytes[3];
        header.headerBytes = 4;
    } else if (first == LongLength24) {
        if (available < 5)
            return false;
        header.length = (quint32(bytes[2]) << 16) | (quint32(bytes[3]) << 8) | bytes[4];
        header.headerBytes = 5;
    } else {
        header.length = first;
        header.headerBytes = 2;
    }
    return true;
}

// The part of a declared length that is really there.
quint32 lengthThere(const Header &header, quint32 available)
{
    return qMin(header.length, available - header.headerBytes);
}

QByteArray bytesOf(const uchar *bytes, quint32 length)
{
    return QByteArray(reinterpret_cast<const char *>(bytes), qsizetype(length));
}

void putAttribute(QVector<SpiAttribute> &attributes, const SpiAttribute &attribute)
{
    for (SpiAttribute &existing : attributes) {
        if (existing.tag == attribute.tag) {
            existing = attribute;
            return;
        }
    }
    attributes.append(attribute);
}

bool isTokenByte(quint8 token)
{
    return token >= 1 && token < SpiTokenTable::Size && token != 9 && token != 10 && token != 13;
}

// The token table block: entries of token byte, one length byte and the
// string, up to the first byte that cannot be a new token.
void readTokenTable(const uchar *bytes, quint32 length, SpiTokenTable &tokens)
{
    tokens.clear();
    quint32 position = 0;
    while (position + 2 <= length) {
        const quint8 token = bytes[position];
        if (!isTokenByte(token) || tokens.contains(token))
            return;
        const quint32 stringLength = bytes[position + 1];
        if (position + 2 + stringLength > length)
            return;
        tokens.insert(token, bytesOf(bytes + position + 2, stringLength));
        position += 2 + stringLength;
    }
}

// Tag, length and bytes of a block at the root; false when it is not there
// or does not fit.
bool readRootBlock(const uchar *bytes, quint32 available, quint32 tag, QByteArray &value, quint32 &size)
{
    Header header;
    if (available == 0 || bytes[0] != tag || !readHeader(bytes, available, header))
        return false;
    const quint32 length = lengthThere(header, available);
    value = bytesOf(bytes + header.headerBytes, length);
    size = header.headerBytes + length;
    return true;
}

SpiAttribute rootAttribute(quint32 tag, const char *name, const QByteArray &value, quint32 size)
{
    SpiAttribute attribute;
    attribute.tag = tag;
    attribute.name = QString::fromLatin1(name);
    attribute.length = quint32(value.size());
    attribute.size = size;
    attribute.value = value;
    return attribute;
}

// The root's token table, default content ID and default language, each
// only where it is expected next.
quint32 readRootBlocks(const uchar *bytes, quint32 available, SpiElement &root, SpiDecodeContext &context)
{
    quint32 position = 0;
    QByteArray value;
    quint32 size = 0;
    if (readRootBlock(bytes, available, SpiTag::TokenTable, value, size)) {
        readTokenTable(reinterpret_cast<const uchar *>(value.constData()), quint32(value.size()), context.tokens);
        position += size;
    }
    if (readRootBlock(bytes + position, available - position, SpiTag::DefaultContentId, value, size)) {
        SpiAttribute attribute = rootAttribute(SpiTag::DefaultContentId, "defaultContentId", value, size);
        attribute.contentIds = decodeSpiContentIds(value, context.serviceCountryKey, context.fullContentIdForm);
        if (!attribute.contentIds.isEmpty())
            context.defaultContentId = attribute.contentIds.first();
        putAttribute(root.attributes, attribute);
        position += size;
    }
    if (readRootBlock(bytes + position, available - position, SpiTag::DefaultLanguage, value, size)) {
        putAttribute(root.attributes, rootAttribute(SpiTag::DefaultLanguage, "defaultLanguage", value, size));
        position += size;
    }
    return position;
}

// A location without a bearer or service id of its own stands for the
// document's default service.
void addDefaultLocation(SpiElement &element, const SpiDecodeContext &context)
{
    if (element.tag != SpiTag::Location || context.defaultContentId.empty)
        return;
    for (const SpiElement &child : std::as_const(element.children)) {
        if (child.tag == SpiTag::Bearer || child.tag == SpiTag::ServiceId)
            return;
    }
    SpiElement serviceId;
    serviceId.tag = SpiTag::ServiceId;
    serviceId.name = QString::fromLatin1(spiElementName(SpiTag::ServiceId));
    SpiAttribute id;
    id.tag = 0x80;
    id.name = QStringLiteral("id");
    id.contentIds.append(context.defaultContentId);
    serviceId.attributes.append(id);
    element.children.append(serviceId);
}

} // namespace

bool SpiContentId::sameAs(const SpiContentId &other) const
{
    return ensembleFlag == other.ensembleFlag && sid16 == other.sid16 && scids == other.scids && ecc == other.ecc
           && countryId == other.countryId && countryKey == other.countryKey && eid == other.eid && sid == other.sid
           && xpadFlag == other.xpadFlag && xpadType == other.xpadType;
}

const SpiAttribute *SpiElement::attribute(quint32 attributeTag) const
{
    for (const SpiAttribute &candidate : attributes) {
        if (candidate.tag == attributeTag)
            return &candidate;
    }
    return nullptr;
}

const SpiElement *SpiElement::firstChild(quint32 childTag) const
{
    for (const SpiElement &child : children) {
        if (child.tag == childTag)
            return &child;
    }
    return nullptr;
}

void SpiTokenTable::clear()
{
    m_strings = {};
    m_present = {};
}

void SpiTokenTable::insert(quint8 token, const QByteArray &string)
{
    if (token >= Size)
        return;
    m_strings[token] = string;
    m_present[token] = true;
}

SpiElement decodeSpiElement(const uchar *bytes, quint32 available, SpiDecodeContext &context)
{
    SpiElement element;
    Header header;
    if (!bytes || !readHeader(bytes, available, header))
        return element;
    element.tag = header.tag;
    const char *name = spiElementName(header.tag);
    if (!name)
        return element;
    element.name = QString::fromLatin1(name);
    for (const quint8 *preset = spiPresetAttributes(header.tag); *preset; ++preset) {
        SpiAttribute attribute;
        attribute.tag = *preset;
        attribute.name = QString::fromLatin1(spiAttributeInfo(header.tag, *preset).name);
        attribute.length = 1;
        attribute.value = QByteArray(1, '\x01');
        element.attributes.append(attribute);
    }
    element.length = lengthThere(header, available);
    element.size = header.headerBytes + element.length;
    if (element.length < 2)
        return element;

    const uchar *content = bytes + header.headerBytes;
    const quint32 end = element.length;
    quint32 position = 0;
    while (position < end) {
        const SpiAttribute attribute = decodeSpiAttribute(header.tag, content + position, end - position, context);
        if (attribute.length == 0) {
            if (!attribute.name.isEmpty())
                position += attribute.size;
            break;
        }
        putAttribute(element.attributes, attribute);
        position += attribute.size;
    }

    if (context.topLevel)
        position += readRootBlocks(content + position, end - position, element, context);

    const bool topLevel = context.topLevel;
    context.topLevel = false;
    while (position < end && spiSchema(header.tag, content[position])) {
        SpiElement child = decodeSpiElement(content + position, end - position, context);
        if (child.size == 0)
            break;
        position += child.size;
        element.children.append(std::move(child));
    }
    context.topLevel = topLevel;

    addDefaultLocation(element, context);

    Header text;
    if (position < end && content[position] == SpiTag::CharacterData
        && readHeader(content + position, end - position, text)) {
        element.text = bytesOf(content + position + text.headerBytes, lengthThere(text, end - position));
    }
    return element;
}

SpiAttribute decodeSpiAttribute(quint32 parentTag, const uchar *bytes, quint32 available,
                                const SpiDecodeContext &context)
{
    SpiAttribute attribute;
    Header header;
    if (!bytes || !readHeader(bytes, available, header))
        return attribute;
    attribute.tag = header.tag;
    const SpiAttributeInfo info = spiAttributeInfo(parentTag, header.tag);
    if (!info.name)
        return attribute;
    attribute.name = QString::fromLatin1(info.name);
    attribute.length = lengthThere(header, available);
    attribute.size = header.headerBytes + attribute.length;
    attribute.value = bytesOf(bytes + header.headerBytes, attribute.length);
    if (info.type == SpiAttributeType::Time)
        attribute.time = decodeSpiTime(attribute.value);
    else if (info.type == SpiAttributeType::ContentId)
        attribute.contentIds = decodeSpiContentIds(attribute.value, context.serviceCountryKey,
                                                   context.fullContentIdForm);
    return attribute;
}

quint32 decodeSpiTime(const QByteArray &value)
{
    if (value.size() < 4)
        return 0;
    const auto *b = reinterpret_cast<const uchar *>(value.constData());
    const quint32 mjd = ((quint32(b[0]) & 0x7F) << 10) | (quint32(b[1]) << 2) | (b[2] >> 6);
    const bool utcFlag = (b[2] & 0x08) != 0;
    const quint32 hours = ((quint32(b[2]) & 0x07) << 2) | (b[3] >> 6);
    const quint32 minutes = b[3] & 0x3F;
    const quint32 seconds = utcFlag && value.size() >= 5 ? quint32(b[4]) >> 2 : 0;
    return (((mjd - UnixEpochMjd) * 24 + hours) * 60 + minutes) * 60 + seconds;
}

quint16 spiCountryKey(quint8 ecc, quint8 countryId)
{
    const quint16 key = quint16(ecc) * 16 + (countryId & 0x0F);
    return key == SharedCountryKey ? SharedCountryKeyTarget : key;
}

QVector<SpiContentId> decodeSpiContentIds(const QByteArray &value, quint16 serviceCountryKey, bool fullForm)
{
    QVector<SpiContentId> ids;
    const auto *b = reinterpret_cast<const uchar *>(value.constData());
    const qsizetype size = value.size();
    qsizetype position = 0;
    while (position < size) {
        SpiContentId id;
        id.empty = false;
        if (fullForm) {
            const uchar flags = b[position];
            id.ensembleFlag = (flags & 0x40) != 0;
            id.xpadFlag = (flags & 0x20) != 0;
            id.sid16 = (flags & 0x10) == 0;
            id.scids = flags & 0x0F;
            const qsizetype needed = 1 + (id.ensembleFlag ? 3 : 0) + (id.sid16 ? 2 : 4) + (id.xpadFlag ? 1 : 0);
            if (position + needed > size)
                break;
            qsizetype at = position + 1;
            if (id.ensembleFlag) {
                id.ecc = b[at];
                id.eid = quint16((b[at + 1] << 8) | b[at + 2]);
                id.countryId = b[at + 1] >> 4;
                at += 3;
            } else {
                id.ecc = quint8(serviceCountryKey >> 4);
                id.countryId = serviceCountryKey & 0x0F;
            }
            if (id.sid16) {
                id.sid = (quint32(b[at]) << 8) | b[at + 1];
                at += 2;
            } else {
                id.sid = (quint32(b[at]) << 24) | (quint32(b[at + 1]) << 16) | (quint32(b[at + 2]) << 8) | b[at + 3];
                at += 4;
            }
            if (id.xpadFlag)
                id.xpadType = b[at++] & 0x1F;
            position = at;
        } else {
            if (position + 3 > size)
                break;
            id.ecc = b[position];
            id.countryId = b[position + 1] >> 4;
            id.sid = (quint32(b[position]) << 16) | (quint32(b[position + 1]) << 8) | b[position + 2];
            id.sid16 = true;
            position += 3;
        }
        id.countryKey = spiCountryKey(id.ecc, id.countryId);
        if (id.countryKey == SharedCountryKeyTarget)
            id.countryId = 0x0D;
        ids.append(id);
    }
    return ids;
}

QString expandSpiTokens(const QByteArray &text, const SpiTokenTable &tokens)
{
    QByteArray expanded;
    expanded.reserve(qMin(text.size(), MaxSpiTextBytes));
    for (const char c : text) {
        if (expanded.size() >= MaxSpiTextBytes)
            break;
        const quint8 byte = quint8(c);
        if (tokens.contains(byte))
            expanded += tokens.string(byte);
        else
            expanded += c;
    }
    expanded.truncate(MaxSpiTextBytes);
    return QString::fromUtf8(expanded);
}

} // namespace ZOZ
