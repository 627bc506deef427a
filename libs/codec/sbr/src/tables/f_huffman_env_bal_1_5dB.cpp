// Huffman code f_huffman_env_bal_1_5dB of MPEG-4 SBR: balance envelope values at 1.5 dB steps, across frequency: deltas -24..24.
// Decoding tree: a bit picks entry 0 or 1 of the node; a value of 0 or more is the next
// node, a negative one a leaf whose value + 64 is the decoded delta.
#include "SbrHuffman.h"

const SbrHuffmanNode f_huffman_env_bal_1_5dB[48] = {
    {-64, 1}, {-65, 2}, {-63, 3}, {-66, 4}, {-62, 5}, {-61, 6}, {-67, 7}, {-68, 8},
    {-60, 9}, {10, 11}, {-69, -59}, {-70, 12}, {-58, 13}, {14, 17}, {-71, 15}, {-57, 16},
    {-56, -73}, {18, 32}, {19, 25}, {20, 22}, {-72, 21}, {-88, -87}, {23, 24}, {-86, -85},
    {-84, -83}, {26, 29}, {27, 28}, {-82, -81}, {-80, -79}, {30, 31}, {-78, -77}, {-76, -75},
    {33, 40}, {34, 37}, {35, 36}, {-74, -55}, {-54, -53}, {38, 39}, {-52, -51}, {-50, -49},
    {41, 44}, {42, 43}, {-48, -47}, {-46, -45}, {45, 46}, {-44, -43}, {-42, 47}, {-41, -40},
};
