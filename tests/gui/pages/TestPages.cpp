// The pages served from the built-in web content: the UI
// string table, page dispatch, the forward and index pages with their
// replaced tokens, static files and the selection page's rebuilds.
#include "SettingsFixture.h"
#include "ServiceTestSupport.h"
#include "WebStack.h"
#include "http/ZOZHttpAccess.h"
#include "http/ZOZHttpContentType.h"
#include "ZOZServiceFactory.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

using ZOZ::HttpRequest;
using ZOZ::HttpResponse;
using ZOZ::Service;
using ZOZ::ServiceManager;

namespace {

constexpr int EnsembleIndex = 2;

class PlainFactory : public ZOZ::ServiceFactory
{
public:
    Service *createAudioService(ZOZ::ServiceDescriptor &descriptor, bool, int) override
    {
        auto *service = new Service(false);
        descriptor.shortname = QStringLiteral("audio");
        descriptor.name = QStringLiteral("audio");
        service->init(descriptor);
        return service;
    }
    Service *createDataService(int, ZOZ::ServiceDescriptor &) override { return nullptr; }
    Service *createContainer(ZOZ::ServiceDescriptor &) override { return nullptr; }
};

struct JsonCounts
{
    int strings = 0;
    int objects = 0;
    int arrays = 0;
};

void count(const QJsonValue &value, JsonCounts &counts)
{
    if (value.isString()) {
        ++counts.strings;
    } else if (value.isObject()) {
        ++counts.objects;
        for (const QJsonValue &child : value.toObject())
            count(child, counts);
    } else if (value.isArray()) {
        ++counts.arrays;
        for (const QJsonValue &child : value.toArray())
            count(child, counts);
    }
}

class PagesTest : public ZOZTest::SettingsFixture
{
protected:
    void SetUp() override
    {
        SettingsFixture::SetUp();
        // No style folder on disk: every page and file comes from the built-in content.
        settings->setStyleRootPath(home.path() + QStringLiteral("/no-style/"));
        shared = std::make_shared<FakeEnsembleSource::Shared>();
        auto source = std::make_unique<FakeEnsembleSource>(shared);
        fake = source.get();
        manager = ServiceManager::instance(std::move(source), std::make_unique<PlainFactory>());
        web = std::make_unique<ZOZTest::WebStack>(manager);
        ASSERT_TRUE(web->init());
        ASSERT_TRUE(manager->init());
    }

    void TearDown() override
    {
        web.reset();
        if (ServiceManager::existingInstance())
            ServiceManager::destroyInstance();
        SettingsFixture::TearDown();
    }

    static HttpRequest request(const QString &path, const QString &file, const QString &query = QString())
    {
        HttpRequest r;
        r.granted = true;
        r.passwordAccepted = true;
        r.path = path;
        r.file = file;
        r.uri = QLatin1Char('/') + path + file + (query.isEmpty() ? QString() : QLatin1Char('?') + query);
        for (const QString &pair : query.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
            const qsizetype equals = pair.indexOf(QLatin1Char('='));
            r.query.insert(pair.left(equals < 0 ? pair.size() : equals), equals < 0 ? QString() : pair.mid(equals + 1));
        }
        if (r.query.contains(QStringLiteral("isZOZ"))) {
            r.hasIsZOZ = true;
            r.isZOZ = r.query.value(QStringLiteral("isZOZ")).trimmed();
        }
        return r;
    }

    bool serve(const HttpRequest &r, HttpResponse &response) { return web->pages->httpPageRequest(r, response); }

    QByteArray page(const HttpRequest &r)
    {
        HttpResponse response;
        EXPECT_TRUE(serve(r, response)) << r.uri.toStdString();
        EXPECT_EQ(response.status, 200);
        return response.body;
    }

    void setSnapshot(const QStringList &labels)
    {
        using namespace Snapshot;
        ZOZ::DabEnsemble e = ensemble(EnsembleIndex, 0x10BC, QStringLiteral("Demo & Co"));
        for (int i = 0; i < labels.size(); ++i)
            e.services << service(labels.at(i), audio(0xD201 + i, i + 1));
        QMutexLocker locker(&shared->mutex);
        shared->ensembles = {e};
    }

    std::shared_ptr<FakeEnsembleSource::Shared> shared;
    FakeEnsembleSource *fake = nullptr;
    ServiceManager *manager = nullptr;
    std::unique_ptr<ZOZTest::WebStack> web;
};

} // namespace

