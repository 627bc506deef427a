// The SBR and parametric-stereo Huffman codes: each tree is walked on its own (no
// decoding code involved) to show that it is a complete prefix code over exactly its
// value range; then every code word of every tree goes through the decoder.
#include "SbrHuffman.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace {

struct Code
{
    const char *name;
    const SbrHuffmanNode *tree;
    int nodes;
    int range; // values -range..range
};

const Code Codes[] = {
    {"t_huffman_env_1_5dB", t_huffman_env_1_5dB, 120, 60},
    {"f_huffman_env_1_5dB", f_huffman_env_1_5dB, 120, 60},
    {"t_huffman_env_bal_1_5dB", t_huffman_env_bal_1_5dB, 48, 24},
    {"f_huffman_env_bal_1_5dB", f_huffman_env_bal_1_5dB, 48, 24},
    {"t_huffman_env_3_0dB", t_huffman_env_3_0dB, 62, 31},
    {"f_huffman_env_3_0dB", f_huffman_env_3_0dB, 62, 31},
    {"t_huffman_env_bal_3_0dB", t_huffman_env_bal_3_0dB, 24, 12},
    {"f_huffman_env_bal_3_0dB", f_huffman_env_bal_3_0dB, 24, 12},
    {"t_huffman_noise_3_0dB", t_huffman_noise_3_0dB, 62, 31},
    {"t_huffman_noise_bal_3_0dB", t_huffman_noise_bal_3_0dB, 24, 12},
    {"huff_iid_df", huff_iid_df, 28, 14},
    {"huff_iid_dt", huff_iid_dt, 28, 14},
    {"huff_iid_fine_df", huff_iid_fine_df, 60, 30},
    {"huff_iid_fine_dt", huff_iid_fine_dt, 60, 30},
    {"huff_icc_df", huff_icc_df, 14, 7},
    {"huff_icc_dt", huff_icc_dt, 14, 7},
};

// Code word (as '0'/'1' text) of every value, from a walk that visits each node once.
struct Walk
{
    std::map<int, std::string> words;
    std::vector<int> visits;
    bool outside = false; // a link to a node beyond the table
};

void walk(const Code &c, int node, const std::string &prefix, Walk &w)
{
    if (node >= c.nodes) {
        w.outside = true;
        return;
    }
    if (++w.visits[static_cast<size_t>(node)] > 1)
        return; // a second path to a node: the walk stops there, the count shows it
    for (int bit = 0; bit < 2; ++bit) {
        const int next = c.tree[node][bit];
        const std::string word = prefix + static_cast<char>('0' + bit);
        if (next >= 0) {
            walk(c, next, word, w);
        } else {
            const int value = next + 64;
            EXPECT_FALSE(w.words.count(value)) << c.name << ": value " << value << " twice";
            w.words[value] = word;
        }
    }
}

Walk walkTree(const Code &c)
{
    Walk w;
    w.visits.assign(static_cast<size_t>(c.nodes), 0);
    walk(c, 0, "", w);
    return w;
}

TEST(SbrHuffman, EveryTreeIsACompletePrefixCodeOverItsValueRange)
{
    for (const Code &c : Codes) {
        SCOPED_TRACE(c.name);
        const Walk w = walkTree(c);
        EXPECT_FALSE(w.outside);
        // Every node reached exactly once: a tree, no node shared or left over.
        for (int n = 0; n < c.nodes; ++n)
            EXPECT_EQ(w.visits[static_cast<size_t>(n)], 1) << "node " << n;
        // Exactly the values -range..range, each once.
        ASSERT_EQ(static_cast<int>(w.words.size()), 2 * c.range + 1);
        EXPECT_EQ(w.words.begin()->first, -c.range);
        EXPECT_EQ(w.words.rbegin()->first, c.range);
        // Prefix-free (no word starts another) and complete: sum of 2^-length is 1.
        uint64_t kraft = 0;
        for (const auto &[value, word] : w.words) {
            ASSERT_LE(word.size(), 40u);
            kraft += uint64_t{1} << (40 - word.size());
            for (const auto &[other, otherWord] : w.words) {
                if (other != value) {
                    EXPECT_NE(otherWord.compare(0, word.size(), word), 0) << word << " starts " << otherWord;
                }
            }
        }
        EXPECT_EQ(kraft, uint64_t{1} << 40);
    }
}

TEST(SbrHuffman, EveryCodeWordDecodesToItsValue)
{
    for (const Code &c : Codes) {
        SCOPED_TRACE(c.name);
        const Walk w = walkTree(c);
        // All code words back to back, then read in order.
        std::vector<uint8_t> bytes(4096, 0);
        uint32_t bits = 0;
        for (const auto &[value, word] : w.words)
            for (char b : word) {
                if (b == '1')
                    bytes[bits / 8] |= static_cast<uint8_t>(0x80 >> (bits % 8));
                ++bits;
            }
        RezBitStream bs;
        RezTools_BitStreamInit(&bs, bytes.data(), static_cast<uint32_t>(bytes.size()), bits, REZ_BIT_READ);
        for (const auto &[value, word] : w.words)
            EXPECT_EQ(SbrDec_DecodeHuffman(&bs, c.tree), value) << word;
        EXPECT_EQ(RezTools_BitStreamGetValidBits(&bs), 0u);
    }
}

} // namespace
