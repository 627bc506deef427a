// Feeds arbitrary MSC data groups to a MOT decoder in header or directory
// mode, with or without a directory cache, over entity buffers of several
// sizes. In directory mode every entry of a complete directory is read and
// the first ones are requested into buffers of the sizes their entries give
// (capped). Every group sits in a buffer of exactly its size; every delivered
// object is read completely, its parameters looked up, gzip bodies inflated
// and DAB times read, so a read outside any buffer is caught.
#include "DabCrc16.h"
#include "DabMotDecoder.h"
#include "DabMotTime.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Set-up byte.
constexpr uint8_t DirectoryMode = 0x01;
constexpr uint8_t WithCache = 0x02;
constexpr uint8_t KeepCrc = 0x04; // else a group with the CRC flag gets a correct CRC
constexpr int EntitySizeShift = 4;
constexpr uint32_t EntitySizes[] = {500, 501, 4096, 70000};
// Requested bodies: how many per directory and the largest buffer.
constexpr uint32_t MaxRequests = 8;
constexpr uint32_t MaxEntriesRead = 32;
constexpr uint32_t MaxRequestBytes = 1 << 16;
constexpr uint8_t TriggerTime = 5;

struct Run {
    DabMotDecoder *decoder = nullptr;
    std::vector<uint8_t *> requested;
    uint32_t checksum = 0;
};

// Keeps the reads of delivered bytes from being optimised away.
volatile uint32_t sink;

void readAll(Run &run, const uint8_t *bytes, uint32_t length)
{
    for (uint32_t i = 0; i < length; ++i)
        run.checksum += bytes[i];
}

void inspectHeader(Run &run, const MotHeader &header)
{
    readAll(run, header.contentName, header.contentName ? header.contentNameLength : 0);
    readAll(run, reinterpret_cast<const uint8_t *>(header.mimeType), header.mimeType ? header.mimeTypeLength : 0);
    const uint8_t *data = nullptr;
    uint32_t length = 0;
    for (uint8_t id = 0; id < 64; ++id) {
        if (DAB_Bb_Ruz_MotDecoderGetHeaderParameter(&header, id, &data, &length) == MOT_DECODER_OK)
            readAll(run, data, length);
    }
    if (DAB_Bb_Ruz_MotDecoderGetHeaderParameter(&header, TriggerTime, &data, &length) == MOT_DECODER_OK) {
        uint32_t time = 0;
        if (ZOZ::motTimeToUnix(data, length, time))
            run.checksum += time;
    }
}

void inflate(Run &run, const uint8_t *object, uint32_t size)
{
    uint32_t uncompressed = 0;
    if (DAB_Bb_Ruz_MotDecoderGetUncompressedSize(object, size, &uncompressed) != MOT_DECODER_OK)
        return;
    uncompressed = std::min(uncompressed, MaxRequestBytes);
    auto *out = static_cast<uint8_t *>(std::malloc(uncompressed ? uncompressed : 1));
    uint32_t produced = uncompressed;
    if (DAB_Bb_Ruz_MotDecoderUncompress(object, size, out, &produced) == MOT_DECODER_OK)
        readAll(run, out, produced);
    std::free(out);
}

void requestObjects(Run &run)
{
    MotDirectory *directory = nullptr;
    if (DAB_Bb_Ruz_MotDecoderGetDirectory(run.decoder, &directory) != MOT_DECODER_OK)
        return;
    const uint8_t *data = nullptr;
    uint32_t length = 0;
    for (uint8_t id = 0; id < 64; ++id) {
        if (DAB_Bb_Ruz_MotDecoderGetDirectoryParameter(directory, id, &data, &length) == MOT_DECODER_OK)
            readAll(run, data, length);
    }
    const uint32_t entries = std::min<uint32_t>(directory->numberOfObjects, MaxEntriesRead);
    for (uint32_t index = 0; index < entries; ++index) {
        MotHeader entry{};
        if (DAB_Bb_Ruz_MotDecoderGetDirectoryEntry(run.decoder, index, &entry) != MOT_DECODER_OK)
            continue;
        inspectHeader(run, entry);
        if (index >= MaxRequests)
            continue;
        const uint32_t size = std::clamp<uint32_t>(entry.bodySize, 1, MaxRequestBytes);
        auto *buffer = static_cast<uint8_t *>(std::malloc(size));
        if (DAB_Bb_Ruz_MotDecoderRequestObject(run.decoder, entry.transportId, buffer, size) == MOT_DECODER_OK)
            run.requested.push_back(buffer);
        else
            std::free(buffer);
    }
}

int received(const uint8_t *object, uint32_t size, const MotHeader *header, void *context)
{
    Run &run = *static_cast<Run *>(context);
    readAll(run, object, size);
    if (header) {
        inspectHeader(run, *header);
        inflate(run, object, size);
    }
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t setup = data[0];
    const bool directoryMode = setup & DirectoryMode;
    const uint32_t entitySize = EntitySizes[(setup >> EntitySizeShift) & 3];
    Run run;
    run.decoder = static_cast<DabMotDecoder *>(std::malloc(DAB_Bb_Ruz_MotDecoderGetSize()));
    auto *entity = static_cast<uint8_t *>(std::malloc(entitySize));
    uint8_t *cache = nullptr;
    if (directoryMode && (setup & WithCache))
        cache = static_cast<uint8_t *>(std::malloc(MOT_DECODER_MIN_CACHE_SIZE));
    DAB_Bb_Ruz_MotDecoderInit(run.decoder, directoryMode, entity, entitySize, received, &run, cache,
                              cache ? MOT_DECODER_MIN_CACHE_SIZE : 0);
    size_t position = 1;
    // Each group: a two-byte length, then its bytes.
    while (position + 2 <= size) {
        const size_t announced = size_t(data[position]) << 8 | data[position + 1];
        position += 2;
        const size_t take = std::min(size - position, announced);
        auto *group = static_cast<uint8_t *>(std::malloc(take ? take : 1));
        if (take)
            std::memcpy(group, data + position, take);
        if (!(setup & KeepCrc) && take >= 4 && (group[0] & 0x40)) {
            const uint16_t crc = DAB_Bb_Ruz_Crc16(group, take - 2);
            group[take - 2] = static_cast<uint8_t>(crc >> 8);
            group[take - 1] = static_cast<uint8_t>(crc);
        }
        DAB_Bb_Ruz_MotDecoderProcessDataGroup(run.decoder, group, static_cast<uint32_t>(take));
        std::free(group);
        position += take;
        if (directoryMode)
            requestObjects(run);
    }
    for (uint8_t *buffer : run.requested)
        std::free(buffer);
    std::free(cache);
    std::free(entity);
    std::free(run.decoder);
    sink = run.checksum;
    return 0;
}
