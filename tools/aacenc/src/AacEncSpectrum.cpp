#include "AacEncSpectrum.h"

#include "ZozTestAacEncoder.h"

#include "aac_huffman_tables.h"
#include "aac_sfb_tables.h"

#include <cmath>
#include <cstdlib>
#include <limits>

namespace ZozTestAac {

namespace {

struct Codebook
{
    const AacHuffmanTables::Codeword *words;
    int dimension;   // values per codeword
    int modulus;     // values per position of the index
    int offset;      // added to a value (signed books) before indexing
    int largest;     // largest magnitude (16 for the escape book)
    bool isUnsigned; // signs follow the codeword
};

const Codebook &codebook(int number)
{
    using namespace AacHuffmanTables;
    static const Codebook books[12] = {
        {nullptr, 0, 0, 0, 0, false},
        {spectrumCodebook1, 4, 3, 1, 1, false},
        {spectrumCodebook2, 4, 3, 1, 1, false},
        {spectrumCodebook3, 4, 3, 0, 2, true},
        {spectrumCodebook4, 4, 3, 0, 2, true},
        {spectrumCodebook5, 2, 9, 4, 4, false},
        {spectrumCodebook6, 2, 9, 4, 4, false},
        {spectrumCodebook7, 2, 8, 0, 7, true},
        {spectrumCodebook8, 2, 8, 0, 7, true},
        {spectrumCodebook9, 2, 13, 0, 12, true},
        {spectrumCodebook10, 2, 13, 0, 12, true},
        {spectrumCodebook11, 2, 17, 0, 16, true},
    };
    return books[number];
}

// The escape sequence of a magnitude of 16 or more: N ones, a zero and N + 4 bits of
// the magnitude less 2^(N + 4), where 2^(N + 4) is the largest power of two in it.
int escapeLength(int magnitude)
{
    int n = 0;
    while ((magnitude >> (n + 5)) != 0)
        ++n;
    return 2 * n + 5;
}

void writeEscape(BitWriter &writer, int magnitude)
{
    int n = 0;
    while ((magnitude >> (n + 5)) != 0)
        ++n;
    for (int i = 0; i < n; ++i)
        writer.put(1, 1);
    writer.put(0, 1);
    writer.put(static_cast<uint32_t>(magnitude - (1 << (n + 4))), n + 4);
}

int tupleIndex(const Codebook &book, const int *values)
{
    int index = 0;
    for (int i = 0; i < book.dimension; ++i) {
        int v = book.isUnsigned ? std::abs(values[i]) : values[i];
        if (book.largest == 16 && v > 16)
            v = 16;
        index = index * book.modulus + v + book.offset;
    }
    return index;
}

struct BandTableRef
{
    const int16_t *offsets;
    int entries;
};

template <size_t N>
BandTableRef ref(const int16_t (&table)[N])
{
    return {table, static_cast<int>(N)};
}

} // namespace

BandTable bandTable(int sampleRate, int lines)
{
    using namespace AacSfbTables;
    // Which table of a family each sampling-frequency index uses.
    static const int longFamily1024[13] = {0, 0, 1, 2, 2, 3, 4, 4, 5, 5, 5, 6, 6};
    static const int longFamily960[13] = {0, 0, 1, 2, 2, 2, 3, 3, 4, 4, 4, 5, 5};
    static const int shortFamily[13] = {0, 0, 0, 1, 1, 1, 2, 2, 3, 3, 3, 4, 4};
    const BandTableRef tables1024[] = {ref(swb_offset_1024_96), ref(swb_offset_1024_64), ref(swb_offset_1024_48),
                                       ref(swb_offset_1024_32), ref(swb_offset_1024_24), ref(swb_offset_1024_16),
                                       ref(swb_offset_1024_8)};
    const BandTableRef tables960[] = {ref(swb_offset_960_96), ref(swb_offset_960_64), ref(swb_offset_960_48),
                                      ref(swb_offset_960_24),  ref(swb_offset_960_16), ref(swb_offset_960_8)};
    const BandTableRef tables128[] = {ref(swb_offset_128_96), ref(swb_offset_128_48), ref(swb_offset_128_24),
                                      ref(swb_offset_128_16), ref(swb_offset_128_8)};
    const BandTableRef tables120[] = {ref(swb_offset_120_96), ref(swb_offset_120_48), ref(swb_offset_120_24),
                                      ref(swb_offset_120_16), ref(swb_offset_120_8)};
    const int index = samplingFrequencyIndex(sampleRate);
    if (index < 0)
        return {};
    BandTableRef r;
    switch (lines) {
    case 1024:
        r = tables1024[longFamily1024[index]];
        break;
    case 960:
        r = tables960[longFamily960[index]];
        break;
    case 128:
        r = tables128[shortFamily[index]];
        break;
    case 120:
        r = tables120[shortFamily[index]];
        break;
    default:
        return {};
    }
    return {r.offsets, r.entries - 1};
}

int quantise(double magnitude, int sf)
{
    // The decoder rebuilds q^(4/3) * 2^((sf - 100) / 4); 0.4054 rounds towards the
    // smaller value where the power law makes the larger one costlier.
    const double scaled = magnitude * std::pow(2.0, -0.25 * (sf - 100));
    return static_cast<int>(std::pow(scaled, 0.75) + 0.4054);
}

int spectralBits(int number, const int *values, int count)
{
    if (number < 1 || number > EscapeCodebook)
        return -1;
    const Codebook &book = codebook(number);
    int bits = 0;
    for (int i = 0; i < count; i += book.dimension) {
        for (int j = 0; j < book.dimension; ++j) {
            const int magnitude = std::abs(values[i + j]);
            if (magnitude > book.largest && book.largest != 16)
                return -1;
            if (book.isUnsigned && magnitude != 0)
                ++bits;
            if (book.largest == 16 && magnitude >= 16)
                bits += escapeLength(magnitude);
        }
        bits += book.words[tupleIndex(book, values + i)].length;
    }
    return bits;
}

void writeSpectral(BitWriter &writer, int number, const int *values, int count)
{
    const Codebook &book = codebook(number);
    for (int i = 0; i < count; i += book.dimension) {
        const AacHuffmanTables::Codeword &word = book.words[tupleIndex(book, values + i)];
        writer.put(word.bits, word.length);
        if (book.isUnsigned)
            for (int j = 0; j < book.dimension; ++j)
                if (values[i + j] != 0)
                    writer.put(values[i + j] < 0 ? 1 : 0, 1);
        if (book.largest == 16)
            for (int j = 0; j < book.dimension; ++j)
                if (std::abs(values[i + j]) >= 16)
                    writeEscape(writer, std::abs(values[i + j]));
    }
}

void writeScalefactorDelta(BitWriter &writer, int delta)
{
    const AacHuffmanTables::Codeword &word = AacHuffmanTables::scalefactorCodebook[delta + 60];
    writer.put(word.bits, word.length);
}

std::vector<Section> findSections(const std::vector<int> &bandCodebook,
                                  const std::vector<std::vector<int>> &bandValues, int lengthBits)
{
    constexpr int Impossible = std::numeric_limits<int>::max() / 4;
    const int bands = static_cast<int>(bandCodebook.size());
    // cost[b][c]: bits of band b in codebook c.
    std::vector<std::vector<int>> cost(bands, std::vector<int>(16, Impossible));
    for (int b = 0; b < bands; ++b) {
        const int fixed = bandCodebook[b];
        if (fixed > ZeroCodebook) {
            cost[b][fixed] = 0;
            continue;
        }
        if (fixed == ZeroCodebook)
            cost[b][ZeroCodebook] = 0;
        const std::vector<int> &values = bandValues[b];
        for (int c = 1; c <= EscapeCodebook; ++c) {
            const int bits = spectralBits(c, values.data(), static_cast<int>(values.size()));
            if (bits >= 0)
                cost[b][c] = bits;
        }
    }
    const int escape = (1 << lengthBits) - 1;
    auto headerBits = [&](int length) { return 4 + lengthBits * (length / escape + 1); };
    // Best codebook and its cost for bands [start, start + length).
    auto best = [&](int start, int length, int *bits) {
        int chosen = -1, least = Impossible;
        for (int c = 0; c < 16; ++c) {
            long long sum = 0;
            for (int b = start; b < start + length; ++b)
                sum += cost[b][c];
            if (sum < least) {
                least = static_cast<int>(sum);
                chosen = c;
            }
        }
        *bits = least >= Impossible ? Impossible : least + headerBits(length);
        return chosen;
    };

    std::vector<Section> sections;
    std::vector<int> sectionBits; // cost of each section as it stands
    for (int b = 0; b < bands; ++b) {
        int bits;
        sections.push_back({best(b, 1, &bits), b, 1});
        sectionBits.push_back(bits);
    }
    for (;;) {
        int bestSaving = 0, bestIndex = -1, bestBits = 0;
        for (size_t i = 0; i + 1 < sections.size(); ++i) {
            int merged;
            best(sections[i].start, sections[i].length + sections[i + 1].length, &merged);
            if (merged >= Impossible)
                continue;
            const int saving = sectionBits[i] + sectionBits[i + 1] - merged;
            if (saving > bestSaving) {
                bestSaving = saving;
                bestIndex = static_cast<int>(i);
                bestBits = merged;
            }
        }
        if (bestIndex < 0)
            break;
        Section &first = sections[bestIndex];
        first.length += sections[bestIndex + 1].length;
        int bits;
        first.codebook = best(first.start, first.length, &bits);
        sectionBits[bestIndex] = bestBits;
        sections.erase(sections.begin() + bestIndex + 1);
        sectionBits.erase(sectionBits.begin() + bestIndex + 1);
    }
    return sections;
}

} // namespace ZozTestAac
