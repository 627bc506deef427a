/* Journaline decoder core: turns the MSC data groups of a Journaline data
 * service (NML objects, tables of contents, fragments) into a cache of
 * objects and offers navigation over them.
 *
 * Calling order: NSJ_GetInstanceSize, allocate that many bytes (aligned for
 * any scalar, as malloc returns) and a separate cache memory block of at
 * least NSJ_MIN_CACHE_SIZE bytes, NSJ_Init, then NSJ_ProcessDataGroup as data
 * groups arrive and the object functions as pages are wanted. Every object
 * retrieval fills a caller-allocated NSJ_ObjectRecord (NSJ_GetObjectRecordSize
 * bytes); its pointers point into the record itself.
 *
 * The core allocates nothing of its own except the working memory of zlib
 * while it inflates a compressed object, and locks nothing: one instance
 * belongs to one caller at a time (NSJAPIProvider serialises the calls).
 * Time comes from the NSJ_CB_GETTIME callback in seconds since
 * 2000-01-01 00:00:00 UTC.
 *
 * Result codes are the NSJ_ values below (their texts: NSJ_GetResultText).
 * Every function returning int returns NSJ_INVALID_PARAMETER for a null
 * instance or a null output pointer. NSJ_OBJECT_EXISTS and
 * NSJ_OBJECT_UPDATED are informational; callers treat every non-zero code as
 * failure. */
#ifndef ZOZ_NSJ_DECODER_H
#define ZOZ_NSJ_DECODER_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
    NSJ_OK = 0,
    NSJ_UNEXPECTED_ERROR = 1,
    NSJ_NO_MORE_SECTIONS = 2,
    NSJ_STATE_INCOMPATIBLE = 3,
    NSJ_NOT_INITIALISED = 4,
    NSJ_MEMORY_ERROR = 5,
    NSJ_FATAL_ERROR = 6,
    NSJ_INVALID_PARAMETER = 7,
    NSJ_STORAGE_SIZE = 8,
    NSJ_STORAGE_INVALID = 9,
    NSJ_TIMESTAMP_INVALID = 10,
    NSJ_CRC_ERROR = 11,
    NSJ_INSUFFICIENT_MEMORY = 12,
    NSJ_DATAGROUP_INVALID = 13,
    NSJ_DATAGROUP_SIZE = 14,
    NSJ_DATAGROUP_SEGMENTED = 15,
    NSJ_COMPRESSION_UNSUPPORTED = 16,
    NSJ_TOC_ERROR = 17,
    NSJ_FRAGMENT_INVALID = 18,
    NSJ_FRAGMENT_CHANNEL_OCCUPIED = 19,
    NSJ_OBJECT_INVALID = 20,
    NSJ_OBJECT_NOT_AVAILABLE = 21,
    NSJ_OBJECT_TOO_LARGE = 22,
    NSJ_OBJECT_TOO_SMALL = 23,
    NSJ_OBJECT_EXISTS = 24,
    NSJ_OBJECT_UPDATED = 25,
    NSJ_OBJECT_NOT_STATIC = 26,
    NSJ_OBJECT_TIMEOUT = 27
};

/* Object types (header byte >> 5). */
enum {
    NSJ_TYPE_MENU = 1,
    NSJ_TYPE_PLAIN_MESSAGE = 2,
    NSJ_TYPE_TITLE_ONLY = 3,
    NSJ_TYPE_LIST = 4
};

/* Time modes of NSJ_InitParams. */
enum {
    NSJ_TIME_NONE = 0,
    NSJ_TIME_ABSOLUTE_AND_RELATIVE = 1, /* needs the time callback */
    NSJ_TIME_RELATIVE_ONLY = 2          /* needs the time callback */
};

/* Events, one bit each, delivered only when their bit is in the event mask. */
enum {
    NSJ_EVENT_RECEIVED = 1,   /* about to be stored; a non-zero answer aborts the store and is returned */
    NSJ_EVENT_NEW = 2,        /* a new object was stored */
    NSJ_EVENT_UPDATED = 4,    /* a stored object was replaced by an updated version */
    NSJ_EVENT_CURRENT_FAILED = 8, /* the remembered error of the current object changed */
    NSJ_EVENT_EXPIRED = 16,   /* removed because it expired */
    NSJ_EVENT_EVICTED = 32,   /* removed to make room */
    NSJ_EVENT_TOC_REMOVED = 64, /* removed because the table of contents no longer lists it */
    NSJ_EVENT_REPLACED = 128  /* removed because an updated version replaces it */
};

