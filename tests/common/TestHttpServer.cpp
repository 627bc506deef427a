#include "Gunzip.h"
#include "HttpTestClient.h"
#include "TestEnvironment.h"
#include "StrictJson.h"
#include "http/ZOZHttpContentType.h"
#include "http/ZOZHttpRequestHandler.h"
#include "http/ZOZHttpServer.h"
#include "base/ZOZMainThreadServices.h"
#include "ZOZHttpSettingsAdapter.h"
#include "settings/ZOZSettings.h"
#include "web/ZOZTemplateValue.h"

#include <gtest/gtest.h>

#include <QThread>


#include <atomic>
#include <memory>
#include <thread>

using namespace ZOZ;
using ZOZTest::HttpAnswer;
using ZOZTest::HttpTestClient;
using ZOZTest::StrictJson;
using ZOZTest::gunzip;

namespace {

// Answers with a description of the request it got, so the tests see what the
// server made of the bytes on the wire.
class RecordingHandler : public HttpRequestHandler
{
public:
    explicit RecordingHandler(const QString &prefix, std::atomic<int> *destroyed = nullptr) : m_destroyed(destroyed)
    {
        setRequestPath(prefix);
        setRefreshCycle(250);
        setStateChangingCommands({ QStringLiteral("select") });
    }
    ~RecordingHandler() override
    {
        if (m_destroyed)
            ++*m_destroyed;
    }

    bool httpFileRequest(const HttpRequest &request, HttpResponse &response) override
    {
        if (request.file == QLatin1String("app.css")) {
            response.status = 200;
            response.contentType = HttpContentCss;
            response.body = ".a { color: red; }";
            response.filePath = QStringLiteral(":css/app.css");
            return true;
        }
        if (request.file == QLatin1String("big.html")) {
            response.status = 200;
            response.contentType = HttpContentHtml;
            for (int i = 0; i < 500; ++i)
                response.body += "<p>line " + QByteArray::number(i) + " of a long page</p>\n";
            return true;
        }
        return false;
    }

    bool httpPageRequest(const HttpRequest &request, HttpResponse &response) override
    {
        if (request.file.endsWith(QLatin1String(".png")))
            return false;
        QStringList query;
        for (auto it = request.query.cbegin(); it != request.query.cend(); ++it)
            query << it.key() + QLatin1Char('=') + it.value();
        response.status = 200;
        response.contentType = HttpContentHtml;
        response.body = QStringLiteral("method=%1;path=%2;file=%3;query=%4;persistent=%5")
                            .arg(request.method)
                            .arg(request.path, request.file, query.join(QLatin1Char(',')),
                                 QLatin1String(request.persistent ? "true" : "false"))
                            .toUtf8();
        return true;
    }

    bool httpAjaxRequest(const HttpRequest &request, HttpResponse &response) override
    {
        if (request.query.contains(QStringLiteral("hold"))) {
            ++held;
            while (!released.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        TemplateValue answer;
        answer << TemplateValue(QStringLiteral("success"), true);
        if (request.query.contains(QStringLiteral("echo")))
            answer << TemplateValue(QStringLiteral("echo"), request.query.value(QStringLiteral("echo")));
        else if (request.query.contains(QStringLiteral("hold")))
            answer << TemplateValue(QStringLiteral("held"), true);
        else if (request.query.contains(QStringLiteral("select")))
            answer << TemplateValue(QStringLiteral("selected"), request.query.value(QStringLiteral("select")));
        else
            return false;
        response.body = answer.toUtf8();
        return true;
    }

    // Requests with the key "hold" wait here until released.
    std::atomic<int> held { 0 };
    std::atomic<bool> released { false };

private:
    std::atomic<int> *m_destroyed;
};

// Waits for a condition that other threads bring about; false when it never came.
template <typename Condition>
bool waitFor(Condition condition)
{
    for (int i = 0; i < 30000; ++i) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return condition();
}


} // namespace

// The server runs on a thread with its own event loop, as on the main thread of the
// program; the test talks to it through real sockets.
class HttpServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_thread.start();
        m_context.moveToThread(&m_thread);
        m_pages = new RecordingHandler(QString());
        m_service = new RecordingHandler(QStringLiteral("svc/"), &m_serviceDestroyed);
        onServerThread([this] {
            m_server = new HttpServer(nullptr, m_pages);
            beforeOpen();
            m_server->setIdleTimeout(400);
            m_server->addRequestHandler(m_service);
            ASSERT_TRUE(m_server->open());
        });
        m_port = m_server->port();
        m_host = "Host: 127.0.0.1:" + QByteArray::number(m_port) + "\r\n";
    }

