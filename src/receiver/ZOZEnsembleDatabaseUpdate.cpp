// The walk over an ensemble's FIC decoder that brings its record up to date.
#include "ZOZEnsembleDatabase.h"

#include "ZOZDab.h"
#include "ZOZDabLabels.h"
#include "base/ZOZDabText.h"

#include <algorithm>

namespace ZOZ {

namespace {

constexpr qint64 FullWalkIntervalMs = 1000;
constexpr qint64 UnseenAudioMs = 199;
constexpr qint64 UnseenApplicationMs = 199;
constexpr quint8 CurrentConfiguration = 0;
constexpr quint8 DabPlusAudioType = 63;
constexpr quint32 Mjd1970 = 40587;
constexpr int TmIdStreamAudio = 0;
constexpr int TmIdStreamData = 1;
constexpr int TmIdFidc = 2;
constexpr int TmIdPacketData = 3;
// Without FIG 0/9 an ensemble that asks for defaults is taken as German.
constexpr quint8 DefaultEcc = 0xE0;
constexpr quint8 DefaultCountryId = 0xC;

// The FIG lists the walk follows, with their index into the counter array.
struct WatchedFig
{
    quint8 type;
    quint8 extension;
};
constexpr WatchedFig WatchedFigs[] = {
    { 0, 0 }, { 0, 1 }, { 0, 9 }, { 0, 10 }, { 0, 13 }, { 0, 14 },
    { 0, 17 }, { 0, 18 }, { 0, 19 }, { 1, 0 }, { 2, 1 },
};

// Stores `value` when it differs; true when it did.
template<typename Field, typename Value>
bool assign(Field &field, const Value &value)
{
    if (field == Field(value))
        return false;
    field = Field(value);
    return true;
}

QVector<FicFigRecord> readFigList(const FicDecoder *decoder, quint8 type, quint8 extension)
{
    QVector<FicFigRecord> records;
    for (const FicFigEntry *entry = DAB_Bb_Ruz_FicDecoderGetFigList(decoder, type, extension); entry;
         entry = DAB_Bb_Ruz_FicDecoderGetNext(entry)) {
        FicFigRecord record;
        if (DAB_Bb_Ruz_FicDecoderGetFigData(entry, &record) == FIC_DECODER_OK)
            records.append(record);
    }
    return records;
}

QString labelText(quint8 charset, const uint8_t *bytes, int length)
{
    return dabTextToString(charset, reinterpret_cast<const char *>(bytes), length);
}

// One walk over the decoder of one ensemble.
class EnsembleWalk
{
public:
    EnsembleWalk(DabEnsemble &ensemble, const EnsembleDatabase &database)
        : e(ensemble)
        , decoder(ensemble.ficDecoderInstance())
        , database(database)
    {
    }

    enum class Outcome { Unchanged, Stopped, Reset, Walked };
    Outcome run();
    bool changed = false;

private:
    struct ListFlags
    {
        bool fig0_1 = false, fig0_9 = false, fig0_10 = false, fig0_13 = false, fig0_14 = false,
             fig0_17 = false, fig0_18 = false, fig0_19 = false, fig1_0 = false, fig2_1 = false;
    };

    // A label and its short form from a service or component record; a
    // missing label clears them unless the ensemble keeps what it knows.
    template<typename Info>
    bool updateLabel(QString &label, QString &shortForm, const Info &info)
    {
        if (info.labelValid) {
            const QString text = labelText(info.charset, info.label, 16);
            const bool labelChanged = assign(label, text);
            return assign(shortForm, shortLabel(text, info.charFlags)) || labelChanged;
        }
        if (e.channelResolved)
            return false;
        const bool labelChanged = assign(label, QString());
        return assign(shortForm, QString()) || labelChanged;
    }
    void collectExtendedLabels();
    void updateAnnouncements();
    void updateService(const FicServiceInfo &info);
    void updateCountry(DabService &service, const FicServiceInfo &info);
    void updateComponent(DabService &service, const FicServiceComponentInfo &info, bool &metStreamDataOrFidc);
    void updateSubChannel(DabServiceComponent &component, quint8 subChId, bool &touched);
    void updateUserApplications(DabServiceComponent &component, const FicServiceComponentInfo &info,
                                bool &touched);

