#include "NSJAPIProvider.h"

#include "CommonText.h"
#include "CommonThreads.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>

using Common::Threads::MutexLocker;

namespace {

// Microsecond timings per core operation: total, minimum, maximum.
constexpr int ProfiledOperations = 16;
struct ProfilingRecord {
    uint32_t values[ProfiledOperations][3];
};

const char *const ProfiledNames[ProfiledOperations] = {
    "NSJ_Init", "NSJ_ProcessDataGroup", "NSJ_ProcessDataGroupFragment", "NSJ_IsObjectAvailable",
    "NSJ_GetObject", "NSJ_RetrieveObject", "NSJ_GetUpperObject", "NSJ_GetPreviousObject",
    "NSJ_GetNextObject", "NSJ_GetHistoryPath", "NSJ_SetHistoryPath", "NSJ_GetInstanceState",
    "NSJ_SetInstanceState", "NSJ_GetObjectCache", "NSJ_SetObjectCache", "NSJ_ResetObjectCache"};

void report(const char *message)
{
    std::fprintf(stderr, "%s\n", message);
    std::fflush(stderr);
}

} // namespace

struct NSJAPIProviderPrivate {
    NSJ_Instance *core = nullptr;
    ProfilingRecord *profiling = nullptr;
    Common::Threads::Mutex mutex{Common::Threads::Recursion::Recursive};
    uint8_t *memory = nullptr;
    uint32_t memorySize = NSJAPIProvider::InitialCacheSize;
    uint32_t maximumSize = NSJAPIProvider::DefaultMaximumCacheSize;
    bool profilingEnabled = false;
    bool initialised = false;
    bool crcCheck = true;
    bool dataReceived = false;
    uint32_t extHeaderLength = 0;
    NSJAPIProvider::LinkResolver linkResolver = nullptr;
    void *linkContext = nullptr;
    NSJAPIProvider::RegistryRead registryRead = nullptr;
    NSJAPIProvider::RegistryWrite registryWrite = nullptr;
    void *registryContext = nullptr;
};

NSJAPIProvider::NSJAPIProvider() : d(new (std::nothrow) NSJAPIProviderPrivate) {}

NSJAPIProvider::~NSJAPIProvider()
{
    if (!d)
        return;
    {
        MutexLocker locker(&d->mutex);
        std::free(d->core);
        delete d->profiling;
        std::free(d->memory);
        d->core = nullptr;
        d->memory = nullptr;
    }
    delete d;
}

uint32_t NSJAPIProvider::coreTime(void *)
{
    return static_cast<uint32_t>(static_cast<uint64_t>(Common::currentTime()) - CoreEpochOffset);
}

uint32_t NSJAPIProvider::coreEvent(NSJ_Instance *instance, uint16_t objectId, uint32_t event)
{
    if (!instance)
        return 1;
    auto *provider = static_cast<NSJAPIProvider *>(NSJ_GetUserContext(instance));
    if (!provider)
        return 0;
    provider->onObjectEvent(objectId, event);
    return 0;
}

int NSJAPIProvider::init(bool crcCheck, uint32_t extHeaderLength)
{
    if (!d) {
        report("Unable to allocate decoder memory");
        return -1;
    }
    d->crcCheck = crcCheck;
    d->extHeaderLength = extHeaderLength;
    d->initialised = false;
    if (!d->memory) {
        d->memory = static_cast<uint8_t *>(std::malloc(d->memorySize));
        if (!d->memory) {
            report("Unable to allocate decoder memory");
            return -1;
        }
    }
    MutexLocker locker(&d->mutex);
    if (!d->core) {
        d->core = static_cast<NSJ_Instance *>(std::malloc(NSJ_GetInstanceSize()));
        if (!d->core) {
            report("Unable to allocate journaline core decoder memory");
            return -1;
        }
    }
    NSJ_InitParams params{};
    params.cacheSize = d->memorySize;
    params.cacheMemory = d->memory;
    params.blockSize = 0;
    params.userContext = this;
    params.crcCheck = crcCheck ? 1 : 0;
    params.rootId = 0;
    params.extHeaderLength = extHeaderLength;
    params.timeMode = NSJ_TIME_ABSOLUTE_AND_RELATIVE;
    params.getTime = coreTime;
    params.eventMask = 0xFE; // every event but the one that could refuse a store
    params.onEvent = coreEvent;
    if (NSJ_Init(&params, d->core) != NSJ_OK) {
        report("Unable to initialize journaline core decoder");
        return -1;
    }
    d->initialised = true;
    return 0;
}

bool NSJAPIProvider::onObjectEvent(uint16_t, uint32_t) { return false; }

void NSJAPIProvider::onCallbacksChanged() {}

