#include "DabPlusUnits.h"

#include "DABplusParser.h"

uint32_t forEachDabPlusUnit(const EtiSubchannel &sub, const std::function<void(const DabPlusUnit &)> &unit)
{
    uint32_t streamType = 0;
    DABplusParserHandle parser = nullptr;
    if (DABplusParser_Open(&parser, sub.size) != 0)
        return streamType;
    uint8_t config[4] = {};
    uint32_t configLength = 0;
    const size_t frameSize = 24 * sub.size;
    DABplusAccessUnitTable table = {};
    for (size_t offset = 0; offset + frameSize <= sub.bytes.size(); offset += frameSize) {
        uint32_t frames = 1;
        DABplusParser_ParseSuperframe(parser, &sub.bytes[offset], &frames, &table);
        streamType = DABplusParser_GetStreamHeader(parser)->streamType;
        if (table.auCount < 2)
            continue;
        if (configLength == 0) {
            uint32_t mps = 0;
            configLength = static_cast<uint32_t>(DABplusParser_GetAudioConfig(parser, config, &mps));
        }
        for (uint32_t i = 0; i < table.auCount; ++i)
            unit({config, configLength, table.au[i], table.auLength[i]});
    }
    DABplusParser_Close(&parser);
    return streamType;
}
