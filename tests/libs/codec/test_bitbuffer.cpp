// Bit buffer and bit stream against a naive bit-vector model.
#include "RezTools.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

// The reference: a plain vector of bits and a position.
struct BitModel {
    std::vector<int> bits;
    size_t position = 0;

    uint32_t read(uint32_t n)
    {
        uint32_t value = 0;
        for (uint32_t i = 0; i < n; ++i) {
            const size_t at = position + i;
            value = value << 1 | (at < bits.size() ? bits[at] : 0);
        }
        position += n;
        return value;
    }
    uint32_t valid() const { return position < bits.size() ? static_cast<uint32_t>(bits.size() - position) : 0; }
};

BitModel modelOf(const std::vector<uint8_t> &bytes)
{
    BitModel model;
    for (uint8_t b : bytes)
        for (int i = 7; i >= 0; --i)
            model.bits.push_back((b >> i) & 1);
    return model;
}

std::vector<uint8_t> randomBytes(std::mt19937 &rng, size_t n)
{
    std::vector<uint8_t> bytes(n);
    for (auto &b : bytes)
        b = static_cast<uint8_t>(rng());
    return bytes;
}

TEST(BitBuffer, RandomReadsSkipsAndPushBacksMatchTheModel)
{
    std::mt19937 rng(12345);
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> data = randomBytes(rng, 64);
        std::vector<uint8_t> ring = data;
        RezBitStream bs;
        RezTools_BitStreamInit(&bs, ring.data(), 64, 64 * 8, REZ_BIT_READ);
        BitModel model = modelOf(data);
        for (int step = 0; step < 60 && model.position + 40 < model.bits.size(); ++step) {
            const uint32_t n = 1 + rng() % 32;
            switch (rng() % 5) {
            case 0:
                ASSERT_EQ(RezTools_BitStreamReadBits(&bs, n), model.read(n)) << "round " << round << " step " << step;
                break;
            case 1:
                ASSERT_EQ(RezTools_BitStreamReadBit(&bs), model.read(1));
                break;
            case 2:
                RezTools_BitStreamPushForward(&bs, n);
                model.position += n;
                break;
            case 3: {
                const uint32_t back = std::min<size_t>(n, model.position);
                RezTools_BitStreamPushBack(&bs, back);
                model.position -= back;
                break;
            }
            default:
                ASSERT_EQ(RezTools_BitBufferReadBits(&bs.bitBuffer, 0), 0u);
                RezTools_BitStreamSync(&bs);
                ASSERT_EQ(RezTools_BitBufferReadBits(&bs.bitBuffer, n), model.read(n));
                break;
            }
            ASSERT_EQ(RezTools_BitStreamGetValidBits(&bs), model.valid());
            ASSERT_EQ(RezTools_BitStreamGetOverrun(&bs), 0);
        }
    }
}

TEST(BitBuffer, FourByteRingReadsBackAfterWrapping)
{
    uint8_t ring[4] = {};
    RezBitBuffer bb;
    EXPECT_EQ(RezTools_BitBufferInit(&bb, ring, 4, 0), 32u);
    const uint8_t first[4] = {0x12, 0x34, 0x56, 0x78};
    uint32_t left = 4;
    RezTools_BitBufferFeed(&bb, first, 4, &left);
    EXPECT_EQ(left, 0u);
    EXPECT_EQ(RezTools_BitBufferReadBits(&bb, 16), 0x1234u);
    EXPECT_EQ(RezTools_BitBufferReadBits(&bb, 16), 0x5678u);

    // A second feed that lands in two pieces, then reads that cross the ring end.
    const uint8_t partial[2] = {0x9A, 0xBC};
    left = 2;
    RezTools_BitBufferReadBits(&bb, 0);
    RezTools_BitBufferFeed(&bb, partial, 2, &left);
    EXPECT_EQ(RezTools_BitBufferReadBits(&bb, 8), 0x9Au);
    const uint8_t more[3] = {0xDE, 0xF0, 0x11};
    left = 3;
    RezTools_BitBufferFeed(&bb, more, 3, &left);
    EXPECT_EQ(left, 0u);
    EXPECT_EQ(RezTools_BitBufferReadBits(&bb, 16), 0xBCDEu); // crosses the end of the ring
    EXPECT_EQ(RezTools_BitBufferReadBits(&bb, 16), 0xF011u);
    EXPECT_EQ(RezTools_BitBufferGetBitCount(&bb), 72);
}

