#include "SettingsFixture.h"
#include "TemplateFixture.h"

#include "StrictJson.h"
#include "web/ZOZHtmlTemplate.h"
#include "web/ZOZTemplateValue.h"

#include <QCryptographicHash>
#include <QRegularExpression>

#include <random>

using namespace ZOZ;
using ZOZTest::StyleFolder;

namespace {

using Row = TemplateVariable::Row;
using Rows = TemplateVariable::Rows;

class HtmlTemplateTest : public StyleFolder
{
protected:
    // A template over the given text, loaded from a file of its own.
    QString render(const QByteArray &page, const std::function<void(HtmlTemplate &)> &fill = {})
    {
        writeFile(QStringLiteral("templates/page.html"), page);
        HtmlTemplate page1(QStringLiteral("/templates/page.html"));
        page1.reset();
        if (fill)
            fill(page1);
        return QString::fromUtf8(page1.render());
    }
};

} // namespace

TEST_F(HtmlTemplateTest, LoadRefusesNamesWithoutLeadingSlashAndKeepsLastGoodText)
{
    writeFile(QStringLiteral("templates/a.html"), "first");
    writeFile(QStringLiteral("templates/empty.html"), "  \n <!-- #include \"templates/missing.html\" -->\n");
    HtmlTemplate page(QStringLiteral("/templates/a.html"));
    EXPECT_FALSE(page.load(QStringLiteral("templates/a.html")));
    EXPECT_FALSE(page.load(QString()));
    EXPECT_EQ(page.templateName(), QStringLiteral("/templates/a.html"));

    EXPECT_FALSE(page.load(QStringLiteral("/templates/empty.html")));
    EXPECT_EQ(page.templateName(), QStringLiteral("/templates/empty.html"));
    page.reset();
    EXPECT_EQ(page.render(), QByteArray("first"));

    EXPECT_FALSE(page.load(QStringLiteral("/templates/missing.html")));
    page.reset();
    EXPECT_EQ(page.render(), QByteArray("first"));
}

TEST_F(HtmlTemplateTest, IncludesAndReplaceStackApplyInnermostFirst)
{
    writeFile(QStringLiteral("templates/header.html"),
              "<!-- #replace \"A\":\"2\" -->header {A} {TITLE}<if A>[a]</if A>\n"
              "<!-- #include \"templates/footer.html\" -->");
    writeFile(QStringLiteral("templates/footer.html"), "footer {A}");
    const QString out = render("\n\n  <!-- #replace \"A\":\"1\" --><!-- #replace \"TITLE\":\"T\" -->"
                               "<!-- #include \"templates/header.html\" -->|page {A} {TITLE}"
                               "<!--  #include \"templates/footer.html\" -->|"
                               "<!-- #replace \"TITLE\":\"later\" -->");
    // The later page directive wins for the page's own text; leading blanks go.
    EXPECT_EQ(out, QStringLiteral("header 2 later[a]\nfooter 2|page 1 later|"));
}

TEST_F(HtmlTemplateTest, IncludeCyclesEnd)
{
    writeFile(QStringLiteral("templates/self.html"), "x<!-- #include \"templates/self.html\" -->");
    writeFile(QStringLiteral("templates/b.html"), "b<!-- #include \"/templates/c.html\" -->");
    writeFile(QStringLiteral("templates/c.html"), "c<!-- #include \"templates/b.html\" -->");
    HtmlTemplate self(QStringLiteral("/templates/self.html"));
    self.reset();
    // The page itself and sixteen levels of includes below it.
    EXPECT_EQ(self.render(), QByteArray(17, 'x'));

    // Twice at every level would be 2^17 copies.
    writeFile(QStringLiteral("templates/twice.html"),
              "y<!-- #include \"templates/twice.html\" --><!-- #include \"templates/twice.html\" -->");
    HtmlTemplate twice(QStringLiteral("/templates/twice.html"));
    twice.reset();
    EXPECT_EQ(twice.render(), QByteArray(512, 'y'));

    HtmlTemplate cycle(QStringLiteral("/templates/b.html"));
    cycle.reset();
    EXPECT_EQ(cycle.render(), QByteArray("bcbcbcbcbcbcbcbcb"));
}

