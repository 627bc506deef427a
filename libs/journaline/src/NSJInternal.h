// Private layout of the Journaline decoder core, shared by its source files.
#ifndef ZOZ_NSJ_INTERNAL_H
#define ZOZ_NSJ_INTERNAL_H

#include "NSJDecoder.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace NSJ {

constexpr uint16_t FreeBlock = 65535;
constexpr uint16_t EndOfChain = 65534;
constexpr uint16_t EmptyEntry = 65535;
constexpr uint32_t DescriptorFixedBytes = 32;
constexpr uint32_t IndexEntryBytes = 8;
constexpr uint32_t DefaultBlockSize = 128;
constexpr uint32_t MinBlockSize = 96;
// The most blocks one object can take: 4092 bytes and a full descriptor in 96-byte blocks.
constexpr uint32_t MaxObjectBlocks = (NSJ_MAX_OBJECT_BYTES + 32 + 2 * NSJ_MAX_ITEMS + MinBlockSize - 1) / MinBlockSize;
constexpr uint32_t MaxBlocks = 65533;
constexpr int FragmentSlots = 4;
constexpr uint32_t FragmentCapacity = 4094;
// A raw object (id, header byte, extended header, payload) as it may arrive.
constexpr uint32_t WorkspaceBytes = 4096;
// Bytes of an instance, as callers size it; the layout below fits in it.
constexpr uint32_t InstanceBytes = 31072;
constexpr uint32_t CacheStateBytes = 80;
constexpr uint32_t NavigationStateBytes = 304;
constexpr uint32_t InitialisedMagic = 0x4E534A31; // "NSJ1"

// Descriptor at the start of an object's first block (byte offsets).
enum DescriptorOffset : uint32_t {
    AbsoluteExpiryAt = 0,
    RelativeValidityAt = 4,
    ReceptionTimeAt = 8,
    ObjectLengthAt = 12,
    HeaderByteAt = 14,
    ProtectionAt = 15,
    LinkCountAt = 16,
    LinkTargetsAt = 32
};

// Protection bytes while making room: what the object is to the reader.
enum Protection : uint8_t {
    ProtectCurrent = 0x80,
    ProtectParent = 0x20,
    ProtectChild = 0x10,
    ProtectSibling = 0x08,
    ProtectOnPath = 0x04,
    ProtectListed = 0x02,
    ProtectMenu = 0x01
};