bool NSJAPIProvider::resetObjectCache()
{
    if (!d)
        return false;
    MutexLocker locker(&d->mutex);
    return NSJ_ResetObjectCache(d->core) == NSJ_OK;
}

std::string NSJAPIProvider::processDataGroup(const uint8_t *data, uint16_t length)
{
    if (!d)
        return "unable to process datagroup in core decoder: '" + std::string(NSJ_GetResultText(NSJ_NOT_INITIALISED)) + "'";
    NSJ_Statistics statistics{};
    {
        MutexLocker locker(&d->mutex);
        d->dataReceived = true;
        const int result = NSJ_ProcessDataGroup(d->core, data, length);
        if (result != NSJ_OK)
            return "unable to process datagroup in core decoder: '" + std::string(NSJ_GetResultText(result)) + "'";
        NSJ_GetStatistics(d->core, &statistics);
    }
    if (statistics.freeBlockBytes >= MinimumFreeBytes)
        return {};
    return growCache(d->memorySize + CacheGrowStep);
}

std::string NSJAPIProvider::growCache(uint32_t size)
{
    if (!d)
        return "could not allocate memory to backup REZ decoder";
    MutexLocker locker(&d->mutex);
    if (d->memorySize >= size || d->memorySize + CacheGrowStep > d->maximumSize)
        return {};
    const uint32_t target = std::min(std::max(d->memorySize + CacheGrowStep, size), d->maximumSize);
    const uint32_t backupSize = NSJ_GetObjectCacheSize(d->core);
    std::unique_ptr<uint8_t[]> backup(new (std::nothrow) uint8_t[backupSize ? backupSize : 1]);
    if (!backup)
        return "could not allocate memory to backup REZ decoder";
    NSJ_Statistics statistics{};
    NSJ_HistoryPath path{};
    if (NSJ_GetStatistics(d->core, &statistics) != NSJ_OK || NSJ_GetHistoryPath(d->core, &path) != NSJ_OK
        || NSJ_GetObjectCache(d->core, backup.get(), backupSize) != NSJ_OK)
        return "could not backup REZ decoder content";

    const uint32_t oldSize = d->memorySize;
    uint8_t *oldMemory = d->memory;
    uint32_t newSize = oldSize;
    while (newSize + CacheGrowStep <= target)
        newSize += CacheGrowStep;
    if (newSize < target && newSize + CacheGrowStep <= d->maximumSize)
        newSize += CacheGrowStep;
    d->memorySize = newSize;
    d->memory = nullptr;
    if (init(d->crcCheck, d->extHeaderLength) != 0) {
        // The core refuses before it touches anything, so it still works on the old block.
        std::free(d->memory);
        d->memory = oldMemory;
        d->memorySize = oldSize;
        d->initialised = true;
        return "could not reinitialize REZ decoder";
    }
    std::free(oldMemory);
    if (NSJ_SetObjectCache(d->core, backup.get(), backupSize) != NSJ_OK
        || NSJ_SetHistoryPath(d->core, &path) != NSJ_OK || NSJ_SetStatistics(d->core, &statistics) != NSJ_OK)
        return "could not restore REZ decoder content";
    return {};
}

uint32_t NSJAPIProvider::cacheSize() const { return d ? d->memorySize : 0; }

void NSJAPIProvider::setMaximumCacheSize(uint32_t size)
{
    if (!d)
        return;
    MutexLocker locker(&d->mutex);
    d->maximumSize = std::max(size, d->memorySize);
}

uint32_t NSJAPIProvider::maximumCacheSize() const { return d ? d->maximumSize : 0; }

int NSJAPIProvider::nextObject(NSJ_ObjectRecord *record)
{
    if (!d)
        return NSJ_NOT_INITIALISED;
    MutexLocker locker(&d->mutex);
    return NSJ_GetNextObject(d->core, record, 1);
}

int NSJAPIProvider::previousObject(NSJ_ObjectRecord *record)
{
    if (!d)
        return NSJ_NOT_INITIALISED;
    MutexLocker locker(&d->mutex);
    return NSJ_GetPreviousObject(d->core, record, 1);
}

int NSJAPIProvider::upperObject(NSJ_ObjectRecord *record)
{
    if (!d)
        return NSJ_NOT_INITIALISED;
    MutexLocker locker(&d->mutex);
    return NSJ_GetUpperObject(d->core, record, 0);
}

int NSJAPIProvider::object(uint16_t objectId, NSJ_ObjectRecord *record, Navigation navigation)
{
    if (!d)
        return NSJ_NOT_INITIALISED;
    MutexLocker locker(&d->mutex);
    if (navigation == Navigation::MakeCurrent)
        return NSJ_GetObject(d->core, objectId, record);
    return NSJ_RetrieveObject(d->core, objectId, record);
}

