// The MOT decoder over data groups built field by field: header mode (the
// SlideShow's), directory mode (the object services'), segment bookkeeping,
// damaged groups and sizes from the broadcast that do not hold.
#include "DabMotDecoder.h"
#include "MotTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace ZOZ::Test::Mot {
namespace {

// What the callback got.
struct Delivery {
    bool isDirectory = false;
    Bytes bytes;
    MotHeader header{};
    std::string name;
    std::string mimeType;
};

class Decoder {
public:
    explicit Decoder(bool directoryMode, uint32_t entitySize = 64 * 1024, uint32_t cacheSize = 0)
        : m_instance(DAB_Bb_Ruz_MotDecoderGetSize()), m_entity(entitySize), m_cache(cacheSize)
    {
        EXPECT_EQ(MOT_DECODER_OK,
                  DAB_Bb_Ruz_MotDecoderInit(decoder(), directoryMode ? 1 : 0, m_entity.data(), entitySize, &Decoder::received,
                                            this, cacheSize ? m_cache.data() : nullptr, cacheSize));
    }

    DabMotDecoder *decoder() { return reinterpret_cast<DabMotDecoder *>(m_instance.data()); }
    int feed(const Bytes &group) { return DAB_Bb_Ruz_MotDecoderProcessDataGroup(decoder(), group.data(), uint32_t(group.size())); }
    // Feeds every group; returns the first non-zero result (0 when none).
    int feed(const std::vector<Bytes> &groups)
    {
        int first = 0;
        for (const Bytes &g : groups) {
            const int result = feed(g);
            if (result && !first)
                first = result;
        }
        return first;
    }
    std::vector<Delivery> deliveries;
    std::vector<Delivery> objects() const
    {
        std::vector<Delivery> out;
        std::copy_if(deliveries.begin(), deliveries.end(), std::back_inserter(out),
                     [](const Delivery &d) { return !d.isDirectory; });
        return out;
    }

private:
    static int received(const uint8_t *object, uint32_t size, const MotHeader *header, void *context)
    {
        Delivery d;
        d.isDirectory = header == nullptr;
        d.bytes.assign(object, object + size);
        if (header) {
            d.header = *header;
            if (header->contentName)
                d.name.assign(reinterpret_cast<const char *>(header->contentName), header->contentNameLength);
            if (header->mimeType)
                d.mimeType.assign(header->mimeType, header->mimeTypeLength);
        }
        static_cast<Decoder *>(context)->deliveries.push_back(d);
        return 0;
    }

