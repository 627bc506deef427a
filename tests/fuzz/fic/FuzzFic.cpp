// Feeds arbitrary FIBs (with their CRC made valid, so the FIGs get parsed) and
// FIG strings to one FIC decoder and reads everything back after each push.
#include "ZOZDab.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

FicDecoder *decoder()
{
    static FicDecoder *instance = [] {
        FicDecoderConfig config;
        DAB_Bb_Ruz_FicDecoderGetDefaultConfig(&config);
        return static_cast<FicDecoder *>(std::malloc(config.instanceSize));
    }();
    return instance;
}

void readEverything(FicDecoder *d)
{
    FicFigRecord record;
    for (uint8_t type = 0; type < 3; ++type) {
        for (uint8_t extension = 0; extension < 32; ++extension) {
            DAB_Bb_Ruz_FicDecoderGetFigCount(d, type, extension);
            for (const FicFigEntry *e = DAB_Bb_Ruz_FicDecoderGetFigList(d, type, extension); e != nullptr;
                 e = DAB_Bb_Ruz_FicDecoderGetNext(e))
                DAB_Bb_Ruz_FicDecoderGetFigData(e, &record);
        }
    }
    for (uint8_t kind = 0; kind < 2; ++kind) {
        const int services = DAB_Bb_Ruz_FicDecoderGetNumServices(d, kind);
        for (int i = 0; i < services; ++i) {
            FicServiceInfo service;
            if (DAB_Bb_Ruz_FicDecoderGetService(d, kind, i, &service) != 0)
                std::abort();
            const int components = DAB_Bb_Ruz_FicDecoderGetNumServiceComponents(d, service.serviceId, kind);
            for (int c = 0; c <= components; ++c) {
                FicServiceComponentInfo component;
                DAB_Bb_Ruz_FicDecoderGetServiceComponent(d, service.serviceId, kind, c, &component);
            }
        }
    }
    DAB_Bb_Ruz_FicDecoderGetChangeCounter(d);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FicDecoder *d = decoder();
    DAB_Bb_Ruz_FicDecoderInit(d);
    size_t position = 0;
    while (position < size) {
        const uint8_t op = data[position++];
        if ((op & 0x03) != 3) {
            // One to three FIBs, exactly allocated; op bit 2 keeps the CRC as given.
            const int fibs = (op & 0x03) + 1;
            uint8_t *buffer = static_cast<uint8_t *>(std::calloc(fibs, 32));
            for (int f = 0; f < fibs; ++f) {
                uint8_t *fib = buffer + f * 32;
                const size_t take = size - position < 32 ? size - position : 32;
                std::memcpy(fib, data + position, take);
                position += take;
                if ((op & 0x04) == 0) {
                    const uint16_t crc = DAB_Bb_Ruz_Crc16(fib, 30);
                    fib[30] = static_cast<uint8_t>(crc >> 8);
                    fib[31] = static_cast<uint8_t>(crc);
                }
            }
            DAB_Bb_Ruz_FicDecoderPushFibs(d, buffer, static_cast<uint8_t>(fibs));
            std::free(buffer);
        } else {
            if (position + 2 > size)
                break;
            const uint8_t length = data[position];
            const uint8_t flags = data[position + 1];
            position += 2;
            const size_t take = size - position < length ? size - position : length;
            // An exact-size copy, so that reads past the string are caught.
            uint8_t *figs = static_cast<uint8_t *>(std::malloc(take > 0 ? take : 1));
            std::memcpy(figs, data + position, take);
            position += take;
            DAB_Bb_Ruz_FicDecoderPushFigs(d, figs, static_cast<uint8_t>(take), flags);
            std::free(figs);
        }
        readEverything(d);
    }
    return 0;
}
