#include "data/ZOZSpiCache.h"

#include "base/ZOZLog.h"

namespace ZOZ {

const QString SpiCache::FileName = QStringLiteral("db.zoz");

SpiCache::SpiCache(const QString &directory)
    : Storage(directory, FileName, SpiType)
{
}

QByteArray SpiCache::read()
{
    QByteArray index;
    if (!m_valid || !StorageRead::byteArray(m_stream, index, MaxBytes))
        return QByteArray();
    ZOZ_LOG(LogSource::Storage, QStringLiteral("SpiCache::read() -> successfully read SPI cache data"));
    return index;
}

bool SpiCache::write(const QByteArray &index)
{
    if (!setWriteMode(FormatVersion))
        return false;
    m_stream << index;
    if (!finishWrite())
        return false;
    ZOZ_LOG(LogSource::Storage, QStringLiteral("SpiCache::write() -> successfully wrote SPI cache data"));
    return true;
}

} // namespace ZOZ
