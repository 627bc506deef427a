// The HTML renderer over a decoder fed with built Journaline objects:
// pages, errors, ajax replies (checked by a strict JSON parser), autoplay,
// resources, server ids, KML and statistics.
#include "../../common/StrictJson.h"
#include "CoreFixture.h"
#include "NSJRendererHTML.h"

#include <QByteArray>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

using namespace ZOZ::Test::Journaline;

namespace {

struct Renderer {
    NSJRendererHTML r{false, false, "no-such-style-folder", ""};
    std::string registry;

    Renderer()
    {
        r.setResponseHeader(NSJRenderer::ResponseHeader::Off);
        EXPECT_EQ(0, r.start(true, 0));
        r.setRegistryCallbacks([](std::string &out, void *c) { out = static_cast<Renderer *>(c)->registry; },
                               [](const std::string &in, void *c) { static_cast<Renderer *>(c)->registry = in; },
                               this);
    }
    void feed(const Object &o)
    {
        const Bytes g = objectGroup(o);
        ASSERT_EQ("", r.processDataGroup(g.data(), static_cast<uint16_t>(g.size())));
    }
    std::string get(const std::string &target)
    {
        std::string out;
        r.Handle_HttpRequest("GET /jour/" + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n", out);
        return out;
    }
};

bool isStrictJson(const std::string &text)
{
    return ZOZTest::StrictJson::isValid(QByteArray::fromStdString(text));
}

bool contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

Object withoutBody(uint16_t id, ObjectType type, const std::string &title)
{
    Object o;
    o.id = id;
    o.type = type;
    o.title = title;
    o.hasBody = false;
    return o;
}

Bytes position(int32_t latitude, int32_t longitude)
{
    return {uint8_t(latitude >> 16), uint8_t(latitude >> 8), uint8_t(latitude), uint8_t(longitude >> 16),
            uint8_t(longitude >> 8), uint8_t(longitude)};
}

} // namespace

TEST(NSJRendererHTML, MenuPageWithAvailableAndMissingItems)
{
    Renderer t;
    t.feed(menu(0, {{1, "First"}, {2, "Second"}}, "Journaline Service"));
    t.feed(plain(1, "One", std::string("Lead\x14 rest")));
    const std::string page = t.get("0.html");
    EXPECT_EQ("text/html", t.r.contentType());
    EXPECT_TRUE(contains(page, "<h1>Journaline Service</h1>")) << page;
    EXPECT_TRUE(contains(page, "<li><a href=\"1.html?hist=0,1\">First</a></li>")) << page;
    EXPECT_TRUE(contains(page, "<li class=\"unavailable\"><a href=\"2.html?hist=0,2\">Second</a></li>")) << page;
    EXPECT_FALSE(contains(page, "<if ")) << page;
    EXPECT_FALSE(contains(page, "<!-- begin:")) << page;
    // Without a host the page polls at its own cycle.
    EXPECT_FALSE(contains(page, "data-refresh")) << page;

    const std::string text = t.get("1.html?hist=0,1");
    EXPECT_TRUE(contains(text, "<article><intro>Lead</intro> rest</article>")) << text;
    EXPECT_TRUE(contains(text, "<a href=\"0.html\">Journaline Service</a>")) << text;

    // The menu's change counter moves when its missing target arrives.
    const std::string before = t.get("ajax?getUpdate=0");
    t.get("0.html");
    t.feed(plain(2, "Two"));
    const std::string after = t.get("ajax?getUpdate=0");
    EXPECT_NE(before.substr(before.find("\"version\"")), after.substr(after.find("\"version\"")));
}

TEST(NSJRendererHTML, ErrorPagesAndNames)
{
    Renderer t;
    EXPECT_TRUE(contains(t.get("0.html"), "Waiting for a Journaline configuration"));
    t.feed(plain(5));
    const std::string waiting = t.get("0.html");
    EXPECT_EQ("text/html", t.r.contentType());
    EXPECT_TRUE(contains(waiting, "Waiting for main menu")) << waiting;
    EXPECT_TRUE(contains(t.get("7.html"), "Object currently not available"));
    // A name that is not a number fetches the root.
    EXPECT_TRUE(contains(t.get("abc.html"), "Waiting for main menu"));
    EXPECT_EQ("", t.get("other"));
    EXPECT_EQ("404", t.r.contentType());
    t.feed(withoutBody(0, List, "L"));
    EXPECT_TRUE(contains(t.get("0.html"), "Waiting for data ..."));
}

TEST(NSJRendererHTML, AjaxRepliesAreStrictJson)
{
    Renderer t;
    t.feed(menu(0, {{1, "It's \"quoted\" \\ </script>"}}, "A \"menu\" \\ </script>"));
    t.feed(plain(1, "T", "Body with \"quotes\"\x10" "and a break\x1F\x7F"));
    t.feed(plain(2, "Two\x10" "lines"));
    struct Case {
        const char *name;
        const char *target;
        const char *expected; // a part of the reply
    };
    const Case cases[] = {
        {"no command", "ajax?other=1", "{\"success\":false}"},
        {"missing object", "ajax?getObject=9", "{\"success\":false}"},
        {"menu", "ajax?getObject=0", "\"links\":[{\"ID\":1,\"description\":"},
        {"title with a line break", "ajax?getObject=2", "\"title\":\"Two\\u003cbr/\\u003elines\""},
        {"text", "ajax?getObject=1", "\"content\":\"Body with \\u0026#34;quotes\\u0026#34;\\u003cbr/\\u003eand a break\\u001f\\u007f\""},
        {"update", "ajax?getUpdate=0", "\"apUrl\":\"\""},
        {"autoplay list", "ajax?getAutoPlayList=0", "\"apList\":[\"1.html?hist=0,1\"]"},
        {"stop autoplay", "ajax?setAutoPlay=65535", "\"apUrl\":\"\""},
    };
    for (const Case &c : cases) {
        const std::string reply = t.get(c.target);
        EXPECT_EQ("application/json", t.r.contentType()) << c.name;
        EXPECT_TRUE(isStrictJson(reply)) << c.name << ": " << reply;
        EXPECT_TRUE(contains(reply, c.expected)) << c.name << ": " << reply;
    }
    EXPECT_EQ("apMode=false;apRoot=65535;apRootHp=0;apListIdx=0", t.registry);
}

TEST(NSJRendererHTML, AutoplayWalksCyclesAndSharedMenusOnce)
{
    Renderer t;
    // 0 -> 1, 2; 1 -> 3, 0 (back up); 2 -> 3 (shared); 3 -> 1 (cycle), 4.
    t.feed(menu(0, {{1, "a"}, {2, "b"}}));
    t.feed(menu(1, {{3, "c"}, {0, "up"}}));
    t.feed(menu(2, {{3, "c"}}));
    t.feed(menu(3, {{1, "a"}, {4, "d"}}));
    t.feed(plain(4));
    const std::vector<std::string> list = t.r.autoplayList(0, "?hist=0", false);
    EXPECT_EQ((std::vector<std::string>{"1.html?hist=0,1", "3.html?hist=0,1,3", "4.html?hist=0,1,3,4",
                                        "2.html?hist=0,2"}),
              list);

    // A ladder of menus with two items each to the next: 2^18 paths, visited once each.
    Renderer ladder;
    for (uint16_t id = 0; id < 18; ++id)
        ladder.feed(menu(id, {{uint16_t(id + 1), "x"}, {uint16_t(id + 1), "y"}}));
    ladder.feed(plain(18));
    EXPECT_EQ(18u, ladder.r.autoplayList(0, "?hist=0", false).size());

    // Starting plays the rotation and keeps it across the stored state.
    const std::string reply = t.get("ajax?hist=0&setAutoPlay=0");
    EXPECT_TRUE(contains(reply, "\"apUrl\":\"1.html?hist=0,1\"")) << reply;
    EXPECT_EQ("apMode=true;apRoot=0;apRootHp=0;apListIdx=0", t.registry);
}

TEST(NSJRendererHTML, ResourcesComeFromTheStyleFolderAndBuiltInsOnly)
{
    const std::filesystem::path root = std::filesystem::temp_directory_path() / ("zoz-jour-style-" + std::to_string(::getpid()));
    std::filesystem::create_directories(root / "style" / "css");
    std::ofstream(root / "style" / "css" / "own.css") << "own";
    std::ofstream(root / "secret.txt") << "secret";
    // The style root comes from the settings with its trailing "/".
    NSJRendererHTML r(false, false, (root / "style").string() + "/", "");
    r.setResponseHeader(NSJRenderer::ResponseHeader::Off);
    ASSERT_EQ(0, r.start(true, 0));
    auto get = [&r](const std::string &target) {
        std::string out;
        r.Handle_HttpRequest("GET " + target + " HTTP/1.0\r\n\r\n", out);
        return out;
    };
    EXPECT_EQ("own", get("/jour/jourc/css/own.css"));
    EXPECT_EQ("text/css", r.contentType());
    EXPECT_TRUE(contains(get("/jour/jourc/css/journaline.css"), ".journaline"));
    EXPECT_TRUE(contains(get("/jour/jourc/js/journaline.js"), "getUpdate"));
    EXPECT_EQ("text/javascript", r.contentType());
    const char *const refused[] = {
        "/jour/jourc/..%2Fsecret.txt",   "/jour/jourc/css/..%2F..%2Fsecret.txt", "/jour/..%2Fsecret.txt",
        "/jour/jourc//etc/passwd",       "/jour//etc/passwd",                   "/jour/jourc/%2Fetc%2Fpasswd",
        "/jour/jourc/css/.%2F..%2F..%2Fsecret.txt",
    };
    for (const char *target : refused) {
        const std::string out = get(target);
        EXPECT_FALSE(contains(out, "secret")) << target;
        EXPECT_FALSE(contains(out, "root:")) << target;
    }
    std::filesystem::remove_all(root);
}

TEST(NSJRendererHTML, ServerIdsAreRandomAndDistinct)
{
    std::set<std::string> ids;
    for (int i = 0; i < 8; ++i) {
        NSJRendererHTML r(false, false, "style", "");
        EXPECT_EQ(NSJRendererHTML::ServerIdLength, r.serverId().size());
        ids.insert(r.serverId());
    }
    EXPECT_EQ(8u, ids.size());
}

TEST(NSJRendererHTML, KmlPlacemarksAndWellFormedness)
{
    struct Case {
        const char *name;
        Bytes positions;
        int placemarks; // -1: no document
    };
    Bytes twelve = position(46 * 92000, 14 * 46000);
    const Bytes second = position(-45 * 92000, -13 * 46000);
    twelve.insert(twelve.end(), second.begin(), second.end());
    const Case cases[] = {
        {"12 bytes", twelve, 2},
        {"10 bytes", Bytes(twelve.begin(), twelve.begin() + 10), 0},
        {"out of range", position(91 * 92000, 0), 0},
    };
    for (const Case &c : cases) {
        Renderer t;
        Object o = plain(3, "A <title> & ]]> \"x\"", "Body ]]> <b>");
        o.titleSections = section(0xB0, c.positions);
        t.feed(o);
        std::string kml;
        ASSERT_TRUE(t.r.kmlDocument(3, kml)) << c.name;
        QXmlStreamReader reader(QByteArray::fromStdString(kml));
        int placemarks = 0;
        while (!reader.atEnd())
            if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == QStringLiteral("Placemark"))
                ++placemarks;
        EXPECT_FALSE(reader.hasError()) << c.name << ": " << reader.errorString().toStdString() << "\n" << kml;
        EXPECT_EQ(c.placemarks, placemarks) << c.name;
        if (c.placemarks == 2) {
            EXPECT_TRUE(contains(kml, " - Position 1</name>")) << kml;
            EXPECT_TRUE(contains(kml, " - Position 2</name>")) << kml;
            EXPECT_TRUE(contains(kml, "<coordinates>14.000000,46.000000</coordinates>")) << kml;
            EXPECT_EQ("application/vnd.google-earth.kml+xml", (t.get("3.kml"), t.r.contentType()));
        }
    }
    Renderer none;
    none.feed(plain(4));
    std::string kml;
    EXPECT_FALSE(none.r.kmlDocument(4, kml));
}

