// A Broadcast Website carousel of 1,000 small objects into the MOT object
// service with its cache on disk: the first pass receives and writes every
// object; the same objects sent again under a new directory are compared and
// write nothing. "bytes_written" counts what the process handed to write().
#include "MotCarouselTestSupport.h"
#include "data/ZOZServiceBWS.h"
#include "settings/ZOZSettings.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

constexpr int Objects = 1000;

std::vector<ZOZTest::Carousel::Object> siteObjects()
{
    std::vector<ZOZTest::Carousel::Object> objects;
    for (int i = 0; i < Objects; ++i) {
        QByteArray body = QByteArrayLiteral("<html><body><a href=\"/page") + QByteArray::number((i + 1) % Objects)
                        + QByteArrayLiteral(".html\">next</a>");
        body += QByteArray(2000 + i % 500, char('a' + i % 26));
        body += QByteArrayLiteral("</body></html>");
        objects.emplace_back("/folder" + std::to_string(i % 10) + "/page" + std::to_string(i) + ".html", body);
    }
    return objects;
}

// What this process has passed to write() so far.
qint64 bytesWritten()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : io.readAll().split('\n')) {
        if (line.startsWith("wchar:"))
            return line.mid(6).trimmed().toLongLong();
    }
    return 0;
}

class Site
{
public:
    Site()
    {
        qputenv("HOME", m_home.path().toLocal8Bit());
        ZOZ::Settings *settings = ZOZ::Settings::create();
        settings->setHasGraphicalUI(false);
        settings->setCachePath(m_home.path() + QStringLiteral("/cache/"));
        ZOZ::ServiceDescriptor d;
        d.serviceIdentifier = 0xE0D010;
        d.applicationType = 3;
        m_service = new ZOZ::ServiceBWS(d);
        m_service->retain();
    }

    ~Site()
    {
        m_service->release();
        ZOZ::Settings::destroy();
    }

    void send(const std::vector<ZOZTest::Carousel::Bytes> &groups)
    {
        for (const auto &group : groups)
            m_service->handlePacket(int(group.size()), group.data());
    }

    // The first pass's index writes, which the service keeps for a while.
    void flush() { m_service->reload(); }

private:
    QTemporaryDir m_home;
    ZOZ::ServiceBWS *m_service = nullptr;
};

const std::vector<ZOZTest::Carousel::Bytes> &pass(int n)
{
    static const std::vector<ZOZTest::Carousel::Object> objects = siteObjects();
    static const std::vector<ZOZTest::Carousel::Bytes> passes[2] = {
        ZOZTest::Carousel::carousel(objects, {}, 0), ZOZTest::Carousel::carousel(objects, {}, 2000)};
    return passes[n];
}

// First reception: every object is new and written with its index group.
void BM_CarouselFirstPass(benchmark::State &state)
{
    qint64 written = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto site = std::make_unique<Site>();
        const qint64 before = bytesWritten();
        state.ResumeTiming();
        site->send(pass(0));
        state.PauseTiming();
        written += bytesWritten() - before;
        site.reset();
        state.ResumeTiming();
    }
    state.counters["bytes_written"] = benchmark::Counter(double(written) / double(state.iterations()));
}
BENCHMARK(BM_CarouselFirstPass)->Unit(benchmark::kMillisecond);

// The same objects again under a new directory: compared, nothing written.
void BM_CarouselSecondPass(benchmark::State &state)
{
    qint64 written = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto site = std::make_unique<Site>();
        site->send(pass(0));
        site->flush();
        const qint64 before = bytesWritten();
        state.ResumeTiming();
        site->send(pass(1));
        state.PauseTiming();
        written += bytesWritten() - before;
        site.reset();
        state.ResumeTiming();
    }
    state.counters["bytes_written"] = benchmark::Counter(double(written) / double(state.iterations()));
}
BENCHMARK(BM_CarouselSecondPass)->Unit(benchmark::kMillisecond);

} // namespace
