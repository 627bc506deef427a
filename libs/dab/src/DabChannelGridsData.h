// Channel labels and centre frequencies (kHz) of the five band plans, in the
// order in which channels are numbered and scanned.
#ifndef ZOZ_DAB_CHANNEL_GRIDS_DATA_H
#define ZOZ_DAB_CHANNEL_GRIDS_DATA_H

#include "DabChannelGrids.h"

namespace ZOZ {
namespace {

const DabChannel EuropeanBand3[] = {
    {"5C", 178352, DabBandwidthCode}, {"6A", 181936, DabBandwidthCode}, {"10D", 215072, DabBandwidthCode}, {"11D", 222064, DabBandwidthCode},
    {"10C", 213360, DabBandwidthCode}, {"11C", 220352, DabBandwidthCode}, {"5A", 174928, DabBandwidthCode}, {"6D", 187072, DabBandwidthCode},
    {"10B", 211648, DabBandwidthCode}, {"12A", 223936, DabBandwidthCode}, {"9C", 206352, DabBandwidthCode}, {"11A", 216928, DabBandwidthCode},
    {"5B", 176640, DabBandwidthCode}, {"5D", 180064, DabBandwidthCode}, {"6B", 183648, DabBandwidthCode}, {"6C", 185360, DabBandwidthCode},
    {"7A", 188928, DabBandwidthCode}, {"7B", 190640, DabBandwidthCode}, {"7C", 192352, DabBandwidthCode}, {"7D", 194064, DabBandwidthCode},
    {"8A", 195936, DabBandwidthCode}, {"8B", 197648, DabBandwidthCode}, {"8C", 199360, DabBandwidthCode}, {"8D", 201072, DabBandwidthCode},
    {"9A", 202928, DabBandwidthCode}, {"9B", 204640, DabBandwidthCode}, {"9D", 208064, DabBandwidthCode}, {"10A", 209936, DabBandwidthCode},
    {"11B", 218640, DabBandwidthCode}, {"12B", 225648, DabBandwidthCode}, {"12C", 227360, DabBandwidthCode}, {"12D", 229072, DabBandwidthCode},
    {"13A", 230784, DabBandwidthCode}, {"13B", 232496, DabBandwidthCode}, {"13C", 234208, DabBandwidthCode}, {"13D", 235776, DabBandwidthCode},
    {"13E", 237488, DabBandwidthCode}, {"13F", 239200, DabBandwidthCode},
};

const DabChannel EuropeanLBand[] = {
    {"LA", 1452960, DabBandwidthCode}, {"LB", 1454672, DabBandwidthCode}, {"LC", 1456384, DabBandwidthCode}, {"LD", 1458096, DabBandwidthCode},
    {"LE", 1459808, DabBandwidthCode}, {"LF", 1461520, DabBandwidthCode}, {"LG", 1463232, DabBandwidthCode}, {"LH", 1464944, DabBandwidthCode},
    {"LI", 1466656, DabBandwidthCode}, {"LJ", 1468368, DabBandwidthCode}, {"LK", 1470080, DabBandwidthCode}, {"LL", 1471792, DabBandwidthCode},
    {"LM", 1473504, DabBandwidthCode}, {"LN", 1475216, DabBandwidthCode}, {"LO", 1476928, DabBandwidthCode}, {"LP", 1478640, DabBandwidthCode},
    {"LQ", 1480352, DabBandwidthCode}, {"LR", 1482064, DabBandwidthCode}, {"LS", 1483776, DabBandwidthCode}, {"LT", 1485488, DabBandwidthCode},
    {"LU", 1487200, DabBandwidthCode}, {"LV", 1488912, DabBandwidthCode}, {"LW", 1490624, DabBandwidthCode},
};

const DabChannel CanadianLBand[] = {
    {"L1", 1452816, DabBandwidthCode}, {"L2", 1454560, DabBandwidthCode}, {"L3", 1456304, DabBandwidthCode}, {"L4", 1458048, DabBandwidthCode},
    {"L5", 1459792, DabBandwidthCode}, {"L6", 1461536, DabBandwidthCode}, {"L7", 1463280, DabBandwidthCode}, {"L8", 1465024, DabBandwidthCode},
    {"L9", 1466768, DabBandwidthCode}, {"L10", 1468512, DabBandwidthCode}, {"L11", 1470256, DabBandwidthCode}, {"L12", 1472000, DabBandwidthCode},
    {"L13", 1473744, DabBandwidthCode}, {"L14", 1475488, DabBandwidthCode}, {"L15", 1477232, DabBandwidthCode}, {"L16", 1478976, DabBandwidthCode},
    {"L17", 1480720, DabBandwidthCode}, {"L18", 1482464, DabBandwidthCode}, {"L19", 1484208, DabBandwidthCode}, {"L20", 1485952, DabBandwidthCode},
    {"L21", 1487696, DabBandwidthCode}, {"L22", 1489440, DabBandwidthCode}, {"L23", 1491184, DabBandwidthCode},
};

const DabChannel ChineseBand3[] = {
    {"6A", 168160, DabBandwidthCode}, {"6B", 169872, DabBandwidthCode}, {"6C", 171584, DabBandwidthCode}, {"6D", 173296, DabBandwidthCode},
    {"6N", 175008, DabBandwidthCode}, {"7A", 176720, DabBandwidthCode}, {"7B", 178432, DabBandwidthCode}, {"7C", 180144, DabBandwidthCode},
    {"7D", 181856, DabBandwidthCode}, {"8A", 184160, DabBandwidthCode}, {"8B", 185872, DabBandwidthCode}, {"8C", 187584, DabBandwidthCode},
    {"8D", 189296, DabBandwidthCode}, {"8N", 191008, DabBandwidthCode}, {"9A", 192720, DabBandwidthCode}, {"9B", 194432, DabBandwidthCode},
    {"9C", 196144, DabBandwidthCode}, {"9D", 197856, DabBandwidthCode}, {"10A", 200160, DabBandwidthCode}, {"10B", 201872, DabBandwidthCode},
    {"10C", 203584, DabBandwidthCode}, {"10D", 205296, DabBandwidthCode}, {"10N", 207008, DabBandwidthCode}, {"11A", 208720, DabBandwidthCode},
    {"11B", 210432, DabBandwidthCode}, {"11C", 212144, DabBandwidthCode}, {"11D", 213856, DabBandwidthCode}, {"12A", 216432, DabBandwidthCode},
    {"12B", 218144, DabBandwidthCode}, {"12C", 219856, DabBandwidthCode}, {"12D", 221568, DabBandwidthCode},
};

const DabChannel KoreanBand3[] = {
    {"10B", 195008, DabBandwidthCode}, {"7A", 175280, DabBandwidthCode}, {"7B", 177008, DabBandwidthCode}, {"7C", 178736, DabBandwidthCode},
    {"8A", 181280, DabBandwidthCode}, {"8B", 183008, DabBandwidthCode}, {"8C", 184736, DabBandwidthCode}, {"9A", 187280, DabBandwidthCode},
    {"9B", 189008, DabBandwidthCode}, {"9C", 190736, DabBandwidthCode}, {"10A", 193280, DabBandwidthCode}, {"10C", 196736, DabBandwidthCode},
    {"11A", 199280, DabBandwidthCode}, {"11B", 201008, DabBandwidthCode}, {"11C", 202736, DabBandwidthCode}, {"12A", 205280, DabBandwidthCode},
    {"12B", 207008, DabBandwidthCode}, {"12C", 208736, DabBandwidthCode}, {"13A", 211280, DabBandwidthCode}, {"13B", 213008, DabBandwidthCode},
    {"13C", 214736, DabBandwidthCode},
};

const DabChannelGrid Grids[DabChannelGridCount] = {
    {"European Grid (Band III)", EuropeanBand3, sizeof EuropeanBand3 / sizeof EuropeanBand3[0]},
    {"European Grid (L-Band)", EuropeanLBand, sizeof EuropeanLBand / sizeof EuropeanLBand[0]},
    {"Canadian Grid (L-Band)", CanadianLBand, sizeof CanadianLBand / sizeof CanadianLBand[0]},
    {"Chinese Grid (Band III)", ChineseBand3, sizeof ChineseBand3 / sizeof ChineseBand3[0]},
    {"Korean Grid (Band III)", KoreanBand3, sizeof KoreanBand3 / sizeof KoreanBand3[0]},
};

} // namespace
} // namespace ZOZ

#endif
