#include "ZOZMainThreadServices.h"
#include "ZOZPointer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QObject>
#include <QThread>
#include <QTimer>

#include <thread>

#include <gtest/gtest.h>

using namespace ZOZ;

namespace {

class Target : public QObject
{
    Q_OBJECT
public:
    QVector<QThread *> threads;
public slots:
    void ping() { threads.append(QThread::currentThread()); }
};

struct Tracked : Pointer
{
    explicit Tracked(bool *deleted) : deleted(deleted) {}
    ~Tracked() override { *deleted = true; }
    bool *deleted;
};

void spinFor(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

} // namespace

TEST(MainThreadServices, DeferredCallFromWorkerRunsOnMainThread)
{
    MainThreadServices services;
    Target target;
    std::thread worker([&target] {
        MainThreadServices::queueInvoke({&target, QByteArray(SLOT(ping())), 0});
        MainThreadServices::queueInvoke({&target, QByteArray(SLOT(ping())), 0});
        MainThreadServices::queueInvoke({nullptr, QByteArray(SLOT(ping())), 0});
        MainThreadServices::queueInvoke({&target, QByteArray(), 0});
    });
    worker.join();
    QCoreApplication::processEvents();
    EXPECT_TRUE(target.threads.isEmpty()); // nothing runs before the flush
    services.runDeferredCalls();
    spinFor(50);
    ASSERT_EQ(target.threads.size(), 2);
    EXPECT_EQ(target.threads[0], QThread::currentThread());
    EXPECT_EQ(target.threads[1], QThread::currentThread());
}

TEST(MainThreadServices, DelayCountsFromTheFlush)
{
    MainThreadServices services;
    Target target;
    MainThreadServices::queueInvoke({&target, QByteArray(SLOT(ping())), 100});
    services.runDeferredCalls();
    spinFor(30);
    EXPECT_TRUE(target.threads.isEmpty());
    spinFor(150);
    EXPECT_EQ(target.threads.size(), 1);
}

TEST(MainThreadServices, NothingQueuedWithoutInstance)
{
    Target target;
    MainThreadServices::queueInvoke({&target, QByteArray(SLOT(ping())), 0});
    bool deleted = false;
    auto *object = new Tracked(&deleted);
    MainThreadServices::addDisposable(object);
    EXPECT_EQ(object->referenceCount(), 0);
    delete object;
}

TEST(MainThreadServices, DisposableLivesWhileSomeoneHoldsIt)
{
    MainThreadServices services;
    bool deleted = false;
    auto *object = new Tracked(&deleted);
    object->retain(); // a page still holds it
    MainThreadServices::addDisposable(object);
    services.checkDisposables();
    EXPECT_FALSE(deleted);
    EXPECT_EQ(services.pendingDisposables(), 1);
    object->release();
    services.checkDisposables();
    EXPECT_TRUE(deleted);
    EXPECT_EQ(services.pendingDisposables(), 0);
}

TEST(MainThreadServices, ClearReleasesEverything)
{
    bool held = false, free = false;
    auto *heldObject = new Tracked(&held);
    heldObject->retain();
    {
        MainThreadServices services;
        MainThreadServices::addDisposable(heldObject);
        MainThreadServices::addDisposable(new Tracked(&free));
    }
    EXPECT_TRUE(free);
    EXPECT_FALSE(held);
    EXPECT_EQ(heldObject->referenceCount(), 1);
    heldObject->release();
    EXPECT_TRUE(held);
}

TEST(MainThreadServices, FreeSpaceGuardThreshold)
{
    MainThreadServices services;
    qint64 freeBytes = MainThreadServices::MinimumFreeBytes;
    int probes = 0;
    services.setFreeSpaceProbe([&](const QString &) {
        ++probes;
        return freeBytes;
    });
    EXPECT_FALSE(services.isRecordingOutOfSpace(QStringLiteral("/rec/")));
    freeBytes -= 1;
    // Asked again only after five seconds.
    EXPECT_FALSE(services.isRecordingOutOfSpace(QStringLiteral("/rec/")));
    EXPECT_EQ(probes, 1);

    MainThreadServices fresh;
    fresh.setFreeSpaceProbe([&](const QString &) { return freeBytes; });
    EXPECT_TRUE(fresh.isRecordingOutOfSpace(QStringLiteral("/rec/")));
    // A stop makes the guard ask again at once next time.
    fresh.setFreeSpaceProbe([&](const QString &) { return qint64(-1); });
    EXPECT_FALSE(fresh.isRecordingOutOfSpace(QStringLiteral("/rec/")));
}

TEST(MainThreadServices, AvailableBytesOfARealFolder)
{
    EXPECT_GT(MainThreadServices::availableBytes(QDir::tempPath()), 0);
}

#include "TestMainThreadServices.moc"
