// The store of FIG entries: one sorted list per FIG type and extension, nodes
// from a fixed pool, current and next configuration, expiry and modification
// counters.
#include "DabFicInternal.h"
#include "DabFicTables.h"

#include <cstring>
#include <initializer_list>

namespace ZOZ::Fic {
namespace {

constexpr int MaxKeyParts = 5;

struct Key {
    int parts = 0;
    uint32_t value[MaxKeyParts] = {};
};

void add(Key &key, uint32_t value) { key.value[key.parts++] = value; }

// Order of the entries of a list. The keyed-update extensions leave the C/N
// flag out: their current and next entries share one key.
Key keyOf(const FicFigRecord &r)
{
    Key key;
    const uint8_t cn = r.header.type0.cn;
    const uint8_t oe = r.header.type0.oe;
    const uint8_t pd = r.header.type0.pd;
    if (r.figType == 0) {
        switch (r.extension) {
        case 1: add(key, cn); add(key, r.u.fig0_1.subChId); break;
        case 14: add(key, cn); add(key, r.u.fig0_14.subChId); break;
        case 2: add(key, cn); add(key, r.u.fig0_2.serviceId); break;
        case 3: add(key, cn); add(key, r.u.fig0_3.scId); break;
        case 4: add(key, cn); add(key, r.u.fig0_4.mf); add(key, r.u.fig0_4.id); break;
        case 5: {
            const FicFig0_5 &f = r.u.fig0_5;
            add(key, cn);
            add(key, f.form);
            add(key, f.form == 0 ? f.subChId : f.form == 1 ? f.fidcId : f.scId);
            break;
        }
        case 6: {
            const FicFig0_6 &f = r.u.fig0_6;
            add(key, oe); add(key, pd); add(key, f.sh); add(key, f.ils); add(key, f.lsn);
            break;
        }
        case 7: add(key, cn); break;
        case 8: add(key, cn); add(key, r.u.fig0_8.serviceId); add(key, r.u.fig0_8.scIdS); break;
        case 9: add(key, oe); add(key, pd); break;
        case 11: add(key, r.u.fig0_11.upperPart); add(key, r.u.fig0_11.lowerPart); break;
        case 12: add(key, cn); add(key, r.u.fig0_12.id); add(key, r.u.fig0_12.field2b); break;
        case 13: add(key, oe); add(key, r.u.fig0_13.serviceId); add(key, r.u.fig0_13.scIdS); break;
        case 16: add(key, oe); add(key, r.u.fig0_16.serviceId); add(key, r.u.fig0_16.pnum); break;
        case 17: {
            const FicFig0_17 &f = r.u.fig0_17;
            add(key, oe); add(key, f.serviceId); add(key, f.sd); add(key, f.ps);
            break;
        }
        case 18: add(key, r.u.fig0_18.serviceId); break;
        case 19: add(key, r.u.fig0_19.clusterId); add(key, r.u.fig0_19.subChId); break;
        case 20: add(key, r.u.fig0_20.serviceId); add(key, r.u.fig0_20.scIdS); break;
        case 21: add(key, oe); add(key, pd); add(key, r.u.fig0_21.id); add(key, r.u.fig0_21.rm); break;
        case 22: add(key, oe); add(key, pd); add(key, r.u.fig0_22.mainId); break;
        case 24: add(key, oe); add(key, pd); add(key, r.u.fig0_24.serviceId); break;
        case 25: add(key, oe); add(key, pd); add(key, r.u.fig0_25.serviceId); break;
        case 26: add(key, r.u.fig0_26.clusterId); break;
        case 27: add(key, oe); add(key, pd); add(key, r.u.fig0_27.serviceId); break;
        case 28: add(key, r.u.fig0_28.clusterId); break;
        default: break; // 0/0, 0/10, 0/31: one entry
        }
    } else if (r.figType == 1) {
        const FicFig1 &f = r.u.fig1;
        const uint8_t oe1 = r.header.type1.oe;
        switch (r.extension) {
        case 0:
        case 1:
        case 5: add(key, oe1); add(key, f.id); break;
        case 2: add(key, f.flagB); add(key, f.field6); add(key, f.optional8); break;
        case 3: add(key, f.regionId); break;
        case 4: add(key, oe1); add(key, f.id); add(key, f.scIdS); break;
        case 6: add(key, f.id); add(key, f.scIdS); break;
        default: break;
        }
    } else {
        const FicFig2 &f = r.u.fig2;
        const uint8_t index = r.header.type2.segmentIndex;
        const uint8_t reserved = r.header.type2.reserved;
        switch (r.extension) {
        case 3: add(key, f.regionId); add(key, index); break;
        case 4:
        case 6: add(key, f.id); add(key, f.scIdS); add(key, index); add(key, reserved); break;
        default: add(key, f.id); add(key, index); add(key, reserved); break;
        }
    }
    return key;
}

int compareKeys(const Key &a, const Key &b)
{
    for (int i = 0; i < a.parts && i < b.parts; ++i) {
        if (a.value[i] != b.value[i])
            return a.value[i] < b.value[i] ? -1 : 1;
    }
    return 0;
}

// Everything from the header flags on; the time stamp is not content.
constexpr size_t ContentOffset = offsetof(FicFigRecord, status);
int compareContent(const FicFigRecord &a, const FicFigRecord &b)
{
    return std::memcmp(reinterpret_cast<const uint8_t *>(&a) + ContentOffset,
                       reinterpret_cast<const uint8_t *>(&b) + ContentOffset, sizeof(FicFigRecord) - ContentOffset);
}

bool isNext(const FicFigEntry &entry) { return entry.record.header.type0.cn != 0; }

void unlink(List &list, FicFigEntry *entry)
{
    if (entry->previous != nullptr)
        entry->previous->next = entry->next;
    else
        list.head = entry->next;
    if (entry->next != nullptr)
        entry->next->previous = entry->previous;
    else
        list.tail = entry->previous;
    entry->previous = entry->next = nullptr;
    entry->list = nullptr;
    --list.count;
}

// Links `entry` before `before`, or at the end for a null `before`.
void link(List &list, FicFigEntry *entry, FicFigEntry *before)
{
    entry->list = &list;
    entry->next = before;
    entry->previous = before != nullptr ? before->previous : list.tail;
    if (entry->previous != nullptr)
        entry->previous->next = entry;
    else
        list.head = entry;
    if (before != nullptr)
        before->previous = entry;
    else
        list.tail = entry;
    ++list.count;
}

void release(FicDecoder &decoder, List &list, FicFigEntry *entry)
{
    unlink(list, entry);
    ++list.modifications;
    link(decoder.pool, entry, nullptr);
}

void insert(FicDecoder &decoder, List &list, const FicFigRecord &record, FicFigEntry *before)
{
    FicFigEntry *entry = decoder.pool.head;
    if (entry == nullptr || list.count >= list.capacity)
        return;
    unlink(decoder.pool, entry);
    std::memcpy(&entry->record, &record, sizeof record);
    link(list, entry, before);
    ++list.modifications;
}

void refresh(List &list, FicFigEntry &entry, const FicFigRecord &record)
{
    if (compareContent(entry.record, record) != 0) {
        std::memcpy(&entry.record, &record, sizeof record);
        ++list.modifications;
    } else {
        entry.record.timeStamp = record.timeStamp;
    }
}

// Plain sorted store: one entry per key.
void storeByKey(FicDecoder &decoder, List &list, const FicFigRecord &record, bool keepNextEntries)
{
    const Key key = keyOf(record);
    for (FicFigEntry *entry = list.head; entry != nullptr; entry = entry->next) {
        const int order = compareKeys(keyOf(entry->record), key);
        if (order < 0)
            continue;
        if (order == 0 && keepNextEntries && isNext(*entry)) {
            insert(decoder, list, record, entry);
            return;
        }
        if (order == 0)
            refresh(list, *entry, record);
        else
            insert(decoder, list, record, entry);
        return;
    }
    insert(decoder, list, record, nullptr);
}

// Several next-configuration entries may share one key; they are kept in
// content order and only an identical one is refreshed.
void storeNext(FicDecoder &decoder, List &list, const FicFigRecord &record)
{
    const Key key = keyOf(record);
    for (FicFigEntry *entry = list.head; entry != nullptr; entry = entry->next) {
        const int order = compareKeys(keyOf(entry->record), key);
        if (order > 0) {
            insert(decoder, list, record, entry);
            return;
        }
        if (order < 0 || !isNext(*entry))
            continue;
        const int content = compareContent(record, entry->record);
        if (content == 0) {
            entry->record.timeStamp = record.timeStamp;
            return;
        }
        if (content < 0) {
            insert(decoder, list, record, entry);
            return;
        }
    }
    insert(decoder, list, record, nullptr);
}

void deleteKey(FicDecoder &decoder, List &list, const FicFigRecord &record)
{
    const Key key = keyOf(record);
    FicFigEntry *entry = list.head;
    while (entry != nullptr) {
        FicFigEntry *next = entry->next;
        if (compareKeys(keyOf(entry->record), key) == 0)
            release(decoder, list, entry);
        entry = next;
    }
}

void updateLinkageActive(List &list, const FicFigRecord &record)
{
    const Key key = keyOf(record);
    const uint8_t la = record.u.fig0_6.la;
    for (FicFigEntry *entry = list.head; entry != nullptr; entry = entry->next) {
        if (compareKeys(keyOf(entry->record), key) != 0)
            continue;
        if (entry->record.u.fig0_6.la != la && !isNext(*entry))
            ++list.modifications;
        entry->record.u.fig0_6.la = la;
    }
}

bool hasKeyedUpdate(int extension)
{
    switch (extension) {
    case 6: case 9: case 11: case 18: case 21: case 22: case 24: case 25: case 27: return true;
    default: return false;
    }
}

void takeCifState(FicDecoder &decoder, const FicFig0_0 &f)
{
    decoder.cifHigh = f.cifCountHigh;
    decoder.cifLow = f.cifCountLow;
    if (f.changeFlags == 0 && decoder.pendingChange != 0)
        decoder.occurrence = NoOccurrence;
    decoder.pendingChange = f.changeFlags;
    if (f.changeFlags != 0)
        decoder.occurrence = f.occurrenceChange;
}

void promoteNextEntries(FicDecoder &decoder, List &list)
{
    FicFigEntry *entry = list.head;
    while (entry != nullptr) {
        FicFigEntry *next = entry->next;
        if (!isNext(*entry)) {
            release(decoder, list, entry);
        } else {
            entry->record.header.type0.cn = 0;
            ++list.modifications;
        }
        entry = next;
    }
}

void initList(List &list, uint16_t capacity)
{
    list.head = list.tail = nullptr;
    list.capacity = capacity;
    list.count = 0;
    list.modifications = 0;
}

} // namespace

void resetDatabase(FicDecoder &decoder)
{
    initList(decoder.pool, PoolSize);
    for (auto &byType : decoder.lists) {
        for (List &list : byType)
            initList(list, ListCapacity);
    }
    for (FicFigEntry &node : decoder.nodes) {
        std::memset(&node, 0, sizeof node);
        link(decoder.pool, &node, nullptr);
    }
    decoder.pendingChange = 0;
    decoder.occurrence = NoOccurrence;
    decoder.cifHigh = decoder.cifLow = 0;
}

void storeRecord(FicDecoder &decoder, const FicFigRecord &record)
{
    List &list = listOf(decoder, record.figType, record.extension);
    if (record.figType == 0 && hasKeyedUpdate(record.extension)) {
        switch (record.updateMode) {
        case FIC_UPDATE_CURRENT: storeByKey(decoder, list, record, true); break;
        case FIC_UPDATE_NEXT: storeNext(decoder, list, record); break;
        case FIC_UPDATE_DELETE_CURRENT: deleteKey(decoder, list, record); break;
        case FIC_UPDATE_DELETE_NEXT:
            if (record.extension == 6)
                updateLinkageActive(list, record);
            break;
        default: break;
        }
        return;
    }
    if (record.figType == 0 && record.extension == 0)
        takeCifState(decoder, record.u.fig0_0);
    storeByKey(decoder, list, record, false);
}

void advanceCif(FicDecoder &decoder)
{
    if (++decoder.cifLow >= 250) {
        decoder.cifLow = 0;
        if (++decoder.cifHigh >= 20)
            decoder.cifHigh = 0;
    }
    if (decoder.pendingChange != 0 && decoder.cifLow == decoder.occurrence)
        reconfigure(decoder, decoder.pendingChange);
}

void reconfigure(FicDecoder &decoder, uint8_t flags)
{
    if (flags & FIC_RECONFIGURE_SUBCHANNELS) {
        for (int extension : {1, 14})
            promoteNextEntries(decoder, listOf(decoder, 0, extension));
    }
    if (flags & FIC_RECONFIGURE_SERVICES) {
        for (int extension : {2, 3, 4, 8})
            promoteNextEntries(decoder, listOf(decoder, 0, extension));
    }
    decoder.pendingChange = 0;
    decoder.occurrence = NoOccurrence;
}

void expireRecords(FicDecoder &decoder)
{
    const int extension = static_cast<int>(decoder.pushNumber % FigExtensions);
    for (int type = 0; type < FigTypes; ++type) {
        const uint32_t timeout = expiryTimeout(type, extension);
        List &list = listOf(decoder, type, extension);
        FicFigEntry *entry = list.head;
        while (entry != nullptr) {
            FicFigEntry *next = entry->next;
            if (decoder.pushNumber - entry->record.timeStamp > timeout)
                release(decoder, list, entry);
            entry = next;
        }
    }
}

void clearAsideStores(FicDecoder &decoder)
{
    decoder.fidcStore.count = 0;
    decoder.caStore.count = 0;
}

uint32_t expiryTimeout(int type, int extension)
{
    if (type < 0 || type >= FigTypes || extension < 0 || extension >= FigExtensions)
        return 0;
    return FicRecordTimeouts[type][extension];
}

} // namespace ZOZ::Fic
