// Constant tables of the decorrelator (see RezDecorrelator_tables.h).
#include "RezDecorrelator_tables.h"

const uint8_t RezTools_DecorrelatorLayouts[6][4] = {
    {8, 21, 30, 71}, {8, 56, 71, 71}, {0, 21, 71, 71}, {0, 14, 30, 71}, {30, 42, 71, 71}, {14, 42, 71, 71},
};

const uint8_t RezTools_DecorrelatorDelays[3][4] = {{8, 7, 2, 1}, {2, 14, 1, 0}, {11, 10, 5, 2}};
const uint8_t RezTools_DecorrelatorDelaysAlternative[4] = {8, 14, 1, 0};
const int8_t RezTools_DecorrelatorOrders[3][4] = {{20, 15, 6, 3}, {12, 12, 12, 12}, {10, 8, 3, 2}};
const int32_t RezTools_DecorrelatorStageKinds[3][4] = {{2, 2, 2, 2}, {5, 1, 1, 0}, {2, 2, 2, 2}};
const int32_t RezTools_DecorrelatorStateSizes[3][2][2] = {
    {{1940, 860}, {858, 342}},
    {{720, 514}, {336, 1066}},
    {{586, 690}, {586, 690}},
};

const uint8_t RezTools_DecorrelatorBorders20[21] = {0,  2,  4,  5,  6,  7,  8,  9,  10, 11, 12,
                                                    13, 14, 15, 16, 18, 21, 25, 30, 42, 71};
const uint8_t RezTools_DecorrelatorBorders28[29] = {0,  2,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16,
                                                    17, 18, 19, 21, 23, 25, 27, 30, 33, 37, 42, 48, 55, 71};

const uint8_t RezTools_DecorrelatorBandMap20[71] = {
    0,  0,  1,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 14, 15, 15, 15, 16, 16, 16,
    16, 17, 17, 17, 17, 17, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 18, 19, 19, 19, 19, 19, 19,
    19, 19, 19, 19, 19, 19, 19, 19, 19, 19, 19, 19, 19, 19, 19, 19, 19, 19, 19, 19, 19, 19, 19,
};
const uint8_t RezTools_DecorrelatorBandMap28[71] = {
    0,  0,  1,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 17, 18, 18, 19,
    19, 20, 20, 21, 21, 21, 22, 22, 22, 23, 23, 23, 23, 24, 24, 24, 24, 24, 25, 25, 25, 25, 25, 25,
    26, 26, 26, 26, 26, 26, 26, 27, 27, 27, 27, 27, 27, 27, 27, 27, 27, 27, 27, 27, 27, 27, 27,
};
