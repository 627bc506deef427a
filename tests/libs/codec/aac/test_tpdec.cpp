// The transport decoder: input, out-of-band configuration with its two passes,
// and ADTS framing with synchronisation and CRC.
#include "aac_test_support.h"
#include "tpdec.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Records the callbacks in order; "check", "free", "apply".
struct Recorder
{
    std::vector<std::string> calls;
    AudioSpecificConfig last{};
    uint8_t reportChange = 1;
    int configResult = 0;
};

int recordConfig(void *context, const AudioSpecificConfig *config, uint8_t mode, uint8_t *changed)
{
    auto *r = static_cast<Recorder *>(context);
    r->calls.push_back(mode == 1 ? "check" : "apply");
    r->last = *config;
    if (mode == 1 && r->reportChange)
        *changed = 1;
    return r->configResult;
}

int recordFree(void *context, const AudioSpecificConfig *)
{
    static_cast<Recorder *>(context)->calls.push_back("free");
    return 0;
}

struct Transport
{
    TpDecHandle tp;
    Recorder recorder;
    explicit Transport(int32_t type, uint32_t flags = 1)
    {
        tp = TpDec_Open(type, flags, 1);
        TpDec_RegisterConfigCallback(tp, recordConfig, &recorder);
        TpDec_RegisterFreeMemCallback(tp, recordFree, &recorder);
    }
    ~Transport() { TpDec_Close(&tp); }
    uint32_t fill(const std::vector<uint8_t> &bytes, size_t from = 0, size_t count = SIZE_MAX)
    {
        count = std::min(count, bytes.size() - from);
        uint32_t valid = static_cast<uint32_t>(count);
        EXPECT_EQ(TpDec_FillData(tp, bytes.data() + from, static_cast<uint32_t>(count), &valid, 0), TPDEC_OK);
        return static_cast<uint32_t>(count) - valid;
    }
};

const std::vector<uint8_t> DabStereo48 = {0x11, 0x94}; // AAC-LC, 48 kHz, stereo, 960

// One ADTS frame: MPEG-4 ID, AAC-LC, the given rate index and channels, with
// `payload` bytes per raw data block and a CRC when asked.
std::vector<uint8_t> adtsFrame(int rateIndex, int channels, int payload, bool crc, int blocks = 1,
                               int layer = 0, int id = 0)
{
    const int header = 7 + (crc ? 2 * (blocks - 1) + 2 : 0);
    const int blockBytes = payload + (crc && blocks > 1 ? 2 : 0);
    const int length = header + blocks * blockBytes;
    BitWriter w;
    w.put(0xFFF, 12).put(id, 1).put(layer, 2).put(crc ? 0 : 1, 1).put(1, 2).put(rateIndex, 4).put(0, 1);
    w.put(channels, 3).put(0, 4).put(length, 13).put(0x7FF, 11).put(blocks - 1, 2);
    if (crc) {
        for (int b = 1; b < blocks; ++b)
            w.put(b * blockBytes, 16);
        // Header CRC over the fixed and variable header and the block positions.
        const uint32_t value = referenceCrc(w.bytes, w.bits, 0x8005, 0xFFFF, 16);
        w.put(value, 16);
    }
    for (int b = 0; b < blocks; ++b) {
        for (int i = 0; i < payload; ++i)
            w.put(0x5A ^ i, 8);
        // The block CRC covers what the core puts in its regions; with none it is
        // the register's start value.
        if (crc && blocks > 1)
            w.put(0xFFFF, 16);
    }
    return w.bytes;
}

} // namespace

TEST(TpDec, OpenRefusesUnknownTypesAndLayers)
{
    EXPECT_EQ(TpDec_Open(3, 0, 1), nullptr);
    EXPECT_EQ(TpDec_Open(2, 0, 2), nullptr);
    for (int32_t type : {0, 1, 2, 6, 7, 10, 12}) {
        TpDecHandle tp = TpDec_Open(type, 0, 1);
        ASSERT_NE(tp, nullptr) << type;
        EXPECT_EQ(TpDec_GetTransportType(tp), type);
        TpDec_Close(&tp);
        EXPECT_EQ(tp, nullptr);
    }
    TpDec_Close(nullptr);
    EXPECT_EQ(TpDec_ReadAccessUnit(nullptr, 0), TPDEC_INVALID_HANDLE);
    EXPECT_EQ(TpDec_SetParam(nullptr, 1, 1), TPDEC_INVALID_HANDLE);
    EXPECT_EQ(TpDec_RegisterConfigCallback(nullptr, recordConfig, nullptr), -1);
}

