#include "DabCodeTables.h"

#include "DabCodeTablesData.h"

namespace ZOZ {

const char *countryName(uint16_t key)
{
    const unsigned ecc = key >> 4;
    const unsigned countryId = key & 0x0F;
    for (const CountryRow &row : CountryTable) {
        if (row.ecc == ecc)
            return row.names[countryId] != nullptr ? row.names[countryId] : "";
    }
    return "";
}

const char *languageName(uint8_t code)
{
    if (code < sizeof LanguageNames / sizeof LanguageNames[0] && LanguageNames[code] != nullptr)
        return LanguageNames[code];
    return "";
}

const char *programmeTypeName(uint8_t code)
{
    if (code < sizeof ProgrammeTypeNames / sizeof ProgrammeTypeNames[0])
        return ProgrammeTypeNames[code];
    return "";
}

const char *ficDecoderErrorText(int code)
{
    switch (code) {
    case 1: return "FIB splitter";
    case 2: return "unknown FIG type";
    case 4: return "unknown FIG extension";
    case 8: return "faulty FIG length";
    case 16: return "too many items in FIG";
    case 32: return "too many subitems in FIG";
    case 64: return "FIG contains no valid data";
    default: return "no error";
    }
}

const char *motErrorText(const uint32_t &code)
{
    switch (code) {
    case 0: return "no error";
    case 2: return "Time parameter is triggered as 'now'.";
    case 3: return "Invalid parameters were used (e.g. NULL pointer).";
    case 4: return "Assigned buffer for entity assembly is not big enough.";
    case 5: return "The CRC check for the MSC data group failed.";
    case 6: return "Decoder instance was not setup with correct mode (directory/header).";
    case 7: return "MSC data group is not valid.";
    case 8: return "MOT header, object or parameter was not found.";
    case 9: return "While parsing the MSC data group an unexpected type was encountered (maybe wrong decoder mode).";
    case 10: return "The MOT directory is not (fully) received yet (more segments needed).";
    case 11: return "MOT directory data could not be parsed correctly.";
    case 12: return "Decompression of data failed.";
    case 13: return "The MOT object refered by given transport Id was already requested.";
    case 15: return "Internal ZOZ error.";
    default: return "unknown error";
    }
}

const char *packetModeErrorText(const uint32_t &code)
{
    switch (code) {
    case 0: return "Operation was successful.";
    case 1: return "Invalid parameters used (e.g. NULL pointer).";
    case 2: return "Unfixable error in reed solomon processing.";
    case 3: return "The supported number of parallely processed addresses has been reached.";
    case 4: return "Handler for packet address was already added.";
    case 5: return "Address handler was not found.";
    case 6: return "Received packet had faulty header data and will be discarded.";
    case 7: return "Received packet had faulty continuity index and will be discarded.";
    default: return "unknown error";
    }
}

const char *padDecoderErrorText(int code)
{
    switch (code) {
    case 0: return "Operation was successful.";
    case 1: return "Invalid parameters used (e.g. NULL pointer).";
    case 2: return "Assigned buffer for app type assembly is not big enough.";
    case 3: return "The CRC check failed.";
    case 4: return "The supported number of parallely processed application types has been reached.";
    case 5: return "Application type was already added to chain.";
    case 6: return "Received X-PAD data but no app type handler was added.";
    case 7: return "Received X-PAD data was invalid.";
    default: return "unknown error";
    }
}

const char *dlDecoderErrorText(int code)
{
    switch (code) {
    case 0: return "Operation was successful.";
    case 1: return "Invalid parameters used (e.g. NULL pointer).";
    case 2: return "Assembly of DL failed (probably due to transmission errors).";
    case 3: return "The CRC check failed.";
    default: return "unknown error";
    }
}

} // namespace ZOZ
