// The public interface of the Layer II decoder: instance, input, per-frame flow,
// parameters and library information.
#include "layer2_internal.h"
#include "layer2_spatial.h"

#include "PcmDmx.h"

#include <cstring>

namespace {

constexpr uint32_t OwnInputBytes = 8192;
constexpr uint32_t SmallestCallerInput = 4096;
constexpr uint32_t SpatialPcmFactor = 6;
constexpr int DmxMaxChannels = 8;

bool isPowerOfTwo(uint32_t v)
{
    return v != 0 && (v & (v - 1)) == 0;
}

Layer2DecResult fromDownmix(int r)
{
    if (r == PCMDMX_OK)
        return LAYER2DEC_OK;
    return r == PCMDMX_INVALID_HANDLE ? LAYER2DEC_INVALID_HANDLE : LAYER2DEC_INVALID_ARGUMENT;
}

Layer2DecResult fromSpatial(int r)
{
    if (r == 0)
        return LAYER2DEC_OK;
    return r == -998 ? LAYER2DEC_INVALID_HANDLE : LAYER2DEC_INVALID_ARGUMENT;
}

void refreshInfo(Layer2DecInstance *d, Layer2DecResult result, int channels)
{
    const Layer2FrameHeader &h = d->input.header;
    Layer2StreamInfo &i = d->info;
    i.layer = static_cast<int32_t>(h.layer);
    i.versionIndex = static_cast<int32_t>(h.versionIndex);
    i.bitRate = static_cast<int32_t>(h.bitRate);
    i.bitRateIndex = static_cast<int32_t>(h.bitRateIndex);
    i.codedChannels = static_cast<int32_t>(h.channels);
    i.codedSampleRate = static_cast<int32_t>(h.sampleRate);
    i.outputChannels = channels;
    i.outputSampleRate = static_cast<int32_t>(h.sampleRate);
    i.bitsPerSample = 16;
    i.frameLengthBits = static_cast<int32_t>(h.frameBits);
    i.frameDurationMs = h.durationMs;
    i.concealed = result == LAYER2DEC_CONCEALED ? 1 : 0;
    i.reserved = 0;
    i.padding = static_cast<int32_t>(h.padding);
    i.mode = static_cast<int32_t>(h.mode);
    i.modeExtension = static_cast<int32_t>(h.modeExtension);
    i.crcPresent = static_cast<int32_t>(h.crcPresent);
    i.copyright = static_cast<int32_t>(h.copyright);
    i.original = static_cast<int32_t>(h.original);
    i.privateBit = static_cast<int32_t>(h.privateBit);
    i.emphasis = static_cast<int32_t>(h.emphasis);
    i.drcValue = d->frame->drc.present ? d->frame->drc.history[0] : -1;
}

// Runs the frame through the downmix; returns the downmix result.
int downmix(Layer2DecInstance *d, int16_t *pcm, uint32_t pcmCapacity, uint32_t frameSize, int *channels)
{
    const uint32_t count = static_cast<uint32_t>(*channels) * frameSize;
    for (uint32_t i = 0; i < count; ++i)
        d->work[i] = static_cast<int32_t>(pcm[i]) * 65536;
    RezChannelMap map;
    RezTools_ChannelMapInit(&map, nullptr, 0, 0);
    uint32_t types[DmxMaxChannels] = {};
    uint8_t indices[DmxMaxChannels] = {};
    if (*channels == 1 || *channels == 2) {
        const uint32_t row = static_cast<uint32_t>(*channels);
        for (int c = 0; c < *channels; ++c) {
            const uint8_t slot = RezTools_ChannelMapGet(&map, static_cast<uint32_t>(c), row);
            types[slot] = PCMDMX_CHANNEL_FRONT;
            indices[slot] = static_cast<uint8_t>(c);
        }
    }
    const uint32_t capacity = pcmCapacity < DmxMaxChannels * LAYER2DEC_FRAME_SAMPLES ? pcmCapacity
                                                                                    : DmxMaxChannels * LAYER2DEC_FRAME_SAMPLES;
    int32_t delivered = *channels;
    const int r = PcmDmx_ApplyFrame(d->downmix, d->work, capacity, frameSize, &delivered,
                                    (d->frame->flags & Layer2FlagInterleaved) ? 1 : 0, types, indices, &map, nullptr);
    *channels = delivered;
    const uint32_t out = static_cast<uint32_t>(delivered) * frameSize;
    for (uint32_t i = 0; i < out; ++i)
        pcm[i] = static_cast<int16_t>(d->work[i] >> 16);
    return r;
}

} // namespace

