// CRC engine: table against bitwise computation, regions with fixed lengths.
#include "RezTools.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

// Independent reference: a plain MSB-first CRC over bits.
uint32_t referenceCrc(const std::vector<int> &bits, uint32_t polynomial, uint32_t start, uint32_t width)
{
    const uint32_t top = 1u << (width - 1);
    const uint32_t mask = (width == 32) ? 0xFFFFFFFF : (1u << width) - 1;
    uint32_t reg = start;
    for (int bit : bits) {
        const bool feedback = ((reg & top) != 0) != (bit != 0);
        reg = (reg << 1) & mask;
        if (feedback)
            reg ^= polynomial;
    }
    return reg & mask;
}

std::vector<int> bitsOf(const std::vector<uint8_t> &bytes, size_t count)
{
    std::vector<int> bits;
    for (size_t i = 0; i < count; ++i)
        bits.push_back((bytes[i / 8] >> (7 - i % 8)) & 1);
    return bits;
}

uint32_t regionCrc(std::vector<uint8_t> bytes, uint32_t polynomial, uint32_t start, uint32_t width, uint32_t skip,
                   uint32_t parsed, int32_t fixedLength)
{
    RezBitStream bs;
    RezTools_BitStreamInit(&bs, bytes.data(), static_cast<uint32_t>(bytes.size()),
                           static_cast<uint32_t>(bytes.size() * 8), REZ_BIT_READ);
    RezCrcEngine engine;
    RezTools_CrcInit(&engine, polynomial, start, width);
    RezTools_BitStreamReadBits(&bs, skip);
    const int region = RezTools_CrcStartRegion(&engine, &bs, fixedLength);
    for (uint32_t left = parsed; left > 0;) {
        const uint32_t n = left > 7 ? 7 : left;
        RezTools_BitStreamReadBits(&bs, n);
        left -= n;
    }
    EXPECT_EQ(RezTools_CrcEndRegion(&engine, &bs, region), 0);
    return RezTools_CrcGetValue(&engine);
}

TEST(Crc, TablesMatchTheBitwiseRegister)
{
    const std::vector<uint8_t> abc = {'a', 'b', 'c', 0};
    for (uint32_t polynomial : {0x8005u, 0x1021u, 0x8021u}) {
        ASSERT_NE(RezTools_CrcTable(polynomial), nullptr);
        uint16_t table = 0xFFFF, bitwise = 0xFFFF;
        RezBitStream a, b;
        std::vector<uint8_t> copyA = abc, copyB = abc;
        RezTools_BitStreamInit(&a, copyA.data(), 4, 24, REZ_BIT_READ);
        RezTools_BitStreamInit(&b, copyB.data(), 4, 24, REZ_BIT_READ);
        RezTools_CrcUpdateBytes(&table, RezTools_CrcTable(polynomial), &a, 3);
        RezTools_CrcUpdateBits(&bitwise, 0x8000, static_cast<uint16_t>(polynomial), &b, 24);
        EXPECT_EQ(table, bitwise) << std::hex << polynomial;
        EXPECT_EQ(table, referenceCrc(bitsOf(abc, 24), polynomial, 0xFFFF, 16));
    }
    EXPECT_EQ(RezTools_CrcTable(0x1D), nullptr);
    // Every entry, against the reference over the byte alone.
    for (unsigned i = 0; i < 256; ++i)
        ASSERT_EQ(RezTools_CrcTable(0x1021)[i], referenceCrc(bitsOf({static_cast<uint8_t>(i)}, 8), 0x1021, 0, 16));
}

TEST(Crc, MemoryCrcMatchesTheReferenceForEveryLength)
{
    std::mt19937 rng(17);
    std::vector<uint8_t> bytes(70);
    for (auto &b : bytes)
        b = static_cast<uint8_t>(rng());
    for (uint32_t polynomial : {0x8005u, 0x1021u, 0x8021u, 0x1DB7u}) {
        for (size_t length = 0; length <= bytes.size(); ++length) {
            ASSERT_EQ(RezTools_CrcMemory16(polynomial, 0xFFFF, bytes.data(), length),
                      referenceCrc(bitsOf(bytes, 8 * length), polynomial, 0xFFFF, 16))
                << std::hex << polynomial << " length " << std::dec << length;
        }
    }
}

TEST(Crc, RegionsMatchTheReferenceForRandomLengths)
{
    struct Setup {
        uint32_t polynomial, start, width;
    };
    const Setup setups[] = {{0x8005, 0xFFFF, 16}, {0x1021, 0xFFFF, 16}, {0x07, 0xFF, 8}, {0x1D, 0xFF, 8}, {0x1D, 0, 8}};
    std::mt19937 rng(99);
    for (const Setup &setup : setups) {
        for (int round = 0; round < 50; ++round) {
            std::vector<uint8_t> bytes(64);
            for (auto &b : bytes)
                b = static_cast<uint8_t>(rng());
            const uint32_t skip = rng() % 20, parsed = 1 + rng() % 300;
            const std::vector<int> all = bitsOf(bytes, 512);
            std::vector<int> region(all.begin() + skip, all.begin() + skip + parsed);
            EXPECT_EQ(regionCrc(bytes, setup.polynomial, setup.start, setup.width, skip, parsed, 0),
                      referenceCrc(region, setup.polynomial, setup.start, setup.width))
                << "poly " << setup.polynomial << " skip " << skip << " parsed " << parsed;
        }
    }
}