TEST(NSJRendererHTML, StatisticsStartAtZero)
{
    Renderer t;
    const std::string page = t.get("statistics");
    EXPECT_EQ("text/html", t.r.contentType());
    EXPECT_TRUE(contains(page, "<dt>Processed</dt><dd>0</dd>")) << page;
    EXPECT_TRUE(contains(page, "<dt>Stored</dt><dd>0</dd>")) << page;
    t.feed(plain(1));
    EXPECT_TRUE(contains(t.get("statistics"), "<dt>Processed</dt><dd>1</dd>"));
}

TEST(NSJRendererHTML, LinksKeepOnlySafeSchemes)
{
    Renderer t;
    Object o = plain(1, "T", "b");
    for (const Bytes &s : {linkSection(2, "javascript:alert(1)", "evil"), linkSection(2, "mailto:a@b.c", "mail"),
                           linkSection(2, "https://x.test/a.kmz'\"", "earth")})
        o.titleSections.insert(o.titleSections.end(), s.begin(), s.end());
    t.feed(o);
    t.r.setLinkResolver([](const std::string &link, void *) { return link; }, nullptr);
    const std::string page = t.get("1.html");
    EXPECT_TRUE(contains(page, "<a href=\"\" title=\"Click here to open the indicated website or URL\"")) << page;
    EXPECT_TRUE(contains(page, "<a href=\"mailto:a@b.c\" title=\"Click here to send an e-mail\"")) << page;
    EXPECT_TRUE(contains(page, "href=\"https://x.test/a.kmz&#39;&#34;\" title=\"Will try to open up in Google Earth")) << page;
}

