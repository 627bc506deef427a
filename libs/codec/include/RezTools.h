/* REZ Tools: the toolbox that every codec library of the player builds on.
 *
 * - library-information registry and system functions (allocation, memory,
 *   one-time initialisation word, bounded formatting);
 * - ring bit buffer and cached bit-stream reader;
 * - CRC engine over bit-stream regions;
 * - Q31 fixed-point arithmetic;
 * - channel map;
 * - fixed-point trigonometry;
 * - FFT, DCT/DST and the lattice filter;
 * - inverse MDCT and window slopes;
 * - channel element syntax lists and loudspeaker layouts;
 * - autocorrelation of subband samples;
 * - QMF analysis and synthesis filter banks, custom tables and resampler;
 * - the QMF domain;
 * - the hybrid filter bank;
 * - the decorrelator.
 *
 * Plain C interface: every function takes its record first, returns an integer
 * result where it can fail (0 success, -1 failure unless stated otherwise) and
 * never throws. Nothing here allocates except the allocation functions. */
#ifndef REZ_TOOLS_H
#define REZ_TOOLS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ======================================================================== */
/* Library information                                                      */
/* ======================================================================== */

/* Every caller owns a table of this many rows; a row is free when its module id is 0. */
#define REZ_LIB_INFO_ROWS 39

typedef enum RezModuleId {
    REZ_MODULE_NONE = 0,
    REZ_MODULE_TOOLS = 1,
    REZ_MODULE_AAC_DECODER = 3,
    REZ_MODULE_SBR_DECODER = 5,
    REZ_MODULE_MPEG_TRANSPORT = 7,
    REZ_MODULE_MPS_DECODER = 9,
    REZ_MODULE_LAYER2_DECODER = 12,
    REZ_MODULE_DABPLUS_DECODER = 13,
    REZ_MODULE_DABPLUS_PARSER = 14,
    REZ_MODULE_PCM_DOWNMIX = 31,
    REZ_MODULE_TD_LIMITER = 35
} RezModuleId;

/* The build date that every library of the family reports. */
#define REZ_LIB_BUILD_DATE "Jun 25 2019"

typedef struct LIB_INFO {
    const char *title;
    const char *buildDate;
    const char *buildTime;
    uint32_t moduleId;   /* RezModuleId; 0 = free row */
    uint32_t version;    /* major << 24 | minor << 16 */
    uint32_t flags;      /* capability flags, meaning defined by each library */
    char versionText[32]; /* "major.minor.0" */
} LIB_INFO;

/* Fills the first free row with the toolbox ("REZ Tools", module 1, 2.6.0, flags 0x1).
 * Returns 0, or -1 when table is null, a row of module 1 comes before the first
 * free row (already registered), or no row is free. */
int RezTools_GetLibInfo(LIB_INFO *table);

/* The registrar rule shared by the libraries: scans the rows in order and returns the
 * first free one, or null when the table is null or full. With duplicateId non-zero,
 * a row of that module met before the first free row also gives null and sets
 * *isDuplicate to 1 (isDuplicate may be null); otherwise *isDuplicate is set to 0. */
LIB_INFO *RezTools_LibInfoFreeRow(LIB_INFO *table, uint32_t duplicateId, int *isDuplicate);

/* Fills one row: title, build time, module id, version major.minor.0 and flags; the
 * build date is REZ_LIB_BUILD_DATE. A null row does nothing. */
void RezTools_LibInfoFill(LIB_INFO *row, const char *title, const char *buildTime, uint32_t moduleId,
                          int major, int minor, uint32_t flags);

/* ======================================================================== */
/* System functions                                                         */
/* ======================================================================== */

/* Zeroed block aligned to 8 bytes (the alignment argument only enlarges the block),
 * or null when size is 0 or memory is short. Release with RezSys_AlignedFree. */
void *RezSys_AlignedCalloc(size_t size, size_t alignment);
/* Releases a block of RezSys_AlignedCalloc; null does nothing. */
void RezSys_AlignedFree(void *p);
/* Zeroed blocks from the system allocator, null on failure; release with RezTools_Free1D. */
void *RezSys_Calloc(size_t count, size_t size);
void *RezSys_Calloc2(size_t count, size_t size);

void RezSys_MemClear(void *p, size_t n);
void RezSys_MemSet(void *p, int value, size_t n);
void RezSys_MemCopy(void *dst, const void *src, size_t n);
/* -1, 0 or 1: the first differing byte decides, compared as unsigned. */
int RezSys_MemCompare(const void *a, const void *b, size_t n);

/* Formats into buffer, never writing more than size bytes (always terminated when
 * size > 0). Returns the characters written, or -1 on a formatting error or when the
 * text did not fit (the buffer then holds the truncated text). */
