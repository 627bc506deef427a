// A PAD decoder under test: registered applications with their own buffers,
// and the data groups they received, in order.
#ifndef ZOZ_TESTS_PAD_DECODER_HARNESS_H
#define ZOZ_TESTS_PAD_DECODER_HARNESS_H

#include "DabPadDecoder.h"
#include "PadTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

namespace ZOZ::Test::Pad {

struct Delivery {
    uint8_t appType;
    Bytes bytes;
};

class PadDecoderHarness {
public:
    PadDecoderHarness() : m_decoder(static_cast<DabPadDecoder *>(std::malloc(DAB_Bb_Ruz_PadDecoderGetSize())))
    {
        EXPECT_EQ(PAD_DECODER_OK, DAB_Bb_Ruz_PadDecoderInit(m_decoder.get()));
    }

    // Registers an application; its callback records the group and returns `callbackResult`.
    int add(uint8_t appType, uint8_t useLength = 1, uint32_t capacity = 8215, int callbackResult = 0)
    {
        auto app = std::make_unique<App>();
        app->owner = this;
        app->appType = appType;
        app->result = callbackResult;
        app->buffer.resize(capacity);
        const int r = DAB_Bb_Ruz_PadDecoderAddApplication(m_decoder.get(), appType, useLength, app->buffer.data(),
                                                          capacity, &PadDecoderHarness::receive, app.get());
        m_apps.push_back(std::move(app));
        return r;
    }

    // Feeds one PAD field from a buffer of exactly its size.
    int process(const Bytes &pad)
    {
        const std::unique_ptr<uint8_t[]> copy(new uint8_t[pad.size() + 1]);
        std::copy(pad.begin(), pad.end(), copy.get());
        return DAB_Bb_Ruz_PadDecoderProcessPad(m_decoder.get(), copy.get(), static_cast<uint32_t>(pad.size()));
    }

    // Feeds the fields of consecutive frames; returns each frame's result.
    std::vector<int> processAll(const std::vector<Bytes> &pads)
    {
        std::vector<int> results;
        for (const Bytes &pad : pads)
            results.push_back(process(pad));
        return results;
    }

    // The groups one application type received.
    std::vector<Bytes> groupsOf(uint8_t appType) const
    {
        std::vector<Bytes> groups;
        for (const Delivery &d : deliveries)
            if (d.appType == appType)
                groups.push_back(d.bytes);
        return groups;
    }

    DabPadDecoder *decoder() { return m_decoder.get(); }

    std::vector<Delivery> deliveries;

private:
    struct App {
        PadDecoderHarness *owner;
        uint8_t appType;
        int result;
        Bytes buffer;
    };

    static int receive(uint8_t *buffer, uint32_t length, void *context)
    {
        auto *app = static_cast<App *>(context);
        EXPECT_EQ(buffer, app->buffer.data());
        EXPECT_LE(length, app->buffer.size());
        app->owner->deliveries.push_back({app->appType, Bytes(buffer, buffer + length)});
        return app->result;
    }

    struct FreeDeleter {
        void operator()(DabPadDecoder *d) const { std::free(d); }
    };
    std::unique_ptr<DabPadDecoder, FreeDeleter> m_decoder;
    std::vector<std::unique_ptr<App>> m_apps;
};

} // namespace ZOZ::Test::Pad

#endif
