#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace ZOZ {

// Running state of one MD5 digest. Belongs to one user; not thread-safe.
struct Md5Context
{
    uint32_t bitCount[2] = {0, 0}; // message length in bits: low, high word
    uint32_t state[4] = {0, 0, 0, 0}; // chaining words A, B, C, D
    uint8_t block[64] = {};
    uint8_t digest[16] = {};
};

using Md5Digest = std::array<uint8_t, 16>;

void md5Init(Md5Context *context);
// Adds `length` bytes; may be called any number of times with any lengths.
void md5Update(Md5Context *context, const uint8_t *bytes, size_t length);
// Pads the message, returns the digest (A, B, C, D little-endian) and keeps a copy in the context.
Md5Digest md5Final(Md5Context *context);

} // namespace ZOZ
