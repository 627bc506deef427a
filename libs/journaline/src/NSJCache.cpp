// The object cache inside the caller's memory block: block chain table,
// object index (even ids from the bottom, odd ids from the top) and the
// blocks holding each object's descriptor and raw bytes; storing, expiry,
// making room, and the export and import of the whole cache.
#include "NSJInternal.h"

#include <algorithm>

namespace NSJ {
namespace {

uint32_t roundUp16(uint32_t v) { return (v + 15u) & ~15u; }

uint8_t *memory(NSJ_Instance *in) { return in->params.cacheMemory; }
uint8_t *chainAt(NSJ_Instance *in, uint32_t block) { return memory(in) + 2u * block; }
uint8_t *entryAt(NSJ_Instance *in, int entry) { return memory(in) + in->cache.indexOffset + IndexEntryBytes * uint32_t(entry); }
uint8_t *blockAt(NSJ_Instance *in, uint32_t block) { return memory(in) + in->cache.blockOffset + in->cache.blockSize * block; }

uint16_t chain(NSJ_Instance *in, uint32_t block) { return load<uint16_t>(chainAt(in, block)); }
void setChain(NSJ_Instance *in, uint32_t block, uint16_t next) { store<uint16_t>(chainAt(in, block), next); }

uint16_t entryFirst(NSJ_Instance *in, int entry) { return load<uint16_t>(entryAt(in, entry) + 2); }

// The descriptor of a used entry, found through its first block.
uint8_t *descriptor(NSJ_Instance *in, int entry) { return blockAt(in, entryFirst(in, entry)); }

uint32_t descriptorSize(uint32_t links) { return DescriptorFixedBytes + 2u * links; }

void setEntry(NSJ_Instance *in, int entry, uint16_t id, uint16_t first)
{
    uint8_t *e = entryAt(in, entry);
    store<uint16_t>(e, id);
    store<uint16_t>(e + 2, first);
    store<uint32_t>(e + 4, first == EmptyEntry ? 0u : in->cache.blockOffset + in->cache.blockSize * first);
}

uint32_t storedLinks(NSJ_Instance *in, int entry)
{
    const uint32_t links = descriptor(in, entry)[LinkCountAt];
    return links > NSJ_MAX_ITEMS ? uint32_t(NSJ_MAX_ITEMS) : links;
}

// Walks an object's chain, bounded by the number of blocks; calls `visit`
// with each block and the bytes of the object it may hold. Returns false
// when the chain is broken.
template<typename Visit>
bool walkObject(NSJ_Instance *in, int entry, Visit visit)
{
    const uint32_t bs = in->cache.blockSize;
    uint32_t block = entryFirst(in, entry);
    uint32_t offset = descriptorSize(storedLinks(in, entry));
    for (uint32_t steps = 0; steps < in->cache.blocks; ++steps) {
        if (block >= in->cache.blocks || offset > bs)
            return false;
        if (!visit(block, blockAt(in, block) + offset, bs - offset))
            return true;
        const uint16_t next = chain(in, block);
        if (next == EndOfChain)
            return true;
        block = next;
        offset = 0;
    }
    return false;
}

uint32_t blocksFor(NSJ_Instance *in, uint32_t length, uint32_t links)
{
    const uint32_t bs = in->cache.blockSize;
    return (length + descriptorSize(links) + bs - 1) / bs;
}

bool contains(const uint16_t *ids, uint32_t count, uint16_t id)
{
    for (uint32_t i = 0; i < count; ++i)
        if (ids[i] == id)
            return true;
    return false;
}

// What the object means to the reader right now; objects that matter more
// are evicted later.
uint8_t protectionOf(NSJ_Instance *in, uint16_t id, bool menu)
{
    const NavigationState &nav = in->navigation;
    uint8_t p = 0;
    if (id == nav.path[nav.depth])
        p |= ProtectCurrent;
    if (nav.depth > 0 && id == nav.path[nav.depth - 1])
        p |= ProtectParent;
    if (contains(nav.children, nav.childCount, id))
        p |= ProtectChild;
    if (contains(nav.siblings, nav.siblingCount, id))
        p |= ProtectSibling;
    if (contains(nav.path, uint32_t(nav.depth) + 1, id))
        p |= ProtectOnPath;
    if (contains(nav.listed, nav.listedCount, id))
        p |= ProtectListed;
    if (menu)
        p |= ProtectMenu;
    return p;
}

bool enoughFree(NSJ_Instance *in, uint32_t needed) { return in->cache.freeBlocks >= needed; }

// Evicts every object whose protection has no bit in `mask`, in index
// order, until enough blocks are free.
bool evictPass(NSJ_Instance *in, uint8_t mask, uint32_t needed)
{
    for (int e = 0; e < in->cache.blocks; ++e) {
        if (!entryUsed(in, e) || (descriptor(in, e)[ProtectionAt] & mask))
            continue;
        removeEntry(in, e, NSJ_EVENT_EVICTED);
        if (enoughFree(in, needed))
            return true;
    }
    return false;
}

bool evictId(NSJ_Instance *in, uint16_t id, uint32_t needed)
{
    const int e = findEntry(in, id);
    if (e >= 0)
        removeEntry(in, e, NSJ_EVENT_EVICTED);
    return enoughFree(in, needed);
}

int makeRoom(NSJ_Instance *in, uint32_t needed, uint16_t newId, bool newIsMenu)
{
    if (timeKnown(in))
        expireAll(in);
    if (enoughFree(in, needed))
        return NSJ_OK;
    for (int e = 0; e < in->cache.blocks; ++e)
        if (entryUsed(in, e)) {
            uint8_t *d = descriptor(in, e);
            d[ProtectionAt] = protectionOf(in, entryId(in, e), (d[HeaderByteAt] >> 5) == NSJ_TYPE_MENU);
        }
    const uint8_t incoming = protectionOf(in, newId, newIsMenu);
    if (evictPass(in, 0xFF, needed))
        return NSJ_OK;
    if ((incoming & 0xFE) && evictPass(in, 0xFE, needed))
        return NSJ_OK;
    if (!(incoming & 0xFC))
        return NSJ_INSUFFICIENT_MEMORY;
    if (evictPass(in, 0xFC, needed))
        return NSJ_OK;
    // Then the way back to the root, from the top of the menu tree down.
    for (int i = 1; i < in->navigation.depth; ++i)
        if (evictId(in, in->navigation.path[i], needed))
            return NSJ_OK;
    if ((incoming & 0xF0) && evictPass(in, 0xF0, needed))
        return NSJ_OK;
    if ((incoming & 0xC0) && evictPass(in, 0xC0, needed))
        return NSJ_OK;
    if ((incoming & ProtectCurrent) && evictId(in, in->navigation.root, needed))
        return NSJ_OK;
    return NSJ_INSUFFICIENT_MEMORY;
}

int emptyEntryFor(NSJ_Instance *in, uint16_t id)
{
    if (id & 1) {
        for (int e = in->cache.blocks - 1; e >= 0; --e)
            if (!entryUsed(in, e))
                return e;
    } else {
        for (int e = 0; e < in->cache.blocks; ++e)
            if (!entryUsed(in, e))
                return e;
    }
    return -1;
}

uint16_t takeFreeBlock(NSJ_Instance *in, uint32_t from)
{
    for (uint32_t b = from; b < in->cache.blocks; ++b)
        if (chain(in, b) == FreeBlock)
            return static_cast<uint16_t>(b);
    return FreeBlock;
}

bool sameBytes(NSJ_Instance *in, int entry, const uint8_t *raw, uint32_t length)
{
    uint32_t done = 0;
    bool same = true;
    const bool whole = walkObject(in, entry, [&](uint32_t, const uint8_t *bytes, uint32_t room) {
        const uint32_t take = std::min(room, length - done);
        same = std::memcmp(bytes, raw + done, take) == 0;
        done += take;
        return same && done < length;
    });
    return whole && same && done == length;
}

} // namespace

bool layoutFits(const CacheState &c, uint32_t memorySize)
{
    const uint64_t blocks = c.blocks;
    return c.memorySize == memorySize && blocks > 0 && blocks <= MaxBlocks && c.blockSize >= MinBlockSize
        && c.blockSize % 16 == 0 && c.indexOffset >= 2 * blocks && c.blockOffset >= c.indexOffset + IndexEntryBytes * blocks
        && uint64_t(c.blockOffset) + blocks * c.blockSize <= memorySize && c.freeBlocks <= blocks
        && c.freeHint <= blocks && c.evenEnd <= blocks && c.oddStart <= blocks && c.objects <= blocks;
}

void layoutCache(NSJ_Instance *in)
{
    CacheState &c = in->cache;
    const uint32_t size = in->params.cacheSize;
    uint32_t bs = in->params.blockSize ? in->params.blockSize : DefaultBlockSize;
    if (bs > size)
        bs = size;
    bs = roundUp16(bs);
    if (bs < MinBlockSize)
        bs = MinBlockSize;
    while (size / bs > MaxBlocks)
        bs += 16;
    uint32_t blocks = size / bs + 1;
    while (blocks > 0 && uint64_t(roundUp16(2 * blocks)) + roundUp16(IndexEntryBytes * blocks) + uint64_t(blocks) * bs > size)
        --blocks;
    c = CacheState{};
    c.memorySize = size;
    c.blockSize = bs;
    c.blocks = static_cast<uint16_t>(blocks);
    c.indexOffset = roundUp16(2 * blocks);
    c.blockOffset = c.indexOffset + roundUp16(IndexEntryBytes * blocks);
    c.unusedRemainder = size - c.blockOffset - blocks * bs;
}

void resetCache(NSJ_Instance *in)
{
    CacheState &c = in->cache;
    for (uint32_t b = 0; b < c.blocks; ++b)
        setChain(in, b, FreeBlock);
    for (int e = 0; e < c.blocks; ++e)
        setEntry(in, e, 0, EmptyEntry);
    c.freeBlocks = c.blocks;
    c.freeHint = 0;
    c.evenEnd = 0;
    c.oddStart = c.blocks;
    c.objects = 0;
    c.descriptorBytes = 0;
    c.slackBytes = 0;
    c.added = c.updated = c.removed = 0;
    for (uint16_t &count : c.perType)
        count = 0;
}

bool entryUsed(NSJ_Instance *in, int entry) { return entryFirst(in, entry) < in->cache.blocks; }
uint16_t entryId(NSJ_Instance *in, int entry) { return load<uint16_t>(entryAt(in, entry)); }
uint8_t entryHeader(NSJ_Instance *in, int entry) { return descriptor(in, entry)[HeaderByteAt]; }
uint16_t entryObjectLength(NSJ_Instance *in, int entry) { return load<uint16_t>(descriptor(in, entry) + ObjectLengthAt); }

uint8_t entryLinks(NSJ_Instance *in, int entry, uint16_t *targets)
{
    const uint32_t links = storedLinks(in, entry);
    // The targets must lie in the first block, as the store put them.
    if (descriptorSize(links) > in->cache.blockSize)
        return 0;
    for (uint32_t i = 0; i < links; ++i)
        targets[i] = load<uint16_t>(descriptor(in, entry) + LinkTargetsAt + 2 * i);
    return static_cast<uint8_t>(links);
}

int findEntry(NSJ_Instance *in, uint16_t id)
{
    if (!isInitialised(in))
        return -1;
    if (id & 1) {
        for (int e = in->cache.blocks - 1; e >= in->cache.oddStart; --e)
            if (entryUsed(in, e) && entryId(in, e) == id)
                return e;
    } else {
        for (int e = 0; e < in->cache.evenEnd; ++e)
            if (entryUsed(in, e) && entryId(in, e) == id)
                return e;
    }
    return -1;
}

int lookup(NSJ_Instance *in, uint16_t id, int *entry)
{
    *entry = findEntry(in, id);
    if (*entry >= 0)
        return NSJ_OK;
    if (id == currentId(in) && in->navigation.rememberedError != NSJ_OK)
        return in->navigation.rememberedError;
    return NSJ_OBJECT_NOT_AVAILABLE;
}

int checkExpiry(NSJ_Instance *in, int entry)
{
    if (!timeKnown(in))
        return NSJ_OK;
    const uint8_t *d = descriptor(in, entry);
    const uint32_t received = load<uint32_t>(d + ReceptionTimeAt);
    if (received == 0)
        return NSJ_OK;
    const uint32_t t = now(in);
    if (received > t)
        return NSJ_TIMESTAMP_INVALID;
    const uint32_t absolute = load<uint32_t>(d + AbsoluteExpiryAt);
    const uint32_t relative = load<uint32_t>(d + RelativeValidityAt);
    const uint32_t tocValidity = in->navigation.tocValidity;
    bool expired = false;
    if (in->params.timeMode == NSJ_TIME_ABSOLUTE_AND_RELATIVE && absolute != 0 && t > absolute)
        expired = true;
    if (relative != 0 && uint64_t(t) > uint64_t(received) + relative)
        expired = true;
    if (absolute == 0 && relative == 0 && tocValidity != 0 && uint64_t(t) > uint64_t(received) + tocValidity)
        expired = true;
    if (!expired)
        return NSJ_OK;
    removeEntry(in, entry, NSJ_EVENT_EXPIRED);
    return NSJ_OBJECT_TIMEOUT;
}

void expireAll(NSJ_Instance *in)
{
    for (int e = 0; e < in->cache.blocks; ++e)
        if (entryUsed(in, e))
            checkExpiry(in, e);
}

int readObject(NSJ_Instance *in, int entry, uint8_t *raw, uint32_t capacity, uint32_t *length)
{
    const uint32_t total = entryObjectLength(in, entry);
    if (total > capacity)
        return NSJ_OBJECT_INVALID;
    uint32_t done = 0;
    const bool whole = walkObject(in, entry, [&](uint32_t, const uint8_t *bytes, uint32_t room) {
        const uint32_t take = std::min(room, total - done);
        std::memcpy(raw + done, bytes, take);
        done += take;
        return done < total;
    });
    if (!whole || done != total)
        return NSJ_OBJECT_INVALID;
    *length = total;
    return NSJ_OK;
}

int retrieve(NSJ_Instance *in, uint16_t id, NSJ_ObjectRecord *record)
{
    int entry = -1;
    if (const int result = lookup(in, id, &entry))
        return result;
    if (const int result = checkExpiry(in, entry))
        return result;
    uint8_t raw[WorkspaceBytes];
    uint32_t length = 0;
    if (const int result = readObject(in, entry, raw, sizeof raw, &length))
        return result;
    return decodeObject(raw, length, in->params.extHeaderLength, record);
}

void removeEntry(NSJ_Instance *in, int entry, uint32_t event)
{
    CacheState &c = in->cache;
    const uint16_t id = entryId(in, entry);
    const uint32_t links = storedLinks(in, entry);
    const uint32_t length = entryObjectLength(in, entry);
    const uint8_t type = entryHeader(in, entry) >> 5;
    uint32_t blocks = 0;
    uint32_t block = entryFirst(in, entry);
    for (uint32_t steps = 0; steps < c.blocks && block < c.blocks; ++steps) {
        const uint16_t next = chain(in, block);
        if (next == FreeBlock)
            break;
        setChain(in, block, FreeBlock);
        ++blocks;
        if (block < c.freeHint)
            c.freeHint = static_cast<uint16_t>(block);
        block = next;
    }
    c.freeBlocks = static_cast<uint16_t>(std::min<uint32_t>(c.blocks, c.freeBlocks + blocks));
    const uint32_t used = length + descriptorSize(links);
    c.descriptorBytes -= std::min(c.descriptorBytes, descriptorSize(links));
    if (blocks * c.blockSize >= used)
        c.slackBytes -= std::min(c.slackBytes, blocks * c.blockSize - used);
    if (c.objects)
        --c.objects;
    if (type >= NSJ_TYPE_MENU && type <= NSJ_TYPE_LIST && c.perType[type - 1])
        --c.perType[type - 1];
    if (event != NSJ_EVENT_REPLACED)
        ++c.removed;
    setEntry(in, entry, 0, EmptyEntry);
    while (c.evenEnd > 0 && !entryUsed(in, c.evenEnd - 1))
        --c.evenEnd;
    while (c.oddStart < c.blocks && !entryUsed(in, c.oddStart))
        ++c.oddStart;
    deliver(in, id, event);
}

int storeObject(NSJ_Instance *in, const uint8_t *raw, uint32_t length)
{
    if (!isInitialised(in))
        return NSJ_NOT_INITIALISED;
    if (length > NSJ_MAX_OBJECT_BYTES)
        return NSJ_OBJECT_INVALID;
    const uint16_t id = get16(raw);
    const uint8_t header = raw[2];
    const bool known = timeKnown(in);
    const uint32_t t = known ? now(in) : 0;

    int existing = findEntry(in, id);
    if (existing >= 0 && entryHeader(in, existing) == header && entryObjectLength(in, existing) == length
        && sameBytes(in, existing, raw, length)) {
        if (known)
            store<uint32_t>(descriptor(in, existing) + ReceptionTimeAt, t);
        return NSJ_OBJECT_EXISTS;
    }
    // Decoded before anything is removed, so a broken update keeps the old copy.
    NSJ_ObjectRecord &record = in->scratch;
    if (const int result = decodeObject(raw, length, in->params.extHeaderLength, &record))
        return result;
    if (known && in->params.timeMode == NSJ_TIME_ABSOLUTE_AND_RELATIVE && record.absoluteExpiry != 0
        && t > record.absoluteExpiry)
        return NSJ_OBJECT_TIMEOUT;
    const bool update = existing >= 0;
    if (update)
        removeEntry(in, existing, NSJ_EVENT_REPLACED);

    const uint8_t type = header >> 5;
    const uint32_t links = type == NSJ_TYPE_MENU ? record.menuItemCount : 0;
    const uint32_t needed = blocksFor(in, length, links);
    if (needed > in->cache.blocks)
        return NSJ_INSUFFICIENT_MEMORY;
    if (!enoughFree(in, needed))
        if (const int result = makeRoom(in, needed, id, type == NSJ_TYPE_MENU))
            return result;
    const int entry = emptyEntryFor(in, id);
    if (entry < 0)
        return NSJ_INSUFFICIENT_MEMORY;

    CacheState &c = in->cache;
    const uint32_t bs = c.blockSize;
    // The blocks are picked before anything is written: bookkeeping that
    // promises free blocks the chain table does not have (a damaged stored
    // state) must not send the writes outside the cache.
    uint16_t chosen[MaxObjectBlocks];
    if (needed > MaxObjectBlocks)
        return NSJ_INSUFFICIENT_MEMORY;
    for (uint32_t n = 0, from = c.freeHint; n < needed; ++n) {
        chosen[n] = takeFreeBlock(in, from);
        if (chosen[n] == FreeBlock)
            return NSJ_FATAL_ERROR;
        from = chosen[n] + 1u;
    }
    const uint16_t first = chosen[0];
    uint8_t *d = blockAt(in, first);
    std::memset(d, 0, DescriptorFixedBytes);
    if (known) {
        store<uint32_t>(d + AbsoluteExpiryAt, record.absoluteExpiry);
        store<uint32_t>(d + RelativeValidityAt, record.relativeValidity);
        store<uint32_t>(d + ReceptionTimeAt, t);
    }
    store<uint16_t>(d + ObjectLengthAt, static_cast<uint16_t>(length));
    d[HeaderByteAt] = header;
    d[LinkCountAt] = static_cast<uint8_t>(links);
    for (uint32_t i = 0; i < links; ++i)
        store<uint16_t>(d + LinkTargetsAt + 2 * i, record.menuItems[i].targetId);
    uint32_t offset = descriptorSize(links);
    uint32_t done = 0;
    for (uint32_t n = 0; n < needed; ++n) {
        const uint32_t take = std::min(bs - offset, length - done);
        std::memcpy(blockAt(in, chosen[n]) + offset, raw + done, take);
        done += take;
        offset = 0;
        setChain(in, chosen[n], n + 1 < needed ? chosen[n + 1] : EndOfChain);
    }
    c.freeHint = static_cast<uint16_t>(chosen[needed - 1] + 1);
    setEntry(in, entry, id, first);
    if (id & 1)
        c.oddStart = std::min<uint16_t>(c.oddStart, static_cast<uint16_t>(entry));
    else
        c.evenEnd = std::max<uint16_t>(c.evenEnd, static_cast<uint16_t>(entry + 1));
    c.freeBlocks = static_cast<uint16_t>(c.freeBlocks - needed);
    ++c.objects;
    ++c.perType[type - 1];
    if (update)
        ++c.updated;
    else
        ++c.added;
    c.descriptorBytes += descriptorSize(links);
    c.slackBytes += needed * bs - (length + descriptorSize(links));

    const NavigationState &nav = in->navigation;
    if (id == nav.path[nav.depth] || (nav.depth > 0 && id == nav.path[nav.depth - 1]))
        rebuildNavigationLists(in);
    return update ? NSJ_OBJECT_UPDATED : NSJ_OK;
}

} // namespace NSJ

