#include "ZozTestAacEncoder.h"

#include "AacEncBits.h"
#include "AacEncSpectrum.h"
#include "AacEncTransform.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace ZozTestAac {

namespace {

constexpr int ElementSingleChannel = 0;
constexpr int ElementChannelPair = 1;
constexpr int ElementDataStream = 4;
constexpr int ElementFill = 6;
constexpr int ElementEnd = 7;
constexpr int MaxWindows = 8;
constexpr int MaxBands = 64;
constexpr int MaxDataStreamBytes = 255 + 255;
// A fill element holds at most 15 + 255 - 1 payload bytes.
constexpr int MaxFillBytes = 269;

// The layout of one frame's spectrum: windows, groups and bands.
struct Layout
{
    WindowSequence sequence = WindowSequence::OnlyLong;
    int shape = 0;
    int windowLines = 0; // lines per window
    int windows = 1;
    int groups = 1;
    int groupLength[MaxWindows] = {1};
    int groupFirst[MaxWindows] = {0};
    BandTable bands;
    int maxBand = 0;
    int grouping = 0; // scale_factor_grouping as sent

    // Lines of band b of group g, window by window, as they are coded.
    template <typename F>
    void forEachLine(int g, int b, F f) const
    {
        for (int w = groupFirst[g]; w < groupFirst[g] + groupLength[g]; ++w)
            for (int k = bands.offsets[b]; k < bands.offsets[b + 1]; ++k)
                f(w * windowLines + k);
    }
    int lines() const { return windows * windowLines; }
};

struct ChannelCoding
{
    std::vector<double> spectrum;
    std::vector<int> quantised;
    int codebook[MaxWindows][MaxBands] = {}; // -1 regular (set during coding), 0 zero, 13..15 special
    int scale[MaxWindows][MaxBands] = {};    // scale factor, noise energy or intensity position
    int globalGain = 0;
    bool pulsePresent = false;
    int pulseStart = 0;
    int pulseCount = 0;
    int pulseOffset[4] = {};
    int pulseAmplitude[4] = {};
    std::vector<std::vector<Section>> sections; // per group
};

double bandEnergy(const Layout &layout, const std::vector<double> &x, int g, int b)
{
    double e = 0;
    layout.forEachLine(g, b, [&](int i) { e += x[i] * x[i]; });
    return e;
}

int bandStartHz(const Layout &layout, int b, int sampleRate)
{
    return static_cast<int>(static_cast<long long>(layout.bands.offsets[b]) * sampleRate / (2 * layout.windowLines));
}

} // namespace

struct Encoder::Impl
{
    std::vector<std::vector<double>> input; // per channel, from padded sample `base` on
    long long base = 0;                     // padded index of input[c][0]
    long long padded = 0;                   // padded samples pushed (one frame of zeros first)
    bool finished = false;
    int totalUnits = -1;                    // known after finish()
    std::vector<bool> wantsShort;           // per unit, computed once
    WindowSequence previousSequence = WindowSequence::OnlyLong;
    int previousShape = 0;

    double sample(int c, long long index) const
    {
        const long long i = index - base;
        return i >= 0 && i < static_cast<long long>(input[c].size()) ? input[c][i] : 0.0;
    }
};

Encoder::Encoder(const EncoderOptions &options) : m_options(options), m_impl(new Impl)
{
    m_options.channels = std::clamp(m_options.channels, 1, 2);
    // From 100 up, every band's scale factor lies within 60 of every other's.
    m_options.step = std::clamp(m_options.step, 100, 255);
    m_impl->input.assign(m_options.channels, std::vector<double>(m_options.frameLength, 0.0));
    m_impl->padded = m_options.frameLength;
}

Encoder::~Encoder() { delete m_impl; }

void Encoder::push(const int16_t *pcm, std::size_t samplesPerChannel)
{
    if (m_impl->finished)
        return;
    for (int c = 0; c < m_options.channels; ++c)
        for (std::size_t i = 0; i < samplesPerChannel; ++i)
            m_impl->input[c].push_back(pcm[i * m_options.channels + c]);
    m_impl->padded += static_cast<long long>(samplesPerChannel);
}

