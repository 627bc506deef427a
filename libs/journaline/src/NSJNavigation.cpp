// Navigation over the cached objects: the path from the root to the object
// the reader looks at, its children and siblings, and the moves up, back
// and forth.
#include "NSJInternal.h"

namespace NSJ {
namespace {

uint8_t linksOf(NSJ_Instance *in, uint16_t id, uint16_t *targets)
{
    const int entry = findEntry(in, id);
    return entry >= 0 ? entryLinks(in, entry, targets) : 0;
}

// Makes `id` the object the reader looks at: the root alone, a cut back to
// an object already on the path, or one step further (replacing the top
// once the path is full).
void makeCurrent(NSJ_Instance *in, uint16_t id)
{
    NavigationState &nav = in->navigation;
    if (id == nav.root) {
        nav.depth = 0;
        nav.path[0] = id;
    } else {
        bool onPath = false;
        for (uint8_t i = 0; i <= nav.depth; ++i)
            if (nav.path[i] == id) {
                nav.depth = i;
                onPath = true;
                break;
            }
        if (!onPath) {
            if (nav.depth + 1 < NSJ_MAX_PATH)
                ++nav.depth;
            nav.path[nav.depth] = id;
        }
    }
    nav.rememberedError = NSJ_OK;
    rebuildNavigationLists(in);
}

// Replaces the top of the path by a sibling (or puts the old top back).
void replaceTop(NSJ_Instance *in, uint16_t id)
{
    in->navigation.path[in->navigation.depth] = id;
    in->navigation.rememberedError = NSJ_OK;
    rebuildNavigationLists(in);
}

int sibling(NSJ_Instance *in, NSJ_ObjectRecord *record, int step, bool skip)
{
    NavigationState &nav = in->navigation;
    const uint16_t current = nav.path[nav.depth];
    int index = -1;
    for (int i = 0; i < nav.siblingCount; ++i)
        if (nav.siblings[i] == current) {
            index = i;
            break;
        }
    if (index < 0)
        return retrieve(in, current, record);
    const int count = nav.siblingCount;
    // The siblings list changes with the top only when it is rebuilt; keep a copy.
    uint16_t siblings[NSJ_MAX_ITEMS];
    std::memcpy(siblings, nav.siblings, sizeof siblings);
    for (int tries = 1; tries <= count; ++tries) {
        index = (index + step + count) % count;
        replaceTop(in, siblings[index]);
        const int result = retrieve(in, siblings[index], record);
        if (result == NSJ_OK)
            return NSJ_OK;
        replaceTop(in, current);
        if (!skip)
            return result;
    }
    return retrieve(in, current, record);
}

bool validArguments(NSJ_Instance *in, const void *out) { return in && out; }

} // namespace

uint16_t currentId(const NSJ_Instance *in) { return in->navigation.path[in->navigation.depth]; }

void resetNavigation(NSJ_Instance *in)
{
    in->navigation = NavigationState{};
    in->navigation.root = in->params.rootId;
    in->navigation.path[0] = in->params.rootId;
}

void rebuildNavigationLists(NSJ_Instance *in)
{
    NavigationState &nav = in->navigation;
    nav.childCount = linksOf(in, nav.path[nav.depth], nav.children);
    nav.siblingCount = nav.depth > 0 ? linksOf(in, nav.path[nav.depth - 1], nav.siblings) : 0;
}

void rememberError(NSJ_Instance *in, uint16_t id, int result)
{
    if (id != currentId(in) || result == in->navigation.rememberedError)
        return;
    in->navigation.rememberedError = result;
    deliver(in, id, NSJ_EVENT_CURRENT_FAILED);
}

} // namespace NSJ

using namespace NSJ;

int NSJ_IsObjectAvailable(NSJ_Instance *in, uint16_t objectId)
{
    if (!in)
        return NSJ_INVALID_PARAMETER;
    if (!isInitialised(in))
        return NSJ_NOT_INITIALISED;
    int entry = -1;
    if (const int result = lookup(in, objectId, &entry))
        return result;
    return checkExpiry(in, entry);
}

int NSJ_GetObject(NSJ_Instance *in, uint16_t objectId, NSJ_ObjectRecord *record)
{
    if (!validArguments(in, record))
        return NSJ_INVALID_PARAMETER;
    if (!isInitialised(in))
        return NSJ_NOT_INITIALISED;
    makeCurrent(in, objectId);
    return retrieve(in, objectId, record);
}

int NSJ_RetrieveObject(NSJ_Instance *in, uint16_t objectId, NSJ_ObjectRecord *record)
{
    if (!validArguments(in, record))
        return NSJ_INVALID_PARAMETER;
    if (!isInitialised(in))
        return NSJ_NOT_INITIALISED;
    return retrieve(in, objectId, record);
}

int NSJ_GetUpperObject(NSJ_Instance *in, NSJ_ObjectRecord *record, uint8_t search)
{
    if (!validArguments(in, record))
        return NSJ_INVALID_PARAMETER;
    if (!isInitialised(in))
        return NSJ_NOT_INITIALISED;
    NavigationState &nav = in->navigation;
    // Candidates, nearest first: the parent (or the root entry at depth 0),
    // with `search` every deeper path entry and at last object 0.
    uint16_t candidates[NSJ_MAX_PATH + 2];
    int count = 0;
    if (nav.depth > 0) {
        for (int i = nav.depth - 1; i >= 0 && (count == 0 || search); --i)
            candidates[count++] = nav.path[i];
    } else {
        candidates[count++] = nav.path[0];
        candidates[count++] = nav.root;
    }
    if (search)
        candidates[count++] = 0;
    int result = NSJ_OBJECT_NOT_AVAILABLE;
    for (int i = 0; i < count; ++i) {
        makeCurrent(in, candidates[i]);
        result = retrieve(in, candidates[i], record);
        if (result == NSJ_OK)
            break;
    }
    return result;
}

int NSJ_GetPreviousObject(NSJ_Instance *in, NSJ_ObjectRecord *record, uint8_t skip)
{
    if (!validArguments(in, record))
        return NSJ_INVALID_PARAMETER;
    if (!isInitialised(in))
        return NSJ_NOT_INITIALISED;
    return sibling(in, record, -1, skip != 0);
}

int NSJ_GetNextObject(NSJ_Instance *in, NSJ_ObjectRecord *record, uint8_t skip)
{
    if (!validArguments(in, record))
        return NSJ_INVALID_PARAMETER;
    if (!isInitialised(in))
        return NSJ_NOT_INITIALISED;
    return sibling(in, record, 1, skip != 0);
}

int NSJ_GetHistoryPath(NSJ_Instance *in, NSJ_HistoryPath *path)
{
    if (!validArguments(in, path))
        return NSJ_INVALID_PARAMETER;
    if (!isInitialised(in))
        return NSJ_NOT_INITIALISED;
    *path = NSJ_HistoryPath{};
    path->depth = in->navigation.depth;
    std::memcpy(path->ids, in->navigation.path, sizeof path->ids);
    return NSJ_OK;
}

int NSJ_SetHistoryPath(NSJ_Instance *in, const NSJ_HistoryPath *path)
{
    if (!validArguments(in, path))
        return NSJ_INVALID_PARAMETER;
    if (!isInitialised(in))
        return NSJ_NOT_INITIALISED;
    if (path->depth >= NSJ_MAX_PATH)
        return NSJ_INVALID_PARAMETER;
    in->navigation.depth = path->depth;
    std::memcpy(in->navigation.path, path->ids, sizeof in->navigation.path);
    in->navigation.rememberedError = NSJ_OK;
    rebuildNavigationLists(in);
    return NSJ_OK;
}
