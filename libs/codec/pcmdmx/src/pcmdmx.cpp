// The downmix interface: parameters, metadata and the per-frame processing.
#include "pcmdmx_internal.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int MaxHeadroomBits = 3;

int32_t mulhi(int32_t a, int32_t b)
{
    return static_cast<int32_t>((static_cast<int64_t>(a) * b) >> 32);
}

int32_t saturatingShiftLeft(int32_t v, int shift)
{
    if (shift <= 0)
        return v;
    const int64_t r = static_cast<int64_t>(v) << std::min(shift, 31);
    return r > INT32_MAX ? INT32_MAX : (r < -INT32_MAX ? -INT32_MAX : static_cast<int32_t>(r));
}

bool validChannelCount(int32_t v)
{
    return v == -1 || v == 0 || v == 1 || v == 2 || v == 6 || v == 8;
}

bool inRange(const PcmDmxInstance *d, int channels)
{
    if (d->maxChannels < 0)
        return channels >= d->minChannels;
    return channels >= d->minChannels && channels <= d->maxChannels;
}

int outputCount(const PcmDmxInstance *d, int channels)
{
    const int minimum = std::max<int>(d->minChannels, 0);
    if (d->maxChannels > 0)
        return channels <= d->maxChannels ? std::max(channels, minimum) : d->maxChannels;
    return std::max(channels, minimum);
}

// Buffer position of each channel of the standard layout of `channels`, by canonical position.
void outputSlots(int channels, const RezChannelMap *map, int8_t slots[PcmDmxPositions])
{
    int8_t positions[PcmDmxPositions];
    PcmDmx_StandardPositions(channels, positions);
    for (int i = 0; i < PcmDmxPositions; ++i)
        slots[i] = -1;
    const uint32_t row = PcmDmx_MapRow(channels);
    for (int k = 0; k < channels; ++k)
        slots[positions[k]] = static_cast<int8_t>(RezTools_ChannelMapGet(map, static_cast<uint32_t>(k), row));
}

int32_t *sampleAt(int32_t *samples, int interleaved, int channels, uint32_t perChannel, int channel, uint32_t i)
{
    return interleaved ? samples + static_cast<size_t>(i) * channels + channel
                       : samples + static_cast<size_t>(channel) * perChannel + i;
}

// Writes every output channel from the input channels of the same instant; slots
// without a source become zero. Output blocks never overlap unread input (the
// count only grows here or the instants are handled in a safe order).
void remap(int32_t *samples, int interleaved, uint32_t perChannel, int inChannels, int outChannels,
           const int8_t source[PcmDmxMaxBuffer])
{
    int32_t frame[PcmDmxMaxBuffer];
    if (interleaved) {
        for (uint32_t n = perChannel; n-- > 0;) {
            for (int c = 0; c < inChannels; ++c)
                frame[c] = samples[static_cast<size_t>(n) * inChannels + c];
            for (int o = 0; o < outChannels; ++o)
                samples[static_cast<size_t>(n) * outChannels + o] = source[o] >= 0 ? frame[source[o]] : 0;
        }
        return;
    }
    // Planar: whole blocks move; a block is written only once no later move reads it.
    bool done[PcmDmxMaxBuffer] = {};
    for (int pass = 0; pass < outChannels; ++pass) {
        for (int o = outChannels - 1; o >= 0; --o) {
            if (done[o])
                continue;
            bool stillRead = false;
            for (int k = 0; k < outChannels; ++k)
                if (!done[k] && k != o && source[k] == o)
                    stillRead = true;
            if (stillRead)
                continue;
            int32_t *dst = samples + static_cast<size_t>(o) * perChannel;
            if (source[o] < 0)
                std::memset(dst, 0, sizeof(int32_t) * perChannel);
            else if (source[o] != o)
                std::memmove(dst, samples + static_cast<size_t>(source[o]) * perChannel, sizeof(int32_t) * perChannel);
            done[o] = true;
        }
    }
    // Blocks that only exchange places with each other (a cycle) go through one sample at a time.
    for (int o = 0; o < outChannels; ++o) {
        if (done[o])
            continue;
        for (uint32_t n = 0; n < perChannel; ++n) {
            for (int c = 0; c < inChannels; ++c)
                frame[c] = samples[static_cast<size_t>(c) * perChannel + n];
            for (int k = 0; k < outChannels; ++k)
                if (!done[k])
                    samples[static_cast<size_t>(k) * perChannel + n] = source[k] >= 0 ? frame[source[k]] : 0;
        }
        break;
    }
}

