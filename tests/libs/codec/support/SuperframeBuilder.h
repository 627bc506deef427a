// Builds DAB+ superframes for tests: AU CRCs, Fire code and RS parity computed
// here with plain arithmetic, independent of the parser's own code.
#ifndef ZOZ_TEST_SUPERFRAME_BUILDER_H
#define ZOZ_TEST_SUPERFRAME_BUILDER_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace SuperframeBuilder {

// CRC-16 (x^16 + x^12 + x^5 + 1, preset 0xFFFF, inverted), bit by bit.
uint16_t accessUnitCrc(const uint8_t *data, std::size_t length);

// The 16 Fire check bits over the 9 bytes that follow them.
uint16_t fireCheck(const uint8_t *protectedBytes);

// Number of AUs for a header byte.
int accessUnitCount(uint8_t headerByte);

// A complete superframe of 120 * n bytes (5 logical frames of 24 * n) for the header
// byte; AU i is filled with bytes of value seed + i, and the AUs share the audio
// part evenly. starts receives the AU start offsets when not null.
std::vector<uint8_t> build(uint32_t n, uint8_t headerByte, uint8_t seed, std::vector<int> *starts = nullptr);

// Recomputes the RS parity of every column after the caller changed the audio part.
void encodeColumns(std::vector<uint8_t> &superframe, uint32_t n);

} // namespace SuperframeBuilder

#endif
