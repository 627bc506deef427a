/* CRC-16 of the DAB data channels: polynomial x^16 + x^12 + x^5 + 1 (0x1021),
 * register preset to 0xFFFF, bits most significant first, result complemented.
 * Shared by the FIC, packet-mode, MOT, Dynamic Label and PAD decoders. */
#ifndef ZOZ_DAB_CRC16_H
#define ZOZ_DAB_CRC16_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* CRC of `length` bytes at `data`; the empty range (or a null pointer) gives 0. */
uint16_t DAB_Bb_Ruz_Crc16(const uint8_t *data, size_t length);

/* Returns 1 when DAB_Bb_Ruz_Crc16 of the bytes equals `expected`, else 0. */
int DAB_Bb_Ruz_Crc16Check(const uint8_t *data, size_t length, uint16_t expected);

/* The uncomplemented register after running `length` bytes through it from
 * `initial`, for any 16-bit polynomial (most significant bit first). The DAB
 * polynomial uses a precomputed table; others build theirs on each call. */
uint16_t DAB_Bb_Ruz_Crc16Register(uint16_t polynomial, uint16_t initial, const uint8_t *data, size_t length);

#ifdef __cplusplus
}
#endif

#endif
