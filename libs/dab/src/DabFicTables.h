// Constant tables of the FIC decoder.
#ifndef ZOZ_DAB_FIC_TABLES_H
#define ZOZ_DAB_FIC_TABLES_H

#include <cstdint>

namespace ZOZ::Fic {

// How many pushes (one push is one CIF) an entry survives without being
// received again, by FIG type (0-2) and extension (0-31). 0: gone at the
// next check unless received in that very push.
extern const uint32_t FicRecordTimeouts[3][32];

} // namespace ZOZ::Fic

#endif
