// Huffman code huff_icc_dt of MPEG-4 parametric stereo: coherence, across time: deltas -7..7.
// Decoding tree: a bit picks entry 0 or 1 of the node; a value of 0 or more is the next
// node, a negative one a leaf whose value + 64 is the decoded delta.
#include "SbrHuffman.h"

const SbrHuffmanNode huff_icc_dt[14] = {
    {-64, 1}, {-63, 2}, {-65, 3}, {-62, 4}, {-66, 5}, {-61, 6}, {-67, 7}, {-60, 8},
    {-68, 9}, {-59, 10}, {-69, 11}, {-58, 12}, {-70, 13}, {-71, -57},
};
