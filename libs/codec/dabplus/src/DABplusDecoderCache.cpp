#include "DABplusDecoderCache.h"

#include "DABplusDecoder.h"

#include <iterator>

namespace {

enum class Width { Bits8, Bits16, Bits32 };

struct Slot
{
    int32_t id;       // DAB+ decoder id
    Width width;
    int32_t aacId;    // 0: not an AAC parameter
    int32_t layer2Id; // 0: not a Layer II parameter
};

// Ids 0 and 1 lead; their forwarding is special.
constexpr int InterleavedSlot = 0;
constexpr int OutputChannelsSlot = 1;
constexpr int DrcTargetSlot = 15;
constexpr int32_t DrcTargetUnset = -2;
constexpr Slot Slots[DABplusDecoderCacheSlots] = {
    {0, Width::Bits32, 0, 1},
    {1, Width::Bits32, AACDEC_PARAM_OUTPUT_CHANNELS, LAYER2DEC_PARAM_OUTPUT_CHANNELS},
    {16, Width::Bits32, 16, 0},
    {17, Width::Bits32, 17, 0},
    {18, Width::Bits32, 18, 0},
    {256, Width::Bits32, 257, 0},
    {257, Width::Bits32, 258, 0},
    {258, Width::Bits32, 259, 0},
    {259, Width::Bits32, 260, 0},
    {512, Width::Bits32, 0, 258},
    {513, Width::Bits32, 0, 259},
    {514, Width::Bits32, 0, 260},
    {515, Width::Bits32, 0, 261},
    {768, Width::Bits16, 512, 0},
    {769, Width::Bits16, 513, 0},
    {770, Width::Bits16, 514, 0},
    {518, Width::Bits32, 0, 264},
    {519, Width::Bits32, 0, 265},
    {1024, Width::Bits16, 0, 513},
    {1280, Width::Bits8, 1280, 769},
    {1281, Width::Bits8, 1289, 787},
    {1285, Width::Bits8, 1285, 788},
    {1286, Width::Bits8, 1286, 789},
    {1287, Width::Bits16, 1287, 790},
    {1288, Width::Bits16, 1288, 791},
    {1536, Width::Bits8, 768, 1025},
};
static_assert(Slots[DrcTargetSlot].id == 770);

// Output channel modes 0..4 as channel layouts: no limit, mono, stereo, binaural
// stereo, 5.1.
constexpr int32_t ModeLayouts[] = {-1, 1, 2, 2, 6};
constexpr int32_t BinauralMode = 3;

// The replay orders; -1 stands for the fixed concealment method, -2 for the
// binaural flag.
constexpr int32_t FixedConcealMethod = 2;
constexpr int32_t AacReplay[] = {1, 16, 17, 18, -1, 256, 257, 258, 259, 768, 769, 770, 1280, -2, 1281, 1285, 1286, 1287,
                                 1288, 1536};
constexpr int32_t Layer2Replay[] = {0, 1, 512, 513, 514, 515, 518, 519, 1024, 1280, -2, 1281, 1285, 1286, 1287, 1288,
                                    1536};

int32_t unsetOf(Width width)
{
    return width == Width::Bits8 ? 0xFF : -1;
}

int32_t narrowed(Width width, int32_t value)
{
    switch (width) {
    case Width::Bits8: return static_cast<uint8_t>(value);
    case Width::Bits16: return static_cast<int16_t>(value);
    default: return value;
    }
}

int slotOf(int32_t id)
{
    for (int i = 0; i < DABplusDecoderCacheSlots; ++i)
        if (Slots[i].id == id)
            return i;
    return -1;
}

bool isSet(const DABplusDecoderCache *cache, int slot)
{
    if (slot == DrcTargetSlot)
        return cache->value[slot] > DrcTargetUnset;
    return cache->value[slot] != unsetOf(Slots[slot].width);
}

// A forward is accepted when the decoder took it or is not open.
bool aacAccepted(int r)
{
    return r == AACDEC_OK || r == AACDEC_INVALID_HANDLE;
}

bool layer2Accepted(Layer2DecResult r)
{
    return r == LAYER2DEC_OK || r == LAYER2DEC_INVALID_HANDLE;
}

} // namespace

void DABplusDecoderCache_Init(DABplusDecoderCache *cache)
{
    for (int i = 0; i < DABplusDecoderCacheSlots; ++i)
        cache->value[i] = unsetOf(Slots[i].width);
    cache->value[InterleavedSlot] = 1;
    cache->value[DrcTargetSlot] = DrcTargetUnset;
    cache->binaural = 0xFF;
}

