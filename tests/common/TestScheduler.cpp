#include "SettingsFixture.h"

#include "scheduler/ZOZScheduler.h"
#include "scheduler/ZOZSchedulerCache.h"

#include <QFile>
#include <QStringList>

#include <memory>

using namespace ZOZ;

namespace {

struct Note
{
    QString html;
    QString type;
    int duration;
};

// Services by selector id and identifiers; every call the scheduler makes
// is written down in order.
class FakeRecorder : public ScheduledRecorder
{
public:
    struct Known
    {
        qint32 ensembleId;
        qint32 serviceId;
        ScheduledService service;
    };

    std::optional<ScheduledService> findService(qint32 selectorId, qint32 ensembleId, qint32 serviceId) override
    {
        for (const Known &known : std::as_const(services)) {
            if (known.service.selectorId == selectorId
                || (known.ensembleId == ensembleId && known.serviceId == serviceId))
                return known.service;
        }
        return std::nullopt;
    }
    bool selectService(qint32 selectorId) override
    {
        events << QStringLiteral("select %1").arg(selectorId);
        return true;
    }
    bool isRecording() const override { return recording; }
    void startRecording(const QString &label) override
    {
        events << QStringLiteral("start") + (label.isEmpty() ? QString() : QStringLiteral(" ") + label);
        recording = true;
    }
    void stopRecording() override
    {
        events << QStringLiteral("stop");
        recording = false;
    }
    void notify(const QString &html, const QString &type, int duration) override
    {
        notes.append(Note { html, type, duration });
    }

    int notesWith(const QString &text) const
    {
        int count = 0;
        for (const Note &note : notes)
            count += note.html.contains(text) ? 1 : 0;
        return count;
    }

    QVector<Known> services;
    QStringList events;
    QVector<Note> notes;
    bool recording = false;
};

constexpr qint64 T0 = 1800000000;
constexpr qint32 Ensemble = 0x1001;
constexpr qint32 ServiceA = 0xD210;
constexpr qint32 ServiceB = 0xD220;
constexpr qint32 SelectorA = 0x00000000;
constexpr qint32 SelectorB = 0x00010000;

ScheduleItem entry(qint32 serviceId, qint64 start, quint32 duration, const QString &description = {})
{
    ScheduleItem item;
    item.timestamp = quint32(start);
    item.duration = duration;
    item.ensembleId = Ensemble;
    item.serviceId = serviceId;
    item.description = description;
    return item;
}

class SchedulerTest : public ZOZTest::SettingsFixture
{
protected:
    void SetUp() override
    {
        SettingsFixture::SetUp();
        recorder.services = {
            {Ensemble, ServiceA, {SelectorA, Ensemble, ServiceA, QStringLiteral("Radio A"), true, Settings::DabPlus}},
            {Ensemble, ServiceB, {SelectorB, Ensemble, ServiceB, QStringLiteral("Radio B"), true, Settings::DabPlus}},
        };
    }
    void TearDown() override
    {
        scheduler.reset();
        SettingsFixture::TearDown();
    }

    void create() { scheduler = std::make_unique<Scheduler>(settings, &recorder, folder(), [this] { return now; }); }
    QString folder() const { return home.dataFolder(); }
    QString cachePath() const { return folder() + SchedulerCache::FileName; }
    void writeCache(const ScheduleItems &items)
    {
        SchedulerCache cache(folder());
        ASSERT_TRUE(cache.write(items));
    }
    // Passes until the save delay has passed.
    void passSaveDelay()
    {
        now += Scheduler::SaveDelaySeconds;
        scheduler->pass();
    }

