// Requests per second and 99th-percentile latency of a small JSON answer, with one
// and with fifty keep-alive clients on loopback.

#include "HttpTestClient.h"
#include "http/ZOZHttpRequestHandler.h"
#include "http/ZOZHttpServer.h"
#include "web/ZOZTemplateValue.h"

#include <benchmark/benchmark.h>

#include <QThread>

#include <algorithm>
#include <memory>
#include <chrono>
#include <thread>
#include <vector>

using namespace ZOZ;

namespace {

constexpr int RequestsPerClientPerIteration = 20;

class StatusHandler : public HttpRequestHandler
{
public:
    bool httpAjaxRequest(const HttpRequest &, HttpResponse &response) override
    {
        TemplateValue answer;
        answer << TemplateValue(QStringLiteral("success"), true) << TemplateValue(QStringLiteral("volume"), 50)
               << TemplateValue(QStringLiteral("label"), QStringLiteral("Radio Zoz"));
        response.body = answer.toUtf8();
        return true;
    }
};

// The server on a thread with its own event loop, as in the program.
class ServerFixture
{
public:
    ServerFixture()
    {
        m_thread.start();
        m_context.moveToThread(&m_thread);
        QMetaObject::invokeMethod(&m_context, [this] {
            m_server = new HttpServer(nullptr, &m_handler);
            m_server->open();
        }, Qt::BlockingQueuedConnection);
    }
    ~ServerFixture()
    {
        QMetaObject::invokeMethod(&m_context, [this] { delete m_server; }, Qt::BlockingQueuedConnection);
        m_thread.quit();
        m_thread.wait();
    }
    int port() const { return m_server->port(); }

private:
    QThread m_thread;
    QObject m_context;
    StatusHandler m_handler;
    HttpServer *m_server = nullptr;
};

void BM_SmallJsonKeepAlive(benchmark::State &state)
{
    const int clientCount = int(state.range(0));
    ServerFixture fixture;
    const QByteArray request = "GET /ajax?status HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(fixture.port())
        + "\r\nConnection: keep-alive\r\n\r\n";

    std::vector<std::unique_ptr<ZOZTest::HttpTestClient>> clients;
    for (int i = 0; i < clientCount; ++i)
        clients.push_back(std::make_unique<ZOZTest::HttpTestClient>(fixture.port()));

    std::vector<std::vector<double>> latencies { size_t(clientCount) };
    int64_t failures = 0;
    for (auto _ : state) {
        std::vector<std::thread> threads;
        std::vector<int64_t> failed(size_t(clientCount), 0);
        for (int c = 0; c < clientCount; ++c) {
            threads.emplace_back([&, c] {
                for (int r = 0; r < RequestsPerClientPerIteration; ++r) {
                    const auto start = std::chrono::steady_clock::now();
                    const ZOZTest::HttpAnswer answer = clients[size_t(c)]->request(request);
                    const auto end = std::chrono::steady_clock::now();
                    if (answer.status != 200)
                        ++failed[size_t(c)];
                    latencies[size_t(c)].push_back(std::chrono::duration<double, std::milli>(end - start).count());
                }
            });
        }
        for (std::thread &thread : threads)
            thread.join();
        for (int64_t f : failed)
            failures += f;
    }

    std::vector<double> all;
    for (const auto &perClient : latencies)
        all.insert(all.end(), perClient.begin(), perClient.end());
    std::sort(all.begin(), all.end());
    const double p99 = all.empty() ? 0.0 : all[std::min(all.size() - 1, size_t(double(all.size()) * 0.99))];
    state.counters["requests_per_second"] = benchmark::Counter(double(all.size()), benchmark::Counter::kIsRate);
    state.counters["p99_ms"] = p99;
    state.counters["median_ms"] = all.empty() ? 0.0 : all[all.size() / 2];
    state.counters["failures"] = double(failures);
}

BENCHMARK(BM_SmallJsonKeepAlive)->Arg(1)->Arg(50)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace
