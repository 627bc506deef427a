#include "aac_huffman.h"

#include "aac_huffman_tables.h"

#include <array>

namespace {

using AacHuffmanTables::Codeword;

// Values per codeword, radix of the index digits and packing per codebook 1..11.
struct BookShape
{
    uint8_t dimension;
    uint8_t radix;
    uint8_t bitsPerValue;
    uint8_t offset;
};

constexpr BookShape bookShapes[12] = {
    {0, 0, 0, 0},  {4, 3, 2, 1},  {4, 3, 2, 1},  {4, 3, 2, 0}, {4, 3, 2, 0}, {2, 9, 4, 4},
    {2, 9, 4, 4},  {2, 8, 4, 0},  {2, 8, 4, 0},  {2, 13, 4, 0}, {2, 13, 4, 0}, {2, 17, 5, 0},
};

// Book 0 stands for the scale-factor book, whose symbol is its index.
constexpr uint32_t symbolOf(int book, uint32_t index)
{
    if (book == 0)
        return index;
    const BookShape &s = bookShapes[book];
    uint32_t digits[4] = {};
    for (int i = s.dimension - 1; i >= 0; --i) {
        digits[i] = index % s.radix;
        index /= s.radix;
    }
    uint32_t symbol = 0;
    for (int i = 0; i < s.dimension; ++i)
        symbol |= digits[i] << (i * s.bitsPerValue);
    return symbol;
}

// A codebook of N codewords needs at most N - 1 nodes: every node splits at least
// two codewords apart.
template <size_t N>
constexpr std::array<uint16_t, 4 * N> buildTree(const Codeword (&book)[N], int bookNumber)
{
    std::array<uint16_t, 4 * N> tree{};
    uint16_t nodes = 1;
    for (uint32_t index = 0; index < N; ++index) {
        const uint32_t bits = book[index].bits;
        int remaining = book[index].length;
        const uint16_t leaf = static_cast<uint16_t>(symbolOf(bookNumber, index) << 2 | AacTreeLeaf);
        uint16_t node = 0;
        while (remaining > 0) {
            if (remaining == 1) {
                // The last bit alone: both two-bit paths starting with it end here.
                const uint32_t b = (bits & 1) << 1;
                tree[node * 4 + b] = leaf | AacTreeShort;
                tree[node * 4 + b + 1] = leaf | AacTreeShort;
                break;
            }
            const uint32_t b = (bits >> (remaining - 2)) & 3;
            remaining -= 2;
            if (remaining == 0) {
                tree[node * 4 + b] = leaf;
                break;
            }
            if (tree[node * 4 + b] == 0)
                tree[node * 4 + b] = static_cast<uint16_t>(nodes++ << 2);
            node = tree[node * 4 + b] >> 2;
        }
    }
    return tree;
}

using namespace AacHuffmanTables;

constexpr auto treeScalefactor = buildTree(scalefactorCodebook, 0);
constexpr auto tree1 = buildTree(spectrumCodebook1, 1);
constexpr auto tree2 = buildTree(spectrumCodebook2, 2);
constexpr auto tree3 = buildTree(spectrumCodebook3, 3);
constexpr auto tree4 = buildTree(spectrumCodebook4, 4);
constexpr auto tree5 = buildTree(spectrumCodebook5, 5);
constexpr auto tree6 = buildTree(spectrumCodebook6, 6);
constexpr auto tree7 = buildTree(spectrumCodebook7, 7);
constexpr auto tree8 = buildTree(spectrumCodebook8, 8);
constexpr auto tree9 = buildTree(spectrumCodebook9, 9);
constexpr auto tree10 = buildTree(spectrumCodebook10, 10);
constexpr auto tree11 = buildTree(spectrumCodebook11, 11);

// Longest codeword (19 bits) in two-bit steps.
constexpr int MaxTreeSteps = 10;

} // namespace

const AacDecCodebookInfo aacCodebookInfo[14] = {
    {nullptr, 0, 0, 0},
    {tree1.data(), 4, 2, 1},
    {tree2.data(), 4, 2, 1},
    {tree3.data(), 4, 2, 0},
    {tree4.data(), 4, 2, 0},
    {tree5.data(), 2, 4, 4},
    {tree6.data(), 2, 4, 4},
    {tree7.data(), 2, 4, 0},
    {tree8.data(), 2, 4, 0},
    {tree9.data(), 2, 4, 0},
    {tree10.data(), 2, 4, 0},
    {tree11.data(), 2, 5, 0},
    {treeScalefactor.data(), 1, 8, 60},
    {treeScalefactor.data(), 1, 8, 60},
};

uint32_t AacDec_HuffmanDecodeTree(RezBitStream *bs, const uint16_t *tree)
{
    uint32_t node = 0;
    for (int step = 0; step < MaxTreeSteps; ++step) {
        const uint16_t entry = tree[node * 4 + RezTools_BitStreamReadBits(bs, 2)];
        if (entry & AacTreeLeaf) {
            if (entry & AacTreeShort)
                RezTools_BitStreamPushBack(bs, 1);
            return entry >> 2;
        }
        node = entry >> 2;
    }
    return 0;
}

int32_t AacDec_ReadEscape(RezBitStream *bs, int32_t value)
{
    if (value != 16 && value != -16)
        return value;
    int n = 4;
    while (n < 13 && RezTools_BitStreamReadBit(bs))
        ++n;
    const int32_t magnitude = n == 13 ? 8192 : static_cast<int32_t>((1u << n) + RezTools_BitStreamReadBits(bs, n));
    return value < 0 ? -magnitude : magnitude;
}

uint32_t AacDec_SymbolOfIndex(int book, uint32_t index)
{
    return symbolOf(book == 12 ? 0 : book, index);
}
