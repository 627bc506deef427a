// Program config element: parsing, the layouts implied by channel
// configurations, and the mapping of decoded elements to output channels.
#include "aac_config.h"

#include <cstring>

namespace {

constexpr uint8_t HeightExtensionSync = 0xAC;

// The front, side and back groups of a PCE seen alike.
struct Group
{
    const uint8_t *count;
    const uint8_t *isCpe;
    const uint8_t *tag;
    const uint8_t *height;
    uint8_t type;
};

void groups(const AacPce *pce, Group out[3])
{
    out[0] = {&pce->numFront, pce->frontIsCpe, pce->frontTag, pce->frontHeight, AacChannelFront};
    out[1] = {&pce->numSide, pce->sideIsCpe, pce->sideTag, pce->sideHeight, AacChannelSide};
    out[2] = {&pce->numBack, pce->backIsCpe, pce->backTag, pce->backHeight, AacChannelBack};
}

// Reads n (is_cpe, tag) elements; a pair seen before in any group invalidates.
bool readElements(RezBitStream *bs, uint8_t n, uint8_t *isCpe, uint8_t *tag, uint8_t *channels,
                  uint16_t seen[2])
{
    bool ok = true;
    for (uint8_t i = 0; i < n; ++i) {
        isCpe[i] = static_cast<uint8_t>(RezTools_BitStreamReadBit(bs));
        tag[i] = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 4));
        const uint16_t bit = static_cast<uint16_t>(1u << tag[i]);
        if (seen[isCpe[i]] & bit)
            ok = false;
        seen[isCpe[i]] |= bit;
        *channels = static_cast<uint8_t>(*channels + (isCpe[i] ? 2 : 1));
    }
    return ok;
}

// Height extension at the start of the comment: 2 bits per front, side and back
// element, aligned, then a CRC-8 over the extension. Returns the bytes it took (0
// when there is none) and clears the heights when it is damaged.
int readHeightExtension(AacPce *pce, RezBitStream *bs, uint32_t startBits, bool *valid)
{
    if (pce->commentBytes < 3 || RezTools_BitStreamGetValidBits(bs) < 24)
        return 0;
    const uint32_t before = RezTools_BitStreamGetValidBits(bs);
    RezCrcEngine crc;
    RezTools_CrcInit(&crc, 0x07, 0xFF, 8);
    const int region = RezTools_CrcStartRegion(&crc, bs, 0);
    if (RezTools_BitStreamReadBits(bs, 8) != HeightExtensionSync) {
        RezTools_BitStreamPushBack(bs, 8);
        return 0;
    }
    bool ok = true;
    Group g[3];
    groups(pce, g);
    uint8_t *heights[3] = {pce->frontHeight, pce->sideHeight, pce->backHeight};
    for (int k = 0; k < 3; ++k)
        for (uint8_t i = 0; i < *g[k].count; ++i) {
            heights[k][i] = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 2));
            if (heights[k][i] == 3)
                ok = false;
        }
    RezTools_BitStreamByteAlign(bs, startBits);
    RezTools_CrcEndRegion(&crc, bs, region);
    const uint32_t check = RezTools_BitStreamReadBits(bs, 8);
    if (check != RezTools_CrcGetValue(&crc) || RezTools_BitStreamGetOverrun(bs))
        ok = false;
    if (!ok) {
        for (int k = 0; k < 3; ++k)
            std::memset(heights[k], 0, PceMaxElements);
        *valid = false;
    }
    return static_cast<int>((before - RezTools_BitStreamGetValidBits(bs) + 7) / 8);
}

void addElement(uint8_t &count, uint8_t *isCpe, uint8_t *tag, uint8_t *height, uint8_t cpe, uint8_t t,
                uint8_t h = PceLayerNormal)
{
    isCpe[count] = cpe;
    tag[count] = t;
    height[count] = h;
    ++count;
}

// Channels of the three groups per height layer.
void channelsPerLayer(const AacPce *pce, int perLayer[3][3])
{
    std::memset(perLayer, 0, sizeof(int) * 9);
    Group g[3];
    groups(pce, g);
    for (int k = 0; k < 3; ++k)
        for (uint8_t i = 0; i < *g[k].count; ++i)
            perLayer[g[k].height[i] % 3][k] += g[k].isCpe[i] ? 2 : 1;
}

} // namespace

void AacDec_PceInit(AacPce *pce)
{
    std::memset(pce, 0, sizeof(*pce));
    pce->samplingFrequencyIndex = 15;
}