    qint64 now = T0;
    FakeRecorder recorder;
    std::unique_ptr<Scheduler> scheduler;
};

TEST(ScheduleItem, CollisionsAtTheEdgesOfASlot)
{
    const ScheduleItem existing = entry(ServiceA, 1000, 100);
    struct Case
    {
        qint64 start;
        quint32 duration;
        bool collides;
    };
    const Case cases[] = {
        {1000, 50, true},   // same start
        {1050, 10, true},   // inside
        {1099, 10, true},   // over the end
        {1100, 10, false},  // starts when it ends
        {990, 10, false},   // ends when it starts
        {990, 11, true},    // one second into it
        {900, 300, true},   // around it
    };
    for (const Case &c : cases) {
        const ScheduleItem other = entry(ServiceB, c.start, c.duration);
        EXPECT_EQ(other.collidesWith(existing), c.collides) << c.start << "+" << c.duration;
        EXPECT_EQ(existing.collidesWith(other), c.collides) << c.start << "+" << c.duration;
    }
    EXPECT_FALSE(entry(ServiceA, 1000, 0).collidesWith(entry(ServiceB, 1000, 0)));
}

TEST_F(SchedulerTest, RefusesPastZeroLengthDuplicateAndCollidingEntries)
{
    create();
    EXPECT_FALSE(scheduler->schedule(entry(ServiceA, T0 - 100, 100)));
    EXPECT_EQ(recorder.notesWith(QStringLiteral("This recording is in the past!")), 1);
    EXPECT_FALSE(scheduler->schedule(entry(ServiceA, T0 + 100, 0)));
    EXPECT_EQ(recorder.notesWith(QStringLiteral("This recording has no length!")), 1);

    ASSERT_TRUE(scheduler->schedule(entry(ServiceA, T0 + 100, 100, QStringLiteral("News"))));
    ASSERT_TRUE(scheduler->schedule(entry(ServiceB, T0 + 300, 100)));
    EXPECT_EQ(scheduler->count(), 2);

    // Collides with the second and duplicates the first: only the duplicate is told.
    recorder.notes.clear();
    ScheduleItem duplicate = entry(ServiceA, T0 + 100, 100);
    EXPECT_FALSE(scheduler->schedule(duplicate));
    ASSERT_EQ(recorder.notes.size(), 1);
    EXPECT_EQ(recorder.notes[0].type, QStringLiteral("info"));
    EXPECT_TRUE(recorder.notes[0].html.contains(QStringLiteral("Already scheduled")));

    recorder.notes.clear();
    EXPECT_FALSE(scheduler->schedule(entry(ServiceB, T0 + 150, 200)));
    ASSERT_EQ(recorder.notes.size(), 1);
    EXPECT_EQ(recorder.notes[0].type, QStringLiteral("error"));
    EXPECT_EQ(recorder.notes[0].html.count(QStringLiteral("<li>")), 2);
    EXPECT_TRUE(recorder.notes[0].html.contains(QStringLiteral("Radio A - News")));
    EXPECT_EQ(scheduler->count(), 2);

    // Begun but not ended is accepted.
    EXPECT_TRUE(scheduler->schedule(entry(ServiceB, T0 - 10, 20)));
}

TEST_F(SchedulerTest, LabelsComeFromTheServiceAndUserTextIsEscaped)
{
    recorder.services.append({Ensemble, 0xD230, {0x00020200, Ensemble, 0xD230, QStringLiteral("Radio C"), true, Settings::DabPlus}});
    create();
    ASSERT_TRUE(scheduler->schedule(entry(0xD230, T0 + 100, 60, QStringLiteral("<b>%1 & co</b>"))));
    ScheduleItem unknown = entry(0x7777, T0 + 200, 60);
    unknown.SID = 0x05000000;
    ASSERT_TRUE(scheduler->schedule(unknown));
    const ScheduleItems items = scheduler->items();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0].label, QStringLiteral("Radio C (SecAudio: 2)"));
    EXPECT_EQ(items[0].SID, 0x00020200);
    EXPECT_EQ(items[1].label, QStringLiteral("83886080"));
    EXPECT_TRUE(recorder.notes[0].html.contains(QStringLiteral("- &lt;b&gt;%1 &amp; co&lt;/b&gt;")));

    // Named by selector id alone, an entry takes the identity of its service.
    ScheduleItem bySelector = entry(-1, T0 + 300, 60);
    bySelector.ensembleId = -1;
    bySelector.SID = SelectorB;
    ASSERT_TRUE(scheduler->schedule(bySelector));
    EXPECT_EQ(scheduler->items().last().ensembleId, Ensemble);
    EXPECT_EQ(scheduler->items().last().serviceId, ServiceB);
}

TEST_F(SchedulerTest, BackToBackEntriesSwitchInOnePassAndRestoreTheFormat)
{
    settings->setAudioRecordingFormat(Settings::DabPlus, 0);
    create();
    ScheduleItem first = entry(ServiceA, T0 + 30, 10);
    first.format = 2;
    ASSERT_TRUE(scheduler->schedule(first));
    ASSERT_TRUE(scheduler->schedule(entry(ServiceB, T0 + 40, 10)));

    scheduler->pass();
    EXPECT_EQ(recorder.notesWith(QStringLiteral("will start soon")), 1);
    now = T0 + 30;
    scheduler->pass();
    EXPECT_TRUE(scheduler->isRecording());
    EXPECT_EQ(settings->audioRecordingFormat(Settings::DabPlus), 2);
    EXPECT_TRUE(scheduler->items().first().recording);

    now = T0 + 40;
    recorder.events.clear();
    scheduler->pass();
    EXPECT_EQ(recorder.events, (QStringList {"stop", "select 65536", "start"}));
    EXPECT_EQ(settings->audioRecordingFormat(Settings::DabPlus), 0);
    EXPECT_EQ(recorder.notesWith(QStringLiteral("Scheduled recording finished")), 1);
    ASSERT_EQ(scheduler->count(), 1);
    EXPECT_EQ(scheduler->items().first().serviceId, ServiceB);

    now = T0 + 50;
    scheduler->pass();
    EXPECT_FALSE(scheduler->isRecording());
    EXPECT_EQ(scheduler->count(), 0);
}

