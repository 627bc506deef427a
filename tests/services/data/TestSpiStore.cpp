// The programme guide's store: service and programme information from
// documents of the test's own encoder, the JSON the pages read, the bytes of
// "db.zoz" and their loading, the daily clean, and the service logos.
#include "data/ZOZSpiCache.h"
#include "data/ZOZSpiManager.h"

#include "SettingsFixture.h"
#include "SpiEncoder.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace ZOZ;
using namespace ZOZTest::Spi;

namespace {

constexpr quint16 ServiceCountryKey = 0xE0D; // ECC E0, country D
const QString SpiServiceId = QStringLiteral("e0d2d1.d2");

QDateTime utc(int hour, int minute = 0, int dayOffset = 0)
{
    return QDateTime(QDate::currentDate().addDays(dayOffset), QTime(hour, minute), Qt::UTC);
}

class FakeServices : public SpiManager::Services
{
public:
    bool findServiceLabel(quint32 sid, QString &label) override
    {
        if (!labels.contains(sid))
            return false;
        label = labels.value(sid);
        return true;
    }
    void logoSaved(quint32 sid) override { saved.append(sid); }

    QMap<quint32, QString> labels;
    QVector<quint32> saved;
};

QByteArray sid16(quint32 sid)
{
    ContentId id;
    id.sid = sid;
    return id.bytes();
}

// Service information: one ensemble with two services, one of them with a 32-bit SId.
QByteArray serviceInformation(const QByteArray &longDescription = "Line one\nLine \"two\"")
{
    ContentId wide;
    wide.sid = 0xE0D00001;
    wide.sid32 = true;
    const QByteArray service = element(
        Tag::Service,
        textElement(Tag::ShortName, "R1") + textElement(Tag::MediumName, "\x01One")
            + textElement(Tag::LongName, "\x01One long")
            + element(Tag::MediaDescription, textElement(Tag::ShortDescription, "Short"))
            + element(Tag::MediaDescription, textElement(Tag::LongDescription, longDescription))
            + element(Tag::MediaDescription, multimedia("logo32.png", 3) + multimedia("logo128.png", 2, 128, 128)
                                                  + multimedia("logo600.jpg", 2, 600, 600))
            + element(Tag::ServiceId, attribute(0x80, sid16(0xD2D1))));
    const QByteArray data = element(Tag::Service, textElement(Tag::MediumName, "Data")
                                                      + element(Tag::ServiceId, attribute(0x80, wide.bytes())));
    const QByteArray ensemble = element(
        Tag::Ensemble, attribute(0x80, QByteArray("\xE0\x1A\xBC", 3)) + textElement(Tag::ShortName, "Ens")
                           + textElement(Tag::MediumName, "\x01" "Ensemble")
                           + element(Tag::MediaDescription, multimedia("ens.png", 4) + characters("About"))
                           + service + data);
    return element(Tag::ServiceInformation, attribute(0x80, be16(1)) + tokenTable({{1, "Radio "}}) + ensemble);
}

// Programme information for a schedule of the document's default service.
QByteArray programmeInformation(quint32 sid, quint16 version, const QVector<Programme> &programmes)
{
    QByteArray schedule = attribute(0x80, be16(version));
    for (const Programme &programme : programmes)
        schedule += programme.bytes();
    return element(Tag::Spi, tokenTable({{2, "News"}}) + block(Tag::DefaultContentId, sid16(sid))
                                 + element(Tag::Schedule, schedule));
}

SpiDocument document(const QByteArray &body, int type)
{
    SpiDocument document;
    document.spiServiceId = SpiServiceId;
    document.serviceCountryKey = ServiceCountryKey;
    document.fullContentIdForm = true;
    document.type = type;
    document.body = body;
    return document;
}

// Big-endian fields as the cache file lays them out, written by hand.
class Bytes
{
public:
    Bytes &u8(quint32 value) { m_out += char(value); return *this; }
    Bytes &u16(quint32 value) { return u8(value >> 8).u8(value); }
    Bytes &u32(quint32 value) { return u16(value >> 16).u16(value); }
    Bytes &text(const QString &value)
    {
        if (value.isNull())
            return u32(0xFFFFFFFF);
        u32(quint32(value.size() * 2));
        for (const QChar c : value)
            u16(c.unicode());
        return *this;
    }
    Bytes &raw(const QByteArray &bytes) { m_out += bytes; return *this; }
    QByteArray bytes() const { return m_out; }

private:
    QByteArray m_out;
};

class SpiStoreTest : public ZOZTest::SettingsFixture
{
protected:
    void SetUp() override
    {
        ZOZTest::SettingsFixture::SetUp();
        settings->setCachePath(cache.path());
        manager = makeManager();
    }