int DABplusDecoderCache_Set(DABplusDecoderCache *cache, int32_t id, int32_t value, bool surround, AacDecHandle aac,
                            Layer2DecHandle layer2)
{
    const int slot = slotOf(id);
    if (slot < 0)
        return DABPLUS_DEC_UNKNOWN_PARAM;
    const Slot &s = Slots[slot];
    if (slot == InterleavedSlot) {
        Layer2Dec_SetParam(layer2, s.layer2Id, value);
        cache->value[slot] = value;
        return value == 0 ? DABPLUS_DEC_PARAM_REJECTED : DABPLUS_DEC_OK;
    }
    bool accepted = true;
    if (slot == OutputChannelsSlot) {
        if (value < 0 || value > 4)
            return DABPLUS_DEC_PARAM_REJECTED;
        const int32_t layout = ModeLayouts[value];
        const uint8_t binaural = value == BinauralMode ? 1 : 0;
        accepted = aacAccepted(AacDec_SetParam(aac, s.aacId, layout));
        if (surround)
            accepted = aacAccepted(AacDec_SetParam(aac, AACDEC_PARAM_SURROUND_BINAURAL, binaural)) && accepted;
        accepted = layer2Accepted(Layer2Dec_SetParam(layer2, s.layer2Id, layout)) && accepted;
        if (surround)
            accepted = layer2Accepted(Layer2Dec_SetParam(layer2, LAYER2DEC_PARAM_SPATIAL_OUTPUT_MODE, binaural)) &&
                       accepted;
        if (!accepted)
            return DABPLUS_DEC_PARAM_REJECTED;
        cache->value[slot] = layout;
        cache->binaural = binaural;
        return DABPLUS_DEC_OK;
    }
    if (s.aacId)
        accepted = aacAccepted(AacDec_SetParam(aac, s.aacId, value));
    if (s.layer2Id)
        accepted = layer2Accepted(Layer2Dec_SetParam(layer2, s.layer2Id, value)) && accepted;
    if (!accepted)
        return DABPLUS_DEC_PARAM_REJECTED;
    cache->value[slot] = narrowed(s.width, value);
    return DABPLUS_DEC_OK;
}

namespace {

// Replays the slots of a list in order, unset ones skipped; the binaural flag
// (-2) only with a surround decoder, and an unset last slot ends the replay. The
// first refusal gives 3.
template <typename Send>
int replay(const DABplusDecoderCache *cache, const int32_t *ids, size_t count, bool surround, Send send)
{
    for (size_t i = 0; i < count; ++i) {
        const int32_t id = ids[i];
        bool accepted = true;
        if (id == -1) {
            accepted = send(-1, FixedConcealMethod);
        } else if (id == -2) {
            if (!surround || cache->binaural == 0xFF)
                continue;
            accepted = send(-2, cache->binaural);
        } else {
            const int slot = slotOf(id);
            if (!isSet(cache, slot)) {
                if (i + 1 == count)
                    return DABPLUS_DEC_OK;
                continue;
            }
            accepted = send(slot, cache->value[slot]);
        }
        if (!accepted)
            return DABPLUS_DEC_PARAM_REJECTED;
    }
    return DABPLUS_DEC_OK;
}

} // namespace

int DABplusDecoderCache_ReplayAac(const DABplusDecoderCache *cache, AacDecHandle aac, bool surround)
{
    if (!aac)
        return DABPLUS_DEC_SETUP_FAILED;
    if (cache->value[InterleavedSlot] == 0)
        return DABPLUS_DEC_PARAM_REJECTED;
    return replay(cache, AacReplay, std::size(AacReplay), surround, [&](int slot, int32_t value) {
        const int32_t id = slot == -1   ? int32_t(AACDEC_PARAM_CONCEAL_METHOD)
                           : slot == -2 ? int32_t(AACDEC_PARAM_SURROUND_BINAURAL)
                                        : Slots[slot].aacId;
        return aacAccepted(AacDec_SetParam(aac, id, value));
    });
}

int DABplusDecoderCache_ReplayLayer2(const DABplusDecoderCache *cache, Layer2DecHandle layer2, bool surround)
{
    if (!layer2)
        return DABPLUS_DEC_SETUP_FAILED;
    return replay(cache, Layer2Replay, std::size(Layer2Replay), surround, [&](int slot, int32_t value) {
        const int32_t id = slot == -2 ? int32_t(LAYER2DEC_PARAM_SPATIAL_OUTPUT_MODE) : Slots[slot].layer2Id;
        return layer2Accepted(Layer2Dec_SetParam(layer2, id, value));
    });
}
