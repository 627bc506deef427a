// Huffman decoding of the AAC core: the scale-factor codebook and the spectrum
// codebooks 1 to 11 as 4-ary trees (two bits per step).
#pragma once

#include "RezTools.h"

#include <cstdint>

// One row per codebook number 0..13 (12 and 13 point at the scale-factor tree).
struct AacDecCodebookInfo
{
    const uint16_t *tree;  // 4 entries per node; null for codebook 0
    uint8_t dimension;     // values per codeword
    uint8_t bitsPerValue;  // width of each value in a symbol
    uint8_t valueOffset;   // subtracted from each unpacked value; 0: magnitudes with sign bits
};

extern const AacDecCodebookInfo aacCodebookInfo[14];

// Tree entries: bit 0 set marks a leaf, bit 1 set on a leaf says the codeword ended
// one bit earlier; entry >> 2 is the next node or the symbol.
constexpr uint16_t AacTreeLeaf = 0x1;
constexpr uint16_t AacTreeShort = 0x2;

// Decodes one codeword with a tree; a walk longer than any codeword (only possible
// with a damaged tree) gives symbol 0.
uint32_t AacDec_HuffmanDecodeTree(RezBitStream *bs, const uint16_t *tree);
inline uint32_t AacDec_HuffmanDecode(RezBitStream *bs, const AacDecCodebookInfo *book)
{
    return AacDec_HuffmanDecodeTree(bs, book->tree);
}

// Scale-factor codeword: 0..120, the difference + 60.
inline uint32_t AacDec_ReadScaleFactorCodeword(RezBitStream *bs)
{
    return AacDec_HuffmanDecodeTree(bs, aacCodebookInfo[12].tree);
}

// Codebook 11's escape: a magnitude other than 16 passes; 16 reads the escape
// sequence; a prefix longer than 8 ones gives the marker 8192 (with the sign).
int32_t AacDec_ReadEscape(RezBitStream *bs, int32_t value);

// Symbol of codebook index i of book n as the trees hold it: the unpacked values
// (index digits in the book's radix, first value highest) packed least significant first.
uint32_t AacDec_SymbolOfIndex(int book, uint32_t index);