    void TearDown() override
    {
        manager.reset();
        ZOZTest::SettingsFixture::TearDown();
    }

    std::unique_ptr<SpiManager> makeManager()
    {
        auto fake = std::make_unique<FakeServices>();
        services = fake.get();
        services->labels.insert(0xD3D3, QStringLiteral("Label of D3D3"));
        return std::make_unique<SpiManager>(settings, std::move(fake));
    }

    QJsonArray servicesJson()
    {
        TemplateValue answer;
        answer << TemplateValue(QStringLiteral("success"), true) << manager->buildSpiJson();
        return QJsonDocument::fromJson(answer.toUtf8()).object().value(QStringLiteral("services")).toArray();
    }

    QString dbPath() const { return cache.filePath(QStringLiteral("spi/db.zoz")); }
    QString logoPath(const QString &name) const { return cache.filePath(QStringLiteral("logos/") + name); }

    QTemporaryDir cache;
    FakeServices *services = nullptr;
    std::unique_ptr<SpiManager> manager;
};

TEST_F(SpiStoreTest, serviceInformationFillsCountryAndService)
{
    const quint32 before = SpiManager::version();
    manager->decodeDocument(document(serviceInformation(), SpiDocument::ServiceInformation));
    EXPECT_EQ(SpiManager::version(), before + 1);

    QReadLocker locker(&manager->store().lock);
    const SpiIndex &index = manager->store().index;
    ASSERT_EQ(index.keys(), QList<quint16>({0xE0D})) << "E0 1x is filed under E0D";
    const SpiCountry &country = index.first();
    EXPECT_EQ(country.shortName, QStringLiteral("Ens"));
    EXPECT_EQ(country.mediumName, QStringLiteral("Radio Ensemble"));
    EXPECT_EQ(country.description, QStringLiteral("About"));
    ASSERT_EQ(country.logos.size(), 1);
    EXPECT_EQ(country.logos[0].width, 32);
    ASSERT_EQ(country.services.keys(), QList<quint32>({0xD2D1})) << "a 32-bit SId is not stored";
    const SpiService &service = country.services.first();
    EXPECT_TRUE(service.hasSi);
    EXPECT_EQ(service.shortName, QStringLiteral("R1"));
    EXPECT_EQ(service.mediumName, QStringLiteral("Radio One"));
    EXPECT_EQ(service.longName, QStringLiteral("Radio One long"));
    EXPECT_EQ(service.description, QStringLiteral("Line one\nLine \"two\""));
    EXPECT_EQ(service.contentId.ecc, 0xE0);
    ASSERT_EQ(service.logos.size(), 3);
    EXPECT_EQ(service.logos[0].width, 32) << "type 3 is 32 x 32";
}

TEST_F(SpiStoreTest, descriptionFallsBackToShortDescription)
{
    manager->decodeDocument(document(serviceInformation(QByteArray()), SpiDocument::ServiceInformation));
    QReadLocker locker(&manager->store().lock);
    EXPECT_EQ(manager->store().index.first().services.first().description, QStringLiteral("Short"));
}

TEST_F(SpiStoreTest, unchangedDocumentChangesNothingAndWritesNothing)
{
    manager->decodeDocument(document(serviceInformation(), SpiDocument::ServiceInformation));
    manager->waitForBackgroundWork();
    ASSERT_TRUE(QFile::exists(dbPath()));
    ASSERT_TRUE(QFile::remove(dbPath()));
    const quint32 version = SpiManager::version();
    manager->decodeDocument(document(serviceInformation(), SpiDocument::ServiceInformation));
    manager->waitForBackgroundWork();
    EXPECT_EQ(SpiManager::version(), version);
    EXPECT_FALSE(QFile::exists(dbPath())) << "an unchanged document is not written again";
}

TEST_F(SpiStoreTest, programmeInformationFillsTheSchedule)
{
    manager->decodeDocument(document(serviceInformation(), SpiDocument::ServiceInformation));
    const QVector<Programme> programmes {
        {"\x02", "Morning \x02", "About the news", utc(6), 1800, "\x01\x02\x03\x04\x05", {}},
        {"Music", {}, {}, utc(7), 3600, {}, {}},
        {"No end", {}, {}, utc(8), 0, {}, {}},
    };
    manager->decodeDocument(document(programmeInformation(0xD2D1, 5, programmes), SpiDocument::ProgrammeInformation));
    {
        QReadLocker locker(&manager->store().lock);
        const SpiService &service = manager->store().index.first().services.first();
        EXPECT_EQ(service.scheduleVersion, 5u);
        ASSERT_EQ(service.programmes.size(), 2) << "a programme without duration is not stored";
        const SpiProgramme &news = service.programmes.first();
        EXPECT_EQ(news.start, quint32(utc(6).toSecsSinceEpoch()));
        EXPECT_EQ(news.stop, news.start + 1800);
        EXPECT_EQ(news.shortName, QStringLiteral("News"));
        EXPECT_EQ(news.mediumName, QStringLiteral("Morning News"));
        EXPECT_EQ(news.description, QStringLiteral("About the news"));
        ASSERT_EQ(news.genres.size(), 1);
        EXPECT_EQ(news.genres[0].type, 1u);
        EXPECT_EQ(news.genres[0].scheme, 1u);
        EXPECT_EQ(news.genres[0].levels, QByteArray("\x02\x03\x04", 3));
    }
    // A new schedule version empties the list first.
    manager->decodeDocument(document(programmeInformation(0xD2D1, 6, {{"Late", {}, {}, utc(22), 600, {}, {}}}),
                                     SpiDocument::ProgrammeInformation));
    QReadLocker locker(&manager->store().lock);
    const SpiService &service = manager->store().index.first().services.first();
    ASSERT_EQ(service.programmes.size(), 1);
    EXPECT_EQ(service.programmes.first().shortName, QStringLiteral("Late"));
}

TEST_F(SpiStoreTest, scheduleOfAServiceOnAirWithoutServiceInformation)
{
    manager->decodeDocument(document(programmeInformation(0xD3D3, 1, {{"Talk", {}, {}, utc(9), 900, {}, {}}}),
                                     SpiDocument::ProgrammeInformation));
    manager->decodeDocument(document(programmeInformation(0xD4D4, 1, {{"Other", {}, {}, utc(9), 900, {}, {}}}),
                                     SpiDocument::ProgrammeInformation));
    const QJsonArray list = servicesJson();
    ASSERT_EQ(list.size(), 1) << "only services with SI or on air are listed";
    EXPECT_EQ(list[0].toObject().value(QStringLiteral("nameMedium")).toString(), QStringLiteral("Label of D3D3"));
}

TEST_F(SpiStoreTest, jsonListsServicesWithTheirProgrammes)
{
    EXPECT_TRUE(servicesJson().isEmpty());
    manager->decodeDocument(document(serviceInformation(), SpiDocument::ServiceInformation));
    manager->decodeDocument(document(programmeInformation(0xD2D1, 1, {{"News", {}, {}, utc(6), 1800, {}, {}}}),
                                     SpiDocument::ProgrammeInformation));
    const quint32 start = quint32(utc(6).toSecsSinceEpoch());
    const QString expected = QStringLiteral(
                                 "{\"services\":[{\"ECC\":224,\"ensembleIdentifier\":0,\"serviceIdentifier\":53969,"
                                 "\"isAudio\":true,\"nameShort\":\"R1\",\"nameMedium\":\"Radio One\",\"nameLong\":"
                                 "\"Radio One long\",\"description\":\"Line one&lt;br/&gt;Line 'two'\","
                                 "\"logo\":\"\",\"programmes\":[{\"start\":%1,\"stop\":%2,\"nameShort\":\"News\","
                                 "\"nameMedium\":\"\",\"nameLong\":\"\",\"description\":\"\"}]}]}")
                                 .arg(start)
                                 .arg(start + 1800);
    TemplateValue answer;
    answer << manager->buildSpiJson();
    EXPECT_EQ(answer.toJson().toStdString(), expected.toStdString());
}

TEST_F(SpiStoreTest, storeKeepsNoMoreThanItsFileGivesBack)
{
    QByteArray logos;
    for (int i = 0; i < SpiIndexStream::MaxItems + 40; ++i)
        logos += multimedia(QByteArray("l") + QByteArray::number(i), 1);
    const QByteArray body = element(
        Tag::ServiceInformation,
        element(Tag::Ensemble, attribute(0x80, QByteArray("\xE0\xD1\x23", 3))
                                   + element(Tag::Service, element(Tag::MediaDescription, logos)
                                                               + element(Tag::ServiceId, attribute(0x80, sid16(0xD2D1))))));
    manager->decodeDocument(document(body, SpiDocument::ServiceInformation));
    manager->waitForBackgroundWork();
    {
        QReadLocker locker(&manager->store().lock);
        EXPECT_EQ(manager->store().index.first().services.first().logos.size(), SpiIndexStream::MaxItems);
    }
    manager.reset();
    manager = makeManager();
    QReadLocker locker(&manager->store().lock);
    ASSERT_FALSE(manager->store().index.isEmpty());
    EXPECT_EQ(manager->store().index.first().services.first().logos.size(), SpiIndexStream::MaxItems);
}

TEST_F(SpiStoreTest, cacheFileBytesFollowTheStoredLayout)
{
    SpiIndex index;
    SpiCountry &country = index[0xE0D];
    country.updateTime = 100;
    country.countryKey = 0xE0D;
    country.shortName = QStringLiteral("E");
    country.logos.append(SpiLogo {QStringLiteral("u"), QStringLiteral("m"), 32, 32, 3});
    SpiService &service = country.services[0xD2D1];
    service.updateTime = 200;
    service.scheduleVersion = 7;
    service.hasSi = true;
    service.contentId.empty = false;
    service.contentId.sid16 = true;
    service.contentId.ecc = 0xE0;
    service.contentId.countryId = 0xD;
    service.contentId.countryKey = 0xE0D;
    service.contentId.sid = 0xD2D1;
    SpiProgramme &programme = service.programmes[1000];
    programme.updateTime = 300;
    programme.start = 1000;
    programme.stop = 1600;
    programme.longName = QStringLiteral("Ö");
    programme.genres.append(SpiGenre {1, 2, QByteArray("\x03\x04\x05", 3)});
    index[0xF00].countryKey = 0xF00; // written first: maps go from the largest key down

    Bytes expected;
    expected.u32(2);
    expected.u16(0xF00).u32(0).u16(0xF00).text({}).text({}).text({}).text({}).u32(0).u32(0);
    expected.u16(0xE0D).u32(100).u16(0xE0D).text("E").text({}).text({}).text({});
    expected.u32(1).text("u").text("m").u16(32).u16(32).u32(3);
    expected.u32(1).u32(0xD2D1).u32(200).u32(7).u8(1);
    expected.u8(0).u8(1).u8(0).u8(0xE0).u8(0xD).u16(0xE0D).u16(0).u32(0xD2D1).u8(0).u8(0);
    expected.text({}).text({}).text({}).text({}).u32(0);
    expected.u32(1).u32(1000).u32(300).u32(0).u32(1000).u32(1600);
    expected.text({}).text({}).text(QStringLiteral("Ö")).text({});
    expected.u32(1).u32(1).u32(2).u32(3).raw(QByteArray("\x03\x04\x05", 3));
    const QByteArray payload = SpiIndexStream::write(index);
    EXPECT_EQ(payload.toHex(), expected.bytes().toHex());

    // The file: storage header (version 1, type 3), then the payload as one byte array.
    SpiCache(cache.path() + QStringLiteral("/x/")).write(payload);
    QFile file(cache.filePath(QStringLiteral("x/db.zoz")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    Bytes header;
    header.text(QStringLiteral("ZOZ-STORAGE")).u32(1).u32(3).u32(quint32(payload.size())).raw(payload);
    EXPECT_EQ(file.readAll().toHex(), header.bytes().toHex());

    SpiIndex back;
    ASSERT_TRUE(SpiIndexStream::read(payload, back));
    EXPECT_EQ(SpiIndexStream::write(back), payload);
}

TEST_F(SpiStoreTest, savedIndexLoadsBackTheSame)
{
    manager->decodeDocument(document(serviceInformation(), SpiDocument::ServiceInformation));
    manager->decodeDocument(document(programmeInformation(0xD2D1, 1, {{"News", {}, {}, utc(23, 0, 1), 1800, {}, {}}}),
                                     SpiDocument::ProgrammeInformation));
    manager->waitForBackgroundWork();
    QByteArray saved;
    {
        QReadLocker locker(&manager->store().lock);
        saved = SpiIndexStream::write(manager->store().index);
    }
    const QJsonArray json = servicesJson();
    const quint32 version = SpiManager::version();
    manager.reset();
    manager = makeManager();
    EXPECT_GT(SpiManager::version(), version) << "a load moves the version";
    QReadLocker locker(&manager->store().lock);
    EXPECT_EQ(SpiIndexStream::write(manager->store().index), saved);
    locker.unlock();
    EXPECT_EQ(servicesJson(), json);
}

TEST_F(SpiStoreTest, damagedCacheKeepsWhatCameBeforeTheDamage)
{
    SpiIndex index;
    for (quint16 key : {quint16(0xE0D), quint16(0xE01F)}) {
        index[key].countryKey = key;
        index[key].shortName = QStringLiteral("Country %1").arg(key);
    }
    const QByteArray payload = SpiIndexStream::write(index);
    const QByteArray first = SpiIndexStream::write({{0xE01F, index.value(0xE01F)}});
    for (int cut = 0; cut < payload.size(); ++cut) {
        SpiIndex back;
        EXPECT_FALSE(SpiIndexStream::read(payload.left(cut), back)) << cut;
        // The larger key comes first; it stays once its own fields are there,
        // before the count of its services (the last 4 bytes).
        const int ownFieldsEnd = int(first.size()) - 4;
        EXPECT_EQ(back.contains(0xE01F), cut >= ownFieldsEnd) << cut;
        EXPECT_EQ(back.contains(0xE0D), cut >= payload.size() - 4) << cut;
    }
    // A count far beyond the bytes ends at the first entry that is not there.
    SpiIndex huge;
    EXPECT_FALSE(SpiIndexStream::read(QByteArray("\x00\x00\x0F\xFF", 4), huge));
    EXPECT_TRUE(huge.isEmpty());

    // A damaged file gives an empty or partial guide, never a crash.
    QDir().mkpath(cache.filePath(QStringLiteral("spi")));
    SpiCache(cache.path() + QStringLiteral("/spi/")).write(payload.left(payload.size() - 6));
    manager.reset();
    manager = makeManager();
    QReadLocker locker(&manager->store().lock);
    EXPECT_EQ(manager->store().index.keys(), QList<quint16>({0xE01F}));
}

TEST_F(SpiStoreTest, loadCleansAtOnceAndFollowsTheCacheFolder)
{
    const quint32 now = quint32(QDateTime::currentSecsSinceEpoch());
    const quint32 old = now - SpiManager::KeepSeconds - 100;
    SpiIndex index;
    SpiService &service = index[0xE0D].services[0xD2D1];
    service.hasSi = true;
    service.updateTime = now;
    service.programmes[old] = SpiProgramme {old, 0, old, old + 60, {}, {}, {}, {}, {}};
    service.programmes[now] = SpiProgramme {old, 0, now, now + 60, {}, {}, {}, {}, {}};
    SpiCache(cache.path() + QStringLiteral("/spi/")).write(SpiIndexStream::write(index));
    manager.reset();
    manager = makeManager();
    {
        QReadLocker locker(&manager->store().lock);
        EXPECT_EQ(manager->store().index.value(0xE0D).services.value(0xD2D1).programmes.keys(), QList<quint32>({now}))
            << "an ended programme not renewed for seven days goes at load";
    }

    // Another cache folder: its own guide (here none) replaces this one.
    QTemporaryDir other;
    settings->setCachePath(other.path());
    manager->waitForBackgroundWork();
    {
        QReadLocker locker(&manager->store().lock);
        EXPECT_TRUE(manager->store().index.isEmpty());
    }
    manager->decodeDocument(document(serviceInformation(), SpiDocument::ServiceInformation));
    manager->waitForBackgroundWork();
    EXPECT_TRUE(QFile::exists(other.filePath(QStringLiteral("spi/db.zoz"))));
    EXPECT_EQ(manager->logoFolder(), QDir(other.path()).absolutePath() + QStringLiteral("/logos/"));
}

TEST_F(SpiStoreTest, withoutTheCacheSwitchNothingIsLoadedOrSaved)
{
    manager->decodeDocument(document(serviceInformation(), SpiDocument::ServiceInformation));
    manager->waitForBackgroundWork();
    ASSERT_TRUE(QFile::remove(dbPath()));
    settings->setFlag(RuntimeFlag::HasPhysicalCache, false);
    manager->decodeDocument(document(serviceInformation("other"), SpiDocument::ServiceInformation));
    manager->waitForBackgroundWork();
    EXPECT_FALSE(QFile::exists(dbPath()));
    {
        QReadLocker locker(&manager->store().lock);
        EXPECT_EQ(manager->store().index.size(), 1) << "the guide lives in memory";
    }
}

TEST_F(SpiStoreTest, dailyCleanDropsWhatEndedAndWasNotRenewed)
{
    const quint32 now = 2000000000;
    const quint32 old = now - SpiManager::KeepSeconds - 1;
    {
        QWriteLocker locker(&manager->store().lock);
        SpiCountry &country = manager->store().index[0xE0D];
        auto add = [&](quint32 sid, bool hasSi, quint32 updated) -> SpiService & {
            SpiService &service = country.services[sid];
            service.hasSi = hasSi;
            service.updateTime = updated;
            return service;
        };
        SpiService &kept = add(1, true, now);
        kept.programmes[now - 7200] = SpiProgramme {old, 0, now - 7200, now - 3600, {}, {}, {}, {}, {}};
        kept.programmes[now - 3600] = SpiProgramme {now - 60, 0, now - 3600, now - 60, {}, {}, {}, {}, {}};
        add(2, true, now - 60); // SI renewed lately, no programmes: stays
        add(3, true, old);      // nothing left, not renewed: goes
        add(4, false, old);
        SpiService &running = add(5, true, old);
        running.programmes[now - 60] = SpiProgramme {old, 0, now - 60, now + 60, {}, {}, {}, {}, {}};
    }
    manager->cleanCache(now);
    QReadLocker locker(&manager->store().lock);
    const SpiCountry &country = manager->store().index.value(0xE0D);
    EXPECT_EQ(country.services.keys(), QList<quint32>({1, 2, 5}));
    EXPECT_EQ(country.services.value(1).programmes.keys(), QList<quint32>({now - 3600}));
}

TEST_F(SpiStoreTest, logoArrivingBeforeOrAfterItIsNamed)
{
    const QByteArray png("\x89PNG fake image");
    // Before: kept until the service information names it.
    manager->logoArrived(SpiServiceId, QStringLiteral("logo128.png"), SpiLogos::PngCode, png);
    manager->decodeDocument(document(serviceInformation(), SpiDocument::ServiceInformation));
    manager->waitForBackgroundWork();
    QFile file(logoPath(QStringLiteral("e0d2d1.png")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "the logo nearest 128 of the preferred type";
    EXPECT_EQ(file.readAll(), png);
    file.close();
    QCoreApplication::processEvents(); // the service hears of its logo on the main thread
    EXPECT_EQ(services->saved, QVector<quint32>({0xD2D1}));

    // The same image again does not rewrite the file.
    const QDateTime past = QDateTime::currentDateTimeUtc().addDays(-3);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(past, QFileDevice::FileModificationTime));
    file.close();
    manager->decodeDocument(document(serviceInformation("changed"), SpiDocument::ServiceInformation));
    manager->logoArrived(SpiServiceId, QStringLiteral("logo128.png"), SpiLogos::PngCode, png);
    manager->waitForBackgroundWork();
    EXPECT_EQ(QFileInfo(file.fileName()).lastModified().toSecsSinceEpoch(), past.toSecsSinceEpoch());

    // After: a new image under the named object replaces the file.
    manager->decodeDocument(document(serviceInformation("again"), SpiDocument::ServiceInformation));
    manager->logoArrived(SpiServiceId, QStringLiteral("logo128.png"), SpiLogos::PngCode, png + "2");
    manager->logoArrived(QStringLiteral("other"), QStringLiteral("logo128.png"), SpiLogos::PngCode, "x");
    manager->waitForBackgroundWork();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), png + "2");
}

TEST(SpiLogos, extensionsAndBounds)
{
    const struct
    {
        const char *name;
        const char *extension;
    } rows[] = {
        {"logo.png", ".png"},     {"logo.JPG", ".JPG"},       {"logo", ".png"},    {"a.b.jpeg", ".jpeg"},
        {"logo.toolong", ".png"}, {"logo./../x", ".png"},     {"logo.p g", ".png"}, {"logo.", ".png"},
        {"../../etc/x.sh", ".sh"}, {"logo.png/", ".png"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(SpiLogos::extensionOf(QString::fromLatin1(row.name)), QString::fromLatin1(row.extension)) << row.name;

    QTemporaryDir folder;
    QVector<quint32> saved;
    SpiLogos logos([&](quint32 sid, const QString &) { saved.append(sid); });
    logos.setFolder(folder.path() + QStringLiteral("/logos/"));
    for (int i = 0; i < SpiLogos::MaxArrivedLogos + 10; ++i)
        logos.arrive(QStringLiteral("s"), QStringLiteral("l%1.png").arg(i), SpiLogos::PngCode, "img");
    EXPECT_EQ(logos.arrivedCount(), SpiLogos::MaxArrivedLogos);
    logos.arrive(QStringLiteral("s"), QStringLiteral("doc.html"), 17, "html");
    EXPECT_EQ(logos.arrivedCount(), SpiLogos::MaxArrivedLogos) << "only JPEG and PNG are logos";
    logos.request(QStringLiteral("e0d2d1"), 0xD2D1, QStringLiteral("s"), QStringLiteral("l0.png"));
    EXPECT_TRUE(saved.isEmpty()) << "the oldest arrivals went";
    logos.request(QStringLiteral("e0d2d1"), 0xD2D1, QStringLiteral("s"), QStringLiteral("l73.png"));
    EXPECT_EQ(saved, QVector<quint32>({0xD2D1}));
    logos.request(QStringLiteral("../x"), 1, QStringLiteral("s"), QStringLiteral("l72.png"));
    EXPECT_EQ(QDir(folder.path() + QStringLiteral("/logos")).entryList(QDir::Files), QStringList({"e0d2d1.png"}));
    EXPECT_TRUE(QDir(folder.path()).entryList({"x*"}).isEmpty()) << "nothing outside the logo folder";
    // A logo object without an extension.
    logos.request(QStringLiteral("e0d2d2"), 0xD2D2, QStringLiteral("s"), QStringLiteral("plain"));
    logos.arrive(QStringLiteral("s"), QStringLiteral("plain"), SpiLogos::JpegCode, "jpeg");
    EXPECT_TRUE(QFile::exists(folder.path() + QStringLiteral("/logos/e0d2d2.png")));
}

} // namespace
