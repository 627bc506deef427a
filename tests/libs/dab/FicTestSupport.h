// Builds FIGs bit by bit and packs them into FIBs with their CRC, and owns a
// decoder instance for tests.
#ifndef ZOZ_TESTS_FIC_TEST_SUPPORT_H
#define ZOZ_TESTS_FIC_TEST_SUPPORT_H

#include "ZOZDab.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace ZOZ::Test {

using Bytes = std::vector<uint8_t>;

// MSB-first bit writer.
class Bits
{
public:
    Bits &put(uint32_t value, int width)
    {
        for (int i = width - 1; i >= 0; --i) {
            if (m_used % 8 == 0)
                m_bytes.push_back(0);
            if ((value >> i) & 1u)
                m_bytes.back() |= static_cast<uint8_t>(0x80 >> (m_used % 8));
            ++m_used;
        }
        return *this;
    }
    Bits &text(const char *label16)
    {
        for (int i = 0; i < 16; ++i)
            put(static_cast<uint8_t>(label16[i]), 8);
        return *this;
    }
    const Bytes &bytes() const { return m_bytes; }

private:
    Bytes m_bytes;
    int m_used = 0;
};

// A whole FIG: header byte (type, length) and data.
inline Bytes fig(int type, const Bits &data)
{
    Bytes out{static_cast<uint8_t>((type << 5) | data.bytes().size())};
    out.insert(out.end(), data.bytes().begin(), data.bytes().end());
    return out;
}

// Type-0 header byte fields: C/N, OE, P/D, extension.
inline Bits type0(int extension, int cn = 0, int pd = 0, int oe = 0)
{
    Bits b;
    b.put(cn, 1).put(oe, 1).put(pd, 1).put(extension, 5);
    return b;
}

inline Bits type1(int extension, int charset = 0, int oe = 0)
{
    Bits b;
    b.put(charset, 4).put(oe, 1).put(extension, 3);
    return b;
}

inline void appendCrc(Bytes &fib)
{
    const uint16_t crc = DAB_Bb_Ruz_Crc16(fib.data(), 30);
    fib.push_back(static_cast<uint8_t>(crc >> 8));
    fib.push_back(static_cast<uint8_t>(crc));
}

// One 32-byte FIB holding the FIGs, padded with an end marker, with its CRC.
inline Bytes fib(const std::vector<Bytes> &figs)
{
    Bytes out;
    for (const Bytes &f : figs)
        out.insert(out.end(), f.begin(), f.end());
    if (out.size() < 30)
        out.push_back(0xFF);
    out.resize(30, 0x00);
    appendCrc(out);
    return out;
}

inline Bytes join(const std::vector<Bytes> &parts)
{
    Bytes out;
    for (const Bytes &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

struct DecoderDeleter {
    void operator()(FicDecoder *d) const { std::free(d); }
};
using DecoderPtr = std::unique_ptr<FicDecoder, DecoderDeleter>;

inline DecoderPtr makeDecoder()
{
    FicDecoderConfig config;
    DAB_Bb_Ruz_FicDecoderGetDefaultConfig(&config);
    DecoderPtr decoder(static_cast<FicDecoder *>(std::malloc(config.instanceSize)));
    DAB_Bb_Ruz_FicDecoderInit(decoder.get());
    return decoder;
}

inline int pushFib(FicDecoder *d, const Bytes &oneFib) { return DAB_Bb_Ruz_FicDecoderPushFibs(d, oneFib.data(), 1); }

inline int pushFigs(FicDecoder *d, const Bytes &figs, uint8_t flags = 0)
{
    return DAB_Bb_Ruz_FicDecoderPushFigs(d, figs.data(), static_cast<uint8_t>(figs.size()), flags);
}

inline std::vector<FicFigRecord> records(const FicDecoder *d, int type, int extension)
{
    std::vector<FicFigRecord> out;
    for (const FicFigEntry *e = DAB_Bb_Ruz_FicDecoderGetFigList(d, type, extension); e != nullptr;
         e = DAB_Bb_Ruz_FicDecoderGetNext(e)) {
        FicFigRecord r;
        DAB_Bb_Ruz_FicDecoderGetFigData(e, &r);
        out.push_back(r);
    }
    return out;
}

inline std::string label(const uint8_t *bytes) { return std::string(reinterpret_cast<const char *>(bytes), 16); }

} // namespace ZOZ::Test

#endif