TEST(TpDec, RawFillTakesOneUnitThatFits)
{
    Transport t(TPDEC_TYPE_RAW);
    std::vector<uint8_t> unit(9000, 0x33);
    uint32_t valid = 9000;
    EXPECT_EQ(TpDec_FillData(t.tp, unit.data(), 9000, &valid, 0), TPDEC_INPUT_NOT_TAKEN);
    EXPECT_EQ(valid, 9000u - TpDecBufferSize);
    valid = 8192;
    EXPECT_EQ(TpDec_FillData(t.tp, unit.data(), 8192, &valid, 0), TPDEC_OK);
    EXPECT_EQ(valid, 0u);
    EXPECT_EQ(TpDec_ReadAccessUnit(t.tp, 0), TPDEC_OK);
    EXPECT_EQ(TpDec_GetAccessUnitLength(t.tp, 0), 8192 * 8);
    // The next fill replaces the unit.
    valid = 100;
    EXPECT_EQ(TpDec_FillData(t.tp, unit.data(), 100, &valid, 0), TPDEC_OK);
    EXPECT_EQ(TpDec_ReadAccessUnit(t.tp, 0), TPDEC_OK);
    EXPECT_EQ(TpDec_GetAccessUnitLength(t.tp, 0), 800);
    EXPECT_EQ(TpDec_FillData(t.tp, unit.data(), 100, &valid, 1), TPDEC_INVALID_HANDLE);
}

TEST(TpDec, OutOfBandConfigurationRunsTwoPasses)
{
    {
        Transport t(TPDEC_TYPE_RAW);
        ASSERT_EQ(TpDec_ParseConfig(t.tp, DabStereo48.data(), 2, 0), TPDEC_OK);
        const std::vector<std::string> expected = {"check", "free", "apply"};
        EXPECT_EQ(t.recorder.calls, expected);
        EXPECT_EQ(t.recorder.last.configMode, 2);
        EXPECT_EQ(t.recorder.last.configChanged, 1);
        EXPECT_EQ(t.recorder.last.sampleRate, 48000u);
        EXPECT_EQ(t.recorder.last.frameLength, 960u);
    }
    {
        // Unchanged: no free-memory call, and the applying pass is told so.
        Transport t(TPDEC_TYPE_RAW);
        t.recorder.reportChange = 0;
        ASSERT_EQ(TpDec_ParseConfig(t.tp, DabStereo48.data(), 2, 0), TPDEC_OK);
        const std::vector<std::string> expected = {"check", "apply"};
        EXPECT_EQ(t.recorder.calls, expected);
        EXPECT_EQ(t.recorder.last.configChanged, 0);
    }
    {
        // A refusing callback stops after the checking pass.
        Transport t(TPDEC_TYPE_RAW);
        t.recorder.configResult = TPDEC_UNSUPPORTED;
        EXPECT_EQ(TpDec_ParseConfig(t.tp, DabStereo48.data(), 2, 0), TPDEC_PARSE_ERROR);
        EXPECT_EQ(t.recorder.calls, std::vector<std::string>{"check"});
    }
    Transport t(TPDEC_TYPE_RAW);
    std::vector<uint8_t> big(1025, 0x11);
    EXPECT_EQ(TpDec_ParseConfig(t.tp, big.data(), 1025, 0), TPDEC_UNSUPPORTED);
    EXPECT_EQ(TpDec_ParseConfig(t.tp, big.data(), 1024, 1), TPDEC_INVALID_HANDLE);
    EXPECT_TRUE(t.recorder.calls.empty());
}

