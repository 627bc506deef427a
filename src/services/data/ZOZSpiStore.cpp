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

// Smallest stored sizes, so that a count is checked against the bytes left.
constexpr qint64 MinLogoBytes = 4 + 4 + 2 + 2 + 4;
constexpr qint64 MinGenreBytes = 4 + 4 + 4;
constexpr qint64 MinProgrammeBytes = 4 * 5 + 4 * 4 + 4;
constexpr qint64 MinServiceBytes = 4 * 3 + 1 + 13 + 4 * 4 + 4 + 4;
constexpr qint64 MinCountryBytes = 2 + 4 + 2 + 4 * 4 + 4 + 4;

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
    if (!StorageRead::count(stream, count, MaxItems, MinLogoBytes))
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

bool readProgramme(QDataStream &stream, SpiProgramme &programme)
{
    stream >> programme.updateTime >> programme.reserved >> programme.start >> programme.stop;
    if (!ok(stream)
        || !readTexts(stream, programme.shortName, programme.mediumName, programme.longName, programme.description))
        return false;
    qint32 count = 0;
    if (!StorageRead::count(stream, count, MaxItems, MinGenreBytes))
        return false;
    for (qint32 i = 0; i < count; ++i) {
        SpiGenre genre;
        stream >> genre.type >> genre.scheme;
        if (!ok(stream) || !StorageRead::byteArray(stream, genre.levels, MaxLevelBytes))
            return false;
        programme.genres.append(genre);
    }
    return true;
}

// Reads a map entry by entry; a damaged entry ends the read. An outer record
// (KeepPartial) keeps what was read inside it before the damage; a
// programme is dropped.
template <bool KeepPartial, typename Key, typename Value, typename ReadValue>
bool readMap(QDataStream &stream, QMap<Key, Value> &map, qint32 maxCount, qint64 minItemBytes, ReadValue readValue)
{
    qint32 count = 0;
    if (!StorageRead::count(stream, count, maxCount, minItemBytes))
        return false;
    for (qint32 i = 0; i < count; ++i) {
        Key key {};
        stream >> key;
        if (!ok(stream))
            return false;
        Value value;
        const bool complete = readValue(stream, value);
        if (complete || KeepPartial)
            map.insert(key, value);
        if (!complete)
            return false;
    }
    return true;
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
    return readMap<true>(stream, index, MaxCountries, MinCountryBytes, [](QDataStream &s, SpiCountry &country) {
        s >> country.updateTime >> country.countryKey;
        if (!ok(s) || !readTexts(s, country.shortName, country.mediumName, country.longName, country.description)
            || !readLogos(s, country.logos))
            return false;
        return readMap<true>(s, country.services, MaxServices, MinServiceBytes, [](QDataStream &t, SpiService &service) {
            t >> service.updateTime >> service.scheduleVersion >> service.hasSi;
            if (!ok(t) || !readContentId(t, service.contentId)
                || !readTexts(t, service.shortName, service.mediumName, service.longName, service.description)
                || !readLogos(t, service.logos))
                return false;
            return readMap<false>(t, service.programmes, MaxProgrammes, MinProgrammeBytes, readProgramme);
        });
    });
}

} // namespace SpiIndexStream

} // namespace ZOZ