TEST(BitBuffer, FeedCopiesOnlyWhatFitsAndTakesTheCallersLastBytes)
{
    uint8_t ring[4] = {};
    RezBitBuffer bb;
    RezTools_BitBufferInit(&bb, ring, 4, 0);
    const uint8_t input[6] = {0xAA, 0xBB, 0x01, 0x02, 0x03, 0x04};
    uint32_t left = 4; // the first two bytes were already taken
    RezTools_BitBufferFeed(&bb, input, 6, &left);
    EXPECT_EQ(left, 0u);
    EXPECT_EQ(RezTools_BitBufferReadBits(&bb, 8), 0x01u);

    uint32_t full = 6;
    RezTools_BitBufferFeed(&bb, input, 6, &full);
    EXPECT_EQ(full, 5u); // one byte of room
    uint8_t ring2[4] = {};
    RezTools_BitBufferInit(&bb, ring2, 4, 32);
    uint32_t none = 3;
    RezTools_BitBufferFeed(&bb, input, 6, &none);
    EXPECT_EQ(none, 3u);
}

TEST(BitBuffer, StreamReadsAcrossTheCacheBoundary)
{
    uint8_t bytes[8] = {0xA5, 0x0F, 0xF0, 0x3C, 0xC3, 0x81, 0x7E, 0x55};
    RezBitStream bs;
    RezTools_BitStreamInit(&bs, bytes, 8, 64, REZ_BIT_READ);
    BitModel model = modelOf(std::vector<uint8_t>(bytes, bytes + 8));
    EXPECT_EQ(RezTools_BitStreamReadBits(&bs, 5), model.read(5));
    EXPECT_EQ(RezTools_BitStreamReadBits(&bs, 32), model.read(32));
    // A push-back right after a read returns the same bits again.
    const uint32_t three = RezTools_BitStreamReadBits(&bs, 3);
    RezTools_BitStreamPushBack(&bs, 3);
    EXPECT_EQ(RezTools_BitStreamReadBits(&bs, 3), three);
    EXPECT_EQ(RezTools_BitStreamReadBits(&bs, 24), (model.read(3), model.read(24)));
}