TEST(TpDec, AdtsSyncSplitAcrossFills)
{
    Transport t(TPDEC_TYPE_ADTS);
    std::vector<uint8_t> stream = {0x00, 0x12, 0xFF}; // junk, then the first sync byte
    const std::vector<uint8_t> frame = adtsFrame(3, 2, 40, false);
    std::vector<uint8_t> rest(frame.begin() + 1, frame.end());
    t.fill(stream);
    EXPECT_EQ(TpDec_ReadAccessUnit(t.tp, 0), TPDEC_NOT_ENOUGH_BITS);
    EXPECT_TRUE(t.recorder.calls.empty());
    t.fill(rest);
    ASSERT_EQ(TpDec_ReadAccessUnit(t.tp, 0), TPDEC_OK);
    EXPECT_EQ(TpDec_GetAccessUnitLength(t.tp, 0), 40 * 8);
    EXPECT_EQ(TpDec_GetAccessUnitBitsLeft(t.tp, 0), 40 * 8);
    EXPECT_EQ(t.recorder.last.sampleRate, 48000u);
    EXPECT_EQ(t.recorder.last.channelConfig, 2);
    EXPECT_EQ(t.recorder.last.aot, 2);
    // The core reads the whole unit before ending it.
    RezTools_BitStreamPushForward(TpDec_GetBitStream(t.tp, 0), 40 * 8);
    EXPECT_EQ(TpDec_EndAccessUnit(t.tp), TPDEC_OK);
    EXPECT_EQ(TpDec_ReadAccessUnit(t.tp, 0), TPDEC_NOT_ENOUGH_BITS);
}

TEST(TpDec, AdtsFrameSplitAcrossFillsWaitsForTheWholeFrame)
{
    Transport t(TPDEC_TYPE_ADTS);
    const std::vector<uint8_t> frame = adtsFrame(5, 1, 100, false);
    t.fill(frame, 0, 50);
    EXPECT_EQ(TpDec_ReadAccessUnit(t.tp, 0), TPDEC_NOT_ENOUGH_BITS);
    t.fill(frame, 50);
    ASSERT_EQ(TpDec_ReadAccessUnit(t.tp, 0), TPDEC_OK);
    EXPECT_EQ(t.recorder.last.sampleRate, 32000u);
}

TEST(TpDec, AdtsCrc)
{
    {
        // One block: the header CRC is checked with the block, through the core's
        // regions; a clean header with no core regions matches.
        Transport t(TPDEC_TYPE_ADTS);
        t.fill(adtsFrame(3, 2, 30, true));
        ASSERT_EQ(TpDec_ReadAccessUnit(t.tp, 0), TPDEC_OK);
        EXPECT_EQ(TpDec_GetAccessUnitLength(t.tp, 0), 30 * 8);
        EXPECT_EQ(TpDec_CrcCheck(t.tp), TPDEC_OK);
    }
    {
        Transport t(TPDEC_TYPE_ADTS);
        std::vector<uint8_t> frame = adtsFrame(3, 2, 30, true);
        frame[8] ^= 0x01; // the CRC word
        t.fill(frame);
        ASSERT_EQ(TpDec_ReadAccessUnit(t.tp, 0), TPDEC_OK);
        EXPECT_EQ(TpDec_CrcCheck(t.tp), TPDEC_CRC_ERROR);
    }
    for (int blocks : {2, 3, 4}) {
        // Several blocks: positions give the block lengths, the header CRC is
        // checked at once. Four blocks is the most a header can announce.
        Transport t(TPDEC_TYPE_ADTS);
        t.fill(adtsFrame(3, 2, 20, true, blocks));
        ASSERT_EQ(TpDec_ReadAccessUnit(t.tp, 0), TPDEC_OK) << blocks;
        for (int block = 0; block < blocks; ++block) {
            EXPECT_EQ(TpDec_GetAccessUnitLength(t.tp, 0), 20 * 8) << blocks << " block " << block;
            EXPECT_EQ(TpDec_CrcCheck(t.tp), TPDEC_OK) << blocks << " block " << block;
            EXPECT_EQ(TpDec_EndAccessUnit(t.tp), TPDEC_OK);
            if (block < blocks - 1) {
                ASSERT_EQ(TpDec_ReadAccessUnit(t.tp, 0), TPDEC_OK) << blocks << " block " << block;
            }
        }
        EXPECT_EQ(t.recorder.calls.size(), 3u) << blocks; // one configuration for the frame
        EXPECT_EQ(TpDec_ReadAccessUnit(t.tp, 0), TPDEC_NOT_ENOUGH_BITS) << blocks;
    }
    {
        Transport t(TPDEC_TYPE_ADTS);
        std::vector<uint8_t> frame = adtsFrame(3, 2, 20, true, 2);
        frame[7] ^= 0x80; // a block position, covered by the header CRC
        t.fill(frame);
        // The damaged frame is passed over; the search finds no other.
        EXPECT_EQ(TpDec_ReadAccessUnit(t.tp, 0), TPDEC_NOT_ENOUGH_BITS);
        EXPECT_TRUE(t.recorder.calls.empty());
    }
}

