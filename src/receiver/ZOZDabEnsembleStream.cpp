#include "ZOZDabEnsembleStream.h"

#include "base/ZOZStorage.h"

namespace ZOZ {

using namespace DabEnsembleFormat;

namespace {

constexpr qint64 MinUserApplicationBytes = 10;
constexpr qint64 MinComponentBytes = 54;
constexpr qint64 MinServiceBytes = 86;

bool ok(const QDataStream &stream)
{
    return stream.status() == QDataStream::Ok;
}

template<typename Record>
void writeList(QDataStream &stream, const QVector<Record> &list)
{
    stream << qint32(list.size());
    for (const Record &record : list)
        stream << record;
}

// Items are appended one by one, so a damaged count never allocates ahead of
// the data that is really there.
template<typename Record>
bool readList(QDataStream &stream, QVector<Record> &list, quint32 version, qint32 maxCount,
              qint64 minItemBytes)
{
    list.clear();
    qint32 count = 0;
    if (!StorageRead::count(stream, count, maxCount, minItemBytes))
        return false;
    for (qint32 i = 0; i < count; ++i) {
        Record record;
        if (!readRecord(stream, record, version))
            return false;
        list.append(record);
    }
    return true;
}

} // namespace

QDataStream &operator<<(QDataStream &stream, const DabUserApplication &application)
{
    stream << application.valid << application.changed << application.data
           << application.type << application.packetAddress << application.dscTy;
    return stream;
}

QDataStream &operator<<(QDataStream &stream, const DabServiceComponent &component)
{
    stream << component.valid << component.changed << component.serviceId
           << component.isPacketMode << component.packetAddress << component.subChId
           << component.bitRate << component.scId << component.scIdS << component.dscTy
           << component.label << component.languageName << component.audio
           << component.audioChanged << component.dabPlus << component.dabPlusAudio;
    writeList(stream, component.userApplications);
    stream << component.subChannelChanged << qint16(component.cuStart)
           << qint16(component.cuCount) << component.isEep << qint8(component.uepIndex)
           << qint8(component.protectionCode) << qint8(component.fecScheme);
    return stream;
}

QDataStream &operator<<(QDataStream &stream, const DabService &service)
{
    stream << service.valid << service.changed << service.serviceId << qint8(service.ecc)
           << qint8(service.countryId) << service.label << service.shortLabel
           << service.countryName << service.extraText << service.programmeTypeName
           << service.primary;
    writeList(stream, service.components);
    return stream;
}

QDataStream &operator<<(QDataStream &stream, const DabEnsemble &ensemble)
{
    stream << ensemble.valid << ensemble.changed << ensemble.gridIndex << ensemble.ensembleId
           << ensemble.label << ensemble.shortLabel << ensemble.frequency;
    writeList(stream, ensemble.services);
    return stream;
}

QDataStream &operator<<(QDataStream &stream, const DabEnsembleCacheEntry &entry)
{
    stream << entry.ensembleId << entry.serviceId;
    return stream;
}

QDataStream &operator<<(QDataStream &stream, const QList<DabEnsembleCacheEntry> &entries)
{
    stream << qint32(entries.size());
    for (const DabEnsembleCacheEntry &entry : entries)
        stream << entry;
    return stream;
}

bool readRecord(QDataStream &stream, DabUserApplication &application, quint32 version)
{
    stream >> application.valid >> application.changed;
    StorageRead::byteArray(stream, application.data, MaxUserApplicationData);
    stream >> application.type >> application.packetAddress;
    if (version >= 3)
        stream >> application.dscTy;
    return ok(stream);
}

bool readRecord(QDataStream &stream, DabServiceComponent &component, quint32 version)
{
    stream >> component.valid >> component.changed >> component.serviceId
        >> component.isPacketMode >> component.packetAddress >> component.subChId
        >> component.bitRate >> component.scId >> component.scIdS;
    if (version >= 3)
        stream >> component.dscTy;
    StorageRead::string(stream, component.label);
    StorageRead::string(stream, component.languageName);
    stream >> component.audio >> component.audioChanged >> component.dabPlus
        >> component.dabPlusAudio;
    if (!readList(stream, component.userApplications, version, MaxUserApplications,
                  MinUserApplicationBytes))
        return false;
    qint16 cuStart = 0;
    qint16 cuCount = 0;
    qint8 uepIndex = 0;
    qint8 protectionCode = 0;
    qint8 fecScheme = 0;
    stream >> component.subChannelChanged >> cuStart >> cuCount >> component.isEep >> uepIndex
        >> protectionCode >> fecScheme;
    component.cuStart = quint16(cuStart);
    component.cuCount = quint16(cuCount);
    component.uepIndex = quint8(uepIndex);
    component.protectionCode = quint8(protectionCode);
    component.fecScheme = quint8(fecScheme);
    return ok(stream);
}

bool readRecord(QDataStream &stream, DabService &service, quint32 version)
{
    stream >> service.valid >> service.changed >> service.serviceId;
    if (version >= 2) {
        qint8 ecc = 0;
        qint8 countryId = 0;
        stream >> ecc >> countryId;
        service.ecc = quint8(ecc);
        service.countryId = quint8(countryId);
    } else {
        // Older files packed both into one word: ECC high, country id in the
        // top nibble of the low byte.
        quint16 packed = 0;
        stream >> packed;
        service.ecc = quint8(packed >> 8);
        service.countryId = quint8((packed & 0xFF) >> 4);
    }
    StorageRead::string(stream, service.label);
    if (version >= 1)
        StorageRead::string(stream, service.shortLabel);
    StorageRead::string(stream, service.countryName);
    StorageRead::string(stream, service.extraText);
    StorageRead::string(stream, service.programmeTypeName);
    if (!ok(stream) || !readRecord(stream, service.primary, version))
        return false;
    return readList(stream, service.components, version, MaxComponents, MinComponentBytes);
}

bool readRecord(QDataStream &stream, DabEnsemble &ensemble, quint32 version)
{
    ensemble.freeFicDecoder();
    stream >> ensemble.valid >> ensemble.changed;
    if (version >= 1)
        stream >> ensemble.gridIndex;
    else
        ensemble.gridIndex = 0; // the first files knew only European Band III
    stream >> ensemble.ensembleId;
    StorageRead::string(stream, ensemble.label);
    StorageRead::string(stream, ensemble.shortLabel);
    stream >> ensemble.frequency;
    if (!ok(stream))
        return false;
    return readList(stream, ensemble.services, version, MaxServices, MinServiceBytes);
}

bool readRecord(QDataStream &stream, DabEnsembleCacheEntry &entry, quint32)
{
    stream >> entry.ensembleId >> entry.serviceId;
    return ok(stream);
}

bool readExcludedServices(QDataStream &stream, QList<DabEnsembleCacheEntry> &entries)
{
    return readList(stream, entries, 0, MaxExcludedServices, MinExcludedEntryBytes);
}

} // namespace ZOZ