TEST(BitBuffer, ByteAlignSkipsToTheNextByteFromTheAnchor)
{
    uint8_t bytes[8] = {};
    RezBitStream bs;
    RezTools_BitStreamInit(&bs, bytes, 8, 64, REZ_BIT_READ);
    RezTools_BitStreamReadBits(&bs, 2);
    const uint32_t anchor = RezTools_BitStreamGetValidBits(&bs);
    RezTools_BitStreamReadBits(&bs, 13);
    RezTools_BitStreamByteAlign(&bs, anchor);
    EXPECT_EQ(anchor - RezTools_BitStreamGetValidBits(&bs), 16u);

    // Writing pads with zero bits up to the boundary.
    uint8_t out[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    RezBitStream ws;
    RezTools_BitStreamInit(&ws, out, 4, 0, REZ_BIT_WRITE);
    RezTools_BitBufferWriteBits(&ws.bitBuffer, 0x5, 3);
    RezTools_BitStreamByteAlign(&ws, 0);
    EXPECT_EQ(RezTools_BitStreamGetValidBits(&ws), 8u);
    EXPECT_EQ(out[0], 0xA0);
}

TEST(BitBuffer, WriteChangesOnlyTheTargetBits)
{
    struct Case {
        uint32_t offset, n, value;
    };
    const Case cases[] = {{3, 7, 0x55}, {0, 32, 0x12345678}, {5, 32, 0xFFFFFFFF}, {7, 1, 0}, {1, 17, 0x1ABCD}};
    std::mt19937 rng(7);
    for (const Case &c : cases) {
        std::vector<uint8_t> bytes = randomBytes(rng, 8);
        BitModel expected = modelOf(bytes);
        for (uint32_t i = 0; i < c.n; ++i)
            expected.bits[c.offset + i] = (c.value >> (c.n - 1 - i)) & 1;
        RezBitBuffer bb;
        RezTools_BitBufferInit(&bb, bytes.data(), 8, 0);
        RezTools_BitBufferPushForward(&bb, c.offset, REZ_BIT_WRITE);
        RezTools_BitBufferWriteBits(&bb, c.value, c.n);
        EXPECT_EQ(modelOf(bytes).bits, expected.bits) << "offset " << c.offset << " n " << c.n;
        EXPECT_EQ(RezTools_BitBufferGetValidBits(&bb), c.offset + c.n);
    }
}

TEST(BitBuffer, RandomWritesAroundTheRingMatchTheModel)
{
    std::mt19937 rng(77);
    for (int round = 0; round < 100; ++round) {
        std::vector<uint8_t> ring = randomBytes(rng, 16);
        BitModel model = modelOf(ring);
        RezBitBuffer bb;
        RezTools_BitBufferInit(&bb, ring.data(), 16, 0);
        size_t position = 0;
        for (int step = 0; step < 40; ++step) {
            const uint32_t n = rng() % 33, value = static_cast<uint32_t>(rng());
            for (uint32_t i = 0; i < n; ++i)
                model.bits[(position + i) % 128] = (value >> (n - 1 - i)) & 1;
            position += n;
            RezTools_BitBufferWriteBits(&bb, value, n);
            ASSERT_EQ(modelOf(ring).bits, model.bits) << "round " << round << " step " << step;
            ASSERT_EQ(bb.bitIndex, position % 128);
        }
        ASSERT_EQ(RezTools_BitBufferGetBitCount(&bb), static_cast<int32_t>(position));
    }
}

TEST(BitBuffer, ReadingPastTheEndGivesZerosAndAStickyFlagWithoutWrapping)
{
    // The ring holds stale bytes beyond the fed data; none of them may come back.
    uint8_t ring[8] = {0xFF, 0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    RezBitStream bs;
    RezTools_BitStreamInit(&bs, ring, 8, 12, REZ_BIT_READ);
    EXPECT_EQ(RezTools_BitStreamReadBits(&bs, 8), 0xFFu);
    EXPECT_EQ(RezTools_BitStreamGetOverrun(&bs), 0) << "prefetching into the cache is not an overrun";
    EXPECT_EQ(RezTools_BitStreamReadBits(&bs, 4), 0xFu);
    EXPECT_EQ(RezTools_BitStreamGetOverrun(&bs), 0);
    EXPECT_EQ(RezTools_BitStreamReadBits(&bs, 8), 0u);
    EXPECT_EQ(RezTools_BitStreamGetOverrun(&bs), 1);
    EXPECT_EQ(RezTools_BitStreamGetValidBits(&bs), 0u);

    // A loop that runs while bits remain ends instead of spinning on a wrapped count.
    int reads = 0;
    while (RezTools_BitStreamGetValidBits(&bs) > 0 && reads < 1000) {
        RezTools_BitStreamReadBits(&bs, 32);
        ++reads;
    }
    EXPECT_EQ(reads, 0);

    // Pushing back settles the overrun bits first; the flag stays until cleared.
    RezTools_BitStreamPushBack(&bs, 10);
    EXPECT_EQ(RezTools_BitStreamGetValidBits(&bs), 2u);
    EXPECT_EQ(RezTools_BitStreamReadBits(&bs, 2), 3u); // the last two fed bits
    EXPECT_EQ(RezTools_BitStreamGetOverrun(&bs), 1);
    RezTools_BitBufferClearOverrun(&bs.bitBuffer);
    EXPECT_EQ(RezTools_BitStreamGetOverrun(&bs), 0);

    RezBitBuffer bb;
    RezTools_BitBufferInit(&bb, ring, 8, 4);
    EXPECT_EQ(RezTools_BitBufferReadBits(&bb, 32), 0xF0000000u);
    EXPECT_EQ(RezTools_BitBufferGetOverrun(&bb), 1);
    RezTools_BitBufferPushForward(&bb, 1000, REZ_BIT_READ);
    EXPECT_EQ(RezTools_BitBufferGetValidBits(&bb), 0u);
}

TEST(BitBuffer, FeedAfterAnOverrunKeepsTheReaderInStep)
{
    uint8_t ring[8] = {};
    RezBitBuffer bb;
    RezTools_BitBufferInit(&bb, ring, 8, 0);
    const uint8_t first[1] = {0xAB};
    uint32_t left = 1;
    RezTools_BitBufferFeed(&bb, first, 1, &left);
    EXPECT_EQ(RezTools_BitBufferReadBits(&bb, 12), 0xAB0u);
    const uint8_t second[2] = {0xCD, 0xEF};
    left = 2;
    RezTools_BitBufferFeed(&bb, second, 2, &left);
    // The reader has passed the first 4 bits of the new data already.
    EXPECT_EQ(RezTools_BitBufferGetValidBits(&bb), 12u);
    EXPECT_EQ(RezTools_BitBufferReadBits(&bb, 12), 0xDEFu);
}

TEST(BitBuffer, SizesThatAreNotPowersOfTwoStayInsideTheMemory)
{
    uint8_t bytes[6] = {1, 2, 3, 4, 5, 6};
    RezBitBuffer bb;
    EXPECT_EQ(RezTools_BitBufferInit(&bb, bytes, 0, 48), 0u);
    RezTools_BitBufferWriteBits(&bb, 0xFFFFFFFF, 32);
    EXPECT_EQ(RezTools_BitBufferReadBits(&bb, 8), 0u);
    EXPECT_EQ(bytes[0], 1) << "a zero-size ring is never touched";
    EXPECT_EQ(RezTools_BitBufferInit(&bb, bytes, 6, 48), 32u);
    EXPECT_EQ(RezTools_BitBufferGetValidBits(&bb), 32u);
    EXPECT_EQ(RezTools_BitBufferRead32(&bb), 0x01020304u);
}

} // namespace