enum {
    NSJ_MIN_CACHE_SIZE = 4092,
    NSJ_MAX_OBJECT_BYTES = 4092,   /* raw object, and decoded extended header + payload */
    NSJ_MAX_ITEMS = 32,            /* menu items, link and image records kept per object */
    NSJ_MAX_PATH = 20,             /* navigation path entries */
    NSJ_STATE_SIZE = 388,          /* bytes of a stored instance state */
    NSJ_SECTION_STORE_BYTES = 4096,
    NSJ_ANY_SECTION = 255,
    NSJ_NO_OBJECT = 65535
};

typedef struct NSJ_Instance NSJ_Instance; /* opaque */

/* Current time in seconds since 2000-01-01 00:00:00 UTC; `context` is the
 * user context of the init record. */
typedef uint32_t (*NSJ_CB_GETTIME)(void *context);
/* One event (NSJ_EVENT_ bit) about an object. Only the answer to
 * NSJ_EVENT_RECEIVED is used. The callback must not call into the instance. */
typedef uint32_t (*NSJ_CB_EVENT)(NSJ_Instance *instance, uint16_t objectId, uint32_t event);

typedef struct NSJ_InitParams {
    uint32_t stateSize;          /* must be NSJ_STATE_SIZE when `state` is given */
    const uint8_t *state;        /* stored state (NSJ_GetInstanceState) or null */
    uint32_t cacheSize;          /* bytes at `cacheMemory`, at least NSJ_MIN_CACHE_SIZE */
    uint8_t *cacheMemory;        /* must not be null; must outlive the instance */
    uint32_t blockSize;          /* requested block size; 0 means 128 */
    void *userContext;           /* handed to the time callback and by NSJ_GetUserContext */
    uint8_t crcCheck;            /* 1: data groups must carry a correct CRC */
    uint16_t rootId;             /* the root object (0 in this system) */
    uint32_t extHeaderLength;    /* extended header bytes of every object of the service */
    uint32_t timeMode;           /* NSJ_TIME_ */
    NSJ_CB_GETTIME getTime;
    uint32_t eventMask;          /* NSJ_EVENT_ bits to deliver */
    NSJ_CB_EVENT onEvent;        /* may be null: no events */
} NSJ_InitParams;

typedef struct NSJ_MenuItem {
    uint16_t targetId;
    uint16_t textLength;
    const uint8_t *text;         /* NML text, not terminated */
} NSJ_MenuItem;

/* A link section (type 3): kind, then the data split at its first zero byte
 * (for kind 0 only a zero at data position 3 splits). */
typedef struct NSJ_LinkRecord {
    uint8_t kind;
    uint16_t firstLength;
    const uint8_t *first;
    uint16_t secondLength;
    const uint8_t *second;
} NSJ_LinkRecord;

/* An image section (type 0xC0): kind 0-3, the first part, for kind 3 a
 * sub-part in front of it, and an optional second part. */
typedef struct NSJ_ImageRecord {
    uint8_t kind;
    uint16_t firstLength;
    const uint8_t *first;
    uint16_t subLength;
    const uint8_t *sub;
    uint16_t secondLength;
    const uint8_t *second;
} NSJ_ImageRecord;

/* One data section as the iteration hands it out: the type byte and the
 * bytes after it. */
typedef struct NSJ_DataSection {
    uint8_t type;
    uint16_t length;
    const uint8_t *data;
} NSJ_DataSection;

typedef struct NSJ_SectionStore {
    uint16_t count;
    uint16_t cursor;             /* byte offset of the next section to hand out */
    uint16_t used;               /* bytes used in `bytes` */
    uint8_t bytes[NSJ_SECTION_STORE_BYTES]; /* per section: u16 big-endian length, type byte, data */
} NSJ_SectionStore;

