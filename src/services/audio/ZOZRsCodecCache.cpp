#include "ZOZRsCodecCache.h"

#include "DABplusParser.h"
#include "RsCodec.h"

#include <QByteArray>
#include <QMutex>

#include <array>
#include <memory>

namespace ZOZ {

namespace {

constexpr int CacheSize = 16;

struct CacheEntry
{
    QByteArray key;
    std::unique_ptr<RsCodecContext> codec;
};

struct Cache
{
    // Codecs are built on whichever thread first asks; decoding needs no lock
    // because a built entry never changes until rsFreeAll.
    QMutex mutex;
    std::array<CacheEntry, CacheSize> entries;
    int count = 0;
};

Cache &cache()
{
    static Cache instance;
    return instance;
}

} // namespace

int rsInit(int symsize, int gfpoly, int fcr, int prim, int nroots, int pad)
{
    const QByteArray key = QByteArray::number(symsize) + '/' + QByteArray::number(gfpoly) + '/'
                           + QByteArray::number(fcr) + '/' + QByteArray::number(prim) + '/'
                           + QByteArray::number(nroots) + '/' + QByteArray::number(pad);
    Cache &c = cache();
    QMutexLocker locker(&c.mutex);
    for (int i = 0; i < c.count; ++i) {
        if (c.entries[i].key == key)
            return c.entries[i].codec ? i : -1;
    }
    if (c.count >= CacheSize)
        return -1;
    auto codec = std::make_unique<RsCodecContext>();
    if (RsCodec_Init(codec.get(), symsize, uint32_t(gfpoly), fcr, prim, nroots, pad) != 0)
        codec.reset();
    CacheEntry &entry = c.entries[c.count];
    entry.key = key;
    entry.codec = std::move(codec);
    const int handle = c.count++;
    return entry.codec ? handle : -1;
}

int rsDecode(int handle, uint8_t *data, const int *erasures, int erasureCount)
{
    Cache &c = cache();
    const RsCodecContext *codec = nullptr;
    {
        QMutexLocker locker(&c.mutex);
        if (handle >= 0 && handle < c.count)
            codec = c.entries[handle].codec.get();
    }
    if (!codec || !data)
        return -1;
    return RsCodec_Decode(codec, data, erasures, erasureCount);
}

void rsFreeAll()
{
    Cache &c = cache();
    QMutexLocker locker(&c.mutex);
    for (int i = 0; i < c.count; ++i) {
        c.entries[i].key.clear();
        c.entries[i].codec.reset();
    }
    c.count = 0;
}

int checkFireCode(uint8_t *frame, bool checkOnly)
{
    return DABplusParser_CheckFireCode(frame, checkOnly ? 0 : 1);
}

uint32_t polyMod2(uint32_t value, uint32_t poly, uint32_t degree)
{
    return DABplusParser_PolyMod(value, poly, int(degree));
}

} // namespace ZOZ