TEST(NSJRendererHTML, PageOfEveryType)
{
    Renderer t;
    t.feed(withoutBody(1, TitleOnly, "Ticker"));
    Object list = withoutBody(2, List, "Table");
    list.hasBody = true;
    list.body = std::string("\x04" "a\x05" "b");
    t.feed(list);
    Object text = plain(3, "Pictured", "Words");
    Bytes picture{3, 'j', 'p', 'g', 0xFF, 0xD8, 0xFF};
    Bytes image{0x03, 0x00, uint8_t(picture.size())};
    image.insert(image.end(), picture.begin(), picture.end());
    text.titleSections = section(0xC0, image);
    t.feed(text);

    const std::string tickerPage = t.get("1.html");
    EXPECT_TRUE(contains(tickerPage, "<h1>Ticker</h1>")) << tickerPage;
    EXPECT_FALSE(contains(tickerPage, "<article>")) << tickerPage;
    EXPECT_TRUE(contains(t.get("2.html"), "<article><table><tr><td>a</td><td>b</td></tr>\n</table></article>"));
    EXPECT_TRUE(contains(t.get("1.html?debug"), "type: Title Only Message"));
    EXPECT_TRUE(contains(t.get("2.html?debug"), "type: List Message"));

    const std::string textPage = t.get("3.html");
    EXPECT_TRUE(contains(textPage, "<img src=\"3-1.jpg\"")) << textPage;
    EXPECT_EQ(std::string("\xFF\xD8\xFF"), t.get("jourc/3-1.jpg"));
    EXPECT_EQ("image/jpg", t.r.contentType());
    EXPECT_EQ(1u, t.r.resourceCount());
    // The picture goes with its object.
    t.r.onObjectEvent(3, NSJ_EVENT_EXPIRED);
    EXPECT_EQ(0u, t.r.resourceCount());
}

