#pragma once

#include <QByteArray>

namespace ZOZ {

// Replaces the data by its gzip form when that is not larger than the data itself;
// returns false and leaves the data unchanged otherwise.
bool gzipCompress(QByteArray &data);

} // namespace ZOZ
