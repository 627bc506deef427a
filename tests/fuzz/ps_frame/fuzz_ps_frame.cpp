// Parametric-stereo frames on hostile data: every field of the data record as the
// payload could set it, lost and missing frames, one or two frame slots, then the
// priming and the mixing of each envelope over the frame's slots at any scaling. The
// decoder must neither read nor write outside its arrays.
#include "PsDec.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

struct Input {
    const uint8_t *data;
    size_t size;
    uint8_t next() { return size ? (--size, *data++) : 0; }
};

void fill(PsData &d, Input &in)
{
    d.enabled = in.next() & 1;
    d.enableIid = in.next() & 1;
    d.enableIcc = in.next() & 1;
    d.iidMode = in.next() & 7;
    d.iccMode = in.next() & 7;
    d.fineIid = d.iidMode >= 3 && d.iidMode <= 5;
    d.iidBandClass = d.iidMode % 3;
    d.iccBandClass = d.iccMode % 3;
    d.variableBorders = in.next() & 1;
    d.envelopes = in.next() % 5;
    for (int e = 0; e < PS_MAX_ENVELOPES; ++e) {
        d.borders[e] = static_cast<uint8_t>((in.next() & 31) + 1);
        d.iidTime[e] = in.next() & 1;
        d.iccTime[e] = in.next() & 1;
        for (int b = 0; b < PS_MAX_BANDS; ++b) {
            d.iid[e][b] = static_cast<int8_t>(in.next());
            d.icc[e][b] = static_cast<int8_t>(in.next());
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Input in{data, size};
    PsDecHandle ps = nullptr;
    if (PsDec_Create(&ps, in.next() & 1 ? 960 : 1024) != 0)
        return 0;
    int32_t re[PS_QMF_BANDS] = {}, im[PS_QMF_BANDS] = {}, rightRe[PS_QMF_BANDS] = {}, rightIm[PS_QMF_BANDS] = {};
    for (int frame = 0; frame < 4 && in.size; ++frame) {
        const uint8_t control = in.next();
        if (control & 4)
            PsDec_SetFrameSlots(ps, (control >> 3) % 3 - 1); // slots 0 and 1, and a refused -1
        if (control & 1) {
            fill(*PsDec_DataRecord(ps), in);
            PsDec_DataRead(ps);
        }
        PsFrameParameters parameters;
        const int runs = PsDec_PrepareFrame(ps, control & 2, &parameters);
        // Shifts and band ends beyond their ranges as well.
        const PsSlotScaling scaling = {static_cast<int8_t>(in.next()) / 3, static_cast<int8_t>(in.next()) / 3,
                                       static_cast<int8_t>(in.next()) / 3, in.next() % 80, in.next() % 80};
        if (runs) {
            const int32_t *overlap[PS_PRIMING_SLOTS] = {re, re, im, im, rightRe, rightIm};
            PsDec_Prime(ps, overlap, overlap, &scaling);
            for (int e = 0; e < parameters.envelopes; ++e) {
                PsDec_SetupMixing(ps, parameters.iid[e], parameters.icc[e], parameters.fineIid,
                                  parameters.borders[e + 1] - parameters.borders[e]);
                for (int slot = parameters.borders[e]; slot < parameters.borders[e + 1]; ++slot) {
                    for (int k = 0; k < PS_QMF_BANDS; ++k) {
                        re[k] = static_cast<int32_t>(static_cast<uint32_t>(in.next()) << 24 | (slot * 977 + k));
                        im[k] = static_cast<int32_t>(0u - static_cast<uint32_t>(re[k])); // INT32_MIN stays itself
                    }
                    PsDec_ApplySlot(ps, re, im, rightRe, rightIm, &scaling);
                }
            }
        }
        PsDec_FrameDone(ps, runs);
    }
    PsDec_Destroy(&ps);
    return 0;
}
