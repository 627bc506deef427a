// Huffman decoding of the SBR and parametric-stereo deltas: each code is a binary tree
// of nodes, one table file per code.
#ifndef SBR_HUFFMAN_H
#define SBR_HUFFMAN_H

#include <stdint.h>

#include "RezTools.h"

#ifdef __cplusplus
extern "C" {
#endif

// A tree node: entry [bit] is the next node (0 or more) or a leaf (negative: value - 64).
typedef int8_t SbrHuffmanNode[2];

// Leaves hold the decoded value minus this.
#define SBR_HUFFMAN_LEAF_OFFSET 64

// Reads one code word of the tree from the stream, starting at node 0; the decoded value.
int SbrDec_DecodeHuffman(RezBitStream *bs, const SbrHuffmanNode *tree);

// SBR envelope and noise-floor codes (1.5 or 3 dB steps, level or balance channel,
// deltas across time (t) or frequency (f)).
extern const SbrHuffmanNode t_huffman_env_1_5dB[120];
extern const SbrHuffmanNode f_huffman_env_1_5dB[120];
extern const SbrHuffmanNode t_huffman_env_bal_1_5dB[48];
extern const SbrHuffmanNode f_huffman_env_bal_1_5dB[48];
extern const SbrHuffmanNode t_huffman_env_3_0dB[62];
extern const SbrHuffmanNode f_huffman_env_3_0dB[62];
extern const SbrHuffmanNode t_huffman_env_bal_3_0dB[24];
extern const SbrHuffmanNode f_huffman_env_bal_3_0dB[24];
extern const SbrHuffmanNode t_huffman_noise_3_0dB[62];
extern const SbrHuffmanNode t_huffman_noise_bal_3_0dB[24];

// Parametric-stereo codes: intensity differences at normal and fine steps, coherence;
// deltas across frequency (df) or time (dt).
extern const SbrHuffmanNode huff_iid_df[28];
extern const SbrHuffmanNode huff_iid_dt[28];
extern const SbrHuffmanNode huff_iid_fine_df[60];
extern const SbrHuffmanNode huff_iid_fine_dt[60];
extern const SbrHuffmanNode huff_icc_df[14];
extern const SbrHuffmanNode huff_icc_dt[14];

#ifdef __cplusplus
}
#endif

#endif
