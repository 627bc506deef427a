#pragma once

// A MOT carousel with a directory, as a Broadcast Website or programme guide
// sends it: the directory (transport id 0) and one body per object, each cut
// into data groups by the MOT test builder.
#include "MotTestSupport.h"

#include <QByteArray>

#include <string>
#include <utility>
#include <vector>

namespace ZOZTest::Carousel {

using ZOZ::Test::Mot::Bytes;

struct Object
{
    Object(std::string contentName, QByteArray bytes, std::string mimeType = {})
        : name(std::move(contentName))
        , body(std::move(bytes))
        , mime(std::move(mimeType))
    {
    }

    std::string name;     // ContentName
    QByteArray body;
    std::string mime;     // empty: no MimeType parameter
    uint16_t contentType = 1; // 1 text, 2 image, 7 programme guide
    uint16_t contentSubType = 0;
    bool gzipped = false; // the body is sent as a gzip member with CompressionType set
    Bytes rawBody;        // when not empty: sent as it is, whatever `body` says
};

inline Bytes bodyOf(const Object &object)
{
    if (!object.rawBody.empty())
        return object.rawBody;
    const Bytes plain(object.body.begin(), object.body.end());
    return object.gzipped ? ZOZ::Test::Mot::gzip(plain) : plain;
}

inline Bytes headerOf(const Object &object)
{
    using namespace ZOZ::Test::Mot;
    Bytes extension = contentName(object.name);
    const auto add = [&extension](const Bytes &p) { extension.insert(extension.end(), p.begin(), p.end()); };
    if (!object.mime.empty())
        add(parameter(16, text(object.mime)));
    if (object.gzipped || !object.rawBody.empty())
        add(parameter(17, Bytes {1}));
    return header(uint32_t(bodyOf(object).size()), object.contentType, object.contentSubType, extension);
}

// The directory parameter that names a website's start page: a profile byte, then the name.
inline Bytes startPage(const std::string &name, uint8_t profile = 1)
{
    Bytes data {profile};
    data.insert(data.end(), name.begin(), name.end());
    return ZOZ::Test::Mot::parameter(0x22, data);
}

// The directory's data groups; `directoryExtension` holds directory parameters.
inline std::vector<Bytes> directoryGroups(const std::vector<Object> &objects, const Bytes &directoryExtension = {},
                                          uint16_t directoryId = 0, size_t segmentSize = 4000)
{
    using namespace ZOZ::Test::Mot;
    std::vector<Entry> entries;
    for (size_t i = 0; i < objects.size(); ++i)
        entries.push_back({uint16_t(directoryId + 1 + i), headerOf(objects[i])});
    return segments(Directory, directoryId, directory(entries, directoryExtension), segmentSize);
}

// The body groups of every object.
inline std::vector<Bytes> bodyGroups(const std::vector<Object> &objects, uint16_t directoryId = 0,
                                     size_t segmentSize = 4000)
{
    using namespace ZOZ::Test::Mot;
    std::vector<Bytes> groups;
    for (size_t i = 0; i < objects.size(); ++i) {
        const std::vector<Bytes> body = segments(Body, uint16_t(directoryId + 1 + i), bodyOf(objects[i]), segmentSize);
        groups.insert(groups.end(), body.begin(), body.end());
    }
    return groups;
}

// One pass of the carousel: directory, then bodies.
inline std::vector<Bytes> carousel(const std::vector<Object> &objects, const Bytes &directoryExtension = {},
                                   uint16_t directoryId = 0)
{
    std::vector<Bytes> groups = directoryGroups(objects, directoryExtension, directoryId);
    const std::vector<Bytes> bodies = bodyGroups(objects, directoryId);
    groups.insert(groups.end(), bodies.begin(), bodies.end());
    return groups;
}

} // namespace ZOZTest::Carousel