int RezSys_Sprintf(char *buffer, size_t size, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

/* The value of the one-time initialisation word once initialised. */
#define REZ_INIT_WORD_VALUE 0x7EDCBA98u
/* Writes the initialised value when the word is 0; keeps any other value. Returns 0. */
int RezSys_SetInitWord(void);
/* 1 when the word was 0 (it is then set), 0 when it holds the initialised value,
 * 2 when it holds anything else. */
int RezSys_CheckFirstInit(void);

/* Array allocators: null on a zero dimension or any failure (nothing is left
 * allocated then). 2-D and 3-D arrays are pointer vectors into one data block. The
 * Extra forms ignore their last argument. */
void *RezTools_Calloc1D(size_t n, size_t size);
void *RezTools_AlignedCalloc1D(size_t n, size_t size);
void *RezTools_Calloc1DExtra(size_t n, size_t size, int ignored);
void **RezTools_Calloc2D(size_t rows, size_t cols, size_t size);
void **RezTools_AlignedCalloc2D(size_t rows, size_t cols, size_t size);
void **RezTools_Calloc2DExtra(size_t rows, size_t cols, size_t size, int ignored);
void **RezTools_AlignedCalloc2DExtra(size_t rows, size_t cols, size_t size, int ignored);
void ***RezTools_Calloc3D(size_t d1, size_t d2, size_t d3, size_t size);
void ***RezTools_AlignedCalloc3D(size_t d1, size_t d2, size_t d3, size_t size);
void ***RezTools_Calloc3DExtra(size_t d1, size_t d2, size_t d3, size_t size, int ignored);
/* Releases; all accept null. */
void RezTools_Free1D(void *p);
void RezTools_AlignedFree1D(void *p);
void RezTools_Free2D(void **p);
void RezTools_AlignedFree2D(void **p);
void RezTools_Free3D(void ***p);
void RezTools_AlignedFree3D(void ***p);

/* ======================================================================== */
/* Bit buffer and bit-stream reader                                         */
/* ======================================================================== */

/* Entry i = 2^i - 1, i = 0..32. */
extern const uint32_t RezTools_BitMask[33];

/* A ring of bytes over caller memory, addressed in bits, MSB first.
 *
 * Reading never passes the fed data: the bits of a read or skip that lie beyond
 * validBits come back as zeros, validBits stays at 0, and the sticky overrun flag is
 * set. Callers test the flag (RezTools_BitBufferGetOverrun) once per unit. */
typedef struct RezBitBuffer {
    uint32_t validBits;   /* reading: bits fed but not yet read; writing: bits written */
    uint32_t writeOffset; /* byte position where the next fed byte goes */
    int32_t bitCounter;   /* bits read, written or skipped since the owner last set it */
    uint32_t bitIndex;    /* current bit position in the ring, 0..bufBits-1 */
    uint8_t *buffer;
    uint32_t bufSize;     /* bytes, a power of two */
    uint32_t bufBits;     /* 8 * bufSize */
    uint32_t overrunBits; /* bits taken past the end and not yet pushed back */
    uint32_t overrun;     /* sticky: 1 once a read or skip went past the end */
} RezBitBuffer;

typedef enum RezBitDirection { REZ_BIT_READ = 0, REZ_BIT_WRITE = 1 } RezBitDirection;

/* A cached accessor over a RezBitBuffer that keeps up to 32 bits in a word. In read
 * mode the cached bits already count as read in the buffer. */
typedef struct RezBitStream {
    uint32_t cache;
    uint32_t cachedBits;
    RezBitBuffer bitBuffer;
    uint32_t direction; /* RezBitDirection */
} RezBitStream;

/* Sets up the buffer over bufSize bytes (a power of two, at most 2^28) of which
 * validBits bits (capped at 8 * bufSize) are data; clears positions, counter and
 * the overrun state. Returns 8 * bufSize. */
uint32_t RezTools_BitBufferInit(RezBitBuffer *bb, uint8_t *buffer, uint32_t bufSize, uint32_t validBits);
/* Clears validBits, writeOffset, bitCounter, bitIndex and the overrun state. */
void RezTools_BitBufferReset(RezBitBuffer *bb);
/* Copies the caller's unread bytes (the last *bytesValid of input[0..inputSize)) into
 * the free space and lowers *bytesValid by the number copied. */
void RezTools_BitBufferFeed(RezBitBuffer *bb, const uint8_t *input, uint32_t inputSize, uint32_t *bytesValid);
/* The next n bits (n = 1..32) right-aligned; n = 0 reads nothing and returns 0. */
uint32_t RezTools_BitBufferReadBits(RezBitBuffer *bb, uint32_t n);
uint32_t RezTools_BitBufferRead32(RezBitBuffer *bb);
/* Writes the low n bits (n <= 32) of value at the current position; only those bits change. */
void RezTools_BitBufferWriteBits(RezBitBuffer *bb, uint32_t value, uint32_t n);
void RezTools_BitBufferPushBack(RezBitBuffer *bb, uint32_t n, uint32_t direction);
void RezTools_BitBufferPushForward(RezBitBuffer *bb, uint32_t n, uint32_t direction);
int32_t RezTools_BitBufferGetBitCount(const RezBitBuffer *bb);
void RezTools_BitBufferSetBitCount(RezBitBuffer *bb, int32_t value);
uint32_t RezTools_BitBufferGetValidBits(const RezBitBuffer *bb);
/* 1 once a read or skip went past the fed data (sticky), else 0. */
int RezTools_BitBufferGetOverrun(const RezBitBuffer *bb);
/* Clears the overrun flag (a new unit starts). */
void RezTools_BitBufferClearOverrun(RezBitBuffer *bb);

/* Sets up a bit stream with an empty cache over a fresh buffer (RezTools_BitBufferInit). */
void RezTools_BitStreamInit(RezBitStream *bs, uint8_t *buffer, uint32_t bufSize, uint32_t validBits,
                            uint32_t direction);
/* The next n bits (n = 1..32) right-aligned; n = 0 returns 0. */
uint32_t RezTools_BitStreamReadBits(RezBitStream *bs, uint32_t n);
uint32_t RezTools_BitStreamReadBit(RezBitStream *bs);
/* Returns the cached bits to the buffer (reading) or writes them out (writing). */
void RezTools_BitStreamSync(RezBitStream *bs);
void RezTools_BitStreamPushForward(RezBitStream *bs, uint32_t n);
void RezTools_BitStreamPushBack(RezBitStream *bs, uint32_t n);
/* n < 0 pushes back -n bits, else forward n. */
void RezTools_BitStreamPushBits(RezBitStream *bs, int32_t n);
uint32_t RezTools_BitStreamGetValidBits(RezBitStream *bs);
/* Ends an element on a byte boundary counted from anchor, a validBits value taken
 * at the element's start: reading skips, writing writes zero bits. */
void RezTools_BitStreamByteAlign(RezBitStream *bs, uint32_t anchor);
/* 1 once the reader went past the fed data (sticky), else 0. Bits prefetched into the
 * cache do not count until they are read. */
int RezTools_BitStreamGetOverrun(const RezBitStream *bs);

/* ======================================================================== */
/* CRC engine                                                               */
/* ======================================================================== */

#define REZ_CRC_REGIONS 3

typedef struct RezCrcRegion {
    uint32_t active;
    int32_t fixedLength;    /* bits; 0 = measured length; negative = exactly that many bits */
    int32_t measuredLength; /* bits */
    uint32_t startValidBits;
} RezCrcRegion;

typedef struct RezCrcEngine {
    RezCrcRegion regions[REZ_CRC_REGIONS];
    const uint16_t *table; /* 256 entries, or null for bitwise computation */
    uint16_t polynomial;   /* without the top bit */
    uint16_t topBitMask;   /* 1 << (width - 1) */
    uint16_t startValue;
    uint8_t width;         /* bits, at most 16 */
    uint32_t nextStart;
    uint32_t nextEnd;
    uint16_t crc;
} RezCrcEngine;

/* The 256-entry MSB-first CRC-16 table of polynomial 0x8005, 0x1021 or 0x8021
 * (entry i = CRC of byte i with a zero register), or null for any other polynomial. */
const uint16_t *RezTools_CrcTable(uint32_t polynomial);

/* Runs length bytes of memory through a 16-bit MSB-first register: for each byte,
 * crc = (crc << 8) ^ T[(crc >> 8) ^ byte] with the table of polynomial 0x8005, 0x1021
 * or 0x8021 (any other polynomial is computed bit by bit). Returns the register. */
uint16_t RezTools_CrcMemory16(uint32_t polynomial, uint16_t crc, const uint8_t *data, size_t length);

/* width is capped at 16; a table is used for width 16 with 0x8005, 0x1021 or 0x8021. */
void RezTools_CrcInit(RezCrcEngine *engine, uint32_t polynomial, uint32_t startValue, uint32_t width);
void RezTools_CrcReset(RezCrcEngine *engine);
/* Opens a region at the stream's position; returns its index (0..2). fixedLength as
 * in RezCrcRegion. */
int RezTools_CrcStartRegion(RezCrcEngine *engine, RezBitStream *bs, int32_t fixedLength);
/* Closes the region (index from StartRegion) and runs the CRC over it. Returns 0, or
 * -1 for an index outside 0..2. */
int RezTools_CrcEndRegion(RezCrcEngine *engine, RezBitStream *bs, int region);
/* The running CRC cut to its width. */
uint32_t RezTools_CrcGetValue(const RezCrcEngine *engine);
/* Runs n bits from the stream (zero bits when bs is null) through a bitwise CRC
 * register. Returns n. */
uint32_t RezTools_CrcUpdateBits(uint16_t *crc, uint16_t mask, uint16_t polynomial, RezBitStream *bs, uint32_t n);
/* Runs nBytes bytes from the stream (zero bytes when bs is null) through a 16-bit
 * table-driven register. Returns nBytes. */
uint32_t RezTools_CrcUpdateBytes(uint16_t *crc, const uint16_t *table, RezBitStream *bs, uint32_t nBytes);

/* ======================================================================== */
/* Fixed-point arithmetic (Q31, with separate exponents for wide ranges)   */
/* ======================================================================== */

/* Redundant sign bits of x (31 for 0 and -1). */
int RezTools_Norm(int32_t x);
/* Q31 product: the high word of the 64-bit product doubled, lowest bit cleared. */
int32_t RezTools_MulQ31(int32_t a, int32_t b);

/* a * b as a pair from normalised operands; 0 with e = 0 when either is 0. */
int32_t RezTools_MultiplyNormalized(int32_t a, int32_t b, int *e);
/* a / b as a pair (the quotient's magnitude below 1.0); a = 0 gives 0 with e = 0. A 0
 * divisor gives the largest value of the dividend's sign (0x7FFFFFFF or 0x80000001)
 * with e = 31 rather than a division fault. */
int32_t RezTools_DivideNormalized(int32_t a, int32_t b, int *e);
/* Like DivideNormalized on magnitudes with the sign of a * b; b = 0 gives 0x7FFFFFFF
 * with e = 14, equal magnitudes 0x7FFFFFFF or 0x80000001 with the exponent of 1.0. */
int32_t RezTools_DivideSigned(int32_t a, int32_t b, int *e);
/* a / b as a plain Q31 value, saturated (1.0 gives 0x7FFFFFFF). */
int32_t RezTools_Divide(int32_t a, int32_t b);
/* ceil(a * b / 2^31) for an integer a and a Q31 factor b. */
int32_t RezTools_MultiplyCeil(int32_t a, int32_t b);
/* x * 2^s, saturated to 0x7FFFFFFF / 0x80000001; small values shifted out give 0. */
int32_t RezTools_ScaleValueSaturate(int32_t x, int s);
/* Q31 to q fractional bits, rounding toward zero. */
int32_t RezTools_ShiftRightRoundToZero(int32_t x, int q);
/* log2 of the pair (m, e) as a pair; m <= 0 gives 0x80000000 with *eOut = 31. Ten terms
 * of the logarithm series: the error stays below about 1.3e-4. */
int32_t RezTools_Log2(int32_t m, int e, int *eOut);
int32_t RezTools_Log2Wrapper(int32_t m, int e, int *eOut);
/* log2(i) in Q25 for i = 1..192, else 0. */
int32_t RezTools_Log2Int(int32_t i);
/* 2^(m * 2^e / 2^31) as a pair (exponents above 31 count as 31). */
int32_t RezTools_Exp2(int32_t m, int e, int *eOut);
/* 2^(a * b) for the pairs (a, ea) and (b, eb), as a pair. */
int32_t RezTools_Exp2OfProduct(int32_t a, int ea, int32_t b, int eb, int *eOut);
/* The same as a plain Q31 value, saturated to 0x7FFFFFFF or 0x80000000. */
int32_t RezTools_Exp2OfProductToQ31(int32_t a, int ea, int32_t b, int eb);
/* x^y through log2 and exp2, as a pair. */
int32_t RezTools_Power(int32_t x, int ex, int32_t y, int ey, int *eOut);
/* x^n for an integer n, as a pair; n = 0 gives 0.5 with *eOut = 1. */
int32_t RezTools_PowerInt(int32_t x, int ex, int n, int *eOut);
/* Bits every value can be shifted left without overflow (31 when all are 0 or -1). */
int RezTools_GetHeadroom(const int32_t *x, int n);
/* Shifts left for s > 0, right for s < 0 (at most 31), without saturation. */
void RezTools_ScaleValues(int32_t *x, int n, int s);
void RezTools_ScaleCopy(int32_t *dst, const int32_t *src, int n, int s);
/* Shifts by s (limited to -31..31) with saturation to 0x7FFFFFFF / 0x80000001. */
void RezTools_ScaleValuesSaturated(int32_t *x, int n, int s);
void RezTools_ScaleCopySaturated(int32_t *dst, const int32_t *src, int n, int s);
/* x = Q31 product of x and factor, times 2^s. */
void RezTools_ScaleValuesWithFactor(int32_t *x, int32_t factor, int n, int s);
/* Q31 values shifted by s (saturated) and rounded to 16-bit PCM. */
void RezTools_ConvertToPcm16(int16_t *out, const int32_t *in, int n, int s);

/* ======================================================================== */
/* Channel map                                                              */
/* ======================================================================== */

typedef struct RezChannelMapRow {
    const uint8_t *map; /* map[i] = output slot of internal channel i */
    uint8_t len;
} RezChannelMapRow;

typedef struct RezChannelMap {
    const RezChannelMapRow *rows; /* indexed by channel configuration */
    uint32_t rowCount;
    uint32_t passthrough;         /* 1 = every index stands for itself */
} RezChannelMap;

/* Uses the caller's rows when given and valid, otherwise the built-in 15-row table.
 * A null map does nothing. */
void RezTools_ChannelMapInit(RezChannelMap *map, const RezChannelMapRow *rows, uint32_t rowCount,
                             uint32_t passthrough);
/* Output slot of an internal channel; the index itself when passthrough is set, no
 * table is set, or row or index lie outside the table. */
uint8_t RezTools_ChannelMapGet(const RezChannelMap *map, uint32_t index, uint32_t row);
/* 1 when every row is a permutation of 0..len-1 (and for zero rows), else 0 (also
 * for a null map). */
int RezTools_ChannelMapValidate(const RezChannelMap *map);
/* Returns 1 (nothing set) for a null map or one without rows, else sets the flag and
 * returns 0. */
int RezTools_ChannelMapPassthrough(RezChannelMap *map, uint32_t flag);

/* ======================================================================== */
/* Fixed-point trigonometry                                                 */
/* ======================================================================== */

/* pi in Q29. */
#define REZ_PI_Q29 0x6487ED51

/* Entry k = sin(2 pi k / 2048) in Q15 (upper half) and cos(2 pi k / 2048) in Q15
 * (lower half), k = 0..256. */
extern const uint32_t RezTools_SineTable[257];

/* Table sine and cosine (Q31) of angle * 2^exponent / 2^31 radians (exponent at most
 * 21); returns the residual angle below one table step, in the angle's scale. */
int32_t RezTools_SinCosTable(int32_t angle, int exponent, int32_t *sine, int32_t *cosine);
int32_t RezTools_Cos(int32_t angle, int exponent);
int32_t RezTools_Sin(int32_t angle, int exponent);
/* Cosine and sine (Q31, as RezTools_Cos and RezTools_Sin) of count angles in the same
 * scale: out[2i] = cos(angle i), out[2i + 1] = sin(angle i). The parametric-stereo and
 * MPEG Surround mixing set-ups take their rotation pairs from it. */
void RezTools_SinCosPairs(const int32_t *angles, int count, int exponent, int32_t *out);
/* atan(x), x in Q25, result in Q30. */
int32_t RezTools_Atan(int32_t x);
/* atan2(y, x) in Q29, in (-pi, pi]; (0, 0) gives 0. */
int32_t RezTools_Atan2(int32_t y, int32_t x);

/* ======================================================================== */
/* FFT                                                                      */
/* ======================================================================== */

/* Forward complex DFT in place on length interleaved (re, im) Q31 pairs, natural order
 * out. Afterwards the data hold DFT(x) * 2^-s and s has been added to *scale; s depends
 * only on the length:
 *   2, 3, 4, 5: 1    6: 4     8: 2     10: 5    12: 3    15: 3    16: 3    20: 4
 *   24: 6    30: 6   32: 4    40: 5    48: 6    60: 6    64: 5    80: 6    96: 7
 *   120: 7   128: 6  160: 10  192: 8   256: 7   384: 9   480: 9   512: 8
 * Any other length returns at once, leaving data and *scale untouched. */
void RezTools_Fft(int length, int32_t *data, int *scale);
/* Radix-2 transform of 2^ldn values (ldn 3..9) with the packed sine table of step
 * 2 pi / (4 * tableSize) (RezTools_SineTable with 512); scales by 2^-(ldn - 1) and does
 * not touch any exponent. */
void RezTools_FftRadix2(int32_t *data, int ldn, const uint32_t *packedSineTable, int tableSize);
/* Permutes n (a power of two) complex values into bit-reversed index order. */
void RezTools_FftBitReverse(int32_t *data, int n);
/* The twiddle pass of an L1 x L2 kernel over a row-major work array of length values
 * with rows of rowLength: row 0 and column 0 are quartered, every other value (row r,
 * column k) is halved and rotated by -2 pi r k / length with the next pair of the Q15
 * tables (half-products: a quarter in all). */
void RezTools_FftApplyTwiddles(int32_t *data, int rowLength, int length, const int16_t *cosTable,
                               const int16_t *sinTable);
/* The fixed-length kernels behind RezTools_Fft, each with the shift listed above (the
 * caller keeps the exponent). */
void RezTools_Fft2(int32_t *data);
void RezTools_Fft3(int32_t *data);
void RezTools_Fft4(int32_t *data);
void RezTools_Fft5(int32_t *data);
void RezTools_Fft6(int32_t *data);
void RezTools_Fft8(int32_t *data);
void RezTools_Fft10(int32_t *data);
void RezTools_Fft12(int32_t *data);
void RezTools_Fft15(int32_t *data);
void RezTools_Fft16(int32_t *data);
void RezTools_Fft20(int32_t *data);
void RezTools_Fft24(int32_t *data);
void RezTools_Fft30(int32_t *data);
void RezTools_Fft32(int32_t *data);
void RezTools_Fft40(int32_t *data);
void RezTools_Fft48(int32_t *data);
void RezTools_Fft60(int32_t *data);
void RezTools_Fft80(int32_t *data);
void RezTools_Fft96(int32_t *data);
void RezTools_Fft120(int32_t *data);
void RezTools_Fft160(int32_t *data);
void RezTools_Fft192(int32_t *data);
void RezTools_Fft384(int32_t *data);
void RezTools_Fft480(int32_t *data);

/* ======================================================================== */
/* DCT, DST and lattice filter                                              */
/* ======================================================================== */

/* Real transforms in place on length Q31 values; each adds its scaling shift to *scale
 * (s = the FFT shift of length / 2):
 *   DctIV   y[k] = 2^-(s+2) sum x[n] cos(pi (2n+1)(2k+1) / 4L)
 *   DstIV   y[k] = 2^-(s+2) sum x[n] sin(pi (2n+1)(2k+1) / 4L)
 *   DctII   y[k] = 2^-(s+2) sum x[n] cos(pi (2n+1) k / 2L)
 *   DctIII  y[k] = 2^-(s+2) sum x[n] cos(pi n (2k+1) / 2L)
 *   DstIII  y[k] = 2^-(s+2) sum x[n] sin(pi (n+1)(2k+1) / 2L)
 * The DCT-IV and DST-IV take lengths 2 (shift 1), 3 (shift 2), 4..1024 (powers of two),
 * 12..768 (3 x 2^k), 20..320 (5 x 2^k) and 30, 60, 120, 240, 960. The DCT-II, DCT-III
 * and DST-III take 4..1024 (powers of two), 12..384 (3 x 2^k), 20..160 (5 x 2^k), 60,
 * 120 and 240, and need a work array of length values. Other lengths do nothing. */
void RezTools_DctIV(int32_t *data, int length, int *scale);
void RezTools_DstIV(int32_t *data, int length, int *scale);
void RezTools_DctII(int32_t *data, int32_t *work, int length, int *scale);
void RezTools_DctIII(int32_t *data, int32_t *work, int length, int *scale);
void RezTools_DstIII(int32_t *data, int32_t *work, int length, int *scale);
/* The packed sine table whose entry i * *step holds the angle i pi / length (0..pi/4),
 * and the DCT-IV rotation table of the length (entry i: pi (2i + 1) / 4 length) when
 * rotation is not null. Unknown lengths give null tables and step 0. */
void RezTools_GetSineTable(const uint32_t **rotation, const uint32_t **sine, int *step, int length);
/* (re, im) rotated by the packed angle (cos low, sin high half-word) with half-products:
 * re' = (re cos - im sin) / 2, im' = (re sin + im cos) / 2. */
void RezTools_ComplexRotatePacked(int32_t *outRe, int32_t *outIm, int32_t re, int32_t im, uint32_t packed);
/* All-pole lattice filter over n values in place, from the first value on (step 1, 2, ...)
 * or from the last one backwards (step -1). Each value is shifted left by inShift
 * (right for negative), filtered with the order Q31 reflection coefficients through the
 * caller's state of order values (kept between calls) and shifted right by outShift
 * (left for negative). */
void RezTools_LatticeFilter(int32_t *data, int n, int inShift, int outShift, int step, const int32_t *coef,
                            int order, int32_t *state);

/* ======================================================================== */
/* Inverse MDCT and window slopes                                           */
/* ======================================================================== */

/* One channel's inverse MDCT state. The overlap buffer holds the samples already final
 * but not yet delivered (pending, at its start) and the first half of the last
 * transformed block (at its end). */
typedef struct RezImdctState {
    int32_t *overlap;
    const uint32_t *slope;  /* window slope at the left edge of the next block */
    int32_t prevLength;     /* transform length of the previous block; 0 before the first */
    int32_t flatCount;      /* overlap samples outside the slope */
    int32_t slopeLength;
    int32_t pending;
    int32_t overlapSize;    /* samples */
    int32_t sineKind;       /* 1 when the previous block used the sine kernel */
    int32_t prevSineKind;   /* sineKind one block earlier */
    const int32_t *addVector;  /* added once over the next slope region, then cleared */
    const int32_t *altOverlap; /* replaces the overlap once in the next slope region */
} RezImdctState;

/* Binds the overlap buffer (size samples, zeroed by the caller) and clears the state. */
void RezTools_ImdctInit(RezImdctState *state, int32_t *overlap, int size);
/* The window slope of a length and shape (0 sine, 1 Kaiser-Bessel-derived), or null when
 * that combination does not exist. Entry n (0 <= n < length / 2, rounded up) holds w(n)
 * in the upper and w(length - 1 - n) in the lower half-word, Q15. Sine: lengths 4..1024
 * (powers of two), 15, 30, 60, 120, 240, 960 and 12..768 (3 x 2^k). KBD: 128, 256, 1024,
 * 120, 960, 96, 768, with 512 and 192 giving the sine slope. */
const uint32_t *RezTools_GetWindowSlope(int length, int shape);
/* Scaling of an inverse transform of this length to unit gain: *exponent -= 17 +
 * floor(log2 length), and *gain (0 = unity) is multiplied by 2/3, 8/15 or 4/5 for
 * lengths of 3, 15 or 5 times a power of two. */
void RezTools_ImdctScaleForLength(int32_t *gain, int *exponent, int length);
/* Transforms blockCount blocks of transformLength Q31 values in spectrum (in place),
 * each with its exponent in blockScales, windows them with the slopes and overlap-adds
 * them to the state's overlap. The first outputWanted samples (pending ones first) go to
 * output; the rest stay pending in the overlap buffer. gain 0 means unity; bit 0 of
 * sineKind selects the sine kernel. Returns the samples written to output (0 for
 * arguments out of range: lengths above 1024, slopes longer than the transform). */
int RezTools_InverseMdct(RezImdctState *state, int32_t *output, int32_t *spectrum, const int16_t *blockScales,
                         int blockCount, int outputWanted, int transformLength, const uint32_t *leftSlope,
                         int leftSlopeLength, const uint32_t *rightSlope, int rightSlopeLength, int32_t gain,
                         int sineKind);
/* Reconciles a requested left slope (*slopeLength, *flatCount) with the one the state
 * holds from the previous block; either side may take the other's. */
void RezTools_ImdctAdaptWindow(RezImdctState *state, int *slopeLength, int *flatCount, int transformLength,
                               const uint32_t *slope, int outputWanted);
/* Writes the pending samples, then the overlap region outside the slope, at most n in
 * all; returns the count. The state is unchanged. */
int RezTools_ImdctFlushOverlap(RezImdctState *state, int32_t *output, int n);
/* Moves up to n pending samples to output (n < 1 gives 0); returns the count. */
int RezTools_ImdctDrainPending(RezImdctState *state, int32_t *output, int n);

/* ======================================================================== */
/* Channel element syntax lists and loudspeaker layouts                     */
/* ======================================================================== */

/* The syntax element ids the AAC channel element parser walks; up to three lists, each
 * ended by id 40, absent ones null. */
typedef struct RezChannelElementSyntax {
    const uint32_t *lists[3];
} RezChannelElementSyntax;

/* The list record of an object type and element: object types 2, 5, 29 (flags bit 0
 * selects the error-resilient record), 42 and 50 (flags 0x20 selects the low-frequency
 * record), 143 to 146 and 256; one channel gives the mono record, any other count the
 * stereo one. Other object types give null. */
const RezChannelElementSyntax *RezTools_GetChannelElementSyntax(uint32_t objectType, uint32_t ignored,
                                                                uint32_t channels, uint32_t ignored2,
                                                                uint32_t flags);

/* One loudspeaker position (43 of them, index 0..42). */
typedef struct RezSpeakerPosition {
    int32_t index;
    int32_t azimuth;    /* degrees */
    int32_t elevation;  /* degrees */
    int32_t isLowFrequency;
    int32_t isScreenRelative;
    int32_t reserved[4];
    int32_t valid;      /* 1, or -1 for the two reserved positions 11 and 12 */
} RezSpeakerPosition;

/* REZ_LAYOUT_UNKNOWN: the layout index is not in the table of 19 layouts (1-7, 9-20). */
#define REZ_LAYOUT_UNKNOWN (-990)
/* Counts the ordinary and low-frequency loudspeakers of a layout and, when descriptors is
 * not null, copies each loudspeaker's position (room for 32). Returns 0, or
 * REZ_LAYOUT_UNKNOWN with both counts -1. */
int RezTools_ChannelElementTableLookup(uint32_t layout, RezSpeakerPosition *descriptors, int *ordinary,
                                       int *lowFrequency);
/* The lookup's result, with *total = ordinary + low-frequency loudspeakers. */
int RezTools_ChannelElementCount(uint32_t layout, int *total);

/* ======================================================================== */
/* Autocorrelation                                                          */
/* ======================================================================== */

/* Second-order autocorrelation of one subband (x_j the sample at time j). The stored
 * words times 2^-e (e the returned exponent) are the true sums. */
typedef struct RezAutoCorrelation {
    int32_t r00;     /* sum |x_j|^2, j = 0..n-1 (complex only) */
    int32_t r11;     /* sum |x_j|^2, j = -1..n-2 */
    int32_t r22;     /* sum |x_j|^2, j = -2..n-3 */
    int32_t r01;     /* Re sum x_(j+1) conj(x_j), j = -1..n-2 */
    int32_t r02;     /* Re sum x_(j+2) conj(x_j), j = -2..n-3 */
    int32_t r12;     /* Re sum x_(j+1) conj(x_j), j = -2..n-3 */
    int32_t r01Imag; /* imaginary parts of the three (complex only) */
    int32_t r02Imag;
    int32_t r12Imag;
    int32_t detMantissa; /* r11 r22 - |r12|^2 of the stored words (Q31) = mantissa * 2^-detExponent */
    int32_t detExponent;
} RezAutoCorrelation;

/* re and im point at time 0 and are read from index -2 to n-1 (n >= 1). Returns the
 * exponent of the record. */
int RezTools_AutoCorrelationComplex(RezAutoCorrelation *ac, const int32_t *re, const int32_t *im, int n);
/* x points at time 0 and is read from -2 to n-1 (n even, >= 2); r00 and the imaginary
 * parts are left untouched. Returns the exponent of the record. */
int RezTools_AutoCorrelationReal(RezAutoCorrelation *ac, const int32_t *x, int n);

/* ======================================================================== */
/* QMF filter banks                                                         */
/* ======================================================================== */

/* Bank flags. */
#define REZ_QMF_FLAG_REAL 0x1u             /* real-valued bank */
#define REZ_QMF_FLAG_FULL_PROTOTYPE 0x2u   /* synthesis stops after the modulation; refused by analysis */
#define REZ_QMF_FLAG_RESERVED_4 0x4u       /* refused */
#define REZ_QMF_FLAG_KEEP_STATES 0x8u      /* re-initialisation keeps (synthesis: rescales) the state */
#define REZ_QMF_FLAG_RESERVED_16 0x10u     /* refused */
#define REZ_QMF_FLAG_SECOND_TWIDDLES 0x40u /* 32 bands: twiddles of pi (2k + 1) / 64 */

/* One analysis or synthesis bank over caller tables and state. Sub-band samples carry an
 * exponent the caller keeps. */
typedef struct RezQmfFilterBank {
    const int16_t *prototype;  /* groups of five Q15 coefficients */
    void *state;               /* analysis: 10 B int16; synthesis: 9 B int32 */
    int32_t prototypeLength;
    const int16_t *cosTable;   /* B twiddles, Q15 */
    const int16_t *sinTable;
    int32_t prototypeScale;    /* 1 for the built-in 24- and 40-band prototypes */
    int32_t bands;             /* B */
    int32_t timeSlots;
    int32_t lowerBand;         /* bands below use the low-band shift in synthesis */
    int32_t upperBand;         /* synthesis zeroes bands from here up */
    int32_t filterExponentOffset;
    int32_t stateExponent;
    int32_t outputGain;        /* upper half a Q15 gain; 0x80000000 = unity */
    int32_t outputScale;
    uint32_t flags;
    uint8_t prototypeStride;
} RezQmfFilterBank;

/* Band counts: 8, 12, 16, 20, 24, 32, 40 and 64 with built-in tables (8, 12 and 20 only
 * with REZ_QMF_FLAG_REAL); synthesis also 40, 48, 80, 96, 128, 160, 192, 240, 256, 320
 * and 384 with the caller's prototype (groups 0..B) and 64 twiddles. All initialisations
 * return 0, or -1 for flag 4 or 16, an unknown band count, or missing tables; the record
 * must not be used after -1. */
int RezTools_QmfInitCommon(RezQmfFilterBank *bank, const int16_t *prototype, const int16_t *cosTable,
                           const int16_t *sinTable, void *state, int timeSlots, int lowerBand, int upperBand,
                           int bands, uint32_t flags, int isSynthesis);
/* Clears the first 9 B samples of the state unless REZ_QMF_FLAG_KEEP_STATES. */
int RezTools_QmfAnalysisInit(RezQmfFilterBank *bank, int16_t *state, int timeSlots, int lowerBand, int upperBand,
                             int bands, uint32_t flags);
/* Clears the 9 B state values, or with REZ_QMF_FLAG_KEEP_STATES rescales them to the new
 * state exponent. */
int RezTools_QmfSynthesisInit(RezQmfFilterBank *bank, const int16_t *prototype, const int16_t *cosTable,
                              const int16_t *sinTable, int32_t *state, int timeSlots, int lowerBand,
                              int upperBand, int bands, uint32_t flags);
/* Analyses timeSlots slots of B samples each (slot n at input + n B inputStride) into
 * realSlots[n] and, for complex banks, imagSlots[n]. *exponentOut = -7 - inputShift -
 * prototype scale is written first. work: 2 B int32. */
void RezTools_QmfAnalysis(RezQmfFilterBank *bank, int32_t **realSlots, int32_t **imagSlots, int *exponentOut,
                          const int16_t *input, int inputShift, int inputStride, int32_t *work);
void RezTools_QmfAnalysisSlot(RezQmfFilterBank *bank, int32_t *real, int32_t *imag, const int16_t *input,
                              int inputStride, int32_t *work);
/* Synthesises timeSlots slots. scales: {low-band exponent of the current slots, low-band
 * exponent of the first overlapSlots slots, high-band exponent}. work: 2 B int32. */
void RezTools_QmfSynthesis(RezQmfFilterBank *bank, int32_t **realSlots, int32_t **imagSlots, const int32_t *scales,
                           int overlapSlots, int16_t *output, int outputStride, int32_t *work);
void RezTools_QmfSynthesisSlot(RezQmfFilterBank *bank, const int32_t *real, const int32_t *imag, int lowShift,
                               int highShift, int16_t *output, int outputStride, int32_t *work);
void RezTools_QmfSetOutputGain(RezQmfFilterBank *bank, int32_t gainWord, int outputScale);
/* Moves the state to the exponent of extraScale, shifting the kept values. */
void RezTools_QmfRescaleState(RezQmfFilterBank *bank, int extraScale);
/* The extra state scale (0 for a state exponent of 0). */
int RezTools_QmfGetStateScale(const RezQmfFilterBank *bank);
/* Zeroes bands values of [slot][channel] for 2 channelPairs channels of each slot. */
void RezTools_QmfClearSlots(int channelPairs, int bands, int slots, int32_t ***imagSlots, int32_t ***realSlots);

/* ======================================================================== */
/* QMF custom tables and resampler                                          */
/* ======================================================================== */

/* Synthesis tables for B = 8, 12, 20, 40, 48, 80, 96, 128, 160, 192, 240, 256 or 320 bands:
 * min(B, 64) twiddles and 5 B + 9 prototype values, interpolated from the 64-band
 * prototype with the curvature table (322 values; null for the built-in one). Returns 0
 * (16, 32 and 64 write nothing: their tables are built in) or -1 for other counts. */
int RezTools_QmfDomainBuildTables(int16_t *cosOut, int16_t *sinOut, int16_t *prototypeOut, const int32_t *curvature,
                                  int bands);
/* The output rate (44100 or 48000) and the synthesis band count of the resampler for an
 * input rate; 0, or -1 without writing for a rate it does not convert. */
int RezTools_QmfResampleTargetRate(int32_t rate, int32_t *out);
int RezTools_QmfResampleBands(int32_t rate, int16_t *out);
/* Resamples one channel of one frame (frameLength a multiple of 64, consecutive input)
 * through a 64-band analysis and a B-band synthesis bank of one slot each into every
 * channels-th sample of out: frameLength / 64 x B samples. */
void RezTools_QmfResampleBlock(int channels, int frameLength, RezQmfFilterBank *analysisBank,
                               RezQmfFilterBank *synthesisBank, const int16_t *in, int16_t *out);

/* ======================================================================== */
/* QMF domain                                                               */
/* ======================================================================== */

#define REZ_QMF_DOMAIN_CHANNELS 8
#define REZ_QMF_DOMAIN_PAGES 5
#define REZ_QMF_DOMAIN_PAGE_WORDS 2048

struct RezQmfDomain;

/* The active or the requested configuration of a domain. */
typedef struct RezQmfDomainConfig {
    uint8_t inputChannels;      /* channels with an analysis bank and slots, at most 8 */
    uint8_t outputChannels;     /* channels with a synthesis bank, at most 8 */
    uint8_t extraChannel;       /* with one processing channel, input 1 gets its own slot area */
    uint32_t flags;             /* bank flags */
    uint8_t analysisBands;
    uint16_t synthesisBands;
    uint8_t timeSlots;
    uint8_t overlapSlots;       /* slots kept from the previous frame, at most 12 */
    uint8_t processingBands;    /* 64 whenever there are processing channels */
    uint8_t processingChannels; /* channels whose slots live in the work pages */
} RezQmfDomainConfig;

typedef struct RezQmfDomainInput {
    struct RezQmfDomain *domain;
    RezQmfFilterBank bank; /* its lower and upper band double as the channel's band limits */
    int32_t lowBandExponent;
    int32_t overlapLowBandExponent;
    int32_t highBandExponent;
    int32_t userWord;
    uint8_t layoutSlots;
    uint8_t layoutBands;
    uint16_t layoutOffset; /* words into the pages */
    uint16_t pageSize;
    int16_t *analysisState;
    int32_t *overlap;
    int32_t **pages;
    int32_t **realSlots; /* overlap slots first, then the current ones */
    int32_t **imagSlots;
    uint32_t analysisStateSize; /* bytes allocated, so that a larger need replaces them */
    uint32_t overlapSize;
    uint32_t slotArraySize;
} RezQmfDomainInput;

typedef struct RezQmfDomainOutput {
    RezQmfFilterBank bank;
    int32_t *synthesisState;
    uint32_t synthesisStateSize;
} RezQmfDomainOutput;

/* Zero the record before first use. */
typedef struct RezQmfDomain {
    uint8_t requestActive;
    RezQmfDomainConfig active;
    RezQmfDomainConfig requested;
    int32_t *pages[REZ_QMF_DOMAIN_PAGES]; /* REZ_QMF_DOMAIN_PAGE_WORDS words each */
    uint8_t customTables;                 /* build synthesis tables for the band count */
    RezQmfDomainInput input[REZ_QMF_DOMAIN_CHANNELS];
    RezQmfDomainOutput output[REZ_QMF_DOMAIN_CHANNELS];
    int16_t *customPrototype; /* 1610 values */
    int16_t *customCos;       /* 64 values */
    int16_t *customSin;
} RezQmfDomain;

/* Zeroes the request. */
void RezTools_QmfDomainClearRequest(RezQmfDomain *domain);
/* Applies the request: 0 done or nothing changed; 1 too many channels, out of memory or
 * more than 10240 slot words (the domain is deinitialised); 2 an invalid request
 * (processing bands other than 64 with processing channels, analysis bands above the
 * processing bands, more than 12 overlap slots or more slots than the slot arrays hold)
 * or a failed bank initialisation (deinitialised); 3 the custom tables could not be built
 * (deinitialised). Every buffer the active configuration needs is at least its size. */
int RezTools_QmfDomainConfigure(RezQmfDomain *domain);
/* Allocates what the active configuration needs, keeping buffers large enough and
 * replacing smaller ones: 0, 1 more than 8 channels, -1 out of memory (channel buffers
 * freed). */
int RezTools_QmfDomainAllocate(RezQmfDomain *domain);
/* Clears the overlap slots and re-initialises every bank: 0 or 2. */
int RezTools_QmfDomainResetFilterBanks(RezQmfDomain *domain);
/* Re-initialises every bank with the active flags | extraFlags (16 first replaces 4 by 16
 * in the active flags): 0, 1 inconsistent, or a bank's failure. */
int RezTools_QmfDomainInitFilterBanks(RezQmfDomain *domain, uint32_t extraFlags);
/* Frees everything and clears the banks and both configurations. */
void RezTools_QmfDomainDeinit(RezQmfDomain *domain);
/* Frees pages, channel buffers and custom tables; the configuration stays. */
void RezTools_QmfDomainClose(RezQmfDomain *domain);
void RezTools_QmfDomainFreeWorkBuffers(RezQmfDomain *domain);
void RezTools_QmfDomainFreeChannelBuffers(RezQmfDomain *domain);
/* Real and imaginary band arrays of current slot n in the pages. */
void RezTools_QmfDomainGetSlotPointers(const RezQmfDomainInput *input, int n, int32_t **re, int32_t **im);
/* Copies bands startBand..stopBand-1 of slot t (overlap slots first) aligned to a common
 * exponent; bands from the bank's upper band on become 0. outIm may be null. */
void RezTools_QmfDomainGetScaledSlot(const RezQmfDomainInput *input, int t, int startBand, int stopBand,
                                     int32_t *outRe, int32_t *outIm, int extraShift);
/* Moves the last overlap-count slots to the front for the next frame. */
void RezTools_QmfDomainSaveOverlap(RezQmfDomainInput *input, int first);
/* Copies the paged current slots to the slot arrays when those point elsewhere. */
void RezTools_QmfDomainLoadSlots(RezQmfDomainInput *input);
/* Exchanges the channel's current slots with the caller's slot arrays. */
void RezTools_QmfDomainPrepareSlots(RezQmfDomainInput *input, int32_t **callerRe, int32_t **callerIm);

/* ======================================================================== */
/* Hybrid filter bank                                                       */
/* ======================================================================== */

/* A mode's constant set-up. */
typedef struct RezHybridSetup {
    int32_t splitBands;     /* QMF bands split into sub-bands (3) */
    int32_t subBands[3];    /* sub-bands of each split band */
    int32_t filterTypes[3]; /* 2, 4, 8; -2 swaps the two outputs, -8 merges the eight into six */
    int32_t filterLength;   /* 13 taps */
    int32_t highBandDelay;  /* slots (6) */
    const int32_t *ringIndex;
} RezHybridSetup;

typedef struct RezHybridAnalysis {
    int32_t *ringRe[3];
    int32_t *ringIm[3];
    int32_t *delayRe[13];
    int32_t *delayIm[13];
    int32_t ringPosition;
    int32_t delayPosition;
    int32_t realBands;
    int32_t imagBands;
    uint8_t noDelay; /* the high bands pass without the delay */
    void *filterState;
    void *delayBuffer;
    int32_t filterStateBytes;
    int32_t delayBytes;
    const RezHybridSetup *setup;
} RezHybridAnalysis;

typedef struct RezHybridSynthesis {
    int32_t realBands;
    int32_t imagBands;
    const RezHybridSetup *setup;
} RezHybridSynthesis;

/* Attaches the caller's buffers; returns 0. */
int RezTools_HybridAnalysisOpen(RezHybridAnalysis *h, void *filterStateBuffer, int filterStateBytes, void *delayBuffer,
                                int delayBytes);
/* Mode 0 (6, 2, 2 sub-bands), 1 (8, 2, 2) or 2 (8, 4, 4). Returns 0, -1 for another mode,
 * -2 for a filter state buffer below 13 x 3 x 8 bytes, -3 for a non-zero delay buffer
 * size below (realBands + imagBands - 6) x 6 x 4 bytes. resetStates clears the history;
 * 0 keeps it and only re-carves the buffers. */
int RezTools_HybridAnalysisInit(RezHybridAnalysis *h, int mode, int realBands, int imagBands, int resetStates);
/* One QMF slot: the split bands' sub-bands first, then the other bands delayed by 6 slots
 * (or not, with noDelay). Returns 0, or -1 for a refused filter type. */
int RezTools_HybridAnalysisApply(RezHybridAnalysis *h, const int32_t *realIn, const int32_t *imagIn, int32_t *realOut,
                                 int32_t *imagOut);
/* Returns 0, or -1 for a mode other than 0..2. */
int RezTools_HybridSynthesisInit(RezHybridSynthesis *h, int mode, int realBands, int imagBands);
/* One slot: each split band is the sum of its sub-bands; the other bands are copied. */
void RezTools_HybridSynthesisApply(RezHybridSynthesis *h, const int32_t *realIn, const int32_t *imagIn,
                                   int32_t *realOut, int32_t *imagOut);

/* ======================================================================== */
/* Decorrelator                                                             */
/* ======================================================================== */

/* The smallest state buffer an instance accepts, in 32-bit words. */
#define REZ_DECORRELATOR_MIN_WORDS 2800
/* Hybrid bands an instance can process. */
#define REZ_DECORRELATOR_MAX_BANDS 71
/* Parameter bands the ducker measures at most. */
#define REZ_DECORRELATOR_MAX_PARAMETER_BANDS 28

/* Results of RezTools_DecorrelatorInit. */
#define REZ_DECORRELATOR_OK 0
#define REZ_DECORRELATOR_INVALID 1     /* a bad argument, or the buffer is too small */
#define REZ_DECORRELATOR_UNAVAILABLE 2 /* types 0 and 2: their all-pass coefficient tables are not in this build */

/* The state of one hybrid band. */
typedef struct RezDecorrelatorBand {
    int32_t *stateA;              /* types 0, 2: 2 x order all-pass states; type 1: the 24-word link block */
    int32_t *stateB;              /* delay ring, 2 x delay words (real, imaginary per slot) */
    const int16_t *coefficients;  /* types 0, 2: a0..aN (Q15, aN = 16384) */
    const int16_t *linkRow;       /* type 1: (real, imaginary) of the phase factor and of the three links */
} RezDecorrelatorBand;

/* Energy ducker: keeps the decorrelated signal's energy in check per parameter band. */
typedef struct RezDecorrelatorDucker {
    int32_t hybridBands;
    int32_t parameterBands; /* 20 or 28 */
    int32_t alternativeLayout;
    const uint8_t *parameterBorders; /* parameterBands + 1 hybrid band edges */
    const uint8_t *bandToParameter;  /* 71 entries */
    /* Mode 1: smoothed input energy; mode 2: smoothed input energy. */
    int32_t smoothedEnergy[REZ_DECORRELATOR_MAX_PARAMETER_BANDS];
    /* Mode 1: smoothed output energy; mode 2: decaying peak energy. */
    int32_t peakEnergy[REZ_DECORRELATOR_MAX_PARAMETER_BANDS];
    /* Mode 2: smoothed difference of peak and energy. */
    int32_t peakDifference[REZ_DECORRELATOR_MAX_PARAMETER_BANDS];
    /* gain[0]: a Q31 factor on the input before its energy is measured; 0x80000000
     * (the value after initialisation) means unity. gain[1] is reserved. */
    int32_t gain[2];
    /* Exponents (energy = value x 2^-exponent): input energies, output energies,
     * states; 48 after initialisation. */
    int8_t exponents[4];
    int32_t stateHeadroom; /* redundant bits of the states, minus one */
} RezDecorrelatorDucker;

typedef struct RezDecorrelator {
    int32_t stateASize; /* words */
    int32_t *stateA;    /* the caller's buffer */
    int32_t stateBSize; /* words, right after state A */
    int32_t *stateB;
    const int32_t *stageKinds; /* per band group */
    const uint8_t *layout;     /* exclusive upper hybrid band of groups 0..3 */
    const uint8_t *delays;     /* slots per group */
    const int8_t *orders;      /* all-pass order, or the link-block stride for type 1 */
    int32_t ringPositions[4];  /* words into each band's delay ring, per group */
    uint8_t linkPositions[3];  /* type 1: words into the link block, one per link */
    RezDecorrelatorBand bands[REZ_DECORRELATOR_MAX_BANDS];
    RezDecorrelatorDucker ducker;
    int32_t duckerMode; /* 1 energy ducker (MPEG Surround), 2 transient ducker (parametric stereo) */
    int32_t hybridBands;
    int32_t alternativeLayout; /* bands from 15 on are real-only */
    int32_t bufferWords;       /* the buffer's size given at open */
} RezDecorrelator;

/* Attaches the caller's state buffer. 0, or 1 for a null decorrelator or buffer or
 * fewer than REZ_DECORRELATOR_MIN_WORDS words. */
int RezTools_DecorrelatorOpen(RezDecorrelator *d, int32_t *buffer, int32_t bufferWords);

/* Configures an opened decorrelator:
 * - hybridBands: 1..71;
 * - type: 0 or 2 (MPEG Surround all-pass lattices; layoutIndex 0..2, configuration
 *   0..4 for type 0 and 0 for type 2, no extraFlag, type 2 without the alternative
 *   layout) or 1 (parametric stereo);
 * - keepDuckerMode: leave the ducker mode as it is; otherwise it becomes 2 for type 1
 *   and for type 0 with the alternative layout, 1 for the others;
 * - alternativeLayout: the low-power layout, in which bands from 15 on are real-only;
 * - twentyParameterBands: type 1 measures 20 parameter bands instead of 28;
 * - reset: clear every state (0 keeps the filter states, the re-configuration case).
 * Returns REZ_DECORRELATOR_OK, REZ_DECORRELATOR_INVALID (bad arguments, the states do
 * not fit the buffer; nothing is changed then) or REZ_DECORRELATOR_UNAVAILABLE. */
int RezTools_DecorrelatorInit(RezDecorrelator *d, int hybridBands, int type, int keepDuckerMode, int layoutIndex,
                              int configuration, int alternativeLayout, int extraFlag, int twentyParameterBands,
                              int reset);

/* Decorrelates one slot of hybrid bands from startBand on (bands below it are not
 * written); in and out may be the same arrays. Returns 0 (also for a null
 * decorrelator), or 1 when a group holds a stage kind it does not know. */
int RezTools_DecorrelatorApply(RezDecorrelator *d, const int32_t *realIn, const int32_t *imagIn, int32_t *realOut,
                               int32_t *imagOut, int startBand);

/* Detaches the buffer. 0, or 1 for a null decorrelator. */
int RezTools_DecorrelatorClose(RezDecorrelator *d);

/* The ducker's input gain word (gain[0]); null for a null decorrelator. */
int32_t *RezTools_DecorrelatorGetParamPtr(RezDecorrelator *d);

#ifdef __cplusplus
}
#endif

#endif /* REZ_TOOLS_H */
