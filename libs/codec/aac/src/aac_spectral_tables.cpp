#include "aac_spectral_tables.h"

namespace AacSpectralTables {

// sin(v / ((2^(r-1) + 0.5) / (pi / 2))) for v < 0, sin(v / ((2^(r-1) - 0.5) / (pi / 2))) else.
const int32_t tnsCoefficient3[8] = {
    -2114858546, -1859775393, -1380375881, -734482665, 0, 931758235, 1678970324, 2093641749,
};

const int32_t tnsCoefficient4[16] = {
    -2138322861, -2065504841, -1922348530, -1713728946, -1446750378, -1130504462, -775760571, -394599085,
    0,           446486956,   873460290,   1262259218,  1595891361,  1859775393,  2042378317,  2135719508,
};

} // namespace AacSpectralTables