int AacDec_PceIsValid(const AacPce *pce)
{
    return pce && pce->isValid ? 1 : 0;
}

void AacDec_PceResetElementCount(AacPce *pce)
{
    pce->elementCounter = 0;
}

int AacDec_ParseProgramConfig(AacPce *pce, RezBitStream *bs, uint32_t startBits)
{
    AacDec_PceInit(pce);
    bool valid = true;
    pce->elementInstanceTag = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 4));
    pce->objectType = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 2));
    pce->samplingFrequencyIndex = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 4));
    pce->numFront = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 4));
    pce->numSide = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 4));
    pce->numBack = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 4));
    pce->numLfe = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 2));
    pce->numAssocData = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 3));
    pce->numValidCc = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 4));
    if ((pce->monoMixdownPresent = static_cast<uint8_t>(RezTools_BitStreamReadBit(bs))))
        pce->monoMixdownElement = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 4));
    if ((pce->stereoMixdownPresent = static_cast<uint8_t>(RezTools_BitStreamReadBit(bs))))
        pce->stereoMixdownElement = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 4));
    if ((pce->matrixMixdownPresent = static_cast<uint8_t>(RezTools_BitStreamReadBit(bs)))) {
        pce->matrixMixdownIndex = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 2));
        pce->pseudoSurround = static_cast<uint8_t>(RezTools_BitStreamReadBit(bs));
    }

    uint16_t seen[2] = {0, 0};
    valid &= readElements(bs, pce->numFront, pce->frontIsCpe, pce->frontTag, &pce->numFrontChannels, seen);
    valid &= readElements(bs, pce->numSide, pce->sideIsCpe, pce->sideTag, &pce->numSideChannels, seen);
    valid &= readElements(bs, pce->numBack, pce->backIsCpe, pce->backTag, &pce->numBackChannels, seen);
    pce->numChannels = static_cast<uint8_t>(pce->numFrontChannels + pce->numSideChannels + pce->numBackChannels);
    uint16_t lfeSeen = 0;
    for (uint8_t i = 0; i < pce->numLfe; ++i) {
        pce->lfeTag[i] = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 4));
        if (lfeSeen & (1u << pce->lfeTag[i]))
            valid = false;
        lfeSeen = static_cast<uint16_t>(lfeSeen | 1u << pce->lfeTag[i]);
        ++pce->numChannels;
    }
    for (uint8_t i = 0; i < pce->numAssocData; ++i)
        pce->assocDataTag[i] = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 4));
    for (uint8_t i = 0; i < pce->numValidCc; ++i) {
        pce->ccIsIndSw[i] = static_cast<uint8_t>(RezTools_BitStreamReadBit(bs));
        pce->ccTag[i] = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 4));
    }
    RezTools_BitStreamByteAlign(bs, startBits);

    int comment = static_cast<int>(RezTools_BitStreamReadBits(bs, 8));
    pce->commentBytes = static_cast<uint8_t>(comment);
    comment -= readHeightExtension(pce, bs, startBits, &valid);
    if (comment < 0)
        comment = 0;
    pce->commentBytes = static_cast<uint8_t>(comment);
    for (int i = 0; i < comment && !RezTools_BitStreamGetOverrun(bs); ++i) {
        const uint8_t byte = static_cast<uint8_t>(RezTools_BitStreamReadBits(bs, 8));
        if (i < PceMaxComment)
            pce->comment[i] = byte;
    }
    if (RezTools_BitStreamGetOverrun(bs))
        valid = false;
    pce->isValid = valid ? 1 : 0;
    return pce->isValid;
}

