#pragma once

#include "ZOZDabEnsemble.h"

#include <QDataStream>

namespace ZOZ {

// Ensemble cache records. Writers produce the newest format (version 3);
// readers take the format version of the file (0 to 3) and use the capped
// readers of the cache container, so a damaged file ends with the stream's
// status set instead of a huge allocation.
namespace DabEnsembleFormat {
constexpr quint32 CurrentVersion = 3;
constexpr qint32 MaxEnsembles = 1024;
constexpr qint32 MaxServices = 1024;   // the FIC holds far fewer
constexpr qint32 MaxComponents = 64;   // FIG 0/2 announces at most 12
constexpr qint32 MaxUserApplications = 64;
constexpr quint32 MaxUserApplicationData = 1024;
constexpr qint32 MaxExcludedServices = 65536;
constexpr qint64 MinEnsembleBytes = 22;
constexpr qint64 MinExcludedEntryBytes = 12;
} // namespace DabEnsembleFormat

QDataStream &operator<<(QDataStream &stream, const DabUserApplication &application);
QDataStream &operator<<(QDataStream &stream, const DabServiceComponent &component);
QDataStream &operator<<(QDataStream &stream, const DabService &service);
QDataStream &operator<<(QDataStream &stream, const DabEnsemble &ensemble);
QDataStream &operator<<(QDataStream &stream, const DabEnsembleCacheEntry &entry);
QDataStream &operator<<(QDataStream &stream, const QList<DabEnsembleCacheEntry> &entries);

bool readRecord(QDataStream &stream, DabUserApplication &application, quint32 version);
bool readRecord(QDataStream &stream, DabServiceComponent &component, quint32 version);
bool readRecord(QDataStream &stream, DabService &service, quint32 version);
// Reads the stored fields only; the caller resolves the channel afterwards.
bool readRecord(QDataStream &stream, DabEnsemble &ensemble, quint32 version);
bool readRecord(QDataStream &stream, DabEnsembleCacheEntry &entry, quint32 version);
bool readExcludedServices(QDataStream &stream, QList<DabEnsembleCacheEntry> &entries);

} // namespace ZOZ
