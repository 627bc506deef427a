// DAB+ superframes: Fire-code header check, RS(120,110) correction over the
// virtually interleaved columns, and the split into CRC-checked access units.
#include "DABplusParserInternal.h"

#include <cstring>

namespace {

constexpr uint32_t HeaderBytes = 11;
constexpr uint32_t RsCodewordBytes = 120;
constexpr uint32_t RsDataBytes = 110;
constexpr uint32_t RsScratchBytes = 255;

// The Fire code generator (x^11 + 1)(x^5 + x^3 + x^2 + x + 1), one syndrome per factor.
constexpr uint32_t FirePolynomial5 = 0x2F;
constexpr uint32_t FirePolynomial11 = 0x801;
constexpr int FireCodewordBytes = 11; // 9 protected bytes then the 2 check bytes
constexpr int FireBurstSpan = 6;      // bursts up to 6 bits are trapped

inline int highestBit(uint32_t x)
{
    return 31 - __builtin_clz(x);
}

// Fire codeword byte k: the protected bytes 2..10 come first, the check bytes 0..1 last.
inline uint8_t &fireByte(uint8_t *bytes, int k)
{
    return k < 9 ? bytes[2 + k] : bytes[k - 9];
}

uint32_t accessUnitCount(int32_t headerByte)
{
    if (headerByte < 0)
        return 0;
    const bool sbr = headerByte & HeaderSbr, rate48 = headerByte & HeaderDacRate;
    if (sbr)
        return rate48 ? 3 : 2;
    return rate48 ? 6 : 4;
}

uint32_t firstAccessUnitStart(uint32_t count)
{
    switch (count) {
    case 2:
        return 5;
    case 3:
        return 6;
    case 4:
        return 8;
    default:
        return 11;
    }
}

// Boundaries [first start, starts 1..count-1, end]: each start read from the 12-bit
// fields after the header byte; a start outside the audio part becomes -1.
void readBoundaries(const uint8_t *header, uint32_t count, uint32_t end, int32_t *bounds)
{
    const int32_t first = static_cast<int32_t>(firstAccessUnitStart(count));
    bounds[0] = first;
    for (uint32_t i = 1; i < count; ++i) {
        const uint8_t *p = header + 3 + (i - 1) / 2 * 3;
        const int32_t start = (i - 1) % 2 == 0 ? (p[0] << 4 | p[1] >> 4) : ((p[1] & 0x0F) << 8 | p[2]);
        bounds[i] = (start >= first + 2 && start <= static_cast<int32_t>(end) - 2) ? start : -1;
    }
    bounds[count] = static_cast<int32_t>(end);
}

struct Candidate {
    int32_t start, end;
    bool repaired;
};

inline bool usable(const Candidate &c)
{
    return c.start >= 1 && c.end >= 1 && c.end >= c.start + 2;
}

// One bit-packing cursor for the AudioSpecificConfig.
struct BitWriter {
    uint8_t *out;
    uint32_t position = 0;
    void put(uint32_t value, uint32_t bits)
    {
        for (uint32_t i = bits; i-- > 0; ++position) {
            const uint8_t mask = static_cast<uint8_t>(0x80 >> (position % 8));
            if ((value >> i) & 1)
                out[position / 8] |= mask;
            else
                out[position / 8] &= static_cast<uint8_t>(~mask);
        }
    }
};

} // namespace

uint32_t DABplusParser_PolyMod(uint32_t x, uint32_t g, int degree)
{
    while (x && highestBit(x) >= degree)
        x ^= g << (highestBit(x) - degree);
    return x;
}

