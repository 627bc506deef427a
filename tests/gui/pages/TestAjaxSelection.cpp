// Selection, the sorted list, notifications and the ajax commands of the
// service manager, on ensemble snapshots and through the real HTTP server.
#include "HttpTestClient.h"
#include "SettingsFixture.h"
#include "ServiceTestSupport.h"
#include "StrictJson.h"
#include "WebStack.h"
#include "ZOZServiceValues.h"
#include "ajax/ZOZAjaxCommands.h"
#include "http/ZOZHttpServer.h"
#include "base/ZOZMainThreadServices.h"
#include "ZOZServiceFactory.h"
#include "audio/ZOZServiceAudio.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSettings>
#include <QTimer>

#include <atomic>
#include <functional>
#include <thread>

using ZOZ::Service;
using ZOZ::ServiceManager;
using ZOZTest::HttpAnswer;
using ZOZTest::HttpTestClient;
using ZOZTest::StrictJson;

namespace {

constexpr qint32 EnsembleId = 0x10BC;
constexpr int EnsembleIndex = 5;
const QString HostileLabel = QStringLiteral("AC\\DC \"x\" <b>");

ZOZ::DabEnsemble ensembleWith(int index, qint32 id, const QString &label, const QStringList &serviceLabels,
                              qint64 firstSid)
{
    using namespace Snapshot;
    ZOZ::DabEnsemble e = ensemble(index, id, label);
    for (int i = 0; i < serviceLabels.size(); ++i)
        e.services << service(serviceLabels.at(i), audio(firstSid + i, i + 1));
    return e;
}

// Labels chosen so that the sorted order differs from the broadcast order.
ZOZ::DabEnsemble mainEnsemble()
{
    return ensembleWith(EnsembleIndex, EnsembleId, QStringLiteral("Test Mux"),
                        {QStringLiteral("Zeta"), QStringLiteral("abc"), QStringLiteral("ABD"), HostileLabel}, 0xD201);
}

ZOZ::DabEnsemble packetEnsemble()
{
    using namespace Snapshot;
    ZOZ::DabEnsemble e = ensemble(EnsembleIndex, EnsembleId, QStringLiteral("Test Mux"));
    e.services << service(QStringLiteral("Radio"), audio(0xD201, 1));
    e.services << service(QStringLiteral("News Data"),
                          packetData(0xE4D2F001, 3, 10, 0, 1, ZOZ::ServiceFactory::SlideShow));
    return e;
}

class SelectionTest : public ZOZTest::SettingsFixture
{
protected:
    void SetUp() override
    {
        SettingsFixture::SetUp();
        QSettings(QSettings::IniFormat, QSettings::UserScope, QString::fromLatin1(ZOZ::Settings::Organisation),
                  QString::fromLatin1(ZOZ::Settings::Application))
            .clear();
        settings->setStyleRootPath(QStringLiteral(ZOZ_SOURCE_DIR "/tests/services/style/"));
        shared = std::make_shared<FakeEnsembleSource::Shared>();
        manager = ServiceManager::instance(std::make_unique<FakeEnsembleSource>(shared));
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

    void load(const QVector<ZOZ::DabEnsemble> &ensembles)
    {
        {
            QMutexLocker locker(&shared->mutex);
            shared->ensembles = ensembles;
        }
        manager->doCheckDabData();
    }

    QStringList sortedLabels()
    {
        manager->updateServiceList();
        QStringList labels;
        for (Service *service : manager->sortedServices())
            labels << service->label();
        return labels;
    }

    QString selectedLabel() const
    {
        Service *service = manager->selectedService();
        return service ? service->label() : QString();
    }

    Service *byLabel(const QString &label)
    {
        Service *found = nullptr;
        manager->withServices([&](const QMap<int, QVector<Service *>> &tree) {
            for (const QVector<Service *> &services : tree) {
                for (Service *service : services) {
                    if (service->label() == label)
                        found = service;
                }
            }
        });
        return found;
    }

    QVector<Service *> receiverSelection() const
    {
        QMutexLocker locker(&shared->mutex);
        return shared->selection;
    }

    // Calls the chain directly, as the connection thread would.
    QByteArray command(const QString &query, bool granted = true, bool control = true, bool remote = false)
    {
        ZOZ::HttpRequest request;
        request.granted = granted;
        request.passwordAccepted = control;
        request.remote = remote;
        request.tokenAccepted = true;
        for (const QString &pair : query.split(QLatin1Char('&'))) {
            const qsizetype eq = pair.indexOf(QLatin1Char('='));
            request.query.insert(eq < 0 ? pair : pair.left(eq), eq < 0 ? QString() : pair.mid(eq + 1));
        }
        ZOZ::HttpResponse response;
        response.body = "unanswered";
        if (!web->pages->httpAjaxRequest(request, response))
            return QByteArray("not handled");
        return response.body;
    }

    // A real request through the server.
    HttpAnswer get(const QString &query, bool withToken) { return web->get(QStringLiteral("/ajax?") + query, withToken); }

    QJsonObject serverInfo()
    {
        const HttpAnswer answer = get(QStringLiteral("getServerInfo"), false);
        EXPECT_EQ(answer.status, 200);
        EXPECT_TRUE(StrictJson::isValid(answer.body)) << answer.body.constData();
        return QJsonDocument::fromJson(answer.body).object();
    }

    std::shared_ptr<FakeEnsembleSource::Shared> shared;
    ServiceManager *manager = nullptr;
    std::unique_ptr<ZOZTest::WebStack> web;
};

} // namespace

TEST_F(SelectionTest, ListIsSortedByCaseFoldedLabel)
{
    load({mainEnsemble()});
    EXPECT_EQ(sortedLabels(), (QStringList {QStringLiteral("abc"), QStringLiteral("ABD"), HostileLabel, QStringLiteral("Zeta")}));
}

TEST_F(SelectionTest, ServerInfoCarriesTheAnnouncementMasksInTypeOrder)
{
    load({mainEnsemble()});
    EXPECT_TRUE(get(QStringLiteral("getServerInfo"), false)
                    .body.contains("\"announcements\":{\"DAB\":4294967295,\"DABapps\":4294967295,\"DRM\":4294967295,"
                                   "\"DRMapps\":4294967295,\"Epilog\":1}"));
}

TEST_F(SelectionTest, EnsembleOrderGroupsByEnsembleLabelThenNumber)
{
    load({ensembleWith(1, 0x1001, QStringLiteral("B"), {QStringLiteral("b1")}, 0xD301),
          ensembleWith(2, 0x1002, QStringLiteral("a"), {QStringLiteral("a2")}, 0xD401),
          ensembleWith(3, 0x1003, QStringLiteral("B"), {QStringLiteral("a3")}, 0xD501)});
    EXPECT_EQ(sortedLabels(), (QStringList {QStringLiteral("a2"), QStringLiteral("a3"), QStringLiteral("b1")}));
    manager->setSortType(1);
    EXPECT_EQ(sortedLabels(), (QStringList {QStringLiteral("a2"), QStringLiteral("b1"), QStringLiteral("a3")}));
    EXPECT_EQ(QSettings(QSettings::IniFormat, QSettings::UserScope, QString::fromLatin1(ZOZ::Settings::Organisation),
                        QString::fromLatin1(ZOZ::Settings::Application))
                  .value(QStringLiteral("sortType"))
                  .toInt(),
              1);
}

TEST_F(SelectionTest, NextAndPreviousWrapAroundTheSortedList)
{
    load({mainEnsemble()});
    // Nothing selected: both directions start at the first entry.
    manager->selectPreviousService();
    EXPECT_EQ(selectedLabel(), QStringLiteral("abc"));
    manager->selectPreviousService();
    EXPECT_EQ(selectedLabel(), QStringLiteral("Zeta"));
    manager->selectNextService();
    EXPECT_EQ(selectedLabel(), QStringLiteral("abc"));
    manager->selectNextService();
    EXPECT_EQ(selectedLabel(), QStringLiteral("ABD"));
    // The page rows mark the selected entry.
    manager->updateServiceList();
    const ZOZ::TemplateVariable::Rows rows = ZOZ::selectionRows(*manager);
    ASSERT_EQ(rows.size(), 4);
    for (int i = 0; i < rows.size(); ++i) {
        ASSERT_FALSE(rows.at(i).isEmpty());
        EXPECT_EQ(rows.at(i).first().name, QStringLiteral("selected"));
        EXPECT_EQ(rows.at(i).first().value, i == 1 ? QStringLiteral("true") : QStringLiteral("false")) << i;
        EXPECT_EQ(rows.at(i).last().name, QStringLiteral("SECONDARY"));
    }

    // An empty list deselects.
    load({});
    manager->selectNextService();
    EXPECT_EQ(manager->selectedService(), nullptr);
    EXPECT_EQ(manager->selectedServiceId(), -1);
}

TEST_F(SelectionTest, FavouritesFilterHidesOthersButKeepsTheirMapsAndSwitchesOffWithoutFavourites)
{
    load({mainEnsemble()});
    // No favourite yet: the filter is accepted, then switched off by the rebuild.
    manager->setSortFavouritesOnly(true);
    EXPECT_EQ(sortedLabels().size(), 4);
    EXPECT_FALSE(manager->isSortFavouritesOnly());

    ASSERT_TRUE(byLabel(QStringLiteral("ABD"))->setServiceIsFavourite(true));
    byLabel(QStringLiteral("Zeta"))->setIsRecording(true);
    manager->setDirty(false);
    manager->setSortFavouritesOnly(true);
    // The recorded service stays visible.
    EXPECT_EQ(sortedLabels(), (QStringList {QStringLiteral("ABD"), QStringLiteral("Zeta")}));
    EXPECT_TRUE(manager->hasFavourites());
    const QString json = ZOZ::servicesValue(manager->listEntries()).toJson();
    EXPECT_EQ(json.count(QStringLiteral("\"isVisible\":false")), 2);
    EXPECT_EQ(json.count(QStringLiteral("\"isFavourite\":true")), 1);
}

TEST_F(SelectionTest, SelectingStoresTheLastServiceAndHandsComponentsToTheReceiver)
{
    load({packetEnsemble()});
    Service *container = byLabel(QStringLiteral("News Data"));
    ASSERT_NE(container, nullptr);
    ASSERT_EQ(container->shortname(), QStringLiteral("pmc"));
    ASSERT_EQ(container->children().size(), 1);
    Service *slides = container->children().first();
    QStringList tooltips;
    QObject listener; // disconnects before the manager, which announces again when it goes
    QObject::connect(manager, &ServiceManager::announceTrayToolTip, &listener,
                     [&](const QString &text) { tooltips << text; });

    manager->withServices([&](const auto &) { EXPECT_TRUE(manager->selectService(container, true)); });
    // The container is never received itself; its packet-mode child is.
    EXPECT_EQ(receiverSelection(), QVector<Service *> {slides});
    ASSERT_EQ(tooltips.size(), 1);
    EXPECT_EQ(tooltips.at(0), QStringLiteral("Current Service: News Data"));

    manager->withServices([&](const auto &) { EXPECT_TRUE(manager->selectService(slides, true)); });
    QSettings store(QSettings::IniFormat, QSettings::UserScope, QString::fromLatin1(ZOZ::Settings::Organisation),
                    QString::fromLatin1(ZOZ::Settings::Application));
    EXPECT_EQ(store.value(QStringLiteral("lastServiceComponentIdentifier")).toInt(), int(slides->componentId()));
    EXPECT_EQ(store.value(QStringLiteral("lastEnsembleIdentifier")).toInt(), EnsembleId);
    EXPECT_EQ(tooltips.size(), 3); // cleared for the old, named for the new

    Service *radio = byLabel(QStringLiteral("Radio"));
    manager->withServices([&](const auto &) { manager->selectService(radio, true); });
    EXPECT_EQ(store.value(QStringLiteral("lastServiceComponentIdentifier")).toInt(), -1);
    // Selecting it again changes nothing and reports that it is not the automatic service.
    manager->withServices([&](const auto &) { EXPECT_FALSE(manager->selectService(radio, true)); });
}

TEST_F(SelectionTest, AnnouncementSwitchesAwayAndBack)
{
    load({mainEnsemble()});
    Service *zeta = byLabel(QStringLiteral("Zeta"));
    Service *abc = byLabel(QStringLiteral("abc"));
    EXPECT_FALSE(manager->selectAnnouncement(abc)); // nothing selected to return to
    manager->withServices([&](const auto &) { manager->selectService(zeta, true); });
    EXPECT_TRUE(manager->selectAnnouncement(abc));
    EXPECT_EQ(manager->announcementServiceId(), abc->serviceId());
    EXPECT_EQ(receiverSelection(), QVector<Service *> {abc});
    EXPECT_EQ(manager->selectedService(), zeta);
    EXPECT_TRUE(manager->selectAnnouncement(nullptr));
    EXPECT_EQ(manager->announcementServiceId(), -1);
    EXPECT_EQ(receiverSelection(), QVector<Service *> {zeta});

    // Through the pages: switch again, then ignore the announcements of the selected service.
    EXPECT_EQ(command(QStringLiteral("selectAnnouncement=%1").arg(abc->serviceId())), "{\"success\":true}");
    EXPECT_EQ(manager->announcementServiceId(), abc->serviceId());
    EXPECT_EQ(command(QStringLiteral("ignoreAnnouncements=%1").arg(zeta->serviceId())), "{\"success\":true}");
    EXPECT_EQ(manager->announcementServiceId(), -1);
    EXPECT_EQ(receiverSelection(), QVector<Service *> {zeta});
    EXPECT_EQ(command(QStringLiteral("ignoreAnnouncements=x")), "{\"success\":false}");
}

TEST_F(SelectionTest, UriResolvesToTheRequestPathOfTheNamedApplication)
{
    load({packetEnsemble()});
    Service *slides = byLabel(QStringLiteral("News Data"))->children().first();
    struct Case
    {
        const char *name;
        QByteArray uri;
        QByteArray expected;
    } cases[] = {
        {"application with ensemble", "dab.srv.sls://0x10bc:0xe4d2f001/x.jpg", (slides->requestPath() + "x.jpg").toUtf8()},
        // An audio service has a shortname of its own, so it names no application.
        {"service only, no application", "dab.srv://0xd201/x", "dab.srv://0xd201/x"},
        {"unknown service", "dab.srv.sls://0x1234/x", "dab.srv.sls://0x1234/x"},
        {"other ensemble", "dab.srv.sls://0x10bd:0xe4d2f001/x", "dab.srv.sls://0x10bd:0xe4d2f001/x"},
        {"index past the children", "dab.srv.sls://0xe4d2f001.1/x", "dab.srv.sls://0xe4d2f001.1/x"},
        {"not a service URI", "http://example.org/", "http://example.org/"},
    };
    for (const Case &c : cases) {
        QByteArray uri = c.uri;
        manager->findServiceByUri(uri);
        EXPECT_EQ(uri, c.expected) << c.name;
    }
    EXPECT_EQ(ServiceManager::parseUriNumber(QStringLiteral("1234")), 1234u);
    EXPECT_EQ(ServiceManager::parseUriNumber(QStringLiteral("01234")), 668u);
    EXPECT_EQ(ServiceManager::parseUriNumber(QStringLiteral("0x1F")), 31u);
    EXPECT_EQ(ServiceManager::parseUriNumber(QStringLiteral("0b101")), 5u);
    EXPECT_EQ(ServiceManager::parseUriNumber(QStringLiteral("0X1F")), 0u);
}

TEST_F(SelectionTest, SpokenLabelFileIsFoundWithOrWithoutLeadingZeros)
{
    const QString folder = work.path() + QStringLiteral("/spokenlabels/");
    QDir().mkpath(folder);
    for (const char *name : {"e1sD201c0.wav.txt", "e001s0000D201c1.wav", "e1sD201c1.wav", "e1sD202c1.wav"}) {
        QFile file(folder + QString::fromLatin1(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    EXPECT_EQ(ServiceManager::spokenLabelFile(folder, 0x1E, 0xD201, 1), folder + QStringLiteral("e001s0000D201c1.wav"));
    EXPECT_EQ(ServiceManager::spokenLabelFile(folder, 0x1E, 0xD203, 1), QString());
    EXPECT_EQ(ServiceManager::spokenLabelFile(folder + QStringLiteral("missing/"), 0x1E, 0xD201, 1), QString());
}

TEST_F(SelectionTest, NotificationsReplaceByIdNumberTheRestAndKeepTheNewestHundred)
{
    manager->addNotification(QString(), QStringLiteral("info"), 5, false, QString(), false, false);
    manager->addNotification(QStringLiteral("one"), QStringLiteral("info"), 5, false, QString(), false, false);
    manager->addNotification(QStringLiteral("two"), QStringLiteral("info"), -1, false, QString(), true, false);
    manager->addNotification(QStringLiteral("first"), QStringLiteral("error"), 5, true, QStringLiteral("w"), false, false);
    manager->addNotification(QStringLiteral("second"), QStringLiteral("error"), 5, true, QStringLiteral("w"), false, false);
    QVector<ZOZ::TemplateValue> entries = ZOZ::notificationsValue(manager->notifications()).listChildren();
    ASSERT_EQ(entries.size(), 3);
    EXPECT_TRUE(entries.at(0).toJson().startsWith(QStringLiteral("{\"ID\":\"0\",\"message\":\"one\"")));
    EXPECT_TRUE(entries.at(1).toJson().contains(QStringLiteral("\"duration\":-1")));
    EXPECT_FALSE(entries.at(1).toJson().contains(QStringLiteral("\"timestamp\":0,")));
    EXPECT_TRUE(entries.at(2).toJson().contains(QStringLiteral("\"message\":\"second\"")));

    for (int i = 0; i < 150; ++i)
        manager->addNotification(QStringLiteral("n%1").arg(i), QStringLiteral("info"), 5, false, QString(), false, false);
    entries = ZOZ::notificationsValue(manager->notifications()).listChildren();
    ASSERT_EQ(entries.size(), 100);
    EXPECT_TRUE(entries.first().toJson().contains(QStringLiteral("\"message\":\"n50\"")));
    EXPECT_TRUE(entries.last().toJson().contains(QStringLiteral("\"message\":\"n149\"")));
}

TEST_F(SelectionTest, BubbleModesChooseIconsByType)
{
    struct Bubble
    {
        int icon;
        int timeout;
    };
    QVector<Bubble> bubbles;
    QObject listener;
    QObject::connect(manager, &ServiceManager::requestBubbleMessage, &listener,
                     [&](const QString &, int icon, int timeout) { bubbles << Bubble {icon, timeout}; });
    struct Case
    {
        int mode;
        const char *type;
        int icon; // 0: no bubble
    } cases[] = {
        {0, "error", 0}, {1, "error", 3}, {1, "warning", 0}, {2, "warning", 2},
        {2, "error", 3}, {2, "info", 0},  {3, "error", 1},   {3, "Error", 1},
    };
    for (const Case &c : cases) {
        bubbles.clear();
        manager->setNotifyBubbleMode(c.mode);
        manager->addNotification(QStringLiteral("m"), QString::fromLatin1(c.type), 7, false, QString(), false, false);
        if (c.icon == 0) {
            EXPECT_TRUE(bubbles.isEmpty()) << c.mode << c.type;
        } else {
            ASSERT_EQ(bubbles.size(), 1) << c.mode << c.type;
            EXPECT_EQ(bubbles.at(0).icon, c.icon) << c.mode << c.type;
            EXPECT_EQ(bubbles.at(0).timeout, 7000);
        }
    }
}

TEST_F(SelectionTest, PendingMessageNeedsReceiverAndSlot)
{
    QObject receiver;
    manager->setMessage(QStringLiteral("Scan again?"), &receiver, "1rtkScanRestart()", nullptr, QByteArray());
    manager->setMessage(QStringLiteral("ignored"), &receiver, QByteArray(), nullptr, QByteArray());
    manager->setMessage(QStringLiteral("ignored"), nullptr, "1x()", nullptr, QByteArray());
    EXPECT_EQ(manager->pendingMessage(), QStringLiteral("Scan again?"));
}

TEST_F(SelectionTest, ConfirmedAnswersThePendingQuestionOnceOnTheMainThread)
{
    ZOZ::MainThreadServices mainThread;
    QTimer yes;
    QTimer no;
    yes.setInterval(100000);
    no.setInterval(100000);
    const auto ask = [&] {
        manager->setMessage(QStringLiteral("Scan?"), &yes, "1start()", &no, "1start()");
    };
    const auto flush = [&] {
        mainThread.runDeferredCalls();
        waitUntil([&] { return yes.isActive() || no.isActive(); }, 1000);
    };

    ask();
    EXPECT_EQ(command(QStringLiteral("confirmed=Other&yes")), "{\"success\":true}");
    EXPECT_EQ(manager->pendingMessage(), QStringLiteral("Scan?"));
    EXPECT_EQ(command(QStringLiteral("confirmed=Scan?&yes")), "{\"success\":true}");
    EXPECT_EQ(command(QStringLiteral("confirmed=Scan?&yes")), "{\"success\":true}");
    EXPECT_TRUE(manager->pendingMessage().isEmpty());
    EXPECT_FALSE(yes.isActive()) << "the answer waits for the main thread";
    flush();
    EXPECT_TRUE(yes.isActive());
    EXPECT_FALSE(no.isActive());

    yes.stop();
    ask();
    EXPECT_EQ(command(QStringLiteral("confirmed=Scan?&no")), "{\"success\":true}");
    flush();
    EXPECT_TRUE(no.isActive());
    EXPECT_FALSE(yes.isActive());

    // Without a second object a "no" only takes the question away.
    no.stop();
    manager->setMessage(QStringLiteral("Close?"), &yes, "1start()", nullptr, QByteArray());
    EXPECT_EQ(command(QStringLiteral("confirmed=Close?&no")), "{\"success\":true}");
    mainThread.runDeferredCalls();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 200);
    EXPECT_FALSE(yes.isActive());
    EXPECT_TRUE(manager->pendingMessage().isEmpty());
}

TEST_F(SelectionTest, ChainHonoursAccessClassesAndTheFirstKey)
{
    load({mainEnsemble()});
    const QString zeta = QString::number(byLabel(QStringLiteral("Zeta"))->serviceId());
    // Not granted: only the open commands.
    EXPECT_TRUE(command(QStringLiteral("getServerInfo"), false, false).contains("\"isActive\":false"));
    EXPECT_EQ(command(QStringLiteral("selectService=") + zeta, false, true), "not handled");
    // Granted without the password flag: no selection.
    EXPECT_EQ(command(QStringLiteral("selectService=") + zeta, true, false), "not handled");
    EXPECT_EQ(manager->selectedServiceId(), -1);
    // The first key in chain order wins.
    EXPECT_TRUE(command(QStringLiteral("selectService=") + zeta + QStringLiteral("&getServerInfo")).startsWith("{\"success\":true,\"isActive\""));
    EXPECT_EQ(manager->selectedServiceId(), -1);
    EXPECT_EQ(command(QStringLiteral("getserverinfo")), "not handled");
    EXPECT_EQ(command(QStringLiteral("selectService=") + zeta, true, true, true), "{\"success\":true}");
    EXPECT_EQ(selectedLabel(), QStringLiteral("Zeta"));
}

TEST_F(SelectionTest, BadOrUnknownParametersSelectNothingAndFail)
{
    load({mainEnsemble()});
    const qint32 first = byLabel(QStringLiteral("Zeta"))->serviceId();
    const qint32 pastTheEnd = (first & 0xFF000000) | (4 << 16);
    struct Case
    {
        QString query;
        QByteArray reply;
    } cases[] = {
        {QStringLiteral("selectServiceById=abc"), "{\"success\":false}"},
        {QStringLiteral("selectServiceById=12345"), "{\"success\":false}"},
        {QStringLiteral("selectService=-2"), "{\"success\":false}"},
        {QStringLiteral("selectService="), "{\"success\":false}"},
        {QStringLiteral("selectService=%1").arg(pastTheEnd), "{\"success\":false}"},
        {QStringLiteral("selectServiceDirected=2"), "{\"success\":false}"},
        {QStringLiteral("readLabel=x"), "{\"success\":false}"},
        {QStringLiteral("selectAnnouncement=x"), "{\"success\":false}"},
        {QStringLiteral("setServiceFavourite=-1&isFavourite=true"), "{\"success\":false}"},
        {QStringLiteral("setServiceFavourite=%1").arg(first), "{\"success\":false}"},
        {QStringLiteral("selectService=-1"), "{\"success\":true}"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(command(c.query), c.reply) << c.query.toStdString();
        EXPECT_EQ(manager->selectedServiceId(), -1) << c.query.toStdString();
    }
    EXPECT_TRUE(logText().contains(QStringLiteral(
        "ServiceManager::httpAjaxRequest() -> warning: could not set previous or next service (direction unknown: '2' ?)")));
}

TEST_F(SelectionTest, FavouriteFlagNeedsTheExactTextTrue)
{
    load({mainEnsemble()});
    Service *abc = byLabel(QStringLiteral("abc"));
    const QString sid = QString::number(abc->serviceId());
    EXPECT_EQ(command(QStringLiteral("setServiceFavourite=%1&isFavourite=true").arg(sid)), "{\"success\":true}");
    EXPECT_TRUE(abc->isServiceFavourite());
    EXPECT_TRUE(manager->isServiceListDirty());
    EXPECT_EQ(command(QStringLiteral("setServiceFavourite=%1&isFavourite=TRUE").arg(sid)), "{\"success\":true}");
    EXPECT_FALSE(abc->isServiceFavourite());
}

// The pages' view of it all: real server, real connections, strict JSON.
// A scan empties the list; the service heard before is awaited, found again
// and selected when the scan brings it back.
TEST_F(SelectionTest, AScanRemembersTheSelectedServiceAndFindsItAgain)
{
    load({mainEnsemble()});
    ASSERT_TRUE(manager->selectService(byLabel(QStringLiteral("Zeta")), true));
    EXPECT_FALSE(manager->autoServiceState().inProgress);

    ASSERT_TRUE(QMetaObject::invokeMethod(manager, "onSignalScanMode", Q_ARG(bool, true)));
    EXPECT_TRUE(manager->autoServiceState().inProgress);
    EXPECT_TRUE(sortedLabels().isEmpty()) << "the scan starts from an empty list";
    EXPECT_TRUE(logText().contains(QStringLiteral("ServiceManager::onSignalScanMode() -> removing ensembles")));

    ASSERT_TRUE(QMetaObject::invokeMethod(manager, "onSignalScanMode", Q_ARG(bool, false)));
    load({mainEnsemble()});
    EXPECT_TRUE(waitUntil([this] { return selectedLabel() == QLatin1String("Zeta"); }, 5000)) << qPrintable(selectedLabel());
}

TEST_F(SelectionTest, PagesSelectStepAndPollThroughTheServer)
{
    load({mainEnsemble()});
    const qint32 hostileId = byLabel(HostileLabel)->serviceId();

    QJsonObject info = serverInfo();
    EXPECT_EQ(info.value(QStringLiteral("selectedSID")).toInt(), -1);
    EXPECT_EQ(info.value(QStringLiteral("nowEnsemble")).toInt(), 0);
    EXPECT_GT(info.value(QStringLiteral("now")).toDouble(), 1.7e9);
    EXPECT_FALSE(info.contains(QStringLiteral("confirm")));
    EXPECT_EQ(info.value(QStringLiteral("injectJS")).toArray().size(), 0);
    EXPECT_EQ(info.value(QStringLiteral("services")).toArray().size(), 4);
    EXPECT_EQ(info.value(QStringLiteral("audio")).toObject().value(QStringLiteral("config")).toObject()
                  .value(QStringLiteral("levelChannels")).toArray().size(), 6);

    // A state-changing command without the page's token is refused.
    HttpAnswer answer = get(QStringLiteral("selectService=%1&selectorID=0-3").arg(hostileId), false);
    EXPECT_EQ(answer.status, 403);
    EXPECT_EQ(manager->selectedServiceId(), -1);

    answer = get(QStringLiteral("selectService=%1&selectorID=0-3&ignoreSpokenLabel").arg(hostileId), true);
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body, "{\"success\":true}");
    info = serverInfo();
    EXPECT_EQ(info.value(QStringLiteral("selectedSID")).toInt(), hostileId);
    EXPECT_EQ(info.value(QStringLiteral("selectorID")).toString(), QStringLiteral("0-3"));
    EXPECT_EQ(info.value(QStringLiteral("selectedServiceId")).toInt(), 0xD204);
    EXPECT_EQ(info.value(QStringLiteral("selectedEnsembleId")).toInt(), EnsembleId);
    EXPECT_GT(info.value(QStringLiteral("nowEnsemble")).toDouble(), 1.7e9);

    // The hostile label arrives intact, HTML-escaped, as valid JSON.
    bool found = false;
    for (const QJsonValue &entry : info.value(QStringLiteral("services")).toArray()) {
        if (entry.toObject().value(QStringLiteral("ID")).toInt() == hostileId) {
            found = true;
            EXPECT_EQ(entry.toObject().value(QStringLiteral("label")).toString(),
                      QStringLiteral("AC\\DC &quot;x&quot; &lt;b&gt;"));
        }
    }
    EXPECT_TRUE(found);

    // Next from the last entry wraps to the first; previous wraps back.
    EXPECT_EQ(get(QStringLiteral("selectServiceDirected=1"), true).body, "{\"success\":true}");
    EXPECT_EQ(selectedLabel(), QStringLiteral("Zeta"));
    EXPECT_EQ(get(QStringLiteral("selectServiceDirected=1"), true).body, "{\"success\":true}");
    EXPECT_EQ(selectedLabel(), QStringLiteral("abc"));
    EXPECT_EQ(get(QStringLiteral("selectServiceDirected=0&selectorID=next"), true).body, "{\"success\":true}");
    EXPECT_EQ(selectedLabel(), QStringLiteral("Zeta"));
    EXPECT_EQ(serverInfo().value(QStringLiteral("selectorID")).toString(), QStringLiteral("next"));

    EXPECT_EQ(get(QStringLiteral("selectServiceById=%1").arg(0xD202), true).body, "{\"success\":true}");
    EXPECT_EQ(selectedLabel(), QStringLiteral("abc"));

    // Favourites and the filter.
    const qint32 abdId = byLabel(QStringLiteral("ABD"))->serviceId();
    EXPECT_EQ(get(QStringLiteral("setServiceFavourite=%1&isFavourite=true").arg(abdId), true).body, "{\"success\":true}");
    manager->setSortFavouritesOnly(true);
    info = serverInfo();
    EXPECT_TRUE(info.value(QStringLiteral("hasFavourites")).toBool());
    EXPECT_TRUE(info.value(QStringLiteral("showFavouritesOnly")).toBool());
    int visible = 0;
    for (const QJsonValue &entry : info.value(QStringLiteral("services")).toArray())
        visible += entry.toObject().value(QStringLiteral("isVisible")).toBool() ? 1 : 0;
    EXPECT_EQ(visible, 1);
    EXPECT_EQ(get(QStringLiteral("selectServiceDirected=1"), true).body, "{\"success\":true}");
    EXPECT_EQ(selectedLabel(), QStringLiteral("ABD"));

    // A notification built from a label escapes it; control characters stay valid JSON.
    manager->addNotification(QStringLiteral("<b>%1</b>\x01\ttab").arg(HostileLabel.toHtmlEscaped()), QStringLiteral("info"), 5,
                             false, QStringLiteral("label"), false, false);
    QObject confirmer;
    manager->setMessage(QStringLiteral("Really <i>close</i>?"), &confirmer, "1reallyClose()", nullptr, QByteArray());
    info = serverInfo();
    const QJsonArray notify = info.value(QStringLiteral("notify")).toArray();
    ASSERT_EQ(notify.size(), 1);
    EXPECT_EQ(notify.at(0).toObject().value(QStringLiteral("message")).toString(),
              QStringLiteral("<b>AC\\DC &quot;x&quot; &lt;b&gt;</b>\x01 tab"));
    EXPECT_EQ(info.value(QStringLiteral("confirm")).toString(), QStringLiteral("Really <i>close</i>?"));
}

namespace {

// The answer with what differs per request or per run left out: the times and
// the random server id.
QByteArray comparableServerInfo(const QByteArray &body)
{
    QString text = QString::fromUtf8(body);
    text.replace(QRegularExpression(QStringLiteral("\"now\":[0-9]+,")), QString());
    text.replace(QRegularExpression(QStringLiteral("\"nowEnsemble\":[0-9]+")), QStringLiteral("\"nowEnsemble\":0"));
    text.replace(QRegularExpression(QStringLiteral("\"serverId\":\"[^\"]*\"")), QStringLiteral("\"serverId\":\"\""));
    // The guide's version counts every load of its cache, process-wide.
    text.replace(QRegularExpression(QStringLiteral("\"spiVersion\":[0-9]+")), QStringLiteral("\"spiVersion\":0"));
    return text.toUtf8();
}

ZOZ::ServiceAudio *audioService(Service *service) { return qobject_cast<ZOZ::ServiceAudio *>(service); }

} // namespace

// A state with something in every part the poll shows; its answer was taken
// from the poll as it was before its answer was kept between changes, and must
// not change by a byte.
TEST_F(SelectionTest, ServerInfoAnswerKeepsItsContent)
{
    load({mainEnsemble()});
    ASSERT_TRUE(byLabel(QStringLiteral("ABD"))->setServiceIsFavourite(true));
    ASSERT_NE(audioService(byLabel(QStringLiteral("abc"))), nullptr);
    audioService(byLabel(QStringLiteral("abc")))->newTextMessage(QStringLiteral("Now: \"Song\" <by> Artist"));
    EXPECT_EQ(command(QStringLiteral("selectService=%1&selectorID=0-1&ignoreSpokenLabel")
                          .arg(byLabel(QStringLiteral("Zeta"))->serviceId())),
              "{\"success\":true}");
    manager->addNotification(QStringLiteral("<b>note</b>"), QStringLiteral("warning"), 7, true, QStringLiteral("n1"),
                             false, false);
    QObject confirmer;
    manager->setMessage(QStringLiteral("Scan <i>now</i>?"), &confirmer, "1scan()", nullptr, QByteArray());
    settings->setFrontEndOption(ZOZ::Settings::OptionGain, 17);

    QFile golden(QStringLiteral(ZOZ_SOURCE_DIR "/tests/gui/pages/data/server-info.json"));
    ASSERT_TRUE(golden.open(QIODevice::ReadOnly));
    const QByteArray answer = command(QStringLiteral("getServerInfo"));
    EXPECT_TRUE(StrictJson::isValid(answer)) << answer.constData();
    EXPECT_EQ(comparableServerInfo(answer), golden.readAll().trimmed());
    // Asked again without a change: the same answer, for a page without access too.
    EXPECT_EQ(comparableServerInfo(command(QStringLiteral("getServerInfo"))), comparableServerInfo(answer));
    EXPECT_EQ(comparableServerInfo(command(QStringLiteral("getServerInfo"), false, false)),
              comparableServerInfo(answer).replace("\"isActive\":true", "\"isActive\":false"));
}

// Each change shows in the very next answer, though nothing else changed.
TEST_F(SelectionTest, ServerInfoShowsEveryChangeInTheNextAnswer)
{
    load({mainEnsemble()});
    QObject confirmer;
    struct Case
    {
        const char *what;
        std::function<void()> change;
        std::function<bool(const QJsonObject &)> shows;
    };
    auto entryOf = [this](const QJsonObject &info, const QString &label) {
        const qint32 id = byLabel(label)->serviceId();
        for (const QJsonValue &entry : info.value(QStringLiteral("services")).toArray()) {
            if (entry.toObject().value(QStringLiteral("ID")).toInt() == id)
                return entry.toObject();
        }
        return QJsonObject();
    };
    auto channelOf = [this](const QJsonObject &info, const QString &label) {
        const qint32 id = byLabel(label)->serviceId();
        for (const QJsonValue &entry : info.value(QStringLiteral("audio")).toObject().value(QStringLiteral("channels")).toArray()) {
            if (entry.toObject().value(QStringLiteral("SID")).toInt() == id)
                return entry.toObject();
        }
        return QJsonObject();
    };
    const Case cases[] = {
        {"selection",
         [&] { command(QStringLiteral("selectService=%1&ignoreSpokenLabel").arg(byLabel(QStringLiteral("abc"))->serviceId())); },
         [&](const QJsonObject &info) {
             return info.value(QStringLiteral("selectedSID")).toInt() == byLabel(QStringLiteral("abc"))->serviceId();
         }},
        {"notification",
         [&] {
             manager->addNotification(QStringLiteral("fresh"), QStringLiteral("info"), 5, false, QStringLiteral("f"),
                                      false, false);
         },
         [](const QJsonObject &info) {
             const QJsonArray notify = info.value(QStringLiteral("notify")).toArray();
             return !notify.isEmpty()
                 && notify.last().toObject().value(QStringLiteral("message")).toString() == QStringLiteral("fresh");
         }},
        {"notification cleared", [&] { manager->notes().clearNotification(QStringLiteral("f")); },
         [](const QJsonObject &info) { return info.value(QStringLiteral("notify")).toArray().isEmpty(); }},
        {"favourite",
         [&] {
             command(QStringLiteral("setServiceFavourite=%1&isFavourite=true").arg(byLabel(QStringLiteral("Zeta"))->serviceId()));
         },
         [&](const QJsonObject &info) {
             return info.value(QStringLiteral("hasFavourites")).toBool()
                 && entryOf(info, QStringLiteral("Zeta")).value(QStringLiteral("isFavourite")).toBool();
         }},
        {"audio text", [&] { audioService(byLabel(QStringLiteral("ABD")))->newTextMessage(QStringLiteral("Next: the news")); },
         [&](const QJsonObject &info) {
             return channelOf(info, QStringLiteral("ABD")).value(QStringLiteral("textMessage")).toString()
                 == QStringLiteral("Next: the news");
         }},
        {"question", [&] { manager->setMessage(QStringLiteral("Sure?"), &confirmer, "1sure()", nullptr, QByteArray()); },
         [](const QJsonObject &info) { return info.value(QStringLiteral("confirm")).toString() == QStringLiteral("Sure?"); }},
        {"question answered", [&] { command(QStringLiteral("confirmed=Sure?&no")); },
         [](const QJsonObject &info) { return !info.contains(QStringLiteral("confirm")); }},
        {"sort order", [&] { manager->setSortType(1); },
         [](const QJsonObject &info) { return info.value(QStringLiteral("sortOrder")).toInt() == 1; }},
        {"front-end setting", [&] { settings->setFrontEndOption(ZOZ::Settings::OptionGain, 23); },
         [](const QJsonObject &info) {
             return info.value(QStringLiteral("tuner")).toObject().value(QStringLiteral("gain")).toInt() == 23;
         }},
        // A setting every process reads from the store: switched here, and by another process.
        {"Journaline switch", [&] { command(QStringLiteral("jouSwitchExtEnabled")); },
         [](const QJsonObject &info) { return !info.value(QStringLiteral("jouExtEnabled")).toBool(); }},
        {"Journaline switch of another process",
         [&] {
             QSettings store(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Dadidozor DAZ"),
                             QStringLiteral("Radarovaz"));
             store.setValue(QStringLiteral("Settings/Journaline/extEnabled"), true);
             store.setValue(QStringLiteral("registryIdx"), settings->registryIndex() + 1);
             store.sync();
             settings->reload();
         },
         [](const QJsonObject &info) { return info.value(QStringLiteral("jouExtEnabled")).toBool(); }},
    };
    for (const Case &entry : cases) {
        SCOPED_TRACE(entry.what);
        // The answer before the change is kept; the change must not be served from it.
        EXPECT_FALSE(entry.shows(QJsonDocument::fromJson(command(QStringLiteral("getServerInfo"))).object()));
        entry.change();
        EXPECT_TRUE(entry.shows(QJsonDocument::fromJson(command(QStringLiteral("getServerInfo"))).object()));
    }
}

TEST_F(SelectionTest, SelectionIsRefusedWhileRecording)
{
    load({mainEnsemble()});
    const qint32 zeta = byLabel(QStringLiteral("Zeta"))->serviceId();
    settings->setIsAudioRecording(true);
    EXPECT_EQ(get(QStringLiteral("selectService=%1").arg(zeta), true).body, "{\"success\":false}");
    EXPECT_EQ(get(QStringLiteral("selectService=-1"), true).body, "{\"success\":false}");
    EXPECT_EQ(get(QStringLiteral("selectServiceDirected=1"), true).body, "{\"success\":false}");
    EXPECT_EQ(manager->selectedServiceId(), -1);
    // Announcements still switch.
    EXPECT_EQ(get(QStringLiteral("selectAnnouncement=-1"), true).body, "{\"success\":true}");

    const QJsonObject info = serverInfo();
    EXPECT_TRUE(info.value(QStringLiteral("audio")).toObject().value(QStringLiteral("config")).toObject()
                    .value(QStringLiteral("isRecording")).toBool());
    const QJsonArray notify = info.value(QStringLiteral("notify")).toArray();
    ASSERT_EQ(notify.size(), 1); // the repeated warning replaced the earlier ones
    const QJsonObject warning = notify.at(0).toObject();
    EXPECT_EQ(warning.value(QStringLiteral("ID")).toString(), QStringLiteral("recording-warning"));
    EXPECT_EQ(warning.value(QStringLiteral("message")).toString(),
              QStringLiteral("<b>You may not select another service while recording is active!</b>"));
    EXPECT_EQ(warning.value(QStringLiteral("type")).toString(), QStringLiteral("error"));
    EXPECT_EQ(warning.value(QStringLiteral("duration")).toInt(), 5);
    EXPECT_TRUE(warning.value(QStringLiteral("clickable")).toBool());
}
