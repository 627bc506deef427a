// The FIC decoder's function interface: pushes and the plain queries over the
// database.
#include "DabCrc16.h"
#include "DabFicInternal.h"

#include <cstring>

using namespace ZOZ::Fic;

namespace {

// CRC register left over after a FIB whose last two bytes hold the
// complemented CRC of the others, complemented once more.
constexpr uint16_t FibCrcResidue = 0xE2F0;

const uint8_t BrandedLabel[7] = {'R', 'u', 'z', ' ', 'Z', 'U', '5'};

void copyLabel(uint8_t *target, const uint8_t *label)
{
    std::memcpy(target, label, 16);
    if (std::memcmp(label, BrandedLabel, sizeof BrandedLabel) == 0)
        target[6] = 'V';
}

void finishPush(FicDecoder &decoder)
{
    expireRecords(decoder);
    ++decoder.pushNumber;
}

const List &listOf(const FicDecoder &decoder, int type, int extension) { return decoder.lists[type][extension]; }

const FicFig0_2 *findService(const FicDecoder &decoder, uint32_t serviceId, uint8_t kind)
{
    for (const FicFigEntry *e = listOf(decoder, 0, 2).head; e != nullptr; e = e->next) {
        if (e->record.header.type0.cn == kind && e->record.u.fig0_2.serviceId == serviceId)
            return &e->record.u.fig0_2;
    }
    return nullptr;
}

// Labels of 1/1, 1/5 (services) and 1/4 (components, by SCIdS).
const FicFigRecord *findLabel(const FicDecoder &decoder, int extension, uint32_t id, int scIdS)
{
    for (const FicFigEntry *e = listOf(decoder, 1, extension).head; e != nullptr; e = e->next) {
        const FicFigRecord &r = e->record;
        if (r.header.type1.oe == 0 && r.u.fig1.id == id && (scIdS < 0 || r.u.fig1.scIdS == scIdS))
            return &r;
    }
    return nullptr;
}

void fillCountry(const FicDecoder &decoder, const FicFig0_2 &service, bool isData, FicServiceInfo &info)
{
    info.countryValid = 0;
    for (const FicFigEntry *e = listOf(decoder, 0, 9).head; e != nullptr; e = e->next) {
        const FicFigRecord &r = e->record;
        if (r.header.type0.oe != 0)
            continue;
        const FicFig0_9 &f = r.u.fig0_9;
        info.countryValid = 1;
        info.lto = f.ensembleLto;
        info.ecc = f.ensembleEcc;
        bool found = false;
        for (int s = 0; s < f.numSubFields && s < FIC_MAX_COUNTRY_SUBFIELDS; ++s) {
            const FicFig0_9SubField &sub = f.subFields[s];
            for (int i = 0; i < sub.numServices && i < 3; ++i) {
                if (sub.serviceIds[i] != service.serviceId)
                    continue;
                found = true;
                info.lto = sub.lto;
                info.ecc = isData ? static_cast<uint8_t>(service.serviceId >> 24) : sub.ecc;
            }
        }
        if (found)
            break;
    }
}

// A component entry of FIG 0/4, 0/5 or 0/8 refers to the component by its
// sub-channel, its FIDC or (long forms) its SCId.
bool matchesComponent(const FicFigRecord &r, const FicFig0_2Component &c)
{
    switch (r.extension) {
    case 4:
        if (c.tmId == 0 || c.tmId == 1)
            return r.u.fig0_4.mf == 0 && r.u.fig0_4.id == c.subChId;
        if (c.tmId == 2)
            return r.u.fig0_4.mf == 1 && r.u.fig0_4.id == c.fidcId;
        return false;
    case 5:
    case 8: {
        const uint8_t form = r.extension == 5 ? r.u.fig0_5.form : r.u.fig0_8.form;
        const uint8_t subChId = r.extension == 5 ? r.u.fig0_5.subChId : r.u.fig0_8.subChId;
        const uint8_t fidcId = r.extension == 5 ? r.u.fig0_5.fidcId : r.u.fig0_8.fidcId;
        const uint16_t scId = r.extension == 5 ? r.u.fig0_5.scId : r.u.fig0_8.scId;
        if (c.tmId == 0 || c.tmId == 1)
            return form == 0 && subChId == c.subChId;
        if (c.tmId == 2)
            return form == 1 && fidcId == c.fidcId;
        return form == 2 && scId == c.scId;
    }
    default: return false;
    }
}

} // namespace

