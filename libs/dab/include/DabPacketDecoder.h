/* Packet-mode decoder: turns the bytes of one packet-mode sub-channel into
 * data groups, one stream per packet address, optionally corrected by the
 * Reed-Solomon protection of enhanced packet mode, and hands every complete
 * data group to a callback.
 *
 * Calling order: DAB_Bb_Ruz_PmDecoderGetSize, allocate that many bytes
 * (aligned for any scalar, as malloc returns), DAB_Bb_Ruz_PmDecoderInit,
 * optionally DAB_Bb_Ruz_PmDecoderSetFec, DAB_Bb_Ruz_PmDecoderAddAddress for each
 * wanted address, then RUZ_PM_Process with the sub-channel bytes as they come.
 * The library allocates nothing and locks nothing: one instance belongs to one
 * caller at a time. Data-group buffers belong to the caller and must live
 * until their address is removed.
 *
 * Result codes of the int functions are the PM_DECODER_ values below (their
 * log texts: ZOZ::packetModeErrorText). */
#ifndef ZOZ_DAB_PACKET_DECODER_H
#define ZOZ_DAB_PACKET_DECODER_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
    PM_DECODER_OK = 0,
    PM_DECODER_INVALID_PARAMETER = 1,
    PM_DECODER_RS_STATE_ERROR = 2,
    PM_DECODER_ADDRESS_TABLE_FULL = 3,
    PM_DECODER_ADDRESS_EXISTS = 4,
    PM_DECODER_ADDRESS_NOT_FOUND = 5,
    PM_DECODER_CONTINUITY_ERROR = 7
};

/* Packet header forms. */
enum {
    PM_MODE_STANDARD = 0,     /* 3-byte packet headers, addresses 0-1023 */
    PM_MODE_SHORT_HEADER = 1  /* 1- or 2-byte headers, fixed packet length, addresses 0-3 */
};

/* Address types. */
enum {
    PM_ADDRESS_PER_PACKET = 0, /* every packet's data is delivered at once */
    PM_ADDRESS_DATA_GROUPS = 1 /* packets are reassembled into data groups */
};

enum {
    PM_MAX_ADDRESSES = 15,
    PM_MIN_BUFFER_CAPACITY = 200,
    PM_FRAME_BYTES = 3072
};

typedef struct DabPmDecoder DabPmDecoder; /* opaque */

/* Receives one data group (or, for type 0, one packet's data): the address's
 * buffer, the bytes in it and the address's user tag. Its result becomes the
 * result of the call that delivered the group. It must not call back into the
 * same instance. */
typedef int (*DabPmDataGroupCallback)(uint8_t *buffer, uint32_t length, uint32_t userTag);

/* What the decoder has seen since Init; for diagnostics and tests. */
typedef struct DabPmStatistics {
    uint32_t packets;               /* whole packets parsed */
    uint64_t usefulBytes;           /* useful data bytes of packets with a good CRC */
    uint32_t goodPackets;           /* packets with a good CRC */
    uint32_t dataGroups;            /* groups handed to a callback */
    uint32_t groupsWithoutCallback; /* groups that found no callback */
    uint32_t rsRows;                /* Reed-Solomon rows decoded */
    uint32_t rsRowsUncorrectable;
    uint32_t rsUncorrectableBytes;  /* data bytes in those rows, left as received */
    uint32_t rsRowsCorrected;
    uint32_t rsCorrectedSymbols;
    uint32_t continuityErrors;      /* groups abandoned for a missing packet */
    uint32_t oversizedGroups;       /* groups abandoned because they outgrew their buffer */
    uint32_t incompleteFrames;      /* frames given up uncorrected (missing packets or FEC bytes) */
} DabPmStatistics;

/* Version of the library. Each pointer may be null; the given ones receive the
 * tag, the date twice, the revision as text and as a number, the version text
 * and its three parts. Returns 1 when all nine are null, else 0. */
int DAB_Bb_Ruz_PmDecoderGetVersion(const char **tag, const char **date, const char **buildDate,
                                   const char **revisionText, uint32_t *revision, const char **version,
                                   uint32_t *major, uint32_t *minor, uint32_t *patch);

/* Bytes to allocate for one instance (6848). */
uint32_t DAB_Bb_Ruz_PmDecoderGetSize(void);

/* Prepares an instance: mode PM_MODE_STANDARD or PM_MODE_SHORT_HEADER;
 * packetLength is the fixed packet length minus 3 of the short-header mode
 * (ignored in standard mode). Empties the address table, turns Reed-Solomon
 * off and clears the statistics.
 * Returns 0, or 1 for a null instance or an unknown mode. */
int DAB_Bb_Ruz_PmDecoderInit(DabPmDecoder *decoder, uint8_t mode, uint8_t packetLength);

/* Turns enhanced packet mode's Reed-Solomon correction on (rows of the
 * application data table, data bytes per row) or off. Packets held for an
 * unfinished frame are delivered uncorrected first (through the callbacks).
 * Returns 0 (also when nothing changes), or 1 for a null instance, rows of 0
 * or above 180, columns of 0 or above 239, or (columns + 16) x rows above 3072;
 * the setting is then unchanged. */
int DAB_Bb_Ruz_PmDecoderSetFec(DabPmDecoder *decoder, uint8_t on, uint8_t rows, uint8_t columns);

/* Opens a packet address: type PM_ADDRESS_DATA_GROUPS or PM_ADDRESS_PER_PACKET,
 * the caller's buffer of `capacity` bytes for the data groups, the callback and
 * a tag handed back with every group.
 * Returns 0; 1 for a null instance, buffer or callback, a capacity below 200,
 * an unknown type or an address above 1023; 4 when the address is open already;
 * 3 when 15 addresses are open. */
int DAB_Bb_Ruz_PmDecoderAddAddress(DabPmDecoder *decoder, uint16_t address, uint8_t type, uint8_t *buffer,
                                   uint32_t capacity, DabPmDataGroupCallback callback, uint32_t userTag);

/* Closes a packet address; the out-pointers, when given, receive its buffer and
 * tag. Returns 0; 1 for a null instance; 5 when the address is not open. */
int DAB_Bb_Ruz_PmDecoderRemoveAddress(DabPmDecoder *decoder, uint16_t address, uint8_t **buffer,
                                      uint32_t *userTag);

/* Copies the statistics. Returns 0, or 1 for a null argument. */
int DAB_Bb_Ruz_PmDecoderGetStatistics(const DabPmDecoder *decoder, DabPmStatistics *statistics);

/* Consumes the whole packets at the start of `bytes` (*length of them). On
 * return *length holds the number of trailing bytes that form an incomplete
 * packet (0 when everything was used); the caller offers them again in front
 * of its next bytes. Packets with a bad CRC are dropped.
 * Returns 0 or the last callback's result; 7 when a group was abandoned because
 * a packet of it was missing (the other packets of the call are still
 * processed); 1 for a null argument or a length of 0; 2 when the Reed-Solomon
 * state is broken. */
int RUZ_PM_Process(DabPmDecoder *decoder, const uint8_t *bytes, uint32_t *length);

#ifdef __cplusplus
}
#endif

#endif