void AacDec_PceDefault(AacPce *pce, int channelConfig)
{
    AacDec_PceInit(pce);
    pce->objectType = 1;
    uint8_t singles = 0, pairs = 0;
    auto front = [&](uint8_t cpe, uint8_t height = PceLayerNormal) {
        addElement(pce->numFront, pce->frontIsCpe, pce->frontTag, pce->frontHeight, cpe, cpe ? pairs++ : singles++,
                   height);
    };
    auto side = [&](uint8_t cpe) {
        addElement(pce->numSide, pce->sideIsCpe, pce->sideTag, pce->sideHeight, cpe, cpe ? pairs++ : singles++);
    };
    auto back = [&](uint8_t cpe) {
        addElement(pce->numBack, pce->backIsCpe, pce->backTag, pce->backHeight, cpe, cpe ? pairs++ : singles++);
    };
    auto lfe = [&]() { pce->lfeTag[pce->numLfe] = pce->numLfe; ++pce->numLfe; };

    switch (channelConfig) {
    case 1: front(0); break;
    case 2: front(1); break;
    case 3: front(0); front(1); break;
    case 4: front(0); front(1); back(0); break;
    case 5: front(0); front(1); back(1); break;
    case 6: front(0); front(1); back(1); lfe(); break;
    case 7: front(0); front(1); front(1); back(1); lfe(); break;
    case 11: front(0); front(1); back(1); back(0); lfe(); break;
    case 12: front(0); front(1); back(1); back(1); lfe(); break;
    case 14: front(0); front(1); front(1, PceLayerTop); back(1); lfe(); break;
    case 32: front(0); front(1); side(1); back(1); lfe(); break;
    default: return;
    }
    auto count = [](uint8_t n, const uint8_t *isCpe) {
        uint8_t c = 0;
        for (uint8_t i = 0; i < n; ++i)
            c = static_cast<uint8_t>(c + (isCpe[i] ? 2 : 1));
        return c;
    };
    pce->numFrontChannels = count(pce->numFront, pce->frontIsCpe);
    pce->numSideChannels = count(pce->numSide, pce->sideIsCpe);
    pce->numBackChannels = count(pce->numBack, pce->backIsCpe);
    pce->numChannels =
        static_cast<uint8_t>(pce->numFrontChannels + pce->numSideChannels + pce->numBackChannels + pce->numLfe);
    pce->isValid = 1;
}

int AacDec_PceCompare(const AacPce *a, const AacPce *b)
{
    if (a->numChannels != b->numChannels)
        return -1;
    if (std::memcmp(a, b, sizeof(AacPce)) == 0)
        return 0;
    if (a->numFront != b->numFront || a->numSide != b->numSide || a->numBack != b->numBack || a->numLfe != b->numLfe)
        return 2;
    Group ga[3], gb[3];
    groups(a, ga);
    groups(b, gb);
    int result = 1;
    for (int k = 0; k < 3; ++k) {
        int pairsA[3] = {}, pairsB[3] = {}, singlesA[3] = {}, singlesB[3] = {};
        for (uint8_t i = 0; i < *ga[k].count; ++i) {
            if (ga[k].height[i] != gb[k].height[i] || ga[k].isCpe[i] != gb[k].isCpe[i])
                result = 2;
            (ga[k].isCpe[i] ? pairsA : singlesA)[ga[k].height[i] % 3]++;
            (gb[k].isCpe[i] ? pairsB : singlesB)[gb[k].height[i] % 3]++;
        }
        for (int h = 0; h < 3; ++h)
            if (pairsA[h] != pairsB[h] || singlesA[h] != singlesB[h])
                return 2;
    }
    return result;
}

int AacDec_PceGetElementList(const AacPce *pce, int8_t *elementTypes, int max, uint8_t *channelConfig)
{
    const int elements = pce->numFront + pce->numSide + pce->numBack + pce->numLfe;
    *channelConfig = 0;
    if (elements == 0 || elements > max)
        return 0;
    int n = 0;
    Group g[3];
    groups(pce, g);
    for (int k = 0; k < 3; ++k)
        for (uint8_t i = 0; i < *g[k].count; ++i)
            elementTypes[n++] = g[k].isCpe[i] ? AacIdCpe : AacIdSce;
    for (uint8_t i = 0; i < pce->numLfe; ++i)
        elementTypes[n++] = AacIdLfe;

    auto matches = [&](int config) {
        AacPce reference;
        AacDec_PceDefault(&reference, config);
        const int c = AacDec_PceCompare(&reference, pce);
        return c == 0 || c == 1;
    };
    const int channels = pce->numChannels;
    if (channels == 1 || channels == 2) {
        *channelConfig = static_cast<uint8_t>(channels);
    } else if (channels >= 3 && channels <= 6) {
        if (matches(channels))
            *channelConfig = static_cast<uint8_t>(channels);
    } else if (channels == 7) {
        if (matches(11))
            *channelConfig = 11;
    } else if (channels == 8) {
        static const int candidates[4] = {32, 14, 12, 7};
        for (int config : candidates)
            if (matches(config))
                *channelConfig = static_cast<uint8_t>(config == 32 ? 12 : config);
    }
    return n;
}

