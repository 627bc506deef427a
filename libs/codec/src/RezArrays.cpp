// Zeroed 1-, 2- and 3-dimensional arrays, each with one data block.
#include "RezTools.h"

#include <cstdlib>

namespace {

using Allocator = void *(*)(size_t, size_t);

void *alignedBlock(size_t count, size_t size)
{
    if (count == 0 || size == 0 || count > SIZE_MAX / size)
        return nullptr;
    return RezSys_AlignedCalloc(count * size, 8);
}

void *plainBlock(size_t count, size_t size)
{
    if (count == 0 || size == 0 || count > SIZE_MAX / size)
        return nullptr;
    return RezSys_Calloc(count, size);
}

bool product(size_t a, size_t b, size_t *out)
{
    if (a != 0 && b > SIZE_MAX / a)
        return false;
    *out = a * b;
    return true;
}

void **calloc2D(size_t rows, size_t cols, size_t size, Allocator data)
{
    size_t cells;
    if (rows == 0 || cols == 0 || size == 0 || !product(rows, cols, &cells))
        return nullptr;
    auto **vector = static_cast<void **>(RezSys_Calloc(rows, sizeof(void *)));
    if (!vector)
        return nullptr;
    auto *block = static_cast<unsigned char *>(data(cells, size));
    if (!block) {
        std::free(vector);
        return nullptr;
    }
    for (size_t r = 0; r < rows; ++r)
        vector[r] = block + r * cols * size;
    return vector;
}

void ***calloc3D(size_t d1, size_t d2, size_t d3, size_t size, Allocator data)
{
    size_t rows, cells;
    if (d1 == 0 || d2 == 0 || d3 == 0 || size == 0 || !product(d1, d2, &rows) || !product(rows, d3, &cells))
        return nullptr;
    auto ***planes = static_cast<void ***>(RezSys_Calloc(d1, sizeof(void **)));
    auto **vector = static_cast<void **>(RezSys_Calloc(rows, sizeof(void *)));
    auto *block = static_cast<unsigned char *>(data(cells, size));
    if (!planes || !vector || !block) {
        std::free(planes);
        std::free(vector);
        if (data == alignedBlock)
            RezSys_AlignedFree(block);
        else
            std::free(block);
        return nullptr;
    }
    for (size_t i = 0; i < d1; ++i) {
        planes[i] = vector + i * d2;
        for (size_t j = 0; j < d2; ++j)
            planes[i][j] = block + (i * d2 + j) * d3 * size;
    }
    return planes;
}

} // namespace

extern "C" {

void *RezTools_Calloc1D(size_t n, size_t size)
{
    return plainBlock(n, size);
}

void *RezTools_AlignedCalloc1D(size_t n, size_t size)
{
    return alignedBlock(n, size);
}

void *RezTools_Calloc1DExtra(size_t n, size_t size, int)
{
    return plainBlock(n, size);
}

void **RezTools_Calloc2D(size_t rows, size_t cols, size_t size)
{
    return calloc2D(rows, cols, size, plainBlock);
}

void **RezTools_AlignedCalloc2D(size_t rows, size_t cols, size_t size)
{
    return calloc2D(rows, cols, size, alignedBlock);
}

void **RezTools_Calloc2DExtra(size_t rows, size_t cols, size_t size, int)
{
    return calloc2D(rows, cols, size, plainBlock);
}

void **RezTools_AlignedCalloc2DExtra(size_t rows, size_t cols, size_t size, int)
{
    return calloc2D(rows, cols, size, alignedBlock);
}

void ***RezTools_Calloc3D(size_t d1, size_t d2, size_t d3, size_t size)
{
    return calloc3D(d1, d2, d3, size, plainBlock);
}

void ***RezTools_AlignedCalloc3D(size_t d1, size_t d2, size_t d3, size_t size)
{
    return calloc3D(d1, d2, d3, size, alignedBlock);
}

void ***RezTools_Calloc3DExtra(size_t d1, size_t d2, size_t d3, size_t size, int)
{
    return calloc3D(d1, d2, d3, size, plainBlock);
}

void RezTools_Free1D(void *p)
{
    std::free(p);
}

void RezTools_AlignedFree1D(void *p)
{
    RezSys_AlignedFree(p);
}

void RezTools_Free2D(void **p)
{
    if (!p)
        return;
    std::free(p[0]);
    std::free(p);
}

void RezTools_AlignedFree2D(void **p)
{
    if (!p)
        return;
    RezSys_AlignedFree(p[0]);
    std::free(p);
}

void RezTools_Free3D(void ***p)
{
    if (!p)
        return;
    std::free(p[0][0]);
    std::free(p[0]);
    std::free(p);
}

void RezTools_AlignedFree3D(void ***p)
{
    if (!p)
        return;
    RezSys_AlignedFree(p[0][0]);
    std::free(p[0]);
    std::free(p);
}

} // extern "C"
