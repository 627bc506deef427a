// ADTS and LOAS streams from an independent encoder (ffmpeg), read through the
// decoder's transport into the core's configuration.
#include "aac_core.h"
#include "aac_test_support.h"

#include <gtest/gtest.h>

namespace {

struct StreamRow
{
    const char *file;
    int32_t type;
    int32_t rate;
    int32_t channelConfig;
    int32_t channels;
};

} // namespace

TEST(AacStreams, HeadersGiveTheConfiguration)
{
    const StreamRow rows[] = {
        {"ff-32k-mono.aac", AACDEC_TT_ADTS, 32000, 1, 1},
        {"ff-32k-stereo.aac", AACDEC_TT_ADTS, 32000, 2, 2},
        {"ff-32k-5.1.aac", AACDEC_TT_ADTS, 32000, 6, 6},
        {"ff-48k-mono.aac", AACDEC_TT_ADTS, 48000, 1, 1},
        {"ff-48k-stereo.aac", AACDEC_TT_ADTS, 48000, 2, 2},
        {"ff-48k-5.1.aac", AACDEC_TT_ADTS, 48000, 6, 6},
        {"ff-32k-mono.loas", AACDEC_TT_LOAS, 32000, 1, 1},
        {"ff-32k-stereo.loas", AACDEC_TT_LOAS, 32000, 2, 2},
        {"ff-32k-5.1.loas", AACDEC_TT_LOAS, 32000, 6, 6},
        {"ff-48k-mono.loas", AACDEC_TT_LOAS, 48000, 1, 1},
        {"ff-48k-stereo.loas", AACDEC_TT_LOAS, 48000, 2, 2},
        {"ff-48k-5.1.loas", AACDEC_TT_LOAS, 48000, 6, 6},
    };
    for (const StreamRow &r : rows) {
        const std::vector<uint8_t> stream = readFixture(r.file);
        ASSERT_GT(stream.size(), 100u) << r.file;
        AacDecHandle h = AacDec_Open(r.type, 1);
        ASSERT_NE(h, nullptr) << r.file;
        const uint8_t *buffers[1] = {stream.data()};
        const uint32_t sizes[1] = {static_cast<uint32_t>(stream.size())};
        uint32_t valid[1] = {sizes[0]};
        ASSERT_EQ(AacDec_Fill(h, buffers, sizes, valid), AACDEC_OK) << r.file;
        EXPECT_EQ(valid[0], 0u) << r.file;

        // Every unit of the file, its payload skipped as the core would read it.
        int units = 0;
        int64_t payloadBits = 0;
        for (int guard = 0; guard < 1000; ++guard) {
            const int result = TpDec_ReadAccessUnit(h->transport, 0);
            if (result == TPDEC_NOT_ENOUGH_BITS)
                break;
            ASSERT_EQ(result, TPDEC_OK) << r.file << " unit " << units;
            const int32_t length = TpDec_GetAccessUnitLength(h->transport, 0);
            ASSERT_GT(length, 0) << r.file;
            payloadBits += length;
            RezTools_BitStreamPushForward(TpDec_GetBitStream(h->transport, 0), static_cast<uint32_t>(length));
            ASSERT_EQ(TpDec_EndAccessUnit(h->transport), TPDEC_OK) << r.file;
            ++units;
        }
        // 0.1 s of audio in 1024-sample frames, plus the encoder's priming frame.
        EXPECT_GE(units, r.rate / 10 / 1024 + 1) << r.file;
        EXPECT_LT(payloadBits, static_cast<int64_t>(stream.size()) * 8) << r.file;

        const AacDecStreamInfo *info = AacDec_GetStreamInfo(h);
        EXPECT_EQ(info->coreSampleRate, r.rate) << r.file;
        EXPECT_EQ(info->aot, 2) << r.file;
        EXPECT_EQ(info->profile, 1) << r.file;
        EXPECT_EQ(info->channelConfig, r.channelConfig) << r.file;
        EXPECT_EQ(info->coreChannels, r.channels) << r.file;
        EXPECT_EQ(info->coreFrameLength, 1024) << r.file;
        EXPECT_EQ(h->channelCount, r.channels) << r.file;
        AacDec_Close(h);
    }
}

TEST(AacStreams, LoasWithLostBytesReportsLostUnits)
{
    const std::vector<uint8_t> stream = readFixture("ff-48k-stereo.loas");
    // Between the first two frames lie 600 bytes that are no frame: at 64 kbit/s
    // and 48 kHz a frame is 1365 bits, so they stand for three to four frames.
    const size_t first = 3 + ((stream[1] & 0x1F) << 8 | stream[2]);
    std::vector<uint8_t> damaged(stream.begin(), stream.begin() + first);
    damaged.insert(damaged.end(), 600, 0x00);
    damaged.insert(damaged.end(), stream.begin() + first, stream.end());

    TpDecHandle tp = TpDec_Open(TPDEC_TYPE_LOAS, 1, 1);
    TpDec_SetParam(tp, 4, 64000);
    uint32_t valid = static_cast<uint32_t>(damaged.size());
    TpDec_FillData(tp, damaged.data(), valid, &valid, 0);
    ASSERT_EQ(TpDec_ReadAccessUnit(tp, 0), TPDEC_OK);
    RezTools_BitStreamPushForward(TpDec_GetBitStream(tp, 0), static_cast<uint32_t>(TpDec_GetAccessUnitLength(tp, 0)));
    TpDec_EndAccessUnit(tp);
    int32_t reported = 0;
    int result = TPDEC_SYNC_LOST;
    for (int guard = 0; guard < 10 && result != TPDEC_OK; ++guard) {
        result = TpDec_ReadAccessUnit(tp, 0);
        int32_t lost = -1;
        TpDec_GetLostUnits(&lost, tp);
        if (result == TPDEC_SYNC_LOST && lost > 0)
            reported += lost;
    }
    EXPECT_EQ(result, TPDEC_OK);
    EXPECT_GE(reported, 3);
    EXPECT_LE(reported, 4);
    TpDec_Close(&tp);
}