TEST_F(HtmlTemplateTest, IncludeCannotLeaveTheStyleRoot)
{
    writeFile(QStringLiteral("secret.txt"), "secret");
    writeFile(QStringLiteral("templates/page.html"), "<!-- #include \"templates/../secret.txt\" -->ok");
    HtmlTemplate page(QStringLiteral("/templates/page.html"));
    page.reset();
    EXPECT_EQ(page.render(), QByteArray("ok"));
}

TEST_F(HtmlTemplateTest, ConditionsFollowTheTruthOfTheValue)
{
    struct Case
    {
        const char *value;
        const char *expected;
    };
    const Case cases[] = {
        {"false", "[no]"}, {"", "[no]"}, {"0", "[yes]"}, {"no", "[yes]"}, {"False", "[yes]"}, {"x", "[yes]"},
    };
    for (const Case &c : cases) {
        const QString out = render("<if V>[yes]</if V><ifnot V>[no]</ifnot V>",
                                   [&](HtmlTemplate &t) { t.setVariable(QStringLiteral("V"), QString::fromLatin1(c.value)); });
        EXPECT_EQ(out, QLatin1String(c.expected)) << "value '" << c.value << "'";
    }
}

TEST_F(HtmlTemplateTest, SettersEditTheTextAtOnce)
{
    const QString out = render("{A} <if OPEN>never closed {B}", [](HtmlTemplate &t) {
        t.setVariable(QStringLiteral("A"), QStringLiteral("{B}"));
        t.setVariable(QStringLiteral("OPEN"), true);
        t.setVariable(QStringLiteral("B"), "x");
        t.setVariable(QStringLiteral("B"), "second");
        t.setVariable(QString(), "ignored");
    });
    EXPECT_EQ(out, QStringLiteral("x <if OPEN>never closed x"));

    const QString numbers = render("{U8} {I} {U} {F} {G}", [](HtmlTemplate &t) {
        t.setVariable(QStringLiteral("U8"), quint8(200));
        t.setVariable(QStringLiteral("I"), -3);
        t.setVariable(QStringLiteral("U"), 4000000000u);
        t.setVariable(QStringLiteral("F"), 0.5f);
        t.setVariable(QStringLiteral("G"), 1234567.0f);
    });
    EXPECT_EQ(numbers, QStringLiteral("200 -3 4000000000 0.5 1.23457e+06"));
}

TEST_F(HtmlTemplateTest, ListsExpandRowsWithTheirSpecials)
{
    const QByteArray page = "<if L>has</if L><ifnot L>none</ifnot L>:"
                            "<!-- begin:L -->[{L:__INDEX__}/{L:__INDEX+ONE__} {L:name}"
                            "<if L:__FIRST_ITEM__>F</if L:__FIRST_ITEM__><if L:__LAST_ITEM__>E</if L:__LAST_ITEM__>]"
                            "<!-- end:L -->.";
    const auto rows = [](int count) {
        Rows rows;
        for (int i = 0; i < count; ++i)
            rows.append(Row{TemplateVariable(QStringLiteral("name"), QStringLiteral("n%1").arg(i))});
        return rows;
    };
    EXPECT_EQ(render(page, [&](HtmlTemplate &t) { t.expandLoops(QStringLiteral("L"), rows(3)); }),
              QStringLiteral("has:[0/1 n0F][1/2 n1][2/3 n2E]."));
    EXPECT_EQ(render(page, [&](HtmlTemplate &t) { t.expandLoops(QStringLiteral("L"), rows(1)); }),
              QStringLiteral("has:[0/1 n0FE]."));
    EXPECT_EQ(render(page, [&](HtmlTemplate &t) { t.expandLoops(QStringLiteral("L"), rows(0)); }),
              QStringLiteral("none:."));
    // Never set: the comments go, the pattern stays once with its placeholders.
    EXPECT_EQ(render(page), QStringLiteral("none:[{L:__INDEX__}/{L:__INDEX+ONE__} {L:name}]."));
}

