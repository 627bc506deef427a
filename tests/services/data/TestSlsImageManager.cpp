// Alternative images: fetched over a real connection from a server of the
// test's, shared between services for an hour, and shown in place of the
// broadcast image.
#include "data/ZOZServiceSLS.h"
#include "data/ZOZSlsImageManager.h"

#include "SettingsFixture.h"
#include "SlideShowTestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

// Answers every request with the same PNG bytes and counts the requests.
class ImageServer : public QObject
{
public:
    explicit ImageServer(QByteArray body)
        : m_body(std::move(body))
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (!socket->readAll().contains("\r\n\r\n"))
                        return;
                    ++requests;
                    socket->write("HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nConnection: close\r\nContent-Length: "
                                  + QByteArray::number(m_body.size()) + "\r\n\r\n" + m_body);
                    socket->disconnectFromHost();
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    QString url(const QString &path) const
    {
        return QStringLiteral("http://127.0.0.1:%1/%2").arg(m_server.serverPort()).arg(path);
    }

    std::atomic<int> requests {0};

private:
    QTcpServer m_server;
    QByteArray m_body;
};

// Runs `work` on a thread of its own while this thread serves.
template <typename Work>
void besideTheServer(Work work)
{
    std::atomic<bool> done {false};
    std::thread worker([&] {
        work();
        done = true;
    });
    QElapsedTimer waited;
    waited.start();
    while (!done.load() && waited.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    worker.join();
}

class SlsImageManagerTest : public ZOZTest::SettingsFixture
{
protected:
    void SetUp() override
    {
        SettingsFixture::SetUp();
        settings->setCachePath(work.path() + QStringLiteral("/cache/"));
    }
};

TEST_F(SlsImageManagerTest, SameAddressIsFetchedOncePerHour)
{
    const QByteArray png("\x89PNG\r\n\x1a\nnot really an image", 27);
    ImageServer server(png);
    const std::shared_ptr<ZOZ::SlsImageManager> manager = ZOZ::SlsImageManager::shared();
    ZOZ::SlideImage first, second, refused;
    bool firstChanged = false, secondChanged = false, again = true, otherScheme = true;
    besideTheServer([&] {
        firstChanged = manager->download(server.url(QStringLiteral("alt.png")), first);
        secondChanged = manager->download(server.url(QStringLiteral("alt.png")), second);
        again = manager->download(server.url(QStringLiteral("alt.png")), second);
        otherScheme = manager->download(QStringLiteral("file:///etc/passwd"), refused);
    });
    EXPECT_TRUE(firstChanged);
    EXPECT_TRUE(secondChanged);
    EXPECT_FALSE(again); // the same bytes again are no change
    EXPECT_FALSE(otherScheme);
    EXPECT_EQ(png, first.data);
    EXPECT_EQ(QStringLiteral("image/png"), first.mime);
    EXPECT_EQ(1, server.requests.load());
    EXPECT_TRUE(refused.data.isEmpty());
}

// A slide naming an alternative location shows that image once the task
// work fetched it; its URL carries "www." and the file answers the new bytes.
TEST_F(SlsImageManagerTest, AlternativeImageReplacesTheBroadcastOne)
{
    const QByteArray alternative("\x89PNG\r\n\x1a\nthe alternative", 23);
    ImageServer server(alternative);
    ZOZ::ServiceDescriptor d;
    d.applicationId = 2;
    d.applicationType = 12;
    auto *service = new ZOZ::ServiceSLS(d);
    service->retain();

    ZOZTest::Sls::SlideSpec spec("broadcast.jpg", ZOZTest::Sls::dabNow());
    using ZOZ::Test::Mot::parameter;
    using ZOZ::Test::Mot::text;
    const QByteArray broadcast(700, 'b');
    std::vector<ZOZ::Test::Mot::Bytes> groups = ZOZTest::Sls::slideGroups(1, broadcast, spec);
    // The header again with an AlternativeLocationURL.
    ZOZ::Test::Mot::Bytes extension = ZOZTest::Sls::extension(spec);
    const ZOZ::Test::Mot::Bytes location = parameter(0x28, text(server.url(QStringLiteral("alt.png")).toStdString()));
    extension.insert(extension.end(), location.begin(), location.end());
    groups = ZOZ::Test::Mot::segments(ZOZ::Test::Mot::Header, 1,
                                      ZOZ::Test::Mot::header(uint32_t(broadcast.size()), 2, 1, extension), 400);
    const auto bodies = ZOZ::Test::Mot::segments(ZOZ::Test::Mot::Body, 1,
                                                 ZOZ::Test::Mot::Bytes(broadcast.begin(), broadcast.end()), 8000);
    groups.insert(groups.end(), bodies.begin(), bodies.end());
    for (const auto &group : groups)
        service->handlePacket(int(group.size()), group.data());

    besideTheServer([&] { service->runTasks(); });
    ZOZ::PageAnswer answer;
    ASSERT_TRUE(service->answerPage({service->requestPath(), QString(), {{QStringLiteral("getSlides"), QString()}}}, answer));
    const QString url = QJsonDocument::fromJson(answer.body).object()[QStringLiteral("active")][QStringLiteral("url")].toString();
    EXPECT_TRUE(url.startsWith(service->requestPath() + QStringLiteral("www."))) << url.toStdString();
    ZOZ::PageAnswer file;
    ASSERT_TRUE(service->answerPage({service->requestPath(), url.mid(service->requestPath().size()), {}}, file));
    EXPECT_EQ(alternative, file.body);
    EXPECT_EQ(QStringLiteral("image/png"), file.mimeType);
    service->release();
}

} // namespace
