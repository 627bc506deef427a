// Layout of a FIC decoder instance, shared by its parser, database and queries.
#ifndef ZOZ_DAB_FIC_INTERNAL_H
#define ZOZ_DAB_FIC_INTERNAL_H

#include "DabFicDecoder.h"

#include <cstddef>

static_assert(sizeof(FicFigRecord) == 45 * 4, "a FIG record is 45 words");
static_assert(offsetof(FicFigRecord, u) == 12, "record head is three words");

namespace ZOZ::Fic {

constexpr int PoolSize = 500;
constexpr int ListCapacity = 300;
constexpr int FigTypes = 3;
constexpr int FigExtensions = 32;
constexpr int AsideCapacity = 40;   // unparsed type-5 and type-6 FIGs kept per push
constexpr int MaxFigData = 29;      // data bytes of one FIG, header byte included
constexpr int FibDataBytes = 30;
constexpr int FibBytes = 32;
constexpr int MaxFibsPerPush = 4;
constexpr uint8_t NoOccurrence = 250;

struct List;

} // namespace ZOZ::Fic

struct FicFigEntry {
    FicFigEntry *previous;
    FicFigEntry *next;
    ZOZ::Fic::List *list;
    FicFigRecord record;
};

namespace ZOZ::Fic {

struct List {
    FicFigEntry *head;
    FicFigEntry *tail;
    uint16_t capacity;
    uint16_t count;
    uint32_t modifications;
};

// A FIG as cut out of a FIB: header fields and up to 29 data bytes.
struct RawFig {
    uint8_t invalid;
    uint8_t type;
    uint8_t length;
    uint8_t data[MaxFigData];
};

struct AsideFig {
    uint32_t pushNumber;
    RawFig fig;
};

struct AsideStore {
    uint16_t count;
    AsideFig figs[AsideCapacity];
};

} // namespace ZOZ::Fic

struct FicDecoder {
    FicFigEntry nodes[ZOZ::Fic::PoolSize];
    ZOZ::Fic::List pool;
    ZOZ::Fic::List lists[ZOZ::Fic::FigTypes][ZOZ::Fic::FigExtensions];
    ZOZ::Fic::AsideStore fidcStore;      // type 5
    ZOZ::Fic::AsideStore caStore;        // type 6
    uint32_t pushNumber;
    uint8_t fig0_7Seen;
    uint8_t cifHigh;
    uint8_t cifLow;
    uint8_t pendingChange;
    uint8_t occurrence;
    uint32_t changeCounter;
    uint32_t rememberedCounts[4];        // FIG 0/2, 0/9, 1/1, 1/5
};

namespace ZOZ::Fic {

// Parser side.
void parseFig(FicDecoder &decoder, const RawFig &fig);
void splitFigs(FicDecoder &decoder, const uint8_t *data, size_t length, bool withinFib);
bool figStringFits(const uint8_t *data, size_t length);

// Database side.
void resetDatabase(FicDecoder &decoder);
void storeRecord(FicDecoder &decoder, const FicFigRecord &record);
void advanceCif(FicDecoder &decoder);
void reconfigure(FicDecoder &decoder, uint8_t flags);
void expireRecords(FicDecoder &decoder);
void clearAsideStores(FicDecoder &decoder);
uint32_t expiryTimeout(int type, int extension);

inline List &listOf(FicDecoder &decoder, int type, int extension) { return decoder.lists[type][extension]; }

} // namespace ZOZ::Fic

#endif
