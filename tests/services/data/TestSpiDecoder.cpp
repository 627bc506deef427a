// The binary programme guide decoder over documents of the test's own
// encoder: length forms, tokens, times, content IDs, the default location,
// and truncated or malformed input.
#include "data/ZOZSpiElement.h"

#include "SpiEncoder.h"


#include <gtest/gtest.h>

using namespace ZOZ;
using namespace ZOZTest::Spi;

namespace {

SpiElement decode(const QByteArray &bytes, SpiDecodeContext &context)
{
    return decodeSpiElement(reinterpret_cast<const uchar *>(bytes.constData()), quint32(bytes.size()), context);
}

SpiElement decode(const QByteArray &bytes)
{
    SpiDecodeContext context;
    return decode(bytes, context);
}

QDateTime utc(int year, int month, int day, int hour, int minute, int second = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::UTC);
}

TEST(SpiDecoder, lengthFormsGiveSizeAndText)
{
    const QByteArray text(300, 'x');
    struct Row
    {
        const char *name;
        LengthForm form;
        quint32 header;
    } rows[] = {
        {"one byte", LengthForm::Shortest, 2},
        {"16 bits", LengthForm::Long16, 4},
        {"24 bits", LengthForm::Long24, 5},
    };
    for (const Row &row : rows) {
        const QByteArray content = characters(text.left(200));
        const SpiElement element = decode(block(0x10, content, row.form));
        EXPECT_EQ(element.name, QStringLiteral("shortName")) << row.name;
        EXPECT_EQ(element.length, quint32(content.size())) << row.name;
        EXPECT_EQ(element.size, row.header + quint32(content.size())) << row.name;
        EXPECT_EQ(element.text, text.left(200)) << row.name;
    }
    // 0xFE 0x01 0x00: 256 bytes behind a 4-byte header.
    const QByteArray long256 = QByteArray("\x10\xFE\x01\x00", 4) + attribute(0x80, "en") + characters(QByteArray(250, 'y'));
    const SpiElement element = decode(long256);
    EXPECT_EQ(element.length, 256u);
    EXPECT_EQ(element.size, 260u);
    EXPECT_EQ(element.text.size(), 250);
}

TEST(SpiDecoder, headersThatDoNotFitGiveNothing)
{
    const QByteArray rows[] = {QByteArray(), QByteArray("\x10", 1), QByteArray("\x10\xFE\x01", 3),
                               QByteArray("\x10\xFF\x00\x01", 4)};
    for (const QByteArray &bytes : rows) {
        const SpiElement element = decode(bytes);
        EXPECT_TRUE(element.name.isEmpty()) << bytes.toHex().constData();
        EXPECT_EQ(element.size, 0u) << bytes.toHex().constData();
    }
    EXPECT_EQ(decode(QByteArray("\x7F\x02\x01\x00", 4)).size, 0u) << "a tag that is no element";
}

TEST(SpiDecoder, contentNeverReachesBeyondWhatIsThere)
{
    // A longName that claims 200 bytes with 10 there, inside a service.
    const QByteArray inner = QByteArray("\x12\xC8", 2) + characters("0123456");
    const SpiElement cut = decode(inner);
    EXPECT_EQ(cut.name, QStringLiteral("longName"));
    EXPECT_EQ(cut.size, quint32(inner.size()));
    EXPECT_EQ(cut.text, QByteArray("0123456"));
    // The element's own length ends its content even when the buffer goes on.
    const QByteArray two = textElement(0x10, "ab") + textElement(0x11, "cd");
    const QByteArray first = element(0x28, two.left(6)) + two.mid(6);
    const SpiElement service = decode(first);
    ASSERT_EQ(service.children.size(), 1);
    EXPECT_EQ(service.children.first().text, QByteArray("ab"));
}

TEST(SpiDecoder, attributesAndPresets)
{
    const QByteArray bytes = element(0x1C, attribute(0x80, "crid") + attribute(0x84, "\x02") + attribute(0x80, "id2")
                                               + textElement(0x10, "News"));
    const SpiElement programme = decode(bytes);
    ASSERT_EQ(programme.attributes.size(), 3);
    EXPECT_EQ(programme.attributes[0].name, QStringLiteral("recommendation"));
    EXPECT_EQ(programme.attributes[0].value, QByteArray("\x01"));
    EXPECT_EQ(programme.attributes[1].value, QByteArray("\x02")) << "a decoded attribute replaces its preset";
    EXPECT_EQ(programme.attributes[2].value, QByteArray("id2")) << "a repeated attribute replaces the first";
    ASSERT_EQ(programme.children.size(), 1);
    EXPECT_EQ(programme.children[0].text, QByteArray("News"));

    // An unnamed attribute tag ends the attributes and, not being a child, the element.
    const SpiElement stopped = decode(element(0x10, attribute(0x85, "x") + characters("t")));
    EXPECT_TRUE(stopped.attributes.isEmpty());
    EXPECT_TRUE(stopped.text.isEmpty());
    // A child tag that the element does not hold ends its children.
    const SpiElement service = decode(element(0x28, textElement(0x10, "a") + textElement(0x1C, "b")
                                                        + textElement(0x11, "c")));
    EXPECT_EQ(service.children.size(), 1);
}

