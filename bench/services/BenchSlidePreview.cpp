// A large slide: what its arrival costs the thread that delivers broadcast
// data, and what its preview costs the thread that makes it.
#include "data/ZOZServiceSLS.h"
#include "data/ZOZSlidePreview.h"

#include "SlideShowTestSupport.h"

#include <QBuffer>
#include <QImage>

#include <benchmark/benchmark.h>

namespace {

// A 4000 × 3000 photograph-like JPEG: gradients and some texture.
const QByteArray &largeJpeg()
{
    static const QByteArray bytes = [] {
        QImage image(4000, 3000, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                line[x] = qRgb(x * 255 / 4000, y * 255 / 3000, ((x ^ y) & 31) * 8);
        }
        QByteArray out;
        QBuffer buffer(&out);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "JPEG", 85);
        return out;
    }();
    return bytes;
}

void BM_SlidePreview4000x3000(benchmark::State &state)
{
    const QByteArray &jpeg = largeJpeg();
    for (auto _ : state)
        benchmark::DoNotOptimize(ZOZ::makeSlidePreview(jpeg, QStringLiteral("image/jpeg")));
    state.counters["jpegBytes"] = double(jpeg.size());
}
BENCHMARK(BM_SlidePreview4000x3000)->Unit(benchmark::kMillisecond);

// The data groups of the same JPEG (cut to what one slide may hold) into the
// SlideShow service, as the audio service hands them over: reassembly,
// digest, slide store. The preview is not made here.
void BM_SlideArrival(benchmark::State &state)
{
    const QByteArray body = largeJpeg().left(int(ZOZ::ServiceSLS::EntityBufferSize) - 1000);
    std::vector<ZOZTest::Sls::Bytes> groups[2];
    for (int n = 0; n < 2; ++n) {
        ZOZTest::Sls::SlideSpec spec("large.jpg", ZOZTest::Sls::dabNow());
        groups[n] = ZOZTest::Sls::slideGroups(uint16_t(n + 1), n ? body : body.left(body.size() - 1), spec);
    }
    ZOZ::ServiceDescriptor d;
    d.applicationId = 2;
    d.applicationType = 12;
    auto *service = new ZOZ::ServiceSLS(d);
    service->retain();
    int turn = 0;
    for (auto _ : state) {
        // Two bodies in turn, so every object is a new image.
        for (const auto &group : groups[turn])
            service->handlePacket(int(group.size()), group.data());
        turn ^= 1;
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * body.size());
    service->release();
}
BENCHMARK(BM_SlideArrival)->Unit(benchmark::kMillisecond);

} // namespace