    DabEnsemble &e;
    const FicDecoder *decoder;
    const EnsembleDatabase &database;
    ListFlags lists;
    quint16 eid = 0;
    QVector<FicFigRecord> fig0_1, fig0_13, fig0_14, fig0_17, fig0_18;
    FicFigRecord fig0_9 {};
    bool hasFig0_9 = false;
};

EnsembleWalk::Outcome EnsembleWalk::run()
{
    const int numServices = DAB_Bb_Ruz_FicDecoderGetNumServices(decoder, CurrentConfiguration);
    const qint32 changeCounter = qint32(DAB_Bb_Ruz_FicDecoderGetChangeCounter(const_cast<FicDecoder *>(decoder)));
    qint32 counts[std::size(WatchedFigs)];
    bool moved[std::size(WatchedFigs)];
    bool anyMoved = false;
    for (size_t i = 0; i < std::size(WatchedFigs); ++i) {
        const WatchedFig fig = WatchedFigs[i];
        counts[i] = qint32(DAB_Bb_Ruz_FicDecoderGetFigCount(decoder, fig.type, fig.extension));
        moved[i] = counts[i] != e.lastFigCount[fig.type][fig.extension];
        // FIG 0/0 comes with every few FIBs; its counter alone starts no walk.
        if (i != 0)
            anyMoved = anyMoved || moved[i];
    }
    const bool fullWalk = e.lastSeen.elapsed() > FullWalkIntervalMs;
    if (!e.forceUpdate && numServices <= e.services.size() && changeCounter == e.lastChangeCounter
        && !fullWalk && !anyMoved)
        return Outcome::Unchanged;

    const bool allLists = fullWalk || e.forceUpdate;
    lists.fig0_1 = allLists || moved[1];
    lists.fig0_9 = allLists || moved[2];
    lists.fig0_10 = fullWalk || moved[3];
    lists.fig0_13 = allLists || moved[4];
    lists.fig0_14 = allLists || moved[5];
    lists.fig0_17 = allLists || moved[6];
    lists.fig0_18 = allLists || moved[7];
    lists.fig0_19 = allLists || moved[8];
    lists.fig1_0 = allLists || moved[9];
    lists.fig2_1 = fullWalk || moved[10];

    for (size_t i = 0; i < std::size(WatchedFigs); ++i)
        e.lastFigCount[WatchedFigs[i].type][WatchedFigs[i].extension] = counts[i];
    e.lastChangeCounter = changeCounter;
    e.forceUpdate = false;
    e.lastSeen.restart();

    if (lists.fig2_1)
        collectExtendedLabels();

    const QVector<FicFigRecord> fig0_0 = readFigList(decoder, 0, 0);
    if (fig0_0.isEmpty()) {
        if (!e.useDefaults) {
            e.forceUpdate = true;
            return Outcome::Stopped;
        }
        eid = 0;
    } else {
        eid = fig0_0.first().u.fig0_0.eid;
        if (assign(e.alarmFlag, fig0_0.first().u.fig0_0.alFlag))
            changed = true;
    }

    if (lists.fig0_10 && e.dateTime) {
        for (const FicFigRecord &record : readFigList(decoder, 0, 10)) {
            const FicFig0_10 &time = record.u.fig0_10;
            const quint32 days = time.mjd >= Mjd1970 ? time.mjd - Mjd1970 : 0;
            e.dateTime->set(days * 86400u + time.hours * 3600u + time.minutes * 60u + time.seconds);
        }
    }

    if (e.ensembleId != -1 && e.ensembleId != eid) {
        // The FIC is another ensemble's now: start this record afresh.
        e.clear();
        changed = true;
        return Outcome::Reset;
    }
    if (assign(e.ensembleId, eid))
        changed = true;

    if (lists.fig1_0) {
        for (const FicFigRecord &record : readFigList(decoder, 1, 0)) {
            if (record.header.type1.oe != 0 || record.u.fig1.id != eid)
                continue;
            if (assign(e.label, labelText(record.header.type1.charset, record.u.fig1.label, 16)))
                changed = true;
            break;
        }
    }

    if (lists.fig0_19)
        updateAnnouncements();

    if (lists.fig0_1)
        fig0_1 = readFigList(decoder, 0, 1);
    if (lists.fig0_13)
        fig0_13 = readFigList(decoder, 0, 13);
    if (lists.fig0_14)
        fig0_14 = readFigList(decoder, 0, 14);
    if (lists.fig0_17)
        fig0_17 = readFigList(decoder, 0, 17);
    if (lists.fig0_18)
        fig0_18 = readFigList(decoder, 0, 18);
    if (lists.fig0_9) {
        for (const FicFigRecord &record : readFigList(decoder, 0, 9)) {
            if (record.header.type0.oe == 0) {
                fig0_9 = record;
                hasFig0_9 = true;
                break;
            }
        }
    }

    for (int i = 0; i < numServices; ++i) {
        FicServiceInfo info;
        if (DAB_Bb_Ruz_FicDecoderGetService(decoder, CurrentConfiguration, i, &info) != FIC_DECODER_OK
            || !info.valid) {
            e.forceUpdate = true;
            continue;
        }
        updateService(info);
    }
    return Outcome::Walked;
}

void EnsembleWalk::collectExtendedLabels()
{
    QMap<qint64, DabLabelSegments> &collection = e.labelSegments[DabEnsemble::ExtendedLabelSlot];
    for (const FicFigRecord &record : readFigList(decoder, 2, 1)) {
        const int segmentIndex = record.header.type2.segmentIndex & 7;
        DabLabelSegments &entry = collection[qint64(record.u.fig2.id)];
        const qint8 toggle = qint8(record.header.type2.toggle);
        if (toggle != entry.toggle) {
            entry = DabLabelSegments();
            entry.toggle = toggle;
        }
        const int length = std::min<int>(record.u.fig2.segmentLength, sizeof(record.u.fig2.segment));
        entry.segments[segmentIndex] = QByteArray(reinterpret_cast<const char *>(record.u.fig2.segment), length);
        if (!entry.received[segmentIndex]) {
            entry.received[segmentIndex] = true;
            ++entry.receivedCount;
        }
        const QByteArray &first = entry.segments[0];
        if (!entry.received[0] || first.size() < 3)
            continue;
        const quint8 head = quint8(first[0]);
        if (((head >> 4) & 7) > entry.receivedCount)
            continue;
        const quint8 charset = (head & 0x80) ? DabCharsetUcs2 : DabCharsetUtf8;
        const quint16 flags = quint16((quint8(first[1]) << 8) | quint8(first[2]));
        QByteArray joined;
        for (const QByteArray &segment : entry.segments)
            joined += segment;
        joined.remove(0, 3);
        entry.text = dabTextToString(charset, joined.constData(), int(joined.size()));
        entry.shortText = shortLabel(entry.text, flags);
    }
}

void EnsembleWalk::updateAnnouncements()
{
    for (const FicFigRecord &record : readFigList(decoder, 0, 19)) {
        const FicFig0_19 &fig = record.u.fig0_19;
        DabAnnouncement announcement;
        announcement.clusterId = fig.clusterId;
        announcement.aswFlags = fig.aswFlags;
        announcement.subChId = fig.subChId;
        announcement.isNew = fig.newFlag != 0;
        announcement.regionId = fig.regionFlag ? fig.regionId : 0xFF;
        const quint32 key = quint32(fig.subChId) * 256u + fig.clusterId;
        auto it = e.announcements.find(key);
        if (it != e.announcements.end() && it->clusterId == announcement.clusterId
            && it->aswFlags == announcement.aswFlags && it->subChId == announcement.subChId
            && it->regionId == announcement.regionId)
            continue;
        e.announcements.insert(key, announcement);
        changed = true;
    }
}

void EnsembleWalk::updateService(const FicServiceInfo &info)
{
    const qint64 serviceId = qint64(info.serviceId);
    auto found = std::find_if(e.services.begin(), e.services.end(),
                              [serviceId](const DabService &service) { return service.serviceId == serviceId; });
    qsizetype position = found - e.services.begin();
    if (found == e.services.end()) {
        if (database.isExcludedService(e.ensembleId, serviceId))
            return;
        DabService added;
        added.serviceId = serviceId;
        added.changed = true;
        e.services.append(added);
        position = e.services.size() - 1;
        changed = true;
    }
    DabService &service = e.services[position];
    bool touched = false;

    if (lists.fig0_17) {
        for (const FicFigRecord &record : fig0_17) {
            const FicFig0_17 &fig = record.u.fig0_17;
            if (fig.serviceId == serviceId && fig.sd == 0 && fig.ps == 0) {
                touched |= assign(service.programmeTypeName,
                                  QString::fromLatin1(programmeTypeName(fig.internationalCode)));
                break;
            }
        }
    }

    updateCountry(service, info);

    touched |= updateLabel(service.label, service.shortLabel, info);
    const QMap<qint64, DabLabelSegments> &extended = e.labelSegments[DabEnsemble::ExtendedLabelSlot];
    const auto segments = extended.constFind(serviceId);
    if (segments != extended.constEnd() && !segments->text.isEmpty()) {
        touched |= assign(service.extendedLabel, segments->text);
        touched |= assign(service.extendedShortLabel, segments->shortText);
    } else if (!e.channelResolved) {
        touched |= assign(service.extendedLabel, QString());
        touched |= assign(service.extendedShortLabel, QString());
    }

    if (lists.fig0_18) {
        for (const FicFigRecord &record : fig0_18) {
            const FicFig0_18 &fig = record.u.fig0_18;
            if (fig.serviceId != serviceId)
                continue;
            if (fig.asuFlags == 0 && fig.numClusters == 0) {
                if (!service.announcementSupport.isEmpty()) {
                    service.announcementSupport.clear();
                    touched = true;
                }
                continue;
            }
            QByteArray &clusters = service.announcementSupport[fig.asuFlags];
            const int numClusters = std::min<int>(fig.numClusters, FIC_MAX_CLUSTERS);
            for (int c = 0; c < numClusters; ++c) {
                if (!clusters.contains(char(fig.clusterIds[c]))) {
                    clusters.append(char(fig.clusterIds[c]));
                    touched = true;
                }
            }
        }
    }

    bool metStreamDataOrFidc = false;
    const int numComponents = std::min<int>(
        DAB_Bb_Ruz_FicDecoderGetNumServiceComponents(decoder, info.serviceId, CurrentConfiguration),
        FIC_MAX_COMPONENTS);
    for (int c = 0; c < numComponents; ++c) {
        FicServiceComponentInfo component;
        if (DAB_Bb_Ruz_FicDecoderGetServiceComponent(decoder, info.serviceId, CurrentConfiguration, c, &component)
            != FIC_DECODER_OK) {
            e.forceUpdate = true;
            continue;
        }
        updateComponent(service, component, metStreamDataOrFidc);
    }

    service.lastSeen.restart();
    const DabServiceComponent &primary = service.primary;
    if (!primary.audio && primary.userApplications.isEmpty()) {
        touched |= assign(service.valid, false);
        if (!metStreamDataOrFidc)
            e.forceUpdate = true;
    } else if (primary.valid) {
        touched |= assign(service.valid, true);
    }
    if (touched) {
        service.changed = true;
        changed = true;
    }
}

void EnsembleWalk::updateCountry(DabService &service, const FicServiceInfo &info)
{
    quint8 ecc = service.ecc;
    quint8 countryId = service.countryId;
    if (info.isDataService) {
        ecc = quint8(info.serviceId >> 24);
        countryId = quint8((info.serviceId >> 20) & 0xF);
    } else if (lists.fig0_9) {
        if (hasFig0_9) {
            const FicFig0_9 &fig = fig0_9.u.fig0_9;
            ecc = fig.ensembleEcc;
            const int numSubFields = std::min<int>(fig.numSubFields, FIC_MAX_COUNTRY_SUBFIELDS);
            bool listed = false;
            for (int s = 0; s < numSubFields && !listed; ++s) {
                const FicFig0_9SubField &subField = fig.subFields[s];
                for (int k = 0; k < std::min<int>(subField.numServices, 3) && !listed; ++k) {
                    if (subField.serviceIds[k] == info.serviceId) {
                        ecc = subField.ecc;
                        listed = true;
                    }
                }
            }
            countryId = quint8((info.serviceId >> 12) & 0xF);
        } else if (e.useDefaults) {
            ecc = DefaultEcc;
            countryId = DefaultCountryId;
        } else {
            return;
        }
    } else {
        return;
    }
    bool touched = assign(service.ecc, ecc);
    touched |= assign(service.countryId, countryId);
    touched |= assign(service.countryName, QString::fromLatin1(countryName(quint16((ecc << 4) | countryId))));
    if (touched) {
        service.changed = true;
        changed = true;
    }
}

void EnsembleWalk::updateComponent(DabService &service, const FicServiceComponentInfo &info,
                                   bool &metStreamDataOrFidc)
{
    if (info.tmId == TmIdFidc || info.tmId == TmIdStreamData)
        metStreamDataOrFidc = true;
    if (info.tmId == TmIdFidc)
        return;
    const bool isPacket = info.tmId == TmIdPacketData;
    // Switching to packet mode needs the packet address and sub-channel of FIG 0/3.
    if (isPacket && !info.packetInfoValid) {
        e.forceUpdate = true;
        return;
    }

    DabServiceComponent *component = nullptr;
    bool touched = false;
    if (info.primary) {
        component = &service.primary;
    } else {
        // Packet components are told apart by their SCId; stream components
        // have none, so their sub-channel tells them apart.
        auto matches = [&](const DabServiceComponent &candidate) {
            return candidate.serviceId == qint64(info.serviceId)
                && (isPacket ? candidate.isPacketMode && candidate.scId == info.scId
                             : !candidate.isPacketMode && candidate.subChId == info.subChId);
        };
        auto found = std::find_if(service.components.begin(), service.components.end(), matches);
        if (found == service.components.end()) {
            DabServiceComponent added;
            added.serviceId = qint64(info.serviceId);
            added.isPacketMode = isPacket;
            added.scId = isPacket ? info.scId : -1;
            added.changed = true;
            service.components.append(added);
            component = &service.components.last();
            touched = true;
        } else {
            component = &*found;
        }
    }
    DabServiceComponent &c = *component;
    touched |= assign(c.serviceId, qint64(info.serviceId));
    if (isPacket)
        touched |= assign(c.scId, info.scId);

    if (!info.scIdSValid)
        e.forceUpdate = true;
    else
        touched |= assign(c.scIdS, info.scIdS);

    updateSubChannel(c, info.subChId, touched);

    const quint16 rate = subChannelBitrate(decoder, info.subChId);
    bool skip = false;
    if (c.subChId != info.subChId) {
        if (rate == 0) {
            e.forceUpdate = true;
            skip = true;
        } else {
            c.subChId = info.subChId;
            c.bitRate = rate;
            touched = true;
        }
    } else if (rate == 0) {
        c.valid = false;
        c.subChId = -1;
        e.forceUpdate = true;
        touched = true;
        skip = true;
    } else {
        touched |= assign(c.bitRate, rate);
    }
    if (skip) {
        if (touched) {
            c.changed = true;
            service.changed = true;
            changed = true;
        }
        return;
    }

    touched |= assign(c.isPacketMode, isPacket);
    if (isPacket)
        touched |= assign(c.packetAddress, qint16(info.packetAddress));
    touched |= assign(c.dscTy, info.tmId == TmIdStreamAudio ? -1 : qint32(info.dscTy));
    touched |= updateLabel(c.label, c.shortLabel, info);
    if (info.languageValid)
        touched |= assign(c.languageName, QString::fromLatin1(languageName(info.language)));
    else if (!e.channelResolved)
        touched |= assign(c.languageName, QString());

    if (info.tmId == TmIdStreamAudio) {
        const bool dabPlus = info.ascTy == DabPlusAudioType;
        if (!c.audio) {
            c.audio = true;
            c.audioChanged = true;
            touched = true;
        }
        if (c.dabPlus != dabPlus || c.dabPlusAudio != dabPlus) {
            c.dabPlus = dabPlus;
            c.dabPlusAudio = dabPlus;
            c.audioChanged = true;
            touched = true;
        }
        c.audioSeen.restart();
    } else if (isPacket && !info.scIdSValid) {
        e.forceUpdate = true;
    }

    if (lists.fig0_13 && c.scIdS >= 0)
        updateUserApplications(c, info, touched);

    if (c.audio && c.audioSeen.elapsed() > UnseenAudioMs) {
        c.audio = false;
        c.audioChanged = true;
        touched = true;
    }

    const bool hasApplications = !c.userApplications.isEmpty();
    if (c.audio || (c.isPacketMode && hasApplications))
        touched |= assign(c.valid, true);
    else if (!c.audio && !hasApplications)
        touched |= assign(c.valid, false);
    c.lastSeen.restart();

    if (touched) {
        c.changed = true;
        service.changed = true;
        changed = true;
    }
}

void EnsembleWalk::updateSubChannel(DabServiceComponent &c, quint8 subChId, bool &touched)
{
    if (lists.fig0_14) {
        for (const FicFigRecord &record : fig0_14) {
            if (record.u.fig0_14.subChId == subChId) {
                touched |= assign(c.fecScheme, record.u.fig0_14.fecScheme);
                break;
            }
        }
    }
    if (!lists.fig0_1)
        return;
    for (const FicFigRecord &record : fig0_1) {
        const FicFig0_1 &fig = record.u.fig0_1;
        if (record.header.type0.cn != CurrentConfiguration || fig.subChId != subChId)
            continue;
        quint16 size = 0;
        quint8 uepIndex = 0;
        quint8 uepLevel = 0;
        quint8 protectionCode = 0;
        if (fig.longForm) {
            size = fig.size;
            protectionCode = quint8(fig.option * 4 + fig.protectionLevel);
        } else {
            uepIndex = fig.tableIndex;
            if (const DabUepEntry *uep = uepTableEntry(fig.tableIndex)) {
                size = uep->size;
                uepLevel = uep->protectionLevel;
            }
        }
        const bool isEep = fig.longForm != 0;
        if (c.cuStart != fig.startAddress || c.cuCount != size || c.isEep != isEep || c.uepIndex != uepIndex
            || c.protectionCode != protectionCode) {
            c.cuStart = fig.startAddress;
            c.cuCount = size;
            c.isEep = isEep;
            c.uepIndex = uepIndex;
            c.uepLevel = uepLevel;
            c.protectionCode = protectionCode;
            c.organisationChanged = true;
            c.subChannelChanged = true;
            touched = true;
        }
        break;
    }
}

void EnsembleWalk::updateUserApplications(DabServiceComponent &c, const FicServiceComponentInfo &info,
                                          bool &touched)
{
    for (const FicFigRecord &record : fig0_13) {
        const FicFig0_13 &fig = record.u.fig0_13;
        if (record.header.type0.oe != 0 || fig.serviceId != info.serviceId || fig.scIdS != c.scIdS)
            continue;
        const int numApplications = std::min<int>(fig.numApplications, FIC_MAX_USER_APPLICATIONS);
        for (int a = 0; a < numApplications; ++a) {
            const FicFig0_13Application &source = fig.applications[a];
            const QByteArray data(reinterpret_cast<const char *>(source.data),
                                  std::min<int>(source.dataLength, FIC_MAX_USER_APPLICATION_DATA));
            auto found = std::find_if(c.userApplications.begin(), c.userApplications.end(),
                                      [&](const DabUserApplication &application) {
                                          return application.type == qint16(source.type)
                                              && (c.isPacketMode ? application.packetAddress == c.packetAddress
                                                                 : application.data == data);
                                      });
            if (found == c.userApplications.end()) {
                DabUserApplication added;
                added.valid = true;
                added.changed = true;
                added.type = qint16(source.type);
                added.packetAddress = info.packetInfoValid ? qint16(info.packetAddress) : qint16(-1);
                added.data = data;
                c.userApplications.append(added);
                found = c.userApplications.end() - 1;
                touched = true;
            }
            const qint32 dscTy = (c.audio && data.size() >= 2) ? qint32(quint8(data[1]) & 0x3F) : c.dscTy;
            if (assign(found->dscTy, dscTy)) {
                found->changed = true;
                touched = true;
            }
            found->lastSeen.restart();
        }
        break;
    }
    const auto before = c.userApplications.size();
    c.userApplications.erase(std::remove_if(c.userApplications.begin(), c.userApplications.end(),
                                            [](const DabUserApplication &application) {
                                                return application.lastSeen.elapsed() > UnseenApplicationMs;
                                            }),
                             c.userApplications.end());
    if (c.userApplications.size() != before)
        touched = true;
}

} // namespace

QString shortLabel(const QString &label, quint16 characterFlags)
{
    QString result;
    for (int i = 0; i < 16 && i < label.size() && result.size() < 8; ++i) {
        if (characterFlags & (1u << (15 - i)))
            result.append(label.at(i));
    }
    return result;
}

quint16 subChannelBitrate(const FicDecoder *decoder, quint8 subChId)
{
    if (!decoder)
        return 0;
    for (const FicFigEntry *entry = DAB_Bb_Ruz_FicDecoderGetFigList(decoder, 0, 1); entry;
         entry = DAB_Bb_Ruz_FicDecoderGetNext(entry)) {
        FicFigRecord record;
        if (DAB_Bb_Ruz_FicDecoderGetFigData(entry, &record) != FIC_DECODER_OK)
            continue;
        const FicFig0_1 &fig = record.u.fig0_1;
        if (record.header.type0.cn != CurrentConfiguration || fig.subChId != subChId)
            continue;
        if (!fig.longForm) {
            const DabUepEntry *uep = uepTableEntry(fig.tableIndex);
            return uep ? quint16(uep->bitRate / 8) : 0;
        }
        // Capacity units per 8 kbit/s for protection levels 1-4.
        static constexpr quint16 OptionA[4] = { 12, 8, 6, 4 };
        static constexpr quint16 OptionB[4] = { 27, 21, 18, 15 };
        const int level = fig.protectionLevel & 3;
        if (fig.option == 0)
            return quint16(fig.size / OptionA[level]);
        if (fig.option == 1)
            return quint16(fig.size / OptionB[level] * 4);
        return 0;
    }
    return 0;
}

bool EnsembleDatabase::updateDatabase(DabEnsemble *ensemble)
{
    if (!ensemble || !ensemble->ficDecoderInstance())
        return false;
    EnsembleWalk walk(*ensemble, *this);
    switch (walk.run()) {
    case EnsembleWalk::Outcome::Unchanged:
    case EnsembleWalk::Outcome::Stopped:
        return false;
    case EnsembleWalk::Outcome::Reset:
        return true;
    case EnsembleWalk::Outcome::Walked:
        break;
    }
    bool changed = walk.changed;
    finishEnsembleUpdate(ensemble, changed);
    return changed;
}

} // namespace ZOZ
