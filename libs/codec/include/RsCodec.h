/* Reed-Solomon decoder over GF(2^m), m <= 8, for shortened codes with optional
 * erasures. The DAB+ superframe parser uses it for RS(120,110). There is no encoder.
 *
 * Codeword convention: the caller's n bytes hold the highest-degree coefficient
 * first, the parity symbols last. */
#ifndef RS_CODEC_H
#define RS_CODEC_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct RsCodecContext {
    uint8_t alpha;              /* primitive element, always 2 */
    uint8_t one;
    uint8_t zero;
    uint32_t fieldPolynomial;   /* reduced to its low m bits (0x1D for 0x11D) */
    uint32_t fieldSize;         /* nn = 2^m - 1, as the field tables use it */
    uint32_t symbolSize;        /* m */
    uint32_t nn;                /* modulus of all logarithm arithmetic */
    uint8_t antilog[256];       /* alpha^i, i = 0..nn-1; entry nn = 0 */
    uint8_t log[256];           /* log(v); log(0) = nn */
    uint8_t generator[257];     /* generator polynomial, logarithm form */
    uint32_t firstRoot;         /* fcr */
    uint32_t rootStep;          /* always 1 */
    uint32_t dataSymbols;       /* k = nn - nroots - pad */
    uint32_t codewordLength;    /* n = nn - pad */
    uint32_t nrootsMinusOne;
    uint32_t nroots;
    uint32_t correctable;       /* nroots / 2 */
    /* Branch-free multiplication for the syndrome pass: logOrZero[v] is log(v), or
     * 2nn for v = 0, and antilogWide[i] is alpha^(i mod nn) below 2nn and 0 above, so
     * antilogWide[logOrZero[a] + log(b)] = a * b for any a and non-zero b. */
    uint16_t logOrZero[256];
    uint8_t antilogWide[768];
    /* rootProduct[j][v] = v * alpha^(fcr + j) for the first 16 roots: the syndrome pass
     * of codes with up to 16 roots is one table look-up per symbol and root. */
    uint8_t rootProduct[16][256];
} RsCodecContext;

/* Clears and fills the context. The primitive step is accepted but roots always
 * step by alpha. Returns 0, or -1 when m is outside 1..8, nroots is outside
 * 1..nn-1, or pad leaves no data symbol (the context must then not be used). */
int RsCodec_Init(RsCodecContext *context, int symbolSize, uint32_t fieldPolynomial, int firstRoot,
                 int primitiveStep, int nroots, int pad);

/* Decodes n bytes in place. erasurePositions are byte indices (0 = first byte) and
 * may be null when erasureCount is 0. Returns 0 when the word is a codeword
 * (unchanged), the number of corrected symbols (erasures included), or -1 when it
 * is uncorrectable, the erasure list is invalid (a position outside the codeword,
 * more erasures than parity symbols) or the context is null; the word is then
 * unchanged. */
int RsCodec_Decode(const RsCodecContext *context, uint8_t *codeword, const int *erasurePositions, int erasureCount);

#ifdef __cplusplus
}
#endif

#endif /* RS_CODEC_H */
