// Gains of the downmix, by input layout, output count and metadata.
#include "pcmdmx_internal.h"
#include "pcmdmx_tables.h"

#include <cmath>
#include <cstring>

namespace {

enum Position { C = 0, L = 1, R = 2, LS = 3, RS = 4, LFE = 5, X6 = 6, X7 = 7 };

using PcmDmxTables::value;

double q15(int16_t v)
{
    return static_cast<double>(v) / 32768.0;
}

// 10^(+-(v & 63) / 80), bit 6 giving the minus sign.
double signedQuarterDb(uint8_t v)
{
    const double db = static_cast<double>(v & 63) / 4.0;
    return std::pow(10.0, ((v & 0x40) ? -db : db) / 20.0);
}

void setRow(PcmDmxMatrix *m, int dst, int src, double g)
{
    double row[PcmDmxPositions];
    for (int i = 0; i < PcmDmxPositions; ++i)
        row[i] = m->gain[src][i] * g;
    std::memcpy(m->gain[dst], row, sizeof row);
}

void addRow(PcmDmxMatrix *m, int dst, int src, double g)
{
    for (int i = 0; i < PcmDmxPositions; ++i)
        m->gain[dst][i] += m->gain[src][i] * g;
}

void scaleRow(PcmDmxMatrix *m, int row, double g)
{
    setRow(m, row, row, g);
}

} // namespace

