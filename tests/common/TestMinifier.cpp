#include "web/ZOZMinifier.h"

#include <gtest/gtest.h>

using namespace ZOZ;

namespace {

QByteArray script(const QByteArray &in)
{
    QByteArray out;
    return minifyScript(in, out) ? out.trimmed() : QByteArray("<failed>");
}

QByteArray style(const QByteArray &in)
{
    QByteArray out;
    return minifyStyleSheet(in, out) ? out.trimmed() : QByteArray("<failed>");
}

} // namespace

TEST(Minifier, Script)
{
    struct Row { const char *name; QByteArray in; QByteArray out; };
    const Row rows[] = {
        { "blanks and comments go", "var  a = 1; // one\n/* two */ var b = a + 2;", "var a=1;var b=a+2;" },
        { "preserved comment stays", "/*! (c) us */\nvar a = 1;", "/*! (c) us */var a=1;" },
        { "strings untouched", "x = \"a  b // c\" + 'd /* e */';", "x=\"a  b // c\"+'d /* e */';" },
        { "regular expression literal", "r = /a  b\\/c/g.test(s);", "r=/a  b\\/c/g.test(s);" },
        { "keywords keep their blank", "return  typeof x;", "return typeof x;" },
        { "line break ending a statement kept", "var a = \"s\"\nvar b = f()\nc++\nd", "var a=\"s\"\nvar b=f()\nc++\nd" },
        { "line continuation in a string", "s = \"ab\\\n    cd\";", "s=\"abcd\";" },
        { "unterminated string", "var a = \"abc;\n", "<failed>" },
        { "unterminated comment", "var a; /* abc", "<failed>" },
        { "unterminated regular expression", "x = (/abc\n);", "<failed>" },
        { "empty input", "", "<failed>" },
    };
    for (const Row &row : rows)
        EXPECT_EQ(script(row.in), row.out) << row.name;
}

TEST(Minifier, StyleSheet)
{
    struct Row { const char *name; QByteArray in; QByteArray out; };
    const Row rows[] = {
        { "selector blanks", "a  {color : red}", "a{color:red}" },
        { "leading zero dropped", "p { margin: 0.5em 0 10.5px; }", "p{margin:.5em 0 10.5px;}" },
        { "two words stay apart", "b { border: 1px  solid\n  red; }", "b{border:1px solid red;}" },
        { "comments removed", "/* head */ a /* x */ b { }", "a b{}" },
        { "pseudo class outside a block", "a :hover { }", "a :hover{}" },
        { "strings kept", "q::before { content: \"  \\\"x\\\"  \"; }", "q::before{content:\"  \\\"x\\\"  \";}" },
        { "unquoted URL kept", "i { background: url(http://x/logo0.png); }", "i{background:url(http://x/logo0.png);}" },
        { "escaped quote in a string", "q { content: \"\\\"\"; }", "q{content:\"\\\"\";}" },
        { "unterminated string", "a { content: \"abc }", "<failed>" },
        { "unterminated comment", "a { } /* abc", "<failed>" },
    };
    for (const Row &row : rows)
        EXPECT_EQ(style(row.in), row.out) << row.name;
}

TEST(Minifier, ResourceCacheFollowsModificationTime)
{
    const QDateTime first = QDateTime::fromSecsSinceEpoch(1000000, Qt::UTC);
    const QDateTime second = first.addSecs(1);
    const QString path = QStringLiteral(":js/cache-test.js");

    QByteArray body = "var  a = 1;";
    minifyResource(path, first, body, true, QStringLiteral("style/"));
    EXPECT_EQ(body, "var a=1;");

    // Same file and time: the cached form comes back whatever is passed in.
    body = "var  other = 2;";
    minifyResource(path, first, body, true, QStringLiteral("style/"));
    EXPECT_EQ(body, "var a=1;");

    // A file on disk under the style root shares the key of the built-in resource.
    body = "ignored";
    minifyResource(QStringLiteral("/opt/zoz/style/js/cache-test.js"), first, body, true, QStringLiteral("style/"));
    EXPECT_EQ(body, "var a=1;");

    body = "var  b = 2;";
    minifyResource(path, second, body, true, QStringLiteral("style/"));
    EXPECT_EQ(body, "var b=2;");

    body = "var \"unterminated;";
    minifyResource(QStringLiteral(":/js/broken.js"), first, body, true, QString());
    EXPECT_EQ(body, "var \"unterminated;");

    body = "a  { }";
    minifyResource(QStringLiteral(":/page.html"), first, body, true, QString());
    EXPECT_EQ(body, "a  { }");
    minifyResource(QStringLiteral(":/off.css"), first, body, false, QString());
    EXPECT_EQ(body, "a  { }");
    minifyResource(QStringLiteral(":/UPPER.CSS"), first, body, true, QString());
    EXPECT_EQ(body, "a{}");
}