Layer2DecHandle Layer2Dec_Open(uint8_t *buffer, uint32_t bufferSize, int32_t dabMode, int32_t padMode)
{
    RezSys_CheckFirstInit();
    auto *d = static_cast<Layer2DecInstance *>(RezSys_Calloc(1, sizeof(Layer2DecInstance)));
    if (!d)
        return nullptr;
    d->dabMode = dabMode;
    d->padMode = padMode;
    d->info.drcValue = -1;
    d->frame = static_cast<Layer2FrameDecoder *>(RezSys_AlignedCalloc(sizeof(Layer2FrameDecoder), 8));
    // A caller block is used only when it is big enough for the largest frames and
    // shaped for the ring; anything else would lose or overrun frames.
    if (buffer && bufferSize >= SmallestCallerInput && isPowerOfTwo(bufferSize)) {
        d->input.buffer = buffer;
        d->input.bufferSize = bufferSize;
    } else {
        d->input.buffer = static_cast<uint8_t *>(RezSys_AlignedCalloc(OwnInputBytes, 8));
        d->input.bufferSize = OwnInputBytes;
        d->input.ownBuffer = 1;
    }
    d->spatial = Layer2Spatial_Open();
    d->work = static_cast<int32_t *>(RezSys_Calloc(DmxMaxChannels * LAYER2DEC_FRAME_SAMPLES, sizeof(int32_t)));
    PcmDmxHandle dmx = nullptr;
    const int dmxResult = PcmDmx_Open(&dmx);
    d->downmix = dmx;
    if (!d->frame || !d->input.buffer || !d->spatial || !d->work || dmxResult != PCMDMX_OK) {
        Layer2Dec_Close(&d);
        return nullptr;
    }
    Layer2FrameDecoder *f = d->frame;
    f->flags = Layer2FlagInterleaved | (dabMode > 0 ? Layer2FlagDab : 0u) | (padMode > 0 ? Layer2FlagPad : 0u);
    Layer2_FrameReset(f);
    Layer2_ConcealDefaults(&f->conceal);
    Layer2_DrcDefaults(&f->drc);
    Layer2Spatial_SetParam(d->spatial, 4, 1); // the core output arrives in the time domain
    Layer2Dec_Reset(d);
    return d;
}

void Layer2Dec_Close(Layer2DecHandle *handle)
{
    if (!handle || !*handle)
        return;
    Layer2DecInstance *d = *handle;
    PcmDmxHandle dmx = d->downmix;
    if (dmx)
        PcmDmx_Close(&dmx);
    Layer2Spatial_Close(d->spatial);
    RezTools_Free1D(d->work);
    if (d->frame)
        RezSys_AlignedFree(d->frame);
    if (d->input.ownBuffer && d->input.buffer)
        RezSys_AlignedFree(d->input.buffer);
    RezTools_Free1D(d);
    *handle = nullptr;
}

Layer2DecResult Layer2Dec_Reset(Layer2DecHandle d)
{
    if (!d)
        return LAYER2DEC_INVALID_HANDLE;
    d->endOfStream = 0;
    Layer2_InputReset(&d->input);
    Layer2_FrameReset(d->frame);
    return LAYER2DEC_OK;
}

