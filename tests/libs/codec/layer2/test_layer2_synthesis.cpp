// The synthesis runs its window on the vector unit where the processor has one;
// the portable way must give the same samples, including where sums clip.
#include "layer2_synthesis.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

namespace {

TEST(Layer2Synthesis, VectorAndPortableWindowsAgree)
{
    auto vector = std::make_unique<Layer2SynthesisState>();
    auto portable = std::make_unique<Layer2SynthesisState>();
    Layer2Synthesis_Init(vector.get());
    Layer2Synthesis_Init(portable.get());
    if (!vector->vectorWindow)
        GTEST_SKIP() << "this processor has no vector window (AVX2); only the portable one runs";
    portable->vectorWindow = 0;

    struct Layout
    {
        const char *name;
        int channels;
        int stride;
    };
    const Layout layouts[] = {{"stereo interleaved", 2, 2}, {"stereo planar", 2, 1}, {"mono", 1, 1}};
    std::mt19937 rng(7);
    auto samples = std::make_unique<int32_t[][Layer2TimeSlots][Layer2SubBands]>(2);
    for (const Layout &layout : layouts) {
        SCOPED_TRACE(layout.name);
        for (int frame = 0; frame < 40; ++frame) {
            // Quiet, loud and full-scale frames in turn, so that outputs clip too.
            const int shift = frame % 4 == 3 ? 0 : 1 + static_cast<int>(rng() % 8);
            for (int ch = 0; ch < 2; ++ch)
                for (auto &slot : samples[ch])
                    for (int32_t &v : slot)
                        v = static_cast<int32_t>(rng()) >> shift;
            std::vector<int16_t> a(2 * Layer2FrameSamples), b(a.size());
            const size_t second = layout.stride == 2 ? 1 : Layer2FrameSamples;
            Layer2Synthesis_Run(vector.get(), samples.get(), layout.channels, a.data(), a.data() + second,
                                layout.stride);
            Layer2Synthesis_Run(portable.get(), samples.get(), layout.channels, b.data(), b.data() + second,
                                layout.stride);
            ASSERT_EQ(a, b) << "frame " << frame;
        }
    }
}

} // namespace