TEST(NSJRendererHTML, ImagesByReferenceTakeTheHostsAddressElseTheirOwn)
{
    // Kind 0: a reference of two-byte length, then a caption of one-byte length.
    auto referenced = [](const std::string &reference) {
        Bytes image{0x00, 0x00, uint8_t(reference.size())};
        append(image, reference);
        image.push_back(3);
        append(image, std::string("Cap"));
        return section(0xC0, image);
    };
    struct Case {
        const char *name;
        const char *reference;
        bool resolver;
        const char *url;
    } cases[] = {
        {"web address, nothing resolves", "https://img.test/a.jpg", false, "https://img.test/a.jpg"},
        {"script address refused", "javascript:alert(1)", false, ""},
        {"service link the host knows", "dab.srv.sls://0xd201/a.jpg", true, "/sls-1/a.jpg"},
        {"service link the host does not know", "dab.srv.sls://0xbeef/a.jpg", true, ""},
    };
    for (const Case &c : cases) {
        Renderer t;
        if (c.resolver)
            t.r.setLinkResolver([](const std::string &link, void *) {
                return link == "dab.srv.sls://0xd201/a.jpg" ? std::string("/sls-1/a.jpg") : std::string();
            }, nullptr);
        Object o = plain(1, "Pictured", "Words");
        o.titleSections = referenced(c.reference);
        t.feed(o);
        const std::string reply = t.get("ajax?getObject=1");
        EXPECT_TRUE(isStrictJson(reply)) << c.name << ": " << reply;
        EXPECT_TRUE(contains(reply, "\"images\":[{\"url\":\"" + std::string(c.url) + "\",\"mime\":\"\",\"caption\":\"Cap\"}]"))
            << c.name << ": " << reply;
    }
}