Layer2DecResult Layer2Dec_Fill(Layer2DecHandle d, const uint8_t *data, uint32_t dataSize, uint32_t *bytesValid)
{
    if (!d)
        return LAYER2DEC_INVALID_HANDLE;
    if (!data || !bytesValid || *bytesValid > dataSize)
        return LAYER2DEC_INVALID_ARGUMENT;
    RezBitStream *bs = &d->input.bs;
    if (d->input.directInput) {
        // One whole frame per call: it replaces whatever was left, and is copied so
        // that the decoder never reads outside the bytes it was given.
        if (*bytesValid > d->input.bufferSize)
            return LAYER2DEC_INVALID_ARGUMENT;
        RezTools_BitStreamInit(bs, d->input.buffer, d->input.bufferSize, 0, REZ_BIT_READ);
        RezTools_BitBufferFeed(&bs->bitBuffer, data, dataSize, bytesValid);
        *bytesValid = 0;
        return LAYER2DEC_OK;
    }
    RezTools_BitStreamSync(bs);
    RezTools_BitBufferFeed(&bs->bitBuffer, data, dataSize, bytesValid);
    return LAYER2DEC_OK;
}

Layer2DecResult Layer2Dec_DecodeFrame(Layer2DecHandle d, int16_t *pcm, uint32_t pcmCapacity, uint32_t *samplesOut,
                                      uint8_t *padBuffer, uint32_t padBufferSize, uint32_t *padBitsOut,
                                      int32_t conceal)
{
    if (samplesOut)
        *samplesOut = 0;
    if (padBitsOut)
        *padBitsOut = 0;
    if (!d)
        return LAYER2DEC_INVALID_HANDLE;
    if (!pcm)
        return LAYER2DEC_INVALID_ARGUMENT;

    RezBitStream *bs = &d->input.bs;
    RezTools_BitBufferClearOverrun(&bs->bitBuffer);
    bool lostSync = false;
    if (!conceal) {
        const Layer2DecResult status = Layer2_Synchronise(&d->input, d->dabMode);
        if (status == LAYER2DEC_SYNC_LOST) {
            conceal = 1;
            lostSync = true;
        } else if (status != LAYER2DEC_OK) {
            return status;
        }
    }

    uint32_t written = 0;
    Layer2DecResult result = Layer2_DecodeFrame(d->frame, &d->input, pcm, pcmCapacity, &written, padBuffer,
                                                padBufferSize, padBitsOut, conceal);
    if (LAYER2DEC_IS_ERROR(result) || LAYER2DEC_NEEDS_INPUT(result))
        return result;
    // A frame replaced because the stream was lost is reported as concealed, so the
    // caller's statistics see it.
    if (lostSync)
        result = LAYER2DEC_CONCEALED;

    int channels = d->frame->channels > 0 ? d->frame->channels : 1;
    uint32_t frameSize = LAYER2DEC_FRAME_SAMPLES;

    if (d->spatialEnable && !conceal && d->frame->ancillaryBytes > 0) {
        // The spatial stage only ever adds to a frame that was decoded; without data
        // it can use, or an output that cannot take it, the core channels play as they are.
        const uint32_t keep = RezTools_BitStreamGetValidBits(bs);
        RezTools_BitStreamPushBack(bs, d->frame->ancillaryStart - keep);
        const uint32_t ancillaryEnd = keep;
        const SpatialBlock block = Layer2Spatial_FindBlock(d->spatial, bs, ancillaryEnd);
        RezTools_BitStreamPushForward(bs, d->frame->ancillaryStart - keep);
        if (block == SpatialBlock::CrcError) {
            d->spatial->blockBits = 0;
            if (result == LAYER2DEC_OK)
                result = LAYER2DEC_CONCEALED;
        }
        const bool usable = block == SpatialBlock::Good && Layer2Spatial_Available(d->spatial)
                            && pcmCapacity >= SpatialPcmFactor * LAYER2DEC_FRAME_SAMPLES
                            && (d->frame->flags & Layer2FlagInterleaved) == 0;
        (void)usable; // no spatial decoder in this build: nothing to run
    }

    const int dmx = downmix(d, pcm, pcmCapacity, frameSize, &channels);
    if (result == LAYER2DEC_OK && dmx == PCMDMX_NO_RULE)
        result = LAYER2DEC_NO_TABLE;

    refreshInfo(d, result, channels);
    if (LAYER2DEC_IS_ERROR(result))
        return result;
    (void)written;
    if (samplesOut)
        *samplesOut = static_cast<uint32_t>(channels) * frameSize;
    return result;
}

