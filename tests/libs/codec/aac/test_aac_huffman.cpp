// The transcribed Huffman codebooks: each is a complete prefix code (Kraft sum 1,
// no codeword a prefix of another) of the size the standard gives, and every
// codeword, written into a stream between other codewords, decodes to its symbol.
#include "aac_huffman.h"
#include "aac_huffman_tables.h"
#include "aac_test_support.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using AacHuffmanTables::Codeword;

struct Book
{
    const char *name;
    int number; // 12: the scale-factor book
    const Codeword *codes;
    uint32_t size;
    int maxValue; // largest magnitude an unpacked value may take
};

const Book books[] = {
    {"scalefactor", 12, AacHuffmanTables::scalefactorCodebook, 121, 120},
    {"1", 1, AacHuffmanTables::spectrumCodebook1, 81, 1},
    {"2", 2, AacHuffmanTables::spectrumCodebook2, 81, 1},
    {"3", 3, AacHuffmanTables::spectrumCodebook3, 81, 2},
    {"4", 4, AacHuffmanTables::spectrumCodebook4, 81, 2},
    {"5", 5, AacHuffmanTables::spectrumCodebook5, 81, 4},
    {"6", 6, AacHuffmanTables::spectrumCodebook6, 81, 4},
    {"7", 7, AacHuffmanTables::spectrumCodebook7, 64, 7},
    {"8", 8, AacHuffmanTables::spectrumCodebook8, 64, 7},
    {"9", 9, AacHuffmanTables::spectrumCodebook9, 169, 12},
    {"10", 10, AacHuffmanTables::spectrumCodebook10, 169, 12},
    {"11", 11, AacHuffmanTables::spectrumCodebook11, 289, 16},
};

TEST(AacHuffman, EveryBookIsACompletePrefixCode)
{
    for (const Book &b : books) {
        SCOPED_TRACE(b.name);
        // Kraft sum in units of 2^-19 (the longest codeword).
        uint64_t kraft = 0;
        for (uint32_t i = 0; i < b.size; ++i) {
            ASSERT_GE(b.codes[i].length, 1);
            ASSERT_LE(b.codes[i].length, 19);
            ASSERT_LT(b.codes[i].bits, 1u << b.codes[i].length) << "index " << i;
            kraft += 1ull << (19 - b.codes[i].length);
        }
        EXPECT_EQ(kraft, 1ull << 19);
        for (uint32_t i = 0; i < b.size; ++i)
            for (uint32_t j = 0; j < b.size; ++j) {
                if (i == j || b.codes[i].length > b.codes[j].length)
                    continue;
                const uint32_t head = b.codes[j].bits >> (b.codes[j].length - b.codes[i].length);
                EXPECT_NE(head, b.codes[i].bits) << "index " << i << " is a prefix of " << j;
            }
    }
}

TEST(AacHuffman, EveryCodewordDecodesToItsSymbol)
{
    for (const Book &b : books) {
        SCOPED_TRACE(b.name);
        const AacDecCodebookInfo &info = aacCodebookInfo[b.number];
        // Each codeword followed by a marker word: a decoder that reads one bit too
        // many or too few misreads the marker.
        BitWriter w;
        for (uint32_t i = 0; i < b.size; ++i) {
            w.put(b.codes[i].bits, b.codes[i].length);
            w.put(0x5A3, 11);
        }
        std::vector<uint8_t> buffer(4096);
        std::copy(w.bytes.begin(), w.bytes.end(), buffer.begin());
        RezBitStream bs;
        RezTools_BitStreamInit(&bs, buffer.data(), static_cast<uint32_t>(buffer.size()), w.bits, 0);
        for (uint32_t i = 0; i < b.size; ++i) {
            const uint32_t symbol = AacDec_HuffmanDecode(&bs, &info);
            EXPECT_EQ(symbol, AacDec_SymbolOfIndex(b.number, i)) << "index " << i;
            ASSERT_EQ(RezTools_BitStreamReadBits(&bs, 11), 0x5A3u) << "index " << i;
            // The unpacked values stay within the book's range.
            const uint32_t mask = (1u << info.bitsPerValue) - 1;
            for (int v = 0; v < info.dimension; ++v) {
                const int value = static_cast<int>((symbol >> (v * info.bitsPerValue)) & mask) - info.valueOffset;
                EXPECT_LE(std::abs(value), b.maxValue) << "index " << i;
            }
        }
    }
}

TEST(AacHuffman, SymbolsUnpackToTheIndexDigits)
{
    // Codebook 1 index 0 is (-1, -1, -1, -1), 40 is all zero, 80 all +1.
    EXPECT_EQ(AacDec_SymbolOfIndex(1, 0), 0u);
    EXPECT_EQ(AacDec_SymbolOfIndex(1, 40), 0x55u);
    EXPECT_EQ(AacDec_SymbolOfIndex(1, 80), 0xAAu);
    // Codebook 11 index 17 * 3 + 16 is (3, 16): first value in the low bits.
    EXPECT_EQ(AacDec_SymbolOfIndex(11, 17 * 3 + 16), 3u | 16u << 5);
    EXPECT_EQ(AacDec_SymbolOfIndex(12, 60), 60u);
}

TEST(AacHuffman, EscapeSequences)
{
    const struct { uint32_t bits; int n; int32_t in; int32_t out; } cases[] = {
        {0, 0, 15, 15},                   // not an escape
        {0b0'0101, 5, 16, 16 + 5},        // N = 4
        {0b0'0101, 5, -16, -(16 + 5)},    // sign kept
        {0b10'11111, 7, 16, 32 + 31},     // N = 5
        {0b11111111'0, 9, 16, 4096 + 0},  // N = 12 needs 12 more bits (zeros here)
        {0b111111111, 9, 16, 8192},       // prefix too long: the marker
    };
    for (const auto &c : cases) {
        BitWriter w;
        w.put(c.bits, c.n);
        w.put(0, 16);
        std::vector<uint8_t> buffer(64);
        std::copy(w.bytes.begin(), w.bytes.end(), buffer.begin());
        RezBitStream bs;
        RezTools_BitStreamInit(&bs, buffer.data(), 64, 64 * 8, 0);
        EXPECT_EQ(AacDec_ReadEscape(&bs, c.in), c.out) << "bits " << c.bits;
    }
}

} // namespace
