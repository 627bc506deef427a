// Classification of the decoded channels into canonical positions, and the
// standard output layouts.
#include "pcmdmx_internal.h"

#include <cstdlib>

namespace {

struct Triple
{
    int x, y, z;
};

const Triple canonical[PcmDmxPositions] = {
    {0, 0, 0}, {-2, 0, 0}, {2, 0, 0}, {-3, 4, 0}, {3, 4, 0}, {0, 0, -18}, {-2, 2, 8}, {2, 2, 8},
};

int distance(const Triple &a, const Triple &b)
{
    const int dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return dx * dx + dy * dy + dz * dz;
}

bool mainLayer(const Triple &t)
{
    return t.z == 0;
}

} // namespace

int PcmDmx_Classify(const uint32_t *types, const uint8_t *indices, int channels, PcmDmxLayout *layout)
{
    int result = 0;
    int kind[PcmDmxMaxBuffer];
    int layer[PcmDmxMaxBuffer];
    int index[PcmDmxMaxBuffer];
    for (int c = 0; c < channels; ++c) {
        kind[c] = static_cast<int>(types[c] & 0x0F);
        layer[c] = static_cast<int>((types[c] >> 4) & 0x0F);
        index[c] = indices[c];
        if (kind[c] < PCMDMX_CHANNEL_FRONT || kind[c] > PCMDMX_CHANNEL_LFE || layer[c] > 2)
            return 2;
    }

    // Groups whose indices are not 0..n-1 are renumbered in buffer order.
    int groupSize[5][3] = {};
    for (int c = 0; c < channels; ++c)
        ++groupSize[kind[c]][layer[c]];
    for (int k = 1; k <= 4; ++k) {
        for (int l = 0; l < 3; ++l) {
            const int n = groupSize[k][l];
            if (n == 0)
                continue;
            int sum = 0;
            bool inRange = true;
            for (int c = 0; c < channels; ++c)
                if (kind[c] == k && layer[c] == l) {
                    sum += index[c];
                    inRange = inRange && index[c] < n;
                }
            if (sum != n * (n - 1) / 2 || !inRange) {
                int next = 0;
                for (int c = 0; c < channels; ++c)
                    if (kind[c] == k && layer[c] == l)
                        index[c] = next++;
                result = 1;
            }
        }
    }

    Triple pos[PcmDmxMaxBuffer];
    for (int c = 0; c < channels; ++c) {
        const int k = kind[c];
        const int n = groupSize[k][layer[c]];
        Triple t{};
        t.y = k == PCMDMX_CHANNEL_LFE ? 0 : 2 * (k - 1);
        t.z = k == PCMDMX_CHANNEL_LFE ? -18 : 2 * (layer[c] == 2 ? -1 : layer[c]);
        int i = index[c];
        bool middle = false;
        if (n % 2 == 1) {
            if (k == PCMDMX_CHANNEL_FRONT) {
                middle = i == 0;
                --i;
            } else {
                middle = i == n - 1;
            }
        }
        if (!middle) {
            const bool nearFirst = k == PCMDMX_CHANNEL_FRONT || k == PCMDMX_CHANNEL_LFE
                                   || (k == PCMDMX_CHANNEL_SIDE && layer[c] == 0);
            const int magnitude = nearFirst ? i / 2 + 1 : n / 2 - i / 2 - n % 2 + 1;
            const int p = (i % 2 == 0) ? -magnitude : magnitude;
            if (k == PCMDMX_CHANNEL_SIDE && layer[c] == 0) {
                t.x = p < 0 ? -3 : 3;
                t.y = std::abs(p) + 1;
                t.z = 0;
            } else {
                t.x = (n / 2 == 1 && k != PCMDMX_CHANNEL_LFE) ? 2 * p : p;
            }
        }
        pos[c] = t;
    }

    int counts[5] = {};
    for (int c = 0; c < channels; ++c)
        ++counts[kind[c]];
    layout->code = static_cast<uint32_t>(counts[1] | counts[2] << 4 | counts[3] << 8 | counts[4] << 12);
    for (int8_t &s : layout->source)
        s = -1;
    layout->variant = 0;

    bool placed[PcmDmxMaxBuffer] = {};
    // Pass 1: exact positions.
    for (int c = 0; c < channels; ++c)
        for (int p = 0; p < 6; ++p)
            if (layout->source[p] < 0 && distance(pos[c], canonical[p]) == 0) {
                layout->source[p] = static_cast<int8_t>(c);
                placed[c] = true;
                break;
            }
    // Pass 2: the nearest free main position, keeping to the same layer.
    const int start = (counts[1] % 2 == 0 && channels < 8) ? 1 : 0;
    for (int c = 0; c < channels; ++c) {
        if (placed[c])
            continue;
        int best = -1, bestDistance = 20;
        for (int p = start; p < 6; ++p) {
            if (layout->source[p] >= 0 || mainLayer(pos[c]) != mainLayer(canonical[p]))
                continue;
            const int d = distance(pos[c], canonical[p]);
            if (d < bestDistance) {
                bestDistance = d;
                best = p;
            }
        }
        if (best >= 0) {
            layout->source[best] = static_cast<int8_t>(c);
            placed[c] = true;
        }
    }
    // Pass 3: every free position takes the nearest remaining channel.
    for (int p = start; p < PcmDmxPositions; ++p) {
        if (layout->source[p] >= 0)
            continue;
        int best = -1, bestDistance = 256;
        for (int c = 0; c < channels; ++c) {
            if (placed[c])
                continue;
            const int d = distance(pos[c], canonical[p]);
            if (d < bestDistance) {
                bestDistance = d;
                best = c;
            }
        }
        if (best >= 0) {
            layout->source[p] = static_cast<int8_t>(best);
            placed[best] = true;
            if (channels < 8 && p >= 6 && mainLayer(pos[best]))
                ++p;
        }
    }
    for (int c = 0; c < channels; ++c)
        if (!placed[c])
            return 4;

    if (channels > 6) {
        switch (layout->code) {
        case 0x1205: {
            // Two upper-layer front channels make the variant with a raised front pair.
            const int a = layout->source[6], b = layout->source[7];
            const bool upper = a >= 0 && b >= 0 && types[a] == 0x11 && types[b] == 0x11;
            layout->variant = upper ? 14 : 7;
            break;
        }
        case 0x1303: layout->variant = 11; break;
        case 0x1403: layout->variant = 12; break;
        default: break;
        }
    }
    return result;
}

