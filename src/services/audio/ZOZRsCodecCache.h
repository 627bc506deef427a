#pragma once

#include <cstdint>

namespace ZOZ {

// Reed-Solomon codecs shared by the whole process, built once per parameter set
// and used through small handles (the index of the cached codec).
//
// A handle for the code with these parameters, or -1 when the cache is full
// (16 codecs) or the parameters make no code.
int rsInit(int symsize, int gfpoly, int fcr, int prim, int nroots, int pad);
// Corrects the codeword of the handle's length in place. Erasures are byte
// positions from the start of data. 0: no error; n > 0: n symbols corrected; -1:
// not correctable (data unchanged) or a bad handle.
int rsDecode(int handle, uint8_t *data, const int *erasures, int erasureCount);
// Drops every cached codec; handles become invalid.
void rsFreeAll();

// The Fire code of a DAB+ superframe header over its first 11 bytes: 0 correct,
// 1 a correctable burst (corrected in place unless checkOnly), 2 not correctable.
int checkFireCode(uint8_t *frame, bool checkOnly);
// The remainder of the bit polynomial value (bit i = x^i) modulo poly of degree `degree`.
uint32_t polyMod2(uint32_t value, uint32_t poly, uint32_t degree);

} // namespace ZOZ
