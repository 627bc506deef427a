// The Journaline page template engine: conditionals, loops, replace and
// include directives, the final pass and the lookup of files.
#include "HtmlTemplate.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <unistd.h>

namespace {

// A folder of template files, removed again at the end of the test.
class TemplateFolder {
public:
    TemplateFolder()
        : m_path(std::filesystem::temp_directory_path() /
                 ("zoz-htmltemplate-" + std::to_string(::getpid()) + "-" + std::to_string(++s_count)))
    {
        std::filesystem::create_directories(m_path);
    }
    ~TemplateFolder() { std::filesystem::remove_all(m_path); }
    void write(const std::string &name, const std::string &content) const
    {
        const std::filesystem::path file = m_path / name;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << content;
    }
    std::string path() const { return m_path.string(); }

private:
    static inline int s_count = 0;
    std::filesystem::path m_path;
};

std::string renderOf(const std::string &content, const std::function<void(HtmlTemplate &)> &fill)
{
    TemplateFolder folder;
    folder.write("t.html", content);
    HtmlTemplate page("/t.html", folder.path(), "none");
    fill(page);
    return page.render(false);
}

} // namespace

TEST(HtmlTemplate, Conditionals)
{
    struct Case {
        const char *name;
        const char *value; // null: never set
        const char *expected;
    };
    const Case cases[] = {
        {"true", "true", "[a][/]"},
        {"text counts as true", "x", "[a][/]"},
        {"false", "false", "[/][b]"},
        {"empty", "", "[/][b]"},
        {"never set", nullptr, "[/][b]"},
    };
    for (const Case &c : cases) {
        const std::string out = renderOf("<if V>[a]</if V>[/]<ifnot V>[b]</ifnot V>", [&](HtmlTemplate &t) {
            if (c.value)
                t.setVariable("V", c.value);
        });
        EXPECT_EQ(c.expected, out) << c.name;
    }
}

TEST(HtmlTemplate, OpenTagWithoutCloseStays)
{
    EXPECT_EQ("<if V>x", renderOf("<if V>x", [](HtmlTemplate &t) { t.setVariable("V", "false"); }));
    EXPECT_EQ("<ifnot W>y", renderOf("<ifnot W>y", [](HtmlTemplate &) {}));
}

TEST(HtmlTemplate, ValuesReplaceEveryOccurrence)
{
    EXPECT_EQ("a=1, again 1; {B}",
              renderOf("a={A}, again {A}; {B}", [](HtmlTemplate &t) { t.setNumber("A", 1); }));
    // A value that looks like a placeholder is not expanded again.
    EXPECT_EQ("{A}x", renderOf("{V}{X}", [](HtmlTemplate &t) {
                  t.setVariable("V", "{A}");
                  t.setVariable("X", "x");
              }));
}

TEST(HtmlTemplate, LoopRowsAndIndexes)
{
    const std::vector<HtmlTemplateRow> rows = {{{"label", "one"}}, {{"label", "two"}}};
    const std::string out = renderOf(
        "<if L>has</if L>|<!-- begin:L -->{label}:{L:__INDEX__}/{L:__INDEX+ONE__}"
        "<if L:__FIRST_ITEM__>F</if L:__FIRST_ITEM__><if L:__LAST_ITEM__>E</if L:__LAST_ITEM__>;<!-- end:L -->|",
        [&](HtmlTemplate &t) { t.setList("L", rows); });
    EXPECT_EQ("has|one:0/1F;two:1/2E;|", out);
}

TEST(HtmlTemplate, EmptyListRemovesItsBlockAndIsFalse)
{
    EXPECT_EQ("|none", renderOf("<!-- begin:L -->{x}<!-- end:L -->|<ifnot L>none</ifnot L>",
                                [](HtmlTemplate &t) { t.setList("L", {}); }));
}

