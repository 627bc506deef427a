// Tree walk for the SBR and parametric-stereo codes.
#include "SbrHuffman.h"

int SbrDec_DecodeHuffman(RezBitStream *bs, const SbrHuffmanNode *tree)
{
    int node = 0;
    do
        node = tree[node][RezTools_BitStreamReadBit(bs)];
    while (node >= 0);
    return node + SBR_HUFFMAN_LEAF_OFFSET;
}
