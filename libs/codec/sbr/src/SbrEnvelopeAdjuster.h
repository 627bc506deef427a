// Envelope adjustment of the generated high band: the limiter band table, the gains that
// bring each band's energy to the transmitted envelope (limited per limiter band, with
// the lost energy boosted back), the noise and sinusoid levels, and the sinusoids.
#ifndef SBR_ENVELOPE_ADJUSTER_H
#define SBR_ENVELOPE_ADJUSTER_H

#include <stdint.h>

#include "SbrFrequencyTables.h"
#include "SbrLpp.h"

// QMF bands of the SBR range at most, and limiter bands.
#define SBR_MAX_ADJUSTED_BANDS 56
#define SBR_MAX_LIMITER_BANDS 12
// Sine-mapping entry of a band without a sinusoid.
#define SBR_NO_SINE 32

#ifdef __cplusplus
extern "C" {
#endif

// One envelope's levels per QMF band of the SBR range (index 0 = first SBR band), each a
// Q31 mantissa m with exponent e for the value m · 2^e.
typedef struct SbrBandLevels {
    int32_t referenceEnergy[SBR_MAX_ADJUSTED_BANDS]; // transmitted envelope energy
    int8_t referenceExponent[SBR_MAX_ADJUSTED_BANDS];
    int32_t estimatedEnergy[SBR_MAX_ADJUSTED_BANDS]; // energy of the generated high band
    int8_t estimatedExponent[SBR_MAX_ADJUSTED_BANDS];
    int32_t noiseFloor[SBR_MAX_ADJUSTED_BANDS]; // Q of the band's noise band
    int8_t noiseFloorExponent[SBR_MAX_ADJUSTED_BANDS];
    uint8_t sineInScaleFactorBand[SBR_MAX_ADJUSTED_BANDS]; // the band's scale-factor band sounds a sinusoid
    uint8_t sineHere[SBR_MAX_ADJUSTED_BANDS];              // the sinusoid sits in this band
} SbrBandLevels;

// Results per band: amplitude gain, noise and sine amplitudes (square roots of the
// energy-domain values), as mantissa and exponent.
typedef struct SbrBandGains {
    int32_t gain[SBR_MAX_ADJUSTED_BANDS];
    int8_t gainExponent[SBR_MAX_ADJUSTED_BANDS];
    int32_t noiseLevel[SBR_MAX_ADJUSTED_BANDS];
    int8_t noiseExponent[SBR_MAX_ADJUSTED_BANDS];
    int32_t sineLevel[SBR_MAX_ADJUSTED_BANDS];
    int8_t sineExponent[SBR_MAX_ADJUSTED_BANDS];
} SbrBandGains;

// Per channel, kept across frames.
typedef struct SbrEnvelopeAdjuster {
    // Amplitude gains and noise levels of the last slot of the previous envelope, which
    // the first slots of the next one are smoothed against (complex mode only).
    int32_t smoothedGains[SBR_MAX_ADJUSTED_BANDS];
    int32_t smoothedNoiseLevels[SBR_MAX_ADJUSTED_BANDS];
    int8_t smoothedNoiseExponent; // common to smoothedNoiseLevels
    int8_t smoothedGainExponents[SBR_MAX_ADJUSTED_BANDS];
    // Set by a reset: the next envelope loads the smoothing state from its own gains.
    uint8_t firstEnvelopePending;
    // 0 when the previous frame's transient envelope was its last one, else -1.
    int8_t previousTransientEnvelope;
    uint64_t previousSineBands; // one bit per QMF band that carried a sinusoid last frame
    uint8_t sinePhase;          // 0..3, advanced once per slot
    uint16_t noiseTablePosition; // 0..511, advanced by the SBR band count per slot
    uint64_t previousActiveSineBands;
} SbrEnvelopeAdjuster;

// A channel starts again: the noise sequence from its start, and the first envelope is
// not smoothed against stale gains.
void SbrDec_EnvelopeAdjusterRestart(SbrEnvelopeAdjuster *envCalc);

// A new header: the sinusoid history, the phases and the smoothing state are cleared.
// Channel 0 also rebuilds the element's band tables from the header and returns that
// result (SBR_BANDS_UNSUPPORTED); other channels return 0.
int SbrDec_EnvelopeAdjusterReset(SbrEnvelopeAdjuster *envCalc, const SbrBandRequest *request,
                                 SbrBandTables *tables, int channel);

// Where the frame's sinusoids start: per QMF band of the SBR range (index 0 = kx) the
// envelope from which a sinusoid sounds, SBR_NO_SINE for none. A sinusoid sits in the
// middle QMF band of its high-resolution band; one that continues from the previous frame
// sounds from envelope 0, a new one from the transient envelope (0 when the frame has
// none). sineFlags: one per high-resolution band.
void SbrDec_SineMapping(SbrEnvelopeAdjuster *envCalc, const uint8_t *freqBandTableHi, int nSfbHi,
                        const uint8_t *sineFlags, int transientEnvelope, uint8_t *sineMapped);

// The sinusoid flags of envelope l in levels: a QMF band sounds its sinusoid from its
// sine-mapping entry on, and every band of a scale-factor band (freqBandTable: edges of
// the envelope's resolution, nSfb bands from the first SBR band) in which one sounds
// counts as having one.
void SbrDec_EnvelopeSineFlags(const uint8_t *sineMapped, const uint8_t *freqBandTable, int nSfb, int envelope,
                              SbrBandLevels *levels);

// Envelope l adds no noise and is not smoothed when it is the frame's transient envelope
// or follows a transient at the previous frame's end.
int SbrDec_EnvelopeWithoutNoise(const SbrEnvelopeAdjuster *envCalc, int envelope, int transientEnvelope);

// End of a frame of envelopeCount envelopes: a transient at its end carries over.
void SbrDec_EndOfFrameTransient(SbrEnvelopeAdjuster *envCalc, int transientEnvelope, int envelopeCount);

// Mean energy |X|^2 (real mode: X_re^2) of the QMF bands [kx, kx + bandCount) over the
// slots [startSlot, stopSlot), in units of a squared sample word: per QMF band, or with
// the same mean for every band of a scale-factor band (freqBandTable: its edges, absolute,
// nSfb bands from kx on).
void SbrDec_EstimateEnergyPerBand(int32_t *const *qmfReal, int32_t *const *qmfImag, int realMode, int startSlot,
                                  int stopSlot, int kx, int bandCount, int32_t *energy, int8_t *exponent);
void SbrDec_EstimateEnergyPerSfb(int32_t *const *qmfReal, int32_t *const *qmfImag, int realMode, int startSlot,
                                 int stopSlot, const uint8_t *freqBandTable, int nSfb, int32_t *energy,
                                 int8_t *exponent);

// Limiter band borders relative to the first SBR band (count + 1 of them) from the
// low-resolution band edges and the patch starts; 0, or SBR_LPP_UNSUPPORTED for an
// empty or more than 12-band table. limiterBands is the header's 2-bit field. Without
// lppPatching and with harmonicBorders (the harmonic transposer's crossover bands) the
// patch starts are the leading crossover bands, as many as the list has non-zero
// entries among positions 1..5 in four-to-one mode (harmonicMode 1), else 1..3.
int SbrDec_LimiterBands(uint8_t *limiterBandTable, uint8_t *limiterBandCount, const uint8_t *freqBandTableLo,
                        int nSfbLo, const SbrPatch *patches, int patchCount, int limiterBands, int lppPatching,
                        const uint8_t *harmonicBorders, int harmonicMode);

// Square root of m · 2^e as a pair; 0 stays 0.
int32_t SbrDec_Sqrt(int32_t m, int e, int *eOut);

// Energy-domain gain, noise and sine level of band k of one envelope (before limiting).
void SbrDec_SubbandGain(const SbrBandLevels *levels, int k, int noNoise, int32_t *gain, int *gainExponent,
                        int32_t *noise, int *noiseExponent, int32_t *sine, int *sineExponent);

// Σ reference / Σ estimated energy over the bands [lo, hi) as a pair.
int32_t SbrDec_AverageGain(const SbrBandLevels *levels, int lo, int hi, int *eOut);

// The gains of one envelope over the bands [0, bandCount): per band, limited per limiter
// band to the average gain times the limiter gain (limiterGains: the header's 2-bit
// field; a concealed frame never above 1.0), the energy lost by limiting boosted back
// (at most 4 dB), then as amplitudes.
void SbrDec_EnvelopeGains(const SbrBandLevels *levels, int bandCount, const uint8_t *limiterBandTable,
                          int limiterBandCount, int limiterGains, int noNoise, int frameError, SbrBandGains *out);

// Real mode: the gains of neighbouring aliased bands (aliasDegree per QMF band, from the
// generator) are pulled towards their group's energy-weighted mean gain in groups of up
// to four bands without sinusoids; each group keeps its energy Σ gain · E_est.
void SbrDec_AliasingReduction(SbrBandGains *gains, const SbrBandLevels *levels, const int32_t *aliasDegree, int kx,
                              int bandCount);

// Inter-subband-sample temporal envelope shaping of one envelope's slots [startSlot,
// stopSlot): the high band [kx, highStop) of each slot follows the low band's temporal
// shape (gain 1 + γ(√r − 1), at least 0.2, r the slot's share of the low-band energy,
// γ = 1, 2, 4 for shape modes 1..3) while its energy over the envelope stays. Mode 0
// leaves the slots alone. Samples of one envelope share one exponent.
void SbrDec_InterTes(int32_t *const *qmfReal, int32_t *const *qmfImag, int startSlot, int stopSlot, int kx,
                     int highStop, int shapeMode);

// Sinusoids of one slot added to the SBR bands [0, bandCount) of the slot (qmfReal and
// qmfImag point at the first SBR band, firstBand its QMF index): sine phase 0 adds the
// level to the real part, 2 subtracts it; 1 adds it to the imaginary part of bands of
// even QMF index and subtracts it in odd ones, 3 the reverse. sineLevel holds amplitudes
// already at the slot's scale.
void SbrDec_AddSinusoids(int32_t *qmfReal, int32_t *qmfImag, const int32_t *sineLevel, int bandCount, int firstBand,
                         int sinePhase);

#ifdef __cplusplus
}
#endif

#endif
