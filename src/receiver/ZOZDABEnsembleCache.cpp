#include "ZOZDABEnsembleCache.h"

#include "ZOZDabEnsembleStream.h"
#include "base/ZOZLog.h"

namespace ZOZ {

const QString DABEnsembleCache::DefaultFileName = QStringLiteral("DAB.default.zoz");
const QString DABEnsembleCache::LegacyFileName = QStringLiteral("DAB.dat");

namespace {

const QString LegacyMagic = QStringLiteral("ZOZ-DAB-DB.v4.r");
const QString LegacyBeginTag = QStringLiteral("DATABEGIN");
constexpr quint32 LegacyRecordVersion = 0;
constexpr quint32 MaxLegacyHeaderStringBytes = 256;

bool readEnsembleRecords(QDataStream &stream, qint32 count, quint32 version, DabEnsembleMap &ensembles)
{
    for (qint32 i = 0; i < count; ++i) {
        auto ensemble = std::make_unique<DabEnsemble>(-1);
        if (!readRecord(stream, *ensemble, version))
            return false;
        ensemble->touch();
        ensemble->resolveChannel();
        // A record whose frequency is on no channel of its grid has no key;
        // of two records for one channel the later one stays.
        if (ensemble->index >= 0)
            ensembles[ensemble->index] = std::move(ensemble);
    }
    return true;
}

} // namespace

DABEnsembleCache::DABEnsembleCache(const QString &directory, const QString &fileName)
    : Storage(directory, fileName, DabEnsembleType)
{
    // Only a missing cache file lets the legacy file in; a cache that exists
    // but is damaged is not overwritten behind the user's back.
    if (!m_valid && !hasReadDevice())
        importLegacyFile();
}

void DABEnsembleCache::importLegacyFile()
{
    QFile legacy(m_directory + LegacyFileName);
    if (!legacy.open(QIODevice::ReadOnly))
        return;
    QDataStream in(&legacy);
    in.setVersion(StreamVersion);

    QString magic;
    QString ignoredText;
    qint32 ignoredNumber = 0;
    qint32 count = 0;
    QString beginTag;
    StorageRead::string(in, magic, MaxLegacyHeaderStringBytes);
    in >> ignoredNumber;
    StorageRead::string(in, ignoredText, MaxLegacyHeaderStringBytes);
    StorageRead::count(in, count, DabEnsembleFormat::MaxEnsembles, DabEnsembleFormat::MinEnsembleBytes);
    StorageRead::string(in, beginTag, MaxLegacyHeaderStringBytes);

    // A file of another kind is of no use and goes; a damaged database stays
    // (with a log line) until a write of its import succeeds.
    if (magic == LegacyMagic && (in.status() != QDataStream::Ok || beginTag == LegacyBeginTag)) {
        QList<DabEnsembleCacheEntry> excluded;
        DabEnsembleMap ensembles;
        const bool complete = in.status() == QDataStream::Ok && readExcludedServices(in, excluded)
            && readEnsembleRecords(in, count, LegacyRecordVersion, ensembles);
        legacy.close();
        if (!complete) {
            ZOZ_LOG(LogSource::Storage | LogFlag::Warning,
                    QStringLiteral("DABEnsembleCache -> warning: damaged legacy DAB ensemble database kept, not imported (filename: %1)")
                        .arg(legacy.fileName()));
            return;
        }
        const bool imported = write(QString(), excluded, ensembles);
        setReadMode();
        if (!imported)
            return;
    }
    legacy.close();
    legacy.remove();
}

bool DABEnsembleCache::read(QString &setName, QList<DabEnsembleCacheEntry> &excluded,
                            DabEnsembleMap &ensembles)
{
    if (!hasReadDevice())
        return false;

    QString name;
    qint32 count = 0;
    QList<DabEnsembleCacheEntry> readExcluded;
    DabEnsembleMap readEnsemblesMap;
    StorageRead::string(m_stream, name);
    StorageRead::count(m_stream, count, DabEnsembleFormat::MaxEnsembles,
                       m_version >= 4 ? 0 : DabEnsembleFormat::MinEnsembleBytes);
    readExcludedServices(m_stream, readExcluded);
    // A newer format keeps its records to itself: nothing of it is guessed.
    if (m_version < 4 && m_stream.status() == QDataStream::Ok)
        readEnsembleRecords(m_stream, count, m_version, readEnsemblesMap);

    if (m_stream.status() != QDataStream::Ok) {
        ZOZ_LOG(LogSource::Storage | LogFlag::Warning,
                QStringLiteral("DABEnsembleCache::read() -> warning: damaged DAB ensemble database ignored (filename: %1)")
                    .arg(m_file.fileName()));
        return false;
    }
    setName = name;
    excluded = readExcluded;
    ensembles = std::move(readEnsemblesMap);
    ZOZ_LOG(LogSource::Storage, QStringLiteral("DABEnsembleCache::read() -> successfully read DAB ensemble database"));
    return true;
}

bool DABEnsembleCache::write(const QString &setName, const QList<DabEnsembleCacheEntry> &excluded,
                             const DabEnsembleMap &ensembles)
{
    if (!setWriteMode(DabEnsembleFormat::CurrentVersion))
        return false;
    m_stream << setName << qint32(ensembles.size()) << excluded;
    for (const auto &[index, ensemble] : ensembles)
        m_stream << *ensemble;
    if (!finishWrite())
        return false;
    ZOZ_LOG(LogSource::Storage, QStringLiteral("DABEnsembleCache::write() -> successfully wrote DAB ensemble database"));
    return true;
}

} // namespace ZOZ
