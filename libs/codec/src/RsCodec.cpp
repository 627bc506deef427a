// Reed-Solomon decoding: syndromes, Berlekamp-Massey with erasures, Chien search
// and Forney, all through the field's logarithm tables.
#include "RsCodec.h"

#include <cstring>

namespace {

constexpr int MaxSymbols = 256;

struct Field {
    const RsCodecContext &c;

    int modnn(int x) const
    {
        while (x >= static_cast<int>(c.nn))
            x -= static_cast<int>(c.nn);
        return x;
    }
    uint8_t mul(uint8_t a, uint8_t b) const
    {
        if (a == 0 || b == 0)
            return 0;
        return c.antilog[modnn(c.log[a] + c.log[b])];
    }
    // alpha^power for any non-negative power.
    uint8_t power(int exponent) const { return c.antilog[exponent % static_cast<int>(c.nn)]; }
    uint8_t inverse(uint8_t a) const { return c.antilog[modnn(static_cast<int>(c.nn) - c.log[a])]; }
    uint8_t divide(uint8_t a, uint8_t b) const
    {
        if (a == 0)
            return 0;
        return c.antilog[modnn(c.log[a] + static_cast<int>(c.nn) - c.log[b])];
    }
};

void initField(RsCodecContext *c)
{
    unsigned v = 1;
    for (uint32_t i = 0; i < c->nn; ++i) {
        c->antilog[i] = static_cast<uint8_t>(v);
        c->log[v] = static_cast<uint8_t>(i);
        v <<= 1;
        if (v & (1u << c->symbolSize))
            v = (v & ~(1u << c->symbolSize)) ^ c->fieldPolynomial;
    }
    c->antilog[c->nn] = 0;
    c->log[0] = static_cast<uint8_t>(c->nn);
    for (uint32_t v = 0; v <= c->nn; ++v)
        c->logOrZero[v] = v ? c->log[v] : static_cast<uint16_t>(2 * c->nn);
    for (uint32_t i = 0; i < 2 * c->nn; ++i)
        c->antilogWide[i] = c->antilog[i % c->nn];
}

void initRootProducts(RsCodecContext *c)
{
    for (uint32_t j = 0; j < 16 && j < c->nroots; ++j) {
        const uint32_t rootLog = (c->firstRoot + j) % c->nn;
        for (uint32_t v = 0; v <= c->nn; ++v)
            c->rootProduct[j][v] = c->antilogWide[c->logOrZero[v] + rootLog];
    }
}

void initGenerator(RsCodecContext *c)
{
    const Field f{*c};
    uint8_t g[MaxSymbols + 1] = {1};
    uint8_t root = f.power(static_cast<int>(c->firstRoot));
    for (uint32_t i = 0; i < c->nroots; ++i) {
        // g(x) *= (x + root); coefficients low degree first.
        for (uint32_t j = i + 1; j > 0; --j)
            g[j] = static_cast<uint8_t>(g[j - 1] ^ f.mul(g[j], root));
        g[0] = f.mul(g[0], root);
        root = f.mul(root, c->alpha);
    }
    for (uint32_t i = 0; i <= c->nroots; ++i)
        c->generator[i] = c->log[g[i]];
}

// Syndromes by Horner's rule over the bytes as they come (highest degree first), the
// chains of all roots side by side. Roots is a constant for the common codes so that
// the chains stay in registers.
template <int Roots>
void syndromesFixed(const RsCodecContext &c, const uint8_t *codeword, int n, uint8_t *out)
{
    uint8_t s[Roots] = {};
    for (int k = 0; k < n; ++k) {
        const uint8_t symbol = codeword[k];
        for (int j = 0; j < Roots; ++j)
            s[j] = static_cast<uint8_t>(c.rootProduct[j][s[j]] ^ symbol);
    }
    for (int j = 0; j < Roots; ++j)
        out[j] = s[j];
}

void syndromes(const RsCodecContext &c, const uint8_t *codeword, int n, int nroots, const uint8_t *rootLog,
               uint8_t *out)
{
    if (nroots == 10) {
        syndromesFixed<10>(c, codeword, n, out);
        return;
    }
    for (int j = 0; j < nroots; ++j)
        out[j] = 0;
    for (int k = 0; k < n; ++k) {
        const uint8_t symbol = codeword[k];
        for (int j = 0; j < nroots; ++j)
            out[j] = static_cast<uint8_t>(c.antilogWide[c.logOrZero[out[j]] + rootLog[j]] ^ symbol);
    }
}

int degreeOf(const uint8_t *poly, int maxDegree)
{
    for (int d = maxDegree; d > 0; --d)
        if (poly[d])
            return d;
    return 0;
}

} // namespace

