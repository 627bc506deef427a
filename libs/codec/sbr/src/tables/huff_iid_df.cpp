// Huffman code huff_iid_df of MPEG-4 parametric stereo: intensity differences, normal steps, across frequency: deltas -14..14.
// Decoding tree: a bit picks entry 0 or 1 of the node; a value of 0 or more is the next
// node, a negative one a leaf whose value + 64 is the decoded delta.
#include "SbrHuffman.h"

const SbrHuffmanNode huff_iid_df[28] = {
    {-64, 1}, {2, 3}, {-63, -65}, {4, 5}, {-62, -66}, {6, 7}, {-61, -67}, {8, 9},
    {-68, -60}, {-59, 10}, {-69, 11}, {-58, 12}, {-70, 13}, {-71, 14}, {-57, 15}, {16, 17},
    {-56, -72}, {18, 19}, {-55, -54}, {20, 21}, {-73, -53}, {22, 23}, {-74, 24}, {25, 26},
    {-75, -78}, {-77, -76}, {-52, 27}, {-51, -50},
};
