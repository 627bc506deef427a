#include "http/ZOZGzip.h"

#include <zlib.h>

#include <limits>

namespace ZOZ {

namespace {
// 15 window bits plus 16 asks zlib for a gzip wrapper instead of a zlib one.
constexpr int GzipWindowBits = 15 + 16;
constexpr int GzipMemoryLevel = 8;
} // namespace

bool gzipCompress(QByteArray &data)
{
    if (data.isEmpty() || data.size() > std::numeric_limits<uInt>::max())
        return false;

    z_stream stream {};
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, GzipWindowBits, GzipMemoryLevel,
                     Z_DEFAULT_STRATEGY) != Z_OK)
        return false;

    QByteArray compressed(data.size(), Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef *>(data.data());
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef *>(compressed.data());
    stream.avail_out = uInt(compressed.size());

    const int result = deflate(&stream, Z_FINISH);
    const uLong written = stream.total_out;
    deflateEnd(&stream);
    if (result != Z_STREAM_END)
        return false;

    compressed.truncate(qsizetype(written));
    data = compressed;
    return true;
}

} // namespace ZOZ
