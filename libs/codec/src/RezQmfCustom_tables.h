// Constants of the custom QMF tables and the QMF resampler.
#ifndef REZ_QMF_CUSTOM_TABLES_H
#define REZ_QMF_CUSTOM_TABLES_H

#include <stdint.h>

// Per synthesis band count: where the interpolation starts in the base prototype, how
// fast it walks it, and the twiddle angle step.
struct RezQmfCustomBands {
    int32_t bands;
    int32_t offset;    // A, Q31
    int32_t scale;     // S, Q31, close to 8 / B
    int32_t angleStep; // T, radians in Q28: pi/32 - 2 pi / B
};
extern const RezQmfCustomBands RezTools_QmfCustomBands[13];

// Curvature of the base prototype, one per entry (322).
extern const int32_t RezTools_QmfCurvature[322];

struct RezQmfResampleRate {
    int32_t rate44100; // input rate that goes to 44100 Hz
    int32_t rate48000; // input rate that goes to 48000 Hz
    int32_t bands;     // synthesis bands (64 analysis bands)
};
extern const RezQmfResampleRate RezTools_QmfResampleRates[9];

#endif
