// The request frame of the Journaline renderer: parsing, navigation from the
// query, the response header and the text functions.
#include "CoreFixture.h"
#include "NSJRenderer.h"

#include <gtest/gtest.h>

using namespace ZOZ::Test::Journaline;

namespace {

// Answers every request with the file name it was given.
class EchoRenderer : public NSJRenderer {
public:
    using NSJRenderer::Handle_HttpRequest;
    int Handle_HttpRequest(const Request &request, std::string &output) override
    {
        last = request;
        output = request.file;
        return writeResponse(output, type);
    }
    Request last;
    std::string type = "text/html";
};

} // namespace

TEST(NSJRenderer, RequestLineAndHistory)
{
    EchoRenderer r;
    ASSERT_EQ(0, r.start(true, 0));
    r.setResponseHeader(NSJRenderer::ResponseHeader::Off);
    std::string out;
    EXPECT_EQ(6, r.Handle_HttpRequest("GET /jour/0.html?hist=0 HTTP/1.0\r\nHost: x\r\n\r\n", out));
    EXPECT_EQ("/jour/", r.last.directory);
    EXPECT_EQ("0.html", r.last.file);
    EXPECT_EQ("/jour/0.html?hist=0", r.last.uri);
    EXPECT_EQ((std::map<std::string, std::string>{{"hist", "0"}}), r.query());
    NSJ_HistoryPath path{};
    r.historyPath(&path);
    EXPECT_EQ(0, path.depth);
    EXPECT_EQ(0, path.ids[0]);

    r.Handle_HttpRequest("GET /jour/345.html?hist=0,12,345&Debug&a=1&a=2 HTTP/1.0\r\n", out);
    r.historyPath(&path);
    EXPECT_EQ(2, path.depth);
    EXPECT_EQ((std::vector<uint16_t>{0, 12, 345}), std::vector<uint16_t>(path.ids, path.ids + 3));
    EXPECT_TRUE(r.isDebug());
    EXPECT_EQ("2", r.query().at("a")) << "later pieces win";
    EXPECT_EQ("", r.query().at("Debug"));

    // Unreadable ids count as 0; 20 commas leave the path alone.
    r.Handle_HttpRequest("GET /jour/x.html?hist=0,abc,7 HTTP/1.0\r\n", out);
    r.historyPath(&path);
    EXPECT_EQ((std::vector<uint16_t>{0, 0, 7}), std::vector<uint16_t>(path.ids, path.ids + 3));
    std::string twenty = "0";
    for (int i = 1; i <= 20; ++i)
        twenty += "," + std::to_string(i);
    r.Handle_HttpRequest("GET /jour/x.html?hist=" + twenty + " HTTP/1.0\r\n", out);
    r.historyPath(&path);
    EXPECT_EQ(2, path.depth);
    std::string nineteen = twenty.substr(0, twenty.rfind(','));
    r.Handle_HttpRequest("GET /jour/x.html?hist=" + nineteen + " HTTP/1.0\r\n", out);
    r.historyPath(&path);
    EXPECT_EQ(19, path.depth);
    EXPECT_FALSE(r.isDebug());
}

TEST(NSJRenderer, ParseErrors)
{
    struct Row {
        const char *name;
        std::string request;
        std::string error;
    } rows[] = {
        {"no line end", "GET /jour/0.html HTTP/1.0", "Unable to parse http request [LINE_END]'GET /jour/0.html HTTP/1.0'"},
        {"POST", "POST /jour/0.html HTTP/1.0\r\n", "Invalid http request [NO_GET]'POST /jour/0.html HTTP/1.0\r\n'"},
        {"no space", "GET /jour/0.html\r\n", "Unable to parse http request [NO_SPACE]'GET /jour/0.html\r\n'"},
        {"no slash", "GET 0.html HTTP/1.0\r\n", "Unable to parse http request [NO_ROOT]'GET 0.html HTTP/1.0\r\n'"},
        {"encoded line end", "GET /a%0D%0A", ""},
    };
    EchoRenderer r;
    ASSERT_EQ(0, r.start(true, 0));
    for (const Row &row : rows) {
        NSJRenderer::Request request;
        const std::string error = r.parse(row.request, request);
        if (!row.error.empty()) {
            EXPECT_EQ(row.error, error) << row.name;
        }
        std::string out;
        testing::internal::CaptureStderr();
        const int result = r.Handle_HttpRequest(row.request, out);
        const std::string logged = testing::internal::GetCapturedStderr();
        EXPECT_EQ(-1, result) << row.name;
        EXPECT_EQ(0u, logged.find("NSJRenderer::Handle_HttpRequest() -> error: ")) << row.name;
    }
}

TEST(NSJRenderer, PercentDecoding)
{
    struct Row {
        const char *in;
        const char *out;
    } rows[] = {
        {"a%41+b", "aA b"},
        {"%2", "%2"},
        {"%zz%4a", "%zzJ"},
        {"%2541", "%41"}, // one pass only
        {"", ""},
    };
    for (const Row &row : rows)
        EXPECT_EQ(row.out, NSJRenderer::percentDecode(row.in)) << row.in;
    // Encoded separators act as separators.
    EchoRenderer r;
    ASSERT_EQ(0, r.start(true, 0));
    std::string out;
    r.Handle_HttpRequest("GET /jour/a%3Fk%3Dv%26x%3Dy HTTP/1.0\r\n", out);
    EXPECT_EQ("a", r.last.file);
    EXPECT_EQ("v", r.query().at("k"));
    EXPECT_EQ("y", r.query().at("x"));
}

