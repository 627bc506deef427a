/* DAB+ Parser: turns the logical frames of one DAB sub-channel into decodable
 * units. It finds out by itself whether the sub-channel carries MPEG Layer II
 * frames (handed out one frame per unit) or DAB+ superframes (Fire-code
 * synchronised, RS(120,110) corrected and split into CRC-checked access units),
 * and builds the AudioSpecificConfig of a DAB+ stream.
 *
 * Result codes: 0 success, 18 null argument, 20 bad parameter, 21 more input
 * needed. */
#ifndef DABPLUS_PARSER_H
#define DABPLUS_PARSER_H

#include <stdint.h>

#include "RezTools.h"

#ifdef __cplusplus
extern "C" {
#endif

enum DABplusParserResult {
    DABPLUS_PARSER_OK = 0,
    DABPLUS_PARSER_NULL_ARGUMENT = 18,
    DABPLUS_PARSER_BAD_PARAMETER = 20,
    DABPLUS_PARSER_NEED_INPUT = 21
};

/* Stream types of DABplusStreamHeader. */
enum DABplusStreamType {
    DABPLUS_STREAM_UNKNOWN = 0,
    DABPLUS_STREAM_LAYER2 = 1,
    DABPLUS_STREAM_AAC = 2,
    DABPLUS_STREAM_AAC_SBR = 3,
    DABPLUS_STREAM_AAC_SBR_PS = 4
};

#define DABPLUS_MAX_ACCESS_UNITS 6
/* Largest sub-channel size in units of 8 kbit/s. */
#define DABPLUS_MAX_SUBCHANNEL_SIZE 48

/* Reception statistics of the last unit examined; cleared before each unit. */
typedef struct DABplusParserStats {
    uint32_t unitProcessed;          /* 1 when this call examined a unit */
    uint32_t allGood;                /* DAB+: every AU passed its CRC; Layer II: the header matched */
    uint32_t goodAusAfterRsFailure;  /* good AUs, written only when a codeword was uncorrectable */
    uint32_t noAuLost;               /* 1 when the header was known and no AU was lost */
    uint32_t auLost[DABPLUS_MAX_ACCESS_UNITS];
    uint32_t rsAllDecodable;
    uint32_t rsCodewords;
    uint32_t rsCodewordsWithErrors;  /* corrected plus uncorrectable */
    uint32_t rsCodewordsCorrected;
    uint32_t rsCodewordsUncorrectable;
    uint32_t rsSymbolsCorrected;
    uint32_t fireGood;               /* syndrome zero or a burst corrected */
    uint32_t fireCorrections;
    uint32_t fireFailures;
    uint32_t ausRepaired;            /* AUs taken with a boundary from the Fire-corrected header */
} DABplusParserStats;

typedef struct DABplusStreamHeader {
    uint32_t synced;     /* 1 while following Layer II or DAB+ */
    uint32_t streamType; /* DABplusStreamType; kept while searching */
    DABplusParserStats stats;
} DABplusStreamHeader;

/* Filled by each parse call. The pointers point into the parser's buffer and stay
 * valid until the next parse call or reset. */
typedef struct DABplusAccessUnitTable {
    uint8_t *au[DABPLUS_MAX_ACCESS_UNITS];
    uint32_t auLength[DABPLUS_MAX_ACCESS_UNITS]; /* bytes without the CRC; 0 = lost */
    uint32_t auCount;       /* 0 none, 1 one Layer II frame, 2, 3, 4 or 6 DAB+ AUs */
    uint32_t configChanges; /* counts new Layer II headers and superframe header bytes;
                               never cleared by the parser */
} DABplusAccessUnitTable;

typedef struct DABplusParserInstance *DABplusParserHandle;

/* Creates a parser for sub-channel size n (1..48, units of 8 kbit/s). Returns 18
 * when handle is null, 20 (with *handle null) for n outside 1..48, else 0 with the
 * parser in *handle, or with *handle null when memory was short. */
int DABplusParser_Open(DABplusParserHandle *handle, uint32_t n);
/* Releases the parser and writes null to *handle. Returns 0 (also for null). */
int DABplusParser_Close(DABplusParserHandle *handle);
/* Starts searching again for sub-channel size n. Returns 0, or 20 for n outside
 * 1..48 or a null parser. The last Layer II header, superframe header byte and
 * failure limit are kept. */
int DABplusParser_Reset(DABplusParserHandle parser, uint32_t n);
/* Id 0: consecutive failed units after which the parser searches again (default 4;
 * negative = never; 0 also takes a changed Layer II header at once). Returns 0, 20
 * for any other id, 18 for a null parser. */
int DABplusParser_SetParam(DABplusParserHandle parser, int id, int value);
/* input holds *frames whole logical frames of 24 * n bytes. The parser copies what
 * it needs from the start of input and lowers *frames by the number taken; the
 * caller skips those. Returns 0 (table filled when a unit is ready: auCount > 0),
 * 21 when a frame was needed and *frames was 0, or 18 for a null pointer. */
int DABplusParser_ParseSuperframe(DABplusParserHandle parser, const uint8_t *input, uint32_t *frames,
                                  DABplusAccessUnitTable *table);
/* Writes the configuration of the current stream to out (at least 4 bytes): the
 * 4 Layer II header bytes (returns 4), or the AudioSpecificConfig of a DAB+ stream
 * (returns 2 or 4; its 3-bit MPEG Surround configuration goes to *mpsConfig when
 * that is not null). Returns 0 while searching, while the superframe header is not
 * known yet, or for a null parser or out. */
int DABplusParser_GetAudioConfig(DABplusParserHandle parser, uint8_t *out, uint32_t *mpsConfig);
/* The stream header, or null for a null parser. */
const DABplusStreamHeader *DABplusParser_GetStreamHeader(DABplusParserHandle parser);
/* Output sample rate of the core: Layer II 48000 or 24000, DAB+ 48000 or 32000;
 * 0 otherwise. */
uint32_t DABplusParser_GetSampleRate(DABplusParserHandle parser);
/* Fire code check of the first 11 bytes of a superframe: 0 no error, 1 a burst
 * was found (and corrected in place when correct is non-zero), 2 uncorrectable. */
int DABplusParser_CheckFireCode(uint8_t *bytes, int correct);
/* Remainder of the bit polynomial x (bit i = x^i) modulo g of degree `degree`. */
uint32_t DABplusParser_PolyMod(uint32_t x, uint32_t g, int degree);
/* Length in bytes of the frame a DAB Layer II header at bytes starts (4 bytes
 * needed): sync word, Layer II, 48 kHz (MPEG-1) or 24 kHz (MPEG-2) and a bit rate
 * giving 1 to 1152 bytes. 0 when the header is not such a header; the rate goes to
 * *sampleRate when that is not null. */
uint32_t DABplusParser_Layer2FrameLength(const uint8_t *bytes, uint32_t length, uint32_t *sampleRate);
/* Fills the first free row with "DAB+ Parser" (module 14, 2.5.0, flags 0). Returns
 * 0, 18 for a null table, 1 when no row is free. */
int DABplusParser_GetLibInfo(LIB_INFO *table);

#ifdef __cplusplus
}
#endif

#endif /* DABPLUS_PARSER_H */