/* An object as retrieved. Every pointer points into the record itself. */
typedef struct NSJ_ObjectRecord {
    uint16_t id;
    uint8_t header;              /* type << 5 | static << 4 | compressed << 3 | revision */
    uint32_t extHeaderLength;
    const uint8_t *extHeader;
    uint32_t absoluteExpiry;     /* seconds since 2000, 0 = none */
    uint32_t relativeValidity;   /* seconds, 0 = none */
    uint16_t titleLength;
    uint16_t bodyLength;
    const uint8_t *title;
    const uint8_t *body;
    uint8_t menuItemCount;
    uint8_t linkCount;
    uint8_t imageCount;
    NSJ_MenuItem menuItems[NSJ_MAX_ITEMS];
    NSJ_LinkRecord links[NSJ_MAX_ITEMS];
    NSJ_ImageRecord images[NSJ_MAX_ITEMS];
    uint16_t decodedLength;      /* payload bytes after decoding */
    uint16_t totalLength;        /* with the extended header */
    const uint8_t *decoded;      /* the decoded payload */
    uint8_t bytes[NSJ_MAX_OBJECT_BYTES]; /* extended header, then the decoded payload */
    NSJ_SectionStore sections;
} NSJ_ObjectRecord;

typedef struct NSJ_HistoryPath {
    uint8_t depth;               /* index of the top entry, below NSJ_MAX_PATH */
    uint16_t ids[NSJ_MAX_PATH];
} NSJ_HistoryPath;

typedef struct NSJ_Statistics {
    uint16_t tocField;
    uint16_t objectsCached;
    uint32_t objectsAdded;
    uint32_t objectsUpdated;
    uint32_t objectsRemoved;     /* removals for an update are not counted */
    uint16_t menus;
    uint16_t plainMessages;
    uint16_t lists;
    uint16_t titleOnly;
    uint32_t dataGroupsProcessed;
    uint32_t dataGroupsFailed;
    uint32_t tocDataGroups;
    uint32_t fragmentDataGroups;
    uint32_t cacheSize;
    uint32_t managementBytes;    /* chain table and index */
    uint32_t descriptorBytes;    /* descriptors of the cached objects */
    uint32_t blockBytes;         /* blocks x block size */
    uint32_t unusedRemainder;
    uint32_t freeBlockBytes;     /* free blocks x block size */
    uint32_t slackBytes;         /* unused bytes in the last block of each object */
    uint16_t blockSize;
    uint16_t blocks;
    uint16_t freeBlocks;
    uint16_t indexEntries;
    uint16_t freeIndexEntries;
} NSJ_Statistics;

/* Bytes of one instance (31072). */
uint32_t NSJ_GetInstanceSize(void);
/* Bytes of one NSJ_ObjectRecord. */
uint32_t NSJ_GetObjectRecordSize(void);

/* Prepares an instance: copies the record, lays out and empties the cache (or
 * takes layout and bookkeeping from the stored state, whose cache memory must
 * hold what was saved with it) and resets navigation to the root.
 * Returns 0; 7 for a null record or instance, null cache memory, or a time
 * mode of 1 or 2 without a time callback (or an unknown mode); 3 for a state
 * whose size is not NSJ_STATE_SIZE; 12 for less than NSJ_MIN_CACHE_SIZE bytes
 * of cache memory; or the result of NSJ_SetInstanceState. */
int NSJ_Init(const NSJ_InitParams *params, NSJ_Instance *instance);

/* Takes one MSC data group. Returns 0 (also for an object that already
 * existed, was updated, or was refused as expired), 4 before NSJ_Init,
 * 14 for a group too short for its header, 15 for a segmented group, 13 for
 * a group without CRC or of an unknown type, 11 for a CRC mismatch, the
 * fragment codes 18, 19, 22, the object codes 5, 12, 16, 20, 22, 23, 17 for
 * a bad table of contents, or the event callback's refusal. */
int NSJ_ProcessDataGroup(NSJ_Instance *instance, const uint8_t *data, uint32_t length);

/* 0 when the object is cached and valid; 21 when not (or the current
 * object's remembered error), 27 when it just expired, 10 for a reception
 * time in the future. */
int NSJ_IsObjectAvailable(NSJ_Instance *instance, uint16_t objectId);

/* Makes the object current (navigation path, children, siblings), then
 * retrieves it. Returns 0 or the NSJ_IsObjectAvailable codes, 20 for a
 * stored object that no longer decodes, 16, 22, 23 or 5 from decompression. */
int NSJ_GetObject(NSJ_Instance *instance, uint16_t objectId, NSJ_ObjectRecord *record);
/* Retrieves without touching the navigation state; results as NSJ_GetObject. */
int NSJ_RetrieveObject(NSJ_Instance *instance, uint16_t objectId, NSJ_ObjectRecord *record);
/* The object one level up the path, made current. With `search` set, deeper
 * path entries are tried in turn and finally object 0. */
