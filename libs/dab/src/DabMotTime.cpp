#include "DabMotTime.h"

namespace ZOZ {

namespace {

constexpr uint32_t ShortFormBytes = 4;
constexpr uint32_t LongFormBytes = 6;
constexpr uint8_t ValidityBit = 0x80;
constexpr uint8_t LongFormBit = 0x08; // the UTC flag: seconds and milliseconds follow
// 1970-01-01 as a Modified Julian Date.
constexpr uint32_t UnixEpochMjd = 40587;

} // namespace

bool motTimeToUnix(const uint8_t *data, uint32_t length, uint32_t &unixTime)
{
    if (!data || length < ShortFormBytes)
        return false;
    if (!(data[0] & ValidityBit)) {
        unixTime = 0;
        return true;
    }
    const bool longForm = data[2] & LongFormBit;
    if (longForm && length < LongFormBytes)
        return false;
    const uint32_t mjd = (uint32_t(data[0] & 0x7F) << 10) | (uint32_t(data[1]) << 2) | (data[2] >> 6);
    const uint32_t hours = (uint32_t(data[2] & 0x07) << 2) | (data[3] >> 6);
    const uint32_t minutes = data[3] & 0x3F;
    const uint32_t seconds = longForm ? uint32_t(data[4] >> 2) : 0;
    unixTime = ((mjd * 24 + hours) * 60 + minutes) * 60 + seconds - UnixEpochMjd * 86400u;
    return true;
}

} // namespace ZOZ