uint32_t PcmDmx_StandardCode(int channels)
{
    static const uint32_t codes[9] = {0x0, 0x1, 0x2, 0x3, 0x103, 0x203, 0x1203, 0x1303, 0x1403};
    return (channels >= 0 && channels <= 8) ? codes[channels] : 0;
}

int PcmDmx_StandardPositions(int channels, int8_t positions[PcmDmxPositions])
{
    // Internal (bit-stream) order of each standard layout as canonical positions.
    static const int8_t layouts[9][PcmDmxPositions] = {
        {-1, -1, -1, -1, -1, -1, -1, -1},
        {0, -1, -1, -1, -1, -1, -1, -1},
        {1, 2, -1, -1, -1, -1, -1, -1},
        {0, 1, 2, -1, -1, -1, -1, -1},
        {0, 1, 2, 3, -1, -1, -1, -1},
        {0, 1, 2, 3, 4, -1, -1, -1},
        {0, 1, 2, 3, 4, 5, -1, -1},
        {0, 1, 2, 3, 4, 6, 5, -1},
        {0, 1, 2, 3, 4, 6, 7, 5},
    };
    if (channels < 0 || channels > 8)
        return 0;
    for (int i = 0; i < PcmDmxPositions; ++i)
        positions[i] = layouts[channels][i];
    return channels;
}

uint32_t PcmDmx_MapRow(int channels)
{
    static const uint32_t rows[9] = {0, 1, 2, 3, 4, 5, 6, 11, 12};
    return (channels >= 0 && channels <= 8) ? rows[channels] : 0;
}
