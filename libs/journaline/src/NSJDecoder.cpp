// Set-up, statistics, record accessors and result texts of the Journaline
// decoder core.
#include "NSJInternal.h"

namespace NSJ {

void deliver(NSJ_Instance *in, uint16_t id, uint32_t event)
{
    if ((in->params.eventMask & event) && in->params.onEvent)
        in->params.onEvent(in, id, event);
}

} // namespace NSJ

using namespace NSJ;

uint32_t NSJ_GetInstanceSize(void) { return InstanceBytes; }
uint32_t NSJ_GetObjectRecordSize(void) { return sizeof(NSJ_ObjectRecord); }

int NSJ_Init(const NSJ_InitParams *params, NSJ_Instance *in)
{
    if (!params || !in || !params->cacheMemory || params->timeMode > NSJ_TIME_RELATIVE_ONLY
        || (params->timeMode != NSJ_TIME_NONE && !params->getTime))
        return NSJ_INVALID_PARAMETER;
    if (params->state && params->stateSize != NSJ_STATE_SIZE)
        return NSJ_STATE_INCOMPATIBLE;
    if (params->cacheSize < NSJ_MIN_CACHE_SIZE)
        return NSJ_INSUFFICIENT_MEMORY;
    std::memset(in, 0, sizeof *in);
    in->params = *params;
    layoutCache(in);
    in->magic = InitialisedMagic;
    resetCache(in);
    resetNavigation(in);
    if (params->state)
        return NSJ_SetInstanceState(in, params->state, params->stateSize);
    return NSJ_OK;
}

int NSJ_ResetObjectCache(NSJ_Instance *in)
{
    if (!in)
        return NSJ_INVALID_PARAMETER;
    if (!isInitialised(in))
        return NSJ_NOT_INITIALISED;
    resetCache(in);
    resetNavigation(in);
    for (FragmentSlot &slot : in->slots)
        slot.inUse = 0;
    return NSJ_OK;
}

void *NSJ_GetUserContext(NSJ_Instance *in) { return in ? in->params.userContext : nullptr; }

int NSJ_GetStatistics(NSJ_Instance *in, NSJ_Statistics *s)
{
    if (!in || !s)
        return NSJ_INVALID_PARAMETER;
    if (!isInitialised(in))
        return NSJ_NOT_INITIALISED;
    const CacheState &c = in->cache;
    *s = NSJ_Statistics{};
    s->tocField = in->navigation.tocField;
    s->objectsCached = c.objects;
    s->objectsAdded = c.added;
    s->objectsUpdated = c.updated;
    s->objectsRemoved = c.removed;
    s->menus = c.perType[NSJ_TYPE_MENU - 1];
    s->plainMessages = c.perType[NSJ_TYPE_PLAIN_MESSAGE - 1];
    s->titleOnly = c.perType[NSJ_TYPE_TITLE_ONLY - 1];
    s->lists = c.perType[NSJ_TYPE_LIST - 1];
    s->dataGroupsProcessed = in->dataGroupsProcessed;
    s->dataGroupsFailed = in->dataGroupsFailed;
    s->tocDataGroups = in->tocDataGroups;
    s->fragmentDataGroups = in->fragmentDataGroups;
    s->cacheSize = c.memorySize;
    s->managementBytes = c.blockOffset;
    s->descriptorBytes = c.descriptorBytes;
    s->blockBytes = c.blocks * c.blockSize;
    s->unusedRemainder = c.unusedRemainder;
    s->freeBlockBytes = c.freeBlocks * c.blockSize;
    s->slackBytes = c.slackBytes;
    s->blockSize = static_cast<uint16_t>(c.blockSize);
    s->blocks = c.blocks;
    s->freeBlocks = c.freeBlocks;
    s->indexEntries = c.blocks;
    s->freeIndexEntries = static_cast<uint16_t>(c.blocks - c.objects);
    return NSJ_OK;
}

int NSJ_SetStatistics(NSJ_Instance *in, const NSJ_Statistics *s)
{
    if (!in || !s)
        return NSJ_INVALID_PARAMETER;
    if (!isInitialised(in))
        return NSJ_NOT_INITIALISED;
    CacheState &c = in->cache;
    in->navigation.tocField = s->tocField;
    c.objects = s->objectsCached;
    c.added = s->objectsAdded;
    c.updated = s->objectsUpdated;
    c.removed = s->objectsRemoved;
    c.perType[NSJ_TYPE_MENU - 1] = s->menus;
    c.perType[NSJ_TYPE_PLAIN_MESSAGE - 1] = s->plainMessages;
    c.perType[NSJ_TYPE_TITLE_ONLY - 1] = s->titleOnly;
    c.perType[NSJ_TYPE_LIST - 1] = s->lists;
    in->dataGroupsProcessed = s->dataGroupsProcessed;
    in->dataGroupsFailed = s->dataGroupsFailed;
    in->tocDataGroups = s->tocDataGroups;
    in->fragmentDataGroups = s->fragmentDataGroups;
    return NSJ_OK;
}

