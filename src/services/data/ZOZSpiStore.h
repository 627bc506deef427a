#pragma once

#include "data/ZOZSpiElement.h"

#include <QByteArray>
#include <QMap>
#include <QReadWriteLock>
#include <QString>
#include <QVector>

namespace ZOZ {

struct SpiGenre
{
    quint32 type = 0;
    quint32 scheme = 0;
    QByteArray levels; // 3 bytes

    bool operator==(const SpiGenre &) const = default;
};

struct SpiLogo
{
    QString url;
    QString mimeValue;
    quint16 width = 0;
    quint16 height = 0;
    quint32 type = 0; // the multimedia type of the broadcast

    bool operator==(const SpiLogo &) const = default;
};

struct SpiProgramme
{
    quint32 updateTime = 0;
    quint32 reserved = 0;
    quint32 start = 0;
    quint32 stop = 0;
    QString shortName;
    QString mediumName;
    QString longName;
    QString description;
    QVector<SpiGenre> genres;

    // Everything but the update time.
    bool sameContent(const SpiProgramme &other) const;
};

struct SpiService
{
    static constexpr quint32 NoScheduleVersion = 0xFFFFFFFFu;

    quint32 updateTime = 0;
    quint32 scheduleVersion = NoScheduleVersion;
    bool hasSi = false;
    SpiContentId contentId;
    QString shortName;
    QString mediumName;
    QString longName;
    QString description;
    QVector<SpiLogo> logos;
    QMap<quint32, SpiProgramme> programmes; // by start, UNIX seconds
};

struct SpiCountry
{
    quint32 updateTime = 0;
    quint16 countryKey = 0;
    QString shortName;
    QString mediumName;
    QString longName;
    QString description;
    QVector<SpiLogo> logos;
    QMap<quint32, SpiService> services; // by SId
};

using SpiIndex = QMap<quint16, SpiCountry>; // by country key

// The programme guide as it stands: countries, their services and
// programmes. The index lock guards `index` and `changed`; writers of the
// index hold it for writing.
struct SpiStore
{
    QReadWriteLock lock;
    SpiIndex index;
    bool changed = false;
};

// The index in the stored byte form of "db.zoz" (a Qt 4.8 data stream,
// maps in descending key order).
namespace SpiIndexStream {

// Far above any real guide; larger counts are damage.
constexpr qint32 MaxCountries = 4096;
constexpr qint32 MaxServices = 65536;
constexpr qint32 MaxProgrammes = 65536;
constexpr qint32 MaxItems = 256; // logos of one entry, genres of one programme
constexpr quint32 MaxLevelBytes = 16;

QByteArray write(const SpiIndex &index);
// Reads up to the first damage; what was read before it stays in `index`.
// False when the bytes were damaged.
bool read(const QByteArray &bytes, SpiIndex &index);

} // namespace SpiIndexStream

} // namespace ZOZ