extern "C" {

int RsCodec_Init(RsCodecContext *context, int symbolSize, uint32_t fieldPolynomial, int firstRoot, int primitiveStep,
                 int nroots, int pad)
{
    (void)primitiveStep;
    if (!context)
        return -1;
    std::memset(context, 0, sizeof *context);
    if (symbolSize < 1 || symbolSize > 8)
        return -1;
    const int nn = (1 << symbolSize) - 1;
    if (nroots < 1 || nroots >= nn || pad < 0 || pad >= nn - nroots || firstRoot < 0)
        return -1;
    context->alpha = 2;
    context->one = 1;
    context->zero = 0;
    context->symbolSize = static_cast<uint32_t>(symbolSize);
    context->fieldPolynomial = fieldPolynomial & ((1u << symbolSize) - 1);
    context->fieldSize = static_cast<uint32_t>(nn);
    context->nn = static_cast<uint32_t>(nn);
    context->firstRoot = static_cast<uint32_t>(firstRoot);
    context->rootStep = 1;
    context->nroots = static_cast<uint32_t>(nroots);
    context->nrootsMinusOne = static_cast<uint32_t>(nroots - 1);
    context->correctable = static_cast<uint32_t>(nroots / 2);
    context->codewordLength = static_cast<uint32_t>(nn - pad);
    context->dataSymbols = static_cast<uint32_t>(nn - nroots - pad);
    initField(context);
    initRootProducts(context);
    initGenerator(context);
    return 0;
}

int RsCodec_Decode(const RsCodecContext *context, uint8_t *codeword, const int *erasurePositions, int erasureCount)
{
    if (!context || !codeword || context->nn == 0)
        return -1;
    const RsCodecContext &c = *context;
    const Field f{c};
    const int n = static_cast<int>(c.codewordLength);
    const int nroots = static_cast<int>(c.nroots);
    const int nn = static_cast<int>(c.nn);
    if (erasureCount < 0 || erasureCount > nroots || (erasureCount > 0 && !erasurePositions))
        return -1;

    // Syndromes S_j = r(alpha^(fcr + j)).
    uint8_t rootLog[MaxSymbols];
    for (int j = 0; j < nroots; ++j)
        rootLog[j] = static_cast<uint8_t>((static_cast<int>(c.firstRoot) + j) % nn);
    uint8_t syndromes[MaxSymbols];
    ::syndromes(c, codeword, n, nroots, rootLog, syndromes);
    bool clean = true;
    for (int j = 0; j < nroots && clean; ++j)
        clean = syndromes[j] == 0;
    if (clean)
        return 0;

    // Erasure locator: the product of (1 + X_j x).
    uint8_t lambda[MaxSymbols + 1] = {1};
    for (int k = 0; k < erasureCount; ++k) {
        const int position = erasurePositions[k];
        if (position < 0 || position >= n)
            return -1;
        const uint8_t x = f.power(n - 1 - position);
        for (int j = k + 1; j > 0; --j)
            lambda[j] ^= f.mul(x, lambda[j - 1]);
    }

    // Berlekamp-Massey, starting from the erasure locator.
    uint8_t b[MaxSymbols + 1];
    std::memcpy(b, lambda, sizeof b);
    int length = erasureCount;
    for (int step = erasureCount; step < nroots; ++step) {
        uint8_t discrepancy = 0;
        for (int i = 0; i <= step; ++i)
            discrepancy ^= f.mul(lambda[i], syndromes[step - i]);
        if (discrepancy == 0) {
            std::memmove(b + 1, b, static_cast<size_t>(nroots));
            b[0] = 0;
            continue;
        }
        uint8_t next[MaxSymbols + 1];
        next[0] = lambda[0];
        for (int i = 0; i < nroots; ++i)
            next[i + 1] = static_cast<uint8_t>(lambda[i + 1] ^ f.mul(discrepancy, b[i]));
        if (2 * length <= step + erasureCount) {
            length = step + erasureCount + 1 - length;
            for (int i = 0; i <= nroots; ++i)
                b[i] = f.divide(lambda[i], discrepancy);
        } else {
            std::memmove(b + 1, b, static_cast<size_t>(nroots));
            b[0] = 0;
        }
        std::memcpy(lambda, next, static_cast<size_t>(nroots) + 1);
    }
    const int degree = degreeOf(lambda, nroots);
    // More errors than the parity can locate: any answer would be a guess.
    if (2 * degree > nroots + erasureCount)
        return -1;

    // Chien search: X = alpha^i is an error locator when lambda(X^-1) = 0. Term d of
    // lambda(alpha^-i) is kept in logarithm form and stepped by alpha^-d.
    int termLog[MaxSymbols + 1];
    for (int d = 0; d <= degree; ++d)
        termLog[d] = lambda[d] ? c.log[lambda[d]] : -1;
    int positions[MaxSymbols];
    int roots = 0;
    for (int i = 0; i < nn && roots < degree; ++i) {
        uint8_t sum = 0;
        for (int d = 0; d <= degree; ++d) {
            if (termLog[d] < 0)
                continue;
            sum ^= c.antilog[termLog[d]];
            termLog[d] -= d;
            if (termLog[d] < 0)
                termLog[d] += nn;
        }
        if (sum == 0) {
            if (i >= n) // the error would lie in the padding of the shortened code
                return -1;
            positions[roots++] = i;
        }
    }
    if (degree == 0 || roots != degree)
        return -1;

    // Error evaluator omega = S * lambda mod x^nroots.
    uint8_t omega[MaxSymbols];
    for (int i = 0; i < nroots; ++i) {
        uint8_t sum = 0;
        for (int j = 0; j <= i && j <= degree; ++j)
            sum ^= f.mul(syndromes[i - j], lambda[j]);
        omega[i] = sum;
    }

    // Forney: e = X^(1 - fcr) * omega(X^-1) / lambda'(X^-1).
    uint8_t values[MaxSymbols];
    for (int k = 0; k < roots; ++k) {
        const uint8_t x = f.power(positions[k]);
        const uint8_t xInverse = f.inverse(x);
        uint8_t numerator = 0, xPower = 1;
        for (int i = 0; i < nroots; ++i) {
            numerator ^= f.mul(omega[i], xPower);
            xPower = f.mul(xPower, xInverse);
        }
        uint8_t denominator = 0;
        const uint8_t xInverseSquared = f.mul(xInverse, xInverse);
        xPower = 1;
        for (int i = 1; i <= degree; i += 2) {
            denominator ^= f.mul(lambda[i], xPower);
            xPower = f.mul(xPower, xInverseSquared);
        }
        if (denominator == 0)
            return -1;
        const int scale = (1 - static_cast<int>(c.firstRoot)) * positions[k];
        const uint8_t factor = f.power(((scale % nn) + nn) % nn);
        values[k] = f.mul(factor, f.divide(numerator, denominator));
    }
    for (int k = 0; k < roots; ++k)
        codeword[n - 1 - positions[k]] ^= values[k];
    return roots;
}

} // extern "C"
