// Concealment of one channel: a lost frame repeats the last good spectrum with
// random signs while the output fades out by the fade-out table, then mutes, and
// fades back in by the fade-in table when good frames return. Interpolation plays
// every frame one frame late, so that a single lost frame can be made from both of
// its good neighbours; its fades follow the loss a frame later.
#pragma once

#include "aac_conceal.h"
#include "aac_spectral.h"

#include <cstdint>

enum AacConcealState : uint8_t {
    AacConcealNormal = 0,
    AacConcealSingleLoss = 1,
    AacConcealFadeIn = 2,
    AacConcealMuted = 3,
    AacConcealFadeOut = 4,
};

struct AacDecConcealChannel
{
    // The last good frame received; with interpolation it is also the frame that
    // waits to be played at the next call.
    AacDecSpectrum lastSpectrum;
    AacDecIcsInfo lastIcs;
    uint8_t haveLast;
    uint8_t previousGood;       // the frame before the last call's
    uint8_t currentGood;        // the last call's frame
    uint8_t state;              // AacConcealState
    uint8_t previousState;      // of the time-domain stage's last frame
    uint8_t gainStarted;        // endGain holds a gain
    int32_t attenuationIndex;
    int32_t goodFrames;         // consecutive good frames outside the normal state
    uint32_t signIndex;         // 0..511
    int32_t endGain;            // Q31, where the last frame's gain ended
    uint32_t noiseSeed;         // comfort noise
    int32_t noiseHistory[2];    // the last two raw noise words, newest first
};

void AacDec_ConcealInitChannel(AacDecConcealChannel *channel);

// Before synthesis: a good frame is stored (spectrum and ics untouched); a lost one
// gets the substitute spectrum and window (or silence). frameGood is 0 for a lost
// frame. With interpolation a good frame is exchanged with the stored one, so the
// spectrum and window handed back are those of the previous call's frame (silence
// at the first), concealed as needed; sr gives the bands a lost frame is
// interpolated in. Changing the method between calls changes the delay by one
// frame: the frame waiting is played twice (to interpolation) or skipped (from it).
void AacDec_ConcealApply(AacDecConcealChannel *channel, const AacDecConcealParams *params, AacDecIcsInfo *ics,
                         AacDecSpectrum *spectrum, uint32_t frameLength, bool frameGood,
                         const AacSamplingRateInfo *sr);

// After synthesis: the fade of the state the frame left the channel in, on its
// frameLength time samples, and comfort noise while the channel is concealed.
void AacDec_ConcealTimeDomain(AacDecConcealChannel *channel, const AacDecConcealParams *params, int32_t *samples,
                              uint32_t frameLength);
