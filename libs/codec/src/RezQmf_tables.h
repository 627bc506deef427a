// QMF prototypes and twiddle sets (tools/codec/make_transform_tables.py qmf).
#ifndef REZ_QMF_TABLES_H
#define REZ_QMF_TABLES_H

#include <stdint.h>

// Prototypes as groups of five Q15 coefficients: group i, coefficient m at 5 i + m.
extern const int16_t RezTools_QmfPrototype640[325]; // groups 0..64, read with a stride
extern const int16_t RezTools_QmfPrototype12[65];
extern const int16_t RezTools_QmfPrototype20[105];
extern const int16_t RezTools_QmfPrototype24[125];
extern const int16_t RezTools_QmfPrototype40[205];

// Twiddle sets: entry k holds cos and sin (Q15) of pi (2k + 1) (64 + B) / (256 B); the
// second 32-band set of pi (2k + 1) / 64.
extern const int16_t RezTools_QmfTwiddleCos16[16];
extern const int16_t RezTools_QmfTwiddleSin16[16];
extern const int16_t RezTools_QmfTwiddleCos24[24];
extern const int16_t RezTools_QmfTwiddleSin24[24];
extern const int16_t RezTools_QmfTwiddleCos32[32];
extern const int16_t RezTools_QmfTwiddleSin32[32];
extern const int16_t RezTools_QmfTwiddleCos32B[32];
extern const int16_t RezTools_QmfTwiddleSin32B[32];
extern const int16_t RezTools_QmfTwiddleCos40[40];
extern const int16_t RezTools_QmfTwiddleSin40[40];
extern const int16_t RezTools_QmfTwiddleCos64[64];
extern const int16_t RezTools_QmfTwiddleSin64[64];

#endif
