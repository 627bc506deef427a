// The SBR payload reader on hand-made payloads: header changes, the 1.5 dB rule of a
// single fixed envelope, grid checks, extension sizes, CRC; and the parametric-stereo
// block reader.
#include "PsDec.h"
#include "SbrBitstream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

struct Bits
{
    std::vector<uint8_t> bytes = std::vector<uint8_t>(1024, 0);
    uint32_t count = 0;

    Bits &put(uint32_t value, int n) // n <= 32
    {
        for (int i = n - 1; i >= 0; --i, ++count)
            if ((value >> i) & 1)
                bytes[count / 8] |= static_cast<uint8_t>(0x80 >> (count % 8));
        return *this;
    }
};

// A stream over the written bits.
struct Reader
{
    Bits bits;
    RezBitStream bs{};

    explicit Reader(const Bits &b) : bits(b)
    {
        RezTools_BitStreamInit(&bs, bits.bytes.data(), static_cast<uint32_t>(bits.bytes.size()), bits.count,
                               REZ_BIT_READ);
    }
};

// 48 kHz output from a 24 kHz core with 960-sample frames, as DAB+ HE-AAC.
SbrHeaderData dabHeader()
{
    SbrHeaderData h{};
    EXPECT_EQ(SbrDec_InitHeaderData(&h, 24000, 48000, 960, 1, 1), 0);
    return h;
}

// Header: 3 dB steps, start 5, stop 9, crossover 0, defaults for the rest.
void putHeader(Bits &b, uint32_t stop = 9)
{
    b.put(1, 1).put(5, 4).put(stop, 4).put(0, 3).put(0, 2).put(0, 1).put(0, 1);
}

// A single-channel frame: one fixed envelope (high resolution), everything coded along
// frequency with zero deltas, no sinusoids; then the extension flag.
void putSingleChannel(Bits &b, const SbrHeaderData &h, bool extension = false)
{
    b.put(0, 1);                   // no reserved data
    b.put(0, 2).put(0, 2).put(1, 1); // FIXFIX, one envelope, high resolution
    b.put(0, 1).put(0, 1);         // directions: frequency
    for (int n = 0; n < h.bands.noiseCount; ++n)
        b.put(0, 2);               // inverse filtering off
    b.put(40, 7);                  // first envelope value: 7 bits, the 1.5 dB code of a single envelope
    for (int k = 1; k < h.bands.highCount; ++k)
        b.put(0, 2);               // "00": delta 0 in f_huffman_env_1_5dB
    b.put(10, 5);                  // first noise value
    for (int n = 1; n < h.bands.noiseCount; ++n)
        b.put(0, 1);               // "0": delta 0 in f_huffman_env_3_0dB
    b.put(0, 1);                   // no sinusoids
    b.put(extension ? 1 : 0, 1);
}

// The band tables of the header written by putHeader.
SbrHeaderData builtHeader(uint32_t stop = 9)
{
    SbrHeaderData h = dabHeader();
    Bits b;
    putHeader(b, stop);
    Reader r(b);
    EXPECT_EQ(SbrDec_ReadHeader(&r.bs, &h, 0), SBR_HEADER_CHANGED);
    EXPECT_EQ(SbrDec_RebuildBandTables(&h), 0);
    h.syncState = SBR_SYNC_HEADER;
    return h;
}

int readPayload(const Bits &b, SbrHeaderData &h, SbrFrameData &f, int32_t *left, int crc = 0)
{
    Reader r(b);
    SbrFrameData other{};
    SbrFrameData *frames[2] = {&f, &other};
    *left = static_cast<int32_t>(b.count);
    return SbrDec_ReadPayload(&r.bs, &h, frames, 0, nullptr, left, crc, 1);
}

