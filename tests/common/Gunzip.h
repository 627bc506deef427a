#pragma once

// Inflates a gzip stream with zlib directly, to check what our compressor wrote.

#include <QByteArray>

#include <zlib.h>

namespace ZOZTest {

inline QByteArray gunzip(const QByteArray &data)
{
    z_stream stream {};
    if (inflateInit2(&stream, 15 + 16) != Z_OK)
        return QByteArray();
    QByteArray out(1 << 20, Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    const int result = inflate(&stream, Z_FINISH);
    out.truncate(qsizetype(stream.total_out));
    inflateEnd(&stream);
    return result == Z_STREAM_END ? out : QByteArray();
}

} // namespace ZOZTest