TEST(NSJRendererHTML, Routes)
{
    Renderer t;
    t.feed(menu(0, {{1, "First"}, {2, "Second"}}, "Root"));
    t.feed(plain(1, "One"));
    t.feed(plain(2, "Two"));
    Object placed = plain(3, "Placed");
    placed.titleSections = section(0xB0, position(46 * 92000, 14 * 46000));
    t.feed(placed);
    struct Case {
        const char *name;
        const char *target;
        const char *type;
        const char *expected; // a part of the answer
    };
    const Case cases[] = {
        {"directory is the main menu", "", "text/html", "<h1>Root</h1>"},
        {"object page", "1.html?hist=0,1", "text/html", "<h1>One</h1>"},
        {"next sibling", "nav_next?hist=0,1", "text/html", "<h1>Two</h1>"},
        {"previous sibling", "nav_prev?hist=0,2", "text/html", "<h1>One</h1>"},
        {"up", "nav_up?hist=0,2", "text/html", "<h1>Root</h1>"},
        {"statistics", "statistics", "text/html", "<dt>Processed</dt><dd>4</dd>"},
        {"ajax", "ajax?getUpdate=0", "application/json", "\"success\":true"},
        {"built-in style sheet", "jourc/css/journaline.css", "text/css", ".journaline"},
        {"KML of an object", "3.kml", "application/vnd.google-earth.kml+xml", "<Placemark>"},
        {"KML of an object without places", "1.kml", "404", ""},
        {"KML of a name that is no id", "x3.kml", "404", ""},
        {"profiling is never on", "dumpProfiling", "404", ""},
        {"unknown file", "picture.png", "404", ""},
    };
    for (const Case &c : cases) {
        const std::string answer = t.get(c.target);
        EXPECT_EQ(c.type, t.r.contentType()) << c.name;
        EXPECT_TRUE(contains(answer, c.expected)) << c.name << ": " << answer;
    }
}

