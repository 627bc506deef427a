/* MOT decoder: reassembles MOT objects from the MSC data groups of one data
 * service (packet mode or X-PAD) and hands each complete object, and in
 * directory mode each complete directory, to a callback.
 *
 * Calling order: DAB_Bb_Ruz_MotDecoderGetSize, allocate that many bytes
 * (aligned for any scalar, as malloc returns), allocate the entity buffer,
 * DAB_Bb_Ruz_MotDecoderInit, then DAB_Bb_Ruz_MotDecoderProcessDataGroup with
 * every data group as it arrives (for X-PAD: the PAD decoder's application
 * callback, registered with useLength 1, gives whole data groups).
 *
 * Two modes, fixed at Init:
 *   - header mode (SlideShow): one object at a time. Its header (data group
 *     type 3) is collected in the first MOT_DECODER_HEADER_AREA bytes of the
 *     entity buffer, its body (type 4) in the rest; when both are complete the
 *     callback gets the body with the header. A group of another transport id
 *     abandons the object being collected.
 *   - directory mode (object services): the directory (type 6, or type 7 when
 *     compressed) is collected in the entity buffer and handed to the callback
 *     with a null header each time a part completes; bodies are collected only
 *     after DAB_Bb_Ruz_MotDecoderRequestObject named their transport id, each
 *     into a buffer of the caller, and delivered with their directory entry.
 *
 * Sizes read from the broadcast are not trusted: a body size in a header or
 * directory entry may be anything up to 2^28 - 1. Callers that allocate for
 * an object refuse sizes above MOT_DECODER_MAX_OBJECT_SIZE first;
 * DAB_Bb_Ruz_MotDecoderGetUncompressedSize refuses them itself.
 *
 * The library allocates nothing, keeps no global state and locks nothing: one
 * instance belongs to one caller at a time. Callbacks run inside
 * ProcessDataGroup and must not call ProcessDataGroup of the same instance.
 * Pointers in a MotHeader or MotDirectory point into the decoder's buffers and
 * stay valid until the next call that feeds a data group.
 *
 * Result codes are the MOT_DECODER_ values below (their log texts:
 * ZOZ::motErrorText). */
#ifndef ZOZ_DAB_MOT_DECODER_H
#define ZOZ_DAB_MOT_DECODER_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
    MOT_DECODER_OK = 0,
    MOT_DECODER_INVALID_PARAMETER = 3,
    MOT_DECODER_BUFFER_TOO_SMALL = 4,
    MOT_DECODER_CRC_ERROR = 5,
    MOT_DECODER_WRONG_MODE = 6,
    MOT_DECODER_INVALID_DATA_GROUP = 7,
    MOT_DECODER_NOT_FOUND = 8,
    MOT_DECODER_UNEXPECTED_TYPE = 9,
    MOT_DECODER_DIRECTORY_INCOMPLETE = 10,
    MOT_DECODER_DIRECTORY_INVALID = 11,
    MOT_DECODER_DECOMPRESSION_FAILED = 12,
    MOT_DECODER_ALREADY_REQUESTED = 13
};

enum {
    /* Smallest entity buffer; in header mode also the header area's size. */
    MOT_DECODER_HEADER_AREA = 500,
    /* Smallest directory cache buffer. */
    MOT_DECODER_MIN_CACHE_SIZE = 8216,
    /* Largest object (body or uncompressed gzip data) a caller should allocate
     * for: far above any slide, web page or programme guide a service sends,
     * far below what a hostile 28-bit size field would make a receiver take. */
    MOT_DECODER_MAX_OBJECT_SIZE = 16 * 1024 * 1024
};

/* Header parameter ids the record takes. */
enum {
    MOT_PARAMETER_PERMIT_OUTDATED_VERSIONS = 1,
    MOT_PARAMETER_CONTENT_NAME = 12,
    MOT_PARAMETER_UNIQUE_BODY_VERSION = 13,
    MOT_PARAMETER_MIME_TYPE = 16,
    MOT_PARAMETER_COMPRESSION_TYPE = 17,
    MOT_PARAMETER_CA_INFO = 35
};

/* One object's header. */
typedef struct MotHeader {
    uint16_t transportId;
    uint16_t headerSize;          /* header core and extension, at least 7 */
    uint32_t bodySize;            /* as broadcast: not checked against anything */
    uint16_t contentType;
    uint16_t contentSubType;
    const uint8_t *extension;     /* headerSize - 7 bytes; null when there are none */
    uint8_t contentNameCharset;   /* the ContentName's character set code */
    const uint8_t *contentName;   /* not terminated; null when absent */
    uint16_t contentNameLength;
    uint8_t compressionType;
    uint8_t caInfoPresent;
    uint8_t permitOutdatedVersions;
    uint32_t uniqueBodyVersion;
    const char *mimeType;         /* not terminated; for images without a MimeType
                                     parameter the type their subtype names */
    uint32_t mimeTypeLength;
} MotHeader;

