// Start-frequency offsets of the SBR frequency band tables: k0 = startMin + offset.
#ifndef SBR_START_FREQUENCY_TABLES_H
#define SBR_START_FREQUENCY_TABLES_H

#include <stdint.h>

// SBR sample rates with a row of offsets, in Hz (88200 and 96000 share a row).
extern const uint32_t SbrDec_StartRates[9];
// Row per rate of SbrDec_StartRates, index = start-frequency code 0..15: offset in
// QMF bands from startMin.
extern const int8_t SbrDec_StartOffsets[9][16];

#endif
