#include "EnsembleSamples.h"

#include "ZOZDABEnsembleCache.h"
#include "ZOZDab.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace ZOZ;
using namespace ZOZ::Test;

namespace {

// Writes records the way older program versions did, straight from the field
// tables of each format version, without the program's own writers.
class OldFormatWriter
{
public:
    OldFormatWriter(QDataStream &stream, int version)
        : s(stream)
        , v(version)
    {
    }

    void component(const DabServiceComponent &c)
    {
        s << c.valid << c.changed << c.serviceId << c.isPacketMode << c.packetAddress << c.subChId << c.bitRate << c.scId
          << c.scIdS;
        if (v >= 3)
            s << c.dscTy;
        s << c.label << c.languageName << c.audio << c.audioChanged << c.dabPlus << c.dabPlusAudio;
        s << qint32(c.userApplications.size());
        for (const DabUserApplication &a : c.userApplications) {
            s << a.valid << a.changed << a.data << a.type << a.packetAddress;
            if (v >= 3)
                s << a.dscTy;
        }
        s << c.subChannelChanged << qint16(c.cuStart) << qint16(c.cuCount) << c.isEep << qint8(c.uepIndex)
          << qint8(c.protectionCode) << qint8(c.fecScheme);
    }

    void service(const DabService &sv)
    {
        s << sv.valid << sv.changed << sv.serviceId;
        if (v >= 2)
            s << qint8(sv.ecc) << qint8(sv.countryId);
        else
            s << qint16((sv.ecc << 8) | (sv.countryId << 4));
        s << sv.label;
        if (v >= 1)
            s << sv.shortLabel;
        s << sv.countryName << sv.extraText << sv.programmeTypeName;
        component(sv.primary);
        s << qint32(sv.components.size());
        for (const DabServiceComponent &c : sv.components)
            component(c);
    }

