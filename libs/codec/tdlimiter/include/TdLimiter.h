/* TD Limiter Lib: a look-ahead peak limiter. It applies an output gain (with an
 * optional smooth transition), measures the peak of each sample instant over all
 * channels, keeps the largest peak of the attack window and delays the audio by the
 * attack length, so that the gain has come down when a peak leaves the delay line.
 *
 * Working sample format: 32-bit samples with 20 fractional bits below 16-bit full
 * scale (a Q31 value shifted right by 11); the 16-bit output is sample >> 5,
 * saturated. */
#ifndef TD_LIMITER_H
#define TD_LIMITER_H

#include <stdint.h>

#include "RezTools.h"

#ifdef __cplusplus
extern "C" {
#endif

#define TDLIMIT_OK 0
/* Null handle, or a null table for the library information. */
#define TDLIMIT_INVALID_HANDLE (-99)
/* A value above the maximum given at creation, or an unusable value (sample rate or
 * channel count 0). */
#define TDLIMIT_INVALID_PARAMETER (-98)

typedef struct TdLimiterInstance *TdLimiterHandle;

/* Creates a limiter for at most maxChannels channels at up to maxSampleRate Hz with
 * an attack of attackMs (at least one sample long) and a release of releaseMs; the
 * threshold is a Q31 level. Returns null for a zero channel count or sample rate, or
 * when memory is short. */
TdLimiterHandle TdLimiter_Create(uint32_t attackMs, uint32_t releaseMs, int32_t threshold, uint32_t maxChannels,
                                 uint32_t maxSampleRate);
/* Frees the limiter; null does nothing. */
void TdLimiter_Destroy(TdLimiterHandle handle);
/* Clears the window, the delay line and the gain history. TDLIMIT_OK or TDLIMIT_INVALID_HANDLE. */
int TdLimiter_Reset(TdLimiterHandle handle);
/* TDLIMIT_OK, TDLIMIT_INVALID_HANDLE, or TDLIMIT_INVALID_PARAMETER above the maximum
 * attack (nothing changes). */
int TdLimiter_SetAttack(TdLimiterHandle handle, uint32_t attackMs);
/* TDLIMIT_OK or TDLIMIT_INVALID_HANDLE. */
int TdLimiter_SetRelease(TdLimiterHandle handle, uint32_t releaseMs);
/* Q31 threshold. TDLIMIT_OK or TDLIMIT_INVALID_HANDLE. */
int TdLimiter_SetThreshold(TdLimiterHandle handle, int32_t threshold);
/* TDLIMIT_OK, TDLIMIT_INVALID_HANDLE, or TDLIMIT_INVALID_PARAMETER for 0 or above the maximum. */
int TdLimiter_SetNumChannels(TdLimiterHandle handle, uint32_t channels);
/* TDLIMIT_OK, TDLIMIT_INVALID_HANDLE, or TDLIMIT_INVALID_PARAMETER for 0 or above the maximum. */
int TdLimiter_SetSampleRate(TdLimiterHandle handle, uint32_t sampleRate);
/* Samples of delay the limiter adds (the attack length); 0 for null. */
uint32_t TdLimiter_GetDelay(TdLimiterHandle handle);
/* Lowest gain (Q30, 1.0 = 0x40000000) applied during the last call; 0 for null. */
int32_t TdLimiter_GetLowestGain(TdLimiterHandle handle);

/* Limits `frames` instants of interleaved working-format samples (modified in place
 * by the exponent scaling) into interleaved 16-bit output delayed by the attack
 * length. *gainMantissa (Q31) and *gainExponent give the output gain; with
 * smoothLength > 0 the previous call's gain is kept for that many instants and the
 * gain then glides to the new one. TDLIMIT_OK or TDLIMIT_INVALID_HANDLE (also for
 * null buffers or gain pointers). */
int TdLimiter_Apply(TdLimiterHandle handle, int32_t *in32, int16_t *out16, const int32_t *gainMantissa,
                    const int32_t *gainExponent, uint32_t ignored, uint32_t smoothLength, uint32_t frames);

/* 1/n as Q31 (0x7FFFFFFF for n = 0 or 1). */
int32_t TdLimiter_ReciprocalQ31(uint32_t n);

/* Registers "TD Limiter Lib" (module 35, 2.14.0, flags 0x2000) in the first free row
 * (no duplicate check), then the toolbox. 0; TDLIMIT_INVALID_PARAMETER for a null
 * table; -1 when no row is free. */
int TdLimiter_GetLibInfo(LIB_INFO *table);

/* Interleave planar PCM: out[c + j * channels] = in[c * channelStride + j]. */
void RezTools_InterleavePcm16(const int16_t *in, int16_t *out, uint32_t channels, uint32_t channelStride,
                              uint32_t frames);
void RezTools_Interleave32(const int32_t *in, int32_t *out, uint32_t channels, uint32_t channelStride,
                           uint32_t frames);

#ifdef __cplusplus
}
#endif

#endif /* TD_LIMITER_H */