void describeStandard(int channels, uint32_t *types, uint8_t *indices, const RezChannelMap *map)
{
    int8_t positions[PcmDmxPositions];
    PcmDmx_StandardPositions(channels, positions);
    const uint32_t row = PcmDmx_MapRow(channels);
    static const uint32_t kindOf[PcmDmxPositions] = {1, 1, 1, 3, 3, 4, 3, 3};
    std::memset(types, 0, sizeof(uint32_t) * PcmDmxMaxBuffer);
    std::memset(indices, 0, PcmDmxMaxBuffer);
    int perKind[5] = {};
    for (int k = 0; k < channels; ++k) {
        const int slot = RezTools_ChannelMapGet(map, static_cast<uint32_t>(k), row);
        const uint32_t kind = kindOf[positions[k]];
        types[slot] = kind;
        indices[slot] = static_cast<uint8_t>(perKind[kind]++);
    }
}

} // namespace

int PcmDmx_Open(PcmDmxHandle *handle)
{
    if (!handle)
        return PCMDMX_INVALID_HANDLE;
    *handle = nullptr;
    auto *d = static_cast<PcmDmxInstance *>(RezSys_Calloc(1, sizeof(PcmDmxInstance)));
    if (!d)
        return PCMDMX_OUT_OF_MEMORY;
    d->surroundStereo = -1;
    d->minChannels = -1;
    d->maxChannels = -1;
    PcmDmx_DefaultMetadata(&d->metadata[0]);
    PcmDmx_DefaultMetadata(&d->metadata[1]);
    *handle = d;
    return PCMDMX_OK;
}

int PcmDmx_Close(PcmDmxHandle *handle)
{
    if (!handle)
        return PCMDMX_INVALID_HANDLE;
    RezTools_Free1D(*handle);
    *handle = nullptr;
    return PCMDMX_OK;
}

int PcmDmx_Reset(PcmDmxHandle d, uint32_t flags)
{
    if (!d)
        return PCMDMX_INVALID_HANDLE;
    if (flags & 1) {
        d->expiry = 0;
        d->delay = 0;
        d->minChannels = -1;
        d->maxChannels = -1;
        d->dualChannelMode = 0;
        d->surroundStereo = -1;
        d->alwaysProcess = 0;
    }
    if (flags & 2) {
        PcmDmx_DefaultMetadata(&d->metadata[0]);
        PcmDmx_DefaultMetadata(&d->metadata[1]);
    }
    return PCMDMX_OK;
}

int PcmDmx_SetParam(PcmDmxHandle d, int32_t id, int32_t value)
{
    switch (id) {
    case PCMDMX_PARAM_MODE:
    case PCMDMX_PARAM_DUAL_CHANNEL:
        if (value < 0 || value > 3)
            return PCMDMX_INVALID_VALUE;
        break;
    case PCMDMX_PARAM_EXPIRY:
        break;
    case PCMDMX_PARAM_DELAY:
        if (value != 0 && value != 1)
            return PCMDMX_INVALID_VALUE;
        break;
    case PCMDMX_PARAM_MIN_CHANNELS:
    case PCMDMX_PARAM_MAX_CHANNELS:
        if (!validChannelCount(value))
            return PCMDMX_INVALID_VALUE;
        break;
    case PCMDMX_PARAM_SURROUND_STEREO:
        if (value < -1 || value > 1)
            return PCMDMX_INVALID_VALUE;
        break;
    default:
        return PCMDMX_UNKNOWN_PARAM;
    }
    if (!d)
        return PCMDMX_INVALID_HANDLE;
    switch (id) {
    case PCMDMX_PARAM_MODE: d->mode = value; break;
    case PCMDMX_PARAM_EXPIRY: d->expiry = std::max(value, 0); break;
    case PCMDMX_PARAM_DELAY: d->delay = static_cast<uint8_t>(value); break;
    case PCMDMX_PARAM_MIN_CHANNELS:
        d->minChannels = static_cast<int16_t>(value <= 0 ? -1 : value);
        if (d->minChannels > 0 && d->maxChannels > 0 && d->minChannels > d->maxChannels)
            d->maxChannels = d->minChannels;
        break;
    case PCMDMX_PARAM_MAX_CHANNELS:
        d->maxChannels = static_cast<int16_t>(value <= 0 ? -1 : value);
        if (d->maxChannels > 0 && d->maxChannels < d->minChannels)
            d->minChannels = d->maxChannels;
        break;
    case PCMDMX_PARAM_DUAL_CHANNEL:
        d->dualChannelMode = value;
        d->alwaysProcess = value != 0 ? 1 : 0;
        break;
    default: d->surroundStereo = value; break;
    }
    return PCMDMX_OK;
}