    void ensemble(const DabEnsemble &e)
    {
        s << e.valid << e.changed;
        if (v >= 1)
            s << e.gridIndex;
        s << e.ensembleId << e.label << e.shortLabel << e.frequency << qint32(e.services.size());
        for (const DabService &sv : e.services)
            service(sv);
    }

private:
    QDataStream &s;
    int v;
};

QByteArray cacheFile(int version, const std::function<void(QDataStream &)> &payload)
{
    QByteArray bytes;
    QDataStream s(&bytes, QIODevice::WriteOnly);
    s.setVersion(QDataStream::Qt_4_8);
    s << QStringLiteral("ZOZ-STORAGE") << qint32(version) << qint32(1);
    payload(s);
    return bytes;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class EnsembleCacheTest : public ::testing::Test
{
protected:
    QString folder() const { return dir.path() + QStringLiteral("/"); }
    QString cachePath() const { return folder() + QStringLiteral("DAB.default.zoz"); }
    QString legacyPath() const { return folder() + QStringLiteral("DAB.dat"); }

    DabEnsembleMap sampleDatabase()
    {
        DabEnsembleMap map;
        for (auto [grid, frequency, services] : { std::tuple{ 0, 178352, 3 }, std::tuple{ 1, 1490624, 1 },
                                                  std::tuple{ 4, 214736, 2 }, std::tuple{ 3, 221568, 0 } }) {
            auto e = sampleEnsemble(grid, frequency, services);
            map[e->index] = std::move(e);
        }
        return map;
    }

    // Reads the cache; the map starts with one sentinel record so that a
    // rejected file can be seen to leave it alone.
    bool readInto(DabEnsembleMap &map, QList<DabEnsembleCacheEntry> &excluded)
    {
        DABEnsembleCache cache(folder());
        QString setName;
        return cache.isValid() && cache.read(setName, excluded, map);
    }

    QTemporaryDir dir;
};

TEST_F(EnsembleCacheTest, WrittenDatabaseReadsBackFieldByField)
{
    DabEnsembleMap written = sampleDatabase();
    const QList<DabEnsembleCacheEntry> excludedWritten = { { 0x1234, 0x4001 }, { 0x2000, 0xE4910001LL } };
    {
        DABEnsembleCache cache(folder());
        ASSERT_TRUE(cache.write(QStringLiteral("default"), excludedWritten, written));
    }
    DABEnsembleCache cache(folder());
    ASSERT_TRUE(cache.isValid());
    EXPECT_EQ(cache.version(), 3u);
    QString setName;
    QList<DabEnsembleCacheEntry> excluded;
    DabEnsembleMap read;
    ASSERT_TRUE(cache.read(setName, excluded, read));
    EXPECT_EQ(setName, QStringLiteral("default"));
    EXPECT_EQ(excluded, excludedWritten);
    ASSERT_EQ(read.size(), written.size());
    for (const auto &[index, ensemble] : written) {
        SCOPED_TRACE(index);
        ASSERT_TRUE(read.count(index));
        const DabEnsemble &back = *read.at(index);
        EXPECT_TRUE(back.storedFieldsEqual(*ensemble));
        EXPECT_EQ(back.index, index);
        EXPECT_TRUE(back.channelResolved);
        EXPECT_FALSE(back.lastSeen.isNull());
        for (const DabService &service : back.services) {
            EXPECT_FALSE(service.lastSeen.isNull());
            EXPECT_FALSE(service.primary.audioSeen.isNull());
        }
    }
    // Channels past index 64 (Korean and Chinese grids) are kept like any other.
    EXPECT_TRUE(read.count(channelGridBase(4) + 20));
    EXPECT_TRUE(read.count(channelGridBase(3) + 30));
}

TEST_F(EnsembleCacheTest, EmptyDatabaseIsHeaderNameCountAndList)
{
    {
        DABEnsembleCache cache(folder());
        ASSERT_TRUE(cache.write(QStringLiteral("default"), {}, DabEnsembleMap()));
    }
    const QByteArray expected = cacheFile(3, [](QDataStream &s) { s << QStringLiteral("default") << qint32(0) << qint32(0); });
    EXPECT_EQ(readFile(cachePath()), expected);
    DabEnsembleMap map;
    QList<DabEnsembleCacheEntry> excluded;
    EXPECT_TRUE(readInto(map, excluded));
    EXPECT_TRUE(map.empty());
}

TEST_F(EnsembleCacheTest, OlderVersionsAreRead)
{
    // Version 0 records exist only in the legacy file (see the import test).
    for (int version : { 1, 2 }) {
        SCOPED_TRACE(version);
        const int grid = 1;
        const int frequency = 1452960;
        auto e = sampleEnsemble(grid, frequency, 2);
        writeFile(cachePath(), cacheFile(version, [&](QDataStream &s) {
                      s << QStringLiteral("x") << qint32(1) << qint32(0);
                      OldFormatWriter(s, version).ensemble(*e);
                  }));
        DabEnsembleMap map;
        QList<DabEnsembleCacheEntry> excluded;
        ASSERT_TRUE(readInto(map, excluded));
        ASSERT_EQ(map.size(), 1u);
        const DabEnsemble &back = *map.begin()->second;
        EXPECT_EQ(back.gridIndex, grid);
        EXPECT_EQ(back.index, e->index);
        const DabService &service = back.services.first();
        EXPECT_EQ(service.ecc, 0xE4);
        EXPECT_EQ(service.countryId, 9);
        EXPECT_EQ(service.shortLabel, QStringLiteral("Svc"));
        EXPECT_EQ(service.components.first().dscTy, -1);
        EXPECT_EQ(service.components.first().userApplications.first().dscTy, -1);
        EXPECT_EQ(service.components.first().userApplications.first().data, QByteArray("\x01\x02\x03", 3));
    }
}

TEST_F(EnsembleCacheTest, RecordsWithoutChannelOrNewerFormatGiveNoEnsembles)
{
    auto on5C = sampleEnsemble(0, 178352, 1);
    auto again5C = sampleEnsemble(0, 178352, 2);
    auto nowhere = sampleEnsemble(0, 178353, 1);
    writeFile(cachePath(), cacheFile(3, [&](QDataStream &s) {
                  s << QStringLiteral("default") << qint32(3) << qint32(0);
                  OldFormatWriter w(s, 3);
                  w.ensemble(*on5C);
                  w.ensemble(*nowhere);
                  w.ensemble(*again5C);
              }));
    DabEnsembleMap map;
    QList<DabEnsembleCacheEntry> excluded;
    ASSERT_TRUE(readInto(map, excluded));
    ASSERT_EQ(map.size(), 1u);
    EXPECT_EQ(map.at(0)->services.size(), 2) << "the later record of one channel stays";

    writeFile(cachePath(), cacheFile(4, [&](QDataStream &s) {
                  s << QStringLiteral("default") << qint32(1) << qint32(0);
                  OldFormatWriter(s, 3).ensemble(*on5C);
              }));
    DabEnsembleMap newer;
    ASSERT_TRUE(readInto(newer, excluded));
    EXPECT_TRUE(newer.empty());
}

TEST_F(EnsembleCacheTest, HostileFilesAreRejectedQuicklyAndChangeNothing)
{
    auto e = sampleEnsemble(0, 178352, 2);
    auto valid = [&](qint32 ensembleCount, qint32 excludedCount) {
        return cacheFile(3, [&](QDataStream &s) {
            s << QStringLiteral("default") << ensembleCount << excludedCount;
            OldFormatWriter(s, 3).ensemble(*e);
        });
    };
    const QByteArray good = valid(1, 0);
    // Offset of the first service count: header, name, count, list, then the
    // ensemble's fixed fields.
    auto withWord = [](QByteArray bytes, qsizetype offset, quint32 value) {
        for (int i = 0; i < 4; ++i)
            bytes[offset + i] = char(value >> (24 - 8 * i));
        return bytes;
    };
    const qsizetype headerBytes = 4 + 22 + 4 + 4;
    const qsizetype nameOffset = headerBytes;
    const qsizetype countOffset = nameOffset + 4 + 14;
    const qsizetype labelOffset = countOffset + 4 + 4 + 1 + 1 + 4 + 4;
    struct Case
    {
        const char *name;
        QByteArray bytes;
    } cases[] = {
        { "huge ensemble count", valid(0x7FFFFFFF, 0) },
        { "negative ensemble count", valid(-5, 0) },
        { "huge excluded count", valid(1, 0x7FFFFFF0) },
        { "name length beyond the file", withWord(good, nameOffset, 0x7FFFFFF0) },
        { "odd name length", withWord(good, nameOffset, 13) },
        { "label length beyond the cap", withWord(good, labelOffset, 0xFFFFFFF0) },
        { "odd label length", withWord(good, labelOffset, 7) },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(cachePath(), c.bytes);
        DabEnsembleMap map;
        map[99] = std::make_unique<DabEnsemble>(2);
        QList<DabEnsembleCacheEntry> excluded = { { 1, 2 } };
        EXPECT_FALSE(readInto(map, excluded));
        EXPECT_EQ(map.size(), 1u);
        EXPECT_TRUE(map.count(99));
        EXPECT_EQ(excluded.size(), 1);
    }
    // Every truncation of a good file is noticed.
    for (qsizetype length = headerBytes; length < good.size(); ++length) {
        writeFile(cachePath(), good.left(length));
        DabEnsembleMap map;
        QList<DabEnsembleCacheEntry> excluded;
        EXPECT_FALSE(readInto(map, excluded)) << "cut at " << length;
    }
}

TEST_F(EnsembleCacheTest, HeaderDecidesValidity)
{
    auto header = [](const QString &magic, qint32 version, qint32 type) {
        QByteArray bytes;
        QDataStream s(&bytes, QIODevice::WriteOnly);
        s.setVersion(QDataStream::Qt_4_8);
        s << magic << version << type << QStringLiteral("default") << qint32(0) << qint32(0);
        return bytes;
    };
    const struct
    {
        const char *name;
        QByteArray bytes;
        bool valid;
    } cases[] = {
        { "version 7", header(QStringLiteral("ZOZ-STORAGE"), 7, 1), true },
        { "version 0", header(QStringLiteral("ZOZ-STORAGE"), 0, 1), false },
        { "another cache type", header(QStringLiteral("ZOZ-STORAGE"), 3, 2), false },
        { "wrong magic", header(QStringLiteral("ZOZ-STORAGF"), 3, 1), false },
        { "empty file", QByteArray(), false },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(cachePath(), c.bytes);
        DABEnsembleCache cache(folder());
        EXPECT_EQ(cache.isValid(), c.valid);
    }
}

TEST_F(EnsembleCacheTest, WritingCreatesMissingFoldersAndReportsFailure)
{
    const QString nested = folder() + QStringLiteral("a/b/");
    {
        DABEnsembleCache cache(nested);
        EXPECT_FALSE(cache.isValid());
        EXPECT_TRUE(cache.write(QStringLiteral("default"), {}, sampleDatabase()));
    }
    EXPECT_TRUE(DABEnsembleCache(nested).isValid());

    // A folder in the place of the file: nothing can be written there.
    ASSERT_TRUE(QDir().mkpath(cachePath()));
    DABEnsembleCache blocked(folder());
    EXPECT_FALSE(blocked.write(QStringLiteral("default"), {}, sampleDatabase()));
}

// ---- the legacy file ----

QByteArray legacyFile(const QString &magic, const std::vector<const DabEnsemble *> &ensembles,
                      const QList<DabEnsembleCacheEntry> &excluded)
{
    QByteArray bytes;
    QDataStream s(&bytes, QIODevice::WriteOnly);
    s.setVersion(QDataStream::Qt_4_8);
    s << magic << qint32(4) << QStringLiteral("ignored") << qint32(ensembles.size()) << QStringLiteral("DATABEGIN");
    s << qint32(excluded.size());
    for (const auto &entry : excluded)
        s << entry.ensembleId << entry.serviceId;
    for (const DabEnsemble *e : ensembles)
        OldFormatWriter(s, 0).ensemble(*e);
    return bytes;
}

TEST_F(EnsembleCacheTest, LegacyFileIsImportedOnceThenDeleted)
{
    auto e = sampleEnsemble(0, 211648, 2);
    writeFile(legacyPath(), legacyFile(QStringLiteral("ZOZ-DAB-DB.v4.r"), { e.get() }, { { 7, 8 } }));
    {
        DABEnsembleCache cache(folder());
        EXPECT_TRUE(cache.isValid());
    }
    EXPECT_FALSE(QFile::exists(legacyPath()));
    DabEnsembleMap map;
    QList<DabEnsembleCacheEntry> excluded;
    ASSERT_TRUE(readInto(map, excluded));
    ASSERT_EQ(map.size(), 1u);
    EXPECT_EQ(map.begin()->first, 8); // 10B, position 8 of grid 0
    const DabEnsemble &back = *map.begin()->second;
    EXPECT_EQ(back.gridIndex, 0) << "the first files knew only Band III";
    EXPECT_EQ(back.services.first().shortLabel, QString());
    EXPECT_EQ(back.services.first().ecc, 0xE4);
    EXPECT_EQ(back.services.first().countryId, 9);
    EXPECT_EQ(excluded, (QList<DabEnsembleCacheEntry>{ { 7, 8 } }));
}

TEST_F(EnsembleCacheTest, LegacyFileOfAnotherKindIsDeletedWithoutImport)
{
    writeFile(legacyPath(), legacyFile(QStringLiteral("SOMETHING-ELSE"), {}, {}));
    DABEnsembleCache cache(folder());
    EXPECT_FALSE(cache.isValid());
    EXPECT_FALSE(QFile::exists(legacyPath()));
    EXPECT_FALSE(QFile::exists(cachePath()));
}

TEST_F(EnsembleCacheTest, LegacyFileStaysWhenItCannotBeImported)
{
    auto e = sampleEnsemble(0, 211648, 1);
    const QByteArray legacy = legacyFile(QStringLiteral("ZOZ-DAB-DB.v4.r"), { e.get() }, {});

    // A damaged cache file is not replaced by the import.
    writeFile(cachePath(), QByteArray("garbage"));
    writeFile(legacyPath(), legacy);
    { DABEnsembleCache cache(folder()); }
    EXPECT_TRUE(QFile::exists(legacyPath()));

    // The new file cannot be written: the old one is the only copy and stays.
    ASSERT_TRUE(QFile::remove(cachePath()));
    ASSERT_TRUE(QDir().mkpath(folder() + QStringLiteral("ro")));
    ASSERT_TRUE(QDir().mkpath(folder() + QStringLiteral("ro/DAB.default.zoz/inside")));
    writeFile(folder() + QStringLiteral("ro/DAB.dat"), legacy);
    { DABEnsembleCache cache(folder() + QStringLiteral("ro/")); }
    EXPECT_TRUE(QFile::exists(folder() + QStringLiteral("ro/DAB.dat")));

    // A damaged legacy file is kept, not half imported.
    QFile::remove(legacyPath());
    writeFile(legacyPath(), legacy.left(legacy.size() - 5));
    DABEnsembleCache cache(folder());
    EXPECT_FALSE(cache.isValid());
    EXPECT_TRUE(QFile::exists(legacyPath()));
}

TEST_F(EnsembleCacheTest, NoFilesNoCache)
{
    DABEnsembleCache cache(folder());
    EXPECT_FALSE(cache.isValid());
    EXPECT_FALSE(QFile::exists(cachePath()));
}

} // namespace