TEST_F(HtmlTemplateTest, ListEdgeCases)
{
    const Rows hostile{Row{TemplateVariable(QStringLiteral("raw"), QStringLiteral("<!-- begin:L -->again<!-- end:L -->")),
                           TemplateVariable(QStringLiteral("text"), QStringLiteral("a<b\nc"), true),
                           TemplateVariable(QStringLiteral("plain"), QStringLiteral("a<b\nc"))}};
    const QString out = render("<!-- begin:L -->{L:raw}|{L:text}|{L:plain}<!-- end:L -->"
                               "<!-- begin:L -->no end",
                               [&](HtmlTemplate &t) { t.expandLoops(QStringLiteral("L"), hostile); });
    // A value that brings a begin comment along is not expanded again.
    EXPECT_EQ(out, QStringLiteral("again|a&lt;b c|a<b\ncno end"));

    const Rows nested{Row{TemplateVariable(QStringLiteral("id"), 1),
                          TemplateVariable(QStringLiteral("sub"), Rows{Row{TemplateVariable(QStringLiteral("v"), "a")},
                                                                       Row{TemplateVariable(QStringLiteral("v"), "b")}})}};
    EXPECT_EQ(render("<!-- begin:L -->{L:id}(<!-- begin:L:sub -->{L:sub:v}<!-- end:L:sub -->)<!-- end:L -->",
                     [&](HtmlTemplate &t) { t.expandLoops(QStringLiteral("L"), nested); }),
              QStringLiteral("1(ab)"));
}

// Texts from outside (labels, titles) are escaped for where each placeholder
// stands: HTML text, an attribute value, or a JSON data block.
TEST_F(HtmlTemplateTest, EscapedValuesFitWhereTheyStand)
{
    struct Case { const char *name; const char *page; QString value; QString expected; };
    const QString quotes = QStringLiteral("x\" onfocus='y'");
    const Case cases[] = {
        { "text", "<p>{L:v}</p>", QStringLiteral("a<b & \"c\""), QStringLiteral("<p>a&lt;b &amp; \"c\"</p>") },
        { "control byte in text", "<span>{L:v}</span>", QStringLiteral("AB\x1f" "CD\x7f"), QStringLiteral("<span>ABCD</span>") },
        { "line break and tab", "<span>{L:v}</span>", QStringLiteral("a\nb\tc"), QStringLiteral("<span>a b c</span>") },
        { "double-quoted attribute", "<a title=\"{L:v}\">", quotes, QStringLiteral("<a title=\"x&quot; onfocus=&#39;y&#39;\">") },
        { "single-quoted attribute", "<a title='{L:v}'>", quotes, QStringLiteral("<a title='x&quot; onfocus=&#39;y&#39;'>") },
        { "control byte in attribute", "<a title=\"{L:v}\">", QStringLiteral("A\x1f" "B"), QStringLiteral("<a title=\"AB\">") },
        { "unquoted attribute", "<a title={L:v}>", QStringLiteral("a b=c"), QStringLiteral("<a title=a&#32;b&#61;c>") },
        { "attribute after a block inside quotes", "<li class=\"r<if L:no> s</if L:no>\" title=\"{L:v}\">{L:v}</li>",
          QStringLiteral("\"<"), QStringLiteral("<li class=\"r\" title=\"&quot;&lt;\">\"&lt;</li>") },
        { "text after a block", "<if L:no>x</if L:no><b>{L:v}</b>", QStringLiteral("'"), QStringLiteral("<b>'</b>") },
        { "JSON data block", "<script type=\"application/json\">{\"v\": \"{L:v}\"}</script><p>{L:v}</p>",
          QStringLiteral("a\"\\</script>\x1f"),
          QStringLiteral("<script type=\"application/json\">{\"v\": \"a&quot;\\\\&lt;/script&gt;\\u001f\"}</script>"
                         "<p>a\"\\&lt;/script&gt;</p>") },
        { "text after a comment", "<!-- <a title=\" -->{L:v}", QStringLiteral("\"<"), QStringLiteral("\"&lt;") },
    };
    for (const Case &row : cases) {
        const Rows rowsOfList { Row { TemplateVariable(QStringLiteral("v"), row.value, true),
                                        TemplateVariable(QStringLiteral("no"), false) } };
        const QString listed = render(QByteArray("<!-- begin:L -->") + row.page + "<!-- end:L -->",
                                      [&](HtmlTemplate &t) { t.expandLoops(QStringLiteral("L"), rowsOfList); });
        EXPECT_EQ(listed, row.expected) << row.name;
        const QString set = render(row.page, [&](HtmlTemplate &t) {
            t.setTextVariable(QStringLiteral("L:v"), row.value);
            t.setVariable(QStringLiteral("L:no"), false);
        });
        EXPECT_EQ(set, row.expected) << row.name << " (setTextVariable)";
    }
    // Values of the program's own go in as they are.
    EXPECT_EQ(render("<p>{V}</p>", [](HtmlTemplate &t) { t.setVariable(QStringLiteral("V"), "<b>x</b>"); }),
              QStringLiteral("<p><b>x</b></p>"));
}

