// Computed constant tables of the toolbox (see tools/codec/make_rez_tables.py).
#ifndef REZ_TOOLS_TABLES_H
#define REZ_TOOLS_TABLES_H

#include "RezTools.h"

// log2(i) in Q25, index i - 1 for i = 1..192.
extern const int32_t RezTools_Log2Table[192];
// atan(2^(e - 1)) in Q30 for e = 7..25, indexed by e.
extern const int32_t RezTools_AtanTable[26];

#endif