int AacDec_PceChannelIndices(const AacPce *pce, uint8_t *indices, int max)
{
    if (pce->numChannels > max)
        return -1;
    Group g[3];
    groups(pce, g);
    // Channels are numbered layer by layer (normal, then top, then bottom); the
    // LFEs follow the normal layer. Element channels are listed in stream order.
    int next = 0;
    uint8_t byElement[3][PceMaxElements][2] = {};
    for (int layer = 0; layer < 3; ++layer) {
        for (int k = 0; k < 3; ++k)
            for (uint8_t i = 0; i < *g[k].count; ++i)
                if (g[k].height[i] % 3 == layer)
                    for (int c = 0; c < (g[k].isCpe[i] ? 2 : 1); ++c)
                        byElement[k][i][c] = static_cast<uint8_t>(next++);
        if (layer == PceLayerNormal)
            next += pce->numLfe;
    }
    int lfeBase = 0;
    for (int k = 0; k < 3; ++k)
        for (uint8_t i = 0; i < *g[k].count; ++i)
            if (g[k].height[i] % 3 == PceLayerNormal)
                lfeBase += g[k].isCpe[i] ? 2 : 1;
    int n = 0;
    for (int k = 0; k < 3; ++k)
        for (uint8_t i = 0; i < *g[k].count; ++i)
            for (int c = 0; c < (g[k].isCpe[i] ? 2 : 1); ++c)
                indices[n++] = byElement[k][i][c];
    for (uint8_t i = 0; i < pce->numLfe; ++i)
        indices[n++] = static_cast<uint8_t>(lfeBase + i);
    return n;
}

int AacDec_PceCheckLayout(const AacPce *pce)
{
    Group g[3];
    groups(pce, g);
    int perLayer[3][3];
    channelsPerLayer(pce, perLayer);
    for (int layer = 0; layer < 3; ++layer) {
        for (int k = 0; k < 3; ++k) {
            if (k == 1 && layer == PceLayerTop)
                continue;
            int remaining = perLayer[layer][k];
            bool first = true;
            uint8_t i = 0;
            auto next = [&]() -> int {
                while (i < *g[k].count && g[k].height[i] % 3 != layer)
                    ++i;
                return i < *g[k].count ? i++ : -1;
            };
            if (k == 1 && (remaining & 1))
                return 1;
            while (remaining > 0) {
                const int e = next();
                if (e < 0)
                    break;
                if (k == 0 && first && (perLayer[layer][k] & 1)) {
                    if (g[k].isCpe[e])
                        return 1;
                    remaining -= 1;
                    first = false;
                    continue;
                }
                first = false;
                if (g[k].isCpe[e]) {
                    remaining -= 2;
                    continue;
                }
                if (k == 2 && remaining == 1) {
                    remaining = 0;
                    continue;
                }
                // A single must be followed by a second single to make a pair of channels.
                const int f = next();
                if (f < 0 || g[k].isCpe[f])
                    return 1;
                remaining -= 2;
            }
        }
    }
    return 0;
}

void AacDec_PceSlotForLayout(uint8_t *type, uint8_t *index, int channelConfig, int position)
{
    *type = AacChannelNone;
    *index = 0;
    if (position < 0)
        return;
    if (position <= 2) {
        *type = AacChannelFront;
        *index = static_cast<uint8_t>(position);
        return;
    }
    struct Slot { uint8_t type, index; };
    auto set = [&](Slot s) { *type = s.type; *index = s.index; };
    switch (channelConfig) {
    case 4: case 5: case 6:
        if (position <= 4) set({AacChannelBack, static_cast<uint8_t>(position - 3)});
        else if (position == 5) set({AacChannelLfe, 0});
        break;
    case 7:
        if (position <= 4) set({AacChannelFront, static_cast<uint8_t>(position)});
        else if (position <= 6) set({AacChannelBack, static_cast<uint8_t>(position - 5)});
        else if (position == 7) set({AacChannelLfe, 0});
        break;
    case 11:
        if (position <= 5) set({AacChannelBack, static_cast<uint8_t>(position - 3)});
        else if (position == 6) set({AacChannelLfe, 0});
        break;
    case 12:
        if (position <= 6) set({AacChannelBack, static_cast<uint8_t>(position - 3)});
        else if (position == 7) set({AacChannelLfe, 0});
        break;
    case 14:
        if (position <= 4) set({AacChannelBack, static_cast<uint8_t>(position - 3)});
        else if (position == 5) set({AacChannelLfe, 0});
        else if (position <= 7) set({AacChannelTopLayer | AacChannelFront, static_cast<uint8_t>(position - 6)});
        break;
    default:
        break;
    }
}

