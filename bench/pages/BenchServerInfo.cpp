// The state poll "getServerInfo" of every open page: the cost of one answer,
// and its latency over loopback with one and with fifty keep-alive clients,
// on a service manager holding two ensembles of audio services with their
// Dynamic Labels (an answer of about 9 KB).

#include "HttpTestClient.h"
#include "ZOZDabEnsemble.h"
#include "ZOZEnsembleSource.h"
#include "ZOZPages.h"
#include "ZOZServiceManager.h"
#include "audio/ZOZServiceAudio.h"
#include "http/ZOZHttpServer.h"
#include "settings/ZOZSettings.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

using namespace ZOZ;

namespace {

constexpr int EnsembleCount = 2;
constexpr int ServicesPerEnsemble = 12;
constexpr int RequestsPerClientPerIteration = 20;

DabEnsemble benchEnsemble(int index)
{
    DabEnsemble record(0);
    record.index = index;
    record.valid = true;
    record.ensembleId = 0x1000 + index;
    record.label = QStringLiteral("Bench Mux %1").arg(index);
    record.frequency = 227360;
    for (int i = 0; i < ServicesPerEnsemble; ++i) {
        DabServiceComponent component;
        component.valid = true;
        component.serviceId = 0xD000 + index * 0x100 + i;
        component.subChId = i + 1;
        component.scId = i + 1;
        component.audio = true;
        component.dabPlus = true;
        DabService service;
        service.valid = true;
        service.serviceId = component.serviceId;
        service.ecc = 0xE0;
        service.countryId = 0xD;
        service.label = QStringLiteral("Radio %1-%2").arg(index).arg(i);
        service.shortLabel = service.label.left(8);
        service.primary = component;
        record.services << service;
    }
    return record;
}

// The ensembles as the receiver would hand them over.
class BenchSource : public EnsembleSource
{
public:
    void connectNotifier(std::function<void()>, std::function<void(bool)>, QObject *) override {}
    void setNoticeSinks(MessageSink, NotificationSink) override {}
    bool init(Settings *) override { return true; }
    void start() override {}
    QVector<DabEnsemble> getEnsembles() override
    {
        QVector<DabEnsemble> ensembles;
        for (int index = 1; index <= EnsembleCount; ++index)
            ensembles << benchEnsemble(index);
        return ensembles;
    }
    void attachStreamHandler(Service *, bool) override {}
    void detachStreamHandler(Service *) override {}
    void selectServiceComponents(const QVector<Service *> &) override {}
    void shutdown() override {}
};

// The player's web layer in a home folder of its own.
class Player
{
public:
    Player()
    {
        qputenv("HOME", m_home.path().toLocal8Bit());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_home.path() + QStringLiteral("/.config"));
        Settings::create()->setHasGraphicalUI(false);
        Settings::instance()->setStyleRootPath(QStringLiteral(ZOZ_SOURCE_DIR "/resources/web/"));
        m_manager = ServiceManager::instance(std::make_unique<BenchSource>());
        m_server = std::make_unique<HttpServer>(nullptr, nullptr);
        m_pages = std::make_unique<Pages>(m_manager, m_server.get(), nullptr, Settings::instance());
        m_ready = m_pages->init() && m_manager->init();
        m_manager->doCheckDabData();
        m_manager->withServices([](const QMap<int, QVector<Service *>> &tree) {
            for (const QVector<Service *> &services : tree) {
                for (Service *service : services) {
                    if (auto *audio = qobject_cast<ServiceAudio *>(service))
                        audio->newTextMessage(QStringLiteral("Now playing: a title by an artist on ") + service->label());
                }
            }
        });
    }
    ~Player()
    {
        m_pages->shutdown();
        m_pages.reset();
        m_server.reset();
        ServiceManager::destroyInstance();
        Settings::destroy();
    }

    bool isReady() const { return m_ready; }
    int port() const { return m_server->port(); }
    QByteArray answer()
    {
        HttpRequest request;
        request.granted = true;
        request.tokenAccepted = true;
        request.query.insert(QStringLiteral("getServerInfo"), QString());
        HttpResponse response;
        m_pages->httpAjaxRequest(request, response);
        return response.body;
    }

private:
    QTemporaryDir m_home;
    ServiceManager *m_manager = nullptr;
    std::unique_ptr<HttpServer> m_server;
    std::unique_ptr<Pages> m_pages;
    bool m_ready = false;
};

Player *player = nullptr;

// What the server's threads (reception and answering threads) have used so far:
// nanoseconds on a processor and the times they were switched out (their
// wake-ups), from the scheduler's figures of each thread of this process.
struct ServerThreadsUse
{
    double cpuNs = 0;
    double switches = 0;
};

