// The test superframe builder against the toolbox's DAB+ parser: the parser takes
// its superframes (Fire code, RS parity, AU starts and CRCs) and hands out the
// encoder's access units unchanged, and each field corrupted on its own is caught.
#include "DABplusParser.h"
#include "DABplusParserInternal.h"
#include "AacEncTestSupport.h"
#include "RsCodec.h"
#include "ZozTestSuperframe.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

using namespace ZozTestAac;
using namespace AacEncTestSupport;

namespace {

std::vector<uint8_t> readFile(const std::string &name)
{
    return readBytes(std::string(ZOZ_TESTDATA_DIR "/") + name);
}

std::vector<int16_t> chord(int rate, int channels, int samples)
{
    std::vector<int16_t> pcm(static_cast<size_t>(samples) * channels);
    for (int i = 0; i < samples; ++i)
        for (int c = 0; c < channels; ++c) {
            const double t = double(i) / rate;
            const double v = 3000 * std::sin(2 * M_PI * (262 + 68 * c) * t) + 2000 * std::sin(2 * M_PI * 392 * t)
                             + 1000 * std::sin(2 * M_PI * 3100 * t);
            pcm[static_cast<size_t>(i) * channels + c] = static_cast<int16_t>(std::lround(v));
        }
    return pcm;
}

// PAD as a DAB+ service sends it: X-PAD bytes, then the two F-PAD bytes.
std::vector<uint8_t> padFor(int unit)
{
    std::vector<uint8_t> pad;
    for (int i = 0; i < unit % 7; ++i)
        pad.push_back(static_cast<uint8_t>(0x40 + unit + i));
    pad.push_back(0x00);
    pad.push_back(static_cast<uint8_t>(unit & 0xFF));
    return pad;
}

// Feeds logical frames of 24 n bytes one at a time and keeps what the parser hands
// out: per unit the table's AUs (empty when lost) and the statistics.
struct ParsedUnit
{
    std::vector<std::vector<uint8_t>> accessUnits;
    DABplusParserStats stats;
};

std::vector<ParsedUnit> parse(const std::vector<uint8_t> &stream, uint32_t n)
{
    DABplusParserHandle parser = nullptr;
    EXPECT_EQ(DABplusParser_Open(&parser, n), 0);
    std::vector<ParsedUnit> units;
    DABplusAccessUnitTable table = {};
    for (size_t offset = 0; offset + 24 * n <= stream.size(); offset += 24 * n) {
        uint32_t frames = 1;
        EXPECT_EQ(DABplusParser_ParseSuperframe(parser, &stream[offset], &frames, &table), 0);
        if (table.auCount == 0)
            continue;
        ParsedUnit unit;
        for (uint32_t i = 0; i < table.auCount; ++i)
            unit.accessUnits.emplace_back(table.au[i], table.au[i] + table.auLength[i]);
        unit.stats = DABplusParser_GetStreamHeader(parser)->stats;
        units.push_back(unit);
    }
    DABplusParser_Close(&parser);
    return units;
}

int goodUnits(const ParsedUnit &unit)
{
    int good = 0;
    for (const auto &au : unit.accessUnits)
        good += au.empty() ? 0 : 1;
    return good;
}

struct Format
{
    const char *name;
    SuperframeFormat format;
    int sampleRate;
    int channels;
};

const Format formats[] = {
    {"48 kHz stereo, 6 AUs", {8, true, false, true, false, 0}, 48000, 2},
    {"32 kHz mono, 4 AUs", {4, false, false, false, false, 0}, 32000, 1},
    {"32 kHz stereo at n = 24, 4 AUs", {24, false, false, true, false, 0}, 32000, 2},
};

// Real units of each format, and the superframes the builder made of them.
struct Encoded
{
    std::vector<std::vector<uint8_t>> superframes;
    std::vector<std::vector<uint8_t>> units;
};

Encoded encode(const Format &f, int superframes)
{
    EncoderOptions options;
    options.sampleRate = f.sampleRate;
    options.channels = f.channels;
    options.frameLength = 960;
    options.midSide = f.channels == 2;
    Encoder encoder(options);
    const int units = superframes * accessUnitCount(f.format);
    const std::vector<int16_t> pcm = chord(f.sampleRate, f.channels, (units + 1) * 960);
    encoder.push(pcm.data(), pcm.size() / f.channels);
    Encoded e;
    const std::vector<int> budgets = accessUnitBudgets(f.format);
    while (static_cast<int>(e.superframes.size()) < superframes
           && encoder.unitsReady() >= static_cast<int>(budgets.size())) {
        std::vector<std::vector<uint8_t>> group;
        for (int budget : budgets) {
            UnitExtras extras;
            extras.dataStream = padFor(encoder.unitsEncoded());
            extras.exactBytes = budget;
            group.push_back(encoder.encodeUnit(extras));
            EXPECT_EQ(static_cast<int>(group.back().size()), budget);
            e.units.push_back(group.back());
        }
        e.superframes.push_back(buildSuperframe(f.format, group));
    }
    return e;
}

std::vector<uint8_t> join(const std::vector<std::vector<uint8_t>> &parts)
{
    std::vector<uint8_t> all;
    for (const auto &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

} // namespace

TEST(DabPlusSuperframe, FireCodeAgreesWithTheParserAndABroadcast)
{
    const std::vector<uint8_t> header = readFile("dabplus-superframe-header.bin");
    if (header.size() == 11) {
        EXPECT_EQ(fireCode(&header[2]), header[0] << 8 | header[1]) << "the recorded header's check bits";
    }
    uint32_t seed = 7;
    for (int row = 0; row < 200; ++row) {
        uint8_t bytes[11];
        for (int i = 2; i < 11; ++i) {
            seed = seed * 1103515245u + 12345u;
            bytes[i] = static_cast<uint8_t>(seed >> 16);
        }
        const uint16_t check = fireCode(&bytes[2]);
        bytes[0] = static_cast<uint8_t>(check >> 8);
        bytes[1] = static_cast<uint8_t>(check);
        ASSERT_EQ(DABplusParser_CheckFireCode(bytes, 0), 0) << "row " << row;
        bytes[2 + row % 9] ^= static_cast<uint8_t>(1 << (row % 8));
        ASSERT_NE(DABplusParser_CheckFireCode(bytes, 0), 0) << "row " << row;
    }
}

TEST(DabPlusSuperframe, ReedSolomonParityCorrectsUpToFiveBytesPerCodeword)
{
    RsCodecContext rs;
    ASSERT_EQ(RsCodec_Init(&rs, 8, 0x11D, 0, 1, 10, 135), 0);
    const Encoded e = encode(formats[0], 1);
    ASSERT_EQ(e.superframes.size(), 1u);
    const std::vector<uint8_t> &sf = e.superframes[0];
    const int n = formats[0].format.subchannelSize;
    for (int column = 0; column < n; ++column) {
        std::vector<uint8_t> word(120);
        for (int k = 0; k < 120; ++k)
            word[k] = sf[column + k * n];
        std::vector<uint8_t> copy = word;
        ASSERT_EQ(RsCodec_Decode(&rs, copy.data(), nullptr, 0), 0) << "column " << column;
        for (int errors = 1; errors <= 5; ++errors) {
            std::vector<uint8_t> hit = word;
            for (int e = 0; e < errors; ++e)
                hit[(column * 13 + e * 23) % 120] ^= static_cast<uint8_t>(0x5A + e);
            ASSERT_EQ(RsCodec_Decode(&rs, hit.data(), nullptr, 0), errors) << "column " << column;
            ASSERT_EQ(hit, word) << errors << " errors in column " << column;
        }
    }
}

TEST(DabPlusSuperframe, ParserHandsOutTheEncodedUnits)
{
    for (const Format &f : formats) {
        SCOPED_TRACE(f.name);
        const Encoded e = encode(f, 3);
        ASSERT_EQ(e.superframes.size(), 3u);
        for (const auto &sf : e.superframes)
            ASSERT_EQ(sf.size(), 120u * f.format.subchannelSize);
        const std::vector<ParsedUnit> parsed = parse(join(e.superframes), f.format.subchannelSize);
        // The parser needs the first superframe to find sync and splits the ones after
        // it without delay, so every superframe comes out.
        ASSERT_EQ(parsed.size(), 3u);
        std::vector<std::vector<uint8_t>> units;
        for (const ParsedUnit &p : parsed) {
            EXPECT_EQ(p.stats.allGood, 1u);
            EXPECT_EQ(p.stats.fireGood, 1u);
            EXPECT_EQ(p.stats.rsAllDecodable, 1u);
            EXPECT_EQ(p.stats.rsCodewordsWithErrors, 0u);
            units.insert(units.end(), p.accessUnits.begin(), p.accessUnits.end());
        }
        EXPECT_EQ(units, e.units);
        // Each unit starts with its PAD in a data stream element.
        for (size_t i = 0; i < units.size(); ++i) {
            const std::vector<uint8_t> pad = padFor(static_cast<int>(i));
            ASSERT_GE(units[i].size(), pad.size() + 2);
            // id 4, tag 0, no byte alignment, then the count and the bytes.
            EXPECT_EQ(units[i][0], 0x80) << "unit " << i;
            EXPECT_EQ(units[i][1], pad.size()) << "unit " << i;
            EXPECT_EQ(std::vector<uint8_t>(units[i].begin() + 2, units[i].begin() + 2 + pad.size()), pad) << "unit " << i;
        }
        // With their PAD and fill elements the units still decode to the chord
        // (ffmpeg as a black box, from LOAS).
        if (haveProgram("ffmpeg")) {
            EncoderOptions options;
            options.sampleRate = f.sampleRate;
            options.channels = f.channels;
            options.frameLength = 960;
            const std::vector<uint8_t> config = audioSpecificConfig(options);
            std::vector<uint8_t> loas;
            for (const auto &u : units) {
                const std::vector<uint8_t> frame = loasFrame(config, u);
                loas.insert(loas.end(), frame.begin(), frame.end());
            }
            const std::string path = ::testing::TempDir() + "zoz-superframe-" + std::to_string(getpid()) + ".loas";
            writeBytes(path, loas);
            std::vector<int16_t> decoded;
            ASSERT_TRUE(decodeLoasWithFfmpeg(path, decoded));
            std::remove(path.c_str());
            ASSERT_EQ(decoded.size(), units.size() * 960 * f.channels);
            const std::vector<int16_t> pcm = chord(f.sampleRate, f.channels, static_cast<int>(units.size()) * 960);
            const double snr = snrDb(pcm, decoded, f.channels, 960);
            std::printf("  %-34s ffmpeg SNR %5.1f dB\n", f.name, snr);
            EXPECT_GE(snr, 55);
        }
        // The parser's configuration for the header is the encoder's own.
        DABplusParserHandle parser = nullptr;
        ASSERT_EQ(DABplusParser_Open(&parser, f.format.subchannelSize), 0);
        const std::vector<uint8_t> stream = join(e.superframes);
        uint32_t frames = 10;
        DABplusAccessUnitTable table = {};
        while (frames > 0)
            DABplusParser_ParseSuperframe(parser, &stream[(10 - frames) * 24 * f.format.subchannelSize], &frames,
                                          &table);
        uint8_t config[4];
        EncoderOptions options;
        options.sampleRate = f.sampleRate;
        options.channels = f.channels;
        options.frameLength = 960;
        ASSERT_EQ(DABplusParser_GetAudioConfig(parser, config, nullptr), 2);
        EXPECT_EQ(std::vector<uint8_t>(config, config + 2), audioSpecificConfig(options));
        DABplusParser_Close(&parser);
    }
}

TEST(DabPlusSuperframe, FormatsWithSbrSplitIntoTwoAndThreeUnits)
{
    struct Row
    {
        const char *name;
        SuperframeFormat format;
        int units;
        int firstStart;
    };
    const Row rows[] = {
        {"SBR 48 kHz", {6, true, true, true, false, 0}, 3, 6},
        {"SBR and PS 32 kHz", {2, false, true, false, true, 0}, 2, 5},
        {"AAC 48 kHz", {1, true, false, false, false, 0}, 6, 11},
        {"AAC 32 kHz", {3, false, false, true, false, 5}, 4, 8},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(accessUnitCount(row.format), row.units);
        EXPECT_EQ(firstAccessUnitStart(row.units), row.firstStart);
        std::vector<std::vector<uint8_t>> units;
        int i = 0;
        for (int budget : accessUnitBudgets(row.format))
            units.push_back(std::vector<uint8_t>(budget, static_cast<uint8_t>(0x11 * ++i)));
        const std::vector<uint8_t> sf = buildSuperframe(row.format, units);
        ASSERT_EQ(sf.size(), 120u * row.format.subchannelSize);
        EXPECT_EQ(sf[2], superframeHeaderByte(row.format));
        const std::vector<ParsedUnit> parsed = parse(join({sf, sf}), row.format.subchannelSize);
        ASSERT_GE(parsed.size(), 1u);
        EXPECT_EQ(parsed[0].accessUnits, units);
        // Units that do not fill the audio part, or too few, make no superframe.
        units.back().pop_back();
        EXPECT_TRUE(buildSuperframe(row.format, units).empty());
        units.pop_back();
        EXPECT_TRUE(buildSuperframe(row.format, units).empty());
    }
}

TEST(DabPlusSuperframe, EachCorruptedFieldIsCaught)
{
    const Format &f = formats[0];
    const int n = f.format.subchannelSize;
    const Encoded e = encode(f, 3);
    ASSERT_EQ(e.superframes.size(), 3u);
    const int count = accessUnitCount(f.format);
    std::vector<int> starts = {firstAccessUnitStart(count)};
    for (size_t i = 0; i < static_cast<size_t>(count); ++i)
        starts.push_back(starts.back() + static_cast<int>(e.units[i].size()) + 2);

    auto reseal = [n](std::vector<uint8_t> &sf) { writeReedSolomonParity(sf, n); };
    auto refire = [](std::vector<uint8_t> &sf) {
        const uint16_t check = fireCode(&sf[2]);
        sf[0] = static_cast<uint8_t>(check >> 8);
        sf[1] = static_cast<uint8_t>(check);
    };
    struct Case
    {
        const char *name;
        std::function<void(std::vector<uint8_t> &)> corrupt;
        bool freshSync;  // a parser that meets this superframe first syncs on it
        int goodUnits;   // good AUs of this superframe after a good one
        std::function<bool(const DABplusParserStats &)> statsShow;
    };
    const Case cases[] = {
        {"intact", [](std::vector<uint8_t> &) {}, true, count,
         [](const DABplusParserStats &s) { return s.allGood == 1; }},
        {"Fire code bit, parity resealed",
         [&](std::vector<uint8_t> &sf) {
             sf[1] ^= 0x04;
             reseal(sf);
         },
         false, count, [](const DABplusParserStats &s) { return s.fireCorrections == 1; }},
        {"AU start, Fire code and parity resealed",
         [&](std::vector<uint8_t> &sf) {
             sf[4] ^= 0x10; // low bit of the second AU's start
             refire(sf);
             reseal(sf);
         },
         true, count - 2, [](const DABplusParserStats &s) { return s.auLost[0] == 1 && s.auLost[1] == 1; }},
        {"AU start, parity resealed: the Fire code repairs it",
         [&](std::vector<uint8_t> &sf) {
             sf[4] ^= 0x10;
             reseal(sf);
         },
         false, count, [](const DABplusParserStats &s) { return s.ausRepaired >= 1 && s.fireCorrections == 1; }},
        {"header byte, parity resealed: the Fire code keeps the old one",
         [&](std::vector<uint8_t> &sf) {
             sf[2] ^= 0x40;
             reseal(sf);
         },
         false, count, [](const DABplusParserStats &s) { return s.fireCorrections == 1; }},
        // Only the CRCs can tell a header byte with a valid Fire code from a real
        // change: four units at the starts of six give two whose bounds are real.
        {"header byte, Fire code and parity resealed",
         [&](std::vector<uint8_t> &sf) {
             sf[2] ^= 0x40; // dac_rate: four units instead of six
             refire(sf);
             reseal(sf);
         },
         true, 2, [](const DABplusParserStats &s) { return s.auLost[0] == 1 && s.auLost[3] == 1; }},
        {"AU CRC byte, parity resealed",
         [&](std::vector<uint8_t> &sf) {
             sf[starts[3] - 1] ^= 0x01;
             reseal(sf);
         },
         true, count - 1, [](const DABplusParserStats &s) { return s.auLost[2] == 1; }},
        {"AU payload byte, parity resealed",
         [&](std::vector<uint8_t> &sf) {
             sf[starts[4] + 3] ^= 0x80;
             reseal(sf);
         },
         true, count - 1, [](const DABplusParserStats &s) { return s.auLost[4] == 1; }},
        {"5 byte errors in every column",
         [&](std::vector<uint8_t> &sf) {
             for (int c = 0; c < n; ++c)
                 for (int k = 0; k < 5; ++k)
                     sf[c + (k * 24 + c) % 120 * n] ^= 0xFF;
         },
         false, count, [&](const DABplusParserStats &s) { return s.rsSymbolsCorrected == 5u * n; }},
        {"6 byte errors in one column",
         [&](std::vector<uint8_t> &sf) {
             for (int k = 0; k < 6; ++k)
                 sf[3 + (40 + k) * n] ^= 0xFF;
         },
         false, count - 1, [](const DABplusParserStats &s) { return s.rsCodewordsUncorrectable == 1; }},
        {"parity byte",
         [&](std::vector<uint8_t> &sf) { sf[115 * n + 2] ^= 0x33; },
         true, count, [](const DABplusParserStats &s) { return s.rsCodewordsCorrected == 1; }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> bad = e.superframes[1];
        c.corrupt(bad);

        const std::vector<ParsedUnit> fresh = parse(bad, n);
        const bool synced = !fresh.empty() && goodUnits(fresh[0]) > 0;
        EXPECT_EQ(synced, c.freshSync);

        const std::vector<ParsedUnit> parsed = parse(join({e.superframes[0], bad, e.superframes[2]}), n);
        ASSERT_EQ(parsed.size(), 3u);
        EXPECT_EQ(goodUnits(parsed[0]), count);
        EXPECT_EQ(goodUnits(parsed[1]), c.goodUnits);
        EXPECT_TRUE(c.statsShow(parsed[1].stats));
        EXPECT_EQ(goodUnits(parsed[2]), count) << "the superframe after it is whole again";
        for (size_t i = 0; i < parsed[1].accessUnits.size(); ++i)
            if (!parsed[1].accessUnits[i].empty()) {
                EXPECT_EQ(parsed[1].accessUnits[i], e.units[count + i]) << "unit " << i;
            }
    }
}

TEST(DabPlusSuperframe, RebuildsABroadcastSuperframeFromItsUnits)
{
    std::vector<uint8_t> recorded = readFile("dabplus-superframe-96k.bin");
    if (recorded.size() != 1440)
        GTEST_SKIP() << "test recordings not found in " ZOZ_TESTDATA_DIR;
    const int n = 12;
    RsCodecContext rs;
    ASSERT_EQ(RsCodec_Init(&rs, 8, 0x11D, 0, 1, 10, 135), 0);
    for (int column = 0; column < n; ++column) {
        uint8_t word[120];
        for (int k = 0; k < 120; ++k)
            word[k] = recorded[column + k * n];
        ASSERT_GE(RsCodec_Decode(&rs, word, nullptr, 0), 0) << "column " << column;
        for (int k = 0; k < 120; ++k)
            recorded[column + k * n] = word[k];
    }
    const uint8_t header = recorded[2];
    SuperframeFormat format;
    format.subchannelSize = n;
    format.dacRate48 = header & 0x40;
    format.sbr = header & 0x20;
    format.stereo = header & 0x10;
    format.ps = header & 0x08;
    format.mpegSurround = header & 0x07;
    ASSERT_EQ(superframeHeaderByte(format), header);

    const std::vector<ParsedUnit> parsed = parse(join({recorded, recorded}), n);
    ASSERT_GE(parsed.size(), 1u);
    ASSERT_EQ(goodUnits(parsed[0]), accessUnitCount(format));
    EXPECT_EQ(buildSuperframe(format, parsed[0].accessUnits), recorded)
        << "Fire code, starts, CRCs and parity as the broadcaster made them";
}

TEST(DabPlusSuperframe, EncodesPcmIntoSuperframes)
{
    struct Row
    {
        const char *name;
        int sampleRate;
        int frameLength;
        SuperframeFormat format;
        int superframes;
    };
    const Row rows[] = {
        {"48 kHz into 6 units", 48000, 960, {10, true, false, true, false, 0}, 2},
        {"32 kHz into 4 units", 32000, 960, {4, false, false, true, false, 0}, 3},
        {"sampling rate not that of dac_rate", 32000, 960, {10, true, false, true, false, 0}, 0},
        {"1024-sample frames", 48000, 1024, {10, true, false, true, false, 0}, 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EncoderOptions options;
        options.sampleRate = row.sampleRate;
        options.frameLength = row.frameLength;
        Encoder encoder(options);
        // Enough for the units of the superframes and one unit more, not yet finished.
        const int units = 6 * 3 + 1;
        const std::vector<int16_t> pcm = chord(row.sampleRate, 2, (units + 2) * 960);
        encoder.push(pcm.data(), pcm.size() / 2);
        int padCalls = 0;
        const std::vector<std::vector<uint8_t>> superframes =
            encodeSuperframes(encoder, row.format, [&](int unit) {
                EXPECT_EQ(unit, padCalls++);
                return padFor(unit);
            });
        if (row.superframes == 0) {
            EXPECT_TRUE(superframes.empty());
            continue;
        }
        EXPECT_GE(static_cast<int>(superframes.size()), row.superframes);
        const std::vector<ParsedUnit> parsed = parse(join(superframes), row.format.subchannelSize);
        ASSERT_EQ(parsed.size(), superframes.size());
        for (const ParsedUnit &p : parsed)
            EXPECT_EQ(goodUnits(p), accessUnitCount(row.format));
        EXPECT_EQ(padCalls, static_cast<int>(superframes.size()) * accessUnitCount(row.format));
    }
}
