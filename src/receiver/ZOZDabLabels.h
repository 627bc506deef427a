#pragma once

#include <QString>

struct FicDecoder;

namespace ZOZ {

// The short form of a label: character i (0-15) is kept when bit 15 - i of the
// character flag field is set; at most 8 characters.
QString shortLabel(const QString &label, quint16 characterFlags);

// Bit rate of a sub-channel in units of 8 kbit/s, from its FIG 0/1 entry;
// 0 without an entry, for an unknown protection option or a null decoder.
quint16 subChannelBitrate(const FicDecoder *decoder, quint8 subChId);

} // namespace ZOZ
