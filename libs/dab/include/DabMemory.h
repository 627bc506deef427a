/* Memory routines shared by the DAB data decoders (packet mode, MOT, Dynamic
 * Label, PAD). Each returns 1 when the C library routine returned the
 * destination, else 0; a null destination or source with a non-zero size
 * returns 0 and touches nothing. */
#ifndef ZOZ_DAB_MEMORY_H
#define ZOZ_DAB_MEMORY_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

int DAB_Bb_Ruz_MemCopy(void *destination, const void *source, size_t size);
int DAB_Bb_Ruz_MemMove(void *destination, const void *source, size_t size);
int DAB_Bb_Ruz_MemSet(void *destination, int value, size_t size);

#ifdef __cplusplus
}
#endif

#endif