using namespace NSJ;

uint32_t NSJ_GetObjectCacheSize(NSJ_Instance *in)
{
    if (!isInitialised(in))
        return 0;
    uint32_t size = 4;
    for (int e = 0; e < in->cache.blocks; ++e)
        if (entryUsed(in, e))
            size += 2u + entryObjectLength(in, e);
    return size;
}

int NSJ_GetObjectCache(NSJ_Instance *in, uint8_t *buffer, uint32_t size)
{
    if (!in || !buffer)
        return NSJ_INVALID_PARAMETER;
    if (!isInitialised(in))
        return NSJ_NOT_INITIALISED;
    if (size < NSJ_GetObjectCacheSize(in))
        return NSJ_STORAGE_SIZE;
    std::memset(buffer, 0, size);
    const uint32_t field = size - 4;
    buffer[0] = static_cast<uint8_t>(field >> 24);
    buffer[1] = static_cast<uint8_t>(field >> 16);
    put16(buffer + 2, static_cast<uint16_t>(field));
    uint32_t at = 4;
    for (int e = 0; e < in->cache.blocks; ++e) {
        if (!entryUsed(in, e) || checkExpiry(in, e) != NSJ_OK)
            continue;
        const uint32_t length = entryObjectLength(in, e);
        if (at + 2 + length > size)
            return NSJ_STORAGE_SIZE;
        uint32_t read = 0;
        if (readObject(in, e, buffer + at + 2, length, &read) != NSJ_OK)
            continue;
        put16(buffer + at, static_cast<uint16_t>(length));
        at += 2 + length;
    }
    return NSJ_OK;
}