extern "C" {

int DAB_Bb_Ruz_FicDecoderGetDefaultConfig(FicDecoderConfig *config)
{
    if (config == nullptr)
        return FIC_DECODER_BAD_ARGUMENT;
    std::memset(config, 0, sizeof *config);
    config->instanceSize = sizeof(FicDecoder);
    return FIC_DECODER_OK;
}

int DAB_Bb_Ruz_FicDecoderInit(FicDecoder *decoder)
{
    if (decoder == nullptr)
        return FIC_DECODER_BAD_ARGUMENT;
    std::memset(decoder, 0, sizeof *decoder);
    resetDatabase(*decoder);
    return FIC_DECODER_OK;
}

int DAB_Bb_Ruz_FicDecoderPushFibs(FicDecoder *decoder, const uint8_t *fibs, uint8_t numFibs)
{
    if (decoder == nullptr || fibs == nullptr)
        return FIC_DECODER_BAD_ARGUMENT;
    clearAsideStores(*decoder);
    if (numFibs > MaxFibsPerPush)
        return FIC_DECODER_BAD_ARGUMENT;
    advanceCif(*decoder);
    for (int i = 0; i < numFibs; ++i) {
        const uint8_t *fib = fibs + i * FibBytes;
        if (DAB_Bb_Ruz_Crc16(fib, FibBytes) != FibCrcResidue)
            continue;
        splitFigs(*decoder, fib, FibDataBytes, true);
    }
    finishPush(*decoder);
    return FIC_DECODER_OK;
}

int DAB_Bb_Ruz_FicDecoderPushFigs(FicDecoder *decoder, const uint8_t *figs, uint8_t length, uint8_t flags)
{
    if (decoder == nullptr || figs == nullptr || length < 2 || !figStringFits(figs, length))
        return FIC_DECODER_BAD_ARGUMENT;
    clearAsideStores(*decoder);
    reconfigure(*decoder, flags);
    splitFigs(*decoder, figs, length, false);
    finishPush(*decoder);
    return FIC_DECODER_OK;
}

const FicFigEntry *DAB_Bb_Ruz_FicDecoderGetFigList(const FicDecoder *decoder, uint8_t type, uint8_t extension)
{
    if (decoder == nullptr || type >= FigTypes || extension >= FigExtensions)
        return nullptr;
    return listOf(*decoder, type, extension).head;
}

const FicFigEntry *DAB_Bb_Ruz_FicDecoderGetNext(const FicFigEntry *entry)
{
    return entry != nullptr ? entry->next : nullptr;
}

int DAB_Bb_Ruz_FicDecoderGetFigData(const FicFigEntry *entry, FicFigRecord *record)
{
    if (entry == nullptr || record == nullptr)
        return FIC_DECODER_BAD_ARGUMENT;
    std::memcpy(record, &entry->record, sizeof *record);
    // The ensemble label is copied out only here.
    if (record->figType == 1 && record->extension == 0)
        copyLabel(record->u.fig1.label, entry->record.u.fig1.label);
    return FIC_DECODER_OK;
}

uint32_t DAB_Bb_Ruz_FicDecoderGetFigCount(const FicDecoder *decoder, uint8_t type, uint8_t extension)
{
    if (decoder == nullptr || type >= FigTypes || extension >= FigExtensions)
        return 0;
    return listOf(*decoder, type, extension).modifications;
}

int DAB_Bb_Ruz_FicDecoderGetNumServices(const FicDecoder *decoder, uint8_t kind)
{
    if (decoder == nullptr)
        return 0;
    int count = 0;
    for (const FicFigEntry *e = listOf(*decoder, 0, 2).head; e != nullptr; e = e->next)
        count += e->record.header.type0.cn == kind ? 1 : 0;
    return count;
}

int DAB_Bb_Ruz_FicDecoderGetService(const FicDecoder *decoder, uint8_t kind, int index, FicServiceInfo *info)
{
    if (decoder == nullptr || info == nullptr || index < 0)
        return FIC_DECODER_BAD_ARGUMENT;
    const FicFigRecord *found = nullptr;
    int position = 0;
    for (const FicFigEntry *e = listOf(*decoder, 0, 2).head; e != nullptr && found == nullptr; e = e->next) {
        if (e->record.header.type0.cn == kind && position++ == index)
            found = &e->record;
    }
    if (found == nullptr)
        return FIC_DECODER_BAD_ARGUMENT;

    const FicFig0_2 &service = found->u.fig0_2;
    const bool isData = found->header.type0.pd != 0;
    info->valid = 1;
    info->isDataService = isData ? 1 : 0;
    info->serviceId = service.serviceId;
    info->localFlag = service.localFlag;
    info->caId = service.caId;
    info->numComponents = service.numComponents;
    if (kind == 0)
        fillCountry(*decoder, service, isData, *info);

    const FicFigRecord *label = findLabel(*decoder, isData ? 5 : 1, service.serviceId, -1);
    info->labelValid = label != nullptr ? 1 : 0;
    if (label != nullptr) {
        info->charset = label->header.type1.charset;
        copyLabel(info->label, label->u.fig1.label);
        info->charFlags = label->u.fig1.charFlags;
    }
    return FIC_DECODER_OK;
}

uint8_t DAB_Bb_Ruz_FicDecoderGetNumServiceComponents(const FicDecoder *decoder, uint32_t serviceId, uint8_t kind)
{
    if (decoder == nullptr)
        return 0;
    const FicFig0_2 *service = findService(*decoder, serviceId, kind);
    return service != nullptr ? service->numComponents : 0;
}

int DAB_Bb_Ruz_FicDecoderGetServiceComponent(const FicDecoder *decoder, uint32_t serviceId, uint8_t kind, int index,
                                             FicServiceComponentInfo *info)
{
    if (decoder == nullptr || info == nullptr || index < 0 || index >= FIC_MAX_COMPONENTS)
        return FIC_DECODER_BAD_ARGUMENT;
    const FicFig0_2 *service = findService(*decoder, serviceId, kind);
    if (service == nullptr || index >= service->numComponents)
        return FIC_DECODER_BAD_ARGUMENT;

    const FicFig0_2Component &c = service->components[index];
    std::memset(info, 0, sizeof *info);
    info->valid = 1;
    info->serviceId = serviceId;
    info->tmId = c.tmId;
    info->ascTy = c.ascTy;
    info->dscTy = c.dscTy;
    info->subChId = c.subChId;
    info->fidcId = c.fidcId;
    info->scId = c.scId;
    info->primary = c.primary;
    info->caFlag = c.caFlag;

    if (c.tmId == 3) {
        for (const FicFigEntry *e = listOf(*decoder, 0, 3).head; e != nullptr; e = e->next) {
            const FicFigRecord &r = e->record;
            if (r.header.type0.cn != kind || r.u.fig0_3.scId != c.scId)
                continue;
            info->packetInfoValid = 1;
            info->packetAddress = r.u.fig0_3.packetAddress;
            info->dataGroupFlag = r.u.fig0_3.dataGroupFlag;
            info->caOrgFlag = r.u.fig0_3.caOrgFlag;
            info->caOrg = r.u.fig0_3.caOrg;
            info->dscTy = r.u.fig0_3.dscTy;
            info->subChId = r.u.fig0_3.subChId;
            break;
        }
    }
    if (c.tmId != 3) {
        for (const FicFigEntry *e = listOf(*decoder, 0, 4).head; e != nullptr; e = e->next) {
            if (matchesComponent(e->record, c)) {
                info->caInfoValid = 1;
                info->caInfoOrg = e->record.u.fig0_4.caOrg;
                break;
            }
        }
    }
    for (const FicFigEntry *e = listOf(*decoder, 0, 5).head; e != nullptr; e = e->next) {
        if (matchesComponent(e->record, c)) {
            info->languageValid = 1;
            info->language = e->record.u.fig0_5.language;
            break;
        }
    }
    for (const FicFigEntry *e = listOf(*decoder, 0, 8).head; e != nullptr; e = e->next) {
        const FicFigRecord &r = e->record;
        if (r.header.type0.cn == kind && r.u.fig0_8.serviceId == serviceId && matchesComponent(r, c)) {
            info->scIdSValid = 1;
            info->scIdS = r.u.fig0_8.scIdS;
            break;
        }
    }
    if (info->scIdSValid) {
        const FicFigRecord *label = findLabel(*decoder, 4, serviceId, info->scIdS);
        if (label != nullptr) {
            info->labelValid = 1;
            info->charset = label->header.type1.charset;
            copyLabel(info->label, label->u.fig1.label);
            info->charFlags = label->u.fig1.charFlags;
        }
    }
    return FIC_DECODER_OK;
}

uint32_t DAB_Bb_Ruz_FicDecoderGetChangeCounter(FicDecoder *decoder)
{
    if (decoder == nullptr)
        return 0;
    static const uint8_t watched[4][2] = {{0, 2}, {0, 9}, {1, 1}, {1, 5}};
    bool changed = false;
    uint32_t counts[4];
    for (int i = 0; i < 4; ++i) {
        counts[i] = listOf(*decoder, watched[i][0], watched[i][1]).modifications;
        changed = changed || counts[i] != decoder->rememberedCounts[i];
    }
    if (changed) {
        std::memcpy(decoder->rememberedCounts, counts, sizeof counts);
        ++decoder->changeCounter;
    }
    return decoder->changeCounter;
}

} // extern "C"
