// The element walk of one AAC raw data block: channel elements into the block's
// channel records; coupling channel, data stream, program configuration and fill
// elements read and routed; the block's end checked against the access unit.
#pragma once

#include "aac_channel.h"

#include <cstdint>

constexpr int AacRawBlockMaxChannels = 8;
// Element ids 0..20 of the walk, one counter each.
constexpr int AacElementIdCount = 21;

struct AacDecRawBlock
{
    AacDecChannelData channel[AacRawBlockMaxChannels];
    AacDecElement element[AacRawBlockMaxChannels];
    int8_t elementId[AacRawBlockMaxChannels]; // 0 single channel, 1 pair, 3 low frequency
    int elementCount;
    int channelCount;                          // channels decoded
    // A coupling channel is read into this record and then dropped: nothing mixes it.
    AacDecChannelData coupling;
    int counter[AacElementIdCount];            // elements of each id met in this block
    int8_t lastId;                             // the id the walk stopped at
    uint32_t endElementBit;                    // bits of the unit before the end element
    uint32_t elementStartBit[AacRawBlockMaxChannels]; // bits before each channel element's id
    bool programConfigStored;                  // an in-band program configuration replaced the stored one
};

// Reads the elements up to the end element. auStartBits is the bit stream's valid
// bit count at the access unit's start, auBits the unit's length in bits (0: not known);
// maxChannels the configured channel count. With an instance, data stream, program
// configuration and fill elements go to it (ancillary data, dynamic range payloads,
// in-band program configuration, coupling record); without one they are checked and
// stepped over. Results: 0; 0x2003 (no band tables); 0x4002 (bad element or payload,
// a block that does not end where the unit does); 0x4004 (too many channels or
// elements of a kind, a coupling channel without a coupling record, too few bits);
// the element errors of aac_channel.h.
int AacDec_ReadRawDataBlock(RezBitStream *bs, AacDecRawBlock *block, const AacSamplingRateInfo *sr, uint32_t flags,
                            uint32_t frameLength, uint32_t auStartBits, uint32_t auBits, int maxChannels,
                            AacDecInstance *h = nullptr);

// One extension payload of a fill element (inFillElement 1) or of an extension
// position; *bitCount holds the payload's bits and is lowered as they are read.
// previousId is the id of the element before, for the SBR payloads. h may be null
// (nothing is collected). Results: 0; 0x4002 (too short, bad fill bytes, a payload
// that reads past its end, SBR data after an element that carries none); 0x4004
// (more bits claimed than the stream holds).
int AacDec_ParseExtensionPayload(AacDecInstance *h, RezBitStream *bs, int32_t *bitCount, int previousId,
                                 int elementIndex, int inFillElement);

// Sets up the SBR decoder for channel element id at elementIndex; a refusal switches
// SBR off (sbrEnabled 0) and returns false.
bool AacDec_SbrInitElement(AacDecInstance *h, int id, int elementIndex);

// A data stream element from the tag on: its bytes go to the ancillary collector, to
// the dynamic range notes and to the downmix metadata reader. *tag receives the
// element tag. Results: 0; 0x4004 (more bytes than the unit holds); the collector's
// 0x8002/0x8003 (bytes skipped); 5 when only the downmix metadata were not usable.
int AacDec_ParseDataStreamElement(AacDecInstance *h, RezBitStream *bs, uint8_t *tag, uint32_t auStartBits);

// A program configuration element inside a raw data block. -1 (invalid, or a layout
// that differs from the stored one), 0 (nothing stored) or 1 (stored as new).
int AacDec_ParseInBandPce(RezBitStream *bs, AacPce *stored, int channelConfig, uint32_t auStartBits);

// Ancillary data collector. SetBuffer: 0 or 0x8001 (negative size). Collect: 0,
// 0x8002 (does not fit), 0x8003 (more than 7 blocks); bytes not copied are skipped.
int AacDec_AncDataSetBuffer(AacDecAncData *anc, uint8_t *buffer, int32_t size);
int AacDec_AncDataGetBlock(const AacDecAncData *anc, int32_t index, uint8_t **data, int32_t *size);
int AacDec_AncDataCollect(AacDecAncData *anc, RezBitStream *bs, int32_t n);

// Notes a dynamic range payload (kind 1: fill element payload, kind 2: data stream
// ancillary data) and returns the bits it spans.
int32_t AacDec_DrcParsePayload(AacDecDrc *drc, RezBitStream *bs, int kind);
