// Records shared by the parts of the downmix.
#pragma once

#include "PcmDmx.h"

#include <cstdint>

struct PcmDmxMetadata
{
    uint32_t flags; // 0x01 matrix mixdown, 0x02 centre, 0x04 surround, 0x08 A/B, 0x10 C, 0x20 D/E
    uint8_t centreMixLevel;
    uint8_t surroundMixLevel;
    uint8_t levelA;
    uint8_t levelB;
    uint8_t levelC;
    uint8_t valueE;
    uint8_t valueD;
    uint8_t matrixMixdownIndex;
    uint8_t pseudoSurround;
    uint8_t spare[3];
    uint32_t age;
};

struct PcmDmxInstance
{
    PcmDmxMetadata metadata[2]; // 0 newest, 1 previous
    int32_t mode;
    int32_t expiry;
    int32_t dualChannelMode;
    int32_t surroundStereo;
    int16_t minChannels; // -1 none
    int16_t maxChannels; // -1 none
    uint8_t delay;
    uint32_t alwaysProcess;
};

// Canonical positions: 0 centre, 1 left, 2 right, 3 left surround, 4 right
// surround, 5 low frequency, 6 and 7 the extra channels of larger layouts.
constexpr int PcmDmxPositions = 8;
constexpr int PcmDmxMaxBuffer = PCMDMX_MAX_CHANNELS;

struct PcmDmxLayout
{
    uint32_t code;                  // channel configuration code
    int8_t source[PcmDmxPositions]; // buffer channel feeding each canonical position, -1 none
    int variant;                    // inputs above six channels: 7, 11, 12 or 14; else 0
};

// 0 ok, 1 renumbered; 2 invalid type, 3 too many of one kind, 4 a channel found no place.
int PcmDmx_Classify(const uint32_t *types, const uint8_t *indices, int channels, PcmDmxLayout *layout);

// Standard layout code for an output channel count, and the canonical positions of
// its channels in the decoders' internal order.
uint32_t PcmDmx_StandardCode(int channels);
int PcmDmx_StandardPositions(int channels, int8_t positions[PcmDmxPositions]);
uint32_t PcmDmx_MapRow(int channels);

struct PcmDmxMatrix
{
    double gain[PcmDmxPositions][PcmDmxPositions]; // [output position][input position]
};

// Builds the downmix matrix for `outChannels` outputs; returns 0 or PCMDMX_NO_RULE.
int PcmDmx_DeriveMatrix(const PcmDmxInstance *dmx, const PcmDmxMetadata *meta, const PcmDmxLayout *layout,
                        int outChannels, PcmDmxMatrix *matrix);
void PcmDmx_DefaultMetadata(PcmDmxMetadata *meta);
