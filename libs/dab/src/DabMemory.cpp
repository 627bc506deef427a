#include "DabMemory.h"

#include <cstring>

extern "C" int DAB_Bb_Ruz_MemCopy(void *destination, const void *source, size_t size)
{
    if (size == 0)
        return 1;
    if (destination == nullptr || source == nullptr)
        return 0;
    return std::memcpy(destination, source, size) == destination ? 1 : 0;
}

extern "C" int DAB_Bb_Ruz_MemMove(void *destination, const void *source, size_t size)
{
    if (size == 0)
        return 1;
    if (destination == nullptr || source == nullptr)
        return 0;
    return std::memmove(destination, source, size) == destination ? 1 : 0;
}

extern "C" int DAB_Bb_Ruz_MemSet(void *destination, int value, size_t size)
{
    if (size == 0)
        return 1;
    if (destination == nullptr)
        return 0;
    return std::memset(destination, value, size) == destination ? 1 : 0;
}
