#include "TestObjects.h"
#include "base/ZOZMainThreadServices.h"
#include "base/ZOZPointer.h"

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
    PingTarget target;
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
    PingTarget target;
    MainThreadServices::queueInvoke({&target, QByteArray(SLOT(ping())), 100});
    QElapsedTimer sinceFlush;
    sinceFlush.start();
    services.runDeferredCalls();
    while (target.threads.isEmpty() && sinceFlush.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    ASSERT_EQ(target.threads.size(), 1);
    EXPECT_GE(sinceFlush.elapsed(), 95);
}

TEST(MainThreadServices, NothingQueuedWithoutInstance)
{
    PingTarget target;
    MainThreadServices::queueInvoke({&target, QByteArray(SLOT(ping())), 0});
    bool deleted = false;
    auto *object = new TrackedObject(&deleted);
    MainThreadServices::addDisposable(object);
    EXPECT_EQ(object->referenceCount(), 0);
    delete object;
}

TEST(MainThreadServices, DisposableLivesWhileSomeoneHoldsIt)
{
    MainThreadServices services;
    bool deleted = false;
    auto *object = new TrackedObject(&deleted);
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
    auto *heldObject = new TrackedObject(&held);
    heldObject->retain();
    {
        MainThreadServices services;
        MainThreadServices::addDisposable(heldObject);
        MainThreadServices::addDisposable(new TrackedObject(&free));
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