int AacDec_PceMapElement(AacPce *pce, int channelConfig, int tag, const int8_t *elementList, int listLength,
                         int32_t *channelTypes, uint8_t *channelIndices, int maxChannels, int elementType)
{
    const bool usacType = elementType >= AacIdUsacSce && elementType <= AacIdUsacLfe;
    const int width = elementType == AacIdCpe || elementType == AacIdUsacCpe ? 2 : 1;
    auto place = [&](int channel, uint8_t type, uint8_t index) {
        if (channel >= 0 && channel < maxChannels) {
            channelTypes[channel] = type;
            channelIndices[channel] = index;
        }
    };

    if (channelConfig != 0) {
        if (!usacType && elementType != AacIdSce && elementType != AacIdCpe && elementType != AacIdLfe)
            return 1;
        // The configured element list, without extension positions, gives each
        // element's place.
        int listIndex = -1, seen = 0;
        for (int i = 0; i < listLength && elementList[i] != AacIdEnd; ++i) {
            if (elementList[i] == AacIdExtensionPosition)
                continue;
            if (seen++ == pce->elementCounter) {
                listIndex = i;
                break;
            }
        }
        if (!usacType) {
            const int expected = listIndex >= 0 ? elementList[listIndex] : -1;
            const bool ok = expected == elementType || (elementType == AacIdSce && channelConfig == 2) ||
                            (elementType == AacIdSce && expected == AacIdLfe);
            if (!ok)
                return 0;
        }
        int position = 0;
        for (int i = 0; i < listIndex; ++i)
            if (elementList[i] == AacIdCpe)
                position += 2;
            else if (elementList[i] != AacIdExtensionPosition)
                position += 1;
        const int layout = elementType == AacIdSce && channelConfig == 2 ? 1 : channelConfig;
        uint8_t type, index;
        AacDec_PceSlotForLayout(&type, &index, layout, position);
        place(position, type, index);
        if (width == 2)
            place(position + 1, type, static_cast<uint8_t>(index + 1));
        ++pce->elementCounter;
        return 1;
    }

    if (!pce->isValid || pce->numChannels > maxChannels) {
        if (usacType) {
            ++pce->elementCounter;
            return 1;
        }
        if (elementType == AacIdSce || elementType == AacIdCpe || elementType == AacIdLfe) {
            if (pce->elementCounter < PceMaxElements) {
                // Without a usable PCE the elements are numbered in arrival order.
                place(pce->elementCounter, AacChannelNone, pce->elementCounter);
                ++pce->elementCounter;
            }
        }
        return 1;
    }

    if (elementType > AacIdDse)
        return 0;
    if (elementType == AacIdCce) {
        for (uint8_t i = 0; i < pce->numValidCc; ++i)
            if (pce->ccTag[i] == tag)
                return 1;
        return 0;
    }
    if (elementType == AacIdDse)
        return 1;

    uint8_t indices[64];
    if (AacDec_PceChannelIndices(pce, indices, 64) < 0)
        return 0;
    Group g[3];
    groups(pce, g);
    int channel = 0;
    for (int k = 0; k < 3; ++k) {
        uint8_t perType[3] = {};
        for (uint8_t i = 0; i < *g[k].count; ++i) {
            const uint8_t layer = g[k].height[i] % 3;
            const int n = g[k].isCpe[i] ? 2 : 1;
            const bool match = g[k].tag[i] == tag && (g[k].isCpe[i] ? elementType == AacIdCpe : elementType == AacIdSce);
            if (match) {
                const uint8_t type = static_cast<uint8_t>(g[k].type | (layer == PceLayerTop ? AacChannelTopLayer : 0));
                for (int c = 0; c < n; ++c)
                    place(indices[channel + c], type, static_cast<uint8_t>(perType[layer] + c));
                return 1;
            }
            perType[layer] = static_cast<uint8_t>(perType[layer] + n);
            channel += n;
        }
    }
    for (uint8_t i = 0; i < pce->numLfe; ++i)
        if (pce->lfeTag[i] == tag && elementType == AacIdLfe) {
            place(indices[channel + i], AacChannelLfe, i);
            return 1;
        }
    return 0;
}