TEST(TpDec, AdtsRefusedFramesAreSkipped)
{
    struct Row { const char *name; std::vector<uint8_t> frame; uint32_t flags; } rows[] = {
        {"layer 1", adtsFrame(3, 2, 20, false, 1, 1), 1},
        {"sampling index 13", adtsFrame(13, 2, 20, false), 1},
        {"MPEG-4 ID without acceptance", adtsFrame(3, 2, 20, false), 0},
    };
    for (Row &r : rows) {
        Transport t(TPDEC_TYPE_ADTS, r.flags);
        std::vector<uint8_t> stream = r.frame;
        const std::vector<uint8_t> good = adtsFrame(3, 2, 20, false, 1, 0, 1);
        stream.insert(stream.end(), good.begin(), good.end());
        t.fill(stream);
        EXPECT_EQ(TpDec_ReadAccessUnit(t.tp, 0), TPDEC_UNSUPPORTED) << r.name;
        EXPECT_EQ(TpDec_ReadAccessUnit(t.tp, 0), TPDEC_OK) << r.name;
        EXPECT_EQ(t.recorder.last.channelConfig, 2) << r.name;
    }
}

TEST(TpDec, ParameterFiveResetsTheInput)
{
    Transport t(TPDEC_TYPE_ADTS);
    t.fill(adtsFrame(3, 2, 20, false));
    ASSERT_EQ(TpDec_ReadAccessUnit(t.tp, 0), TPDEC_OK);
    EXPECT_EQ(TpDec_SetParam(t.tp, 5, 1), TPDEC_OK);
    EXPECT_EQ(RezTools_BitStreamGetValidBits(TpDec_GetBitStream(t.tp, 0)), 0u);
    EXPECT_EQ(TpDec_ReadAccessUnit(t.tp, 0), TPDEC_NOT_ENOUGH_BITS);
    EXPECT_EQ(TpDec_SetParam(t.tp, 8, 1), TPDEC_OK);
    EXPECT_EQ(TpDec_SetParam(t.tp, 42, 1), TPDEC_OK);
}

TEST(TpDec, LibInfoRow)
{
    LIB_INFO table[REZ_LIB_INFO_ROWS] = {};
    ASSERT_EQ(TpDec_GetLibInfo(table), TPDEC_OK);
    EXPECT_STREQ(table[0].title, "MPEG Transport");
    EXPECT_EQ(table[0].moduleId, 7u);
    EXPECT_STREQ(table[0].versionText, "2.7.0");
    EXPECT_EQ(TpDec_GetLibInfo(nullptr), TPDEC_CALLBACK_FAILED);
}

TEST(TpDec, AdtsInBandConfigurationOrder)
{
    Transport t(TPDEC_TYPE_ADTS);
    t.recorder.reportChange = 1;
    std::vector<uint8_t> stream = adtsFrame(3, 2, 20, false);
    t.fill(stream);
    ASSERT_EQ(TpDec_ReadAccessUnit(t.tp, 0), TPDEC_OK);
    const std::vector<std::string> expected = {"check", "free", "apply"};
    EXPECT_EQ(t.recorder.calls, expected);
    EXPECT_EQ(t.recorder.last.configChanged, 1);
}

namespace {

// StreamMuxConfig with one programme and layer carrying the DAB+ stereo
// configuration (audioMuxVersion 0: in place).
BitWriter streamMuxConfig(int audioMuxVersion, int versionA, int layers)
{
    BitWriter w;
    w.put(audioMuxVersion, 1);
    if (audioMuxVersion) {
        w.put(versionA, 1);
        w.put(0, 2).put(0xFF, 8); // taraBufferFullness
    }
    w.put(1, 1).put(0, 6).put(0, 4).put(layers - 1, 3);
    if (audioMuxVersion)
        w.put(0, 2).put(16, 8); // ascLen in bits
    w.put(0x11, 8).put(0x94, 8);
    w.put(0, 3).put(0xFF, 8).put(0, 1).put(0, 1);
    return w;
}

} // namespace