TEST(NSJRendererHTML, ErrorBoxForEveryResult)
{
    Renderer t;
    t.feed(plain(9));
    struct Case {
        const char *name;
        uint16_t id;
        int result;
        const char *pageTitle;
        const char *boxTitle;
        const char *description;
    };
    const Case cases[] = {
        {"broken fragments", 5, NSJ_FRAGMENT_INVALID, "An unspecified error occurred ...",
         "This item is not a valid Journaline Object", "fragments contain invalid data."},
        {"no title first", 5, NSJ_OBJECT_INVALID, "Invalid Journaline Object",
         "This item is not a valid Journaline Object", "has to contain a title section first"},
        {"main menu missing", 0, NSJ_OBJECT_NOT_AVAILABLE, "Object currently not available ...",
         "Waiting for main menu", "The main menu has not been received yet"},
        {"object missing", 5, NSJ_OBJECT_NOT_AVAILABLE, "Object currently not available ...",
         "Object currently not available", "(not on air, not received yet ...)"},
        {"too large", 5, NSJ_OBJECT_TOO_LARGE, "Object content is too large (over 4092 Bytes) ...",
         "Object content is too large", "larger than 4092 Bytes."},
        {"expired", 5, NSJ_OBJECT_TIMEOUT, "Object is no longer available ...", "Object no longer available",
         "defined by the broadcast the requested object is no longer available."},
        {"anything else", 5, NSJ_UNEXPECTED_ERROR, "An unspecified error occurred ...", "Error",
         "An unspecified error occurred"},
    };
    auto record = std::make_unique<NSJ_ObjectRecord>();
    for (const Case &c : cases) {
        const std::string page = t.r.producePage(c.id, c.result, record.get(), "?hist=0", false);
        EXPECT_TRUE(contains(page, "<title>" + std::string(c.pageTitle) + "</title>")) << c.name << ": " << page;
        EXPECT_TRUE(contains(page, "<h1>" + std::string(c.boxTitle) + "</h1>")) << c.name << ": " << page;
        EXPECT_TRUE(contains(page, c.description)) << c.name << ": " << page;
        EXPECT_FALSE(contains(page, "{")) << c.name << ": " << page;
    }
}

TEST(NSJRendererHTML, DebugViewShowsManagementDataAndSignalledBytes)
{
    Renderer t;
    Object o = plain(3, "Placed", "Words");
    append(o.titleSections, section(0x01, {0x3F, 0xFF, 0xFF}));
    append(o.titleSections, section(0x02, {0x00, 0x3C}));
    append(o.titleSections, section(0xA0, {'s', 'l', 'v'}));
    append(o.titleSections, section(0xB0, position(46 * 92000, 14 * 46000)));
    append(o.titleSections, section(0xB1, position(45 * 92000, 13 * 46000)));
    t.feed(o);
    const std::string debug = t.get("3.html?debug");
    EXPECT_TRUE(contains(debug, " [3]</title>")) << debug;
    EXPECT_TRUE(contains(debug, "<span class=\"nj_debug_nml_code\">&nbsp;0x1A 0x02 0x02 0x00 0x3C </span>")) << debug;
    EXPECT_TRUE(contains(debug, "type: Plain Text Message")) << debug;
    EXPECT_TRUE(contains(debug, "<dt>Expires</dt><dd>2119-08-15T14:45:00 UTC (signalled: 0x3FFFFF)</dd>")) << debug;
    EXPECT_TRUE(contains(debug, "<dt>Valid for</dt><dd>60 minutes (signalled: 0x003C)</dd>")) << debug;
    EXPECT_TRUE(contains(debug, "<dt>Language</dt><dd>Slovenian</dd>")) << debug;
    EXPECT_TRUE(contains(debug, "(signalled: 0x40934009D3A0)")) << debug;
    EXPECT_TRUE(contains(debug, "<br />(signalled: 0x")) << debug;
    EXPECT_FALSE(contains(debug, "<if ")) << debug;

    const std::string plainView = t.get("3.html");
    EXPECT_TRUE(contains(plainView, "<title>Placed</title>")) << plainView;
    EXPECT_TRUE(contains(plainView, "Position 1")) << plainView;
    EXPECT_TRUE(contains(plainView, "Region 1")) << plainView;
    for (const char *debugOnly : {"signalled", "Expires", "Language", "type: "})
        EXPECT_FALSE(contains(plainView, debugOnly)) << debugOnly << ": " << plainView;
}