TEST_F(SchedulerTest, AScheduledStartEndsTheRecordingInProgressFirst)
{
    create();
    recorder.recording = true;
    ASSERT_TRUE(scheduler->schedule(entry(ServiceA, T0, 10)));
    scheduler->pass();
    EXPECT_EQ(recorder.events, (QStringList {"stop", "select 0", "start"}));
}

TEST_F(SchedulerTest, AMissingServiceIsToldOnceAndTheEntryWaitsForIt)
{
    const QVector<FakeRecorder::Known> known = recorder.services;
    recorder.services.clear();
    create();
    ASSERT_TRUE(scheduler->schedule(entry(ServiceA, T0 + 1, 30)));
    for (int i = 0; i < 5; ++i) {
        now = T0 + 1 + i;
        scheduler->pass();
    }
    EXPECT_EQ(recorder.notesWith(QStringLiteral("Service missing")), 1);
    EXPECT_FALSE(scheduler->isRecording());
    EXPECT_FALSE(scheduler->items().first().recording);

    recorder.services = known;
    scheduler->pass();
    EXPECT_TRUE(scheduler->isRecording());
    EXPECT_EQ(recorder.notesWith(QStringLiteral("Started scheduled recording")), 1);

    // Unscheduling the running entry stops it; the length need not match.
    ScheduleItem request = entry(ServiceA, T0 + 1, 999);
    EXPECT_TRUE(scheduler->unschedule(request));
    scheduler->pass();
    EXPECT_FALSE(scheduler->isRecording());
    EXPECT_EQ(recorder.notesWith(QStringLiteral("Scheduled recording stopped by user")), 1);
    EXPECT_EQ(scheduler->count(), 0);
    EXPECT_FALSE(scheduler->unschedule(request));
}

TEST_F(SchedulerTest, RemovesByIdentityNotPosition)
{
    create();
    ASSERT_TRUE(scheduler->schedule(entry(ServiceA, T0 + 100, 10)));
    ASSERT_TRUE(scheduler->schedule(entry(ServiceA, T0 + 200, 10)));
    ASSERT_TRUE(scheduler->schedule(entry(ServiceB, T0 + 300, 10)));
    EXPECT_FALSE(scheduler->unschedule(entry(ServiceB, T0 + 200, 10)));
    EXPECT_TRUE(scheduler->unschedule(entry(ServiceA, T0 + 200, 10)));
    const ScheduleItems items = scheduler->items();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0].timestamp, quint32(T0 + 100));
    EXPECT_EQ(items[1].serviceId, ServiceB);
    EXPECT_EQ(recorder.notesWith(QStringLiteral("Removed scheduled recording")), 1);
}

TEST_F(SchedulerTest, TimesNearTheEndOfThe32BitRangeDoNotWrap)
{
    now = 0xFFFFFFF0LL;
    create();
    ASSERT_TRUE(scheduler->schedule(entry(ServiceA, 0xFFFFFFF0LL, 0x100)));
    scheduler->pass();
    EXPECT_TRUE(scheduler->isRecording());
    now = 0xFFFFFFFFLL + 10;
    scheduler->pass();
    EXPECT_TRUE(scheduler->isRecording());
    now = 0xFFFFFFF0LL + 0x100;
    scheduler->pass();
    EXPECT_FALSE(scheduler->isRecording());
}