void Encoder::finish()
{
    if (m_impl->finished)
        return;
    const int L = m_options.frameLength;
    const long long real = m_impl->padded - L;
    // Unit t gives the samples of frame t - 1, so one unit more than frames.
    m_impl->totalUnits = static_cast<int>((real + L - 1) / L) + 1;
    const long long needed = static_cast<long long>(m_impl->totalUnits + 3) * L;
    for (int c = 0; c < m_options.channels; ++c)
        m_impl->input[c].resize(static_cast<size_t>(needed - m_impl->base), 0.0);
    m_impl->padded = needed;
    m_impl->finished = true;
}

int Encoder::unitsReady() const
{
    if (m_impl->finished)
        return m_impl->totalUnits - m_unitsDone;
    const long long L = m_options.frameLength;
    // Unit t needs samples up to (t + 3) L: its own block and the next one's attack test.
    const long long possible = m_impl->padded / L - 2;
    return static_cast<int>(std::max<long long>(0, possible - m_unitsDone));
}

namespace {

// True when the middle of unit t's block holds an attack: a short block much louder
// than the ones before it.
bool hasAttack(const Encoder::Impl &impl, int channels, int L, int t)
{
    const int S = L / 8;
    const long long start = static_cast<long long>(t) * L + L / 2;
    double previous = 0;
    for (int c = 0; c < channels; ++c)
        for (long long i = start - L; i < start; ++i)
            previous += impl.sample(c, i) * impl.sample(c, i);
    previous /= 8;
    for (int s = 0; s < 8; ++s) {
        double e = 0;
        for (int c = 0; c < channels; ++c)
            for (long long i = start + s * S; i < start + (s + 1) * S; ++i)
                e += impl.sample(c, i) * impl.sample(c, i);
        if (e > 10 * previous + 1e5 * S)
            return true;
        previous = 0.75 * previous + 0.25 * e;
    }
    return false;
}

} // namespace

// Implementation details of one unit, kept out of the class header.
namespace {

struct UnitCoder
{
    const EncoderOptions &options;
    Layout layout;
    std::vector<ChannelCoding> channels;
    bool midSide[MaxWindows][MaxBands] = {};
    int midSidePresent = 0;
    UnitReport report;

    UnitCoder(const EncoderOptions &o) : options(o) {}

    void decideTools()
    {
        const int bandLimit = [&] {
            int limit = layout.bands.bands;
            if (options.bandwidthHz > 0)
                for (int b = 0; b < layout.bands.bands; ++b)
                    if (bandStartHz(layout, b, options.sampleRate) >= options.bandwidthHz) {
                        limit = b;
                        break;
                    }
            return limit;
        }();
        for (ChannelCoding &ch : channels)
            for (int g = 0; g < layout.groups; ++g)
                for (int b = 0; b < MaxBands; ++b)
                    ch.codebook[g][b] = b < bandLimit ? -1 : ZeroCodebook;

        for (int g = 0; g < layout.groups; ++g)
            for (int b = 0; b < bandLimit; ++b) {
                const int hz = bandStartHz(layout, b, options.sampleRate);
                if (channels.size() == 2 && options.intensityFromHz > 0 && hz >= options.intensityFromHz) {
                    const std::vector<double> &l = channels[0].spectrum, &r = channels[1].spectrum;
                    double el = 0, er = 0, elr = 0;
                    layout.forEachLine(g, b, [&](int i) {
                        el += l[i] * l[i];
                        er += r[i] * r[i];
                        elr += l[i] * r[i];
                    });
                    if (el > 0) {
                        // The decoder scales the left lines by 2^(-position / 4).
                        const double position = er > 0 ? 2.0 * std::log2(el / er) : 60.0;
                        channels[1].codebook[g][b] = elr >= 0 ? IntensityCodebook : IntensityOutOfPhaseCodebook;
                        channels[1].scale[g][b] = std::clamp(static_cast<int>(std::lround(position)), -60, 60);
                        ++report.intensityBands;
                    }
                }
                if (options.noiseFromHz > 0 && hz >= options.noiseFromHz)
                    for (ChannelCoding &ch : channels) {
                        if (ch.codebook[g][b] != -1)
                            continue;
                        const double e = bandEnergy(layout, ch.spectrum, g, b);
                        if (e <= 0)
                            continue;
                        // Noise of energy 2^(energy / 2) in the band.
                        ch.codebook[g][b] = NoiseCodebook;
                        ch.scale[g][b] = static_cast<int>(std::lround(2.0 * std::log2(e)));
                        ++report.noiseBands;
                    }
                if (channels.size() == 2 && options.midSide && channels[0].codebook[g][b] == -1
                    && channels[1].codebook[g][b] == -1) {
                    std::vector<double> &l = channels[0].spectrum, &r = channels[1].spectrum;
                    double el = 0, er = 0, em = 0, es = 0;
                    layout.forEachLine(g, b, [&](int i) {
                        el += l[i] * l[i];
                        er += r[i] * r[i];
                        em += (l[i] + r[i]) * (l[i] + r[i]) / 4;
                        es += (l[i] - r[i]) * (l[i] - r[i]) / 4;
                    });
                    if (el > 0 && er > 0 && std::min(em, es) < 0.3 * std::min(el, er)) {
                        midSide[g][b] = true;
                        layout.forEachLine(g, b, [&](int i) {
                            const double m = (l[i] + r[i]) / 2, s = (l[i] - r[i]) / 2;
                            l[i] = m;
                            r[i] = s;
                        });
                        ++report.midSideBands;
                    }
                }
            }
    }

