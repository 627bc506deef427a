#include "Gunzip.h"
#include "base/ZOZDabText.h"
#include "base/ZOZDabText_tables.h"
#include "http/ZOZGzip.h"
#include "web/ZOZWebText.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>
#include <QSet>


using namespace ZOZ;
using ZOZTest::gunzip;

TEST(WebText, EscapeXmlEscapesFourCharactersOnly)
{
    EXPECT_EQ(escapeXml(QStringLiteral("a<b & \"c\" 'd'>")),
              QStringLiteral("a&lt;b &amp; &quot;c&quot; 'd'&gt;"));
}

TEST(WebText, EscapeJsonTextFoldsWhiteSpaceAndEscapesTheRest)
{
    struct Row { const char *name; QString in; QString out; };
    const Row rows[] = {
        { "tab, CR and LF become blanks", QStringLiteral("a\tb\r\nc"), QStringLiteral("a b  c") },
        { "entities stay", QStringLiteral("a<b & \"c\""), QStringLiteral("a&lt;b &amp; &quot;c&quot;") },
        { "backslash escaped", QStringLiteral("C:\\dir"), QStringLiteral("C:\\\\dir") },
        { "NUL and other controls", QString(QChar(0)) + QChar(0x1B) + QChar(0x1F), QStringLiteral("\\u0000\\u001b\\u001f") },
        { "non-ASCII untouched", QStringLiteral("Gr\u00fc\u00dfe \u20ac"), QStringLiteral("Gr\u00fc\u00dfe \u20ac") },
    };
    for (const Row &row : rows)
        EXPECT_EQ(escapeJsonText(row.in), row.out) << row.name;
}

TEST(WebText, HtmlEscapingPerContext)
{
    struct Case { const char *name; QString text; QString asText; QString asAttribute; };
    const Case cases[] = {
        { "markup", QStringLiteral("<b>&</b>"), QStringLiteral("&lt;b&gt;&amp;&lt;/b&gt;"), QStringLiteral("&lt;b&gt;&amp;&lt;/b&gt;") },
        { "quotes", QStringLiteral("\"a\" 'b'"), QStringLiteral("\"a\" 'b'"), QStringLiteral("&quot;a&quot; &#39;b&#39;") },
        { "white space", QStringLiteral("a\r\nb\tc"), QStringLiteral("a  b c"), QStringLiteral("a  b c") },
        { "control bytes", QStringLiteral("A\x1f" "B\x01\x7f") + QChar(0x9f) + QStringLiteral("C"), QStringLiteral("ABC"), QStringLiteral("ABC") },
        { "backslash and letters", QStringLiteral("\\u001f \u00e9"), QStringLiteral("\\u001f \u00e9"), QStringLiteral("\\u001f \u00e9") },
        { "empty", QString(), QString(), QString() },
    };
    for (const Case &c : cases) {
        EXPECT_EQ(escapeHtmlText(c.text), c.asText) << c.name;
        EXPECT_EQ(escapeHtmlAttribute(c.text), c.asAttribute) << c.name;
    }
}

TEST(WebText, HtmlToPlainText)
{
    EXPECT_EQ(htmlToPlainText(QStringLiteral("Line 1<br/>Line <b>2</b>")), QStringLiteral("Line 1\r\nLine 2"));
    EXPECT_EQ(htmlToPlainText(QStringLiteral("a<BR>b")), QStringLiteral("ab"));
}

TEST(DabText, CharacterSets)
{
    EXPECT_EQ(dabTextToString(DabCharsetUtf8, "  Caf\xc3\xa9 ", 8), QStringLiteral("  Caf\u00e9 "));
    EXPECT_EQ(dabTextToString(DabCharsetEbuLatin, "  Stra\x8D" "e  ", 10), QStringLiteral("Stra\u00dfe"));
    EXPECT_EQ(dabTextToString(DabCharsetUcs2, "\x00 \x00R\x20\xAC\x00", 7), QStringLiteral("R\u20ac"));
    EXPECT_EQ(dabTextToString(DabCharsetEbuLatin, nullptr, 5), QString());
}

