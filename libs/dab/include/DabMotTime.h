// DAB times in MOT header parameters (trigger and expiry times).
#ifndef ZOZ_DAB_MOT_TIME_H
#define ZOZ_DAB_MOT_TIME_H

#include <cstdint>

namespace ZOZ {

// Reads a DAB time of `length` bytes into seconds since 1970-01-01 UTC (modulo
// 2^32); an invalid time (validity bit clear) means "now" and gives 0. False,
// and `unixTime` untouched, when the bytes the time announces are not all
// there: 4 for the short form, 6 for the long form with seconds.
bool motTimeToUnix(const uint8_t *data, uint32_t length, uint32_t &unixTime);

} // namespace ZOZ

#endif