TEST(SpiDecoder, tokenTableAndExpansion)
{
    QMap<quint8, QByteArray> tokens {{1, "Radio "}, {2, "\x02x"}, {3, ""}};
    SpiDecodeContext context;
    const SpiElement root = decode(element(0x02, tokenTable(tokens) + element(0x21, QByteArray())), context);
    EXPECT_EQ(root.name, QStringLiteral("spi"));
    EXPECT_EQ(expandSpiTokens("\x01One", context.tokens), QStringLiteral("Radio One"));
    EXPECT_EQ(expandSpiTokens("a\x02" "b", context.tokens), QStringLiteral("a\x02xb"))
        << "the inserted string is not expanded again";
    EXPECT_EQ(expandSpiTokens("a\x03" "b", context.tokens), QStringLiteral("ab"));
    EXPECT_EQ(expandSpiTokens("a\x04" "b", context.tokens), QStringLiteral("a\x04" "b")) << "not in the table";

    // 9, 10 and 13 are never tokens: a table that lists one ends there.
    for (const quint8 stop : {quint8(9), quint8(10), quint8(13), quint8(0), quint8(20), quint8(1)}) {
        QByteArray entries = QByteArray("\x01\x01" "A", 3) + char(stop) + QByteArray("\x01" "B", 2)
                             + QByteArray("\x05\x01" "C", 3);
        SpiDecodeContext stopped;
        decode(element(0x02, block(0x04, entries)), stopped);
        EXPECT_TRUE(stopped.tokens.contains(1)) << int(stop);
        EXPECT_FALSE(stopped.tokens.contains(5)) << int(stop);
        EXPECT_EQ(expandSpiTokens(QByteArray("\x01\x0A", 2), stopped.tokens), QStringLiteral("A\n"));
    }
}

TEST(SpiDecoder, tokenExpansionIsCapped)
{
    SpiTokenTable tokens;
    tokens.insert(1, QByteArray(255, 'x'));
    const QString expanded = expandSpiTokens(QByteArray(4000, '\x01'), tokens);
    EXPECT_EQ(expanded.size(), MaxSpiTextBytes) << "255 times 4000 bytes would be a megabyte";
}

TEST(SpiDecoder, dabTimes)
{
    const QDateTime rows[] = {utc(1970, 1, 1, 0, 0), utc(2026, 12, 11, 5, 30, 59), utc(2038, 1, 19, 3, 14, 7),
                              utc(2000, 2, 29, 23, 59, 1)};
    for (const QDateTime &time : rows) {
        EXPECT_EQ(decodeSpiTime(dabTime(time, true)), quint32(time.toSecsSinceEpoch())) << qPrintable(time.toString());
        const QDateTime minute = time.addSecs(-time.time().second());
        EXPECT_EQ(decodeSpiTime(dabTime(time, false)), quint32(minute.toSecsSinceEpoch()))
            << "without the UTC flag seconds are not read";
    }
    EXPECT_EQ(decodeSpiTime(dabTime(utc(2026, 1, 1, 0, 0), false).left(3)), 0u);
    QByteArray invalid = dabTime(utc(2026, 1, 1, 12, 0), false);
    invalid[0] = char(invalid[0] & 0x7F);
    EXPECT_EQ(decodeSpiTime(invalid), quint32(utc(2026, 1, 1, 12, 0).toSecsSinceEpoch()))
        << "the validity bit is not required";
}

