// FIB splitting and FIG reading: every entry of a FIG becomes one record that
// the database stores, replaces or deletes.
#include "DabFicBitReader.h"
#include "DabFicInternal.h"

#include <cstring>

namespace ZOZ::Fic {
namespace {

struct EntryContext {
    uint8_t pd;              // SIds are 32 bits wide when set
    uint8_t secondLayout;    // FIG 0/9, 0/25 and 0/26 after a FIG 0/7
    uint8_t figLength;       // data bytes, header byte included
    bool stop = false;       // the rest of the FIG cannot be split into entries
};

using EntryReader = void (*)(BitReader &, FicFigRecord &, EntryContext &);

uint32_t readServiceId(BitReader &r, const EntryContext &c) { return r.read(c.pd ? 32 : 16); }

// Keyed type-0 FIGs carry their update mode: a full entry or a delete form,
// for the current or the next configuration.
void setUpdateMode(FicFigRecord &record, bool deleteForm)
{
    const bool next = record.header.type0.cn != 0;
    if (deleteForm)
        record.updateMode = next ? FIC_UPDATE_DELETE_NEXT : FIC_UPDATE_DELETE_CURRENT;
    else
        record.updateMode = next ? FIC_UPDATE_NEXT : FIC_UPDATE_CURRENT;
}

// Reads a list of `count` items with `readItem`. The record keeps as many as
// it has room for; the rest are still read, so that the next entry starts in
// the right place, and the record is flagged.
template <class Item, size_t Capacity, class ReadItem>
void readList(FicFigRecord &record, int count, Item (&items)[Capacity], ReadItem readItem)
{
    constexpr int capacity = static_cast<int>(Capacity);
    if (count > capacity)
        record.status |= FIC_STATUS_TOO_MANY_SUBITEMS;
    for (int i = 0; i < count; ++i) {
        Item dropped{};
        readItem(i < capacity ? items[i] : dropped);
    }
}

// The service component of FIG 0/5 and FIG 0/8: an SCId in the long form, a
// sub-channel or an FIDC in the short form.
template <class Fields>
void readComponentReference(BitReader &r, Fields &f)
{
    f.longForm = r.read8(1);
    if (f.longForm) {
        r.skip(3);
        f.scId = r.read16(12);
        f.form = 2;
    } else {
        f.form = r.read8(1);
        if (f.form)
            f.fidcId = r.read8(6);
        else
            f.subChId = r.read8(6);
    }
}

void readFig0_0(BitReader &r, FicFigRecord &rec, EntryContext &c)
{
    FicFig0_0 &f = rec.u.fig0_0;
    f.eid = r.read16(16);
    f.changeFlags = r.read8(2);
    f.alFlag = r.read8(1);
    f.cifCountHigh = r.read8(5);
    f.cifCountLow = r.read8(8);
    if (f.changeFlags != 0)
        f.occurrenceChange = r.read8(8);
    if (c.figLength != (f.changeFlags != 0 ? 6 : 5))
        rec.status |= FIC_STATUS_BAD_LENGTH;
}

void readFig0_1(BitReader &r, FicFigRecord &rec, EntryContext &)
{
    FicFig0_1 &f = rec.u.fig0_1;
    f.subChId = r.read8(6);
    f.startAddress = r.read16(10);
    f.longForm = r.read8(1);
    if (f.longForm) {
        f.option = r.read8(3);
        f.protectionLevel = r.read8(2);
        f.size = r.read16(10);
    } else {
        f.tableSwitch = r.read8(1);
        f.tableIndex = r.read8(6);
    }
}

void readFig0_2(BitReader &r, FicFigRecord &rec, EntryContext &c)
{
    FicFig0_2 &f = rec.u.fig0_2;
    f.serviceId = readServiceId(r, c);
    f.localFlag = r.read8(1);
    f.caId = r.read8(3);
    f.numComponents = r.read8(4);
    const int limit = c.pd ? FIC_MAX_COMPONENTS - 1 : FIC_MAX_COMPONENTS;
    if (f.numComponents > limit)
        rec.status |= FIC_STATUS_TOO_MANY_SUBITEMS;
    readList(rec, f.numComponents, f.components, [&](FicFig0_2Component &comp) {
        comp.tmId = r.read8(2);
        switch (comp.tmId) {
        case 0:
            comp.ascTy = r.read8(6);
            comp.subChId = r.read8(6);
            break;
        case 1:
            comp.dscTy = r.read8(6);
            comp.subChId = r.read8(6);
            break;
        case 2:
            comp.dscTy = r.read8(6);
            comp.fidcId = r.read8(6);
            break;
        default:
            comp.scId = r.read16(12);
            break;
        }
        comp.primary = r.read8(1);
        comp.caFlag = r.read8(1);
    });
}

void readFig0_3(BitReader &r, FicFigRecord &rec, EntryContext &)
{
    FicFig0_3 &f = rec.u.fig0_3;
    f.scId = r.read16(12);
    r.skip(3);
    f.caOrgFlag = r.read8(1);
    f.dataGroupFlag = r.read8(1);
    r.skip(1);
    f.dscTy = r.read8(6);
    f.subChId = r.read8(6);
    f.packetAddress = r.read16(10);
    if (f.caOrgFlag)
        f.caOrg = r.read16(16);
}

void readFig0_4(BitReader &r, FicFigRecord &rec, EntryContext &)
{
    FicFig0_4 &f = rec.u.fig0_4;
    r.skip(1);
    f.mf = r.read8(1);
    f.id = r.read8(6);
    f.caOrg = r.read16(16);
}

void readFig0_5(BitReader &r, FicFigRecord &rec, EntryContext &)
{
    FicFig0_5 &f = rec.u.fig0_5;
    readComponentReference(r, f);
    f.language = r.read8(8);
}

void readFig0_6(BitReader &r, FicFigRecord &rec, EntryContext &c)
{
    FicFig0_6 &f = rec.u.fig0_6;
    f.idListFlag = r.read8(1);
    f.la = r.read8(1);
    f.sh = r.read8(1);
    f.ils = r.read8(1);
    f.lsn = r.read16(12);
    setUpdateMode(rec, !f.idListFlag);
    if (!f.idListFlag)
        return;
    if (c.pd) {
        r.skip(4);
    } else {
        r.skip(1);
        f.idLq = r.read8(2);
        f.shd = r.read8(1);
    }
    f.numIds = r.read8(4);
    if (f.numIds > FIC_MAX_LINKAGE_IDS)
        rec.status |= FIC_STATUS_TOO_MANY_SUBITEMS;
    for (int i = 0; i < f.numIds; ++i) {
        uint8_t ecc = 0;
        uint32_t id = 0;
        if (c.pd) {
            id = r.read(32);
        } else {
            if (f.ils)
                ecc = r.read8(8);
            id = r.read(16);
        }
        if (i < FIC_MAX_LINKAGE_IDS) {
            f.ecc[i] = ecc;
            f.ids[i] = id;
        }
    }
}

void readFig0_7(BitReader &r, FicFigRecord &rec, EntryContext &c)
{
    rec.u.fig0_7.services = r.read8(6);
    rec.u.fig0_7.count = r.read16(10);
    if (c.figLength != 3)
        rec.status |= FIC_STATUS_BAD_LENGTH;
}

void readFig0_8(BitReader &r, FicFigRecord &rec, EntryContext &c)
{
    FicFig0_8 &f = rec.u.fig0_8;
    f.serviceId = readServiceId(r, c);
    f.extensionFlag = r.read8(1);
    r.skip(3);
    f.scIdS = r.read8(4);
    readComponentReference(r, f);
    if (f.extensionFlag)
        f.reserved8 = r.read8(8);
}

void readFig0_9(BitReader &r, FicFigRecord &rec, EntryContext &c)
{
    FicFig0_9 &f = rec.u.fig0_9;
    f.secondLayout = c.secondLayout;
    f.extensionFlag = r.read8(1);
    f.ltoUnique = r.read8(1);
    f.ensembleLto = r.read8(6);
    f.ensembleEcc = r.read8(8);
    f.interTableId = r.read8(8);
    if (c.figLength < 4)
        rec.status |= FIC_STATUS_BAD_LENGTH;
    bool deleteForm = false;
    while (!r.atEnd() && !r.overrun()) {
        if (f.numSubFields >= FIC_MAX_COUNTRY_SUBFIELDS) {
            rec.status |= FIC_STATUS_TOO_MANY_SUBITEMS;
            break;
        }
        FicFig0_9SubField &s = f.subFields[f.numSubFields++];
        s.numServices = r.read8(2);
        s.lto = r.read8(6);
        const bool wideIds = !c.secondLayout && c.pd;
        if (!wideIds)
            s.ecc = r.read8(8);
        for (int i = 0; i < s.numServices; ++i)
            s.serviceIds[i] = r.read(wideIds ? 32 : 16);
        if (!c.secondLayout && s.numServices == 0 && s.lto == 0)
            deleteForm = true;
    }
    setUpdateMode(rec, deleteForm);
}

void readFig0_10(BitReader &r, FicFigRecord &rec, EntryContext &c)
{
    FicFig0_10 &f = rec.u.fig0_10;
    r.skip(1);
    f.mjd = r.read(17);
    f.lsi = r.read8(1);
    f.confInd = r.read8(1);
    f.utcFlag = r.read8(1);
    f.hours = r.read8(5);
    f.minutes = r.read8(6);
    if (f.utcFlag) {
        f.seconds = r.read8(6);
        f.milliseconds = r.read16(10);
    }
    if (c.figLength != (f.utcFlag ? 7 : 5))
        rec.status |= FIC_STATUS_BAD_LENGTH;
}

void readFig0_11(BitReader &r, FicFigRecord &rec, EntryContext &c)
{
    FicFig0_11 &f = rec.u.fig0_11;
    f.gaty = r.read8(4);
    f.ge = r.read8(1);
    f.upperPart = r.read8(5);
    f.lowerPart = r.read8(6);
    if (f.gaty == 0) {
        r.skip(3);
        f.listLength = r.read8(5);
        readList(rec, f.listLength, f.list, [&](uint8_t &byte) { byte = r.read8(8); });
        setUpdateMode(rec, f.listLength == 0);
    } else if (f.gaty == 1) {
        f.latitudeCoarse = r.read16(16);
        f.longitudeCoarse = r.read16(16);
        f.latitudeExtent = r.read16(12);
        f.longitudeExtent = r.read16(12);
        setUpdateMode(rec, false);
    } else {
        rec.status |= FIC_STATUS_BAD_LENGTH;
        c.stop = true;
    }
}

void readFig0_12(BitReader &r, FicFigRecord &rec, EntryContext &)
{
    static const uint8_t valueCounts[4] = {1, 2, 6, 4};
    FicFig0_12 &f = rec.u.fig0_12;
    f.id = r.read16(16);
    f.flag = r.read8(1);
    f.field3 = r.read8(3);
    f.field2a = r.read8(2);
    f.field2b = r.read8(2);
    if (f.flag)
        f.optional8 = r.read8(8);
    f.numValues = valueCounts[f.field2b];
    for (int i = 0; i < f.numValues; ++i)
        f.values[i] = r.read(32);
    if (!r.atEnd())
        rec.status |= FIC_STATUS_BAD_LENGTH;
}

void readFig0_13(BitReader &r, FicFigRecord &rec, EntryContext &c)
{
    FicFig0_13 &f = rec.u.fig0_13;
    f.serviceId = readServiceId(r, c);
    f.scIdS = r.read8(4);
    f.numApplications = r.read8(4);
    readList(rec, f.numApplications, f.applications, [&](FicFig0_13Application &app) {
        // After a data length beyond the field nothing more is read.
        if (c.stop)
            return;
        app.type = r.read16(11);
        app.dataLength = r.read8(5);
        if (app.dataLength > FIC_MAX_USER_APPLICATION_DATA) {
            rec.status |= FIC_STATUS_BAD_LENGTH;
            c.stop = true;
            return;
        }
        for (int k = 0; k < app.dataLength; ++k)
            app.data[k] = r.read8(8);
    });
}

void readFig0_14(BitReader &r, FicFigRecord &rec, EntryContext &)
{
    rec.u.fig0_14.subChId = r.read8(6);
    rec.u.fig0_14.fecScheme = r.read8(2);
}

void readFig0_16(BitReader &r, FicFigRecord &rec, EntryContext &)
{
    FicFig0_16 &f = rec.u.fig0_16;
    f.serviceId = r.read16(16);
    f.pnum = r.read16(16);
    r.skip(6);
    f.continuationFlag = r.read8(1);
    f.updateFlag = r.read8(1);
    if (f.updateFlag) {
        f.newServiceId = r.read16(16);
        f.newPnum = r.read16(16);
    }
}

void readFig0_17(BitReader &r, FicFigRecord &rec, EntryContext &)
{
    FicFig0_17 &f = rec.u.fig0_17;
    f.serviceId = r.read16(16);
    f.sd = r.read8(1);
    f.ps = r.read8(1);
    f.lFlag = r.read8(1);
    f.ccFlag = r.read8(1);
    r.skip(4);
    if (f.lFlag)
        f.language = r.read8(8);
    r.skip(3);
    f.internationalCode = r.read8(5);
    if (f.ccFlag) {
        r.skip(3);
        f.complementaryCode = r.read8(5);
    }
}

void readFig0_18(BitReader &r, FicFigRecord &rec, EntryContext &)
{
    FicFig0_18 &f = rec.u.fig0_18;
    f.serviceId = r.read16(16);
    f.asuFlags = r.read16(16);
    r.skip(3);
    f.numClusters = r.read8(5);
    readList(rec, f.numClusters, f.clusterIds, [&](uint8_t &id) { id = r.read8(8); });
    setUpdateMode(rec, f.asuFlags == 0 && f.numClusters == 0);
}

void readFig0_19(BitReader &r, FicFigRecord &rec, EntryContext &)
{
    FicFig0_19 &f = rec.u.fig0_19;
    f.clusterId = r.read8(8);
    f.aswFlags = r.read16(16);
    f.newFlag = r.read8(1);
    f.regionFlag = r.read8(1);
    f.subChId = r.read8(6);
    if (f.regionFlag) {
        r.skip(2);
        f.regionId = r.read8(6);
    }
}

void readFig0_20(BitReader &r, FicFigRecord &rec, EntryContext &c)
{
    FicFig0_20 &f = rec.u.fig0_20;
    f.serviceId = readServiceId(r, c);
    f.scIdS = r.read8(4);
    f.changeFlags = r.read8(2);
    f.ptFlag = r.read8(1);
    f.scFlag = r.read8(1);
    if (f.scFlag) {
        f.scField1a = r.read8(1);
        f.scField1b = r.read8(1);
        f.scField6 = r.read8(6);
    }
    f.date = r.read8(5);
    f.hour = r.read8(5);
    f.minutes = r.read8(6);
    f.seconds = r.read8(6);
    f.sidFlag = r.read8(1);
    f.eidFlag = r.read8(1);
    if (f.sidFlag)
        f.transferServiceId = readServiceId(r, c);
    if (f.eidFlag)
        f.transferEid = r.read16(16);
}

void readFig0_22(BitReader &r, FicFigRecord &rec, EntryContext &)
{
    FicFig0_22 &f = rec.u.fig0_22;
    f.ms = r.read8(1);
    f.mainId = r.read8(7);
    if (f.ms) {
        r.skip(5);
        f.numSubFields = r.read8(3);
        readList(rec, f.numSubFields, f.subFields, [&](FicFig0_22SubField &s) {
            s.field5 = r.read8(5);
            s.field11 = r.read16(11);
            s.field16a = r.read16(16);
            s.field16b = r.read16(16);
        });
        setUpdateMode(rec, f.numSubFields == 0);
    } else {
        f.latitudeCoarse = r.read16(16);
        f.longitudeCoarse = r.read16(16);
        f.latitudeFine = r.read8(4);
        f.longitudeFine = r.read8(4);
        setUpdateMode(rec, false);
    }
}

void readFig0_24(BitReader &r, FicFigRecord &rec, EntryContext &c)
{
    FicFig0_24 &f = rec.u.fig0_24;
    f.serviceId = readServiceId(r, c);
    r.skip(1);
    f.caId = r.read8(3);
    f.numEids = r.read8(4);
    readList(rec, f.numEids, f.eids, [&](uint16_t &eid) { eid = r.read16(16); });
    setUpdateMode(rec, f.numEids == 0);
}

void readFig0_25(BitReader &r, FicFigRecord &rec, EntryContext &c)
{
    FicFig0_25 &f = rec.u.fig0_25;
    f.secondLayout = c.secondLayout;
    f.serviceId = r.read16(16);
    f.asuFlags = r.read16(16);
    if (!c.secondLayout) {
        r.skip(4);
        f.numEids = r.read8(4);
        readList(rec, f.numEids, f.eids, [&](uint16_t &eid) { eid = r.read16(16); });
        setUpdateMode(rec, f.numEids == 0);
    } else {
        f.field6 = r.read8(6);
        f.count = r.read8(2);
        for (int i = 0; i < f.count; ++i) {
            f.items[i].field8 = r.read8(8);
            f.items[i].field16 = r.read16(16);
        }
        setUpdateMode(rec, false);
    }
}

void readFig0_26(BitReader &r, FicFigRecord &rec, EntryContext &c)
{
    FicFig0_26 &f = rec.u.fig0_26;
    f.secondLayout = c.secondLayout;
    f.clusterId = r.read8(8);
    f.aswFlags = r.read16(16);
    f.newFlag = r.read8(1);
    if (!c.secondLayout) {
        f.regionFlag = r.read8(1);
        f.subChId = r.read8(6);
        f.eid = r.read16(16);
        f.otherClusterId = r.read8(8);
        if (f.regionFlag) {
            r.skip(2);
            f.regionId = r.read8(6);
        }
    } else {
        f.field3 = r.read8(3);
        f.field4 = r.read8(4);
        f.eid = r.read16(16);
    }
}

void readFig0_27(BitReader &r, FicFigRecord &rec, EntryContext &)
{
    FicFig0_27 &f = rec.u.fig0_27;
    f.serviceId = r.read16(16);
    r.skip(4);
    f.numPiCodes = r.read8(4);
    readList(rec, f.numPiCodes, f.piCodes, [&](uint16_t &pi) { pi = r.read16(16); });
    setUpdateMode(rec, f.numPiCodes == 0);
}

void readFig0_28(BitReader &r, FicFigRecord &rec, EntryContext &)
{
    FicFig0_28 &f = rec.u.fig0_28;
    f.clusterId = r.read8(8);
    f.newFlag = r.read8(1);
    f.regionFlag = r.read8(1);
    f.regionId = r.read8(6);
    f.piCode = r.read16(16);
}

void readFig0_31(BitReader &r, FicFigRecord &rec, EntryContext &c)
{
    rec.u.fig0_31.type0Flags = r.read(32);
    rec.u.fig0_31.type1Flags = r.read8(8);
    rec.u.fig0_31.type2Flags = r.read8(8);
    if (c.figLength != 7)
        rec.status |= FIC_STATUS_BAD_LENGTH;
}

struct Fig0Reader {
    EntryReader read;
    bool multiEntry;
};

// Index: extension; FIG 0/21 is read by its own loop, null means not read.
const Fig0Reader Fig0Readers[FigExtensions] = {
    {readFig0_0, false},  {readFig0_1, true},   {readFig0_2, true},   {readFig0_3, true},
    {readFig0_4, true},   {readFig0_5, true},   {readFig0_6, true},   {readFig0_7, false},
    {readFig0_8, true},   {readFig0_9, false},  {readFig0_10, false}, {readFig0_11, true},
    {readFig0_12, false}, {readFig0_13, true},  {readFig0_14, true},  {nullptr, false},
    {readFig0_16, true},  {readFig0_17, true},  {readFig0_18, true},  {readFig0_19, true},
    {readFig0_20, true},  {nullptr, false},     {readFig0_22, true},  {nullptr, false},
    {readFig0_24, true},  {readFig0_25, true},  {readFig0_26, true},  {readFig0_27, true},
    {readFig0_28, true},  {nullptr, false},     {nullptr, false},     {readFig0_31, false},
};

void finishRecord(FicDecoder &decoder, FicFigRecord &record, const BitReader &r)
{
    if (r.overrun())
        record.status |= FIC_STATUS_BAD_LENGTH;
    if (record.status == 0) {
        if (record.figType == 0 && record.extension == 7)
            decoder.fig0_7Seen = 1;
        storeRecord(decoder, record);
    }
}

void copyRaw(FicFigRecord &record, const RawFig &fig)
{
    record.u.raw.length = fig.length;
    std::memcpy(record.u.raw.data, fig.data, fig.length);
}

// FIG 0/21: frequency-information blocks, each a header and a list of entries
// that must end inside its block.
void parseFig0_21(FicDecoder &decoder, BitReader &r, const FicFigRecord &head)
{
    while (!r.atEnd() && !r.overrun()) {
        r.skip(11);
        const unsigned listBytes = r.read(5);
        if (r.overrun() || listBytes > r.bitsLeft() / 8)
            return;
        const unsigned listEnd = r.bytePosition() + listBytes;
        while (r.bytePosition() < listEnd) {
            FicFigRecord record = head;
            FicFig0_21 &f = record.u.fig0_21;
            f.id = r.read16(16);
            f.rm = r.read8(4);
            f.continuityFlag = r.read8(1);
            f.length = r.read8(3);
            for (int i = 0; i < f.length; ++i)
                f.frequencies[i] = r.read8(8);
            if (r.bytePosition() > listEnd)
                record.status |= FIC_STATUS_BAD_LENGTH;
            setUpdateMode(record, f.length == 0);
            finishRecord(decoder, record, r);
            if (record.status != 0)
                return;
        }
    }
}

void parseType0(FicDecoder &decoder, const RawFig &fig, FicFigRecord &head)
{
    BitReader r(fig.data, fig.length);
    head.header.type0.cn = r.read8(1);
    head.header.type0.oe = r.read8(1);
    head.header.type0.pd = r.read8(1);
    head.extension = head.header.type0.extension = r.read8(5);
    EntryContext context{head.header.type0.pd, decoder.fig0_7Seen, fig.length};

    if (head.extension == 21) {
        parseFig0_21(decoder, r, head);
        return;
    }
    const Fig0Reader &reader = Fig0Readers[head.extension];
    if (reader.read == nullptr) {
        head.status |= FIC_STATUS_UNKNOWN_EXTENSION;
        copyRaw(head, fig);
        return;
    }
    do {
        FicFigRecord record = head;
        reader.read(r, record, context);
        finishRecord(decoder, record, r);
        if (r.overrun() || context.stop)
            return;
    } while (reader.multiEntry && !r.atEnd());
}

// The identifier part shared by labels (type 1) and segmented labels (type 2).
template <class Fields>
bool readLabelIdentifier(BitReader &r, uint8_t extension, Fields &f)
{
    switch (extension) {
    case 0:
    case 1:
    case 7: f.id = r.read(16); return true;
    case 3:
        f.field2 = r.read8(2);
        f.regionId = r.read8(6);
        return true;
    case 4:
    case 6:
        f.pd = r.read8(1);
        r.skip(3);
        f.scIdS = r.read8(4);
        f.id = r.read(f.pd ? 32 : 16);
        if (extension == 6) {
            r.skip(3);
            f.xpadAppType = r.read8(5);
        }
        return true;
    case 5: f.id = r.read(32); return true;
    default: return false;
    }
}

// Expected FIG length of the fixed-size labels; 0 for the ones not read.
uint8_t type1Length(const FicFigRecord &record)
{
    const FicFig1 &f = record.u.fig1;
    switch (record.extension) {
    case 0:
    case 1: return 21;
    case 2: return static_cast<uint8_t>(21 + (f.flagB ? 1 : 0) + (f.flagA ? 2 : 0));
    case 3: return 20;
    case 4: return f.pd ? 24 : 22;
    case 5: return 23;
    case 6: return f.pd ? 25 : 23;
    default: return 0;
    }
}

void parseType1(FicDecoder &decoder, const RawFig &fig, FicFigRecord &record)
{
    BitReader r(fig.data, fig.length);
    record.header.type1.charset = r.read8(4);
    record.header.type1.oe = r.read8(1);
    record.extension = record.header.type1.extension = r.read8(3);
    FicFig1 &f = record.u.fig1;
    bool known = record.extension != 7;
    if (record.extension == 2) {
        f.flagA = r.read8(1);
        f.flagB = r.read8(1);
        f.field6 = r.read8(6);
        if (f.flagB)
            f.optional8 = r.read8(8);
        f.field8 = r.read8(8);
    } else if (known) {
        known = readLabelIdentifier(r, record.extension, f);
    }
    if (!known) {
        record.status |= FIC_STATUS_UNKNOWN_EXTENSION;
        copyRaw(record, fig);
        return;
    }
    for (uint8_t &c : f.label)
        c = r.read8(8);
    f.charFlags = r.read16(16);
    if (record.extension == 2 && f.flagA) {
        f.extra8 = r.read8(8);
        f.extra4a = r.read8(4);
        f.extra4b = r.read8(4);
    }
    if (fig.length != type1Length(record))
        record.status |= FIC_STATUS_BAD_LENGTH;
    finishRecord(decoder, record, r);
}

void parseType2(FicDecoder &decoder, const RawFig &fig, FicFigRecord &record)
{
    BitReader r(fig.data, fig.length);
    record.header.type2.toggle = r.read8(1);
    record.header.type2.segmentIndex = r.read8(3);
    record.header.type2.reserved = r.read8(1);
    record.extension = record.header.type2.extension = r.read8(3);
    FicFig2 &f = record.u.fig2;
    if (record.extension == 2 || !readLabelIdentifier(r, record.extension, f)) {
        record.status |= FIC_STATUS_UNKNOWN_EXTENSION;
        copyRaw(record, fig);
        return;
    }
    if (r.overrun()) {
        record.status |= FIC_STATUS_BAD_LENGTH;
        return;
    }
    const unsigned headerBytes = r.bytePosition();
    f.segmentLength = static_cast<uint8_t>(fig.length - headerBytes);
    std::memcpy(f.segment, fig.data + headerBytes, f.segmentLength);
    if ((record.extension == 4 || record.extension == 6) && f.segmentLength >= 28)
        record.status |= FIC_STATUS_BAD_LENGTH;
    finishRecord(decoder, record, r);
}

void putAside(FicDecoder &decoder, const RawFig &fig)
{
    AsideStore &store = fig.type == 5 ? decoder.fidcStore : decoder.caStore;
    // Nothing reads these; beyond the store's size they are dropped.
    if (store.count >= AsideCapacity)
        return;
    store.figs[store.count].pushNumber = decoder.pushNumber;
    store.figs[store.count].fig = fig;
    ++store.count;
}

} // namespace

void parseFig(FicDecoder &decoder, const RawFig &fig)
{
    if (fig.type == 5 || fig.type == 6) {
        putAside(decoder, fig);
        return;
    }
    if (fig.type > 2 || fig.invalid || fig.length == 0)
        return;

    FicFigRecord head;
    std::memset(&head, 0, sizeof head);
    head.timeStamp = decoder.pushNumber;
    head.figType = fig.type;
    switch (fig.type) {
    case 0: parseType0(decoder, fig, head); break;
    case 1: parseType1(decoder, fig, head); break;
    default: parseType2(decoder, fig, head); break;
    }
}

bool figStringFits(const uint8_t *data, size_t length)
{
    size_t position = 0;
    while (position < length && data[position] != 0xFF) {
        const unsigned figLength = data[position] & 0x1F;
        if (figLength == 0 || figLength > MaxFigData) {
            position += FibDataBytes;
            continue;
        }
        if (figLength > length - position - 1)
            return false;
        position += figLength + 1;
    }
    return true;
}

// Cuts FIGs out of `length` bytes. Inside a FIB a FIG that runs past the FIB's
// data bytes is as malformed as a bad length field: the rest is skipped.
void splitFigs(FicDecoder &decoder, const uint8_t *data, size_t length, bool withinFib)
{
    size_t position = 0;
    while (position < length && data[position] != 0xFF) {
        RawFig fig;
        std::memset(&fig, 0, sizeof fig);
        fig.type = static_cast<uint8_t>(data[position] >> 5);
        const unsigned figLength = data[position] & 0x1F;
        const bool fits = figLength <= length - position - 1;
        if (figLength == 0 || figLength > MaxFigData || !fits) {
            fig.invalid = 1;
            parseFig(decoder, fig);
            if (withinFib || !fits)
                return;
            position += FibDataBytes;
            continue;
        }
        fig.length = static_cast<uint8_t>(figLength);
        std::memcpy(fig.data, data + position + 1, figLength);
        parseFig(decoder, fig);
        position += figLength + 1;
    }
}

} // namespace ZOZ::Fic