TEST(HtmlTemplate, NestedListsAndBeginWithoutEnd)
{
    const std::vector<HtmlTemplateRow> rows = {
        {{"name", "a"}, HtmlTemplateVariable("ITEMS", std::vector<HtmlTemplateRow>{{{"v", "1"}}, {{"v", "2"}}})}};
    EXPECT_EQ("a(1,2,)", renderOf("<!-- begin:S -->{name}(<!-- begin:ITEMS -->{v},<!-- end:ITEMS -->)<!-- end:S -->",
                                  [&](HtmlTemplate &t) { t.setList("S", rows); }));
    EXPECT_EQ("x", renderOf("<!-- begin:S -->x", [&](HtmlTemplate &t) { t.setList("S", rows); }));
}

TEST(HtmlTemplate, ReplaceAndIncludeDirectives)
{
    TemplateFolder folder;
    folder.write("page.html", "<!-- #replace \"COLOUR\":\"red\" -->[{COLOUR}]<!-- #include \"/part.html\" -->"
                              "<!-- #include \"/missing.html\" -->.");
    folder.write("part.html", "({COLOUR})<!-- #include \"/part.html\" -->");
    HtmlTemplate page("/page.html", folder.path(), "");
    // The part includes itself: the nesting stops instead of running away.
    const std::string out = page.render(false);
    EXPECT_EQ(0u, out.find("[red](red)(red)"));
    EXPECT_EQ('.', out.back());
    // Replace records are not left behind as variables.
    EXPECT_TRUE(page.variables().empty());
}

TEST(HtmlTemplate, ResetRestoresAndRenderCollapsesBlankLines)
{
    TemplateFolder folder;
    folder.write("p.html", "a {X}  \n\n  b\n");
    HtmlTemplate page("/p.html", folder.path(), "");
    page.setVariable("X", "1");
    EXPECT_EQ("a 1\n  b\n", page.render(false));
    EXPECT_EQ("a 1\n  b\n", page.render(false));
    page.reset(false);
    page.setVariable("X", "2");
    EXPECT_EQ("a 2\n  b\n", page.render(false));
    folder.write("p.html", "new {X}");
    page.reset(true);
    page.setVariable("X", "3");
    EXPECT_EQ("new 3", page.render(false));
}

TEST(HtmlTemplate, LookupOrderAndBadNames)
{
    TemplateFolder folder;
    folder.write("theme/t.html", "themed");
    folder.write("t.html", "plain");
    folder.write("u.html", "plain u");
    EXPECT_EQ("themed", HtmlTemplate("/t.html", folder.path(), "theme").render(false));
    EXPECT_EQ("plain u", HtmlTemplate("/u.html", folder.path(), "theme").render(false));
    // The built-in style sheet is the last resort.
    EXPECT_NE(std::string::npos,
              HtmlTemplate::fileContent("/css/journaline.css", folder.path(), "theme").find(".journaline"));
    HtmlTemplate bad("t.html", folder.path(), "theme");
    EXPECT_FALSE(bad.load("t.html"));
    EXPECT_EQ("", bad.render(false));
    EXPECT_FALSE(bad.load("/missing.html"));
}

TEST(HtmlTemplate, InstructionsTableEscapesValues)
{
    TemplateFolder folder;
    folder.write("p.html", "<html><head></head><body><!-- #TEMPLATE_INSTRUCTIONS --></body></html>");
    HtmlTemplate page("/p.html", folder.path(), "");
    page.setVariable("T", "<b>");
    page.setVariable("E", "");
    const std::string out = page.render(true);
    EXPECT_NE(std::string::npos, out.find("<tr><th>T</th><td>:</td><td>&lt;b&gt;</td></tr>"));
    EXPECT_NE(std::string::npos, out.find("<tr><th>E</th><td>:</td><td>EMPTY</td></tr>"));
    EXPECT_NE(std::string::npos, out.find("<head><style>"));
    EXPECT_EQ(std::string::npos, page.render(false).find("template-instructions"));
}
