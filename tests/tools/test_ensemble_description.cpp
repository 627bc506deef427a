// The JSON description reader, and the bundled demo descriptions.
#include "DescriptionReader.h"

#include "EnsembleGenerator.h"
#include "zoz_eti.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

using namespace ZOZ::EnsembleGen;

QString writeJson(const QTemporaryDir &dir, const QByteArray &json)
{
    const QString path = dir.filePath(QStringLiteral("ensemble.json"));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(json);
    return path;
}

TEST(EnsembleDescriptionReader, ReadsEveryPart)
{
    QTemporaryDir dir;
    const QString path = writeJson(dir, R"({
      "seconds": 2.4,
      "time": "2026-02-03T04:05:06",
      "ensemble": {"eid": "0xE123", "ecc": 225, "label": "Test", "localTimeOffset": -2, "mode": 1},
      "subChannels": [
        {"id": 1, "bitRate": 64, "protection": "EEP-2B", "fecScheme": 0},
        {"id": 2, "protection": "UEP-14"},
        {"id": 3, "bitRate": 16, "content": {"type": "packet", "enhanced": true, "groups": [{"address": 5, "type": 3, "hex": "0102"}]}}
      ],
      "services": [
        {"sid": "0xE1C1", "label": "One", "programmeType": 10, "extendedLabel": "Eins", "extendedEncoding": "ucs2",
         "components": [{"kind": "audio", "subChannel": 1, "type": 63, "label": "Main"}]},
        {"sid": "0xE0D10001", "data": true, "label": "Data",
         "components": [{"kind": "packet", "subChannel": 3, "scId": 17, "packetAddress": 5, "type": 60,
                         "applications": [{"type": 2, "data": "000c"}]}]}
      ],
      "announcements": [{"cluster": 1, "flags": "0x0002", "subChannel": 1, "fromSecond": 1}],
      "faults": [{"kind": "lostFrame", "frame": 3}, {"kind": "eidChange", "frame": 50, "value": "0xE456"}]
    })");
    DescriptionFile file;
    QString error;
    QStringList warnings;
    ASSERT_TRUE(readDescription(path, &file, &error, &warnings)) << error.toStdString();
    const EnsembleDescription &d = file.description;
    EXPECT_EQ(file.frames, 100);
    EXPECT_EQ(d.eid, 0xE123);
    EXPECT_EQ(d.ecc, 225);
    EXPECT_EQ(d.localTimeOffset, -2);
    ASSERT_TRUE(d.time.has_value());
    EXPECT_EQ(d.time->second, 6);
    ASSERT_EQ(d.subChannels.size(), 3u);
    EXPECT_TRUE(d.subChannels[0].protection.optionB);
    EXPECT_EQ(d.subChannels[0].protection.level, 2);
    EXPECT_FALSE(d.subChannels[1].protection.isEep);
    EXPECT_EQ(d.subChannels[1].protection.uepIndex, 14);
    EXPECT_GT(d.subChannels[1].bitRate, 0);  // filled in from the table
    EXPECT_NE(d.subChannels[2].content, nullptr);
    EXPECT_EQ(d.subChannels[2].fecScheme, 1);  // enhanced packet mode
    ASSERT_EQ(d.services.size(), 2u);
    EXPECT_EQ(d.services[0].extendedLabel->encoding, ExtendedLabel::Encoding::Ucs2);
    EXPECT_EQ(d.services[0].components[0].label->text, "Main");
    EXPECT_EQ(d.services[1].sid, 0xE0D10001u);
    EXPECT_EQ(d.services[1].components[0].kind, Component::Kind::Packet);
    EXPECT_EQ(d.services[1].components[0].applications[0].data, (std::vector<uint8_t>{0x00, 0x0C}));
    EXPECT_EQ(d.announcements[0].fromFrame, 41);
    ASSERT_EQ(d.faults.size(), 2u);
    EXPECT_EQ(d.faults[1].value, 0xE456u);
}

TEST(EnsembleDescriptionReader, ExplainsWhatIsWrong)
{
    const struct {
        const char *name;
        const char *json;
        const char *error;
    } rows[] = {
        {"not JSON", "{", ""},
        {"sid too large", R"({"services": [{"sid": "0x10000", "components": []}]})", "\"sid\""},
        {"bad protection", R"({"subChannels": [{"id": 1, "bitRate": 64, "protection": "EEP-5A"}]})", "EEP-5A"},
        {"bad content", R"({"subChannels": [{"id": 1, "bitRate": 64, "content": {"type": "video"}}]})", "video"},
        {"bad fault", R"({"faults": [{"kind": "meteor"}]})", "meteor"},
        {"bad time", R"({"time": "yesterday"})", "\"time\""},
        {"long label", R"({"ensemble": {"label": "seventeen chars!!"}})", "16 characters"},
        {"missing sub-channel",
         R"({"subChannels": [{"id": 1, "bitRate": 64}],
             "services": [{"sid": 1, "label": "x", "components": [{"subChannel": 2}]}]})",
         "missing sub-channel 2"},
        {"no seconds", R"({"seconds": 0})", "\"seconds\""},
        {"huge number", R"({"ensemble": {"eid": 1e300}})", "\"eid\""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        DescriptionFile file;
        QString error;
        QStringList warnings;
        EXPECT_FALSE(readDescription(writeJson(dir, row.json), &file, &error, &warnings));
        EXPECT_TRUE(error.contains(QLatin1String(row.error))) << error.toStdString();
    }
}

TEST(EnsembleDescriptionReader, TheDemoDescriptionsAreValid)
{
    const QDir demo(QStringLiteral(ZOZ_SOURCE_DIR "/tools/ensemble/demo"));
    const QStringList files = demo.entryList({QStringLiteral("*.json")});
    ASSERT_GE(files.size(), 1);
    for (const QString &name : files) {
        SCOPED_TRACE(name.toStdString());
        DescriptionFile file;
        QString error;
        QStringList warnings;
        const bool ok = readDescription(demo.filePath(name), &file, &error, &warnings);
        if (!ok && error.contains(QLatin1String("libtwolame")))
            GTEST_SKIP() << error.toStdString();
        ASSERT_TRUE(ok) << error.toStdString();
        EnsembleGenerator generator(file.description);
        std::vector<uint8_t> frame(ZOZ_ETI_FRAME_SIZE);
        ZozEtiFrame parsed;
        ASSERT_TRUE(generator.nextFrame(frame.data()));
        EXPECT_EQ(ZozEti_ParseFrame(frame.data(), frame.size(), &parsed), ZOZ_ETI_OK);
        EXPECT_GE(file.description.services.size(), 2u);
    }
}

} // namespace
