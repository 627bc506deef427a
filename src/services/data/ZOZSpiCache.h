#pragma once

#include "base/ZOZStorage.h"

#include <QByteArray>

namespace ZOZ {

// The programme guide's cache file ("db.zoz" in the guide's folder): one
// byte array, the stored form of the index.
class SpiCache : public Storage
{
public:
    static const QString FileName;
    static constexpr quint32 FormatVersion = 1;
    // Far above what a guide grows to; a larger record is damage.
    static constexpr quint32 MaxBytes = 64 * 1024 * 1024;

    explicit SpiCache(const QString &directory);
    bool isValid() const override { return m_valid; }
    // The stored array; empty when the file is missing, not ours or damaged.
    QByteArray read();
    bool write(const QByteArray &index);
};

} // namespace ZOZ