TEST(SbrBitstream, ASingleChannelFrameWithHeaderReadsToItsEnd)
{
    const SbrHeaderData tables = builtHeader();
    ASSERT_GT(tables.bands.highCount, 1);
    Bits b;
    b.put(1, 1);
    putHeader(b);
    putSingleChannel(b, tables);
    SbrHeaderData h = dabHeader();
    SbrFrameData f{};
    int32_t left = 0;
    EXPECT_EQ(readPayload(b, h, f, &left), 0);
    EXPECT_EQ(left, 0);
    EXPECT_EQ(h.syncState, static_cast<uint32_t>(SBR_SYNC_HEADER));
    EXPECT_TRUE(h.status & SBR_HEADER_RESET_PENDING);
    // A single fixed envelope comes in 1.5 dB steps although the header says 3 dB.
    EXPECT_EQ(h.ampRes, 1);
    EXPECT_EQ(f.ampRes, 0u);
    EXPECT_EQ(f.grid.envelopes, 1);
    EXPECT_EQ(f.grid.borders[1], 15);
    EXPECT_EQ(f.envelopeValueCount, static_cast<uint32_t>(tables.bands.highCount));
    EXPECT_EQ(f.envelope[0], 40);
    EXPECT_EQ(f.noise[0], 10);
}

TEST(SbrBitstream, FramesWithoutAHeaderYetAreRejected)
{
    const SbrHeaderData tables = builtHeader();
    Bits b;
    b.put(0, 1);
    putSingleChannel(b, tables);
    SbrHeaderData h = dabHeader();
    SbrFrameData f{};
    int32_t left = 0;
    EXPECT_EQ(readPayload(b, h, f, &left), 5);
}

TEST(SbrBitstream, OnlyFieldsTheTablesDependOnMakeAHeaderChange)
{
    SbrHeaderData h = builtHeader(9);
    {
        Bits b;
        putHeader(b, 9);
        Reader r(b);
        EXPECT_EQ(SbrDec_ReadHeader(&r.bs, &h, 0), SBR_HEADER_UNCHANGED);
    }
    {
        Bits b; // 1.5 dB steps and other limiter fields only
        b.put(0, 1).put(5, 4).put(9, 4).put(0, 3).put(0, 2).put(0, 1).put(1, 1).put(1, 2).put(0, 2).put(0, 1).put(0, 1);
        Reader r(b);
        EXPECT_EQ(SbrDec_ReadHeader(&r.bs, &h, 0), SBR_HEADER_UNCHANGED);
        EXPECT_EQ(h.ampRes, 0);
        EXPECT_EQ(h.fields.limiterBands, 1);
    }
    {
        Bits b;
        putHeader(b, 10);
        Reader r(b);
        EXPECT_EQ(SbrDec_ReadHeader(&r.bs, &h, 0), SBR_HEADER_CHANGED);
    }
}

TEST(SbrBitstream, AHeaderIsSkippedWithItsOptionalParts)
{
    Bits b;
    b.put(1, 1).put(5, 4).put(9, 4).put(0, 3).put(0, 2).put(1, 1).put(1, 1).put(0, 5).put(0, 6).put(0x2A, 6);
    Reader r(b);
    SbrHeaderData h = dabHeader();
    EXPECT_EQ(SbrDec_ReadHeader(&r.bs, &h, 1), SBR_HEADER_UNCHANGED);
    EXPECT_EQ(RezTools_BitStreamReadBits(&r.bs, 6), 0x2Au);
}