TEST(UiStrings, TableShapeOrderAndEscaping)
{
    const QString text = ZOZ::Pages::uiStrings();
    EXPECT_TRUE(text.startsWith(QStringLiteral("{\"ADDITIONAL_LICENSES\":\"Licensing of third party modules\"")));
    EXPECT_TRUE(text.endsWith(QStringLiteral("\"WEEK\":\"Week\"}")));

    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    const QJsonObject root = document.object();

    // 276 texts of the table, two icon values and three language names; the
    // root, 17 nested maps and the two maps of the settings; four lists.
    JsonCounts counts;
    count(root, counts);
    EXPECT_EQ(counts.strings, 276 + 2 + 3);
    EXPECT_EQ(counts.objects, 18 + 2);
    EXPECT_EQ(counts.arrays, 4);

    const QJsonObject types = root.value(QStringLiteral("ANNOUNCEMENTS")).toObject().value(QStringLiteral("TYPES")).toObject();
    const QJsonArray dab = types.value(QStringLiteral("DAB")).toArray();
    const QJsonArray drm = types.value(QStringLiteral("DRM")).toArray();
    ASSERT_EQ(dab.size(), 17);
    ASSERT_EQ(drm.size(), 10);
    EXPECT_EQ(dab.at(0).toString(), QStringLiteral("Emergency Alert"));
    EXPECT_EQ(dab.at(11).toString(), QStringLiteral("Reserved (#11)"));
    EXPECT_EQ(dab.at(15).toString(), QStringLiteral("Reserved (#15)"));
    EXPECT_EQ(dab.at(16).toString(), QStringLiteral("Test Alarm"));
    EXPECT_EQ(drm.at(4).toString(), QStringLiteral("Reserved (#4)"));
    EXPECT_EQ(drm.at(9).toString(), QStringLiteral("Reserved (#9)"));

    // Markup reaches the page as entities; the same key may mean two things.
    EXPECT_EQ(root.value(QStringLiteral("ANNOUNCEMENTS")).toObject().value(QStringLiteral("RESET")).toString(),
              QStringLiteral("&lt;b&gt;Announcement finished&lt;/b&gt;"));
    EXPECT_EQ(root.value(QStringLiteral("CHANGE")).toString(), QStringLiteral("Change"));
    EXPECT_EQ(root.value(QStringLiteral("POPUP")).toObject().value(QStringLiteral("CHANGE")).toString(),
              QStringLiteral("Configure"));
    EXPECT_EQ(root.value(QStringLiteral("HOMECALL")).toObject().value(QStringLiteral("FEEDBACK_TYPES")).toString(),
              QStringLiteral("&lt;option value='1'&gt;Give normal feedback&lt;/option&gt;&lt;option value='2'&gt;Report a "
                             "bug&lt;/option&gt;&lt;option value='3'&gt;Comment on design and application "
                             "flow&lt;/option&gt;"));
    EXPECT_EQ(root.value(QStringLiteral("TOOLTIPS")).toObject().value(QStringLiteral("SERVICE_sls")).toString(),
              QStringLiteral("Open Slideshow"));

    // The settings' maps follow "LANGUAGE"; languages in the order of their names.
    const qsizetype language = text.indexOf(QStringLiteral("\"LANGUAGE\":\"Language\""));
    const qsizetype icon = text.indexOf(QStringLiteral("\"LANGUAGE_ICON\":{\"FOLDER\":\"img/icons/flags/svg/\",\"SUFFIX\":\".svg\"}"));
    const qsizetype languages = text.indexOf(
        QStringLiteral("\"LANGUAGES\":{\"zh_CN\":\"Chinese (Simplified)\",\"en\":\"English\",\"de\":\"German\"}"));
    EXPECT_GT(language, 0);
    EXPECT_GT(icon, language);
    EXPECT_GT(languages, icon);
}

TEST_F(PagesTest, DispatchPicksThePageByQueryKey)
{
    const struct
    {
        const char *name;
        const char *query;
        const char *marker;
    } rows[] = {
        {"root", "", "class=\"index-page\""},
        {"selection", "selection", "class=\"selection-page\""},
        {"settings before selection", "selection&settings", "<h1>Settings</h1>"},
        {"copyright first", "settings&copyright", "<h1>Copyright</h1>"},
        {"info without isZOZ is the index", "info", "class=\"index-page\""},
        {"info with an empty isZOZ", "info&isZOZ=", "<h1>Info</h1>"},
        {"front end", "frontend=TUNING", "<h1>Frontend Configuration</h1>"},
        {"unknown key", "about", "class=\"index-page\""},
    };
    for (const auto &row : rows) {
        const QByteArray body = page(request(QString(), QString(), QString::fromLatin1(row.query)));
        EXPECT_TRUE(body.contains(row.marker)) << row.name;
        EXPECT_FALSE(body.contains("<!--")) << row.name;
    }
}

