// NML texts to HTML: control codes, introductions, tables, images, nested
// texts, escaping and right-to-left embeddings.
#include "NSJNmlToHtml.h"

#include <gtest/gtest.h>

namespace {

std::string section(uint8_t code, const std::string &bytes)
{
    return std::string(1, static_cast<char>(code)) + static_cast<char>(bytes.size() - 1) + bytes;
}

std::string imageSection(uint8_t kind, const std::string &first, const std::string &caption)
{
    std::string s = "\xC0";
    s += static_cast<char>(kind);
    s += static_cast<char>(first.size() >> 8);
    s += static_cast<char>(first.size() & 0xFF);
    s += first;
    if (!caption.empty()) {
        s += static_cast<char>(caption.size());
        s += caption;
    }
    return s;
}

} // namespace

TEST(NSJNmlToHtml, Conversions)
{
    struct Case {
        const char *name;
        std::string nml;
        std::string html;
    };
    const Case cases[] = {
        {"plain", "Hello", "Hello"},
        {"introduction", "First.\x14 Rest", "<intro>First.</intro> Rest"},
        {"three rows", std::string("\x04" "a\x05" "b\x04" "c\x04" "d"),
         "<table><tr><td>a</td><td>b</td></tr>\n<tr><td>c</td></tr>\n<tr><td>d</td></tr>\n</table>"},
        {"line break, hyphen, bold", "a\x10" "b\x11" "c\x12" "d\x13", "a<br/>b&shy;c<b>d</b>"},
        {"dropped codes", "a\x06\x0F" "b", "ab"},
        {"parameter codes skip a byte", "a\x1C\x41" "b\x1D", "ab"},
        {"markup escaped", "<script>&", "&#60;script&#62;&#38;"},
        {"quotes escaped", "a\"b'c", "a&#34;b&#39;c"},
        {"braces escaped", "{SERVER_ID}", "&#123;SERVER_ID&#125;"},
        {"e acute", "caf\xC3\xA9", "caf&#233;"},
        {"beyond 16 bits", "\xF0\x9F\x98\x80", "&#65533;"},
        {"encoded surrogate", "\xED\xA0\x80", "&#65533;"},
        {"broken lead byte", "a\xC3", "a&#65533;"},
        {"open right-to-left embedding", "\xE2\x80\xAB" "abc", "&#8235;abc&#8236;"},
        {"closed embedding", "\xE2\x80\xAE" "x\xE2\x80\xAC", "&#8238;x&#8236;"},
        {"unknown section skipped", "a" + section(0x1A, "\x55xyz") + "b", "ab"},
        {"section past the end stops", "a\x1A\x09" "bc", "a"},
        {"forged markers are plain text", "[IMAGE='javascript:x']c[/IMAGE][INTRO]",
         "[IMAGE=&#39;javascript:x&#39;]c[/IMAGE][INTRO]"},
        {"marker bytes dropped", std::string("a\x01\x02\x03" "b"), "ab"},
    };
    std::map<uint8_t, std::string> nested;
    NSJNml::Context context;
    context.nestedTexts = &nested;
    for (const Case &c : cases)
        EXPECT_EQ(c.html, NSJNml::toHtml(context, 1, c.nml)) << c.name;
}

TEST(NSJNmlToHtml, CarriedImagesAreNamedByObjectAndCount)
{
    NSJNml::Context context;
    const std::string picture = std::string("\x03" "jpg") + "\xFF\xD8";
    const std::string text = "x" + section(0x1A, imageSection(3, picture, "Cap<")) +
                             section(0x1A, imageSection(3, picture, ""));
    std::vector<NSJNml::Image> images;
    NSJNml::Options collect;
    collect.images = &images;
    EXPECT_EQ("x", NSJNml::toHtml(context, 12, text, collect));
    ASSERT_EQ(2u, images.size());
    EXPECT_EQ("12-1.jpg", images[0].url);
    EXPECT_EQ("Cap<", images[0].caption);
    EXPECT_EQ("12-2.jpg", images[1].url);

    NSJNml::Options inlined;
    inlined.inlineImages = true;
    uint8_t counter = 4;
    inlined.imageCounter = &counter;
    EXPECT_EQ("x<njImageBox><njImage src='12-5.jpg' caption='Cap&#60;'></njImage></njImageBox>"
              "<njImageBox><njImage src='12-6.jpg' caption=''></njImage></njImageBox>",
              NSJNml::toHtml(context, 12, text, inlined));
    EXPECT_EQ(6, counter);
}

TEST(NSJNmlToHtml, ReferencedImagesAreResolvedAndEscaped)
{
    NSJNml::Context context;
    context.resolveLink = [](const std::string &reference) { return "http://h/" + reference + "'><script>"; };
    NSJNml::Options inlined;
    inlined.inlineImages = true;
    EXPECT_EQ("<njImageBox><njImage src='http://h/r&#39;&#62;&#60;script&#62;' caption='c'></njImage></njImageBox>",
              NSJNml::toHtml(context, 1, section(0x1A, imageSection(1, "r", "c")), inlined));
    NSJNml::Options raw;
    raw.raw = true;
    EXPECT_EQ("[IMAGE='http://h/r'><script>']c[/IMAGE]", NSJNml::toHtml(context, 1, section(0x1A, imageSection(1, "r", "c")), raw));
    // Too short for its announced first part, an empty first part, an unknown kind.
    std::string broken = imageSection(1, "abc", "");
    broken.resize(broken.size() - 1);
    EXPECT_EQ("", NSJNml::toHtml(context, 1, section(0x1A, broken), inlined));
    EXPECT_EQ("", NSJNml::toHtml(context, 1, section(0x1A, imageSection(1, "", "")), inlined));
    EXPECT_EQ("", NSJNml::toHtml(context, 1, section(0x1A, imageSection(7, "r", "")), inlined));
}

TEST(NSJNmlToHtml, NestedTextsAreInsertedByKey)
{
    std::map<uint8_t, std::string> nested;
    NSJNml::Context context;
    context.nestedTexts = &nested;
    const std::string text = section(0x1A, "!\x07" "in<\x12" "b\x13") + "[" + section(0x1A, "\"\x07") + "]" +
                             section(0x1A, "\"\x08");
    EXPECT_EQ("[in&#60;<b>b</b>]", NSJNml::toHtml(context, 1, text));
    EXPECT_EQ(1u, nested.size());
}

TEST(NSJNmlToHtml, ContinuationSectionsJoin)
{
    std::map<uint8_t, std::string> nested;
    NSJNml::Context context;
    context.nestedTexts = &nested;
    const std::string text = section(0x1A, "!\x01" "ab") + section(0x1B, "cd") + section(0x1A, "\"\x01");
    EXPECT_EQ("abcd", NSJNml::toHtml(context, 1, text));
}

TEST(NSJNmlToHtml, DebugShowsCodes)
{
    NSJNml::Context context;
    context.debug = true;
    EXPECT_EQ("a<span class=\"nj_debug_nml_code\">0x10</span>&#60;"
              "<span class=\"nj_debug_nml_code\">&nbsp;0x1C&nbsp;0x05&nbsp;</span>"
              "<span class=\"nj_debug_nml_code\">&nbsp;0x1A 0x00 0x55 </span>",
              NSJNml::toHtml(context, 1, std::string("a\x10<\x1C\x05\x1A\x00\x55", 8)));
}
