#include "ZozTestSuperframe.h"

#include "RezTools.h"
#include "RsCodec.h"

namespace ZozTestAac {

namespace {

constexpr int ParityBytes = 10;
constexpr int DataBytesPerColumn = 110;
constexpr int BytesPerColumn = 120;
constexpr uint32_t CrcPolynomial = 0x1021; // x^16 + x^12 + x^5 + 1

// Product of two polynomials over GF(2), bit i the coefficient of x^i.
uint32_t multiplyPolynomials(uint32_t a, uint32_t b)
{
    uint32_t product = 0;
    for (int i = 0; i < 16; ++i)
        if ((b >> i) & 1)
            product ^= a << i;
    return product;
}

// The RS(120,110) code: the toolbox's field and generator, shortened from 255 symbols.
const RsCodecContext &reedSolomon()
{
    static const RsCodecContext context = [] {
        RsCodecContext c;
        RsCodec_Init(&c, 8, 0x11D, 0, 1, ParityBytes, 255 - BytesPerColumn);
        return c;
    }();
    return context;
}

} // namespace

uint8_t superframeHeaderByte(const SuperframeFormat &format)
{
    return static_cast<uint8_t>((format.dacRate48 ? 0x40 : 0) | (format.sbr ? 0x20 : 0) | (format.stereo ? 0x10 : 0)
                                | (format.ps ? 0x08 : 0) | (format.mpegSurround & 7));
}

int accessUnitCount(const SuperframeFormat &format)
{
    if (format.sbr)
        return format.dacRate48 ? 3 : 2;
    return format.dacRate48 ? 6 : 4;
}

int firstAccessUnitStart(int accessUnits)
{
    // Fire code (2 bytes), header byte, then 12 bits per start after the first,
    // rounded up to whole bytes.
    return 3 + ((accessUnits - 1) * 12 + 7) / 8;
}

std::vector<int> accessUnitBudgets(const SuperframeFormat &format)
{
    const int count = accessUnitCount(format);
    const int audio = DataBytesPerColumn * format.subchannelSize - firstAccessUnitStart(count);
    std::vector<int> budgets(count, audio / count - 2);
    for (int i = 0; i < audio % count; ++i)
        ++budgets[i];
    return budgets;
}

uint16_t fireCode(const uint8_t *protectedBytes)
{
    // g(x) = (x^11 + 1)(x^5 + x^3 + x^2 + x + 1); the check bits are the remainder of
    // the 72 protected bits times x^16.
    const uint32_t generator = multiplyPolynomials((1u << 11) | 1u, 0x2F);
    uint32_t remainder = 0;
    for (int i = 0; i < 72 + 16; ++i) {
        const uint32_t bit = i < 72 ? (protectedBytes[i / 8] >> (7 - i % 8)) & 1 : 0;
        remainder = (remainder << 1) | bit;
        if (remainder & (1u << 16))
            remainder ^= generator;
    }
    return static_cast<uint16_t>(remainder);
}

uint16_t accessUnitCrc(const uint8_t *data, std::size_t length)
{
    return static_cast<uint16_t>(~RezTools_CrcMemory16(CrcPolynomial, 0xFFFF, data, length));
}

void writeReedSolomonParity(std::vector<uint8_t> &superframe, int subchannelSize)
{
    const RsCodecContext &rs = reedSolomon();
    const int n = subchannelSize;
    const uint32_t nn = rs.nn;
    for (int column = 0; column < n; ++column) {
        // Systematic code: the parity is the remainder of data(x) x^10 by g(x); r[j]
        // holds the coefficient of x^j. The generator comes low degree first, in
        // logarithm form, with a leading coefficient of one.
        uint8_t r[ParityBytes] = {};
        for (int k = 0; k < DataBytesPerColumn; ++k) {
            const uint8_t feedback = superframe[column + k * n] ^ r[ParityBytes - 1];
            for (int j = ParityBytes - 1; j > 0; --j)
                r[j] = r[j - 1];
            r[0] = 0;
            if (feedback == 0)
                continue;
            const uint32_t logFeedback = rs.log[feedback];
            for (int j = 0; j < ParityBytes; ++j)
                r[j] ^= rs.antilog[(logFeedback + rs.generator[j]) % nn];
        }
        for (int j = 0; j < ParityBytes; ++j)
            superframe[column + (DataBytesPerColumn + j) * n] = r[ParityBytes - 1 - j];
    }
}

std::vector<uint8_t> buildSuperframe(const SuperframeFormat &format, const std::vector<std::vector<uint8_t>> &units)
{
    const int n = format.subchannelSize;
    const int count = accessUnitCount(format);
    if (n < 1 || n > 48 || static_cast<int>(units.size()) != count)
        return {};
    const int first = firstAccessUnitStart(count);
    int total = first;
    for (const auto &u : units)
        total += static_cast<int>(u.size()) + 2;
    if (total != DataBytesPerColumn * n)
        return {};

    std::vector<uint8_t> sf(BytesPerColumn * n, 0);
    sf[2] = superframeHeaderByte(format);
    int start = first;
    for (int i = 0; i < count; ++i) {
        if (i > 0) {
            // Starts 1.. are 12-bit fields, two in three bytes from byte 3 on.
            const int field = i - 1;
            uint8_t *p = &sf[3 + field / 2 * 3];
            if (field % 2 == 0) {
                p[0] = static_cast<uint8_t>(start >> 4);
                p[1] = static_cast<uint8_t>((p[1] & 0x0F) | ((start & 0x0F) << 4));
            } else {
                p[1] = static_cast<uint8_t>((p[1] & 0xF0) | (start >> 8));
                p[2] = static_cast<uint8_t>(start & 0xFF);
            }
        }
        std::copy(units[i].begin(), units[i].end(), sf.begin() + start);
        const uint16_t crc = accessUnitCrc(units[i].data(), units[i].size());
        start += static_cast<int>(units[i].size());
        sf[start++] = static_cast<uint8_t>(crc >> 8);
        sf[start++] = static_cast<uint8_t>(crc);
    }
    const uint16_t fire = fireCode(&sf[2]);
    sf[0] = static_cast<uint8_t>(fire >> 8);
    sf[1] = static_cast<uint8_t>(fire);
    writeReedSolomonParity(sf, n);
    return sf;
}

std::vector<std::vector<uint8_t>> encodeSuperframes(Encoder &encoder, const SuperframeFormat &format,
                                                    const PadSource &padSource)
{
    std::vector<std::vector<uint8_t>> superframes;
    const EncoderOptions &options = encoder.options();
    if (options.frameLength != 960 || (!format.sbr && options.sampleRate != (format.dacRate48 ? 48000 : 32000)))
        return superframes;
    const std::vector<int> budgets = accessUnitBudgets(format);
    const int count = static_cast<int>(budgets.size());
    while (encoder.unitsReady() >= count) {
        std::vector<std::vector<uint8_t>> units;
        for (int i = 0; i < count; ++i) {
            UnitExtras extras;
            if (padSource)
                extras.dataStream = padSource(encoder.unitsEncoded());
            extras.exactBytes = budgets[i];
            units.push_back(encoder.encodeUnit(extras));
            if (units.back().empty())
                return superframes;
        }
        superframes.push_back(buildSuperframe(format, units));
    }
    return superframes;
}

} // namespace ZozTestAac
