// Huffman code huff_iid_dt of MPEG-4 parametric stereo: intensity differences, normal steps, across time: deltas -14..14.
// Decoding tree: a bit picks entry 0 or 1 of the node; a value of 0 or more is the next
// node, a negative one a leaf whose value + 64 is the decoded delta.
#include "SbrHuffman.h"

const SbrHuffmanNode huff_iid_dt[28] = {
    {-64, 1}, {-65, 2}, {-63, 3}, {-66, 4}, {-62, 5}, {-67, 6}, {-61, 7}, {-68, 8},
    {-60, 9}, {-69, 10}, {-59, 11}, {-70, 12}, {-58, 13}, {-57, 14}, {-71, 15}, {16, 17},
    {-56, -72}, {18, 19}, {20, 21}, {22, 23}, {-55, -78}, {-77, -76}, {24, 25}, {26, 27},
    {-75, -74}, {-73, -54}, {-53, -52}, {-51, -50},
};