    // Quantises every band not taken by a tool with the step; codebook -1 stays for
    // bands with values, 0 for those that quantise to nothing.
    void quantiseChannel(ChannelCoding &ch, int step)
    {
        ch.quantised.assign(layout.lines(), 0);
        for (int g = 0; g < layout.groups; ++g)
            for (int b = 0; b < layout.bands.bands; ++b) {
                if (ch.codebook[g][b] != -1)
                    continue;
                double largest = 0;
                layout.forEachLine(g, b, [&](int i) { largest = std::max(largest, std::abs(ch.spectrum[i])); });
                int sf = step;
                while (sf < 255 && quantise(largest, sf) > MaxQuantised)
                    ++sf;
                bool any = false;
                layout.forEachLine(g, b, [&](int i) {
                    const int q = quantise(std::abs(ch.spectrum[i]), sf);
                    ch.quantised[i] = ch.spectrum[i] < 0 ? -q : q;
                    any |= q != 0;
                });
                // A silent band keeps the step as its scale factor in case a section
                // takes it into a spectral codebook.
                ch.scale[g][b] = any ? sf : step;
                if (!any)
                    ch.codebook[g][b] = ZeroCodebook;
            }
    }

    // Moves up to four of the largest lines of a long frame into pulse data.
    void findPulses(ChannelCoding &ch)
    {
        ch.pulsePresent = false;
        if (!options.pulses || layout.sequence == WindowSequence::EightShort)
            return;
        auto regular = [&](int k) {
            int b = 0;
            while (b + 1 <= layout.bands.bands && layout.bands.offsets[b + 1] <= k)
                ++b;
            return b < layout.maxBand && ch.codebook[0][b] == -1 ? b : -1;
        };
        int bestLine = -1;
        for (int k = 0; k < layout.windowLines; ++k)
            if (regular(k) >= 0 && std::abs(ch.quantised[k]) >= 2
                && (bestLine < 0 || std::abs(ch.quantised[k]) > std::abs(ch.quantised[bestLine])))
                bestLine = k;
        if (bestLine < 0)
            return;
        ch.pulseStart = regular(bestLine);
        int position = layout.bands.offsets[ch.pulseStart];
        int count = 0;
        for (int searchFrom = position; count < 4;) {
            int chosen = -1;
            for (int k = searchFrom; k <= position + 31 && k < layout.windowLines; ++k)
                if (regular(k) >= 0 && std::abs(ch.quantised[k]) >= 2
                    && (chosen < 0 || std::abs(ch.quantised[k]) > std::abs(ch.quantised[chosen])))
                    chosen = k;
            if (chosen < 0)
                break;
            // The decoder adds the amplitude away from zero; one step stays in the line
            // so that its sign (and its band's place) survives.
            const int amplitude = std::min(15, std::abs(ch.quantised[chosen]) - 1);
            ch.pulseOffset[count] = chosen - position;
            ch.pulseAmplitude[count] = amplitude;
            ch.quantised[chosen] += ch.quantised[chosen] > 0 ? -amplitude : amplitude;
            ++count;
            position = chosen;
            searchFrom = chosen + 1;
        }
        if (count == 0)
            return;
        ch.pulsePresent = true;
        ch.pulseCount = count;
        report.pulses += count;
    }

