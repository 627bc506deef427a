// Huffman code f_huffman_env_bal_3_0dB of MPEG-4 SBR: balance envelope values at 3 dB steps, across frequency (also balance noise floors across frequency): deltas -12..12.
// Decoding tree: a bit picks entry 0 or 1 of the node; a value of 0 or more is the next
// node, a negative one a leaf whose value + 64 is the decoded delta.
#include "SbrHuffman.h"

const SbrHuffmanNode f_huffman_env_bal_3_0dB[24] = {
    {-64, 1}, {-65, 2}, {-63, 3}, {-66, 4}, {-62, 5}, {-61, 6}, {-67, 7}, {-68, 8},
    {-60, 9}, {10, 13}, {-69, 11}, {-59, 12}, {-58, -76}, {14, 17}, {15, 16}, {-75, -74},
    {-73, -72}, {18, 21}, {19, 20}, {-71, -70}, {-57, -56}, {22, 23}, {-55, -54}, {-53, -52},
};
