// The QMF domain: analysis and synthesis banks and time-slot buffers shared by the AAC
// core, SBR and MPEG Surround. Every buffer is sized for the configuration that uses it
// and replaced when a later configuration needs more room.
#include "RezTools.h"

#include <string.h>

namespace {

constexpr int PageWords = REZ_QMF_DOMAIN_PAGE_WORDS;
constexpr int MaxSlotWords = REZ_QMF_DOMAIN_PAGES * PageWords;
constexpr int MaxOverlapSlots = 12;
constexpr size_t MinSynthesisStateBytes = 11520;

size_t analysisStateBytes(int bands)
{
    switch (bands) {
    case 16: return 320;
    case 24: return 480;
    case 32: return 640;
    default: return bands > 64 ? 20 * static_cast<size_t>(bands) : 1280;
    }
}

size_t overlapBytes(int overlapSlots)
{
    switch (overlapSlots) {
    case 3: return 1536;
    case 6: return 3072;
    default: return 6144;
    }
}

int slotPointerEntries(int timeSlots)
{
    switch (timeSlots) {
    case 16: return 19;
    case 32: return 38;
    default: return 76;
    }
}

size_t synthesisStateBytes(int bands)
{
    const size_t needed = 36 * static_cast<size_t>(bands);
    return needed > MinSynthesisStateBytes ? needed : MinSynthesisStateBytes;
}

// Makes *buffer at least bytes long (zeroed when new), keeping one that is large enough.
template <typename T>
bool ensure(T *&buffer, uint32_t &size, size_t bytes)
{
    if (buffer && size >= bytes)
        return true;
    RezSys_AlignedFree(buffer);
    buffer = static_cast<T *>(RezSys_AlignedCalloc(bytes, 8));
    size = buffer ? static_cast<uint32_t>(bytes) : 0;
    return buffer != nullptr;
}

template <typename T>
void release(T *&buffer, uint32_t &size)
{
    RezSys_AlignedFree(buffer);
    buffer = nullptr;
    size = 0;
}

int32_t *pageAddress(const RezQmfDomainInput *input, int offset)
{
    return input->pages[offset / PageWords] + offset % PageWords;
}

bool sameConfiguration(const RezQmfDomainConfig &a, const RezQmfDomainConfig &b)
{
    return a.inputChannels == b.inputChannels && a.analysisBands == b.analysisBands && a.timeSlots == b.timeSlots &&
           a.overlapSlots == b.overlapSlots && a.outputChannels == b.outputChannels &&
           a.synthesisBands == b.synthesisBands && a.extraChannel == b.extraChannel;
}

int bankLimit(int field, int fallback)
{
    return field != 0 ? field : fallback;
}

} // namespace