    void findMaxBand()
    {
        layout.maxBand = 0;
        for (const ChannelCoding &ch : channels)
            for (int g = 0; g < layout.groups; ++g)
                for (int b = 0; b < layout.bands.bands; ++b)
                    if (ch.codebook[g][b] != ZeroCodebook)
                        layout.maxBand = std::max(layout.maxBand, b + 1);
    }

    // Section search, then the scale factors made codable: the first regular band
    // sets the global gain, and every difference stays within +-60.
    void prepareCoding(ChannelCoding &ch, int step)
    {
        ch.sections.assign(layout.groups, {});
        for (int g = 0; g < layout.groups; ++g) {
            std::vector<int> fixed(layout.maxBand);
            std::vector<std::vector<int>> values(layout.maxBand);
            for (int b = 0; b < layout.maxBand; ++b) {
                fixed[b] = ch.codebook[g][b];
                layout.forEachLine(g, b, [&](int i) { values[b].push_back(ch.quantised[i]); });
            }
            const int lengthBits = layout.sequence == WindowSequence::EightShort ? 3 : 5;
            ch.sections[g] = findSections(fixed, values, lengthBits);
            for (const Section &s : ch.sections[g]) {
                if (s.codebook == EscapeCodebook)
                    ++report.escapeSections;
                for (int b = s.start; b < s.start + s.length; ++b)
                    if (ch.codebook[g][b] <= ZeroCodebook)
                        ch.codebook[g][b] = s.codebook;
            }
        }
        ch.globalGain = -1;
        for (int g = 0; g < layout.groups && ch.globalGain < 0; ++g)
            for (int b = 0; b < layout.maxBand && ch.globalGain < 0; ++b)
                if (ch.codebook[g][b] >= 1 && ch.codebook[g][b] <= EscapeCodebook)
                    ch.globalGain = ch.scale[g][b];
        if (ch.globalGain < 0)
            ch.globalGain = std::clamp(step, 0, 255);
        int lastScale = ch.globalGain, lastIntensity = 0;
        int lastNoise = ch.globalGain - 90;
        bool firstNoise = true;
        for (int g = 0; g < layout.groups; ++g)
            for (int b = 0; b < layout.maxBand; ++b) {
                const int cb = ch.codebook[g][b];
                int &v = ch.scale[g][b];
                if (cb == NoiseCodebook) {
                    v = firstNoise ? std::clamp(v, lastNoise - 256, lastNoise + 255) : std::clamp(v, lastNoise - 60, lastNoise + 60);
                    firstNoise = false;
                    lastNoise = v;
                } else if (cb == IntensityCodebook || cb == IntensityOutOfPhaseCodebook) {
                    v = std::clamp(v, lastIntensity - 60, lastIntensity + 60);
                    lastIntensity = v;
                } else if (cb != ZeroCodebook) {
                    // Raising a band only coarsens it; its values are requantised below.
                    v = std::clamp(v, lastScale - 60, lastScale + 60);
                    lastScale = v;
                }
            }
    }

    void writeIcsInfo(BitWriter &w) const
    {
        w.put(0, 1); // ics_reserved_bit
        w.put(static_cast<uint32_t>(layout.sequence), 2);
        w.put(static_cast<uint32_t>(layout.shape), 1);
        if (layout.sequence == WindowSequence::EightShort) {
            w.put(static_cast<uint32_t>(layout.maxBand), 4);
            w.put(static_cast<uint32_t>(layout.grouping), 7);
        } else {
            w.put(static_cast<uint32_t>(layout.maxBand), 6);
            w.put(0, 1); // predictor_data_present
        }
    }

