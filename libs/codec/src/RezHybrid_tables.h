// Coefficients of the hybrid filter bank (the parametric stereo hybrid filters).
#ifndef REZ_HYBRID_TABLES_H
#define REZ_HYBRID_TABLES_H

#include <stdint.h>

// 2-band filter: the Q15 coefficients of taps 1 and 11, 3 and 9, 5 and 7 (centre 0.5).
extern const int16_t RezTools_Hybrid2Coefficients[3];
// 8-band filter: tap n (0..12) holds h(n) = g8(n) e^(-j pi (n - 6) / 8), real and
// imaginary parts in Q15.
extern const int16_t RezTools_Hybrid8Real[13];
extern const int16_t RezTools_Hybrid8Imag[13];
// 4-band prototype g4, tap n (0..12), Q15 (centre 0.25).
extern const int16_t RezTools_Hybrid4Prototype[13];
// Ring positions 0..12 twice, so that 13 entries from any start walk the ring.
extern const int32_t RezTools_HybridRingIndex[26];

#endif