int DABplusParser_CheckFireCode(uint8_t *bytes, int correct)
{
    uint32_t s5 = 0, s11 = 0;
    for (int k = 0; k < FireCodewordBytes; ++k) {
        const uint8_t byte = fireByte(bytes, k);
        for (int bit = 7; bit >= 0; --bit) {
            const uint32_t b = (byte >> bit) & 1;
            s5 = DABplusParser_PolyMod(s5 << 1 | b, FirePolynomial5, 5);
            s11 = DABplusParser_PolyMod(s11 << 1 | b, FirePolynomial11, 11);
        }
    }
    if (s11 == 0)
        return s5 == 0 ? 0 : 2;

    // Trap the burst: rotate s11 (modulo x^11 + 1) until its set bits span less than 6.
    uint32_t burst = s11;
    for (;;) {
        const int low = __builtin_ctz(burst);
        if (low > 10)
            return 2;
        if (highestBit(burst) - low < FireBurstSpan)
            break;
        burst = (burst & ~(1u << low)) | 1u << (low + 11);
    }

    // Its position: the multiple of 11 bits whose shift reproduces s5.
    int j = 0;
    uint32_t probe = DABplusParser_PolyMod(burst, FirePolynomial5, 5);
    while (probe != s5 && j < 8) {
        probe = DABplusParser_PolyMod(probe << 11, FirePolynomial5, 5);
        ++j;
    }
    uint32_t pattern = burst << (11 * j % 8);
    const int fromEnd = 11 * j / 8;
    if (FireCodewordBytes - 1 - fromEnd - highestBit(pattern) / 8 < 0)
        return 2;
    bool found = false;
    for (int k = FireCodewordBytes - 1 - fromEnd; pattern; --k, pattern >>= 8) {
        const uint8_t part = static_cast<uint8_t>(pattern & 0xFF);
        if (part) {
            found = true;
            if (correct)
                fireByte(bytes, k) ^= part;
        }
    }
    return found ? 1 : 0;
}

int DABplusParser_CheckAuCrc(const uint8_t *data, uint32_t length)
{
    const uint16_t crc = RezTools_CrcMemory16(0x1021, 0xFFFF, data, length);
    const uint16_t carried = static_cast<uint16_t>(data[length] << 8 | data[length + 1]);
    return static_cast<uint16_t>(~crc) == carried ? 1 : 0;
}

int DABplusParser_BuildAudioSpecificConfig(uint32_t headerByte, uint8_t *out, uint32_t *mpsConfig)
{
    if (mpsConfig)
        *mpsConfig = headerByte & HeaderMpegSurround;
    const bool rate48 = headerByte & HeaderDacRate;
    const uint32_t channels = (headerByte & HeaderChannelMode) ? 2 : 1;
    // MPEG-4 object types and sampling-frequency indices.
    constexpr uint32_t AacLc = 2, Sbr = 5, Ps = 29;
    const uint32_t outputIndex = rate48 ? 3 : 5; // 48000 or 32000 Hz
    const uint32_t coreIndex = rate48 ? 6 : 8;   // 24000 or 16000 Hz
    BitWriter writer{out};
    if (!(headerByte & HeaderSbr)) {
        writer.put(AacLc, 5);
        writer.put(outputIndex, 4);
        writer.put(channels, 4);
        writer.put(1, 1); // 960-sample frames
        writer.put(0, 2); // dependsOnCoreCoder, extensionFlag
        return 2;
    }
    const bool ps = headerByte & HeaderPs;
    writer.put(ps ? Ps : Sbr, 5);
    writer.put(coreIndex, 4);
    writer.put(ps ? 1 : channels, 4);
    writer.put(outputIndex, 4);
    writer.put(AacLc, 5);
    writer.put(1, 1);
    writer.put(0, 2);
    writer.put(0, 7); // fill to 4 bytes
    return 4;
}

int DABplusParser_CorrectSuperframe(uint8_t *buffer, const RsCodecContext *rs, uint32_t n, int writeBack,
                                    DABplusParserStats *stats)
{
    uint32_t corrected = 0, uncorrectable = 0, symbols = 0;
    for (uint32_t column = 0; column < n; ++column) {
        uint8_t codeword[RsScratchBytes] = {};
        for (uint32_t k = 0; k < RsCodewordBytes; ++k)
            codeword[k] = buffer[column + k * n];
        const int result = RsCodec_Decode(rs, codeword, nullptr, 0);
        if (result < 0) {
            ++uncorrectable;
            continue;
        }
        if (result > 0) {
            ++corrected;
            symbols += static_cast<uint32_t>(result);
            if (writeBack)
                for (uint32_t k = 0; k < RsDataBytes; ++k)
                    buffer[column + k * n] = codeword[k];
        }
    }
    stats->rsCodewords = n;
    stats->rsCodewordsWithErrors = corrected + uncorrectable;
    stats->rsCodewordsCorrected = corrected;
    stats->rsCodewordsUncorrectable += uncorrectable;
    stats->rsSymbolsCorrected = symbols;
    stats->rsAllDecodable = uncorrectable == 0;
    return uncorrectable ? -static_cast<int>(uncorrectable) : static_cast<int>(corrected);
}