    void writeChannelStream(BitWriter &w, const ChannelCoding &ch, bool commonWindow) const
    {
        w.put(static_cast<uint32_t>(ch.globalGain), 8);
        if (!commonWindow)
            writeIcsInfo(w);
        const bool isShort = layout.sequence == WindowSequence::EightShort;
        const int lengthBits = isShort ? 3 : 5;
        const int escape = (1 << lengthBits) - 1;
        for (int g = 0; g < layout.groups; ++g)
            for (const Section &s : ch.sections[g]) {
                w.put(static_cast<uint32_t>(s.codebook), 4);
                int length = s.length;
                while (length >= escape) {
                    w.put(static_cast<uint32_t>(escape), lengthBits);
                    length -= escape;
                }
                w.put(static_cast<uint32_t>(length), lengthBits);
            }
        int lastScale = ch.globalGain, lastIntensity = 0, lastNoise = ch.globalGain - 90;
        bool firstNoise = true;
        for (int g = 0; g < layout.groups; ++g)
            for (int b = 0; b < layout.maxBand; ++b) {
                const int cb = ch.codebook[g][b];
                const int v = ch.scale[g][b];
                if (cb == ZeroCodebook)
                    continue;
                if (cb == NoiseCodebook) {
                    if (firstNoise)
                        w.put(static_cast<uint32_t>(v - lastNoise + 256), 9);
                    else
                        writeScalefactorDelta(w, v - lastNoise);
                    firstNoise = false;
                    lastNoise = v;
                } else if (cb == IntensityCodebook || cb == IntensityOutOfPhaseCodebook) {
                    writeScalefactorDelta(w, v - lastIntensity);
                    lastIntensity = v;
                } else {
                    writeScalefactorDelta(w, v - lastScale);
                    lastScale = v;
                }
            }
        w.put(ch.pulsePresent ? 1 : 0, 1);
        if (ch.pulsePresent) {
            w.put(static_cast<uint32_t>(ch.pulseCount - 1), 2);
            w.put(static_cast<uint32_t>(ch.pulseStart), 6);
            for (int i = 0; i < ch.pulseCount; ++i) {
                w.put(static_cast<uint32_t>(ch.pulseOffset[i]), 5);
                w.put(static_cast<uint32_t>(ch.pulseAmplitude[i]), 4);
            }
        }
        w.put(0, 1); // tns_data_present
        w.put(0, 1); // gain_control_data_present
        for (int g = 0; g < layout.groups; ++g)
            for (const Section &s : ch.sections[g]) {
                if (s.codebook == ZeroCodebook || s.codebook > EscapeCodebook)
                    continue;
                for (int b = s.start; b < s.start + s.length; ++b) {
                    std::vector<int> values;
                    layout.forEachLine(g, b, [&](int i) { values.push_back(ch.quantised[i]); });
                    writeSpectral(w, s.codebook, values.data(), static_cast<int>(values.size()));
                }
            }
    }

