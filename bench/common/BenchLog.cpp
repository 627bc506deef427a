// The log is called from the decoding threads; a message whose source id is
// filtered out must cost next to nothing, a written line one formatted write.
#include "base/ZOZLog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

struct LogInFolder
{
    explicit LogInFolder(const QByteArray &switchFile)
    {
        const QString data = dir.path() + QStringLiteral("/");
        QFile file(data + QStringLiteral("log.it"));
        file.open(QIODevice::WriteOnly);
        file.write(switchFile);
        file.close();
        // The constructor reports the new file on standard output.
        log = new ZOZ::Log(data);
    }
    ~LogInFolder() { delete log; }

    QTemporaryDir dir;
    ZOZ::Log *log = nullptr;
};

void BM_LogFilteredOut(benchmark::State &state)
{
    LogInFolder folder("http\n");
    const QString message = QStringLiteral("Receiver::tick() -> nothing to do");
    const int line = 1;
    for (auto _ : state)
        folder.log->write(__FILE__, &line, ZOZ::LogSource::Receiver, message);
}
BENCHMARK(BM_LogFilteredOut);

void BM_LogLineWritten(benchmark::State &state)
{
    LogInFolder folder("");
    const QString message = QStringLiteral("Receiver::tick() -> tuned");
    const int line = 1;
    for (auto _ : state)
        folder.log->write(__FILE__, &line, ZOZ::LogSource::Receiver, message);
}
BENCHMARK(BM_LogLineWritten);

void BM_LogWithoutSwitchFile(benchmark::State &state)
{
    QTemporaryDir dir;
    ZOZ::Log log(dir.path() + QStringLiteral("/"));
    const QString message = QStringLiteral("Receiver::tick() -> tuned");
    const int line = 1;
    for (auto _ : state)
        log.write(__FILE__, &line, ZOZ::LogSource::Receiver, message);
}
BENCHMARK(BM_LogWithoutSwitchFile);

} // namespace
