#include "ZOZTestTone.h"

#include <array>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

namespace ZOZ {

namespace {

constexpr uint32_t Steps = 5;
constexpr double HighTopHz = 1800.0;
constexpr double LowTopHz = 160.0;
constexpr uint32_t LowFrequency = 3;
constexpr uint32_t Surround = 6;

struct Tables
{
    std::vector<int16_t> high;
    std::vector<int16_t> low;
};

// Built once, on first use.
const Tables &tables()
{
    static const Tables built = [] {
        Tables t;
        t.high.resize(TestTone::TableLength);
        t.low.resize(TestTone::TableLength);
        uint32_t at = 0;
        for (uint32_t k = Steps; k >= 1; --k) {
            for (uint32_t i = 0; i < TestTone::SampleRate; ++i, ++at) {
                const double phase = 2.0 * std::numbers::pi * double(i) / TestTone::SampleRate;
                t.high[at] = int16_t(std::sin(phase * HighTopHz * k / Steps) * TestTone::Amplitude);
                t.low[at] = int16_t(std::sin(phase * LowTopHz * k / Steps) * TestTone::Amplitude);
            }
        }
        return t;
    }();
    return built;
}

} // namespace

void TestTone::fill(PcmBlock *block, uint32_t channels, uint8_t mask)
{
    block->pcm.resize(BlockValues * sizeof(int16_t));
    std::memset(block->pcm.data(), 0, block->pcm.size());
    block->samples = BlockValues;
    block->bytes = BlockValues * sizeof(int16_t);
    if (channels != 2 && channels != Surround)
        return;
    const Tables &t = tables();
    auto *out = reinterpret_cast<int16_t *>(block->pcm.data());
    for (uint32_t frame = 0; frame < BlockValues / channels; ++frame) {
        for (uint32_t c = 0; c < channels; ++c) {
            if (channels == Surround && c == LowFrequency)
                out[frame * channels + c] = (mask & (1u << c)) ? t.low[m_position] : 0;
            else if (mask & (1u << c))
                out[frame * channels + c] = t.high[m_position];
        }
        m_position = (m_position + 1) % TableLength;
    }
}

} // namespace ZOZ
