/* ETI-NI frames: parsing, writing and frame synchronisation.
 *
 * An ETI-NI frame is 6144 bytes and carries 24 ms of a DAB ensemble: the
 * Fast Information Channel and every sub-channel of the Main Service Channel.
 * The parser reads untrusted bytes: every length is checked against the frame
 * before it is used. Header and MST CRCs are the DAB CRC-16 (DAB_Bb_Ruz_Crc16
 * of the DAB library). No function allocates except ZozEtiReader_Create, and
 * no function keeps a pointer to caller memory after it returns, except that
 * a parsed frame points into the bytes it was parsed from.
 */
#ifndef ZOZ_ETI_H
#define ZOZ_ETI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Size of one ETI-NI frame in bytes. */
#define ZOZ_ETI_FRAME_SIZE 6144
/* Most streams (sub-channels) one frame can describe. */
#define ZOZ_ETI_MAX_STREAMS 64
/* The two frame synchronisation words; they alternate from frame to frame. */
#define ZOZ_ETI_FSYNC_EVEN 0x073AB6u
#define ZOZ_ETI_FSYNC_ODD 0xF8C549u
/* Error level byte of a frame received without errors. */
#define ZOZ_ETI_ERR_NONE 0xFF

/* Result codes. */
#define ZOZ_ETI_OK 0
/* The frame was parsed but its MST CRC (FIC and sub-channels) is wrong; all
 * fields are filled, the payload may be damaged. */
#define ZOZ_ETI_MST_CRC 1
#define ZOZ_ETI_ERR_ARGUMENT (-1)   /* null pointer or buffer too short */
#define ZOZ_ETI_ERR_SYNC (-2)       /* no FSYNC word at bytes 1 to 3 */
#define ZOZ_ETI_ERR_HEADER_CRC (-3) /* header CRC wrong: nothing is usable */
#define ZOZ_ETI_ERR_LENGTH (-4)     /* lengths inconsistent or beyond the frame */
#define ZOZ_ETI_ERR_IO (-5)         /* reading the file descriptor failed */

/* One stream (sub-channel) of a frame. */
typedef struct ZozEtiStream {
    uint8_t subChId;        /* SCId, 0..63 */
    uint16_t startAddress;  /* SAD, in capacity units, 0..1023 */
    uint8_t tpl;            /* type and protection level, 6 bits */
    const uint8_t *data;    /* points into the parsed frame */
    uint16_t length;        /* bytes: STL x 8 */
} ZozEtiStream;

/* A parsed frame. The pointers point into the bytes given to ZozEti_ParseFrame. */
typedef struct ZozEtiFrame {
    uint32_t fsync;         /* ZOZ_ETI_FSYNC_EVEN or ZOZ_ETI_FSYNC_ODD */
    uint8_t err;            /* error level, ZOZ_ETI_ERR_NONE when error-free */
    uint8_t fct;            /* frame count, 0..249 */
    uint8_t ficPresent;     /* FICF */
    uint8_t nst;            /* number of streams */
    uint8_t framePhase;     /* FP, 0..7 */
    uint8_t mode;           /* transmission mode 1..4 (from MID) */
    uint16_t frameLength;   /* FL, in 32-bit words */
    uint16_t mnsc;          /* multiplex network signalling channel word */
    uint32_t tist;          /* time stamp word */
    const uint8_t *fic;     /* FIC field, null when ficPresent is 0 */
    uint16_t ficLength;     /* 96 bytes in modes I, II, IV; 128 in mode III */
    uint8_t mstCrcValid;    /* 1 when the MST CRC is right */
    ZozEtiStream streams[ZOZ_ETI_MAX_STREAMS];
} ZozEtiFrame;

/* FIC bytes per frame for transmission mode 1..4; 0 for any other mode. */
int ZozEti_FicLength(int mode);

