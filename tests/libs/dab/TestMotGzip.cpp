// gzip members as the MOT services meet them: sizes announced by the member,
// header fields to skip, damaged members.
#include "DabMotDecoder.h"
#include "DabMotTime.h"
#include "MotTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

namespace ZOZ::Test::Mot {
namespace {

Bytes sample(size_t size)
{
    Bytes b(size);
    for (size_t i = 0; i < size; ++i)
        b[i] = static_cast<uint8_t>("MOT body text "[i % 14]);
    return b;
}

void setAnnouncedSize(Bytes &member, uint32_t size)
{
    for (int i = 0; i < 4; ++i)
        member[member.size() - 4 + size_t(i)] = static_cast<uint8_t>(size >> (8 * i));
}

TEST(MotGzip, UncompressedSize)
{
    // A five-byte object grows when compressed: its size still counts.
    const Bytes small = gzip(sample(5));
    ASSERT_GT(small.size(), 5u);
    uint32_t size = 99;
    EXPECT_EQ(0, DAB_Bb_Ruz_MotDecoderGetUncompressedSize(small.data(), uint32_t(small.size()), &size));
    EXPECT_EQ(5u, size);

    const Bytes large = gzip(sample(100000));
    EXPECT_EQ(0, DAB_Bb_Ruz_MotDecoderGetUncompressedSize(large.data(), uint32_t(large.size()), &size));
    EXPECT_EQ(100000u, size);

    Bytes hostile = small;
    setAnnouncedSize(hostile, MOT_DECODER_MAX_OBJECT_SIZE + 1u);
    EXPECT_EQ(MOT_DECODER_DECOMPRESSION_FAILED,
              DAB_Bb_Ruz_MotDecoderGetUncompressedSize(hostile.data(), uint32_t(hostile.size()), &size));
    EXPECT_EQ(0u, size);
    setAnnouncedSize(hostile, MOT_DECODER_MAX_OBJECT_SIZE);
    EXPECT_EQ(0, DAB_Bb_Ruz_MotDecoderGetUncompressedSize(hostile.data(), uint32_t(hostile.size()), &size));

    Bytes notGzip = small;
    notGzip[2] = 0x07;
    EXPECT_EQ(MOT_DECODER_DECOMPRESSION_FAILED,
              DAB_Bb_Ruz_MotDecoderGetUncompressedSize(notGzip.data(), uint32_t(notGzip.size()), &size));
    EXPECT_EQ(MOT_DECODER_INVALID_PARAMETER, DAB_Bb_Ruz_MotDecoderGetUncompressedSize(small.data(), 17, &size));
    EXPECT_EQ(MOT_DECODER_INVALID_PARAMETER,
              DAB_Bb_Ruz_MotDecoderGetUncompressedSize(small.data(), uint32_t(small.size()), nullptr));
}

// A member with every optional header field: extra, name, comment, header CRC.
Bytes memberWithAllFields(const Bytes &data)
{
    const Bytes plain = gzip(data);
    Bytes m(plain.begin(), plain.begin() + 10);
    m[3] = 0x02 | 0x04 | 0x08 | 0x10;
    const Bytes extra = {3, 0, 'a', 'b', 'c'};
    m.insert(m.end(), extra.begin(), extra.end());
    for (const char *field : {"name.txt", "a comment"}) {
        m.insert(m.end(), field, field + std::strlen(field));
        m.push_back(0);
    }
    m.push_back(0x12); // header CRC: not checked
    m.push_back(0x34);
    m.insert(m.end(), plain.begin() + 10, plain.end());
    return m;
}

struct InflateCase {
    const char *name;
    Bytes member;
    uint32_t capacity;
    int expected;
};

TEST(MotGzip, Uncompress)
{
    const Bytes data = sample(3000);
    Bytes reserved = gzip(data);
    reserved[3] = 0x20;
    // Header, the first bytes of the deflate data, the trailer.
    const Bytes whole = gzip(data);
    Bytes truncated(whole.begin(), whole.begin() + 13);
    truncated.insert(truncated.end(), whole.end() - 8, whole.end());
    // Its last four bytes, read as the announced size, are all name characters.
    const Bytes unterminatedName = {0x1F, 0x8B, 0x08, 0x08, 0, 0, 0, 0, 0, 3, 1, 1, 1, 1};
    Bytes understated = gzip(data);
    setAnnouncedSize(understated, 100); // the output fills before the data end
    const std::vector<InflateCase> cases = {
        {"plain", gzip(data), 3000, 0},
        {"with file name", gzip(data, "picture.jpg"), 3000, 0},
        {"every header field", memberWithAllFields(data), 3000, 0},
        {"reserved flag", reserved, 3000, MOT_DECODER_DECOMPRESSION_FAILED},
        {"deflate data cut", truncated, 3000, MOT_DECODER_DECOMPRESSION_FAILED},
        {"name runs off the end", unterminatedName, 0x01010101, MOT_DECODER_DECOMPRESSION_FAILED},
        {"announced size above the capacity", gzip(data), 2999, MOT_DECODER_INVALID_PARAMETER},
        {"output full", understated, 100, MOT_DECODER_DECOMPRESSION_FAILED},
        {"too short", Bytes{0x1F, 0x8B, 0x08}, 3000, MOT_DECODER_INVALID_PARAMETER},
    };
    for (const InflateCase &c : cases) {
        Bytes out(c.capacity);
        uint32_t size = c.capacity;
        EXPECT_EQ(c.expected,
                  DAB_Bb_Ruz_MotDecoderUncompress(c.member.data(), uint32_t(c.member.size()), out.data(), &size))
            << c.name;
        if (c.expected == 0) {
            EXPECT_EQ(data.size(), size) << c.name;
            EXPECT_EQ(data, out) << c.name;
        }
    }
}

// A DAB time written out field by field: validity, MJD, UTC flag, hours,
// minutes, and in the long form seconds and milliseconds.
Bytes dabTime(uint32_t mjd, uint32_t hours, uint32_t minutes, int seconds = -1)
{
    const bool longForm = seconds >= 0;
    Bytes t{static_cast<uint8_t>(0x80 | mjd >> 10), static_cast<uint8_t>(mjd >> 2),
            static_cast<uint8_t>((mjd & 3) << 6 | (longForm ? 0x08 : 0) | hours >> 2),
            static_cast<uint8_t>((hours & 3) << 6 | minutes)};
    if (longForm) {
        t.push_back(static_cast<uint8_t>(seconds << 2 | 0x01)); // milliseconds 256 + 5: ignored
        t.push_back(5);
    }
    return t;
}

TEST(MotTime, DabTimeToUnix)
{
    struct Case {
        const char *name;
        Bytes bytes;
        bool read;
        uint32_t expected;
    };
    // 2026-12-11 is MJD 61385.
    const Bytes shortForm = dabTime(61385, 13, 45);
    const Bytes longForm = dabTime(61385, 13, 45, 30);
    const std::vector<Case> cases = {
        {"short form", shortForm, true, 1796996700u},
        {"long form", longForm, true, 1796996730u},
        {"epoch", dabTime(40587, 0, 0), true, 0u},
        {"now", Bytes{0x00, 0x12, 0x34, 0x56}, true, 0u},
        {"long form without its seconds", Bytes(longForm.begin(), longForm.begin() + 4), false, 0u},
        {"long form one byte short", Bytes(longForm.begin(), longForm.begin() + 5), false, 0u},
        {"three bytes", Bytes(shortForm.begin(), shortForm.begin() + 3), false, 0u},
    };
    for (const Case &c : cases) {
        uint32_t time = 12345;
        EXPECT_EQ(c.read, ZOZ::motTimeToUnix(c.bytes.data(), uint32_t(c.bytes.size()), time)) << c.name;
        EXPECT_EQ(c.read ? c.expected : 12345u, time) << c.name;
    }
}

} // namespace
} // namespace ZOZ::Test::Mot