    void writeAudio(BitWriter &w) const
    {
        if (channels.size() == 1) {
            w.put(ElementSingleChannel, 3);
            w.put(0, 4);
            writeChannelStream(w, channels[0], false);
            return;
        }
        w.put(ElementChannelPair, 3);
        w.put(0, 4);
        w.put(1, 1); // common_window: the stereo tools need it
        writeIcsInfo(w);
        w.put(static_cast<uint32_t>(midSidePresent), 2);
        if (midSidePresent == 1)
            for (int g = 0; g < layout.groups; ++g)
                for (int b = 0; b < layout.maxBand; ++b)
                    w.put(midSide[g][b] ? 1 : 0, 1);
        writeChannelStream(w, channels[0], true);
        writeChannelStream(w, channels[1], true);
    }
};

void writeDataStream(BitWriter &w, const std::vector<uint8_t> &bytes)
{
    const int count = static_cast<int>(std::min<size_t>(bytes.size(), MaxDataStreamBytes));
    w.put(ElementDataStream, 3);
    w.put(0, 4); // element_instance_tag
    w.put(0, 1); // data_byte_align_flag
    w.put(static_cast<uint32_t>(std::min(count, 255)), 8);
    if (count >= 255)
        w.put(static_cast<uint32_t>(count - 255), 8);
    for (int i = 0; i < count; ++i)
        w.put(bytes[i], 8);
}

// Fill elements of `bits` bits in all (less up to 7, left to the final alignment).
void writeFill(BitWriter &w, long long bits)
{
    while (bits >= 7) {
        int count;
        if (bits >= 15 + 8 * 15) {
            count = static_cast<int>(std::min<long long>(MaxFillBytes, (bits - 15) / 8));
            w.put(ElementFill, 3);
            w.put(15, 4);
            w.put(static_cast<uint32_t>(count - 14), 8);
            bits -= 15 + 8LL * count;
        } else {
            count = static_cast<int>(std::min<long long>(14, (bits - 7) / 8));
            w.put(ElementFill, 3);
            w.put(static_cast<uint32_t>(count), 4);
            bits -= 7 + 8LL * count;
        }
        if (count > 0) {
            w.put(0, 4); // extension_type: fill data
            w.put(0, 4); // fill_nibble
            for (int i = 1; i < count; ++i)
                w.put(0xA5, 8);
        }
    }
}

} // namespace