TEST_F(PagesTest, IndexPageTokensAreReplacedAndChecked)
{
    const QByteArray root = page(request(QString(), QString()));
    EXPECT_TRUE(root.contains("data-virtual-address=\"\""));
    EXPECT_TRUE(root.contains("data-remote=\"false\""));
    EXPECT_TRUE(root.contains("data-password-correct=\"true\""));
    EXPECT_TRUE(root.contains("<meta name=\"zoz-token\" content=\"" + ZOZ::accessToken() + "\">"));
    EXPECT_TRUE(logText().contains(QStringLiteral("Serving LOCAL '/' [isZOZ: false, remoteStream: false, remote: false]")));

    // The strings block holds the table as JSON text.
    const QRegularExpression block(QStringLiteral("<script type=\"application/json\" id=\"zoz-strings\">(.*?)</script>"));
    const QRegularExpressionMatch match = block.match(QString::fromUtf8(root));
    ASSERT_TRUE(match.hasMatch());
    EXPECT_EQ(match.captured(1), ZOZ::Pages::uiStrings());
    const QRegularExpression config(QStringLiteral("<script type=\"application/json\" id=\"zoz-config\">(.*?)</script>"));
    const QRegularExpressionMatch configMatch = config.match(QString::fromUtf8(root));
    ASSERT_TRUE(configMatch.hasMatch());
    QJsonParseError error;
    QJsonDocument::fromJson(configMatch.captured(1).toUtf8(), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << configMatch.captured(1).toStdString();

    EXPECT_TRUE(page(request(QStringLiteral("0.12.3/"), QString())).contains("data-virtual-address=\"0.12.3\""));
    EXPECT_TRUE(page(request(QStringLiteral("0.12.3//"), QString())).contains("data-virtual-address=\"0.12.3\""));
    EXPECT_TRUE(page(request(QStringLiteral("4.7/"), QString())).contains("data-virtual-address=\"4.7\""));
    // Anything that is not a virtual address never reaches the page.
    for (const char *path : {"x\"onload=\"1/", "1.2.3.4/", "a.b/", "1/"}) {
        const QByteArray body = page(request(QString::fromLatin1(path), QString()));
        EXPECT_TRUE(body.contains("data-virtual-address=\"\"")) << path;
    }

    const QByteArray withPassword = page(request(QString(), QString(), QStringLiteral("isZOZ=a\"b<c>'d\\e")));
    EXPECT_TRUE(withPassword.contains("data-last-password=\"a&quot;b&lt;c&gt;&#39;d&#92;e\""));
}

TEST_F(PagesTest, RemoteBrowsersGetNoIndexPage)
{
    HttpRequest remote = request(QString(), QString());
    remote.remote = true;
    HttpResponse response;
    EXPECT_FALSE(serve(remote, response));
    EXPECT_EQ(response.status, 404);
    EXPECT_TRUE(response.body.isEmpty());
}

TEST_F(PagesTest, ForwardPageBelowAVirtualAddress)
{
    EXPECT_TRUE(page(request(QStringLiteral("0.12.3/"), QStringLiteral("index.html"))).contains("<base href=\"../\">"));
    EXPECT_TRUE(page(request(QStringLiteral("0.12.3/x/"), QStringLiteral("index.html"))).contains("<base href=\"../../\">"));
    // Without a point in the path it is a file request, and there is no such file.
    HttpResponse response;
    EXPECT_FALSE(serve(request(QString(), QStringLiteral("index.html")), response));
}

TEST_F(PagesTest, StaticFilesOnlyFromTheResourceRoots)
{
    HttpResponse css;
    ASSERT_TRUE(serve(request(QStringLiteral("css/"), QStringLiteral("zoz-base.css")), css));
    EXPECT_EQ(css.status, 200);
    EXPECT_EQ(css.contentType, ZOZ::HttpContentCss);
    EXPECT_TRUE(css.body.contains("prefers-color-scheme"));
    EXPECT_TRUE(css.lastModified.isValid());

    HttpResponse svg;
    ASSERT_TRUE(serve(request(QStringLiteral("img/preview/"), QStringLiteral("sls.svg")), svg));
    EXPECT_EQ(svg.contentType, ZOZ::HttpContentSvg);

    for (const char *path : {"../", "css/../../", "..\\", "css/"}) {
        HttpResponse response;
        const QString file = QString::fromLatin1(path) == QLatin1String("css/") ? QStringLiteral("missing.css")
                                                                                : QStringLiteral("etc-passwd");
        EXPECT_FALSE(serve(request(QString::fromLatin1(path), file), response)) << path;
        EXPECT_EQ(response.status, 404) << path;
    }
}

TEST_F(PagesTest, SelectionPageRebuildsOnlyWhenDirty)
{
    setSnapshot({QStringLiteral("Alpha"), QStringLiteral("<img src=x onerror=alert(1)>")});
    manager->doCheckDabData();

    HttpResponse first;
    ASSERT_TRUE(serve(request(QString(), QString(), QStringLiteral("selection")), first));
    const QRegularExpression cycle(QStringLiteral("data-refresh-cycle=\"(\\d+)\""));
    const int firstCycle = cycle.match(QString::fromUtf8(first.body)).captured(1).toInt();
    EXPECT_TRUE(first.body.contains("<span class=\"service-label\">Alpha</span>"));
    // Broadcast labels arrive as text.
    EXPECT_TRUE(first.body.contains("&lt;img src=x onerror=alert(1)&gt;"));
    EXPECT_FALSE(first.body.contains("<img src=x"));
    EXPECT_TRUE(first.body.contains("Demo &amp; Co"));

    HttpResponse second;
    ASSERT_TRUE(serve(request(QString(), QString(), QStringLiteral("selection")), second));
    EXPECT_EQ(second.body, first.body);
    EXPECT_EQ(second.lastModified, first.lastModified);

    manager->setDirty(true);
    HttpResponse third;
    ASSERT_TRUE(serve(request(QString(), QString(), QStringLiteral("selection")), third));
    EXPECT_GT(cycle.match(QString::fromUtf8(third.body)).captured(1).toInt(), firstCycle);
    // Rebuilt within the same second, the page still dates later than the copy a
    // browser holds, so revalidating that copy brings the new list.
    EXPECT_GT(third.lastModified, first.lastModified);
}

TEST_F(PagesTest, WithoutTemplateCacheEverySelectionRequestRebuilds)
{
    settings->setNoTemplateCache(true);
    // The first request also builds the service list once.
    page(request(QString(), QString(), QStringLiteral("selection")));
    const int before = manager->refreshCycle();
    page(request(QString(), QString(), QStringLiteral("selection")));
    page(request(QString(), QString(), QStringLiteral("selection")));
    EXPECT_EQ(manager->refreshCycle(), before + 2);
}

TEST_F(PagesTest, PageCommandsAnswerTheQuestionDismissAndOrder)
{
    QObject receiver;
    const QString question = QStringLiteral("<b>Scan required</b><br/>Do you want to continue?");
    manager->setMessage(question, &receiver, QByteArray("1deleteLater()"), nullptr, QByteArray());
    const auto ajax = [this](const QString &query) {
        HttpRequest r = request(QString(), QStringLiteral("ajax"), query);
        r.query.clear();
        for (const QString &pair : query.split(QLatin1Char('&'))) {
            const qsizetype equals = pair.indexOf(QLatin1Char('='));
            r.query.insert(pair.left(equals < 0 ? pair.size() : equals), equals < 0 ? QString() : pair.mid(equals + 1));
        }
        HttpResponse response;
        EXPECT_TRUE(web->pages->httpAjaxRequest(r, response)) << query.toStdString();
        return response.body;
    };

    EXPECT_EQ(ajax(QStringLiteral("confirmed=another question&yes")), QByteArray("{\"success\":true}"));
    EXPECT_EQ(manager->pendingMessage(), question);
    EXPECT_EQ(ajax(QStringLiteral("confirmed=") + question + QStringLiteral("&yes")), QByteArray("{\"success\":true}"));
    EXPECT_TRUE(manager->pendingMessage().isEmpty());

    manager->addNotification(QStringLiteral("<b>Scan finished</b>"), QStringLiteral("info"), 6, true,
                             QStringLiteral("scan"), false, false);
    EXPECT_EQ(ajax(QStringLiteral("clearNotify=other")), QByteArray("{\"success\":true}"));
    EXPECT_EQ(manager->notifications().size(), 1);
    ajax(QStringLiteral("clearNotify=scan"));
    EXPECT_TRUE(manager->notifications().isEmpty());

    ajax(QStringLiteral("setSortType=2"));
    EXPECT_EQ(manager->sortType(), 2);
    ajax(QStringLiteral("setSortType=two"));
    EXPECT_EQ(manager->sortType(), 2);
    const bool favouritesOnly = manager->isSortFavouritesOnly();
    ajax(QStringLiteral("switchFavourites"));
    EXPECT_NE(manager->isSortFavouritesOnly(), favouritesOnly);
}

TEST_F(PagesTest, TheEndOfAScanRebuildsTheServiceList)
{
    emit fake->m_notifier.signalScanMode(true);
    QCoreApplication::processEvents();
    setSnapshot({QStringLiteral("After Scan")});
    emit fake->m_notifier.signalScanMode(false);

    // No dataReady follows a scan: its end alone brings the services.
    QElapsedTimer timer;
    timer.start();
    QByteArray body;
    while (timer.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        manager->setDirty(true);
        body = page(request(QString(), QString(), QStringLiteral("selection")));
        if (body.contains("After Scan"))
            break;
    }
    EXPECT_TRUE(body.contains("<span class=\"service-label\">After Scan</span>"));
}