int PcmDmx_DeriveMatrix(const PcmDmxInstance *dmx, const PcmDmxMetadata *meta, const PcmDmxLayout *layout,
                        int outChannels, PcmDmxMatrix *m)
{
    std::memset(m, 0, sizeof *m);
    for (int i = 0; i < PcmDmxPositions; ++i)
        m->gain[i][i] = 1.0;
    uint32_t code = layout->code;
    if ((code & 0xF000) == 0) {
        for (int i = 0; i < PcmDmxPositions; ++i) {
            m->gain[LFE][i] = 0.0;
            m->gain[i][LFE] = 0.0;
        }
    }

    // Seven and eight channels are first folded to 5.1.
    if (layout->variant != 0) {
        const double a = value(PcmDmxTables::mixLevel[meta->levelA & 7]);
        const double b = value(PcmDmxTables::mixLevel[meta->levelB & 7]);
        switch (layout->variant) {
        case 12:
            scaleRow(m, LS, a); addRow(m, LS, X6, b);
            scaleRow(m, RS, a); addRow(m, RS, X7, b);
            break;
        case 11:
            scaleRow(m, LS, a); addRow(m, LS, X6, b);
            scaleRow(m, RS, a); addRow(m, RS, X6, b);
            break;
        case 7:
            addRow(m, C, X6, a); addRow(m, C, X7, a);
            addRow(m, L, X6, b); addRow(m, R, X7, b);
            break;
        default: // 14
            scaleRow(m, L, a); addRow(m, L, X6, b);
            scaleRow(m, R, a); addRow(m, R, X7, b);
            break;
        }
        if (meta->valueD != 0) {
            const double g = signedQuarterDb(meta->valueD);
            for (int row = 0; row < 6; ++row)
                scaleRow(m, row, g);
        }
        code = 0x1203;
    } else if (layout->code != 0 && ((layout->code & 0xF) + ((layout->code >> 4) & 0xF) + ((layout->code >> 8) & 0xF)
                                     + ((layout->code >> 12) & 0xF)) >= 7) {
        return PCMDMX_NO_RULE;
    }
    if (outChannels > 2)
        return 0; // a plain fold to the standard layout of the output

    // Downmix type.
    int type;
    const bool hasLevels = (meta->flags & 0x06) != 0;
    if (dmx->mode == 2 && (meta->flags & 0x01))
        type = 2;
    else if (!hasLevels) {
        switch (dmx->mode) {
        case 1:
        case 2: type = (meta->flags & 0x01) ? 2 : 1; break;
        case 3: type = 4; break;
        default: type = 1; break;
        }
    } else {
        type = 1;
    }
    const bool surroundStereo = dmx->surroundStereo == 1 || (dmx->surroundStereo == 0 && meta->pseudoSurround == 1);
    const int mmIndex = meta->matrixMixdownIndex & 3;
    const double g3 = q15(PcmDmxTables::MinusThreeDb);
    int result = 0;

    switch (code) {
    case 0x103:
    case 0x102:
    case 0x3: {
        double g = g3;
        if (type == 4) {
            scaleRow(m, L, q15(PcmDmxTables::InvSqrt2));
            scaleRow(m, R, q15(PcmDmxTables::InvSqrt2));
            g = 0.5;
        }
        if (code != 0x102) {
            addRow(m, L, C, g);
            addRow(m, R, C, g);
        }
        if (code != 0x3) {
            addRow(m, L, LS, g);
            addRow(m, R, LS, g);
        }
        break;
    }
    case 0x2:
        switch (dmx->dualChannelMode) {
        case 1: setRow(m, R, L, q15(PcmDmxTables::InvSqrt2)); scaleRow(m, L, q15(PcmDmxTables::InvSqrt2)); break;
        case 2: setRow(m, L, R, q15(PcmDmxTables::InvSqrt2)); scaleRow(m, R, q15(PcmDmxTables::InvSqrt2)); break;
        case 3:
            scaleRow(m, L, 0.5); addRow(m, L, R, 0.5);
            setRow(m, R, L, 1.0);
            break;
        default: break;
        }
        break;
    case 0x203:
    case 0x1203:
        if (type == 2 || type == 4) {
            const double alpha = q15(PcmDmxTables::matrixAlpha[mmIndex]);
            double n = surroundStereo ? q15(PcmDmxTables::matrixNormLtRt[mmIndex])
                                      : q15(PcmDmxTables::matrixNormLoRo[mmIndex]);
            if (type == 4)
                n = q15(PcmDmxTables::InvSqrt2);
            double rowL[PcmDmxPositions] = {}, rowR[PcmDmxPositions] = {};
            rowL[L] = 1.0; rowR[R] = 1.0;
            rowL[C] = rowR[C] = g3;
            if (surroundStereo) {
                rowL[LS] = rowL[RS] = -alpha;
                rowR[LS] = rowR[RS] = alpha;
            } else {
                rowL[LS] = alpha;
                rowR[RS] = alpha;
            }
            for (int i = 0; i < PcmDmxPositions; ++i) {
                double sumL = 0, sumR = 0;
                for (int k = 0; k < PcmDmxPositions; ++k) {
                    sumL += rowL[k] * m->gain[k][i];
                    sumR += rowR[k] * m->gain[k][i];
                }
                m->gain[L][i] = n * sumL;
                m->gain[R][i] = n * sumR;
            }
        } else {
            const double c = value(PcmDmxTables::mixLevel[meta->centreMixLevel & 7]);
            const double s = value(PcmDmxTables::mixLevel[meta->surroundMixLevel & 7]);
            const double f = value(PcmDmxTables::levelC[meta->levelC & 15]);
            PcmDmxMatrix in = *m;
            auto mix = [&](int dst, const double (&w)[PcmDmxPositions]) {
                for (int i = 0; i < PcmDmxPositions; ++i) {
                    double sum = 0;
                    for (int k = 0; k < PcmDmxPositions; ++k)
                        sum += w[k] * in.gain[k][i];
                    m->gain[dst][i] = sum;
                }
            };
            double wl[PcmDmxPositions] = {}, wr[PcmDmxPositions] = {};
            wl[L] = 1.0; wr[R] = 1.0;
            wl[C] = wr[C] = c;
            wl[LFE] = wr[LFE] = f;
            if (surroundStereo) {
                wl[LS] = wl[RS] = -s;
                wr[LS] = wr[RS] = s;
            } else {
                wl[LS] = s;
                wr[RS] = s;
            }
            mix(L, wl);
            mix(R, wr);
            if (meta->valueE != 0) {
                const double g = signedQuarterDb(meta->valueE);
                scaleRow(m, L, g);
                scaleRow(m, R, g);
            }
        }
        break;
    default:
        result = PCMDMX_NO_RULE;
        break;
    }

    if (outChannels == 1) {
        if (type == 2 && (code == 0x203 || code == 0x1203)) {
            const double alpha = q15(PcmDmxTables::matrixAlpha[mmIndex]);
            const double n = q15(PcmDmxTables::matrixNormMono[mmIndex]);
            double row[PcmDmxPositions] = {};
            for (int i = 0; i < PcmDmxPositions; ++i)
                row[i] = n * (m->gain[C][i] + m->gain[L][i] + m->gain[R][i] + alpha * (m->gain[LS][i] + m->gain[RS][i]));
            std::memcpy(m->gain[C], row, sizeof row);
        } else {
            const double g = type == 1 ? 1.0 : 0.5;
            for (int i = 0; i < PcmDmxPositions; ++i)
                m->gain[C][i] = g * (m->gain[L][i] + m->gain[R][i]);
        }
    }
    return result;
}

void PcmDmx_DefaultMetadata(PcmDmxMetadata *meta)
{
    std::memset(meta, 0, sizeof *meta);
    meta->centreMixLevel = 2;
    meta->surroundMixLevel = 2;
    meta->levelA = 2;
    meta->levelB = 2;
    meta->levelC = 15;
    meta->pseudoSurround = 255;
}