std::vector<uint8_t> Encoder::encodeUnit(const UnitExtras &extras)
{
    if (unitsReady() <= 0)
        return {};
    Impl &impl = *m_impl;
    const int L = m_options.frameLength;
    const int t = m_unitsDone;

    // The window of this unit, from the attack tests of this unit and the next.
    auto wants = [&](int unit) {
        switch (m_options.windows) {
        case WindowPlan::LongOnly:
            return false;
        case WindowPlan::Cycle:
            return unit % 5 == 2 || unit % 5 == 3;
        case WindowPlan::Transients:
            break;
        }
        while (static_cast<int>(impl.wantsShort.size()) <= unit)
            impl.wantsShort.push_back(
                hasAttack(impl, m_options.channels, L, static_cast<int>(impl.wantsShort.size())));
        return static_cast<bool>(impl.wantsShort[unit]);
    };
    const bool previousShortSlope = impl.previousSequence == WindowSequence::LongStart
                                    || impl.previousSequence == WindowSequence::EightShort;
    // A unit starts with the slope the previous one ended with; an attack that was not
    // foreseen gets its short windows one unit late.
    const bool shortAhead = wants(t) || wants(t + 1);
    WindowSequence sequence;
    if (previousShortSlope)
        sequence = shortAhead ? WindowSequence::EightShort : WindowSequence::LongStop;
    else
        sequence = shortAhead ? WindowSequence::LongStart : WindowSequence::OnlyLong;
    int shape = 0;
    switch (m_options.shape) {
    case WindowShapeChoice::Sine:
        shape = 0;
        break;
    case WindowShapeChoice::Kbd:
        shape = 1;
        break;
    case WindowShapeChoice::Alternating:
        shape = t % 2;
        break;
    }

    UnitCoder coder(m_options);
    Layout &layout = coder.layout;
    layout.sequence = sequence;
    layout.shape = shape;
    if (sequence == WindowSequence::EightShort) {
        layout.windowLines = L / 8;
        layout.windows = 8;
        layout.grouping = m_options.shortGrouping & 0x7F;
        layout.groups = 0;
        for (int w = 0; w < 8; ++w) {
            const bool joins = w > 0 && ((layout.grouping >> (7 - w)) & 1);
            if (joins) {
                ++layout.groupLength[layout.groups - 1];
            } else {
                layout.groupFirst[layout.groups] = w;
                layout.groupLength[layout.groups] = 1;
                ++layout.groups;
            }
        }
    } else {
        layout.windowLines = L;
    }
    layout.bands = bandTable(m_options.sampleRate, layout.windowLines);
    if (layout.bands.bands == 0)
        return {};

    std::vector<double> block(2 * L);
    coder.channels.resize(m_options.channels);
    for (int c = 0; c < m_options.channels; ++c) {
        for (int i = 0; i < 2 * L; ++i)
            block[i] = impl.sample(c, static_cast<long long>(t) * L + i);
        coder.channels[c].spectrum.assign(L, 0.0);
        analyseBlock(block.data(), L, sequence, impl.previousShape, shape, coder.channels[c].spectrum.data());
    }
    coder.decideTools();
    for (int g = 0; g < layout.groups; ++g)
        for (int b = 0; b < layout.bands.bands; ++b)
            coder.midSidePresent |= coder.midSide[g][b] ? 1 : 0;
    const UnitReport toolReport = coder.report;
    int codebookSnapshot[2][MaxWindows][MaxBands];
    int scaleSnapshot[2][MaxWindows][MaxBands];
    for (int c = 0; c < m_options.channels; ++c) {
        std::copy(&coder.channels[c].codebook[0][0], &coder.channels[c].codebook[0][0] + MaxWindows * MaxBands,
                  &codebookSnapshot[c][0][0]);
        std::copy(&coder.channels[c].scale[0][0], &coder.channels[c].scale[0][0] + MaxWindows * MaxBands,
                  &scaleSnapshot[c][0][0]);
    }

    std::vector<uint8_t> unit;
    for (int step = m_options.step; step <= 255; step += 4) {
        coder.report = toolReport;
        for (int c = 0; c < m_options.channels; ++c) {
            ChannelCoding &ch = coder.channels[c];
            std::copy(&codebookSnapshot[c][0][0], &codebookSnapshot[c][0][0] + MaxWindows * MaxBands, &ch.codebook[0][0]);
            std::copy(&scaleSnapshot[c][0][0], &scaleSnapshot[c][0][0] + MaxWindows * MaxBands, &ch.scale[0][0]);
            coder.quantiseChannel(ch, step);
        }
        coder.findMaxBand();
        for (ChannelCoding &ch : coder.channels)
            coder.findPulses(ch);
        for (ChannelCoding &ch : coder.channels)
            coder.prepareCoding(ch, step);

        BitWriter w;
        if (!extras.dataStream.empty())
            writeDataStream(w, extras.dataStream);
        coder.writeAudio(w);
        if (extras.exactBytes > 0) {
            const long long room = 8LL * extras.exactBytes - static_cast<long long>(w.bits()) - 3;
            if (room < 0)
                continue;
            writeFill(w, room);
        }
        w.put(ElementEnd, 3);
        w.alignToByte();
        if (extras.exactBytes > 0 && static_cast<int>(w.bytes().size()) != extras.exactBytes)
            continue;
        unit = w.bytes();
        coder.report.step = step;
        break;
    }
    if (unit.empty())
        return {};
    coder.report.sequence = sequence;
    coder.report.windowShape = shape;
    coder.report.maxBand = layout.maxBand;
    m_report = coder.report;
    impl.previousSequence = sequence;
    impl.previousShape = shape;
    ++m_unitsDone;

    // Samples before the next unit's block are no longer needed.
    const long long keepFrom = static_cast<long long>(m_unitsDone) * L - L;
    if (keepFrom - impl.base > 16 * L)
        for (int c = 0; c < m_options.channels; ++c) {
            const long long drop = keepFrom - impl.base;
            impl.input[c].erase(impl.input[c].begin(), impl.input[c].begin() + drop);
            if (c == m_options.channels - 1)
                impl.base = keepFrom;
        }
    return unit;
}

std::vector<std::vector<uint8_t>> encodeAll(const EncoderOptions &options, const std::vector<int16_t> &pcm)
{
    Encoder encoder(options);
    encoder.push(pcm.data(), pcm.size() / encoder.options().channels);
    encoder.finish();
    std::vector<std::vector<uint8_t>> units;
    while (encoder.unitsReady() > 0)
        units.push_back(encoder.encodeUnit());
    return units;
}

} // namespace ZozTestAac