// Checks the table by properties of the repertoire rather than by a second copy of it:
// ASCII where the repertoire keeps it, accented capitals and small letters in the
// parallel columns, and every printable position a distinct printable character.
TEST(DabText, EbuLatinRepertoireProperties)
{
    const QSet<int> replacedAscii { 0x24, 0x5C, 0x5E, 0x60, 0x7B, 0x7C, 0x7D, 0x7E, 0x7F };
    for (int c = 0x20; c < 0x80; ++c) {
        if (!replacedAscii.contains(c)) {
            EXPECT_EQ(EbuLatinBasedRepertoire[c], char16_t(c)) << c;
        }
    }
    // Columns 8/9 hold small letters whose capitals sit in columns C/D.
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(QChar(EbuLatinBasedRepertoire[0x80 + i]).toUpper(), QChar(EbuLatinBasedRepertoire[0xC0 + i])) << i;
        EXPECT_EQ(QChar(EbuLatinBasedRepertoire[0x90 + i]).toUpper(), QChar(EbuLatinBasedRepertoire[0xD0 + i])) << i;
    }
    for (int i = 0xA; i < 0x10; ++i)
        EXPECT_EQ(QChar(EbuLatinBasedRepertoire[0xD0 + i]).toUpper(), QChar(EbuLatinBasedRepertoire[0xC0 + i])) << i;
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 15)
            continue; // the circumflex y and w are both small; eth has no capital here
        EXPECT_EQ(QChar(EbuLatinBasedRepertoire[0xF0 + i]).toUpper(), QChar(EbuLatinBasedRepertoire[0xE0 + i])) << i;
    }
    // Column 0 holds capitals, column 1 the matching small letters, where both exist.
    for (int i : { 1, 2, 3, 4, 5, 6, 7, 8, 9, 0xC, 0xD, 0xE })
        EXPECT_EQ(QChar(EbuLatinBasedRepertoire[0x10 + i]).toUpper(), QChar(EbuLatinBasedRepertoire[0x00 + i])) << i;

    const QSet<int> controls { 0x00, 0x0A, 0x0B, 0x1F };
    QSet<char16_t> seen;
    for (int c = 0; c < 256; ++c) {
        if (controls.contains(c))
            continue;
        EXPECT_TRUE(QChar(EbuLatinBasedRepertoire[c]).isPrint()) << c;
        EXPECT_FALSE(seen.contains(EbuLatinBasedRepertoire[c])) << "duplicate at " << c;
        seen.insert(EbuLatinBasedRepertoire[c]);
    }
    EXPECT_EQ(EbuLatinBasedRepertoire[0x8D], u'\u00df');
    EXPECT_EQ(EbuLatinBasedRepertoire[0xA9], u'\u20ac');
}

TEST(DabText, IdToHex)
{
    EXPECT_EQ(dabIdToHex(0xE0, 0x1234), QStringLiteral("e01234"));
    EXPECT_EQ(dabIdToHex(0xE0, 0x10000), QStringLiteral("10000"));
    EXPECT_EQ(dabIdToHex(0x0, 0xd), QStringLiteral("0d"));
}


TEST(Gzip, CompressesTextAndRefusesRandomData)
{
    const QByteArray original = QByteArray("{\"success\":true,\"list\":[") + QByteArray(2000, 'x') + "]}";
    QByteArray data = original;
    ASSERT_TRUE(gzipCompress(data));
    EXPECT_LT(data.size(), original.size());
    EXPECT_EQ(uchar(data.at(0)), 0x1f);
    EXPECT_EQ(uchar(data.at(1)), 0x8b);
    EXPECT_EQ(gunzip(data), original);

    QByteArray random(10, Qt::Uninitialized);
    QRandomGenerator generator(42);
    for (char &c : random)
        c = char(generator.bounded(256));
    const QByteArray before = random;
    EXPECT_FALSE(gzipCompress(random));
    EXPECT_EQ(random, before);

    QByteArray empty;
    EXPECT_FALSE(gzipCompress(empty));
}
