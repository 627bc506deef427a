#include "Figs.h"

#include "DabUepTable.h"

#include <algorithm>
#include <cstdlib>

namespace ZOZ::EnsembleGen {

namespace {

// FIG types in the header byte's top three bits.
constexpr int FigType0 = 0;
constexpr int FigType1 = 1;
constexpr int FigType2 = 2;
// Characters of a FIG 1 label and of one FIG 2 segment.
constexpr size_t LabelCharacters = 16;
constexpr size_t SegmentCharacters = 16;
constexpr int MaxSegments = 8;

class BitWriter {
public:
    void put(uint32_t value, int bits)
    {
        for (int i = bits - 1; i >= 0; --i) {
            if (m_bit == 0)
                m_bytes.push_back(0);
            if ((value >> i) & 1)
                m_bytes.back() |= uint8_t(0x80 >> m_bit);
            m_bit = (m_bit + 1) % 8;
        }
    }
    std::vector<uint8_t> take() { return std::move(m_bytes); }

private:
    std::vector<uint8_t> m_bytes;
    int m_bit = 0;
};

Fig withHeader(int type, const std::vector<uint8_t> &data)
{
    Fig fig;
    fig.push_back(uint8_t((type << 5) | data.size()));
    fig.insert(fig.end(), data.begin(), data.end());
    return fig;
}

uint8_t type0Header(bool next, bool otherEnsemble, bool longIds, int extension)
{
    return uint8_t((next ? 0x80 : 0) | (otherEnsemble ? 0x40 : 0) | (longIds ? 0x20 : 0) | extension);
}

// Packs list items into as many type-0 FIGs as they need.
std::vector<Fig> packType0(uint8_t header, const std::vector<std::vector<uint8_t>> &items)
{
    std::vector<Fig> figs;
    std::vector<uint8_t> data{header};
    for (const auto &item : items) {
        if (data.size() + item.size() > MaxFigBytes - 1) {
            figs.push_back(withHeader(FigType0, data));
            data.assign(1, header);
        }
        data.insert(data.end(), item.begin(), item.end());
    }
    if (data.size() > 1)
        figs.push_back(withHeader(FigType0, data));
    return figs;
}

void putLabel(BitWriter &writer, const Label &label)
{
    std::string text = label.text.substr(0, LabelCharacters);
    text.resize(LabelCharacters, ' ');
    for (char c : text)
        writer.put(uint8_t(c), 8);
    writer.put(label.shortLabelFlags, 16);
}

void putServiceId(BitWriter &writer, const Service &service)
{
    writer.put(service.sid, service.isData ? 32 : 16);
}

// FIG 0/5 and FIG 0/8 name a component by its SCId (long form) or its
// sub-channel (short form, MSC).
void putComponentReference(BitWriter &writer, const Component &component)
{
    if (component.kind == Component::Kind::Packet) {
        writer.put(1, 1);
        writer.put(0, 3);
        writer.put(uint32_t(component.scId), 12);
    } else {
        writer.put(0, 1);
        writer.put(0, 1);  // MSC
        writer.put(uint32_t(component.subChId), 6);
    }
}

// Charset (EBU Latin), OE flag and extension of a FIG 1.
void putType1Header(BitWriter &writer, int extension)
{
    writer.put(0, 4);
    writer.put(0, 1);
    writer.put(uint32_t(extension), 3);
}

// The P/D flag holds for a whole type-0 FIG: `putItems(service, items)` adds
// the items of one service, programme services go into FIGs of their own
// before the data services.
template <class PutItems>
std::vector<Fig> packPerServiceKind(const std::vector<Service> &services, bool next, int extension, PutItems putItems)
{
    std::vector<Fig> figs;
    for (bool data : {false, true}) {
        std::vector<std::vector<uint8_t>> items;
        for (const Service &service : services)
            if (service.isData == data)
                putItems(service, items);
        const auto packed = packType0(type0Header(next, false, data, extension), items);
        figs.insert(figs.end(), packed.begin(), packed.end());
    }
    return figs;
}

} // namespace

int subChannelBitRate(const SubChannel &subChannel)
{
    if (subChannel.protection.isEep)
        return subChannel.bitRate;
    const DabUepEntry *entry = uepTableEntry(subChannel.protection.uepIndex);
    return entry ? entry->bitRate : 0;
}

int subChannelSize(const SubChannel &subChannel)
{
    const Protection &protection = subChannel.protection;
    if (!protection.isEep) {
        const DabUepEntry *entry = uepTableEntry(protection.uepIndex);
        return entry ? entry->size : 0;
    }
    if (protection.level < 1 || protection.level > 4 || subChannel.bitRate <= 0)
        return 0;
    // Capacity units per 8 kbit/s (set A) or per 32 kbit/s (set B), by level.
    static const int unitsA[] = {12, 8, 6, 4};
    static const int unitsB[] = {27, 21, 18, 15};
    if (protection.optionB)
        return subChannel.bitRate % 32 ? 0 : unitsB[protection.level - 1] * subChannel.bitRate / 32;
    return subChannel.bitRate % 8 ? 0 : unitsA[protection.level - 1] * subChannel.bitRate / 8;
}

Fig fig0_0(uint16_t eid, int changeFlags, bool alarm, int cifCount, int occurrenceChange)
{
    BitWriter writer;
    writer.put(type0Header(false, false, false, 0), 8);
    writer.put(eid, 16);
    writer.put(uint32_t(changeFlags), 2);
    writer.put(alarm ? 1 : 0, 1);
    writer.put(uint32_t((cifCount / 250) % 20), 5);
    writer.put(uint32_t(cifCount % 250), 8);
    if (changeFlags)
        writer.put(uint32_t(occurrenceChange), 8);
    return withHeader(FigType0, writer.take());
}

std::vector<Fig> fig0_1(const std::vector<SubChannel> &subChannels, bool next)
{
    std::vector<std::vector<uint8_t>> items;
    for (const SubChannel &subChannel : subChannels) {
        BitWriter writer;
        writer.put(uint32_t(subChannel.id), 6);
        writer.put(uint32_t(subChannel.startAddress), 10);
        if (subChannel.protection.isEep) {
            writer.put(1, 1);
            writer.put(subChannel.protection.optionB ? 1 : 0, 3);
            writer.put(uint32_t(subChannel.protection.level - 1), 2);
            writer.put(uint32_t(subChannelSize(subChannel)), 10);
        } else {
            writer.put(0, 1);
            writer.put(0, 1);  // table switch
            writer.put(uint32_t(subChannel.protection.uepIndex), 6);
        }
        items.push_back(writer.take());
    }
    return packType0(type0Header(next, false, false, 1), items);
}

std::vector<Fig> fig0_2(const std::vector<Service> &services, bool next)
{
    return packPerServiceKind(services, next, 2, [](const Service &service, std::vector<std::vector<uint8_t>> &items) {
        BitWriter writer;
        putServiceId(writer, service);
        writer.put(0, 1);  // local flag
        writer.put(0, 3);  // CAId
        writer.put(uint32_t(service.components.size()), 4);
        for (const Component &component : service.components) {
            switch (component.kind) {
            case Component::Kind::StreamAudio:
            case Component::Kind::StreamData:
                writer.put(component.kind == Component::Kind::StreamAudio ? 0 : 1, 2);
                writer.put(uint32_t(component.type), 6);
                writer.put(uint32_t(component.subChId), 6);
                break;
            case Component::Kind::Packet:
                writer.put(3, 2);
                writer.put(uint32_t(component.scId), 12);
                break;
            }
            writer.put(component.primary ? 1 : 0, 1);
            writer.put(0, 1);  // no conditional access
        }
        items.push_back(writer.take());
    });
}

std::vector<Fig> fig0_3(const std::vector<Service> &services)
{
    std::vector<std::vector<uint8_t>> items;
    for (const Service &service : services)
        for (const Component &component : service.components) {
            if (component.kind != Component::Kind::Packet)
                continue;
            BitWriter writer;
            writer.put(uint32_t(component.scId), 12);
            writer.put(0, 3);
            writer.put(0, 1);  // no CAOrg
            writer.put(component.dataGroups ? 0 : 1, 1);
            writer.put(0, 1);
            writer.put(uint32_t(component.type), 6);
            writer.put(uint32_t(component.subChId), 6);
            writer.put(uint32_t(component.packetAddress), 10);
            items.push_back(writer.take());
        }
    return packType0(type0Header(false, false, false, 3), items);
}

std::vector<Fig> fig0_5(const std::vector<Service> &services)
{
    std::vector<std::vector<uint8_t>> items;
    for (const Service &service : services)
        for (const Component &component : service.components) {
            if (component.language < 0)
                continue;
            BitWriter writer;
            putComponentReference(writer, component);
            writer.put(uint32_t(component.language), 8);
            items.push_back(writer.take());
        }
    return packType0(type0Header(false, false, false, 5), items);
}

std::vector<Fig> fig0_8(const std::vector<Service> &services)
{
    return packPerServiceKind(services, false, 8, [](const Service &service, std::vector<std::vector<uint8_t>> &items) {
        for (const Component &component : service.components) {
            // FIG 0/13 names a component by its SCIdS, which only FIG 0/8
            // ties to the component: without it a receiver drops the applications.
            if (!component.globalDefinition && component.applications.empty())
                continue;
            BitWriter writer;
            putServiceId(writer, service);
            writer.put(0, 1);  // no extension byte
            writer.put(0, 3);
            writer.put(uint32_t(component.scIdS), 4);
            putComponentReference(writer, component);
            items.push_back(writer.take());
        }
    });
}

Fig fig0_9(int ecc, int localTimeOffset, int interTableId)
{
    BitWriter writer;
    writer.put(type0Header(false, false, false, 9), 8);
    writer.put(0, 1);  // no extended field
    writer.put(0, 1);  // one offset for the whole ensemble
    writer.put(localTimeOffset < 0 ? 1 : 0, 1);
    writer.put(uint32_t(std::min(std::abs(localTimeOffset), 31)), 5);
    writer.put(uint32_t(ecc), 8);
    writer.put(uint32_t(interTableId), 8);
    return withHeader(FigType0, writer.take());
}

int modifiedJulianDate(int year, int month, int day)
{
    // Days from the civil date, shifted to the MJD epoch (1858-11-17).
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yearOfEra = y - era * 400;
    const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const int daysSince1970 = era * 146097 + dayOfEra - 719468;
    return daysSince1970 + 40587;
}

Fig fig0_10(const DateTime &start, int64_t milliseconds)
{
    const int64_t startSeconds = int64_t(start.hour) * 3600 + start.minute * 60 + start.second;
    const int64_t total = startSeconds * 1000 + milliseconds;
    const int64_t days = total / 86400000;
    const int64_t ofDay = total % 86400000;
    BitWriter writer;
    writer.put(type0Header(false, false, false, 10), 8);
    writer.put(0, 1);
    writer.put(uint32_t(modifiedJulianDate(start.year, start.month, start.day) + days), 17);
    writer.put(0, 1);  // no leap second
    writer.put(0, 1);
    writer.put(1, 1);  // long form
    writer.put(uint32_t(ofDay / 3600000), 5);
    writer.put(uint32_t(ofDay / 60000 % 60), 6);
    writer.put(uint32_t(ofDay / 1000 % 60), 6);
    writer.put(uint32_t(ofDay % 1000), 10);
    return withHeader(FigType0, writer.take());
}

std::vector<Fig> fig0_13(const std::vector<Service> &services)
{
    return packPerServiceKind(services, false, 13, [](const Service &service, std::vector<std::vector<uint8_t>> &items) {
        for (const Component &component : service.components) {
            if (component.applications.empty())
                continue;
            BitWriter writer;
            putServiceId(writer, service);
            writer.put(uint32_t(component.scIdS), 4);
            writer.put(uint32_t(component.applications.size()), 4);
            for (const UserApplication &application : component.applications) {
                writer.put(application.type, 11);
                writer.put(uint32_t(std::min<size_t>(application.data.size(), 23)), 5);
                for (size_t i = 0; i < application.data.size() && i < 23; ++i)
                    writer.put(application.data[i], 8);
            }
            items.push_back(writer.take());
        }
    });
}

std::vector<Fig> fig0_14(const std::vector<SubChannel> &subChannels)
{
    std::vector<std::vector<uint8_t>> items;
    for (const SubChannel &subChannel : subChannels) {
        if (subChannel.fecScheme < 0)
            continue;
        items.push_back({uint8_t((subChannel.id << 2) | (subChannel.fecScheme & 3))});
    }
    return packType0(type0Header(false, false, false, 14), items);
}

std::vector<Fig> fig0_17(const std::vector<Service> &services)
{
    std::vector<std::vector<uint8_t>> items;
    for (const Service &service : services) {
        if (service.programmeType < 0 || service.isData)
            continue;
        BitWriter writer;
        writer.put(service.sid, 16);
        writer.put(0, 1);  // S/D 0: the static code, the one receivers list services by
        writer.put(0, 1);  // primary
        writer.put(service.language >= 0 ? 1 : 0, 1);
        writer.put(0, 1);  // no complementary code
        writer.put(0, 4);
        if (service.language >= 0)
            writer.put(uint32_t(service.language), 8);
        writer.put(0, 3);
        writer.put(uint32_t(service.programmeType), 5);
        items.push_back(writer.take());
    }
    return packType0(type0Header(false, false, false, 17), items);
}

std::vector<Fig> fig0_18(const std::vector<Service> &services)
{
    std::vector<std::vector<uint8_t>> items;
    for (const Service &service : services) {
        if (!service.announcementSupport || service.isData)
            continue;
        BitWriter writer;
        writer.put(service.sid, 16);
        writer.put(service.announcementSupport, 16);
        writer.put(0, 5);
        const size_t clusters = std::min<size_t>(service.clusters.size(), 7);
        writer.put(uint32_t(clusters), 3);
        for (size_t i = 0; i < clusters; ++i)
            writer.put(uint32_t(service.clusters[i]), 8);
        items.push_back(writer.take());
    }
    return packType0(type0Header(false, false, false, 18), items);
}

std::vector<Fig> fig0_19(const std::vector<Announcement> &announcements)
{
    std::vector<std::vector<uint8_t>> items;
    for (const Announcement &announcement : announcements) {
        BitWriter writer;
        writer.put(uint32_t(announcement.clusterId), 8);
        writer.put(announcement.switching, 16);
        writer.put(announcement.isNew ? 1 : 0, 1);
        writer.put(0, 1);  // no region
        writer.put(uint32_t(announcement.subChId), 6);
        items.push_back(writer.take());
    }
    return packType0(type0Header(false, false, false, 19), items);
}

Fig fig1_0(uint16_t eid, const Label &label)
{
    BitWriter writer;
    putType1Header(writer, 0);
    writer.put(eid, 16);
    putLabel(writer, label);
    return withHeader(FigType1, writer.take());
}

std::vector<Fig> serviceLabels(const std::vector<Service> &services)
{
    std::vector<Fig> figs;
    for (const Service &service : services) {
        BitWriter writer;
        putType1Header(writer, service.isData ? 5 : 1);
        putServiceId(writer, service);
        putLabel(writer, service.label);
        figs.push_back(withHeader(FigType1, writer.take()));
        for (const Component &component : service.components) {
            if (!component.label)
                continue;
            BitWriter componentWriter;
            putType1Header(componentWriter, 4);
            componentWriter.put(service.isData ? 1 : 0, 1);
            componentWriter.put(0, 3);
            componentWriter.put(uint32_t(component.scIdS), 4);
            putServiceId(componentWriter, service);
            putLabel(componentWriter, *component.label);
            figs.push_back(withHeader(FigType1, componentWriter.take()));
        }
    }
    return figs;
}

std::vector<Fig> fig2_1(uint32_t sid, const ExtendedLabel &label, bool toggle)
{
    std::vector<uint8_t> text;
    const bool ucs2 = label.encoding == ExtendedLabel::Encoding::Ucs2;
    if (ucs2) {
        // UTF-8 to UCS-2, big-endian; characters beyond the basic plane become '?'.
        const std::string &in = label.utf8;
        for (size_t i = 0; i < in.size();) {
            const uint8_t lead = uint8_t(in[i]);
            uint32_t code = '?';
            size_t length = 1;
            if (lead < 0x80) {
                code = lead;
            } else if ((lead >> 5) == 0x6 && i + 1 < in.size()) {
                code = ((lead & 0x1Fu) << 6) | (uint8_t(in[i + 1]) & 0x3Fu);
                length = 2;
            } else if ((lead >> 4) == 0xE && i + 2 < in.size()) {
                code = ((lead & 0x0Fu) << 12) | ((uint8_t(in[i + 1]) & 0x3Fu) << 6) | (uint8_t(in[i + 2]) & 0x3Fu);
                length = 3;
            } else if ((lead >> 3) == 0x1E) {
                length = 4;
            }
            text.push_back(uint8_t(code >> 8));
            text.push_back(uint8_t(code));
            i += length;
        }
    } else {
        text.assign(label.utf8.begin(), label.utf8.end());
    }
    const size_t segments = std::max<size_t>(1, (text.size() + SegmentCharacters - 1) / SegmentCharacters);
    if (segments > MaxSegments)
        return {};
    std::vector<Fig> figs;
    for (size_t index = 0; index < segments; ++index) {
        BitWriter writer;
        writer.put(toggle ? 1 : 0, 1);
        writer.put(uint32_t(index), 3);
        writer.put(0, 1);
        writer.put(1, 3);
        writer.put(sid, 16);
        if (index == 0) {
            writer.put(ucs2 ? 1 : 0, 1);
            writer.put(uint32_t(segments - 1), 3);
            writer.put(0, 4);
            writer.put(label.shortLabelFlags, 16);
        }
        const size_t begin = index * SegmentCharacters;
        const size_t end = std::min(text.size(), begin + SegmentCharacters);
        for (size_t i = begin; i < end; ++i)
            writer.put(text[i], 8);
        figs.push_back(withHeader(FigType2, writer.take()));
    }
    return figs;
}

} // namespace ZOZ::EnsembleGen