TEST(TpDec, LatmStreamMuxConfig)
{
    struct Row { const char *name; BitWriter config; int expected; } rows[] = {
        {"version 0, one layer", streamMuxConfig(0, 0, 1), TPDEC_OK},
        {"two layers", streamMuxConfig(0, 0, 2), TPDEC_UNSUPPORTED},
        {"audioMuxVersionA 1", streamMuxConfig(1, 1, 1), TPDEC_UNSUPPORTED},
    };
    for (Row &r : rows) {
        Transport t(TPDEC_TYPE_LATM_MCP0);
        EXPECT_EQ(TpDec_ParseConfig(t.tp, r.config.bytes.data(), static_cast<uint32_t>(r.config.bytes.size()), 0),
                  r.expected)
            << r.name;
        if (r.expected != TPDEC_OK)
            continue;
        EXPECT_EQ(t.recorder.last.sampleRate, 48000u) << r.name;
        EXPECT_EQ(t.recorder.last.channelConfig, 2) << r.name;
        // An AudioMuxElement without configuration: the payload length, then the payload.
        const std::vector<uint8_t> unit = {5, 1, 2, 3, 4, 5};
        uint32_t valid = static_cast<uint32_t>(unit.size());
        ASSERT_EQ(TpDec_FillData(t.tp, unit.data(), valid, &valid, 0), TPDEC_OK);
        ASSERT_EQ(TpDec_ReadAccessUnit(t.tp, 0), TPDEC_OK) << r.name;
        EXPECT_EQ(TpDec_GetAccessUnitLength(t.tp, 0), 40) << r.name;
    }
}

TEST(TpDec, AdifHeaderWithTwoProgramConfigs)
{
    BitWriter w;
    w.put(0x41444946u, 32).put(0, 1).put(0, 1).put(0, 1).put(0, 1);
    w.put(128000, 23).put(1, 4); // two program config elements
    auto pce = [&](int channels) {
        w.put(0x12345, 20); // adif_buffer_fullness of a constant-rate stream
        w.put(0, 4).put(1, 2).put(3, 4).put(1, 4).put(0, 4).put(0, 4).put(0, 2).put(0, 3).put(0, 4);
        w.put(0, 1).put(0, 1).put(0, 1);
        w.put(channels == 2 ? 1 : 0, 1).put(0, 4);
        w.align();
        w.put(0, 8);
    };
    pce(2);
    pce(1);
    w.align();
    w.put(0xAB, 8);
    Transport t(TPDEC_TYPE_ADIF);
    t.fill(w.bytes);
    ASSERT_EQ(TpDec_ReadAccessUnit(t.tp, 0), TPDEC_OK);
    EXPECT_EQ(TpDec_GetAccessUnitLength(t.tp, 0), -1);
    const std::vector<std::string> expected = {"check", "free", "apply"};
    EXPECT_EQ(t.recorder.calls, expected);
    EXPECT_EQ(t.recorder.last.aot, 2);
    EXPECT_EQ(t.recorder.last.sampleRate, 48000u);
    EXPECT_EQ(t.recorder.last.channelConfig, 0);
    EXPECT_EQ(t.recorder.last.pce.numChannels, 1); // the last element read stays
    EXPECT_EQ(t.tp->bitRate, 128000u);
    // The header is read once; the raw data follows.
    EXPECT_EQ(RezTools_BitStreamReadBits(TpDec_GetBitStream(t.tp, 0), 8), 0xABu);
    ASSERT_EQ(TpDec_ReadAccessUnit(t.tp, 0), TPDEC_NOT_ENOUGH_BITS);
}

