// SBR frequency band tables: from the start and stop frequencies, the frequency scale
// and the crossover of a header, the band edges (QMF channels) the decoder works on.
#ifndef SBR_FREQUENCY_TABLES_H
#define SBR_FREQUENCY_TABLES_H

#include <stdint.h>

// A master table holds at most 64 bands (65 edges).
#define SBR_MAX_MASTER_BANDS 64
#define SBR_MAX_NOISE_BANDS 5

// The header fields and stream properties the tables depend on.
typedef struct SbrBandRequest {
    uint32_t sbrRate;        // Hz, a standard rate (SbrDec_MapRate)
    uint8_t startFrequency;  // 4-bit codes as sent
    uint8_t stopFrequency;
    uint8_t frequencyScale;  // 0 linear, 1..3: 12, 10, 8 bands per octave
    uint8_t alterScale;
    uint8_t noiseBands;      // 0..3
    uint8_t crossoverBand;   // 0..7
    uint8_t coreQmfBands;    // 16 lets the low table hold 28 bands instead of 24
    uint8_t extendedSyntax;  // the k2 - k0 limits follow the extended syntax's rate classes
    uint8_t quadRate;        // 4:1 mode
} SbrBandRequest;

typedef struct SbrBandTables {
    uint8_t master[SBR_MAX_MASTER_BANDS + 1]; // edges, masterCount + 1 of them
    uint8_t masterCount;
    uint8_t high[SBR_MAX_MASTER_BANDS + 1];   // high-resolution edges (N_high + 1)
    uint8_t highCount;
    uint8_t low[SBR_MAX_MASTER_BANDS + 1];    // low-resolution edges (N_low + 1)
    uint8_t lowCount;
    uint8_t noise[SBR_MAX_NOISE_BANDS + 1];   // noise-floor edges (N_Q + 1)
    uint8_t noiseCount;
    uint8_t kx;              // first SBR channel
    uint8_t endBand;         // last edge of the SBR range
    uint8_t previousEndBand; // endBand of the tables built before
} SbrBandTables;

// Result of SbrDec_BuildBandTables besides 0: the header asks for tables the decoder
// does not support (the SBR decoder's "unsupported" code).
#define SBR_BANDS_UNSUPPORTED 6

#ifdef __cplusplus
extern "C" {
#endif

// Builds every table of the request into *tables (kept as they were on failure, except
// previousEndBand on success). 0, or SBR_BANDS_UNSUPPORTED for a rate without start
// offsets, a stop below the start, a range wider than the rate allows, an empty or
// degenerate master table, a crossover beyond it, more low bands than the decoder
// holds, a first SBR channel above 32 or more than 5 noise bands.
int SbrDec_BuildBandTables(const SbrBandRequest *request, SbrBandTables *tables);

// The standard rate a rate is decoded at: in the plain syntax the sampling-frequency
// classes of MPEG-4 audio (8000 .. 96000 Hz), in the extended syntax those from
// 16000 Hz with 40000 Hz.
uint32_t SbrDec_MapRate(uint32_t rate, int extendedSyntax);

#ifdef __cplusplus
}
#endif

#endif