int NSJAPIProvider::objectAvailable(uint16_t objectId)
{
    if (!d)
        return NSJ_NOT_INITIALISED;
    MutexLocker locker(&d->mutex);
    return NSJ_IsObjectAvailable(d->core, objectId);
}

bool NSJAPIProvider::rootAvailable() { return objectAvailable(0) == NSJ_OK; }

int NSJAPIProvider::historyPath(NSJ_HistoryPath *path)
{
    if (!d)
        return NSJ_NOT_INITIALISED;
    MutexLocker locker(&d->mutex);
    return NSJ_GetHistoryPath(d->core, path);
}

int NSJAPIProvider::setHistoryPath(const NSJ_HistoryPath &path)
{
    if (!d)
        return NSJ_NOT_INITIALISED;
    MutexLocker locker(&d->mutex);
    return NSJ_SetHistoryPath(d->core, &path);
}

uint32_t NSJAPIProvider::exportSize()
{
    if (!d)
        return 0;
    MutexLocker locker(&d->mutex);
    return NSJ_GetObjectCacheSize(d->core);
}

NSJ_Statistics NSJAPIProvider::statistics()
{
    NSJ_Statistics statistics{};
    if (!d)
        return statistics;
    MutexLocker locker(&d->mutex);
    NSJ_GetStatistics(d->core, &statistics);
    return statistics;
}

bool NSJAPIProvider::exportCache(Bytes &out)
{
    if (!d)
        return false;
    MutexLocker locker(&d->mutex);
    out.resize(NSJ_GetObjectCacheSize(d->core));
    return NSJ_GetObjectCache(d->core, out.data(), static_cast<uint32_t>(out.size())) == NSJ_OK;
}

bool NSJAPIProvider::importCache(const Bytes &in)
{
    if (!d)
        return false;
    MutexLocker locker(&d->mutex);
    const uint32_t length = static_cast<uint32_t>(in.size());
    // Room for the import and as much again as one grow step, at least 40 % more.
    const uint32_t wanted = std::max(length + CacheGrowStep, static_cast<uint32_t>(1.4f * static_cast<float>(length)));
    growCache(wanted);
    return NSJ_SetObjectCache(d->core, in.data(), length) == NSJ_OK;
}

int NSJAPIProvider::sections(NSJ_ObjectRecord *record, std::vector<DataSection> &sections)
{
    sections.clear();
    if (!d || !record)
        return 0;
    MutexLocker locker(&d->mutex);
    NSJ_ResetDataSectionIterator(record);
    NSJ_DataSection section{};
    while (NSJ_GetNextDataSection(record, NSJ_ANY_SECTION, &section) == NSJ_OK)
        sections.push_back({section.type, Bytes(section.data, section.data + section.length)});
    return static_cast<int>(sections.size());
}

void NSJAPIProvider::dumpStatistics(const std::string &fileName)
{
    if (!d || !d->profiling)
        return;
    std::FILE *file = std::fopen(fileName.c_str(), "a");
    if (!file)
        return;
    std::fprintf(file, "Time: %s\n", Common::dateTimeText().c_str());
    std::fprintf(file, "Cache-Size: %u Bytes\n", d->memorySize);
    std::fprintf(file, "Instance Memory Size: %u Bytes \n", NSJ_GetInstanceSize());
    std::fprintf(file, "\n---------------------------------------------------\n");
    {
        MutexLocker locker(&d->mutex);
        for (int i = 0; i < ProfiledOperations; ++i) {
            const uint32_t *v = d->profiling->values[i];
            std::fprintf(file, "%-29s : %uµs min(%uµs) max(%uµs)\n", ProfiledNames[i], v[0], v[1], v[2]);
        }
    }
    std::fprintf(file, "###################################################\n\n");
    std::fclose(file);
}

void NSJAPIProvider::setLinkResolver(LinkResolver resolver, void *context)
{
    if (!d)
        return;
    d->linkResolver = resolver;
    d->linkContext = context;
}

void NSJAPIProvider::setRegistryCallbacks(RegistryRead read, RegistryWrite write, void *context)
{
    if (!d)
        return;
    d->registryRead = read;
    d->registryWrite = write;
    d->registryContext = context;
    onCallbacksChanged();
}

std::string NSJAPIProvider::resolveLink(const std::string &link)
{
    return d && d->linkResolver ? d->linkResolver(link, d->linkContext) : std::string();
}

void NSJAPIProvider::registryRead(std::string &out)
{
    if (d && d->registryRead)
        d->registryRead(out, d->registryContext);
}

void NSJAPIProvider::registryWrite(const std::string &in)
{
    if (d && d->registryWrite)
        d->registryWrite(in, d->registryContext);
}
