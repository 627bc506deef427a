// Channel element syntax list selection and loudspeaker layout lookup.
#include "RezChannelElement_tables.h"
#include "RezTools.h"

extern "C" {

const RezChannelElementSyntax *RezTools_GetChannelElementSyntax(uint32_t objectType, uint32_t, uint32_t channels,
                                                                uint32_t, uint32_t flags)
{
    const bool mono = channels == 1;
    switch (objectType) {
    case 2:
    case 5:
    case 29:
        if (flags & 0x1)
            return &RezTools_SyntaxAacCoupling;
        return mono ? &RezTools_SyntaxAacMono : &RezTools_SyntaxAacStereo;
    case 42:
    case 50:
        if (flags & 0x20)
            return &RezTools_SyntaxUsacLowFrequency;
        return mono ? &RezTools_SyntaxUsacMono : &RezTools_SyntaxUsacStereo;
    case 143:
    case 144:
    case 145:
    case 146:
        return mono ? &RezTools_SyntaxErMono : &RezTools_SyntaxErStereo;
    case 256:
        return mono ? &RezTools_SyntaxResidualMono : &RezTools_SyntaxResidualStereo;
    default:
        return nullptr;
    }
}

int RezTools_ChannelElementTableLookup(uint32_t layout, RezSpeakerPosition *descriptors, int *ordinary,
                                       int *lowFrequency)
{
    for (const RezSpeakerLayout &row : RezTools_SpeakerLayouts) {
        if (row.layout != layout)
            continue;
        int low = 0;
        for (int i = 0; i < row.count; ++i) {
            const RezSpeakerPosition &position = RezTools_SpeakerPositions[row.positions[i]];
            if (descriptors)
                descriptors[i] = position;
            low += position.isLowFrequency ? 1 : 0;
        }
        *ordinary = row.count - low;
        *lowFrequency = low;
        return 0;
    }
    *ordinary = -1;
    *lowFrequency = -1;
    return REZ_LAYOUT_UNKNOWN;
}

int RezTools_ChannelElementCount(uint32_t layout, int *total)
{
    int ordinary = 0, lowFrequency = 0;
    const int result = RezTools_ChannelElementTableLookup(layout, nullptr, &ordinary, &lowFrequency);
    *total = ordinary + lowFrequency;
    return result;
}

} // extern "C"