extern "C" {

void RezTools_QmfDomainClearRequest(RezQmfDomain *domain)
{
    domain->requestActive = 0;
    memset(&domain->requested, 0, sizeof domain->requested);
}

void RezTools_QmfDomainFreeWorkBuffers(RezQmfDomain *domain)
{
    // The pages are one block so that a slot never straddles two allocations.
    RezSys_AlignedFree(domain->pages[0]);
    for (int32_t *&page : domain->pages)
        page = nullptr;
}

void RezTools_QmfDomainFreeChannelBuffers(RezQmfDomain *domain)
{
    for (RezQmfDomainInput &input : domain->input) {
        release(input.analysisState, input.analysisStateSize);
        release(input.overlap, input.overlapSize);
        release(input.realSlots, input.slotArraySize);
        uint32_t imagSize = 0;
        release(input.imagSlots, imagSize);
    }
    for (RezQmfDomainOutput &output : domain->output)
        release(output.synthesisState, output.synthesisStateSize);
    uint32_t size = 0;
    release(domain->customPrototype, size);
    release(domain->customCos, size);
    release(domain->customSin, size);
}

void RezTools_QmfDomainClose(RezQmfDomain *domain)
{
    RezTools_QmfDomainFreeWorkBuffers(domain);
    RezTools_QmfDomainFreeChannelBuffers(domain);
}

void RezTools_QmfDomainDeinit(RezQmfDomain *domain)
{
    RezTools_QmfDomainClose(domain);
    for (RezQmfDomainInput &input : domain->input) {
        memset(&input.bank, 0, sizeof input.bank);
        input.layoutSlots = input.layoutBands = 0;
        input.layoutOffset = 0;
        input.pages = nullptr;
    }
    for (RezQmfDomainOutput &output : domain->output)
        memset(&output.bank, 0, sizeof output.bank);
    domain->requestActive = 0;
    memset(&domain->active, 0, sizeof domain->active);
    memset(&domain->requested, 0, sizeof domain->requested);
}

int RezTools_QmfDomainAllocate(RezQmfDomain *domain)
{
    const RezQmfDomainConfig &a = domain->active;
    if (a.inputChannels > REZ_QMF_DOMAIN_CHANNELS || a.outputChannels > REZ_QMF_DOMAIN_CHANNELS)
        return 1;
    bool ok = true;
    for (int i = 0; i < REZ_QMF_DOMAIN_CHANNELS; ++i) {
        RezQmfDomainInput &input = domain->input[i];
        if (i < a.inputChannels && a.analysisBands > 0)
            ok = ok && ensure(input.analysisState, input.analysisStateSize, analysisStateBytes(a.analysisBands));
        else
            release(input.analysisState, input.analysisStateSize);
        if (i < a.inputChannels && a.processingBands * a.overlapSlots > 0)
            ok = ok && ensure(input.overlap, input.overlapSize, overlapBytes(a.overlapSlots));
        else
            release(input.overlap, input.overlapSize);
        if (i < a.inputChannels && a.timeSlots + a.overlapSlots > 0) {
            const size_t bytes = sizeof(int32_t *) * static_cast<size_t>(slotPointerEntries(a.timeSlots));
            uint32_t imagSize = input.slotArraySize;
            ok = ok && ensure(input.imagSlots, imagSize, bytes) && ensure(input.realSlots, input.slotArraySize, bytes);
        } else {
            uint32_t imagSize = 0;
            release(input.realSlots, input.slotArraySize);
            release(input.imagSlots, imagSize);
        }
    }
    for (int i = 0; i < REZ_QMF_DOMAIN_CHANNELS; ++i) {
        RezQmfDomainOutput &output = domain->output[i];
        if (i < a.outputChannels && a.synthesisBands > 0)
            ok = ok && ensure(output.synthesisState, output.synthesisStateSize, synthesisStateBytes(a.synthesisBands));
        else
            release(output.synthesisState, output.synthesisStateSize);
    }
    if (!ok) {
        RezTools_QmfDomainFreeChannelBuffers(domain);
        return -1;
    }
    return 0;
}

static int initBanks(RezQmfDomain *domain, int inconsistentCode)
{
    const RezQmfDomainConfig &a = domain->active;
    const int processing = a.processingBands;
    for (int i = 0; i < a.inputChannels; ++i) {
        RezQmfDomainInput &input = domain->input[i];
        input.domain = domain;
        if (a.overlapSlots > 0 && !input.overlap)
            return inconsistentCode;
        const int lastProcessing = a.processingChannels > 0 ? a.processingChannels - 1 : 0;
        const RezQmfDomainInput &source = domain->input[i < lastProcessing ? i : lastProcessing];
        if (a.timeSlots > 0 && !source.pages)
            return inconsistentCode;
        if (input.realSlots) {
            for (int t = 0; t < a.overlapSlots; ++t) {
                input.realSlots[t] = input.overlap + 2 * t * processing;
                input.imagSlots[t] = input.overlap + 2 * t * processing + processing;
            }
            for (int n = 0; n < a.timeSlots; ++n) {
                const int offset = source.layoutOffset + 2 * n * processing;
                input.realSlots[a.overlapSlots + n] = pageAddress(&source, offset);
                input.imagSlots[a.overlapSlots + n] = pageAddress(&source, offset + processing);
            }
        }
        const int lower = bankLimit(input.bank.lowerBand, a.analysisBands);
        const int upper = bankLimit(input.bank.upperBand, a.synthesisBands < 64 ? a.synthesisBands : 64);
        const int result = RezTools_QmfAnalysisInit(&input.bank, input.analysisState, a.timeSlots, lower, upper,
                                                    a.analysisBands, a.flags);
        if (result != 0)
            return result;
    }
    for (int i = 0; i < a.outputChannels; ++i) {
        RezQmfDomainOutput &output = domain->output[i];
        const int stateScale = RezTools_QmfGetStateScale(&output.bank);
        const int32_t gain = output.bank.outputGain;
        const int outputScale = output.bank.outputScale;
        const int lower = bankLimit(output.bank.lowerBand, a.analysisBands);
        const int upper = bankLimit(output.bank.upperBand, a.synthesisBands < 64 ? a.synthesisBands : 64);
        const int result = RezTools_QmfSynthesisInit(&output.bank, domain->customPrototype, domain->customCos,
                                                     domain->customSin, output.synthesisState, a.timeSlots, lower,
                                                     upper, a.synthesisBands, a.flags);
        if (result != 0)
            return result;
        if (gain != 0)
            RezTools_QmfSetOutputGain(&output.bank, gain, outputScale);
        if (stateScale != 0)
            RezTools_QmfRescaleState(&output.bank, stateScale);
    }
    return 0;
}

int RezTools_QmfDomainInitFilterBanks(RezQmfDomain *domain, uint32_t extraFlags)
{
    if (extraFlags & REZ_QMF_FLAG_RESERVED_16)
        domain->active.flags = (domain->active.flags & ~REZ_QMF_FLAG_RESERVED_4) | REZ_QMF_FLAG_RESERVED_16;
    const uint32_t saved = domain->active.flags;
    domain->active.flags |= extraFlags;
    const int result = initBanks(domain, 1);
    domain->active.flags = saved;
    return result;
}

int RezTools_QmfDomainResetFilterBanks(RezQmfDomain *domain)
{
    const RezQmfDomainConfig &a = domain->active;
    for (int i = 0; i < a.inputChannels; ++i)
        if (domain->input[i].overlap)
            memset(domain->input[i].overlap, 0,
                   sizeof(int32_t) * 2 * static_cast<size_t>(a.processingBands) * a.overlapSlots);
    return initBanks(domain, 2) != 0 ? 2 : 0;
}

int RezTools_QmfDomainConfigure(RezQmfDomain *domain)
{
    RezQmfDomainConfig &r = domain->requested;
    RezQmfDomainConfig &a = domain->active;
    if (r.processingChannels > 0 && r.processingBands != 64)
        return 2;
    if (r.analysisBands > r.processingBands)
        return 2;
    // Requests the buffers below could not hold.
    if (r.overlapSlots > MaxOverlapSlots || r.timeSlots + r.overlapSlots > slotPointerEntries(r.timeSlots) ||
        r.processingChannels > REZ_QMF_DOMAIN_CHANNELS)
        return 2;

    bool changed = false;
    if (r.processingChannels != a.processingChannels || r.processingBands != a.processingBands ||
        r.timeSlots != a.timeSlots) {
        for (int i = 0; i < r.processingChannels; ++i) {
            domain->input[i].layoutSlots = r.timeSlots;
            domain->input[i].layoutBands = r.processingBands;
        }
        a.processingBands = r.processingBands;
        a.processingChannels = r.processingChannels;
        changed = true;
    }
    if (!sameConfiguration(r, a)) {
        // Everything but the flags and the processing fields (taken above) becomes active.
        const RezQmfDomainConfig kept = a;
        a = r;
        a.flags = kept.flags;
        a.processingBands = kept.processingBands;
        a.processingChannels = kept.processingChannels;
        if (RezTools_QmfDomainAllocate(domain) != 0) {
            RezTools_QmfDomainDeinit(domain);
            return 1;
        }
        if (a.analysisBands == 32 && a.synthesisBands == 32 &&
            !(a.flags & (REZ_QMF_FLAG_RESERVED_4 | REZ_QMF_FLAG_RESERVED_16)))
            r.flags |= REZ_QMF_FLAG_SECOND_TWIDDLES;
        changed = true;
    }
    int result = 0;
    if (domain->customTables && changed) {
        uint32_t size = 0, cosSize = 0, sinSize = 0;
        size = domain->customPrototype ? 1610 * sizeof(int16_t) : 0;
        cosSize = domain->customCos ? 64 * sizeof(int16_t) : 0;
        sinSize = domain->customSin ? 64 * sizeof(int16_t) : 0;
        if (!ensure(domain->customPrototype, size, 1610 * sizeof(int16_t)) ||
            !ensure(domain->customCos, cosSize, 64 * sizeof(int16_t)) ||
            !ensure(domain->customSin, sinSize, 64 * sizeof(int16_t)) ||
            RezTools_QmfDomainBuildTables(domain->customCos, domain->customSin, domain->customPrototype, nullptr,
                                          a.synthesisBands) != 0)
            result = 3;
    }
    if (r.flags != a.flags) {
        if ((r.flags & REZ_QMF_FLAG_RESERVED_4) && (r.flags & REZ_QMF_FLAG_RESERVED_16))
            r.flags &= ~REZ_QMF_FLAG_RESERVED_4;
        a.flags = r.flags;
    } else if (!changed) {
        if (result == 3)
            RezTools_QmfDomainDeinit(domain);
        return result;
    }

    int extra = 0;
    if (a.extraChannel && a.processingChannels == 1) {
        domain->input[1].layoutSlots = a.timeSlots;
        domain->input[1].layoutBands = a.analysisBands;
        extra = a.timeSlots * a.analysisBands * 2;
    }
    const int perChannel = domain->input[0].layoutSlots * domain->input[0].layoutBands * 2;
    const int total = a.processingChannels * perChannel + extra;
    if (total > MaxSlotWords) {
        RezTools_QmfDomainDeinit(domain);
        return 1;
    }
    if (total >= 1 && !domain->pages[0]) {
        int32_t *block = static_cast<int32_t *>(RezSys_AlignedCalloc(sizeof(int32_t) * MaxSlotWords, 8));
        if (!block) {
            RezTools_QmfDomainDeinit(domain);
            return 1;
        }
        domain->pages[0] = block;
    }
    for (int k = 1; k < REZ_QMF_DOMAIN_PAGES && domain->pages[0]; ++k)
        domain->pages[k] = total > PageWords * k ? domain->pages[0] + PageWords * k : domain->pages[k];
    for (int i = 0; i < a.processingChannels; ++i) {
        domain->input[i].layoutOffset = static_cast<uint16_t>(i * perChannel);
        domain->input[i].pages = domain->pages;
        domain->input[i].pageSize = PageWords;
    }
    if (a.extraChannel && a.inputChannels > a.processingChannels && a.processingChannels == 1) {
        domain->input[1].layoutOffset = static_cast<uint16_t>(a.processingChannels * perChannel);
        domain->input[1].pages = domain->pages;
        domain->input[1].pageSize = PageWords;
    }
    for (int i = 0; i < a.outputChannels; ++i) {
        RezQmfFilterBank &bank = domain->output[i].bank;
        if (bank.lowerBand == 0 && bank.upperBand == 0) {
            bank.lowerBand = r.analysisBands;
            bank.upperBand = r.synthesisBands < 64 ? r.synthesisBands : 64;
        }
    }
    if (RezTools_QmfDomainInitFilterBanks(domain, 0) != 0) {
        RezTools_QmfDomainDeinit(domain);
        return 2;
    }
    if (result == 3)
        RezTools_QmfDomainDeinit(domain);
    return result;
}

void RezTools_QmfDomainGetSlotPointers(const RezQmfDomainInput *input, int n, int32_t **re, int32_t **im)
{
    const int offset = input->layoutOffset + 2 * n * input->layoutBands;
    *re = pageAddress(input, offset);
    *im = pageAddress(input, offset + input->layoutBands);
}

void RezTools_QmfDomainGetScaledSlot(const RezQmfDomainInput *input, int t, int startBand, int stopBand,
                                     int32_t *outRe, int32_t *outIm, int extraShift)
{
    const RezQmfDomain *domain = input->domain;
    const RezQmfFilterBank &bank = input->bank;
    const int c = bank.prototypeScale + 7 - (bank.bands == 24 ? 1 : 0);
    const int e = t < domain->active.overlapSlots ? input->overlapLowBandExponent : input->lowBandExponent;
    int lowShift = 15 - c - e - extraShift, highShift = 15 - input->highBandExponent - c - extraShift;
    lowShift = lowShift < -31 ? -31 : lowShift;
    highShift = highShift < -31 ? -31 : highShift;
    const int32_t *re = input->realSlots[t], *im = input->imagSlots[t];
    auto shifted = [](int32_t v, int shift) {
        return shift >= 0 ? static_cast<int32_t>(static_cast<uint32_t>(v) << (shift > 31 ? 31 : shift)) : v >> -shift;
    };
    const int lowStop = bank.lowerBand < stopBand ? bank.lowerBand : stopBand;
    const int highStart = bank.lowerBand > startBand ? bank.lowerBand : startBand;
    const int highStop = bank.upperBand < stopBand ? bank.upperBand : stopBand;
    for (int k = startBand; k < lowStop; ++k) {
        outRe[k] = shifted(re[k], lowShift);
        if (outIm)
            outIm[k] = shifted(im[k], lowShift);
    }
    for (int k = highStart; k < highStop; ++k) {
        outRe[k] = shifted(re[k], highShift);
        if (outIm)
            outIm[k] = shifted(im[k], highShift);
    }
    for (int k = bank.upperBand > startBand ? bank.upperBand : startBand; k < stopBand; ++k) {
        outRe[k] = 0;
        if (outIm)
            outIm[k] = 0;
    }
}

void RezTools_QmfDomainSaveOverlap(RezQmfDomainInput *input, int first)
{
    const RezQmfDomainConfig &a = input->domain->active;
    const int s = a.timeSlots, v = a.overlapSlots, p = a.processingBands;
    const size_t bytes = sizeof(int32_t) * static_cast<size_t>(p);
    if (!input->imagSlots) {
        for (int t = 0; t < v; ++t)
            memmove(input->realSlots[t], input->realSlots[s + t], bytes);
    } else {
        for (int t = first; t < v; ++t) {
            memmove(input->realSlots[t], input->realSlots[s + t], bytes);
            memmove(input->imagSlots[t], input->imagSlots[s + t], bytes);
        }
    }
    input->overlapLowBandExponent = input->lowBandExponent;
}

void RezTools_QmfDomainLoadSlots(RezQmfDomainInput *input)
{
    const int v = input->domain->active.overlapSlots, b = input->layoutBands;
    if (pageAddress(input, input->layoutOffset) == input->realSlots[v])
        return;
    for (int i = 0; i < input->layoutSlots; ++i) {
        const int offset = input->layoutOffset + 2 * i * b;
        memcpy(input->realSlots[v + i], pageAddress(input, offset), sizeof(int32_t) * static_cast<size_t>(b));
        memcpy(input->imagSlots[v + i], pageAddress(input, offset + b), sizeof(int32_t) * static_cast<size_t>(b));
    }
}

void RezTools_QmfDomainPrepareSlots(RezQmfDomainInput *input, int32_t **callerRe, int32_t **callerIm)
{
    const RezQmfDomain *domain = input->domain;
    const int v = domain->active.overlapSlots, b = input->layoutBands;
    const bool paged = pageAddress(input, input->layoutOffset) == input->realSlots[v];
    const int bands = paged ? domain->active.analysisBands : b;
    int32_t temporary[64];
    const size_t bytes = sizeof(int32_t) * static_cast<size_t>(bands < 64 ? bands : 64);
    for (int i = 0; i < input->layoutSlots; ++i) {
        if (paged) {
            memcpy(temporary, input->realSlots[v + i], bytes);
            memcpy(input->realSlots[v + i], callerRe[i], bytes);
            memcpy(callerRe[i], temporary, bytes);
            memcpy(temporary, input->imagSlots[v + i], bytes);
            memcpy(input->imagSlots[v + i], callerIm[i], bytes);
            memcpy(callerIm[i], temporary, bytes);
        } else {
            const int offset = input->layoutOffset + 2 * i * b;
            memcpy(input->realSlots[v + i], callerRe[i], bytes);
            memcpy(input->imagSlots[v + i], callerIm[i], bytes);
            memcpy(callerRe[i], pageAddress(input, offset), bytes);
            memcpy(callerIm[i], pageAddress(input, offset + b), bytes);
        }
    }
}

} // extern "C"
