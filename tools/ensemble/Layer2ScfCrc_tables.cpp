// Transcribed from ISO/IEC 11172-3 (Layer II bitrate_index, Table B.2a and
// B.2c) and ETSI EN 300 401 (ScF-CRC sub-band groups).
#include "Layer2ScfCrc_tables.h"

namespace ZOZ::EnsembleGen {

const uint16_t Layer2BitRateKbps[16] = {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0};

const Layer2AllocationShape Layer2AllocationWide = {
    27, {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 2, 2, 2, 2}};

const Layer2AllocationShape Layer2AllocationNarrow = {8, {4, 4, 3, 3, 3, 3, 3, 3}};

const uint8_t ScfCrcGroupEnd[4] = {3, 7, 15, 26};

} // namespace ZOZ::EnsembleGen
