// Bit-buffer primitives shared inside the toolbox.
#ifndef REZ_BIT_BUFFER_INTERNAL_H
#define REZ_BIT_BUFFER_INTERNAL_H

#include "RezTools.h"

namespace RezBits {

// The next n (1..32) bits without moving; bits beyond the fed data read as zeros.
uint32_t peek(const RezBitBuffer *bb, uint32_t n);
// Moves the read position by n bits, counting what passes the end as overrun bits.
void consume(RezBitBuffer *bb, uint32_t n);
// peek + consume, without raising the overrun flag (the caller decides).
uint32_t take(RezBitBuffer *bb, uint32_t n);

} // namespace RezBits

#endif
