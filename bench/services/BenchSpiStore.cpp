// The programme guide: a 200 KB programme information document decoded into a
// store that already holds 5,000 programmes, the same document again
// (nothing changes), and the stored form of that store.
#include "data/ZOZSpiExtract.h"
#include "data/ZOZSpiStore.h"

#include "SpiEncoder.h"

#include <benchmark/benchmark.h>

using namespace ZOZ;
using namespace ZOZTest::Spi;

namespace {

constexpr quint32 Now = 1800000000;
constexpr int StoredServices = 50;
constexpr int ProgrammesPerService = 100;
constexpr qsizetype DocumentBytes = 200 * 1024;

class Environment : public SpiEnvironment
{
public:
    bool findServiceLabel(quint32, QString &label) override
    {
        label = QStringLiteral("Service");
        return true;
    }
    void logoChosen(const QString &, quint32, const QString &, const QString &) override {}
};

// 50 services of 100 programmes each.
SpiIndex storedIndex()
{
    SpiIndex index;
    SpiCountry &country = index[0xE0D];
    country.countryKey = 0xE0D;
    for (int s = 0; s < StoredServices; ++s) {
        SpiService &service = country.services[0xD000 + quint32(s)];
        service.hasSi = true;
        service.updateTime = Now;
        service.scheduleVersion = 1;
        for (int p = 0; p < ProgrammesPerService; ++p) {
            SpiProgramme programme;
            programme.updateTime = Now;
            programme.start = Now + quint32(p) * 1800;
            programme.stop = programme.start + 1800;
            programme.mediumName = QStringLiteral("Programme %1 of %2").arg(p).arg(s);
            programme.description = QString(120, QLatin1Char('d'));
            service.programmes.insert(programme.start, programme);
        }
    }
    return index;
}

// One schedule of the service D000 with as many programmes as fill 200 KB.
SpiDocument largeDocument()
{
    ContentId id;
    id.sid = 0xD000;
    QByteArray schedule = attribute(0x80, be16(2));
    for (int p = 0; schedule.size() < DocumentBytes; ++p) {
        Programme programme;
        programme.shortName = "\x01" "News";
        programme.mediumName = QByteArray("Programme number ") + QByteArray::number(p);
        programme.longDescription = QByteArray(120, 'x');
        programme.start = QDateTime::fromSecsSinceEpoch(Now + qint64(p) * 600, Qt::UTC);
        programme.duration = 600;
        programme.genreHref = "\x01\x03\x01\x02";
        schedule += programme.bytes();
    }
    SpiDocument document;
    document.spiServiceId = QStringLiteral("e0d000.d1");
    document.serviceCountryKey = 0xE0D;
    document.fullContentIdForm = true;
    document.type = SpiDocument::ProgrammeInformation;
    document.body = element(Tag::Spi, tokenTable({{1, "Radio "}}) + block(Tag::DefaultContentId, id.bytes())
                                          + element(Tag::Schedule, schedule));
    return document;
}

void BM_SpiDocumentIntoStore(benchmark::State &state)
{
    const SpiIndex index = storedIndex();
    const SpiDocument document = largeDocument();
    Environment environment;
    for (auto _ : state) {
        state.PauseTiming();
        SpiStore store;
        store.index = index;
        store.index.detach();
        state.ResumeTiming();
        benchmark::DoNotOptimize(extractSpiDocument(store, environment, document, Now));
    }
    state.counters["documentBytes"] = double(document.body.size());
    state.SetBytesProcessed(state.iterations() * document.body.size());
}
BENCHMARK(BM_SpiDocumentIntoStore)->Unit(benchmark::kMillisecond);

void BM_SpiUnchangedDocument(benchmark::State &state)
{
    SpiStore store;
    store.index = storedIndex();
    const SpiDocument document = largeDocument();
    Environment environment;
    extractSpiDocument(store, environment, document, Now);
    for (auto _ : state) {
        if (extractSpiDocument(store, environment, document, Now))
            state.SkipWithError("an unchanged document changed the store");
    }
}
BENCHMARK(BM_SpiUnchangedDocument)->Unit(benchmark::kMillisecond);

void BM_SpiStoredForm(benchmark::State &state)
{
    const SpiIndex index = storedIndex();
    qsizetype bytes = 0;
    for (auto _ : state) {
        const QByteArray stored = SpiIndexStream::write(index);
        bytes = stored.size();
        benchmark::DoNotOptimize(stored.constData());
    }
    state.counters["storedBytes"] = double(bytes);
}
BENCHMARK(BM_SpiStoredForm)->Unit(benchmark::kMillisecond);

} // namespace
