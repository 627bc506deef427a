// Allocation, memory and formatting functions of the codec family.
#include "RezTools.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The only static state of the family.
std::atomic<uint32_t> initWord{0};

constexpr uintptr_t BlockAlignment = 8;

} // namespace

extern "C" {

void *RezSys_AlignedCalloc(size_t size, size_t alignment)
{
    if (size == 0)
        return nullptr;
    // Room for the alignment step and for the block's own address just below the result.
    const size_t extra = (alignment > BlockAlignment ? alignment : BlockAlignment) + sizeof(void *);
    if (size > SIZE_MAX - extra)
        return nullptr;
    auto *block = static_cast<unsigned char *>(std::calloc(1, size + extra));
    if (!block)
        return nullptr;
    const uintptr_t first = reinterpret_cast<uintptr_t>(block) + sizeof(void *);
    const uintptr_t aligned = (first + BlockAlignment - 1) & ~(BlockAlignment - 1);
    auto *result = reinterpret_cast<unsigned char *>(aligned);
    std::memcpy(result - sizeof(void *), &block, sizeof(void *));
    return result;
}

void RezSys_AlignedFree(void *p)
{
    if (!p)
        return;
    void *block;
    std::memcpy(&block, static_cast<unsigned char *>(p) - sizeof(void *), sizeof(void *));
    std::free(block);
}

void *RezSys_Calloc(size_t count, size_t size)
{
    if (count == 0 || size == 0)
        return nullptr;
    return std::calloc(count, size);
}

void *RezSys_Calloc2(size_t count, size_t size)
{
    return RezSys_Calloc(count, size);
}

void RezSys_MemClear(void *p, size_t n)
{
    if (p && n)
        std::memset(p, 0, n);
}

void RezSys_MemSet(void *p, int value, size_t n)
{
    if (p && n)
        std::memset(p, value, n);
}

void RezSys_MemCopy(void *dst, const void *src, size_t n)
{
    if (dst && src && n)
        std::memmove(dst, src, n);
}

int RezSys_MemCompare(const void *a, const void *b, size_t n)
{
    const int r = n ? std::memcmp(a, b, n) : 0; // memcmp compares as unsigned bytes
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int RezSys_Sprintf(char *buffer, size_t size, const char *format, ...)
{
    if (!buffer || !format)
        return -1;
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(buffer, size, format, args);
    va_end(args);
    if (written < 0 || static_cast<size_t>(written) >= size)
        return -1;
    return written;
}

int RezSys_SetInitWord(void)
{
    uint32_t expected = 0;
    initWord.compare_exchange_strong(expected, REZ_INIT_WORD_VALUE);
    return 0;
}

int RezSys_CheckFirstInit(void)
{
    uint32_t expected = 0;
    if (initWord.compare_exchange_strong(expected, REZ_INIT_WORD_VALUE))
        return 1;
    return expected == REZ_INIT_WORD_VALUE ? 0 : 2;
}

} // extern "C"
