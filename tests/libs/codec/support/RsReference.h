// A plain Reed-Solomon encoder and syndrome check for tests, with its own field
// arithmetic (bitwise multiplication), so the decoder's tables are not reused.
#ifndef ZOZ_TEST_RS_REFERENCE_H
#define ZOZ_TEST_RS_REFERENCE_H

#include <cstdint>
#include <vector>

namespace RsReference {

// GF(2^8) with x^8 + x^4 + x^3 + x^2 + 1.
uint8_t multiply(uint8_t a, uint8_t b);

// Systematic RS(k + 10, k) codeword with roots alpha^0..alpha^9: data then parity.
std::vector<uint8_t> encode(const std::vector<uint8_t> &data);

// True when every syndrome r(alpha^j), j = 0..9, of the word (first byte highest
// degree) is zero.
bool isCodeword(const std::vector<uint8_t> &word);

} // namespace RsReference

#endif
