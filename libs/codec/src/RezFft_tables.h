// Computed tables of the FFT and the DCT/DST (tools/codec/make_transform_tables.py fft).
#ifndef REZ_FFT_TABLES_H
#define REZ_FFT_TABLES_H

#include <stdint.h>

// Packed sine tables of step 2 pi / M, M / 8 + 1 entries for the angles 0..pi/4: cos in
// the low, sin in the high half-word, Q15. The table of step 2 pi / 2048 is
// RezTools_SineTable (RezTools.h).
extern const uint32_t RezTools_SineTable4096[513];
extern const uint32_t RezTools_SineTable1536[193];
extern const uint32_t RezTools_SineTable640[81];
extern const uint32_t RezTools_SineTable1920[241];

// The 12-point kernel's twiddles W12^(c k), index (c - 1) * 2 + (k - 1), Q15.
extern const int16_t RezTools_Fft12TwiddleCos[4];
extern const int16_t RezTools_Fft12TwiddleSin[4];

// Composite FFT twiddles, index (r - 1) * (L1 - 1) + (k - 1): cos and sin of
// 2 pi r k / N in Q15 for row r and column k of an L1 x L2 kernel.
#define REZ_FFT_TWIDDLES(n) extern const int16_t RezTools_FftTwiddleCos##n[n]; extern const int16_t RezTools_FftTwiddleSin##n[n];
REZ_FFT_TWIDDLES(6)
REZ_FFT_TWIDDLES(20)
REZ_FFT_TWIDDLES(24)
REZ_FFT_TWIDDLES(30)
REZ_FFT_TWIDDLES(40)
REZ_FFT_TWIDDLES(48)
REZ_FFT_TWIDDLES(60)
REZ_FFT_TWIDDLES(80)
REZ_FFT_TWIDDLES(96)
REZ_FFT_TWIDDLES(120)
REZ_FFT_TWIDDLES(160)
REZ_FFT_TWIDDLES(192)
REZ_FFT_TWIDDLES(384)
REZ_FFT_TWIDDLES(480)
#undef REZ_FFT_TWIDDLES

// DCT-IV rotation tables: index i = 0..L/2-1 holds the angle pi (2i + 1) / (4 L), packed.
// Only the lengths without a sine window slope of the same angles.
#define REZ_DCT_ROTATION(n) extern const uint32_t RezTools_DctRotation##n[n / 2];
REZ_DCT_ROTATION(20)
REZ_DCT_ROTATION(40)
REZ_DCT_ROTATION(80)
REZ_DCT_ROTATION(160)
REZ_DCT_ROTATION(320)
REZ_DCT_ROTATION(15)
#undef REZ_DCT_ROTATION

#endif