TEST_F(HtmlTemplateTest, JsonDirectiveDeclaresTheRecordedList)
{
    Rows rows;
    for (int i = 0; i < 2; ++i)
        rows.append(Row{TemplateVariable(QStringLiteral("id"), i), TemplateVariable(QStringLiteral("on"), i == 1),
                        TemplateVariable(QStringLiteral("label"), QStringLiteral("a\"b\\c"), true)});
    const QString out = render("<script><!-- #json SERVICES as services --> <!--#json   OTHER as other-->"
                               "<!-- #json SERVICES as -->|</script>",
                               [&](HtmlTemplate &t) {
                                   QString elsewhere;
                                   t.expandLoops(QStringLiteral("SERVICES"), rows);
                                   t.expandLoops(QStringLiteral("OTHER"), rows, &elsewhere);
                               });
    const QRegularExpression statement(QStringLiteral("^<script>var services = (.*); </script>$"));
    const QRegularExpressionMatch match = statement.match(out.section(QLatin1Char('|'), 0, 0) + QStringLiteral("</script>"));
    ASSERT_TRUE(match.hasMatch()) << out.toStdString();
    const QByteArray json = match.captured(1).toUtf8();
    EXPECT_TRUE(ZOZTest::StrictJson::isValid(json)) << json.constData();
    EXPECT_TRUE(json.startsWith("[{\"id\":0,\"on\":false,\"label\":")) << json.constData();
    EXPECT_TRUE(out.endsWith(QStringLiteral("|</script>")));
}

TEST_F(HtmlTemplateTest, JsonOfAnUnrecordedListIsAnEmptyObject)
{
    QString target = QStringLiteral("<!-- #json L as l -->");
    writeFile(QStringLiteral("templates/p.html"), "x");
    HtmlTemplate page(QStringLiteral("/templates/p.html"));
    page.expandLoops(QStringLiteral("L"), Rows{}, &target);
    EXPECT_EQ(target, QStringLiteral("var l = {};"));
    EXPECT_TRUE(page.variables().isEmpty());
}

TEST_F(HtmlTemplateTest, RecordsAndValueTree)
{
    writeFile(QStringLiteral("templates/p.html"), "{R:a} {b} <if R>r</if R>");
    HtmlTemplate page(QStringLiteral("/templates/p.html"));
    page.reset();
    page.setRecord(QStringLiteral("R"), Row{TemplateVariable(QStringLiteral("a"), 5)});
    page.setRecord(QString(), Row{TemplateVariable(QStringLiteral("b"), QStringLiteral("<b>"), true)});
    page.setVariable(QStringLiteral("S"), QStringLiteral("s"));
    EXPECT_EQ(QString::fromUtf8(page.render()), QStringLiteral("5 &lt;b&gt; r"));

    EXPECT_EQ(page.toValueTree(QStringLiteral("S")).toJson(), QStringLiteral("\"content\":\"s\""));
    EXPECT_EQ(page.toValueTree(QStringLiteral("R")).toJson(), QStringLiteral("\"content\":[{\"a\":5}]"));
    EXPECT_EQ(page.toValueTree(QStringLiteral("missing")).toJson(), QStringLiteral("\"content\":{}"));
    EXPECT_EQ(page.toValueTree(QStringLiteral("S.missing")).toJson(), QStringLiteral("\"content\":\"s\""));
    const QString all = page.toValueTree(QString()).toJson();
    EXPECT_TRUE(all.startsWith(QStringLiteral("\"content\":{\"R\":[{\"a\":5}],"))) << all.toStdString();
    EXPECT_TRUE(all.contains(QStringLiteral("\"ZOZ_APP_NAME\":"))) << all.toStdString();
    EXPECT_FALSE(all.contains(QStringLiteral("PAGE-REFRESH")));
}

