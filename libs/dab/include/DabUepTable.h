// Sub-channel sizes, protection levels and bit rates of the short-form
// (unequal error protection) sub-channel organisation, by table index.
#ifndef ZOZ_DAB_UEP_TABLE_H
#define ZOZ_DAB_UEP_TABLE_H

#include <cstdint>

namespace ZOZ {

struct DabUepEntry {
    uint16_t size;            // sub-channel size, capacity units
    uint8_t protectionLevel;  // 1 (strongest) to 5
    uint16_t bitRate;         // kbit/s
};

constexpr int DabUepTableSize = 64;

// Entry of a FIG 0/1 short-form table index (0-63); null outside the table.
const DabUepEntry *uepTableEntry(int tableIndex);

} // namespace ZOZ

#endif