const Layer2StreamInfo *Layer2Dec_GetStreamInfo(Layer2DecHandle d)
{
    return d ? &d->info : nullptr;
}

Layer2DecResult Layer2Dec_SetParam(Layer2DecHandle d, int32_t id, int32_t value)
{
    auto within = [&](int lo, int hi) { return value >= lo && value <= hi; };
    bool ok;
    switch (id) {
    case LAYER2DEC_PARAM_INTERLEAVED:
    case LAYER2DEC_PARAM_DIRECT_INPUT:
    case LAYER2DEC_PARAM_CONCEAL_ENABLE:
    case LAYER2DEC_PARAM_SPATIAL_ENABLE:
    case LAYER2DEC_PARAM_SPATIAL_OUTPUT_MODE: ok = within(0, 1); break;
    case LAYER2DEC_PARAM_OUTPUT_CHANNELS: ok = within(-1, 6); break;
    case LAYER2DEC_PARAM_FADE_OUT_FRAMES:
    case LAYER2DEC_PARAM_FADE_IN_FRAMES: ok = within(0, 15); break;
    case LAYER2DEC_PARAM_GOOD_FRAMES: ok = within(0, 31); break;
    case LAYER2DEC_PARAM_NOISE_LEVEL:
    case LAYER2DEC_PARAM_DRC_FACTOR: ok = within(0, 127); break;
    case LAYER2DEC_PARAM_SPARE_LEVEL: ok = within(0, 256); break;
    case LAYER2DEC_PARAM_SPATIAL_770:
    case LAYER2DEC_PARAM_SPATIAL_786:
    case LAYER2DEC_PARAM_SPATIAL_787:
    case LAYER2DEC_PARAM_SPATIAL_788:
    case LAYER2DEC_PARAM_SPATIAL_789:
    case LAYER2DEC_PARAM_SPATIAL_790:
    case LAYER2DEC_PARAM_SPATIAL_791:
    case LAYER2DEC_PARAM_SPATIAL_800:
    case LAYER2DEC_PARAM_SPATIAL_1025: ok = true; break;
    default: ok = false; break; // also 265, which is always refused
    }
    if (!ok)
        return LAYER2DEC_INVALID_ARGUMENT;
    if (!d)
        return LAYER2DEC_INVALID_HANDLE;

    Layer2FrameDecoder *f = d->frame;
    switch (id) {
    case LAYER2DEC_PARAM_INTERLEAVED:
        f->flags = value ? (f->flags | Layer2FlagInterleaved) : (f->flags & ~Layer2FlagInterleaved);
        return LAYER2DEC_OK;
    case LAYER2DEC_PARAM_OUTPUT_CHANNELS: {
        const Layer2DecResult r = fromDownmix(PcmDmx_SetParam(d->downmix, PCMDMX_PARAM_MAX_CHANNELS, value));
        if (r != LAYER2DEC_OK)
            return r;
        return fromDownmix(PcmDmx_SetParam(d->downmix, PCMDMX_PARAM_MIN_CHANNELS, value));
    }
    case LAYER2DEC_PARAM_DIRECT_INPUT:
        d->input.directInput = static_cast<uint16_t>(value);
        return LAYER2DEC_OK;
    case LAYER2DEC_PARAM_CONCEAL_ENABLE: f->conceal.enabled = value; return LAYER2DEC_OK;
    case LAYER2DEC_PARAM_FADE_OUT_FRAMES: f->conceal.fadeOutLength = static_cast<uint16_t>(value); return LAYER2DEC_OK;
    case LAYER2DEC_PARAM_FADE_IN_FRAMES: f->conceal.fadeInLength = static_cast<uint16_t>(value); return LAYER2DEC_OK;
    case LAYER2DEC_PARAM_GOOD_FRAMES: f->conceal.goodFramesNeeded = value; return LAYER2DEC_OK;
    case LAYER2DEC_PARAM_NOISE_LEVEL: f->conceal.noiseLevel = value; return LAYER2DEC_OK;
    case LAYER2DEC_PARAM_SPARE_LEVEL:
        f->conceal.spareLevel = static_cast<uint16_t>(value == 256 ? 32767 : value * 128);
        return LAYER2DEC_OK;
    case LAYER2DEC_PARAM_DRC_FACTOR: Layer2_DrcSetFactor(&f->drc, value); return LAYER2DEC_OK;
    case LAYER2DEC_PARAM_SPATIAL_ENABLE: d->spatialEnable = static_cast<uint8_t>(value); return LAYER2DEC_OK;
    case LAYER2DEC_PARAM_SPATIAL_OUTPUT_MODE: {
        if (value == 0 && d->spatialOutputMode != 1)
            return fromSpatial(Layer2Spatial_SetParam(d->spatial, 1, d->spatialOutputMode));
        const int32_t coded = static_cast<int32_t>(d->input.header.channels);
        d->info.codedChannels = coded;
        PcmDmx_SetParam(d->downmix, PCMDMX_PARAM_MAX_CHANNELS, coded);
        PcmDmx_SetParam(d->downmix, PCMDMX_PARAM_MIN_CHANNELS, coded);
        const int r = Layer2Spatial_SetParam(d->spatial, 1, value == 1 ? 1 : 2);
        if (r != -997)
            d->spatialOutputMode = static_cast<uint8_t>(value == 1 ? 1 : 2);
        return fromSpatial(r);
    }
    case LAYER2DEC_PARAM_SPATIAL_770: return fromSpatial(Layer2Spatial_SetParam(d->spatial, 5, value));
    case LAYER2DEC_PARAM_SPATIAL_786: return fromSpatial(Layer2Spatial_SetParam(d->spatial, 258, value));
    case LAYER2DEC_PARAM_SPATIAL_787: return fromSpatial(Layer2Spatial_SetParam(d->spatial, 263, value));
    case LAYER2DEC_PARAM_SPATIAL_788: return fromSpatial(Layer2Spatial_SetParam(d->spatial, 259, value));
    case LAYER2DEC_PARAM_SPATIAL_789: return fromSpatial(Layer2Spatial_SetParam(d->spatial, 260, value));
    case LAYER2DEC_PARAM_SPATIAL_790: return fromSpatial(Layer2Spatial_SetParam(d->spatial, 261, value));
    case LAYER2DEC_PARAM_SPATIAL_791: return fromSpatial(Layer2Spatial_SetParam(d->spatial, 262, value));
    case LAYER2DEC_PARAM_SPATIAL_800: return fromSpatial(Layer2Spatial_SetParam(d->spatial, 2, value));
    default: // 1025
        return fromSpatial(Layer2Spatial_SetParam(d->spatial, 3, value == -1 ? 1 : value));
    }
}