TEST_F(HtmlTemplateTest, ProcessingClearsWhatNobodySet)
{
    const QString out = render("<html><if X>gone</if X><ifnot Y>kept</ifnot Y>{Z}<!-- note -->"
                               "<script>var a = 1; <!-- inside --> </script>"
                               "<if 'ENABLE_AUDIO'>?</if 'ENABLE_AUDIO'><if ENABLE_AUDIO>audio</if ENABLE_AUDIO>"
                               "<!-- TEMPLATE_INSTRUCTIONS -->a  \n\n   b<!-- never closed <if X>");
    EXPECT_EQ(out, QStringLiteral("<html>kept{Z}<script>var a = 1;  </script>audioa\n   b"));
}

// The values every page gets (names, language, options) reach the names that
// values set earlier brought in, and names that their own blocks' removal joins.
TEST_F(HtmlTemplateTest, PageWideValuesReachNamesBroughtInOrJoinedOnTheWay)
{
    const QString out = render("<html lang=\"{LANGUAGE}\">{ENABLE_AU<ifnot LANGUAGE>x</ifnot LANGUAGE>DIO}|{V}|"
                               "{ZOZ_SERVER<if LANGUAGE></if LANGUAGE>_ID}</html>",
                               [](HtmlTemplate &t) {
                                   t.setTextVariable(QStringLiteral("V"), QStringLiteral("{LANGUAGE}/{CUSTOM_TITLE}"));
                               });
    EXPECT_EQ(out, QStringLiteral("<html lang=\"en\">true|en/|</html>"));
}

TEST_F(HtmlTemplateTest, CommentsJoinedByRemovalAreRemovedToo)
{
    EXPECT_EQ(render("a<!<!-- x -->-- y -->b<!-->c"), QStringLiteral("abc"));
}

TEST_F(HtmlTemplateTest, RenderWorksOncePerChange)
{
    writeFile(QStringLiteral("templates/p.html"), "{A}");
    HtmlTemplate page(QStringLiteral("/templates/p.html"));
    page.reset();
    page.setVariable(QStringLiteral("A"), 1);
    const QByteArray first = page.render();
    EXPECT_EQ(first, QByteArray("1"));
    EXPECT_EQ(page.process(), QStringLiteral("1"));
    EXPECT_EQ(page.render().constData(), page.render().constData());
}

TEST_F(HtmlTemplateTest, CachedTextIsKeptUntilReloadIsAsked)
{
    writeFile(QStringLiteral("templates/p.html"), "old");
    HtmlTemplate page(QStringLiteral("/templates/p.html"));
    writeFile(QStringLiteral("templates/p.html"), "new");
    page.reset();
    EXPECT_EQ(page.render(), QByteArray("old"));
    page.setReloadNeeded();
    page.reset();
    EXPECT_EQ(page.render(), QByteArray("new"));
    writeFile(QStringLiteral("templates/p.html"), "");
    page.setReloadNeeded();
    page.reset();
    EXPECT_EQ(page.render(), QByteArray("new"));
}

namespace {

class TemplateSettingsTest : public ZOZTest::SettingsFixture
{
protected:
    void writePage(const QByteArray &content)
    {
        const QString path = home.dataFolder() + QStringLiteral("style/templates/page.html");
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }
};

} // namespace

TEST_F(TemplateSettingsTest, BuiltInVariablesAndInstructionsTable)
{
    ::testing::internal::CaptureStdout();
    settings->parseCommandLine({QStringLiteral("zoz"), QStringLiteral("-o"), QStringLiteral("SHOW_QUIT"), QStringLiteral("0"),
                                QStringLiteral("-wt"), QStringLiteral("W")});
    ::testing::internal::GetCapturedStdout();
    settings->setHttpRefreshTime(2500);
    settings->setShowTemplateInstructions(true);
    writePage("<html><head></head><body>{PAGE-REFRESH} <if ENABLE_SHOW_QUIT>q</if ENABLE_SHOW_QUIT>"
              "<if ENABLE_SETTINGS>s</if ENABLE_SETTINGS> {ZOZ_APP_TITLE}|<!-- TEMPLATE_INSTRUCTIONS --></body></html>");
    HtmlTemplate page(QStringLiteral("/templates/page.html"));
    page.reset();
    page.expandLoops(QStringLiteral("L"), {});
    page.setVariable(QStringLiteral("TEXT"), QStringLiteral("<b>"));
    const QString out = QString::fromUtf8(page.render());
    EXPECT_TRUE(out.startsWith(QStringLiteral("<html><head><style type='text/css'>\n"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("</style>\n</head><body>2500 s W|<center><table class='template-instructions'>\n"
                                            "<tr><th>L</th><td>:</td><td>EMPTY</td></tr>\n"
                                            "<tr><th>TEXT</th><td>:</td><td><b></td></tr>\n")))
        << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("<tr><th>ZOZ_APP_TITLE</th><td>:</td><td>W</td></tr>\n")));
    EXPECT_FALSE(out.contains(QStringLiteral("<th>PAGE-REFRESH</th>")));
    EXPECT_FALSE(out.contains(QStringLiteral("<th>LANGUAGE</th>")));
    EXPECT_TRUE(out.endsWith(QStringLiteral("</table></center>\n</body></html>")));

    writePage("<html><body>x</body></html>");
    page.setReloadNeeded();
    page.reset();
    EXPECT_TRUE(page.process().startsWith(QStringLiteral("<html><body><center><table")));
}

