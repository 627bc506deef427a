// One decoder core with its own cache memory, a settable clock and a log of
// the events it delivered.
#ifndef ZOZ_TESTS_JOURNALINE_CORE_FIXTURE_H
#define ZOZ_TESTS_JOURNALINE_CORE_FIXTURE_H

#include "JournalineBuilder.h"
#include "NSJDecoder.h"

#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

namespace ZOZ::Test::Journaline {

struct FreeDeleter {
    void operator()(void *p) const { std::free(p); }
};

struct CoreSettings {
    uint32_t cacheSize = 12800;
    uint32_t timeMode = NSJ_TIME_ABSOLUTE_AND_RELATIVE;
    uint32_t eventMask = 0xFF;
    uint32_t extHeaderLength = 0;
    uint8_t crcCheck = 1;
    const uint8_t *state = nullptr;
};

class Core {
public:
    using Settings = CoreSettings;

    explicit Core(Settings settings = Settings{})
        : m_instance(static_cast<NSJ_Instance *>(std::malloc(NSJ_GetInstanceSize())))
        , m_memory(settings.cacheSize)
        , m_record(static_cast<NSJ_ObjectRecord *>(std::malloc(NSJ_GetObjectRecordSize())))
    {
        m_params.cacheSize = settings.cacheSize;
        m_params.cacheMemory = m_memory.data();
        m_params.userContext = this;
        m_params.crcCheck = settings.crcCheck;
        m_params.extHeaderLength = settings.extHeaderLength;
        m_params.timeMode = settings.timeMode;
        m_params.getTime = time;
        m_params.eventMask = settings.eventMask;
        m_params.onEvent = event;
        if (settings.state) {
            m_params.state = settings.state;
            m_params.stateSize = NSJ_STATE_SIZE;
        }
        m_initResult = NSJ_Init(&m_params, m_instance.get());
    }

    NSJ_Instance *get() const { return m_instance.get(); }
    NSJ_ObjectRecord *record() const { return m_record.get(); }
    std::vector<uint8_t> &memory() { return m_memory; }
    int initResult() const { return m_initResult; }

    int feed(const Bytes &group) { return NSJ_ProcessDataGroup(get(), group.data(), static_cast<uint32_t>(group.size())); }
    int feed(const Object &o) { return feed(objectGroup(o)); }
    bool has(uint16_t id) { return NSJ_IsObjectAvailable(get(), id) == NSJ_OK; }
    int retrieve(uint16_t id) { return NSJ_RetrieveObject(get(), id, record()); }
    int open(uint16_t id) { return NSJ_GetObject(get(), id, record()); }
    NSJ_Statistics statistics()
    {
        NSJ_Statistics s{};
        NSJ_GetStatistics(get(), &s);
        return s;
    }
    NSJ_HistoryPath path()
    {
        NSJ_HistoryPath p{};
        NSJ_GetHistoryPath(get(), &p);
        return p;
    }
    std::string title() const { return std::string(record()->title, record()->title + record()->titleLength); }

    uint32_t now = 100000; // seconds since 2000
    uint32_t refuseReceived = 0;
    std::vector<std::pair<uint16_t, uint32_t>> events;

    // Events of one kind, by object id.
    std::vector<uint16_t> eventsOf(uint32_t kind) const
    {
        std::vector<uint16_t> ids;
        for (const auto &[id, e] : events)
            if (e == kind)
                ids.push_back(id);
        return ids;
    }

private:
    static uint32_t time(void *context) { return static_cast<Core *>(context)->now; }
    static uint32_t event(NSJ_Instance *instance, uint16_t id, uint32_t kind)
    {
        auto *core = static_cast<Core *>(NSJ_GetUserContext(instance));
        core->events.emplace_back(id, kind);
        return kind == NSJ_EVENT_RECEIVED ? core->refuseReceived : 0;
    }

    std::unique_ptr<NSJ_Instance, FreeDeleter> m_instance;
    std::vector<uint8_t> m_memory;
    std::unique_ptr<NSJ_ObjectRecord, FreeDeleter> m_record;
    NSJ_InitParams m_params{};
    int m_initResult = -1;
};

inline Object plain(uint16_t id, const std::string &title = "Title", const std::string &body = "Body")
{
    Object o;
    o.id = id;
    o.title = title;
    o.body = body;
    return o;
}

inline Object menu(uint16_t id, std::vector<std::pair<uint16_t, std::string>> items, const std::string &title = "Menu")
{
    Object o;
    o.id = id;
    o.type = Menu;
    o.title = title;
    o.items = std::move(items);
    return o;
}

} // namespace ZOZ::Test::Journaline

#endif