int NSJ_GetInstanceState(NSJ_Instance *in, uint8_t *state, uint32_t size)
{
    if (!in || !state)
        return NSJ_INVALID_PARAMETER;
    if (!isInitialised(in))
        return NSJ_NOT_INITIALISED;
    if (size < NSJ_STATE_SIZE)
        return NSJ_STORAGE_SIZE;
    std::memset(state, 0, NSJ_STATE_SIZE);
    in->navigation.savedAt = timeKnown(in) ? now(in) : 0;
    put16(state, CacheStateBytes);
    std::memcpy(state + 2, &in->cache, sizeof in->cache);
    put16(state + 2 + CacheStateBytes, NavigationStateBytes);
    std::memcpy(state + 4 + CacheStateBytes, &in->navigation, sizeof in->navigation);
    return NSJ_OK;
}

int NSJ_SetInstanceState(NSJ_Instance *in, const uint8_t *state, uint32_t size)
{
    if (!in || !state)
        return NSJ_INVALID_PARAMETER;
    if (!isInitialised(in))
        return NSJ_NOT_INITIALISED;
    if (size != NSJ_STATE_SIZE)
        return NSJ_STORAGE_SIZE;
    if (get16(state) != CacheStateBytes || get16(state + 2 + CacheStateBytes) != NavigationStateBytes)
        return NSJ_STORAGE_INVALID;
    CacheState cache;
    NavigationState navigation;
    std::memcpy(&cache, state + 2, sizeof cache);
    std::memcpy(&navigation, state + 4 + CacheStateBytes, sizeof navigation);
    if (!layoutFits(cache, in->params.cacheSize) || navigation.depth >= NSJ_MAX_PATH
        || navigation.childCount > NSJ_MAX_ITEMS || navigation.siblingCount > NSJ_MAX_ITEMS
        || navigation.listedCount > NSJ_MAX_ITEMS)
        return NSJ_STORAGE_INVALID;
    in->cache = cache;
    in->navigation = navigation;
    if (timeKnown(in) && navigation.tocValidity != 0) {
        const uint32_t t = now(in);
        if (navigation.savedAt == 0 || t > navigation.savedAt + uint64_t(navigation.tocValidity))
            expireAll(in);
    }
    return NSJ_OK;
}
