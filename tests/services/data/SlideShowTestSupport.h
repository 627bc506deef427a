#pragma once

// SlideShow objects for tests: the header-mode MOT groups of one slide, built
// with the MOT test builder, and DAB times for trigger and expiry.
#include "MotTestSupport.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace ZOZTest::Sls {

using ZOZ::Test::Mot::Bytes;

// A DAB time in the short form (minutes), valid.
inline Bytes dabTime(uint32_t unixSeconds)
{
    const uint32_t mjd = unixSeconds / 86400 + 40587;
    const uint32_t hours = unixSeconds % 86400 / 3600;
    const uint32_t minutes = unixSeconds % 3600 / 60;
    return {uint8_t(0x80 | (mjd >> 10 & 0x7F)), uint8_t(mjd >> 2), uint8_t((mjd & 3) << 6 | hours >> 2),
            uint8_t((hours & 3) << 6 | minutes)};
}

// "Now": a time whose validity bit is clear.
inline Bytes dabNow()
{
    return {0, 0, 0, 0};
}

struct SlideSpec
{
    SlideSpec(std::string name, Bytes triggerTime = {}, Bytes expireTime = {})
        : contentName(std::move(name))
        , trigger(std::move(triggerTime))
        , expire(std::move(expireTime))
    {
    }

    std::string contentName;
    Bytes trigger;           // empty: no TriggerTime
    Bytes expire;            // empty: no ExpireTime
    int categoryId = -1;     // -1: no CategoryID/SlideID
    int slideId = 0;
    std::string link;
    uint16_t contentType = 2;
    uint16_t subType = 1;    // JPEG
};

inline Bytes extension(const SlideSpec &spec)
{
    using namespace ZOZ::Test::Mot;
    Bytes e;
    const auto add = [&e](const Bytes &p) { e.insert(e.end(), p.begin(), p.end()); };
    if (!spec.trigger.empty())
        add(parameter(5, spec.trigger));
    if (!spec.expire.empty())
        add(parameter(4, spec.expire));
    if (!spec.contentName.empty())
        add(contentName(spec.contentName));
    if (spec.categoryId >= 0)
        add(parameter(0x25, Bytes {uint8_t(spec.categoryId), uint8_t(spec.slideId)}));
    if (!spec.link.empty())
        add(parameter(0x27, text(spec.link)));
    return e;
}

// The data groups of one slide: the header, then the body in segments.
inline std::vector<Bytes> slideGroups(uint16_t transportId, const QByteArray &body, const SlideSpec &spec,
                                      size_t segmentSize = 8000)
{
    using namespace ZOZ::Test::Mot;
    const Bytes bytes(body.begin(), body.end());
    std::vector<Bytes> groups =
        segments(Header, transportId, header(uint32_t(bytes.size()), spec.contentType, spec.subType, extension(spec)), 400);
    if (!bytes.empty()) {
        const std::vector<Bytes> bodyGroups = segments(Body, transportId, bytes, segmentSize);
        groups.insert(groups.end(), bodyGroups.begin(), bodyGroups.end());
    }
    return groups;
}

} // namespace ZOZTest::Sls
