#include "data/ZOZSpiStore.h"

#include "base/ZOZStorage.h"

#include <QDataStream>

namespace ZOZ {

bool SpiProgramme::sameContent(const SpiProgramme &other) const
{
    return reserved == other.reserved && start == other.start && stop == other.stop && shortName == other.shortName
           && mediumName == other.mediumName && longName == other.longName && description == other.description
           && genres == other.genres;
}

namespace SpiIndexStream {

namespace {

// Counts are not checked against the bytes left: nothing is allocated by
// count, and a cut file still yields the entries before the cut.
constexpr qint64 AnyItemBytes = 0;

// Qt streams a map from its largest key down.
template <typename Key, typename Value, typename WriteValue>
void writeMap(QDataStream &stream, const QMap<Key, Value> &map, WriteValue writeValue)
{
    stream << quint32(map.size());
    for (auto it = map.constEnd(); it != map.constBegin();) {
        --it;
        stream << it.key();
        writeValue(stream, it.value());
    }
}

void writeTexts(QDataStream &stream, const QString &shortName, const QString &mediumName, const QString &longName,
                const QString &description)
{
    stream << shortName << mediumName << longName << description;
}

void writeLogos(QDataStream &stream, const QVector<SpiLogo> &logos)
{
    stream << quint32(logos.size());
    for (const SpiLogo &logo : logos)
        stream << logo.url << logo.mimeValue << logo.width << logo.height << logo.type;
}

void writeContentId(QDataStream &stream, const SpiContentId &id)
{
    stream << id.ensembleFlag << id.sid16 << id.scids << id.ecc << id.countryId << id.countryKey << id.eid << id.sid
           << id.xpadFlag << id.xpadType;
}

void writeProgramme(QDataStream &stream, const SpiProgramme &programme)
{
    stream << programme.updateTime << programme.reserved << programme.start << programme.stop;
    writeTexts(stream, programme.shortName, programme.mediumName, programme.longName, programme.description);
    stream << quint32(programme.genres.size());
    for (const SpiGenre &genre : programme.genres)
        stream << genre.type << genre.scheme << genre.levels;
}

void writeService(QDataStream &stream, const SpiService &service)
{
    stream << service.updateTime << service.scheduleVersion << service.hasSi;
    writeContentId(stream, service.contentId);
    writeTexts(stream, service.shortName, service.mediumName, service.longName, service.description);
    writeLogos(stream, service.logos);
    writeMap(stream, service.programmes, writeProgramme);
}

void writeCountry(QDataStream &stream, const SpiCountry &country)
{
    stream << country.updateTime << country.countryKey;
    writeTexts(stream, country.shortName, country.mediumName, country.longName, country.description);
    writeLogos(stream, country.logos);
    writeMap(stream, country.services, writeService);
}

bool ok(const QDataStream &stream)
{
    return stream.status() == QDataStream::Ok;
}

bool readTexts(QDataStream &stream, QString &shortName, QString &mediumName, QString &longName,
               QString &description)
{
    return StorageRead::string(stream, shortName) && StorageRead::string(stream, mediumName)
           && StorageRead::string(stream, longName) && StorageRead::string(stream, description);
}

bool readLogos(QDataStream &stream, QVector<SpiLogo> &logos)
{
    qint32 count = 0;
    if (!StorageRead::count(stream, count, MaxItems, AnyItemBytes))
        return false;
    for (qint32 i = 0; i < count; ++i) {
        SpiLogo logo;
        if (!StorageRead::string(stream, logo.url) || !StorageRead::string(stream, logo.mimeValue))
            return false;
        stream >> logo.width >> logo.height >> logo.type;
        if (!ok(stream))
            return false;
        logos.append(logo);
    }
    return true;
}

bool readContentId(QDataStream &stream, SpiContentId &id)
{
    stream >> id.ensembleFlag >> id.sid16 >> id.scids >> id.ecc >> id.countryId >> id.countryKey >> id.eid >> id.sid
        >> id.xpadFlag >> id.xpadType;
    id.empty = false;
    return ok(stream);
}

// How far a record was read: not at all usable, up to damage inside one of
// its maps (what was read stays), or whole.
enum class Read { Broken, Partial, Whole };

Read readProgramme(QDataStream &stream, SpiProgramme &programme)
{
    stream >> programme.updateTime >> programme.reserved >> programme.start >> programme.stop;
    if (!ok(stream)
        || !readTexts(stream, programme.shortName, programme.mediumName, programme.longName, programme.description))
        return Read::Broken;
    qint32 count = 0;
    if (!StorageRead::count(stream, count, MaxItems, AnyItemBytes))
        return Read::Broken;
    for (qint32 i = 0; i < count; ++i) {
        SpiGenre genre;
        stream >> genre.type >> genre.scheme;
        if (!ok(stream) || !StorageRead::byteArray(stream, genre.levels, MaxLevelBytes))
            return Read::Broken;
        programme.genres.append(genre);
    }
    return Read::Whole;
}

// Reads a map entry by entry; a damaged entry ends the read.
template <typename Key, typename Value, typename ReadValue>
bool readMap(QDataStream &stream, QMap<Key, Value> &map, qint32 maxCount, ReadValue readValue)
{
    qint32 count = 0;
    if (!StorageRead::count(stream, count, maxCount, AnyItemBytes))
        return false;
    for (qint32 i = 0; i < count; ++i) {
        Key key {};
        stream >> key;
        if (!ok(stream))
            return false;
        Value value;
        const Read read = readValue(stream, value);
        if (read != Read::Broken)
            map.insert(key, value);
        if (read != Read::Whole)
            return false;
    }
    return true;
}

// A record whose fields were read and whose map follows.
template <typename Key, typename Value, typename ReadValue>
Read readNested(QDataStream &stream, QMap<Key, Value> &map, qint32 maxCount, ReadValue readValue)
{
    return readMap(stream, map, maxCount, readValue) ? Read::Whole : Read::Partial;
}

Read readService(QDataStream &stream, SpiService &service)
{
    stream >> service.updateTime >> service.scheduleVersion >> service.hasSi;
    if (!ok(stream) || !readContentId(stream, service.contentId)
        || !readTexts(stream, service.shortName, service.mediumName, service.longName, service.description)
        || !readLogos(stream, service.logos))
        return Read::Broken;
    return readNested(stream, service.programmes, MaxProgrammes, readProgramme);
}

Read readCountry(QDataStream &stream, SpiCountry &country)
{
    stream >> country.updateTime >> country.countryKey;
    if (!ok(stream) || !readTexts(stream, country.shortName, country.mediumName, country.longName, country.description)
        || !readLogos(stream, country.logos))
        return Read::Broken;
    return readNested(stream, country.services, MaxServices, readService);
}

} // namespace

QByteArray write(const SpiIndex &index)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream.setVersion(Storage::StreamVersion);
    writeMap(stream, index, writeCountry);
    return bytes;
}

bool read(const QByteArray &bytes, SpiIndex &index)
{
    QDataStream stream(bytes);
    stream.setVersion(Storage::StreamVersion);
    return readMap(stream, index, MaxCountries, readCountry);
}

} // namespace SpiIndexStream

} // namespace ZOZ