int PcmDmx_GetParam(PcmDmxHandle d, int32_t id, int32_t *value)
{
    if (!d || !value)
        return PCMDMX_INVALID_HANDLE;
    switch (id) {
    case PCMDMX_PARAM_MODE: *value = d->mode; break;
    case PCMDMX_PARAM_EXPIRY: *value = d->expiry; break;
    case PCMDMX_PARAM_DELAY: *value = d->delay; break;
    case PCMDMX_PARAM_MIN_CHANNELS: *value = d->minChannels; break;
    case PCMDMX_PARAM_MAX_CHANNELS: *value = d->maxChannels; break;
    case PCMDMX_PARAM_DUAL_CHANNEL: *value = d->dualChannelMode; break;
    case PCMDMX_PARAM_SURROUND_STEREO: *value = d->surroundStereo; break;
    default: return PCMDMX_UNKNOWN_PARAM;
    }
    return PCMDMX_OK;
}

int PcmDmx_ParseMetadata(PcmDmxHandle d, RezBitStream *bs, uint32_t bitCount, int32_t type)
{
    if (!d || !bs)
        return PCMDMX_INVALID_HANDLE;
    if (type != 0 || bitCount < 24 || bitCount > RezTools_BitStreamGetValidBits(bs))
        return PCMDMX_METADATA_ERROR;
    const uint32_t start = RezTools_BitStreamGetValidBits(bs);
    uint32_t used = 0;
    bool pastEnd = false;
    auto read = [&](uint32_t n) -> uint32_t {
        if (used + n > bitCount) {
            pastEnd = true;
            return 0;
        }
        used += n;
        return RezTools_BitStreamReadBits(bs, n);
    };
    if (read(8) != 0xBC)
        return PCMDMX_METADATA_ERROR;
    PcmDmxMetadata &meta = d->metadata[0];
    PcmDmxMetadata next = meta;
    uint32_t flags = 0;
    read(6);
    meta.pseudoSurround = static_cast<uint8_t>(read(1));
    read(4);
    const bool levels = read(1), extension = read(1);
    const bool t1 = read(1), t2 = read(1), t3 = read(1);
    if (levels) {
        if (read(1)) {
            next.centreMixLevel = static_cast<uint8_t>(read(3));
            flags |= 0x02;
        } else {
            read(3);
        }
        if (read(1)) {
            next.surroundMixLevel = static_cast<uint8_t>(read(3));
            flags |= 0x04;
        } else {
            read(3);
        }
    }
    for (bool skip : {t1, t2, t3})
        if (skip)
            read(16);
    if (extension) {
        read(1);
        const bool ab = read(1), de = read(1), c = read(1);
        read(4);
        if (ab) {
            next.levelA = static_cast<uint8_t>(read(3));
            next.levelB = static_cast<uint8_t>(read(3));
            read(2);
            flags |= 0x08;
        }
        if (de) {
            next.valueE = static_cast<uint8_t>(read(7));
            read(1);
            next.valueD = static_cast<uint8_t>(read(7));
            read(1);
            flags |= 0x20;
        }
        if (c) {
            next.levelC = static_cast<uint8_t>(read(4));
            read(4);
            flags |= 0x10;
        }
    }
    (void)start;
    if (pastEnd || RezTools_BitStreamGetOverrun(bs))
        return PCMDMX_METADATA_ERROR;
    if (flags) {
        next.pseudoSurround = meta.pseudoSurround;
        next.flags = meta.flags | flags;
        next.age = 0;
        meta = next;
    }
    return PCMDMX_OK;
}