inline uint16_t get16(const uint8_t *p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline void put16(uint8_t *p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

// Native-order fields inside the caller's cache memory, which has no
// alignment guarantee.
template<typename T>
inline T load(const uint8_t *p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
template<typename T>
inline void store(uint8_t *p, T v)
{
    std::memcpy(p, &v, sizeof v);
}

// Cache bookkeeping; saved in the stored state.
struct CacheState {
    uint32_t memorySize;
    uint32_t blockSize;
    uint32_t indexOffset;
    uint32_t blockOffset;
    uint32_t unusedRemainder;
    uint32_t descriptorBytes;
    uint32_t slackBytes;
    uint32_t added;
    uint32_t updated;
    uint32_t removed;
    uint16_t blocks;
    uint16_t freeBlocks;
    uint16_t freeHint;   // no free block below it
    uint16_t evenEnd;    // one past the highest index entry an even id may use
    uint16_t oddStart;   // the lowest index entry an odd id may use
    uint16_t objects;
    uint16_t perType[4]; // menus, plain messages, title only, lists (type - 1)
};
static_assert(sizeof(CacheState) <= CacheStateBytes);

// Navigation; saved in the stored state.
struct NavigationState {
    uint16_t root;
    uint16_t path[NSJ_MAX_PATH];
    uint8_t depth;
    uint8_t childCount;
    uint8_t siblingCount;
    uint8_t listedCount; // the third protection list, empty in this system
    int32_t rememberedError;
    uint16_t children[NSJ_MAX_ITEMS];
    uint16_t siblings[NSJ_MAX_ITEMS];
    uint16_t listed[NSJ_MAX_ITEMS];
    uint16_t tocField;
    uint32_t tocValidity; // seconds
    uint32_t savedAt;     // time of NSJ_GetInstanceState, 0 = unknown
};
static_assert(sizeof(NavigationState) <= NavigationStateBytes);

struct FragmentSlot {
    uint8_t inUse;
    uint8_t type;
    uint8_t continuity;
    uint16_t length;
    uint8_t bytes[FragmentCapacity];
};

// Where a store comes from: a broadcast delivers every event, an import
// leaves out the reception events.
enum class Origin { Broadcast, Import };

} // namespace NSJ

struct NSJ_Instance {
    uint32_t magic;
    NSJ_InitParams params;
    NSJ::CacheState cache;
    NSJ::NavigationState navigation;
    uint32_t dataGroupsProcessed;
    uint32_t dataGroupsFailed;
    uint32_t tocDataGroups;
    uint32_t fragmentDataGroups;
    NSJ::FragmentSlot slots[NSJ::FragmentSlots];
    NSJ_ObjectRecord scratch; // the object being stored
};
static_assert(sizeof(NSJ_Instance) <= NSJ::InstanceBytes);

namespace NSJ {

inline bool isInitialised(const NSJ_Instance *in) { return in && in->magic == InitialisedMagic; }
inline bool timeKnown(const NSJ_Instance *in) { return in->params.timeMode != NSJ_TIME_NONE && in->params.getTime; }
inline uint32_t now(const NSJ_Instance *in) { return in->params.getTime(in->params.userContext); }
uint16_t currentId(const NSJ_Instance *in);

void deliver(NSJ_Instance *in, uint16_t id, uint32_t event);

// Object decoding (NSJObjectDecoder.cpp): the raw object into a record.
int decodeObject(const uint8_t *raw, uint32_t length, uint32_t extHeaderLength, NSJ_ObjectRecord *record);
// Checks the frame of a raw object: length, header byte, extended header.
int checkRawObject(const uint8_t *raw, uint32_t length, uint32_t extHeaderLength);

// Cache (NSJCache.cpp).
void layoutCache(NSJ_Instance *in);
bool layoutFits(const CacheState &cache, uint32_t memorySize);
void resetCache(NSJ_Instance *in);
int findEntry(NSJ_Instance *in, uint16_t id); // index entry or -1
int lookup(NSJ_Instance *in, uint16_t id, int *entry); // 0 with the entry, else 21 or the remembered error
int checkExpiry(NSJ_Instance *in, int entry); // 0, 10 or 27 (the object then removed)
int readObject(NSJ_Instance *in, int entry, uint8_t *raw, uint32_t capacity, uint32_t *length);
int storeObject(NSJ_Instance *in, const uint8_t *raw, uint32_t length);
void removeEntry(NSJ_Instance *in, int entry, uint32_t event);
void expireAll(NSJ_Instance *in);
bool entryUsed(NSJ_Instance *in, int entry);
uint16_t entryId(NSJ_Instance *in, int entry);
uint8_t entryHeader(NSJ_Instance *in, int entry);
uint16_t entryObjectLength(NSJ_Instance *in, int entry);
uint8_t entryLinks(NSJ_Instance *in, int entry, uint16_t *targets); // targets: NSJ_MAX_ITEMS
int retrieve(NSJ_Instance *in, uint16_t id, NSJ_ObjectRecord *record);

// Navigation (NSJNavigation.cpp).
void resetNavigation(NSJ_Instance *in);
void rebuildNavigationLists(NSJ_Instance *in);
void rememberError(NSJ_Instance *in, uint16_t id, int result);

// Intake (NSJIntake.cpp).
int processTableOfContents(NSJ_Instance *in, const uint8_t *toc, uint32_t length);

} // namespace NSJ

#endif
