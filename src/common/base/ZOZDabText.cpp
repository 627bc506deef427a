#include "base/ZOZDabText.h"

#include "base/ZOZDabText_tables.h"

#include <algorithm>

namespace ZOZ {

QString dabTextToString(uint8_t characterSet, const char *bytes, int length)
{
    if (!bytes || length <= 0)
        return QString();
    length = std::min(length, MaxDabTextBytes);
    const auto *data = reinterpret_cast<const unsigned char *>(bytes);

    if (characterSet == DabCharsetUtf8)
        return QString::fromUtf8(bytes, length);

    QString text;
    if (characterSet == DabCharsetUcs2) {
        text.reserve(length / 2);
        for (int i = 0; i + 1 < length; i += 2)
            text += QChar(char16_t((data[i] << 8) | data[i + 1]));
    } else {
        text.reserve(length);
        for (int i = 0; i < length; ++i)
            text += QChar(EbuLatinBasedRepertoire[data[i]]);
    }
    return text.trimmed();
}

QString dabIdToHex(uint8_t qualifier, uint32_t identifier)
{
    if (identifier > 0xFFFF)
        return QString::number(identifier, 16);
    return QString::number(qualifier, 16) + QString::number(identifier, 16);
}

} // namespace ZOZ