TEST(Crc, FixedLengthsPadOrCutTheRegion)
{
    std::vector<uint8_t> bytes(32);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i * 37 + 11);
    const std::vector<int> all = bitsOf(bytes, 256);
    struct Case {
        const char *name;
        uint32_t parsed;
        int32_t fixed;
        uint32_t coveredBits, zeroBits;
    };
    const Case cases[] = {
        {"closed after 100 of 192: 92 zero bits", 100, 192, 100, 92},
        {"closed after 90 with 64: first 64 only", 90, 64, 64, 0},
        {"closed after 60 with 64: 60 and 4 zero bits", 60, 64, 60, 4},
        {"negative: exactly that many bits", 10, -40, 40, 0},
    };
    for (const Case &c : cases) {
        std::vector<int> expected(all.begin() + 3, all.begin() + 3 + c.coveredBits);
        expected.insert(expected.end(), c.zeroBits, 0);
        for (uint32_t polynomial : {0x8005u, 0x1Du}) {
            const uint32_t width = polynomial == 0x1D ? 8 : 16;
            EXPECT_EQ(regionCrc(bytes, polynomial, 0xFF, width, 3, c.parsed, c.fixed),
                      referenceCrc(expected, polynomial, 0xFF, width))
                << c.name << " poly " << polynomial;
        }
    }
}

TEST(Crc, ThreeRegionsOverlapAndAFourthReusesTheFirstSlot)
{
    std::vector<uint8_t> bytes(16, 0x5A);
    RezBitStream bs;
    RezTools_BitStreamInit(&bs, bytes.data(), 16, 128, REZ_BIT_READ);
    RezCrcEngine engine;
    RezTools_CrcInit(&engine, 0x1D, 0xFF, 8);
    const int a = RezTools_CrcStartRegion(&engine, &bs, 0);
    RezTools_BitStreamReadBits(&bs, 8);
    const int b = RezTools_CrcStartRegion(&engine, &bs, 0);
    RezTools_BitStreamReadBits(&bs, 8);
    const int c = RezTools_CrcStartRegion(&engine, &bs, 0);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(c, 2);
    EXPECT_EQ(engine.regions[0].active + engine.regions[1].active + engine.regions[2].active, 3u);
    RezTools_BitStreamReadBits(&bs, 8);
    RezTools_CrcEndRegion(&engine, &bs, a);
    EXPECT_EQ(engine.regions[0].measuredLength, 24);
    EXPECT_EQ(RezTools_CrcStartRegion(&engine, &bs, 0), 0);
    EXPECT_EQ(RezTools_CrcEndRegion(&engine, &bs, 3), -1);
    EXPECT_LE(RezTools_CrcGetValue(&engine), 0xFFu);
}

TEST(Crc, WritingStreamRegionCoversTheWrittenBits)
{
    uint8_t out[8] = {};
    RezBitStream ws;
    RezTools_BitStreamInit(&ws, out, 8, 0, REZ_BIT_WRITE);
    RezTools_BitBufferWriteBits(&ws.bitBuffer, 0x3, 4);
    RezCrcEngine engine;
    RezTools_CrcInit(&engine, 0x8005, 0xFFFF, 16);
    const int region = RezTools_CrcStartRegion(&engine, &ws, 0);
    RezTools_BitBufferWriteBits(&ws.bitBuffer, 0xABCDE, 20);
    RezTools_CrcEndRegion(&engine, &ws, region);
    std::vector<int> bits;
    for (int i = 19; i >= 0; --i)
        bits.push_back((0xABCDE >> i) & 1);
    EXPECT_EQ(RezTools_CrcGetValue(&engine), referenceCrc(bits, 0x8005, 0xFFFF, 16));
}

TEST(Crc, DabPlusAccessUnitCheckValue)
{
    FILE *f = fopen(ZOZ_TESTDATA_DIR "/dabplus-au-428.bin", "rb");
    if (!f)
        GTEST_SKIP() << "test recordings not found in " ZOZ_TESTDATA_DIR;
    std::vector<uint8_t> bytes(512);
    ASSERT_EQ(fread(bytes.data(), 1, 428, f), 428u);
    fclose(f);
    RezBitStream bs;
    RezTools_BitStreamInit(&bs, bytes.data(), 512, 428 * 8, REZ_BIT_READ);
    RezCrcEngine engine;
    RezTools_CrcInit(&engine, 0x1021, 0xFFFF, 16);
    RezTools_CrcEndRegion(&engine, &bs, RezTools_CrcStartRegion(&engine, &bs, -428 * 8));
    EXPECT_EQ(RezTools_CrcGetValue(&engine) ^ 0xFFFF, 26751u);
}

} // namespace
