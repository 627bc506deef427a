// Tables of the channel element syntax lists and loudspeaker layouts.
#ifndef REZ_CHANNEL_ELEMENT_TABLES_H
#define REZ_CHANNEL_ELEMENT_TABLES_H

#include "RezTools.h"

extern const RezChannelElementSyntax RezTools_SyntaxAacMono;
extern const RezChannelElementSyntax RezTools_SyntaxAacStereo;
extern const RezChannelElementSyntax RezTools_SyntaxAacCoupling;
extern const RezChannelElementSyntax RezTools_SyntaxUsacMono;
extern const RezChannelElementSyntax RezTools_SyntaxUsacStereo;
extern const RezChannelElementSyntax RezTools_SyntaxUsacLowFrequency;
extern const RezChannelElementSyntax RezTools_SyntaxErMono;
extern const RezChannelElementSyntax RezTools_SyntaxErStereo;
extern const RezChannelElementSyntax RezTools_SyntaxResidualMono;
extern const RezChannelElementSyntax RezTools_SyntaxResidualStereo;

extern const RezSpeakerPosition RezTools_SpeakerPositions[43];

struct RezSpeakerLayout {
    uint16_t layout;      // layout index
    uint8_t count;        // loudspeakers, at most 32
    uint8_t positions[32]; // index into RezTools_SpeakerPositions per loudspeaker
};
extern const RezSpeakerLayout RezTools_SpeakerLayouts[19];

#endif
