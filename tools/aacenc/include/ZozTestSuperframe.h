// DAB+ superframes for tests and demo streams: the superframe header with its Fire
// code, the access unit starts, a CRC behind every access unit and the RS(120,110)
// parity of the n interleaved columns.
#pragma once

#include "ZozTestAacEncoder.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace ZozTestAac {

struct SuperframeFormat
{
    int subchannelSize = 8;  // n: the superframe has 120 * n bytes, 110 * n before the parity
    bool dacRate48 = true;   // dac_rate: 48 kHz (else 32 kHz) output
    bool sbr = false;        // sbr_flag
    bool stereo = true;      // aac_channel_mode
    bool ps = false;         // ps_flag
    int mpegSurround = 0;    // mpeg_surround_config, 3 bits
};

// The superframe header byte that follows the Fire code.
uint8_t superframeHeaderByte(const SuperframeFormat &format);
// Access units per superframe: 2, 3, 4 or 6.
int accessUnitCount(const SuperframeFormat &format);
// Byte at which the first access unit starts (after the header and the starts).
int firstAccessUnitStart(int accessUnits);
// Bytes each access unit may hold (without its CRC) when the audio part is shared
// evenly; the first ones take the remainder.
std::vector<int> accessUnitBudgets(const SuperframeFormat &format);

// The 16 check bits of the Fire code over the 9 bytes that follow them.
uint16_t fireCode(const uint8_t *protectedBytes);
// CRC of an access unit as it is sent behind it.
uint16_t accessUnitCrc(const uint8_t *data, std::size_t length);
// Writes the RS(120,110) parity of every column of a superframe of 120 * n bytes.
void writeReedSolomonParity(std::vector<uint8_t> &superframe, int subchannelSize);

// A superframe from access units that fill the audio part exactly (their lengths plus
// two CRC bytes each add up to 110 * n - first start). Empty when they do not, or when
// their count does not match the format.
std::vector<uint8_t> buildSuperframe(const SuperframeFormat &format, const std::vector<std::vector<uint8_t>> &units);

// Encodes PCM into superframes: each unit is made to fill its share exactly, with the
// PAD that padSource gives for the unit's index in its data stream element (no PAD
// when padSource is empty or gives nothing). Returns the superframes made from the
// units the encoder has ready (a unit that cannot fit ends the run); none when the
// encoder's frame length is not 960 or, without SBR, its sampling rate is not the one
// of dac_rate.
using PadSource = std::function<std::vector<uint8_t>(int unitIndex)>;
std::vector<std::vector<uint8_t>> encodeSuperframes(Encoder &encoder, const SuperframeFormat &format,
                                                    const PadSource &padSource = {});

} // namespace ZozTestAac
