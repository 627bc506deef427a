// Coefficients of the hybrid filter bank (the parametric stereo hybrid filters).
#include "RezHybrid_tables.h"

// 0.01899, -0.07293, 0.30597 for taps 1/11, 3/9, 5/7.
const int16_t RezTools_Hybrid2Coefficients[3] = {622, -2390, 10026};

const int16_t RezTools_Hybrid8Real[13] = {-173, -285, 0, 911, 2290, 3570, 4096, 3570, 2290, 911, 0, -285, -173};
const int16_t RezTools_Hybrid8Imag[13] = {173, 687, 1490, 2200, 2290, 1479, 0, -1479, -2290, -2200, -1490, -687, -173};

const int16_t RezTools_Hybrid4Prototype[13] = {-100, -260, 0, 1415, 4110, 6956, 8192, 6956, 4110, 1415, 0, -260, -100};

const int32_t RezTools_HybridRingIndex[26] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12,
                                              0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