int NSJ_GetObjectType(const NSJ_ObjectRecord *record, uint8_t *type)
{
    if (!record || !type)
        return NSJ_INVALID_PARAMETER;
    *type = record->header >> 5;
    return NSJ_OK;
}

int NSJ_GetObjectId(const NSJ_ObjectRecord *record, uint16_t *id)
{
    if (!record || !id)
        return NSJ_INVALID_PARAMETER;
    *id = record->id;
    return NSJ_OK;
}

int NSJ_GetTitle(const NSJ_ObjectRecord *record, const uint8_t **title, uint16_t *length)
{
    if (!record || !title || !length)
        return NSJ_INVALID_PARAMETER;
    *title = record->title;
    *length = record->titleLength;
    return NSJ_OK;
}

int NSJ_GetBody(const NSJ_ObjectRecord *record, const uint8_t **body, uint16_t *length)
{
    if (!record || !body || !length)
        return NSJ_INVALID_PARAMETER;
    *body = record->body;
    *length = record->bodyLength;
    return NSJ_OK;
}

int NSJ_GetMenuItemCount(const NSJ_ObjectRecord *record, uint8_t *count)
{
    if (!record || !count)
        return NSJ_INVALID_PARAMETER;
    *count = record->menuItemCount;
    return NSJ_OK;
}

int NSJ_GetMenuItem(const NSJ_ObjectRecord *record, uint8_t n, NSJ_MenuItem *item)
{
    if (!record || !item || (record->header >> 5) != NSJ_TYPE_MENU || n >= record->menuItemCount)
        return NSJ_INVALID_PARAMETER;
    *item = record->menuItems[n];
    return NSJ_OK;
}

int NSJ_GetImages(const NSJ_ObjectRecord *record, uint8_t *count, const NSJ_ImageRecord **images)
{
    if (!record || !count || !images)
        return NSJ_INVALID_PARAMETER;
    *count = record->imageCount;
    *images = record->images;
    return NSJ_OK;
}

int NSJ_GetNextDataSection(NSJ_ObjectRecord *record, uint8_t type, NSJ_DataSection *section)
{
    if (!record || !section)
        return NSJ_INVALID_PARAMETER;
    NSJ_SectionStore &store = record->sections;
    while (store.cursor + 2u <= store.used) {
        const uint32_t length = get16(store.bytes + store.cursor);
        const uint8_t *bytes = store.bytes + store.cursor + 2;
        if (length == 0 || store.cursor + 2u + length > store.used)
            break;
        store.cursor = static_cast<uint16_t>(store.cursor + 2 + length);
        if (type == NSJ_ANY_SECTION || bytes[0] == type) {
            section->type = bytes[0];
            section->length = static_cast<uint16_t>(length - 1);
            section->data = bytes + 1;
            return NSJ_OK;
        }
    }
    return NSJ_NO_MORE_SECTIONS;
}

int NSJ_ResetDataSectionIterator(NSJ_ObjectRecord *record)
{
    if (!record)
        return NSJ_INVALID_PARAMETER;
    record->sections.cursor = 0;
    return NSJ_OK;
}

const char *NSJ_GetResultText(int result)
{
    static const char *const texts[] = {
        "no problems, used command successful",
        "an unexpected error occurred",
        "no further data sections left in selected Journaline object",
        "the previously stored instance state is not compatible with this REZ version",
        "the REZ decoder has not been properly initialized",
        "any of the memory functions returned an error",
        "a fatal error has occurred: heap error? ..REZ decoder should be reinitialized",
        "the function has been called with invalid parameters",
        "given memory storage size is not compatible for storing or loading state/object cache",
        "given memory storage could not be loaded since parts of it are invalid (from different version maybe?)",
        "timestamps returned by the NSJ_CB_GETTIME method are invalid - it may be incompatible with previously stored object cache",
        "CRC check failed",
        "insufficient memory to store an object",
        "faulty or invalid MSC data group",
        "the size of given MSC data group is invalid",
        "datagroup is segmented which is not yet supported by the REZ",
        "compression method of Journaline object not supported",
        "management data (TOC) could not be processed",
        "fragment data is invalid (e.g. faulty continuity index",
        "incoming fragment channel is not supported - assembly array is occupied",
        "Journaline object is invalid",
        "Journaline object is not available/not received yet",
        "Journaline object is too large",
        "Journaline object is too small",
        "Journaline object already exists",
        "Journaline object exists but has been updated with new data",
        "Journaline object is not static",
        "Journaline object had a timeout and is no longer valid",
    };
    if (result < 0 || result >= static_cast<int>(sizeof texts / sizeof texts[0]))
        return "unknown result code";
    return texts[result];
}