ServerThreadsUse serverThreadsUse()
{
    ServerThreadsUse use;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(task + QStringLiteral("/comm")));
        QFile schedstat(tasks.filePath(task + QStringLiteral("/schedstat")));
        QFile status(tasks.filePath(task + QStringLiteral("/status")));
        if (!comm.open(QIODevice::ReadOnly) || !comm.readAll().startsWith("Http")
            || !schedstat.open(QIODevice::ReadOnly) || !status.open(QIODevice::ReadOnly))
            continue;
        use.cpuNs += schedstat.readAll().split(' ').value(0).toDouble();
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.endsWith("ctxt_switches:") || !line.contains("ctxt_switches:"))
                continue;
            use.switches += line.mid(line.indexOf(':') + 1).trimmed().toDouble();
        }
    }
    return use;
}

void BM_ServerInfoAnswer(benchmark::State &state)
{
    qsizetype bytes = 0;
    for (auto _ : state) {
        const QByteArray body = player->answer();
        bytes = body.size();
        benchmark::DoNotOptimize(body.constData());
    }
    state.counters["answer_bytes"] = double(bytes);
}

// With a second argument each client asks once per that many milliseconds
// (the clients spread over the period), as pages poll; without it each asks
// again as soon as it has its answer, which measures the server at its limit.
void BM_ServerInfoKeepAlive(benchmark::State &state)
{
    const int clientCount = int(state.range(0));
    const auto period = std::chrono::milliseconds(state.range(1));
    const QByteArray request = "GET /ajax?getServerInfo HTTP/1.1\r\nHost: 127.0.0.1:"
        + QByteArray::number(player->port()) + "\r\nConnection: keep-alive\r\n\r\n";

    std::vector<std::unique_ptr<ZOZTest::HttpTestClient>> clients;
    for (int i = 0; i < clientCount; ++i)
        clients.push_back(std::make_unique<ZOZTest::HttpTestClient>(player->port()));

    std::vector<std::vector<double>> latencies { size_t(clientCount) };
    std::atomic<int64_t> failures { 0 };
    const ServerThreadsUse serverBefore = serverThreadsUse();
    for (auto _ : state) {
        std::atomic<int> running { clientCount };
        std::vector<std::thread> threads;
        for (int c = 0; c < clientCount; ++c) {
            threads.emplace_back([&, c] {
                auto next = std::chrono::steady_clock::now() + period * c / clientCount;
                for (int r = 0; r < RequestsPerClientPerIteration; ++r) {
                    if (period.count() > 0) {
                        std::this_thread::sleep_until(next);
                        next += period;
                    }
                    const auto start = std::chrono::steady_clock::now();
                    const ZOZTest::HttpAnswer answer = clients[size_t(c)]->request(request);
                    const auto end = std::chrono::steady_clock::now();
                    if (answer.status != 200)
                        ++failures;
                    latencies[size_t(c)].push_back(std::chrono::duration<double, std::milli>(end - start).count());
                }
                --running;
            });
        }
        // The server's main-thread work (deferred calls) goes on meanwhile, as in the program.
        while (running.load() > 0)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        for (std::thread &thread : threads)
            thread.join();
    }

    const ServerThreadsUse serverAfter = serverThreadsUse();

    std::vector<double> all;
    for (const auto &perClient : latencies)
        all.insert(all.end(), perClient.begin(), perClient.end());
    std::sort(all.begin(), all.end());
    const double p99 = all.empty() ? 0.0 : all[std::min(all.size() - 1, size_t(double(all.size()) * 0.99))];
    state.counters["requests_per_second"] = benchmark::Counter(double(all.size()), benchmark::Counter::kIsRate);
    state.counters["p99_ms"] = p99;
    state.counters["median_ms"] = all.empty() ? 0.0 : all[all.size() / 2];
    state.counters["failures"] = double(failures.load());
    const double requests = std::max<double>(1.0, double(all.size()));
    state.counters["server_cpu_us"] = (serverAfter.cpuNs - serverBefore.cpuNs) / 1000.0 / requests;
    state.counters["server_wakeups"] = (serverAfter.switches - serverBefore.switches) / requests;
}

BENCHMARK(BM_ServerInfoAnswer)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ServerInfoKeepAlive)
    ->Args({1, 0})
    ->Args({50, 0})
    ->Args({50, 20})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

} // namespace

// The server's threads and sockets want an application object.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Player benchPlayer;
    if (!benchPlayer.isReady())
        return 1;
    player = &benchPlayer;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    player = nullptr;
    return 0;
}
