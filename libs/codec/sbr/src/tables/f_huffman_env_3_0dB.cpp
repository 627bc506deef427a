// Huffman code f_huffman_env_3_0dB of MPEG-4 SBR: envelope values at 3 dB steps, across frequency (also noise floors across frequency): deltas -31..31.
// Decoding tree: a bit picks entry 0 or 1 of the node; a value of 0 or more is the next
// node, a negative one a leaf whose value + 64 is the decoded delta.
#include "SbrHuffman.h"

const SbrHuffmanNode f_huffman_env_3_0dB[62] = {
    {-64, 1}, {-65, 2}, {-63, 3}, {-66, 4}, {-62, 5}, {-67, 6}, {7, 8}, {-61, -68},
    {9, 10}, {-60, -69}, {11, 12}, {-59, -70}, {13, 14}, {-58, -71}, {15, 16}, {-57, -72},
    {17, 19}, {-56, 18}, {-55, -73}, {20, 24}, {21, 22}, {-74, -54}, {-53, 23}, {-75, -76},
    {25, 30}, {26, 27}, {-52, -51}, {28, 29}, {-77, -79}, {-50, -49}, {31, 39}, {32, 35},
    {33, 34}, {-78, -46}, {-82, -88}, {36, 37}, {-83, -48}, {-47, 38}, {-86, -85}, {40, 47},
    {41, 44}, {42, 43}, {-80, -44}, {-43, -42}, {45, 46}, {-39, -87}, {-84, -40}, {48, 55},
    {49, 52}, {50, 51}, {-95, -94}, {-93, -92}, {53, 54}, {-91, -90}, {-89, -81}, {56, 59},
    {57, 58}, {-45, -41}, {-38, -37}, {60, 61}, {-36, -35}, {-34, -33},
};
