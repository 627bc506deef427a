// NSJAPIProvider: owns one Journaline decoder core and its cache memory,
// makes every core call under one recursive lock (the delivery thread feeds
// data groups while HTTP threads read pages), grows the cache memory when it
// fills, and moves the cache in and out as one byte array.
//
// Calling order: construct, init once, then any operation from any thread.
// Results are the core's NSJ_ codes unless a message or a bool is stated.
#ifndef ZOZ_NSJ_API_PROVIDER_H
#define ZOZ_NSJ_API_PROVIDER_H

#include "NSJDecoder.h"

#include <cstdint>
#include <string>
#include <vector>

struct NSJAPIProviderPrivate;

class NSJAPIProvider {
public:
    using Bytes = std::vector<uint8_t>;

    struct DataSection {
        int type;
        Bytes bytes; // the section's data after its type byte
    };

    enum class Navigation { Keep, MakeCurrent };

    // Resolves the bytes of a link to an address ("" when unknown). Called
    // while a page is produced, with the host's own context.
    using LinkResolver = std::string (*)(const std::string &link, void *context);
    using RegistryRead = void (*)(std::string &out, void *context);
    using RegistryWrite = void (*)(const std::string &in, void *context);

    // The cache memory starts at this size and grows in steps of CacheGrowStep.
    static constexpr uint32_t InitialCacheSize = 12800;
    static constexpr uint32_t CacheGrowStep = 32000;
    // A data group that leaves fewer free bytes than this grows the cache.
    static constexpr uint32_t MinimumFreeBytes = 5000;
    // The cache grows no further than this by default: a broadcaster cannot
    // make it take memory without end, the core evicts instead. 2 MiB hold
    // some 500 objects of the largest size, more than a service carries.
    static constexpr uint32_t DefaultMaximumCacheSize = 2 * 1024 * 1024;
    // Seconds from 1970-01-01 to 2000-01-01, the core's time origin.
    static constexpr uint32_t CoreEpochOffset = 946684800;

    NSJAPIProvider();
    virtual ~NSJAPIProvider();
    NSJAPIProvider(const NSJAPIProvider &) = delete;
    NSJAPIProvider &operator=(const NSJAPIProvider &) = delete;

    // Allocates the cache memory and the core (when absent) and initialises
    // the core: CRC checking, the service's extended-header length, absolute
    // and relative expiry, every event but NSJ_EVENT_RECEIVED. Returns 0, or
    // -1 after a message on the standard error stream.
    virtual int init(bool crcCheck, uint32_t extHeaderLength);
    // Called for every core event (NSJ_EVENT_ bit), on the thread that caused
    // it, with the lock held. The base does nothing.
    virtual bool onObjectEvent(uint16_t objectId, uint32_t event);
    // Empties the cache and resets navigation; true on success.
    virtual bool resetObjectCache();
    // Called after the registry callbacks changed. The base does nothing.
    virtual void onCallbacksChanged();

    // Takes one data group. Returns "" on success (also after growing the
    // cache), "unable to process datagroup in core decoder: '<text>'" when the
    // core refuses it, or the message of a failed grow.
    std::string processDataGroup(const uint8_t *data, uint16_t length);

    int nextObject(NSJ_ObjectRecord *record);
    int previousObject(NSJ_ObjectRecord *record);
    int upperObject(NSJ_ObjectRecord *record);
    int object(uint16_t objectId, NSJ_ObjectRecord *record, Navigation navigation);
    int objectAvailable(uint16_t objectId);
    bool rootAvailable();
    int historyPath(NSJ_HistoryPath *path);
    int setHistoryPath(const NSJ_HistoryPath &path);
    uint32_t exportSize();
    NSJ_Statistics statistics();
    bool exportCache(Bytes &out);
    // Grows the cache to hold the import comfortably, then imports.
    bool importCache(const Bytes &in);
    // Fills `sections` with every data section of the record; returns the count.
    int sections(NSJ_ObjectRecord *record, std::vector<DataSection> &sections);
    // Grows the cache memory to at least `size` bytes (at most to the
    // maximum), keeping the cached objects, the navigation path and the
    // counters. Returns "" on success (also when nothing grows) or what failed.
    std::string growCache(uint32_t size);
    uint32_t cacheSize() const;
    // Caps the growth of the cache memory (never below its present size).
    void setMaximumCacheSize(uint32_t size);
    uint32_t maximumCacheSize() const;
    // Appends the core's timing profile to the file; nothing when there is none.
    void dumpStatistics(const std::string &fileName);

    void setLinkResolver(LinkResolver resolver, void *context);
    void setRegistryCallbacks(RegistryRead read, RegistryWrite write, void *context);
    std::string resolveLink(const std::string &link);
    void registryRead(std::string &out);
    void registryWrite(const std::string &in);

protected:
    std::vector<DataSection> m_sections; // of the last examined object

private:
    static uint32_t coreTime(void *context);
    static uint32_t coreEvent(NSJ_Instance *instance, uint16_t objectId, uint32_t event);

    NSJAPIProviderPrivate *d;
};

#endif