// The window title is the user's text: it reaches the page title, a heading
// and an attribute as text, never as markup.
TEST_F(TemplateSettingsTest, WindowTitleIsEscapedWhereverItStands)
{
    ::testing::internal::CaptureStdout();
    settings->parseCommandLine({QStringLiteral("zoz"), QStringLiteral("-wt"), QStringLiteral("<i>R&B \"x\" 'y'</i>")});
    ::testing::internal::GetCapturedStdout();
    writePage("<title>{ZOZ_APP_TITLE}</title><h1>{ZOZ_APP_TITLE}</h1><iframe title=\"{ZOZ_APP_TITLE}\"></iframe>"
              "<p>{CUSTOM_TITLE}</p>");
    HtmlTemplate page(QStringLiteral("/templates/page.html"));
    page.reset();
    EXPECT_EQ(QString::fromUtf8(page.render()),
              QStringLiteral("<title>&lt;i&gt;R&amp;B \"x\" 'y'&lt;/i&gt;</title><h1>&lt;i&gt;R&amp;B \"x\" 'y'&lt;/i&gt;</h1>"
                             "<iframe title=\"&lt;i&gt;R&amp;B &quot;x&quot; &#39;y&#39;&lt;/i&gt;\"></iframe><p></p>"));
}

TEST_F(TemplateSettingsTest, WithoutTemplateCacheEveryResetReadsTheFile)
{
    settings->setNoTemplateCache(true);
    writePage("old");
    HtmlTemplate page(QStringLiteral("/templates/page.html"));
    writePage("new");
    page.reset();
    EXPECT_EQ(page.render(), QByteArray("new"));
}

namespace {

// Comment removal as plainly written: from the last opening to the first,
// each time in the whole text as it stands.
QString stripCommentsPlainly(QString text)
{
    for (qsizetype p = text.lastIndexOf(QLatin1String("<!--")); p >= 0; p = text.lastIndexOf(QLatin1String("<!--"))) {
        const qsizetype e = text.indexOf(QLatin1String("-->"), p);
        text.remove(p, e < 0 ? text.size() - p : e + 3 - p);
    }
    return text;
}

} // namespace

TEST_F(HtmlTemplateTest, CommentRemovalMatchesThePlainAlgorithm)
{
    const char *const pieces[] = {"<!--", "-->", "<!", "--", ">", "-", "<", "a", "b", "<!-- TEMPLATE_INSTRUCTIONS -->"};
    std::mt19937 random(4);
    for (int round = 0; round < 300; ++round) {
        QString page = QStringLiteral("x");
        const int count = int(random() % 24);
        for (int i = 0; i < count; ++i)
            page += QLatin1String(pieces[random() % std::size(pieces)]);
        EXPECT_EQ(render(page.toUtf8()), stripCommentsPlainly(page)) << page.toStdString();
    }
}