int PcmDmx_SetPceMetadata(PcmDmxHandle d, int32_t present, int32_t matrixMixdownIndex, int32_t pseudoSurround)
{
    if (!d)
        return PCMDMX_INVALID_HANDLE;
    if (present) {
        PcmDmxMetadata &meta = d->metadata[0];
        meta.age = 0;
        meta.pseudoSurround = pseudoSurround != 0 ? 1 : 0;
        meta.flags |= 0x01;
        meta.matrixMixdownIndex = static_cast<uint8_t>(matrixMixdownIndex & 3);
    }
    return PCMDMX_OK;
}

int PcmDmx_ApplyFrame(PcmDmxHandle d, int32_t *samples, uint32_t capacity, uint32_t perChannel, int32_t *channels,
                      int32_t interleaved, uint32_t types[PCMDMX_MAX_CHANNELS], uint8_t indices[PCMDMX_MAX_CHANNELS],
                      const RezChannelMap *map, int32_t *headroom)
{
    if (!d || !channels || !types || !indices)
        return PCMDMX_INVALID_HANDLE;
    if (map && !RezTools_ChannelMapValidate(map))
        return PCMDMX_INVALID_HANDLE;
    RezChannelMap builtIn;
    if (!map) {
        RezTools_ChannelMapInit(&builtIn, nullptr, 0, 0);
        map = &builtIn;
    }
    if (headroom)
        *headroom = 0;
    if (!samples || perChannel == 0 || *channels <= 0)
        return PCMDMX_NO_SAMPLES;
    const int inChannels = *channels;
    if (inChannels > PCMDMX_MAX_CHANNELS)
        return PCMDMX_UNSUPPORTED_CHANNELS;
    if (!d->alwaysProcess && inRange(d, inChannels))
        return PCMDMX_OK;
    const int outChannels = outputCount(d, inChannels);
    if (static_cast<uint64_t>(capacity) < static_cast<uint64_t>(perChannel) * static_cast<uint64_t>(outChannels))
        return PCMDMX_OUTPUT_TOO_SMALL;

    PcmDmxLayout layout;
    const int classified = PcmDmx_Classify(types, indices, inChannels, &layout);
    if (classified >= 2 || layout.code == 0)
        return PCMDMX_UNSUPPORTED_CHANNELS;

    if (d->expiry > 0 && ++d->metadata[0].age > static_cast<uint32_t>(d->expiry)) {
        PcmDmx_DefaultMetadata(&d->metadata[0]);
        PcmDmx_DefaultMetadata(&d->metadata[1]);
    }
    const PcmDmxMetadata meta = d->delay ? d->metadata[1] : d->metadata[0];
    if (d->delay)
        d->metadata[1] = d->metadata[0];

    const bool doInterleaved = interleaved != 0;
    if (inChannels <= outChannels) {
        if (inChannels == outChannels) {
            if (inChannels == 2 && d->dualChannelMode != 0 && layout.source[1] >= 0 && layout.source[2] >= 0) {
                const int first = layout.source[1], second = layout.source[2];
                constexpr int32_t InvSqrt2Q31 = 0x5A820000;
                for (uint32_t n = 0; n < perChannel; ++n) {
                    int32_t *a = sampleAt(samples, doInterleaved, 2, perChannel, first, n);
                    int32_t *b = sampleAt(samples, doInterleaved, 2, perChannel, second, n);
                    int32_t v;
                    switch (d->dualChannelMode) {
                    case 1: v = 2 * mulhi(*a, InvSqrt2Q31); break;
                    case 2: v = 2 * mulhi(*b, InvSqrt2Q31); break;
                    default: v = (*a >> 1) + (*b >> 1); break;
                    }
                    *a = v;
                    *b = v;
                }
            }
            return classified;
        }
        int current = inChannels;
        if (current == 1) {
            // Mono goes to both places of the stereo layout.
            int8_t slots[PcmDmxPositions];
            outputSlots(2, map, slots);
            int8_t source[PcmDmxMaxBuffer] = {-1, -1, -1, -1, -1, -1, -1, -1};
            source[slots[1]] = 0;
            source[slots[2]] = 0;
            remap(samples, doInterleaved, perChannel, 1, 2, source);
            describeStandard(2, types, indices, map);
            current = 2;
            PcmDmx_Classify(types, indices, 2, &layout);
        }
        if (outChannels < 3) {
            *channels = outChannels;
            return classified;
        }
        // Upmix: the channels take their places in the standard layout of the
        // output; the rest of it stays silent.
        int8_t slots[PcmDmxPositions];
        outputSlots(outChannels, map, slots);
        int8_t source[PcmDmxMaxBuffer] = {-1, -1, -1, -1, -1, -1, -1, -1};
        bool used[PcmDmxMaxBuffer] = {};
        for (int p = 0; p < PcmDmxPositions; ++p)
            if (layout.source[p] >= 0 && slots[p] >= 0) {
                source[slots[p]] = layout.source[p];
                used[layout.source[p]] = true;
            }
        for (int c = 0; c < current; ++c) {
            if (used[c])
                continue;
            for (int o = 0; o < outChannels; ++o)
                if (source[o] < 0) {
                    source[o] = static_cast<int8_t>(c);
                    break;
                }
        }
        uint32_t oldTypes[PcmDmxMaxBuffer];
        uint8_t oldIndices[PcmDmxMaxBuffer];
        std::memcpy(oldTypes, types, sizeof oldTypes);
        std::memcpy(oldIndices, indices, sizeof oldIndices);
        remap(samples, doInterleaved, perChannel, current, outChannels, source);
        for (int o = 0; o < PcmDmxMaxBuffer; ++o) {
            types[o] = (o < outChannels && source[o] >= 0) ? oldTypes[source[o]] : 0;
            indices[o] = (o < outChannels && source[o] >= 0) ? oldIndices[source[o]] : 0;
        }
        *channels = outChannels;
        return classified;
    }

    // Downmix.
    PcmDmxMatrix matrix;
    const int derived = PcmDmx_DeriveMatrix(d, &meta, &layout, outChannels, &matrix);
    int8_t outSlots[PcmDmxPositions];
    outputSlots(outChannels, map, outSlots);
    int rows[PcmDmxPositions];
    int rowCount = 0;
    for (int p = 0; p < PcmDmxPositions; ++p)
        if (outSlots[p] >= 0)
            rows[rowCount++] = p;
    double largest = 0.0;
    for (int r = 0; r < rowCount; ++r) {
        double sum = 0.0;
        for (int i = 0; i < PcmDmxPositions; ++i)
            sum += std::fabs(matrix.gain[rows[r]][i]);
        largest = std::max(largest, sum);
    }
    int h = 0;
    while (largest * 32768.0 > 32767.0 * static_cast<double>(1 << h) && h < 15)
        ++h;
    int16_t mant[PcmDmxPositions][PcmDmxMaxBuffer] = {};
    for (int r = 0; r < rowCount; ++r)
        for (int p = 0; p < PcmDmxPositions; ++p) {
            const int c = layout.source[p];
            if (c < 0)
                continue;
            const double v = std::round(matrix.gain[rows[r]][p] * 32768.0 / static_cast<double>(1 << h));
            mant[r][c] = static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0));
        }
    int shift = h;
    if (headroom) {
        const int left = std::min(h, MaxHeadroomBits);
        *headroom += left;
        shift -= left;
    }
    int32_t in[PcmDmxMaxBuffer];
    for (uint32_t n = 0; n < perChannel; ++n) {
        for (int c = 0; c < inChannels; ++c)
            in[c] = *sampleAt(samples, doInterleaved, inChannels, perChannel, c, n);
        for (int r = 0; r < rowCount; ++r) {
            int32_t acc = 0;
            for (int c = 0; c < inChannels; ++c)
                if (mant[r][c] != 0)
                    acc += 2 * mulhi(in[c], static_cast<int32_t>(mant[r][c]) * 65536);
            *sampleAt(samples, doInterleaved, outChannels, perChannel, outSlots[rows[r]], n) =
                saturatingShiftLeft(acc, shift);
        }
    }
    describeStandard(outChannels, types, indices, map);
    *channels = outChannels;
    return derived;
}

int PcmDmx_GetLibInfo(LIB_INFO *table)
{
    LIB_INFO *row = RezTools_LibInfoFreeRow(table, 0, nullptr);
    if (!row)
        return PCMDMX_NO_SAMPLES;
    RezTools_LibInfoFill(row, "PCM Downmix Lib", "16:54:27", REZ_MODULE_PCM_DOWNMIX, 2, 14, 0x7F);
    RezTools_GetLibInfo(table);
    return PCMDMX_OK;
}