int NSJ_GetUpperObject(NSJ_Instance *instance, NSJ_ObjectRecord *record, uint8_t search);
/* The previous / next sibling of the current object, wrapping at the ends,
 * made current. With `skip` set siblings not available are passed over. */
int NSJ_GetPreviousObject(NSJ_Instance *instance, NSJ_ObjectRecord *record, uint8_t skip);
int NSJ_GetNextObject(NSJ_Instance *instance, NSJ_ObjectRecord *record, uint8_t skip);

/* Copy the navigation path out / in. Set returns 7 for a depth of
 * NSJ_MAX_PATH or more. */
int NSJ_GetHistoryPath(NSJ_Instance *instance, NSJ_HistoryPath *path);
int NSJ_SetHistoryPath(NSJ_Instance *instance, const NSJ_HistoryPath *path);

/* The cache bookkeeping and navigation state (NSJ_STATE_SIZE bytes) for a
 * later NSJ_Init over the same cache memory contents. Returns 0, or 8 when
 * `size` is below NSJ_STATE_SIZE. */
int NSJ_GetInstanceState(NSJ_Instance *instance, uint8_t *state, uint32_t size);
/* Restores a stored state. Returns 0; 8 for a size other than
 * NSJ_STATE_SIZE; 9 when its parts or its layout do not fit this instance's
 * cache memory. */
int NSJ_SetInstanceState(NSJ_Instance *instance, const uint8_t *state, uint32_t size);

/* Bytes NSJ_GetObjectCache needs: 4 + the sum over cached objects of
 * (2 + object length); 0 for a null or uninitialised instance. */
uint32_t NSJ_GetObjectCacheSize(NSJ_Instance *instance);
/* Exports every cached, unexpired object: a big-endian u32 of size - 4, then
 * per object a big-endian u16 length and the raw object; zeros after the
 * last. Returns 0, or 8 when a record does not fit. */
int NSJ_GetObjectCache(NSJ_Instance *instance, uint8_t *buffer, uint32_t size);
/* Imports an export: every complete record is stored like a received object
 * (without the events 1, 2 and 4; its errors are ignored). Returns 0, or 8
 * when size < 4 or the length field exceeds size - 4. */
int NSJ_SetObjectCache(NSJ_Instance *instance, const uint8_t *buffer, uint32_t size);
/* Empties the cache and resets navigation; the data-group counters stay. */
int NSJ_ResetObjectCache(NSJ_Instance *instance);

/* Statistics out; set restores only the counters (table-of-contents field,
 * object counts, data-group counters). */
int NSJ_GetStatistics(NSJ_Instance *instance, NSJ_Statistics *statistics);
int NSJ_SetStatistics(NSJ_Instance *instance, const NSJ_Statistics *statistics);

/* The user context of the init record (null for a null instance). */
void *NSJ_GetUserContext(NSJ_Instance *instance);

/* Record accessors; 7 for null arguments. */
int NSJ_GetObjectType(const NSJ_ObjectRecord *record, uint8_t *type);
int NSJ_GetObjectId(const NSJ_ObjectRecord *record, uint16_t *id);
int NSJ_GetTitle(const NSJ_ObjectRecord *record, const uint8_t **title, uint16_t *length);
int NSJ_GetBody(const NSJ_ObjectRecord *record, const uint8_t **body, uint16_t *length);
int NSJ_GetMenuItemCount(const NSJ_ObjectRecord *record, uint8_t *count);
/* 7 unless the record is a menu and n is below its item count. */
int NSJ_GetMenuItem(const NSJ_ObjectRecord *record, uint8_t n, NSJ_MenuItem *item);
int NSJ_GetImages(const NSJ_ObjectRecord *record, uint8_t *count, const NSJ_ImageRecord **images);

/* The next data section of `type` (NSJ_ANY_SECTION for any) after the
 * cursor; 2 when none is left. The reset restarts the cursor. */
int NSJ_GetNextDataSection(NSJ_ObjectRecord *record, uint8_t type, NSJ_DataSection *section);
int NSJ_ResetDataSectionIterator(NSJ_ObjectRecord *record);

/* The text of a result code, "unknown result code" for any other value. */
const char *NSJ_GetResultText(int result);

#ifdef __cplusplus
}
#endif

#endif
