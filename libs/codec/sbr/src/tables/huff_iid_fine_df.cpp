// Huffman code huff_iid_fine_df of MPEG-4 parametric stereo: intensity differences, fine steps, across frequency: deltas -30..30.
// Decoding tree: a bit picks entry 0 or 1 of the node; a value of 0 or more is the next
// node, a negative one a leaf whose value + 64 is the decoded delta.
#include "SbrHuffman.h"

const SbrHuffmanNode huff_iid_fine_df[60] = {
    {1, -64}, {2, 3}, {4, -65}, {-63, 5}, {-66, -62}, {6, 7}, {-67, -61}, {8, 9},
    {-68, -60}, {10, 11}, {-69, -59}, {12, 13}, {-70, -58}, {14, 15}, {-57, 16}, {17, 18},
    {19, -72}, {-56, 20}, {21, -71}, {-54, 22}, {23, -74}, {24, 25}, {26, 27}, {-73, -55},
    {28, 29}, {-75, -53}, {30, 31}, {32, 33}, {-76, -52}, {34, 35}, {36, 37}, {38, 39},
    {-77, -51}, {40, 41}, {42, 43}, {-78, -50}, {44, 45}, {46, 47}, {48, 49}, {50, 51},
    {-79, -49}, {52, 53}, {54, 55}, {56, 57}, {-80, -48}, {58, 59}, {-81, -47}, {-82, -46},
    {-83, -45}, {-84, -44}, {-85, -43}, {-86, -42}, {-87, -41}, {-88, -40}, {-89, -39}, {-90, -38},
    {-91, -37}, {-92, -36}, {-93, -35}, {-94, -34},
};
