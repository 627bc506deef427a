// Huffman code t_huffman_noise_bal_3_0dB of MPEG-4 SBR: balance noise floors, across time: deltas -12..12.
// Decoding tree: a bit picks entry 0 or 1 of the node; a value of 0 or more is the next
// node, a negative one a leaf whose value + 64 is the decoded delta.
#include "SbrHuffman.h"

const SbrHuffmanNode t_huffman_noise_bal_3_0dB[24] = {
    {-64, 1}, {-65, 2}, {-63, 3}, {4, 9}, {-66, 5}, {-62, 6}, {7, 8}, {-76, -75},
    {-74, -73}, {10, 17}, {11, 14}, {12, 13}, {-72, -71}, {-70, -69}, {15, 16}, {-68, -67},
    {-61, -60}, {18, 21}, {19, 20}, {-59, -58}, {-57, -56}, {22, 23}, {-55, -54}, {-53, -52},
};
