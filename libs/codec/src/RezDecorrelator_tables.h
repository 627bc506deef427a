// Constant tables of the decorrelator: band-group layouts, per-type group parameters,
// the parametric-stereo link rows and the parameter bands of the ducker.
#ifndef REZ_DECORRELATOR_TABLES_H
#define REZ_DECORRELATOR_TABLES_H

#include <stdint.h>

// Exclusive upper hybrid band of groups 0..3. Index 0..2: the MPEG Surround layouts
// (types 0 and 2, by layout index); 3: type 0 with the alternative (low-power) layout;
// 4: type 1; 5: type 1 with the alternative layout.
extern const uint8_t RezTools_DecorrelatorLayouts[6][4];

// Per type 0, 1, 2 and group 0..3: delay in slots.
extern const uint8_t RezTools_DecorrelatorDelays[3][4];
// Type 1 with the alternative layout: delay in slots per group.
extern const uint8_t RezTools_DecorrelatorDelaysAlternative[4];
// Per type and group: all-pass order (types 0 and 2) or link-block stride (type 1).
extern const int8_t RezTools_DecorrelatorOrders[3][4];
// Per type and group: the stage kind (0 none, 1 delay, 2 delay and all-pass,
// 5 delay, phase factor and three all-pass links).
extern const int32_t RezTools_DecorrelatorStageKinds[3][4];
// Per type: state A and state B words (index 0 normal, 1 alternative layout).
extern const int32_t RezTools_DecorrelatorStateSizes[3][2][2];

// Parametric-stereo all-pass links, row per hybrid band 0..29 (generated).
extern const int16_t RezTools_DecorrelatorLinkRows[30][8];

// Parameter-band borders in hybrid bands (20 and 28 parameter bands, the last entry
// is the band count 71) and the hybrid band to parameter band maps.
extern const uint8_t RezTools_DecorrelatorBorders20[21];
extern const uint8_t RezTools_DecorrelatorBorders28[29];
extern const uint8_t RezTools_DecorrelatorBandMap20[71];
extern const uint8_t RezTools_DecorrelatorBandMap28[71];

#endif