// Whatever the template and the values hold, filling and processing end and
// leave no comment behind.
TEST_F(HtmlTemplateTest, ArbitraryTemplatesAndValuesEnd)
{
    const char *const pieces[] = {
        "<if A>", "</if A>", "<ifnot A>", "</ifnot A>", "{A}", "{L:x}", "<if L:x>", "</if L:x>",
        "<!-- begin:L -->", "<!-- end:L -->", "<!-- #json L as v -->", "<!-- #json L as -->", "<!--", "-->",
        "<if ", ">", "}", "{", "text", " ", "\n", "<!-- TEMPLATE_INSTRUCTIONS -->",
    };
    std::mt19937 random(7);
    const auto pick = [&](int count) {
        QString text;
        for (int i = 0; i < count; ++i)
            text += QLatin1String(pieces[random() % std::size(pieces)]);
        return text;
    };
    for (int round = 0; round < 200; ++round) {
        const QString page = QStringLiteral("x") + pick(int(random() % 30));
        const QString value = pick(int(random() % 4));
        Rows rows;
        for (int r = int(random() % 4); r > 0; --r)
            rows.append(Row{TemplateVariable(QStringLiteral("x"), pick(int(random() % 4)), random() % 2 == 0)});
        const QString out = render(page.toUtf8(), [&](HtmlTemplate &t) {
            t.setVariable(QStringLiteral("A"), value);
            t.expandLoops(QStringLiteral("L"), rows);
        });
        EXPECT_FALSE(out.contains(QLatin1String("<!--"))) << page.toStdString();
    }
}

TEST_F(HtmlTemplateTest, BlankLinesFoldAsTheWhiteSpacePatternSays)
{
    const QChar pieces[] = {QLatin1Char(' '), QLatin1Char('\t'), QLatin1Char('\n'), QLatin1Char('\r'), QLatin1Char('\v'),
                            QLatin1Char('\f'), QChar(0x00A0), QChar(0x2003), QLatin1Char('a')};
    // White space as the toolkit's characters know it, not only ASCII.
    static const QRegularExpression pattern(QStringLiteral("\\s+\\n"),
                                            QRegularExpression::UseUnicodePropertiesOption);
    std::mt19937 random(11);
    for (int round = 0; round < 200; ++round) {
        QString page = QStringLiteral("x");
        for (int i = int(random() % 16); i > 0; --i)
            page += pieces[random() % std::size(pieces)];
        QString expected = page;
        expected.replace(pattern, QStringLiteral("\n"));
        EXPECT_EQ(render(page.toUtf8()), expected) << page.toStdString();
    }
}

namespace {

// The bytes of a rendered page, as a short digest to compare with one taken
// from an earlier build of the engine: the speed work on the engine must not
// change a single byte of what the pages show.
QByteArray digest(const QString &page)
{
    return QCryptographicHash::hash(page.toUtf8(), QCryptographicHash::Sha256).toHex().left(24);
}

// A service list as the pages render it: rows with blocks, attributes, text
// and a JSON copy, and labels that carry markup, quotes and braces.
Rows serviceListRows(int count)
{
    const QString labels[] = {QStringLiteral("Radio <%1> & \"friends\""), QStringLiteral("It's {SERVICES:ensemble} %1"),
                              QStringLiteral("  spaced\tout\n%1  "), QStringLiteral("</script><!-- %1 -->"),
                              QStringLiteral("Ünïcødé — %1")};
    Rows rows;
    for (int i = 0; i < count; ++i) {
        rows.append({
            TemplateVariable(QStringLiteral("id"), unsigned(0xE0D000 + i)),
            TemplateVariable(QStringLiteral("label"), labels[i % std::size(labels)].arg(i), true),
            TemplateVariable(QStringLiteral("ensemble"), QStringLiteral("Ensemble '%1'").arg(i / 20), true),
            TemplateVariable(QStringLiteral("logo"), i % 3 ? QStringLiteral("logos/%1.png").arg(i) : QString()),
            TemplateVariable(QStringLiteral("selected"), i == 7),
            TemplateVariable(QStringLiteral("favourite"), i % 5 == 0),
        });
    }
    return rows;
}

} // namespace