int DABplusParser_CheckSuperframeSync(uint8_t *buffer, const RsCodecContext *rs, uint32_t n, DABplusParserStats *stats)
{
    switch (DABplusParser_CheckFireCode(buffer, 0)) {
    case 0:
        stats->fireGood = 1;
        break;
    case 1:
        ++stats->fireCorrections;
        stats->fireGood = 1;
        return 0;
    default:
        ++stats->fireFailures;
        stats->fireGood = 0;
        return 0;
    }
    const uint32_t size = RsCodewordBytes * n;
    bool allZero = true;
    for (uint32_t i = 0; i < size && allZero; ++i)
        allZero = buffer[i] == 0;
    if (allZero) // zero syndromes everywhere, yet no superframe
        return 0;
    return DABplusParser_CorrectSuperframe(buffer, rs, n, 0, stats) >= 0 ? 1 : 0;
}

int DABplusParser_SplitAccessUnits(DABplusAccessUnitTable *table, uint8_t *buffer, const RsCodecContext *rs,
                                   uint32_t n, DABplusParserStats *stats, int32_t *headerByte)
{
    const int rsResult = DABplusParser_CorrectSuperframe(buffer, rs, n, 1, stats);

    uint8_t header[HeaderBytes];
    std::memcpy(header, buffer, HeaderBytes);
    const int fire = DABplusParser_CheckFireCode(header, 1);
    if (fire == 1)
        ++stats->fireCorrections;
    else if (fire == 2)
        ++stats->fireFailures;
    stats->fireGood = fire != 2;
    // A header that needed the Fire code's help is never taken as the stream's header.
    if (rsResult >= 0 && fire == 0)
        *headerByte = buffer[2];

    const uint32_t count = accessUnitCount(*headerByte);
    table->auCount = count;
    if (count == 0) {
        stats->allGood = 1;
        return 0;
    }
    const uint32_t end = RsDataBytes * n;
    int32_t a[DABPLUS_MAX_ACCESS_UNITS + 1], b[DABPLUS_MAX_ACCESS_UNITS + 1];
    readBoundaries(buffer, count, end, a);
    readBoundaries(header, count, end, b);

    uint32_t good = 0, lost = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const int32_t a0 = a[i], a1 = a[i + 1], b0 = b[i], b1 = b[i + 1];
        Candidate candidates[4];
        int tries = 0;
        if (a0 != b0 && a1 != b1) {
            candidates[tries++] = {b0, b1, true};
            candidates[tries++] = {a0, b1, true};
            candidates[tries++] = {b0, a1, true};
        } else if (a0 != b0) {
            candidates[tries++] = {b0, a1, true};
        } else if (a1 != b1) {
            if (a0 < 1) {
                ++lost;
                stats->auLost[i] = 1;
                continue;
            }
            candidates[tries++] = {a0, b1, true};
        }
        candidates[tries++] = {a0, a1, false};

        bool taken = false;
        for (int t = 0; t < tries && !taken; ++t) {
            const Candidate &c = candidates[t];
            const uint32_t length = static_cast<uint32_t>(c.end - c.start - 2);
            if (!usable(c) || !DABplusParser_CheckAuCrc(buffer + c.start, length))
                continue;
            table->au[i] = buffer + c.start;
            table->auLength[i] = length;
            stats->ausRepaired += c.repaired;
            taken = true;
        }
        if (taken) {
            ++good;
        } else {
            ++lost;
            stats->auLost[i] = 1;
        }
    }
    stats->allGood = good == count;
    stats->noAuLost = lost == 0;
    if (rsResult < 0)
        stats->goodAusAfterRsFailure = good;
    return static_cast<int>(good);
}