/* Parses one frame of `length` bytes (at least ZOZ_ETI_FRAME_SIZE are not
 * needed: the frame may end after its TIST word). Returns ZOZ_ETI_OK,
 * ZOZ_ETI_MST_CRC, ZOZ_ETI_ERR_ARGUMENT, ZOZ_ETI_ERR_SYNC,
 * ZOZ_ETI_ERR_HEADER_CRC or ZOZ_ETI_ERR_LENGTH. *out is filled only with
 * ZOZ_ETI_OK and ZOZ_ETI_MST_CRC. */
int ZozEti_ParseFrame(const uint8_t *data, size_t length, ZozEtiFrame *out);

/* One stream to write. */
typedef struct ZozEtiStreamInput {
    uint8_t subChId;        /* 0..63 */
    uint16_t startAddress;  /* 0..1023 */
    uint8_t tpl;            /* 0..63 */
    const uint8_t *data;    /* `length` bytes */
    uint16_t length;        /* a multiple of 8 */
} ZozEtiStreamInput;

/* Everything a frame needs; fields not set are written as zero. */
typedef struct ZozEtiFrameInput {
    uint8_t err;            /* ZOZ_ETI_ERR_NONE for a good frame */
    uint8_t fct;            /* 0..249; FSYNC follows its parity */
    uint8_t mode;           /* 1..4 */
    const uint8_t *fic;     /* ZozEti_FicLength(mode) bytes, or null for no FIC */
    uint16_t mnsc;
    uint32_t tist;
    uint8_t nst;            /* 0..ZOZ_ETI_MAX_STREAMS */
    ZozEtiStreamInput streams[ZOZ_ETI_MAX_STREAMS];
} ZozEtiFrameInput;

/* Writes one whole frame (ZOZ_ETI_FRAME_SIZE bytes, padded with 0x55) to
 * `out` with correct header and MST CRCs. Returns ZOZ_ETI_OK,
 * ZOZ_ETI_ERR_ARGUMENT (null pointer, bad mode, count or field value) or
 * ZOZ_ETI_ERR_LENGTH (a stream length not a multiple of 8, or the streams do
 * not fit into one frame); `out` is untouched on error. */
int ZozEti_WriteFrame(const ZozEtiFrameInput *in, uint8_t *out);

/* Frame synchronisation over a byte stream (file, pipe, standard input).
 * Bytes go in with ZozEtiReader_Feed and whole frames come out with
 * ZozEtiReader_Next. Out of sync, a frame is accepted only when both its
 * FSYNC word and its header CRC are right; in sync, every frame whose FSYNC
 * word is right is passed on (a bad header CRC is the parser's to report),
 * and a missing FSYNC word drops sync. */
typedef struct ZozEtiReader ZozEtiReader;

/* Returns a new reader, or null when out of memory. */
ZozEtiReader *ZozEtiReader_Create(void);
void ZozEtiReader_Destroy(ZozEtiReader *reader);
/* Forgets buffered bytes and sync. */
void ZozEtiReader_Reset(ZozEtiReader *reader);

/* Takes up to `length` bytes; returns how many were taken (fewer when the
 * buffer is full: take frames out with ZozEtiReader_Next, then feed the
 * rest), or ZOZ_ETI_ERR_ARGUMENT. */
int ZozEtiReader_Feed(ZozEtiReader *reader, const uint8_t *data, size_t length);

/* Copies the next frame to `frame` (ZOZ_ETI_FRAME_SIZE bytes). Returns 1 with
 * a frame, 0 when more bytes are needed, or ZOZ_ETI_ERR_ARGUMENT. */
int ZozEtiReader_Next(ZozEtiReader *reader, uint8_t *frame);

/* Reads from the file descriptor `fd` until a frame is found. Returns 1 with
 * a frame, 0 at end of input, or ZOZ_ETI_ERR_IO / ZOZ_ETI_ERR_ARGUMENT. */
int ZozEtiReader_ReadFd(ZozEtiReader *reader, int fd, uint8_t *frame);

/* Bytes skipped while searching for sync since creation or reset. */
uint64_t ZozEtiReader_SkippedBytes(const ZozEtiReader *reader);

#ifdef __cplusplus
}
#endif

#endif