TEST(NSJRendererHTML, MenuHighlightsTheItemTheUserCameFrom)
{
    Renderer t;
    t.feed(menu(0, {{1, "First"}, {2, "Second"}}, "Root"));
    t.feed(plain(1, "One"));
    t.feed(plain(2, "Two"));
    EXPECT_FALSE(contains(t.get("0.html"), "came-from"));
    t.get("2.html?hist=0,2");
    const std::string back = t.get("0.html?hist=0");
    EXPECT_TRUE(contains(back, "<a href=\"2.html?hist=0,2\" class=\"came-from\">Second</a>")) << back;
    EXPECT_FALSE(contains(back, "<a href=\"1.html?hist=0,1\" class=\"came-from\">")) << back;
    // A reload of the same menu keeps the mark.
    EXPECT_TRUE(contains(t.get("0.html?hist=0"), "class=\"came-from\">Second</a>"));
}

TEST(NSJRendererHTML, KmlStaysWellFormedWithControlCodesAndBrokenText)
{
    Renderer t;
    // 0x15..0x1F pass the NML conversion; an overlong NUL and an encoded
    // surrogate are no characters XML allows.
    Object o = plain(3, std::string("T\x15itle \xC0\x80 \xED\xA0\x80 \xEF\xBF\xBE"), std::string("B\x19ody\x1E\x00 end", 12));
    o.titleSections = section(0xB0, position(46 * 92000, 14 * 46000));
    t.feed(o);
    std::string kml;
    ASSERT_TRUE(t.r.kmlDocument(3, kml));
    QXmlStreamReader reader(QByteArray::fromStdString(kml));
    while (!reader.atEnd())
        reader.readNext();
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString() << "\n" << kml;
}

TEST(NSJRendererHTML, BuiltInPagesReferOnlyToBuiltInFiles)
{
    Renderer t;
    t.r.setAutoplayButtonShown(true);
    t.r.setLinkResolver([](const std::string &link, void *) { return link; }, nullptr);
    t.feed(menu(0, {{3, "Linked"}}, "Root"));
    Object o = plain(3, "Linked", "Words");
    append(o.titleSections, section(0x03, {0, 0, 0, 0, 't'}));
    for (const auto &[kind, address] : std::vector<std::pair<uint8_t, std::string>>{
             {1, "dab.srv.sls://0xd201/"}, {2, "https://x.test/"}, {2, "mailto:a@b.test"}, {2, "https://x.test/a.kml"},
             {3, "+49123"}, {4, "+49123"}})
        append(o.titleSections, linkSection(kind, address, "text"));
    append(o.titleSections, section(0xB0, position(46 * 92000, 14 * 46000)));
    t.feed(o);
    std::set<std::string> references;
    for (const char *target : {"0.html", "3.html?hist=0,3", "9.html", "statistics"}) {
        const std::string page = t.get(target);
        for (size_t at = page.find("\"jourc/"); at != std::string::npos; at = page.find("\"jourc/", at + 1))
            references.insert(page.substr(at + 1, page.find('"', at + 1) - at - 1));
    }
    for (const char *expected : {"jourc/img/link-journaline.svg", "jourc/img/link-mail.svg", "jourc/img/link-web.svg",
                                 "jourc/img/link-google_earth.svg", "jourc/img/warning.svg", "jourc/img/autoplay-play.svg"})
        EXPECT_EQ(1u, references.count(expected)) << expected;
    for (const std::string &reference : references) {
        EXPECT_FALSE(t.get(reference).empty()) << reference;
        EXPECT_NE("404", t.r.contentType()) << reference;
    }
}
