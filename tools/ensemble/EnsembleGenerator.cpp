#include "EnsembleGenerator.h"

#include "DabCrc16.h"
#include "DabUepTable.h"
#include "zoz_eti.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <set>

namespace ZOZ::EnsembleGen {

namespace {

constexpr int FibBytes = 32;
constexpr int FibDataBytes = 30;
constexpr uint8_t EndMarker = 0xFF;
// Capacity units of the Main Service Channel.
constexpr int MscCapacityUnits = 864;
// Frames ahead of a reconfiguration that its announcement starts; the
// occurrence field of FIG 0/0 only reaches 250 CIFs ahead.
constexpr int ReconfigurationLead = 100;
constexpr int FrameMilliseconds = 24;

// Repetition periods in frames of 24 ms.
constexpr int FastPeriod = 4;      // 96 ms: FIG 0/0 and the multiplex configuration
constexpr int MediumPeriod = 16;
constexpr int SlowPeriod = 40;     // about a second: labels, time, country

uint8_t streamTpl(const SubChannel &subChannel)
{
    if (subChannel.protection.isEep)
        return uint8_t(0x20 | (subChannel.protection.optionB ? 0x04 : 0) | (subChannel.protection.level - 1));
    const DabUepEntry *entry = uepTableEntry(subChannel.protection.uepIndex);
    return entry ? entry->protectionLevel : 0;
}

// FIG 1 labels go out in the EBU Latin set; its printable ASCII part is all
// that is written unchanged.
std::string checkLabel(const Label &label, const char *what)
{
    if (label.text.size() > 16)
        return std::string(what) + " label longer than 16 characters";
    for (char c : label.text)
        if (c < 0x20 || c > 0x7E)
            return std::string(what) + " label \"" + label.text + "\" has characters beyond printable ASCII";
    return {};
}

std::string checkConfiguration(EnsembleDescription &description)
{
    if (description.mode < 1 || description.mode > 4)
        return "mode must be 1 to 4";
    if (std::string error = checkLabel(description.label, "ensemble"); !error.empty())
        return error;
    std::set<int> ids;
    int nextAddress = 0;
    size_t streamBytes = 0;
    std::vector<std::pair<int, int>> ranges;
    for (SubChannel &subChannel : description.subChannels) {
        if (subChannel.id < 0 || subChannel.id > 63 || !ids.insert(subChannel.id).second)
            return "sub-channel id " + std::to_string(subChannel.id) + " invalid or repeated";
        if (!subChannel.protection.isEep && subChannel.bitRate == 0)
            subChannel.bitRate = subChannelBitRate(subChannel);
        const int size = subChannelSize(subChannel);
        if (size == 0 || subChannelBitRate(subChannel) != subChannel.bitRate)
            return "sub-channel " + std::to_string(subChannel.id) + ": bit rate and protection do not match";
        if (subChannel.startAddress < 0)
            subChannel.startAddress = nextAddress;
        if (subChannel.startAddress + size > MscCapacityUnits)
            return "sub-channel " + std::to_string(subChannel.id) + " does not fit into the 864 capacity units";
        for (const auto &range : ranges)
            if (subChannel.startAddress < range.second && range.first < subChannel.startAddress + size)
                return "sub-channel " + std::to_string(subChannel.id) + " overlaps another";
        ranges.emplace_back(subChannel.startAddress, subChannel.startAddress + size);
        nextAddress = std::max(nextAddress, subChannel.startAddress + size);
        streamBytes += size_t(subChannel.bitRate) * 3;
    }
    const size_t overhead = 8 + 4 * description.subChannels.size() + 4 + 128 + 8;
    if (description.subChannels.size() > ZOZ_ETI_MAX_STREAMS || overhead + streamBytes > ZOZ_ETI_FRAME_SIZE)
        return "the sub-channels do not fit into one frame";
    std::set<uint32_t> sids;
    for (const Service &service : description.services) {
        if (!sids.insert(service.sid).second)
            return "service id repeated";
        if (std::string error = checkLabel(service.label, "service"); !error.empty())
            return error;
        if (service.components.empty() || service.components.size() > 12)
            return "a service needs 1 to 12 components";
        if (service.extendedLabel && fig2_1(service.sid, *service.extendedLabel, false).empty())
            return "extended label longer than 8 segments";
        for (const Component &component : service.components) {
            if (!ids.count(component.subChId))
                return "component refers to the missing sub-channel " + std::to_string(component.subChId);
            if (component.label)
                if (std::string error = checkLabel(*component.label, "component"); !error.empty())
                    return error;
        }
    }
    return {};
}

} // namespace

std::string prepare(EnsembleDescription &description)
{
    std::string error = checkConfiguration(description);
    if (error.empty() && description.nextConfiguration)
        error = checkConfiguration(*description.nextConfiguration);
    return error;
}

EnsembleGenerator::EnsembleGenerator(EnsembleDescription description)
    : m_current(std::move(description)), m_next(m_current.nextConfiguration), m_eid(m_current.eid)
{
    buildSlots();
}

void EnsembleGenerator::buildSlots()
{
    // In priority order: the earlier slot gets the room first.
    static const int schedule[][3] = {
        {0, 0, FastPeriod},    {0, 1, FastPeriod},    {0, 2, FastPeriod},    {0, 3, FastPeriod},
        {0, 14, MediumPeriod}, {0, 8, MediumPeriod},  {0, 5, MediumPeriod},  {0, 9, SlowPeriod},
        {0, 10, SlowPeriod},   {0, 19, MediumPeriod}, {1, 0, SlowPeriod},    {1, 1, SlowPeriod},
        {0, 13, SlowPeriod},   {0, 17, SlowPeriod},   {0, 18, SlowPeriod},   {2, 1, SlowPeriod},
    };
    m_slots.clear();
    for (const auto &entry : schedule) {
        Slot slot;
        slot.figType = entry[0];
        slot.extension = entry[1];
        slot.period = entry[2];
        slot.nextDue = m_frame;
        m_slots.push_back(slot);
    }
}

int EnsembleGenerator::reconfigurationFrame() const
{
    if (!m_next)
        return -1;
    for (const Fault &fault : m_current.faults)
        if (fault.kind == Fault::Kind::Reconfiguration && fault.frame >= m_frame)
            return fault.frame;
    return -1;
}

bool EnsembleGenerator::faultAt(Fault::Kind kind) const
{
    for (const Fault &fault : m_current.faults)
        if (fault.kind == kind && m_frame >= fault.frame && m_frame < fault.frame + std::max(1, fault.count))
            return true;
    return false;
}

std::vector<Fig> EnsembleGenerator::figsOf(const Slot &slot) const
{
    const EnsembleDescription &d = m_current;
    const int reconfiguration = reconfigurationFrame();
    const bool announcing = reconfiguration >= 0 && reconfiguration - m_frame <= ReconfigurationLead;
    if (slot.figType == 1)
        return slot.extension == 0 ? std::vector<Fig>{fig1_0(m_eid, d.label)} : serviceLabels(d.services);
    if (slot.figType == 2) {
        std::vector<Fig> figs;
        for (const Service &service : d.services)
            if (service.extendedLabel && !service.isData) {
                const auto segments = fig2_1(service.sid, *service.extendedLabel, false);
                figs.insert(figs.end(), segments.begin(), segments.end());
            }
        return figs;
    }
    std::vector<Fig> figs;
    auto append = [&figs](const std::vector<Fig> &more) { figs.insert(figs.end(), more.begin(), more.end()); };
    switch (slot.extension) {
    case 0:
        // Both the sub-channel and the service organisation change.
        return {fig0_0(m_eid, announcing ? 3 : 0, false, m_frame % 5000, announcing ? reconfiguration % 250 : 0)};
    case 1:
        append(fig0_1(d.subChannels, false));
        if (announcing)
            append(fig0_1(m_next->subChannels, true));
        return figs;
    case 2:
        append(fig0_2(d.services, false));
        if (announcing)
            append(fig0_2(m_next->services, true));
        return figs;
    case 3:
        return fig0_3(d.services);
    case 5:
        return fig0_5(d.services);
    case 8:
        return fig0_8(d.services);
    case 9:
        return {fig0_9(d.ecc, d.localTimeOffset, d.interTableId)};
    case 10:
        return d.time ? std::vector<Fig>{fig0_10(*d.time, int64_t(m_frame) * FrameMilliseconds)} : figs;
    case 13:
        return fig0_13(d.services);
    case 14:
        return fig0_14(d.subChannels);
    case 17:
        return fig0_17(d.services);
    case 18:
        return fig0_18(d.services);
    case 19: {
        std::vector<Announcement> active;
        for (const Announcement &announcement : d.announcements)
            if (m_frame >= announcement.fromFrame && m_frame < announcement.toFrame)
                active.push_back(announcement);
        return fig0_19(active);
    }
    default:
        return figs;
    }
}

void EnsembleGenerator::buildFic()
{
    const int fibCount = ZozEti_FicLength(m_current.mode) / FibBytes;
    std::vector<std::vector<uint8_t>> fibs{size_t(fibCount)};
    for (Slot &slot : m_slots) {
        if (slot.pending.empty()) {
            if (slot.nextDue > m_frame)
                continue;
            slot.pending = figsOf(slot);
            if (slot.pending.empty()) {
                slot.nextDue = m_frame + slot.period;
                continue;
            }
        }
        // First fit; what does not fit waits for the next frame.
        auto fig = slot.pending.begin();
        while (fig != slot.pending.end()) {
            bool placed = false;
            for (auto &fib : fibs)
                if (fib.size() + fig->size() <= FibDataBytes) {
                    fib.insert(fib.end(), fig->begin(), fig->end());
                    placed = true;
                    break;
                }
            if (!placed)
                break;
            fig = slot.pending.erase(fig);
        }
        if (slot.pending.empty())
            slot.nextDue = m_frame + slot.period;
    }
    m_fic.clear();
    for (auto &fib : fibs) {
        if (fib.size() < FibDataBytes)
            fib.push_back(EndMarker);
        fib.resize(FibDataBytes, 0x00);
        const uint16_t crc = DAB_Bb_Ruz_Crc16(fib.data(), FibDataBytes);
        fib.push_back(uint8_t(crc >> 8));
        fib.push_back(uint8_t(crc));
        m_fic.insert(m_fic.end(), fib.begin(), fib.end());
    }
    if (faultAt(Fault::Kind::FibCrc))
        m_fic[FibDataBytes] ^= 0xFF;
}

bool EnsembleGenerator::nextFrame(uint8_t *out)
{
    for (const Fault &fault : m_current.faults) {
        if (fault.kind == Fault::Kind::EnsembleIdChange && fault.frame == m_frame)
            m_eid = uint16_t(fault.value);
        if (fault.kind == Fault::Kind::Reconfiguration && fault.frame == m_frame && m_next) {
            // The new configuration keeps the faults still to come.
            std::vector<Fault> faults = m_current.faults;
            m_current = *m_next;
            m_current.faults = faults;
            m_next = m_current.nextConfiguration;
            buildSlots();
            break;
        }
    }
    buildFic();

    const bool lost = faultAt(Fault::Kind::LostFrame);
    ZozEtiFrameInput input{};
    input.err = ZOZ_ETI_ERR_NONE;
    input.fct = uint8_t(m_frame % 250);
    input.mode = uint8_t(m_current.mode);
    input.fic = m_fic.data();
    std::vector<const SubChannel *> ordered;
    for (const SubChannel &subChannel : m_current.subChannels)
        ordered.push_back(&subChannel);
    std::sort(ordered.begin(), ordered.end(),
              [](const SubChannel *a, const SubChannel *b) { return a->startAddress < b->startAddress; });
    m_streamBytes.resize(ordered.size());
    input.nst = uint8_t(ordered.size());
    for (size_t i = 0; i < ordered.size(); ++i) {
        const SubChannel &subChannel = *ordered[i];
        std::vector<uint8_t> &bytes = m_streamBytes[i];
        bytes.assign(size_t(subChannel.bitRate) * 3, 0);
        if (subChannel.content) {
            subChannel.content->fill(m_frame, bytes.data(), bytes.size());
        } else {
            for (size_t b = 0; b < bytes.size(); ++b)
                bytes[b] = uint8_t(m_frame * 7 + subChannel.id * 13 + int(b));
        }
        input.streams[i] = {uint8_t(subChannel.id), uint16_t(subChannel.startAddress), streamTpl(subChannel),
                            bytes.data(), uint16_t(bytes.size())};
    }
    const bool headerFault = faultAt(Fault::Kind::HeaderCrc);
    const bool mstFault = faultAt(Fault::Kind::MstCrc);
    ++m_frame;
    if (lost)
        return false;
    if (ZozEti_WriteFrame(&input, out) != ZOZ_ETI_OK)
        return false;
    const size_t headerEnd = 8 + 4 * size_t(input.nst) + 4;
    if (headerFault)
        out[headerEnd - 1] ^= 0xFF;
    if (mstFault) {
        size_t mstLength = m_fic.size();
        for (size_t i = 0; i < input.nst; ++i)
            mstLength += input.streams[i].length;
        out[headerEnd + mstLength + 1] ^= 0xFF;
    }
    return true;
}

std::string writeEnsemble(EnsembleDescription description, int frames, const std::string &path)
{
    const std::string error = prepare(description);
    if (!error.empty())
        return error;
    std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(path.c_str(), "wb"), std::fclose);
    if (!file)
        return "cannot write " + path;
    EnsembleGenerator generator(std::move(description));
    std::vector<uint8_t> frame(ZOZ_ETI_FRAME_SIZE);
    for (int n = 0; n < frames; ++n)
        if (generator.nextFrame(frame.data()) && std::fwrite(frame.data(), 1, frame.size(), file.get()) != frame.size())
            return "cannot write " + path;
    return {};
}

} // namespace ZOZ::EnsembleGen
