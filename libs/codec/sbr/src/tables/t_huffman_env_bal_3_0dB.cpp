// Huffman code t_huffman_env_bal_3_0dB of MPEG-4 SBR: balance envelope values at 3 dB steps, across time: deltas -12..12.
// Decoding tree: a bit picks entry 0 or 1 of the node; a value of 0 or more is the next
// node, a negative one a leaf whose value + 64 is the decoded delta.
#include "SbrHuffman.h"

const SbrHuffmanNode t_huffman_env_bal_3_0dB[24] = {
    {-64, 1}, {-63, 2}, {-65, 3}, {-66, 4}, {-62, 5}, {-61, 6}, {-67, 7}, {-68, 8},
    {-60, 9}, {10, 16}, {11, 13}, {-69, 12}, {-76, -75}, {14, 15}, {-74, -73}, {-72, -71},
    {17, 20}, {18, 19}, {-70, -59}, {-58, -57}, {21, 22}, {-56, -55}, {-54, 23}, {-53, -52},
};