TEST_F(HtmlTemplateTest, ServiceListPageIsByteForByteAsBefore)
{
    const QByteArray page = R"(<!DOCTYPE html>
<html lang="{LANGUAGE}">
<head>
  <title>{ZOZ_APP_TITLE} {PAGE-TITLE}</title>
  <style>li[data-x="{SERVICES:__INDEX__}"] { color: red; }</style>
</head>
<body>
  <!-- the list of services -->
  <ul class="services" title='{TITLE}'>
  <!-- begin:SERVICES -->
    <li id="s{SERVICES:__INDEX__}" data-n={SERVICES:label} class="service<if SERVICES:selected> playing</if SERVICES:selected>">
      <if SERVICES:logo><img src="{SERVICES:logo}" alt="{SERVICES:label}"></if SERVICES:logo>
      <span class="label">{SERVICES:label}</span> <!-- {SERVICES:label} -->
      <span class="ensemble" title="{SERVICES:ensemble}">{SERVICES:ensemble}</span>
      <ifnot SERVICES:favourite><button class="star">&#9734;</button></ifnot SERVICES:favourite>
      <if SERVICES:__FIRST_ITEM__><span class="first">{SERVICES:__INDEX+ONE__}</span></if SERVICES:__FIRST_ITEM__>
      <if SERVICES:__LAST_ITEM__><span class="last"></span></if SERVICES:__LAST_ITEM__>
      <script>var label = "{SERVICES:label}";</script>
    </li>
  <!-- end:SERVICES -->
  </ul>
  <p>{TITLE}</p>
  <script><!-- #json SERVICES as services --></script>
</body>
</html>
)";
    const QString out = render(page, [](HtmlTemplate &t) {
        t.setTextVariable(QStringLiteral("TITLE"), QStringLiteral("A \"quoted\" <title> & 'more'"));
        t.setVariable(QStringLiteral("PAGE-TITLE"), QStringLiteral("Services"));
        t.expandLoops(QStringLiteral("SERVICES"), serviceListRows(500));
    });
    EXPECT_EQ(out.size(), 254015);
    EXPECT_EQ(digest(out), QByteArray("fe545cb8b1ebdcb8b6a57cd6"));
}

// Placeholders of values from outside in every kind of place the context
// scanner tells apart, in random pages: the same bytes as before.
TEST_F(HtmlTemplateTest, EscapedValuesInRandomPagesAreAsBefore)
{
    const char *const pieces[] = {
        "<p>", "</p>", "<a title=\"", "<a title='", "<a title=", "\"", "'", ">", "<", "</", "=", " ", "x",
        "<script>", "</script>", "<STYLE>", "</style>", "<scripts>", "<!--", "-->", "<!", "<br/>", "<if ",
        "<if L:on>", "</if L:on>", "<ifnot L:on>", "</ifnot L:on>", "<if T>", "</if T>",
        "{L:v}", "{L:raw}", "{L:__INDEX__}", "{T}", "{", "}", "-", "->", "<!-", "!", "<i",
    };
    const QString values[] = {QStringLiteral("a<b & \"c\" 'd'"), QStringLiteral("x = y`z"), QStringLiteral("</script>"),
                              QStringLiteral("{T}"), QStringLiteral("<!--"), QStringLiteral("-->"), QString(),
                              QStringLiteral("false"), QStringLiteral("\\ \x01 \n"), QStringLiteral("say \"hi\" - it's"),
                              QStringLiteral("--"), QStringLiteral("f x"), QStringLiteral("script"), QStringLiteral("\x01")};
    std::mt19937 random(19);
    const auto pick = [&](std::size_t n) { return std::size_t(random() % n); };
    QCryptographicHash all(QCryptographicHash::Sha256);
    for (int round = 0; round < 1500; ++round) {
        QByteArray body;
        for (int i = int(pick(16)); i > 0; --i)
            body += pieces[pick(std::size(pieces))];
        const QByteArray page = body + "<!-- begin:L -->" + body + "<!-- end:L -->" + body;
        Rows rows;
        for (int r = int(pick(4)); r > 0; --r)
            rows.append(Row{TemplateVariable(QStringLiteral("v"), values[pick(std::size(values))], true),
                            TemplateVariable(QStringLiteral("raw"), values[pick(std::size(values))]),
                            TemplateVariable(QStringLiteral("on"), pick(2) == 0)});
        const QString title = values[pick(std::size(values))];
        all.addData(render(page, [&](HtmlTemplate &t) {
                        t.setTextVariable(QStringLiteral("T"), title);
                        t.expandLoops(QStringLiteral("L"), rows);
                    }).toUtf8());
        all.addData(QByteArrayView("\n"));
    }
    EXPECT_EQ(all.result().toHex().left(24), QByteArray("973a4914d3be05f5ea25f838"));
}
