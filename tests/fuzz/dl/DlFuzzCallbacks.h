// Dynamic Label decoder callbacks for the fuzz targets: each reads what it is
// given completely and stops the run on a length past the label's limit or a
// label without its terminating zero.
#ifndef ZOZ_FUZZ_DL_CALLBACKS_H
#define ZOZ_FUZZ_DL_CALLBACKS_H

#include "DabDlDecoder.h"

#include <cstdint>
#include <cstdlib>

namespace DlFuzz {

inline unsigned g_sink = 0;

inline void readBytes(const uint8_t *bytes, uint32_t length)
{
    for (uint32_t i = 0; i < length; ++i)
        g_sink += bytes[i];
}

inline void readLabel(uint8_t, const uint8_t *text, uint32_t length, void *)
{
    if (length > DL_MAX_LABEL_BYTES || text[length] != 0)
        std::abort();
    readBytes(text, length);
}

inline void readCommand(uint8_t, const uint8_t *body, uint32_t length, void *)
{
    if (length > DL_MAX_LABEL_BYTES)
        std::abort();
    readBytes(body, length);
}

} // namespace DlFuzz

#endif