TEST_F(SchedulerTest, RestartDropsEndedEntriesStartsTheRunningOneAndKeepsTheFuture)
{
    ScheduleItems stored {
        entry(ServiceA, T0 - 600, 60, QStringLiteral("early")),
        entry(ServiceB, T0 - 300, 60, QStringLiteral("late")),
        entry(ServiceA, T0 - 10, 60, QStringLiteral("running")),
        entry(ServiceB, T0 + 600, 60, QStringLiteral("future")),
    };
    ASSERT_NO_FATAL_FAILURE(writeCache(stored));
    create();
    ASSERT_EQ(recorder.notesWith(QStringLiteral("Removed old entries")), 1);
    const QString removed = recorder.notes.first().html;
    EXPECT_LT(removed.indexOf(QStringLiteral("late")), removed.indexOf(QStringLiteral("early")));
    EXPECT_EQ(recorder.notes.first().duration, 30);
    ASSERT_EQ(scheduler->count(), 2);

    scheduler->pass();
    EXPECT_TRUE(scheduler->isRecording());
    EXPECT_EQ(scheduler->items().first().description, QStringLiteral("running"));
    now = T0 + 50;
    scheduler->pass();
    EXPECT_FALSE(scheduler->isRecording());
    ASSERT_EQ(scheduler->count(), 1);
    EXPECT_EQ(scheduler->items().first().description, QStringLiteral("future"));

    // The file follows with the save.
    passSaveDelay();
    SchedulerCache cache(folder());
    ScheduleItems onDisk;
    ASSERT_TRUE(cache.read(onDisk));
    ASSERT_EQ(onDisk.size(), 1);
    EXPECT_EQ(onDisk.first().description, QStringLiteral("future"));
}

TEST_F(SchedulerTest, TheFileGoesWithTheLastEntry)
{
    create();
    ASSERT_TRUE(scheduler->schedule(entry(ServiceA, T0 + 100, 10)));
    EXPECT_FALSE(QFile::exists(cachePath()));
    passSaveDelay();
    EXPECT_TRUE(QFile::exists(cachePath()));
    ASSERT_TRUE(scheduler->unschedule(entry(ServiceA, T0 + 100, 10)));
    scheduler->pass();
    EXPECT_TRUE(QFile::exists(cachePath()));
    passSaveDelay();
    EXPECT_FALSE(QFile::exists(cachePath()));
}

TEST_F(SchedulerTest, ShutdownSavesAndRestoresTheFormatOfARunningEntry)
{
    settings->setAudioRecordingFormat(Settings::DabPlus, 1);
    create();
    ScheduleItem item = entry(ServiceA, T0, 100);
    item.format = 0;
    ASSERT_TRUE(scheduler->schedule(item));
    ASSERT_TRUE(scheduler->schedule(entry(ServiceB, T0 + 200, 100)));
    scheduler->pass();
    ASSERT_TRUE(scheduler->isRecording());
    EXPECT_EQ(settings->audioRecordingFormat(Settings::DabPlus), 0);
    scheduler.reset();
    EXPECT_EQ(settings->audioRecordingFormat(Settings::DabPlus), 1);

    create();
    EXPECT_EQ(scheduler->count(), 2);
    EXPECT_FALSE(scheduler->items().first().recording);
}

TEST_F(SchedulerTest, ADamagedFileKeepsWhatCouldBeReadAndIsNotRewritten)
{
    ASSERT_NO_FATAL_FAILURE(writeCache({entry(ServiceA, T0 + 100, 10, QStringLiteral("one")),
                                        entry(ServiceA, T0 + 200, 10, QStringLiteral("two")),
                                        entry(ServiceA, T0 + 300, 10, QStringLiteral("three"))}));
    QFile file(cachePath());
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    const QByteArray whole = file.readAll();
    ASSERT_TRUE(file.resize(whole.size() - 20));
    file.close();

    create();
    const ScheduleItems items = scheduler->items();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[1].description, QStringLiteral("two"));
    EXPECT_TRUE(logText().contains(QStringLiteral("damaged Scheduler cache, kept the 2 entries")));
    scheduler.reset();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), whole.left(whole.size() - 20));
    file.close();

    // Not ours at all: an empty list, and the file stays as it is.
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("not a schedule");
    file.close();
    create();
    EXPECT_EQ(scheduler->count(), 0);
    scheduler.reset();
    EXPECT_TRUE(QFile::exists(cachePath()));
}

TEST_F(SchedulerTest, ImportsTheLegacyFile)
{
    QDir().mkpath(folder());
    QFile legacy(folder() + SchedulerCache::LegacyFileName);
    ASSERT_TRUE(legacy.open(QIODevice::WriteOnly));
    QDataStream stream(&legacy);
    stream.setVersion(Storage::StreamVersion);
    stream << SchedulerCache::LegacyMagic;
    SchedulerCache::writeList(stream, {entry(ServiceB, T0 + 100, 10, QStringLiteral("old"))});
    legacy.close();

    create();
    ASSERT_EQ(scheduler->count(), 1);
    EXPECT_EQ(scheduler->items().first().description, QStringLiteral("old"));
    EXPECT_FALSE(QFile::exists(legacy.fileName()));
    EXPECT_TRUE(QFile::exists(cachePath()));
}

} // namespace
