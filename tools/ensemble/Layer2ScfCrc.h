// The scale-factor CRC that DAB carries at the end of each Layer II frame for
// the scale factors of the frame after it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ZOZ::EnsembleGen {

// The CRC bytes of one MPEG-1 48 kHz Layer II frame's scale factors, one per
// group of sub-bands (0-3, 4-7, 8-15, 16 up), `groups` of them (2 or 4); the
// first is the one that stands last, just before the F-PAD. Empty when the
// frame is no such frame or is cut short.
std::vector<uint8_t> layer2ScfCrc(const uint8_t *frame, size_t length, size_t groups);

} // namespace ZOZ::EnsembleGen