TEST(SpiDecoder, contentIds)
{
    ContentId ensemble {true, 0xE1, 0xD123, 0xD2D1, false, 3, true, 12};
    ContentId plain;
    plain.sid = 0x5123;
    ContentId wide;
    wide.sid = 0xE1D2D1AB;
    wide.sid32 = true;
    const QByteArray bytes = ensemble.bytes() + plain.bytes() + wide.bytes() + QByteArray("\x00\x12", 2);
    const QVector<SpiContentId> ids = decodeSpiContentIds(bytes, 0xE0D, true);
    ASSERT_EQ(ids.size(), 3) << "a record that does not fit ends the list";
    EXPECT_TRUE(ids[0].ensembleFlag);
    EXPECT_EQ(ids[0].ecc, 0xE1);
    EXPECT_EQ(ids[0].eid, 0xD123);
    EXPECT_EQ(ids[0].countryId, 0xD);
    EXPECT_EQ(ids[0].countryKey, 0xE1D);
    EXPECT_EQ(ids[0].sid, 0xD2D1u);
    EXPECT_TRUE(ids[0].sid16);
    EXPECT_EQ(ids[0].scids, 3);
    EXPECT_TRUE(ids[0].xpadFlag);
    EXPECT_EQ(ids[0].xpadType, 12);
    EXPECT_EQ(ids[1].ecc, 0xE0) << "from the carrying service";
    EXPECT_EQ(ids[1].countryKey, 0xE0D);
    EXPECT_EQ(ids[1].sid, 0x5123u);
    EXPECT_FALSE(ids[2].sid16);
    EXPECT_EQ(ids[2].sid, 0xE1D2D1ABu);

    // The three-byte form: ECC, country and the 24-bit value as SId.
    const QVector<SpiContentId> shortForm = decodeSpiContentIds(QByteArray("\xE0\x1A\xBC\xE1", 4), 0, false);
    ASSERT_EQ(shortForm.size(), 1);
    EXPECT_EQ(shortForm[0].countryKey, 0xE0D) << "E0 1 is filed under E0 D";
    EXPECT_EQ(shortForm[0].countryId, 0xD);
    EXPECT_EQ(shortForm[0].sid, 0xE01ABCu);
    EXPECT_TRUE(shortForm[0].sid16);
}

TEST(SpiDecoder, defaultContentIdFillsLocationsWithoutBearer)
{
    ContentId id;
    id.sid = 0xD2D1;
    ContentId bearerId;
    bearerId.sid = 0xD777;
    const QByteArray withoutBearer = element(0x1C, element(0x19, element(0x2C, attribute(0x80, dabTime(utc(2026, 1, 1, 8, 0), false)))));
    const QByteArray withBearer = element(0x1C, element(0x19, element(0x2D, attribute(0x80, bearerId.bytes()))));
    SpiDecodeContext context;
    context.serviceCountryKey = 0xE1D;
    context.fullContentIdForm = true;
    const SpiElement root = decode(element(0x02, block(0x05, id.bytes()) + block(0x06, "de")
                                                     + element(0x21, withoutBearer + withBearer)),
                                   context);
    ASSERT_NE(root.attribute(5), nullptr);
    EXPECT_EQ(root.attribute(5)->name, QStringLiteral("defaultContentId"));
    EXPECT_EQ(root.attribute(6)->value, QByteArray("de"));
    ASSERT_EQ(root.children.size(), 1);
    const SpiElement &schedule = root.children[0];
    ASSERT_EQ(schedule.children.size(), 2);
    const SpiElement &filled = schedule.children[0].children[0];
    ASSERT_EQ(filled.children.size(), 2);
    EXPECT_EQ(filled.children[1].name, QStringLiteral("serviceId"));
    EXPECT_EQ(filled.children[1].attribute(0x80)->contentIds.first().sid, 0xD2D1u);
    const SpiElement &own = schedule.children[1].children[0];
    ASSERT_EQ(own.children.size(), 1);
    EXPECT_EQ(own.children[0].attribute(0x80)->contentIds.first().sid, 0xD777u);
}

TEST(SpiDecoder, everyPrefixAndFlipDecodesWithinItsBytes)
{
    ContentId id;
    id.sid = 0xD2D1;
    Programme programme {"News", "The News", "Long text", utc(2026, 12, 11, 6, 0), 1800, "\x01\x02\x03\x04\x05", {}};
    const QByteArray document = element(0x02, tokenTable({{1, "The "}}) + block(0x05, id.bytes())
                                                  + element(0x21, attribute(0x80, be16(7)) + programme.bytes()));
    for (int cut = 0; cut <= document.size(); ++cut) {
        // Each prefix in a buffer of exactly its size, so a read past it is caught by the sanitizers.
        QByteArray prefix = document.left(cut);
        SpiDecodeContext context;
        context.fullContentIdForm = true;
        const SpiElement root = decode(prefix, context);
        EXPECT_LE(root.size, quint32(cut));
    }
    for (int at = 0; at < document.size(); ++at) {
        for (const char value : {char(0x00), char(0xFE), char(0xFF), char(0x01), char(0x19)}) {
            QByteArray flipped = document;
            flipped[at] = value;
            SpiDecodeContext context;
            context.fullContentIdForm = true;
            EXPECT_LE(decode(flipped, context).size, quint32(flipped.size()));
        }
    }
}

} // namespace
