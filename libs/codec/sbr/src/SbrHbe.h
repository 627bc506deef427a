// Harmonic high-band generation: the low band, resolved twice as finely as the QMF
// bands, is transposed by the factors 2, 3 and 4 by multiplying the phase of each
// sample while keeping its magnitude, so that the harmonics of a tone land on harmonics.
// This holds the transposer's band layout, the crossover bands that split the SBR range
// between the factors, and the per-band transposition kernel.
#ifndef SBR_HBE_H
#define SBR_HBE_H

#include <stdint.h>

#include "SbrFrequencyTables.h"

#define SBR_HBE_MAX_CROSSOVER 6
#define SBR_HBE_BANDS 64
// Results besides 0.
#define SBR_HBE_OUT_OF_MEMORY 4
#define SBR_HBE_UNSUPPORTED 6

#ifdef __cplusplus
extern "C" {
#endif

typedef struct SbrHbeTransposer {
    int frameSize;      // samples per frame
    int slotCount;      // HBE time slots of a frame (noCols)
    int analysisBands;  // frame size / slot count
    int fourToOne;      // four times the core rate
    int crossProducts[3]; // per factor 2, 3, 4
    int kx;             // first SBR band
    int stopBand;       // last high-resolution border
    int synthesisBandCount;
    int firstTransposedBand; // first QMF band of the low band that is transposed
    uint8_t crossoverBands[SBR_HBE_MAX_CROSSOVER];
    int highestOrder; // 2..4
} SbrHbeTransposer;

// A transposer for frames of frameSize samples; 0, or SBR_HBE_OUT_OF_MEMORY. A null
// handle pointer does nothing.
int SbrDec_HbeCreate(SbrHbeTransposer **transposer, int frameSize, int disableCrossProducts, int fourToOne);
void SbrDec_HbeClose(SbrHbeTransposer *transposer);

// Lays the transposer out for a header's band tables: the transposed low band and the
// crossover bands. 0, or SBR_HBE_UNSUPPORTED for a first SBR band from 36 on.
int SbrDec_HbeReInit(SbrHbeTransposer *transposer, const SbrBandTables *tables);

// The crossover bands and the highest factor, for the limiter bands.
const uint8_t *SbrDec_HbeCrossoverBands(const SbrHbeTransposer *transposer);
int SbrDec_HbeHighestOrder(const SbrHbeTransposer *transposer);

// (a · b) in Q31 for complex a, b.
void SbrDec_HbeComplexMultiply(int32_t aRe, int32_t aIm, int32_t bRe, int32_t bIm, int32_t *outRe, int32_t *outIm);

// x^(-1/4), x^(-1/3) and x^(-3/8) of x = m · 2^e (m a Q31 mantissa, x > 0) as a mantissa
// with its exponent.
int32_t SbrDec_HbeRoot4(int32_t m, int e, int *eOut);
int32_t SbrDec_HbeRoot3(int32_t m, int e, int *eOut);
int32_t SbrDec_HbeRoot38(int32_t m, int e, int *eOut);

// Shifts a complex pair left by its joint headroom less two bits, never by more than
// budget; returns the shift.
int SbrDec_HbeNormalisePair(int32_t *re, int32_t *im, int budget);

// x^T / |x|^(T-1) for T = 2, 3, 4: the phase multiplied by T, the magnitude kept.
void SbrDec_HbeTransposeBand(int32_t re, int32_t im, int order, int32_t *outRe, int32_t *outIm);

// One row of the finely resolved low band (band b at QMF frequency firstTransposedBand
// + b / 2) transposed into the SBR range of one output row: band k of factor T's
// crossover range comes from the band at QMF frequency k / T, between two fine bands
// weighted by distance; each factor carries its output weight. The output bands below
// the first crossover band stay as they are.
void SbrDec_HbeTransposeRow(const SbrHbeTransposer *transposer, const int32_t *inReal, const int32_t *inImag,
                            int32_t *outReal, int32_t *outImag);

#ifdef __cplusplus
}
#endif

#endif