    std::vector<uint8_t> m_instance;
    Bytes m_entity;
    Bytes m_cache;
};

Bytes pattern(size_t size, uint8_t seed = 1)
{
    Bytes b(size);
    for (size_t i = 0; i < size; ++i)
        b[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
    return b;
}

// The groups of one header-mode object: header in one segment, body in `segmentSize` pieces.
std::vector<Bytes> object(uint16_t transportId, const Bytes &body, const Bytes &extension, size_t segmentSize,
                          uint16_t type = 2, uint16_t subType = 1)
{
    std::vector<Bytes> groups = segments(Header, transportId, header(uint32_t(body.size()), type, subType, extension), 400);
    const std::vector<Bytes> bodyGroups = segments(Body, transportId, body, segmentSize);
    groups.insert(groups.end(), bodyGroups.begin(), bodyGroups.end());
    return groups;
}

TEST(MotDecoder, HeaderModeDeliversOnceWhateverTheOrderAndRepetition)
{
    const Bytes body = pattern(5000);
    std::vector<Bytes> groups = object(0x1234, body, contentName("slides/one.jpg"), 333);
    // Every group twice, shuffled: the object completes with the last missing segment.
    std::vector<Bytes> carousel = groups;
    carousel.insert(carousel.end(), groups.begin(), groups.end());
    std::mt19937 random(7);
    std::shuffle(carousel.begin(), carousel.end(), random);
    Decoder d(false);
    EXPECT_EQ(0, d.feed(carousel));
    ASSERT_EQ(1u, d.deliveries.size());
    const Delivery &got = d.deliveries[0];
    EXPECT_EQ(body, got.bytes);
    EXPECT_EQ(0x1234, got.header.transportId);
    EXPECT_EQ(5000u, got.header.bodySize);
    EXPECT_EQ(2, got.header.contentType);
    EXPECT_EQ(1, got.header.contentSubType);
    EXPECT_EQ("slides/one.jpg", got.name);
    EXPECT_EQ(15, got.header.contentNameCharset);
    EXPECT_EQ("image/jpeg", got.mimeType);
}

TEST(MotDecoder, HeaderParametersTakenIntoTheRecord)
{
    Bytes extension = parameter(MOT_PARAMETER_MIME_TYPE, text("image/webp"));
    for (const Bytes &p : {parameter(MOT_PARAMETER_COMPRESSION_TYPE, {1}), parameter(MOT_PARAMETER_CA_INFO, {}),
                           parameter(MOT_PARAMETER_UNIQUE_BODY_VERSION, {0x01, 0x02, 0x03, 0x04}),
                           parameter(MOT_PARAMETER_PERMIT_OUTDATED_VERSIONS, {1}),
                           parameter(0x25, {0x07, 0x09}), parameter(0x27, text(std::string(200, 'u')))})
        extension.insert(extension.end(), p.begin(), p.end());
    Decoder d(false);
    EXPECT_EQ(0, d.feed(object(9, pattern(10), extension, 100, 2, 3)));
    ASSERT_EQ(1u, d.deliveries.size());
    const MotHeader &h = d.deliveries[0].header;
    EXPECT_EQ("image/webp", d.deliveries[0].mimeType); // the parameter wins over the subtype
    EXPECT_EQ(1, h.compressionType);
    EXPECT_EQ(1, h.caInfoPresent);
    EXPECT_EQ(0x01020304u, h.uniqueBodyVersion);
    EXPECT_EQ(1, h.permitOutdatedVersions);
}

TEST(MotDecoder, HeaderParameterLookUp)
{
    const Bytes extension = [] {
        Bytes e = parameter(0x25, {0x07, 0x09});
        const Bytes url = parameter(0x27, text(std::string(200, 'u')));
        e.insert(e.end(), url.begin(), url.end());
        return e;
    }();
    const Bytes h = header(0, 2, 1, extension);
    MotHeader record{};
    record.headerSize = uint16_t(h.size());
    record.extension = h.data() + 7;
    const uint8_t *data = nullptr;
    uint32_t length = 0;
    EXPECT_EQ(0, DAB_Bb_Ruz_MotDecoderGetHeaderParameter(&record, 0x27, &data, &length));
    EXPECT_EQ(200u, length); // two-byte data field length
    EXPECT_EQ('u', data[199]);
    EXPECT_EQ(MOT_DECODER_NOT_FOUND, DAB_Bb_Ruz_MotDecoderGetHeaderParameter(&record, 0x05, &data, &length));
    EXPECT_EQ(nullptr, data);
    EXPECT_EQ(0u, length);
    EXPECT_EQ(MOT_DECODER_INVALID_PARAMETER, DAB_Bb_Ruz_MotDecoderGetHeaderParameter(nullptr, 1, &data, &length));
}

struct GroupCase {
    const char *name;
    Bytes group;
    int expected;
};

TEST(MotDecoder, DataGroupResults)
{
    const Bytes segment = pattern(20);
    GroupOptions noUserAccess;
    noUserAccess.userAccess = false;
    GroupOptions noTransportId;
    noTransportId.transportIdFlag = false;
    GroupOptions withExtension;
    withExtension.extensionField = true;
    Bytes damagedCrc = dataGroup(Body, 1, 0, false, segment);
    damagedCrc.back() ^= 0x01;
    Bytes segmentBeyondGroup = dataGroup(Body, 1, 0, false, segment, GroupOptions{false});
    segmentBeyondGroup.pop_back();
    const std::vector<GroupCase> cases = {
        {"too short", {0x30, 0, 0}, MOT_DECODER_INVALID_PARAMETER},
        {"damaged CRC", damagedCrc, MOT_DECODER_CRC_ERROR},
        {"no user access field", dataGroup(Body, 1, 0, false, segment, noUserAccess), MOT_DECODER_INVALID_DATA_GROUP},
        {"no transport id", dataGroup(Body, 1, 0, false, segment, noTransportId), MOT_DECODER_INVALID_DATA_GROUP},
        {"segment number 32767", dataGroup(Body, 1, 32767, false, segment), MOT_DECODER_INVALID_DATA_GROUP},
        {"segment number 32766", dataGroup(Body, 1, 32766, false, {}), MOT_DECODER_OK},
        {"segment longer than the group", segmentBeyondGroup, MOT_DECODER_INVALID_DATA_GROUP},
        {"extension field", dataGroup(Body, 1, 0, false, segment, withExtension), MOT_DECODER_OK},
        {"directory in header mode", dataGroup(Directory, 1, 0, true, segment), MOT_DECODER_UNEXPECTED_TYPE},
        {"segment beyond the body area", dataGroup(Body, 1, 2000, false, segment), MOT_DECODER_BUFFER_TOO_SMALL},
    };
    for (const GroupCase &c : cases) {
        Decoder d(false, 20000);
        EXPECT_EQ(c.expected, d.feed(c.group)) << c.name;
    }
    Decoder directory(true);
    EXPECT_EQ(MOT_DECODER_UNEXPECTED_TYPE, directory.feed(dataGroup(Header, 1, 0, true, segment)));
}

TEST(MotDecoder, DamagedGroupChangesNothing)
{
    const Bytes body = pattern(300);
    std::vector<Bytes> groups = object(5, body, {}, 100);
    Bytes damaged = groups[2];
    damaged[damaged.size() - 2] ^= 0x80;
    Decoder d(false);
    EXPECT_EQ(MOT_DECODER_CRC_ERROR, d.feed(damaged));
    EXPECT_EQ(0, d.feed(groups));
    ASSERT_EQ(1u, d.deliveries.size());
    EXPECT_EQ(body, d.deliveries[0].bytes);
}

TEST(MotDecoder, SingleSegmentObjectAndEarlyLastSegment)
{
    Decoder single(false);
    EXPECT_EQ(0, single.feed(object(1, pattern(77), {}, 1000)));
    ASSERT_EQ(1u, single.deliveries.size());
    EXPECT_EQ(77u, single.deliveries[0].bytes.size());

    // The last segment before any other has no place yet: it must come again.
    const Bytes body = pattern(250);
    const std::vector<Bytes> groups = object(2, body, {}, 100); // header, body 0, 1, 2 (last)
    Decoder d(false);
    EXPECT_EQ(0, d.feed(groups[3]));
    EXPECT_EQ(0, d.feed({groups[0], groups[1], groups[2]}));
    EXPECT_TRUE(d.deliveries.empty());
    EXPECT_EQ(0, d.feed(groups[3]));
    ASSERT_EQ(1u, d.deliveries.size());
    EXPECT_EQ(body, d.deliveries[0].bytes);
}

TEST(MotDecoder, TransportHeaderWithoutBody)
{
    for (uint16_t subType : {0, 1}) {
        Decoder d(false);
        EXPECT_EQ(0, d.feed(segments(Header, 3, header(0, 5, subType, contentName("x")), 100)));
        ASSERT_EQ(1u, d.deliveries.size()) << subType;
        EXPECT_TRUE(d.deliveries[0].bytes.empty());
        EXPECT_EQ(5, d.deliveries[0].header.contentType);
    }
}

TEST(MotDecoder, NewTransportIdAbandonsTheObjectBeingCollected)
{
    const std::vector<Bytes> first = object(10, pattern(150, 3), {}, 100);
    const std::vector<Bytes> second = object(11, pattern(150, 4), {}, 100);
    Decoder d(false);
    EXPECT_EQ(0, d.feed({first[0], first[1]}));
    EXPECT_EQ(0, d.feed(second[1])); // a body group of another object
    EXPECT_EQ(0, d.feed(first[2]));  // the old object's header is gone: no delivery
    EXPECT_TRUE(d.deliveries.empty());
    EXPECT_EQ(0, d.feed(second));
    ASSERT_EQ(1u, d.deliveries.size());
    EXPECT_EQ(11, d.deliveries[0].header.transportId);
}

TEST(MotDecoder, BodySizeBeyondTheCollectedBodyIsRefused)
{
    // The header claims 1 MB; 100 bytes were sent.
    std::vector<Bytes> groups = segments(Header, 4, header(1000000, 2, 1), 100);
    const std::vector<Bytes> body = segments(Body, 4, pattern(100), 100);
    groups.insert(groups.end(), body.begin(), body.end());
    Decoder d(false);
    EXPECT_EQ(MOT_DECODER_INVALID_DATA_GROUP, d.feed(groups));
    EXPECT_TRUE(d.deliveries.empty());
    // The next object is delivered.
    EXPECT_EQ(0, d.feed(object(5, pattern(10), {}, 100)));
    EXPECT_EQ(1u, d.deliveries.size());
}

TEST(MotDecoder, HeaderLongerThanItsBytesIsRefused)
{
    Bytes h = header(10, 2, 1, contentName("abc"));
    h.resize(h.size() - 2); // HeaderSize says two bytes more
    Decoder d(false);
    EXPECT_EQ(MOT_DECODER_INVALID_DATA_GROUP, d.feed(segments(Header, 6, h, 100)));
    EXPECT_EQ(0, d.feed(segments(Body, 6, pattern(10), 100)));
    EXPECT_TRUE(d.deliveries.empty());
}

// Directory mode.

const std::vector<Entry> twoEntries = {
    {0x0101, header(3000, 2, 1, contentName("index.html"))},
    {0x0102, header(400, 1, 0, contentName("style.css"))},
};

TEST(MotDecoder, DirectoryModeDeliversRequestedBodiesWithTheirEntries)
{
    const Bytes dir = directory(twoEntries, parameter(1, {1}));
    const Bytes body = pattern(3000, 9);
    Decoder d(true);
    MotDirectory *record = nullptr;
    EXPECT_EQ(MOT_DECODER_DIRECTORY_INCOMPLETE, DAB_Bb_Ruz_MotDecoderGetDirectory(d.decoder(), &record));
    Bytes buffer(3000);
    EXPECT_EQ(MOT_DECODER_DIRECTORY_INCOMPLETE,
              DAB_Bb_Ruz_MotDecoderRequestObject(d.decoder(), 0x0101, buffer.data(), uint32_t(buffer.size())));
    // A body before anything asked for it is dropped.
    EXPECT_EQ(0, d.feed(segments(Body, 0x0101, body, 1000)));
    EXPECT_EQ(0, d.feed(segments(Directory, 0x0F00, dir, 40)));
    ASSERT_EQ(1u, d.deliveries.size());
    EXPECT_TRUE(d.deliveries[0].isDirectory);
    EXPECT_EQ(dir, d.deliveries[0].bytes);

    ASSERT_EQ(0, DAB_Bb_Ruz_MotDecoderGetDirectory(d.decoder(), &record));
    EXPECT_EQ(2, record->numberOfObjects);
    EXPECT_EQ(100u, record->dataCarouselPeriod);
    EXPECT_EQ(1024, record->segmentSize);
    EXPECT_EQ(1, record->defaultPermitOutdatedVersions);
    const uint8_t *data = nullptr;
    uint32_t length = 0;
    EXPECT_EQ(0, DAB_Bb_Ruz_MotDecoderGetDirectoryParameter(record, 1, &data, &length));
    EXPECT_EQ(1u, length);
    EXPECT_EQ(MOT_DECODER_NOT_FOUND, DAB_Bb_Ruz_MotDecoderGetDirectoryParameter(record, 0, &data, &length));

    MotHeader entry{};
    ASSERT_EQ(0, DAB_Bb_Ruz_MotDecoderGetDirectoryEntry(d.decoder(), 1, &entry));
    EXPECT_EQ(0x0102, entry.transportId);
    EXPECT_EQ(400u, entry.bodySize);
    EXPECT_EQ(0, entry.permitOutdatedVersions); // the lookup by index takes no default
    EXPECT_EQ(MOT_DECODER_INVALID_PARAMETER, DAB_Bb_Ruz_MotDecoderGetDirectoryEntry(d.decoder(), 2, &entry));

    EXPECT_EQ(0, DAB_Bb_Ruz_MotDecoderRequestObject(d.decoder(), 0x0101, buffer.data(), uint32_t(buffer.size())));
    EXPECT_EQ(MOT_DECODER_ALREADY_REQUESTED,
              DAB_Bb_Ruz_MotDecoderRequestObject(d.decoder(), 0x0101, buffer.data(), uint32_t(buffer.size())));
    std::vector<Bytes> bodyGroups = segments(Body, 0x0101, body, 1000);
    std::rotate(bodyGroups.begin(), bodyGroups.begin() + 1, bodyGroups.end()); // 1, 2 (last), 0
    EXPECT_EQ(0, d.feed(bodyGroups));
    const std::vector<Delivery> objects = d.objects();
    ASSERT_EQ(1u, objects.size());
    EXPECT_EQ(body, objects[0].bytes);
    EXPECT_EQ("index.html", objects[0].name);
    EXPECT_EQ(1, objects[0].header.permitOutdatedVersions); // the directory's default
    // Delivered: the slot is free for another request of the same id.
    EXPECT_EQ(0, DAB_Bb_Ruz_MotDecoderRequestObject(d.decoder(), 0x0101, buffer.data(), uint32_t(buffer.size())));
}

TEST(MotDecoder, DirectoryModeCalls)
{
    Decoder header(false);
    MotDirectory *record = nullptr;
    MotHeader entry{};
    uint8_t buffer[4];
    EXPECT_EQ(MOT_DECODER_WRONG_MODE, DAB_Bb_Ruz_MotDecoderGetDirectory(header.decoder(), &record));
    EXPECT_EQ(MOT_DECODER_WRONG_MODE, DAB_Bb_Ruz_MotDecoderGetDirectoryEntry(header.decoder(), 0, &entry));
    EXPECT_EQ(MOT_DECODER_WRONG_MODE, DAB_Bb_Ruz_MotDecoderRequestObject(header.decoder(), 1, buffer, 4));
    EXPECT_EQ(MOT_DECODER_INVALID_PARAMETER, DAB_Bb_Ruz_MotDecoderRequestObject(header.decoder(), 1, buffer, 0));
    EXPECT_EQ(MOT_DECODER_INVALID_PARAMETER, DAB_Bb_Ruz_MotDecoderGetDirectory(nullptr, &record));

    // 200 reassembly slots, one of them the directory's.
    Decoder d(true);
    d.feed(segments(Directory, 1, directory(twoEntries), 1000));
    int result = 0;
    uint16_t id = 100;
    for (; result == 0; ++id)
        result = DAB_Bb_Ruz_MotDecoderRequestObject(d.decoder(), id, buffer, 4);
    EXPECT_EQ(MOT_DECODER_BUFFER_TOO_SMALL, result);
    EXPECT_EQ(100 + 199 + 1, id);
}

TEST(MotDecoder, CompressedDirectoryWinsOverThePlainOne)
{
    const Bytes plain = directory(twoEntries);
    const Bytes compressed = compressedDirectory(directory({twoEntries[1]}));
    Decoder d(true);
    const std::vector<Bytes> plainGroups = segments(Directory, 7, plain, 30);
    EXPECT_EQ(0, d.feed(plainGroups[0]));
    EXPECT_EQ(0, d.feed(segments(CompressedDirectory, 7, compressed, 20)));
    EXPECT_EQ(0, d.feed(plainGroups)); // same id, directory complete: ignored
    ASSERT_EQ(1u, d.deliveries.size());
    EXPECT_EQ(directory({twoEntries[1]}), d.deliveries[0].bytes);
    MotDirectory *record = nullptr;
    ASSERT_EQ(0, DAB_Bb_Ruz_MotDecoderGetDirectory(d.decoder(), &record));
    EXPECT_EQ(1, record->numberOfObjects);
}

TEST(MotDecoder, CompressedDirectoryThatDoesNotInflate)
{
    Bytes compressed = compressedDirectory(directory(twoEntries));
    compressed[12] ^= 0xFF; // inside the deflate data
    Decoder d(true);
    EXPECT_EQ(MOT_DECODER_DECOMPRESSION_FAILED, d.feed(segments(CompressedDirectory, 7, compressed, 1000)));
    MotDirectory *record = nullptr;
    EXPECT_EQ(MOT_DECODER_DIRECTORY_INCOMPLETE, DAB_Bb_Ruz_MotDecoderGetDirectory(d.decoder(), &record));
    // Sent again whole, it is collected anew.
    EXPECT_EQ(0, d.feed(segments(CompressedDirectory, 7, compressedDirectory(directory(twoEntries)), 1000)));
    EXPECT_EQ(1u, d.deliveries.size());
}

TEST(MotDecoder, DirectoryLookUpStaysWithinTheDirectory)
{
    // The second directory is the first cut short but still counts two
    // objects: the old second entry is still in the buffer behind it.
    const Bytes first = directory(twoEntries);
    const Bytes second = directory({twoEntries[0]}, {}, 2);
    ASSERT_TRUE(std::equal(second.begin() + 13, second.end(), first.begin() + 13));
    Decoder d(true);
    EXPECT_EQ(0, d.feed(segments(Directory, 1, first, 1000)));
    EXPECT_EQ(0, d.feed(segments(Directory, 2, second, 1000)));
    MotHeader entry{};
    EXPECT_EQ(MOT_DECODER_NOT_FOUND, DAB_Bb_Ruz_MotDecoderGetDirectoryEntry(d.decoder(), 1, &entry));
    Bytes buffer(400);
    ASSERT_EQ(0, DAB_Bb_Ruz_MotDecoderRequestObject(d.decoder(), 0x0102, buffer.data(), uint32_t(buffer.size())));
    d.deliveries.clear();
    EXPECT_EQ(0, d.feed(segments(Body, 0x0102, pattern(400), 1000)));
    // Not in the directory: no object, the directory again.
    ASSERT_EQ(1u, d.deliveries.size());
    EXPECT_TRUE(d.deliveries[0].isDirectory);
}

TEST(MotDecoder, DirectoryFieldsThatDoNotHold)
{
    Bytes tooLarge = directory(twoEntries);
    tooLarge[3] = static_cast<uint8_t>(tooLarge[3] + 1); // DirectorySize one past the bytes sent
    Bytes badSegmentSize = directory(twoEntries);
    badSegmentSize[9] = 0x20;
    for (const Bytes &dir : {tooLarge, badSegmentSize}) {
        Decoder d(true);
        EXPECT_EQ(MOT_DECODER_DIRECTORY_INVALID, d.feed(segments(Directory, 1, dir, 1000)));
        EXPECT_TRUE(d.deliveries.empty());
    }
}

TEST(MotDecoder, UnrequestedBodiesGoToTheCache)
{
    Decoder d(true, 64 * 1024, MOT_DECODER_MIN_CACHE_SIZE);
    // Far more than the ring holds, every group twice: the oldest make room.
    for (int round = 0; round < 2; ++round)
        for (uint16_t id = 1; id < 40; ++id)
            EXPECT_EQ(0, d.feed(segments(Body, id, pattern(900, uint8_t(id)), 300)));
    Bytes huge = dataGroup(Body, 99, 0, true, pattern(MOT_DECODER_MIN_CACHE_SIZE));
    EXPECT_EQ(MOT_DECODER_INVALID_PARAMETER, d.feed(huge));
}

TEST(MotDecoder, InitChecks)
{
    std::vector<uint8_t> instance(DAB_Bb_Ruz_MotDecoderGetSize());
    auto *decoder = reinterpret_cast<DabMotDecoder *>(instance.data());
    Bytes entity(1000), cache(MOT_DECODER_MIN_CACHE_SIZE);
    auto callback = [](const uint8_t *, uint32_t, const MotHeader *, void *) { return 0; };
    struct Case {
        const char *name;
        int directoryMode;
        uint32_t entitySize;
        uint32_t cacheSize;
        int expected;
    };
    const Case cases[] = {
        {"header mode", 0, 500, 0, 0},
        {"entity below the header area", 0, 499, 0, MOT_DECODER_INVALID_PARAMETER},
        {"cache in header mode", 0, 1000, MOT_DECODER_MIN_CACHE_SIZE, MOT_DECODER_INVALID_PARAMETER},
        {"cache one short", 1, 1000, MOT_DECODER_MIN_CACHE_SIZE - 1, MOT_DECODER_INVALID_PARAMETER},
        {"directory mode with cache", 1, 1000, MOT_DECODER_MIN_CACHE_SIZE, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.expected, DAB_Bb_Ruz_MotDecoderInit(decoder, c.directoryMode, entity.data(), c.entitySize, callback,
                                                        nullptr, c.cacheSize ? cache.data() : nullptr, c.cacheSize))
            << c.name;
    EXPECT_EQ(MOT_DECODER_INVALID_PARAMETER,
              DAB_Bb_Ruz_MotDecoderInit(decoder, 0, entity.data(), 1000, nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(MOT_DECODER_INVALID_PARAMETER,
              DAB_Bb_Ruz_MotDecoderInit(nullptr, 0, entity.data(), 1000, callback, nullptr, nullptr, 0));
}

TEST(MotDecoder, Version)
{
    EXPECT_EQ(MOT_DECODER_INVALID_PARAMETER, DAB_Bb_Ruz_MotDecoderGetVersion(nullptr, nullptr, nullptr, nullptr, nullptr,
                                                                            nullptr, nullptr, nullptr, nullptr));
    uint32_t patch = 0;
    EXPECT_EQ(0, DAB_Bb_Ruz_MotDecoderGetVersion(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                 &patch));
    EXPECT_EQ(4u, patch);
    const char *version = nullptr;
    const char *tag = nullptr;
    EXPECT_EQ(0, DAB_Bb_Ruz_MotDecoderGetVersion(&tag, nullptr, nullptr, nullptr, nullptr, &version, nullptr, nullptr,
                                                 nullptr));
    EXPECT_STREQ("1.1.4", version);
    EXPECT_STREQ("2019-09-04_v1.1.4", tag);
}

} // namespace
} // namespace ZOZ::Test::Mot