Layer2DecResult Layer2Dec_SetParamArray(Layer2DecHandle d, int32_t id, const int16_t *values)
{
    if ((id != LAYER2DEC_PARAM_FADE_OUT_TABLE && id != LAYER2DEC_PARAM_FADE_IN_TABLE) || !values)
        return LAYER2DEC_INVALID_ARGUMENT;
    if (!d)
        return LAYER2DEC_INVALID_HANDLE;
    int16_t table[16];
    if (Layer2_FadeTableFromAttenuations(values, table) != 0)
        return LAYER2DEC_INVALID_ARGUMENT;
    std::memcpy(id == LAYER2DEC_PARAM_FADE_OUT_TABLE ? d->frame->conceal.fadeOut : d->frame->conceal.fadeIn, table,
                sizeof table);
    return LAYER2DEC_OK;
}

int Layer2Dec_GetLibInfo(LIB_INFO *table)
{
    if (!table)
        return -1;
    RezTools_GetLibInfo(table);
    LIB_INFO *row = RezTools_LibInfoFreeRow(table, 0, nullptr);
    if (!row)
        return -1;
    RezTools_LibInfoFill(row, "Layer-2 Decoder Lib", "16:54:23", REZ_MODULE_LAYER2_DECODER, 2, 3, 0x1F);
    return 0;
}