TEST(TpDec, LookAheadRejectsASyncWordByChance)
{
    // A header whose frame ends where no frame starts, then two real frames.
    std::vector<uint8_t> fake = adtsFrame(5, 1, 8, false, 1, 0, 1); // 15 bytes, 32 kHz mono
    fake[5] &= 0xE0; // buffer fullness 0, so that the header holds no second sync word
    fake[6] &= 0x03;
    fake.resize(20, 0x00);
    const std::vector<uint8_t> real = adtsFrame(3, 2, 30, false, 1, 0, 1);
    for (int32_t param : {0, 1, 2}) {
        Transport t(TPDEC_TYPE_ADTS);
        if (param)
            TpDec_SetParam(t.tp, param, 1);
        std::vector<uint8_t> stream = fake;
        stream.insert(stream.end(), real.begin(), real.end());
        stream.insert(stream.end(), real.begin(), real.end());
        t.fill(stream);
        ASSERT_EQ(TpDec_ReadAccessUnit(t.tp, 0), TPDEC_OK) << param;
        // Without look-ahead the chance header is taken; with it the real frame.
        EXPECT_EQ(t.recorder.last.sampleRate, param ? 48000u : 32000u) << param;
        EXPECT_EQ(t.recorder.last.channelConfig, param ? 2 : 1) << param;
        if (param) {
            EXPECT_EQ(TpDec_GetAccessUnitBitsLeft(t.tp, 0), 30 * 8) << param;
        }
    }
}

TEST(TpDec, LookAheadOverLoasFrames)
{
    const std::vector<uint8_t> stream = readFixture("ff-48k-stereo.loas");
    std::vector<uint8_t> damaged = {0x56, 0xE0, 0x10, 0x00}; // a LOAS sync with a short length
    damaged.insert(damaged.end(), stream.begin(), stream.end());
    Transport t(TPDEC_TYPE_LOAS);
    TpDec_SetParam(t.tp, 1, 1);
    t.fill(damaged);
    ASSERT_EQ(TpDec_ReadAccessUnit(t.tp, 0), TPDEC_OK);
    EXPECT_EQ(t.recorder.last.sampleRate, 48000u);
    EXPECT_EQ(t.recorder.last.channelConfig, 2);
}

TEST(TpDec, AdtsBufferFullnessWaitsForTheAnnouncedData)
{
    // The first frame waits until buffer fullness x coded channels x 4 bytes
    // follow it; LFE channels are not counted.
    struct Row { int channelConfig; int codedChannels; } rows[] = {{1, 1}, {2, 2}, {3, 3}, {6, 5}, {7, 7}};
    for (const Row &r : rows) {
        std::vector<uint8_t> frame = adtsFrame(3, r.channelConfig, 10, false, 1, 0, 1);
        const int fullness = 3;
        frame[5] = static_cast<uint8_t>((frame[5] & 0xE0) | (fullness >> 6));
        frame[6] = static_cast<uint8_t>((frame[6] & 0x03) | ((fullness & 0x3F) << 2));
        const size_t required = frame.size() + fullness * r.codedChannels * 4;
        std::vector<uint8_t> stream = frame;
        stream.resize(required - 1, 0);
        {
            Transport t(TPDEC_TYPE_ADTS);
            t.fill(stream);
            EXPECT_EQ(TpDec_ReadAccessUnit(t.tp, 0), TPDEC_NOT_ENOUGH_BITS) << r.channelConfig;
        }
        stream.push_back(0);
        Transport t(TPDEC_TYPE_ADTS);
        t.fill(stream);
        EXPECT_EQ(TpDec_ReadAccessUnit(t.tp, 0), TPDEC_OK) << r.channelConfig;
    }
}

TEST(TpDec, AdtsFrameShorterThanItsHeaderIsPassedOver)
{
    std::vector<uint8_t> broken = adtsFrame(3, 2, 0, false, 1, 0, 1);
    broken[3] = static_cast<uint8_t>(broken[3] & 0xFC); // frame length 3 bytes
    broken[4] = 0x00;
    broken[5] = static_cast<uint8_t>((broken[5] & 0x1F) | (3 << 5));
    std::vector<uint8_t> stream = broken;
    const std::vector<uint8_t> good = adtsFrame(5, 1, 12, false, 1, 0, 1);
    stream.insert(stream.end(), good.begin(), good.end());
    Transport t(TPDEC_TYPE_ADTS);
    t.fill(stream);
    ASSERT_EQ(TpDec_ReadAccessUnit(t.tp, 0), TPDEC_OK);
    EXPECT_EQ(t.recorder.last.sampleRate, 32000u);
    EXPECT_EQ(TpDec_GetAccessUnitLength(t.tp, 0), 12 * 8);
}