TEST(SbrBitstream, GridsTheDecoderCannotFollowAreRefused)
{
    struct Case {
        const char *what;
        SbrFrameInfo grid;
        int ok;
    };
    const Case cases[] = {
        {"two fixed envelopes", {SBR_FIXFIX, 2, {0, 8, 15}, {1, 1}, -1, 2, {0, 8, 15}}, 1},
        {"end in the overlap", {SBR_VARVAR, 2, {3, 9, 18}, {1, 1}, 1, 2, {3, 9, 18}}, 1},
        {"start beyond the overlap", {SBR_VARFIX, 1, {4, 15}, {1}, -1, 1, {4, 15}}, 0},
        {"end beyond the overlap", {SBR_FIXVAR, 1, {0, 19}, {1}, -1, 1, {0, 19}}, 0},
        {"borders not rising", {SBR_VARVAR, 2, {0, 15, 15}, {1, 1}, -1, 2, {0, 15, 15}}, 0},
        {"transient beyond the envelopes", {SBR_FIXVAR, 2, {0, 8, 15}, {1, 1}, 3, 2, {0, 8, 15}}, 0},
        {"two noise envelopes on one", {SBR_FIXFIX, 1, {0, 15}, {1}, -1, 2, {0, 8, 15}}, 0},
        {"noise border off the envelope borders", {SBR_FIXFIX, 2, {0, 8, 15}, {1, 1}, -1, 2, {0, 7, 15}}, 0},
        {"noise not ending with the envelopes", {SBR_FIXFIX, 2, {0, 8, 15}, {1, 1}, -1, 2, {0, 8, 16}}, 0},
        {"no envelope", {SBR_FIXFIX, 0, {0}, {0}, -1, 1, {0, 15}}, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(SbrDec_CheckFrameInfo(&c.grid, 15, 6, 2), c.ok) << c.what;
}

TEST(SbrBitstream, AVariableGridWithAPointerBeyondItsEnvelopesIsRejected)
{
    const SbrHeaderData h = builtHeader();
    for (uint32_t pointer : {2u, 3u}) {
        Bits b; // FIXVAR ending at 15 with one relative border: two envelopes, a 2-bit pointer
        b.put(1, 2).put(0, 2).put(1, 2).put(1, 2).put(pointer, 2).put(3, 2);
        Reader r(b);
        SbrFrameData f{};
        EXPECT_EQ(SbrDec_ReadGrid(&r.bs, &h, &f), pointer <= 2 ? 1 : 0) << pointer;
        if (pointer == 2) {
            EXPECT_EQ(f.grid.borders[1], 11);
            EXPECT_EQ(f.grid.transient, 1);
        }
    }
}

TEST(SbrBitstream, VariableGridsPlaceBordersAndTheTransient)
{
    const SbrHeaderData h = builtHeader();
    Bits b; // VARVAR: start 1, end 15 + 2, one border forward (+4), one backward (-6), pointer 2
    b.put(3, 2).put(1, 2).put(2, 2).put(1, 2).put(1, 2).put(1, 2).put(2, 2).put(2, 2).put(1, 1).put(0, 1).put(1, 1);
    Reader r(b);
    SbrFrameData f{};
    ASSERT_EQ(SbrDec_ReadGrid(&r.bs, &h, &f), 1);
    const SbrFrameInfo &g = f.grid;
    EXPECT_EQ(g.envelopes, 3);
    EXPECT_EQ(g.borders[0], 1);
    EXPECT_EQ(g.borders[1], 5);
    EXPECT_EQ(g.borders[2], 11);
    EXPECT_EQ(g.borders[3], 17);
    EXPECT_EQ(g.transient, 2); // envelopes + 1 - pointer
    EXPECT_EQ(g.noiseEnvelopes, 2);
    EXPECT_EQ(g.noiseBorders[1], 11);
    EXPECT_EQ(g.freqRes[0], 1);
    EXPECT_EQ(g.freqRes[1], 0);
    EXPECT_EQ(g.freqRes[2], 1);
    EXPECT_EQ(SbrDec_CheckFrameInfo(&g, 15, 6, 2), 1);
}

TEST(SbrBitstream, AnExtensionLongerThanThePayloadFailsAndStopsAtItsEnd)
{
    const SbrHeaderData tables = builtHeader();
    Bits b;
    b.put(1, 1);
    putHeader(b);
    putSingleChannel(b, tables, true);
    b.put(15, 4).put(255, 8); // 15 + 255 = 270 bytes announced
    for (int i = 0; i < 20; ++i)
        b.put(0, 8);          // 20 bytes there
    SbrHeaderData h = dabHeader();
    SbrFrameData f{};
    int32_t left = 0;
    EXPECT_EQ(readPayload(b, h, f, &left), 5);
    EXPECT_EQ(left, 0);
}

TEST(SbrBitstream, LeftOverBitsBeyondTheFillRejectTheFrame)
{
    const SbrHeaderData tables = builtHeader();
    for (int fill : {7, 8}) {
        Bits b;
        b.put(1, 1);
        putHeader(b);
        putSingleChannel(b, tables);
        b.put(0, fill);
        SbrHeaderData h = dabHeader();
        SbrFrameData f{};
        int32_t left = 0;
        EXPECT_EQ(readPayload(b, h, f, &left), fill < 8 ? 0 : 5) << fill;
        EXPECT_EQ(left, fill);
    }
}

TEST(SbrBitstream, TheCrcCoversThePayloadAfterIt)
{
    const SbrHeaderData tables = builtHeader();
    Bits body;
    body.put(1, 1);
    putHeader(body);
    putSingleChannel(body, tables);
    // CRC-10, x^10 + x^9 + x^5 + x^4 + x + 1, register starting at 0, bit by bit.
    uint32_t crc = 0;
    for (uint32_t i = 0; i < body.count; ++i) {
        const uint32_t bit = (body.bytes[i / 8] >> (7 - i % 8)) & 1;
        const uint32_t feedback = ((crc >> 9) & 1) ^ bit;
        crc = (crc << 1) & 0x3FF;
        if (feedback)
            crc ^= 0x233;
    }
    for (uint32_t sent : {crc, crc ^ 1}) {
        Bits b;
        b.put(sent, 10);
        for (uint32_t i = 0; i < body.count; ++i)
            b.put((body.bytes[i / 8] >> (7 - i % 8)) & 1, 1);
        SbrHeaderData h = dabHeader();
        SbrFrameData f{};
        int32_t left = 0;
        EXPECT_EQ(readPayload(b, h, f, &left, 1), sent == crc ? 0 : 5);
    }
}

TEST(PsBitstream, ABlockWithHeaderBordersAndAnExtensionReadsToItsEnd)
{
    PsDecHandle ps = nullptr;
    ASSERT_EQ(PsDec_Create(&ps, 960), 0);
    PsDec_SetFrameSlots(ps, 0);
    Bits b;
    b.put(1, 1).put(1, 1).put(0, 3).put(1, 1).put(0, 3).put(1, 1); // header: IID and ICC, 10 bands, extension
    b.put(1, 1).put(1, 2).put(14, 5).put(29, 5);                    // variable class, two envelopes
    for (int e = 0; e < 2; ++e) {
        b.put(0, 1); // IID along frequency, ten zero deltas ("0" in huff_iid_df)
        b.put(0, 10);
    }
    for (int e = 0; e < 2; ++e) {
        b.put(1, 1); // ICC along time, ten zero deltas ("0" in huff_icc_dt)
        b.put(0, 10);
    }
    b.put(2, 4).put(0xFFFF, 16); // two extension bytes
    const uint32_t total = b.count;
    b.put(0x5, 3);
    Reader r(b);
    EXPECT_EQ(PsDec_ReadData(ps, &r.bs, static_cast<int>(total)), static_cast<int>(total));
    const PsData &d = *PsDec_DataRecord(ps);
    EXPECT_EQ(d.enabled, 1);
    EXPECT_EQ(d.envelopes, 2);
    EXPECT_EQ(d.borders[0], 15);
    EXPECT_EQ(d.borders[1], 30);
    EXPECT_EQ(d.iidBandClass, 0);
    EXPECT_EQ(d.iccTime[1], 1);
    EXPECT_EQ(RezTools_BitStreamReadBits(&r.bs, 3), 0x5u);
    PsDec_Destroy(&ps);
}

TEST(PsBitstream, ReservedModesLeaveTheirParametersUnreadAndHeaderFieldsCarryOver)
{
    PsDecHandle ps = nullptr;
    ASSERT_EQ(PsDec_Create(&ps, 960), 0);
    PsDec_SetFrameSlots(ps, 0);
    {
        Bits b; // IID mode 6 (reserved), no ICC, no extension; fixed class, one envelope
        b.put(1, 1).put(1, 1).put(6, 3).put(0, 1).put(0, 1).put(0, 1).put(1, 2);
        Reader r(b);
        EXPECT_EQ(PsDec_ReadData(ps, &r.bs, 64), static_cast<int>(b.count));
    }
    PsDec_SetFrameSlots(ps, 1);
    {
        Bits b; // no header: fixed class, four envelopes, the reserved IID mode still holds
        b.put(0, 1).put(0, 1).put(3, 2);
        Reader r(b);
        EXPECT_EQ(PsDec_ReadData(ps, &r.bs, 64), static_cast<int>(b.count));
        EXPECT_EQ(PsDec_DataRecord(ps)->iidMode, 6);
        EXPECT_EQ(PsDec_DataRecord(ps)->envelopes, 4);
    }
    PsDec_Destroy(&ps);
}

} // namespace