    void TearDown() override
    {
        m_service->released.store(true);
        onServerThread([this] { delete m_server; });
        m_thread.quit();
        m_thread.wait();
        delete m_pages;
    }

    virtual void beforeOpen() {}

    template <typename F>
    void onServerThread(F work)
    {
        QMetaObject::invokeMethod(&m_context, work, Qt::BlockingQueuedConnection);
    }

    QByteArray get(const QByteArray &target, const QByteArray &extraHeaders = QByteArray())
    {
        return "GET " + target + " HTTP/1.1\r\n" + m_host + extraHeaders + "\r\n";
    }

    HttpAnswer fetch(const QByteArray &requestBytes)
    {
        HttpTestClient client(m_port);
        return client.request(requestBytes);
    }

    QThread m_thread;
    QObject m_context;
    HttpServer *m_server = nullptr;
    RecordingHandler *m_pages = nullptr;
    RecordingHandler *m_service = nullptr;
    std::atomic<int> m_serviceDestroyed { 0 };
    int m_port = 0;
    QByteArray m_host;
};

TEST_F(HttpServerTest, RequestLines)
{
    const QByteArray port = QByteArray::number(m_port);
    struct Row { const char *name; QByteArray request; int status; QByteArray body; };
    const Row rows[] = {
        { "query without value", get("/?settings"), 200, "method=2;path=;file=;query=settings=;persistent=true" },
        { "repeated slashes folded", "GET //a//b/c.css HTTP/1.0\r\n" + m_host + "\r\n", 200,
          "method=2;path=a/b/;file=c.css;query=;persistent=false" },
        { "slash inside the query", get("/x?u=a/b&v=1"), 200, "method=2;path=;file=x;query=u=a/b,v=1" },
        { "lower-case method", "get /p HTTP/1.1\r\n" + m_host + "\r\n", 200, "method=0;path=;file=p" },
        { "marked value decoded", get("/?t=__UTF8__%u00e9t%E9"), 200, "query=t=\xc3\xa9t\xc3\xa9;" },
        { "absolute target", "GET http://127.0.0.1:" + port + "/d/f HTTP/1.1\r\n" + m_host + "\r\n", 200, "path=d/;file=f;" },
        { "refresh cycle", get("/ajax?getHttpRefreshCycle"), 200, "{\"success\":true,\"httpRefreshCycle\":250}" },
        { "prefixed handler", get("/svc/ajax?echo=hi"), 200, "{\"success\":true,\"echo\":\"hi\"}" },
        { "unanswered ajax", get("/ajax?nothing"), 200, "{\"success\":false}" },
        { "check request", get("/ajax?checkRequest=%68%74%74%70%3a%2f%2f%68%2f%73%76%63%2f%78"), 200, "{\"success\":true}" },
        { "missing file", get("/img/missing.png"), 404, "404 Not Found" },
        { "unknown method", "PUT / HTTP/1.1\r\n" + m_host + "\r\n", 400, "400 Bad Request" },
        { "no version", "GET /\r\n" + m_host + "\r\n", 400, "400 Bad Request" },
        { "parent folder", get("/../../etc/passwd"), 400, "400 Bad Request" },
        { "encoded parent folder", get("/%2e%2E/etc/passwd"), 400, "400 Bad Request" },
        { "backslash", get("/a\\..\\b"), 400, "400 Bad Request" },
        { "NUL byte", QByteArray("GET /a\0b HTTP/1.1\r\n", 20) + m_host + "\r\n", 400, "400 Bad Request" },
        { "foreign Host", "GET / HTTP/1.1\r\nHost: attacker.test:" + port + "\r\n\r\n", 403, "403 Forbidden" },
        { "other port", "GET / HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(m_port + 1) + "\r\n\r\n", 403, "403" },
        { "no Host", "GET / HTTP/1.1\r\n\r\n", 400, "400 Bad Request" },
        { "localhost", "GET / HTTP/1.1\r\nHost: LOCALHOST:" + port + "\r\n\r\n", 200, "method=2" },
        { "foreign Origin", get("/ajax?echo=1", "Origin: http://attacker.test\r\n"), 403, "403" },
        { "opaque Origin, file", get("/site/logo.svg", "Origin: null\r\n"), 200, "file=logo.svg" },
        { "opaque Origin, ajax", get("/ajax?echo=1", "Origin: null\r\n"), 403, "403" },
        { "opaque Origin, post", "POST /x HTTP/1.1\r\n" + m_host + "Origin: null\r\nContent-Length: 0\r\n\r\n", 403, "403" },
        { "opaque Referer", get("/", "Referer: null\r\n"), 403, "403" },
        { "own Referer", get("/", "Referer: http://localhost:" + port + "/index.html\r\n"), 200, "method=2" },
        { "foreign Referer", get("/", "Referer: http://127.0.0.1.attacker.test:" + port + "/\r\n"), 403, "403" },
        { "chunked body", get("/", "Transfer-Encoding: chunked\r\n"), 400, "400" },
        { "second Host, foreign", get("/", "Host: attacker.test:" + port + "\r\n"), 400, "400 Bad Request" },
        { "second Host, the same", get("/", m_host), 400, "400 Bad Request" },
        { "absolute target, foreign host", "GET http://attacker.test:" + port + "/d/f HTTP/1.1\r\n" + m_host + "\r\n", 403, "403" },
        { "absolute target, other port", "GET http://127.0.0.1:" + QByteArray::number(m_port + 1) + "/ HTTP/1.1\r\n" + m_host + "\r\n", 403, "403" },
        { "absolute target, no authority", "GET http:///d/f HTTP/1.1\r\n" + m_host + "\r\n", 403, "403" },
        { "absolute target, query only", "GET http://localhost:" + port + "?q=1 HTTP/1.1\r\n" + m_host + "\r\n", 200, "path=;file=;query=q=1" },
        { "second Origin, foreign", get("/", "Origin: http://127.0.0.1:" + port + "\r\nOrigin: http://attacker.test\r\n"), 403, "403" },
    };
    for (const Row &row : rows) {
        const HttpAnswer answer = fetch(row.request);
        EXPECT_EQ(answer.status, row.status) << row.name;
        EXPECT_TRUE(answer.body.contains(row.body)) << row.name << ": " << answer.body.constData();
        EXPECT_EQ(answer.header("X-Content-Type-Options"), "nosniff") << row.name;
        // No foreign page needs to read our answers.
        EXPECT_FALSE(answer.headers.contains("access-control-allow-origin")) << row.name;
        EXPECT_TRUE(answer.header("Content-Security-Policy").contains("frame-ancestors 'self'")) << row.name;
        if (answer.header("Content-Type").startsWith("application/json")) {
            EXPECT_TRUE(StrictJson::isValid(answer.body)) << row.name;
        }
    }
}

TEST_F(HttpServerTest, KeepAliveFollowsVersionAndConnectionHeader)
{
    struct Row { const char *name; QByteArray version; QByteArray connection; bool persistent; };
    const Row rows[] = {
        { "1.0 plain", "1.0", "", false },
        { "1.0 keep-alive", "1.0", "Connection: KEEP-alive\r\n", true },
        { "1.1 plain", "1.1", "", true },
        { "1.1 close", "1.1", "Connection: close\r\n", false },
    };
    for (const Row &row : rows) {
        HttpTestClient client(m_port);
        const HttpAnswer first = client.request("GET / HTTP/" + row.version + "\r\n" + m_host + row.connection + "\r\n");
        EXPECT_EQ(first.status, 200) << row.name;
        if (row.persistent) {
            EXPECT_EQ(first.header("Connection"), "Keep-Alive") << row.name;
            EXPECT_EQ(client.request(get("/second")).status, 200) << row.name;
        } else {
            EXPECT_EQ(first.header("Connection"), "close") << row.name;
            EXPECT_TRUE(client.waitForClose(1000)) << row.name;
        }
    }
}

TEST_F(HttpServerTest, HeaderSplitAcrossWritesAndPipelinedRequests)
{
    HttpTestClient client(m_port);
    const QByteArray request = get("/split?x=1");
    for (qsizetype i = 0; i < request.size(); i += 7) {
        client.send(request.mid(i, 7));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(client.read().body.contains("file=split;query=x=1"));

    // Two requests in one write: both are answered without any further data.
    client.send(get("/one") + get("/two"));
    EXPECT_TRUE(client.read(1000).body.contains("file=one"));
    EXPECT_TRUE(client.read(1000).body.contains("file=two"));
}

TEST_F(HttpServerTest, PostBodyIsNotReadAsTheNextRequest)
{
    HttpTestClient client(m_port);
    const QByteArray body = get("/smuggled");
    client.send("POST /svc/ajax?echo=posted HTTP/1.1\r\n" + m_host + "Content-Length: " + QByteArray::number(body.size())
                + "\r\n\r\n" + body + get("/after"));
    const HttpAnswer posted = client.read(1000);
    EXPECT_EQ(posted.body, "{\"success\":true,\"echo\":\"posted\"}");
    const HttpAnswer after = client.read(1000);
    EXPECT_TRUE(after.body.contains("file=after")) << after.body.constData();
    EXPECT_FALSE(client.hasDataWithin(200));

    HttpTestClient large(m_port);
    EXPECT_EQ(large.request("POST / HTTP/1.1\r\n" + m_host + "Content-Length: 99999999\r\n\r\n").status, 413);
    EXPECT_TRUE(large.waitForClose(1000));
}

TEST_F(HttpServerTest, CachingHeadersAndNotModified)
{
    HttpTestClient client(m_port);
    const HttpAnswer css = client.request(get("/svc/app.css"));
    EXPECT_EQ(css.status, 200);
    EXPECT_EQ(css.header("Cache-Control"), "public, max-age=1200");
    EXPECT_EQ(css.header("Last-Modified"), httpDate(m_server->startTime()).toUtf8());
    EXPECT_EQ(css.header("Content-Type"), "text/css; charset=utf-8");

    const HttpAnswer again = client.request(get("/svc/app.css", "If-Modified-Since: " + css.header("Last-Modified") + "\r\n"));
    EXPECT_EQ(again.status, 304);
    EXPECT_TRUE(again.body.isEmpty());
    EXPECT_EQ(again.header("Content-Length"), css.header("Content-Length"));

    // A date later than now is no date of ours: the file is sent.
    const QByteArray future = httpDate(QDateTime::currentDateTimeUtc().addYears(1)).toUtf8();
    const HttpAnswer fromFuture = client.request(get("/svc/app.css", "If-Modified-Since: " + future + "\r\n"));
    EXPECT_EQ(fromFuture.status, 200);
    EXPECT_EQ(fromFuture.body, css.body);

    // Ajax answers carry the state of now, whatever date the client names.
    const QByteArray justNow = httpDate(QDateTime::currentDateTimeUtc()).toUtf8();
    for (const QByteArray &since : { future, justNow }) {
        const HttpAnswer poll = client.request(get("/ajax?getHttpRefreshCycle", "If-Modified-Since: " + since + "\r\n"));
        EXPECT_EQ(poll.status, 200) << since.constData();
        EXPECT_EQ(poll.body, "{\"success\":true,\"httpRefreshCycle\":250}") << since.constData();
    }

    const HttpAnswer page = client.request(get("/"));
    EXPECT_EQ(page.header("Cache-Control"), "no-cache");
    EXPECT_EQ(page.header("Pragma"), "no-cache");

    const HttpAnswer head = client.request("HEAD /svc/app.css HTTP/1.1\r\n" + m_host + "\r\n");
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.header("Content-Length"), css.header("Content-Length"));
    // Nothing of a body follows: the next answer starts right away.
    EXPECT_TRUE(client.request(get("/next")).body.contains("file=next"));
}

TEST_F(HttpServerTest, GzipAnswersInflateToTheOriginal)
{
    HttpTestClient client(m_port);
    const HttpAnswer plain = client.request(get("/svc/big.html"));
    const HttpAnswer compressed = client.request(get("/svc/big.html", "Accept-Encoding: gzip, deflate\r\n"));
    EXPECT_TRUE(plain.header("Content-Encoding").isEmpty());
    EXPECT_EQ(compressed.header("Content-Encoding"), "gzip");
    EXPECT_LT(compressed.body.size(), plain.body.size());
    EXPECT_EQ(gunzip(compressed.body), plain.body);

    // Too short to shrink: sent as it is, without the encoding line.
    const HttpAnswer tiny = client.request(get("/ajax?getHttpRefreshCycle", "Accept-Encoding: gzip\r\n"));
    EXPECT_TRUE(tiny.header("Content-Encoding").isEmpty());
    EXPECT_TRUE(StrictJson::isValid(tiny.body));
}

TEST_F(HttpServerTest, HostileClientsGetTheirErrorAndOthersAreServed)
{
    HttpTestClient hugeLine(m_port);
    hugeLine.send("GET /" + QByteArray(1024 * 1024, 'a'));
    EXPECT_EQ(hugeLine.read().status, 431);
    EXPECT_TRUE(hugeLine.waitForClose(1000));

    HttpTestClient manyHeaders(m_port);
    QByteArray headers = "GET / HTTP/1.1\r\n" + m_host;
    while (headers.size() < 70 * 1024)
        headers += "X-Filler: " + QByteArray(100, 'f') + "\r\n";
    EXPECT_EQ(manyHeaders.request(headers + "\r\n").status, 431);

    HttpTestClient neverEnds(m_port);
    neverEnds.send("GET / HTTP/1.1\r\n" + m_host);
    EXPECT_TRUE(neverEnds.waitForClose(2000));

    HttpTestClient binary(m_port);
    EXPECT_EQ(binary.request(QByteArray("\0\0\0\r\n\r\n", 7)).status, 400);
    EXPECT_TRUE(binary.waitForClose(1000));

    EXPECT_EQ(fetch(get("/still/serving")).status, 200);
}

TEST_F(HttpServerTest, StateChangingCommandsNeedTheToken)
{
    EXPECT_EQ(fetch(get("/svc/ajax?select=5")).status, 403);
    EXPECT_EQ(fetch(get("/svc/ajax?select=5", "X-ZOZ-Token: 0123\r\n")).status, 403);
    const HttpAnswer allowed = fetch(get("/svc/ajax?select=5", "X-ZOZ-Token: " + HttpServer::accessToken() + "\r\n"));
    EXPECT_EQ(allowed.status, 200);
    EXPECT_EQ(allowed.body, "{\"success\":true,\"selected\":\"5\"}");
    EXPECT_EQ(HttpServer::accessToken().size(), 32);
    // The default handler is held to the same rule.
    EXPECT_EQ(fetch(get("/ajax?select=1")).status, 403);
}

TEST_F(HttpServerTest, CompleteRequestsBeyondTheThreadCapWaitTheirTurn)
{
    std::vector<std::unique_ptr<HttpTestClient>> busy;
    for (int i = 0; i < HttpServer::MaxAnsweringThreads; ++i) {
        busy.push_back(std::make_unique<HttpTestClient>(m_port));
        ASSERT_TRUE(busy.back()->send(get("/svc/ajax?hold")));
    }
    ASSERT_TRUE(waitFor([this] { return m_service->held.load() == HttpServer::MaxAnsweringThreads; }));

    HttpTestClient waiting(m_port);
    waiting.send(get("/svc/ajax?echo=late"));
    EXPECT_FALSE(waiting.hasDataWithin(200)) << "answered beyond the thread cap";
    EXPECT_EQ(m_service->held.load(), HttpServer::MaxAnsweringThreads);
    // Once the answers are done, a thread is free for the waiting request.
    m_service->released.store(true);
    EXPECT_EQ(waiting.read(3000).body, "{\"success\":true,\"echo\":\"late\"}");
    for (auto &client : busy)
        EXPECT_EQ(client->read(3000).status, 200);
}

// Local processes can open hundreds of connections that send a header line byte
// by byte. They cost the server a buffer each, but no thread: a complete request
// is answered while every one of them is still open and unanswered.
TEST_F(HttpServerTest, SlowClientsHoldNoThreadWhileACompleteRequestWaits)
{
    // Limits far beyond the test's length, so no trickler is closed for its
    // slowness however slow the machine is.
    m_server->setIdleTimeout(600000);
    m_server->setRequestTimeouts({ 600000, 600000 });
    constexpr int Tricklers = 200;
    std::vector<std::unique_ptr<HttpTestClient>> slow;
    for (int i = 0; i < Tricklers; ++i) {
        slow.push_back(std::make_unique<HttpTestClient>(m_port));
        ASSERT_TRUE(slow.back()->isConnected());
        ASSERT_TRUE(slow.back()->send("GET /slow HTTP/1.1\r\n" + m_host + "X-Trickle: "));
    }
    for (const char c : QByteArray("abc\r\nX-More: d")) {
        for (auto &client : slow)
            ASSERT_TRUE(client->send(QByteArray(1, c)));
    }
    ASSERT_TRUE(waitFor([this] { return m_server->activeConnections() == Tricklers; }));

    HttpTestClient normal(m_port);
    const HttpAnswer answer = normal.request(get("/normal"), 30000);
    EXPECT_EQ(answer.status, 200);
    EXPECT_TRUE(answer.body.contains("file=normal"));
    int closedOrAnswered = 0;
    for (auto &client : slow)
        closedOrAnswered += client->hasDataWithin(0) ? 1 : 0;
    EXPECT_EQ(closedOrAnswered, 0);
    EXPECT_EQ(m_server->activeConnections(), Tricklers + 1);
}

TEST_F(HttpServerTest, ConnectionsBeyondTheBudgetOfAnAddressCloseTheLongestWaiting)
{
    m_server->setIdleTimeout(600000);
    constexpr int Budget = HttpServer::MaxWaitingConnectionsPerAddress;
    std::vector<std::unique_ptr<HttpTestClient>> waiting;
    for (int i = 0; i < Budget; ++i) {
        waiting.push_back(std::make_unique<HttpTestClient>(m_port));
        ASSERT_TRUE(waiting.back()->isConnected());
        // One at a time, so the server sees them in this order.
        ASSERT_TRUE(waitFor([&] { return m_server->activeConnections() == i + 1; }));
    }
    HttpTestClient newest(m_port);
    EXPECT_TRUE(waiting.front()->waitForClose(30000));
    int closed = 0;
    for (std::size_t i = 1; i < waiting.size(); ++i)
        closed += waiting[i]->hasDataWithin(0) ? 1 : 0;
    EXPECT_EQ(closed, 0);
    EXPECT_EQ(newest.request(get("/newest")).status, 200);
}

TEST_F(HttpServerTest, HalfClosedClientsGetTheirAnswers)
{
    struct Row { const char *name; QByteArray sent; int answers; };
    const Row rows[] = {
        { "one request", get("/one"), 1 },
        { "two pipelined", get("/one") + get("/two"), 2 },
        { "complete, then a partial one", get("/one") + "GET /two HTTP/1.1\r\n", 1 },
        { "partial only", "GET /one HTTP/1.1\r\n" + m_host, 0 },
        { "request with a body", "POST /svc/ajax?echo=p HTTP/1.1\r\n" + m_host + "Content-Length: 3\r\n\r\nabc", 1 },
    };
    for (const Row &row : rows) {
        HttpTestClient client(m_port);
        ASSERT_TRUE(client.send(row.sent)) << row.name;
        client.shutdownWrite();
        for (int i = 0; i < row.answers; ++i)
            EXPECT_EQ(client.read(3000).status, 200) << row.name << ", answer " << i;
        // Nothing more will come from the client, so the server closes.
        EXPECT_TRUE(client.waitForClose(3000)) << row.name;
    }
}

TEST_F(HttpServerTest, Registry)
{
    std::atomic<int> destroyed { 0 };
    auto *handler = new RecordingHandler(QStringLiteral("x/"), &destroyed);
    m_server->removeRequestHandler(handler);
    EXPECT_EQ(destroyed.load(), 0) << "removing an unregistered handler deleted it";

    m_server->addRequestHandler(handler);
    m_server->addRequestHandler(handler);
    EXPECT_EQ(handler->referenceCount(), 1);
    EXPECT_TRUE(m_server->hasHandlerForPath(QStringLiteral("x/y")));
    EXPECT_FALSE(m_server->hasHandlerForPath(QStringLiteral("x")));
    m_server->removeRequestHandler(handler);
    EXPECT_EQ(destroyed.load(), 1);

    onServerThread([this] { m_server->close(); });
    HttpRequest request;
    HttpResponse response;
    request.path = QStringLiteral("svc/");
    EXPECT_FALSE(m_server->dispatchFileRequest(request, response));
    EXPECT_FALSE(m_server->dispatchAjaxRequest(request, response));
    EXPECT_FALSE(m_server->hasHandlerForPath(request.path));
}

// A handler that takes itself out of the registry while it answers must not
// deadlock the connection thread.
TEST_F(HttpServerTest, HandlerMayRemoveItselfWhileAnswering)
{
    class SelfRemoving : public HttpRequestHandler
    {
    public:
        explicit SelfRemoving(HttpServer *server) : m_server(server) { setRequestPath(QStringLiteral("gone/")); }
        bool httpAjaxRequest(const HttpRequest &, HttpResponse &response) override
        {
            m_server->removeRequestHandler(this);
            response.body = "{\"success\":true}";
            return true;
        }
        HttpServer *m_server;
    };
    m_server->addRequestHandler(new SelfRemoving(m_server));
    EXPECT_EQ(fetch(get("/gone/ajax?x")).body, "{\"success\":true}");
    EXPECT_FALSE(m_server->hasHandlerForPath(QStringLiteral("gone/")));
}

class HttpServerWithSettingsTest : public HttpServerTest
{
protected:
    void SetUp() override
    {
        m_home = std::make_unique<TemporaryHome>();
        Settings::create();
        HttpServerTest::SetUp();
    }
    void beforeOpen() override { m_adapter = std::make_unique<HttpSettingsAdapter>(Settings::instance(), m_server); }
    void TearDown() override
    {
        HttpServerTest::TearDown();
        m_adapter.reset();
        Settings::destroy();
        m_home.reset();
    }
    std::unique_ptr<TemporaryHome> m_home;
    std::unique_ptr<HttpSettingsAdapter> m_adapter;
};

TEST_F(HttpServerWithSettingsTest, PortTemplateCacheAndMinifying)
{
    Settings *settings = Settings::instance();
    ASSERT_NE(settings, nullptr);
    // A random port is written back, so a reopen takes the same one.
    EXPECT_EQ(settings->httpPort(), m_port);
    EXPECT_GE(m_port, HttpServer::RandomPortFirst);
    EXPECT_LE(m_port, HttpServer::RandomPortFirst + HttpServer::RandomPortRange);

    const HttpAnswer cached = fetch(get("/svc/app.css"));
    EXPECT_EQ(cached.body, ".a{color:red;}");
    EXPECT_EQ(cached.header("Cache-Control"), "public, max-age=1200");

    settings->setNoTemplateCache(true);
    const HttpAnswer uncached = fetch(get("/svc/app.css"));
    EXPECT_EQ(uncached.header("Cache-Control"), "no-cache");
    EXPECT_EQ(uncached.header("Pragma"), "no-cache");

    // The configured port is taken by the running server.
    HttpServer second(nullptr, nullptr);
    HttpSettingsAdapter secondSettings(settings, &second);
    EXPECT_FALSE(second.open());
    EXPECT_FALSE(second.isRunning());
}

TEST_F(HttpServerWithSettingsTest, PortChangeReopensTheServer)
{
    MainThreadServices services;
    m_server->setIdleTimeout(HttpServer::IdleTimeoutMs);
    HttpTestClient open(m_port);
    ASSERT_EQ(open.request(get("/before")).status, 200);

    m_adapter->settingChanged({ Settings::HttpPortChanged });
    services.runDeferredCalls();
    // Closing wakes the connections at once instead of after their idle time.
    EXPECT_TRUE(open.waitForClose(2000));

    bool served = false;
    for (int attempt = 0; attempt < 100 && !served; ++attempt) {
        HttpTestClient client(m_port);
        served = client.isConnected() && client.request(get("/after"), 500).status == 200;
        if (!served)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(served);
    EXPECT_EQ(m_server->port(), m_port);
}

class HttpServerOnPortZeroTest : public HttpServerWithSettingsTest
{
protected:
    void beforeOpen() override
    {
        Settings::instance()->setHttpPort(0);
        HttpServerWithSettingsTest::beforeOpen();
    }
};

// Port 0 lets the system choose; everything then uses the port it chose.
TEST_F(HttpServerOnPortZeroTest, ThePortBoundIsUsedEverywhere)
{
    Settings *settings = Settings::instance();
    EXPECT_GT(m_port, 0);
    EXPECT_EQ(settings->httpPort(), m_port);
    EXPECT_EQ(settings->httpRootUrl(), QStringLiteral("http://127.0.0.1:%1").arg(m_port));
    EXPECT_EQ(fetch(get("/")).status, 200);
    EXPECT_EQ(fetch("GET / HTTP/1.1\r\nHost: 127.0.0.1:0\r\n\r\n").status, 403);

    // A reopen takes the same port again.
    onServerThread([this] { ASSERT_TRUE(m_server->reopen()); });
    EXPECT_EQ(m_server->port(), m_port);
}

TEST_F(HttpServerWithSettingsTest, AllowedDomainsMayFrameThePages)
{
    Settings *settings = Settings::instance();
    ASSERT_TRUE(settings->parseCommandLine(
        { QStringLiteral("zoz"), QStringLiteral("-ad"), QStringLiteral("https://portal.example") }));
    HttpServer server(nullptr, nullptr);
    const HttpSettingsAdapter adapter(settings, &server);
    EXPECT_TRUE(server.contentSecurityPolicy().endsWith(QStringLiteral("frame-ancestors 'self' https://portal.example")))
        << server.contentSecurityPolicy().toStdString();
}