/* The directory of a directory-mode carousel. */
typedef struct MotDirectory {
    uint16_t transportId;
    uint8_t complete;
    uint32_t directorySize;       /* for a compressed directory its uncompressed length */
    uint16_t numberOfObjects;
    uint32_t dataCarouselPeriod;
    uint16_t segmentSize;
    uint16_t extensionLength;
    uint8_t sortedHeaderInformation;
    uint8_t defaultPermitOutdatedVersions;
    const uint8_t *entries;
} MotDirectory;

typedef struct DabMotDecoder DabMotDecoder; /* opaque */

/* A complete object: `size` bytes at `object` described by `header`; or, with
 * a null header, the (uncompressed) directory of `size` bytes. The result is
 * what ProcessDataGroup returns. */
typedef int (*MotDecoderCallback)(const uint8_t *object, uint32_t size, const MotHeader *header, void *context);

/* Version of the library. Each pointer may be null; the given ones receive the
 * tag, two dates, the revision as text and as a number, the version text and
 * its three parts. Returns 3 when all nine are null, else 0. */
int DAB_Bb_Ruz_MotDecoderGetVersion(const char **tag, const char **date, const char **buildDate,
                                    const char **revisionText, uint32_t *revision, const char **version,
                                    uint32_t *major, uint32_t *minor, uint32_t *patch);

/* Bytes to allocate for one instance. */
uint32_t DAB_Bb_Ruz_MotDecoderGetSize(void);

/* Resets the instance for a mode (directoryMode 1 or 0) over the caller's
 * entity buffer. `cache` (directory mode only, may be null) keeps body groups
 * of objects not requested yet. Returns 0, or 3 for a null instance, buffer or
 * callback, an entity buffer below MOT_DECODER_HEADER_AREA bytes, or a cache
 * given in header mode or below MOT_DECODER_MIN_CACHE_SIZE bytes. */
int DAB_Bb_Ruz_MotDecoderInit(DabMotDecoder *decoder, int directoryMode, uint8_t *entity, uint32_t entitySize,
                              MotDecoderCallback callback, void *context, uint8_t *cache, uint32_t cacheSize);

/* Processes one data group of `length` bytes. Returns the callback's result
 * when the group completed something, else
 *   0 taken (stored, or ignored as already held);
 *   3 null instance or data, or fewer than 4 bytes;
 *   4 a segment beyond its buffer, or no free reassembly slot;
 *   5 bad CRC: nothing changes;
 *   7 malformed: no user access field or transport id, a segment number
 *     above 32766, a segment longer than the group, a header that does not
 *     parse, or a header whose body size exceeds the body collected (the
 *     object is then dropped);
 *   9 a data group type the mode does not take;
 *   11, 12 the directory did not parse or not inflate. */
int DAB_Bb_Ruz_MotDecoderProcessDataGroup(DabMotDecoder *decoder, const uint8_t *data, uint32_t length);

/* The complete directory. Returns 0, 3 null, 6 header mode, 10 not complete. */
int DAB_Bb_Ruz_MotDecoderGetDirectory(DabMotDecoder *decoder, MotDirectory **directory);

/* Entry `index` of the complete directory. Returns 0, 3 null or index not
 * below numberOfObjects, 6 header mode, 10 not complete, 8 when the entry
 * lies beyond the directory or its header does not parse. */
int DAB_Bb_Ruz_MotDecoderGetDirectoryEntry(DabMotDecoder *decoder, uint32_t index, MotHeader *header);

/* The first directory extension parameter `id`. Returns 0, 3 null, or 8 (data
 * null, length 0) when absent. */
int DAB_Bb_Ruz_MotDecoderGetDirectoryParameter(const MotDirectory *directory, uint8_t id, const uint8_t **data,
                                               uint32_t *length);

/* The first header extension parameter `id`. Returns 0, 3 null, or 8 (data
 * null, length 0) when absent. */
int DAB_Bb_Ruz_MotDecoderGetHeaderParameter(const MotHeader *header, uint8_t id, const uint8_t **data,
                                            uint32_t *length);

/* Directory mode: collect the body of `transportId` into `buffer` (which must
 * live until the body is delivered). Returns 0, 3 null or size 0, 6 header
 * mode, 10 directory not complete, 13 already requested, 4 no free slot. */
int DAB_Bb_Ruz_MotDecoderRequestObject(DabMotDecoder *decoder, uint16_t transportId, uint8_t *buffer,
                                       uint32_t bufferSize);

/* The uncompressed size a gzip member announces. Returns 0, 3 null or fewer
 * than 18 bytes, 12 (size 0) not gzip or a size above
 * MOT_DECODER_MAX_OBJECT_SIZE. */
int DAB_Bb_Ruz_MotDecoderGetUncompressedSize(const uint8_t *data, uint32_t length, uint32_t *size);

/* Inflates a gzip member into `output` of *outputSize bytes and sets
 * *outputSize to the bytes produced. Returns 0, 3 null, fewer than 10 bytes or
 * an announced size above *outputSize, 12 not gzip, a damaged header or
 * deflate stream, or output that does not fit. The CRC-32 is not checked. */
int DAB_Bb_Ruz_MotDecoderUncompress(const uint8_t *data, uint32_t length, uint8_t *output, uint32_t *outputSize);

#ifdef __cplusplus
}
#endif

#endif