TEST(NSJRenderer, ResponseHeader)
{
    struct Row {
        std::string type;
        std::string status;
        std::string contentType;
    } rows[] = {
        {"text/HTML", "HTTP/1.0 200 OK\n", "text/html"},
        {"404", "HTTP/1.0 404 Not found\n", "404"},
        {"500", "HTTP/1.0 500 An internal error occurred\n", "500"},
    };
    for (const Row &row : rows) {
        EchoRenderer r;
        r.type = row.type;
        std::string out;
        const int length = r.Handle_HttpRequest("GET /jour/body HTTP/1.0\r\n", out);
        const std::string expected = row.status + "Server: ZOZ-Journaline/2020-04-16_v1.5.49\nContent-Length: 4\n"
                                     "Content-Language: en\nContent-Type: " + row.contentType + "; charset=utf-8\n\nbody";
        EXPECT_EQ(expected, out) << row.type;
        EXPECT_EQ(static_cast<int>(expected.size()), length);
        EXPECT_EQ(row.type, r.contentType());
    }
}

TEST(NSJRenderer, NmlToDisplay)
{
    const std::string nml = std::string("a\x10" "b\x11\x14" "c\x1A\x01\x05\x06" "d\x1C\x07" "e", 14) + "\xC3\xA9";
    EXPECT_EQ("a<br/>\nbcde\xC3\xA9", NSJRenderer::nmlToDisplay(nml));
    EXPECT_EQ("x", NSJRenderer::nmlToDisplay(std::string("x\x1A\x09\x01", 4))) << "a cut section";
}

TEST(NSJRenderer, Utf8ToCodePoints)
{
    struct Row {
        const char *name;
        std::string in;
        std::vector<uint32_t> out;
    } rows[] = {
        {"ascii", "Az", {'A', 'z'}},
        {"two bytes", "\xC3\xA9", {0xE9}},
        {"three bytes", "\xE2\x82\xAC", {0x20AC}},
        {"four bytes", "\xF0\x9F\x98\x80", {0x1F600}},
        {"cut by the end", "a\xE2\x82", {'a', 0xFFFF}},
        {"cut by a letter", "\xE2x", {0xFFFF, 'x'}},
        {"stray continuations", "\x80\x80z", {0xFFFF, 'z'}},
        {"invalid lead", "\xFF" "a", {0xFFFF, 'a'}},
        {"empty", "", {}},
    };
    for (const Row &row : rows)
        EXPECT_EQ(row.out, NSJRenderer::utf8ToCodePoints(row.in)) << row.name;
    EXPECT_EQ("41:e9:00", NSJRenderer::textToHex("A\xC3\xA9\xE2\x82\xAC", ":"));
}

TEST(NSJRenderer, OptionsAndBuiltInFiles)
{
    EchoRenderer r;
    EXPECT_TRUE(r.options().extEnabled);
    EXPECT_EQ(15000u, r.options().apTimestepMs);
    r.setAutoplayStep(7);
    EXPECT_EQ(7000u, r.options().apTimestepMs);
    EXPECT_EQ("style", r.styleOption());
    EXPECT_FALSE(r.setStyleOption("style"));
    EXPECT_TRUE(r.setStyleOption("other"));
    EXPECT_TRUE(r.setSecondOption("dark"));

    ASSERT_NE(nullptr, NSJRenderer::builtInFileContent("jourc/css/journaline.css"));
    EXPECT_GT(NSJRenderer::builtInFileSize("jourc/css/journaline.css"), 0u);
    EXPECT_EQ(1587052681u, NSJRenderer::builtInFileModified("jourc/css/journaline.css"));
    EXPECT_EQ(nullptr, NSJRenderer::builtInFileContent("jourc/css/journaline.cs"));
    EXPECT_EQ(0u, NSJRenderer::builtInFileSize("css/journaline.css"));
}

TEST(NSJRenderer, ServiceLinksOfAnObject)
{
    EchoRenderer r;
    ASSERT_EQ(0, r.start(true, 0));
    static std::vector<std::string> resolved;
    r.setLinkResolver([](const std::string &link, void *) {
        resolved.push_back(link);
        return std::string();
    }, nullptr);
    Object o = plain(1);
    const Bytes link{0x00, 0x00, 0x05, 'd', 'a', 'b', ':', '1'};
    append(o.titleSections, section(0xC1, link));
    append(o.titleSections, section(0xC1, link));
    append(o.titleSections, section(0xC1, {0x00, 0x00, 0x09, 'x'})); // longer than the section
    ASSERT_EQ("", r.processDataGroup(objectGroup(o).data(), static_cast<uint16_t>(objectGroup(o).size())));
    auto record = std::unique_ptr<NSJ_ObjectRecord, FreeDeleter>(
        static_cast<NSJ_ObjectRecord *>(std::malloc(NSJ_GetObjectRecordSize())));
    ASSERT_EQ(NSJ_OK, r.object(1, record.get(), NSJAPIProvider::Navigation::Keep));
    EXPECT_FALSE(r.linksSeen());
    r.collectServiceLinks(record.get(), 2);
    EXPECT_TRUE(r.linksSeen());
    EXPECT_EQ((std::vector<std::string>{"dab:1"}), r.serviceLinks(2));
    EXPECT_EQ((std::vector<std::string>{"dab:1", "dab:1"}), resolved);
    EXPECT_TRUE(r.serviceLinks(0).empty());
}
